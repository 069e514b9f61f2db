// The days on which a datebook appointment falls: its start day alone, or the days that its
// repeat rule gives. The rules are the handheld's own:
//   - a day is an occurrence when it lies between the start day and the end day (both
//     included), the type's test passes, and it is not an exception day;
//   - daily every n: (day - start) mod n = 0;
//   - weekly every n: the day's weekday is in the set (bit 0 Sunday .. bit 6 Saturday) and
//     (week(day) - week(start)) mod n = 0, weeks beginning on Sunday;
//   - monthly by day every n: (months between) mod n = 0, on the k-th start weekday of the
//     month for k = 1..4, or on the last one for k = 5;
//   - monthly by date every n: (months between) mod n = 0, on the start's day of the month,
//     or on the month's last day when the month is shorter;
//   - yearly every n: (years between) mod n = 0, the start's month and day, 29 February
//     giving 28 February in common years;
//   - no day after 2031-12-31 is ever an occurrence; an end day of 2031-12-31 or later means
//     no end.
#pragma once

#include <optional>
#include <vector>

// Repeat types as the host interfaces number them.
enum EHostRepeatType : int {
    HOST_REPEAT_NONE = 0,
    HOST_REPEAT_DAILY = 1,
    HOST_REPEAT_WEEKLY = 2,
    HOST_REPEAT_MONTHLY_BY_DAY = 3,
    HOST_REPEAT_MONTHLY_BY_DATE = 4,
    HOST_REPEAT_YEARLY = 5,
};

class CRepeatPattern {
public:
    // No end day.
    static constexpr int kNoEnd = 0x7FFFFFFF;

    // A single appointment: one occurrence, its start day.
    explicit CRepeatPattern(int nStartDay);
    // A repeating one. nExtra: the weekday set for weekly rules, the week index 1..5 for
    // monthly rules by day, else unused. Interval 0 is taken as 1. Exception days in any
    // order.
    CRepeatPattern(int nStartDay, int nType, int nInterval, int nExtra, int nEndDay,
                   std::vector<int> vecExceptionDays);

    // The first occurrence d with from <= d <= to; empty when there is none.
    [[nodiscard]] std::optional<int> FindFirst(int nFromDay, int nToDay) const;
    [[nodiscard]] bool IsOccurrence(int nDay) const;
    // The last day that can be an occurrence (before exceptions): the start day for a
    // single appointment, else the end day or 2031-12-31, whichever comes first.
    [[nodiscard]] int LastDay() const { return m_nLastDay; }

private:
    // The first day >= nDay (nDay >= the start day) that the type's rule gives, ignoring
    // exceptions; empty when there is none up to nLimit.
    [[nodiscard]] std::optional<int> NextRuleDay(int nDay, int nLimit) const;
    [[nodiscard]] int MonthlyDay(int nMonthIndex) const;
    [[nodiscard]] int YearlyDay(int nYear) const;
    [[nodiscard]] bool IsException(int nDay) const;

    int m_nStartDay;
    int m_nType = HOST_REPEAT_NONE;
    int m_nInterval = 1;
    int m_nExtra = 0;
    int m_nLastDay;
    int m_nStartYear = 1970;
    int m_nStartMonth = 1;
    int m_nStartDayOfMonth = 1;
    int m_nStartWeekday = 4;
    std::vector<int> m_vecExceptionDays; // sorted, unique
};
