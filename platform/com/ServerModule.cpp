#include "platform/com/ServerModule.h"

#include "platform/com/ErrorInfo.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

class CServerModule::CFactory final : public IClassFactory {
public:
    CFactory(CServerModule& module, const SClassEntry& entry) : m_module(module), m_entry(entry) {}

    HRESULT QueryInterface(const GUID& iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // Only references held outside the module are counted, and each holds the module
    // loaded: code must not go away under a factory a client still uses. The module's own
    // reference ends when the module does.
    ULONG AddRef() override {
        m_module.Lock();
        return ++m_nRefs + 1;
    }
    ULONG Release() override {
        const ULONG n = --m_nRefs;
        m_module.Unlock();
        return n + 1;
    }
    HRESULT CreateInstance(IUnknown* pUnkOuter, const GUID& iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        return m_entry.m_pfnCreateInstance(iid, ppv);
    }
    HRESULT LockServer(BOOL fLock) override {
        if (fLock)
            m_module.Lock();
        else
            m_module.Unlock();
        return S_OK;
    }

    ~CFactory() = default;

private:
    CServerModule& m_module;
    const SClassEntry& m_entry;
    std::atomic<ULONG> m_nRefs{0};
};

namespace {

std::string PathOfAddress(const void* pAddress) {
    Dl_info info{};
    if (!dladdr(pAddress, &info) || !info.dli_fname)
        return {};
    char buffer[PATH_MAX];
    if (!realpath(info.dli_fname, buffer))
        return {};
    return buffer;
}

} // namespace

CServerModule::CServerModule(std::span<const SClassEntry> classes, const STypeLibDesc* pTypeLib)
    : m_classes(classes), m_pTypeLib(pTypeLib), m_strPath(PathOfAddress(this)),
      m_vecFactories(classes.size(), nullptr) {
    for (const SClassEntry& entry : m_classes)
        if (entry.m_pfnClassInit)
            entry.m_pfnClassInit();
}

CServerModule::~CServerModule() {
    for (CFactory* pFactory : m_vecFactories)
        delete pFactory;
    for (const SClassEntry& entry : m_classes)
        if (entry.m_pfnClassTerm)
            entry.m_pfnClassTerm();
}

HRESULT CServerModule::GetClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (std::size_t i = 0; i < m_classes.size(); ++i) {
        if (*m_classes[i].m_pClsid != clsid)
            continue;
        CFactory* pFactory = nullptr;
        {
            std::lock_guard lock(m_factoryMutex);
            if (!m_vecFactories[i])
                m_vecFactories[i] = new CFactory(*this, m_classes[i]);
            pFactory = m_vecFactories[i];
        }
        return pFactory->QueryInterface(iid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

TScriptReplacements CServerModule::Replacements(const SClassEntry& entry) const {
    TScriptReplacements replacements{{"MODULE", m_strPath}, {"CLSID", FormatGuid(*entry.m_pClsid)}};
    if (m_pTypeLib)
        replacements.emplace("LIBID", FormatGuid(m_pTypeLib->m_libid));
    return replacements;
}

HRESULT CServerModule::RegisterServer() const {
    if (m_strPath.empty()) {
        SetErrorDescription(u"The server module cannot find its own file");
        return E_UNEXPECTED;
    }
    for (const SClassEntry& entry : m_classes) {
        const HRESULT hr = UpdateRegistryFromScript(entry.m_strScript, Replacements(entry), true);
        if (FAILED(hr))
            return hr;
    }
    return m_pTypeLib ? RegisterTypeLib(*m_pTypeLib, m_strPath) : S_OK;
}

HRESULT CServerModule::UnregisterServer() const {
    HRESULT hrFirst = S_OK;
    for (const SClassEntry& entry : m_classes) {
        const HRESULT hr = UpdateRegistryFromScript(entry.m_strScript, Replacements(entry), false);
        if (FAILED(hr) && SUCCEEDED(hrFirst))
            hrFirst = hr;
    }
    if (m_pTypeLib) {
        const HRESULT hr = UnRegisterTypeLib(*m_pTypeLib);
        if (FAILED(hr) && SUCCEEDED(hrFirst))
            hrFirst = hr;
    }
    return hrFirst;
}
