#include "ui/ArchiveDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Options.h"

CArchiveDlg::CArchiveDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_ARCHIVE), pParent), m_options(options) {}

bool CArchiveDlg::OnInitDialog() {
    return CDialog::OnInitDialog();
}

void CArchiveDlg::DoDataExchange(CDataExchange& /*dx*/) {}

void CArchiveDlg::OnOK() {
    CDialog::OnOK();
}
