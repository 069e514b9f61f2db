// Creating component objects by class identifier or ProgID, as the program does.
//
// A class is creatable when two things hold: the registry describes it
// (HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 exists, and for a ProgID
// HKEY_CLASSES_ROOT\<ProgID>\CLSID names the class), and either a component built into
// the program has put its class factory into this process's class table, or
// InprocServer32 names a server module that serves the class (InprocServer.h). Taking away
// the registration makes creation fail either way, so the registry decides availability.
#pragma once

#include "platform/com/ComPtr.h"
#include "platform/com/Unknown.h"

#include <string>
#include <string_view>

// {00000001-0000-0000-C000-000000000046}
inline constexpr GUID IID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Slots 3 and 4 after IUnknown.
struct IClassFactory : IUnknown {
    static constexpr const GUID& Iid() noexcept { return IID_IClassFactory; }
    using Base = IUnknown;

    // pUnkOuter must be null (aggregation is not offered: CLASS_E_NOAGGREGATION).
    [[nodiscard]] virtual HRESULT CreateInstance(IUnknown* pUnkOuter, const GUID& iid,
                                                 void** ppv) = 0;
    [[nodiscard]] virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

// The registry key of a class: "CLSID\{...}" under HKEY_CLASSES_ROOT.
[[nodiscard]] std::string ClassKeyPath(const GUID& clsid);

// The class of a ProgID: the default value of HKEY_CLASSES_ROOT\<ProgID>\CLSID.
// CO_E_CLASSSTRING when the ProgID is unknown or its CLSID value is not a class identifier.
[[nodiscard]] HRESULT CLSIDFromProgID(std::string_view progId, GUID& clsid);

// Puts a class factory into the process's class table (replacing an earlier one of the
// same class); the table keeps a reference until the class is revoked or the process ends.
[[nodiscard]] HRESULT CoRegisterClassObject(const GUID& clsid, IClassFactory* pFactory);
// Takes a class out of the table; S_FALSE when it was not there.
HRESULT CoRevokeClassObject(const GUID& clsid);

// The class factory of a registered class: the process's class table first, then the
// server module. REGDB_E_CLASSNOTREG when the registry does not describe the class,
// CLASS_E_CLASSNOTAVAILABLE when neither supplies it, or the module's failure
// (GetInprocClassObject).
[[nodiscard]] HRESULT CoGetClassObject(const GUID& clsid, const GUID& iid, void** ppv);

// A new object of the class, asked for the interface iid.
[[nodiscard]] HRESULT CoCreateInstance(const GUID& clsid, const GUID& iid, void** ppv);
// The same by ProgID: CO_E_CLASSSTRING for an unknown ProgID, then as above.
[[nodiscard]] HRESULT CoCreateInstance(std::string_view progId, const GUID& iid, void** ppv);

template <class T> [[nodiscard]] HRESULT CoCreateInstance(const GUID& clsid, CComPtr<T>& out) {
    return CoCreateInstance(clsid, T::Iid(), reinterpret_cast<void**>(out.Put()));
}
template <class T>
[[nodiscard]] HRESULT CoCreateInstance(std::string_view progId, CComPtr<T>& out) {
    return CoCreateInstance(progId, T::Iid(), reinterpret_cast<void**>(out.Put()));
}
