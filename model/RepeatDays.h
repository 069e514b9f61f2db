// The days of a repeat rule, as the datebook repeats an appointment: local calendar days
// counted from 1970-01-01, free of any time zone. Exception days are not part of the
// pattern; the caller removes them.
//   - daily every n: (day - start) mod n = 0;
//   - weekly every n: the weekday is in the set and the Sunday-based weeks between are a
//     multiple of n;
//   - monthly by day: the k-th (1..4) or last (5) start weekday of every n-th month;
//   - monthly by date: the start's day of every n-th month, the month's last day when the
//     month is shorter;
//   - yearly: the start's month and day every n-th year, 29 February giving 28 February
//     in common years.
// Interval 0 counts as 1.
#pragma once

#include "model/Appointment.h"

#include <cstdint>
#include <vector>

// The last day of the datebook: no repetition goes past 2031-12-31.
[[nodiscard]] std::int64_t LastDatebookDay();

[[nodiscard]] int DaysInMonth(int nYear, int nMonth);
// 0 Sunday .. 6 Saturday.
[[nodiscard]] int WeekdayOfDays(std::int64_t nDays);
// The k-th (1..4) or last (5) weekday (0 Sunday) of a month.
[[nodiscard]] std::int64_t NthWeekdayOfMonth(int nYear, int nMonth, int nWeekday, int nIndex);

// Whether the day lies on the rule's pattern for a series starting on nStartDay (the end
// day of the rule is not looked at). Days before the start are never on it.
[[nodiscard]] bool IsRepeatPatternDay(const CRepeatRule& rule, std::int64_t nStartDay,
                                      std::int64_t nDay);

// Every pattern day from the start day to nLastDay, both included.
[[nodiscard]] std::vector<std::int64_t>
RepeatPatternDays(const CRepeatRule& rule, std::int64_t nStartDay, std::int64_t nLastDay);
