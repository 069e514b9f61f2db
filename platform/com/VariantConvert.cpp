#include "platform/com/VariantConvert.h"

#include "platform/locale/CodePage.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Day zero of automation dates, 1899-12-30, in days since 1970-01-01.
const std::int64_t kDayZero = DaysFromCivil(1899, 12, 30);

std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

std::u16string NumberText(double d) {
    if (d == 0)
        return u"0";
    char buf[64];
    const double magnitude = std::fabs(d);
    const bool bFixed = magnitude >= 1e-5 && magnitude < 1e15;
    const auto result =
        std::to_chars(buf, buf + sizeof buf, d,
                      bFixed ? std::chars_format::fixed : std::chars_format::scientific);
    std::u16string text = Ascii(std::string_view(buf, static_cast<std::size_t>(result.ptr - buf)));
    std::u16string out;
    out.reserve(text.size() + 2);
    const std::u16string decimal = DecimalSymbol();
    for (char16_t c : text) {
        if (c == u'.')
            out += decimal;
        else if (c == u'e')
            out += u'E';
        else
            out += c;
    }
    return out;
}

std::u16string DateText(const CLocalTime& t) {
    const CRegionalSettings& settings = GetRegionalSettings();
    const bool bDayZero = t.m_nYear == 1899 && t.m_nMonth == 12 && t.m_nDay == 30;
    const bool bMidnight = t.m_nHour == 0 && t.m_nMinute == 0 && t.m_nSecond == 0;
    std::string text;
    if (bDayZero) {
        text = FormatPicture(settings.m_strTimeFormat, t, settings);
    } else {
        text = FormatShortDate(t, settings);
        if (!bMidnight) {
            text += ' ';
            text += FormatPicture(settings.m_strTimeFormat, t, settings);
        }
    }
    return CodePageToUtf16(text, CP_UTF8);
}

// The value as a number, for the numeric targets.
bool NumberOf(const VARIANT& v, double& d) {
    switch (v.vt) {
    case VT_EMPTY:
        d = 0;
        return true;
    case VT_I2:
        d = v.iVal;
        return true;
    case VT_I4:
        d = v.lVal;
        return true;
    case VT_UI4:
        d = v.ulVal;
        return true;
    case VT_I8:
        d = static_cast<double>(v.llVal);
        return true;
    case VT_R8:
        d = v.dblVal;
        return true;
    case VT_DATE:
        d = v.date;
        return true;
    case VT_BOOL:
        d = v.boolVal ? -1 : 0;
        return true;
    default:
        return false;
    }
}

HRESULT Convert(const VARIANT& src, VARTYPE vt, CVariant& out) {
    if (vt == VT_BSTR) {
        std::u16string text;
        switch (src.vt) {
        case VT_EMPTY:
            break;
        case VT_I2:
            text = Ascii(std::to_string(src.iVal));
            break;
        case VT_I4:
            text = Ascii(std::to_string(src.lVal));
            break;
        case VT_UI4:
            text = Ascii(std::to_string(src.ulVal));
            break;
        case VT_I8:
            text = Ascii(std::to_string(src.llVal));
            break;
        case VT_R8:
            if (!std::isfinite(src.dblVal))
                return DISP_E_OVERFLOW;
            text = NumberText(src.dblVal);
            break;
        case VT_DATE: {
            CLocalTime t;
            if (!VariantTimeToCalendar(src.date, t))
                return DISP_E_OVERFLOW;
            text = DateText(t);
            break;
        }
        case VT_BOOL:
            text = src.boolVal ? u"-1" : u"0";
            break;
        case VT_BSTR:
            text = BstrView(src.bstrVal);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
        }
        out = CVariant(std::u16string_view(text));
        return S_OK;
    }

    double d = 0;
    if (!NumberOf(src, d))
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_I4: {
        if (src.vt == VT_I4 || src.vt == VT_I2) {
            out = CVariant(static_cast<LONG>(d));
            return S_OK;
        }
        // Half-way values go to the even neighbour, as the platform rounds.
        const double rounded = std::nearbyint(d);
        if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
            return DISP_E_OVERFLOW;
        out = CVariant(static_cast<LONG>(rounded));
        return S_OK;
    }
    case VT_R8:
        out = CVariant(d);
        return S_OK;
    case VT_DATE:
        if (!(d >= kMinVariantDate && d <= kMaxVariantDate))
            return DISP_E_OVERFLOW;
        out = CVariant::Date(d);
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

bool VariantTimeToCalendar(DATE date, CLocalTime& out) {
    if (!(date >= kMinVariantDate && date <= kMaxVariantDate))
        return false;
    // The whole part counts days from day zero; the fraction is the time of that day
    // whatever the sign (-1.25 is 29 December 1899 06:00).
    const double whole = std::trunc(date);
    std::int64_t nDays = static_cast<std::int64_t>(whole);
    std::int64_t nSeconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (nSeconds >= kSecondsPerDay) {
        nSeconds -= kSecondsPerDay;
        ++nDays;
    }
    const std::int64_t nEpochDays = kDayZero + nDays;
    CLocalTime t;
    CivilFromDays(nEpochDays, t.m_nYear, t.m_nMonth, t.m_nDay);
    t.m_nHour = static_cast<int>(nSeconds / 3600);
    t.m_nMinute = static_cast<int>(nSeconds / 60 % 60);
    t.m_nSecond = static_cast<int>(nSeconds % 60);
    t.m_nDayOfWeek = static_cast<int>(((nEpochDays + 4) % 7 + 7) % 7); // 1970-01-01: Thursday
    t.m_bDaylight = false;
    out = t;
    return true;
}

std::optional<DATE> CalendarToVariantTime(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                          int nSecond) {
    // Carry the month into the year first, so that the calendar sees a valid month.
    const std::int64_t nMonths = static_cast<std::int64_t>(nYear) * 12 + (nMonth - 1);
    const std::int64_t y = nMonths >= 0 ? nMonths / 12 : (nMonths - 11) / 12;
    const std::int64_t m = nMonths - y * 12 + 1;
    if (y < 0 || y > 10000)
        return std::nullopt;
    const std::int64_t nDays =
        DaysFromCivil(static_cast<int>(y), static_cast<int>(m), 1) + (nDay - 1) - kDayZero;
    const std::int64_t nTotal = nDays * kSecondsPerDay + static_cast<std::int64_t>(nHour) * 3600 +
                                static_cast<std::int64_t>(nMinute) * 60 + nSecond;
    std::int64_t nWhole = nTotal / kSecondsPerDay;
    std::int64_t nRest = nTotal % kSecondsPerDay;
    if (nRest < 0) {
        nRest += kSecondsPerDay;
        --nWhole;
    }
    const double fraction = static_cast<double>(nRest) / kSecondsPerDay;
    const double date = nWhole >= 0 ? static_cast<double>(nWhole) + fraction
                                    : static_cast<double>(nWhole) - fraction;
    if (!(date >= kMinVariantDate && date <= kMaxVariantDate))
        return std::nullopt;
    return date;
}

std::u16string DecimalSymbol() {
    struct CCache {
        std::uint64_t m_nStamp = 0; // of the regional settings; 0 before the first look-up
        std::u16string m_strSymbol;
    };
    thread_local CCache s_cache;
    // The stamp changes with every change of the user's registry values, the code page
    // and the locale variables: all that the symbol depends on.
    std::uint64_t nStamp = 0;
    const CRegionalSettings& settings = GetRegionalSettings(nStamp);
    if (s_cache.m_nStamp != 0 && s_cache.m_nStamp == nStamp)
        return s_cache.m_strSymbol;

    std::u16string symbol;
    CRegKey key;
    std::string text;
    if (key.Open(ERegHive::CurrentUser, kInternationalKey) == REG_STATUS_OK &&
        key.QueryString("sDecimal", text) == REG_STATUS_OK && !text.empty())
        symbol = ToUtf16(text);
    if (symbol.empty()) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::DecimalFormatSymbols numbers(icu::Locale(settings.m_strLocale.c_str()), status);
        if (U_SUCCESS(status)) {
            const icu::UnicodeString& s =
                numbers.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol);
            symbol.assign(s.getBuffer(), static_cast<std::size_t>(s.length()));
        }
    }
    if (symbol.empty())
        symbol = u".";
    s_cache = CCache{nStamp, symbol};
    return symbol;
}

HRESULT VariantChangeType(VARIANT* pvarDest, const VARIANT* pvarSrc, WORD, VARTYPE vt) {
    if (!pvarDest || !pvarSrc)
        return E_INVALIDARG;
    const VARIANT* pSource = pvarSrc;
    if (pSource->vt == (VT_BYREF | VT_VARIANT)) {
        pSource = pSource->pvarVal;
        if (!pSource)
            return E_INVALIDARG;
    }
    CVariant result;
    const HRESULT hr = Convert(*pSource, vt, result);
    if (FAILED(hr))
        return hr;
    VariantClear(pvarDest);
    *pvarDest = result;
    VariantInit(&result); // ownership moved to pvarDest
    return S_OK;
}
