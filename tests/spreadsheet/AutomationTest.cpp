// The spreadsheet component as its callers see it: objects reached by ProgID and driven
// through IDispatch alone.
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/AutomationTestSupport.h"

#include <cmath>
#include <limits>

namespace {

using namespace autotest;

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

CVariant Missing() {
    return Error(DISP_E_PARAMNOTFOUND);
}

// A rows x columns array of values [row, column], both from 1.
CVariant Array(LONG nRows, LONG nColumns, const std::vector<CVariant>& values) {
    const SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(nRows), 1},
                                      {static_cast<ULONG>(nColumns), 1}};
    CVariant array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG r = 0; r < nRows; ++r)
        for (LONG c = 0; c < nColumns; ++c) {
            const std::size_t i = static_cast<std::size_t>(r * nColumns + c);
            const LONG indices[2] = {r + 1, c + 1};
            if (i < values.size()) {
                EXPECT_EQ(SafeArrayPutElement(array.parray, indices, &values[i]), S_OK);
            }
        }
    return array;
}

const VARIANT& Element(const CVariant& array, LONG nRow, LONG nColumn) {
    const LONG indices[2] = {nRow, nColumn};
    const VARIANT* p = SafeArrayElement(array.parray, indices);
    static const CVariant s_missing = Error(E_FAIL);
    return p ? *p : s_missing;
}

bool HasKey(ERegHive hive, const std::string& path) {
    CRegKey key;
    return key.Open(hive, path) == REG_STATUS_OK;
}

std::string DefaultValue(ERegHive hive, const std::string& path) {
    CRegKey key;
    std::string value;
    if (key.Open(hive, path) != REG_STATUS_OK || key.QueryString("", value) != REG_STATUS_OK)
        return "<missing>";
    return value;
}

class AutomationSetupTest : public CVarnoTest {};

TEST_F(AutomationSetupTest, FirstUseRegistersAndLaterUseLeavesTheRegistryAlone) {
    CComPtr<IDispatch> pApplication;
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);

    EnsurePlatformSetup();
    const std::string clsid = FormatGuid(CLSID_SpreadsheetApplication);
    EXPECT_EQ(DefaultValue(ERegHive::ClassesRoot, "Excel.Application\\CLSID"), clsid);
    EXPECT_EQ(DefaultValue(ERegHive::ClassesRoot, "CLSID\\" + clsid + "\\ProgID"),
              "Excel.Application");
    EXPECT_TRUE(HasKey(ERegHive::ClassesRoot, "CLSID\\" + clsid + "\\InprocServer32"));
    EXPECT_TRUE(HasKey(ERegHive::LocalMachine, "Software\\Microsoft\\Office"));
    ASSERT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), S_OK);
    pApplication = nullptr;

    // Taken away by hand: a later start keeps it away.
    ASSERT_EQ(RegDeleteTree(ERegHive::ClassesRoot, "Excel.Application"), REG_STATUS_OK);
    ASSERT_EQ(RegDeleteTree(ERegHive::LocalMachine, kOfficeKey), REG_STATUS_OK);
    EnsurePlatformSetup();
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);
    EXPECT_FALSE(HasKey(ERegHive::LocalMachine, kOfficeKey));

    // A new user home is set up on its first use.
    {
        CTestHome home;
        EnsurePlatformSetup();
        EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), S_OK);
        pApplication = nullptr;
    }
    EXPECT_EQ(CoCreateInstance(kSpreadsheetProgId, pApplication), CO_E_CLASSSTRING);
}

class AutomationTest : public CAutomationTest {};

TEST_F(AutomationTest, NamesAreFoundWithoutRegardToLetterCase) {
    for (const char16_t* pszName : {u"Workbooks", u"workbooks", u"WORKBOOKS", u"wOrKbOoKs"}) {
        std::u16string name(pszName);
        OLECHAR* psz = name.data();
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(m_pApplication->GetIDsOfNames(GUID_NULL, &psz, 1, 0, &id), S_OK);
        EXPECT_EQ(id, IdOf(m_pApplication.Get(), u"Workbooks"));
    }
    std::u16string unknown(u"Visible");
    std::u16string parameter(u"Filename");
    OLECHAR* names[2] = {unknown.data(), parameter.data()};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(m_pApplication->GetIDsOfNames(GUID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    // A member is found, but parameter names are not offered.
    std::u16string quit(u"quit");
    names[0] = quit.data();
    EXPECT_EQ(m_pApplication->GetIDsOfNames(GUID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_NE(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
}

TEST_F(AutomationTest, WrongCallsGiveDispatchStatuses) {
    const CComPtr<IDispatch> pWorkbooks = Workbooks();
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    const CComPtr<IDispatch> pCells = Cells(pSheet.Get());
    IDispatch* pApp = m_pApplication.Get();
    const CVariant value(LONG{1});

    EXPECT_EQ(Call(pApp, u"Quit", DISPATCH_METHOD, {L(1)}).m_hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(pApp, u"Quit", DISPATCH_PROPERTYGET, {}).m_hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(pApp, u"Workbooks", DISPATCH_PROPERTYPUT, {}, &value).m_hr,
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(pApp, 999, DISPATCH_METHOD, {}).m_hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(pCells.Get(), u"Count", DISPATCH_PROPERTYPUT, {}, &value).m_hr,
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(pCells.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(1), L(1), L(1)}).m_hr,
              DISP_E_BADPARAMCOUNT);

    // The argument index counts as DISPPARAMS holds them: last argument first.
    SCall call = Call(pWorkbooks.Get(), u"Open", DISPATCH_METHOD, {L(42)});
    EXPECT_EQ(call.m_hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(call.m_nArgError, 0u);
    call = Call(pCells.Get(), u"Item", DISPATCH_PROPERTYGET, {S(u"x"), L(1)});
    EXPECT_EQ(call.m_hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(call.m_nArgError, 1u);
    const CVariant object(Call(pApp, u"Workbooks", DISPATCH_PROPERTYGET, {}).m_result);
    EXPECT_EQ(
        Call(Cell(pSheet.Get(), 1, 1).Get(), u"Value", DISPATCH_PROPERTYPUT, {}, &object).m_hr,
        DISP_E_TYPEMISMATCH);

    EXPECT_EQ(
        Call(pCells.Get(), IdOf(pCells.Get(), u"Count"), DISPATCH_PROPERTYGET, {L(1)}, nullptr, {5})
            .m_hr,
        DISP_E_NONAMEDARGS);
    EXPECT_EQ(Call(pCells.Get(), u"Value", DISPATCH_PROPERTYPUT, {}).m_hr, DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(AutomationTest, ArgumentsArriveInTheCallersOrderAndByReference) {
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    Put(pSheet.Get(), 2, 3, S(u"row 2, column 3"));

    // Method and property-get flags together, as script callers send them.
    CVariant row(LONG{2});
    CVariant column(LONG{3});
    CVariant rowRef;
    rowRef.vt = VT_BYREF | VT_VARIANT;
    rowRef.pvarVal = &row;
    CVariant columnRef;
    columnRef.vt = VT_BYREF | VT_VARIANT;
    columnRef.pvarVal = &column;
    const SCall item = Call(Cells(pSheet.Get()).Get(), DISPID_VALUE,
                            DISPATCH_METHOD | DISPATCH_PROPERTYGET, {rowRef, columnRef});
    ASSERT_EQ(item.m_hr, S_OK);
    EXPECT_EQ(Text(GetProperty(Object(item.m_result).Get(), u"Value")), u"row 2, column 3");
    EXPECT_EQ(Get(pSheet.Get(), 3, 2).vt, VT_EMPTY);

    // Doubles are rounded half to even; the default member without arguments is Value.
    const CComPtr<IDispatch> pCell =
        GetItem(Cells(pSheet.Get()).Get(), {CVariant(2.5), CVariant(2.6)});
    EXPECT_EQ(Text(GetDefault(pCell.Get(), {})), u"row 2, column 3");
}

TEST_F(AutomationTest, CellValuesKeepTheirKind) {
    const CComPtr<IDispatch> pWorkbook = NewWorkbook();
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    struct SCase {
        CVariant m_put;
        VARTYPE m_vt;        // of the value read back
        CVariant m_expected; // compared by kind and content
    };
    const SCase cases[] = {
        {S(u"Lunch"), VT_BSTR, S(u"Lunch")},
        {S(u"'12:30"), VT_BSTR, S(u"12:30")}, // the apostrophe keeps it text
        {S(u"12:30"), VT_BSTR, S(u"12:30")},  // other texts stay text as well
        {S(u"=1+2"), VT_BSTR, S(u"=1+2")},
        {S(u"''quoted"), VT_BSTR, S(u"'quoted")},
        {S(u""), VT_EMPTY, CVariant()},
        {S(u"'"), VT_EMPTY, CVariant()},
        {L(42), VT_R8, CVariant(42.0)},
        {CVariant(-1.5), VT_R8, CVariant(-1.5)},
        {CVariant::Date(46361.0), VT_DATE, CVariant::Date(46361.0)},
        {CVariant::Date(0.5), VT_DATE, CVariant::Date(0.5)},
        {CVariant::Date(46361.5), VT_DATE, CVariant::Date(46361.5)},
        {Bool(true), VT_BOOL, Bool(true)},
        {Error(static_cast<HRESULT>(0x800A07FA)), VT_ERROR,
         Error(static_cast<HRESULT>(0x800A07FA))}, // #N/A
        {CVariant(), VT_EMPTY, CVariant()},
    };
    LONG nRow = 1;
    for (const SCase& c : cases) {
        SCOPED_TRACE(nRow);
        Put(pSheet.Get(), nRow, 1, c.m_put);
        const CVariant got = Get(pSheet.Get(), nRow, 1);
        ASSERT_EQ(got.vt, c.m_vt);
        switch (c.m_vt) {
        case VT_BSTR:
            EXPECT_EQ(Text(got), Text(c.m_expected));
            break;
        case VT_R8:
            EXPECT_EQ(got.dblVal, c.m_expected.dblVal);
            break;
        case VT_DATE:
            EXPECT_EQ(got.date, c.m_expected.date);
            break;
        case VT_BOOL:
            EXPECT_EQ(got.boolVal, c.m_expected.boolVal);
            break;
        case VT_ERROR:
            EXPECT_EQ(got.scode, c.m_expected.scode);
            break;
        default:
            break;
        }
        ++nRow;
    }
    const CVariant notANumber(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(
        Call(Cell(pSheet.Get(), 1, 2).Get(), u"Value", DISPATCH_PROPERTYPUT, {}, &notANumber).m_hr,
        DISP_E_TYPEMISMATCH);

    // The file keeps what the cells were given: quote prefix, date formats by value.
    const std::string path = TempPath("kinds.xls");
    SaveAs(pWorkbook.Get(), path);
    const CXlsWorkbook book = CXlsWorkbook::Load(path);
    const CXlsSheet& sheet = book.m_vecSheets.at(0);
    ASSERT_NE(sheet.Find(1, 0), nullptr);
    EXPECT_TRUE(sheet.Find(1, 0)->m_bQuotePrefix);
    EXPECT_EQ(sheet.Find(1, 0)->m_strText, u"12:30");
    EXPECT_FALSE(sheet.Find(2, 0)->m_bQuotePrefix);
    EXPECT_EQ(sheet.Find(9, 0)->m_format, EXlsNumberFormat::Date);
    EXPECT_EQ(sheet.Find(10, 0)->m_format, EXlsNumberFormat::Time);
    EXPECT_EQ(sheet.Find(11, 0)->m_format, EXlsNumberFormat::DateTime);
    EXPECT_EQ(sheet.Find(7, 0)->m_format, EXlsNumberFormat::General);
}

TEST_F(AutomationTest, RangeValuesAreOneBasedArraysByRowThenColumn) {
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    const CComPtr<IDispatch> pB2 = Cell(pSheet.Get(), 2, 2);
    const CComPtr<IDispatch> pBlock = GetObjectProperty(pB2.Get(), u"Resize", {L(3), L(2)});
    PutProperty(pBlock.Get(), u"Value",
                Array(3, 2, {S(u"r1c1"), L(12), CVariant(), CVariant::Date(46361.0), S(u"r3c1")}));

    const CVariant values = GetProperty(pBlock.Get(), u"Value");
    ASSERT_EQ(values.vt, VT_ARRAY | VT_VARIANT);
    ASSERT_EQ(SafeArrayGetDim(values.parray), 2u);
    LONG nBound = 0;
    EXPECT_EQ(SafeArrayGetLBound(values.parray, 1, &nBound), S_OK);
    EXPECT_EQ(nBound, 1);
    EXPECT_EQ(SafeArrayGetUBound(values.parray, 1, &nBound), S_OK);
    EXPECT_EQ(nBound, 3);
    EXPECT_EQ(SafeArrayGetLBound(values.parray, 2, &nBound), S_OK);
    EXPECT_EQ(nBound, 1);
    EXPECT_EQ(SafeArrayGetUBound(values.parray, 2, &nBound), S_OK);
    EXPECT_EQ(nBound, 2);
    EXPECT_EQ(Text(Element(values, 1, 1)), u"r1c1");
    EXPECT_EQ(Element(values, 1, 2).dblVal, 12.0);
    EXPECT_EQ(Element(values, 2, 1).vt, VT_EMPTY);
    EXPECT_EQ(Element(values, 2, 2).vt, VT_DATE);
    EXPECT_EQ(Text(Element(values, 3, 1)), u"r3c1");
    EXPECT_EQ(Element(values, 3, 2).vt, VT_EMPTY);
    EXPECT_EQ(Text(Get(pSheet.Get(), 4, 2)), u"r3c1"); // the same cell through the sheet

    // A larger array fills the range only; a smaller one clears what it does not reach.
    const CComPtr<IDispatch> pA1 = Cell(pSheet.Get(), 1, 1);
    PutProperty(GetObjectProperty(pA1.Get(), u"Resize", {L(1), L(1)}).Get(), u"Value",
                Array(5, 5, {S(u"only")}));
    EXPECT_EQ(Text(Get(pSheet.Get(), 1, 1)), u"only");
    EXPECT_EQ(Get(pSheet.Get(), 1, 2).vt, VT_EMPTY);
    PutProperty(pBlock.Get(), u"Value", Array(1, 1, {S(u"corner")}));
    EXPECT_EQ(Text(Get(pSheet.Get(), 2, 2)), u"corner");
    EXPECT_EQ(Get(pSheet.Get(), 2, 3).vt, VT_EMPTY);
    EXPECT_EQ(Get(pSheet.Get(), 4, 2).vt, VT_EMPTY);

    // A one-dimensional array is one row, given to every row; a single value to every cell.
    const SAFEARRAYBOUND bound{2, 0};
    CVariant row;
    row.vt = VT_ARRAY | VT_VARIANT;
    row.parray = SafeArrayCreate(VT_VARIANT, 1, &bound);
    const LONG first = 0;
    const LONG second = 1;
    const CVariant a(S(u"a"));
    const CVariant b(S(u"b"));
    ASSERT_EQ(SafeArrayPutElement(row.parray, &first, &a), S_OK);
    ASSERT_EQ(SafeArrayPutElement(row.parray, &second, &b), S_OK);
    PutProperty(pBlock.Get(), u"Value", row);
    EXPECT_EQ(Text(Get(pSheet.Get(), 4, 2)), u"a");
    EXPECT_EQ(Text(Get(pSheet.Get(), 4, 3)), u"b");
    PutProperty(pBlock.Get(), u"Value", L(7));
    EXPECT_EQ(Get(pSheet.Get(), 3, 3).dblVal, 7.0);
}

TEST_F(AutomationTest, UsedRangeIsTheBoundingBoxOfUsedCells) {
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    CComPtr<IDispatch> pUsed = GetObjectProperty(pSheet.Get(), u"UsedRange");
    EXPECT_EQ(GetProperty(pUsed.Get(), u"Count").lVal, 1); // A1 alone
    EXPECT_EQ(GetProperty(pUsed.Get(), u"Value").vt, VT_EMPTY);

    Put(pSheet.Get(), 3, 2, S(u"B3"));
    Put(pSheet.Get(), 7, 4, S(u"D7"));
    pUsed = GetObjectProperty(pSheet.Get(), u"UsedRange");
    EXPECT_EQ(GetProperty(pUsed.Get(), u"Count").lVal, 15);
    EXPECT_EQ(GetProperty(GetObjectProperty(pUsed.Get(), u"Rows").Get(), u"Count").lVal, 5);
    EXPECT_EQ(Text(GetProperty(GetItem(pUsed.Get(), {L(1), L(1)}).Get(), u"Value")), u"B3");
    EXPECT_EQ(Text(GetProperty(GetItem(pUsed.Get(), {L(5), L(3)}).Get(), u"Value")), u"D7");
    // One index counts along the rows: the 4th cell of B3:D7 is B4, the 3rd D3.
    Put(pSheet.Get(), 4, 2, S(u"B4"));
    EXPECT_EQ(Text(GetProperty(GetItem(pUsed.Get(), {L(4)}).Get(), u"Value")), u"B4");

    const CComPtr<IDispatch> pCells = Cells(pSheet.Get());
    EXPECT_EQ(GetProperty(pCells.Get(), u"Count").lVal, 65536 * 256);
    EXPECT_EQ(GetProperty(GetObjectProperty(pCells.Get(), u"Rows").Get(), u"Count").lVal, 65536);
    const CComPtr<IDispatch> pColumn = GetObjectProperty(pUsed.Get(), u"EntireColumn");
    EXPECT_EQ(GetProperty(pColumn.Get(), u"Count").lVal, 3);
    // Its 1st column is column B, from row 1 down.
    const CComPtr<IDispatch> pColumnB = GetItem(pColumn.Get(), {L(1)});
    EXPECT_EQ(GetProperty(pColumnB.Get(), u"Count").lVal, 1);
    EXPECT_EQ(Text(GetProperty(GetItem(pColumnB.Get(), {L(3), L(1)}).Get(), u"Value")), u"B3");
}

TEST_F(AutomationTest, RangesStayInsideTheWorksheet) {
    const CComPtr<IDispatch> pSheet = FirstSheet(NewWorkbook().Get());
    const CComPtr<IDispatch> pCells = Cells(pSheet.Get());
    EXPECT_EQ(Call(pCells.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(65536), L(256)}).m_hr,
              S_OK);
    struct SCase {
        LONG m_nRow, m_nColumn;
        std::u16string_view m_strNeedle;
    };
    for (const SCase& c : {SCase{65537, 1, u"Row 65537"}, SCase{0, 1, u"Row 0"},
                           SCase{1, 257, u"Column 257"}, SCase{1, -3, u"Column -3"}}) {
        const SCall call =
            Call(pCells.Get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {L(c.m_nRow), L(c.m_nColumn)});
        EXPECT_EQ(call.m_hr, DISP_E_EXCEPTION);
        EXPECT_NE(call.m_strDescription.find(c.m_strNeedle), std::u16string::npos)
            << std::string(call.m_strDescription.begin(), call.m_strDescription.end());
    }
    const CComPtr<IDispatch> pLast = Cell(pSheet.Get(), 65000, 1);
    EXPECT_EQ(Call(pLast.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(537), L(1)}).m_hr, S_OK);
    EXPECT_EQ(Call(pLast.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(538), L(1)}).m_hr,
              DISP_E_EXCEPTION);
    EXPECT_EQ(Call(pLast.Get(), u"Resize", DISPATCH_PROPERTYGET, {L(0), L(1)}).m_hr,
              DISP_E_EXCEPTION);
    // A missing argument keeps that size.
    const CComPtr<IDispatch> pBlock = GetObjectProperty(pLast.Get(), u"Resize", {L(4), L(3)});
    const CComPtr<IDispatch> pWider = GetObjectProperty(pBlock.Get(), u"Resize", {Missing(), L(5)});
    EXPECT_EQ(GetProperty(pWider.Get(), u"Count").lVal, 20);
}

TEST_F(AutomationTest, RowHeightIsInPoints) {
    const CComPtr<IDispatch> pWorkbook = NewWorkbook();
    const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
    Put(pSheet.Get(), 1, 1, S(u"a"));
    Put(pSheet.Get(), 4, 2, S(u"b"));
    const CComPtr<IDispatch> pUsed = GetObjectProperty(pSheet.Get(), u"UsedRange");
    EXPECT_EQ(GetProperty(pUsed.Get(), u"RowHeight").dblVal, 12.75);

    PutProperty(Cell(pSheet.Get(), 2, 1).Get(), u"RowHeight", CVariant(30.0));
    EXPECT_EQ(GetProperty(pUsed.Get(), u"RowHeight").vt, VT_NULL); // rows differ
    PutProperty(pUsed.Get(), u"RowHeight", L(20));
    EXPECT_EQ(GetProperty(pUsed.Get(), u"RowHeight").dblVal, 20.0);
    PutProperty(Cell(pSheet.Get(), 3, 1).Get(), u"RowHeight", CVariant(409.5));

    for (const double d : {410.0, -1.0}) {
        const CVariant height(d);
        const SCall call = Call(pUsed.Get(), u"RowHeight", DISPATCH_PROPERTYPUT, {}, &height);
        EXPECT_EQ(call.m_hr, DISP_E_EXCEPTION);
        EXPECT_NE(call.m_strDescription.find(u"409.5"), std::u16string::npos);
    }

    const std::string path = TempPath("heights.xls");
    SaveAs(pWorkbook.Get(), path);
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    EXPECT_EQ(sheet.RowHeight(0), 20.0);
    EXPECT_EQ(sheet.RowHeight(2), 409.5);
    EXPECT_EQ(sheet.RowHeight(3), 20.0);
    EXPECT_EQ(sheet.RowHeight(4), CXlsSheet::kDefaultRowHeight);
}

TEST_F(AutomationTest, AutoFitSizesWholeColumnsToTheirWidestText) {
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
    const SCall call = Call(Cell(pSheet.Get(), 1, 1).Get(), u"AutoFit", DISPATCH_METHOD, {});
    EXPECT_EQ(call.m_hr, DISP_E_EXCEPTION);

    // Rows: as many lines as the tallest text.
    const CComPtr<IDispatch> pRows = GetObjectProperty(Cell(pSheet.Get(), 300, 1).Get(), u"Rows");
    CallMethod(pRows.Get(), u"AutoFit");

    const std::string path = TempPath("widths.xls");
    SaveAs(pWorkbook.Get(), path);
    const CXlsSheet sheet = CXlsWorkbook::Load(path).m_vecSheets.at(0);
    const double expected[] = {10, 10, 13, 11, 16, 5, 0};
    for (std::size_t c = 0; c < std::size(expected); ++c) {
        SCOPED_TRACE(c);
        const double width = c < sheet.m_vecColumnWidths.size() ? sheet.m_vecColumnWidths[c] : 0;
        EXPECT_EQ(width, expected[c]);
    }
    EXPECT_EQ(sheet.RowHeight(299), 3 * CXlsSheet::kDefaultRowHeight);
}

TEST_F(AutomationTest, WorkbooksLiveInFiles) {
    const std::string path = TempPath("book.xls");
    {
        const CComPtr<IDispatch> pWorkbook = NewWorkbook();
        const CComPtr<IDispatch> pSheet = FirstSheet(pWorkbook.Get());
        EXPECT_THROW(CallMethod(pWorkbook.Get(), u"Save"), CFormatException); // no name yet
        Put(pSheet.Get(), 1, 1, S(u"Stra\u00DFe \u20AC"));
        SaveAs(pWorkbook.Get(), path);
        Put(pSheet.Get(), 2, 1, CVariant::Date(46361.25));
        CallMethod(pWorkbook.Get(), u"Save");
        Put(pSheet.Get(), 3, 1, S(u"never saved"));
        CallMethod(pWorkbook.Get(), u"Close");
        const SCall closed = Call(pSheet.Get(), u"Cells", DISPATCH_PROPERTYGET, {});
        EXPECT_EQ(closed.m_hr, DISP_E_EXCEPTION);
        EXPECT_EQ(closed.m_strDescription, u"The workbook has been closed.");
    }
    const CComPtr<IDispatch> pWorkbook = OpenWorkbook(path);
    const CComPtr<IDispatch> pSheet = GetItem(GetObjectProperty(pWorkbook.Get(), u"Sheets").Get(),
                                              {S(u"SHEET1")}); // names ignore letter case
    EXPECT_EQ(Text(Get(pSheet.Get(), 1, 1)), u"Stra\u00DFe \u20AC");
    EXPECT_EQ(Get(pSheet.Get(), 2, 1).date, 46361.25);
    EXPECT_EQ(Get(pSheet.Get(), 3, 1).vt, VT_EMPTY);
    EXPECT_EQ(Call(GetObjectProperty(pWorkbook.Get(), u"Sheets").Get(), DISPID_VALUE,
                   DISPATCH_PROPERTYGET, {L(2)})
                  .m_hr,
              DISP_E_BADINDEX);

    // Quitting closes everything and ends the application.
    const CComPtr<IDispatch> pWorkbooks = Workbooks();
    CallMethod(m_pApplication.Get(), u"Quit");
    EXPECT_EQ(Call(pSheet.Get(), u"UsedRange", DISPATCH_PROPERTYGET, {}).m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(Call(pWorkbooks.Get(), u"Add", DISPATCH_METHOD, {}).m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(Call(m_pApplication.Get(), u"Workbooks", DISPATCH_PROPERTYGET, {}).m_hr,
              DISP_E_EXCEPTION);
}

TEST_F(AutomationTest, FilesThatCannotBeReadRaiseAnExceptionWithADescription) {
    const std::string missing = TempPath("missing.xls");
    const std::string text = TempPath("text.xls");
    WriteFileBytes(text, "Date;Text\r\n05.12.2026;Lunch\r\n");
    const std::string good = TempPath("good.xls");
    {
        const CComPtr<IDispatch> pWorkbook = NewWorkbook();
        Put(FirstSheet(pWorkbook.Get()).Get(), 1, 1, S(u"x"));
        SaveAs(pWorkbook.Get(), good);
    }
    const std::string truncated = TempPath("truncated.xls");
    const std::string bytes = ReadFileBytes(good);
    WriteFileBytes(truncated, bytes.substr(0, bytes.size() / 2));

    for (const std::string& path : {missing, text, truncated}) {
        SCOPED_TRACE(path);
        ClearErrorInfo();
        const SCall call = Call(Workbooks().Get(), u"Open", DISPATCH_METHOD,
                                {S(std::u16string(path.begin(), path.end()))});
        EXPECT_EQ(call.m_hr, DISP_E_EXCEPTION);
        EXPECT_EQ(call.m_strSource, u"Spreadsheet");
        EXPECT_NE(call.m_strDescription.find(std::u16string(path.begin(), path.end())),
                  std::u16string::npos)
            << std::string(call.m_strDescription.begin(), call.m_strDescription.end());
        // The thread's error information carries the same description.
        const auto info = TakeErrorInfo();
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->m_strDescription, call.m_strDescription);
    }
    EXPECT_THROW(SaveAs(NewWorkbook().Get(), TempPath("no/such/folder.xls")), CFormatException);
    EXPECT_THROW(OpenWorkbook(""), CFormatException);
}

} // namespace
