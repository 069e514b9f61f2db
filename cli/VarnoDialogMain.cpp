// varno-dialog: the main dialog in a window of its own, on the current user of the home,
// as the host's command runs it. `varno dialog` starts it; it links wxWidgets so that
// varno itself does not. Exit status: 0 once the dialog is closed, 1 when it failed, 2
// when no display or datebook can be opened.
#include "desktop/DatebookError.h"
#include "desktop/DesktopHost.h"
#include "platform/dialogs/wx/WxSurface.h"
#include "platform/locale/UserProfile.h"
#include "platform/shell/HelpViewer.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "res/ImageResources.h"
#include "ui/VARNODlg.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/uilocale.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

namespace {

// The help book lies beside the program; the help file name is what the book is found by.
std::string HelpFileBesideProgram() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return (exe.parent_path() / "VARNOAddIn.chm").string();
}

} // namespace

int main(int argc, char** argv) {
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fputs("varno: The dialog cannot open a window: no display could be opened (is "
                   "DISPLAY set? Without a desktop, run it under xvfb-run).\n",
                   stderr);
        return 2;
    }
    wxUILocale::UseDefault();
    int nExit = 0;
    try {
        EnsurePlatformSetup();
        (void)CreateUserProfile();
        CWxSurface surface([](unsigned nId, int nSize) { return FindImageResource(nId, nSize); });
        SetDialogSurface(&surface);
        RegisterWxHelpViewer();
        SetHelpFilePath(HelpFileBesideProgram());
        CComPtr<IDispatch> host = OpenDesktopHost();
        nExit = RunMainDialogCommand(host.Get()) < 0 ? 1 : 0;
        SetDialogSurface(nullptr);
    } catch (const CDatebookError& e) {
        SetDialogSurface(nullptr);
        std::fprintf(stderr, "varno: Cannot open the datebook: %s\n", e.what());
        nExit = 2;
    } catch (const std::exception& e) {
        SetDialogSurface(nullptr);
        std::fprintf(stderr, "varno: %s\n", e.what());
        nExit = 1;
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nExit;
}
