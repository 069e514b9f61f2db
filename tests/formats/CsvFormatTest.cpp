// CSV bytes on writing and reading, the line rules, golden files of whole exports, round
// trips with every separator and quote option, locks and write errors.
#include "formats/CsvFormat.h"

#include "fields/FieldLayout.h"
#include "model/Appointment.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>

#include <filesystem>

namespace {

class CsvFormatTest : public CVarnoTest {};

// Writes rows of text cells and gives the file's bytes.
std::string WriteRows(const std::vector<std::vector<std::string>>& rows,
                      const std::string& strSeparator, const std::string& strQuote,
                      bool bRemoveLineBreaks = false) {
    const std::string path = TempPath("out.csv");
    CCsvFormat format;
    format.SetSeparator(strSeparator);
    format.SetQuote(strQuote);
    format.SetRemoveLineBreaks(bRemoveLineBreaks);
    EXPECT_EQ(format.OpenWrite(path), STATUS_OK);
    for (const auto& row : rows) {
        for (const auto& cell : row)
            EXPECT_EQ(format.WriteText(cell), STATUS_OK);
        EXPECT_EQ(format.EndRow(), STATUS_OK);
    }
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    return ReadFileBytes(path);
}

// Reads every row of the bytes, taking nCells cells of each (plus one beyond the end).
std::vector<std::vector<std::string>> ReadRows(const std::string& bytes,
                                               const std::string& strSeparator,
                                               const std::string& strQuote, int nCells) {
    const std::string path = TempPath("in.csv");
    WriteFileBytes(path, bytes);
    CCsvFormat format;
    format.SetSeparator(strSeparator);
    format.SetQuote(strQuote);
    EXPECT_EQ(format.OpenRead(path), STATUS_OK);
    std::vector<std::vector<std::string>> rows;
    while (format.NextRow() == STATUS_OK) {
        EXPECT_EQ(format.GetLastCell(), "");
        rows.emplace_back();
        for (int i = 0; i < nCells; ++i) {
            std::string cell = "junk";
            EXPECT_EQ(format.ReadText(cell), STATUS_OK);
            rows.back().push_back(cell);
        }
    }
    EXPECT_EQ(format.CloseRead(), STATUS_OK);
    return rows;
}

using Rows = std::vector<std::vector<std::string>>;

TEST_F(CsvFormatTest, WrittenBytes) {
    EXPECT_EQ(WriteRows({{"ab", "", "5\"6"}}, ";", "\""), "\"ab\";\"\";\"5\"\"6\"\r\n");
    EXPECT_EQ(WriteRows({{"x\r\ny"}}, ";", "\"", true), "\"x y\"\r\n");
    EXPECT_EQ(WriteRows({{"x\r\ny"}}, ";", "\"", false), "\"x\ny\"\r\n");
    EXPECT_EQ(WriteRows({{"a\"b"}}, ";", "'"), "'a\"\"b'\r\n");
    EXPECT_EQ(WriteRows({{"a'b"}}, ";", "'"), "'a'b'\r\n");
    EXPECT_EQ(WriteRows({{"a", "b"}, {}, {"c"}}, "\t", ""), "a\tb\r\n\r\nc\r\n");
    EXPECT_EQ(WriteRows({{"a", "b"}}, "::", "<>"), "<>a<>::<>b<>\r\n");
    EXPECT_EQ(WriteRows({{"\r\r\n\n"}}, ",", "\"", true), "\"  \"\r\n");
    // Bytes of other code pages pass unchanged, NUL included.
    EXPECT_EQ(WriteRows({{std::string("\xE4\x00\xFF", 3)}}, ",", "\""),
              std::string("\"\xE4\x00\xFF\"\r\n", 7));
}

TEST_F(CsvFormatTest, TypedCellsAndRowNumbers) {
    const std::string path = TempPath("typed.csv");
    CCsvFormat format;
    EXPECT_EQ(format.GetRowNumber(), 0);
    format.SetSeparator(";");
    format.SetQuote("\"");
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    const TimeValue t = MakeLocalTimeValue(2026, 12, 5, 9, 30);
    EXPECT_EQ(format.WriteDate(t), STATUS_OK);
    EXPECT_EQ(format.WriteTime(t), STATUS_OK);
    EXPECT_EQ(format.WriteSpan(-5400), STATUS_OK);
    EXPECT_EQ(format.WriteInt(-2147483647 - 1), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    format.SetDateWithTime(true);
    EXPECT_EQ(format.WriteTime(t), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    EXPECT_EQ(format.GetRowNumber(), 3);
    EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    EXPECT_EQ(ReadFileBytes(path), "\"05.12.2026\";\"09:30\";\"-5400\";\"-2147483648\"\r\n"
                                   "\"05.12.2026 09:30\"\r\n"
                                   "\r\n");
}

TEST_F(CsvFormatTest, ReadingCells) {
    // Q a b Q ; Q Q ; Q 5 Q Q 6 Q, then empty cells for ever.
    EXPECT_EQ(ReadRows("\"ab\";\"\";\"5\"\"6\"", ";", "\"", 5), (Rows{{"ab", "", "5\"6", "", ""}}));
    // A separator after a lone quote inside a quoted cell is text.
    EXPECT_EQ(ReadRows("\"a\"b;c;d", ";", "\"", 2), (Rows{{"ab;c;d", ""}}));
    // A blank before the quote makes the cell unquoted.
    EXPECT_EQ(ReadRows(" \"a\"", ";", "\"", 1), (Rows{{" \"a\""}}));
    EXPECT_EQ(ReadRows("a;b;\"c;d\";", ";", "\"", 5), (Rows{{"a", "b", "c;d", "", ""}}));
    EXPECT_EQ(ReadRows("\"a\"\"", ";", "\"", 1), (Rows{{"a\""}}));
    EXPECT_EQ(ReadRows("\"", ";", "\"", 1), (Rows{{""}}));
    // Options of other lengths never match.
    EXPECT_EQ(ReadRows("a::b", "::", "\"", 2), (Rows{{"a::b", ""}}));
    EXPECT_EQ(ReadRows("\"a\";b", ";", "", 2), (Rows{{"\"a\"", "b"}}));
    EXPECT_EQ(ReadRows("'a''b';'c'", ";", "'", 2), (Rows{{"a'b", "c"}}));
}

TEST_F(CsvFormatTest, LineRules) {
    EXPECT_EQ(ReadRows("", ";", "\"", 1), Rows{});
    EXPECT_EQ(ReadRows("a\r\n\r\nb", ";", "\"", 1), (Rows{{"a"}, {""}, {"b"}}));
    EXPECT_EQ(ReadRows("a\nb\nc\n", ";", "\"", 1), (Rows{{"a\nb\nc\n"}}));
    EXPECT_EQ(ReadRows("a\rb\r\r\n", ";", "\"", 1), (Rows{{"a\rb\r"}}));
    EXPECT_EQ(ReadRows("\n\r\n", ";", "\"", 1), (Rows{{"\n"}}));

    // Lines are cut after 39,999 bytes; the rest is the next row.
    const std::string longLine(39999, 'a');
    EXPECT_EQ(ReadRows(longLine + "bc\r\nd\r\n", ";", "", 1), (Rows{{longLine}, {"bc"}, {"d"}}));
    // A full line ends there: the CR LF after it makes an empty row of its own.
    EXPECT_EQ(ReadRows(longLine + "\r\n", ";", "", 1), (Rows{{longLine}, {""}}));
    // A CR as byte 39,999 stays in the first row; the LF alone does not end the second.
    const std::string cut(39998, 'a');
    EXPECT_EQ(ReadRows(cut + "\r\nb\r\n", ";", "", 1), (Rows{{cut + "\r"}, {"\nb"}}));
    // A CR LF split between two reads of the file (at byte 65,536) still ends the row.
    const std::string first(30000, 'a');
    const std::string second(65535 - 30002, 'b');
    EXPECT_EQ(ReadRows(first + "\r\n" + second + "\r\nc", ";", "", 1),
              (Rows{{first}, {second}, {"c"}}));
    // A line much longer than the read-ahead buffer.
    const std::string huge(200000, 'x');
    const auto rows = ReadRows(huge + "\r\nlast", ";", "", 1);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[5][0].size(), 200000u - 5 * 39999u);
    EXPECT_EQ(rows[6][0], "last");
}

TEST_F(CsvFormatTest, TypedReads) {
    const std::string path = TempPath("typed.csv");
    WriteFileBytes(path, "\"\";\"12abc\";\"-7\";\"+3\";\"-\";\"2147483647\";\"-2147483648\";"
                         "\"2147483648\";\"99999999999999999999\";\" 5\"\r\n"
                         "\"\";\" \";\"07.12.2026\";\"x\";\"14:45\";\"\";\"90min\";\"\"\r\n");
    CCsvFormat format;
    format.SetSeparator(";");
    format.SetQuote("\"");
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    const std::vector<std::pair<EStatus, std::int32_t>> ints = {
        {STATUS_OK, 0},
        {STATUS_OK, 12},
        {STATUS_OK, -7},
        {STATUS_OK, 3},
        {STATUS_OK, 0},
        {STATUS_OK, 2147483647},
        {STATUS_OK, -2147483647 - 1},
        {STATUS_FAILED, 99},
        {STATUS_FAILED, 99},
        {STATUS_OK, 0},
    };
    for (const auto& [status, value] : ints) {
        std::int32_t n = 99;
        EXPECT_EQ(format.ReadInt(n), status) << format.GetLastCell();
        EXPECT_EQ(n, value) << format.GetLastCell();
    }
    std::int32_t nLong = 5;
    EXPECT_EQ(format.ReadLong(nLong), STATUS_OK) << "past the last cell";
    EXPECT_EQ(nLong, 0);

    ASSERT_EQ(format.NextRow(), STATUS_OK);
    TimeValue t = 99;
    EXPECT_EQ(format.ReadDate(t), STATUS_EMPTY);
    EXPECT_EQ(format.ReadDate(t), STATUS_EMPTY);
    EXPECT_EQ(t, 99);
    EXPECT_EQ(format.ReadDate(t), STATUS_OK);
    EXPECT_EQ(t, MakeLocalTimeValue(2026, 12, 7));
    EXPECT_EQ(format.GetLastCell(), "07.12.2026");
    EXPECT_EQ(format.ReadTime(t), STATUS_FAILED);
    EXPECT_EQ(format.ReadTime(t), STATUS_OK);
    EXPECT_EQ(t, MakeLocalTimeValue(2026, 12, 5, 14, 45));
    TimeSpan ts = 1;
    EXPECT_EQ(format.ReadSpan(ts), STATUS_EMPTY);
    EXPECT_EQ(format.ReadSpan(ts), STATUS_OK);
    EXPECT_EQ(ts, 90);
    std::string cell;
    EXPECT_EQ(format.ReadText(cell), STATUS_OK);
    EXPECT_EQ(format.GetLastCell(), "");
    format.SetLastCell("shown");
    EXPECT_EQ(format.ReadText(cell), STATUS_OK);
    EXPECT_EQ(format.GetLastCell(), "shown") << "a used-up line leaves the last cell";
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetRowNumber(), 2);
}

TEST_F(CsvFormatTest, PositionAndSizeIn256ByteUnits) {
    const std::string path = TempPath("size.csv");
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += std::string(98, 'a') + "\r\n";
    WriteFileBytes(path, bytes);
    CCsvFormat format;
    EXPECT_EQ(format.GetPosition(), 0);
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 300000 / 256);
    EXPECT_EQ(format.GetPosition(), 0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(format.GetPosition(), 100000 / 256);
    while (format.NextRow() == STATUS_OK) {
    }
    EXPECT_EQ(format.GetPosition(), 300000 / 256);
}

TEST_F(CsvFormatTest, OpenWriteKeepsAnExistingFileAndLocks) {
    const std::string path = TempPath("old.csv");
    WriteFileBytes(path, "0123456789\r\n");
    {
        CCsvFormat writer;
        writer.SetQuote("\"");
        ASSERT_EQ(writer.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(writer.WriteText("ab"), STATUS_OK);

        CCsvFormat second;
        EXPECT_EQ(second.OpenWrite(path), STATUS_FAILED) << "another writer";
        EXPECT_EQ(second.OpenRead(path), STATUS_FAILED) << "a reader while writing";
        EXPECT_EQ(writer.CloseWrite(), STATUS_OK);
    }
    // Not truncated: the callers remove the old file first.
    EXPECT_EQ(ReadFileBytes(path), "\"ab\"456789\r\n");

    CCsvFormat reader1;
    CCsvFormat reader2;
    EXPECT_EQ(reader1.OpenRead(path), STATUS_OK);
    EXPECT_EQ(reader2.OpenRead(path), STATUS_OK) << "readers share";
    CCsvFormat writer;
    EXPECT_EQ(writer.OpenWrite(path), STATUS_FAILED);
    (void)reader1.CloseRead();
    (void)reader2.CloseRead();
    EXPECT_EQ(writer.OpenWrite(path), STATUS_OK);

    CCsvFormat bad;
    EXPECT_EQ(bad.OpenRead(TempPath("missing.csv")), STATUS_FAILED);
    EXPECT_EQ(bad.OpenRead(Home()), STATUS_FAILED) << "a folder";
    EXPECT_EQ(bad.OpenWrite(Home()), STATUS_FAILED);
    EXPECT_EQ(bad.OpenWrite(Home() + "/no/such/folder/x.csv"), STATUS_FAILED);
    EXPECT_EQ(bad.NextRow(), STATUS_FAILED);
    EXPECT_EQ(bad.WriteText("x"), STATUS_FAILED);
}

TEST_F(CsvFormatTest, DestroyedWithoutCloseStillWritesAndCloses) {
    const std::string path = TempPath("dropped.csv");
    {
        CCsvFormat format;
        format.SetSeparator(",");
        format.SetQuote("\"");
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (int i = 0; i < 20000; ++i) {
            EXPECT_EQ(format.WriteInt(i), STATUS_OK);
            EXPECT_EQ(format.EndRow(), STATUS_OK);
        }
    }
    const std::string bytes = ReadFileBytes(path);
    EXPECT_TRUE(bytes.ends_with("\"19999\"\r\n"));
    CCsvFormat writer;
    EXPECT_EQ(writer.OpenWrite(path), STATUS_OK) << "the lock went with the file";
}

TEST_F(CsvFormatTest, FailedWritesAreReportedByCloseWrite) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    for (const int nRows : {1, 50000}) {
        CCsvFormat format;
        format.SetQuote("\"");
        ASSERT_EQ(format.OpenWrite("/dev/full"), STATUS_OK);
        for (int i = 0; i < nRows; ++i) {
            (void)format.WriteText("some text that fills the disk");
            (void)format.EndRow();
        }
        try {
            (void)format.CloseWrite();
            ADD_FAILURE() << "no error for a full disk";
        } catch (const CFormatException& e) {
            EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos) << e.what();
        }
        // Closed once: a second close has nothing to report.
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
    }
    // Destroyed without CloseWrite: silent.
    CCsvFormat dropped;
    ASSERT_EQ(dropped.OpenWrite("/dev/full"), STATUS_OK);
    (void)dropped.WriteText("x");
}

// Every separator and quote option: texts that these options can carry come back cell
// for cell. A quote option other than the double quote does not escape itself, and
// without a one-byte quote a cell cannot hold the separator; those texts are left out
// for such options.
TEST_F(CsvFormatTest, RoundTripWithEverySeparatorAndQuote) {
    const std::vector<std::string> separators = {";", ",", "\t", "|", " ", ":"};
    const std::vector<std::string> quotes = {"\"", "'", ""};
    for (const std::string& sep : separators) {
        for (const std::string& quote : quotes) {
            Rows rows = {{"plain", "", "two words", "line 1\nline 2\n", "trailing "},
                         {},
                         {"\xE4\xF6\xFC\xDF", "a" + sep + "b", "\"quoted\"", "end"}};
            if (quote != "\"") {
                // The double quote is doubled on writing and only undoubled by a double
                // quote option.
                rows[2][2] = "no quotes";
            }
            if (quote.empty()) {
                for (auto& row : rows)
                    for (auto& cell : row)
                        std::erase(cell, sep[0]);
            }
            const std::string bytes = WriteRows(rows, sep, quote);
            const Rows read = ReadRows(bytes, sep, quote, 5);
            ASSERT_EQ(read.size(), rows.size()) << "sep '" << sep << "' quote '" << quote << "'";
            for (std::size_t r = 0; r < rows.size(); ++r) {
                std::vector<std::string> expected = rows[r];
                expected.resize(5);
                EXPECT_EQ(read[r], expected) << "sep '" << sep << "' quote '" << quote << "'";
            }
        }
    }
}

// Whole exports compared with hand-made files.
class CsvGoldenTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        m_options = std::make_unique<COptions>();
        Make(m_meeting);
        m_meeting.m_tDate = MakeLocalTimeValue(2026, 12, 7);
        m_meeting.m_tStart = MakeLocalTimeValue(2026, 12, 7, 9, 30);
        m_meeting.m_tEnd = MakeLocalTimeValue(2026, 12, 7, 11, 0);
        m_meeting.m_tsDuration = 5400;
        m_meeting.m_strText = "Team meeting";
        m_meeting.m_strNote = "Agenda:\r\n1. Budget\r\n2. \"Plans\"";
        m_meeting.m_bPrivate = true;
        m_meeting.m_bAlarm = true;
        m_meeting.m_nAlarmAdvance = 2;
        m_meeting.m_nAlarmUnit = ALARM_HOURS;
        m_meeting.m_strCategory = "Business";
        m_meeting.m_strLocation = "Room 4; floor 2";
        m_meeting.m_nRecordId = 12345;

        Make(m_eve);
        m_eve.m_tDate = MakeLocalTimeValue(2026, 12, 24);
        m_eve.m_bUntimed = true;
        m_eve.m_strText = "Christmas Eve";
        m_eve.m_nAlarmAdvance = 15; // alarm clear: never written
        m_eve.m_strCategory = "Personal";
        m_eve.m_bRepeat = true;
        m_eve.m_repeat.m_nType = REPEAT_WEEKLY;
        m_eve.m_repeat.m_nInterval = 1;
        m_eve.m_repeat.m_byWeekdays = 0x12;
        m_eve.m_repeat.m_tEnd = MakeLocalTimeValue(2027, 3, 31);
        m_eve.m_nRecordId = 7;

        Make(m_club);
        m_club.m_tDate = MakeLocalTimeValue(2026, 12, 1);
        m_club.m_tStart = MakeLocalTimeValue(2026, 11, 3, 18, 0);
        m_club.m_tEnd = MakeLocalTimeValue(2026, 11, 3, 19, 0);
        m_club.m_tsDuration = 3600;
        m_club.m_strText = "Club night";
        m_club.m_bRepeat = true;
        m_club.m_repeat.m_nType = REPEAT_MONTHLY_BY_DAY;
        m_club.m_repeat.m_nInterval = 1;
        m_club.m_repeat.m_nWeekIndex = 1;
        m_club.m_repeat.m_byWeekdays = 0x04; // not weekly: never written
    }

    void Make(CAppointment& appt) {
        appt.m_pOptions = m_options.get();
        appt.Reset();
    }

    // Exports the records as OpenExportFile configures the CSV format.
    std::string Export(const std::vector<const CAppointment*>& records) {
        const std::string path = TempPath("export.csv");
        CCsvFormat format;
        format.SetSeparator(m_options->m_strSeparator);
        format.SetQuote(m_options->m_strQuote);
        format.SetRemoveLineBreaks(m_options->m_bExportNoCr != 0);
        format.SetDateWithTime(m_options->m_bDateWithTime != 0);
        EXPECT_EQ(format.OpenWrite(path), STATUS_OK);
        const CFieldLayout& layout = m_options->m_layout;
        if (m_options->m_bFullFormat) {
            EXPECT_EQ(layout.WriteFullHeader(format), STATUS_OK);
            for (const CAppointment* p : records)
                EXPECT_EQ(layout.WriteFullRow(format, *p), STATUS_OK);
        } else {
            EXPECT_EQ(layout.WriteSimpleHeader(format), STATUS_OK);
            for (const CAppointment* p : records)
                EXPECT_EQ(layout.WriteSimpleRow(format, *p), STATUS_OK);
        }
        EXPECT_EQ(format.CloseWrite(), STATUS_OK);
        return ReadFileBytes(path);
    }

    // Made in SetUp, once the environment is pinned.
    std::unique_ptr<COptions> m_options;
    CAppointment m_meeting{nullptr};
    CAppointment m_eve{nullptr};
    CAppointment m_club{nullptr};
};

TEST_F(CsvGoldenTest, SimpleSemicolonDoubleQuote) {
    m_options->m_bFullFormat = 0;
    ASSERT_EQ(m_options->m_strSeparator, ";") << "the de-DE list separator";
    EXPECT_EQ(Export({&m_meeting, &m_eve}),
              ReadFileBytes(TestDataPath("csv/simple_semicolon_dquote.csv")));

    // And back: the file reads into the records it came from.
    CCsvFormat in;
    in.SetSeparator(";");
    in.SetQuote("\"");
    ASSERT_EQ(in.OpenRead(TestDataPath("csv/simple_semicolon_dquote.csv")), STATUS_OK);
    CAppointment read(m_options.get());
    EXPECT_EQ(m_options->m_layout.ReadFields(in, read), IMPORT_INVALID_DATE);
    for (const CAppointment* p : {&m_meeting, &m_eve}) {
        read.Reset();
        ASSERT_EQ(m_options->m_layout.ReadFields(in, read), STATUS_OK);
        if (p->m_bRepeat) {
            // A simple file carries the repeat flag but no rule.
            EXPECT_TRUE(read.m_bRepeat);
            EXPECT_EQ(read.m_repeat.m_nType, REPEAT_DAILY);
            EXPECT_EQ(read.m_strText, p->m_strText);
            EXPECT_EQ(read.m_tDate, p->m_tDate);
            EXPECT_EQ(read.m_bUntimed, p->m_bUntimed);
        } else {
            EXPECT_TRUE(p->IsSameAppointment(read));
            EXPECT_TRUE(read.IsSameAppointment(*p));
        }
        EXPECT_EQ(read.m_strNote, p->m_strNote);
        EXPECT_EQ(read.m_strLocation, p->m_strLocation);
        EXPECT_EQ(read.m_strCategory, p->m_strCategory);
    }
}

TEST_F(CsvGoldenTest, SimpleCommaApostropheWithoutLineBreaks) {
    SetRegional("en-US");
    m_options->SetDefaults();
    ASSERT_EQ(m_options->m_strSeparator, ",") << "the en-US list separator";
    m_options->m_bFullFormat = 0;
    m_options->m_strQuote = "'";
    m_options->m_bExportNoCr = 1;
    m_options->m_layout.AddSimpleField(FIELD_TIME_SPAN);
    m_options->m_layout.AddSimpleField(FIELD_RECORD_ID);
    EXPECT_EQ(Export({&m_meeting, &m_eve}),
              ReadFileBytes(TestDataPath("csv/simple_comma_apostrophe_nocr.csv")));
}

TEST_F(CsvGoldenTest, FullTabWithoutQuoteDateInTimes) {
    m_options->m_strSeparator = "\t";
    m_options->m_strQuote = "";
    m_options->m_bDateWithTime = 1;
    EXPECT_EQ(Export({&m_meeting, &m_eve, &m_club}),
              ReadFileBytes(TestDataPath("csv/full_tab_noquote_datewithtime.csv")));
}

} // namespace
