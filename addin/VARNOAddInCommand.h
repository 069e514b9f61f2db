// The command object the host calls when the user picks "VARNO": runs the main dialog on
// the options of the host's current user.
#pragma once

#include "addin/AddinModule.h"
#include "host/AddinInterfaces.h"
#include "platform/com/ComPtr.h"

class VARNO_MODULE_LOCAL CVARNOAddInCommand final
    : public CDualObject<CVARNOAddInCommand, IDesktopCommand> {
public:
    explicit CVARNOAddInCommand(IUnknown* pHost) : m_pHost(pHost) {}

    static const STypeLibDesc& TypeLibrary() { return AddinTypeLibrary(); }

    // Always S_OK: a host-call exception that leaves the dialog is shown to the user.
    HRESULT OnCommand() override;

private:
    CModuleLock m_lock{AddinServerModule()};
    CComPtr<IUnknown> m_pHost;
};

// Runs the main dialog modally on the options, without a parent window; its result
// (IDOK when the options are to be saved).
VARNO_MODULE_LOCAL int RunMainDialog(class COptions& options);
