#include "desktop/AddinHost.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ComError.h"
#include "platform/com/InprocServer.h"

CAddinHost::CAddinHost(CComPtr<IDispatch> pHost) : m_pHost(std::move(pHost)) {}

CAddinHost::~CAddinHost() {
    Unload();
}

void CAddinHost::LoadAddins(std::vector<std::string>& vecProblems) {
    for (const CAddinRegistration& registration : ListAddinRegistrations()) {
        const std::string name = registration.m_strName.empty() ? FormatGuid(registration.m_clsid)
                                                                : registration.m_strName;
        CComPtr<IDesktopAddin> pAddin;
        const HRESULT hr = CoCreateInstance(registration.m_clsid, pAddin);
        if (FAILED(hr) || !pAddin) {
            vecProblems.push_back("The add-in " + name +
                                  " cannot be loaded: " + CComError::ErrorMessageFor(hr));
            continue;
        }
        const ULONG dwCookie = m_dwNextCookie++;
        BOOL bSuccess = FALSE;
        const HRESULT hrInit =
            pAddin->OnInitialize(m_pHost.Get(), dwCookie, kDesktopVersion, 0, &bSuccess);
        if (FAILED(hrInit) || !bSuccess) {
            vecProblems.push_back("The add-in " + name + " did not start.");
            ReleaseDesktopAddinCommands(m_pHost.Get(), dwCookie);
            continue;
        }
        m_vecAddins.push_back(SAddin{registration, dwCookie, std::move(pAddin)});
    }
}

std::vector<CAddinCommand> CAddinHost::MenuCommands() const {
    std::vector<CAddinCommand> result;
    for (CAddinCommand& command : DesktopAddinCommands(m_pHost.Get()))
        if (command.m_bHasMenuItem)
            result.push_back(std::move(command));
    return result;
}

HRESULT CAddinHost::RunCommand(LONG lCommandId, std::string& strStoreFailure) {
    strStoreFailure.clear();
    CComPtr<IDispatch> pCommandObject;
    for (const CAddinCommand& command : DesktopAddinCommands(m_pHost.Get()))
        if (command.m_lId == lCommandId)
            pCommandObject = command.m_pCommand;
    if (!pCommandObject)
        return E_INVALIDARG;
    CComPtr<IDesktopCommand> pCommand;
    if (FAILED(pCommandObject.QueryInterface(pCommand)) || !pCommand)
        return E_NOINTERFACE;
    const HRESULT hr = pCommand->OnCommand();
    strStoreFailure = FlushDesktopHost(m_pHost.Get());
    return hr;
}

void CAddinHost::Unload() {
    for (SAddin& addin : m_vecAddins)
        static_cast<void>(addin.m_pAddin->OnUninitialize());
    if (m_pHost)
        ReleaseDesktopAddinCommands(m_pHost.Get());
    m_vecAddins.clear();
    CoFreeUnusedLibraries();
}
