// CSV bytes on writing and reading, the line rules, golden files of whole exports, round
// trips with every separator and quote option, locks and write errors.
#include "formats/CsvFormat.h"

#include "fields/FieldLayout.h"
#include "formats/FormatSelection.h"
#include "model/Appointment.h"
#include "platform/locale/CodePage.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include <unistd.h>

namespace {

class CsvFormatTest : public CVarnoTest {};

using Rows = std::vector<std::vector<std::string>>;

// Writes rows of text cells and gives the file's bytes.
std::string WriteRows(const Rows& rows, const std::string& strSeparator,
                      const std::string& strQuote, bool bRemoveLineBreaks = false) {
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

// Reads every row of the bytes, taking nCells cells of each (plus one beyond the end); a
// row too long to read is "TOO LONG:" and its first three bytes.
Rows ReadRows(const std::string& bytes, const std::string& strSeparator,
              const std::string& strQuote, int nCells) {
    const std::string path = TempPath("in.csv");
    WriteFileBytes(path, bytes);
    CCsvFormat format;
    format.SetSeparator(strSeparator);
    format.SetQuote(strQuote);
    EXPECT_EQ(format.OpenRead(path), STATUS_OK);
    Rows rows;
    while (format.NextRow() == STATUS_OK) {
        if (format.IsRowTooLong()) {
            rows.push_back({"TOO LONG:" + format.GetLastCell().substr(0, 3)});
            continue;
        }
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

// Written bytes: every cell quoted, the quote doubled only by a double quote option;
// line breaks kept or each made a blank; bytes of any code page (NUL too) unchanged.
TEST_F(CsvFormatTest, WrittenBytes) {
    const std::tuple<Rows, const char*, const char*, bool, std::string> cases[] = {
        {{{"ab", "", "5\"6"}}, ";", "\"", false, "\"ab\";\"\";\"5\"\"6\"\r\n"},
        {{{"x\r\ny"}}, ";", "\"", false, "\"x\ny\"\r\n"},
        {{{"\r\r\n\n"}}, ",", "\"", true, "\"  \"\r\n"},
        {{{"a\"b", "a'b"}}, ";", "'", false, "'a\"\"b';'a'b'\r\n"},
        {{{"a", "b"}, {}, {"c"}}, "\t", "", false, "a\tb\r\n\r\nc\r\n"},
        {{{"a", "b"}}, "::", "<>", false, "<>a<>::<>b<>\r\n"},
        {{{std::string("\xE4\x00\xFF", 3)}},
         ",",
         "\"",
         false,
         std::string("\"\xE4\x00\xFF\"\r\n", 7)}};
    for (const auto& [rows, pszSeparator, pszQuote, bRemoveLineBreaks, bytes] : cases)
        EXPECT_EQ(WriteRows(rows, pszSeparator, pszQuote, bRemoveLineBreaks), bytes);
}

// A quote, CR or LF at every place of a longer text, next to bytes that differ from them in
// one bit, is escaped as byte by byte escaping does.
TEST_F(CsvFormatTest, SpecialBytesAtEveryPlaceOfALongText) {
    const std::string base = "Meeting about the #2 plan, room B\x08.\xC3\xA9 done*+/";
    for (const char cSpecial : {'"', '\r', '\n'})
        for (std::size_t nAt = 0; nAt <= base.size(); ++nAt) {
            std::string text = base;
            text.insert(nAt, 1, cSpecial);
            std::string expected = "\"";
            for (const char c : text)
                expected += c == '"'    ? std::string("\"\"")
                            : c == '\r' ? std::string()
                                        : std::string(1, c);
            expected += "\"\r\n";
            EXPECT_EQ(WriteRows({{text}}, ",", "\""), expected) << nAt;
        }
}

TEST_F(CsvFormatTest, ReadingCellsAndLines) {
    const std::string longLine(39999, 'a');
    const std::string cut(39998, 'a');
    const std::string first(30000, 'a');
    const std::string second(65535 - 30002, 'b');
    const struct {
        const char* m_pszWhat;
        std::string m_strBytes;
        const char* m_pszSeparator;
        const char* m_pszQuote;
        int m_nCells;
        Rows m_rows;
    } cases[] = {
        {"empty cells for ever",
         "\"ab\";\"\";\"5\"\"6\"",
         ";",
         "\"",
         5,
         {{"ab", "", "5\"6", "", ""}}},
        {"lone quote in a quoted cell", "\"a\"b;c;d", ";", "\"", 2, {{"ab;c;d", ""}}},
        {"blank before the quote", " \"a\"", ";", "\"", 1, {{" \"a\""}}},
        {"separator in quotes", "a;b;\"c;d\";", ";", "\"", 5, {{"a", "b", "c;d", "", ""}}},
        {"doubled quote at the end", "\"a\"\"", ";", "\"", 1, {{"a\""}}},
        {"lone quote", "\"", ";", "\"", 1, {{""}}},
        {"longer separator never matches", "a::b", "::", "\"", 2, {{"a::b", ""}}},
        {"empty file", "", ";", "\"", 1, {}},
        {"empty line", "a\r\n\r\nb", ";", "\"", 1, {{"a"}, {""}, {"b"}}},
        // A file holding a CR LF anywhere has its rows ended by CR LF only.
        {"LF in a CR LF file", "a\nb\r\nc\n", ";", "\"", 1, {{"a\nb"}, {"c\n"}}},
        {"CR alone", "a\rb\r\r\n", ";", "\"", 1, {{"a\rb\r"}}},
        {"LF CR LF", "\n\r\n", ";", "\"", 1, {{"\n"}}},
        // Without any CR LF, LF ends a row outside quoted cells.
        {"LF alone", "a\nb\n\nc", ";", "\"", 1, {{"a"}, {"b"}, {""}, {"c"}}},
        {"LF in quotes",
         "\"a\nb\";c\n\"d\"\"\ne\"\n",
         ";",
         "\"",
         2,
         {{"a\nb", "c"}, {"d\"\ne", ""}}},
        {"LF after a closing quote", "\"a\"\n\"b\"", ";", "\"", 1, {{"a"}, {"b"}}},
        {"lone quote keeps the cell open", "\"a\"b\nc\";d\n", ";", "\"", 2, {{"ab\nc", "d"}}},
        {"quote inside an unquoted cell", "a\"b\nc\n", ";", "\"", 1, {{"a\"b"}, {"c"}}},
        {"no quote option", "\"a\nb\"\n", ";", "", 1, {{"\"a"}, {"b\""}}},
        {"apostrophe quote", "'a\nb',x\ny", ",", "'", 2, {{"a\nb", "x"}, {"y", ""}}},
        // A row holds at most 39,999 bytes; a longer one is one row, marked too long.
        {"too long", longLine + "bc\r\nd\r\n", ";", "", 1, {{"TOO LONG:aaa"}, {"d"}}},
        {"too long by one", longLine + "b\nc\n", ";", "", 1, {{"TOO LONG:aaa"}, {"c"}}},
        {"too long, quoted LF",
         "\"" + longLine + "\nb\";c\nd\n",
         ";",
         "\"",
         1,
         {{"TOO LONG:\"aa"}, {"d"}}},
        {"full line", longLine + "\r\n", ";", "", 1, {{longLine}}},
        {"full line, LF", longLine + "\nb", ";", "", 1, {{longLine}, {"b"}}},
        {"CR LF after byte 39,998", cut + "\r\nb\r\n", ";", "", 1, {{cut}, {"b"}}},
        // A CR LF split between two reads of the file (at byte 65,536) still ends the row.
        {"CR LF split", first + "\r\n" + second + "\r\nc", ";", "", 1, {{first}, {second}, {"c"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadRows(c.m_strBytes, c.m_pszSeparator, c.m_pszQuote, c.m_nCells), c.m_rows)
            << c.m_pszWhat;
    }
    // A line much longer than the read-ahead buffer, its CR LF split between two reads.
    const Rows expected{{"TOO LONG:xxx"}, {"last"}};
    EXPECT_EQ(ReadRows(std::string(200000, 'x') + "\r\nlast", ";", "", 1), expected);
    EXPECT_EQ(ReadRows(std::string(65535, 'x') + "\r\nlast", ";", "", 1), expected);
}

// Integers: the leading integer of the cell, 0 for none, a failure beyond 32 bits; dates,
// times and spans: empty for blank cells; a used-up line leaves the last cell as it is.
TEST_F(CsvFormatTest, TypedReads) {
    const std::string path = TempPath("typed.csv");
    WriteFileBytes(path, "\"\";\"12abc\";\"-7\";\"+3\";\"-\";\"2147483647\";\"-2147483648\";"
                         "\"2147483648\";\"99999999999999999999\";\" 5\"\r\n"
                         "\" \";\"07.12.2026\";\"x\";\"14:45\";\"\";\"90min\"\r\n");
    CCsvFormat format;
    format.SetSeparator(";");
    format.SetQuote("\"");
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    // The last past the last cell.
    const std::pair<EStatus, std::int32_t> ints[] = {
        {STATUS_OK, 0},      {STATUS_OK, 12},        {STATUS_OK, -7},        {STATUS_OK, 3},
        {STATUS_OK, 0},      {STATUS_OK, INT32_MAX}, {STATUS_OK, INT32_MIN}, {STATUS_FAILED, 99},
        {STATUS_FAILED, 99}, {STATUS_OK, 0},         {STATUS_OK, 0}};
    for (const auto& [status, value] : ints) {
        std::int32_t n = 99;
        EXPECT_EQ(format.ReadInt(n), status) << format.GetLastCell();
        EXPECT_EQ(n, value) << format.GetLastCell();
    }
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    TimeValue t = 99;
    TimeSpan ts = 1;
    EXPECT_EQ(format.ReadDate(t), STATUS_EMPTY);
    EXPECT_EQ(t, 99);
    EXPECT_EQ(format.ReadDate(t), STATUS_OK);
    EXPECT_EQ(t, MakeLocalTimeValue(2026, 12, 7));
    EXPECT_EQ(format.GetLastCell(), "07.12.2026");
    EXPECT_EQ(format.ReadTime(t), STATUS_FAILED);
    EXPECT_EQ(format.ReadTime(t), STATUS_OK);
    EXPECT_EQ(t, MakeLocalTimeValue(2026, 12, 5, 14, 45)); // on today's date
    EXPECT_EQ(format.ReadSpan(ts), STATUS_EMPTY);
    EXPECT_EQ(format.ReadSpan(ts), STATUS_OK);
    EXPECT_EQ(ts, 90);
    format.SetLastCell("shown");
    std::string cell;
    EXPECT_EQ(format.ReadText(cell), STATUS_OK);
    EXPECT_EQ(format.GetLastCell(), "shown");
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetRowNumber(), 2);
}

// Rows name the lines they start and end on, as an editor counts lines: LFs inside cells
// count, in rows too long to read too.
TEST_F(CsvFormatTest, RowsNameTheLineTheyStartOn) {
    const std::string tooLong(45000, 'x');
    const std::pair<std::string, std::vector<std::pair<int, int>>> cases[] = {
        {"\"a\"\r\n\"b\nc\nd\"\r\n\r\n\"e\"", {{1, 1}, {2, 4}, {5, 5}, {6, 6}}},
        {"\"a\nb\";c\n\nd\n\"e\n\nf\"", {{1, 2}, {3, 3}, {4, 4}, {5, 7}}},
        {"a\r\n" + tooLong + "\n" + tooLong + "\r\nb\r\n", {{1, 1}, {2, 3}, {4, 4}}},
        {"a\n\"" + tooLong + "\n\n" + tooLong + "\"\nb\n", {{1, 1}, {2, 4}, {5, 5}}},
    };
    for (const auto& [bytes, lines] : cases) {
        const std::string path = TempPath("lines.csv");
        WriteFileBytes(path, bytes);
        CCsvFormat format;
        format.SetSeparator(";");
        format.SetQuote("\"");
        ASSERT_EQ(format.OpenRead(path), STATUS_OK);
        std::vector<std::pair<int, int>> seen;
        while (format.NextRow() == STATUS_OK)
            seen.emplace_back(format.GetLineNumber(), format.GetRowEndLine());
        EXPECT_EQ(seen, lines) << bytes.substr(0, 40);
    }
}

// Byte-order marks: UTF-8's is passed over under UTF-8 and converted under 1252; UTF-16
// files are converted to the code page, or refused when it cannot hold their text; cells
// that are not text in the code page are told of.
TEST_F(CsvFormatTest, EncodingsOtherThanTheCodePage) {
    // Text as UTF-16 bytes after their byte-order mark.
    const auto utf16 = [](std::u16string_view text, bool bBigEndian) {
        std::string bytes = bBigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t c : text) {
            const auto hi = static_cast<char>(c >> 8);
            const auto lo = static_cast<char>(c & 0xFF);
            bytes += bBigEndian ? hi : lo;
            bytes += bBigEndian ? lo : hi;
        }
        return bytes;
    };
    const std::string utf16le = utf16(u"D\u00E4;\"x\ny\"\r\nz", false);
    const std::string utf16be = utf16(u"D\u00E4;\"x\ny\"\nz", true);
    const struct {
        const char* m_pszWhat;
        unsigned m_codePage;
        std::string m_strBytes;
        Rows m_rows; // empty: refused
        std::string m_strInvalidCell;
    } cases[] = {
        {"UTF-8 mark under UTF-8",
         CP_UTF8,
         "\xEF\xBB\xBF"
         "D\xC3\xA4;\"x\ny\"\nz",
         {{"D\xC3\xA4", "x\ny"}, {"z", ""}},
         ""},
        {"UTF-8 mark under 1252",
         CP_WINDOWS_1252,
         "\xEF\xBB\xBF"
         "D\xC3\xA4;b\r\n",
         {{"D\xE4", "b"}},
         ""},
        {"UTF-8 beyond 1252",
         CP_WINDOWS_1252,
         "\xEF\xBB\xBF"
         "\xE2\x82\xAC\xE6\x97\xA5;b",
         {},
         ""},
        {"UTF-16LE under UTF-8", CP_UTF8, utf16le, {{"D\xC3\xA4", "x\ny"}, {"z", ""}}, ""},
        {"UTF-16BE under 1252", CP_WINDOWS_1252, utf16be, {{"D\xE4", "x\ny"}, {"z", ""}}, ""},
        {"UTF-16 beyond 1252", CP_WINDOWS_1252, std::string("\xFF\xFE\xE5\x65", 4), {}, ""},
        {"odd UTF-16",
         CP_UTF8,
         std::string("\xFF\xFE"
                     "a\0b",
                     5),
         {},
         ""},
        {"1252 bytes under UTF-8",
         CP_UTF8,
         "ok;Caf\xE9;M\xFCller\r\n",
         {{"ok", "Caf\xE9"}},
         "Caf\xE9"},
        {"1252 bytes under 1252", CP_WINDOWS_1252, "ok;Caf\xE9\r\n", {{"ok", "Caf\xE9"}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        SetCodePage(c.m_codePage);
        const std::string path = TempPath("enc.csv");
        WriteFileBytes(path, c.m_strBytes);
        CCsvFormat format;
        format.SetSeparator(";");
        format.SetQuote("\"");
        if (c.m_rows.empty()) {
            try {
                (void)format.OpenRead(path);
                ADD_FAILURE() << "not refused";
            } catch (const CFormatException& e) {
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            }
            continue;
        }
        ASSERT_EQ(format.OpenRead(path), STATUS_OK);
        Rows rows;
        std::string strInvalid;
        while (format.NextRow() == STATUS_OK) {
            std::vector<std::string>& row = rows.emplace_back(2);
            (void)format.ReadText(row[0]);
            (void)format.ReadText(row[1]);
            if (strInvalid.empty())
                (void)format.GetInvalidTextCell(strInvalid);
        }
        EXPECT_EQ(rows, c.m_rows);
        EXPECT_EQ(strInvalid, c.m_strInvalidCell);
    }
}

TEST_F(CsvFormatTest, PositionAndSizeIn256ByteUnits) {
    const std::string path = TempPath("size.csv");
    std::string bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += std::string(98, 'a') + "\r\n";
    WriteFileBytes(path, bytes);
    CCsvFormat format;
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

// The old file stays whole until CloseWrite puts the new one in its place.
TEST_F(CsvFormatTest, OpenWriteReplacesAnExistingFileWholeAndLocks) {
    const std::string path = TempPath("old.csv");
    WriteFileBytes(path, "0123456789\r\n");
    {
        CCsvFormat writer;
        writer.SetQuote("\"");
        ASSERT_EQ(writer.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(writer.WriteText("ab"), STATUS_OK);
        EXPECT_EQ(writer.EndRow(), STATUS_OK);
        CCsvFormat second;
        EXPECT_EQ(second.OpenWrite(path), STATUS_FAILED) << "another writer";
        EXPECT_EQ(second.OpenRead(path), STATUS_FAILED) << "a reader while writing";
        EXPECT_EQ(ReadFileBytes(path), "0123456789\r\n");
        EXPECT_EQ(writer.CloseWrite(), STATUS_OK);
    }
    EXPECT_EQ(ReadFileBytes(path), "\"ab\"\r\n");

    CCsvFormat reader1, reader2, writer;
    EXPECT_EQ(reader1.OpenRead(path), STATUS_OK);
    EXPECT_EQ(reader2.OpenRead(path), STATUS_OK) << "readers share";
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

// A format destroyed without CloseWrite drops what it wrote (the old file stays); a full
// disk is reported by CloseWrite, once, naming the file.
TEST_F(CsvFormatTest, FailedWritesAreReportedByCloseWrite) {
    const std::string folder = TempPath("dropped");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/dropped.csv";
    WriteFileBytes(path, "old\r\n");
    {
        CCsvFormat format;
        format.SetQuote("\"");
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (int i = 0; i < 20000; ++i) {
            EXPECT_EQ(format.WriteInt(i), STATUS_OK);
            EXPECT_EQ(format.EndRow(), STATUS_OK);
        }
    }
    EXPECT_EQ(ReadFileBytes(path), "old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left";
    CCsvFormat writer;
    EXPECT_EQ(writer.OpenWrite(path), STATUS_OK) << "the lock went with the file";

    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    for (const int nRows : {1, 50000}) {
        CCsvFormat format;
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
        EXPECT_EQ(format.CloseWrite(), STATUS_OK); // closed once: nothing more to report
    }
    CCsvFormat dropped;
    ASSERT_EQ(dropped.OpenWrite("/dev/full"), STATUS_OK);
    (void)dropped.WriteText("x");
}

// Input that never ends or holds no text: a device is refused at once, a row of NUL bytes
// stops the reading as a damaged file. Pipes are read.
TEST_F(CsvFormatTest, DevicesAndRowsOfNulBytesAreRefused) {
    CCsvFormat format;
    try {
        (void)format.OpenRead("/dev/zero");
        ADD_FAILURE() << "/dev/zero opened";
    } catch (const CFormatException& e) {
        EXPECT_STREQ(e.what(),
                     "it is a device, not a file (files, pipes and the terminal can be read)");
    }

    const std::string path = TempPath("zeroed.csv");
    WriteFileBytes(path, "\"a\";\"b\"\r\n" + std::string(5000, '\0') + "\r\n\"c\"\r\n");
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    try {
        (void)format.NextRow();
        ADD_FAILURE() << "a row of NUL bytes read";
    } catch (const CFormatException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The file " + path + " is damaged: line 2 holds only NUL bytes.");
    }
    (void)format.CloseRead();

    // NUL bytes among text are text.
    WriteFileBytes(path, std::string("a\0b\r\n", 5));
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    std::string cell;
    (void)format.ReadText(cell);
    EXPECT_EQ(cell, std::string("a\0b", 3));
    (void)format.CloseRead();

    int fds[2] = {-1, -1};
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "\"p\"\r\n", 5), 5);
    ::close(fds[1]);
    ASSERT_EQ(format.OpenRead("/dev/fd/" + std::to_string(fds[0])), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    (void)format.CloseRead();
    ::close(fds[0]);
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

    // Exports the records as the export does.
    std::string Export(const std::vector<const CAppointment*>& records) {
        const std::string path = TempPath("export.csv");
        const std::unique_ptr<CFileFormat> format = OpenExportFile(path, *m_options);
        const CFieldLayout& layout = m_options->m_layout;
        const bool bFull = m_options->m_bFullFormat != 0;
        EXPECT_EQ(bFull ? layout.WriteFullHeader(*format) : layout.WriteSimpleHeader(*format),
                  STATUS_OK);
        for (const CAppointment* p : records) {
            EXPECT_EQ(bFull ? layout.WriteFullRow(*format, *p) : layout.WriteSimpleRow(*format, *p),
                      STATUS_OK);
        }
        EXPECT_EQ(format->CloseWrite(), STATUS_OK);
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

    // And back: the file reads into the records it came from; a simple file carries the
    // repeat flag but no rule.
    const auto in = OpenImportFile(TestDataPath("csv/simple_semicolon_dquote.csv"), *m_options);
    ASSERT_TRUE(in);
    CAppointment read(m_options.get());
    EXPECT_EQ(m_options->m_layout.ReadFields(*in, read), IMPORT_INVALID_DATE); // the header
    for (const CAppointment* p : {&m_meeting, &m_eve}) {
        read.Reset();
        ASSERT_EQ(m_options->m_layout.ReadFields(*in, read), STATUS_OK);
        EXPECT_EQ(std::tie(read.m_strText, read.m_tDate, read.m_bUntimed, read.m_bRepeat,
                           read.m_strNote, read.m_strLocation, read.m_strCategory),
                  std::tie(p->m_strText, p->m_tDate, p->m_bUntimed, p->m_bRepeat, p->m_strNote,
                           p->m_strLocation, p->m_strCategory));
        if (p->m_bRepeat) {
            EXPECT_EQ(read.m_repeat.m_nType, REPEAT_DAILY);
        } else {
            EXPECT_TRUE(p->IsSameAppointment(read) && read.IsSameAppointment(*p));
        }
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
