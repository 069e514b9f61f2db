#include "ui/OptionsDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Options.h"

COptionsDlg::COptionsDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_OPTIONS), pParent), m_options(options) {}

void COptionsDlg::Apply() {}
void COptionsDlg::OnAddField() {}
void COptionsDlg::OnRemoveField() {}
void COptionsDlg::OnRestoreDefault() {}
void COptionsDlg::OnViewExample() {}
void COptionsDlg::OnSaveAs() {}

bool COptionsDlg::OnInitDialog() {
    return CDialog::OnInitDialog();
}

void COptionsDlg::DoDataExchange(CDataExchange& /*dx*/) {}

bool COptionsDlg::OnCommand(unsigned nId, ENotify code) {
    return CDialog::OnCommand(nId, code);
}

void COptionsDlg::OnOK() {
    CDialog::OnOK();
}

void COptionsDlg::OnHelp(unsigned /*nControlId*/) {}
void COptionsDlg::OnContextMenu(unsigned /*nControlId*/, int /*x*/, int /*y*/) {}
