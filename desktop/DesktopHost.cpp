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
