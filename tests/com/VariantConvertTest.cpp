#include "platform/com/VariantConvert.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

class VariantConvertTest : public CVarnoTest {
protected:
    static void SetDecimal(const char* pszSymbol) {
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("sDecimal", pszSymbol), REG_STATUS_OK);
    }
    static std::u16string Text(const VARIANT& value) {
        CVariant text;
        const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
        EXPECT_EQ(hr, S_OK);
        return SUCCEEDED(hr) ? std::u16string(BstrView(text.bstrVal)) : u"<failed>";
    }
};

// yyyy-mm-dd hh:mm:ss and the day of the week (0 Sunday), or "invalid".
std::string CalendarOf(DATE date) {
    CLocalTime t;
    if (!VariantTimeToCalendar(date, t))
        return "invalid";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d %d", t.m_nYear, t.m_nMonth,
                  t.m_nDay, t.m_nHour, t.m_nMinute, t.m_nSecond, t.m_nDayOfWeek);
    // Back to the same date from its fields.
    EXPECT_NEAR(
        CalendarToVariantTime(t.m_nYear, t.m_nMonth, t.m_nDay, t.m_nHour, t.m_nMinute, t.m_nSecond)
            .value(),
        date, 0.5 / 86400);
    return buffer;
}

TEST_F(VariantConvertTest, DatesAreCalendarFieldsWithoutTimeZone) {
    const std::pair<DATE, const char*> cases[] = {
        {0.0, "1899-12-30 00:00:00 6"},
        {1.0, "1899-12-31 00:00:00 0"},
        {-1.25, "1899-12-29 06:00:00 5"}, // the fraction counts forward before day zero
        {61.0, "1900-03-01 00:00:00 4"},
        {25569.0, "1970-01-01 00:00:00 4"},
        {46361.5, "2026-12-05 12:00:00 6"},
        {12.5 / 24, "1899-12-30 12:30:00 6"},
        {46361.0 + 59.0 / 1440 + 59.0 / 86400, "2026-12-05 00:59:59 6"},
        {46361.9999999, "2026-12-06 00:00:00 0"}, // to the nearest second, into the next day
        {kMinVariantDate, "0100-01-01 00:00:00 5"},
        {2958465.0, "9999-12-31 00:00:00 5"},
        {2958466.0, "invalid"},
        {-657435.0, "invalid"},
        {std::numeric_limits<double>::quiet_NaN(), "invalid"},
    };
    for (const auto& [date, pszExpected] : cases)
        EXPECT_EQ(CalendarOf(date), pszExpected) << date;

    // Out-of-range fields carry over; years outside 100..9999 are refused.
    EXPECT_EQ(CalendarToVariantTime(2026, 13, 1), CalendarToVariantTime(2027, 1, 1));
    EXPECT_EQ(CalendarToVariantTime(2026, 0, 1), CalendarToVariantTime(2025, 12, 1));
    EXPECT_EQ(CalendarToVariantTime(2026, 12, 5, 25), CalendarToVariantTime(2026, 12, 6, 1));
    EXPECT_FALSE(CalendarToVariantTime(10000, 1, 1).has_value());
    EXPECT_FALSE(CalendarToVariantTime(99, 12, 31).has_value());
}

TEST_F(VariantConvertTest, ValuesBecomeTextInTheUserSettings) {
    SetDecimal(",");
    CVariant target(1234.5);
    CVariant byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &target;
    CVariant yes;
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    CVariant no;
    no.vt = VT_BOOL;
    no.boolVal = VARIANT_FALSE;
    const std::pair<CVariant, std::u16string_view> cases[] = {
        {CVariant(), u""},
        {CVariant(LONG{-42}), u"-42"},
        {CVariant(1234.5), u"1234,5"},
        {CVariant(0.1 + 0.2), u"0,30000000000000004"}, // the shortest text that reads back
        {CVariant(100.0), u"100"},
        {CVariant(-0.0), u"0"},
        {CVariant(123456789012345.0), u"123456789012345"},
        {CVariant(1e15), u"1E+15"},
        {CVariant(1e20), u"1E+20"},
        {CVariant(1.5e-7), u"1,5E-07"},
        {CVariant(0.00001), u"0,00001"},
        {CVariant::Date(46361.0), u"05.12.2026"},
        {CVariant::Date(46361.5), u"05.12.2026 12:00:00"},
        {CVariant::Date(12.5 / 24), u"12:30:00"},
        {CVariant::Date(0.0), u"00:00:00"},
        {CVariant(std::u16string_view(u"x\u20AC")), u"x\u20AC"},
        {byRef, u"1234,5"},
        {yes, u"-1"},
        {no, u"0"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Text(cases[i].first), cases[i].second);
    }
    SetRegional("en-US");
    SetDecimal(".");
    EXPECT_EQ(Text(CVariant(1234.5)), u"1234.5");
    EXPECT_EQ(Text(CVariant::Date(46361.75)), u"12/5/2026 6:00:00 PM");
}

TEST_F(VariantConvertTest, DecimalSymbolFallsBackToTheLocale) {
    // No sDecimal: the symbol of the process locale.
    EXPECT_EQ(DecimalSymbol(), u".");
    const std::string previous = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(DecimalSymbol(), u",");
    setenv("LC_ALL", previous.c_str(), 1);
    EXPECT_EQ(DecimalSymbol(), u".");
    SetDecimal(",");
    EXPECT_EQ(DecimalSymbol(), u",");
}

TEST_F(VariantConvertTest, NumbersConvertWithRangeChecks) {
    // To whole numbers: halves to the even neighbour, in place, or refused leaving the value.
    const std::tuple<double, HRESULT, LONG> cases[] = {
        {2.5, S_OK, 2},
        {3.5, S_OK, 4},
        {-2.5, S_OK, -2},
        {-0.4, S_OK, 0},
        {2147483647.0, S_OK, 2147483647},
        {2147483648.0, DISP_E_OVERFLOW, 0},
        {-2147483649.0, DISP_E_OVERFLOW, 0},
        {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW, 0},
    };
    for (const auto& [d, hr, n] : cases) {
        CVariant value(d);
        EXPECT_EQ(VariantChangeType(&value, &value, 0, VT_I4), hr) << d;
        EXPECT_EQ(value.vt, hr == S_OK ? VT_I4 : VT_R8) << d;
        if (hr == S_OK) {
            EXPECT_EQ(value.lVal, n);
        }
    }

    CVariant null;
    null.vt = VT_NULL;
    const struct {
        CVariant m_from;
        VARTYPE m_vt;
        HRESULT m_hr;
        double m_dResult;
    } others[] = {
        {CVariant(std::u16string_view(u"12")), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {null, VT_BSTR, DISP_E_TYPEMISMATCH, 0},
        {null, VT_R8, DISP_E_TYPEMISMATCH, 0},
        {CVariant::Date(46361.25), VT_R8, S_OK, 46361.25},
        {CVariant(3e6), VT_DATE, DISP_E_OVERFLOW, 0},
        {CVariant::Date(3e6), VT_BSTR, DISP_E_OVERFLOW, 0},
        {CVariant(LONG{7}), VT_DATE, S_OK, 7.0},
    };
    for (std::size_t i = 0; i < std::size(others); ++i) {
        SCOPED_TRACE(i);
        CVariant out;
        ASSERT_EQ(VariantChangeType(&out, &others[i].m_from, 0, others[i].m_vt), others[i].m_hr);
        if (SUCCEEDED(others[i].m_hr)) {
            EXPECT_EQ(out.vt, others[i].m_vt);
            EXPECT_EQ(out.vt == VT_DATE ? out.date : out.dblVal, others[i].m_dResult);
        }
    }
}

} // namespace
