#include "platform/com/ClassRegistry.h"

#include "platform/com/InprocServer.h"
#include "platform/registry/Registry.h"

#include <mutex>
#include <unordered_map>

namespace {

// The class factories that components of this process have registered. Process-wide, as
// class registration is; guarded because objects may be created from any thread.
class CClassTable {
public:
    void Put(const GUID& clsid, CComPtr<IClassFactory> pFactory) {
        CComPtr<IClassFactory> pOld;
        {
            std::lock_guard lock(m_mutex);
            CComPtr<IClassFactory>& slot = m_map[clsid];
            pOld = std::move(slot);
            slot = std::move(pFactory);
        }
        // pOld is released here, outside the lock: a factory's last release may run
        // arbitrary code.
    }
    bool Remove(const GUID& clsid) {
        CComPtr<IClassFactory> pOld;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_map.find(clsid);
            if (it == m_map.end())
                return false;
            pOld = std::move(it->second);
            m_map.erase(it);
        }
        return true;
    }
    [[nodiscard]] CComPtr<IClassFactory> Find(const GUID& clsid) const {
        std::lock_guard lock(m_mutex);
        const auto it = m_map.find(clsid);
        return it == m_map.end() ? CComPtr<IClassFactory>() : it->second;
    }

private:
    mutable std::mutex m_mutex;
    std::unordered_map<GUID, CComPtr<IClassFactory>, CGuidHash> m_map;
};

CClassTable& ClassTable() {
    static CClassTable s_table;
    return s_table;
}

bool IsClassRegistered(const GUID& clsid) {
    CRegKey key;
    return key.Open(ERegHive::ClassesRoot, ClassKeyPath(clsid) + "\\InprocServer32") ==
           REG_STATUS_OK;
}

} // namespace

std::string ClassKeyPath(const GUID& clsid) {
    return "CLSID\\" + FormatGuid(clsid);
}

HRESULT CLSIDFromProgID(std::string_view progId, GUID& clsid) {
    // A ProgID is one key name: no path separators, not empty.
    if (progId.empty() || progId.find('\\') != std::string_view::npos)
        return CO_E_CLASSSTRING;
    CRegKey key;
    if (key.Open(ERegHive::ClassesRoot, std::string(progId) + "\\CLSID") != REG_STATUS_OK)
        return CO_E_CLASSSTRING;
    std::string text;
    if (key.QueryString("", text) != REG_STATUS_OK)
        return CO_E_CLASSSTRING;
    const auto parsed = ParseGuid(text);
    if (!parsed)
        return CO_E_CLASSSTRING;
    clsid = *parsed;
    return S_OK;
}

HRESULT CoRegisterClassObject(const GUID& clsid, IClassFactory* pFactory) {
    if (!pFactory)
        return E_INVALIDARG;
    ClassTable().Put(clsid, CComPtr<IClassFactory>(pFactory));
    return S_OK;
}

HRESULT CoRevokeClassObject(const GUID& clsid) {
    return ClassTable().Remove(clsid) ? S_OK : S_FALSE;
}

HRESULT CoGetClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsClassRegistered(clsid))
        return REGDB_E_CLASSNOTREG;
    const CComPtr<IClassFactory> pFactory = ClassTable().Find(clsid);
    if (!pFactory)
        return GetInprocClassObject(clsid, iid, ppv);
    return pFactory->QueryInterface(iid, ppv);
}

HRESULT CoCreateInstance(const GUID& clsid, const GUID& iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CComPtr<IClassFactory> pFactory;
    const HRESULT hr =
        CoGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(pFactory.Put()));
    if (FAILED(hr))
        return hr;
    return pFactory->CreateInstance(nullptr, iid, ppv);
}

HRESULT CoCreateInstance(std::string_view progId, const GUID& iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    GUID clsid{};
    const HRESULT hr = CLSIDFromProgID(progId, clsid);
    if (FAILED(hr))
        return hr;
    return CoCreateInstance(clsid, iid, ppv);
}
