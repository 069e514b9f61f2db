// The workbook format through the spreadsheet component, with the component's calls
// watched by a recording proxy, and its files checked by independent readers.
#include "formats/ExcelFormat.h"

#include "fields/FieldLayout.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ComObject.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"

#include <filesystem>
#include <map>
#include <memory>
#include <tuple>

namespace {

using CCallLog = std::vector<std::string>;

// A value as the log shows it: texts by their first 12 characters and length.
std::string Describe(const VARIANT& value) {
    const VARIANT& v = value.vt == (VT_BYREF | VT_VARIANT) ? *value.pvarVal : value;
    if (v.vt & VT_ARRAY)
        return "array(" + std::to_string(v.parray->rgsabound[0].cElements) + "x" +
               std::to_string(v.parray->rgsabound[1].cElements) + ")";
    if (v.vt == VT_BSTR) {
        const std::u16string_view text = BstrView(v.bstrVal);
        return "'" + ToUtf8(FromUtf16(text.substr(0, 12))) + "'/" + std::to_string(text.size());
    }
    return v.vt == VT_I4   ? std::to_string(v.lVal)
           : v.vt == VT_R8 ? std::to_string(v.dblVal)
                           : "vt" + std::to_string(v.vt);
}

// A proxy that records every call the format makes on the component, and wraps the
// objects the calls give back.
class CSpy final : public CComObject<CSpy, IDispatch> {
public:
    CSpy(CComPtr<IDispatch> pInner, std::shared_ptr<CCallLog> pLog)
        : m_pInner(std::move(pInner)), m_pLog(std::move(pLog)) {}

    HRESULT GetIDsOfNames(const GUID& iid, OLECHAR** rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override {
        const HRESULT hr = m_pInner->GetIDsOfNames(iid, rgszNames, cNames, lcid, rgDispId);
        if (SUCCEEDED(hr))
            m_mapNames[rgDispId[0]] = ToUtf8(FromUtf16(rgszNames[0]));
        return hr;
    }
    HRESULT Invoke(DISPID dispid, const GUID& iid, LCID lcid, WORD wFlags, DISPPARAMS* pParams,
                   VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        std::string entry = dispid == DISPID_VALUE ? "Item" : m_mapNames[dispid];
        const bool bPut = (wFlags & DISPATCH_PROPERTYPUT) != 0;
        const UINT nFirst = bPut ? 1 : 0;
        for (UINT i = pParams->cArgs; i > nFirst; --i)
            entry += (i == pParams->cArgs ? "(" : ",") + Describe(pParams->rgvarg[i - 1]) +
                     (i - 1 == nFirst ? ")" : "");
        if (bPut)
            entry += "=" + Describe(pParams->rgvarg[0]);
        m_pLog->push_back(entry);
        const HRESULT hr =
            m_pInner->Invoke(dispid, iid, lcid, wFlags, pParams, pResult, pExcepInfo, puArgErr);
        if (SUCCEEDED(hr) && pResult && pResult->vt == VT_DISPATCH) {
            auto* pSpy = new CSpy(CComPtr<IDispatch>::Attach(pResult->pdispVal), m_pLog);
            pSpy->AddRef();
            pResult->pdispVal = pSpy;
        }
        return hr;
    }

private:
    CComPtr<IDispatch> m_pInner;
    std::shared_ptr<CCallLog> m_pLog;
    std::map<DISPID, std::string> m_mapNames;
};

class CSpyFactory final : public CComObject<CSpyFactory, IClassFactory> {
public:
    CSpyFactory(CComPtr<IClassFactory> pReal, std::shared_ptr<CCallLog> pLog)
        : m_pReal(std::move(pReal)), m_pLog(std::move(pLog)) {}
    HRESULT CreateInstance(IUnknown* pUnkOuter, const GUID& iid, void** ppv) override {
        CComPtr<IDispatch> pInner;
        const HRESULT hr = m_pReal->CreateInstance(pUnkOuter, IID_IDispatch,
                                                   reinterpret_cast<void**>(pInner.Put()));
        if (FAILED(hr))
            return hr;
        const CComPtr<CSpy> pSpy(new CSpy(std::move(pInner), m_pLog));
        return pSpy->QueryInterface(iid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    CComPtr<IClassFactory> m_pReal;
    std::shared_ptr<CCallLog> m_pLog;
};

using Row = std::vector<std::string>;

void WriteRow(CFileFormat& format, const Row& cells) {
    for (const std::string& cell : cells)
        ASSERT_EQ(format.WriteText(cell), STATUS_OK);
    ASSERT_EQ(format.EndRow(), STATUS_OK);
}
Row ReadRow(CFileFormat& format, std::size_t nCells) {
    Row cells(nCells);
    for (std::string& cell : cells)
        EXPECT_EQ(format.ReadText(cell), STATUS_OK);
    return cells;
}

TimeValue Local(int y, int m, int d, int h = 0, int mi = 0) {
    return MakeLocalTimeValue(y, m, d, h, mi, 0);
}

class ExcelFormatTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        EnsurePlatformSetup();
        // The user's decimal symbol, as the regional settings of a German user hold it.
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("sDecimal", ","), REG_STATUS_OK);
    }
    void TearDown() override {
        RegisterSpreadsheetClass(); // the real class again, after a spy
        CVarnoTest::TearDown();
    }

    // From now on the component's objects are watched; the log fills as calls are made.
    void Spy() {
        m_pLog->clear();
        RegisterSpreadsheetClass(); // the real class, to be wrapped
        CComPtr<IClassFactory> pReal;
        ASSERT_EQ(CoGetClassObject(CLSID_SpreadsheetApplication, IID_IClassFactory,
                                   reinterpret_cast<void**>(pReal.Put())),
                  S_OK);
        ASSERT_EQ(CoRegisterClassObject(CLSID_SpreadsheetApplication,
                                        new CSpyFactory(std::move(pReal), m_pLog)),
                  S_OK);
    }
    // The log entries that start with one of the prefixes, in order.
    [[nodiscard]] Row Calls(std::initializer_list<std::string_view> prefixes) const {
        Row out;
        for (const std::string& entry : *m_pLog)
            if (std::any_of(prefixes.begin(), prefixes.end(),
                            [&](std::string_view prefix) { return entry.starts_with(prefix); }))
                out.push_back(entry);
        return out;
    }

    // A workbook of another writer: text cells, and numbers with a date format when
    // given one.
    static std::string Workbook(const std::vector<std::vector<CXlsCell>>& rows) {
        CXlsWorkbook wb;
        for (std::uint32_t r = 0; r < rows.size(); ++r)
            for (std::uint32_t c = 0; c < rows[r].size(); ++c)
                wb.m_vecSheets[0].Set(r, c, rows[r][c]);
        const std::string path = TempPath("made.xls");
        wb.Save(path);
        return path;
    }

    std::shared_ptr<CCallLog> m_pLog = std::make_shared<CCallLog>();
};

CXlsCell Text(std::u16string text) {
    return {.m_kind = CXlsCell::EKind::Text, .m_strText = std::move(text)};
}
CXlsCell Number(double d, EXlsNumberFormat format = EXlsNumberFormat::General) {
    return {.m_kind = CXlsCell::EKind::Number, .m_dNumber = d, .m_strText = {}, .m_format = format};
}

// ---- Writing

TEST_F(ExcelFormatTest, RowsGoOverInBlocksOf500) {
    Spy();
    const std::string path = TempPath("blocks.xls");
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        EXPECT_EQ(format.GetRowNumber(), 1);
        WriteRow(format, {"Text", "Number"});
        for (int i = 1; i <= 1200; ++i) {
            ASSERT_EQ(format.WriteText("Row " + std::to_string(i)), STATUS_OK);
            ASSERT_EQ(format.WriteInt(i), STATUS_OK);
            ASSERT_EQ(format.EndRow(), STATUS_OK);
        }
        EXPECT_EQ(format.GetRowNumber(), 1202);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    // 1,201 rows, header included: one item, resize and assignment per block.
    EXPECT_EQ(
        Calls({"Item(", "Resize(", "Value="}),
        (Row{"Item(1)", // the first sheet
             "Item(1,1)", "Resize(500,10)", "Value=array(500x10)", "Item(501,1)", "Resize(500,10)",
             "Value=array(500x10)", "Item(1001,1)", "Resize(201,10)", "Value=array(500x10)",
             // closing: the first row's height, the header texts
             "Item(1,1)", "Item(1,1)", "Item(1,2)", "Item(1,3)", "Item(1,4)", "Item(1,5)",
             "Item(1,6)", "Item(1,7)", "Item(1,8)", "Item(1,9)", "Item(1,10)"}));
    // The order of the whole conversation.
    EXPECT_EQ(
        Calls({"Workbooks", "Add", "Sheets", "Cells", "SaveAs", "UsedRange", "RowHeight", "Save",
               "Close", "Quit"}),
        (Row{"Workbooks", "Add", "Sheets", "Cells", "UsedRange", "RowHeight", "RowHeight=12.750000",
             "SaveAs('" + path.substr(0, 12) + "'/" + std::to_string(path.size()) + ")", "Close"}));

    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 1201);
    EXPECT_EQ(format.GetPosition(), 1);
    for (int i = 1; i <= 1200; ++i) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        std::int32_t n = 0;
        ASSERT_EQ(ReadRow(format, 1), Row{"Row " + std::to_string(i)});
        ASSERT_EQ(format.ReadInt(n), STATUS_OK);
        ASSERT_EQ(n, i);
    }
    EXPECT_EQ(format.GetPosition(), 1201);
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.CloseRead(), STATUS_OK);
}

// Rows of different widths over several blocks: a block handed over leaves nothing of its
// cells in the next, texts and numbers alike. Read back in blocks from a used range that
// starts below the first row, each row is what was written.
TEST_F(ExcelFormatTest, RowsOfAnyWidthOverBlocksWrittenAndRead) {
    const std::string path = TempPath("widths.xls");
    const auto cellsOf = [](int nRow) {
        Row cells;
        for (int c = 0; c < 1 + (nRow * 7) % 12; ++c)
            cells.push_back(c % 2 ? std::to_string(nRow * 100 + c)
                                  : "r" + std::to_string(nRow) + "c" + std::to_string(c));
        return cells;
    };
    constexpr int kRows = 4500;
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (int r = 1; r <= kRows; ++r) {
            for (const std::string& cell : cellsOf(r)) {
                if (cell.front() == 'r')
                    ASSERT_EQ(format.WriteText(cell), STATUS_OK);
                else
                    ASSERT_EQ(format.WriteInt(std::stoi(cell)), STATUS_OK);
            }
            ASSERT_EQ(format.EndRow(), STATUS_OK);
        }
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    for (std::uint32_t r = 0; r < kRows; ++r)
        ASSERT_EQ(sheet.ColumnCount(r), cellsOf(static_cast<int>(r) + 1).size()) << r;

    // The same rows two rows further down: the used range starts at row 3.
    CXlsWorkbook moved;
    for (std::uint32_t r = 0; r < kRows; ++r)
        for (std::uint32_t c = 0; c < sheet.ColumnCount(r); ++c)
            moved.m_vecSheets[0].Set(r + 2, c, sheet.Get(r, c));
    moved.Save(path);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), kRows);
    for (int r = 2; r <= kRows; ++r) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        ASSERT_EQ(format.GetSheetRow(), r + 2);
        Row expected = cellsOf(r);
        expected.resize(12);
        ASSERT_EQ(ReadRow(format, 12), expected) << r;
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
}

// The old workbook stays until the new one is complete: an export that stops half way
// leaves it, and a file that cannot be written is refused at the opening.
TEST_F(ExcelFormatTest, AnUnfinishedWorkbookLeavesTheOldFile) {
    const std::string folder = TempPath("books");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/old.xls";
    WriteFileBytes(path, "the workbook of last week");
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, {"Text"});
        WriteRow(format, {"half"});
    }
    EXPECT_EQ(ReadFileBytes(path), "the workbook of last week");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);

    CExcelFormat format;
    EXPECT_EQ(format.OpenWrite(folder + "/missing/new.xls"), STATUS_FAILED);
    EXPECT_EQ(format.OpenWrite(folder), STATUS_FAILED);
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    WriteRow(format, {"Text"});
    WriteRow(format, {"complete"});
    ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "\xD0\xCF\x11\xE0");
}

TEST_F(ExcelFormatTest, LongTextRowIsCompleteWhateverItsColumn) {
    const std::string note(600, 'n');
    for (const std::size_t nColumn : {1u, 5u, 6u}) {
        SCOPED_TRACE(nColumn);
        Spy();
        Row row = {"a", "b", "c", "d", "e", "f"};
        row[nColumn - 1] = note;
        const std::string path = TempPath("long.xls");
        {
            CExcelFormat format;
            ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
            WriteRow(format, {"H1", "H2", "H3", "H4", "H5", "H6"});
            WriteRow(format, row);
            WriteRow(format, {"x", "y"});
            ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        }
        // Rows 1 and 2 so far go as a block; the long text and the rest of its row go cell
        // by cell; row 3 goes at the end.
        Row expected = {"Item(1)", "Item(1,1)", "Resize(2,10)", "Value=array(500x10)"};
        for (std::size_t c = nColumn; c <= 6; ++c) {
            expected.push_back("Item(2," + std::to_string(c) + ")");
            expected.push_back("Value='" + row[c - 1].substr(0, 12) + "'/" +
                               std::to_string(row[c - 1].size()));
        }
        expected.insert(expected.end(), {"Item(3,1)", "Resize(1,10)", "Value=array(500x10)"});
        Row calls = Calls({"Item(", "Resize(", "Value="});
        calls.resize(std::min(calls.size(), expected.size()));
        EXPECT_EQ(calls, expected);

        CExcelFormat format;
        ASSERT_EQ(format.OpenRead(path), STATUS_OK);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(ReadRow(format, 6), row);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(ReadRow(format, 3), (Row{"x", "y", ""}));
        EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    }
}

// The eleventh cell widens the buffer to 16 columns; a row never ended is written too.
TEST_F(ExcelFormatTest, EleventhCellWidensTheBufferAndAnUnendedRowIsWritten) {
    Spy();
    const std::string path = TempPath("wide.xls");
    Row row;
    for (int i = 1; i <= 11; ++i)
        row.push_back("c" + std::to_string(i));
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, row);
        WriteRow(format, row);
        ASSERT_EQ(format.WriteText("last"), STATUS_OK);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        EXPECT_EQ(format.CloseWrite(), STATUS_FAILED); // closed already
    }
    EXPECT_EQ(Calls({"Resize(", "Value="}), (Row{"Resize(3,16)", "Value=array(500x16)"}));
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 11), row);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 2), (Row{"last", ""}));
}

TEST_F(ExcelFormatTest, TextsStayTextAsWritten) {
    const std::string path = TempPath("texts.xls");
    const std::string longText = std::string(39999, 'x');
    const struct {
        std::string m_strWritten;
        std::string m_strRead;
        bool m_bQuoted; // kept as text with the apostrophe
    } cases[] = {
        {"12:30", "12:30", true},
        {"Lunch", "Lunch", false},
        {"", "", false},
        {"=SUM(A1:A2)", "=SUM(A1:A2)", true},
        {"-5", "-5", true},
        {"05.12.2026", "05.12.2026", true},
        {"'quoted'", "'quoted'", true},
        {"line 1\r\nline 2\r", "line 1\nline 2", false},
        {"\r12", "12", true}, // the first character after the returns counts
        {"\rLunch", "Lunch", false},
        {"\r\r", "", false},
        {"\xC4rger", "\xC4rger", true}, // only A to Z and a to z count as letters
        {longText + "yy", longText, false},
    };
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, {"Text"});
        for (const auto& c : cases)
            WriteRow(format, {c.m_strWritten});
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    std::uint32_t nRow = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strRead.substr(0, 20));
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(ReadRow(format, 1), Row{c.m_strRead});
        EXPECT_EQ(format.GetLastCell(), c.m_strRead);
        const CXlsCell cell = sheet.Get(nRow++, 0);
        EXPECT_EQ(!cell.IsEmpty(), !c.m_strRead.empty());
        EXPECT_EQ(cell.m_bQuotePrefix, c.m_bQuoted);
    }
}

// Dates, times (seconds dropped; with the date when asked), spans and integers go over as
// numbers with date formats by kind; reading them back is shown with CellsReadByTheirValues.
TEST_F(ExcelFormatTest, DatesTimesAndNumbersAreCellValues) {
    const std::string path = TempPath("values.xls");
    const TimeValue t = Local(2026, 7, 1, 14, 30) + 59;
    for (const bool bDateWithTime : {false, true}) {
        SCOPED_TRACE(bDateWithTime);
        {
            CExcelFormat format;
            format.SetDateWithTime(bDateWithTime);
            ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
            WriteRow(format, {"Date", "Start Time", "End Time", "Span", "Int"});
            ASSERT_EQ(format.WriteDate(t), STATUS_OK);
            ASSERT_EQ(format.WriteTime(t), STATUS_OK);
            ASSERT_EQ(format.WriteTime(t + 3600), STATUS_OK);
            ASSERT_EQ(format.WriteSpan(-5400), STATUS_OK);
            ASSERT_EQ(format.WriteInt(-2147483647 - 1), STATUS_OK);
            ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        }
        const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
        using F = EXlsNumberFormat;
        const double dDay = bDateWithTime ? 46204.0 : 0.0; // 2026-07-01
        const F time = bDateWithTime ? F::DateTime : F::Time;
        const std::pair<double, F> cells[] = {{46204.0, F::Date},
                                              {dDay + 14.5 / 24, time},
                                              {dDay + 15.5 / 24, time},
                                              {-5400.0, F::General},
                                              {-2147483648.0, F::General}};
        for (std::uint32_t c = 0; c < std::size(cells); ++c) {
            ASSERT_FALSE(sheet.Get(1, c).IsEmpty());
            EXPECT_NEAR(sheet.Get(1, c).m_dNumber, cells[c].first, 1e-9) << c;
            EXPECT_EQ(sheet.Get(1, c).m_format, cells[c].second) << c;
        }
    }
}

// The date and time columns (found by their header) are fitted to their contents and
// every row is as high as the first; python3-xlrd reads cells of every kind.
TEST_F(ExcelFormatTest, ClosedFilesAreSizedAndReadByXlrd) {
    const std::string path = TempPath("peer.xls");
    const std::string note = "Bring the slides\nand the " + std::string(600, 'z');
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (const unsigned id : {FIELD_DATE, FIELD_TEXT, FIELD_START_TIME, FIELD_END_TIME,
                                  FIELD_REPEAT_END_DATE, FIELD_NOTE, FIELD_ALARM_TIME})
            ASSERT_EQ(format.WriteText(CFieldLayout::GetFieldName(id)), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
        ASSERT_EQ(format.WriteDate(Local(2026, 12, 5)), STATUS_OK);
        ASSERT_EQ(format.WriteText("Caf\xE9 \x80 12:30"), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 9, 30)), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 14, 45)), STATUS_OK);
        ASSERT_EQ(format.WriteDate(Local(2027, 1, 31)), STATUS_OK);
        ASSERT_EQ(format.WriteText(note), STATUS_OK);
        ASSERT_EQ(format.WriteInt(15), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    std::vector<double> widths = sheet.m_vecColumnWidths;
    widths.resize(7);
    // 05.12.2026; Text not fitted; "Start Time" wider than 9:30; "End Time";
    // "Repeat End Date".
    EXPECT_EQ(widths, (std::vector<double>{10, 0, 10, 8, 15, 0, 0}));
    EXPECT_EQ(sheet.RowHeight(1), CXlsSheet::kDefaultRowHeight); // also with two lines

    if (!xlstest::HaveXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed";
    const xlstest::CXlrdSheet x = xlstest::ReadWithXlrd(path);
    ASSERT_TRUE(x.m_bOk) << x.m_strOutput;
    EXPECT_EQ(x.m_nRows, 2);
    EXPECT_EQ(x.m_nColumns, 7);
    const auto cell = [&](int c) { return x.m_mapCells.at({1, c}); };
    EXPECT_EQ(x.m_mapCells.at({0, 2}).Text(), u"Start Time");
    for (const auto& [c, nType, nFormat, dValue] :
         {std::tuple{0, 3, 14, 46361.0}, std::tuple{2, 3, 20, 9.5 / 24},
          std::tuple{3, 3, 20, 14.75 / 24}, std::tuple{4, 3, 14, 46418.0},
          std::tuple{6, 2, 0, 15.0}}) {
        EXPECT_EQ(cell(c).m_nType, nType) << c;
        EXPECT_EQ(cell(c).m_bDate, nType == 3) << c;
        EXPECT_EQ(cell(c).m_nFormat, nFormat) << c;
        EXPECT_NEAR(cell(c).Number(), dValue, 1e-12) << c;
    }
    EXPECT_EQ(cell(1).Text(), u"Caf\u00E9 \u20AC 12:30");
    EXPECT_EQ(cell(5).Text(), ToUtf16(note));
    EXPECT_TRUE(cell(5).m_bWrap);
    EXPECT_EQ(x.m_mapWidths.at(0), 10 * 256); // in 1/256 of a character
}

// ---- Reading

// Row 1 of the used range, wherever it starts, is the header: never read as data, also
// when the workbook has no header.
TEST_F(ExcelFormatTest, HeaderRowIsNeverData) {
    for (const auto& rows : {std::vector<std::vector<CXlsCell>>{{Text(u"Date"), Text(u"Text")}},
                             std::vector<std::vector<CXlsCell>>{}}) {
        CExcelFormat format;
        ASSERT_EQ(format.OpenRead(Workbook(rows)), STATUS_OK);
        EXPECT_EQ(format.GetSize(), 1);
        EXPECT_EQ(format.NextRow(), STATUS_FAILED);
        EXPECT_EQ(format.CloseRead(), STATUS_OK);
    }
    CExcelFormat format;
    ASSERT_EQ(
        format.OpenRead(Workbook({{}, {}, {{}, Text(u"first")}, {{}, Text(u"second"), Number(7)}})),
        STATUS_OK);
    EXPECT_EQ(format.GetSize(), 2);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 3), (Row{"second", "7", ""}));
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
}

// An .xlsx name: the file is an Office Open XML workbook holding more rows than the older
// format can, read back whole in blocks of rows; rows are numbered as the sheet numbers
// them.
TEST_F(ExcelFormatTest, XlsxFilesHoldMoreThan65536Rows) {
    const std::string path = TempPath("many.xlsx");
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (int r = 0; r < 70001; ++r) {
            ASSERT_EQ(format.WriteInt(r), STATUS_OK);
            ASSERT_EQ(format.EndRow(), STATUS_OK);
        }
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    EXPECT_EQ(ReadFileBytes(path).substr(0, 2), "PK");
    Spy();
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 70001);
    std::vector<std::string> header;
    for (int r = 1; r < 70001; ++r) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        std::int32_t n = 0;
        ASSERT_EQ(format.ReadInt(n), STATUS_OK);
        ASSERT_EQ(n, r);
        // The header stays known whatever block is read.
        ASSERT_TRUE(r % 5000 != 0 || (format.PeekHeaderCells(header) && header == Row{"0"}));
    }
    EXPECT_EQ(format.GetSheetRow(), 70001);
    EXPECT_EQ(format.GetLastCell(), "70000");
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    // Blocks of 2,048 rows: 34 whole ones and the rest.
    const Row blocks = Calls({"Resize("});
    ASSERT_EQ(blocks.size(), 35u);
    EXPECT_EQ(blocks.front(), "Resize(2048)");
    EXPECT_EQ(blocks.back(), "Resize(369)");
}

// Each cell read as the layout asks for it: dates and times from date values, numbers or
// texts (two-digit years in the shared window, for date cells too), spans from numbers,
// integers from numbers or a text's leading digits; what the cell showed is the last cell.
TEST_F(ExcelFormatTest, CellsReadByTheirValues) {
    using F = EXlsNumberFormat;
    enum EAs { Date, Time, Span, Int, Str };
    const TimeValue today = Local(2026, 12, 5);
    CXlsCell na = Number(0x2A);
    na.m_kind = CXlsCell::EKind::Error;
    const struct {
        CXlsCell m_cell;
        EAs m_as;
        EStatus m_status;
        std::int64_t m_nValue; // 7: left unchanged
        std::string m_strText; // text read, or the last cell when not empty
    } cases[] = {{Number(46361, F::Date), Date, STATUS_OK, today, "05.12.2026"},
                 {Number(0.5, F::Time), Time, STATUS_OK, today + 12 * 3600, "12:00:00"},
                 {Number(0.75), Time, STATUS_OK, today + 18 * 3600, ""},
                 {Number(5400), Span, STATUS_OK, 5400, ""},
                 {Number(5400.9), Span, STATUS_OK, 5400, "5400,9"}, // the fraction dropped
                 {Text(u"90min"), Span, STATUS_OK, 90, ""},
                 {Text(u"1.2.1950"), Date, STATUS_FAILED, 7, ""},      // becomes 2050
                 {Number(18295, F::Date), Date, STATUS_FAILED, 7, ""}, // 1950-02-01 as well
                 {Text(u" 05.12.2026 "), Date, STATUS_OK, today, ""},
                 {Text(u"14:45"), Time, STATUS_OK, today + 14 * 3600 + 45 * 60, ""},
                 {CXlsCell(), Date, STATUS_EMPTY, 7, ""},
                 {Number(42), Int, STATUS_OK, 42, ""},
                 {Text(u"12:30"), Int, STATUS_OK, 12, ""},
                 {na, Str, STATUS_OK, 0, "#N/A"},
                 {Number(46361.5, F::DateTime), Str, STATUS_OK, 0, "05.12.2026 12:00:00"},
                 {Number(1234.5), Str, STATUS_OK, 0, "1234,5"},
                 {Number(-120), Str, STATUS_OK, 0, "-120"},
                 {Number(999999999999999), Str, STATUS_OK, 0, "999999999999999"},
                 {Number(1e15), Str, STATUS_OK, 0, "1E+15"},
                 {Text(u"Plain text"), Str, STATUS_OK, 0, "Plain text"},
                 // Texts after longer ones, in the user's code page (windows-1252).
                 {Text(u"A plain text longer than a short string"), Str, STATUS_OK, 0,
                  "A plain text longer than a short string"},
                 {Text(u"Gr\u00F6\u00DF \u2603"), Str, STATUS_OK, 0, "Gr\xF6\xDF ?"},
                 {Text(u"x"), Str, STATUS_OK, 0, "x"},
                 {Text(u"\u00E9t\u00E9 after"), Str, STATUS_OK, 0, "\xE9t\xE9 after"},
                 {Number(-7), Str, STATUS_OK, 0, "-7"},
                 {Number(10959, F::Date), Date, STATUS_OK, Local(2030, 1, 1), ""}, // 1930 as 2030
                 {Number(1e12), Int, STATUS_OK, 2147483647, ""},                   // clamped
                 {Text(u"  "), Time, STATUS_EMPTY, 7, ""},
                 {CXlsCell(), Span, STATUS_EMPTY, 7, ""}, // past the used range
                 {CXlsCell(), Str, STATUS_OK, 0, ""}};
    std::vector<CXlsCell> row;
    for (const auto& c : cases)
        row.push_back(c.m_cell);
    row.resize(row.size() - 2);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(Workbook({{Text(u"h")}, row})), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(format.GetLastCell(), "");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        TimeValue t = 7;
        TimeSpan ts = 7;
        std::int32_t n = 7;
        std::string text;
        const EStatus status = c.m_as == Date   ? format.ReadDate(t)
                               : c.m_as == Time ? format.ReadTime(t)
                               : c.m_as == Span ? format.ReadSpan(ts)
                               : c.m_as == Int  ? format.ReadInt(n)
                                                : format.ReadText(text);
        EXPECT_EQ(status, c.m_status) << i;
        if (c.m_as == Str) {
            EXPECT_EQ(text, c.m_strText) << i;
            EXPECT_EQ(format.GetLastCell(), c.m_strText) << i; // the same text, made again
            continue;
        }
        EXPECT_EQ(c.m_as == Span ? ts : c.m_as == Int ? n : t, c.m_nValue) << i;
        if (!c.m_strText.empty()) {
            EXPECT_EQ(format.GetLastCell(), c.m_strText) << i;
        }
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetLastCell(), "");
}

// A workbook that gnumeric's ssconvert makes from a CSV file: dates, times, integers,
// quoted texts, UTF-8 texts and notes of 600 and 20,000 characters.
TEST_F(ExcelFormatTest, ReadsAWorkbookOfAnotherProgram) {
    if (!xlstest::HaveSsconvert())
        GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    SetCodePage(65001);
    struct SRow {
        TimeValue m_date, m_start;
        std::string m_strText;
        std::int32_t m_nAlarm;
        TimeSpan m_span;
        std::string m_strNote;
    };
    const SRow rows[] = {{Local(2026, 12, 5), Local(2026, 12, 5, 9, 30),
                          "Lunch, \"Anna\", Caf\xC3\xA9 \xE2\x82\xAC", 15, 5400, "two\nlines"},
                         {Local(2026, 12, 24), Local(2026, 12, 5, 18, 0),
                          "\xE6\x97\xA5\xE6\x9C\xAC", 0, 3600, std::string(600, 'n')},
                         {Local(2031, 12, 31), Local(2026, 12, 5, 23, 59), "Last day", -7, 0,
                          std::string(20000, 'L')}};
    std::string csv = "Date,Start Time,Text,Alarm Time,Time Span,Note\n"
                      "2026-12-05,09:30,\"Lunch, \"\"Anna\"\", Caf\xC3\xA9 \xE2\x82\xAC\",15,5400,"
                      "\"two\nlines\"\n"
                      "2026-12-24,18:00,\xE6\x97\xA5\xE6\x9C\xAC,,3600," +
                      rows[1].m_strNote + "\n2031-12-31,23:59,Last day,-7,0," + rows[2].m_strNote +
                      "\n";
    const std::string csvPath = TempPath("appointments.csv");
    const std::string xls = TempPath("appointments.xls");
    WriteFileBytes(csvPath, csv);
    ASSERT_TRUE(xlstest::Ssconvert(Home(), csvPath, xls, "Gnumeric_Excel:excel_biff8"));

    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(xls), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 4);
    EXPECT_EQ(ReadRow(format, 1), Row{"Date"});
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.m_strText);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        SRow read{};
        EXPECT_EQ(format.ReadDate(read.m_date), STATUS_OK);
        EXPECT_EQ(format.ReadTime(read.m_start), STATUS_OK);
        EXPECT_EQ(format.ReadText(read.m_strText), STATUS_OK);
        EXPECT_EQ(format.ReadInt(read.m_nAlarm), STATUS_OK);
        EXPECT_EQ(format.ReadSpan(read.m_span), STATUS_OK);
        (void)format.ReadText(read.m_strNote);
        ASSERT_EQ(std::tie(read.m_date, read.m_start, read.m_strText, read.m_nAlarm, read.m_span,
                           read.m_strNote),
                  std::tie(row.m_date, row.m_start, row.m_strText, row.m_nAlarm, row.m_span,
                           row.m_strNote));
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
}

// ---- Availability and failures

TEST_F(ExcelFormatTest, AvailableOnlyWithTheOfficeKeyAndTheRegisteredComponent) {
    EXPECT_TRUE(IsExcelAvailable());
    EXPECT_TRUE(CExcelFormat().HasApplication());
    const std::string classKey = ClassKeyPath(CLSID_SpreadsheetApplication);
    const struct {
        const char* m_pszWhat;
        ERegHive m_hive;
        std::string m_strKey;
        bool m_bCreatable; // whether the format still gets an application
    } cases[] = {
        {"office key", ERegHive::LocalMachine, kOfficeKey, true},
        {"ProgID", ERegHive::ClassesRoot, kSpreadsheetProgId, false},
        {"class key", ERegHive::ClassesRoot, classKey, false},
        {"in-process server", ERegHive::ClassesRoot, classKey + "\\InprocServer32", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        ASSERT_EQ(RegDeleteTree(c.m_hive, c.m_strKey), REG_STATUS_OK);
        EXPECT_FALSE(IsExcelAvailable());
        CExcelFormat format;
        EXPECT_EQ(format.HasApplication(), c.m_bCreatable);
        if (!c.m_bCreatable) {
            const std::string path = TempPath("a.xls");
            EXPECT_EQ(format.OpenWrite(path), STATUS_FAILED);
            EXPECT_EQ(format.OpenRead(path), STATUS_FAILED);
            EXPECT_FALSE(std::filesystem::exists(path));
        }
        ASSERT_TRUE(WriteSpreadsheetRegistration());
        EXPECT_TRUE(IsExcelAvailable());
    }
    // Registered, but the component is not in this process.
    ASSERT_EQ(CoRevokeClassObject(CLSID_SpreadsheetApplication), S_OK);
    EXPECT_FALSE(IsExcelAvailable());
    EXPECT_FALSE(CExcelFormat().HasApplication());
}

TEST_F(ExcelFormatTest, AutomationFailuresRaiseWithTheComponentsDescription) {
    const std::string missing = TempPath("missing.xls");
    const std::string text = TempPath("text.xls");
    WriteFileBytes(text, "Date,Text\r\n");
    for (const std::string& path : {missing, text}) {
        try {
            static_cast<void>(CExcelFormat().OpenRead(path));
            ADD_FAILURE() << "no failure for " << path;
        } catch (const CFormatException& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(CExcelFormat().OpenWrite(TempPath("no/such/folder.xls")), STATUS_FAILED);

    // Too many rows: the last block, rows 65,501 to 65,536, still fits; the next row does
    // not, and the workbook is closed.
    Spy();
    CExcelFormat format;
    ASSERT_EQ(format.OpenWrite(TempPath("full.xls")), STATUS_OK);
    for (int i = 0; i < 65536; ++i) {
        ASSERT_EQ(format.WriteInt(i), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
    }
    ASSERT_EQ(format.WriteInt(65536), STATUS_OK);
    try {
        static_cast<void>(format.CloseWrite());
        ADD_FAILURE() << "no failure";
    } catch (const CFormatException& e) {
        EXPECT_NE(std::string(e.what()).find("Row 65537"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Calls({"Close"}), Row{"Close"});
    EXPECT_EQ(format.CloseRead(), STATUS_FAILED); // nothing left open
}

} // namespace
