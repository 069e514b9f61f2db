// The host application object and its user object.
#pragma once

#include "desktop/DesktopSession.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <memory>

class CDesktopApplication final : public CComObject<CDesktopApplication, IHostApplication> {
public:
    explicit CDesktopApplication(std::shared_ptr<CDesktopSession> pSession);

    // The add-in services; their registrations last as long as the host.
    HRESULT GetAddinCommands(IHostAddinCommands** ppCommands) override;
    // The user current at the time of the call.
    HRESULT GetCurrentUser(IHostUser** ppUser) override;
    // The datebook of the user current at the time of the call; it stays that user's.
    HRESULT GetDatebook(IDispatch** ppDatebook) override;

    [[nodiscard]] CDesktopSession& Session() { return *m_pSession; }

private:
    std::shared_ptr<CDesktopSession> m_pSession;
};

class CDesktopUser final : public CComObject<CDesktopUser, IHostUser> {
public:
    CDesktopUser(std::shared_ptr<CDesktopSession> pSession, CDatebookUser user);

    HRESULT GetName(BSTR* pbstrName) override;

private:
    std::shared_ptr<CDesktopSession> m_pSession;
    CDatebookUser m_user;
};
