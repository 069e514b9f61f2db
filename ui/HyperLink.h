// A static control shown and followed as a web link: link, hover, focus and visited
// colours, an underlined font, the hand cursor and a tooltip with the target.
#pragma once

#include "platform/dialogs/Dialog.h"

#include <string>

class CHyperLink : public CControlHandler {
public:
    enum EFlag : unsigned {
        HLINK_UNDERLINE = 1,
        HLINK_HOVER_COLOUR = 2,
        HLINK_AUTOSIZE = 4,
        HLINK_DOWN_CLICK = 8,
        HLINK_FOCUS_ON_CLICK = 16,
        HLINK_NO_HAND_CURSOR = 32,
        HLINK_NO_FOCUS_COLOUR = 64,
        HLINK_DEFAULT = HLINK_UNDERLINE | HLINK_AUTOSIZE | HLINK_FOCUS_ON_CLICK,
    };

    static constexpr CColour kLinkColour{0, 0, 255};
    static constexpr CColour kVisitedColour{128, 0, 128};
    static constexpr CColour kHoverColour{255, 0, 0};
    static constexpr CColour kFocusColour{0, 128, 128};

    // An empty target means the control's text.
    void SetTarget(const std::string& strTarget) { m_strTarget = strTarget; }
    [[nodiscard]] const std::string& GetTarget() const { return m_strTarget; }
    void SetFlags(unsigned nFlags) { m_nFlags = nFlags; }
    [[nodiscard]] bool IsVisited() const { return m_bVisited; }
    [[nodiscard]] bool IsHovering() const { return m_bHover; }
    [[nodiscard]] bool IsPressedOrFocused() const { return m_bActive; }
    // The text colour for the present state.
    [[nodiscard]] CColour GetTextColour() const;

    // Opens the target (see the .cpp for the fallback through the registered browser);
    // returns the shell's result, above 32 on success.
    int FollowLink();

    // "Can't open link:\n\n" and the text of a failing shell result.
    [[nodiscard]] static std::string ResultMessage(int nResult);

    void OnAttach(CDialog& dialog, unsigned nId) override;
    void OnMouseEnter() override;
    void OnMouseLeave() override;
    void OnButtonDown() override;
    void OnButtonUp() override;
    bool OnKeyDown(unsigned nKey) override;
    void OnSetFocus() override;
    void OnKillFocus() override;

private:
    [[nodiscard]] CDialogItem Item() const;
    void Redraw();
    void FitToText();

    CDialog* m_pDialog = nullptr;
    unsigned m_nId = 0;
    std::string m_strTarget;
    unsigned m_nFlags = HLINK_DEFAULT;
    bool m_bHover = false;
    bool m_bActive = false;
    bool m_bVisited = false;
};
