#include "ui/MenuButton.h"

#include "ui/ImageButton.h"

void CMenuButton::OnAttach(CDialog& dialog, unsigned nId) {
    m_pDialog = &dialog;
    m_nId = nId;
}

void CMenuButton::OnSetFocus() {
    if (m_pDialog)
        m_pDialog->GetDlgItem(m_nId).Invalidate();
}

void CMenuButton::OnKillFocus() {
    if (m_pDialog)
        m_pDialog->GetDlgItem(m_nId).Invalidate();
}

void CMenuButton::OnDraw(CDrawContext& dc, unsigned nState) {
    const CRect rc = dc.GetClientRect();
    const bool bDisabled = (nState & DRAW_DISABLED) != 0;
    const int nOffset = (nState & DRAW_SELECTED) ? 1 : 0;
    CImageButton::DrawFace(dc, nState);
    const std::string strCaption = m_pDialog ? m_pDialog->GetDlgItemText(m_nId) : "";
    if (strCaption.empty()) {
        dc.DrawArrow({rc.x + nOffset, rc.y + nOffset, rc.cx, rc.cy}, bDisabled);
    } else {
        const int xArrow = rc.Right() - kArrowWidth;
        dc.DrawText(strCaption, {rc.x + nOffset, rc.y + nOffset, xArrow - rc.x, rc.cy}, bDisabled);
        dc.DrawArrow({xArrow + nOffset - 3, rc.y + nOffset, kArrowWidth, rc.cy}, bDisabled);
    }
    CImageButton::DrawFocus(dc, nState);
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
