// The handheld's repeat rules, one table for every rule and its boundaries; each case runs
// on the rule engine and again through the host interfaces, as the export walks them.
#include "desktop/RepeatPattern.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr int SU = 1, MO = 2, TU = 4, WE = 8, TH = 16, FR = 32, SA = 64;

struct CRuleCase {
    const char* m_pszName;
    const char* m_pszStart;
    int m_nType; // 0: a single appointment
    int m_nInterval;
    int m_nExtra;
    const char* m_pszEnd;        // empty: none
    const char* m_pszExceptions; // days, space-separated
    const char* m_pszFrom;
    const char* m_pszTo;
    const char* m_pszExpected;
};

const CRuleCase kRuleCases[] = {
    // Daily, interval 0 as 1, nothing before the start.
    {"DailyEvery3Across29Feb", "2024-01-30", 1, 3, 0, "", "", "2024-02-20", "2024-03-10",
     "2024-02-20 2024-02-23 2024-02-26 2024-02-29 2024-03-03 2024-03-06 2024-03-09"},
    {"IntervalZeroIsOne", "2024-01-01", 1, 0, 0, "", "", "2024-01-01", "2024-01-03",
     "2024-01-01 2024-01-02 2024-01-03"},
    {"DailyEvery99", "2024-01-01", 1, 99, 0, "", "", "2024-01-01", "2024-12-31",
     "2024-01-01 2024-04-09 2024-07-17 2024-10-24"},
    {"NothingBeforeTheStart", "2024-01-10", 1, 1, 0, "", "", "2024-01-01", "2024-01-12",
     "2024-01-10 2024-01-11 2024-01-12"},
    // End day and the datebook's last day.
    {"EndDayIncluded", "2024-01-01", 1, 1, 0, "2024-01-05", "", "2024-01-01", "2024-01-31",
     "2024-01-01 2024-01-02 2024-01-03 2024-01-04 2024-01-05"},
    {"EndBeforeTheRange", "2024-01-01", 1, 1, 0, "2024-01-05", "", "2024-01-06", "2024-01-31", ""},
    {"End20311231MeansNoEnd", "2031-12-28", 1, 1, 0, "2031-12-31", "", "2031-12-01", "2031-12-31",
     "2031-12-28 2031-12-29 2031-12-30 2031-12-31"},
    {"NoSearchPast2031", "2031-12-28", 1, 1, 0, "", "", "2031-12-30", "2037-06-01",
     "2031-12-30 2031-12-31"},
    {"End20311230IsAnEnd", "2031-12-28", 1, 1, 0, "2031-12-30", "", "2031-12-01", "2031-12-31",
     "2031-12-28 2031-12-29 2031-12-30"},
    {"RangeBackwards", "2024-01-01", 1, 1, 0, "", "", "2024-01-05", "2024-01-01", ""},
    // Exceptions.
    {"ExceptionsOnAndOffThePattern", "2024-01-01", 1, 2, 0, "", "2024-01-02 2024-01-03 2024-02-01",
     "2024-01-01", "2024-01-07", "2024-01-01 2024-01-05 2024-01-07"},
    {"ExceptionOnTheStartDay", "2024-01-01", 1, 1, 0, "", "2024-01-01", "2024-01-01", "2024-01-03",
     "2024-01-02 2024-01-03"},
    {"ExceptionOnTheLastDay", "2024-03-01", 4, 1, 0, "2024-05-01", "2024-05-01", "2024-01-01",
     "2024-12-31", "2024-03-01 2024-04-01"},
    // Weekly: weeks begin on Sunday.
    {"WeeklyEvery2MondayWednesday", "2024-01-01", 2, 2, MO | WE, "", "", "2024-01-01", "2024-02-15",
     "2024-01-01 2024-01-03 2024-01-15 2024-01-17 2024-01-29 2024-01-31 2024-02-12 2024-02-14"},
    {"StartDayNotInTheSet", "2024-01-02", 2, 1, MO | WE, "", "", "2024-01-01", "2024-01-10",
     "2024-01-03 2024-01-08 2024-01-10"},
    {"SundayStartsTheWeek", "2024-01-06", 2, 2, SU | SA, "", "", "2024-01-01", "2024-02-04",
     "2024-01-06 2024-01-14 2024-01-20 2024-01-28 2024-02-03"},
    {"SundayStartOfASeries", "2024-01-07", 2, 2, SU | MO, "", "", "2024-01-01", "2024-01-31",
     "2024-01-07 2024-01-08 2024-01-21 2024-01-22"},
    {"WeeklyEvery3AllDays", "2024-01-03", 2, 3, 127, "", "", "2024-01-01", "2024-01-27",
     "2024-01-03 2024-01-04 2024-01-05 2024-01-06 2024-01-21 2024-01-22 2024-01-23 2024-01-24 "
     "2024-01-25 2024-01-26 2024-01-27"},
    {"WeeklyAcrossTheLastDay", "2031-12-20", 2, 1, TU | FR | SA, "", "", "2031-12-20", "2032-01-31",
     "2031-12-20 2031-12-23 2031-12-26 2031-12-27 2031-12-30"},
    // Monthly by day: 4 is the fourth, 5 the last, even where they coincide.
    {"LastFriday", "2024-01-26", 3, 1, 5, "", "", "2024-01-01", "2024-06-30",
     "2024-01-26 2024-02-23 2024-03-29 2024-04-26 2024-05-31 2024-06-28"},
    {"FourthThursday", "2024-01-25", 3, 1, 4, "", "", "2024-01-01", "2024-06-30",
     "2024-01-25 2024-02-22 2024-03-28 2024-04-25 2024-05-23 2024-06-27"},
    {"Week4IsNotTheLast", "2024-02-22", 3, 1, 4, "", "", "2024-02-01", "2024-05-31",
     "2024-02-22 2024-03-28 2024-04-25 2024-05-23"},
    {"Week5IsTheLast", "2024-02-29", 3, 1, 5, "", "", "2024-02-01", "2024-05-31",
     "2024-02-29 2024-03-28 2024-04-25 2024-05-30"},
    {"FirstMondayEvery2Months", "2024-01-01", 3, 2, 1, "", "", "2024-01-01", "2024-08-31",
     "2024-01-01 2024-03-04 2024-05-06 2024-07-01"},
    {"WeekIndexBeforeTheStartDay", "2024-01-26", 3, 1, 2, "", "", "2024-01-01", "2024-03-31",
     "2024-02-09 2024-03-08"},
    // Monthly by date: short months take their last day.
    {"The31st", "2024-01-31", 4, 1, 0, "", "", "2024-01-01", "2024-07-31",
     "2024-01-31 2024-02-29 2024-03-31 2024-04-30 2024-05-31 2024-06-30 2024-07-31"},
    {"The31stInACommonYear", "2023-01-31", 4, 1, 0, "", "", "2023-01-01", "2023-04-30",
     "2023-01-31 2023-02-28 2023-03-31 2023-04-30"},
    {"The31stIn2000", "2000-01-31", 4, 1, 0, "", "", "2000-01-01", "2000-03-31",
     "2000-01-31 2000-02-29 2000-03-31"},
    {"The30th", "2024-01-30", 4, 1, 0, "", "", "2024-01-01", "2024-04-30",
     "2024-01-30 2024-02-29 2024-03-30 2024-04-30"},
    {"The29thEvery5Months", "2023-01-29", 4, 5, 0, "", "", "2023-01-01", "2025-12-31",
     "2023-01-29 2023-06-29 2023-11-29 2024-04-29 2024-09-29 2025-02-28 2025-07-29 2025-12-29"},
    {"Every3MonthsAcrossTheYear", "2024-11-15", 4, 3, 0, "", "", "2024-11-01", "2025-06-30",
     "2024-11-15 2025-02-15 2025-05-15"},
    // Yearly.
    {"Yearly29February", "2024-02-29", 5, 1, 0, "", "", "2024-01-01", "2029-12-31",
     "2024-02-29 2025-02-28 2026-02-28 2027-02-28 2028-02-29 2029-02-28"},
    {"Every3YearsFrom29February", "2024-02-29", 5, 3, 0, "", "", "2024-01-01", "2031-12-31",
     "2024-02-29 2027-02-28 2030-02-28"},
    {"Yearly31DecemberToTheLastDay", "2029-12-31", 5, 1, 0, "", "", "2029-01-01", "2031-12-31",
     "2029-12-31 2030-12-31 2031-12-31"},
    // A single appointment has one occurrence: its start day.
    {"SingleInTheRange", "2024-05-05", 0, 0, 0, "", "", "2024-05-01", "2024-05-31", "2024-05-05"},
    {"SingleOnTheFirstDay", "2024-05-05", 0, 0, 0, "", "", "2024-05-05", "2024-05-05",
     "2024-05-05"},
    {"SingleOutsideTheRange", "2024-05-05", 0, 0, 0, "", "", "2024-05-06", "2024-05-31", ""},
};

CRepeatPattern PatternOf(const CRuleCase& c) {
    if (c.m_nType == 0)
        return CRepeatPattern(Day(c.m_pszStart));
    std::vector<int> exceptions;
    for (const std::string& day : Words(c.m_pszExceptions))
        exceptions.push_back(Day(day));
    return CRepeatPattern(Day(c.m_pszStart), c.m_nType, c.m_nInterval, c.m_nExtra,
                          *c.m_pszEnd ? Day(c.m_pszEnd) : CRepeatPattern::kNoEnd, exceptions);
}

class RepeatRules : public CDesktopTest {};

TEST_F(RepeatRules, EveryRuleOnTheEngineAndThroughTheHost) {
    CHostFixture host;
    for (const CRuleCase& c : kRuleCases) {
        SCOPED_TRACE(c.m_pszName);
        const std::vector<std::string> expected = Words(c.m_pszExpected);
        const CRepeatPattern pattern = PatternOf(c);
        const int nFrom = Day(c.m_pszFrom);
        const int nTo = Day(c.m_pszTo);
        std::vector<std::string> found;
        for (std::optional<int> day = pattern.FindFirst(nFrom, nTo); day;
             day = pattern.FindFirst(*day + 1, nTo))
            found.push_back(Iso(*day));
        EXPECT_EQ(found, expected);
        // Day by day, the same answer.
        std::vector<std::string> dayByDay;
        for (int d = nFrom; d <= std::min(nTo, desktop::kLastDatebookDay + 10); ++d)
            if (pattern.IsOccurrence(d))
                dayByDay.push_back(Iso(d));
        EXPECT_EQ(dayByDay, expected);

        CComPtr<IHostAppointment> p = host.Add(At(c.m_pszStart, 9), At(c.m_pszStart, 10), "rule");
        if (c.m_nType != 0) {
            const HOSTTIME tEnd = *c.m_pszEnd ? At(c.m_pszEnd) : 0;
            ASSERT_EQ(p->SetRepeat(c.m_nType, c.m_nInterval, tEnd, c.m_nExtra), S_OK)
                << TakeDescription();
            for (const std::string& day : Words(c.m_pszExceptions))
                ASSERT_EQ(p->AddException(At(day)), S_OK);
        }
        // The range's times of day do not matter, only its days.
        EXPECT_EQ(Walk(p.Get(), At(c.m_pszFrom, 23, 59), At(c.m_pszTo, 0, 1)), expected);
    }
}

TEST(RepeatPattern, WeeklyWithoutWeekdaysHasNoOccurrence) {
    const CRepeatPattern pattern(Day("2024-01-01"), 2, 1, 0, CRepeatPattern::kNoEnd, {});
    EXPECT_FALSE(pattern.FindFirst(Day("2024-01-01"), Day("2031-12-31")));
}

TEST(CalendarDay, DaysAndDatesRoundTrip) {
    for (int d = desktop::DayFromDate(1900, 1, 1); d <= desktop::DayFromDate(2040, 12, 31); ++d) {
        const desktop::CCivilDate date = desktop::DateFromDay(d);
        ASSERT_EQ(desktop::DayFromDate(date.m_nYear, date.m_nMonth, date.m_nDay), d);
        ASSERT_EQ(desktop::ParseIsoDay(desktop::FormatIsoDay(d)), d);
    }
    EXPECT_EQ(desktop::DayFromDate(1970, 1, 1), 0);
    EXPECT_EQ(desktop::WeekdayOfDay(0), 4); // Thursday
    for (const char* bad : {"2024-02-30", "2023-02-29", "1900-02-29", "2024-13-01", "2024-1-01",
                            "2024-01-01x", "24-01-01", "2024/01/01", ""})
        EXPECT_FALSE(desktop::ParseIsoDay(bad)) << bad;
}

} // namespace
