#include "ui/SavedOptionsTitleDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"

CSavedOptionsTitleDlg::CSavedOptionsTitleDlg(CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_SAVED_OPTIONS_TITLE), pParent) {}

bool CSavedOptionsTitleDlg::OnInitDialog() {
    return CDialog::OnInitDialog();
}

void CSavedOptionsTitleDlg::DoDataExchange(CDataExchange& /*dx*/) {}

void CSavedOptionsTitleDlg::OnOK() {
    CDialog::OnOK();
}
