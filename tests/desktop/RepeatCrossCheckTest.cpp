// The stand-in host's repeat rules against libical's RRULE expansion: generated rules of every
// type, with month ends, leap days, long intervals, end days, exceptions and ranges reaching
// past 2031, translated to iCalendar the exact way (monthly on the 29th to 31st and yearly on
// 29 February with BYMONTHDAY/BYSETPOS, weeks starting on Sunday, the last day 2031-12-31).
#include "tests/desktop/DesktopTestSupport.h"

#include <libical/ical.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using desktop::DateFromDay;
using desktop::DayFromDate;

constexpr const char* kIcalWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

struct CGeneratedRule {
    int m_nStart = 0;
    int m_nType = 1;
    int m_nInterval = 1;
    int m_nExtra = 0;
    int m_nEnd = -1; // -1: none
    std::vector<int> m_vecExceptions;
    int m_nFrom = 0;
    int m_nTo = 0;
};

std::string Compact(int nDay) {
    const desktop::CCivilDate date = DateFromDay(nDay);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date.m_nYear, date.m_nMonth, date.m_nDay);
    return buffer;
}

std::string RRuleOf(const CGeneratedRule& rule) {
    const desktop::CCivilDate start = DateFromDay(rule.m_nStart);
    std::string r;
    const std::string day = std::to_string(start.m_nDay);
    if (rule.m_nType == 1) {
        r = "FREQ=DAILY";
    } else if (rule.m_nType == 2) {
        r = "FREQ=WEEKLY;WKST=SU;BYDAY=";
        for (int i = 0, n = 0; i < 7; ++i)
            if (rule.m_nExtra & (1 << i))
                r += std::string(n++ ? "," : "") + kIcalWeekdays[i];
    } else if (rule.m_nType == 3) {
        r = "FREQ=MONTHLY;BYDAY=" + (rule.m_nExtra == 5 ? "-1" : std::to_string(rule.m_nExtra)) +
            kIcalWeekdays[desktop::WeekdayOfDay(rule.m_nStart)];
    } else if (rule.m_nType == 4) {
        // The 29th to 31st fall back to the month's last day.
        static const char* const kLate[] = {"28,29;BYSETPOS=-1", "28,29,30;BYSETPOS=-1", "-1"};
        r = "FREQ=MONTHLY;BYMONTHDAY=" + (start.m_nDay <= 28 ? day : kLate[start.m_nDay - 29]);
    } else if (start.m_nMonth == 2 && start.m_nDay == 29) {
        r = "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=28,29;BYSETPOS=-1";
    } else {
        r = "FREQ=YEARLY;BYMONTH=" + std::to_string(start.m_nMonth) + ";BYMONTHDAY=" + day;
    }
    r += ";INTERVAL=" + std::to_string(rule.m_nInterval);
    const int nLast = rule.m_nEnd < 0 ? desktop::kLastDatebookDay
                                      : std::min(rule.m_nEnd, desktop::kLastDatebookDay);
    r += ";UNTIL=" + Compact(nLast);
    return r;
}

// libical's days of the rule in [from, to], less the exceptions.
std::vector<int> LibicalDays(const CGeneratedRule& rule, bool bWithExceptions = true) {
    const std::string rrule = RRuleOf(rule);
    icalrecurrencetype recurrence = icalrecurrencetype_from_string(rrule.c_str());
    const icaltimetype dtstart = icaltime_from_string(Compact(rule.m_nStart).c_str());
    icalrecur_iterator* pIterator = icalrecur_iterator_new(recurrence, dtstart);
    std::vector<int> days;
    if (!pIterator) {
        ADD_FAILURE() << "libical refuses " << rrule;
        return days;
    }
    for (int nGuard = 0; nGuard < 100000; ++nGuard) {
        const icaltimetype t = icalrecur_iterator_next(pIterator);
        if (icaltime_is_null_time(t))
            break;
        const int nDay = DayFromDate(t.year, t.month, t.day);
        if (nDay > rule.m_nTo)
            break;
        if (nDay < rule.m_nFrom)
            continue;
        if (bWithExceptions && std::find(rule.m_vecExceptions.begin(), rule.m_vecExceptions.end(),
                                         nDay) != rule.m_vecExceptions.end())
            continue;
        days.push_back(nDay);
    }
    icalrecur_iterator_free(pIterator);
    return days;
}

CGeneratedRule Generate(std::mt19937& random) {
    auto uniform = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(random); };
    CGeneratedRule rule;
    rule.m_nType = uniform(1, 5);
    int nYear = uniform(1990, 2031);
    int nMonth = uniform(1, nYear == 2031 ? 6 : 12);
    int nDay = uniform(1, desktop::DaysInMonth(nYear, nMonth));
    const int nShape = uniform(0, 9);
    if (nShape < 2) // a month end
        nDay = std::max(28, desktop::DaysInMonth(nYear, nMonth) - uniform(0, 3));
    if (nShape == 2 && rule.m_nType == 5) { // 29 February
        nYear = 2028 - 4 * uniform(0, 9);
        nMonth = 2;
        nDay = 29;
    }
    rule.m_nStart = DayFromDate(nYear, nMonth, std::min(nDay, desktop::DaysInMonth(nYear, nMonth)));

    const int nIntervalShape = uniform(0, 9);
    rule.m_nInterval = nIntervalShape < 4 ? 1 : nIntervalShape < 8 ? uniform(2, 4) : uniform(5, 99);
    if (rule.m_nType == 2)
        rule.m_nExtra = uniform(1, 127);
    if (rule.m_nType == 3)
        rule.m_nExtra = uniform(0, 2) ? uniform(4, 5) : uniform(1, 3);

    const int nEndShape = uniform(0, 9);
    if (nEndShape >= 4 && nEndShape < 9)
        rule.m_nEnd = rule.m_nStart + uniform(0, 1500);
    else if (nEndShape == 9)
        rule.m_nEnd = desktop::kLastDatebookDay + uniform(0, 400);

    rule.m_nFrom = rule.m_nStart + uniform(-60, 400);
    rule.m_nTo = rule.m_nFrom + uniform(0, 1600);
    if (uniform(0, 9) == 0)
        rule.m_nTo = desktop::kLastDatebookDay + uniform(0, 500);

    // Exceptions: some on the pattern, some anywhere in the range.
    const std::vector<int> onPattern = LibicalDays(rule, false);
    for (int i = uniform(0, 3); i > 0 && !onPattern.empty(); --i)
        rule.m_vecExceptions.push_back(onPattern[static_cast<std::size_t>(
            uniform(0, static_cast<int>(onPattern.size()) - 1))]);
    if (uniform(0, 3) == 0)
        rule.m_vecExceptions.push_back(uniform(rule.m_nFrom, std::max(rule.m_nFrom, rule.m_nTo)));
    for (int& nException : rule.m_vecExceptions)
        nException = std::clamp(nException, desktop::kFirstDatebookDay, desktop::kLastDatebookDay);
    return rule;
}

std::string Describe(const CGeneratedRule& rule) {
    std::string text = "start " + Iso(rule.m_nStart) + " " + RRuleOf(rule) + " range " +
                       Iso(rule.m_nFrom) + ".." + Iso(rule.m_nTo) + " except";
    for (int d : rule.m_vecExceptions)
        text += " " + Iso(d);
    return text;
}

class RepeatCrossCheck : public CDesktopTest {};

TEST_F(RepeatCrossCheck, HostAgreesWithLibicalOnGeneratedRules) {
    std::mt19937 random(20240229);
    CHostFixture host;
    std::size_t nOccurrences = 0;
    for (int i = 0; i < 600; ++i) {
        const CGeneratedRule rule = Generate(random);
        const std::string start = Iso(rule.m_nStart);
        CComPtr<IHostAppointment> p = host.Add(At(start, 8, 30), At(start, 9, 15), "generated");
        ASSERT_EQ(p->SetRepeat(rule.m_nType, rule.m_nInterval,
                               rule.m_nEnd < 0 ? 0 : At(Iso(rule.m_nEnd)), rule.m_nExtra),
                  S_OK)
            << Describe(rule) << ": " << TakeDescription();
        for (int nException : rule.m_vecExceptions)
            ASSERT_EQ(p->AddException(At(Iso(nException), 12)), S_OK) << TakeDescription();

        std::vector<std::string> expected;
        for (int d : LibicalDays(rule))
            expected.push_back(Iso(d));
        const HOSTTIME tTo =
            rule.m_nTo > Day("2037-12-31") ? At("2037-12-31") : At(Iso(rule.m_nTo));
        const std::vector<std::string> walked = Walk(p.Get(), At(Iso(rule.m_nFrom)), tTo);
        ASSERT_EQ(walked, expected) << "rule " << i << ": " << Describe(rule);
        nOccurrences += expected.size();
    }
    EXPECT_GT(nOccurrences, 20000u); // the rules are not trivially empty
}

} // namespace
