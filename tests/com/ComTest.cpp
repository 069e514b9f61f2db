#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/Variant.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Guid, ParsesAndFormatsRegistryForm) {
    const std::pair<const char*, const char*> valid[] = {
        {"{5C42CA62-42E9-11D4-80F2-00C04FA03755}", "{5C42CA62-42E9-11D4-80F2-00C04FA03755}"},
        {"{5c42ca62-42e9-11d4-80f2-00c04fa03755}", "{5C42CA62-42E9-11D4-80F2-00C04FA03755}"},
        {"81BAE1BD-D7E7-4F31-AF9E-90B3FF65A524", "{81BAE1BD-D7E7-4F31-AF9E-90B3FF65A524}"},
    };
    for (const auto& [pszText, pszFormatted] : valid) {
        const auto guid = ParseGuid(pszText);
        ASSERT_TRUE(guid) << pszText;
        EXPECT_EQ(FormatGuid(*guid), pszFormatted);
    }
    EXPECT_EQ(*ParseGuid("{00020400-0000-0000-C000-000000000046}"), IID_IDispatch);
    // A digit short or long, a dash missing or misplaced, not hexadecimal, wrong or unclosed
    // brackets.
    for (const char* pszBad :
         {"", "{5C42CA62-42E9-11D4-80F2-00C04FA0375}", "{5C42CA62-42E9-11D4-80F2-00C04FA037555}",
          "{5C42CA62-42E9-11D4-80F200C04FA037555}", "{5C42CA6-242E9-11D4-80F2-00C04FA03755}",
          "{5C42CA62-42E9-11D4-80F2-00C04FA0375G}", "(5C42CA62-42E9-11D4-80F2-00C04FA03755)",
          "{5C42CA62-42E9-11D4-80F2-00C04FA03755"})
        EXPECT_FALSE(ParseGuid(pszBad)) << pszBad;
}

TEST(Bstr, IsLengthPrefixedAndNullReadsEmpty) {
    const char16_t text[] = {u'a', 0, u'b'};
    CBstr bstr(std::u16string_view(text, 3));
    EXPECT_EQ(SysStringLen(bstr.Get()), 3u);
    EXPECT_EQ(SysStringByteLen(bstr.Get()), 6u);
    EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(bstr.Get() - 2), 6u); // the prefix before the text
    EXPECT_EQ(bstr.Get()[3], 0);                                      // terminated
    EXPECT_EQ(bstr.View(), std::u16string_view(text, 3));             // embedded zero kept
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_TRUE(BstrView(nullptr).empty());
    EXPECT_EQ(SysAllocString(nullptr), nullptr);

    CBstr copy = bstr;
    EXPECT_NE(copy.Get(), bstr.Get());
    EXPECT_EQ(copy.View(), bstr.View());
    CBstr moved = std::move(copy);
    EXPECT_EQ(copy.Get(), nullptr);
    *moved.Put() = SysAllocString(u"x"); // Put frees what was held
    EXPECT_EQ(moved.View(), u"x");
}

// Two interfaces in a chain plus an unrelated one, as the host's appointment offers them.
inline constexpr GUID IID_ITestBase{0x11111111, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr GUID IID_ITestDerived{0x22222222, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
inline constexpr GUID IID_ITestOther{0x33333333, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};

struct ITestBase : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_ITestBase; }
    using Base = IDispatch;
    virtual int Value() = 0;
};
struct ITestDerived : ITestBase {
    static constexpr const GUID& Iid() noexcept { return IID_ITestDerived; }
    using Base = ITestBase;
    virtual int More() = 0;
};
struct ITestOther : IUnknown {
    static constexpr const GUID& Iid() noexcept { return IID_ITestOther; }
    using Base = IUnknown;
    virtual int Other() = 0;
};

class CTestObject final : public CComObject<CTestObject, ITestDerived, ITestOther> {
public:
    explicit CTestObject(int* pnAlive) : m_pnAlive(pnAlive) { ++*m_pnAlive; }
    ~CTestObject() { --*m_pnAlive; }
    int Value() override { return 1; }
    int More() override { return 2; }
    int Other() override { return 3; }

private:
    int* m_pnAlive;
};

TEST(ComObject, CountsReferencesAndAnswersItsInterfaces) {
    int nAlive = 0;
    {
        CComPtr<ITestDerived> pDerived(new CTestObject(&nAlive));
        EXPECT_EQ(nAlive, 1);

        CComPtr<ITestBase> pBase;
        ASSERT_EQ(pDerived.QueryInterface(pBase), S_OK);
        EXPECT_EQ(pBase->Value(), 1);
        CComPtr<ITestOther> pOther;
        ASSERT_EQ(pBase.QueryInterface(pOther), S_OK);
        EXPECT_EQ(pOther->Other(), 3);

        // Every way to IUnknown gives the same pointer: the object's identity.
        CComPtr<IUnknown> pUnk1;
        CComPtr<IUnknown> pUnk2;
        ASSERT_EQ(pOther.QueryInterface(pUnk1), S_OK);
        ASSERT_EQ(pDerived.QueryInterface(pUnk2), S_OK);
        EXPECT_EQ(pUnk1.Get(), pUnk2.Get());

        CComPtr<IDispatch> pDisp;
        EXPECT_EQ(pDerived.QueryInterface(pDisp), S_OK);
        UINT n = 7;
        EXPECT_EQ(pDisp->GetTypeInfoCount(&n), E_NOTIMPL); // no late binding

        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(pDerived->QueryInterface(GUID_NULL, &pv), E_NOINTERFACE);
        EXPECT_EQ(pv, nullptr);
        EXPECT_EQ(pDerived->QueryInterface(IID_ITestBase, nullptr), E_POINTER);
        CComPtr<ITestOther> pNone;
        EXPECT_EQ(CComPtr<ITestBase>().QueryInterface(pNone), E_POINTER); // an empty pointer
        EXPECT_FALSE(pNone);
        EXPECT_EQ(nAlive, 1);
    }
    EXPECT_EQ(nAlive, 0);
}

TEST(ErrorInfo, IsPerThreadAndTakenOnce) {
    SetErrorDescription(u"record 7 not found", IID_ITestBase);
    std::thread([] { EXPECT_FALSE(TakeErrorInfo().has_value()); }).join();
    const auto info = TakeErrorInfo();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->m_strDescription, u"record 7 not found");
    EXPECT_EQ(info->m_iid, IID_ITestBase);
    EXPECT_FALSE(TakeErrorInfo().has_value());
}

TEST(ComError, ErrorTextFollowsTheMessageTableThenTheFallbacks) {
    struct SCase {
        std::uint32_t m_nCode;
        const char* m_pszText;
    };
    const SCase cases[] = {
        {0x80004003, "Invalid pointer"},
        {0x80004002, "No such interface supported"},
        {0x80004005, "Unspecified error"},
        {0x80070057, "The parameter is incorrect."},
        {0x8007000E, "Not enough memory resources are available to complete this operation."},
        {0x80004001, "Not implemented"},
        {0x8000FFFF, "Catastrophic failure"},
        {0x80040111, "ClassFactory cannot supply requested class"},
        {0x80020009, "Exception occurred."},
        {0x80020005, "Type mismatch."},
        {0x8002000B, "Invalid index."},
        {0x00000000, "The operation completed successfully."},
        {0x80040201, "IDispatch error #1"},
        {0x80040202, "IDispatch error #2"},
        {0x8004FFFF, "IDispatch error #65023"},
        {0x80040200, "Unknown error 0x80040200"}, // the range starts above 0x80040200
        {0x80050000, "Unknown error 0x80050000"},
        {0x8007000D, "Unknown error 0x8007000D"},
        {0x00000042, "Unknown error 0x42"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszText);
        EXPECT_EQ(CComError::ErrorMessageFor(static_cast<HRESULT>(c.m_nCode)), c.m_pszText);
    }
}

TEST(ComError, CarriesTheDescriptionTheFailingCallLeft) {
    SetErrorDescription(u"Note too long", IID_ITestDerived);
    try {
        ThrowIfFailed(E_INVALIDARG, IID_ITestDerived);
        FAIL() << "no exception";
    } catch (const CComError& e) {
        EXPECT_EQ(e.Error(), E_INVALIDARG);
        EXPECT_EQ(e.Iid(), IID_ITestDerived);
        EXPECT_TRUE(e.HasDescription());
        EXPECT_EQ(e.Description(), u"Note too long");
        EXPECT_EQ(e.ErrorMessage(), "The parameter is incorrect.");
        EXPECT_STREQ(e.what(), "The parameter is incorrect.");
    }
    EXPECT_FALSE(TakeErrorInfo().has_value());
    EXPECT_NO_THROW(ThrowIfFailed(S_FALSE, IID_ITestDerived));
    try {
        ThrowIfFailed(E_FAIL, IID_ITestDerived);
    } catch (const CComError& e) {
        EXPECT_FALSE(e.HasDescription());
    }
}

TEST(Variant, CopiesOwnDataAndArraysIndexByRowThenColumn) {
    CVariant text(u"Lunch");
    CVariant copy = text;
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(BstrView(copy.bstrVal), u"Lunch");

    const SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 1}}; // 3 rows, 2 columns, 1-based
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    ASSERT_NE(psa, nullptr);
    const LONG at[2] = {3, 2};
    ASSERT_EQ(SafeArrayPutElement(psa, at, &text), S_OK);
    const LONG outside[2] = {4, 1};
    EXPECT_EQ(SafeArrayPutElement(psa, outside, &text), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayElement(psa, outside), nullptr);

    CVariant array;
    array.vt = VT_ARRAY | VT_VARIANT;
    array.parray = psa;
    CVariant arrayCopy = array;
    ASSERT_NE(arrayCopy.parray, array.parray);
    CVariant element;
    ASSERT_EQ(SafeArrayGetElement(arrayCopy.parray, at, &element), S_OK);
    EXPECT_EQ(element.vt, VT_BSTR);
    EXPECT_EQ(BstrView(element.bstrVal), u"Lunch");
    const LONG empty[2] = {1, 1};
    EXPECT_EQ(SafeArrayElement(arrayCopy.parray, empty)->vt, VT_EMPTY);

    int nAlive = 0;
    {
        CVariant holder;
        holder.vt = VT_UNKNOWN;
        auto* pObject = new CTestObject(&nAlive);
        holder.punkVal = static_cast<ITestOther*>(pObject);
        holder.punkVal->AddRef();
        CVariant second = holder; // a second reference
        EXPECT_EQ(nAlive, 1);
    }
    EXPECT_EQ(nAlive, 0);
}

} // namespace
