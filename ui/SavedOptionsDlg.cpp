#include "ui/SavedOptionsDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Options.h"

CSavedOptionsDlg::CSavedOptionsDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_SAVED_OPTIONS), pParent), m_options(options) {}

void CSavedOptionsDlg::OnSaveCurrent() {}
void CSavedOptionsDlg::OnRename() {}
void CSavedOptionsDlg::OnRemove() {}

bool CSavedOptionsDlg::OnInitDialog() {
    return CDialog::OnInitDialog();
}

bool CSavedOptionsDlg::OnCommand(unsigned nId, ENotify code) {
    return CDialog::OnCommand(nId, code);
}

void CSavedOptionsDlg::FillList() {}
void CSavedOptionsDlg::EnableButtons() {}

int CSavedOptionsDlg::SelectedSet() const {
    return -1;
}
