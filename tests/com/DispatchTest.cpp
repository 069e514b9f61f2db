#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/TypeLib.h"
#include "platform/com/VariantConvert.h"
#include "platform/locale/CodePage.h"
#include "tests/com/TestServerSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using Lines = std::vector<std::string>;

struct SCallResult {
    HRESULT m_hr = E_FAIL;
    CVariant m_result;
    EXCEPINFO m_excep{};
    UINT m_nArgErr = 9999;

    ~SCallResult() {
        SysFreeString(m_excep.bstrSource);
        SysFreeString(m_excep.bstrDescription);
        SysFreeString(m_excep.bstrHelpFile);
    }
};

// A late-bound call by name with the arguments in the order a caller writes them.
void CallByName(IDispatch* pObject, std::u16string name, WORD wFlags, std::vector<VARIANT> args,
                SCallResult& out, bool bNamedPut = false) {
    OLECHAR* pszName = name.data();
    DISPID dispid = 0;
    out.m_hr = pObject->GetIDsOfNames(GUID_NULL, &pszName, 1, 0, &dispid);
    if (FAILED(out.m_hr))
        return;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), bNamedPut ? &putId : nullptr,
                      static_cast<UINT>(reversed.size()), bNamedPut ? 1u : 0u};
    out.m_hr = pObject->Invoke(dispid, GUID_NULL, 0, wFlags, &params, &out.m_result, &out.m_excep,
                               &out.m_nArgErr);
}

VARIANT Long(LONG n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}
VARIANT Double(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}
VARIANT Int64(std::int64_t n) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I8;
    v.llVal = n;
    return v;
}
VARIANT Unknown(IUnknown* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = p; // not owned: the call does not take it
    return v;
}
VARIANT ByRef(VARTYPE vt, void* p) {
    VARIANT v;
    VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_BYREF | vt);
    v.byref = p;
    return v;
}

class DispatchTest : public CServerTest {
protected:
    void SetUp() override {
        CServerTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, m_pThing), S_OK);
        ASSERT_EQ(m_pThing.QueryInterface(m_pDispatch), S_OK);
    }
    void TearDown() override {
        m_pDispatch = nullptr;
        m_pThing = nullptr;
        CServerTest::TearDown();
    }
    CComPtr<ITestThing> m_pThing;
    CComPtr<IDispatch> m_pDispatch;
};

TEST_F(DispatchTest, NamesGiveTheDescribedDispatchIds) {
    struct SCase {
        std::vector<std::u16string> m_names;
        HRESULT m_hr;
        std::vector<DISPID> m_ids;
    };
    const SCase kCases[] = {
        {{u"Add"}, S_OK, {1}},
        {{u"aDD"}, S_OK, {1}},
        {{u"LEVEL"}, S_OK, {5}},
        {{u"Repeat", u"nCount", u"BSTRTEXT"}, S_OK, {2, 1, 0}},
        {{u"Add", u"nothing"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
        {{u"Subtract"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{u""}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
    };
    for (const SCase& c : kCases) {
        std::vector<std::u16string> names = c.m_names;
        std::vector<OLECHAR*> pointers;
        for (std::u16string& name : names)
            pointers.push_back(name.data());
        std::vector<DISPID> ids(names.size(), 12345);
        EXPECT_EQ(m_pDispatch->GetIDsOfNames(GUID_NULL, pointers.data(),
                                             static_cast<UINT>(pointers.size()), 0, ids.data()),
                  c.m_hr);
        EXPECT_EQ(ids, c.m_ids);
    }
    std::u16string name = u"Add";
    OLECHAR* pszName = name.data();
    DISPID id = 0;
    EXPECT_EQ(m_pDispatch->GetIDsOfNames(IID_ITestThing, &pszName, 1, 0, &id),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, LateBoundCallsGiveWhatVtableCallsGive) {
    // Each case: the vtable call, and the same call through Invoke with the result as text.
    struct SCase {
        const char* m_pszWhat;
        std::function<std::string(ITestThing*)> m_vtable;
        std::function<std::string(IDispatch*)> m_dispatch;
    };
    auto longText = [](HRESULT hr, LONG n) { return std::to_string(hr) + ":" + std::to_string(n); };
    auto resultText = [](const SCallResult& r) {
        CVariant text;
        if (FAILED(r.m_hr))
            return std::to_string(r.m_hr) + ":";
        EXPECT_EQ(VariantChangeType(&text, &r.m_result, 0, VT_BSTR), S_OK);
        return std::to_string(r.m_hr) + ":" + FromUtf16(BstrView(text.bstrVal));
    };
    const SCase kCases[] = {
        {"Add",
         [&](ITestThing* p) {
             LONG n = 0;
             const HRESULT hr = p->Add(40, 2, &n);
             return longText(hr, n);
         },
         [&](IDispatch* p) {
             SCallResult r;
             CallByName(p, u"Add", DISPATCH_METHOD, {Long(40), Long(2)}, r);
             EXPECT_EQ(r.m_result.vt, VT_I4);
             return resultText(r);
         }},
        {"Add with doubles rounded half to even",
         [&](ITestThing* p) {
             LONG n = 0;
             const HRESULT hr = p->Add(40, 2, &n);
             return longText(hr, n);
         },
         [&](IDispatch* p) {
             SCallResult r;
             CallByName(p, u"Add", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        {Double(39.5), Double(2.5)}, r);
             return resultText(r);
         }},
        {"Repeat",
         [](ITestThing* p) {
             CBstr text(u"ab");
             CBstr result;
             const HRESULT hr = p->Repeat(text.Get(), 3, result.Put());
             return std::to_string(hr) + ":" + FromUtf16(result.View());
         },
         [&](IDispatch* p) {
             CVariant text(u"ab");
             SCallResult r;
             CallByName(p, u"repeat", DISPATCH_METHOD, {text, Double(3)}, r);
             EXPECT_EQ(r.m_result.vt, VT_BSTR);
             return resultText(r);
         }},
        {"Level property",
         [](ITestThing* p) {
             double d = 0;
             EXPECT_EQ(p->put_Level(2.25), S_OK);
             const HRESULT hr = p->get_Level(&d);
             return std::to_string(hr) + ":" + std::to_string(d);
         },
         [](IDispatch* p) {
             SCallResult put;
             CallByName(p, u"Level", DISPATCH_PROPERTYPUT, {Double(2.25)}, put, true);
             EXPECT_EQ(put.m_hr, S_OK);
             SCallResult get;
             CallByName(p, u"Level", DISPATCH_PROPERTYGET, {}, get);
             return std::to_string(get.m_hr) + ":" + std::to_string(get.m_result.dblVal);
         }},
        {"Self with a 64-bit handle",
         [](ITestThing* p) {
             CComPtr<IDispatch> pSelf;
             std::int64_t n = 0;
             const HRESULT hr = p->Self(std::int64_t{1} << 40, pSelf.Put(), &n);
             return std::to_string(hr) + ":" + std::to_string(n) + ":" +
                    std::to_string(pSelf.Get() != nullptr);
         },
         [](IDispatch* p) {
             IDispatch* pSelf = nullptr;
             SCallResult r;
             CallByName(p, u"Self", DISPATCH_METHOD,
                        {Int64(std::int64_t{1} << 40), ByRef(VT_DISPATCH, &pSelf)}, r);
             const CComPtr<IDispatch> pOwned = CComPtr<IDispatch>::Attach(pSelf);
             EXPECT_EQ(pOwned.Get(), p) << "the same object comes back";
             return std::to_string(r.m_hr) + ":" + std::to_string(r.m_result.llVal) + ":" +
                    std::to_string(pOwned.Get() != nullptr);
         }},
    };
    for (const SCase& c : kCases) {
        const std::string viaVtable = c.m_vtable(m_pThing.Get());
        const std::string viaDispatch = c.m_dispatch(m_pDispatch.Get());
        EXPECT_EQ(viaDispatch, viaVtable) << c.m_pszWhat;
    }
}

TEST_F(DispatchTest, OutParametersReachTheCallersStorage) {
    // A typed reference and a reference to a variant both receive VARIANT_BOOL.
    CComPtr<ITestThing> pOther;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pOther), S_OK);
    VARIANT_BOOL bHeld = VARIANT_FALSE;
    SCallResult r;
    CallByName(m_pDispatch.Get(), u"Hold", DISPATCH_METHOD,
               {Unknown(pOther.Get()), ByRef(VT_BOOL, &bHeld)}, r);
    EXPECT_EQ(r.m_hr, S_OK);
    EXPECT_EQ(bHeld, VARIANT_TRUE);
    EXPECT_EQ(r.m_result.vt, VT_EMPTY);
    CVariant held;
    held = CVariant(LONG{7}); // replaced, and what it held freed
    SCallResult cleared;
    VARIANT empty;
    VariantInit(&empty);
    CallByName(m_pDispatch.Get(), u"Hold", DISPATCH_METHOD, {empty, ByRef(VT_VARIANT, &held)},
               cleared);
    EXPECT_EQ(cleared.m_hr, S_OK);
    EXPECT_EQ(held.vt, VT_BOOL);
    EXPECT_EQ(held.boolVal, VARIANT_FALSE);

    // An in-out string: the caller's string goes in and is replaced.
    BSTR text = SysAllocString(u"abc");
    SCallResult reversed;
    CallByName(m_pDispatch.Get(), u"Reverse", DISPATCH_METHOD, {ByRef(VT_BSTR, &text)}, reversed);
    EXPECT_EQ(reversed.m_hr, S_OK);
    EXPECT_EQ(BstrView(text), u"cba");
    SysFreeString(text);
    CVariant inVariant(u"xyz");
    SCallResult viaVariant;
    CallByName(m_pDispatch.Get(), u"Reverse", DISPATCH_METHOD, {ByRef(VT_VARIANT, &inVariant)},
               viaVariant);
    EXPECT_EQ(viaVariant.m_hr, S_OK);
    ASSERT_EQ(inVariant.vt, VT_BSTR);
    EXPECT_EQ(BstrView(inVariant.bstrVal), u"zyx");
}

TEST_F(DispatchTest, CallsThatCannotBeMadeAreRefused) {
    struct SCase {
        const char* m_pszWhat;
        std::u16string m_strName;
        WORD m_wFlags;
        std::vector<VARIANT> m_args;
        bool m_bNamed;
        HRESULT m_hr;
        UINT m_nArgErr; // 9999: not set
    };
    static CVariant s_text(u"12");
    LONG nTarget = 0;
    const SCase kCases[] = {
        {"text is no number",
         u"Add",
         DISPATCH_METHOD,
         {Long(1), s_text},
         false,
         DISP_E_TYPEMISMATCH,
         0},
        {"first argument is the last in rgvarg",
         u"Add",
         DISPATCH_METHOD,
         {s_text, Long(1)},
         false,
         DISP_E_TYPEMISMATCH,
         1},
        {"out of the long range",
         u"Add",
         DISPATCH_METHOD,
         {Double(3e9), Long(1)},
         false,
         DISP_E_OVERFLOW,
         1},
        {"negative count",
         u"Repeat",
         DISPATCH_METHOD,
         {s_text, Long(-1)},
         false,
         DISP_E_OVERFLOW,
         0},
        {"not an object",
         u"Hold",
         DISPATCH_METHOD,
         {Long(1), ByRef(VT_BOOL, &nTarget)},
         false,
         DISP_E_TYPEMISMATCH,
         1},
        {"out parameter of the wrong type",
         u"Hold",
         DISPATCH_METHOD,
         {Unknown(nullptr), ByRef(VT_I4, &nTarget)},
         false,
         DISP_E_TYPEMISMATCH,
         0},
        {"out parameter passed by value",
         u"Hold",
         DISPATCH_METHOD,
         {Unknown(nullptr), Long(0)},
         false,
         DISP_E_TYPEMISMATCH,
         0},
        {"too few", u"Add", DISPATCH_METHOD, {Long(1)}, false, DISP_E_BADPARAMCOUNT, 9999},
        {"too many",
         u"Add",
         DISPATCH_METHOD,
         {Long(1), Long(2), Long(3)},
         false,
         DISP_E_BADPARAMCOUNT,
         9999},
        {"named arguments",
         u"Add",
         DISPATCH_METHOD,
         {Long(1), Long(2)},
         true,
         DISP_E_NONAMEDARGS,
         9999},
        {"a property is no method",
         u"Level",
         DISPATCH_METHOD,
         {},
         false,
         DISP_E_MEMBERNOTFOUND,
         9999},
    };
    for (const SCase& c : kCases) {
        SCallResult r;
        CallByName(m_pDispatch.Get(), c.m_strName, c.m_wFlags, c.m_args, r, c.m_bNamed);
        EXPECT_EQ(r.m_hr, c.m_hr) << c.m_pszWhat;
        EXPECT_EQ(r.m_nArgErr, c.m_nArgErr) << c.m_pszWhat;
        EXPECT_EQ(r.m_result.vt, VT_EMPTY) << c.m_pszWhat;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        m_pDispatch->Invoke(99, GUID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(m_pDispatch->Invoke(1, IID_ITestThing, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                  nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchTest, FailingMethodGivesItsStatusAndDescription) {
    SCallResult r;
    CallByName(m_pDispatch.Get(), u"Fail", DISPATCH_METHOD, {Long(E_ACCESSDENIED)}, r);
    EXPECT_EQ(r.m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(r.m_excep.scode, E_ACCESSDENIED);
    EXPECT_EQ(BstrView(r.m_excep.bstrDescription), u"Failing as asked");
    EXPECT_EQ(BstrView(r.m_excep.bstrSource), u"TestThing");
    EXPECT_FALSE(TakeErrorInfo()) << "the description went into the exception information";

    SCallResult overflow;
    CallByName(m_pDispatch.Get(), u"Add", DISPATCH_METHOD,
               {Long(std::numeric_limits<LONG>::max()), Long(1)}, overflow);
    EXPECT_EQ(overflow.m_hr, DISP_E_EXCEPTION);
    EXPECT_EQ(overflow.m_excep.scode, DISP_E_OVERFLOW);
    EXPECT_EQ(overflow.m_excep.bstrDescription, nullptr);
}

TEST_F(DispatchTest, TypeInformationDescribesTheInterface) {
    UINT nCount = 0;
    ASSERT_EQ(m_pDispatch->GetTypeInfoCount(&nCount), S_OK);
    EXPECT_EQ(nCount, 1u);
    CComPtr<ITypeInfo> pInfo;
    EXPECT_EQ(m_pDispatch->GetTypeInfo(1, 0, pInfo.Put()), DISP_E_BADINDEX);
    ASSERT_EQ(m_pDispatch->GetTypeInfo(0, 0, pInfo.Put()), S_OK);
    GUID iid{};
    ASSERT_EQ(pInfo->GetGuid(&iid), S_OK);
    EXPECT_EQ(iid, IID_ITestThing);
    CBstr name;
    CBstr help;
    ASSERT_EQ(pInfo->GetDocumentation(MEMBERID_NIL, name.Put(), help.Put()), S_OK);
    EXPECT_EQ(name.View(), u"ITestThing");
    EXPECT_EQ(help.View(), u"ITestThing Interface");
    ASSERT_EQ(pInfo->GetDocumentation(1, name.Put(), help.Put()), S_OK);
    EXPECT_EQ(name.View(), u"Add");
    EXPECT_EQ(help.View(), u"Adds two numbers");
    EXPECT_EQ(pInfo->GetDocumentation(42, name.Put(), nullptr), TYPE_E_ELEMENTNOTFOUND);
    UINT nFuncs = 0;
    ASSERT_EQ(pInfo->GetFuncCount(&nFuncs), S_OK);
    EXPECT_EQ(nFuncs, 8u);
    DISPID memid = 0;
    WORD wKind = 0;
    UINT nParams = 0;
    ASSERT_EQ(pInfo->GetFuncDesc(5, &memid, &wKind, &nParams), S_OK);
    EXPECT_EQ(memid, 5);
    EXPECT_EQ(wKind, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(nParams, 1u);
    EXPECT_EQ(pInfo->GetFuncDesc(8, &memid, &wKind, &nParams), TYPE_E_ELEMENTNOTFOUND);

    // The type information calls the interface it is given, like the object's own Invoke.
    VARIANT args[] = {Long(2), Long(5)};
    DISPPARAMS params{args, nullptr, 2, 0};
    CVariant result;
    ASSERT_EQ(pInfo->Invoke(static_cast<ITestThing*>(m_pThing.Get()), 1, DISPATCH_METHOD, &params,
                            &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.lVal, 7);

    // Type information in use keeps its object, and so the module, alive.
    m_pDispatch = nullptr;
    m_pThing = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsServerModuleLoaded(kTestServerPath));
    pInfo = nullptr;
}

// {3F1C7A52-8D44-4E0B-9A61-0B7E25C4D9AA}
constexpr GUID kOtherLibId{
    0x3F1C7A52, 0x8D44, 0x4E0B, {0x9A, 0x61, 0x0B, 0x7E, 0x25, 0xC4, 0xD9, 0xAA}};
constexpr SInterfaceDesc kOtherInterfaces[] = {{"ITestThing", IID_ITestThing, "", {}}};
constexpr STypeLibDesc kOtherLib{"OtherLib",   kOtherLibId,      2, 10,
                                 "Other 2.10", kOtherInterfaces, {}};

TEST_F(DispatchTest, TypeLibraryRegistrationLeavesOtherLibrariesAlone) {
    // The module's library owns Interface\{iid}: another library does not take it over,
    // and removing the other library leaves it.
    const Lines before = HiveLines(ERegHive::ClassesRoot);
    ASSERT_EQ(RegisterTypeLib(kOtherLib, "/opt/other/Other.so"), S_OK);
    const std::string key = "TypeLib\\" + FormatGuid(kOtherLibId) + "\\2.a";
    Lines expected = before;
    for (const std::string& line :
         {"TypeLib\\" + FormatGuid(kOtherLibId), key, key + "|@=Other 2.10", key + "\\0",
          key + "\\0\\linux64", key + "\\0\\linux64|@=/opt/other/Other.so", key + "\\FLAGS",
          key + "\\FLAGS|@=0", key + "\\HELPDIR", key + "\\HELPDIR|@=/opt/other"})
        expected.push_back(line);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), expected);
    ASSERT_EQ(UnRegisterTypeLib(kOtherLib), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), before);

    // Once the module's library is gone, the other one may describe the interface; another
    // version of a library stays when one version goes.
    ASSERT_EQ(CallModuleEntry(kTestServerPath, kDllUnregisterServer), S_OK);
    ASSERT_EQ(RegisterTypeLib(kOtherLib, "/opt/other/Other.so"), S_OK);
    CRegKey owner;
    std::string text;
    ASSERT_EQ(
        owner.Open(ERegHive::ClassesRoot, "Interface\\" + FormatGuid(IID_ITestThing) + "\\TypeLib"),
        REG_STATUS_OK);
    ASSERT_EQ(owner.QueryString("", text), REG_STATUS_OK);
    EXPECT_EQ(text, FormatGuid(kOtherLibId));
    ASSERT_EQ(owner.QueryString("Version", text), REG_STATUS_OK);
    EXPECT_EQ(text, "2.a");
    STypeLibDesc otherVersion = kOtherLib;
    otherVersion.m_wMinor = 11;
    ASSERT_EQ(RegisterTypeLib(otherVersion, "/opt/other/Other.so"), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(kOtherLib), S_OK);
    CRegKey remaining;
    EXPECT_EQ(
        remaining.Open(ERegHive::ClassesRoot, "TypeLib\\" + FormatGuid(kOtherLibId) + "\\2.b"),
        REG_STATUS_OK);
    ASSERT_EQ(UnRegisterTypeLib(otherVersion), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), (Lines{"CLSID", "Interface", "TypeLib"}));
}

} // namespace
