#include "ui/SavedOptionsDlg.h"

#include "res/DialogTemplates.h"
#include "res/MessageText.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"
#include "ui/SavedOptionsTitleDlg.h"

CSavedOptionsDlg::CSavedOptionsDlg(COptions& options, CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_SAVED_OPTIONS), pParent), m_options(options) {}

bool CSavedOptionsDlg::OnInitDialog() {
    const bool bResult = CDialog::OnInitDialog();
    FillList();
    EnableButtons();
    return bResult;
}

bool CSavedOptionsDlg::OnCommand(unsigned nId, ENotify code) {
    if (nId == IDC_SAVED_LIST && code == ENotify::SelChange) {
        EnableButtons();
        return true;
    }
    if (code == ENotify::Clicked) {
        switch (nId) {
        case IDC_SAVED_SAVE:
            OnSaveCurrent();
            return true;
        case IDC_SAVED_RENAME:
            OnRename();
            return true;
        case IDC_SAVED_REMOVE:
            OnRemove();
            return true;
        default:
            break;
        }
    }
    return CDialog::OnCommand(nId, code);
}

void CSavedOptionsDlg::FillList() {
    CDialogItem list = GetDlgItem(IDC_SAVED_LIST);
    list.ResetContent();
    const int nCount = CSavedOptions::GetCount();
    for (int i = 0; i < nCount; ++i)
        (void)list.AddString(CSavedOptions::GetTitle(i), static_cast<std::uint32_t>(i));
    const int nEqual = CSavedOptions::FindEqual(m_options);
    int nSel = -1;
    for (int i = 0; nEqual >= 0 && i < list.GetCount(); ++i) {
        if (static_cast<int>(list.GetItemData(i)) == nEqual) {
            nSel = i;
            break;
        }
    }
    list.SetCurSel(nSel);
}

void CSavedOptionsDlg::EnableButtons() {
    const bool bSelected = GetDlgItem(IDC_SAVED_LIST).GetCurSel() >= 0;
    GetDlgItem(IDC_SAVED_RENAME).Enable(bSelected);
    GetDlgItem(IDC_SAVED_REMOVE).Enable(bSelected);
}

int CSavedOptionsDlg::SelectedSet() const {
    const CDialogItem list = GetDlgItem(IDC_SAVED_LIST);
    const int nSel = list.GetCurSel();
    return nSel < 0 ? -1 : static_cast<int>(list.GetItemData(nSel));
}

void CSavedOptionsDlg::OnSaveCurrent() {
    CSavedOptionsTitleDlg dlg(this);
    if (dlg.DoModal() != static_cast<int>(IDOK))
        return;
    CSavedOptions::Store(m_options, dlg.GetSetNumber(), dlg.GetTitle());
    FillList();
    EnableButtons();
}

void CSavedOptionsDlg::OnRename() {
    const int nSet = SelectedSet();
    if (nSet < 0)
        return;
    CSavedOptionsTitleDlg dlg(this);
    dlg.SetTitle(CSavedOptions::GetTitle(nSet));
    if (dlg.DoModal() != static_cast<int>(IDOK))
        return;
    // A set that had the new title gives way to the renamed one.
    (void)CSavedOptions::Rename(nSet, dlg.GetTitle());
    FillList();
    EnableButtons();
}

void CSavedOptionsDlg::OnRemove() {
    const int nSet = SelectedSet();
    if (nSet < 0)
        return;
    const std::string strText =
        LoadMessageText(IDS_CONFIRM_REMOVE_SET, {CSavedOptions::GetTitle(nSet)});
    if (MessageBox(strText, {}, EMessageButtons::OkCancel, EMessageIcon::Question) !=
        EMessageAnswer::Ok)
        return;
    CSavedOptions::Remove(nSet);
    FillList();
    EnableButtons();
}
