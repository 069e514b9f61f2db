// Workbooks written by the engine, checked by reading them back, by looking at the
// records and container they hold, and by independent readers (python3-xlrd, and gnumeric's
// ssconvert, whose own workbook of what it read must hold the same cells).
#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/SharedStrings.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

using namespace xlstest;

namespace {

class XlsWriteTest : public CVarnoTest {};

constexpr std::uint16_t kSst = 0x00FC;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kRk = 0x027E;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kBoolErr = 0x0205;

// The layout of an exported datebook: a header row, then dates, times, a date with time,
// integers and texts of every kind the program writes.
CXlsWorkbook DatebookWorkbook(std::uint32_t nDataRows) {
    CXlsWorkbook wb;
    CXlsSheet& s = wb.m_vecSheets[0];
    s.m_strName = u"Datebook";
    const std::u16string header[] = {u"Date",     u"Start Time", u"End Time", u"Reminder",
                                     u"Duration", u"Subject",    u"Notes",    u"Amount"};
    for (std::uint32_t c = 0; c < std::size(header); ++c) {
        SetText(s, 0, c, header[c]);
    }
    for (std::uint32_t r = 1; r <= nDataRows; ++r) {
        SetNumber(s, r, 0, 46000 + r % 400, EXlsNumberFormat::Date);
        SetNumber(s, r, 1, (r % 1440) / 1440.0, EXlsNumberFormat::Time);
        SetNumber(s, r, 2, (r * 7 % 86400) / 86400.0, EXlsNumberFormat::Time);
        SetNumber(s, r, 3, 46000 + r % 400 + (r % 96) / 96.0, EXlsNumberFormat::DateTime);
        SetNumber(s, r, 4, r * 60.0);
        SetText(s, r, 5, u"Meeting " + Ascii16(std::to_string(r % 977)));
        SetNumber(s, r, 7, r % 3 == 0 ? r + 0.25 : r * 0.1);
    }
    SetText(s, 1, 6, Repeat(u"Six hundred characters. ", 600));
    SetText(s, 2, 6, Repeat(u"Twenty thousand characters of a very long note. ", 20000));
    SetText(s, 3, 6, u"Line one\nLine two\nLine three");
    SetText(s, 4, 5, CodePageToUtf16("Caf\xE9 M\xFCller, 5 \x80", CP_WINDOWS_1252));
    SetText(s, 5, 5, CodePageToUtf16("Caf\xC3\xA9 M\xC3\xBCller, 5 \xE2\x82\xAC", CP_UTF8));
    SetText(s, 6, 5, u"12:30", true);
    SetText(s, 7, 6, Repeat(u"\u65E5\u672C\u8A9E\u00E9\u20AC", 700)); // UTF-16 in the table
    SetNumber(s, 8, 4, -42);
    SetNumber(s, 8, 7, 1e300);
    SetNumber(s, 9, 4, 536870911); // largest integer of an RK value
    SetNumber(s, 9, 7, 536870912); // one past it: a NUMBER record
    s.m_vecColumnWidths = {10.5, 0, 0, 16.43};
    s.m_vecRowHeights = {15, 0, 0, 38.25};
    return wb;
}

// Every cell of one sheet as the other holds it (kind, text, number, format, and the
// quote prefix when asked); the first difference.
testing::AssertionResult SameCells(const CXlsSheet& a, const CXlsSheet& b, bool bQuotePrefix) {
    for (std::uint32_t r = 0; r < std::max(a.RowCount(), b.RowCount()); ++r) {
        for (std::uint32_t c = 0; c < std::max(a.ColumnCount(r), b.ColumnCount(r)); ++c) {
            const CXlsCellView x = a.View(r, c);
            const CXlsCellView y = b.View(r, c);
            if (x.m_kind != y.m_kind || x.m_strText != y.m_strText || x.m_dNumber != y.m_dNumber ||
                (!x.IsEmpty() && x.m_format != y.m_format) ||
                (bQuotePrefix && x.m_bQuotePrefix != y.m_bQuotePrefix))
                return testing::AssertionFailure() << "cell " << r << "," << c;
        }
    }
    return testing::AssertionSuccess();
}

// The built-in format xlrd reports: 14 date, 20 h:mm, 21 h:mm:ss, 22 date with time.
int ExpectedFormat(const CXlsCellView& cell) {
    const long nSeconds =
        std::lround((cell.m_dNumber - std::floor(cell.m_dNumber)) * 86400.0) % 86400;
    switch (cell.m_format) {
    case EXlsNumberFormat::Date:
        return 14;
    case EXlsNumberFormat::Time:
        return nSeconds % 60 ? 21 : 20;
    case EXlsNumberFormat::DateTime:
        return 22;
    default:
        return 0;
    }
}

TEST_F(XlsWriteTest, IndependentReadersReadTheDatebookLayout) {
    const CXlsWorkbook wb = DatebookWorkbook(30000);
    const CXlsSheet& s = wb.m_vecSheets[0];
    const std::string path = TempPath("datebook.xls");
    wb.Save(path);

    const CXlsSheet back = CXlsWorkbook::Load(path).m_vecSheets[0];
    EXPECT_TRUE(SameCells(s, back, true));
    EXPECT_DOUBLE_EQ(back.RowHeight(3), 38.25);
    EXPECT_DOUBLE_EQ(back.RowHeight(4), CXlsSheet::kDefaultRowHeight);
    ASSERT_GE(back.m_vecColumnWidths.size(), 4u);
    EXPECT_NEAR(back.m_vecColumnWidths[3], 16.43, 1.0 / 256);

    if (!HaveXlrd() || !HaveSsconvert()) {
        GTEST_SKIP() << "python3-xlrd or gnumeric's ssconvert is not installed";
    }
    const CXlrdSheet x = ReadWithXlrd(path);
    ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
    EXPECT_EQ(x.m_strName, s.m_strName);
    EXPECT_EQ(x.m_nRows, 30001);
    EXPECT_EQ(x.m_nColumns, 8);
    std::size_t nCells = 0;
    for (std::uint32_t r = 0; r < s.RowCount(); ++r) {
        for (std::uint32_t c = 0; c < s.ColumnCount(r); ++c) {
            const CXlsCellView cell = s.View(r, c);
            if (cell.IsEmpty()) {
                continue;
            }
            ++nCells;
            SCOPED_TRACE(testing::Message() << r << "," << c);
            const auto it = x.m_mapCells.find({int(r), int(c)});
            ASSERT_NE(it, x.m_mapCells.end());
            const CXlrdCell& xc = it->second;
            if (cell.m_kind == CXlsCell::EKind::Text) {
                ASSERT_EQ(xc.m_nType, 1);
                ASSERT_EQ(xc.Text(), cell.m_strText);
                ASSERT_EQ(xc.m_bWrap, cell.m_strText.find(u'\n') != std::u16string::npos);
            } else {
                ASSERT_EQ(xc.m_nType, cell.IsDate() ? 3 : 2);
                ASSERT_EQ(xc.m_bDate, cell.IsDate());
                ASSERT_EQ(xc.m_nFormat, ExpectedFormat(cell));
                ASSERT_EQ(xc.Number(), cell.m_dNumber);
            }
        }
    }
    EXPECT_EQ(x.m_mapCells.size(), nCells);
    EXPECT_EQ(x.m_mapWidths.at(0), 2688);                                // 10.5 * 256
    EXPECT_EQ(x.m_mapWidths.at(3), 4206);                                // 16.43 * 256, rounded
    EXPECT_EQ(x.m_mapHeights, (std::map<int, int>{{0, 300}, {3, 765}})); // twips

    // gnumeric reads the file and writes its own: the same cells come back from it.
    const std::string again = TempPath("gnumeric.xls");
    ASSERT_TRUE(Ssconvert(Home(), path, again, "Gnumeric_Excel:excel_biff8"));
    EXPECT_TRUE(SameCells(s, CXlsWorkbook::Load(again).m_vecSheets[0], false));
}

// Numbers: 30-bit integers and doubles with 34 zero low bits (2^29, -0.0 with its sign)
// as RK, others as NUMBER; values the file format cannot hold as the error #NUM!.
TEST_F(XlsWriteTest, NumbersTakeTheSmallestExactRecord) {
    const double kNan = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    const std::pair<double, std::uint16_t> cases[] = {
        {0, kRk},         {-1, kRk},       {536870911, kRk},      {-536870912, kRk},
        {536870912, kRk}, {-0.0, kRk},     {536870913, kNumber},  {0.5, kRk},
        {-2.75, kRk},     {0.1, kNumber},  {46361.5625, kNumber}, {1e300, kNumber},
        {kNan, kBoolErr}, {kInf, kBoolErr}};
    CXlsWorkbook wb;
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        SetNumber(wb.m_vecSheets[0], i, 0, cases[i].first);
    }
    const std::string file = wb.SaveToMemory();
    std::vector<std::uint16_t> records;
    for (const CRecordInfo& rec : Records(WorkbookStream(file))) {
        if (rec.m_id == kRk || rec.m_id == kNumber || rec.m_id == kBoolErr) {
            records.push_back(rec.m_id);
        }
    }
    ASSERT_EQ(records.size(), std::size(cases));
    const CXlsSheet back = CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0];
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        const auto [d, record] = cases[i];
        SCOPED_TRACE(d);
        EXPECT_EQ(records[i], record);
        const CXlsCell cell = back.Get(i, 0);
        EXPECT_EQ(cell.m_kind,
                  record == kBoolErr ? CXlsCell::EKind::Error : CXlsCell::EKind::Number);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(cell.m_dNumber),
                  std::bit_cast<std::uint64_t>(record == kBoolErr ? 0x24 : d)); // #NUM!
    }
}

// Booleans and errors; other date formats stored by what their value holds; an empty text
// is an empty cell; row heights at most 409.5 points; an empty sheet has no used range.
TEST_F(XlsWriteTest, CellKindsAndLimitedValuesRoundTrip) {
    using K = CXlsCell::EKind;
    using F = EXlsNumberFormat;
    const CXlsCell cells[] = {{K::Boolean, 1, u"", F::General, false},
                              {K::Error, 0x07, u"", F::General, false}, // #DIV/0!
                              {K::Number, 0.75, u"", F::OtherDate, false},
                              {K::Number, 46361, u"", F::OtherDate, false},
                              {K::Number, 46361.75, u"", F::OtherDate, false},
                              {K::Text, 0, u"", F::General, false}};
    const F expected[] = {F::General, F::General, F::Time, F::Date, F::DateTime};
    CXlsWorkbook wb;
    SetRows(wb.m_vecSheets[0], {{}, std::vector<CXlsCell>(std::begin(cells), std::end(cells))});
    wb.m_vecSheets[0].m_vecRowHeights = {0, 1000};
    const CXlsSheet back = CXlsWorkbook::LoadFromMemory(wb.SaveToMemory()).m_vecSheets[0];
    for (std::uint32_t c = 0; c < std::size(expected); ++c) {
        EXPECT_EQ(back.Get(1, c).m_kind, cells[c].m_kind) << c;
        EXPECT_EQ(back.Get(1, c).m_dNumber, cells[c].m_dNumber) << c;
        EXPECT_EQ(back.Get(1, c).m_format, expected[c]) << c;
    }
    EXPECT_TRUE(back.Get(1, 5).IsEmpty());
    EXPECT_DOUBLE_EQ(back.RowHeight(1), 409.5);
    std::uint32_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    EXPECT_FALSE(CXlsWorkbook::LoadFromMemory(CXlsWorkbook().SaveToMemory())
                     .m_vecSheets[0]
                     .UsedRange(r0, c0, r1, c1));
}

// Where the shared string table breaks into CONTINUE records. The first record holds
// 8,216 bytes of strings after its 8-byte counts; a compressed string of n characters
// takes 3 + n bytes.
TEST_F(XlsWriteTest, StringTableBreaksAtRecordBoundaries) {
    const std::u16string kEuro = u"\u20AC";
    const std::string z(1, 0), o(1, 1); // flags: compressed, UTF-16
    struct SCase {
        std::vector<std::u16string> m_vecStrings;
        std::string m_strContinueStart; // first bytes of the first CONTINUE record
        std::size_t m_nSstLength;
        std::size_t m_nContinues;
    };
    const SCase cases[] = {
        // A string ending at the record's end; header and first character in the last 4
        // bytes; only the header would fit, so the string moves on.
        {{Repeat(u"a", 8213), u"next"}, Le16(4) + z + "next", 8224, 1},
        {{Repeat(u"a", 8209), Repeat(u"b", 10)}, z + "bbbbbbbbb", 8224, 1},
        {{Repeat(u"a", 8210), u"bcd"}, Le16(3) + z + "bcd", 8221, 1},
        // A UTF-16 string split with an odd byte left over; strings spanning three records.
        {{Repeat(u"a", 8199), Repeat(u"x", 5) + kEuro + Repeat(u"y", 10)},
         o + Chars(kEuro + u"y", true),
         8223,
         1},
        {{Repeat(u"abc", 20000)}, z + "cab", 8224, 2},
        {{Repeat(kEuro + u"z", 10000)}, o + Chars(kEuro + u"z", true), 8223, 2}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(&c - cases);
        CXlsWorkbook wb;
        for (std::uint32_t i = 0; i < c.m_vecStrings.size(); ++i) {
            SetText(wb.m_vecSheets[0], i, 0, c.m_vecStrings[i]);
        }
        const std::string file = wb.SaveToMemory();
        const std::string stream = WorkbookStream(file);
        const auto records = Records(stream);
        const auto sst = std::find_if(records.begin(), records.end(),
                                      [](const CRecordInfo& r) { return r.m_id == kSst; });
        ASSERT_LT(sst + 1, records.end());
        EXPECT_EQ(sst->m_body.size(), c.m_nSstLength);
        std::size_t nContinues = 0;
        for (auto it = sst + 1; it->m_id == kContinue; ++it, ++nContinues) {
            EXPECT_LE(it->m_body.size(), 8224u);
        }
        EXPECT_EQ(nContinues, c.m_nContinues);
        EXPECT_EQ((sst + 1)->m_body.substr(0, c.m_strContinueStart.size()), c.m_strContinueStart);

        const CXlsSheet back = CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0];
        const CXlrdSheet x = HaveXlrd() ? ReadBytesWithXlrd(file) : CXlrdSheet{};
        EXPECT_TRUE(x.m_bOk || !HaveXlrd()) << x.m_strOutput.substr(0, 2000);
        for (std::uint32_t i = 0; i < c.m_vecStrings.size(); ++i) {
            ASSERT_FALSE(back.Get(i, 0).IsEmpty());
            EXPECT_EQ(back.Get(i, 0).m_strText, c.m_vecStrings[i]);
            if (x.m_bOk) {
                EXPECT_EQ(x.m_mapCells.at({int(i), 0}).Text(), c.m_vecStrings[i]);
            }
        }
    }
}

// The room the writer reserves for the string table holds the whole table: texts that
// leave the most of a record unused (a header that does not fit), UTF-16 texts running on
// through records, and many short texts.
TEST_F(XlsWriteTest, StringTableFitsItsReservedRoom) {
    const auto Many = [](std::u16string text, std::size_t n, std::size_t nWidth) {
        std::vector<std::u16string> out;
        for (std::size_t i = 0; i < n; ++i) {
            out.push_back(text + Repeat(u"#", i % nWidth));
        }
        return out;
    };
    const std::vector<std::vector<std::u16string>> cases = {
        {},
        {u"a"},
        {Repeat(u"a", 8213), u"next"},
        {Repeat(u"\u20AC", 70000)},
        Many(u"\u20AC", 20000, 1),
        Many(u"ab", 30000, 7),
        Many(u"\u65E5", 5000, 4111),
    };
    for (const auto& strings : cases) {
        SCOPED_TRACE(&strings - cases.data());
        CSharedStrings table;
        for (const std::u16string& text : strings) {
            (void)table.AddDistinct(text);
        }
        CByteWriter out;
        table.Write(out);
        EXPECT_LE(out.Size(), table.MaxBytes());
    }
}

// EXTSST: for every bucket of dsst strings, the stream offset of the bucket's first
// string and that string's offset inside its SST or CONTINUE record.
TEST_F(XlsWriteTest, ExtSstPointsAtEachBucketsFirstString) {
    CXlsWorkbook wb;
    std::vector<std::u16string> strings;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        strings.push_back(Ascii16("s" + std::to_string(i)) +
                          Repeat(i % 3 ? u"x" : u"\u20AC", i % 41));
        SetText(wb.m_vecSheets[0], i, 0, strings.back());
        SetText(wb.m_vecSheets[0], i, 1, strings.back()); // shared, not stored again
    }
    const std::string stream = WorkbookStream(wb.SaveToMemory());
    std::vector<std::size_t> recordStarts;
    std::string_view extSst;
    for (const CRecordInfo& rec : Records(stream)) {
        if (rec.m_id == kSst) {
            EXPECT_EQ(Get32(rec.m_body, 0), 6000u); // references
            EXPECT_EQ(Get32(rec.m_body, 4), 3000u); // distinct strings
        }
        if (rec.m_id == kSst || rec.m_id == kContinue) {
            recordStarts.push_back(rec.m_nOffset);
        }
        if (rec.m_id == 0x00FF) {
            extSst = rec.m_body;
        }
    }
    ASSERT_GT(recordStarts.size(), 3u);
    const std::size_t nPerBucket = Get16(extSst, 0);
    EXPECT_EQ(nPerBucket, 24u); // ceil(3000 / 128)
    ASSERT_EQ((extSst.size() - 2) / 8, (3000 + nPerBucket - 1) / nPerBucket);
    for (std::size_t k = 0; k * nPerBucket < 3000; ++k) {
        SCOPED_TRACE(k);
        const std::size_t at = Get32(extSst, 2 + 8 * k);
        const std::size_t inRecord = Get16(extSst, 2 + 8 * k + 4);
        EXPECT_NE(std::find(recordStarts.begin(), recordStarts.end(), at - inRecord),
                  recordStarts.end());
        const std::u16string& first = strings[k * nPerBucket];
        const bool bHigh = first.find(u'\u20AC') != std::u16string::npos;
        EXPECT_EQ(stream.substr(at, 3 + (bHigh ? 2 : 1)),
                  Le16(static_cast<std::uint32_t>(first.size())) + std::string(1, bHigh) +
                      Chars(first.substr(0, 1), bHigh));
    }
}

// A sheet keeps each text once: texts longer than its chunks of storage, many texts that
// grow its index, and texts no cell holds any more (overwritten or cleared), which stay
// out of the string table. A file saved is the bytes made in memory.
TEST_F(XlsWriteTest, TextsKeptOnceAndOnlyTheCellsTextsWritten) {
    CXlsWorkbook wb;
    CXlsSheet& s = wb.m_vecSheets[0];
    const std::u16string longText = Repeat(u"long\x20AC", 40000);
    SetText(s, 0, 0, longText);
    for (std::uint32_t r = 1; r <= 5000; ++r) {
        SetText(s, r, 0, Ascii16("text " + std::to_string(r)));
        SetText(s, r, 1, u"same");
    }
    SetText(s, 2, 2, u"overwritten");
    SetNumber(s, 2, 2, 7);
    SetText(s, 3, 2, u"cleared");
    s.Set(3, 2, CXlsCell{});
    EXPECT_EQ(s.Texts().Count(), 5004u);
    EXPECT_EQ(s.Get(0, 0).m_strText, longText);
    EXPECT_EQ(s.Get(4321, 0).m_strText, u"text 4321");
    EXPECT_EQ(s.TextIndex(10, 1), s.TextIndex(4000, 1));

    const std::string file = wb.SaveToMemory();
    const std::string stream = WorkbookStream(file);
    for (const CRecordInfo& rec : Records(stream)) {
        if (rec.m_id == kSst) {
            EXPECT_EQ(Get32(rec.m_body, 0), 10001u); // references
            EXPECT_EQ(Get32(rec.m_body, 4), 5002u);  // distinct texts of cells
        }
    }
    const std::string path = TempPath("texts.xls");
    wb.Save(path);
    EXPECT_EQ(ReadFileBytes(path), file);
    const CXlsSheet back = CXlsWorkbook::Load(path).m_vecSheets[0];
    EXPECT_TRUE(SameCells(s, back, true));
    EXPECT_TRUE(back.Get(3, 2).IsEmpty());
}

// The Workbook stream never goes into the mini stream: below 4,096 bytes it is padded.
TEST_F(XlsWriteTest, StreamsAroundTheMiniStreamCutoff) {
    const auto makeWorkbook = [](std::size_t nChars) {
        CXlsWorkbook wb;
        SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"q", nChars));
        SetNumber(wb.m_vecSheets[0], 1, 0, 46361, EXlsNumberFormat::Date);
        return wb;
    };
    // The stream grows by one byte per character of the text.
    const std::size_t nBase =
        Records(WorkbookStream(makeWorkbook(1).SaveToMemory())).back().m_nOffset + 4;
    for (const std::size_t nWanted : {4095u, 4096u, 4097u}) {
        SCOPED_TRACE(nWanted);
        const std::string file = makeWorkbook(1 + nWanted - nBase).SaveToMemory();
        const std::string stream = WorkbookStream(file);
        EXPECT_EQ(Records(stream).back().m_nOffset + 4, nWanted); // the EOF ends the data
        EXPECT_EQ(stream.size(), std::max<std::size_t>(nWanted, 4096));
        EXPECT_EQ(Get32(file, 60), 0xFFFFFFFEu); // no mini FAT
        const std::string path = TempPath("cutoff.xls");
        makeWorkbook(1 + nWanted - nBase).Save(path);
        EXPECT_EQ(ReadFileBytes(path), file);
        EXPECT_EQ(file.size() % 512, 0u);
        EXPECT_EQ(CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0].Get(0, 0).m_strText.size(),
                  1 + nWanted - nBase);
        if (HaveXlrd()) {
            const CXlrdSheet x = ReadBytesWithXlrd(file);
            ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
            EXPECT_EQ(x.m_mapCells.at({1, 0}).Number(), 46361);
        }
    }
}

// The largest sheet (65,536 rows) needs more than 109 FAT sectors: the DIFAT.
TEST_F(XlsWriteTest, LargestSheetUsesTheDifat) {
    CXlsWorkbook wb;
    CXlsSheet& s = wb.m_vecSheets[0];
    for (std::uint32_t r = 0; r < kXlsMaxRows; ++r) {
        for (std::uint32_t c = 0; c < 7; ++c) {
            SetNumber(s, r, c, r + c / 10.0 + 0.01);
        }
    }
    SetText(s, kXlsMaxRows - 1, 255, u"last cell");
    const std::string path = TempPath("large.xls");
    wb.Save(path);
    const std::string file = ReadFileBytes(path);
    EXPECT_EQ(file, wb.SaveToMemory());
    EXPECT_GT(Get32(file, 44), 109u); // FAT sectors
    EXPECT_GE(Get32(file, 72), 1u);   // DIFAT sectors
    const CXlsSheet back = CXlsWorkbook::Load(path).m_vecSheets[0];
    EXPECT_EQ(back.Get(40000, 3).m_dNumber, 40000 + 3 / 10.0 + 0.01);
    EXPECT_EQ(back.Get(kXlsMaxRows - 1, 255).m_strText, u"last cell");
    if (HaveXlrd()) {
        int nStatus = 0;
        const std::string out =
            RunCommand("/usr/bin/python3 -c 'import sys, xlrd; s = "
                       "xlrd.open_workbook(sys.argv[1]).sheet_by_index(0); "
                       "print(s.nrows, s.ncols, \"%.17g\" % s.cell_value(65535, 6), "
                       "s.cell_value(65535, 255))' " +
                           Quote(path) + " 2>&1",
                       nStatus);
        char expected[64];
        std::snprintf(expected, sizeof expected, "65536 256 %.17g last cell\n",
                      65535 + 6 / 10.0 + 0.01);
        EXPECT_EQ(out, expected);
    }
}

// What the file format cannot hold is an error naming the problem (and the file, on
// saving); a failed save leaves the old file and no temporary file.
TEST_F(XlsWriteTest, LimitsAreErrorsAndAFailedSaveKeepsTheOldFile) {
    CXlsSheet s;
    const CXlsCell one{.m_kind = CXlsCell::EKind::Number, .m_dNumber = 1, .m_strText = {}};
    EXPECT_NO_THROW(s.Set(kXlsMaxRows - 1, kXlsMaxColumns - 1, one));
    EXPECT_THROW(s.Set(0, kXlsMaxColumns, one), CXlsError);
    try {
        s.Set(kXlsMaxRows, 0, one);
        ADD_FAILURE();
    } catch (const CXlsError& e) {
        EXPECT_STREQ(e.what(), "too many rows for an Excel 97-2003 workbook (65,536 at most)");
    }
    EXPECT_NO_THROW(s.Set(kXlsMaxRows, 0, CXlsCell{})); // clearing outside the grid is no error
    // Cells put while the grid was the larger one of .xlsx are checked when saving.
    CXlsWorkbook tooLong;
    tooLong.m_vecSheets[0].m_vecRowHeights.resize(kXlsMaxRows + 1, 20);
    EXPECT_NO_THROW((void)tooLong.SaveToMemory()); // heights beyond the limit are harmless
    tooLong.SetFileFormat(EXlsFileFormat::Xlsx);
    tooLong.m_vecSheets[0].Set(kXlsMaxRows, 0, one);
    tooLong.SetFileFormat(EXlsFileFormat::Xls);
    EXPECT_THROW((void)tooLong.SaveToMemory(), CXlsError);

    CXlsWorkbook wb;
    const std::string path = TempPath("replace.xls");
    SetText(wb.m_vecSheets[0], 0, 0, u"first");
    wb.Save(path);
    SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"t", kXlsMaxTextLength));
    wb.Save(path); // replaces the first file
    for (const std::u16string& name : {std::u16string(u"a/b"), Repeat(u"n", 32)}) {
        wb.m_vecSheets[0].m_strName = name;
        EXPECT_THROW(wb.Save(path), CXlsError);
    }
    wb.m_vecSheets[0].m_strName = u"ok";
    SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"t", kXlsMaxTextLength + 1));
    try {
        wb.Save(path);
        ADD_FAILURE();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": text too long", 0), 0u) << e.what();
    }
    EXPECT_EQ(CXlsWorkbook::Load(path).m_vecSheets[0].Get(0, 0).m_strText.size(),
              kXlsMaxTextLength);
    const std::string missing = Home() + "/no/such/folder/out.xls";
    try {
        CXlsWorkbook().Save(missing);
        ADD_FAILURE();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(missing + ": cannot write", 0), 0u) << e.what();
    }
    const std::filesystem::directory_iterator folder(std::filesystem::path(path).parent_path());
    EXPECT_EQ(std::distance(begin(folder), end(folder)), 1); // no temporary file left behind
}

} // namespace
