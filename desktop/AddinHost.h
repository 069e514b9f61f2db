// The host's side of its add-ins, without the window: at start it creates each add-in the
// add-in manager lists and initialises it with the host object and a cookie of its own; a
// command is run by its id; at the end every add-in is told, released, and the modules no
// longer used are unloaded.
#pragma once

#include "desktop/AddinRegistry.h"
#include "desktop/DesktopHost.h"
#include "host/AddinInterfaces.h"

#include <string>
#include <vector>

// The host version the add-ins are told.
inline constexpr ULONG kDesktopVersion = 4;

class CAddinHost {
public:
    explicit CAddinHost(CComPtr<IDispatch> pHost);
    ~CAddinHost();
    CAddinHost(const CAddinHost&) = delete;
    CAddinHost& operator=(const CAddinHost&) = delete;

    // Creates and initialises every registered add-in. An add-in that cannot be created, or
    // reports a FALSE success, is let go with its commands; each such case adds a line to
    // the problems.
    void LoadAddins(std::vector<std::string>& vecProblems);
    [[nodiscard]] std::size_t AddinCount() const { return m_vecAddins.size(); }

    // The commands with a menu entry, in registration order.
    [[nodiscard]] std::vector<CAddinCommand> MenuCommands() const;
    // Calls the command's OnCommand; E_INVALIDARG for an unknown id, E_NOINTERFACE for a
    // command object without IDesktopCommand. Afterwards the host's pending changes are
    // stored; a failure to store them is given in strStoreFailure.
    [[nodiscard]] HRESULT RunCommand(LONG lCommandId, std::string& strStoreFailure);

    // OnUninitialize for each add-in, then every reference goes and unused modules are
    // unloaded. Called by the destructor when not called before.
    void Unload();

    [[nodiscard]] IDispatch* Host() const { return m_pHost.Get(); }

private:
    struct SAddin {
        CAddinRegistration m_registration;
        ULONG m_dwCookie = 0;
        CComPtr<IDesktopAddin> m_pAddin;
    };

    CComPtr<IDispatch> m_pHost;
    std::vector<SAddin> m_vecAddins;
    ULONG m_dwNextCookie = 1;
};
