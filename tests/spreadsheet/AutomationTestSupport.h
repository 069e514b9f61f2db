// Helpers of the automation tests: a fixture with the platform set up and an application
// object, late-bound calls that report the raw status, and short ways to reach cells.
#pragma once

#include "formats/Dispatch.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace autotest {

inline CVariant L(LONG n) {
    return CVariant(n);
}
inline CVariant S(std::u16string_view text) {
    return CVariant(text);
}

// What one raw Invoke gave back.
struct SCall {
    HRESULT m_hr = S_OK;
    CVariant m_result;
    std::u16string m_strSource;
    std::u16string m_strDescription;
    UINT m_nArgError = 0xFFFFFFFFu;
};

inline DISPID IdOf(IDispatch* pObject, std::u16string_view name) {
    std::u16string text(name);
    OLECHAR* psz = text.data();
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(pObject->GetIDsOfNames(GUID_NULL, &psz, 1, 0, &id), S_OK) << "no member";
    return id;
}

// Invoke with the arguments in the caller's order; named arguments as given.
inline SCall Call(IDispatch* pObject, DISPID id, WORD wFlags, const std::vector<CVariant>& args,
                  const VARIANT* pPutValue = nullptr, std::vector<DISPID> vecNamed = {}) {
    std::vector<VARIANT> params;
    if (pPutValue) {
        params.push_back(*pPutValue);
        vecNamed.insert(vecNamed.begin(), DISPID_PROPERTYPUT);
    }
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        params.push_back(*it);
    DISPPARAMS dp{params.data(), vecNamed.data(), static_cast<UINT>(params.size()),
                  static_cast<UINT>(vecNamed.size())};
    SCall result;
    EXCEPINFO excep;
    std::memset(static_cast<void*>(&excep), 0, sizeof excep);
    result.m_hr = pObject->Invoke(id, GUID_NULL, 0, wFlags, &dp, &result.m_result, &excep,
                                  &result.m_nArgError);
    const CBstr source = CBstr::Attach(excep.bstrSource);
    const CBstr description = CBstr::Attach(excep.bstrDescription);
    result.m_strSource = source.Str();
    result.m_strDescription = description.Str();
    return result;
}
inline SCall Call(IDispatch* pObject, std::u16string_view name, WORD wFlags,
                  const std::vector<CVariant>& args, const VARIANT* pPutValue = nullptr) {
    return Call(pObject, IdOf(pObject, name), wFlags, args, pPutValue);
}

inline CComPtr<IDispatch> Object(const CVariant& value) {
    EXPECT_EQ(value.vt, VT_DISPATCH);
    return value.vt == VT_DISPATCH ? CComPtr<IDispatch>(value.pdispVal) : CComPtr<IDispatch>();
}

inline std::u16string Text(const VARIANT& value) {
    EXPECT_EQ(value.vt, VT_BSTR);
    return value.vt == VT_BSTR ? std::u16string(BstrView(value.bstrVal)) : u"<not text>";
}

// The platform set up in a fresh home, and one application object.
class CAutomationTest : public CVarnoTest {
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
    [[nodiscard]] CComPtr<IDispatch> OpenWorkbook(const std::string& path) const {
        return ToObject(
            CallMethod(Workbooks().Get(), u"Open", {S(std::u16string(path.begin(), path.end()))}),
            u"Open");
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
    static void SaveAs(IDispatch* pWorkbook, const std::string& path) {
        CallMethod(pWorkbook, u"SaveAs", {S(std::u16string(path.begin(), path.end()))});
    }

    CComPtr<IDispatch> m_pApplication;
};

} // namespace autotest
