// An appointment of the datebook store as one line of text: what the host's command line
// lists and the host window shows. Days are yyyy-mm-dd, times HH:MM in the process time zone.
#pragma once

#include "desktop/DatebookStore.h"

#include <string>
#include <vector>

namespace desktop {

// Weekdays from Sunday, as repeat rules name them.
inline constexpr const char* kWeekdayNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// One line per value: backslash, tab and line breaks written as \\, \t, \n, \r.
[[nodiscard]] std::string Escaped(const std::u16string& text);
// HH:MM of a time value; "??:??" when it cannot be broken down.
[[nodiscard]] std::string TimeOfDayText(HOSTTIME t);
// Days as yyyy-mm-dd, separated by commas.
[[nodiscard]] std::string DayListText(const std::vector<int>& days);
// "none", or the kind with its interval, weekdays or week, end day and (when asked) its
// exception days: "weekly every 2 on MO,WE until 2027-01-31".
[[nodiscard]] std::string RepeatSummary(const CStoredAppointment& a, bool bWithExceptions);
// "untimed", or "HH:MM-HH:MM" with "+Nd" when the end falls N days after the start.
[[nodiscard]] std::string TimesText(const CStoredAppointment& a);

} // namespace desktop
