// Office Open XML workbooks: what the engine writes opens in openpyxl with the same cells
// (dates as dates) and reads back the same; files written by openpyxl and by gnumeric read
// right; sheets go past the 65,536 rows of the older format; damaged files are refused with
// a reason.
#include "platform/spreadsheet/XlsxFile.h"

#include "tests/spreadsheet/XlsTestSupport.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>

using namespace xlstest;

namespace {

// The cells as openpyxl reads them: (row, column) 1-based -> "type value".
struct COpenpyxlSheet {
    bool m_bOk = false;
    std::string m_strOutput;
    int m_nRows = 0;
    int m_nColumns = 0;
    std::map<std::pair<int, int>, std::string> m_mapCells;
};

COpenpyxlSheet ReadWithOpenpyxl(const std::string& path, bool bCountOnly = false) {
    COpenpyxlSheet sheet;
    int nStatus = 0;
    sheet.m_strOutput =
        RunCommand("/usr/bin/python3 " VARNO_SOURCE_DIR "/tests/spreadsheet/openpyxl_dump.py " +
                       Quote(path) + (bCountOnly ? " count" : "") + " 2>&1",
                   nStatus);
    sheet.m_bOk = nStatus == 0;
    std::istringstream in(sheet.m_strOutput);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string kind, type, value;
        int r = 0, c = 0;
        f >> kind;
        if (kind == "S")
            f >> sheet.m_nRows >> sheet.m_nColumns;
        else if (kind == "C" && f >> r >> c >> type >> value)
            sheet.m_mapCells[{r, c}] = type + " " + value;
    }
    return sheet;
}

std::string Hex16(std::u16string_view text) {
    static const char* kDigits = "0123456789abcdef";
    std::string out;
    for (const char16_t c : text)
        for (const int n : {c & 0xFF, c >> 8}) {
            out += kDigits[n >> 4];
            out += kDigits[n & 15];
        }
    return out;
}

CXlsSheet SampleSheet() {
    CXlsSheet sheet;
    sheet.m_nMaxRows = kXlsxMaxRows;
    sheet.m_nMaxColumns = kXlsxMaxColumns;
    sheet.m_strName = u"Datebook \u00E9";
    SetText(sheet, 0, 0, u"Date");
    SetText(sheet, 0, 1, u"Text");
    SetNumber(sheet, 1, 0, 46361, EXlsNumberFormat::Date); // 2026-12-05
    SetText(sheet, 1, 1, u"Caf\u00E9 \u20AC \U0001F600 <&>\nline 2");
    SetNumber(sheet, 2, 0, 0.5625, EXlsNumberFormat::Time); // 13:30
    SetText(sheet, 2, 1, u"12:30", true);
    SetNumber(sheet, 3, 0, 46361.75, EXlsNumberFormat::DateTime); // 2026-12-05 18:00
    SetNumber(sheet, 3, 1, 5400);
    SetNumber(sheet, 4, 1, -2.25);
    CXlsCell b;
    b.m_kind = CXlsCell::EKind::Boolean;
    b.m_dNumber = 1;
    sheet.Set(4, 0, b);
    SetText(sheet, 5, 3, u"far cell");
    return sheet;
}

// An archive of the parts (name, content), deflated as writers store them.
std::string ZipParts(const std::vector<std::pair<std::string, std::string>>& parts) {
    zip_source_t* pOut = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_source_keep(pOut);
    zip_t* pZip = zip_open_from_source(pOut, ZIP_TRUNCATE, nullptr);
    for (const auto& [name, content] : parts) {
        zip_source_t* pPart = zip_source_buffer(pZip, content.data(), content.size(), 0);
        EXPECT_GE(zip_file_add(pZip, name.c_str(), pPart, 0), 0) << name;
    }
    EXPECT_EQ(zip_close(pZip), 0);
    std::string out;
    EXPECT_EQ(zip_source_open(pOut), 0);
    char buf[65536];
    for (zip_int64_t n = 0; (n = zip_source_read(pOut, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    (void)zip_source_close(pOut);
    zip_source_free(pOut);
    return out;
}

// A workbook of one sheet (the XML inside <sheetData>), with a shared string table when
// one is given.
std::string MinimalWorkbook(const std::string& strRows, const std::string& strStrings = "",
                            const std::string& strProlog = "") {
    const std::string r = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pr = "http://schemas.openxmlformats.org/package/2006/relationships";
    const std::string m = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships xmlns='" + pr + "'><Relationship Id='r1' Type='" + r +
                            "/officeDocument' Target='xl/workbook.xml'/></Relationships>"},
        {"xl/workbook.xml", "<workbook xmlns='" + m + "' xmlns:r='" + r +
                                "'><sheets><sheet name='S' sheetId='1' r:id='s1'/></sheets>"
                                "</workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns='" + pr + "'><Relationship Id='s1' Type='" + r +
             "/worksheet' Target='sheet.xml'/><Relationship Id='s2' Type='" + r +
             "/sharedStrings' Target='strings.xml'/></Relationships>"},
        {"xl/sheet.xml", strProlog + "<worksheet xmlns='" + m + "'><sheetData>" + strRows +
                             "</sheetData></worksheet>"},
    };
    if (!strStrings.empty())
        parts.emplace_back("xl/strings.xml", "<sst xmlns='" + m + "'>" + strStrings + "</sst>");
    return ZipParts(parts);
}

// The message of the error a load ends in; empty when it loads.
std::string LoadError(const std::string& bytes) {
    try {
        (void)CXlsWorkbook::LoadFromMemory(bytes, "t.xlsx");
    } catch (const CXlsError& e) {
        return e.what();
    }
    return {};
}

class XlsxTest : public CVarnoTest {};

TEST_F(XlsxTest, WrittenCellsReadTheSameInOpenpyxlAndBack) {
    const CXlsSheet sheet = SampleSheet();
    const std::string path = TempPath("sample.xlsx");
    WriteFileBytes(path, CXlsxFile::Write(sheet));

    const COpenpyxlSheet py = ReadWithOpenpyxl(path);
    ASSERT_TRUE(py.m_bOk) << py.m_strOutput;
    EXPECT_EQ(py.m_mapCells, (std::map<std::pair<int, int>, std::string>{
                                 {{1, 1}, "s " + Hex16(u"Date")},
                                 {{1, 2}, "s " + Hex16(u"Text")},
                                 {{2, 1}, "d 2026-12-05T00:00:00"},
                                 {{2, 2}, "s " + Hex16(u"Caf\u00E9 \u20AC \U0001F600 <&>\nline 2")},
                                 {{3, 1}, "d 13:30:00"},
                                 {{3, 2}, "s " + Hex16(u"12:30")},
                                 {{4, 1}, "d 2026-12-05T18:00:00"},
                                 {{4, 2}, "n 5400.0"},
                                 {{5, 1}, "b 1"},
                                 {{5, 2}, "n -2.25"},
                                 {{6, 4}, "s " + Hex16(u"far cell")},
                             }));

    const CXlsSheet back = CXlsxFile::ReadFirstSheet(ReadFileBytes(path));
    EXPECT_EQ(back.m_strName, sheet.m_strName);
    for (std::uint32_t r = 0; r < 6; ++r)
        for (std::uint32_t c = 0; c < 4; ++c) {
            SCOPED_TRACE(::testing::Message() << r << "," << c);
            const CXlsCell written = sheet.Get(r, c);
            const CXlsCell read = back.Get(r, c);
            ASSERT_EQ(read.IsEmpty(), written.IsEmpty());
            if (written.IsEmpty())
                continue;
            EXPECT_EQ(read.m_kind, written.m_kind);
            EXPECT_EQ(read.m_strText, written.m_strText);
            EXPECT_EQ(read.m_dNumber, written.m_dNumber);
            EXPECT_EQ(read.IsDate(), written.IsDate());
        }
}

// Through the workbook: the format follows SaveAs, the grid grows with it, and Load tells
// the kinds apart by their content.
TEST_F(XlsxTest, WorkbooksKeepTheirFormatAndTheBiggerGrid) {
    CXlsWorkbook book;
    EXPECT_THROW(
        book.m_vecSheets[0].Set(
            70000, 0, CXlsCell{.m_kind = CXlsCell::EKind::Number, .m_dNumber = 1, .m_strText = {}}),
        CXlsError);
    book.SetFileFormat(EXlsFileFormat::Xlsx);
    for (std::uint32_t r = 0; r < 70000; ++r)
        SetNumber(book.m_vecSheets[0], r, 0, r);
    SetText(book.m_vecSheets[0], 69999, 300, u"last");
    const std::string path = TempPath("big.xlsx");
    book.Save(path);

    const CXlsWorkbook back = CXlsWorkbook::Load(path);
    EXPECT_EQ(back.GetFileFormat(), EXlsFileFormat::Xlsx);
    std::uint32_t nTop = 0, nLeft = 0, nBottom = 0, nRight = 0;
    ASSERT_TRUE(back.m_vecSheets[0].UsedRange(nTop, nLeft, nBottom, nRight));
    EXPECT_EQ(std::tuple(nTop, nLeft, nBottom, nRight), std::tuple(0u, 0u, 69999u, 300u));
    EXPECT_EQ(back.m_vecSheets[0].Get(65536, 0).m_dNumber, 65536);
    const COpenpyxlSheet py = ReadWithOpenpyxl(path, true);
    ASSERT_TRUE(py.m_bOk) << py.m_strOutput;
    EXPECT_EQ(py.m_nRows, 70000);
    EXPECT_EQ(py.m_nColumns, 301);

    // The same cells cannot go into the older format.
    CXlsWorkbook old = back;
    old.SetFileFormat(EXlsFileFormat::Xls);
    EXPECT_THROW(old.Save(TempPath("big.xls")), CXlsError);
}

// A workbook gnumeric writes from one of ours reads with the same cells; so does one that
// openpyxl writes (inline strings are tried through gnumeric's shared strings the other
// way round).
TEST_F(XlsxTest, WorkbooksOfOtherProgramsRead) {
    if (!HaveSsconvert())
        GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    const CXlsSheet sheet = SampleSheet();
    const std::string ours = TempPath("ours.xlsx");
    WriteFileBytes(ours, CXlsxFile::Write(sheet));
    const std::string theirs = TempPath("theirs.xlsx");
    ASSERT_TRUE(Ssconvert(Home(), ours, theirs, "Gnumeric_Excel:xlsx2"));
    const CXlsSheet back = CXlsxFile::ReadFirstSheet(ReadFileBytes(theirs));
    for (std::uint32_t r = 0; r < 6; ++r)
        for (std::uint32_t c = 0; c < 4; ++c) {
            SCOPED_TRACE(::testing::Message() << r << "," << c);
            const CXlsCell written = sheet.Get(r, c);
            const CXlsCell read = back.Get(r, c);
            ASSERT_EQ(read.IsEmpty(), written.IsEmpty());
            if (written.IsEmpty())
                continue;
            EXPECT_EQ(read.m_strText, written.m_strText);
            EXPECT_EQ(read.m_dNumber, written.m_dNumber);
            EXPECT_EQ(read.IsDate(), written.IsDate());
        }
}

// A workbook from openpyxl: a date, a formula without its result, a boolean, a number.
TEST_F(XlsxTest, OpenpyxlWorkbookReads) {
    const std::string path = TempPath("py.xlsx");
    int nStatus = 0;
    const std::string out =
        RunCommand("/usr/bin/python3 -c '"
                   "import openpyxl, datetime\n"
                   "b = openpyxl.Workbook(); s = b.active; s.title = \"Tab\"\n"
                   "s[\"A1\"] = \"Date\"; s[\"A2\"] = datetime.datetime(2026, 12, 5)\n"
                   "s[\"B2\"] = \"=1+1\"; s[\"C2\"] = True; s[\"D2\"] = 3.5\n"
                   "b.save(\"" +
                       path + "\")' 2>&1",
                   nStatus);
    ASSERT_EQ(nStatus, 0) << out;
    const CXlsSheet read = CXlsxFile::ReadFirstSheet(ReadFileBytes(path));
    EXPECT_EQ(read.m_strName, u"Tab");
    ASSERT_FALSE(read.Get(1, 3).IsEmpty());
    EXPECT_TRUE(read.Get(1, 0).IsDate());
    EXPECT_EQ(read.Get(1, 0).m_dNumber, 46361);
    EXPECT_EQ(read.Get(1, 1).m_kind, CXlsCell::EKind::Error);
    EXPECT_EQ(read.Get(1, 1).m_dNumber, kXlsNoValue);
    EXPECT_EQ(read.Get(1, 2).m_kind, CXlsCell::EKind::Boolean);
    EXPECT_EQ(read.Get(1, 3).m_dNumber, 3.5);
}

// Parts laid out as other writers do: relationship targets given absolutely, a prefixed
// namespace, inline and rich strings with a phonetic reading, the 1904 date system, a
// custom date format, cells without references, escaped characters, an error value, a
// string formula with its result.
TEST_F(XlsxTest, HandMadePartsRead) {
    const std::string path = TempPath("hand.xlsx");
    const std::string script = R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED)
z.writestr("[Content_Types].xml", "<Types xmlns='http://schemas.openxmlformats.org/package/2006/content-types'/>")
z.writestr("_rels/.rels", "<Relationships xmlns='http://schemas.openxmlformats.org/package/2006/relationships'><Relationship Id='r1' Type='http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument' Target='/book/wb.xml'/></Relationships>")
z.writestr("book/wb.xml", "<x:workbook xmlns:x='http://schemas.openxmlformats.org/spreadsheetml/2006/main' xmlns:r='http://schemas.openxmlformats.org/officeDocument/2006/relationships'><x:workbookPr date1904='1'/><x:sheets><x:sheet name='First' sheetId='7' r:id='s7'/><x:sheet name='Second' sheetId='1' r:id='s1'/></x:sheets></x:workbook>")
z.writestr("book/_rels/wb.xml.rels", "<Relationships xmlns='http://schemas.openxmlformats.org/package/2006/relationships'><Relationship Id='s1' Type='http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet' Target='other.xml'/><Relationship Id='s7' Type='http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet' Target='sheets/first.xml'/><Relationship Id='st' Type='http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles' Target='/book/st.xml'/><Relationship Id='ss' Type='http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings' Target='strings.xml'/></Relationships>")
z.writestr("book/st.xml", "<styleSheet xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main'><numFmts count='1'><numFmt numFmtId='170' formatCode='d/m/yyyy;@'/></numFmts><cellStyleXfs count='1'><xf numFmtId='14'/></cellStyleXfs><cellXfs count='3'><xf numFmtId='0'/><xf numFmtId='170'/><xf numFmtId='0' quotePrefix='1'/></cellXfs></styleSheet>")
z.writestr("book/strings.xml", "<sst xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main'><si><t>plain</t></si><si><r><t>ri</t></r><r><t xml:space='preserve'>ch </t></r><rPh><t>READING</t></rPh></si><si><t>a_x000D_b</t></si></sst>")
z.writestr("book/other.xml", "<worksheet/>")
z.writestr("book/sheets/first.xml", "<worksheet xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main'><sheetData><row r='2'><c t='s'><v>0</v></c><c t='s'><v>1</v></c><c r='E2' t='s'><v>2</v></c></row><row><c s='1'><v>44898</v></c><c t='inlineStr' s='2'><is><t>12:30</t></is></c><c t='e'><v>#DIV/0!</v></c><c t='str'><f>A1</f><v>from formula</v></c><c t='b'><v>0</v></c></row></sheetData></worksheet>")
z.close()
)PY";
    const std::string scriptPath = TempPath("hand.py");
    WriteFileBytes(scriptPath, script);
    int nStatus = 0;
    const std::string out =
        RunCommand("/usr/bin/python3 " + Quote(scriptPath) + " " + Quote(path) + " 2>&1", nStatus);
    ASSERT_EQ(nStatus, 0) << out;
    const CXlsSheet read = CXlsxFile::ReadFirstSheet(ReadFileBytes(path));
    EXPECT_EQ(read.m_strName, u"First");
    ASSERT_FALSE(read.Get(2, 4).IsEmpty());
    EXPECT_EQ(read.Get(1, 0).m_strText, u"plain");
    EXPECT_EQ(read.Get(1, 1).m_strText, u"rich ");
    EXPECT_EQ(read.Get(1, 4).m_strText, u"a\rb");
    // 44898 in the 1904 system is 46360 in the 1900 one: 2026-12-04.
    EXPECT_TRUE(read.Get(2, 0).IsDate());
    EXPECT_EQ(read.Get(2, 0).m_dNumber, 46360);
    EXPECT_EQ(read.Get(2, 1).m_strText, u"12:30");
    EXPECT_TRUE(read.Get(2, 1).m_bQuotePrefix);
    EXPECT_EQ(read.Get(2, 2).m_kind, CXlsCell::EKind::Error);
    EXPECT_EQ(read.Get(2, 2).m_dNumber, 0x07);
    EXPECT_EQ(read.Get(2, 3).m_strText, u"from formula");
    EXPECT_EQ(read.Get(2, 4).m_kind, CXlsCell::EKind::Boolean);

    // A phonetic reading outside any cell hides no text of the cells after it.
    const CXlsSheet reading = CXlsxFile::ReadFirstSheet(
        MinimalWorkbook("<row><rPh><t>R</t></rPh><c t='inlineStr'><is><t>kept</t></is></c></row>"));
    ASSERT_FALSE(reading.Get(0, 0).IsEmpty());
    EXPECT_EQ(reading.Get(0, 0).m_strText, u"kept");
}

TEST_F(XlsxTest, DamagedFilesAreRefusedWithAReason) {
    const std::string good = CXlsxFile::Write(SampleSheet());
    const std::pair<std::string, std::string> cases[] = {
        {std::string("PK\x03\x04", 4) + std::string(100, 'z'), "not a workbook"},
        {good.substr(0, good.size() / 2), "not a workbook"},
    };
    for (const auto& [bytes, reason] : cases) {
        try {
            (void)CXlsWorkbook::LoadFromMemory(bytes, "t.xlsx");
            ADD_FAILURE() << "no error for " << reason;
        } catch (const CXlsError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("t.xlsx: " + reason, 0), 0u) << e.what();
        }
    }
    // A text longer than a cell of the format holds is refused, not cut.
    CXlsSheet tooLong;
    SetText(tooLong, 0, 0, Repeat(u"\u00E9", 32767));
    EXPECT_NO_THROW((void)CXlsxFile::Write(tooLong));
    SetText(tooLong, 1, 2, Repeat(u"x", 32768));
    try {
        (void)CXlsxFile::Write(tooLong);
        ADD_FAILURE() << "no error";
    } catch (const CXlsError& e) {
        EXPECT_NE(std::string(e.what()).find("row 2, column 3"), std::string::npos) << e.what();
    }

    // Every shorter piece of a good file is refused or read, never a crash.
    for (std::size_t n = 0; n < good.size(); n += 97) {
        try {
            (void)CXlsxFile::ReadFirstSheet(good.substr(0, n));
        } catch (const CXlsError&) {
        }
    }
}

// Texts that XML cannot hold as they are, or that look like the escapes standing for such
// characters, read back as they were written; so do error values (as errors, their code
// being lost to NA()) and numbers that are not finite (as errors).
TEST_F(XlsxTest, EveryTextAndErrorReadsBackAsWritten) {
    const std::u16string texts[] = {
        u"_x0041_",         u"a_x005F_b",       u"_x00e9__x",   std::u16string(u"a\0b", 3),
        u"\x01\x1F\r\t\n",  u"\xFFFF\xFFFE",    u"\xD800 lone", u"lone \xDC00",
        u"\U0001F600 pair", u"_x12G4_ not hex", u"__x0000__",
    };
    CXlsSheet sheet;
    sheet.m_nMaxRows = kXlsxMaxRows;
    sheet.m_nMaxColumns = kXlsxMaxColumns;
    std::uint32_t nRow = 0;
    for (const std::u16string& text : texts)
        SetText(sheet, nRow++, 0, text);
    for (const double d : {0x07 * 1.0, kXlsNoValue * 1.0}) {
        CXlsCell cell;
        cell.m_kind = CXlsCell::EKind::Error;
        cell.m_dNumber = d;
        sheet.Set(nRow++, 0, cell);
    }
    for (const double d : {std::numeric_limits<double>::infinity(), std::nan("")})
        SetNumber(sheet, nRow++, 0, d);

    const CXlsSheet back = CXlsxFile::ReadFirstSheet(CXlsxFile::Write(sheet));
    for (std::uint32_t r = 0; r < nRow; ++r) {
        SCOPED_TRACE(r);
        const CXlsCell cell = back.Get(r, 0);
        ASSERT_FALSE(cell.IsEmpty());
        if (r < std::size(texts)) {
            EXPECT_EQ(cell.m_strText, texts[r]);
        } else {
            EXPECT_EQ(cell.m_kind, CXlsCell::EKind::Error);
            EXPECT_EQ(cell.m_dNumber, kXlsNoValue);
        }
    }
}

// Files that would take all of memory or time are refused with a reason before they do:
// entities in a document type, one long string in many cells. Dates outside what a date
// cell holds are refused too. Many far-apart cells take only their own room and read.
TEST_F(XlsxTest, FilesBeyondBoundsAreRefused) {
    std::string farCells, sameString;
    for (int r = 1; r <= 100000; ++r)
        farCells += "<row r='" + std::to_string(r) + "'><c r='XFD" + std::to_string(r) +
                    "'><v>1</v></c></row>";
    for (int r = 1; r <= 20000; ++r)
        sameString += "<row><c t='s'><v>0</v></c></row>";
    const std::string laughs =
        "<!DOCTYPE worksheet [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;'>"
        "<!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;'>]>";
    const std::pair<std::string, std::string> cases[] = {
        {MinimalWorkbook(sameString, "<si><t>" + std::string(30000, 'x') + "</t></si>"),
         "t.xlsx: the workbook is too large to read"},
        {MinimalWorkbook("<row><c t='inlineStr'><is><t>&c;</t></is></c></row>", "", laughs),
         "t.xlsx: damaged workbook (part xl/sheet.xml has a document type declaration)"},
        {MinimalWorkbook("<row><c t='s'><v>1</v></c></row>", "<si><t>x</t></si>"),
         "t.xlsx: damaged workbook (string index outside the string table)"},
        {MinimalWorkbook("<row><c t='d'><v>-2147483648-01-01</v></c></row>"),
         "t.xlsx: damaged workbook (a date cell that holds no date)"},
        {MinimalWorkbook("<row><c t='d'><v>2026-12-05T10:00:inf</v></c></row>"),
         "t.xlsx: damaged workbook (a date cell that holds no date)"},
        {MinimalWorkbook("<row><c t='d'><v>2026-12-05T10:00:61</v></c></row>"),
         "t.xlsx: damaged workbook (a date cell that holds no date)"},
        {ZipParts({{"xl/workbook.xml", ""}}),
         "t.xlsx: damaged workbook (part xl/workbook.xml is empty)"},
    };
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason);
        EXPECT_LT(bytes.size(), 1000000u); // small files, all of them
        EXPECT_EQ(LoadError(bytes).substr(0, reason.size()), reason);
    }
    const CXlsSheet far = CXlsxFile::ReadFirstSheet(MinimalWorkbook(farCells));
    EXPECT_EQ(far.Get(99999, 16383).m_dNumber, 1);
    EXPECT_TRUE(far.Get(99999, 16382).IsEmpty());
    // Below the bounds the same kinds of file read: a shared string in many cells, a leap
    // second.
    const CXlsSheet sheet = CXlsxFile::ReadFirstSheet(MinimalWorkbook(
        farCells.substr(0, farCells.find("<row r='101'>")) +
            "<row><c t='s'><v>0</v></c><c t='d'><v>2026-12-05T23:59:60</v></c></row>",
        "<si><t>" + std::string(30000, 'x') + "</t></si>"));
    ASSERT_FALSE(sheet.Get(99, 16383).IsEmpty());
    EXPECT_EQ(sheet.Get(100, 0).m_strText.size(), 30000u);
    EXPECT_EQ(sheet.Get(100, 1).m_dNumber, 46362);
}

} // namespace
