// The main dialog as the command runs it.
#include "addin/VARNOAddInCommand.h"

#include "settings/Options.h"
#include "ui/VARNODlg.h"

int RunMainDialog(COptions& options) {
    CVARNODlg dialog(&options);
    return dialog.DoModal();
}
