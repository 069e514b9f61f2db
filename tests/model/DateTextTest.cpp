#include "model/DateText.h"
#include "model/Appointment.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestEnv.h"

#include <cstdio>
#include <vector>

namespace {

// The fixture: Europe/Berlin, code page 1252, de-DE values, clock 2026-12-05 12:00.
class DateTextTest : public CVarnoTest {
protected:
    // Only the defaults of a process locale.
    static void UseDerived(const char* pszLocale) {
        const ERegStatus status = RegDeleteTree(ERegHive::CurrentUser, kInternationalKey);
        ASSERT_TRUE(status == REG_STATUS_OK || status == REG_STATUS_NOT_FOUND);
        setenv("LC_ALL", pszLocale, 1);
    }
    static void StoreShortDate(const char* pszPicture) {
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("sShortDate", pszPicture), REG_STATUS_OK);
    }
    void TearDown() override {
        setenv("LC_ALL", "en_US.UTF-8", 1);
        CVarnoTest::TearDown();
    }
};

TimeValue Local(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0, int nSecond = 0) {
    return MakeLocalTimeValue(nYear, nMonth, nDay, nHour, nMinute, nSecond);
}

constexpr TimeValue kUntouched = 12345;

// Two-digit years and years before 1970 are moved into 1970..2069; days that stay
// before 2 January 1970 (the datebook's first day), or come after 2031, are rejected. The time of
// day is dropped; two numbers take the current year; a time alone is no date.
TEST_F(DateTextTest, ParseDateAppliesTheYearWindow) {
    struct SCase {
        const char* m_pszText;
        int m_nYear, m_nMonth, m_nDay; // 0: rejected
    };
    const SCase cases[] = {
        {"1.2.05", 2005, 2, 1},   {"1.2.99", 1999, 2, 1},      {"1.2.1950", 0, 0, 0},
        {"1.2.1930", 2030, 2, 1}, {"1.1.31", 2031, 1, 1},      {"1.1.32", 0, 0, 0},
        {"3.4.1969", 0, 0, 0},    {"3.4.1931", 2031, 4, 3},    {"1.1.70", 0, 0, 0},
        {"1.1.00", 2000, 1, 1},   {"1.1.1870", 0, 0, 0},       {"31.12.2031", 2031, 12, 31},
        {"2.1.70", 1970, 1, 2},   {"31.12.1969", 0, 0, 0},     {"1.1.1970", 0, 0, 0},
        {"2.1.1870", 1970, 1, 2}, {"1.1.2032", 0, 0, 0},       {"29.2.00", 2000, 2, 29},
        {"1.1.1869", 0, 0, 0},    {"1.1.500", 0, 0, 0},        {"1.1.100", 0, 0, 0},
        {"5.12.", 2026, 12, 5},   {"2026-12-05", 2026, 12, 5}, {"05.12.2026 14:45", 2026, 12, 5},
        {"14:45", 0, 0, 0},
    };
    for (const SCase& c : cases) {
        TimeValue t = kUntouched;
        const EStatus status = ParseDateText(c.m_pszText, t);
        EXPECT_EQ(status, c.m_nYear ? STATUS_OK : STATUS_FAILED) << c.m_pszText;
        EXPECT_EQ(t, c.m_nYear ? Local(c.m_nYear, c.m_nMonth, c.m_nDay) : kUntouched)
            << c.m_pszText;
    }
}

TEST_F(DateTextTest, ParseTimeKeepsTodayWithTheHourAndMinute) {
    const TimeValue today1445 = Local(2026, 12, 5, 14, 45);
    const std::pair<const char*, TimeValue> cases[] = {
        {"14:45", today1445},
        {"05.12.2026 14:45", today1445},
        {"01.01.2020 14:45:59", today1445},
        {"05.12.2026", Local(2026, 12, 5)}, // a date alone is midnight
        {"31.12", Local(2026, 12, 5)},      // no time of day
        // In de '.' joins a date, but in a time cell two numbers that make a time are one.
        {"14.45", today1445},
        {"9.05", Local(2026, 12, 5, 9, 5)},
        {"9.5", Local(2026, 12, 5)}, // 9 May: a minute has two digits
        {"14.45 Uhr", today1445},
        {"14:45 Uhr", today1445},
        {"24.45", kUntouched},
    };
    for (const auto& [pszText, expected] : cases) {
        TimeValue t = kUntouched;
        EXPECT_EQ(ParseTimeText(pszText, t), expected == kUntouched ? STATUS_FAILED : STATUS_OK)
            << pszText;
        EXPECT_EQ(t, expected) << pszText;
    }
    SetClock(2027, 3, 28, 1, 0); // the day daylight saving starts
    TimeValue t = kUntouched;
    ASSERT_EQ(ParseTimeText("14:45", t), STATUS_OK);
    EXPECT_EQ(t, Local(2027, 3, 28, 14, 45));
}

// A weekday in a long date must be the date's own.
TEST_F(DateTextTest, LongDatesWithTheirWeekday) {
    UseDerived("de_DE.UTF-8");
    SetRegional("de-DE");
    const std::pair<const char*, TimeValue> cases[] = {
        {"Samstag, 5. Dezember 2026", Local(2026, 12, 5)},
        {"Sa., 5. Dez. 2026", Local(2026, 12, 5)},
        {"Freitag, 5. Dezember 2026", kUntouched},
        {"Samstag, 5. Dezember 26", Local(2026, 12, 5)},
        {"Samstag", kUntouched},
    };
    for (const auto& [pszText, expected] : cases) {
        TimeValue t = kUntouched;
        EXPECT_EQ(ParseDateText(pszText, t), expected == kUntouched ? STATUS_FAILED : STATUS_OK)
            << pszText;
        EXPECT_EQ(t, expected) << pszText;
    }
}

TEST_F(DateTextTest, ParseSpanTakesTheLeadingInteger) {
    struct SCase {
        const char* m_pszText;
        EStatus m_status;
        TimeSpan m_value;
    };
    // "\xA0" is a no-break space in 1252.
    const SCase cases[] = {{"5400", STATUS_OK, 5400},
                           {"90min", STATUS_OK, 90},
                           {"abc", STATUS_OK, 0},
                           {" -30 ", STATUS_OK, -30},
                           {"+7", STATUS_OK, 7},
                           {"12.9", STATUS_OK, 12},
                           {"2147483647", STATUS_OK, 2147483647},
                           {"-2147483648", STATUS_OK, -2147483647 - 1},
                           {"2147483648", STATUS_FAILED, kUntouched},
                           {"-2147483649", STATUS_FAILED, kUntouched},
                           {"99999999999999999999999", STATUS_FAILED, kUntouched},
                           {"", STATUS_EMPTY, kUntouched},
                           {" \t ", STATUS_EMPTY, kUntouched},
                           {"\xA0", STATUS_EMPTY, kUntouched}};
    for (const SCase& c : cases) {
        TimeSpan ts = kUntouched;
        EXPECT_EQ(ParseSpanText(c.m_pszText, ts), c.m_status) << c.m_pszText;
        EXPECT_EQ(ts, c.m_value) << c.m_pszText;
    }
}

TEST_F(DateTextTest, BlankAndInvalidTextsLeaveTheValueAlone) {
    const std::pair<const char*, EStatus> cases[] = {
        {"", STATUS_EMPTY},
        {"  ", STATUS_EMPTY},
        {"\t\r\n", STATUS_EMPTY},
        {"\xA0 ", STATUS_EMPTY},
        {"31.02.2026", STATUS_FAILED},
        {"24:00", STATUS_FAILED},
        {"5.12.2026x", STATUS_FAILED},
        {"14:", STATUS_FAILED},
        {"x", STATUS_FAILED},
    };
    for (const auto& [pszText, status] : cases) {
        TimeValue t = kUntouched;
        EXPECT_EQ(ParseDateText(pszText, t), status) << pszText;
        EXPECT_EQ(ParseTimeText(pszText, t), status) << pszText;
        EXPECT_EQ(t, kUntouched);
    }
}

TEST_F(DateTextTest, FormatsFollowTheSettingsInForce) {
    const TimeValue t = Local(2026, 12, 5, 9, 30);
    EXPECT_EQ(FormatDate(t), "05.12.2026");
    EXPECT_EQ(FormatTime(t), "09:30");
    EXPECT_EQ(FormatDateTime(t), "05.12.2026 09:30");
    SetRegional("en-US");
    EXPECT_EQ(FormatDateTime(t + 5 * 3600), "12/5/2026 2:30 PM");
    SetRegional("nl-NL");
    EXPECT_EQ(FormatDateTime(t), "5-12-2026 9:30");
    UseDerived("fr_FR.UTF-8");
    EXPECT_EQ(FormatDateTime(t), "05/12/2026 09:30");
    // A picture that shows the time of day takes it from the clock (12:00).
    StoreShortDate("dd/MM/yyyy (HH)");
    EXPECT_EQ(FormatDate(t), "05/12/2026 (12)");
}

// Days and times formatted again and again (as an export does) in any order, days far apart
// and times of the same minute in other hours included, give each its own text.
TEST_F(DateTextTest, RepeatedDaysAndTimesKeepTheirOwnTexts) {
    const std::int64_t nFirst = DaysFromCivil(2020, 1, 1);
    for (int nPass = 0; nPass < 2; ++nPass) {
        for (int i = 0; i < 1500; ++i) {
            const std::int64_t nDay = nFirst + (i * 257) % 1500;
            int y = 0, m = 0, d = 0;
            CivilFromDays(nDay, y, m, d);
            char szDate[16];
            std::snprintf(szDate, sizeof szDate, "%02d.%02d.%04d", d, m, y);
            const int nMinute = (i * 37) % 1440;
            char szTime[8];
            std::snprintf(szTime, sizeof szTime, "%02d:%02d", nMinute / 60, nMinute % 60);
            const TimeValue t = Local(y, m, d, nMinute / 60, nMinute % 60, i % 60);
            ASSERT_EQ(FormatDate(t), szDate) << "pass " << nPass << " item " << i;
            ASSERT_EQ(FormatTime(t), szTime) << "pass " << nPass << " item " << i;
        }
    }
}

TEST_F(DateTextTest, MarkersTheCodePageCannotHoldGiveTwentyFourHours) {
    const TimeValue t = Local(2026, 12, 5, 14, 45);
    UseDerived("ko_KR.UTF-8");
    SetCodePage(65001);
    EXPECT_EQ(FormatTime(t), "오후 2:45");
    SetCodePage(1252);
    EXPECT_EQ(FormatTime(t), "14:45");
    TimeValue back = 0;
    ASSERT_EQ(ParseTimeText(FormatTime(t), back), STATUS_OK);
    EXPECT_EQ(back, t);
    // Month names the code page cannot hold are written as numbers.
    StoreShortDate("d MMM yyyy");
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_EQ(FormatDate(t), "5 12 2026");
    ASSERT_EQ(ParseDateText(FormatDate(t), back), STATUS_OK);
    EXPECT_EQ(back, Local(2026, 12, 5));
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(FormatDate(t), "5 Dez. 2026");
}

TEST_F(DateTextTest, SummaryOfAnAppointment) {
    CAppointment a(nullptr);
    a.SetDate(Local(2026, 12, 5, 15));
    a.m_bUntimed = a.m_bRepeat = true;
    a.m_strText = "0123456789012345678901234567890123456789";
    EXPECT_EQ(FormatAppointmentSummary(a), "05.12.2026 012345678901234567890123456 (repeat)");

    a.m_bUntimed = a.m_bRepeat = false;
    a.m_tStart = Local(2026, 12, 5, 9, 30);
    a.m_tEnd = Local(2026, 12, 5, 10, 15);
    a.m_strText = "Short";
    EXPECT_EQ(FormatAppointmentSummary(a), "05.12.2026 09:30 - 10:15 Short");

    // 40 characters of two bytes each: 27 whole characters under UTF-8.
    SetCodePage(65001);
    a.m_bUntimed = true;
    a.m_strText.clear();
    for (int i = 0; i < 40; ++i)
        a.m_strText += "ä";
    EXPECT_EQ(FormatAppointmentSummary(a), "05.12.2026 " + a.m_strText.substr(0, 54));
    SetCodePage(1252);
    a.m_strText = std::string(40, '\xE4');
    EXPECT_EQ(FormatAppointmentSummary(a), "05.12.2026 " + std::string(27, '\xE4'));
}

TEST_F(DateTextTest, CalendarRecordOfATime) {
    auto fields = [](TimeValue t) {
        CSystemTime st;
        EXPECT_TRUE(TimeToSystemTime(t, st));
        return std::vector<int>{st.m_wYear, st.m_wMonth,  st.m_wDay,    st.m_wDayOfWeek,
                                st.m_wHour, st.m_wMinute, st.m_wSecond, st.m_wMilliseconds};
    };
    EXPECT_EQ(fields(Local(2026, 3, 29, 3, 4, 5)), (std::vector<int>{2026, 3, 29, 0, 3, 4, 5, 0}));
    SetTimeZone("America/New_York");
    EXPECT_EQ(fields(0), (std::vector<int>{1969, 12, 31, 3, 19, 0, 0, 0}));
}

// Across a change of daylight saving the clock reading still matches; the same instants
// fall on one day in Berlin and on two in New York.
TEST_F(DateTextTest, SameDayAndSameTimeOfDayAreLocal) {
    const TimeValue tBerlin = Local(2026, 6, 1, 1, 0);
    for (const char* pszZone : {"Europe/Berlin", "America/New_York"}) {
        SetTimeZone(pszZone);
        EXPECT_TRUE(IsSameDay(Local(2026, 3, 8), Local(2026, 3, 8, 23, 59, 59))) << pszZone;
        EXPECT_FALSE(IsSameDay(Local(2026, 3, 8, 23, 59, 59), Local(2026, 3, 9))) << pszZone;
        EXPECT_TRUE(IsSameDay(Local(2026, 3, 29, 1), Local(2026, 3, 29, 4))) << pszZone;
        EXPECT_TRUE(IsSameTimeOfDay(Local(2026, 6, 1, 10, 0, 0), Local(2026, 6, 1, 10, 0, 59)));
        EXPECT_FALSE(IsSameTimeOfDay(Local(2026, 6, 1, 10, 0), Local(2026, 6, 1, 10, 1)));
        EXPECT_TRUE(IsSameTimeOfDay(Local(2026, 3, 1, 10, 0), Local(2026, 11, 30, 10, 0)));
        EXPECT_EQ(IsSameDay(tBerlin, tBerlin + 7 * 3600), *pszZone == 'E') << pszZone;
    }
}

TEST_F(DateTextTest, LocalCalendarArithmetic) {
    EXPECT_EQ(DatebookRangeStart(), 86400 - 3600);
    EXPECT_EQ(DatebookRangeEnd(), Local(2031, 12, 31));
    EXPECT_EQ(MakeLocalTimeValue(2040, 1, 1), 0); // past the 32-bit range
    EXPECT_EQ(LocalMidnight(Local(2026, 3, 29, 12, 30)), Local(2026, 3, 30) - 23 * 3600);
    SetTimeZone("America/New_York");
    EXPECT_EQ(DatebookRangeStart(), 86400 + 5 * 3600);
}

// Every date of the datebook range and every minute of the day, written by the formatter,
// reads back as itself, in each locale's Windows values and in its ICU defaults. Texts of
// plain ASCII are the same bytes in both code pages; Windows-1252 is checked where the
// settings hold what it cannot (Japanese and Korean markers, a Bulgarian literal).
TEST_F(DateTextTest, WhatIsWrittenReadsBack) {
    struct SConfig {
        const char* m_pszLocale;
        const char* m_pszProcessLocale;
        bool m_bStored; // Windows values in the registry, else ICU's defaults
        unsigned m_codePage;
        bool m_bEveryDay; // else every day of two years and three days of each month
    };
    const SConfig configs[] = {{"en-US", "en_US.UTF-8", true, CP_UTF8, true},
                               {"en-US", "en_US.UTF-8", false, CP_UTF8, true},
                               {"en-GB", "en_GB.UTF-8", true, CP_UTF8, true},
                               {"en-GB", "en_GB.UTF-8", false, CP_UTF8, true},
                               {"de-DE", "de_DE.UTF-8", true, CP_UTF8, true},
                               {"de-DE", "de_DE.UTF-8", false, CP_UTF8, true},
                               {"fr-FR", "fr_FR.UTF-8", true, CP_UTF8, true},
                               {"fr-FR", "fr_FR.UTF-8", false, CP_UTF8, true},
                               {"nl-NL", "nl_NL.UTF-8", true, CP_UTF8, true},
                               {"nl-NL", "nl_NL.UTF-8", false, CP_UTF8, true},
                               {"ja-JP", "ja_JP.UTF-8", true, CP_UTF8, true},
                               {"ja-JP", "ja_JP.UTF-8", false, CP_UTF8, true},
                               {"ja-JP", "ja_JP.UTF-8", true, CP_WINDOWS_1252, true},
                               {"it-IT", "it_IT.UTF-8", true, CP_UTF8, false},
                               {"ko-KR", "ko_KR.UTF-8", false, CP_UTF8, false},
                               {"ko-KR", "ko_KR.UTF-8", false, CP_WINDOWS_1252, false},
                               {"bg-BG", "bg_BG.UTF-8", false, CP_UTF8, false},
                               {"bg-BG", "bg_BG.UTF-8", false, CP_WINDOWS_1252, false},
                               {"fi-FI", "fi_FI.UTF-8", false, CP_UTF8, false}};
    for (const SConfig& c : configs) {
        SCOPED_TRACE(std::string(c.m_pszLocale) + (c.m_bStored ? " stored" : " defaults") +
                     " code page " + std::to_string(c.m_codePage));
        SetCodePage(c.m_codePage);
        UseDerived(c.m_pszProcessLocale);
        if (c.m_bStored)
            SetRegional(c.m_pszLocale);

        std::vector<std::string> failures;
        auto fail = [&failures](const std::string& text) {
            if (failures.size() < 5)
                failures.push_back(text);
        };
        int nDays = 0;
        for (int y = 1970; y <= 2031; ++y) {
            for (int m = 1; m <= 12; ++m) {
                for (int d = 1; d <= 31; ++d) {
                    const TimeValue t = Local(y, m, d);
                    CLocalTime check;
                    if (!BreakDownLocal(t, check) || check.m_nDay != d ||
                        (y == 1970 && m == 1 && d == 1))
                        continue; // past the month's end, or before the range
                    ++nDays;
                    if (!c.m_bEveryDay && y != 2024 && y != 2031 && d != 1 && d != 12 && d != 29)
                        continue;
                    const std::string text = FormatDate(t);
                    TimeValue back = 0;
                    if (ParseDateText(text, back) != STATUS_OK || back != t)
                        fail("date " + text);
                }
            }
        }
        EXPECT_EQ(nDays, 22644);
        for (int nMinute = 0; nMinute < 24 * 60; ++nMinute) {
            const TimeValue t = Local(2026, 12, 5, nMinute / 60, nMinute % 60);
            const std::string time = FormatTime(t);
            const std::string both = FormatDateTime(t);
            TimeValue back = 0;
            if (ParseTimeText(time, back) != STATUS_OK || back != t)
                fail("time " + time);
            if (ParseTimeText(both, back) != STATUS_OK || back != t)
                fail("date and time " + both);
            if (ParseDateText(both, back) != STATUS_OK || back != Local(2026, 12, 5))
                fail("date of " + both);
        }
        EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    }
}

} // namespace
