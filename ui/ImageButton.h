// A push button drawn by the program: an icon, and the caption centred beside it. The
// pressed button moves its content one pixel down and right; a disabled one greys it.
#pragma once

#include "platform/dialogs/Dialog.h"

class CImageButton : public CControlHandler {
public:
    // The icon resource at cx x cy pixels; redraws the button.
    void SetIcon(unsigned nIcon, int cx, int cy);
    [[nodiscard]] unsigned GetIcon() const { return m_nIcon; }

    void OnAttach(CDialog& dialog, unsigned nId) override;
    void OnSetFocus() override;
    void OnKillFocus() override;
    void OnDraw(CDrawContext& dc, unsigned nState) override;

    // The inset of the focus rectangle in a button of that size.
    [[nodiscard]] static int FocusInset(int cx, int cy);
    // The face of a push button drawn by the program, in its state: themed when the platform
    // draws themes (defaulted while focused), else a classic frame.
    static void DrawFace(CDrawContext& dc, unsigned nState);
    // The focus rectangle of the classic look: drawn only without a theme, on an enabled
    // button that has the focus.
    static void DrawFocus(CDrawContext& dc, unsigned nState);

private:
    CDialog* m_pDialog = nullptr;
    unsigned m_nId = 0;
    unsigned m_nIcon = 0;
    int m_cxIcon = 0;
    int m_cyIcon = 0;
    unsigned m_nLastState = 0;
};
