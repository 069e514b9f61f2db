#include "desktop/AppointmentText.h"

#include "desktop/CalendarDay.h"
#include "desktop/UnicodeText.h"
#include "platform/locale/LocalTime.h"

#include <cstdio>

namespace desktop {

namespace {

const char* RepeatKindName(LONG nType) {
    switch (nType) {
    case HOST_REPEAT_DAILY:
        return "daily";
    case HOST_REPEAT_WEEKLY:
        return "weekly";
    case HOST_REPEAT_MONTHLY_BY_DAY:
        return "monthly-day";
    case HOST_REPEAT_MONTHLY_BY_DATE:
        return "monthly-date";
    case HOST_REPEAT_YEARLY:
        return "yearly";
    default:
        return "none";
    }
}

std::string WeekdaysText(LONG nSet) {
    std::string out;
    for (int i = 0; i < 7; ++i) {
        if (!(nSet & (1 << i)))
            continue;
        if (!out.empty())
            out += ',';
        out += kWeekdayNames[i];
    }
    return out;
}

} // namespace

std::string Escaped(const std::u16string& text) {
    std::string out;
    for (char c : Utf16ToUtf8Lenient(text)) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string TimeOfDayText(HOSTTIME t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return "??:??";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", local.m_nHour % 100, local.m_nMinute % 100);
    return buffer;
}

std::string DayListText(const std::vector<int>& days) {
    std::string out;
    for (int nDay : days) {
        if (!out.empty())
            out += ',';
        out += FormatIsoDay(nDay);
    }
    return out;
}

std::string RepeatSummary(const CStoredAppointment& a, bool bWithExceptions) {
    if (!a.IsRepeating())
        return "none";
    std::string out = RepeatKindName(a.m_nRepeatType);
    if (a.m_nRepeatInterval > 1)
        out += " every " + std::to_string(a.m_nRepeatInterval);
    if (a.m_nRepeatType == HOST_REPEAT_WEEKLY)
        out += " on " + WeekdaysText(a.m_nRepeatExtra);
    if (a.m_nRepeatType == HOST_REPEAT_MONTHLY_BY_DAY)
        out += " week " + std::to_string(a.m_nRepeatExtra);
    if (a.m_nRepeatEndDay != CRepeatPattern::kNoEnd)
        out += " until " + FormatIsoDay(a.m_nRepeatEndDay);
    if (bWithExceptions && !a.m_vecExceptionDays.empty())
        out += " except " + DayListText(a.m_vecExceptionDays);
    return out;
}

std::string TimesText(const CStoredAppointment& a) {
    if (a.m_bUntimed)
        return "untimed";
    std::string out = TimeOfDayText(a.m_tStart) + "-" + TimeOfDayText(a.m_tEnd);
    const int nDays = LocalDayOf(a.m_tEnd) - a.StartDay();
    if (nDays > 0)
        out += "+" + std::to_string(nDays) + "d";
    return out;
}

} // namespace desktop
