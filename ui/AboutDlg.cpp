#include "ui/AboutDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"

#include <cstdio>

#ifndef VARNO_VERSION
#define VARNO_VERSION ""
#endif

CAboutDlg::CAboutDlg(CDialog* pParent) : CDialog(GetDialogTemplate(IDD_ABOUT), pParent) {}

std::string CAboutDlg::VersionText() {
    int nMajor = 0;
    int nMinor = 0;
    int nPatch = 0;
    char chExtra = 0;
    if (std::sscanf(VARNO_VERSION, "%d.%d.%d%c", &nMajor, &nMinor, &nPatch, &chExtra) != 3)
        return {};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d.%d.%d", nMajor, nMinor, nPatch);
    return buf;
}

bool CAboutDlg::OnInitDialog() {
    const bool bResult = CDialog::OnInitDialog();
    SetDlgItemText(IDC_ABOUT_VERSION, VersionText());
    m_link.SetTarget(kMakerWebPage);
    SubclassControl(IDC_ABOUT_LINK, m_link);
    return bResult;
}
