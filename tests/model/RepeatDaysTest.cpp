// The pattern days of the core agree with the stand-in host's own repeat rules, which are
// written independently (desktop/RepeatPattern): same start, same rule, same days.
#include "model/RepeatDays.h"

#include "desktop/CalendarDay.h"
#include "desktop/RepeatPattern.h"
#include "platform/locale/LocalTime.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RepeatDaysTest, PatternDaysMatchTheHostsRules) {
    struct SRule {
        int m_nYear, m_nMonth, m_nDay;
        std::int32_t m_nType, m_nInterval, m_nExtra;
    };
    const SRule rules[] = {
        {2024, 1, 30, REPEAT_DAILY, 3, 0},
        {2024, 1, 1, REPEAT_DAILY, 0, 0},
        {2024, 1, 1, REPEAT_WEEKLY, 2, 0x0B},
        {2024, 1, 2, REPEAT_WEEKLY, 1, 0x12},
        {2024, 1, 6, REPEAT_WEEKLY, 3, 0x41},
        {2024, 1, 3, REPEAT_WEEKLY, 1, 0},
        {2024, 1, 26, REPEAT_MONTHLY_BY_DAY, 1, 5},
        {2024, 1, 29, REPEAT_MONTHLY_BY_DAY, 1, 4},
        {2024, 1, 10, REPEAT_MONTHLY_BY_DAY, 2, 1},
        {2024, 1, 31, REPEAT_MONTHLY_BY_DATE, 1, 0},
        {2023, 12, 30, REPEAT_MONTHLY_BY_DATE, 2, 0},
        {2024, 1, 29, REPEAT_MONTHLY_BY_DATE, 5, 0},
        {2024, 2, 29, REPEAT_YEARLY, 1, 0},
        {2024, 2, 29, REPEAT_YEARLY, 3, 0},
        {1999, 12, 31, REPEAT_YEARLY, 2, 0},
    };
    for (const SRule& r : rules) {
        SCOPED_TRACE(::testing::Message()
                     << r.m_nYear << "-" << r.m_nMonth << "-" << r.m_nDay << " type " << r.m_nType);
        CRepeatRule rule;
        rule.m_nType = r.m_nType;
        rule.m_nInterval = r.m_nInterval;
        rule.m_byWeekdays = static_cast<std::uint8_t>(r.m_nType == REPEAT_WEEKLY ? r.m_nExtra : 0);
        rule.m_nWeekIndex = r.m_nType == REPEAT_MONTHLY_BY_DAY ? r.m_nExtra : 0;
        const std::int64_t nStart = DaysFromCivil(r.m_nYear, r.m_nMonth, r.m_nDay);
        const std::int64_t nLast = DaysFromCivil(2031, 12, 31);

        const int nHostStart = desktop::DayFromDate(r.m_nYear, r.m_nMonth, r.m_nDay);
        const CRepeatPattern host(nHostStart, r.m_nType, r.m_nInterval, r.m_nExtra,
                                  CRepeatPattern::kNoEnd, {});
        std::vector<std::int64_t> expected;
        for (std::optional<int> d = host.FindFirst(nHostStart, host.LastDay()); d;
             d = host.FindFirst(*d + 1, host.LastDay()))
            expected.push_back(*d - nHostStart + nStart);
        EXPECT_EQ(RepeatPatternDays(rule, nStart, nLast), expected);
        EXPECT_EQ(LastDatebookDay(), nLast);
    }
}

} // namespace
