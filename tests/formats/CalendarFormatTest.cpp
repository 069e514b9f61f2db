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

// The DTSTAMP values are the only bytes that depend on the clock.
std::string MaskStamps(std::string text) {
    const std::string key = "\r\nDTSTAMP:";
    for (auto pos = text.find(key); pos != std::string::npos; pos = text.find(key, pos + 1)) {
        const auto from = pos + key.size();
        const auto to = text.find("\r\n", from);
        text.replace(from, to - from, "*");
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

// The lines of the events of a file, without header and closing line.
std::vector<std::string> EventLines(const std::string& text) {
    std::vector<std::string> lines = Lines(text);
    std::vector<std::string> out;
    bool bIn = false;
    for (const std::string& line : lines) {
        if (line == "BEGIN:VEVENT")
            bIn = true;
        if (bIn)
            out.push_back(line);
        if (line == "END:VEVENT")
            bIn = false;
    }
    return out;
}

std::string LineStartingWith(const std::string& text, const std::string& prefix) {
    for (const std::string& line : Lines(text)) {
        if (line.rfind(prefix, 0) == 0)
            return line;
    }
    return "<none>";
}

class CalendarFormatTest : public CVarnoTest {
protected:
    std::string Write(std::int32_t nFlavour, const std::vector<SSeed>& seeds) {
        return WriteCalendar(TempPath(nFlavour == CALENDAR_ICALENDAR ? "out.ics" : "out.vcs"),
                             nFlavour, seeds);
    }
    std::string WriteOne(std::int32_t nFlavour, const SSeed& seed) {
        return Write(nFlavour, {seed});
    }

    // The bytes of one text line written by WriteTextLine, without its CR LF.
    std::string TextLine(std::int32_t nFlavour, const std::string& value) {
        const std::string path = TempPath("text.cal");
        CCalendarFormat format(nFlavour);
        EXPECT_EQ(format.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(format.WriteTextLine("SUMMARY", value), STATUS_OK);
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        const std::vector<std::string> lines = Lines(ReadFileBytes(path));
        const std::size_t nHeader = nFlavour == CALENDAR_ICALENDAR ? 4 : 3;
        std::string out;
        for (std::size_t i = nHeader; i + 1 < lines.size(); ++i)
            out += (i > nHeader ? "\r\n" : "") + lines[i];
        return out;
    }
};

// ---- Golden files

TEST_F(CalendarFormatTest, GoldenFilesMatchByteForByte) {
    for (const std::int32_t nFlavour : {CALENDAR_ICALENDAR, CALENDAR_VCALENDAR}) {
        const std::string name =
            nFlavour == CALENDAR_ICALENDAR ? "calendar/events.ics" : "calendar/events.vcs";
        const std::string actual = Write(nFlavour, GoldenSeeds());
        if (std::getenv("VARNO_UPDATE_GOLDEN"))
            WriteFileBytes(TestDataPath(name), actual);
        EXPECT_EQ(MaskStamps(actual), MaskStamps(ReadFileBytes(TestDataPath(name)))) << name;
    }
}

// ---- File frame and the row operations

TEST_F(CalendarFormatTest, FileWithoutEventsHoldsTheFrame) {
    EXPECT_EQ(Write(CALENDAR_ICALENDAR, {}), std::string(kICalendarHeader) + "END:VCALENDAR\r\n");
    EXPECT_EQ(Write(CALENDAR_VCALENDAR, {}), std::string(kVCalendarHeader) + "END:VCALENDAR\r\n");
}

TEST_F(CalendarFormatTest, RowsCountLinesAndCellsOtherThanTextAreRefused) {
    const std::string path = TempPath("rows.ics");
    CCalendarFormat format(CALENDAR_ICALENDAR);
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    EXPECT_EQ(format.GetRowNumber(), 4);
    EXPECT_EQ(format.WriteText("X-A:"), STATUS_OK);
    EXPECT_EQ(format.WriteText("raw;\xE9"), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    EXPECT_EQ(format.WriteDate(0), STATUS_FAILED);
    EXPECT_EQ(format.WriteTime(0), STATUS_FAILED);
    EXPECT_EQ(format.WriteSpan(0), STATUS_FAILED);
    EXPECT_EQ(format.WriteInt(0), STATUS_FAILED);
    EXPECT_EQ(format.GetRowNumber(), 5);
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    EXPECT_EQ(ReadFileBytes(path),
              std::string(kICalendarHeader) + "X-A:raw;\xE9\r\nEND:VCALENDAR\r\n");
}

TEST_F(CalendarFormatTest, ExistingLongerFileIsReplacedWhole) {
    const std::string path = TempPath("old.ics");
    WriteFileBytes(path, std::string(100000, 'x'));
    EXPECT_EQ(WriteCalendar(path, CALENDAR_ICALENDAR, {}),
              std::string(kICalendarHeader) + "END:VCALENDAR\r\n");
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

TEST_F(CalendarFormatTest, ReadsLinesAsSingleCells) {
    const std::string path = TempPath("in.vcs");
    const std::string longLine(40005, 'y');
    WriteFileBytes(path, "A;B\r\nC\nD\r\n\r\n" + longLine + "\r\nlast");
    CCalendarFormat format(CALENDAR_VCALENDAR);
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), static_cast<std::int32_t>((12 + 40007 + 4) / 256));
    const std::vector<std::string> expected = {"A;B",    "C\nD", "", std::string(39999, 'y'),
                                               "yyyyyy", "last"};
    for (const std::string& line : expected) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(format.GetLastCell(), "");
        std::string cell = "?";
        EXPECT_EQ(format.ReadText(cell), STATUS_OK);
        EXPECT_EQ(cell, line);
        EXPECT_EQ(format.GetLastCell(), line);
        EXPECT_EQ(format.ReadText(cell), STATUS_OK); // the line is used up
        EXPECT_EQ(cell, "");
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetRowNumber(), 6);
    EXPECT_EQ(format.GetPosition(), format.GetSize());
    std::int32_t n = 7;
    TimeValue t = 0;
    EXPECT_EQ(format.ReadInt(n), STATUS_FAILED);
    EXPECT_EQ(format.ReadDate(t), STATUS_FAILED);
    format.SetLastCell("shown");
    EXPECT_EQ(format.GetLastCell(), "shown");
    EXPECT_EQ(format.CloseRead(), STATUS_OK);
}

// ---- Text encodings

struct STextCase {
    std::int32_t m_nFlavour;
    unsigned m_nCodePage;
    std::string m_strValue;
    std::string m_strLine;
};

TEST_F(CalendarFormatTest, TextValuesAreEncodedForTheFlavour) {
    const std::string letters100 = std::string(50, 'a') + std::string(50, 'B');
    const std::vector<STextCase> cases = {
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
        // vCalendar: quoted-printable of the code page's bytes.
        {CALENDAR_VCALENDAR, 1252, "Meeting; room 5",
         "SUMMARY;ENCODING=QUOTED-PRINTABLE:Meeting; room 5"},
        {CALENDAR_VCALENDAR, 1252, "two\r\nlines",
         "SUMMARY;ENCODING=QUOTED-PRINTABLE:two=0D=0Alines"},
        {CALENDAR_VCALENDAR, 1252, "caf\xE9 \x80", "SUMMARY;ENCODING=QUOTED-PRINTABLE:caf=E9 =80"},
        {CALENDAR_VCALENDAR, 1252, "!\"#$=@[\\]^`{|}~\x7F\t%<>?_",
         "SUMMARY;ENCODING=QUOTED-PRINTABLE:=21=22=23=24=3D=40=5B=5C=5D=5E=60=7B=7C=7D=7E=7F=09%<>?"
         "_"},
        {CALENDAR_VCALENDAR, 1252, letters100,
         "SUMMARY;ENCODING=QUOTED-PRINTABLE:" + letters100.substr(0, 72) + "=\r\n" +
             letters100.substr(72)},
        {CALENDAR_VCALENDAR, 1252, std::string(71, 'a') + "==b",
         "SUMMARY;ENCODING=QUOTED-PRINTABLE:" + std::string(71, 'a') + "=3D=\r\n=3Db"},
        {CALENDAR_VCALENDAR, 65001, "caf\xC3\xA9",
         "SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:caf=C3=A9"},
        {CALENDAR_VCALENDAR, 65001, "plain", "SUMMARY;ENCODING=QUOTED-PRINTABLE:plain"},
        {CALENDAR_VCALENDAR, 65001, "bad \xE9",
         "SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:bad =EF=BF=BD"},
    };
    for (const STextCase& c : cases) {
        SetCodePage(c.m_nCodePage);
        EXPECT_EQ(TextLine(c.m_nFlavour, c.m_strValue), c.m_strLine)
            << c.m_nFlavour << " " << c.m_nCodePage << " " << c.m_strValue;
    }
}

TEST_F(CalendarFormatTest, QuotedPrintableValuesAreCutAt39999BytesOnACharacterBoundary) {
    auto decodedLength = [](const std::string& line) {
        std::size_t n = 0;
        for (std::size_t i = line.find(':') + 1; i < line.size(); ++i) {
            if (line.compare(i, 3, "=\r\n") == 0)
                i += 2;
            else if (line[i] == '=')
                i += 2, ++n;
            else
                ++n;
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

// ---- Events

TEST_F(CalendarFormatTest, UntimedEventIsWrittenAsTheExampleShows) {
    const SSeed lunch{.m_strText = "Lunch", .m_date = {2005, 3, 14}, .m_bUntimed = true};
    EXPECT_EQ(EventLines(WriteOne(CALENDAR_ICALENDAR, lunch)),
              (std::vector<std::string>{"BEGIN:VEVENT", "SUMMARY:Lunch", "DTSTAMP:20261205T110000Z",
                                        "DTSTART;VALUE=DATE:20050314", "DTEND;VALUE=DATE:20050315",
                                        "END:VEVENT"}));
}

TEST_F(CalendarFormatTest, FullEventHasItsLinesInOrder) {
    const SSeed seed{.m_strText = "T",
                     .m_date = {2026, 6, 1},
                     .m_nStartHour = 9,
                     .m_nEndHour = 10,
                     .m_nRepeatType = REPEAT_DAILY,
                     .m_strNote = "N",
                     .m_bPrivate = true,
                     .m_bAlarm = true,
                     .m_nAlarmAdvance = 5,
                     .m_strCategory = "C",
                     .m_strLocation = "L"};
    EXPECT_EQ(EventLines(WriteOne(CALENDAR_ICALENDAR, seed)),
              (std::vector<std::string>{
                  "BEGIN:VEVENT", "SUMMARY:T", "DESCRIPTION:N", "DTSTAMP:20261205T110000Z",
                  "DTSTART:20260601T090000", "DTEND:20260601T100000", "CLASS:PRIVATE",
                  "BEGIN:VALARM", "TRIGGER;VALUE=DURATION:-PT5M", "ACTION:DISPLAY", "DESCRIPTION:T",
                  "END:VALARM", "CATEGORIES:C", "LOCATION:L", "RRULE:FREQ=DAILY", "END:VEVENT"}));
    // Empty texts leave their lines out, except the alarm's description.
    const SSeed bare{.m_date = {2026, 6, 1}, .m_bAlarm = true};
    const std::vector<std::string> lines = EventLines(WriteOne(CALENDAR_ICALENDAR, bare));
    EXPECT_EQ(lines[1], "DTSTAMP:20261205T110000Z");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "DESCRIPTION:"), lines.end());
    EXPECT_EQ(lines.size(), 10u);
}

struct STimesCase {
    const char* m_pszZone;
    SSeed m_seed;
    const char* m_pszStart;
    const char* m_pszEnd;
};

TEST_F(CalendarFormatTest, SingleEventsUseUtcAndEndOnTheRightDay) {
    const std::vector<STimesCase> cases = {
        {"America/New_York",
         {.m_date = {2026, 7, 1}, .m_nStartHour = 21, .m_nStartMinute = 30, .m_nEndHour = 22},
         "DTSTART:20260702T013000Z",
         "DTEND:20260702T020000Z"},
        {"Pacific/Auckland",
         {.m_date = {2026, 7, 1}, .m_nStartHour = 7, .m_nEndHour = 8},
         "DTSTART:20260630T190000Z",
         "DTEND:20260630T200000Z"},
        // Overnight: the end lies on the next day (over the spring change of Berlin).
        {"Europe/Berlin",
         {.m_date = {2026, 3, 28}, .m_nStartHour = 23, .m_nEndHour = 6},
         "DTSTART:20260328T220000Z",
         "DTEND:20260329T040000Z"},
        {"Europe/Berlin",
         {.m_date = {2026, 3, 28},
          .m_nStartHour = 10,
          .m_nStartMinute = 30,
          .m_nEndHour = 10,
          .m_nEndMinute = 15},
         "DTSTART:20260328T093000Z",
         "DTEND:20260329T081500Z"},
        {"Europe/Berlin",
         {.m_date = {2026, 3, 28},
          .m_nStartHour = 10,
          .m_nStartMinute = 30,
          .m_nEndHour = 10,
          .m_nEndMinute = 30},
         "DTSTART:20260328T093000Z",
         "DTEND:20260328T093000Z"},
        // Untimed: the next calendar day, also when the day has 25 hours.
        {"America/New_York",
         {.m_date = {2026, 11, 1}, .m_bUntimed = true},
         "DTSTART;VALUE=DATE:20261101",
         "DTEND;VALUE=DATE:20261102"},
        {"Pacific/Auckland",
         {.m_date = {2026, 4, 5}, .m_bUntimed = true},
         "DTSTART;VALUE=DATE:20260405",
         "DTEND;VALUE=DATE:20260406"},
    };
    for (const STimesCase& c : cases) {
        SetTimeZone(c.m_pszZone);
        for (const std::int32_t nFlavour : {CALENDAR_ICALENDAR, CALENDAR_VCALENDAR}) {
            const std::string text = WriteOne(nFlavour, c.m_seed);
            EXPECT_EQ(LineStartingWith(text, "DTSTART"), c.m_pszStart) << c.m_pszZone;
            EXPECT_EQ(LineStartingWith(text, "DTEND"), c.m_pszEnd) << c.m_pszZone;
        }
    }
}

TEST_F(CalendarFormatTest, AlarmsCountBackInMinutes) {
    struct SCase {
        std::int32_t m_nUnit;
        std::int32_t m_nAdvance;
        const char* m_pszTrigger;
        const char* m_pszDalarm;
    };
    const SCase cases[] = {
        {ALARM_MINUTES, 15, "TRIGGER;VALUE=DURATION:-PT15M", "DALARM:20260601T074500Z"},
        {ALARM_HOURS, 1, "TRIGGER;VALUE=DURATION:-PT60M", "DALARM:20260601T070000Z"},
        {ALARM_DAYS, 2, "TRIGGER;VALUE=DURATION:-PT2880M", "DALARM:20260530T080000Z"},
        {ALARM_MINUTES, 0, "TRIGGER;VALUE=DURATION:-PT0M", "DALARM:20260601T080000Z"},
    };
    for (const SCase& c : cases) {
        const SSeed seed{.m_date = {2026, 6, 1},
                         .m_nStartHour = 10,
                         .m_nEndHour = 11,
                         .m_bAlarm = true,
                         .m_nAlarmUnit = c.m_nUnit,
                         .m_nAlarmAdvance = c.m_nAdvance};
        EXPECT_EQ(LineStartingWith(WriteOne(CALENDAR_ICALENDAR, seed), "TRIGGER"), c.m_pszTrigger);
        EXPECT_EQ(LineStartingWith(WriteOne(CALENDAR_VCALENDAR, seed), "DALARM"), c.m_pszDalarm);
    }
    // A repeating event counts back in floating local time, like its start.
    const SSeed repeating{.m_date = {2026, 6, 1},
                          .m_nStartHour = 0,
                          .m_nStartMinute = 10,
                          .m_nEndHour = 1,
                          .m_nRepeatType = REPEAT_DAILY,
                          .m_bAlarm = true,
                          .m_nAlarmAdvance = 20};
    EXPECT_EQ(LineStartingWith(WriteOne(CALENDAR_VCALENDAR, repeating), "DALARM"),
              "DALARM:20260531T235000");
}

// ---- Repeat rules

struct SRuleCase {
    SSeed m_seed;
    const char* m_pszStart; // the DTSTART line
    const char* m_pszRule;  // the RRULE line, "<none>" for none
};

TEST_F(CalendarFormatTest, RepeatRulesMatchTheHostsPattern) {
    SetTimeZone("America/New_York");
    const std::vector<SRuleCase> cases = {
        {{.m_date = {2024, 1, 1},
          .m_nStartHour = 20,
          .m_nEndHour = 21,
          .m_nRepeatType = REPEAT_WEEKLY,
          .m_nInterval = 2,
          .m_nExtra = kMo | kWe},
         "DTSTART:20240101T200000",
         "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE"},
        {{.m_date = {2024, 1, 7},
          .m_nStartHour = 8,
          .m_nEndHour = 9,
          .m_nRepeatType = REPEAT_WEEKLY,
          .m_nInterval = 3,
          .m_nExtra = kSu | kFr | kSa},
         "DTSTART:20240107T080000",
         "RRULE:FREQ=WEEKLY;INTERVAL=3;BYDAY=SU,FR,SA;WKST=SU"},
        {{.m_date = {2024, 1, 7},
          .m_nStartHour = 8,
          .m_nEndHour = 9,
          .m_nRepeatType = REPEAT_WEEKLY,
          .m_nInterval = 1,
          .m_nExtra = kSu},
         "DTSTART:20240107T080000",
         "RRULE:FREQ=WEEKLY;BYDAY=SU"},
        // Off the pattern: the event starts on the first occurrence.
        {{.m_date = {2024, 1, 2},
          .m_nStartHour = 8,
          .m_nEndHour = 9,
          .m_nRepeatType = REPEAT_WEEKLY,
          .m_nInterval = 2,
          .m_nExtra = kMo},
         "DTSTART:20240115T080000",
         "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO"},
        {{.m_date = {2024, 1, 26},
          .m_nStartHour = 23,
          .m_nEndHour = 1,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
          .m_nExtra = 5,
          .m_endDay = {2024, 6, 28}},
         "DTSTART:20240126T230000",
         "RRULE:FREQ=MONTHLY;UNTIL=20240628T230000;BYDAY=-1FR"},
        {{.m_date = {2024, 1, 9},
          .m_bUntimed = true,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
          .m_nInterval = 2,
          .m_nExtra = 2,
          .m_endDay = {2024, 9, 10}},
         "DTSTART;VALUE=DATE:20240109",
         "RRULE:FREQ=MONTHLY;INTERVAL=2;UNTIL=20240910;BYDAY=2TU"},
        {{.m_date = {2024, 1, 31},
          .m_nStartHour = 8,
          .m_nEndHour = 9,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DAY,
          .m_nExtra = 1},
         "DTSTART:20240207T080000",
         "RRULE:FREQ=MONTHLY;BYDAY=1WE"},
        {{.m_date = {2024, 1, 15},
          .m_nStartHour = 6,
          .m_nEndHour = 7,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DATE},
         "DTSTART:20240115T060000",
         "RRULE:FREQ=MONTHLY;BYMONTHDAY=15"},
        {{.m_date = {2024, 1, 29}, .m_bUntimed = true, .m_nRepeatType = REPEAT_MONTHLY_BY_DATE},
         "DTSTART;VALUE=DATE:20240129",
         "RRULE:FREQ=MONTHLY;BYMONTHDAY=28,29;BYSETPOS=-1"},
        {{.m_date = {2024, 1, 30},
          .m_nStartHour = 6,
          .m_nEndHour = 7,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DATE,
          .m_nInterval = 5},
         "DTSTART:20240130T060000",
         "RRULE:FREQ=MONTHLY;INTERVAL=5;BYMONTHDAY=28,29,30;BYSETPOS=-1"},
        {{.m_date = {2024, 1, 31},
          .m_nStartHour = 6,
          .m_nEndHour = 7,
          .m_nRepeatType = REPEAT_MONTHLY_BY_DATE},
         "DTSTART:20240131T060000",
         "RRULE:FREQ=MONTHLY;BYMONTHDAY=-1"},
        {{.m_date = {2024, 2, 29},
          .m_bUntimed = true,
          .m_nRepeatType = REPEAT_YEARLY,
          .m_nInterval = 4},
         "DTSTART;VALUE=DATE:20240229",
         "RRULE:FREQ=YEARLY;INTERVAL=4;BYMONTH=2;BYMONTHDAY=28,29;BYSETPOS=-1"},
        {{.m_date = {2024, 3, 1}, .m_bUntimed = true, .m_nRepeatType = REPEAT_YEARLY},
         "DTSTART;VALUE=DATE:20240301",
         "RRULE:FREQ=YEARLY"},
        // UNTIL: the later of the start and end times of day, as floating local time.
        {{.m_date = {2024, 1, 1},
          .m_nStartHour = 9,
          .m_nEndHour = 17,
          .m_nEndMinute = 30,
          .m_nRepeatType = REPEAT_DAILY,
          .m_nInterval = 1,
          .m_endDay = {2024, 1, 10}},
         "DTSTART:20240101T090000",
         "RRULE:FREQ=DAILY;UNTIL=20240110T173000"},
        {{.m_date = {2024, 1, 1},
          .m_nStartHour = 22,
          .m_nEndHour = 2,
          .m_nRepeatType = REPEAT_DAILY,
          .m_nInterval = 0,
          .m_endDay = {2024, 1, 10}},
         "DTSTART:20240101T220000",
         "RRULE:FREQ=DAILY;UNTIL=20240110T220000"},
        // A weekly rule without weekdays is written as it stands.
        {{.m_date = {2024, 1, 1},
          .m_nStartHour = 8,
          .m_nEndHour = 9,
          .m_nRepeatType = REPEAT_WEEKLY},
         "DTSTART:20240101T080000",
         "RRULE:FREQ=WEEKLY;BYDAY="},
        // An unknown repeat type gives no rule and keeps UTC times.
        {{.m_date = {2024, 1, 1}, .m_nStartHour = 8, .m_nEndHour = 9, .m_nRepeatType = 9},
         "DTSTART:20240101T130000Z",
         "<none>"},
    };
    for (const SRuleCase& c : cases) {
        for (const std::int32_t nFlavour : {CALENDAR_ICALENDAR, CALENDAR_VCALENDAR}) {
            const std::string text = WriteOne(nFlavour, c.m_seed);
            EXPECT_EQ(LineStartingWith(text, "DTSTART"), c.m_pszStart) << c.m_pszRule;
            EXPECT_EQ(LineStartingWith(text, "RRULE"), c.m_pszRule) << c.m_pszStart;
        }
    }
}

TEST_F(CalendarFormatTest, OvernightRepeatEndsOnTheNextDay) {
    SetTimeZone("Pacific/Auckland");
    const SSeed seed{.m_date = {2024, 4, 6}, // the night the clocks go back
                     .m_nStartHour = 23,
                     .m_nEndHour = 1,
                     .m_nEndMinute = 30,
                     .m_nRepeatType = REPEAT_DAILY};
    const std::string text = WriteOne(CALENDAR_ICALENDAR, seed);
    EXPECT_EQ(LineStartingWith(text, "DTSTART"), "DTSTART:20240406T230000");
    EXPECT_EQ(LineStartingWith(text, "DTEND"), "DTEND:20240407T013000");
}

TEST_F(CalendarFormatTest, RuleComesFromTheHostRecord) {
    // The host's rule wins over what the record holds; the record only says it repeats.
    SSeed seed{.m_date = {2024, 1, 15},
               .m_nStartHour = 8,
               .m_nEndHour = 9,
               .m_nRepeatType = REPEAT_MONTHLY_BY_DATE,
               .m_nInterval = 3};
    auto appointment = MakeAppointment(seed);
    appointment->m_repeat.m_nType = REPEAT_DAILY;
    appointment->m_repeat.m_nInterval = 7;
    auto host = MakeHost(seed);
    const std::string path = TempPath("host.ics");
    {
        CCalendarFormat format(CALENDAR_ICALENDAR);
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        CFileFormat& base = format;
        EXPECT_EQ(WriteEvent(base, *appointment, host.Get()), 1);
        EXPECT_EQ(host->m_nCalls, 4); // repeating, rule, type, start
        // Without a host record the record's own rule is written.
        EXPECT_EQ(WriteEvent(format, *appointment, nullptr), 1);
        // A record that does not repeat asks the host nothing.
        appointment->m_bRepeat = false;
        EXPECT_EQ(WriteEvent(format, *appointment, host.Get()), 1);
        EXPECT_EQ(host->m_nCalls, 4);
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const std::string text = ReadFileBytes(path);
    EXPECT_NE(text.find("RRULE:FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15\r\n"), std::string::npos);
    EXPECT_NE(text.find("RRULE:FREQ=DAILY;INTERVAL=7\r\n"), std::string::npos);
}

TEST_F(CalendarFormatTest, FailingHostCallRaisesBeforeTheEventIsWritten) {
    const SSeed seed{.m_strText = "X", .m_date = {2024, 1, 15}, .m_nRepeatType = REPEAT_DAILY};
    for (int nCall = 0; nCall < 2; ++nCall) {
        auto host = MakeHost(seed);
        (nCall == 0 ? host->m_hrGetRepeat : host->m_hrGetStart) = E_FAIL;
        auto appointment = MakeAppointment(seed);
        const std::string path = TempPath("fail.ics");
        CCalendarFormat format(CALENDAR_ICALENDAR);
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        try {
            (void)WriteEvent(format, *appointment, host.Get());
            ADD_FAILURE() << "no exception";
        } catch (const CComError& e) {
            EXPECT_EQ(e.Error(), E_FAIL);
            EXPECT_EQ(e.Iid(), IID_IHostAppointment);
        }
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        EXPECT_EQ(ReadFileBytes(path), std::string(kICalendarHeader) + "END:VCALENDAR\r\n");
    }
}

} // namespace
