// The host's add-in services: add-ins register their command objects and menu entries.
#pragma once

#include "desktop/DesktopSession.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <memory>

class CDesktopAddinCommands final : public CComObject<CDesktopAddinCommands, IHostAddinCommands> {
public:
    explicit CDesktopAddinCommands(std::shared_ptr<CDesktopSession> pSession);

    // Keeps a reference to the command object and hands out the next command id.
    HRESULT RegisterCommand(DWORD dwCookie, BSTR bstrName, IDispatch* pCommand,
                            LONG* plCommandId) override;
    // The menu entry of a registered command: the text's tab-separated fields and a copy of
    // the bitmap resource lBitmap of the module at hModule. A second call replaces the entry.
    HRESULT AddCommandMenuItem(LONG lCommandId, void* hModule, LONG lBitmap, BSTR bstrMenuText,
                               LONG lValue) override;

private:
    std::shared_ptr<CDesktopSession> m_pSession;
};
