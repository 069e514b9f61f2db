// What a dialog needs of the windowing system, in two parts: the surface (creates dialog
// windows, shows message boxes and file dialogs, and serves the operations' user services)
// and the dialog window (one open dialog: its controls by id). Two surfaces exist: the
// wxWidgets one (library varno_dialogs_wx) and the headless one of HeadlessSurface.h.
// Dialog classes speak to CDialog only and never know which surface they run on.
#pragma once

#include "platform/dialogs/DialogTemplate.h"
#include "platform/dialogs/UserServices.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CMenu;

// A colour as red, green and blue, 0 to 255 each.
struct CColour {
    std::uint8_t m_nRed = 0;
    std::uint8_t m_nGreen = 0;
    std::uint8_t m_nBlue = 0;
    bool operator==(const CColour&) const = default;
};

// A calendar day of a date picker.
struct CDateValue {
    int m_nYear = 1970;
    int m_nMonth = 1;
    int m_nDay = 1;
    bool operator==(const CDateValue&) const = default;
};

// What a control reports to its dialog. A menu item and a control may share a number;
// the code tells them apart.
enum class ENotify : std::uint8_t {
    Menu,        // a menu item was chosen
    Accelerator, // a key of the accelerator table was pressed
    Clicked,     // a button, check box or radio was clicked
    SelChange,   // a list or combo selection changed
    EditChange,  // an edit's or combo's text changed
    SetFocus,
    KillFocus,
};

// The state an owner-drawn control is drawn in.
enum EDrawState : unsigned {
    DRAW_NONE = 0,
    DRAW_SELECTED = 1u << 0, // pressed
    DRAW_FOCUS = 1u << 1,
    DRAW_DISABLED = 1u << 2,
    DRAW_DEFAULT = 1u << 3,
};

// Drawing of an owner-drawn control, in its client pixels.
class CDrawContext {
public:
    virtual ~CDrawContext();
    [[nodiscard]] virtual CRect GetClientRect() const = 0;
    // True when the platform draws with a native theme.
    [[nodiscard]] virtual bool IsThemed() const = 0;
    // The themed push-button background; false when no theme can draw it.
    virtual bool DrawThemedButton(const CRect& rc, unsigned nState) = 0;
    // A classic push-button frame, sunken when pushed.
    virtual void DrawClassicButton(const CRect& rc, bool bPushed) = 0;
    // An icon resource scaled to cx x cy; greyed when disabled.
    virtual void DrawIcon(unsigned nIcon, int x, int y, int cx, int cy, bool bDisabled) = 0;
    // Text (the '&' marks the access key) centred in rc, transparent background.
    virtual void DrawText(std::string_view text, const CRect& rc, bool bDisabled) = 0;
    virtual void DrawFocusRect(const CRect& rc) = 0;
    // A small triangle pointing right, filled in the text colour and centred in rc; greyed
    // when disabled (the mark of a button that opens a menu).
    virtual void DrawArrow(const CRect& rc, bool bDisabled) = 0;
};

// The events a dialog window reports to its dialog. CDialog implements them.
class IDialogEvents {
public:
    virtual void OnNotify(unsigned nId, ENotify code) = 0;
    // A key pressed in the dialog, before the focused control sees it; true consumes it.
    virtual bool OnKey(unsigned nKey, unsigned nModifiers) = 0;
    // Help for a control (0 for the dialog itself): F1, the "?" or window help.
    virtual void OnHelpRequest(unsigned nControlId) = 0;
    // The context menu was asked for on a control (0: on the dialog itself).
    virtual void OnContextMenu(unsigned nControlId, int x, int y) = 0;
    virtual void OnSize(int cxClient, int cyClient) = 0;
    // The window's close box.
    virtual void OnCloseRequest() = 0;
    // Control events for subclassed and owner-drawn controls.
    virtual void OnMouseEnter(unsigned nId) = 0;
    virtual void OnMouseLeave(unsigned nId) = 0;
    virtual void OnButtonDown(unsigned nId) = 0;
    virtual void OnButtonUp(unsigned nId) = 0;
    virtual bool OnControlKey(unsigned nId, unsigned nKey) = 0;
    virtual void OnDrawItem(unsigned nId, CDrawContext& dc, unsigned nState) = 0;

protected:
    ~IDialogEvents() = default;
};

// One open dialog window. Control operations on an id the dialog does not have do nothing
// and read as empty or zero.
class CDialogWindow {
public:
    virtual ~CDialogWindow();

    // Runs a modal loop until EndModal; the dialog's owner windows are disabled meanwhile.
    virtual void RunModal() = 0;
    virtual void EndModal() = 0;

    virtual void SetTitle(const std::string& strTitle) = 0;
    virtual void SetIcon(unsigned nIcon) = 0;
    // The menu bar as the menu holds it now; null removes it. The menu is copied.
    virtual void SetMenuBar(const CMenu* pMenu) = 0;
    [[nodiscard]] virtual CRect GetClientRect() const = 0;
    // The window's outer size less its client size.
    [[nodiscard]] virtual int GetFrameExtraHeight() const = 0;
    virtual void SetClientSize(int cx, int cy) = 0;
    // Dialog units to pixels.
    [[nodiscard]] virtual CRect MapDialogRect(const CRect& rc) const = 0;
    virtual void Redraw() = 0;

    [[nodiscard]] virtual bool HasControl(unsigned nId) const = 0;
    [[nodiscard]] virtual EControlKind GetKind(unsigned nId) const = 0;
    [[nodiscard]] virtual std::uint32_t GetStyle(unsigned nId) const = 0;
    virtual void SetText(unsigned nId, const std::string& strText) = 0;
    [[nodiscard]] virtual std::string GetText(unsigned nId) const = 0;
    virtual void SetCheck(unsigned nId, bool bCheck) = 0;
    [[nodiscard]] virtual bool GetCheck(unsigned nId) const = 0;
    virtual void Enable(unsigned nId, bool bEnable) = 0;
    [[nodiscard]] virtual bool IsEnabled(unsigned nId) const = 0;
    virtual void Show(unsigned nId, bool bShow) = 0;
    [[nodiscard]] virtual bool IsVisible(unsigned nId) const = 0;
    // In client pixels.
    [[nodiscard]] virtual CRect GetRect(unsigned nId) const = 0;
    virtual void SetRect(unsigned nId, const CRect& rc) = 0;
    virtual void SetFocus(unsigned nId) = 0;
    // The control with the focus; 0 when none of the dialog's controls has it.
    [[nodiscard]] virtual unsigned GetFocus() const = 0;

    // Lists and combos. AddItem places the item by its text in a sorted list, else last;
    // it returns the index.
    virtual void ResetContent(unsigned nId) = 0;
    virtual int AddItem(unsigned nId, const std::string& strText, std::uint32_t nData) = 0;
    virtual int InsertItem(unsigned nId, int nIndex, const std::string& strText,
                           std::uint32_t nData) = 0;
    virtual bool DeleteItem(unsigned nId, int nIndex) = 0;
    [[nodiscard]] virtual int GetCount(unsigned nId) const = 0;
    [[nodiscard]] virtual std::string GetItemText(unsigned nId, int nIndex) const = 0;
    [[nodiscard]] virtual std::uint32_t GetItemData(unsigned nId, int nIndex) const = 0;
    virtual void SetItemData(unsigned nId, int nIndex, std::uint32_t nData) = 0;
    // -1 when nothing is selected.
    [[nodiscard]] virtual int GetCurSel(unsigned nId) const = 0;
    virtual void SetCurSel(unsigned nId, int nIndex) = 0;

    // Progress bars and up-down controls.
    virtual void SetRange(unsigned nId, int nLower, int nUpper) = 0;
    virtual void SetPos(unsigned nId, int nPos) = 0;
    [[nodiscard]] virtual int GetPos(unsigned nId) const = 0;

    virtual void SetDate(unsigned nId, const CDateValue& date) = 0;
    [[nodiscard]] virtual CDateValue GetDate(unsigned nId) const = 0;

    // Pictures and owner-drawn buttons.
    virtual void SetImage(unsigned nId, unsigned nImage, int cx, int cy) = 0;
    // Appearance of a static shown as a link.
    virtual void SetTextColour(unsigned nId, const CColour& colour) = 0;
    virtual void SetUnderline(unsigned nId, bool bUnderline) = 0;
    virtual void SetHandCursor(unsigned nId, bool bHand) = 0;
    virtual void SetToolTip(unsigned nId, const std::string& strTip) = 0;
    // The pixel size of a text in the control's font.
    [[nodiscard]] virtual CRect MeasureText(unsigned nId, const std::string& strText) const = 0;
    virtual void Invalidate(unsigned nId) = 0;

    // Shows a popup menu at client pixels x, y and returns the chosen command (0 for
    // none) without sending it. bAlignRight puts the menu's right edge at x.
    [[nodiscard]] virtual unsigned TrackPopupMenu(const CMenu& menu, int x, int y,
                                                  bool bAlignRight) = 0;
};

// A file dialog's request and answer.
struct CFileDialogRequest {
    bool m_bOpen = true;
    std::string m_strFileName;       // initial name (may hold a folder)
    std::string m_strFilter;         // "Text|*.ext|...|" pairs, maybe closed by "|"
    int m_nFilterIndex = 1;          // 1-based entry to preselect
    bool m_bFileMustExist = false;   // open
    bool m_bOverwritePrompt = false; // save
    bool m_bHideReadOnly = true;
};

struct CFileDialogResult {
    bool m_bOk = false;
    std::string m_strPath;
    int m_nFilterIndex = 1; // 1-based entry selected when the dialog closed
};

// The windowing system behind the dialogs, and the user services of the operations.
class CDialogSurface : public CUserServices {
public:
    // A window for a dialog template; its owner is the dialog window of pParent, or the
    // application's main window when null. Events go to `events`.
    [[nodiscard]] virtual std::unique_ptr<CDialogWindow>
    CreateDialogWindow(const CDialogTemplate& dialogTemplate, CDialogWindow* pParent,
                       IDialogEvents& events) = 0;

    // A message box; the caption is the module's name when strCaption is empty.
    [[nodiscard]] virtual EMessageAnswer MessageBox(std::string_view text, std::string_view caption,
                                                    EMessageButtons buttons, EMessageIcon icon) = 0;
    [[nodiscard]] virtual CFileDialogResult RunFileDialog(const CFileDialogRequest& request) = 0;
    virtual void Beep() = 0;

    EMessageAnswer ShowMessage(std::string_view text, EMessageButtons buttons,
                               EMessageIcon icon) override {
        return MessageBox(text, {}, buttons, icon);
    }
};

// The surface of this process: the one installed, else the headless one.
[[nodiscard]] CDialogSurface& GetDialogSurface();
// Installs a surface (null restores the headless one) as both the dialogs' surface and the
// operations' user services. The caller keeps ownership.
void SetDialogSurface(CDialogSurface* pSurface);
