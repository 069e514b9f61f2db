// The iCalendar writer fed with random appointments of the datebook's range, in both
// system code pages: libical, an independent reader, must accept every file without a
// complaint, find one event, and read back its texts as the datebook holds them. The
// vCalendar flavour is written too, for the writer's own checks.
#include "formats/CalendarFormat.h"
#include "fuzz/FuzzSupport.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "platform/locale/CodePage.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <libical/ical.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

struct CIcalFree {
    void operator()(icalcomponent* p) const { icalcomponent_free(p); }
};
using IcalPtr = std::unique_ptr<icalcomponent, CIcalFree>;

void Fail(const char* pszWhat, const std::string& detail = {}) {
    std::fprintf(stderr, "%s %s\n", pszWhat, detail.c_str());
    std::abort();
}

std::string Or(const char* psz) {
    return psz ? psz : "";
}

// The text as a reader gets it back: UTF-8, every line break a single LF, without the
// control characters that text may not hold.
std::string ReadBack(const std::string& text, unsigned codePage) {
    const std::string utf8 = CodePageToUtf8(text, codePage);
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' || c == '\n') {
            // CR LF and LF CR are one line break, read from the left.
            if (i + 1 < utf8.size() && utf8[i + 1] == (c == '\r' ? '\n' : '\r'))
                ++i;
            out += '\n';
        } else if ((static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) || c == '\t') {
            out += c;
        }
    }
    // libical takes blanks and tabs at either end of a value for padding.
    const std::size_t nFirst = out.find_first_not_of(" \t");
    if (nFirst == std::string::npos)
        return {};
    return out.substr(nFirst, out.find_last_not_of(" \t") - nFirst + 1);
}

// A local time of the day t falls on, at hh:mm.
TimeValue OnDay(TimeValue tDay, int nHour, int nMinute) {
    CSystemTime st;
    if (!TimeToSystemTime(tDay, st))
        Fail("a day of the datebook range has no calendar date");
    return MakeLocalTimeValue(st.m_wYear, st.m_wMonth, st.m_wDay, nHour, nMinute);
}

TimeValue RandomDay(FuzzedDataProvider& data) {
    return LocalMidnight(
        data.ConsumeIntegralInRange<TimeValue>(DatebookRangeStart(), DatebookRangeEnd()));
}

void FillAppointment(FuzzedDataProvider& data, CAppointment& a) {
    a.SetDate(RandomDay(data));
    a.m_bUntimed = data.ConsumeBool();
    a.SetStartTime(
        OnDay(a.m_tDate, data.ConsumeIntegralInRange(0, 23), data.ConsumeIntegralInRange(0, 59)));
    a.SetEndTime(
        OnDay(a.m_tDate, data.ConsumeIntegralInRange(0, 23), data.ConsumeIntegralInRange(0, 59)));
    a.m_bPrivate = data.ConsumeBool();
    a.m_bAlarm = data.ConsumeBool();
    a.m_nAlarmUnit = data.ConsumeIntegralInRange(0, 2);
    a.m_nAlarmAdvance = data.ConsumeIntegralInRange(0, 32767);
    // Repeat values as the datebook keeps them: an end on or after the start day, at
    // least one weekday, a week index of 1 to 5. Types outside 1..5 write no rule.
    a.m_bRepeat = data.ConsumeBool();
    a.m_repeat.m_nType = data.ConsumeIntegralInRange(0, 6);
    a.m_repeat.m_nInterval = data.ConsumeIntegralInRange(1, 99);
    a.m_repeat.m_tEnd =
        data.ConsumeBool()
            ? 0
            : LocalMidnight(data.ConsumeIntegralInRange<TimeValue>(a.m_tDate, DatebookRangeEnd()));
    a.m_repeat.m_byWeekdays = data.ConsumeIntegralInRange<std::uint8_t>(1, 0x7F);
    a.m_repeat.m_nWeekIndex = data.ConsumeIntegralInRange(1, 5);
    a.m_strText = data.ConsumeRandomLengthString(400);
    a.m_strNote = data.ConsumeRandomLengthString(2000);
    a.m_strCategory = data.ConsumeRandomLengthString(100);
    a.m_strLocation = data.ConsumeRandomLengthString(200);
}

std::string WriteCalendar(const CAppointment& a, std::int32_t nFlavour, const std::string& path) {
    {
        CCalendarFormat format(nFlavour);
        if (format.OpenWrite(path) != STATUS_OK)
            Fail("the calendar file could not be opened", path);
        if (WriteEvent(format, a, nullptr) != 1)
            Fail("no event written");
        (void)format.CloseWrite();
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The X-LIC-ERROR texts libical attached anywhere in the component.
void CollectErrors(icalcomponent* pComponent, std::string& out) {
    for (icalproperty* p = icalcomponent_get_first_property(pComponent, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(pComponent, ICAL_XLICERROR_PROPERTY))
        out += Or(icalproperty_get_xlicerror(p)) + "; ";
    for (icalcomponent* c = icalcomponent_get_first_component(pComponent, ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(pComponent, ICAL_ANY_COMPONENT))
        CollectErrors(c, out);
}

void CheckText(const char* pszName, const char* pszRead, const std::string& strWritten,
               unsigned codePage) {
    const std::string expected = ReadBack(strWritten, codePage);
    if (Or(pszRead) != expected)
        Fail(pszName, "reads back as \"" + Or(pszRead) + "\", not \"" + expected + "\"");
}

void CheckWithLibical(const std::string& text, const CAppointment& a, unsigned codePage) {
    if (CodePageToUtf8(text, CP_UTF8) != text)
        Fail("the file is not valid UTF-8");
    if (text.find('\0') != std::string::npos)
        Fail("the file holds a NUL byte");
    IcalPtr calendar(icalparser_parse_string(text.c_str()));
    if (!calendar || icalcomponent_isa(calendar.get()) != ICAL_VCALENDAR_COMPONENT)
        Fail("libical finds no calendar");
    // libical drops a text property with no value left, with a complaint, though the
    // grammar allows empty text; the alarm's DESCRIPTION is written also when the text is
    // empty.
    std::string errors;
    CollectErrors(calendar.get(), errors);
    int nExpected = 0;
    auto expectEmpty = [&](const char* pszName, const std::string& strWritten, bool bWritten) {
        if (!bWritten || !ReadBack(strWritten, codePage).empty())
            return;
        const std::string complaint =
            "No value for " + std::string(pszName) + " property. Removing entire property:; ";
        if (const auto pos = errors.find(complaint); pos != std::string::npos) {
            errors.erase(pos, complaint.size());
            ++nExpected;
        }
    };
    expectEmpty("SUMMARY", a.m_strText, !a.m_strText.empty());
    expectEmpty("DESCRIPTION", a.m_strNote, !a.m_strNote.empty());
    expectEmpty("DESCRIPTION", a.m_strText, a.m_bAlarm);
    expectEmpty("CATEGORIES", a.m_strCategory, !a.m_strCategory.empty());
    expectEmpty("LOCATION", a.m_strLocation, !a.m_strLocation.empty());
    if (icalcomponent_count_errors(calendar.get()) != nExpected || !errors.empty())
        Fail("libical complains:", errors);
    if (icalcomponent_count_components(calendar.get(), ICAL_VEVENT_COMPONENT) != 1)
        Fail("libical does not find exactly one event");
    icalcomponent* pEvent =
        icalcomponent_get_first_component(calendar.get(), ICAL_VEVENT_COMPONENT);
    CheckText("SUMMARY", icalcomponent_get_summary(pEvent), a.m_strText, codePage);
    CheckText("DESCRIPTION", icalcomponent_get_description(pEvent), a.m_strNote, codePage);
    CheckText("LOCATION", icalcomponent_get_location(pEvent), a.m_strLocation, codePage);
    icalproperty* pCategories = icalcomponent_get_first_property(pEvent, ICAL_CATEGORIES_PROPERTY);
    CheckText("CATEGORIES", pCategories ? icalproperty_get_categories(pCategories) : nullptr,
              a.m_strCategory, codePage);

    const icaltimetype start = icalcomponent_get_dtstart(pEvent);
    const icaltimetype end = icalcomponent_get_dtend(pEvent);
    if (icaltime_is_null_time(start) || icaltime_is_null_time(end))
        Fail("the event has no start or end");
    // An appointment that ends when it starts gives an event of no length.
    if (icaltime_compare(end, start) < 0)
        Fail("the event ends before it starts");
    if (icaltime_is_date(start) != a.m_bUntimed)
        Fail("an untimed appointment is not a whole-day event, or the other way round");
    if (icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY)) {
        icalrecur_iterator* it = icalrecur_iterator_new(icalproperty_get_rrule(pRule), start);
        if (!it)
            Fail("libical cannot expand the repeat rule");
        icalrecur_iterator_free(it);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    static const std::string s_strPath = ScratchPath("event.ics");
    FuzzedDataProvider data(pData, nSize);
    const unsigned codePage = data.ConsumeBool() ? CP_UTF8 : CP_WINDOWS_1252;
    UseCodePage(codePage);
    CAppointment appointment(nullptr);
    FillAppointment(data, appointment);
    CheckWithLibical(WriteCalendar(appointment, CALENDAR_ICALENDAR, s_strPath), appointment,
                     codePage);
    (void)WriteCalendar(appointment, CALENDAR_VCALENDAR, s_strPath);
    return 0;
}
