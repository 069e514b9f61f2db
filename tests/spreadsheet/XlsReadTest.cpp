// Reading workbooks written by other programs: hand-made records of every kind the
// reader understands (checked against python3-xlrd too), workbooks that gnumeric's
// ssconvert makes from CSV, container variants, and files that must be refused.
#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace xlstest;

namespace {

class XlsReadTest : public CVarnoTest {};

std::uint32_t RkInt(std::int32_t v, bool bX100 = false) {
    return static_cast<std::uint32_t>(v) << 2 | 2 | (bX100 ? 1 : 0);
}
std::uint32_t RkFloat(double d, bool bX100 = false) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(d) >> 32) | (bX100 ? 1 : 0);
}
std::string Number(std::uint32_t r, std::uint32_t c, std::uint32_t xf, double d) {
    return Rec(0x0203, Cell(r, c, xf) + F64(d));
}
// A FORMULA record with a cached result (8 bytes) and the formula =1.
std::string Formula(std::uint32_t r, std::uint32_t c, std::uint32_t xf, const std::string& result) {
    return Rec(0x0006, Cell(r, c, xf) + result + Le16(0) + Le32(0) + Le16(3) + "\x1E" + Le16(1));
}
std::string SpecialResult(std::uint8_t type, std::uint8_t value = 0) {
    return std::string(1, static_cast<char>(type)) + std::string(1, 0) +
           std::string(1, static_cast<char>(value)) + std::string(3, 0) + "\xFF\xFF";
}
std::string Row(std::uint32_t r, std::uint32_t twips, std::uint32_t flags) {
    return Rec(0x0208, Le16(r) + Le16(0) + Le16(1) + Le16(twips) + Le16(0) + Le16(0) + Le32(flags));
}

const CXlsCell& At(const CXlsSheet& s, std::uint32_t r, std::uint32_t c) {
    static const CXlsCell kEmpty;
    const CXlsCell* cell = s.Find(r, c);
    return cell ? *cell : kEmpty;
}

std::string LongFormulaText() {
    return "formula " + std::string(30, 'x');
}

// A workbook holding every cell record the reader understands, as other writers store
// them.
std::string OtherWriterStream() {
    const std::string formats = Format(164, u"dd/mm/yyyy") + Format(165, u"0.00") +
                                Format(166, u"\"day\" 0") + Format(167, u"[h]:mm") +
                                Format(168, u"[Red]0;[Blue]-0") + Format(169, u"\\d\\m 0") +
                                Format(170, u"yyyy-mm-dd hh:mm");
    // XF 16 up.
    const std::vector<std::string> xfs = {
        Xf(164, 1), Xf(165, 1), Xf(166, 1), Xf(167, 1), Xf(168, 1), Xf(14, 1), Xf(15, 1),
        Xf(18, 1),  Xf(22, 1),  Xf(45, 1),  Xf(0, 9),   Xf(169, 1), Xf(170, 1)};
    const std::string sst = Sst(3, {Le16(6) + std::string(1, 0) + "shared" + Le16(0) +
                                    std::string(1, 0) + UniString(u"wide \u20AC", true)});

    std::string sheet;
    sheet += Rec(0x0200, Le32(0) + Le32(1) + Le16(0) + Le16(1) + Le16(0)); // DIMENSIONS, wrong
    sheet += Rec(0x007D, Le16(1) + Le16(3) + Le16(20 * 256) + Le16(15) + Le16(2) + Le16(0));
    sheet += Row(0, 600, 0x0140) + Row(1, 400, 0x0100); // the second: height from the font
    sheet += Rec(0x0204, Cell(0, 0, 15) + UniString(u"label text", false));
    sheet += Rec(0x0204, Cell(0, 1, 15) + UniString(u"Gr\u00FC\u00DFe \u20AC", true));
    sheet += Rec(0x00D6, Cell(0, 2, 15) + UniString(u"rich", false) + Le16(1) + Le16(0) + Le16(0));
    sheet += Rec(0x00FD, Cell(0, 3, 26) + Le32(0));
    sheet += Rec(0x00FD, Cell(0, 4, 15) + Le32(1)); // empty string: empty cell
    sheet += Rec(0x00FD, Cell(0, 5, 15) + Le32(2));
    sheet += Rec(0x00BD, Le16(1) + Le16(0) + Le16(15) + Le32(RkInt(5)) + Le16(15) +
                             Le32(RkInt(1234, true)) + Le16(15) + Le32(RkFloat(2.5)) + Le16(15) +
                             Le32(RkFloat(1234.5, true)) + Le16(16) + Le32(RkInt(46361)) +
                             Le16(15) + Le32(RkInt(-7)) + Le16(5));
    sheet += Number(2, 0, 21, 46361) + Number(2, 1, 22, 46361) + Number(2, 2, 23, 0.75) +
             Number(2, 3, 24, 46361.5) + Number(2, 4, 25, 0.01) + Number(2, 5, 27, 3) +
             Number(2, 6, 17, 3.5) + Number(2, 7, 18, 4) + Number(2, 8, 19, 1.5) +
             Number(2, 9, 20, -2) + Number(2, 10, 28, 46361.25);
    sheet += Rec(0x0205, Cell(3, 0, 15) + "\x01" + std::string(1, 0));
    sheet += Rec(0x0205, Cell(3, 1, 15) + "\x2A\x01");
    sheet += Formula(3, 2, 15, F64(42.5));
    sheet += Formula(3, 3, 15, SpecialResult(0)) + Rec(0x0207, UniString(u"formula text", false));
    sheet += Formula(3, 4, 15, SpecialResult(1, 0));
    sheet += Formula(3, 5, 15, SpecialResult(2, 0x07));
    sheet += Formula(3, 6, 15, SpecialResult(3));
    sheet += Rec(0x0201, Cell(3, 7, 15));
    sheet += Rec(0x00BE, Le16(3) + Le16(8) + Le16(15) + Le16(15) + Le16(9));
    // A text result stored after a shared formula, its text running on in a CONTINUE
    // record that switches to UTF-16.
    const std::u16string longText = Ascii16(LongFormulaText()) + u"\u20AC\u20AC";
    sheet += Formula(4, 0, 15, SpecialResult(0)) +
             Rec(0x04BC, Le16(4) + Le16(4) + std::string(1, 0) + std::string(1, 0) + Le16(0) +
                             Le16(0) + Le16(0)) +
             Rec(0x0207, Le16(static_cast<std::uint32_t>(longText.size())) + std::string(1, 0) +
                             LongFormulaText()) +
             Rec(0x003C, std::string(1, 1) + Chars(u"\u20AC\u20AC", true));
    sheet += Number(200, 200, 15, 1); // beyond what DIMENSIONS claims
    // An embedded chart: its records are not cells of the sheet.
    sheet += Bof(0x0020) + Number(300, 0, 15, 99) + Rec(0x000A, "");
    return Stream(sheet, sst, formats, xfs);
}

TEST_F(XlsReadTest, CellRecordsOfOtherWriters) {
    const std::string file = Container(OtherWriterStream());
    const CXlsWorkbook wb = CXlsWorkbook::LoadFromMemory(file, "other.xls");
    ASSERT_EQ(wb.m_vecSheets.size(), 1u);
    const CXlsSheet& s = wb.m_vecSheets[0];
    EXPECT_EQ(s.m_strName, u"Data");

    std::uint32_t r0 = 9, c0 = 9, r1 = 0, c1 = 0;
    ASSERT_TRUE(s.UsedRange(r0, c0, r1, c1));
    EXPECT_EQ(r0, 0u);
    EXPECT_EQ(c0, 0u);
    EXPECT_EQ(r1, 200u);
    EXPECT_EQ(c1, 200u);
    EXPECT_TRUE(At(s, 300, 0).IsEmpty());

    EXPECT_EQ(At(s, 0, 0).m_strText, u"label text");
    EXPECT_EQ(At(s, 0, 1).m_strText, u"Gr\u00FC\u00DFe \u20AC");
    EXPECT_EQ(At(s, 0, 2).m_strText, u"rich");
    EXPECT_EQ(At(s, 0, 3).m_strText, u"shared");
    EXPECT_TRUE(At(s, 0, 3).m_bQuotePrefix);
    EXPECT_FALSE(At(s, 0, 0).m_bQuotePrefix);
    EXPECT_TRUE(At(s, 0, 4).IsEmpty());
    EXPECT_EQ(At(s, 0, 5).m_strText, u"wide \u20AC");

    const double mulrk[] = {5, 12.34, 2.5, 12.345, 46361, -7};
    for (std::uint32_t c = 0; c < std::size(mulrk); ++c) {
        EXPECT_EQ(At(s, 1, c).m_kind, CXlsCell::EKind::Number);
        EXPECT_DOUBLE_EQ(At(s, 1, c).m_dNumber, mulrk[c]) << c;
    }
    EXPECT_EQ(At(s, 1, 4).m_format, EXlsNumberFormat::OtherDate); // custom dd/mm/yyyy

    const EXlsNumberFormat formats[] = {
        EXlsNumberFormat::Date,     EXlsNumberFormat::OtherDate, EXlsNumberFormat::Time,
        EXlsNumberFormat::DateTime, EXlsNumberFormat::Time,      EXlsNumberFormat::General,
        EXlsNumberFormat::General,  EXlsNumberFormat::General,   EXlsNumberFormat::OtherDate,
        EXlsNumberFormat::General,  EXlsNumberFormat::OtherDate};
    for (std::uint32_t c = 0; c < std::size(formats); ++c) {
        EXPECT_EQ(At(s, 2, c).m_format, formats[c]) << c;
        EXPECT_EQ(At(s, 2, c).IsDate(), formats[c] != EXlsNumberFormat::General) << c;
    }

    EXPECT_EQ(At(s, 3, 0).m_kind, CXlsCell::EKind::Boolean);
    EXPECT_EQ(At(s, 3, 0).m_dNumber, 1);
    EXPECT_EQ(At(s, 3, 1).m_kind, CXlsCell::EKind::Error);
    EXPECT_EQ(At(s, 3, 1).m_dNumber, 0x2A);
    EXPECT_EQ(At(s, 3, 2).m_dNumber, 42.5);
    EXPECT_EQ(At(s, 3, 3).m_strText, u"formula text");
    EXPECT_EQ(At(s, 3, 4).m_kind, CXlsCell::EKind::Boolean);
    EXPECT_EQ(At(s, 3, 4).m_dNumber, 0);
    EXPECT_EQ(At(s, 3, 5).m_kind, CXlsCell::EKind::Error);
    EXPECT_TRUE(At(s, 3, 6).IsEmpty());
    EXPECT_TRUE(At(s, 3, 7).IsEmpty());
    EXPECT_TRUE(At(s, 3, 9).IsEmpty());
    EXPECT_EQ(At(s, 4, 0).m_strText, Ascii16(LongFormulaText()) + u"\u20AC\u20AC");

    EXPECT_DOUBLE_EQ(s.RowHeight(0), 30);
    EXPECT_DOUBLE_EQ(s.RowHeight(1), CXlsSheet::kDefaultRowHeight);
    ASSERT_EQ(s.m_vecColumnWidths.size(), 4u);
    EXPECT_EQ(s.m_vecColumnWidths[0], 0);
    EXPECT_EQ(s.m_vecColumnWidths[3], 20);

    // python3-xlrd reads the same hand-made file the same way.
    if (!HaveXlrd()) {
        GTEST_SKIP() << "python3-xlrd is not installed";
    }
    const CXlrdSheet x = ReadBytesWithXlrd(file);
    ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
    for (const auto& [pos, xc] : x.m_mapCells) {
        SCOPED_TRACE(testing::Message() << pos.first << "," << pos.second);
        const CXlsCell& cell = At(s, std::uint32_t(pos.first), std::uint32_t(pos.second));
        switch (xc.m_nType) {
        case 1:
            EXPECT_EQ(cell.m_strText, xc.Text());
            break;
        case 2:
        case 3:
            EXPECT_EQ(cell.m_kind, CXlsCell::EKind::Number);
            EXPECT_EQ(cell.IsDate(), xc.m_nType == 3);
            EXPECT_DOUBLE_EQ(cell.m_dNumber, xc.Number());
            break;
        case 4:
            EXPECT_EQ(cell.m_kind, CXlsCell::EKind::Boolean);
            EXPECT_EQ(cell.m_dNumber, xc.Number());
            break;
        case 5:
            EXPECT_EQ(cell.m_kind, CXlsCell::EKind::Error);
            EXPECT_EQ(cell.m_dNumber, xc.Number());
            break;
        default:
            ADD_FAILURE() << "cell type " << xc.m_nType;
        }
    }
    // xlrd shows an empty text where we see an empty cell.
    std::size_t nTheirs = 0;
    for (const auto& [pos, xc] : x.m_mapCells) {
        nTheirs += xc.m_nType == 1 && xc.m_strValue.empty() ? 0 : 1;
    }
    std::size_t nOurs = 0;
    for (const auto& row : s.m_vecRows) {
        for (const CXlsCell& cell : row) {
            nOurs += cell.IsEmpty() ? 0 : 1;
        }
    }
    EXPECT_EQ(nTheirs, nOurs);
}

// Strings of the string table as other writers split them: formatting runs and phonetic
// data crossing a record end, a string switching from compressed to UTF-16 at a
// CONTINUE record, a header ending a record with its characters in the next.
TEST_F(XlsReadTest, StringTableContinuationsOfOtherWriters) {
    const std::string rich = Le16(4) + "\x08" + Le16(2) + "rich" + Le32(0x00010000);
    const std::string richRest = Le32(0x00020002); // second run, in the CONTINUE record
    const std::string ext = Le16(3) + "\x04" + Le32(10) + "ext" + std::string(4, 'P');
    const std::string extRest = std::string(6, 'P');
    const std::string mixed = Le16(6) + std::string(1, 0) + "abc";
    const std::string mixedRest = std::string(1, 1) + Chars(u"\u20ACd\u00E9", true);
    const std::string headerOnly = Le16(5) + std::string(1, 1);
    const std::string headerRest = std::string(1, 0) + "fghij";
    const std::string both =
        Le16(3) + "\x0D" + Le16(1) + Le32(4) + Chars(u"x\u0416z", true) + Le32(0) + "PPPP";

    const std::string sst =
        Sst(5, {rich, richRest + ext, extRest + mixed, mixedRest + headerOnly, headerRest + both});
    std::string sheet;
    for (std::uint32_t i = 0; i < 5; ++i) {
        sheet += Rec(0x00FD, Cell(i, 0, 15) + Le32(i));
    }
    const std::string file = Container(Stream(sheet, sst));
    const CXlsSheet s = CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0];
    const std::u16string expected[] = {u"rich", u"ext", u"abc\u20ACd\u00E9", u"fghij", u"x\u0416z"};
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(At(s, i, 0).m_strText, expected[i]) << i;
    }
    if (HaveXlrd()) {
        const CXlrdSheet x = ReadBytesWithXlrd(file);
        ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
        for (std::uint32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(x.m_mapCells.at({int(i), 0}).Text(), expected[i]) << i;
        }
    }
}

// Containers as other programs write them: streams below 4,096 bytes in the mini stream,
// other streams beside the workbook, any root name; the 1904 date system.
TEST_F(XlsReadTest, ContainersAndDateSystemsOfOtherWriters) {
    const std::string sheet = Number(0, 0, 16, 1000) + Number(0, 1, 15, 1000);
    for (const std::size_t nSize : {std::size_t{0}, std::size_t{4095}, std::size_t{4096},
                                    std::size_t{4097}, std::size_t{70000}}) {
        for (const bool b1904 : {false, true}) {
            SCOPED_TRACE(testing::Message() << nSize << " bytes, 1904: " << b1904);
            std::string stream = Stream(sheet, "", b1904 ? Rec(0x0022, Le16(1)) : "", {Xf(14, 1)});
            stream.resize(std::max(stream.size(), nSize), '\0');
            std::vector<CCompoundFile::CStream> streams = {
                {u"\x05SummaryInformation", std::string(300, 's')},
                {u"Workbook", stream},
                {u"\x01CompObj", std::string(100, 'c')},
                {u"Ctls", std::string(5000, 'x')}};
            std::string file = CCompoundFile::Write(streams);
            // Rename the root entry: readers must not depend on its name.
            const std::size_t nDir = 512 * (1 + Get32(file, 48));
            ASSERT_EQ(file.substr(nDir, 4), std::string("R\0o\0", 4));
            file.replace(nDir, 66, Le16('X') + std::string(62, '\0') + Le16(4));

            const CXlsSheet s = CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0];
            EXPECT_EQ(At(s, 0, 0).m_dNumber, b1904 ? 2462 : 1000);
            EXPECT_EQ(At(s, 0, 0).m_format, EXlsNumberFormat::Date);
            EXPECT_EQ(At(s, 0, 1).m_dNumber, 1000);
            if (HaveXlrd() && nSize == 4095) {
                const CXlrdSheet x = ReadBytesWithXlrd(file);
                ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
                EXPECT_EQ(x.m_mapCells.at({0, 1}).Number(), 1000);
            }
        }
    }
}

// A version 4 compound file (4,096-byte sectors): header sector, FAT, directory, stream.
std::string Version4(const std::string& stream) {
    constexpr std::size_t kSector = 4096;
    const std::size_t nStreamSectors = (stream.size() + kSector - 1) / kSector;
    std::string header = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(16, 0) +
                         Le16(0x3E) + Le16(4) + Le16(0xFFFE) + Le16(12) + Le16(6) +
                         std::string(6, 0) + Le32(1) + Le32(1) + Le32(1) + Le32(0) + Le32(4096) +
                         Le32(0xFFFFFFFE) + Le32(0) + Le32(0xFFFFFFFE) + Le32(0) + Le32(0);
    for (int i = 1; i < 109; ++i) {
        header += Le32(0xFFFFFFFF);
    }
    header.resize(kSector, '\0');
    std::string fat = Le32(0xFFFFFFFD) + Le32(0xFFFFFFFE);
    for (std::size_t i = 0; i < nStreamSectors; ++i) {
        fat += Le32(i + 1 < nStreamSectors ? std::uint32_t(3 + i) : 0xFFFFFFFE);
    }
    fat.resize(kSector, '\xFF');
    const auto entry = [](std::u16string_view name, std::uint8_t type, std::uint32_t child,
                          std::uint32_t start, std::uint64_t size) {
        std::string e = Chars(name, true);
        e.resize(64, '\0');
        e += Le16(std::uint32_t(2 * name.size() + 2)) + std::string(1, char(type)) + "\x01" +
             Le32(0xFFFFFFFF) + Le32(0xFFFFFFFF) + Le32(child) + std::string(36, 0) + Le32(start) +
             Le32(std::uint32_t(size)) + Le32(std::uint32_t(size >> 32));
        return e;
    };
    std::string dir = entry(u"Root Entry", 5, 1, 0xFFFFFFFE, 0) +
                      entry(u"Workbook", 2, 0xFFFFFFFF, 2, stream.size());
    dir.resize(kSector, '\0');
    std::string data = stream;
    data.resize(nStreamSectors * kSector, '\0');
    return header + fat + dir + data;
}

TEST_F(XlsReadTest, Version4ContainersAndVersion3SizeHighHalf) {
    std::string stream = Stream(Number(0, 0, 15, 7.5));
    stream.resize(9000, '\0');
    EXPECT_EQ(At(CXlsWorkbook::LoadFromMemory(Version4(stream)).m_vecSheets[0], 0, 0).m_dNumber,
              7.5);

    // Version 3 writers may leave garbage in the high half of a stream size.
    std::string file = Container(stream);
    const std::size_t nWorkbookEntry = 512 * (1 + Get32(file, 48)) + 128;
    file.replace(nWorkbookEntry + 124, 4, Le32(0xDEADBEEF));
    EXPECT_EQ(At(CXlsWorkbook::LoadFromMemory(file).m_vecSheets[0], 0, 0).m_dNumber, 7.5);
}

// Workbooks made by gnumeric from CSV files, read back by our reader.
TEST_F(XlsReadTest, WorkbooksWrittenByGnumeric) {
    if (!HaveSsconvert()) {
        GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    }
    const std::string note600 = std::string(600, 'n');
    const std::string note20k = std::string(20000, 'L');
    std::string csv = "Date,Start Time,Subject,Count,Notes\n";
    csv += "2026-12-05,14:30,Caf\xC3\xA9 \xE2\x82\xAC 5,42,\"two\nlines\"\n";
    csv += "2026-12-06,09:05,\"Comma, \"\"quoted\"\"\",-7," + note600 + "\n";
    csv += "2026-12-07,23:59,\xE6\x97\xA5\xE6\x9C\xAC,3.25," + note20k + "\n";
    for (int i = 0; i < 2000; ++i) {
        csv += "2027-01-" + std::string(i % 28 < 9 ? "0" : "") + std::to_string(i % 28 + 1) +
               ",08:00,Row " + std::to_string(i) + "," + std::to_string(i * 3) + ",\n";
    }
    const std::string csvPath = TempPath("gnumeric.csv");
    const std::string xlsPath = TempPath("gnumeric.xls");
    WriteFileBytes(csvPath, csv);
    ASSERT_TRUE(Ssconvert(Home(), csvPath, xlsPath, "Gnumeric_Excel:excel_biff8"));

    const CXlsSheet s = CXlsWorkbook::Load(xlsPath).m_vecSheets[0];
    std::uint32_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    ASSERT_TRUE(s.UsedRange(r0, c0, r1, c1));
    EXPECT_EQ(r0, 0u);
    EXPECT_EQ(c0, 0u);
    EXPECT_EQ(r1, 2003u);
    EXPECT_EQ(c1, 4u);
    const auto text = [&](std::uint32_t r, std::uint32_t c) {
        return Utf16ToCodePage(At(s, r, c).m_strText, CP_UTF8);
    };
    EXPECT_EQ(text(0, 0), "Date");
    EXPECT_EQ(text(0, 4), "Notes");
    EXPECT_TRUE(At(s, 1, 0).IsDate());
    EXPECT_EQ(At(s, 1, 0).m_dNumber, 46361);
    EXPECT_TRUE(At(s, 1, 1).IsDate());
    EXPECT_NEAR(At(s, 1, 1).m_dNumber, 14.5 / 24, 1e-9);
    EXPECT_EQ(text(1, 2), "Caf\xC3\xA9 \xE2\x82\xAC 5");
    EXPECT_EQ(At(s, 1, 3).m_dNumber, 42);
    EXPECT_FALSE(At(s, 1, 3).IsDate());
    EXPECT_EQ(text(1, 4), "two\nlines");
    EXPECT_EQ(text(2, 2), "Comma, \"quoted\"");
    EXPECT_EQ(At(s, 2, 3).m_dNumber, -7);
    EXPECT_EQ(text(2, 4), note600);
    EXPECT_EQ(text(3, 2), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(At(s, 3, 3).m_dNumber, 3.25);
    EXPECT_EQ(text(3, 4), note20k);
    for (std::uint32_t i = 0; i < 2000; ++i) {
        ASSERT_EQ(At(s, 4 + i, 0).m_dNumber, 46388 + i % 28) << i;
        ASSERT_TRUE(At(s, 4 + i, 1).IsDate()) << i;
        ASSERT_EQ(text(4 + i, 2), "Row " + std::to_string(i));
        ASSERT_EQ(At(s, 4 + i, 3).m_dNumber, i * 3);
        ASSERT_TRUE(At(s, 4 + i, 4).IsEmpty());
    }
}

// A workbook whose stream fills 8 regular sectors.
std::string WithSheet(const std::string& sheet, const std::string& globals = "") {
    std::string stream = Stream(sheet, "", globals);
    stream.resize(std::max<std::size_t>(stream.size(), 4096), '\0');
    return Container(stream);
}

// A copy of a valid file with 4 bytes at an offset replaced.
std::string Patched(std::string file, std::size_t at, std::uint32_t v) {
    file.replace(at, 4, Le32(v));
    return file;
}

TEST_F(XlsReadTest, MalformedFilesAreRefusedWithAReason) {
    const std::string good = WithSheet(Number(0, 0, 15, 1));
    const std::size_t nDir = 512 * (1 + Get32(good, 48));
    const std::size_t nWorkbookEntry = nDir + 128;
    const std::uint32_t nFirst = Get32(good, nWorkbookEntry + 116);

    std::string bookFile = Container(Stream(Number(0, 0, 15, 1)), u"Book");
    std::string docFile = Container(std::string(5000, 'w'), u"WordDocument");
    std::string biff5 = Container(Stream("").replace(4, 2, Le16(0x0500)));

    struct {
        const char* m_pszName;
        std::string m_bytes;
        const char* m_pszMessage;
    } const cases[] = {
        {"empty file", "", "t.xls: not a workbook"},
        {"text file", "Date,Subject\n2026-12-05,Lunch\n", "t.xls: not a workbook"},
        {"xlsx", std::string("PK\x03\x04", 4) + std::string(100, 'z'), "Excel 2007 or later"},
        {"BIFF2", std::string("\x09\x00\x04\x00\x02\x00\x10\x00", 8), "Excel 4.0 or older"},
        {"Excel 5.0 stream name", bookFile, "t.xls: an Excel 5.0/95 workbook"},
        {"Excel 5.0 BOF", biff5, "t.xls: an Excel 5.0/95 or older workbook"},
        {"other compound file", docFile, "t.xls: not a workbook"},
        {"truncated header", good.substr(0, 300),
         "t.xls: damaged workbook (truncated file header)"},
        {"truncated file", good.substr(0, good.size() - 600), "damaged workbook (truncated file)"},
        {"FAT loop", Patched(good, 512 + 4 * nFirst, nFirst),
         "damaged workbook (sector chain loops)"},
        {"chain outside the file", Patched(good, 512 + 4 * nFirst, 5000),
         "damaged workbook (sector outside the file)"},
        {"stream size beyond the file", Patched(good, nWorkbookEntry + 120, 0x7FFFFFF0),
         "damaged workbook (stream larger than the file)"},
        {"directory loop", Patched(good, nWorkbookEntry + 68, 1),
         "damaged workbook (directory tree is broken)"},
        {"FAT count", Patched(good, 44, 1000), "damaged workbook (bad FAT size)"},
        {"password", WithSheet("", Rec(0x002F, Le16(0))), "protected with a password"},
        {"string index", WithSheet(Rec(0x00FD, Cell(0, 0, 15) + Le32(0))),
         "damaged workbook (string index outside the string table)"},
        {"column 256", WithSheet(Number(0, 256, 15, 1)),
         "damaged workbook (cell beyond column 256)"},
        {"MULRK past column 256",
         WithSheet(Rec(0x00BD,
                       Le16(0) + Le16(255) + Le16(15) + Le32(2) + Le16(15) + Le32(2) + Le16(256))),
         "damaged workbook (cell beyond column 256)"},
        {"short cell record", WithSheet(Rec(0x0203, Cell(0, 0, 15) + "abc")),
         "damaged workbook (truncated cell record)"},
        {"sheet without EOF", Container(Stream("").substr(0, Stream("").size() - 4)),
         "damaged workbook (sheet without end)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        try {
            (void)CXlsWorkbook::LoadFromMemory(c.m_bytes, "t.xls");
            ADD_FAILURE() << "no error";
        } catch (const CXlsError& e) {
            EXPECT_NE(std::string(e.what()).find(c.m_pszMessage), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("t.xls: ", 0), 0u) << e.what();
        }
    }
}

TEST_F(XlsReadTest, FilesThatCannotBeOpened) {
    const std::string missing = Home() + "/missing.xls";
    try {
        (void)CXlsWorkbook::Load(missing);
        FAIL();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()), missing + ": cannot open (No such file or directory)");
    }
    try {
        (void)CXlsWorkbook::Load(Home());
        FAIL();
    } catch (const CXlsError& e) {
        EXPECT_EQ(std::string(e.what()), Home() + ": not a workbook");
    }
}

} // namespace
