#include "addin/VARNOAddInAddin.h"

#include "addin/AddinIds.h"
#include "addin/VARNOAddInCommand.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComError.h"
#include "platform/dialogs/DialogSurface.h"
#include "res/Resource.h"

#include <new>

namespace {

std::u16string Wide(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

void ShowPlainMessage(std::string_view text, std::string_view caption) {
    static_cast<void>(
        GetDialogSurface().MessageBox(text, caption, EMessageButtons::Ok, EMessageIcon::None));
}

} // namespace

HRESULT CVARNOAddInAddin::OnInitialize(IUnknown* pUnk, ULONG dwCookie, ULONG, LONG,
                                       BOOL* pbSuccess) {
    const CModuleStateScope state(AddinModuleState());
    if (!pbSuccess)
        return E_POINTER;
    m_dwCookie = dwCookie;
    m_pHost = CComPtr<IUnknown>(pUnk);
    try {
        RegisterCommand();
        *pbSuccess = TRUE;
    } catch (const CComError& e) {
        ShowPlainMessage(e.ErrorMessage(), {});
        *pbSuccess = FALSE;
    }
    return S_OK;
}

void CVARNOAddInAddin::RegisterCommand() {
    CComPtr<IHostApplication> pApplication;
    if (!m_pHost || FAILED(m_pHost.QueryInterface(pApplication)) || !pApplication)
        throw CComError(E_POINTER, IID_IHostApplication);
    CComPtr<IHostAddinCommands> pCommands;
    ThrowIfFailed(pApplication->GetAddinCommands(pCommands.Put()), IID_IHostApplication);
    if (!pCommands)
        throw CComError(E_POINTER, IID_IHostAddinCommands);

    // The host keeps the command object with its own reference; when registration fails
    // nothing holds it and it goes with this reference.
    const CComPtr<CVARNOAddInCommand> pCommand(new CVARNOAddInCommand(m_pHost.Get()));
    LONG lCommandId = 0;
    const HRESULT hr = pCommands->RegisterCommand(m_dwCookie, CBstr(Wide(kCommandName)).Get(),
                                                  pCommand.Get(), &lCommandId);
    ThrowIfFailed(hr, IID_IHostAddinCommands);
    if (hr != S_OK)
        return;
    ThrowIfFailed(pCommands->AddCommandMenuItem(
                      lCommandId, AddinModuleInstance(), static_cast<LONG>(IDB_COMMAND),
                      CBstr(Wide(kCommandMenuText)).Get(), static_cast<LONG>(kCommandMenuValue)),
                  IID_IHostAddinCommands);
}

HRESULT CVARNOAddInAddin::OnUninitialize() {
    const CModuleStateScope state(AddinModuleState());
    m_dwCookie = 0;
    return S_OK;
}

HRESULT CVARNOAddInAddin::GetFrameworkVersion(LONG* plVersion) {
    const CModuleStateScope state(AddinModuleState());
    if (!plVersion)
        return E_POINTER;
    *plVersion = static_cast<LONG>(kFrameworkVersion);
    return S_OK;
}

HRESULT CVARNOAddInAddin::ShowAboutBox(HWND) {
    const CModuleStateScope state(AddinModuleState());
    ShowPlainMessage("VARNOAddInAddin AboutBox", "VARNOAddIn");
    return S_OK;
}

HRESULT CVARNOAddInAddin::ShowProperties(HWND) {
    const CModuleStateScope state(AddinModuleState());
    ShowPlainMessage("VARNOAddInAddin Properties Dialog", "VARNOAddIn");
    return S_OK;
}
