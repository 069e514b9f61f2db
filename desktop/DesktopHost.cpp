#include "desktop/DesktopHost.h"

#include "desktop/DesktopApplication.h"

CComPtr<IDispatch> OpenDesktopHost(const CDesktopHostOptions& options) {
    auto pSession = std::make_shared<CDesktopSession>(options);
    CComPtr<CDesktopApplication> pApplication(new CDesktopApplication(std::move(pSession)));
    return CComPtr<IDispatch>(pApplication.Get());
}

std::string FlushDesktopHost(IDispatch* pHost) {
    auto* pApplication = dynamic_cast<CDesktopApplication*>(pHost);
    if (!pApplication)
        return {};
    return pApplication->Session().Flush();
}

std::vector<CAddinCommand> DesktopAddinCommands(IDispatch* pHost) {
    auto* pApplication = dynamic_cast<CDesktopApplication*>(pHost);
    if (!pApplication)
        return {};
    const std::lock_guard<std::recursive_mutex> lock(pApplication->Session().Lock());
    return pApplication->Session().AddinCommands();
}

void ReleaseDesktopAddinCommands(IDispatch* pHost) {
    auto* pApplication = dynamic_cast<CDesktopApplication*>(pHost);
    if (!pApplication)
        return;
    std::vector<CAddinCommand> released;
    {
        const std::lock_guard<std::recursive_mutex> lock(pApplication->Session().Lock());
        released.swap(pApplication->Session().AddinCommands());
    }
    // The command objects go here, outside the session's lock: they release the host.
}

void ReleaseDesktopAddinCommands(IDispatch* pHost, ULONG dwCookie) {
    auto* pApplication = dynamic_cast<CDesktopApplication*>(pHost);
    if (!pApplication)
        return;
    std::vector<CAddinCommand> released;
    {
        const std::lock_guard<std::recursive_mutex> lock(pApplication->Session().Lock());
        std::vector<CAddinCommand>& commands = pApplication->Session().AddinCommands();
        for (auto it = commands.begin(); it != commands.end();) {
            if (it->m_dwCookie == dwCookie) {
                released.push_back(std::move(*it));
                it = commands.erase(it);
            } else {
                ++it;
            }
        }
    }
}
