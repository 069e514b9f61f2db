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

CXlsCell At(const CXlsSheet& s, std::uint32_t r, std::uint32_t c) {
    return s.Get(r, c);
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
    sheet += Rec(0x0205, Cell(3, 7, 15) + "\xAB\x01"); // an error code no application writes
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
    EXPECT_EQ((std::vector<std::uint32_t>{r0, c0, r1, c1}),
              (std::vector<std::uint32_t>{0, 0, 200, 200})); // not what DIMENSIONS claims
    EXPECT_TRUE(At(s, 300, 0).IsEmpty());                    // a chart's cell

    const std::u16string texts[] = {
        u"label text", u"Gr\u00FC\u00DFe \u20AC", u"rich", u"shared", u"", u"wide \u20AC"};
    for (std::uint32_t c = 0; c < std::size(texts); ++c) {
        EXPECT_EQ(At(s, 0, c).m_strText, texts[c]) << c;
        EXPECT_EQ(At(s, 0, c).m_bQuotePrefix, c == 3) << c;
    }
    EXPECT_TRUE(At(s, 0, 4).IsEmpty());                           // an empty shared string
    EXPECT_EQ(At(s, 1, 4).m_format, EXlsNumberFormat::OtherDate); // custom dd/mm/yyyy
    using F = EXlsNumberFormat;
    const F formats[] = {F::Date,      F::OtherDate, F::Time,     F::DateTime,
                         F::Time,      F::General,   F::General,  F::General,
                         F::OtherDate, F::General,   F::OtherDate};
    for (std::uint32_t c = 0; c < std::size(formats); ++c) {
        EXPECT_EQ(At(s, 2, c).m_format, formats[c]) << c;
    }
    // Values, booleans and errors are compared with xlrd's below; formula results here.
    using K = CXlsCell::EKind;
    EXPECT_EQ(At(s, 3, 2).m_dNumber, 42.5);
    EXPECT_EQ(At(s, 3, 3).m_strText, u"formula text");
    // An empty result, which is also what writers that leave the calculation to the reader
    // store (python-xlwt): no value to give.
    EXPECT_EQ(At(s, 3, 6).m_kind, K::Error);
    EXPECT_EQ(At(s, 3, 6).m_dNumber, kXlsNoValue);
    EXPECT_EQ(At(s, 3, 7).m_kind, K::Error);
    EXPECT_EQ(At(s, 3, 7).m_dNumber, kXlsNoValue); // written back as #N/A, not as 0xAB
    EXPECT_EQ(At(s, 4, 0).m_strText, Ascii16(LongFormulaText()) + u"\u20AC\u20AC");
    EXPECT_DOUBLE_EQ(s.RowHeight(0), 30);
    EXPECT_DOUBLE_EQ(s.RowHeight(1), CXlsSheet::kDefaultRowHeight);
    EXPECT_EQ(s.m_vecColumnWidths, (std::vector<double>{0, 20, 20, 20}));

    // python3-xlrd reads the same hand-made file the same way.
    if (!HaveXlrd()) {
        GTEST_SKIP() << "python3-xlrd is not installed";
    }
    const CXlrdSheet x = ReadBytesWithXlrd(file);
    ASSERT_TRUE(x.m_bOk) << x.m_strOutput.substr(0, 2000);
    const K kinds[] = {K::Empty, K::Text, K::Number, K::Number, K::Boolean, K::Error};
    std::size_t nTheirs = 0;
    for (const auto& [pos, xc] : x.m_mapCells) {
        SCOPED_TRACE(testing::Message() << pos.first << "," << pos.second);
        const CXlsCell& cell = At(s, std::uint32_t(pos.first), std::uint32_t(pos.second));
        if (xc.m_nType == 1 && xc.m_strValue.empty()) {
            // xlrd shows an empty text where we see an empty cell, or a formula's empty
            // result where we see no value.
            EXPECT_TRUE(cell.IsEmpty() || cell.m_dNumber == kXlsNoValue);
            continue;
        }
        if (xc.m_nType == 5 && cell.m_dNumber == kXlsNoValue) {
            continue; // xlrd keeps the unknown code
        }
        ++nTheirs;
        ASSERT_TRUE(xc.m_nType >= 1 && xc.m_nType <= 5);
        EXPECT_EQ(cell.m_kind, kinds[xc.m_nType]);
        if (xc.m_nType == 1) {
            EXPECT_EQ(cell.m_strText, xc.Text());
        } else {
            EXPECT_EQ(cell.IsDate(), xc.m_nType == 3);
            EXPECT_DOUBLE_EQ(cell.m_dNumber, xc.Number());
        }
    }
    std::size_t nOurs = 0;
    for (std::uint32_t r = 0; r < s.RowCount(); ++r) {
        for (std::uint32_t col = 0; col < s.ColumnCount(r); ++col) {
            const CXlsCellView c = s.View(r, col);
            nOurs +=
                !c.IsEmpty() && !(c.m_kind == CXlsCell::EKind::Error && c.m_dNumber == kXlsNoValue);
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

// A stream whose sectors follow each other is read where it lies in the file; one whose
// sectors are out of order is put together in a copy, with the same bytes.
TEST_F(XlsReadTest, StreamsReadInPlaceOrPutTogether) {
    std::string stream(12 * 512, '\0'); // beyond the mini stream's 4,096 bytes
    for (std::size_t i = 0; i < stream.size(); ++i) {
        stream[i] = static_cast<char>('a' + i / 512);
    }
    const std::string file = CCompoundFile::Write({{u"Workbook", stream}});
    std::string storage;
    std::string_view bytes;
    ASSERT_TRUE(CCompoundFile::ReadStream(file, u"Workbook", storage, bytes));
    EXPECT_EQ(bytes, stream);
    EXPECT_TRUE(bytes.data() >= file.data() && bytes.data() < file.data() + file.size());

    // Sectors 2 and 3 of the stream change places, and the chain follows them.
    std::string fragmented = file;
    const std::size_t nDirEntry = 512 * (1 + Get32(file, 48)) + 128; // the stream's entry
    const std::uint32_t first = Get32(file, nDirEntry + 116);
    const std::size_t nFat = 512 * (1 + Get32(file, 76));
    const auto sectorAt = [](std::uint32_t s) { return 512 * (std::size_t{s} + 1); };
    fragmented.replace(sectorAt(first + 1), 512, file.substr(sectorAt(first + 2), 512));
    fragmented.replace(sectorAt(first + 2), 512, file.substr(sectorAt(first + 1), 512));
    fragmented.replace(nFat + 4 * first, 4, Le32(first + 2));
    fragmented.replace(nFat + 4 * (first + 2), 4, Le32(first + 1));
    fragmented.replace(nFat + 4 * (first + 1), 4, Le32(first + 3));
    ASSERT_TRUE(CCompoundFile::ReadStream(fragmented, u"Workbook", storage, bytes));
    EXPECT_EQ(bytes, stream);
    EXPECT_EQ(bytes.data(), storage.data());
    std::string copy;
    ASSERT_TRUE(CCompoundFile::ReadStream(fragmented, u"Workbook", copy));
    EXPECT_EQ(copy, stream);
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

    // Each case: the bytes, and what the message (after "t.xls: ") says.
    const std::pair<std::string, std::string> cases[] = {
        {"", "not a workbook"},
        {"Date,Subject\n2026-12-05,Lunch\n", "not a workbook"},
        {std::string("PK\x03\x04", 4) + std::string(100, 'z'),
         "not a workbook (a zip archive that cannot be read)"},
        {std::string("\x09\x00\x04\x00\x02\x00\x10\x00", 8), "Excel 4.0 or older"},
        {bookFile, "an Excel 5.0/95 workbook"},
        {biff5, "an Excel 5.0/95 or older workbook"},
        {docFile, "not a workbook"},
        {good.substr(0, 300), "damaged workbook (truncated file header)"},
        {good.substr(0, good.size() - 600), "damaged workbook (truncated file)"},
        {Patched(good, 512 + 4 * nFirst, nFirst), "damaged workbook (sector chain loops)"},
        {Patched(good, 512 + 4 * nFirst, 5000), "damaged workbook (sector outside the file)"},
        {Patched(good, nWorkbookEntry + 120, 0x7FFFFFF0),
         "damaged workbook (stream larger than the file)"},
        {Patched(good, nWorkbookEntry + 68, 1), "damaged workbook (directory tree is broken)"},
        {Patched(good, 44, 1000), "damaged workbook (bad FAT size)"},
        {WithSheet("", Rec(0x002F, Le16(0))), "protected with a password"},
        {WithSheet(Rec(0x00FD, Cell(0, 0, 15) + Le32(0))),
         "damaged workbook (string index outside the string table)"},
        {WithSheet(Number(0, 256, 15, 1)), "damaged workbook (cell beyond column 256)"},
        {WithSheet(Rec(0x00BD,
                       Le16(0) + Le16(255) + Le16(15) + Le32(2) + Le16(15) + Le32(2) + Le16(256))),
         "damaged workbook (cell beyond column 256)"},
        {WithSheet(Rec(0x0203, Cell(0, 0, 15) + "abc")),
         "damaged workbook (truncated cell record)"},
        {Container(Stream("").substr(0, Stream("").size() - 4)),
         "damaged workbook (sheet without end)"}};
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        try {
            (void)CXlsWorkbook::LoadFromMemory(bytes, "t.xls");
            ADD_FAILURE() << "no error";
        } catch (const CXlsError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("t.xls: ", 0), 0u) << e.what();
        }
    }
    // Files that cannot be opened at all.
    const std::string missing = Home() + "/missing.xls";
    for (const auto& [path, message] :
         {std::pair{missing, missing + ": cannot open (No such file or directory)"},
          std::pair{Home(), Home() + ": not a workbook"}}) {
        try {
            (void)CXlsWorkbook::Load(path);
            ADD_FAILURE() << path;
        } catch (const CXlsError& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
}

} // namespace
