#include "ui/SavedOptionsTitleDlg.h"

#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/SavedOptions.h"

namespace {

std::string TrimBlanks(const std::string& str) {
    const auto nFirst = str.find_first_not_of(" \t");
    if (nFirst == std::string::npos)
        return {};
    return str.substr(nFirst, str.find_last_not_of(" \t") - nFirst + 1);
}

} // namespace

CSavedOptionsTitleDlg::CSavedOptionsTitleDlg(CDialog* pParent)
    : CDialog(GetDialogTemplate(IDD_SAVED_OPTIONS_TITLE), pParent) {}

bool CSavedOptionsTitleDlg::OnInitDialog() {
    CDialogItem combo = GetDlgItem(IDC_SAVED_TITLE);
    combo.ResetContent();
    const int nCount = CSavedOptions::GetCount();
    for (int i = 0; i < nCount; ++i)
        (void)combo.AddString(CSavedOptions::GetTitle(i), static_cast<std::uint32_t>(i));
    (void)CDialog::OnInitDialog();
    combo.SetFocus();
    return false;
}

void CSavedOptionsTitleDlg::DoDataExchange(CDataExchange& dx) {
    DDX_CBString(dx, IDC_SAVED_TITLE, m_strTitle);
    DDV_MaxChars(dx, m_strTitle, kMaxTitleChars);
}

void CSavedOptionsTitleDlg::OnOK() {
    if (!UpdateData(true))
        return;
    // Blanks around a title would make two sets look alike in every list.
    m_strTitle = TrimBlanks(m_strTitle);
    if (m_strTitle.empty())
        return;
    const int nSet = CSavedOptions::FindByTitle(m_strTitle);
    // A set numbered past the last one that can be counted would be stored and never be
    // seen again.
    if (nSet >= kMaxSavedOptions) {
        (void)MessageBox(kTooManySetsMessage, {}, EMessageButtons::Ok, EMessageIcon::Exclamation);
        GetDlgItem(IDC_SAVED_TITLE).SetFocus();
        return;
    }
    m_nSet = nSet;
    EndDialog(IDOK);
}
