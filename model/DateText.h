// Dates, times and durations as text in the user's regional settings, and the local
// calendar arithmetic the program shares. Texts are narrow strings in the system code
// page.
#pragma once

#include "model/Status.h"

#include <cstdint>
#include <string>
#include <string_view>

// A point in time: seconds since 1970-01-01 00:00 UTC, shown in local time.
using TimeValue = std::int32_t;
// A duration in seconds.
using TimeSpan = std::int32_t;

class CAppointment;

// Calendar record of the platform calls.
struct CSystemTime {
    std::uint16_t m_wYear = 0;
    std::uint16_t m_wMonth = 0;
    std::uint16_t m_wDayOfWeek = 0; // Sunday 0
    std::uint16_t m_wDay = 0;
    std::uint16_t m_wHour = 0;
    std::uint16_t m_wMinute = 0;
    std::uint16_t m_wSecond = 0;
    std::uint16_t m_wMilliseconds = 0;
};

// The datebook range: 1970-01-02 00:00 and 2031-12-31 00:00 local time.
[[nodiscard]] TimeValue DatebookRangeStart();
[[nodiscard]] TimeValue DatebookRangeEnd();

// Local time of a calendar date and time of day, daylight saving decided by the
// calendar; 0 when it is outside the 32-bit range.
[[nodiscard]] TimeValue MakeLocalTimeValue(int nYear, int nMonth, int nDay, int nHour = 0,
                                           int nMinute = 0, int nSecond = 0);
// The local day of t at 00:00:00.
[[nodiscard]] TimeValue LocalMidnight(TimeValue t);

[[nodiscard]] std::string FormatDate(TimeValue t);
[[nodiscard]] std::string FormatTime(TimeValue t);
[[nodiscard]] std::string FormatDateTime(TimeValue t);
[[nodiscard]] std::string FormatAppointmentSummary(const CAppointment& appointment);
[[nodiscard]] bool TimeToSystemTime(TimeValue t, CSystemTime& out);
[[nodiscard]] bool IsSameDay(TimeValue a, TimeValue b);
[[nodiscard]] bool IsSameTimeOfDay(TimeValue a, TimeValue b);

// The year window of parsed dates: below 100 adds 1900, then below 1970 adds 100; false
// when the year is still outside 1970..2031.
[[nodiscard]] bool ApplyYearWindow(int& nYear);
// The local midnight of a day read from a file, after the year window: 0, or -1 for a day
// outside the datebook's days (2 January 1970 to 31 December 2031). 1 January 1970 passes
// the year window but lies before the first day that every operation lists, so it is
// refused like a day after 2031.
[[nodiscard]] EStatus MakeDatebookDay(int nYear, int nMonth, int nDay, TimeValue& out);

// 0 parsed and stored, -1 invalid, -2 empty; out is untouched unless 0.
EStatus ParseDateText(std::string_view text, TimeValue& out);
EStatus ParseTimeText(std::string_view text, TimeValue& out);
EStatus ParseSpanText(std::string_view text, TimeSpan& out);
