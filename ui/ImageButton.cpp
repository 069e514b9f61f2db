#include "ui/ImageButton.h"

#include <algorithm>

void CImageButton::SetIcon(unsigned nIcon, int cx, int cy) {
    m_nIcon = nIcon;
    m_cxIcon = cx;
    m_cyIcon = cy;
    if (m_pDialog)
        m_pDialog->GetDlgItem(m_nId).Invalidate();
}

void CImageButton::OnAttach(CDialog& dialog, unsigned nId) {
    m_pDialog = &dialog;
    m_nId = nId;
}

void CImageButton::OnSetFocus() {
    if (m_pDialog)
        m_pDialog->GetDlgItem(m_nId).Invalidate();
}

void CImageButton::OnKillFocus() {
    if (m_pDialog)
        m_pDialog->GetDlgItem(m_nId).Invalidate();
}

int CImageButton::FocusInset(int cx, int cy) {
    const int nSmaller = std::min(cx, cy);
    return (nSmaller / 4) * 4 < 13 ? nSmaller / 4 : 3;
}

void CImageButton::DrawFace(CDrawContext& dc, unsigned nState) {
    const CRect rc = dc.GetClientRect();
    unsigned nThemeState = nState & (DRAW_SELECTED | DRAW_DISABLED);
    if (nState & DRAW_FOCUS)
        nThemeState |= DRAW_DEFAULT;
    if (!dc.IsThemed() || !dc.DrawThemedButton(rc, nThemeState))
        dc.DrawClassicButton(rc, (nState & DRAW_SELECTED) != 0);
}

void CImageButton::DrawFocus(CDrawContext& dc, unsigned nState) {
    if (dc.IsThemed() || (nState & DRAW_DISABLED) || !(nState & DRAW_FOCUS))
        return;
    const CRect rc = dc.GetClientRect();
    const int nInset = FocusInset(rc.cx, rc.cy);
    dc.DrawFocusRect({rc.x + nInset, rc.y + nInset, rc.cx - 2 * nInset, rc.cy - 2 * nInset});
}

void CImageButton::OnDraw(CDrawContext& dc, unsigned nState) {
    m_nLastState = nState;
    const CRect rc = dc.GetClientRect();
    const bool bPressed = (nState & DRAW_SELECTED) != 0;
    const bool bDisabled = (nState & DRAW_DISABLED) != 0;
    const int nOffset = bPressed ? 1 : 0;

    DrawFace(dc, nState);

    const std::string strCaption = m_pDialog ? m_pDialog->GetDlgItemText(m_nId) : "";
    const int yIcon = rc.y + (rc.cy - m_cyIcon) / 2 + nOffset;
    if (strCaption.empty()) {
        if (m_nIcon != 0)
            dc.DrawIcon(m_nIcon, rc.x + (rc.cx - m_cxIcon) / 2 + nOffset, yIcon, m_cxIcon, m_cyIcon,
                        bDisabled);
    } else {
        constexpr int kIconLeft = 4;
        int xText = rc.x;
        if (m_nIcon != 0) {
            dc.DrawIcon(m_nIcon, rc.x + kIconLeft + nOffset, yIcon, m_cxIcon, m_cyIcon, bDisabled);
            xText = rc.x + kIconLeft + m_cxIcon;
        }
        dc.DrawText(strCaption, {xText + nOffset, rc.y + nOffset, rc.Right() - xText, rc.cy},
                    bDisabled);
    }
    DrawFocus(dc, nState);
}
