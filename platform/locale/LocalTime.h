// Local calendar time under the process time zone (TZ), with the daylight-saving flag
// left to the calendar, and the current time.
#pragma once

#include <cstdint>
#include <optional>

struct CLocalTime {
    int m_nYear = 1970;
    int m_nMonth = 1; // 1..12
    int m_nDay = 1;   // 1..31
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
    int m_nDayOfWeek = 4; // 0 Sunday .. 6 Saturday
    bool m_bDaylight = false;
};

// Seconds since 1970-01-01 00:00 UTC broken down in local time; false when the value
// cannot be represented.
[[nodiscard]] bool BreakDownLocal(std::int64_t t, CLocalTime& out);
// The instant of a local calendar time; daylight saving is decided by the calendar.
// Fields out of range are carried over as the C library does (day 32 is the 1st of the
// next month). Empty when the result cannot be represented.
[[nodiscard]] std::optional<std::int64_t>
MakeLocalTime(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0, int nSecond = 0);
// The same with daylight saving forced off (standard time).
[[nodiscard]] std::optional<std::int64_t>
MakeStandardTime(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0, int nSecond = 0);
// Seconds since 1970-01-01 00:00 UTC broken down in UTC.
[[nodiscard]] bool BreakDownUtc(std::int64_t t, CLocalTime& out);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and the date of a
// day count. No time zone takes part.
[[nodiscard]] std::int64_t DaysFromCivil(int nYear, int nMonth, int nDay);
void CivilFromDays(std::int64_t nDays, int& nYear, int& nMonth, int& nDay);

// The current time in seconds since 1970-01-01 00:00 UTC: the clock hook's time when one is
// installed and gives one, else the system clock.
[[nodiscard]] std::int64_t CurrentTime();
// Sets tNow and returns true to stand for the clock. Null (the default) in the programs;
// test builds install one that pins the clock.
using FnClockHook = bool (*)(std::int64_t& tNow);
void SetClockHook(FnClockHook pHook);
