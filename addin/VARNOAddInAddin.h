// The add-in object the host creates: registers the command object and its menu entry with
// the host's add-in services at initialisation.
#pragma once

#include "addin/AddinModule.h"
#include "host/AddinInterfaces.h"
#include "platform/com/ComPtr.h"

class VARNO_MODULE_LOCAL CVARNOAddInAddin final
    : public CDualObject<CVARNOAddInAddin, IDesktopAddin> {
public:
    static const STypeLibDesc& TypeLibrary() { return AddinTypeLibrary(); }

    // Registration failures are shown once and reported through *pbSuccess; the result
    // stays S_OK (E_POINTER only for a null pbSuccess).
    HRESULT OnInitialize(IUnknown* pUnk, ULONG dwCookie, ULONG dwDesktopVersion, LONG lParam,
                         BOOL* pbSuccess) override;
    // Forgets the cookie; the command and the host reference stay until release.
    HRESULT OnUninitialize() override;
    HRESULT GetFrameworkVersion(LONG* plVersion) override;
    HRESULT ShowAboutBox(HWND hWndParent) override;
    HRESULT ShowProperties(HWND hWndParent) override;

    [[nodiscard]] ULONG Cookie() const { return m_dwCookie; }

private:
    // Raises the host-call exception for a failing host call.
    void RegisterCommand();

    CModuleLock m_lock{AddinServerModule()};
    ULONG m_dwCookie = 0;
    CComPtr<IUnknown> m_pHost;
};
