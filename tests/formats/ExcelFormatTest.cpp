// The workbook format through the spreadsheet component, with the component's calls
// watched by a recording proxy, and its files checked by independent readers.
#include "formats/ExcelFormat.h"

#include "fields/FieldLayout.h"
#include "platform/com/ComObject.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/AutomationTestSupport.h"
#include "tests/spreadsheet/XlsTestSupport.h"

#include <filesystem>
#include <map>
#include <memory>

namespace {

using namespace autotest;

// ---- A proxy that records every call the format makes on the component ----

using CCallLog = std::vector<std::string>;

std::string Describe(const VARIANT& value) {
    const VARIANT& v = value.vt == (VT_BYREF | VT_VARIANT) ? *value.pvarVal : value;
    if (v.vt & VT_ARRAY)
        return "array(" + std::to_string(v.parray->rgsabound[0].cElements) + "x" +
               std::to_string(v.parray->rgsabound[1].cElements) + ")";
    switch (v.vt) {
    case VT_I4:
        return std::to_string(v.lVal);
    case VT_R8:
        return std::to_string(v.dblVal);
    case VT_DATE:
        return "date";
    case VT_BSTR: {
        const std::u16string_view text = BstrView(v.bstrVal);
        return "'" + ToUtf8(FromUtf16(text.substr(0, 12))) + "'/" + std::to_string(text.size());
    }
    default:
        return "vt" + std::to_string(v.vt);
    }
}

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
        if (pParams->cArgs > nFirst) {
            entry += "(";
            for (UINT i = pParams->cArgs; i > nFirst; --i)
                entry += Describe(pParams->rgvarg[i - 1]) + (i - 1 > nFirst ? "," : "");
            entry += ")";
        }
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

// ---- Fixture ----

void WriteRow(CFileFormat& format, const std::vector<std::string>& cells) {
    for (const std::string& cell : cells)
        ASSERT_EQ(format.WriteText(cell), STATUS_OK);
    ASSERT_EQ(format.EndRow(), STATUS_OK);
}
std::vector<std::string> ReadRow(CFileFormat& format, std::size_t nCells) {
    std::vector<std::string> cells(nCells);
    for (std::string& cell : cells)
        EXPECT_EQ(format.ReadText(cell), STATUS_OK);
    return cells;
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
    [[nodiscard]] std::vector<std::string>
    Calls(std::initializer_list<std::string_view> prefixes) const {
        std::vector<std::string> out;
        for (const std::string& entry : *m_pLog)
            for (const std::string_view prefix : prefixes)
                if (entry.starts_with(prefix)) {
                    out.push_back(entry);
                    break;
                }
        return out;
    }

    std::shared_ptr<CCallLog> m_pLog = std::make_shared<CCallLog>();
};

TimeValue Local(int y, int m, int d, int h = 0, int mi = 0) {
    return MakeLocalTimeValue(y, m, d, h, mi, 0);
}

// ---- Writing ----

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
    EXPECT_EQ(Calls({"Item(", "Resize(", "Value="}),
              (std::vector<std::string>{"Item(1)", // the first sheet
                                        "Item(1,1)", "Resize(500,10)", "Value=array(500x10)",
                                        "Item(501,1)", "Resize(500,10)", "Value=array(500x10)",
                                        "Item(1001,1)", "Resize(201,10)", "Value=array(500x10)",
                                        // closing: the first row's height, the header texts
                                        "Item(1,1)", "Item(1,1)", "Item(1,2)", "Item(1,3)",
                                        "Item(1,4)", "Item(1,5)", "Item(1,6)", "Item(1,7)",
                                        "Item(1,8)", "Item(1,9)", "Item(1,10)"}));
    // The order of the whole conversation.
    EXPECT_EQ(Calls({"Workbooks", "Add", "Sheets", "Cells", "SaveAs", "UsedRange", "RowHeight",
                     "Save", "Close", "Quit"}),
              (std::vector<std::string>{
                  "Workbooks", "Add", "Sheets", "Cells",
                  "SaveAs('" + path.substr(0, 12) + "'/" + std::to_string(path.size()) + ")",
                  "UsedRange", "RowHeight", "RowHeight=12.750000", "Save", "Close"}));

    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 1201);
    EXPECT_EQ(format.GetPosition(), 1);
    for (int i = 1; i <= 1200; ++i) {
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        std::string text;
        std::int32_t n = 0;
        ASSERT_EQ(format.ReadText(text), STATUS_OK);
        ASSERT_EQ(format.ReadInt(n), STATUS_OK);
        ASSERT_EQ(text, "Row " + std::to_string(i));
        ASSERT_EQ(n, i);
    }
    EXPECT_EQ(format.GetPosition(), 1201);
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.CloseRead(), STATUS_OK);
}

TEST_F(ExcelFormatTest, LongTextRowIsCompleteWhateverItsColumn) {
    const std::string note(600, 'n');
    for (const int nColumn : {1, 5, 6}) {
        SCOPED_TRACE(nColumn);
        m_pLog->clear();
        Spy();
        std::vector<std::string> row = {"a", "b", "c", "d", "e", "f"};
        row[static_cast<std::size_t>(nColumn - 1)] = note;
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
        std::vector<std::string> expected = {"Item(1)", "Item(1,1)", "Resize(2,10)",
                                             "Value=array(500x10)"};
        for (int c = nColumn; c <= 6; ++c) {
            expected.push_back("Item(2," + std::to_string(c) + ")");
            expected.push_back("Value='" + row[static_cast<std::size_t>(c - 1)].substr(0, 12) +
                               "'/" + std::to_string(row[static_cast<std::size_t>(c - 1)].size()));
        }
        for (const char* psz : {"Item(3,1)", "Resize(1,10)", "Value=array(500x10)"})
            expected.push_back(psz);
        std::vector<std::string> calls = Calls({"Item(", "Resize(", "Value="});
        calls.resize(std::min(calls.size(), expected.size()));
        EXPECT_EQ(calls, expected);

        CExcelFormat format;
        ASSERT_EQ(format.OpenRead(path), STATUS_OK);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(ReadRow(format, 6), row);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        EXPECT_EQ(ReadRow(format, 3), (std::vector<std::string>{"x", "y", ""}));
        EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    }
}

TEST_F(ExcelFormatTest, EleventhCellWidensTheBuffer) {
    Spy();
    const std::string path = TempPath("wide.xls");
    std::vector<std::string> row;
    for (int i = 1; i <= 11; ++i)
        row.push_back("c" + std::to_string(i));
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, row);
        WriteRow(format, row);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    EXPECT_EQ(Calls({"Resize(", "Value="}),
              (std::vector<std::string>{"Resize(2,16)", "Value=array(500x16)"}));
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 11), row);
}

TEST_F(ExcelFormatTest, TextsStayTextAsWritten) {
    const std::string path = TempPath("texts.xls");
    const std::string longText = std::string(39999, 'x');
    struct SCase {
        std::string m_strWritten;
        std::string m_strRead;
        bool m_bQuoted; // kept as text with the apostrophe
    };
    const SCase cases[] = {
        {"12:30", "12:30", true},
        {"Lunch", "Lunch", false},
        {"", "", false},
        {"=SUM(A1:A2)", "=SUM(A1:A2)", true},
        {"-5", "-5", true},
        {"05.12.2026", "05.12.2026", true},
        {"'quoted'", "'quoted'", true},
        {"line 1\r\nline 2\r", "line 1\nline 2", false},
        {"\xC4rger", "\xC4rger", true}, // only A to Z and a to z count as letters
        {longText + "yy", longText, false},
    };
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, {"Text"});
        for (const SCase& c : cases)
            WriteRow(format, {c.m_strWritten});
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    std::uint32_t nRow = 1;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_strRead.substr(0, 20));
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        std::string text = "?";
        EXPECT_EQ(format.ReadText(text), STATUS_OK);
        EXPECT_EQ(text, c.m_strRead);
        EXPECT_EQ(format.GetLastCell(), c.m_strRead);
        const CXlsCell* pCell = sheet.Find(nRow++, 0);
        if (c.m_strRead.empty()) {
            EXPECT_TRUE(!pCell || pCell->IsEmpty());
        } else {
            ASSERT_NE(pCell, nullptr);
            EXPECT_EQ(pCell->m_kind, CXlsCell::EKind::Text);
            EXPECT_EQ(pCell->m_bQuotePrefix, c.m_bQuoted);
        }
    }
}

TEST_F(ExcelFormatTest, DatesTimesAndNumbersAreCellValues) {
    const std::string path = TempPath("values.xls");
    const TimeValue summer = Local(2026, 7, 1, 14, 30) + 59; // seconds are dropped
    const TimeValue winter = Local(2026, 12, 5, 9, 5);
    for (const bool bDateWithTime : {false, true}) {
        SCOPED_TRACE(bDateWithTime);
        {
            CExcelFormat format;
            format.SetDateWithTime(bDateWithTime);
            ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
            WriteRow(format, {"Date", "Start Time", "End Time", "Span", "Int"});
            for (const TimeValue t : {summer, winter}) {
                ASSERT_EQ(format.WriteDate(t), STATUS_OK);
                ASSERT_EQ(format.WriteTime(t), STATUS_OK);
                ASSERT_EQ(format.WriteTime(t + 3600), STATUS_OK);
                ASSERT_EQ(format.WriteSpan(-5400), STATUS_OK);
                ASSERT_EQ(format.WriteInt(-2147483647 - 1), STATUS_OK);
                ASSERT_EQ(format.EndRow(), STATUS_OK);
            }
            ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        }
        const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
        const CXlsCell* pDate = sheet.Find(1, 0);
        const CXlsCell* pTime = sheet.Find(1, 1);
        ASSERT_TRUE(pDate && pTime);
        EXPECT_EQ(pDate->m_dNumber, 46204.0); // 2026-07-01
        EXPECT_EQ(pDate->m_format, EXlsNumberFormat::Date);
        EXPECT_NEAR(pTime->m_dNumber, (bDateWithTime ? 46204.0 : 0.0) + 14.5 / 24, 1e-9);
        EXPECT_EQ(pTime->m_format,
                  bDateWithTime ? EXlsNumberFormat::DateTime : EXlsNumberFormat::Time);
        EXPECT_EQ(sheet.Find(1, 3)->m_dNumber, -5400.0);
        EXPECT_EQ(sheet.Find(1, 3)->m_format, EXlsNumberFormat::General);
        EXPECT_EQ(sheet.Find(1, 4)->m_dNumber, -2147483648.0);

        CExcelFormat format;
        ASSERT_EQ(format.OpenRead(path), STATUS_OK);
        for (const TimeValue t : {summer, winter}) {
            ASSERT_EQ(format.NextRow(), STATUS_OK);
            TimeValue date = 0;
            TimeValue start = 0;
            TimeValue end = 0;
            TimeSpan span = 0;
            std::int32_t n = 0;
            EXPECT_EQ(format.ReadDate(date), STATUS_OK);
            EXPECT_EQ(format.ReadTime(start), STATUS_OK);
            EXPECT_EQ(format.ReadTime(end), STATUS_OK);
            EXPECT_EQ(format.ReadSpan(span), STATUS_OK);
            EXPECT_EQ(format.ReadInt(n), STATUS_OK);
            EXPECT_EQ(date, LocalMidnight(t));
            // Times read back on today's date (the clock stands at 2026-12-05).
            CLocalTime local;
            ASSERT_TRUE(BreakDownLocal(t, local));
            EXPECT_EQ(start, Local(2026, 12, 5, local.m_nHour, local.m_nMinute));
            EXPECT_EQ(end, start + 3600);
            EXPECT_EQ(span, -5400);
            EXPECT_EQ(n, -2147483647 - 1);
        }
    }
}

TEST_F(ExcelFormatTest, UnendedRowIsStillWritten) {
    const std::string path = TempPath("unended.xls");
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format, {"Text"});
        ASSERT_EQ(format.WriteText("last"), STATUS_OK);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
        EXPECT_EQ(format.CloseWrite(), STATUS_FAILED); // closed already
    }
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 1), std::vector<std::string>{"last"});
}

TEST_F(ExcelFormatTest, ClosingSizesRowsAndTheDateAndTimeColumns) {
    const std::string path = TempPath("sized.xls");
    const std::vector<unsigned> fields = {
        FIELD_DATE, FIELD_TEXT, FIELD_START_TIME, FIELD_END_TIME, FIELD_REPEAT_END_DATE,
        FIELD_NOTE};
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        for (const unsigned id : fields)
            ASSERT_EQ(format.WriteText(CFieldLayout::GetFieldName(id)), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
        ASSERT_EQ(format.WriteDate(Local(2026, 12, 5)), STATUS_OK);
        ASSERT_EQ(format.WriteText("Lunch with a very long description"), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 9, 30)), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 10, 0)), STATUS_OK);
        ASSERT_EQ(format.WriteDate(Local(2027, 1, 31)), STATUS_OK);
        ASSERT_EQ(format.WriteText("line 1\nline 2"), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    auto width = [&](std::size_t c) {
        return c < sheet.m_vecColumnWidths.size() ? sheet.m_vecColumnWidths[c] : 0.0;
    };
    EXPECT_EQ(width(0), 10.0); // 05.12.2026
    EXPECT_EQ(width(1), 0.0);  // Text: not fitted
    EXPECT_EQ(width(2), 10.0); // "Start Time" is wider than 9:30
    EXPECT_EQ(width(3), 8.0);  // "End Time"
    EXPECT_EQ(width(4), 15.0); // "Repeat End Date"
    EXPECT_EQ(width(5), 0.0);
    // Every row as high as the first, also the one with two lines.
    EXPECT_EQ(sheet.RowHeight(0), CXlsSheet::kDefaultRowHeight);
    EXPECT_EQ(sheet.RowHeight(1), CXlsSheet::kDefaultRowHeight);
}

// ---- Reading ----

class ExcelReadTest : public CAutomationTest {
protected:
    void SetUp() override {
        CAutomationTest::SetUp();
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("sDecimal", ","), REG_STATUS_OK);
    }
    // A workbook made through the component from rows of values, from A1.
    std::string MakeWorkbook(const std::vector<std::vector<CVariant>>& rows) const {
        const CComPtr<IDispatch> pWorkbook = NewWorkbook();
        const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                Put(pSheet.Get(), static_cast<LONG>(r + 1), static_cast<LONG>(c + 1), rows[r][c]);
        const std::string path = TempPath("made.xls");
        SaveAs(pWorkbook.Get(), path);
        return path;
    }
};

TEST_F(ExcelReadTest, HeaderRowIsNeverData) {
    for (const auto& rows :
         {std::vector<std::vector<CVariant>>{{S(u"Date"), S(u"Text")}},
          std::vector<std::vector<CVariant>>{{S(u"Date")}}, std::vector<std::vector<CVariant>>{}}) {
        CExcelFormat format;
        ASSERT_EQ(format.OpenRead(MakeWorkbook(rows)), STATUS_OK);
        EXPECT_EQ(format.GetSize(), 1);
        EXPECT_EQ(format.NextRow(), STATUS_FAILED);
        EXPECT_EQ(format.CloseRead(), STATUS_OK);
    }
    // Without a header the first row is lost: row 1 of the used range is never read.
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(MakeWorkbook({{S(u"first")}, {S(u"second")}})), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 1), std::vector<std::string>{"second"});
}

TEST_F(ExcelReadTest, CellsReadByTheirValues) {
    const CVariant na = [] {
        CVariant v;
        v.vt = VT_ERROR;
        v.scode = static_cast<HRESULT>(0x800A07FA);
        return v;
    }();
    const std::string path = MakeWorkbook({
        {S(u"h")},
        {CVariant::Date(46361.0), CVariant::Date(0.5), CVariant(0.75), CVariant(5400.0),
         CVariant(5400.9), S(u"90min"), S(u"1.2.1950"), CVariant::Date(18295.0) /* 1950-02-01 */,
         S(u" 05.12.2026 "), S(u"14:45"), CVariant(), CVariant(42.0), S(u"12:30"), na,
         CVariant::Date(46361.5), CVariant(1234.5), CVariant::Date(10959.0) /* 1930-01-01 */,
         CVariant(1e12), S(u"  ")},
    });
    const TimeValue today = Local(2026, 12, 5);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(format.GetLastCell(), "");
    TimeValue t = 0;
    TimeSpan ts = 0;
    std::int32_t n = 0;
    std::string text;
    EXPECT_EQ(format.ReadDate(t), STATUS_OK);
    EXPECT_EQ(t, today);
    EXPECT_EQ(format.GetLastCell(), "05.12.2026");
    EXPECT_EQ(format.ReadTime(t), STATUS_OK); // a date value 0.5
    EXPECT_EQ(t, today + 12 * 3600);
    EXPECT_EQ(format.GetLastCell(), "12:00:00");
    EXPECT_EQ(format.ReadTime(t), STATUS_OK); // a double 0.75
    EXPECT_EQ(t, today + 18 * 3600);
    EXPECT_EQ(format.ReadSpan(ts), STATUS_OK);
    EXPECT_EQ(ts, 5400);
    EXPECT_EQ(format.ReadSpan(ts), STATUS_OK); // the fraction dropped
    EXPECT_EQ(ts, 5400);
    EXPECT_EQ(format.GetLastCell(), "5400,9");
    EXPECT_EQ(format.ReadSpan(ts), STATUS_OK);
    EXPECT_EQ(ts, 90);
    t = 7;
    EXPECT_EQ(format.ReadDate(t), STATUS_FAILED); // 1.2.1950 becomes 2050
    EXPECT_EQ(format.ReadDate(t), STATUS_FAILED); // a date cell in 1950 too
    EXPECT_EQ(t, 7);
    EXPECT_EQ(format.ReadDate(t), STATUS_OK);
    EXPECT_EQ(t, today);
    EXPECT_EQ(format.ReadTime(t), STATUS_OK);
    EXPECT_EQ(t, today + 14 * 3600 + 45 * 60);
    EXPECT_EQ(format.ReadDate(t), STATUS_EMPTY);
    EXPECT_EQ(format.ReadInt(n), STATUS_OK);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(format.ReadInt(n), STATUS_OK); // the leading integer of the text
    EXPECT_EQ(n, 12);
    EXPECT_EQ(format.ReadText(text), STATUS_OK);
    EXPECT_EQ(text, "#N/A");
    EXPECT_EQ(format.ReadText(text), STATUS_OK);
    EXPECT_EQ(text, "05.12.2026 12:00:00");
    EXPECT_EQ(format.ReadText(text), STATUS_OK);
    EXPECT_EQ(text, "1234,5");
    EXPECT_EQ(format.ReadDate(t), STATUS_OK); // 1930 becomes 2030, as for texts
    EXPECT_EQ(t, Local(2030, 1, 1));
    EXPECT_EQ(format.ReadInt(n), STATUS_OK); // clamped
    EXPECT_EQ(n, 2147483647);
    EXPECT_EQ(format.ReadTime(t), STATUS_EMPTY); // blanks only
    // Past the used range every cell is empty.
    EXPECT_EQ(format.ReadSpan(ts), STATUS_EMPTY);
    EXPECT_EQ(format.ReadText(text), STATUS_OK);
    EXPECT_EQ(text, "");
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
    EXPECT_EQ(format.GetLastCell(), "");
}

TEST_F(ExcelReadTest, UsedRangeNeedNotStartAtA1) {
    const CComPtr<IDispatch> pWorkbook = NewWorkbook();
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    Put(pSheet.Get(), 3, 2, S(u"Text"));
    Put(pSheet.Get(), 4, 2, S(u"Lunch"));
    Put(pSheet.Get(), 4, 3, L(7));
    const std::string path = TempPath("offset.xls");
    SaveAs(pWorkbook.Get(), path);
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 2);
    ASSERT_EQ(format.NextRow(), STATUS_OK);
    EXPECT_EQ(ReadRow(format, 3), (std::vector<std::string>{"Lunch", "7", ""}));
}

// ---- Independent readers and writers ----

TEST_F(ExcelFormatTest, XlrdReadsWhatTheFormatWrites) {
    if (!xlstest::HaveXlrd())
        GTEST_SKIP() << "python3-xlrd is not installed";
    const std::string path = TempPath("peer.xls");
    const std::string note = "Bring the slides\nand the " + std::string(600, 'z');
    {
        CExcelFormat format;
        ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
        WriteRow(format,
                 {"Date", "Untimed", "Start Time", "End Time", "Text", "Note", "Alarm Time"});
        ASSERT_EQ(format.WriteDate(Local(2026, 12, 5)), STATUS_OK);
        ASSERT_EQ(format.WriteText("No"), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 9, 30)), STATUS_OK);
        ASSERT_EQ(format.WriteTime(Local(2026, 12, 5, 14, 45)), STATUS_OK);
        ASSERT_EQ(format.WriteText("Caf\xE9 \x80 12:30"), STATUS_OK);
        ASSERT_EQ(format.WriteText(note), STATUS_OK);
        ASSERT_EQ(format.WriteInt(15), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
        ASSERT_EQ(format.CloseWrite(), STATUS_OK);
    }
    const xlstest::CXlrdSheet sheet = xlstest::ReadWithXlrd(path);
    ASSERT_TRUE(sheet.m_bOk) << sheet.m_strOutput;
    EXPECT_EQ(sheet.m_nRows, 2);
    EXPECT_EQ(sheet.m_nColumns, 7);
    auto cell = [&](int r, int c) {
        const auto it = sheet.m_mapCells.find({r, c});
        return it == sheet.m_mapCells.end() ? xlstest::CXlrdCell() : it->second;
    };
    EXPECT_EQ(cell(0, 2).Text(), u"Start Time");
    EXPECT_EQ(cell(1, 0).m_nType, 3); // date
    EXPECT_TRUE(cell(1, 0).m_bDate);
    EXPECT_EQ(cell(1, 0).Number(), 46361.0);
    EXPECT_EQ(cell(1, 0).m_nFormat, 14);
    EXPECT_EQ(cell(1, 2).m_nType, 3);
    EXPECT_NEAR(cell(1, 2).Number(), 9.5 / 24, 1e-12);
    EXPECT_EQ(cell(1, 2).m_nFormat, 20);
    EXPECT_NEAR(cell(1, 3).Number(), 14.75 / 24, 1e-12);
    EXPECT_EQ(cell(1, 1).Text(), u"No");
    EXPECT_EQ(cell(1, 4).m_nType, 1);
    EXPECT_EQ(cell(1, 4).Text(), u"Caf\u00E9 \u20AC 12:30");
    EXPECT_EQ(cell(1, 5).Text(), ToUtf16(note));
    EXPECT_TRUE(cell(1, 5).m_bWrap);
    EXPECT_EQ(cell(1, 6).m_nType, 2);
    EXPECT_EQ(cell(1, 6).Number(), 15.0);
    // The date and time columns fitted, in 1/256 of a character.
    EXPECT_EQ(sheet.m_mapWidths.at(0), 10 * 256);
    EXPECT_EQ(sheet.m_mapWidths.at(2), 10 * 256);
    EXPECT_EQ(sheet.m_mapWidths.at(3), 8 * 256);
}

TEST_F(ExcelFormatTest, ReadsAWorkbookOfAnotherProgram) {
    if (!xlstest::HaveSsconvert())
        GTEST_SKIP() << "gnumeric's ssconvert is not installed";
    const std::string csv = TempPath("appointments.csv");
    WriteFileBytes(csv, "Date,Start Time,Text,Alarm Time,Time Span,Category\n"
                        "2026-12-05,09:30,\"Lunch with \"\"Anna\"\"\",15,5400,Work\n"
                        "2026-12-24,18:00,Christmas Eve,,3600,\n"
                        "2031-12-31,23:59,Last day,0,0,x\n");
    const std::string xls = TempPath("appointments.xls");
    ASSERT_TRUE(xlstest::Ssconvert(Home(), csv, xls, "Gnumeric_Excel:excel_biff8"));

    struct SRow {
        TimeValue m_date;
        TimeValue m_start;
        const char* m_pszText;
        EStatus m_alarmStatus;
        std::int32_t m_nAlarm;
        TimeSpan m_span;
        const char* m_pszCategory;
    };
    const SRow rows[] = {
        {Local(2026, 12, 5), Local(2026, 12, 5, 9, 30), "Lunch with \"Anna\"", STATUS_OK, 15, 5400,
         "Work"},
        {Local(2026, 12, 24), Local(2026, 12, 5, 18, 0), "Christmas Eve", STATUS_OK, 0, 3600, ""},
        {Local(2031, 12, 31), Local(2026, 12, 5, 23, 59), "Last day", STATUS_OK, 0, 0, "x"},
    };
    CExcelFormat format;
    ASSERT_EQ(format.OpenRead(xls), STATUS_OK);
    EXPECT_EQ(format.GetSize(), 4);
    std::string header;
    ASSERT_EQ(format.ReadText(header), STATUS_OK);
    EXPECT_EQ(header, "Date");
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.m_pszText);
        ASSERT_EQ(format.NextRow(), STATUS_OK);
        TimeValue date = 0;
        TimeValue start = 0;
        std::string text;
        std::int32_t nAlarm = -1;
        TimeSpan span = -1;
        std::string category;
        EXPECT_EQ(format.ReadDate(date), STATUS_OK);
        EXPECT_EQ(format.ReadTime(start), STATUS_OK);
        EXPECT_EQ(format.ReadText(text), STATUS_OK);
        EXPECT_EQ(format.ReadInt(nAlarm), row.m_alarmStatus);
        EXPECT_EQ(format.ReadSpan(span), STATUS_OK);
        EXPECT_EQ(format.ReadText(category), STATUS_OK);
        EXPECT_EQ(date, row.m_date);
        EXPECT_EQ(start, row.m_start);
        EXPECT_EQ(text, row.m_pszText);
        EXPECT_EQ(nAlarm, row.m_nAlarm);
        EXPECT_EQ(span, row.m_span);
        EXPECT_EQ(category, row.m_pszCategory);
    }
    EXPECT_EQ(format.NextRow(), STATUS_FAILED);
}

// ---- Availability and failures ----

TEST_F(ExcelFormatTest, AvailableOnlyWithTheOfficeKeyAndTheRegisteredComponent) {
    EXPECT_TRUE(IsExcelAvailable());
    EXPECT_TRUE(CExcelFormat().HasApplication());

    struct SCase {
        const char* m_pszWhat;
        ERegHive m_hive;
        std::string m_strKey;
        bool m_bCreatable; // whether the format still gets an application
    };
    const std::string classKey = ClassKeyPath(CLSID_SpreadsheetApplication);
    const SCase cases[] = {
        {"office key", ERegHive::LocalMachine, kOfficeKey, true},
        {"ProgID", ERegHive::ClassesRoot, kSpreadsheetProgId, false},
        {"class key", ERegHive::ClassesRoot, classKey, false},
        {"in-process server", ERegHive::ClassesRoot, classKey + "\\InprocServer32", false},
    };
    for (const SCase& c : cases) {
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
        CExcelFormat format;
        try {
            static_cast<void>(format.OpenRead(path));
            ADD_FAILURE() << "no failure for " << path;
        } catch (const CFormatException& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    CExcelFormat format;
    EXPECT_THROW(static_cast<void>(format.OpenWrite(TempPath("no/such/folder.xls"))),
                 CFormatException);
}

TEST_F(ExcelFormatTest, TooManyRowsFailAndTheWorkbookIsClosed) {
    Spy();
    const std::string path = TempPath("full.xls");
    CExcelFormat format;
    ASSERT_EQ(format.OpenWrite(path), STATUS_OK);
    for (int i = 0; i < 65536; ++i) {
        ASSERT_EQ(format.WriteInt(i), STATUS_OK);
        ASSERT_EQ(format.EndRow(), STATUS_OK);
    }
    // The last block, rows 65,501 to 65,536, still fits; the next row does not.
    ASSERT_EQ(format.WriteInt(65536), STATUS_OK);
    try {
        static_cast<void>(format.CloseWrite());
        ADD_FAILURE() << "no failure";
    } catch (const CFormatException& e) {
        EXPECT_NE(std::string(e.what()).find("Row 65537"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Calls({"Close"}), std::vector<std::string>{"Close"});
    EXPECT_EQ(format.CloseRead(), STATUS_FAILED); // nothing left open
}

} // namespace
