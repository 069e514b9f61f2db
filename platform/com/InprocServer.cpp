#include "platform/com/InprocServer.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/CodePage.h"
#include "platform/registry/Registry.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// File names and loader messages are UTF-8, whatever the program's code page.
std::u16string Widen(std::string_view text) {
    return CodePageToUtf16(text, CP_UTF8);
}

// The resolved path of a file, empty when it does not exist.
std::string ResolvedPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer))
        return {};
    return buffer;
}

struct SModule {
    std::string m_strPath; // resolved
    CServerLibrary m_library;
    FDllGetClassObject m_pfnGetClassObject = nullptr;
    FDllCanUnloadNow m_pfnCanUnloadNow = nullptr;
    EThreadingModel m_model = EThreadingModel::Single;
    std::thread::id m_owner;
    // Requests running inside the module; it is not unloaded while one runs.
    std::atomic<int> m_nCalls{0};
};

// The modules loaded by this process, by resolved path. The table is never destroyed: at
// process exit the modules stay mapped, so no module code runs after the program's own
// static objects are gone.
class CModuleTable {
public:
    // Finds or loads the module and marks a request as running in it.
    HRESULT Enter(const std::string& path, EThreadingModel model, std::shared_ptr<SModule>& out) {
        std::lock_guard lock(m_mutex);
        auto it = m_map.find(path);
        if (it == m_map.end()) {
            auto pModule = std::make_shared<SModule>();
            std::string strError;
            if (!pModule->m_library.Open(path, strError)) {
                SetErrorDescription(u"Cannot load the server module " + Widen(path) + u": " +
                                    Widen(strError));
                return CO_E_DLLNOTFOUND;
            }
            pModule->m_pfnGetClassObject =
                pModule->m_library.Entry<FDllGetClassObject>(kDllGetClassObject);
            pModule->m_pfnCanUnloadNow =
                pModule->m_library.Entry<FDllCanUnloadNow>(kDllCanUnloadNow);
            if (!pModule->m_pfnGetClassObject) {
                SetErrorDescription(u"The server module " + Widen(path) +
                                    u" does not export DllGetClassObject");
                return CO_E_ERRORINDLL;
            }
            pModule->m_strPath = path;
            pModule->m_model = model;
            pModule->m_owner = std::this_thread::get_id();
            it = m_map.emplace(path, std::move(pModule)).first;
        }
        const std::shared_ptr<SModule>& pModule = it->second;
        if (IsThreadBound(pModule->m_model) && pModule->m_owner != std::this_thread::get_id())
            return RPC_E_WRONG_THREAD;
        ++pModule->m_nCalls;
        out = pModule;
        return S_OK;
    }

    void FreeUnused() {
        std::vector<std::shared_ptr<SModule>> unloaded;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_map.begin(); it != m_map.end();) {
                SModule& module = *it->second;
                const bool bMine =
                    !IsThreadBound(module.m_model) || module.m_owner == std::this_thread::get_id();
                // A module without DllCanUnloadNow cannot say when it is unused: it stays.
                if (bMine && module.m_nCalls == 0 && module.m_pfnCanUnloadNow &&
                    module.m_pfnCanUnloadNow() == S_OK) {
                    unloaded.push_back(std::move(it->second));
                    it = m_map.erase(it);
                } else {
                    ++it;
                }
            }
        }
        // The libraries close here, outside the lock: a module's static destructors may
        // call back into the runtime.
    }

    bool IsLoaded(const std::string& path) {
        std::lock_guard lock(m_mutex);
        return m_map.count(path) != 0;
    }

private:
    // Recursive: loading a module runs its static constructors, which may ask for classes.
    std::recursive_mutex m_mutex;
    std::map<std::string, std::shared_ptr<SModule>> m_map;
};

CModuleTable& ModuleTable() {
    static CModuleTable* s_pTable = new CModuleTable;
    return *s_pTable;
}

} // namespace

EThreadingModel ParseThreadingModel(std::string_view value, bool bPresent) {
    if (!bPresent)
        return EThreadingModel::Single;
    const std::string lower = LowerCase(value, CP_UTF8);
    if (lower == "apartment")
        return EThreadingModel::Apartment;
    if (lower == "both")
        return EThreadingModel::Both;
    if (lower == "free")
        return EThreadingModel::Free;
    if (lower == "neutral")
        return EThreadingModel::Neutral;
    return EThreadingModel::Single;
}

bool IsThreadBound(EThreadingModel model) {
    return model == EThreadingModel::Single || model == EThreadingModel::Apartment;
}

CServerLibrary::~CServerLibrary() {
    Close();
}

CServerLibrary::CServerLibrary(CServerLibrary&& other) noexcept
    : m_pHandle(std::exchange(other.m_pHandle, nullptr)) {}

CServerLibrary& CServerLibrary::operator=(CServerLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        m_pHandle = std::exchange(other.m_pHandle, nullptr);
    }
    return *this;
}

bool CServerLibrary::Open(const std::string& path, std::string& strError) {
    Close();
    if (path.empty() || path.front() != '/') {
        // A bare name would be looked up along the library search path: not what a
        // registration that names a file means.
        strError = "not an absolute path";
        return false;
    }
    dlerror();
    m_pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_pHandle) {
        const char* pszError = dlerror();
        strError = pszError ? pszError : "cannot be loaded";
        return false;
    }
    return true;
}

void CServerLibrary::Close() {
    if (void* p = std::exchange(m_pHandle, nullptr))
        dlclose(p);
}

void* CServerLibrary::Symbol(const char* pszName) const {
    return m_pHandle ? dlsym(m_pHandle, pszName) : nullptr;
}

HRESULT GetInprocClassObject(const GUID& clsid, const GUID& iid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CRegKey key;
    std::string strPath;
    if (key.Open(ERegHive::ClassesRoot, ClassKeyPath(clsid) + "\\InprocServer32") !=
            REG_STATUS_OK ||
        key.QueryString("", strPath) != REG_STATUS_OK || strPath.empty() || strPath[0] != '/')
        return CLASS_E_CLASSNOTAVAILABLE;
    std::string strModel;
    const bool bHasModel = key.QueryString("ThreadingModel", strModel) == REG_STATUS_OK;

    const std::string resolved = ResolvedPath(strPath);
    if (resolved.empty()) {
        SetErrorDescription(u"The server module " + Widen(strPath) + u" does not exist");
        return CO_E_DLLNOTFOUND;
    }
    std::shared_ptr<SModule> pModule;
    const HRESULT hr =
        ModuleTable().Enter(resolved, ParseThreadingModel(strModel, bHasModel), pModule);
    if (FAILED(hr))
        return hr;
    const HRESULT hrGet = pModule->m_pfnGetClassObject(clsid, iid, ppv);
    --pModule->m_nCalls;
    if (FAILED(hrGet) && *ppv) // a module that fails must not hand out an object
        *ppv = nullptr;
    return hrGet;
}

void CoFreeUnusedLibraries() {
    ModuleTable().FreeUnused();
}

bool IsServerModuleLoaded(const std::string& path) {
    const std::string resolved = ResolvedPath(path);
    return !resolved.empty() && ModuleTable().IsLoaded(resolved);
}
