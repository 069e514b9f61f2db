// In-process servers: shared libraries that serve component classes through four entry
// points with C linkage, named by HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (default
// value: the library's full path; named value ThreadingModel).
//
// The library is loaded on the first request for one of its classes and stays loaded until
// CoFreeUnusedLibraries finds that its DllCanUnloadNow answers S_OK. Objects are never
// marshalled between threads, so a server whose threading model is "Apartment" (or which
// names none, as single-threaded servers do) belongs to the thread that loaded it: requests
// from any other thread get RPC_E_WRONG_THREAD, and only that thread unloads it. "Both",
// "Free" and "Neutral" servers take requests from every thread.
#pragma once

#include "platform/com/Unknown.h"

#include <string>
#include <string_view>

// The entry points of a server module.
using FDllGetClassObject = HRESULT (*)(const GUID& clsid, const GUID& iid, void** ppv);
using FDllCanUnloadNow = HRESULT (*)();
using FDllRegisterServer = HRESULT (*)();
using FDllUnregisterServer = HRESULT (*)();

inline constexpr const char* kDllGetClassObject = "DllGetClassObject";
inline constexpr const char* kDllCanUnloadNow = "DllCanUnloadNow";
inline constexpr const char* kDllRegisterServer = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServer = "DllUnregisterServer";

enum class EThreadingModel {
    Single,    // no ThreadingModel value
    Apartment, // "Apartment"
    Both,      // "Both"
    Free,      // "Free"
    Neutral,   // "Neutral"
};

// The threading model of a ThreadingModel value (letter case ignored). An unknown value is
// taken as single-threaded, the strictest reading.
[[nodiscard]] EThreadingModel ParseThreadingModel(std::string_view value, bool bPresent);
// True for the models whose objects belong to one thread.
[[nodiscard]] bool IsThreadBound(EThreadingModel model);

// One shared library opened for its entry points; closed (once) when the object goes.
class CServerLibrary {
public:
    CServerLibrary() = default;
    ~CServerLibrary();
    CServerLibrary(const CServerLibrary&) = delete;
    CServerLibrary& operator=(const CServerLibrary&) = delete;
    CServerLibrary(CServerLibrary&& other) noexcept;
    CServerLibrary& operator=(CServerLibrary&& other) noexcept;

    // Opens the library at an absolute path with every symbol bound at once. On failure,
    // strError holds the loader's reason and the object stays closed.
    [[nodiscard]] bool Open(const std::string& path, std::string& strError);
    void Close();
    [[nodiscard]] bool IsOpen() const noexcept { return m_pHandle != nullptr; }
    // The exported function, or null.
    [[nodiscard]] void* Symbol(const char* pszName) const;
    template <class F> [[nodiscard]] F Entry(const char* pszName) const {
        return reinterpret_cast<F>(Symbol(pszName));
    }

private:
    void* m_pHandle = nullptr;
};

// The class factory of a class whose InprocServer32 names a server module: loads the module
// (or finds it loaded) and asks its DllGetClassObject. CLASS_E_CLASSNOTAVAILABLE when the
// value names no module file (a class built into the program), CO_E_DLLNOTFOUND when the
// module cannot be loaded, CO_E_ERRORINDLL when it lacks DllGetClassObject,
// RPC_E_WRONG_THREAD for a thread-bound module of another thread; else the module's
// answer. The loader's reason for a failure is left in the thread's error information.
[[nodiscard]] HRESULT GetInprocClassObject(const GUID& clsid, const GUID& iid, void** ppv);

// Unloads every module of the calling thread (and every free-threaded module) whose
// DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// Whether this process holds the module loaded through GetInprocClassObject (the path is
// compared after resolving links).
[[nodiscard]] bool IsServerModuleLoaded(const std::string& path);
