// Appointments for the calendar format tests: a seed of local dates and times gives both
// the loaded CAppointment and its record in the stand-in host, which answers the repeat
// questions. (The host's days themselves are checked in tests/desktop.)
#pragma once

#include "desktop/DesktopHost.h"
#include "formats/CalendarFormat.h"
#include "host/HostInterfaces.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComPtr.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "tests/support/TestEnv.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace caltest {

namespace chr = std::chrono;

struct SDate {
    int y = 0;
    int m = 0;
    int d = 0;
};

// Local calendar dates as days since 1970-01-01 (time-zone free).
inline std::int64_t DayNumber(SDate date) {
    return chr::sys_days{chr::year{date.y} / date.m / date.d}.time_since_epoch().count();
}
inline chr::year_month_day DateOfDayNumber(std::int64_t n) {
    return chr::year_month_day{chr::sys_days{chr::days{n}}};
}

inline std::int64_t LocalTimeOf(SDate date, int h = 0, int mi = 0) {
    const auto t = MakeLocalTime(date.y, date.m, date.d, h, mi, 0);
    if (!t)
        throw std::runtime_error("local time out of range");
    return *t;
}

inline std::int64_t LocalDayOf(std::int64_t t) {
    CLocalTime lt;
    if (!BreakDownLocal(t, lt))
        throw std::runtime_error("time out of range");
    return DayNumber({lt.m_nYear, lt.m_nMonth, lt.m_nDay});
}

// Weekday sets: bit 0 Sunday .. bit 6 Saturday.
inline constexpr std::int32_t kSu = 1, kMo = 2, kTu = 4, kWe = 8, kTh = 16, kFr = 32, kSa = 64;

// One appointment as the user entered it: local day and times of day (the end on the
// next day when it lies before the start), and the host's repeat values. Tables build
// seeds as Seed("Text", {2024, 1, 30}).Times(715, 800).Repeat(REPEAT_DAILY, 3).
struct SSeed {
    std::string m_strText{};
    SDate m_date{};
    int m_nStartHour = 9;
    int m_nStartMinute = 0;
    int m_nEndHour = 10;
    int m_nEndMinute = 0;
    bool m_bUntimed = false;
    std::int32_t m_nRepeatType = 0; // 0: no repeat
    std::int32_t m_nInterval = 1;
    std::int32_t m_nExtra = 0; // weekday set (type 2) or week index (type 3)
    SDate m_endDay{};          // y == 0: no end
    std::string m_strNote{};
    bool m_bPrivate = false;
    bool m_bAlarm = false;
    std::int32_t m_nAlarmUnit = 0;
    std::int32_t m_nAlarmAdvance = 0;
    std::string m_strCategory{};
    std::string m_strLocation{};
    std::vector<SDate> m_vecExceptions{}; // cancelled days of a series

    // Start and end as hhmm.
    SSeed& Times(int nStart, int nEnd) {
        m_nStartHour = nStart / 100;
        m_nStartMinute = nStart % 100;
        m_nEndHour = nEnd / 100;
        m_nEndMinute = nEnd % 100;
        return *this;
    }
    SSeed& Untimed() {
        m_bUntimed = true;
        return *this;
    }
    SSeed& Repeat(std::int32_t nType, std::int32_t nInterval = 1, std::int32_t nExtra = 0,
                  SDate endDay = {}) {
        m_nRepeatType = nType;
        m_nInterval = nInterval;
        m_nExtra = nExtra;
        m_endDay = endDay;
        return *this;
    }
    SSeed& Alarm(std::int32_t nUnit, std::int32_t nAdvance) {
        m_bAlarm = true;
        m_nAlarmUnit = nUnit;
        m_nAlarmAdvance = nAdvance;
        return *this;
    }
    SSeed& Private() {
        m_bPrivate = true;
        return *this;
    }
    SSeed& Texts(std::string strNote, std::string strCategory, std::string strLocation = "") {
        m_strNote = std::move(strNote);
        m_strCategory = std::move(strCategory);
        m_strLocation = std::move(strLocation);
        return *this;
    }

    SSeed& Except(std::vector<SDate> vecDays) {
        m_vecExceptions = std::move(vecDays);
        return *this;
    }

    [[nodiscard]] bool EndsNextDay() const {
        return !m_bUntimed && m_nEndHour * 60 + m_nEndMinute < m_nStartHour * 60 + m_nStartMinute;
    }
    [[nodiscard]] std::int64_t Start() const {
        return m_bUntimed ? LocalTimeOf(m_date) : LocalTimeOf(m_date, m_nStartHour, m_nStartMinute);
    }
    [[nodiscard]] std::int64_t End() const {
        if (m_bUntimed)
            return Start();
        const auto day = DateOfDayNumber(DayNumber(m_date) + (EndsNextDay() ? 1 : 0));
        return LocalTimeOf({int(day.year()), int(unsigned(day.month())), int(unsigned(day.day()))},
                           m_nEndHour, m_nEndMinute);
    }
    [[nodiscard]] std::int64_t EndDay() const { return m_endDay.y ? LocalTimeOf(m_endDay) : 0; }
};

inline SSeed Seed(std::string strText, SDate date) {
    return {.m_strText = std::move(strText), .m_date = date};
}

// The current user's datebook of the stand-in host; with an operation named, the n-th
// call of it (0: every call) fails with E_FAIL.
class CHostDatebook {
public:
    explicit CHostDatebook(const char* pszFailing = nullptr, int nCall = 0) {
        CDesktopHostOptions options;
        if (pszFailing)
            options.m_vecFaults.push_back({pszFailing, nCall, E_FAIL, "refused"});
        CComPtr<IDispatch> host = OpenDesktopHost(options);
        CComPtr<IHostApplication> app;
        ThrowIfFailed(host.QueryInterface(app), IHostApplication::Iid());
        CComPtr<IDispatch> datebook;
        ThrowIfFailed(app->GetDatebook(datebook.Put()), IHostApplication::Iid());
        ThrowIfFailed(datebook.QueryInterface(m_pDatebook), IHostDatebook::Iid());
    }

    // Stores the appointment as the import does and gives the record as the datebook
    // hands it out afterwards.
    CComPtr<IHostAppointment> Add(const SSeed& seed) {
        const GUID& iid = IHostAppointment::Iid();
        CComPtr<IHostAppointment> added;
        const CBstr text(CodePageToUtf16(seed.m_strText, CP_WINDOWS_1252));
        ThrowIfFailed(m_pDatebook->AddAppointment(static_cast<HOSTTIME>(seed.Start()),
                                                  static_cast<HOSTTIME>(seed.End()), text.Get(),
                                                  added.Put()),
                      IHostDatebook::Iid());
        ThrowIfFailed(added->SetUntimed(seed.m_bUntimed), iid);
        if (seed.m_nRepeatType != 0)
            ThrowIfFailed(added->SetRepeat(seed.m_nRepeatType, seed.m_nInterval,
                                           static_cast<HOSTTIME>(seed.EndDay()), seed.m_nExtra),
                          iid);
        for (const SDate& day : seed.m_vecExceptions)
            ThrowIfFailed(added->AddException(static_cast<HOSTTIME>(LocalTimeOf(day))), iid);
        LONG nId = 0;
        ThrowIfFailed(added->GetRecordId(&nId), iid);
        CComPtr<IHostAppointment> record;
        ThrowIfFailed(m_pDatebook->GetAppointmentById(nId, record.Put()), IHostDatebook::Iid());
        return record;
    }

private:
    CComPtr<IHostDatebook> m_pDatebook;
};

// The record as loading it from the host fills it.
inline std::unique_ptr<CAppointment> MakeAppointment(const SSeed& seed) {
    auto p = std::make_unique<CAppointment>(nullptr);
    CAppointment& a = *p;
    a.m_strText = seed.m_strText;
    a.m_strNote = seed.m_strNote;
    a.m_bPrivate = seed.m_bPrivate;
    a.m_bUntimed = seed.m_bUntimed;
    const auto tStart = static_cast<TimeValue>(seed.Start());
    a.SetDate(tStart);
    a.SetStartTime(tStart);
    if (!seed.m_bUntimed) {
        a.SetEndTime(static_cast<TimeValue>(seed.End()));
        a.m_tsDuration = a.m_tEnd - a.m_tStart;
    }
    a.m_bAlarm = seed.m_bAlarm;
    a.m_nAlarmUnit = seed.m_nAlarmUnit;
    a.m_nAlarmAdvance = seed.m_nAlarmAdvance;
    if (seed.m_nRepeatType != 0) {
        a.m_bRepeat = true;
        a.m_repeat.m_nType = seed.m_nRepeatType;
        a.m_repeat.m_nInterval = seed.m_nInterval;
        if (seed.m_nRepeatType == REPEAT_WEEKLY)
            a.m_repeat.m_byWeekdays = static_cast<std::uint8_t>(seed.m_nExtra);
        if (seed.m_nRepeatType == REPEAT_MONTHLY_BY_DAY)
            a.m_repeat.m_nWeekIndex = seed.m_nExtra;
        a.m_repeat.m_tEnd = static_cast<TimeValue>(seed.EndDay());
        // As the full export fills it: short dates joined by a blank.
        for (const SDate& day : seed.m_vecExceptions) {
            if (!a.m_strExceptions.empty())
                a.m_strExceptions += ' ';
            a.m_strExceptions += FormatDate(static_cast<TimeValue>(LocalTimeOf(day)));
        }
    }
    a.m_strLocation = seed.m_strLocation;
    a.m_strCategory = seed.m_strCategory;
    return p;
}

// Writes the seeds as one calendar file from the records alone (no host record: the
// record's own rule) and returns its bytes.
inline std::string WriteCalendar(const std::string& path, std::int32_t nFlavour,
                                 const std::vector<SSeed>& seeds) {
    CCalendarFormat format(nFlavour);
    if (format.OpenWrite(path) != STATUS_OK)
        throw std::runtime_error("cannot open " + path);
    for (const SSeed& seed : seeds) {
        if (WriteEvent(format, *MakeAppointment(seed), nullptr) != 1)
            throw std::runtime_error("event not written");
    }
    (void)format.CloseWrite();
    return ReadFileBytes(path);
}

// The appointments of the golden files: untimed, timed, overnight, alarms in each unit,
// private, categories, locations, every repeat type with and without end, starts off the
// repeat pattern. Local times of Europe/Berlin; texts in Windows-1252.
inline std::vector<SSeed> GoldenSeeds() {
    const std::string strLetters = "Lorem ipsum dolor sit amet consectetur adipiscing elit sed do "
                                   "eiusmod tempor incididunt ut labore et dolore";
    return {
        Seed("Lunch", {2005, 3, 14}).Untimed(),
        Seed("Meeting; room 5", {2026, 12, 5})
            .Times(930, 1045)
            .Texts("Agenda:\r\n1. Budget, plan\r\n2. Q&A \\ misc", "Business", "Room 5")
            .Alarm(ALARM_MINUTES, 15),
        Seed("Night shift", {2026, 3, 28}).Times(2200, 600).Private().Alarm(ALARM_HOURS, 1),
        Seed("Autumn holiday", {2026, 10, 25}).Untimed().Alarm(ALARM_DAYS, 2).Texts("", "Holiday"),
        Seed("Caf\xE9 \x80 5 \x93quoted\x94", {2026, 7, 1})
            .Times(1200, 1300)
            .Texts(strLetters.substr(0, 100), "", "M\xFCnchen, Marienplatz"),
        Seed("Stand-up", {2024, 1, 30})
            .Times(715, 800)
            .Repeat(REPEAT_DAILY, 3, 0, {2024, 3, 10})
            .Except({{2024, 2, 2}, {2024, 2, 29}}),
        Seed("Training", {2024, 1, 1})
            .Times(1800, 1930)
            .Repeat(REPEAT_WEEKLY, 2, kMo | kWe)
            .Texts("", "Sport"),
        Seed("Market", {2024, 1, 6})
            .Times(1000, 1100)
            .Repeat(REPEAT_WEEKLY, 2, kSu | kSa, {2024, 6, 30}),
        Seed("Piano lesson", {2024, 1, 2})
            .Times(1600, 1700)
            .Repeat(REPEAT_WEEKLY, 1, kMo | kTh, {2024, 3, 31}),
        Seed("Late release", {2024, 1, 26})
            .Times(2300, 100)
            .Repeat(REPEAT_MONTHLY_BY_DAY, 1, 5, {2024, 6, 28})
            .Alarm(ALARM_MINUTES, 30),
        Seed("Club evening", {2024, 1, 9})
            .Untimed()
            .Repeat(REPEAT_MONTHLY_BY_DAY, 2, 2)
            .Texts("", "", "Clubhouse"),
        Seed("Quiz night", {2024, 1, 25})
            .Times(1900, 2100)
            .Repeat(REPEAT_MONTHLY_BY_DAY, 1, 4, {2024, 12, 31}),
        Seed("Board", {2024, 1, 10})
            .Times(1400, 1500)
            .Repeat(REPEAT_MONTHLY_BY_DAY, 1, 1, {2024, 12, 31}),
        Seed("Rent", {2024, 1, 15})
            .Untimed()
            .Repeat(REPEAT_MONTHLY_BY_DATE, 1, 0, {2024, 12, 31})
            .Private(),
        Seed("Report 29th", {2024, 1, 29})
            .Times(800, 830)
            .Repeat(REPEAT_MONTHLY_BY_DATE)
            .Except({{2024, 3, 29}, {2025, 2, 28}}),
        Seed("Report 30th", {2024, 1, 30})
            .Times(800, 830)
            .Repeat(REPEAT_MONTHLY_BY_DATE, 2, 0, {2025, 1, 31}),
        Seed("Pay day", {2024, 1, 31})
            .Untimed()
            .Repeat(REPEAT_MONTHLY_BY_DATE)
            .Alarm(ALARM_DAYS, 1),
        Seed("Birthday", {1990, 7, 4})
            .Untimed()
            .Repeat(REPEAT_YEARLY)
            .Texts("", "Personal")
            .Except({{2020, 7, 4}}),
        Seed("Leap day", {2024, 2, 29}).Times(800, 900).Repeat(REPEAT_YEARLY, 1, 0, {2031, 12, 31}),
    };
}

} // namespace caltest
