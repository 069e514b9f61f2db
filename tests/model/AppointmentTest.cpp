#include "model/Appointment.h"

#include "platform/locale/LocalTime.h"
#include "tests/support/TestEnv.h"

#include <functional>
#include <string>

namespace {

class AppointmentTest : public CVarnoTest {};

TimeValue At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return MakeLocalTimeValue(y, mo, d, h, mi, s);
}

TEST_F(AppointmentTest, ResetKeepsExceptionsAlarmAdvanceAndOptions) {
    auto* pOptions = reinterpret_cast<COptions*>(0x10);
    CAppointment a(pOptions);
    a.m_strExceptions = "1.1.2026";
    a.m_nAlarmUnit = ALARM_DAYS;
    a.m_nAlarmAdvance = 3;
    a.m_bAlarm = a.m_bRepeat = a.m_bPrivate = a.m_bUntimed = true;
    a.m_repeat = {At(2026, 2, 1), 3, REPEAT_WEEKLY, 2, 0x12};
    a.m_nRecordId = 9;
    a.m_strText = a.m_strNote = a.m_strLocation = a.m_strCategory = "x";
    a.m_tStart = a.m_tEnd = a.m_tDate = a.m_tsDuration = 5;
    a.Reset();
    EXPECT_EQ(a.m_strExceptions, "1.1.2026");
    EXPECT_EQ(a.m_nAlarmUnit, ALARM_DAYS);
    EXPECT_EQ(a.m_nAlarmAdvance, 3);
    EXPECT_EQ(a.m_pOptions, pOptions);
    EXPECT_FALSE(a.m_bAlarm || a.m_bRepeat || a.m_bPrivate || a.m_bUntimed);
    EXPECT_EQ(a.m_repeat.m_nType, REPEAT_DAILY);
    EXPECT_EQ(a.m_repeat.m_nInterval + a.m_repeat.m_nWeekIndex + a.m_repeat.m_byWeekdays, 0);
    EXPECT_EQ(a.m_repeat.m_tEnd, 0);
    EXPECT_EQ(a.m_nRecordId, 0);
    EXPECT_EQ(a.m_tStart + a.m_tEnd + a.m_tDate + a.m_tsDuration, 0);
    EXPECT_TRUE(a.m_strText.empty() && a.m_strNote.empty() && a.m_strLocation.empty() &&
                a.m_strCategory.empty());
}

TEST_F(AppointmentTest, DateAndTimeCombinations) {
    CAppointment a(nullptr);
    a.SetDate(At(2026, 3, 29, 17, 45, 12)); // the day daylight saving starts in Berlin
    EXPECT_EQ(a.m_tDate, At(2026, 3, 29));

    // Untimed: the day and exactly 86400 seconds later, even across the change (23 hours).
    a.m_bUntimed = true;
    EXPECT_EQ(a.GetStartDateTime(), At(2026, 3, 29));
    EXPECT_EQ(a.GetEndDateTime(), At(2026, 3, 29) + 86400);
    EXPECT_EQ(a.GetEndDateTime(), At(2026, 3, 30, 1));

    // Timed 22:00 to 01:00: both on the day of m_tDate, taken from any other day.
    a.m_bUntimed = false;
    a.SetDate(At(2026, 3, 1));
    a.SetStartTime(At(2020, 7, 4, 22, 0, 30));
    a.SetEndTime(At(2020, 7, 5, 1, 0, 0));
    EXPECT_EQ(a.GetStartDateTime(), At(2026, 3, 1, 22, 0, 30));
    EXPECT_EQ(a.GetEndDateTime(), At(2026, 3, 1, 1, 0, 0));
}

TEST_F(AppointmentTest, AlarmMinutesByUnit) {
    struct SCase {
        bool m_bAlarm;
        std::int32_t m_nUnit;
        std::int32_t m_nAdvance;
        std::int32_t m_nMinutes;
    };
    const SCase cases[] = {
        {true, ALARM_DAYS, 2, 2880}, {true, ALARM_MINUTES, 2, 2},
        {true, ALARM_HOURS, 2, 120}, {true, 7, 5, 5},
        {false, ALARM_DAYS, 2, 0},
    };
    for (const SCase& c : cases) {
        CAppointment a(nullptr);
        a.m_bAlarm = c.m_bAlarm;
        a.m_nAlarmUnit = c.m_nUnit;
        a.m_nAlarmAdvance = c.m_nAdvance;
        EXPECT_EQ(a.GetAlarmMinutes(), c.m_nMinutes) << c.m_nUnit << " " << c.m_nAdvance;
    }
}

TEST_F(AppointmentTest, RepeatTypeFromExactNamesOnly) {
    // Each case starts from monthly by date (4); other texts leave it as it was.
    const std::pair<const char*, std::int32_t> cases[] = {
        {"Daily", 1},  {"Weekly", 2},  {"Monthly Day", 3}, {"Yearly", 5},
        {"weekly", 4}, {" Weekly", 4}, {"Monthly", 4},     {"", 4},
    };
    for (const auto& [text, type] : cases) {
        CAppointment a(nullptr);
        a.m_repeat.m_nType = REPEAT_MONTHLY_BY_DATE;
        a.SetRepeatTypeFromText(text);
        EXPECT_EQ(a.m_repeat.m_nType, type) << '"' << text << '"';
    }
    EXPECT_STREQ(RepeatTypeName(3), "Monthly Day");
    EXPECT_STREQ(RepeatTypeName(0), "");
    EXPECT_STREQ(RepeatTypeName(6), "");
}

// The duplicate test: `host` is the datebook's record, `file` the file's. Each case
// changes a copy of a base pair and states whether they are still the same.
TEST_F(AppointmentTest, DuplicateTestComparesInOrderAndOneSidedAlarm) {
    using FChange = std::function<void(CAppointment & host, CAppointment & file)>;
    struct SCase {
        const char* m_pszName;
        FChange m_change;
        bool m_bSame;
    };
    const SCase cases[] = {
        {"identical", [](CAppointment&, CAppointment&) {}, true},
        {"blanks around the text",
         [](CAppointment&, CAppointment& f) { f.m_strText = "  Lunch\t"; }, true},
        {"text letter case", [](CAppointment&, CAppointment& f) { f.m_strText = "lunch"; }, false},
        {"note trimmed",
         [](CAppointment& h, CAppointment& f) {
             h.m_strNote = "a\r\nb";
             f.m_strNote = " a\r\nb\r\n";
         },
         true},
        {"note differs", [](CAppointment&, CAppointment& f) { f.m_strNote = "x"; }, false},
        {"location differs", [](CAppointment&, CAppointment& f) { f.m_strLocation = "Room 2"; },
         false},
        {"untimed on one side", [](CAppointment&, CAppointment& f) { f.m_bUntimed = true; }, false},
        {"other day", [](CAppointment&, CAppointment& f) { f.SetDate(At(2026, 5, 2)); }, false},
        {"same day other hour of m_tDate",
         [](CAppointment&, CAppointment& f) { f.m_tDate = At(2026, 5, 1, 13); }, true},
        {"start minute differs",
         [](CAppointment&, CAppointment& f) { f.m_tStart = At(2026, 5, 1, 9, 1); }, false},
        {"start seconds and day ignored",
         [](CAppointment&, CAppointment& f) { f.m_tStart = At(2020, 1, 1, 9, 0, 59); }, true},
        {"end differs", [](CAppointment&, CAppointment& f) { f.m_tEnd = At(2026, 5, 1, 11); },
         false},
        {"times ignored when host untimed",
         [](CAppointment& h, CAppointment& f) {
             h.m_bUntimed = f.m_bUntimed = true;
             f.m_tStart = At(2026, 5, 1, 3);
         },
         true},
        {"private on one side", [](CAppointment&, CAppointment& f) { f.m_bPrivate = true; }, false},
        {"host 10-minute alarm, file none",
         [](CAppointment& h, CAppointment&) {
             h.m_bAlarm = true;
             h.m_nAlarmAdvance = 10;
         },
         false},
        {"host zero-minute alarm, file none",
         [](CAppointment& h, CAppointment&) {
             h.m_bAlarm = true;
             h.m_nAlarmAdvance = 0;
         },
         true},
        {"file alarm, host none",
         [](CAppointment&, CAppointment& f) {
             f.m_bAlarm = true;
             f.m_nAlarmAdvance = 10;
         },
         true},
        {"alarms of 5 and 10 minutes",
         [](CAppointment& h, CAppointment& f) {
             h.m_bAlarm = f.m_bAlarm = true;
             h.m_nAlarmAdvance = 5;
             f.m_nAlarmAdvance = 10;
         },
         true},
        {"repeat on one side", [](CAppointment&, CAppointment& f) { f.m_bRepeat = true; }, false},
        {"weekday sets differ",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             h.m_repeat.m_nType = f.m_repeat.m_nType = REPEAT_WEEKLY;
             h.m_repeat.m_nInterval = f.m_repeat.m_nInterval = 1;
             h.m_repeat.m_byWeekdays = 0x02;
             f.m_repeat.m_byWeekdays = 0x06;
         },
         false},
        {"week index ignored",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             h.m_repeat.m_nType = f.m_repeat.m_nType = REPEAT_MONTHLY_BY_DAY;
             h.m_repeat.m_nInterval = f.m_repeat.m_nInterval = 1;
             h.m_repeat.m_nWeekIndex = 2;
             f.m_repeat.m_nWeekIndex = 5;
         },
         true},
        {"interval differs",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             h.m_repeat.m_nInterval = 1;
             f.m_repeat.m_nInterval = 2;
         },
         false},
        {"repeat end differs",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             f.m_repeat.m_tEnd = At(2026, 6, 1);
         },
         false},
        {"type differs",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             f.m_repeat.m_nType = REPEAT_YEARLY;
         },
         false},
        {"category, record id and exceptions ignored",
         [](CAppointment& h, CAppointment& f) {
             h.m_bRepeat = f.m_bRepeat = true;
             h.m_strCategory = "Business";
             f.m_nRecordId = 77;
             f.m_strExceptions = "1.6.2026";
         },
         true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        CAppointment host(nullptr);
        CAppointment file(nullptr);
        for (CAppointment* p : {&host, &file}) {
            p->m_strText = "Lunch";
            p->SetDate(At(2026, 5, 1));
            p->m_tStart = At(2026, 5, 1, 9);
            p->m_tEnd = At(2026, 5, 1, 10, 30);
        }
        c.m_change(host, file);
        EXPECT_EQ(host.IsSameAppointment(file), c.m_bSame);
    }
}

} // namespace
