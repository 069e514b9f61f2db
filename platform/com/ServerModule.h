// The module record of an in-process server: its object table (one entry per creatable
// class with its registration script and instance creator), the class factories created on
// first request, the lock count, and the module's registration.
//
// Each server module holds one CServerModule of its own, defined in the module itself
// (never in a library shared with the program that loads it), and exports the entry points
// with C linkage:
//
//   CServerModule& Module() { static CServerModule s_module(kClasses, &kTypeLib); return s_module;
//   } extern "C" HRESULT DllGetClassObject(const GUID& c, const GUID& i, void** ppv) {
//       return Module().GetClassObject(c, i, ppv);
//   }
//
// Every object of the module holds a CModuleLock while it lives, so the lock count covers
// live objects, LockServer and class factory references held outside the module.
#pragma once

#include "platform/com/ClassRegistry.h"
#include "platform/com/RegistryScript.h"
#include "platform/com/TypeLib.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct SClassEntry {
    const GUID* m_pClsid;
    // Registration script of the class; %MODULE% (the module's full path), %CLSID% (this
    // class), %LIBID% (the module's type library) are replaced.
    std::string_view m_strScript;
    // A new object asked for iid (the object starts unreferenced; the creator's answer is
    // the factory's answer).
    HRESULT (*m_pfnCreateInstance)(const GUID& iid, void** ppv);
    // Called when the module is loaded and when it is unloaded; either may be null.
    void (*m_pfnClassInit)() = nullptr;
    void (*m_pfnClassTerm)() = nullptr;
};

class CServerModule {
public:
    // The object must live in the module's own storage (a static of the module): its
    // address tells which file the module was loaded from. pTypeLib may be null.
    CServerModule(std::span<const SClassEntry> classes, const STypeLibDesc* pTypeLib);
    ~CServerModule();
    CServerModule(const CServerModule&) = delete;
    CServerModule& operator=(const CServerModule&) = delete;

    LONG Lock() noexcept { return ++m_nLocks; }
    LONG Unlock() noexcept { return --m_nLocks; }
    [[nodiscard]] LONG LockCount() const noexcept { return m_nLocks; }

    // DllGetClassObject: E_POINTER for a null ppv, CLASS_E_CLASSNOTAVAILABLE (and a null
    // *ppv) for a class the table does not hold; the factory is created on the first
    // request and kept until the module is unloaded.
    [[nodiscard]] HRESULT GetClassObject(const GUID& clsid, const GUID& iid, void** ppv);
    // DllCanUnloadNow: S_OK when the lock count is 0, else S_FALSE.
    [[nodiscard]] HRESULT CanUnloadNow() const noexcept { return m_nLocks == 0 ? S_OK : S_FALSE; }

    // Applies every class's registration script, then registers the type library. The
    // first failure is returned (the thread's error information says more).
    [[nodiscard]] HRESULT RegisterServer() const;
    // Removes the scripts' keys and the type library; the first failure is returned, but
    // every step is tried.
    [[nodiscard]] HRESULT UnregisterServer() const;

    // The module's file, resolved; empty when it cannot be found.
    [[nodiscard]] const std::string& ModulePath() const noexcept { return m_strPath; }
    [[nodiscard]] TScriptReplacements Replacements(const SClassEntry& entry) const;

private:
    class CFactory;

    std::span<const SClassEntry> m_classes;
    const STypeLibDesc* m_pTypeLib;
    std::string m_strPath;
    std::atomic<LONG> m_nLocks{0};
    std::mutex m_factoryMutex;             // serialises the creation of factories
    std::vector<CFactory*> m_vecFactories; // one per class, created on demand, owned
};

// Holds the module's lock count up while the object that owns it lives.
class CModuleLock {
public:
    explicit CModuleLock(CServerModule& module) noexcept : m_module(module) { m_module.Lock(); }
    ~CModuleLock() { m_module.Unlock(); }
    CModuleLock(const CModuleLock&) = delete;
    CModuleLock& operator=(const CModuleLock&) = delete;

private:
    CServerModule& m_module;
};
