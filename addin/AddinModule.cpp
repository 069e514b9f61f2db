// VARNOAddIn.so: the module record, the entry points with C linkage, the registration with
// the host's add-in manager and the module's resources as other modules read them.
#include "addin/AddinModule.h"

#include "addin/AddinIds.h"
#include "addin/VARNOAddInAddin.h"
#include "addin/VARNOAddInCommand.h"
#include "host/AddinInterfaces.h"
#include "platform/com/Bstr.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ModuleResources.h"
#include "res/ImageResources.h"

#include <new>

#ifndef VARNO_VERSION
#define VARNO_VERSION ""
#endif

namespace {

// Applied under HKEY_CLASSES_ROOT; %MODULE% is the module's full path.
constexpr std::string_view kAddinScript = R"(# VARNOAddIn add-in class
VARNOAddIn.VARNOAddInAddin.1 = "VARNOAddIn Addin Class" {
    CLSID = "%CLSID%"
}
VARNOAddIn.VARNOAddInAddin = "VARNOAddIn Addin Class" {
    CLSID = "%CLSID%"
    CurVer = "VARNOAddIn.VARNOAddInAddin.1"
}
shared CLSID {
    tree %CLSID% = "VARNOAddIn Addin Class" {
        ProgID = "VARNOAddIn.VARNOAddInAddin.1"
        VersionIndependentProgID = "VARNOAddIn.VARNOAddInAddin"
        Programmable
        InprocServer32 = "%MODULE%" {
            value ThreadingModel = "Apartment"
        }
        TypeLib = "%LIBID%"
    }
}
)";

HRESULT CreateAddin(const GUID& iid, void** ppv) {
    const CComPtr<CVARNOAddInAddin> pAddin(new (std::nothrow) CVARNOAddInAddin);
    if (!pAddin)
        return E_OUTOFMEMORY;
    return pAddin->QueryInterface(iid, ppv);
}

constexpr SClassEntry kClasses[] = {{&CLSID_VARNOAddInAddin, kAddinScript, &CreateAddin}};

// The module's file name without folder and extension, or its default name.
std::string ModuleBaseName(const std::string& path) {
    const std::size_t nSlash = path.rfind('/');
    std::string name = nSlash == std::string::npos ? path : path.substr(nSlash + 1);
    const std::size_t nDot = name.rfind('.');
    if (nDot != std::string::npos && nDot > 0)
        name.resize(nDot);
    return name.empty() ? "VARNOAddIn" : name;
}

// Identifiers and fixed names are ASCII.
std::u16string Wide(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

std::span<const unsigned char> FindOwnImage(unsigned nId, int nSize) {
    return FindImageResource(nId, nSize);
}

// The host's add-in manager; empty when it cannot be created.
CComPtr<IHostAddinManager> CreateAddinManager() {
    CComPtr<IHostAddinManager> pManager;
    if (FAILED(CoCreateInstance(CLSID_HostAddinManager, pManager)))
        return {};
    return pManager;
}

} // namespace

CServerModule& AddinServerModule() {
    static CServerModule s_module(kClasses, &AddinTypeLibrary());
    return s_module;
}

CModuleState& AddinModuleState() {
    static CModuleState s_state = [] {
        const std::string& path = AddinServerModule().ModulePath();
        CModuleState state;
        state.m_strName = ModuleBaseName(path);
        const std::size_t nDot = path.rfind('.');
        const std::size_t nSlash = path.rfind('/');
        state.m_strHelpFilePath =
            (nDot != std::string::npos && (nSlash == std::string::npos || nDot > nSlash)
                 ? path.substr(0, nDot)
                 : path) +
            ".hlp";
        state.m_pfnFindImage = &FindOwnImage;
        return state;
    }();
    return s_state;
}

void* AddinModuleInstance() {
    return ModuleHandleOf(reinterpret_cast<const void*>(&AddinModuleInstance));
}

void RegisterWithHost() {
    const CComPtr<IHostAddinManager> pManager = CreateAddinManager();
    if (!pManager)
        return;
    const CBstr clsid(Wide(FormatGuid(CLSID_VARNOAddInAddin)));
    CComPtr<IHostAddinEntry> pExisting;
    if (FAILED(pManager->FindAddin(clsid.Get(), pExisting.Put())))
        return;
    if (pExisting && FAILED(pExisting->RemoveAddin()))
        return;
    CComPtr<IHostAddinEntry> pAdded;
    static_cast<void>(
        pManager->AddAddin(clsid.Get(), CBstr(Wide(kAddinDisplayName)).Get(), pAdded.Put()));
}

void UnregisterFromHost() {
    const CComPtr<IHostAddinManager> pManager = CreateAddinManager();
    if (!pManager)
        return;
    CComPtr<IHostAddinEntry> pExisting;
    if (SUCCEEDED(pManager->FindAddin(CBstr(Wide(FormatGuid(CLSID_VARNOAddInAddin))).Get(),
                                      pExisting.Put())) &&
        pExisting)
        static_cast<void>(pExisting->RemoveAddin());
}

extern "C" {

[[gnu::visibility("default")]] HRESULT DllGetClassObject(const GUID& clsid, const GUID& iid,
                                                         void** ppv) {
    return AddinServerModule().GetClassObject(clsid, iid, ppv);
}

[[gnu::visibility("default")]] HRESULT DllCanUnloadNow() {
    return AddinServerModule().CanUnloadNow();
}

[[gnu::visibility("default")]] HRESULT DllRegisterServer() {
    const HRESULT hr = AddinServerModule().RegisterServer();
    if (SUCCEEDED(hr))
        RegisterWithHost();
    return hr;
}

// Every step is taken; a failure to remove the module's own keys is returned, so that the
// caller is not told the class is gone when it is not.
[[gnu::visibility("default")]] HRESULT DllUnregisterServer() {
    const HRESULT hr = AddinServerModule().UnregisterServer();
    UnregisterFromHost();
    return FAILED(hr) ? hr : S_OK;
}

[[gnu::visibility("default")]] const unsigned char*
VarnoModuleImageResource(unsigned nId, int nSize, std::size_t* pcb) {
    const std::span<const unsigned char> image = FindImageResource(nId, nSize);
    if (pcb)
        *pcb = image.size();
    return image.empty() ? nullptr : image.data();
}

[[gnu::visibility("default")]] const char* VarnoModuleVersionValue(const char* pszName) {
    static const std::string s_strClsid = FormatGuid(CLSID_VARNOAddInAddin);
    if (!pszName)
        return nullptr;
    const std::string_view name(pszName);
    if (name == "AddinClsid")
        return s_strClsid.c_str();
    if (name == "FileVersion" || name == "ProductVersion")
        return VARNO_VERSION;
    if (name == "InternalName" || name == "ProductName")
        return "VARNOAddIn";
    if (name == "OriginalFilename")
        return kAddinModuleFile;
    if (name == "FileDescription")
        return "VARNOAddIn Datebook Import/Export";
    return nullptr;
}

} // extern "C"
