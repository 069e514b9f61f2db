#include "model/Appointment.h"

#include "platform/locale/LocalTime.h"

namespace {

constexpr const char* kRepeatTypeNames[] = {"Daily", "Weekly", "Monthly Day", "Monthly Date",
                                            "Yearly"};

// The local day of tDay combined with the local time of day of tTime.
TimeValue CombineDayAndTime(TimeValue tDay, TimeValue tTime) {
    CLocalTime day;
    CLocalTime time;
    if (!BreakDownLocal(tDay, day) || !BreakDownLocal(tTime, time))
        return tDay;
    return MakeLocalTimeValue(day.m_nYear, day.m_nMonth, day.m_nDay, time.m_nHour, time.m_nMinute,
                              time.m_nSecond);
}

} // namespace

std::string_view TrimWhiteSpace(std::string_view text) {
    constexpr const char* kBlanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

const char* RepeatTypeName(std::int32_t nType) {
    if (nType < REPEAT_DAILY || nType > REPEAT_YEARLY)
        return "";
    return kRepeatTypeNames[nType - REPEAT_DAILY];
}

CAppointment::CAppointment(COptions* pOptions) : m_pOptions(pOptions) {
    Reset();
}

CAppointment::~CAppointment() = default;

void CAppointment::Reset() {
    m_bAlarm = false;
    m_bUntimed = false;
    m_bPrivate = false;
    m_bRepeat = false;
    m_repeat = CRepeatRule{};
    m_repeat.m_nType = REPEAT_DAILY;
    m_nRecordId = 0;
    m_tStart = 0;
    m_tEnd = 0;
    m_tDate = 0;
    m_tsDuration = 0;
    m_strText.clear();
    m_strNote.clear();
    m_strLocation.clear();
    m_strCategory.clear();
}

void CAppointment::SetDate(TimeValue t) {
    m_tDate = LocalMidnight(t);
}

TimeValue CAppointment::GetStartDateTime() const {
    if (m_bUntimed)
        return m_tDate;
    return CombineDayAndTime(m_tDate, m_tStart);
}

TimeValue CAppointment::GetEndDateTime() const {
    if (m_bUntimed)
        return static_cast<TimeValue>(m_tDate + 86400);
    return CombineDayAndTime(m_tDate, m_tEnd);
}

std::int32_t CAppointment::GetAlarmMinutes() const {
    if (!m_bAlarm)
        return 0;
    switch (m_nAlarmUnit) {
    case ALARM_HOURS:
        return m_nAlarmAdvance * 60;
    case ALARM_DAYS:
        return m_nAlarmAdvance * 1440;
    default:
        return m_nAlarmAdvance;
    }
}

void CAppointment::SetRepeatTypeFromText(std::string_view text) {
    for (std::int32_t nType = REPEAT_DAILY; nType <= REPEAT_YEARLY; ++nType)
        if (text == kRepeatTypeNames[nType - REPEAT_DAILY]) {
            m_repeat.m_nType = nType;
            return;
        }
}

bool CAppointment::IsSameAppointment(const CAppointment& other) const {
    if (TrimWhiteSpace(m_strText) != TrimWhiteSpace(other.m_strText))
        return false;
    if (TrimWhiteSpace(m_strNote) != TrimWhiteSpace(other.m_strNote))
        return false;
    if (TrimWhiteSpace(m_strLocation) != TrimWhiteSpace(other.m_strLocation))
        return false;
    if (m_bUntimed != other.m_bUntimed)
        return false;
    if (!IsSameDay(m_tDate, other.m_tDate))
        return false;
    if (!m_bUntimed &&
        (!IsSameTimeOfDay(m_tStart, other.m_tStart) || !IsSameTimeOfDay(m_tEnd, other.m_tEnd)))
        return false;
    if (m_bPrivate != other.m_bPrivate)
        return false;
    // Only an alarm on this side against none on the other counts, and only when it is
    // not zero minutes ahead.
    if (m_bAlarm && !other.m_bAlarm && GetAlarmMinutes() != other.GetAlarmMinutes())
        return false;
    if (m_bRepeat != other.m_bRepeat)
        return false;
    if (!m_bRepeat)
        return true;
    return m_repeat.m_nType == other.m_repeat.m_nType &&
           m_repeat.m_nInterval == other.m_repeat.m_nInterval &&
           m_repeat.m_tEnd == other.m_repeat.m_tEnd &&
           m_repeat.m_byWeekdays == other.m_repeat.m_byWeekdays;
}
