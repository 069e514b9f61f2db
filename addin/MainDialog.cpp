// The main dialog as the command runs it.
#include "addin/VARNOAddInCommand.h"

#include "platform/dialogs/DialogTemplate.h"
#include "settings/Options.h"

int RunMainDialog(COptions& options) {
    // Until the main dialog is part of the module, the command only reaches the host's
    // current user, as the dialog does first, and ends as if cancelled.
    static_cast<void>(options.GetCurrentUserName());
    return static_cast<int>(IDCANCEL);
}
