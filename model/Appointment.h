// One datebook appointment in memory, with its repeat rule.
#pragma once

#include "model/DateText.h"

#include <cstdint>
#include <string>
#include <string_view>

class COptions;

// The longest note the datebook holds, in UTF-16 units.
inline constexpr std::size_t kMaxNoteUnits = 32768;

struct CRepeatRule {
    TimeValue m_tEnd = 0;          // last day of the repetition; 0 repeats without end
    std::int32_t m_nInterval = 0;  // every n days, weeks, months or years
    std::int32_t m_nType = 1;      // see ERepeatType
    std::int32_t m_nWeekIndex = 0; // monthly by day: week 1..5, 5 the last
    std::uint8_t m_byWeekdays = 0; // weekly: bit 0 Sunday .. bit 6 Saturday
};

enum ERepeatType : std::int32_t {
    REPEAT_DAILY = 1,
    REPEAT_WEEKLY = 2,
    REPEAT_MONTHLY_BY_DAY = 3,
    REPEAT_MONTHLY_BY_DATE = 4,
    REPEAT_YEARLY = 5,
};

enum EAlarmUnit : std::int32_t {
    ALARM_MINUTES = 0,
    ALARM_HOURS = 1,
    ALARM_DAYS = 2,
};

// The text without the white space (blank, tab, CR, LF, VT, FF) at both ends, as the
// records compare and read texts.
[[nodiscard]] std::string_view TrimWhiteSpace(std::string_view text);

// The names of the repeat types in files, by type 1..5; empty for any other type.
[[nodiscard]] const char* RepeatTypeName(std::int32_t nType);

class CAppointment {
public:
    explicit CAppointment(COptions* pOptions);
    virtual ~CAppointment();
    CAppointment(const CAppointment&) = delete;
    CAppointment& operator=(const CAppointment&) = delete;

    // Empties every member except the exception text, the alarm unit and advance and the
    // options pointer.
    void Reset();
    // m_tDate = the local day of t at 00:00:00.
    void SetDate(TimeValue t);
    void SetStartTime(TimeValue t) { m_tStart = t; }
    void SetEndTime(TimeValue t) { m_tEnd = t; }
    // The day of m_tDate with the time of day of m_tStart (m_tDate when untimed).
    [[nodiscard]] TimeValue GetStartDateTime() const;
    // The day of m_tDate with the time of day of m_tEnd (m_tDate + 1 day when untimed).
    [[nodiscard]] TimeValue GetEndDateTime() const;
    [[nodiscard]] std::int32_t GetAlarmMinutes() const;
    // Sets the repeat type from its exact file name; other texts change nothing.
    void SetRepeatTypeFromText(std::string_view text);
    // The duplicate test of import: this is the datebook's record, other the file's.
    [[nodiscard]] bool IsSameAppointment(const CAppointment& other) const;

    std::string m_strExceptions;
    CRepeatRule m_repeat;
    std::int32_t m_nAlarmUnit = ALARM_MINUTES;
    std::int32_t m_nAlarmAdvance = 0;
    bool m_bAlarm = false;
    std::int32_t m_nRecordId = 0;
    bool m_bUntimed = false;
    bool m_bPrivate = false;
    bool m_bRepeat = false;
    std::string m_strNote;
    std::string m_strText;
    TimeValue m_tEnd = 0;
    TimeValue m_tStart = 0;
    TimeSpan m_tsDuration = 0;
    TimeValue m_tDate = 0;
    std::string m_strLocation;
    std::string m_strCategory;
    COptions* m_pOptions = nullptr; // not owned
};
