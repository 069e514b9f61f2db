// Calendar days of the datebook: whole local dates counted as days from 1970-01-01 (day 0)
// in the proleptic Gregorian calendar, their ISO text (yyyy-mm-dd), and the link between a
// day and the time values (signed 32-bit seconds since 1970-01-01 00:00 UTC) of the process
// time zone.
#pragma once

#include "host/HostInterfaces.h"

#include <optional>
#include <string>
#include <string_view>

namespace desktop {

struct CCivilDate {
    int m_nYear = 1970;
    int m_nMonth = 1; // 1..12
    int m_nDay = 1;   // 1..31
};

[[nodiscard]] constexpr int FloorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
[[nodiscard]] constexpr int FloorMod(int a, int b) {
    return a - FloorDiv(a, b) * b;
}

[[nodiscard]] constexpr bool IsLeapYear(int nYear) {
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

[[nodiscard]] constexpr int DaysInMonth(int nYear, int nMonth) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return nMonth == 2 && IsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

[[nodiscard]] constexpr int DayFromDate(int nYear, int nMonth, int nDay) {
    // Years counted from March, so that the leap day ends a year.
    const int y = nYear - (nMonth <= 2 ? 1 : 0);
    const int era = FloorDiv(y, 400);
    const int yoe = y - era * 400;
    const int doy = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5 + nDay - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

[[nodiscard]] constexpr CCivilDate DateFromDay(int nDay) {
    const int z = nDay + 719468;
    const int era = FloorDiv(z, 146097);
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int d = doy - (153 * mp + 2) / 5 + 1;
    const int m = mp < 10 ? mp + 3 : mp - 9;
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

// 0 Sunday .. 6 Saturday.
[[nodiscard]] constexpr int WeekdayOfDay(int nDay) {
    return FloorMod(nDay + 4, 7);
}

// The datebook's days run from 1904-01-01 to 2031-12-31; no occurrence lies beyond the last.
inline constexpr int kFirstDatebookDay = DayFromDate(1904, 1, 1);
inline constexpr int kLastDatebookDay = DayFromDate(2031, 12, 31);

// The local date of a time value.
[[nodiscard]] int LocalDayOf(HOSTTIME t);
// 00:00 local time of the day (the first instant of the day where 00:00 does not exist);
// empty when it cannot be held in a time value.
[[nodiscard]] std::optional<HOSTTIME> LocalMidnightOf(int nDay);

// yyyy-mm-dd.
[[nodiscard]] std::string FormatIsoDay(int nDay);
// Exactly yyyy-mm-dd with a valid date of the years 1 to 9999; empty otherwise.
[[nodiscard]] std::optional<int> ParseIsoDay(std::string_view text);

} // namespace desktop
