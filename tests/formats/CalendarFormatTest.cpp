#include "formats/CalendarFormat.h"

#include "platform/com/ComError.h"
#include "tests/formats/CalendarTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

using namespace caltest;

namespace {

constexpr const char* kICalendarHeader = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nMETHOD:PUBLISH\r\n"
                                         "PRODID:-//Brenmark GmbH//NONSGML VARNO//EN\r\n";
constexpr const char* kVCalendarHeader = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n"
                                         "PRODID:-//Brenmark GmbH//NONSGML VARNO//EN\r\n";
const std::string kEmptyICalendar = std::string(kICalendarHeader) + "END:VCALENDAR\r\n";

// The DTSTAMP values are the only bytes that depend on the clock.
std::string MaskStamps(std::string text) {
    const std::string key = "\r\nDTSTAMP:";
    for (auto pos = text.find(key); pos != std::string::npos; pos = text.find(key, pos + 1)) {
        const auto from = pos + key.size();
        text.replace(from, text.find("\r\n", from) - from, "*");
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (auto pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", from)) {
        lines.push_back(text.substr(from, pos - from));
        from = pos + 2;
    }
    return lines;
}

std::string LineStartingWith(const std::string& text, const std::string& prefix) {
    for (const std::string& line : Lines(text)) {
        if (line.starts_with(prefix))
            return line;
    }
    return "<none>";
}

class CalendarFormatTest : public CVarnoTest {
protected:
    std::string WriteOne(std::int32_t nFlavour, const SSeed& seed) {
        return WriteCalendar(TempPath("out.cal"), nFlavour, {seed});
    }

    // The bytes of one text line written by WriteTextLine, without its CR LF.
    std::string TextLine(std::int32_t nFlavour, const std::string& value) {
        const std::string path = TempPath("text.cal");
        CCalendarFormat format(nFlavour);
        EXPECT_EQ(format.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(format.WriteTextLine("SUMMARY", value), STATUS_OK);
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        const std::string text = ReadFileBytes(path);
        const std::size_t nFrom = text.find("SUMMARY");
        return text.substr(nFrom, text.rfind("\r\nEND:VCALENDAR") - nFrom);
    }
};

// The records' own rules; the host's rules of the same appointments are checked with
// libical (CalendarLibicalTest.cpp).
TEST_F(CalendarFormatTest, GoldenFilesMatchByteForByte) {
    for (const std::int32_t nFlavour : {CALENDAR_ICALENDAR, CALENDAR_VCALENDAR}) {
        const std::string name =
            nFlavour == CALENDAR_ICALENDAR ? "calendar/events.ics" : "calendar/events.vcs";
        const std::string actual = WriteCalendar(TempPath("golden"), nFlavour, GoldenSeeds());
        if (std::getenv("VARNO_UPDATE_GOLDEN"))
            WriteFileBytes(TestDataPath(name), actual);
        EXPECT_EQ(MaskStamps(actual), MaskStamps(ReadFileBytes(TestDataPath(name)))) << name;
    }
}

// The frame around the events; raw rows are lines of text cells, other cells are refused;
// an existing longer file is replaced whole.
TEST_F(CalendarFormatTest, FrameAndRawRows) {
    EXPECT_EQ(WriteCalendar(TempPath("a.vcs"), CALENDAR_VCALENDAR, {}),
              std::string(kVCalendarHeader) + "END:VCALENDAR\r\n");
    const std::string path = TempPath("rows.ics");
    WriteFileBytes(path, std::string(100000, 'x'));
    CCalendarFormat format(CALENDAR_ICALENDAR);
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    EXPECT_EQ(format.GetRowNumber(), 4);
    EXPECT_EQ(format.WriteText("X-A:"), STATUS_OK);
    EXPECT_EQ(format.WriteText("raw;\xE9"), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    for (const EStatus status :
         {format.WriteDate(0), format.WriteTime(0), format.WriteSpan(0), format.WriteInt(0)})
        EXPECT_EQ(status, STATUS_FAILED);
    EXPECT_EQ(format.GetRowNumber(), 5);
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    EXPECT_EQ(ReadFileBytes(path),
              std::string(kICalendarHeader) + "X-A:raw;\xE9\r\nEND:VCALENDAR\r\n");
}

TEST_F(CalendarFormatTest, OpenFailsForMissingFolderAndForAFileLockedByAnotherWriter) {
    CCalendarFormat format(CALENDAR_ICALENDAR);
    EXPECT_EQ(format.OpenWrite(Home() + "/missing/folder/x.ics"), STATUS_FAILED);
    EXPECT_EQ(format.OpenRead(Home() + "/missing.ics"), STATUS_FAILED);

    const std::string path = TempPath("locked.ics");
    WriteFileBytes(path, "keep");
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(format.OpenWrite(path), STATUS_FAILED);
    EXPECT_EQ(format.OpenRead(path), STATUS_FAILED);
    ::close(fd);
    EXPECT_EQ(ReadFileBytes(path), "keep"); // a refused open changes nothing

    // Readers may read while the file is being written, other writers may not.
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    CCalendarFormat second(CALENDAR_ICALENDAR);
    EXPECT_EQ(second.OpenWrite(path), STATUS_FAILED);
    const int reader = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(reader, 0);
    ::close(reader);
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
}

TEST_F(CalendarFormatTest, WriteErrorIsRaisedByCloseWriteAfterClosing) {
    CCalendarFormat format(CALENDAR_ICALENDAR);
    ASSERT_EQ(format.OpenWrite("/dev/full"), STATUS_OK);
    for (int i = 0; i < 5000; ++i)
        (void)format.WriteTextLine("DESCRIPTION", std::string(100, 'a'));
    EXPECT_THROW((void)format.CloseWrite(), CFormatException);
    EXPECT_EQ(format.WriteText("x"), STATUS_FAILED); // closed
}

// Reading gives each line as one text cell (at most 39,999 bytes, the rest the next row).
TEST_F(CalendarFormatTest, ReadsLinesAsSingleCells) {
    const std::string path = TempPath("in.vcs");
    WriteFileBytes(path, "A;B\r\nC\nD\r\n\r\n" + std::string(40005, 'y') + "\r\nlast");
    CCalendarFormat format(CALENDAR_VCALENDAR);
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), static_cast<std::int32_t>((12 + 40007 + 4) / 256));
    for (const std::string& line :
         std::vector<std::string>{"A;B", "C\nD", "", std::string(39999, 'y'), "yyyyyy", "last"}) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        std::string cell = "?", rest = "?";
        EXPECT_EQ(format.ReadText(cell), STATUS_OK);
        EXPECT_EQ(format.ReadText(rest), STATUS_OK);
        EXPECT_EQ(std::pair(cell, rest), std::pair(line, std::string()));
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetPosition(), format.GetSize());
    std::int32_t n = 7;
    EXPECT_EQ(format.ReadInt(n), STATUS_FAILED);
}

TEST_F(CalendarFormatTest, TextValuesAreEncodedForTheFlavour) {
    const std::string letters100 = std::string(50, 'a') + std::string(50, 'B');
    const std::string qp = "SUMMARY;ENCODING=QUOTED-PRINTABLE:";
    const std::string qpUtf8 = "SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:";
    const struct {
        std::int32_t m_nFlavour;
        unsigned m_nCodePage;
        std::string m_strValue;
        std::string m_strLine;
    } cases[] = {
        // iCalendar: TEXT escaping, UTF-8 from the system code page.
        {CALENDAR_ICALENDAR, 1252, "Meeting; room 5", "SUMMARY:Meeting\\; room 5"},
        {CALENDAR_ICALENDAR, 1252, "a,b\\c", "SUMMARY:a\\,b\\\\c"},
        {CALENDAR_ICALENDAR, 1252, "1\r\n2\n3\r4\n\r5\r\n\r\n6",
         "SUMMARY:1\\n2\\n3\\n4\\n5\\n\\n6"},
        {CALENDAR_ICALENDAR, 1252, "caf\xE9 \xFF", "SUMMARY:caf\xC3\xA9 \xC3\xBF"},
        {CALENDAR_ICALENDAR, 1252, "\x80 \x93x\x94 \x85",
         "SUMMARY:\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D \xE2\x80\xA6"},
        {CALENDAR_ICALENDAR, 65001, "caf\xC3\xA9 \xE2\x82\xAC", "SUMMARY:caf\xC3\xA9 \xE2\x82\xAC"},
        {CALENDAR_ICALENDAR, 65001, "bad \xE9!", "SUMMARY:bad \xEF\xBF\xBD!"},
        // Control characters but tab are not text: a NUL used to end the file early.
        {CALENDAR_ICALENDAR, 1252, std::string("a\0b\x01\x1F\x7F\tc", 8), "SUMMARY:ab\tc"},
        {CALENDAR_ICALENDAR, 65001, std::string("\0\x1B[0m\0", 6), "SUMMARY:[0m"},
        // vCalendar: quoted-printable of the code page's bytes.
        {CALENDAR_VCALENDAR, 1252, "Meeting; room 5", qp + "Meeting; room 5"},
        {CALENDAR_VCALENDAR, 1252, "two\r\nlines", qp + "two=0D=0Alines"},
        {CALENDAR_VCALENDAR, 1252, "caf\xE9 \x80", qp + "caf=E9 =80"},
        {CALENDAR_VCALENDAR, 1252, "!\"#$=@[\\]^`{|}~\x7F\t%<>?_",
         qp + "=21=22=23=24=3D=40=5B=5C=5D=5E=60=7B=7C=7D=7E=7F=09%<>?_"},
        {CALENDAR_VCALENDAR, 1252, letters100,
         qp + letters100.substr(0, 72) + "=\r\n" + letters100.substr(72)},
        {CALENDAR_VCALENDAR, 1252, std::string(71, 'a') + "==b",
         qp + std::string(71, 'a') + "=3D=\r\n=3Db"},
        {CALENDAR_VCALENDAR, 65001, "caf\xC3\xA9", qpUtf8 + "caf=C3=A9"},
        {CALENDAR_VCALENDAR, 65001, "plain", qp + "plain"},
        {CALENDAR_VCALENDAR, 65001, "bad \xE9", qpUtf8 + "bad =EF=BF=BD"},
    };
    for (const auto& c : cases) {
        SetCodePage(c.m_nCodePage);
        EXPECT_EQ(TextLine(c.m_nFlavour, c.m_strValue), c.m_strLine)
            << c.m_nFlavour << " " << c.m_nCodePage << " " << c.m_strValue;
    }
}

TEST_F(CalendarFormatTest, QuotedPrintableValuesAreCutAt39999BytesOnACharacterBoundary) {
    const auto decodedLength = [](const std::string& line) {
        std::size_t n = 0;
        for (std::size_t i = line.find(':') + 1; i < line.size(); ++i) {
            if (line.compare(i, 3, "=\r\n") == 0)
                i += 2; // a soft line break
            else
                i += line[i] == '=' ? 2 : 0, ++n;
        }
        return n;
    };
    SetCodePage(1252);
    EXPECT_EQ(decodedLength(TextLine(CALENDAR_VCALENDAR, std::string(40010, 'a'))), 39999u);
    SetCodePage(65001);
    const std::string line = TextLine(CALENDAR_VCALENDAR, std::string(39998, 'a') + "\xC3\xA9");
    EXPECT_EQ(decodedLength(line), 39998u);
    EXPECT_EQ(line.find("=C3"), std::string::npos);
}

TEST_F(CalendarFormatTest, PlainValuesTurnEachRunOfLineBreaksIntoOne) {
    const std::string path = TempPath("plain.ics");
    CCalendarFormat format(CALENDAR_ICALENDAR);
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    EXPECT_EQ(format.WritePlainLine("X-A", "1\r\n\r\n2\n\n3\r4;5,6\\"), STATUS_OK);
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    EXPECT_EQ(LineStartingWith(ReadFileBytes(path), "X-A"), "X-A:1\\n2\\n\\n3\\n4;5,6\\");
}

TEST_F(CalendarFormatTest, EmptyTextsLeaveTheirLinesOutExceptTheAlarmsDescription) {
    const std::vector<std::string> lines =
        Lines(WriteOne(CALENDAR_ICALENDAR, Seed("", {2026, 6, 1}).Alarm(ALARM_MINUTES, 5)));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{
                  "BEGIN:VEVENT", "DTSTAMP:20261205T110000Z",
                  // FNV-1a of no name, record id 0.
                  "UID:VARNO-cbf29ce484222325-0", "DTSTART:20260601T070000Z",
                  "DTEND:20260601T080000Z", "BEGIN:VALARM", "TRIGGER;VALUE=DURATION:-PT5M",
                  "ACTION:DISPLAY", "DESCRIPTION:", "END:VALARM", "END:VEVENT", "END:VCALENDAR"}));
}

// Single events in UTC, repeating ones in floating local time from their first
// occurrence; the end on the next day when it lies before the start (also over a change
// of the clocks); rules the golden files do not hold.
TEST_F(CalendarFormatTest, TimesAndRulesOfEvents) {
    const struct {
        const char* m_pszZone;
        SSeed m_seed;
        const char* m_pszStart;
        const char* m_pszEnd; // null: not checked
        const char* m_pszRule;
    } cases[] = {
        {"America/New_York", Seed("evening", {2026, 7, 1}).Times(2130, 2200),
         "DTSTART:20260702T013000Z", "DTEND:20260702T020000Z", "<none>"},
        {"Pacific/Auckland", Seed("morning", {2026, 7, 1}).Times(700, 800),
         "DTSTART:20260630T190000Z", "DTEND:20260630T200000Z", "<none>"},
        {"Europe/Berlin", Seed("overnight", {2026, 3, 28}).Times(2300, 600),
         "DTSTART:20260328T220000Z", "DTEND:20260329T040000Z", "<none>"},
        {"Europe/Berlin", Seed("almost a day", {2026, 3, 28}).Times(1030, 1015),
         "DTSTART:20260328T093000Z", "DTEND:20260329T081500Z", "<none>"},
        {"Europe/Berlin", Seed("no time", {2026, 3, 28}).Times(1030, 1030),
         "DTSTART:20260328T093000Z", "DTEND:20260328T093000Z", "<none>"},
        {"America/New_York", Seed("25 hours", {2026, 11, 1}).Untimed(),
         "DTSTART;VALUE=DATE:20261101", "DTEND;VALUE=DATE:20261102", "<none>"},
        {"Pacific/Auckland", Seed("25 hours", {2026, 4, 5}).Untimed(),
         "DTSTART;VALUE=DATE:20260405", "DTEND;VALUE=DATE:20260406", "<none>"},
        {"Pacific/Auckland",
         Seed("clocks go back", {2024, 4, 6}).Times(2300, 130).Repeat(REPEAT_DAILY),
         "DTSTART:20240406T230000", "DTEND:20240407T013000", "RRULE:FREQ=DAILY"},
        // No WKST with an interval of 1.
        {"America/New_York",
         Seed("weekly", {2024, 1, 7}).Times(800, 900).Repeat(REPEAT_WEEKLY, 1, kSu),
         "DTSTART:20240107T080000", nullptr, "RRULE:FREQ=WEEKLY;BYDAY=SU"},
        // Off the pattern with an interval of 2: the first occurrence two weeks on.
        {"America/New_York",
         Seed("off", {2024, 1, 2}).Times(800, 900).Repeat(REPEAT_WEEKLY, 2, kMo),
         "DTSTART:20240115T080000", nullptr, "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO"},
        {"America/New_York", Seed("leap", {2024, 2, 29}).Untimed().Repeat(REPEAT_YEARLY, 4),
         "DTSTART;VALUE=DATE:20240229", nullptr,
         "RRULE:FREQ=YEARLY;INTERVAL=4;BYMONTH=2;BYMONTHDAY=-1"},
        // UNTIL: the later of the start and end times of day; an interval of 0 is 1.
        {"America/New_York",
         Seed("until", {2024, 1, 1}).Times(900, 1730).Repeat(REPEAT_DAILY, 0, 0, {2024, 1, 10}),
         "DTSTART:20240101T090000", nullptr, "RRULE:FREQ=DAILY;UNTIL=20240110T173000"},
        // A weekly rule without weekdays is written as it stands.
        {"America/New_York", Seed("no days", {2024, 1, 1}).Times(800, 900).Repeat(REPEAT_WEEKLY),
         "DTSTART:20240101T080000", nullptr, "RRULE:FREQ=WEEKLY;BYDAY="},
        // An unknown repeat type gives no rule and keeps UTC times.
        {"America/New_York", Seed("unknown", {2024, 1, 1}).Times(800, 900).Repeat(9),
         "DTSTART:20240101T130000Z", nullptr, "<none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_seed.m_strText);
        SetTimeZone(c.m_pszZone);
        for (const std::int32_t nFlavour : {CALENDAR_ICALENDAR, CALENDAR_VCALENDAR}) {
            const std::string text = WriteOne(nFlavour, c.m_seed);
            EXPECT_EQ(LineStartingWith(text, "DTSTART"), c.m_pszStart);
            if (c.m_pszEnd) {
                EXPECT_EQ(LineStartingWith(text, "DTEND"), c.m_pszEnd);
            }
            EXPECT_EQ(LineStartingWith(text, "RRULE"), c.m_pszRule);
        }
    }
}

// The host's rule wins over what the record holds; the record only says whether it
// repeats, and one that does not asks the host nothing. Without a host record the record's
// own rule is written.
TEST_F(CalendarFormatTest, RuleComesFromTheHostRecord) {
    const SSeed seed = Seed("", {2024, 1, 15}).Times(800, 900).Repeat(REPEAT_MONTHLY_BY_DATE, 3);
    auto appointment = MakeAppointment(seed);
    appointment->m_repeat.m_nType = REPEAT_DAILY;
    appointment->m_repeat.m_nInterval = 7;
    const std::string path = TempPath("host.ics");
    {
        CHostDatebook datebook("GetRepeating", 2);
        const CComPtr<IHostAppointment> record = datebook.Add(seed);
        CCalendarFormat format(CALENDAR_ICALENDAR);
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(WriteEvent(format, *appointment, record.Get()), 1);
        EXPECT_EQ(WriteEvent(format, *appointment, nullptr), 1);
        appointment->m_bRepeat = false;
        EXPECT_EQ(WriteEvent(format, *appointment, record.Get()), 1);
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const std::string text = ReadFileBytes(path);
    EXPECT_NE(text.find("RRULE:FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15\r\n"), std::string::npos);
    EXPECT_NE(text.find("RRULE:FREQ=DAILY;INTERVAL=7\r\n"), std::string::npos);
}

TEST_F(CalendarFormatTest, FailingHostCallRaisesBeforeTheEventIsWritten) {
    const SSeed seed = Seed("X", {2024, 1, 15}).Repeat(REPEAT_DAILY);
    for (const char* pszOperation : {"GetRepeat", "GetStart"}) {
        CHostDatebook datebook(pszOperation, 0);
        const CComPtr<IHostAppointment> record = datebook.Add(seed);
        const std::string path = TempPath("fail.ics");
        CCalendarFormat format(CALENDAR_ICALENDAR);
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        try {
            (void)WriteEvent(format, *MakeAppointment(seed), record.Get());
            ADD_FAILURE() << "no exception";
        } catch (const CComError& e) {
            EXPECT_EQ(e.Error(), E_FAIL);
            EXPECT_EQ(e.Iid(), IID_IHostAppointment);
        }
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        EXPECT_EQ(ReadFileBytes(path), kEmptyICalendar);
    }
}

// iCalendar lines end after 75 octets and go on after CR LF and a blank, never inside a
// UTF-8 sequence; unfolded they are the line as it was. vCalendar lines keep their own
// soft breaks only.
TEST_F(CalendarFormatTest, ICalendarLinesAreFoldedAt75OctetsOnCharacterBoundaries) {
    SetCodePage(CP_UTF8);
    const struct {
        const char* m_pszName;
        std::string m_strValue;
        std::string m_strUnfolded;
    } cases[] = {
        {"exactly 75", std::string(66, 'a'), "SUMMARY:" + std::string(66, 'a')},
        {"76", std::string(68, 'b'), "SUMMARY:" + std::string(68, 'b')},
        // The two-byte letter would straddle octet 75: it starts the next line.
        {"straddling", std::string(66, 'c') + "\xC3\xA9" + std::string(100, 'd'),
         "SUMMARY:" + std::string(66, 'c') + "\xC3\xA9" + std::string(100, 'd')},
        {"four-byte runs",
         [] {
             std::string s;
             for (int i = 0; i < 60; ++i)
                 s += "\xF0\x9F\x98\x80x";
             return s;
         }(),
         ""},
        {"escapes", std::string(200, ';'),
         "SUMMARY:" +
             [] {
                 std::string s;
                 for (int i = 0; i < 200; ++i)
                     s += "\\;";
                 return s;
             }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        const std::string folded = TextLine(CALENDAR_ICALENDAR, c.m_strValue);
        std::string unfolded;
        bool bFirst = true;
        for (std::size_t from = 0;;) {
            const std::size_t pos = folded.find("\r\n", from);
            const std::string line = folded.substr(from, pos - from);
            EXPECT_LE(line.size(), 75u);
            if (!bFirst) {
                ASSERT_FALSE(line.empty());
                EXPECT_EQ(line[0], ' ');
            }
            // Every physical line is whole UTF-8 by itself.
            EXPECT_EQ(CodePageToUtf8(line, CP_UTF8), line);
            unfolded += bFirst ? line : line.substr(1);
            bFirst = false;
            if (pos == std::string::npos)
                break;
            // A line is broken only when it is full (the next sequence would not fit).
            EXPECT_GE(line.size(), 72u);
            from = pos + 2;
        }
        EXPECT_EQ(unfolded, c.m_strUnfolded.empty() ? "SUMMARY:" + c.m_strValue : c.m_strUnfolded);
    }
    EXPECT_EQ(TextLine(CALENDAR_ICALENDAR, std::string(67, 'a')).find("\r\n"), std::string::npos);
    EXPECT_EQ(TextLine(CALENDAR_ICALENDAR, std::string(68, 'a')).find("\r\n"), 75u);
    EXPECT_EQ(TextLine(CALENDAR_ICALENDAR, std::string(66, 'a') + "\xC3\xA9").find("\r\n"), 74u);
    EXPECT_EQ(TextLine(CALENDAR_VCALENDAR, std::string(80, 'a')).find("\r\n "), std::string::npos);
}

// Every iCalendar event has a UID made of the user and the record id, the same in every
// export; a day of a series written alone adds its date. vCalendar events have none.
TEST_F(CalendarFormatTest, UidIsStableForTheUserAndRecord) {
    const SSeed single = Seed("single", {2024, 3, 5}).Times(900, 1000);
    const SSeed series = Seed("series", {2024, 1, 30}).Untimed().Repeat(REPEAT_DAILY, 3);
    const auto write = [&](std::int32_t nFlavour, const char* pszUser, std::int32_t nId) {
        const std::string path = TempPath("uid.cal");
        CCalendarFormat format(nFlavour);
        EXPECT_EQ(format.OpenWrite(path), STATUS_OK);
        format.SetUidUser(pszUser);
        auto a = MakeAppointment(single);
        a->m_nRecordId = nId;
        EXPECT_EQ(WriteEvent(format, *a, nullptr), 1);
        auto b = MakeAppointment(series);
        b->m_nRecordId = nId + 1;
        EXPECT_EQ(WriteEvent(format, *b, nullptr), 1);
        b->m_bRepeat = false;
        b->SetDate(static_cast<TimeValue>(LocalTimeOf({2024, 2, 2})));
        EXPECT_EQ(WriteEvent(format, *b, nullptr, true), 1);
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        std::vector<std::string> uids;
        for (const std::string& line : Lines(ReadFileBytes(path)))
            if (line.starts_with("UID"))
                uids.push_back(line);
        return uids;
    };
    const std::vector<std::string> first = write(CALENDAR_ICALENDAR, "J\xF6rg", 41);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(write(CALENDAR_ICALENDAR, "J\xF6rg", 41), first);
    const std::string prefix = first[0].substr(0, first[0].size() - 2);
    EXPECT_EQ(prefix.size(), std::string("UID:VARNO-0123456789abcdef-").size());
    EXPECT_EQ(first[1], prefix + "42");
    EXPECT_EQ(first[2], prefix + "42-20240202");
    const std::vector<std::string> other = write(CALENDAR_ICALENDAR, "Joerg", 41);
    EXPECT_NE(other[0], first[0]);
    // The same name under the other code page gives the same UID.
    SetCodePage(CP_UTF8);
    EXPECT_EQ(write(CALENDAR_ICALENDAR, "J\xC3\xB6rg", 41), first);
    EXPECT_TRUE(write(CALENDAR_VCALENDAR, "J\xC3\xB6rg", 41).empty());
}

// The day lists of a series: cancelled days as EXDATE and the short months' last days of a
// 29th or 30th as RDATE, dates for untimed events and local times at the start for timed
// ones, inside the series only; a cancelled short-month day is left out of RDATE.
TEST_F(CalendarFormatTest, SeriesDayListsForExceptionsAndShortMonths) {
    SetTimeZone("America/New_York");
    const struct {
        SSeed m_seed;
        const char* m_pszRule;
        const char* m_pszRdate;
        const char* m_pszExdate;
    } cases[] = {
        {Seed("30th", {2024, 1, 30})
             .Untimed()
             .Repeat(REPEAT_MONTHLY_BY_DATE, 1, 0, {2025, 3, 30})
             .Except({{2024, 2, 29}, {2024, 5, 30}, {2024, 5, 31}, {2025, 4, 30}}),
         "RRULE:FREQ=MONTHLY;UNTIL=20250330;BYMONTHDAY=30", "RDATE;VALUE=DATE:20250228",
         "EXDATE;VALUE=DATE:20240530"},
        {Seed("29th", {2030, 12, 29}).Times(1715, 1800).Repeat(REPEAT_MONTHLY_BY_DATE, 3),
         "RRULE:FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=29", "<none>", "<none>"},
        {Seed("29th", {2030, 11, 29}).Times(1715, 1800).Repeat(REPEAT_MONTHLY_BY_DATE, 3),
         "RRULE:FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=29", "RDATE:20310228T171500", "<none>"},
        {Seed("daily", {2024, 1, 1})
             .Times(800, 900)
             .Repeat(REPEAT_DAILY, 2, 0, {2024, 1, 9})
             .Except({{2024, 1, 1}, {2024, 1, 5}, {2024, 1, 6}}),
         "RRULE:FREQ=DAILY;INTERVAL=2;UNTIL=20240109T090000", "<none>",
         "EXDATE:20240101T080000,20240105T080000"},
        {Seed("leap", {2024, 2, 29}).Untimed().Repeat(REPEAT_YEARLY).Except({{2025, 2, 28}}),
         "RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=-1", "<none>", "EXDATE;VALUE=DATE:20250228"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_seed.m_strText);
        const std::string text = WriteOne(CALENDAR_ICALENDAR, c.m_seed);
        EXPECT_EQ(LineStartingWith(text, "RRULE"), c.m_pszRule);
        EXPECT_EQ(LineStartingWith(text, "RDATE"), c.m_pszRdate);
        EXPECT_EQ(LineStartingWith(text, "EXDATE"), c.m_pszExdate);
        // The same days in a vCalendar file holding a rule.
        const std::string vcs = WriteOne(CALENDAR_VCALENDAR, c.m_seed);
        EXPECT_EQ(LineStartingWith(vcs, "RDATE"), c.m_pszRdate);
        EXPECT_EQ(LineStartingWith(vcs, "EXDATE"), c.m_pszExdate);
    }
}

} // namespace
