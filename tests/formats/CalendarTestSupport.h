// Appointments for the calendar format tests: a seed of local dates and times gives both
// the loaded CAppointment and a host record that answers the repeat questions, and the
// host's occurrence rules, written out day by day as an independent reference.
#pragma once

#include "formats/CalendarFormat.h"
#include "host/HostInterfaces.h"
#include "model/Appointment.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/locale/LocalTime.h"
#include "tests/support/TestEnv.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace caltest {

// Local calendar dates as days since 1970-01-01 (time-zone free).
inline std::int64_t DayNumber(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * ((m + 9) % 12) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

struct SDate {
    int y = 0;
    int m = 0;
    int d = 0;
    bool operator==(const SDate&) const = default;
};

inline SDate DateOfDayNumber(std::int64_t n) {
    for (int y = 1960;; ++y) {
        if (DayNumber(y + 1, 1, 1) > n) {
            int m = 12;
            while (DayNumber(y, m, 1) > n)
                --m;
            return {y, m, static_cast<int>(n - DayNumber(y, m, 1) + 1)};
        }
    }
}

inline int DaysIn(int y, int m) {
    return static_cast<int>(DayNumber(y + m / 12, m % 12 + 1, 1) - DayNumber(y, m, 1));
}

inline SDate NextDay(SDate date) {
    if (++date.d > DaysIn(date.y, date.m)) {
        date.d = 1;
        if (++date.m > 12) {
            date.m = 1;
            ++date.y;
        }
    }
    return date;
}

inline int WeekdayOf(std::int64_t n) {
    return static_cast<int>(((n + 4) % 7 + 7) % 7);
}

inline std::int64_t LocalTimeOf(int y, int m, int d, int h = 0, int mi = 0) {
    const auto t = MakeLocalTime(y, m, d, h, mi, 0);
    if (!t)
        throw std::runtime_error("local time out of range");
    return *t;
}

inline std::int64_t LocalDayOf(std::int64_t t) {
    CLocalTime lt;
    if (!BreakDownLocal(t, lt))
        throw std::runtime_error("time out of range");
    return DayNumber(lt.m_nYear, lt.m_nMonth, lt.m_nDay);
}

// One appointment as the user entered it: local day and times of day (the end on the
// next day when it lies before the start), and the host's repeat values.
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

    [[nodiscard]] bool EndsNextDay() const {
        return !m_bUntimed && (m_nEndHour < m_nStartHour ||
                               (m_nEndHour == m_nStartHour && m_nEndMinute < m_nStartMinute));
    }
    [[nodiscard]] std::int64_t Start() const {
        return m_bUntimed ? LocalTimeOf(m_date.y, m_date.m, m_date.d)
                          : LocalTimeOf(m_date.y, m_date.m, m_date.d, m_nStartHour, m_nStartMinute);
    }
    [[nodiscard]] std::int64_t End() const {
        if (m_bUntimed)
            return Start();
        const SDate day =
            DateOfDayNumber(DayNumber(m_date.y, m_date.m, m_date.d) + (EndsNextDay() ? 1 : 0));
        return LocalTimeOf(day.y, day.m, day.d, m_nEndHour, m_nEndMinute);
    }
    [[nodiscard]] std::int64_t EndDay() const {
        return m_endDay.y ? LocalTimeOf(m_endDay.y, m_endDay.m, m_endDay.d) : 0;
    }
};

// A host record that answers the questions of the calendar writer; chosen calls fail.
class CFakeHostAppointment final : public CComObject<CFakeHostAppointment, IHostAppointment> {
public:
    explicit CFakeHostAppointment(const SSeed& seed)
        : m_tStart(static_cast<HOSTTIME>(seed.Start())), m_tEnd(static_cast<HOSTTIME>(seed.End())),
          m_nType(seed.m_nRepeatType), m_nInterval(seed.m_nInterval),
          m_tEndDay(static_cast<HOSTTIME>(seed.EndDay())), m_nExtra(seed.m_nExtra) {}

    HRESULT m_hrGetRepeat = S_OK;
    HRESULT m_hrGetStart = S_OK;
    int m_nCalls = 0;

    HRESULT GetStart(HOSTTIME* pt) override {
        ++m_nCalls;
        *pt = m_tStart;
        return m_hrGetStart;
    }
    HRESULT GetEnd(HOSTTIME* pt) override {
        *pt = m_tEnd;
        return S_OK;
    }
    HRESULT GetRepeating(BOOL* pb) override {
        ++m_nCalls;
        *pb = m_nType != 0;
        return S_OK;
    }
    HRESULT GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEndDay, LONG* plExtra) override {
        ++m_nCalls;
        *plType = m_nType;
        *plInterval = m_nInterval;
        *ptEndDay = m_tEndDay;
        *plExtra = m_nExtra;
        return m_hrGetRepeat;
    }
    HRESULT GetRepeatType(LONG* plType) override {
        ++m_nCalls;
        *plType = m_nType;
        return S_OK;
    }

    HRESULT GetUntimed(BOOL*) override { return E_NOTIMPL; }
    HRESULT SetUntimed(BOOL) override { return E_NOTIMPL; }
    HRESULT GetText(BSTR*) override { return E_NOTIMPL; }
    HRESULT SetText(BSTR) override { return E_NOTIMPL; }
    HRESULT GetNote(BSTR*) override { return E_NOTIMPL; }
    HRESULT SetNote(BSTR) override { return E_NOTIMPL; }
    HRESULT GetExceptionCount(LONG*) override { return E_NOTIMPL; }
    HRESULT GetAlarm(BOOL*) override { return E_NOTIMPL; }
    HRESULT SetAlarm(BOOL) override { return E_NOTIMPL; }
    HRESULT AddException(HOSTTIME) override { return E_NOTIMPL; }
    HRESULT GetFirstOccurrence(HOSTTIME, HOSTTIME, HOSTTIME*, BOOL*) override { return E_NOTIMPL; }
    HRESULT GetNextOccurrence(HOSTTIME*, HOSTTIME, HOSTTIME*, BOOL*) override { return E_NOTIMPL; }
    HRESULT SetAlarmAdvance(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetAlarmAdvance(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT SetRepeat(LONG, LONG, HOSTTIME, LONG) override { return E_NOTIMPL; }
    HRESULT GetCategory(BSTR*) override { return E_NOTIMPL; }
    HRESULT SetCategory(BSTR) override { return E_NOTIMPL; }
    HRESULT GetRecordId(LONG*) override { return E_NOTIMPL; }
    HRESULT GetPrivate(BOOL*) override { return E_NOTIMPL; }
    HRESULT SetPrivate(BOOL) override { return E_NOTIMPL; }
    HRESULT Delete(LONG) override { return E_NOTIMPL; }

private:
    HOSTTIME m_tStart;
    HOSTTIME m_tEnd;
    LONG m_nType;
    LONG m_nInterval;
    HOSTTIME m_tEndDay;
    LONG m_nExtra;
};

inline CComPtr<CFakeHostAppointment> MakeHost(const SSeed& seed) {
    return CComPtr<CFakeHostAppointment>(new CFakeHostAppointment(seed));
}

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
    }
    a.m_strLocation = seed.m_strLocation;
    a.m_strCategory = seed.m_strCategory;
    return p;
}

// The host's occurrence days of a repeating seed up to 2031-12-31, tested day by day.
inline std::vector<std::int64_t> ReferenceOccurrences(const SSeed& seed) {
    const std::int64_t s = DayNumber(seed.m_date.y, seed.m_date.m, seed.m_date.d);
    std::int64_t last = DayNumber(2031, 12, 31);
    if (seed.m_endDay.y)
        last = std::min(last, DayNumber(seed.m_endDay.y, seed.m_endDay.m, seed.m_endDay.d));
    const int n = std::max(seed.m_nInterval, 1);
    const SDate start = seed.m_date;
    std::vector<std::int64_t> out;
    SDate date = start;
    for (std::int64_t d = s; d <= last; ++d, date = NextDay(date)) {
        const int nMonths = (date.y - start.y) * 12 + date.m - start.m;
        bool bHit = false;
        switch (seed.m_nRepeatType) {
        case REPEAT_DAILY:
            bHit = (d - s) % n == 0;
            break;
        case REPEAT_WEEKLY: {
            const std::int64_t weeks = (d - WeekdayOf(d) - (s - WeekdayOf(s))) / 7;
            bHit = (seed.m_nExtra & (1 << WeekdayOf(d))) && weeks % n == 0;
            break;
        }
        case REPEAT_MONTHLY_BY_DAY: {
            const bool bWeek = seed.m_nExtra == 5 ? date.d + 7 > DaysIn(date.y, date.m)
                                                  : (date.d - 1) / 7 + 1 == seed.m_nExtra;
            bHit = nMonths % n == 0 && WeekdayOf(d) == WeekdayOf(s) && bWeek;
            break;
        }
        case REPEAT_MONTHLY_BY_DATE:
            bHit = nMonths % n == 0 && date.d == std::min(start.d, DaysIn(date.y, date.m));
            break;
        case REPEAT_YEARLY:
            bHit = (date.y - start.y) % n == 0 && date.m == start.m &&
                   date.d == std::min(start.d, DaysIn(date.y, date.m));
            break;
        default:
            break;
        }
        if (bHit)
            out.push_back(d);
    }
    return out;
}

// Writes the seeds as one calendar file and returns its bytes.
inline std::string WriteCalendar(const std::string& path, std::int32_t nFlavour,
                                 const std::vector<SSeed>& seeds) {
    CCalendarFormat format(nFlavour);
    if (format.OpenWrite(path) != STATUS_OK)
        throw std::runtime_error("cannot open " + path);
    for (const SSeed& seed : seeds) {
        auto host = MakeHost(seed);
        auto appointment = MakeAppointment(seed);
        if (WriteEvent(format, *appointment, host.Get()) != 1)
            throw std::runtime_error("event not written");
    }
    (void)format.CloseWrite();
    return ReadFileBytes(path);
}

} // namespace caltest

namespace caltest {

// Weekday sets: bit 0 Sunday .. bit 6 Saturday.
inline constexpr std::int32_t kSu = 1, kMo = 2, kTu = 4, kWe = 8, kTh = 16, kFr = 32, kSa = 64;

// The appointments of the golden files: untimed, timed, overnight, alarms in each unit,
// private, categories, locations, every repeat type with and without end, starts off the
// repeat pattern. Local times of Europe/Berlin; texts in Windows-1252.
inline std::vector<SSeed> GoldenSeeds() {
    const std::string strLetters = "Lorem ipsum dolor sit amet consectetur adipiscing elit sed do "
                                   "eiusmod tempor incididunt ut labore et dolore";
    return {
        {.m_strText = "Lunch", .m_date = {2005, 3, 14}, .m_bUntimed = true},
        {.m_strText = "Meeting; room 5",
         .m_date = {2026, 12, 5},
         .m_nStartHour = 9,
         .m_nStartMinute = 30,
         .m_nEndHour = 10,
         .m_nEndMinute = 45,
         .m_strNote = "Agenda:\r\n1. Budget, plan\r\n2. Q&A \\ misc",
         .m_bAlarm = true,
         .m_nAlarmUnit = ALARM_MINUTES,
         .m_nAlarmAdvance = 15,
         .m_strCategory = "Business",
         .m_strLocation = "Room 5"},
        {.m_strText = "Night shift",
         .m_date = {2026, 3, 28},
         .m_nStartHour = 22,
         .m_nEndHour = 6,
         .m_bPrivate = true,
         .m_bAlarm = true,
         .m_nAlarmUnit = ALARM_HOURS,
         .m_nAlarmAdvance = 1},
        {.m_strText = "Autumn holiday",
         .m_date = {2026, 10, 25},
         .m_bUntimed = true,
         .m_bAlarm = true,
         .m_nAlarmUnit = ALARM_DAYS,
         .m_nAlarmAdvance = 2,
         .m_strCategory = "Holiday"},
        {.m_strText = "Caf\xE9 \x80 5 \x93quoted\x94",
         .m_date = {2026, 7, 1},
         .m_nStartHour = 12,
         .m_nEndHour = 13,
         .m_strNote = strLetters.substr(0, 100),
         .m_strLocation = "M\xFCnchen, Marienplatz"},
        {.m_strText = "Stand-up",
         .m_date = {2024, 1, 30},
         .m_nStartHour = 7,
         .m_nStartMinute = 15,
         .m_nEndHour = 8,
         .m_nRepeatType = REPEAT_DAILY,
         .m_nInterval = 3,
         .m_endDay = {2024, 3, 10}},
        {.m_strText = "Training",
         .m_date = {2024, 1, 1},
         .m_nStartHour = 18,
         .m_nEndHour = 19,
         .m_nEndMinute = 30,
         .m_nRepeatType = REPEAT_WEEKLY,
         .m_nInterval = 2,
         .m_nExtra = kMo | kWe,
         .m_strCategory = "Sport"},
        {.m_strText = "Market",
         .m_date = {2024, 1, 6},
         .m_nStartHour = 10,
         .m_nEndHour = 11,
         .m_nRepeatType = REPEAT_WEEKLY,
         .m_nInterval = 2,
         .m_nExtra = kSu | kSa,
         .m_endDay = {2024, 6, 30}},
        {.m_strText = "Piano lesson",
         .m_date = {2024, 1, 2},
         .m_nStartHour = 16,
         .m_nEndHour = 17,
         .m_nRepeatType = REPEAT_WEEKLY,
         .m_nInterval = 1,
         .m_nExtra = kMo | kTh,
         .m_endDay = {2024, 3, 31}},
        {.m_strText = "Late release",
         .m_date = {2024, 1, 26},
         .m_nStartHour = 23,
         .m_nEndHour = 1,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
         .m_nExtra = 5,
         .m_endDay = {2024, 6, 28},
         .m_bAlarm = true,
         .m_nAlarmUnit = ALARM_MINUTES,
         .m_nAlarmAdvance = 30},
        {.m_strText = "Club evening",
         .m_date = {2024, 1, 9},
         .m_bUntimed = true,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
         .m_nInterval = 2,
         .m_nExtra = 2,
         .m_strLocation = "Clubhouse"},
        {.m_strText = "Quiz night",
         .m_date = {2024, 1, 25},
         .m_nStartHour = 19,
         .m_nEndHour = 21,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
         .m_nExtra = 4,
         .m_endDay = {2024, 12, 31}},
        {.m_strText = "Board",
         .m_date = {2024, 1, 10},
         .m_nStartHour = 14,
         .m_nEndHour = 15,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
         .m_nExtra = 1,
         .m_endDay = {2024, 12, 31}},
        {.m_strText = "Rent",
         .m_date = {2024, 1, 15},
         .m_bUntimed = true,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DATE,
         .m_endDay = {2024, 12, 31},
         .m_bPrivate = true},
        {.m_strText = "Report 29th",
         .m_date = {2024, 1, 29},
         .m_nStartHour = 8,
         .m_nEndHour = 8,
         .m_nEndMinute = 30,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DATE},
        {.m_strText = "Report 30th",
         .m_date = {2024, 1, 30},
         .m_nStartHour = 8,
         .m_nEndHour = 8,
         .m_nEndMinute = 30,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DATE,
         .m_nInterval = 2,
         .m_endDay = {2025, 1, 31}},
        {.m_strText = "Pay day",
         .m_date = {2024, 1, 31},
         .m_bUntimed = true,
         .m_nRepeatType = REPEAT_MONTHLY_BY_DATE,
         .m_bAlarm = true,
         .m_nAlarmUnit = ALARM_DAYS,
         .m_nAlarmAdvance = 1},
        {.m_strText = "Birthday",
         .m_date = {1990, 7, 4},
         .m_bUntimed = true,
         .m_nRepeatType = REPEAT_YEARLY,
         .m_strCategory = "Personal"},
        {.m_strText = "Leap day",
         .m_date = {2024, 2, 29},
         .m_nStartHour = 8,
         .m_nEndHour = 9,
         .m_nRepeatType = REPEAT_YEARLY,
         .m_endDay = {2031, 12, 31}},
    };
}

} // namespace caltest
