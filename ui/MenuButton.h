// A push button that opens a popup menu: the menu appears beside the button's right edge,
// level with its top, or below it, left-aligned, when the button has no caption. The
// chosen command is returned, not sent.
#pragma once

#include "platform/dialogs/Dialog.h"

class CMenuButton : public CControlHandler {
public:
    void OnAttach(CDialog& dialog, unsigned nId) override;
    void OnSetFocus() override;
    void OnKillFocus() override;
    // The push-button face, the caption and a small arrow at the right edge.
    void OnDraw(CDrawContext& dc, unsigned nState) override;

    // Pixels at the right edge that the arrow takes.
    static constexpr int kArrowWidth = 12;

    // Shows the menu from the button; the chosen command, 0 when none was chosen or the
    // button is not attached.
    [[nodiscard]] unsigned TrackMenu(const CMenu& menu);

private:
    CDialog* m_pDialog = nullptr;
    unsigned m_nId = 0;
};
