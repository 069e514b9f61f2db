#include "addin/VARNOAddInCommand.h"

#include "platform/com/ComError.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/DialogSurface.h"
#include "platform/shell/HelpViewer.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <memory>

namespace {

// The module's help file with the compiled help book's extension: the last three
// characters of the path give way to "chm".
std::string CompiledHelpPath(std::string path) {
    if (path.size() >= 3)
        path.resize(path.size() - 3);
    return path + "chm";
}

} // namespace

HRESULT CVARNOAddInCommand::OnCommand() {
    const CModuleStateScope state(AddinModuleState());
    try {
        auto pOptions = std::make_unique<COptions>();
        CComPtr<IDispatch> pHost;
        if (m_pHost)
            static_cast<void>(m_pHost.QueryInterface(pHost));
        pOptions->SetHostApplication(pHost.Get());
        pOptions->Load();
        SetHelpFilePath(CompiledHelpPath(GetHelpFilePath()));
        if (RunMainDialog(*pOptions) == static_cast<int>(IDOK))
            pOptions->Save();
    } catch (const CComError& e) {
        static_cast<void>(GetDialogSurface().MessageBox(
            LoadMessageText(IDS_ERROR_IMPORT_EXPORT, {e.ErrorMessage()}), {}, EMessageButtons::Ok,
            EMessageIcon::None));
    }
    return S_OK;
}
