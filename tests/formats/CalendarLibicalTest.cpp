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
#include <string>
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

// Publishing rules want an organizer and a unique id in each event; the file carries
// neither by design. Every other complaint is a fault.
bool IsExpectedPublishingComplaint(const std::string& error) {
    return error.rfind("Failed iTIP restrictions for UID property", 0) == 0 ||
           error.rfind("Failed iTIP restrictions for ORGANIZER property", 0) == 0;
}

std::int64_t DayOf(const icaltimetype& t) {
    return DayNumber(t.year, t.month, t.day);
}

// The days libical repeats an event on, up to the end of the host's datebook range.
std::vector<std::int64_t> LibicalOccurrences(icalcomponent* pEvent, const icaltimetype& start) {
    icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
    if (!pRule)
        return {};
    icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(pRule), start);
    EXPECT_NE(it, nullptr);
    std::vector<std::int64_t> out;
    const std::int64_t last = DayNumber(2031, 12, 31);
    while (it && out.size() < 20000) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t) || DayOf(t) > last)
            break;
        EXPECT_EQ(t.hour * 60 + t.minute, start.hour * 60 + start.minute);
        out.push_back(DayOf(t));
    }
    icalrecur_iterator_free(it);
    return out;
}

std::string DayText(std::int64_t n) {
    const SDate d = DateOfDayNumber(n);
    char sz[40];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d", d.y, d.m, d.d);
    return sz;
}

std::string DaysText(const std::vector<std::int64_t>& days) {
    std::string out;
    for (std::size_t i = 0; i < days.size() && i < 40; ++i)
        out += DayText(days[i]) + " ";
    return out + "(" + std::to_string(days.size()) + ")";
}

// Repeating appointments of every kind, at times of day that fall on another UTC date
// (evening west of UTC, morning east of it), overnight and untimed, starting on and off
// their pattern, around the daylight-saving changes of both hemispheres.
std::vector<SSeed> CrossCheckSeeds() {
    struct SRule {
        SDate m_start;
        std::int32_t m_nType;
        std::int32_t m_nInterval;
        std::int32_t m_nExtra;
        SDate m_end;
    };
    const SRule rules[] = {
        {{2024, 1, 30}, REPEAT_DAILY, 1, 0, {}},
        {{2025, 3, 8}, REPEAT_DAILY, 3, 0, {2025, 4, 20}},
        {{2024, 4, 6}, REPEAT_DAILY, 7, 0, {2024, 4, 27}},
        {{2024, 1, 1}, REPEAT_WEEKLY, 1, kMo | kWe | kFr, {}},
        {{2024, 1, 1}, REPEAT_WEEKLY, 2, kMo | kWe, {2024, 3, 1}},
        {{2024, 1, 6}, REPEAT_WEEKLY, 2, kSu | kSa, {2024, 6, 30}},
        {{2024, 11, 3}, REPEAT_WEEKLY, 3, kSu | kTh, {}},
        {{2024, 1, 2}, REPEAT_WEEKLY, 1, kMo | kTh, {2024, 3, 31}},  // off pattern
        {{2024, 1, 5}, REPEAT_WEEKLY, 2, kSu | kTu, {2024, 12, 31}}, // off pattern, next week
        {{2024, 9, 29}, REPEAT_WEEKLY, 4, kSu, {2025, 12, 31}},
        {{2024, 1, 26}, REPEAT_MONTHLY_BY_DAY, 1, 5, {2024, 12, 31}},
        {{2024, 1, 25}, REPEAT_MONTHLY_BY_DAY, 1, 4, {}},
        {{2024, 1, 9}, REPEAT_MONTHLY_BY_DAY, 2, 2, {}},
        {{2024, 3, 31}, REPEAT_MONTHLY_BY_DAY, 1, 5, {}},
        {{2024, 1, 1}, REPEAT_MONTHLY_BY_DAY, 3, 1, {2026, 1, 1}},
        {{2024, 1, 10}, REPEAT_MONTHLY_BY_DAY, 1, 1, {2024, 12, 31}}, // off pattern
        {{2024, 1, 29}, REPEAT_MONTHLY_BY_DAY, 1, 4, {2024, 12, 31}}, // 5th Monday, index 4
        {{2024, 1, 15}, REPEAT_MONTHLY_BY_DATE, 1, 0, {}},
        {{2024, 1, 29}, REPEAT_MONTHLY_BY_DATE, 1, 0, {}},
        {{2023, 12, 30}, REPEAT_MONTHLY_BY_DATE, 2, 0, {}},
        {{2024, 1, 30}, REPEAT_MONTHLY_BY_DATE, 1, 0, {2025, 3, 30}},
        {{2024, 1, 31}, REPEAT_MONTHLY_BY_DATE, 1, 0, {}},
        {{2024, 3, 31}, REPEAT_MONTHLY_BY_DATE, 5, 0, {2028, 12, 31}},
        {{1999, 12, 31}, REPEAT_YEARLY, 1, 0, {}},
        {{2024, 2, 29}, REPEAT_YEARLY, 1, 0, {}},
        {{2024, 2, 29}, REPEAT_YEARLY, 3, 0, {2031, 12, 31}},
        {{2024, 4, 7}, REPEAT_YEARLY, 2, 0, {2030, 4, 7}},
    };
    struct STimes {
        const char* m_pszName;
        int m_nStartHour, m_nStartMinute, m_nEndHour, m_nEndMinute;
        bool m_bUntimed;
    };
    const STimes times[] = {
        {"evening", 21, 30, 22, 45, false},
        {"morning", 6, 15, 7, 0, false},
        {"overnight", 23, 0, 1, 30, false},
        {"untimed", 0, 0, 0, 0, true},
    };
    std::vector<SSeed> seeds;
    for (const SRule& r : rules) {
        for (const STimes& t : times) {
            SSeed seed;
            seed.m_strText = std::string(t.m_pszName) + " " + std::to_string(seeds.size());
            seed.m_date = r.m_start;
            seed.m_nStartHour = t.m_nStartHour;
            seed.m_nStartMinute = t.m_nStartMinute;
            seed.m_nEndHour = t.m_nEndHour;
            seed.m_nEndMinute = t.m_nEndMinute;
            seed.m_bUntimed = t.m_bUntimed;
            seed.m_nRepeatType = r.m_nType;
            seed.m_nInterval = r.m_nInterval;
            seed.m_nExtra = r.m_nExtra;
            seed.m_endDay = r.m_end;
            seeds.push_back(seed);
        }
    }
    return seeds;
}

// The current user's datebook of the stand-in host.
class CHostDatebook {
public:
    CHostDatebook() {
        CComPtr<IDispatch> host = OpenDesktopHost();
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
        LONG nId = 0;
        ThrowIfFailed(added->GetRecordId(&nId), iid);
        CComPtr<IHostAppointment> record;
        ThrowIfFailed(m_pDatebook->GetAppointmentById(nId, record.Put()), IHostDatebook::Iid());
        return record;
    }

private:
    CComPtr<IHostDatebook> m_pDatebook;
};

// The days the host gives for a record from its start day to the end of the datebook
// range, walked as the export walks them.
std::vector<std::int64_t> HostOccurrences(IHostAppointment* pRecord, const SSeed& seed) {
    const GUID& iid = IHostAppointment::Iid();
    const auto tFrom =
        static_cast<HOSTTIME>(LocalTimeOf(seed.m_date.y, seed.m_date.m, seed.m_date.d));
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
                if (seed.m_nRepeatType != 0) {
                    // The host's days are those the notes on its repeat rules describe.
                    EXPECT_EQ(occurrences.back(), ReferenceOccurrences(seed)) << seed.m_strText;
                }
                EXPECT_EQ(WriteEvent(format, *MakeAppointment(seed), record.Get()), 1);
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

        std::size_t i = 0;
        for (icalcomponent* pEvent =
                 icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT);
             pEvent;
             pEvent = icalcomponent_get_next_component(calendar.get(), ICAL_VEVENT_COMPONENT),
                            ++i) {
            ASSERT_LT(i, seeds.size());
            CheckEvent(pEvent, seeds[i], occurrences[i]);
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
                EXPECT_EQ(DayOf(start), DayNumber(seed.m_date.y, seed.m_date.m, seed.m_date.d));
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
        if (!expected.empty()) {
            EXPECT_EQ(DayOf(start), expected.front());
        }
        EXPECT_EQ(DayOf(end), DayOf(start) + (seed.m_bUntimed || seed.EndsNextDay() ? 1 : 0));
        if (!seed.m_bUntimed) {
            EXPECT_EQ(start.hour * 60 + start.minute, seed.m_nStartHour * 60 + seed.m_nStartMinute);
            EXPECT_EQ(end.hour * 60 + end.minute, seed.m_nEndHour * 60 + seed.m_nEndMinute);
        }
        const std::vector<std::int64_t> actual = LibicalOccurrences(pEvent, start);
        EXPECT_EQ(actual, expected)
            << "libical: " << DaysText(actual) << "\nhost:    " << DaysText(expected);
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
