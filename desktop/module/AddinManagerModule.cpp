// DatebookAddinManager.so: the host's add-in manager as a server module, so that any
// process (the registration tool among them) can create it through the registry. Its
// registrations are the list of desktop/AddinRegistry.h.
#include "desktop/AddinRegistry.h"
#include "host/AddinInterfaces.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/ServerModule.h"
#include "platform/locale/CodePage.h"

#include <new>

namespace {

constexpr std::string_view kManagerScript = R"(# Datebook Desktop add-in manager
shared CLSID {
    tree %CLSID% = "Datebook Desktop Add-in Manager" {
        InprocServer32 = "%MODULE%" {
            value ThreadingModel = "Apartment"
        }
    }
}
)";

HRESULT CreateManager(const GUID& iid, void** ppv);

constexpr SClassEntry kClasses[] = {{&CLSID_HostAddinManager, kManagerScript, &CreateManager}};

CServerModule& Module() {
    static CServerModule s_module(kClasses, nullptr);
    return s_module;
}

std::string Narrow(BSTR bstr) {
    return Utf16ToCodePage(BstrView(bstr), CP_UTF8);
}

class CAddinEntry final : public CComObject<CAddinEntry, IHostAddinEntry> {
public:
    explicit CAddinEntry(std::string strKey) : m_strKey(std::move(strKey)) {}

    HRESULT RemoveAddin() override {
        if (!RemoveAddinRegistration(m_strKey)) {
            SetErrorDescription(u"The add-in list cannot be written", IID_IHostAddinEntry);
            return E_ACCESSDENIED;
        }
        return S_OK;
    }

private:
    CModuleLock m_lock{Module()};
    std::string m_strKey;
};

class CAddinManager final : public CComObject<CAddinManager, IHostAddinManager> {
public:
    HRESULT AddAddin(BSTR bstrClsid, BSTR bstrName, IHostAddinEntry** ppEntry) override {
        if (!ppEntry)
            return E_POINTER;
        *ppEntry = nullptr;
        const std::optional<GUID> clsid = ParseGuid(Narrow(bstrClsid));
        if (!clsid) {
            SetErrorDescription(u"Not a class identifier: " + std::u16string(BstrView(bstrClsid)),
                                IID_IHostAddinManager);
            return E_INVALIDARG;
        }
        CAddinRegistration added;
        if (!AddAddinRegistration(*clsid, Narrow(bstrName), added)) {
            SetErrorDescription(u"The add-in list cannot be written", IID_IHostAddinManager);
            return E_ACCESSDENIED;
        }
        return NewEntry(added.m_strKey, ppEntry);
    }

    HRESULT FindAddin(BSTR bstrClsid, IHostAddinEntry** ppEntry) override {
        if (!ppEntry)
            return E_POINTER;
        *ppEntry = nullptr;
        const std::optional<GUID> clsid = ParseGuid(Narrow(bstrClsid));
        if (!clsid) {
            SetErrorDescription(u"Not a class identifier: " + std::u16string(BstrView(bstrClsid)),
                                IID_IHostAddinManager);
            return E_INVALIDARG;
        }
        for (const CAddinRegistration& registration : ListAddinRegistrations())
            if (registration.m_clsid == *clsid)
                return NewEntry(registration.m_strKey, ppEntry);
        return S_OK;
    }

private:
    static HRESULT NewEntry(const std::string& strKey, IHostAddinEntry** ppEntry) {
        CComPtr<CAddinEntry> pEntry(new (std::nothrow) CAddinEntry(strKey));
        if (!pEntry)
            return E_OUTOFMEMORY;
        *ppEntry = pEntry.Detach();
        return S_OK;
    }

    CModuleLock m_lock{Module()};
};

HRESULT CreateManager(const GUID& iid, void** ppv) {
    const CComPtr<CAddinManager> pManager(new (std::nothrow) CAddinManager);
    if (!pManager)
        return E_OUTOFMEMORY;
    return pManager->QueryInterface(iid, ppv);
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
