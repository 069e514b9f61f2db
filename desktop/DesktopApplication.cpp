#include "desktop/DesktopApplication.h"

#include "desktop/DesktopAddinCommands.h"
#include "desktop/DesktopDatebook.h"
#include "desktop/UnicodeText.h"

CDesktopApplication::CDesktopApplication(std::shared_ptr<CDesktopSession> pSession)
    : m_pSession(std::move(pSession)) {}

HRESULT CDesktopApplication::GetAddinCommands(IHostAddinCommands** ppCommands) {
    return RunHostCall(*m_pSession, "GetAddinCommands", IID_IHostApplication, [&] {
        if (!ppCommands)
            return FailCall(E_POINTER, "GetAddinCommands needs an out pointer.",
                            IID_IHostApplication);
        *ppCommands = nullptr;
        CComPtr<CDesktopAddinCommands> pCommands(new CDesktopAddinCommands(m_pSession));
        *ppCommands = pCommands.Detach();
        return S_OK;
    });
}

HRESULT CDesktopApplication::GetCurrentUser(IHostUser** ppUser) {
    return RunHostCall(*m_pSession, "GetCurrentUser", IID_IHostApplication, [&] {
        if (!ppUser)
            return FailCall(E_POINTER, "GetCurrentUser needs an out pointer.",
                            IID_IHostApplication);
        *ppUser = nullptr;
        CComPtr<CDesktopUser> pUser(
            new CDesktopUser(m_pSession, m_pSession->Store().CurrentUser()));
        *ppUser = pUser.Detach();
        return S_OK;
    });
}

HRESULT CDesktopApplication::GetDatebook(IDispatch** ppDatebook) {
    return RunHostCall(*m_pSession, "GetDatebook", IID_IHostApplication, [&] {
        if (!ppDatebook)
            return FailCall(E_POINTER, "GetDatebook needs an out pointer.", IID_IHostApplication);
        *ppDatebook = nullptr;
        CComPtr<CDesktopDatebook> pDatebook(
            new CDesktopDatebook(m_pSession, m_pSession->Store().CurrentUser()));
        *ppDatebook = pDatebook.Detach();
        return S_OK;
    });
}

CDesktopUser::CDesktopUser(std::shared_ptr<CDesktopSession> pSession, CDatebookUser user)
    : m_pSession(std::move(pSession)), m_user(std::move(user)) {}

HRESULT CDesktopUser::GetName(BSTR* pbstrName) {
    return RunHostCall(*m_pSession, "GetName", IID_IHostUser, [&] {
        if (!pbstrName)
            return FailCall(E_POINTER, "GetName needs an out pointer.", IID_IHostUser);
        *pbstrName = NewBstr(desktop::Utf8ToUtf16Lenient(m_user.m_strName));
        return S_OK;
    });
}
