// Workbooks written by the engine, checked by reading them back, by looking at the
// records and container they hold, and by independent readers (python3-xlrd, ssconvert).
#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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
constexpr std::uint16_t kLabelSst = 0x00FD;

std::string Utf8(std::u16string_view text) {
    return Utf16ToCodePage(text, CP_UTF8);
}

// Date and time text as ssconvert's CSV export shows them.
std::string DateText(double serial) {
    using namespace std::chrono;
    const auto nDays = static_cast<int>(std::floor(serial));
    const year_month_day ymd{sys_days{year{1899} / December / 30} + days{nDays}};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02u/%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}
std::string TimeText(double serial) {
    const long nSeconds = std::lround((serial - std::floor(serial)) * 86400.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", nSeconds / 3600, nSeconds / 60 % 60,
                  nSeconds % 60);
    return buf;
}

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

int ExpectedFormat(const CXlsCell& cell) {
    switch (cell.m_format) {
    case EXlsNumberFormat::Date:
        return 14;
    case EXlsNumberFormat::Time: {
        const long nSeconds =
            std::lround((cell.m_dNumber - std::floor(cell.m_dNumber)) * 86400.0) % 86400;
        return nSeconds % 60 ? 21 : 20;
    }
    case EXlsNumberFormat::DateTime:
        return 22;
    default:
        return 0;
    }
}

void ExpectXlrdMatches(const CXlsSheet& s, const CXlrdSheet& x) {
    ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
    EXPECT_EQ(x.m_strName, s.m_strName);
    std::size_t nCells = 0;
    for (std::uint32_t r = 0; r < s.m_vecRows.size(); ++r) {
        for (std::uint32_t c = 0; c < s.m_vecRows[r].size(); ++c) {
            const CXlsCell& cell = s.m_vecRows[r][c];
            if (cell.IsEmpty()) {
                continue;
            }
            ++nCells;
            const auto it = x.m_mapCells.find({int(r), int(c)});
            ASSERT_NE(it, x.m_mapCells.end()) << r << "," << c;
            const CXlrdCell& xc = it->second;
            if (cell.m_kind == CXlsCell::EKind::Text) {
                ASSERT_EQ(xc.m_nType, 1) << r << "," << c;
                ASSERT_EQ(xc.Text(), cell.m_strText) << r << "," << c;
                ASSERT_EQ(xc.m_bWrap, cell.m_strText.find(u'\n') != std::u16string::npos);
            } else {
                ASSERT_EQ(xc.m_nType, cell.IsDate() ? 3 : 2) << r << "," << c;
                ASSERT_EQ(xc.m_bDate, cell.IsDate()) << r << "," << c;
                ASSERT_EQ(xc.m_nFormat, ExpectedFormat(cell)) << r << "," << c;
                ASSERT_EQ(xc.Number(), cell.m_dNumber) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(x.m_mapCells.size(), nCells);
}

TEST_F(XlsWriteTest, IndependentReadersReadTheDatebookLayout) {
    const CXlsWorkbook wb = DatebookWorkbook(30000);
    const CXlsSheet& s = wb.m_vecSheets[0];
    const std::string path = TempPath("datebook.xls");
    wb.Save(path);

    // Our own reader.
    const CXlsSheet back = CXlsWorkbook::Load(path).m_vecSheets[0];
    ASSERT_EQ(back.m_vecRows.size(), s.m_vecRows.size());
    for (std::size_t r = 0; r < s.m_vecRows.size(); ++r) {
        for (std::size_t c = 0; c < s.m_vecRows[r].size(); ++c) {
            const CXlsCell& a = s.m_vecRows[r][c];
            const CXlsCell* b = back.Find(std::uint32_t(r), std::uint32_t(c));
            ASSERT_TRUE(b || a.IsEmpty()) << r << "," << c;
            if (!b) {
                continue;
            }
            ASSERT_EQ(b->m_kind, a.m_kind) << r << "," << c;
            ASSERT_EQ(b->m_strText, a.m_strText) << r << "," << c;
            ASSERT_EQ(b->m_dNumber, a.m_dNumber) << r << "," << c;
            ASSERT_EQ(b->m_format, a.m_format) << r << "," << c;
            ASSERT_EQ(b->m_bQuotePrefix, a.m_bQuotePrefix) << r << "," << c;
        }
    }
    EXPECT_DOUBLE_EQ(back.RowHeight(0), 15);
    EXPECT_DOUBLE_EQ(back.RowHeight(3), 38.25);
    EXPECT_DOUBLE_EQ(back.RowHeight(4), CXlsSheet::kDefaultRowHeight);
    ASSERT_GE(back.m_vecColumnWidths.size(), 4u);
    EXPECT_NEAR(back.m_vecColumnWidths[0], 10.5, 1.0 / 256);
    EXPECT_NEAR(back.m_vecColumnWidths[3], 16.43, 1.0 / 256);

    if (!HaveXlrd() || !HaveSsconvert()) {
        GTEST_SKIP() << "python3-xlrd or gnumeric's ssconvert is not installed";
    }
    const CXlrdSheet x = ReadWithXlrd(path);
    ExpectXlrdMatches(s, x);
    EXPECT_EQ(x.m_nRows, 30001);
    EXPECT_EQ(x.m_nColumns, 8);
    EXPECT_EQ(x.m_mapWidths.at(0), 2688); // 10.5 * 256
    EXPECT_EQ(x.m_mapWidths.at(3), 4206); // 16.43 * 256, rounded
    EXPECT_EQ(x.m_mapHeights.at(0), 300); // 15 points in twips
    EXPECT_EQ(x.m_mapHeights.at(3), 765);
    EXPECT_EQ(x.m_mapHeights.size(), 2u);

    const std::string csv = TempPath("datebook.csv");
    ASSERT_TRUE(Ssconvert(Home(), path, csv, "Gnumeric_stf:stf_csv"));
    const auto rows = ParseCsv(ReadFileBytes(csv));
    ASSERT_EQ(rows.size(), 30001u);
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        const std::vector<CXlsCell>& cells = s.m_vecRows[r];
        ASSERT_EQ(rows[r].size(), 8u) << r;
        for (std::uint32_t c = 0; c < 8; ++c) {
            const std::string& got = rows[r][c];
            static const CXlsCell kEmpty;
            const CXlsCell& cell = c < cells.size() ? cells[c] : kEmpty;
            switch (cell.m_kind) {
            case CXlsCell::EKind::Empty:
                ASSERT_EQ(got, "") << r << "," << c;
                break;
            case CXlsCell::EKind::Text:
                ASSERT_EQ(got, Utf8(cell.m_strText)) << r << "," << c;
                break;
            default:
                if (cell.m_format == EXlsNumberFormat::Date) {
                    ASSERT_EQ(got, DateText(cell.m_dNumber)) << r;
                } else if (cell.m_format == EXlsNumberFormat::Time) {
                    ASSERT_EQ(got, TimeText(cell.m_dNumber)) << r;
                } else if (cell.m_format == EXlsNumberFormat::DateTime) {
                    // ssconvert leaves out a time of 00:00:00.
                    const std::string time = TimeText(cell.m_dNumber);
                    ASSERT_EQ(got, DateText(cell.m_dNumber) +
                                       (time == "00:00:00" ? std::string() : " " + time))
                        << r;
                } else {
                    ASSERT_EQ(std::stod(got), cell.m_dNumber) << r << "," << c << " " << got;
                }
            }
        }
    }
    EXPECT_EQ(rows[4][5], "Caf\xC3\xA9 M\xC3\xBC"
                          "ller, 5 \xE2\x82\xAC");
    EXPECT_EQ(rows[5][5], rows[4][5]);
}

// Numbers: 30-bit integers and doubles with 34 zero low bits as RK, others as NUMBER;
// values the file format cannot hold as the error #NUM!.
TEST_F(XlsWriteTest, NumbersTakeTheSmallestExactRecord) {
    struct {
        double m_d;
        std::uint16_t m_record;
    } const cases[] = {
        {0, kRk},
        {1, kRk},
        {-1, kRk},
        {536870911, kRk},
        {-536870912, kRk},
        {536870912, kRk}, // 2^29: a double whose low 34 bits are zero
        {536870913, kNumber},
        {0.5, kRk},
        {-2.75, kRk},
        {0.1, kNumber},
        {46361.5625, kNumber},
        {1e300, kNumber},
        {-0.0, kRk}, // the sign survives as a double RK value
        {std::numeric_limits<double>::quiet_NaN(), kBoolErr},
        {std::numeric_limits<double>::infinity(), kBoolErr},
    };
    CXlsWorkbook wb;
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        SetNumber(wb.m_vecSheets[0], i, 0, cases[i].m_d);
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
        SCOPED_TRACE(cases[i].m_d);
        EXPECT_EQ(records[i], cases[i].m_record);
        const CXlsCell* cell = back.Find(i, 0);
        ASSERT_NE(cell, nullptr);
        if (cases[i].m_record == kBoolErr) {
            EXPECT_EQ(cell->m_kind, CXlsCell::EKind::Error);
            EXPECT_EQ(cell->m_dNumber, 0x24);
        } else {
            EXPECT_EQ(cell->m_kind, CXlsCell::EKind::Number);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(cell->m_dNumber),
                      std::bit_cast<std::uint64_t>(cases[i].m_d));
        }
    }
}

TEST_F(XlsWriteTest, CellKindsAndFlagsRoundTrip) {
    CXlsWorkbook wb;
    CXlsSheet& s = wb.m_vecSheets[0];
    SetText(s, 2, 3, u"12:30", true);
    SetText(s, 2, 4, u"two\nlines", true);
    SetText(s, 3, 1, u""); // an empty text is an empty cell
    s.At(3, 2).m_kind = CXlsCell::EKind::Boolean;
    s.At(3, 2).m_dNumber = 1;
    s.At(3, 3).m_kind = CXlsCell::EKind::Error;
    s.At(3, 3).m_dNumber = 0x07; // #DIV/0!
    SetNumber(s, 4, 5, 0.75, EXlsNumberFormat::OtherDate);
    SetNumber(s, 4, 6, 46361, EXlsNumberFormat::OtherDate);
    SetNumber(s, 4, 7, 46361.75, EXlsNumberFormat::OtherDate);
    SetNumber(s, 5, 0, 0.5 + 1.0 / 86400, EXlsNumberFormat::Time);
    s.m_vecRowHeights.resize(10);
    s.m_vecRowHeights[9] = 1000; // beyond the most a row holds: 409.5 points

    const CXlsSheet back = CXlsWorkbook::LoadFromMemory(wb.SaveToMemory()).m_vecSheets[0];
    std::uint32_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    ASSERT_TRUE(back.UsedRange(r0, c0, r1, c1));
    EXPECT_EQ(r0, 2u);
    EXPECT_EQ(c0, 0u);
    EXPECT_EQ(r1, 5u);
    EXPECT_EQ(c1, 7u);
    EXPECT_EQ(back.Find(2, 3)->m_strText, u"12:30");
    EXPECT_TRUE(back.Find(2, 3)->m_bQuotePrefix);
    EXPECT_TRUE(back.Find(2, 4)->m_bQuotePrefix);
    EXPECT_TRUE(back.Find(3, 1)->IsEmpty());
    EXPECT_EQ(back.Find(3, 2)->m_kind, CXlsCell::EKind::Boolean);
    EXPECT_EQ(back.Find(3, 2)->m_dNumber, 1);
    EXPECT_EQ(back.Find(3, 3)->m_kind, CXlsCell::EKind::Error);
    EXPECT_EQ(back.Find(3, 3)->m_dNumber, 7);
    EXPECT_EQ(back.Find(4, 5)->m_format, EXlsNumberFormat::Time);
    EXPECT_EQ(back.Find(4, 6)->m_format, EXlsNumberFormat::Date);
    EXPECT_EQ(back.Find(4, 7)->m_format, EXlsNumberFormat::DateTime);
    EXPECT_EQ(back.Find(5, 0)->m_format, EXlsNumberFormat::Time);
    EXPECT_DOUBLE_EQ(back.RowHeight(9), 409.5);

    // An empty sheet: no used range, all-zero DIMENSIONS.
    const CXlsSheet empty =
        CXlsWorkbook::LoadFromMemory(CXlsWorkbook().SaveToMemory()).m_vecSheets[0];
    EXPECT_FALSE(empty.UsedRange(r0, c0, r1, c1));
    EXPECT_EQ(empty.m_strName, u"Sheet1");
}

// Where the shared string table breaks into CONTINUE records. The first record holds
// 8,216 bytes of strings after its 8-byte counts; a compressed string of n characters
// takes 3 + n bytes.
TEST_F(XlsWriteTest, StringTableBreaksAtRecordBoundaries) {
    const std::u16string kEuro = u"\u20AC";
    struct SCase {
        const char* m_pszName;
        std::vector<std::u16string> m_vecStrings;
        // First bytes of the first CONTINUE record, and the length of the SST record.
        std::string m_strContinueStart;
        std::size_t m_nSstLength;
        std::size_t m_nContinues;
    };
    const SCase cases[] = {
        {"string ends at the record's end",
         {Repeat(u"a", 8213), u"next"},
         Le16(4) + std::string(1, 0) + "next",
         8224,
         1},
        {"header and first character in the last 4 bytes",
         {Repeat(u"a", 8209), Repeat(u"b", 10)},
         std::string(1, 0) + "bbbbbbbbb",
         8224,
         1},
        {"only the header would fit: the string moves on",
         {Repeat(u"a", 8210), u"bcd"},
         Le16(3) + std::string(1, 0) + "bcd",
         8221,
         1},
        {"UTF-16 string split, odd byte left over",
         {Repeat(u"a", 8199), Repeat(u"x", 5) + kEuro + Repeat(u"y", 10)},
         std::string(1, 1) + Chars(kEuro + u"y", true),
         8223,
         1},
        {"string spanning three records",
         {Repeat(u"abc", 20000)},
         std::string(1, 0) + "cab",
         8224,
         2},
        {"UTF-16 string spanning three records",
         {Repeat(kEuro + u"z", 10000)},
         std::string(1, 1) + Chars(kEuro + u"z", true),
         8223,
         2},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        CXlsWorkbook wb;
        for (std::uint32_t i = 0; i < c.m_vecStrings.size(); ++i) {
            SetText(wb.m_vecSheets[0], i, 0, c.m_vecStrings[i]);
        }
        const std::string file = wb.SaveToMemory();
        const std::string stream = WorkbookStream(file);
        const auto records = Records(stream);
        std::size_t nSst = 0;
        while (nSst < records.size() && records[nSst].m_id != kSst) {
            ++nSst;
        }
        ASSERT_LT(nSst + 1, records.size());
        EXPECT_EQ(records[nSst].m_body.size(), c.m_nSstLength);
        std::size_t nContinues = 0;
        while (records[nSst + 1 + nContinues].m_id == kContinue) {
            EXPECT_LE(records[nSst + 1 + nContinues].m_body.size(), 8224u);
            ++nContinues;
        }
        EXPECT_EQ(nContinues, c.m_nContinues);
        EXPECT_EQ(records[nSst + 1].m_body.substr(0, c.m_strContinueStart.size()),
                  c.m_strContinueStart);

        const CXlsSheet back = CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0];
        for (std::uint32_t i = 0; i < c.m_vecStrings.size(); ++i) {
            ASSERT_NE(back.Find(i, 0), nullptr);
            EXPECT_EQ(back.Find(i, 0)->m_strText, c.m_vecStrings[i]);
        }
        if (HaveXlrd()) {
            const CXlrdSheet x = ReadBytesWithXlrd(file);
            ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
            for (std::uint32_t i = 0; i < c.m_vecStrings.size(); ++i) {
                EXPECT_EQ(x.m_mapCells.at({int(i), 0}).Text(), c.m_vecStrings[i]);
            }
        }
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
        ASSERT_EQ(Get16(stream, at), first.size());
        const bool bHigh = first.find(u'\u20AC') != std::u16string::npos;
        EXPECT_EQ(stream[at + 2], bHigh ? 1 : 0);
        EXPECT_EQ(stream.substr(at + 3, bHigh ? 2 : 1), Chars(first.substr(0, 1), bHigh));
    }
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
        const CXlsWorkbook wb = makeWorkbook(1 + nWanted - nBase);
        const std::string file = wb.SaveToMemory();
        const std::string stream = WorkbookStream(file);
        const auto records = Records(stream);
        EXPECT_EQ(records.back().m_nOffset + 4, nWanted); // the EOF record ends the data
        EXPECT_EQ(stream.size(), std::max<std::size_t>(nWanted, 4096));
        EXPECT_EQ(Get32(file, 60), 0xFFFFFFFEu); // no mini FAT
        EXPECT_EQ(Get32(file, 64), 0u);
        EXPECT_EQ(file.size() % 512, 0u);
        EXPECT_EQ(CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0].Find(0, 0)->m_strText.size(),
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
    EXPECT_GT(Get32(file, 44), 109u); // FAT sectors
    EXPECT_GE(Get32(file, 72), 1u);   // DIFAT sectors
    const CXlsSheet back = CXlsWorkbook::Load(path).m_vecSheets[0];
    EXPECT_EQ(back.Find(40000, 3)->m_dNumber, 40000 + 3 / 10.0 + 0.01);
    EXPECT_EQ(back.Find(kXlsMaxRows - 1, 255)->m_strText, u"last cell");
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

TEST_F(XlsWriteTest, LimitsAreErrorsNamingTheProblem) {
    CXlsSheet s;
    EXPECT_NO_THROW(s.At(kXlsMaxRows - 1, kXlsMaxColumns - 1));
    try {
        s.At(kXlsMaxRows, 0);
        FAIL();
    } catch (const CXlsError& e) {
        EXPECT_STREQ(e.what(), "too many rows for an Excel 97-2003 workbook (65,536 at most)");
    }
    EXPECT_THROW(s.At(0, kXlsMaxColumns), CXlsError);

    CXlsWorkbook wb;
    wb.m_vecSheets[0].m_strName = u"a/b";
    EXPECT_THROW((void)wb.SaveToMemory(), CXlsError);
    wb.m_vecSheets[0].m_strName = Repeat(u"n", 32);
    EXPECT_THROW((void)wb.SaveToMemory(), CXlsError);
    wb.m_vecSheets[0].m_strName = u"ok";
    SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"t", kXlsMaxTextLength + 1));
    EXPECT_THROW((void)wb.SaveToMemory(), CXlsError);
    SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"t", kXlsMaxTextLength));
    EXPECT_EQ(
        CXlsWorkbook::LoadFromMemory(wb.SaveToMemory()).m_vecSheets[0].Find(0, 0)->m_strText.size(),
        kXlsMaxTextLength);
    // Rows put into the vector directly are checked as well.
    CXlsWorkbook tooLong;
    tooLong.m_vecSheets[0].m_vecRows.resize(kXlsMaxRows + 1);
    EXPECT_NO_THROW((void)tooLong.SaveToMemory()); // empty rows beyond the limit are harmless
    tooLong.m_vecSheets[0].m_vecRows.back().resize(1);
    tooLong.m_vecSheets[0].m_vecRows.back()[0].m_kind = CXlsCell::EKind::Number;
    EXPECT_THROW((void)tooLong.SaveToMemory(), CXlsError);
}

TEST_F(XlsWriteTest, SaveReplacesTheFileWholeOrNotAtAll) {
    CXlsWorkbook wb;
    SetText(wb.m_vecSheets[0], 0, 0, u"first");
    const std::string path = TempPath("replace.xls");
    wb.Save(path);
    SetText(wb.m_vecSheets[0], 0, 0, u"second");
    wb.Save(path);
    EXPECT_EQ(CXlsWorkbook::Load(path).m_vecSheets[0].Find(0, 0)->m_strText, u"second");

    // A failed save names the file and leaves the old one in place.
    SetText(wb.m_vecSheets[0], 0, 0, Repeat(u"t", kXlsMaxTextLength + 1));
    try {
        wb.Save(path);
        FAIL();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": text too long", 0), 0u) << e.what();
    }
    EXPECT_EQ(CXlsWorkbook::Load(path).m_vecSheets[0].Find(0, 0)->m_strText, u"second");
    const std::string missing = Home() + "/no/such/folder/out.xls";
    try {
        CXlsWorkbook().Save(missing);
        FAIL();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(missing + ": cannot write", 0), 0u) << e.what();
    }
    std::size_t nFiles = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        ++nFiles;
    }
    EXPECT_EQ(nFiles, 1u); // no temporary file left behind
}

} // namespace
