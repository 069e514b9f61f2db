// The spreadsheet component as its callers see it: objects reached by ProgID and driven
// through IDispatch alone. What the workbook format relies on is shown through the
// format (tests/formats/ExcelFormatTest.cpp); here the rest of the automation contract.
#include "formats/Dispatch.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

CVariant L(LONG n) {
    return CVariant(n);
}
CVariant S(std::u16string_view text) {
    return CVariant(text);
}
CVariant Bool(bool b) {
    CVariant v;
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
CVariant Error(HRESULT scode) {
    CVariant v;
    v.vt = VT_ERROR;
    v.scode = scode;
    return v;
}
std::u16string Text(const VARIANT& value) {
    EXPECT_EQ(value.vt, VT_BSTR);
    return value.vt == VT_BSTR ? std::u16string(BstrView(value.bstrVal)) : u"<not text>";
}
std::string Narrow(const std::u16string& text) {
    return {text.begin(), text.end()};
}

// What one raw Invoke gave back.
struct SCall {
    HRESULT m_hr = S_OK;
    CVariant m_result;
    std::u16string m_strSource;
    std::u16string m_strDescription;
    UINT m_nArgError = ~0u;
};

DISPID IdOf(IDispatch* pObject, std::u16string_view name) {
    std::u16string text(name);
    OLECHAR* psz = text.data();
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(pObject->GetIDsOfNames(GUID_NULL, &psz, 1, 0, &id), S_OK) << "no member";
    return id;
}

// Invoke with the arguments in the caller's order; named arguments as given.
SCall Call(IDispatch* pObject, DISPID id, WORD wFlags, const std::vector<CVariant>& args,
           const VARIANT* pPutValue = nullptr, std::vector<DISPID> vecNamed = {}) {
    std::vector<VARIANT> params;
    if (pPutValue) {
        params.push_back(*pPutValue);
        vecNamed.insert(vecNamed.begin(), DISPID_PROPERTYPUT);
    }
    params.insert(params.end(), args.rbegin(), args.rend());
    DISPPARAMS dp{params.data(), vecNamed.data(), static_cast<UINT>(params.size()),
                  static_cast<UINT>(vecNamed.size())};
    SCall result;
    EXCEPINFO excep;
    std::memset(static_cast<void*>(&excep), 0, sizeof excep);
    result.m_hr = pObject->Invoke(id, GUID_NULL, 0, wFlags, &dp, &result.m_result, &excep,
                                  &result.m_nArgError);
    result.m_strSource = CBstr::Attach(excep.bstrSource).Str();
    result.m_strDescription = CBstr::Attach(excep.bstrDescription).Str();
    return result;
}
SCall Call(IDispatch* pObject, std::u16string_view name, WORD wFlags,
           const std::vector<CVariant>& args, const VARIANT* pPutValue = nullptr) {
    return Call(pObject, IdOf(pObject, name), wFlags, args, pPutValue);
}

// The platform set up in a fresh home, and one application object.
class AutomationTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        EnsurePlatformSetup();
        ASSERT_EQ(CoCreateInstance(kSpreadsheetProgId, m_pApplication), S_OK);
    }
    void TearDown() override {
        m_pApplication = nullptr;
        ClearErrorInfo();
        CVarnoTest::TearDown();
    }

    [[nodiscard]] CComPtr<IDispatch> Workbooks() const {
        return GetObjectProperty(m_pApplication.Get(), u"Workbooks");
    }
    [[nodiscard]] CComPtr<IDispatch> NewWorkbook() const {
        return ToObject(CallMethod(Workbooks().Get(), u"Add"), u"Add");
    }
    [[nodiscard]] static CComPtr<IDispatch> FirstSheet(IDispatch* pWorkbook) {
        return GetItem(GetObjectProperty(pWorkbook, u"Sheets").Get(), {L(1)});
    }
    [[nodiscard]] static CComPtr<IDispatch> Cells(IDispatch* pSheet) {
        return GetObjectProperty(pSheet, u"Cells");
    }
    [[nodiscard]] static CComPtr<IDispatch> Cell(IDispatch* pSheet, LONG nRow, LONG nColumn) {
        return GetItem(Cells(pSheet).Get(), {L(nRow), L(nColumn)});
    }
    static void Put(IDispatch* pSheet, LONG nRow, LONG nColumn, const VARIANT& value) {
        PutProperty(Cell(pSheet, nRow, nColumn).Get(), u"Value", value);
    }
    [[nodiscard]] static CVariant Get(IDispatch* pSheet, LONG nRow, LONG nColumn) {
        return GetProperty(Cell(pSheet, nRow, nColumn).Get(), u"Value");
    }
    // Saves the workbook and reads the file back with the workbook engine.
    static CXlsSheet SaveAndLoad(IDispatch* pWorkbook) {
        const std::string path = TempPath("saved.xls");
        CallMethod(pWorkbook, u"SaveAs", {S(std::u16string(path.begin(), path.end()))});
        return CXlsWorkbook::Load(path).m_vecSheets.at(0);
    }

    CComPtr<IDispatch> m_pApplication;
};

using AutomationSetupTest = CVarnoTest;

TEST_F(AutomationSetupTest, FirstUseRegistersAndLaterUseLeavesTheRegistryAlone) {
    CComPtr<IDispatch> pApplication;
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);
    EnsurePlatformSetup();
    const std::string clsid = FormatGuid(CLSID_SpreadsheetApplication);
    for (const auto& [key, value] :
         {std::pair{std::string("Excel.Application\\CLSID"), clsid},
          std::pair{"CLSID\\" + clsid + "\\ProgID", std::string("Excel.Application")}}) {
        CRegKey reg;
        std::string got;
        EXPECT_EQ(reg.Open(ERegHive::ClassesRoot, key), REG_STATUS_OK);
        EXPECT_EQ(reg.QueryString("", got), REG_STATUS_OK);
        EXPECT_EQ(got, value);
    }
    ASSERT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), S_OK);
    pApplication = nullptr;

    // Taken away by hand: a later start keeps it away.
    ASSERT_EQ(RegDeleteTree(ERegHive::ClassesRoot, "Excel.Application"), REG_STATUS_OK);
    ASSERT_EQ(RegDeleteTree(ERegHive::LocalMachine, kOfficeKey), REG_STATUS_OK);
    EnsurePlatformSetup();
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);
    CRegKey office;
    EXPECT_NE(office.Open(ERegHive::LocalMachine, kOfficeKey), REG_STATUS_OK);
    {
        CTestHome home; // a new user home is set up on its first use
        EnsurePlatformSetup();
        EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), S_OK);
        pApplication = nullptr;
    }
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);
}

// Member names in any letter case; parameter names are not offered; wrong calls give the
// dispatch statuses, the argument index counted as DISPPARAMS holds them (last first).
TEST_F(AutomationTest, NamesAndWrongCalls) {
    IDispatch* pApp = m_pApplication.Get();
    for (const char16_t* pszName : {u"workbooks", u"WORKBOOKS", u"wOrKbOoKs"})
        EXPECT_EQ(IdOf(pApp, pszName), IdOf(pApp, u"Workbooks"));
    std::u16string quit(u"quit"), parameter(u"Filename"), unknown(u"Visible");
    OLECHAR* names[2] = {unknown.data(), parameter.data()};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(pApp->GetIDsOfNames(GUID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    names[0] = quit.data();
    EXPECT_EQ(pApp->GetIDsOfNames(GUID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_NE(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    const CComPtr<IDispatch> pCells = Cells(pSheet.Get());
    const CComPtr<IDispatch> pA1 = Cell(pSheet.Get(), 1, 1);
    const CVariant value(LONG{1});
    const CVariant object(Call(pApp, u"Workbooks", DISPATCH_PROPERTYGET, {}).m_result);
    const CVariant notANumber(std::numeric_limits<double>::quiet_NaN());
    const std::tuple<SCall, HRESULT, UINT> cases[] = {
        {Call(pApp, u"Quit", DISPATCH_METHOD, {L(1)}), DISP_E_BADPARAMCOUNT, ~0u},
        {Call(pApp, u"Quit", DISPATCH_PROPERTYGET, {}), DISP_E_MEMBERNOTFOUND, ~0u},
        {Call(pApp, u"Workbooks", DISPATCH_PROPERTYPUT, {}, &value), DISP_E_MEMBERNOTFOUND, ~0u},
        {Call(pApp, 999, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND, ~0u},
        {Call(pCells.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(1), L(1), L(1)}),
         DISP_E_BADPARAMCOUNT, ~0u},
        {Call(Workbooks().Get(), u"Open", DISPATCH_METHOD, {L(42)}), DISP_E_TYPEMISMATCH, 0},
        {Call(pCells.Get(), u"Item", DISPATCH_PROPERTYGET, {S(u"x"), L(1)}), DISP_E_TYPEMISMATCH,
         1},
        {Call(pA1.Get(), u"Value", DISPATCH_PROPERTYPUT, {}, &object), DISP_E_TYPEMISMATCH, ~0u},
        {Call(pA1.Get(), u"Value", DISPATCH_PROPERTYPUT, {}, &notANumber), DISP_E_TYPEMISMATCH,
         ~0u},
        {Call(pCells.Get(), IdOf(pCells.Get(), u"Count"), DISPATCH_PROPERTYGET, {L(1)}, nullptr,
              {5}),
         DISP_E_NONAMEDARGS, ~0u},
        {Call(pCells.Get(), u"Value", DISPATCH_PROPERTYPUT, {}), DISP_E_PARAMNOTOPTIONAL, ~0u}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [call, hr, nArgError] = cases[i];
        EXPECT_EQ(call.m_hr, hr) << i;
        EXPECT_TRUE(nArgError == ~0u || call.m_nArgError == nArgError) << i;
    }
}

TEST_F(AutomationTest, CellValuesKeepTheirKind) {
    const CComPtr<IDispatch> pWorkbook = NewWorkbook();
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    const HRESULT kNotAvailable = static_cast<HRESULT>(0x800A07FA); // #N/A
    const std::pair<CVariant, CVariant> cases[] = {
        // put, read back (compared by kind and content)
        {S(u"'12:30"), S(u"12:30")}, // the apostrophe keeps it text
        {S(u"12:30"), S(u"12:30")},  // other texts stay text as well
        {S(u"=1+2"), S(u"=1+2")},
        {S(u"''quoted"), S(u"'quoted")},
        {S(u""), CVariant()},
        {S(u"'"), CVariant()},
        {L(42), CVariant(42.0)},
        {CVariant::Date(46361.0), CVariant::Date(46361.0)},
        {CVariant::Date(0.5), CVariant::Date(0.5)},
        {CVariant::Date(46361.5), CVariant::Date(46361.5)},
        {Bool(true), Bool(true)},
        {Error(kNotAvailable), Error(kNotAvailable)},
        {CVariant(), CVariant()}};
    for (LONG nRow = 1; nRow <= static_cast<LONG>(std::size(cases)); ++nRow) {
        SCOPED_TRACE(nRow);
        const auto& [put, expected] = cases[nRow - 1];
        Put(pSheet.Get(), nRow, 1, put);
        const CVariant got = Get(pSheet.Get(), nRow, 1);
        ASSERT_EQ(got.vt, expected.vt);
        if (got.vt == VT_BSTR) {
            EXPECT_EQ(Text(got), Text(expected));
        } else if (got.vt == VT_BOOL) {
            EXPECT_EQ(got.boolVal, expected.boolVal);
        } else if (got.vt == VT_ERROR) {
            EXPECT_EQ(got.scode, expected.scode);
        } else if (got.vt != VT_EMPTY) {
            EXPECT_EQ(got.dblVal, expected.dblVal); // VT_R8 and VT_DATE
        }
    }
    // The file keeps what the cells were given: quote prefix, date formats by value.
    const CXlsSheet sheet = SaveAndLoad(pWorkbook.Get());
    EXPECT_TRUE(sheet.Get(0, 0).m_bQuotePrefix);
    EXPECT_FALSE(sheet.Get(1, 0).m_bQuotePrefix);
    const EXlsNumberFormat formats[] = {EXlsNumberFormat::General, EXlsNumberFormat::Date,
                                        EXlsNumberFormat::Time, EXlsNumberFormat::DateTime};
    for (std::uint32_t r = 6; r <= 9; ++r)
        EXPECT_EQ(sheet.Get(r, 0).m_format, formats[r - 6]) << r;
}

// Cells and sizes beyond the 65,536 rows and 256 columns of a sheet are refused, the
// description naming the row or column.
TEST_F(AutomationTest, RangesStayInsideTheSheet) {
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    const CComPtr<IDispatch> pCells = Cells(pSheet.Get());
    for (const auto& [nRow, nColumn, needle] :
         {std::tuple{65536, 256, u""}, std::tuple{65537, 1, u"Row 65537"},
          std::tuple{0, 1, u"Row 0"}, std::tuple{1, 257, u"Column 257"},
          std::tuple{1, -3, u"Column -3"}}) {
        const SCall call =
            Call(pCells.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(nRow), L(nColumn)});
        EXPECT_EQ(call.m_hr, *needle ? DISP_E_EXCEPTION : S_OK) << nRow << "," << nColumn;
        EXPECT_NE(call.m_strDescription.find(needle), std::u16string::npos)
            << Narrow(call.m_strDescription);
    }
    const CComPtr<IDispatch> pLast = Cell(pSheet.Get(), 65000, 1);
    for (const auto& [nRows, hr] :
         {std::pair{537, S_OK}, std::pair{538, DISP_E_EXCEPTION}, std::pair{0, DISP_E_EXCEPTION}})
        EXPECT_EQ(Call(pLast.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(nRows), L(1)}).m_hr, hr);
}

// The application's default save format chooses the grid of the workbooks Add creates:
// 65,536 rows for .xls (56, the default), 1,048,576 for .xlsx (51); other formats are refused.
TEST_F(AutomationTest, NewWorkbooksTakeTheGridOfTheDefaultSaveFormat) {
    EXPECT_EQ(GetProperty(m_pApplication.Get(), u"DefaultSaveFormat").lVal, 56);
    for (const auto& [nFormat, nRow, hr] :
         {std::tuple{56, 65537, DISP_E_EXCEPTION}, std::tuple{51, 65537, S_OK},
          std::tuple{51, 1048577, DISP_E_EXCEPTION}}) {
        PutProperty(m_pApplication.Get(), u"DefaultSaveFormat", L(nFormat));
        const CComPtr<IDispatch> pCells = Cells(FirstSheet(NewWorkbook().Get()).Get());
        EXPECT_EQ(Call(pCells.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(nRow), L(1)}).m_hr, hr)
            << nFormat << " row " << nRow;
    }
    EXPECT_EQ(Call(m_pApplication.Get(), u"DefaultSaveFormat", DISPATCH_PROPERTYPUT, {L(39)}).m_hr,
              DISP_E_EXCEPTION);
}

// Row heights in points, at most 409.5; AutoFit sizes whole columns to their widest text
// and rows to their tallest.
TEST_F(AutomationTest, RowHeightsAndAutoFit) {
    const CComPtr<IDispatch> pWorkbook = NewWorkbook();
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    Put(pSheet.Get(), 1, 1, S(u"Date"));
    Put(pSheet.Get(), 2, 1, CVariant::Date(46361.0)); // 05.12.2026
    Put(pSheet.Get(), 1, 2, S(u"Start Time"));
    Put(pSheet.Get(), 2, 2, CVariant::Date(0.5)); // 12:00
    Put(pSheet.Get(), 1, 3, S(u"Note"));
    Put(pSheet.Get(), 300, 3, S(u"first\na longer line\nend"));
    Put(pSheet.Get(), 1, 4, CVariant(1234.5));
    Put(pSheet.Get(), 2, 4, CVariant(0.1 + 0.2));     // General shows at most 11 characters
    Put(pSheet.Get(), 1, 5, CVariant::Date(46361.5)); // 05.12.2026 12:00
    Put(pSheet.Get(), 1, 6, Bool(false));
    for (LONG c = 1; c <= 7; ++c)
        CallMethod(GetObjectProperty(Cell(pSheet.Get(), 1, c).Get(), u"EntireColumn").Get(),
                   u"AutoFit");
    EXPECT_EQ(Call(Cell(pSheet.Get(), 1, 1).Get(), u"AutoFit", DISPATCH_METHOD, {}).m_hr,
              DISP_E_EXCEPTION); // not a whole column or row
    CallMethod(GetObjectProperty(Cell(pSheet.Get(), 300, 1).Get(), u"Rows").Get(), u"AutoFit");

    const CComPtr<IDispatch> pRows = GetObjectProperty(
        GetObjectProperty(Cell(pSheet.Get(), 1, 1).Get(), u"Resize", {L(3), L(1)}).Get(), u"Rows");
    EXPECT_EQ(GetProperty(pRows.Get(), u"RowHeight").dblVal, 12.75);
    PutProperty(Cell(pSheet.Get(), 2, 1).Get(), u"RowHeight", CVariant(30.0));
    EXPECT_EQ(GetProperty(pRows.Get(), u"RowHeight").vt, VT_NULL); // rows differ
    PutProperty(Cell(pSheet.Get(), 3, 1).Get(), u"RowHeight", CVariant(409.5));
    for (const double d : {410.0, -1.0}) {
        const CVariant height(d);
        const SCall call = Call(pRows.Get(), u"RowHeight", DISPATCH_PROPERTYPUT, {}, &height);
        EXPECT_EQ(call.m_hr, DISP_E_EXCEPTION);
        EXPECT_NE(call.m_strDescription.find(u"409.5"), std::u16string::npos);
    }

    const CXlsSheet sheet = SaveAndLoad(pWorkbook.Get());
    std::vector<double> widths = sheet.m_vecColumnWidths;
    widths.resize(7);
    EXPECT_EQ(widths, (std::vector<double>{10, 10, 13, 11, 16, 5, 0}));
    const double heights[] = {12.75, 30, 409.5, 12.75};
    for (std::uint32_t r = 0; r < std::size(heights); ++r)
        EXPECT_EQ(sheet.RowHeight(r), heights[r]) << r;
    EXPECT_EQ(sheet.RowHeight(299), 3 * CXlsSheet::kDefaultRowHeight);
}

TEST_F(AutomationTest, WorkbooksLiveInFilesUntilTheApplicationQuits) {
    const std::string path = TempPath("book.xls");
    const std::u16string path16(path.begin(), path.end());
    {
        const CComPtr<IDispatch> pWorkbook = NewWorkbook();
        const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
        EXPECT_THROW(CallMethod(pWorkbook.Get(), u"Save"), CFormatException); // no name yet
        Put(pSheet.Get(), 1, 1, S(u"Stra\u00DFe \u20AC"));
        CallMethod(pWorkbook.Get(), u"SaveAs", {S(path16)});
        Put(pSheet.Get(), 2, 1, CVariant::Date(46361.25));
        CallMethod(pWorkbook.Get(), u"Save");
        Put(pSheet.Get(), 3, 1, S(u"never saved"));
        CallMethod(pWorkbook.Get(), u"Close");
        const SCall closed = Call(pSheet.Get(), u"Cells", DISPATCH_PROPERTYGET, {});
        EXPECT_EQ(closed.m_hr, DISP_E_EXCEPTION);
        EXPECT_EQ(closed.m_strDescription, u"The workbook has been closed.");
    }
    const CComPtr<IDispatch> pWorkbook =
        ToObject(CallMethod(Workbooks().Get(), u"Open", {S(path16)}), u"Open");
    const CComPtr<IDispatch> pSheets = GetObjectProperty(pWorkbook.Get(), u"Sheets");
    const CComPtr<IDispatch> pSheet = GetItem(pSheets.Get(), {S(u"SHEET1")}); // any letter case
    EXPECT_EQ(Text(Get(pSheet.Get(), 1, 1)), u"Stra\u00DFe \u20AC");
    EXPECT_EQ(Get(pSheet.Get(), 2, 1).date, 46361.25);
    EXPECT_EQ(Get(pSheet.Get(), 3, 1).vt, VT_EMPTY);
    EXPECT_EQ(Call(pSheets.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(2)}).m_hr,
              DISP_E_BADINDEX);

    // A file that cannot be read: an exception whose description names the file, also in
    // the thread's error information.
    WriteFileBytes(path, ReadFileBytes(path).substr(0, 2048));
    ClearErrorInfo();
    const SCall open = Call(Workbooks().Get(), u"Open", DISPATCH_METHOD, {S(path16)});
    EXPECT_EQ(open.m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(open.m_strSource, u"Spreadsheet");
    EXPECT_NE(Narrow(open.m_strDescription).find(path), std::string::npos);
    const auto info = TakeErrorInfo();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->m_strDescription, open.m_strDescription);

    // Quitting closes everything and ends the application.
    const CComPtr<IDispatch> pWorkbooks = Workbooks();
    CallMethod(m_pApplication.Get(), u"Quit");
    EXPECT_EQ(Call(pSheet.Get(), u"UsedRange", DISPATCH_PROPERTYGET, {}).m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(Call(pWorkbooks.Get(), u"Add", DISPATCH_METHOD, {}).m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(Call(m_pApplication.Get(), u"Workbooks", DISPATCH_PROPERTYGET, {}).m_hr,
              DISP_E_EXCEPTION);
}

// SaveAs with the .xlsx file format (51): the file is an .xlsx one, its grid has rows past
// 65,536, Open reads it back by its content, and Save keeps the format. Other file
// formats are refused. UsedRange.Row is the sheet's number of its first row.
TEST_F(AutomationTest, SaveAsTheXlsxFileFormat) {
    const std::string path = TempPath("book.xlsx");
    const std::u16string path16(path.begin(), path.end());
    {
        const CComPtr<IDispatch> pWorkbook = NewWorkbook();
        const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
        EXPECT_EQ(Call(pWorkbook.Get(), u"SaveAs", DISPATCH_METHOD, {S(path16), L(39)}).m_hr,
                  DISP_E_EXCEPTION);
        EXPECT_EQ(
            Call(Cells(pSheet.Get()).Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(70000), L(1)})
                .m_hr,
            DISP_E_EXCEPTION);
        CallMethod(pWorkbook.Get(), u"SaveAs", {S(path16), L(51)});
        Put(pSheet.Get(), 3, 2, S(u"first"));
        Put(pSheet.Get(), 70000, 2, CVariant::Date(46361));
        CallMethod(pWorkbook.Get(), u"Save");
        CallMethod(pWorkbook.Get(), u"Close");
    }
    EXPECT_EQ(ReadFileBytes(path).substr(0, 2), "PK");
    const CComPtr<IDispatch> pWorkbook =
        ToObject(CallMethod(Workbooks().Get(), u"Open", {S(path16)}), u"Open");
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    EXPECT_EQ(Text(Get(pSheet.Get(), 3, 2)), u"first");
    EXPECT_EQ(Get(pSheet.Get(), 70000, 2).vt, VT_DATE);
    const CComPtr<IDispatch> pUsed = GetObjectProperty(pSheet.Get(), u"UsedRange");
    EXPECT_EQ(GetProperty(pUsed.Get(), u"Row").lVal, 3);
    EXPECT_EQ(GetProperty(GetObjectProperty(pUsed.Get(), u"Rows").Get(), u"Count").lVal, 69998);
}

} // namespace
