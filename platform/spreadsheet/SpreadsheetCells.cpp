// Cells as automation values and as shown text.
#include "platform/spreadsheet/SpreadsheetObjects.h"

#include "platform/com/VariantConvert.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/RegionalSettings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Error values: the file's code, the automation error number (2000 + code) and the text.
struct SErrorValue {
    std::uint8_t m_nCode;
    std::u16string_view m_strText;
};

constexpr SErrorValue kErrorValues[] = {
    {0x00, u"#NULL!"}, {0x07, u"#DIV/0!"}, {0x0F, u"#VALUE!"}, {0x17, u"#REF!"},
    {0x1D, u"#NAME?"}, {0x24, u"#NUM!"},   {0x2A, u"#N/A"},
};

// An error value travels as VT_ERROR with this status: facility 0x0A, number 2000 + code.
constexpr HRESULT ErrorStatus(std::uint8_t nCode) {
    return static_cast<HRESULT>(0x800A0000u | (2000u + nCode));
}

const SErrorValue* FindError(double dCode) {
    for (const SErrorValue& e : kErrorValues)
        if (e.m_nCode == dCode)
            return &e;
    return nullptr;
}

const SErrorValue* FindErrorStatus(HRESULT hr) {
    for (const SErrorValue& e : kErrorValues)
        if (ErrorStatus(e.m_nCode) == hr)
            return &e;
    return nullptr;
}

// The number format a date value takes when it is put: a time of day below one day
// (day zero, also midnight), a date for a whole day, a date and time otherwise.
EXlsNumberFormat DateFormatOf(DATE date) {
    if (date >= 0 && date < 1)
        return EXlsNumberFormat::Time;
    if (date == std::trunc(date))
        return EXlsNumberFormat::Date;
    return EXlsNumberFormat::DateTime;
}

std::size_t CodePoints(const std::string& utf8) {
    std::size_t n = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

std::size_t LongestLine(std::u16string_view text) {
    std::size_t nLongest = 0;
    std::size_t nStart = 0;
    while (nStart <= text.size()) {
        std::size_t nEnd = text.find(u'\n', nStart);
        if (nEnd == std::u16string_view::npos)
            nEnd = text.size();
        nLongest = std::max(nLongest, nEnd - nStart);
        nStart = nEnd + 1;
    }
    return nLongest;
}

// A number in the General format shows at most 11 characters.
constexpr std::size_t kGeneralWidth = 11;

std::size_t NumberWidth(double d) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, d);
    return std::min(kGeneralWidth, static_cast<std::size_t>(result.ptr - buf));
}

std::size_t DateWidth(const CXlsCellView& cell, const CRegionalSettings& settings) {
    CLocalTime t;
    if (!VariantTimeToCalendar(cell.m_dNumber, t))
        return NumberWidth(cell.m_dNumber);
    // Times show as h:mm (h:mm:ss with seconds); dates in the user's short date.
    const std::string time = t.m_nSecond != 0 ? "h:mm:ss" : "h:mm";
    switch (cell.m_format) {
    case EXlsNumberFormat::Time:
        return CodePoints(FormatPicture(time, t, settings));
    case EXlsNumberFormat::DateTime:
        return CodePoints(FormatShortDate(t, settings)) + 1 +
               CodePoints(FormatPicture("h:mm", t, settings));
    default:
        return CodePoints(FormatShortDate(t, settings));
    }
}

} // namespace

CVariant CellToVariant(const CXlsCellView& cell) {
    CVariant value;
    const CXlsCellView* pCell = &cell;
    switch (pCell->m_kind) {
    case CXlsCell::EKind::Empty:
        break;
    case CXlsCell::EKind::Number:
        if (pCell->IsDate())
            value = CVariant::Date(pCell->m_dNumber);
        else
            value = CVariant(pCell->m_dNumber);
        break;
    case CXlsCell::EKind::Text:
        value = CVariant(pCell->m_strText);
        break;
    case CXlsCell::EKind::Boolean:
        value.vt = VT_BOOL;
        value.boolVal = pCell->m_dNumber != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case CXlsCell::EKind::Error: {
        const SErrorValue* pError = FindError(pCell->m_dNumber);
        value.vt = VT_ERROR;
        value.scode = ErrorStatus(pError ? pError->m_nCode : 0x2A);
        break;
    }
    }
    return value;
}

bool VariantToCell(const VARIANT& value, CXlsCellView& cell) {
    cell = CXlsCellView();
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_BSTR: {
        // A leading apostrophe marks text as text: it is dropped and the cell remembers it.
        std::u16string_view text = BstrView(value.bstrVal);
        const bool bQuoted = !text.empty() && text.front() == u'\'';
        if (bQuoted)
            text.remove_prefix(1);
        if (!text.empty()) {
            cell.m_kind = CXlsCell::EKind::Text;
            cell.m_strText = text;
            cell.m_bQuotePrefix = bQuoted;
        }
        return true;
    }
    case VT_I2:
    case VT_I4:
    case VT_R8: {
        const double d =
            value.vt == VT_R8 ? value.dblVal : (value.vt == VT_I4 ? value.lVal : value.iVal);
        if (!std::isfinite(d))
            return false;
        cell.m_kind = CXlsCell::EKind::Number;
        cell.m_dNumber = d;
        return true;
    }
    case VT_DATE:
        if (!(value.date >= kMinVariantDate && value.date <= kMaxVariantDate))
            return false;
        cell.m_kind = CXlsCell::EKind::Number;
        cell.m_dNumber = value.date;
        cell.m_format = DateFormatOf(value.date);
        return true;
    case VT_BOOL:
        cell.m_kind = CXlsCell::EKind::Boolean;
        cell.m_dNumber = value.boolVal ? 1 : 0;
        return true;
    case VT_ERROR: {
        const SErrorValue* pError = FindErrorStatus(value.scode);
        if (!pError)
            return false;
        cell.m_kind = CXlsCell::EKind::Error;
        cell.m_dNumber = pError->m_nCode;
        return true;
    }
    default:
        return false;
    }
}

std::size_t DisplayWidth(const CXlsCellView& cell, const CRegionalSettings& settings) {
    switch (cell.m_kind) {
    case CXlsCell::EKind::Empty:
        return 0;
    case CXlsCell::EKind::Text:
        return LongestLine(cell.m_strText);
    case CXlsCell::EKind::Number:
        return cell.IsDate() ? DateWidth(cell, settings) : NumberWidth(cell.m_dNumber);
    case CXlsCell::EKind::Boolean:
        return cell.m_dNumber != 0 ? 4 : 5; // TRUE, FALSE
    case CXlsCell::EKind::Error: {
        const SErrorValue* pError = FindError(cell.m_dNumber);
        return pError ? pError->m_strText.size() : 4;
    }
    }
    return 0;
}
