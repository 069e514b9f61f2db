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

TEST_F(VariantConvertTest, DatesAreCalendarFieldsWithoutTimeZone) {
    struct SCase {
        DATE m_date;
        int m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute, m_nSecond, m_nDayOfWeek;
    };
    const SCase cases[] = {
        {0.0, 1899, 12, 30, 0, 0, 0, 6},
        {1.0, 1899, 12, 31, 0, 0, 0, 0},
        {-1.25, 1899, 12, 29, 6, 0, 0, 5}, // the fraction counts forward before day zero
        {61.0, 1900, 3, 1, 0, 0, 0, 4},
        {25569.0, 1970, 1, 1, 0, 0, 0, 4},
        {46361.5, 2026, 12, 5, 12, 0, 0, 6},
        {12.5 / 24, 1899, 12, 30, 12, 30, 0, 6},
        {46361.0 + 59.0 / 1440 + 59.0 / 86400, 2026, 12, 5, 0, 59, 59, 6},
        {kMinVariantDate, 100, 1, 1, 0, 0, 0, 5},
        {2958465.0, 9999, 12, 31, 0, 0, 0, 5},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_date);
        CLocalTime t;
        ASSERT_TRUE(VariantTimeToCalendar(c.m_date, t));
        EXPECT_EQ(t.m_nYear, c.m_nYear);
        EXPECT_EQ(t.m_nMonth, c.m_nMonth);
        EXPECT_EQ(t.m_nDay, c.m_nDay);
        EXPECT_EQ(t.m_nHour, c.m_nHour);
        EXPECT_EQ(t.m_nMinute, c.m_nMinute);
        EXPECT_EQ(t.m_nSecond, c.m_nSecond);
        EXPECT_EQ(t.m_nDayOfWeek, c.m_nDayOfWeek);
        const auto back = CalendarToVariantTime(c.m_nYear, c.m_nMonth, c.m_nDay, c.m_nHour,
                                                c.m_nMinute, c.m_nSecond);
        ASSERT_TRUE(back.has_value());
        EXPECT_NEAR(*back, c.m_date, 1e-9);
    }

    // Rounded to the nearest second, carrying into the next day.
    CLocalTime t;
    ASSERT_TRUE(VariantTimeToCalendar(46361.9999999, t));
    EXPECT_EQ(t.m_nDay, 6);
    EXPECT_EQ(t.m_nHour, 0);
    // Out-of-range fields carry over.
    EXPECT_EQ(CalendarToVariantTime(2026, 13, 1), CalendarToVariantTime(2027, 1, 1));
    EXPECT_EQ(CalendarToVariantTime(2026, 0, 1), CalendarToVariantTime(2025, 12, 1));
    EXPECT_EQ(CalendarToVariantTime(2026, 12, 5, 25), CalendarToVariantTime(2026, 12, 6, 1));

    EXPECT_FALSE(VariantTimeToCalendar(2958466.0, t));
    EXPECT_FALSE(VariantTimeToCalendar(-657435.0, t));
    EXPECT_FALSE(VariantTimeToCalendar(std::numeric_limits<double>::quiet_NaN(), t));
    EXPECT_FALSE(CalendarToVariantTime(10000, 1, 1).has_value());
    EXPECT_FALSE(CalendarToVariantTime(99, 12, 31).has_value());
}

TEST_F(VariantConvertTest, ValuesBecomeTextInTheUserSettings) {
    SetDecimal(",");
    CVariant byRef;
    CVariant target(1234.5);
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &target;
    CVariant yes;
    yes.vt = VT_BOOL;
    yes.boolVal = VARIANT_TRUE;
    CVariant no;
    no.vt = VT_BOOL;
    no.boolVal = VARIANT_FALSE;

    struct SCase {
        const VARIANT* m_pValue;
        std::u16string_view m_strText;
    };
    const CVariant values[] = {
        CVariant(),
        CVariant(LONG{-42}),
        CVariant(1234.5),
        CVariant(0.1 + 0.2), // shortest text that reads back as the same number
        CVariant(100.0),
        CVariant(-0.0),
        CVariant(123456789012345.0),
        CVariant(1e15),
        CVariant(1e20),
        CVariant(1.5e-7),
        CVariant(0.00001),
        CVariant::Date(46361.0),
        CVariant::Date(46361.5),
        CVariant::Date(12.5 / 24),
        CVariant::Date(0.0),
        CVariant(std::u16string_view(u"x\u20AC")),
    };
    const std::u16string_view texts[] = {
        u"",
        u"-42",
        u"1234,5",
        u"0,30000000000000004",
        u"100",
        u"0",
        u"123456789012345",
        u"1E+15",
        u"1E+20",
        u"1,5E-07",
        u"0,00001",
        u"05.12.2026",
        u"05.12.2026 12:00:00",
        u"12:30:00",
        u"00:00:00",
        u"x\u20AC",
    };
    static_assert(std::size(values) == std::size(texts));
    for (std::size_t i = 0; i < std::size(values); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Text(values[i]), texts[i]);
    }
    EXPECT_EQ(Text(byRef), u"1234,5");
    EXPECT_EQ(Text(yes), u"-1");
    EXPECT_EQ(Text(no), u"0");

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
    struct SCase {
        double m_d;
        HRESULT m_hr;
        LONG m_n;
    };
    const SCase cases[] = {
        {2.5, S_OK, 2},
        {3.5, S_OK, 4},
        {-2.5, S_OK, -2},
        {-0.4, S_OK, 0},
        {2147483647.0, S_OK, 2147483647},
        {2147483648.0, DISP_E_OVERFLOW, 0},
        {-2147483649.0, DISP_E_OVERFLOW, 0},
        {std::numeric_limits<double>::quiet_NaN(), DISP_E_OVERFLOW, 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_d);
        CVariant value(c.m_d);
        // In place: the destination is the source.
        EXPECT_EQ(VariantChangeType(&value, &value, 0, VT_I4), c.m_hr);
        if (c.m_hr == S_OK) {
            EXPECT_EQ(value.vt, VT_I4);
            EXPECT_EQ(value.lVal, c.m_n);
        } else {
            EXPECT_EQ(value.vt, VT_R8); // untouched
        }
    }

    CVariant out;
    const CVariant text(std::u16string_view(u"12"));
    EXPECT_EQ(VariantChangeType(&out, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
    CVariant null;
    null.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_R8), DISP_E_TYPEMISMATCH);
    const CVariant date = CVariant::Date(46361.25);
    ASSERT_EQ(VariantChangeType(&out, &date, 0, VT_R8), S_OK);
    EXPECT_EQ(out.vt, VT_R8);
    EXPECT_EQ(out.dblVal, 46361.25);
    const CVariant big(3e6);
    EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_DATE), DISP_E_OVERFLOW);
    const CVariant farDate = CVariant::Date(3e6);
    EXPECT_EQ(VariantChangeType(&out, &farDate, 0, VT_BSTR), DISP_E_OVERFLOW);
    const CVariant n(LONG{7});
    ASSERT_EQ(VariantChangeType(&out, &n, 0, VT_DATE), S_OK);
    EXPECT_EQ(out.vt, VT_DATE);
    EXPECT_EQ(out.date, 7.0);
}

} // namespace
