#include "ui/MenuButton.h"

void CMenuButton::OnAttach(CDialog& dialog, unsigned nId) {
    m_pDialog = &dialog;
    m_nId = nId;
}

unsigned CMenuButton::TrackMenu(const CMenu& menu) {
    if (!m_pDialog)
        return 0;
    const CDialogItem button = m_pDialog->GetDlgItem(m_nId);
    const CRect rc = button.GetRect();
    if (button.GetText().empty())
        return m_pDialog->TrackPopupMenu(menu, rc.x, rc.Bottom(), false);
    return m_pDialog->TrackPopupMenu(menu, rc.Right(), rc.y, false);
}
