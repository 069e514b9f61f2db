// The iCalendar files are read back with libical, an independent implementation: every
// event must be valid, its texts and times must read back as written, and expanding each
// repeat rule must give exactly the days on which the host repeats the appointment. The
// appointments are stored in the stand-in host and written from its records, as the export
// does.
#include "formats/CalendarFormat.h"

#include "desktop/DesktopHost.h"
#include "model/DateText.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/locale/CodePage.h"
#include "tests/formats/CalendarTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace caltest;

namespace {

struct CIcalFree {
    void operator()(icalcomponent* p) const { icalcomponent_free(p); }
};
using IcalPtr = std::unique_ptr<icalcomponent, CIcalFree>;

// The text as a reader gets it back: UTF-8, every line break a single LF.
std::string ReadBack(const std::string& text) {
    std::string out = CodePageToUtf8(text, CP_WINDOWS_1252);
    for (const char* pair : {"\r\n", "\n\r"}) {
        for (auto pos = out.find(pair); pos != std::string::npos; pos = out.find(pair, pos))
            out.replace(pos, 2, "\n");
    }
    std::replace(out.begin(), out.end(), '\r', '\n');
    return out;
}

std::string Or(const char* psz) {
    return psz ? psz : "";
}

// The X-LIC-ERROR texts libical attached anywhere in the component.
std::vector<std::string> Errors(icalcomponent* pComponent) {
    std::vector<std::string> out;
    for (icalproperty* p = icalcomponent_get_first_property(pComponent, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(pComponent, ICAL_XLICERROR_PROPERTY))
        out.push_back(Or(icalproperty_get_xlicerror(p)));
    for (icalcomponent* c = icalcomponent_get_first_component(pComponent, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(pComponent, ICAL_ANY_COMPONENT)) {
        const std::vector<std::string> inner = Errors(c);
        out.insert(out.end(), inner.begin(), inner.end());
    }
    return out;
}

// Publishing rules want an organizer in each event; the file carries none by design.
// Every other complaint is a fault.
bool IsExpectedPublishingComplaint(const std::string& error) {
    return error.rfind("Failed iTIP restrictions for ORGANIZER property", 0) == 0;
}

std::int64_t DayOf(const icaltimetype& t) {
    return DayNumber({t.year, t.month, t.day});
}

// The days libical repeats an event on, up to the end of the host's datebook range: its
// rule's days and RDATE days, less the EXDATE days, each at the start's time of day.
std::vector<std::int64_t> LibicalOccurrences(icalcomponent* pEvent, const icaltimetype& start) {
    icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
    if (!pRule)
        return {};
    icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(pRule), start);
    EXPECT_NE(it, nullptr);
    std::vector<std::int64_t> out;
    while (it && out.size() < 20000) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t) || DayOf(t) > DayNumber({2031, 12, 31}))
            break;
        EXPECT_EQ(t.hour * 60 + t.minute, start.hour * 60 + start.minute);
        out.push_back(DayOf(t));
    }
    icalrecur_iterator_free(it);

    const auto sameForm = [&](const icaltimetype& t) {
        EXPECT_EQ(icaltime_is_date(t), icaltime_is_date(start));
        EXPECT_FALSE(icaltime_is_utc(t));
        EXPECT_EQ(t.hour * 60 + t.minute, start.hour * 60 + start.minute);
    };
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_RDATE_PROPERTY)) {
        const icaltimetype t = icalproperty_get_rdate(p).time;
        sameForm(t);
        out.push_back(DayOf(t));
    }
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype t = icalproperty_get_exdate(p);
        sameForm(t);
        EXPECT_NE(std::find(out.begin(), out.end(), DayOf(t)), out.end())
            << "EXDATE off the rule's days";
        std::erase(out, DayOf(t));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Each event's UID and days as python-dateutil expands the file (dateutil_expand.py):
// "UID yyyy-mm-dd ...", one line per event.
std::vector<std::string> DateutilExpansion(const std::string& path) {
    const std::string command = "/usr/bin/python3 " VARNO_SOURCE_DIR
                                "/tests/formats/dateutil_expand.py '" +
                                path + "' 2>&1";
    std::vector<std::string> out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    std::string text;
    char buf[4096];
    for (std::size_t n = 0; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        text.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << text;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string DateutilLine(const std::string& uid, const std::vector<std::int64_t>& days) {
    std::string line = uid + ' ';
    for (std::size_t i = 0; i < days.size(); ++i) {
        const auto d = DateOfDayNumber(days[i]);
        char sz[16];
        std::snprintf(sz, sizeof sz, "%04d-%02u-%02u", int(d.year()), unsigned(d.month()),
                      unsigned(d.day()));
        line += (i ? " " : "") + std::string(sz);
    }
    return line;
}

// Repeating appointments of every kind, at times of day that fall on another UTC date
// (evening west of UTC, morning east of it), overnight and untimed, starting on and off
// their pattern, around the daylight-saving changes of both hemispheres.
std::vector<SSeed> CrossCheckSeeds() {
    const SSeed rules[] = {
        Seed("", {2024, 1, 30}).Repeat(REPEAT_DAILY),
        Seed("", {2025, 3, 8}).Repeat(REPEAT_DAILY, 3, 0, {2025, 4, 20}),
        Seed("", {2024, 4, 6}).Repeat(REPEAT_DAILY, 7, 0, {2024, 4, 27}),
        Seed("", {2024, 1, 1}).Repeat(REPEAT_WEEKLY, 1, kMo | kWe | kFr),
        Seed("", {2024, 1, 1}).Repeat(REPEAT_WEEKLY, 2, kMo | kWe, {2024, 3, 1}),
        Seed("", {2024, 1, 6}).Repeat(REPEAT_WEEKLY, 2, kSu | kSa, {2024, 6, 30}),
        Seed("", {2024, 11, 3}).Repeat(REPEAT_WEEKLY, 3, kSu | kTh),
        Seed("off", {2024, 1, 2}).Repeat(REPEAT_WEEKLY, 1, kMo | kTh, {2024, 3, 31}),
        Seed("off, next week", {2024, 1, 5}).Repeat(REPEAT_WEEKLY, 2, kSu | kTu, {2024, 12, 31}),
        Seed("", {2024, 9, 29}).Repeat(REPEAT_WEEKLY, 4, kSu, {2025, 12, 31}),
        Seed("", {2024, 1, 26}).Repeat(REPEAT_MONTHLY_BY_DAY, 1, 5, {2024, 12, 31}),
        Seed("", {2024, 1, 25}).Repeat(REPEAT_MONTHLY_BY_DAY, 1, 4),
        Seed("", {2024, 1, 9}).Repeat(REPEAT_MONTHLY_BY_DAY, 2, 2),
        Seed("", {2024, 3, 31}).Repeat(REPEAT_MONTHLY_BY_DAY, 1, 5),
        Seed("", {2024, 1, 1}).Repeat(REPEAT_MONTHLY_BY_DAY, 3, 1, {2026, 1, 1}),
        Seed("off", {2024, 1, 10}).Repeat(REPEAT_MONTHLY_BY_DAY, 1, 1, {2024, 12, 31}),
        Seed("5th Monday, index 4", {2024, 1, 29})
            .Repeat(REPEAT_MONTHLY_BY_DAY, 1, 4, {2024, 12, 31}),
        Seed("", {2024, 1, 15}).Repeat(REPEAT_MONTHLY_BY_DATE),
        Seed("", {2024, 1, 29}).Repeat(REPEAT_MONTHLY_BY_DATE),
        Seed("", {2023, 12, 30}).Repeat(REPEAT_MONTHLY_BY_DATE, 2),
        Seed("", {2024, 1, 30}).Repeat(REPEAT_MONTHLY_BY_DATE, 1, 0, {2025, 3, 30}),
        Seed("", {2024, 1, 31}).Repeat(REPEAT_MONTHLY_BY_DATE),
        Seed("", {2024, 3, 31}).Repeat(REPEAT_MONTHLY_BY_DATE, 5, 0, {2028, 12, 31}),
        Seed("", {1999, 12, 31}).Repeat(REPEAT_YEARLY),
        Seed("", {2024, 2, 29}).Repeat(REPEAT_YEARLY),
        Seed("", {2024, 2, 29}).Repeat(REPEAT_YEARLY, 3, 0, {2031, 12, 31}),
        Seed("", {2024, 4, 7}).Repeat(REPEAT_YEARLY, 2, 0, {2030, 4, 7}),
        // Cancelled days: the first, ordinary ones, a short month's last day, off the
        // pattern and after the end (both change nothing).
        Seed("", {2025, 3, 8})
            .Repeat(REPEAT_DAILY, 3, 0, {2025, 4, 20})
            .Except({{2025, 3, 8}, {2025, 3, 17}, {2025, 3, 18}, {2025, 4, 23}}),
        Seed("", {2024, 1, 1})
            .Repeat(REPEAT_WEEKLY, 2, kSu | kMo | kWe, {2024, 6, 30})
            .Except({{2024, 1, 3}, {2024, 3, 10}, {2024, 4, 1}}),
        Seed("", {2024, 1, 26})
            .Repeat(REPEAT_MONTHLY_BY_DAY, 1, 5, {2024, 12, 31})
            .Except({{2024, 5, 31}}),
        Seed("", {2024, 1, 29})
            .Repeat(REPEAT_MONTHLY_BY_DATE)
            .Except({{2025, 2, 28}, {2024, 4, 29}}),
        Seed("", {2023, 12, 30})
            .Repeat(REPEAT_MONTHLY_BY_DATE, 2)
            .Except({{2024, 2, 29}, {2024, 6, 30}}),
        Seed("", {2024, 1, 30})
            .Repeat(REPEAT_MONTHLY_BY_DATE, 1, 0, {2025, 3, 30})
            .Except({{2024, 1, 30}, {2025, 2, 28}}),
        Seed("", {2024, 1, 31}).Repeat(REPEAT_MONTHLY_BY_DATE).Except({{2024, 2, 29}}),
        Seed("", {2024, 2, 29}).Repeat(REPEAT_YEARLY).Except({{2025, 2, 28}, {2028, 2, 29}}),
        Seed("", {2024, 11, 30}).Repeat(REPEAT_MONTHLY_BY_DATE, 3, 0, {2027, 12, 31}),
        Seed("", {2024, 10, 29}).Repeat(REPEAT_MONTHLY_BY_DATE, 4),
    };
    std::vector<SSeed> seeds;
    for (const SSeed& rule : rules) {
        for (const auto& [pszName, nStart, nEnd] :
             {std::tuple{"evening", 2130, 2245}, std::tuple{"morning", 615, 700},
              std::tuple{"overnight", 2300, 130}, std::tuple{"untimed", 0, 0}}) {
            SSeed seed = rule;
            seed.m_strText = pszName + (" " + std::to_string(seeds.size()));
            seed.Times(nStart, nEnd);
            seed.m_bUntimed = nStart == 0;
            seeds.push_back(seed);
        }
    }
    return seeds;
}

// The days the host gives for a record from its start day to the end of the datebook
// range, walked as the export walks them.
std::vector<std::int64_t> HostOccurrences(IHostAppointment* pRecord, const SSeed& seed) {
    const GUID& iid = IHostAppointment::Iid();
    const auto tFrom = static_cast<HOSTTIME>(LocalTimeOf(seed.m_date));
    const HOSTTIME tTo = DatebookRangeEnd();
    HOSTTIME tPosition = 0;
    BOOL bFound = 0;
    ThrowIfFailed(pRecord->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound), iid);
    std::vector<std::int64_t> out;
    HOSTTIME tLast = 0;
    while (bFound && out.size() < 20000) {
        HOSTTIME tOccurrence = 0;
        if (pRecord->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound) != S_OK || !bFound ||
            tOccurrence == tLast)
            break;
        out.push_back(LocalDayOf(tOccurrence));
        tLast = tOccurrence;
    }
    return out;
}

class CalendarLibicalTest : public CVarnoTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Stores the seeds in the host, writes their records as an iCalendar file, parses it
    // with libical and checks every event against the host.
    void CheckWithLibical(const std::vector<SSeed>& seeds) {
        CHostDatebook datebook;
        std::vector<std::vector<std::int64_t>> occurrences;
        const std::string path = TempPath("check.ics");
        {
            CCalendarFormat format(CALENDAR_ICALENDAR);
            ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
            for (const SSeed& seed : seeds) {
                CComPtr<IHostAppointment> record = datebook.Add(seed);
                occurrences.push_back(HostOccurrences(record.Get(), seed));
                auto appointment = MakeAppointment(seed);
                LONG nId = 0;
                ThrowIfFailed(record->GetRecordId(&nId), IHostAppointment::Iid());
                appointment->m_nRecordId = nId;
                EXPECT_EQ(WriteEvent(format, *appointment, record.Get()), 1);
            }
            ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        }
        const std::string text = ReadFileBytes(path);
        EXPECT_EQ(CodePageToUtf8(text, CP_UTF8), text) << "not valid UTF-8";

        IcalPtr calendar(icalparser_parse_string(text.c_str()));
        ASSERT_TRUE(calendar);
        ASSERT_EQ(icalcomponent_isa(calendar.get()), ICAL_VCALENDAR_COMPONENT);
        EXPECT_EQ(icalcomponent_count_errors(calendar.get()), 0);
        icalrestriction_check(calendar.get());
        for (const std::string& error : Errors(calendar.get()))
            EXPECT_TRUE(IsExpectedPublishingComplaint(error)) << error;

        const std::vector<std::string> dateutil = DateutilExpansion(path);
        ASSERT_EQ(dateutil.size(), seeds.size());
        std::set<std::string> uids;
        std::size_t i = 0;
        for (icalcomponent* pEvent =
                 icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT);
             pEvent;
             pEvent = icalcomponent_get_next_component(calendar.get(), ICAL_VEVENT_COMPONENT),
                            ++i) {
            ASSERT_LT(i, seeds.size());
            CheckEvent(pEvent, seeds[i], occurrences[i]);
            const std::string uid = Or(icalcomponent_get_uid(pEvent));
            EXPECT_FALSE(uid.empty());
            EXPECT_TRUE(uids.insert(uid).second) << uid;
            // A single event's one day, or the host's days of a series.
            const std::vector<std::int64_t> days =
                seeds[i].m_nRepeatType == 0 || seeds[i].m_nRepeatType > REPEAT_YEARLY
                    ? std::vector<std::int64_t>{DayNumber(seeds[i].m_date)}
                    : occurrences[i];
            if (seeds[i].m_bUntimed || seeds[i].m_nRepeatType != 0) {
                EXPECT_EQ(dateutil[i], DateutilLine(uid, days)) << "dateutil, then the host";
            }
        }
        EXPECT_EQ(i, seeds.size());
    }

    static void CheckEvent(icalcomponent* pEvent, const SSeed& seed,
                           const std::vector<std::int64_t>& expected) {
        SCOPED_TRACE(seed.m_strText);
        EXPECT_EQ(Or(icalcomponent_get_summary(pEvent)), ReadBack(seed.m_strText));
        EXPECT_EQ(Or(icalcomponent_get_description(pEvent)), ReadBack(seed.m_strNote));
        EXPECT_EQ(Or(icalcomponent_get_location(pEvent)), ReadBack(seed.m_strLocation));
        icalproperty* pCategories =
            icalcomponent_get_first_property(pEvent, ICAL_CATEGORIES_PROPERTY);
        EXPECT_EQ(pCategories ? Or(icalproperty_get_categories(pCategories)) : "",
                  ReadBack(seed.m_strCategory));

        const icaltimetype start = icalcomponent_get_dtstart(pEvent);
        const icaltimetype end = icalcomponent_get_dtend(pEvent);
        ASSERT_FALSE(icaltime_is_null_time(start));
        ASSERT_FALSE(icaltime_is_null_time(end));
        EXPECT_EQ(icaltime_is_date(start), seed.m_bUntimed);
        EXPECT_EQ(icaltime_is_date(end), seed.m_bUntimed);
        EXPECT_GT(icaltime_compare(end, start), 0);

        if (seed.m_nRepeatType == 0) {
            if (seed.m_bUntimed) {
                EXPECT_EQ(DayOf(start), DayNumber(seed.m_date));
                EXPECT_EQ(DayOf(end), DayOf(start) + 1);
            } else {
                EXPECT_TRUE(icaltime_is_utc(start));
                EXPECT_EQ(icaltime_as_timet(start), seed.Start());
                EXPECT_EQ(icaltime_as_timet(end), seed.End());
            }
            return;
        }

        // Repeating: floating local times, starting on the host's first occurrence.
        EXPECT_FALSE(icaltime_is_utc(start));
        EXPECT_FALSE(icaltime_is_utc(end));
        // A cancelled first day stays the start, listed as EXDATE.
        if (!expected.empty() && seed.m_vecExceptions.empty()) {
            EXPECT_EQ(DayOf(start), expected.front());
        } else if (!expected.empty()) {
            EXPECT_LE(DayOf(start), expected.front());
        }
        EXPECT_EQ(DayOf(end), DayOf(start) + (seed.m_bUntimed || seed.EndsNextDay() ? 1 : 0));
        if (!seed.m_bUntimed) {
            EXPECT_EQ(start.hour * 60 + start.minute, seed.m_nStartHour * 60 + seed.m_nStartMinute);
            EXPECT_EQ(end.hour * 60 + end.minute, seed.m_nEndHour * 60 + seed.m_nEndMinute);
        }
        const std::vector<std::int64_t> actual = LibicalOccurrences(pEvent, start);
        EXPECT_EQ(actual, expected) << "libical's days, then the host's (days since 1970)";
    }
};

TEST_P(CalendarLibicalTest, RepeatingEventsRepeatOnTheHostsDays) {
    SetTimeZone(GetParam());
    CheckWithLibical(CrossCheckSeeds());
}

TEST_P(CalendarLibicalTest, GoldenAppointmentsAreValidEvents) {
    SetTimeZone(GetParam());
    CheckWithLibical(GoldenSeeds());
}

INSTANTIATE_TEST_SUITE_P(Zones, CalendarLibicalTest,
                         ::testing::Values("America/New_York", "Pacific/Auckland"),
                         [](const ::testing::TestParamInfo<const char*>& zone) {
                             return std::string(zone.param[0] == 'A' ? "NewYork" : "Auckland");
                         });

} // namespace
