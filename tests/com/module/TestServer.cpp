// VarnoTestServer.so: one apartment-threaded class with a dual interface, its
// registration script and its type library.
#include "tests/com/module/TestServer.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/ServerModule.h"
#include "platform/com/TypeLib.h"

#include <algorithm>
#include <limits>
#include <string>

namespace {

constexpr std::string_view kThingScript = R"(# Varno test thing
shared CLSID {
    tree %CLSID% = "Varno Test Thing" {
        ProgID = "Varno.TestThing.1"
        VersionIndependentProgID = "Varno.TestThing"
        Programmable
        InprocServer32 = "%MODULE%" {
            value ThreadingModel = "Apartment"
        }
        TypeLib = "%LIBID%"
    }
}
Varno.TestThing.1 = "Varno Test Thing" {
    CLSID = "%CLSID%"
}
Varno.TestThing = "Varno Test Thing" {
    CLSID = "%CLSID%"
    CurVer = "Varno.TestThing.1"
}
)";

constexpr SParamDesc kAddParams[] = {Param<LONG>("nA"), Param<LONG>("nB"),
                                     RetvalParam<LONG*>("pnSum")};
constexpr SParamDesc kRepeatParams[] = {Param<BSTR>("bstrText"), Param<ULONG>("nCount"),
                                        RetvalParam<BSTR*>("pbstrResult")};
constexpr SParamDesc kHoldParams[] = {Param<IUnknown*>("pObject"), Param<VARIANT_BOOL*>("pbHeld")};
constexpr SParamDesc kFailParams[] = {Param<LONG>("hr")};
constexpr SParamDesc kGetLevelParams[] = {RetvalParam<double*>("pdLevel")};
constexpr SParamDesc kPutLevelParams[] = {Param<double>("dLevel")};
constexpr SParamDesc kReverseParams[] = {InOutParam<BSTR*>("pbstrText")};
constexpr SParamDesc kSelfParams[] = {Param<std::int64_t>("nHandle"), Param<IDispatch**>("ppSelf"),
                                      RetvalParam<std::int64_t*>("pnHandle")};

constexpr SMethodDesc kThingMethods[] = {
    DispMethod<&ITestThing::Add>("Add", 1, kAddParams, DISPATCH_METHOD, "Adds two numbers"),
    DispMethod<&ITestThing::Repeat>("Repeat", 2, kRepeatParams),
    DispMethod<&ITestThing::Hold>("Hold", 3, kHoldParams),
    DispMethod<&ITestThing::Fail>("Fail", 4, kFailParams),
    DispMethod<&ITestThing::get_Level>("Level", 5, kGetLevelParams, DISPATCH_PROPERTYGET),
    DispMethod<&ITestThing::put_Level>("Level", 5, kPutLevelParams, DISPATCH_PROPERTYPUT),
    DispMethod<&ITestThing::Reverse>("Reverse", 6, kReverseParams),
    DispMethod<&ITestThing::Self>("Self", 7, kSelfParams),
};

constexpr SInterfaceDesc kInterfaces[] = {
    {"ITestThing", IID_ITestThing, "ITestThing Interface", kThingMethods}};
constexpr GUID kThingInterfaces[] = {IID_ITestThing};
constexpr SCoClassDesc kCoClasses[] = {
    {"TestThing", CLSID_TestServerThing, "Varno Test Thing", kThingInterfaces}};
constexpr STypeLibDesc kTypeLib{
    "VarnoTestServerLib", LIBID_TestServerLib, 1, 0, "Varno Test Server 1.0 Type Library",
    kInterfaces,          kCoClasses};

HRESULT CreateThing(const GUID& iid, void** ppv);

constexpr SClassEntry kClasses[] = {{&CLSID_TestServerThing, kThingScript, &CreateThing}};

CServerModule& Module() {
    static CServerModule s_module(kClasses, &kTypeLib);
    return s_module;
}

class CThing final : public CDualObject<CThing, ITestThing> {
public:
    static const STypeLibDesc& TypeLibrary() { return kTypeLib; }

    HRESULT Add(LONG nA, LONG nB, LONG* pnSum) override {
        if (!pnSum)
            return E_POINTER;
        const std::int64_t nSum = std::int64_t{nA} + nB;
        if (nSum < std::numeric_limits<LONG>::min() || nSum > std::numeric_limits<LONG>::max())
            return DISP_E_OVERFLOW;
        *pnSum = static_cast<LONG>(nSum);
        return S_OK;
    }
    HRESULT Repeat(BSTR bstrText, ULONG nCount, BSTR* pbstrResult) override {
        if (!pbstrResult)
            return E_POINTER;
        if (nCount > 1000)
            return E_INVALIDARG;
        std::u16string text;
        for (ULONG i = 0; i < nCount; ++i)
            text += BstrView(bstrText);
        *pbstrResult = CBstr(text).Detach();
        return S_OK;
    }
    HRESULT Hold(IUnknown* pObject, VARIANT_BOOL* pbHeld) override {
        if (!pbHeld)
            return E_POINTER;
        m_pHeld = CComPtr<IUnknown>(pObject);
        *pbHeld = m_pHeld ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT Fail(LONG hr) override {
        SetErrorInfo(CErrorInfo{IID_ITestThing, u"TestThing", u"Failing as asked"});
        return hr;
    }
    HRESULT get_Level(double* pdLevel) override {
        if (!pdLevel)
            return E_POINTER;
        *pdLevel = m_dLevel;
        return S_OK;
    }
    HRESULT put_Level(double dLevel) override {
        m_dLevel = dLevel;
        return S_OK;
    }
    HRESULT Reverse(BSTR* pbstrText) override {
        if (!pbstrText)
            return E_POINTER;
        std::u16string text(BstrView(*pbstrText));
        std::reverse(text.begin(), text.end());
        SysFreeString(*pbstrText);
        *pbstrText = CBstr(text).Detach();
        return S_OK;
    }
    HRESULT Self(std::int64_t nHandle, IDispatch** ppSelf, std::int64_t* pnHandle) override {
        if (!ppSelf || !pnHandle)
            return E_POINTER;
        AddRef();
        *ppSelf = this;
        *pnHandle = nHandle;
        return S_OK;
    }

private:
    CModuleLock m_lock{Module()};
    CComPtr<IUnknown> m_pHeld;
    double m_dLevel = 0;
};

HRESULT CreateThing(const GUID& iid, void** ppv) {
    const CComPtr<CThing> pThing(new CThing);
    return pThing->QueryInterface(iid, ppv);
}

} // namespace

extern "C" {

[[gnu::visibility("default")]] HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid,
                                                         void** ppv) {
    return Module().GetClassObject(clsid, iid, ppv);
}

[[gnu::visibility("default")]] HRESULT DllCanUnloadNow() {
    return Module().CanUnloadNow();
}

[[gnu::visibility("default")]] HRESULT DllRegisterServer() {
    return Module().RegisterServer();
}

[[gnu::visibility("default")]] HRESULT DllUnregisterServer() {
    return Module().UnregisterServer();
}

} // extern "C"
