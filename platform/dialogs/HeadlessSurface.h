// The surface without a display: dialogs and their controls held in memory, driven by a
// script of actions (set a text, click, pick a menu item, press a key), with file dialogs,
// popup menus and message boxes answered from queues and recorded. Also the user services
// of tests and batch runs: message boxes answered OK unless scripted, and a quit request
// that can be raised after a given number of message pumps.
#pragma once

#include "platform/dialogs/DialogSurface.h"
#include "platform/dialogs/Menu.h"

#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One control in memory.
struct CHeadlessControl {
    struct CItem {
        std::string m_strText;
        std::uint32_t m_nData = 0;
    };

    unsigned m_nId = 0;
    EControlKind m_kind = EControlKind::Static;
    std::uint32_t m_nStyle = 0;
    std::string m_strText;
    CRect m_rc; // client pixels
    bool m_bChecked = false;
    bool m_bEnabled = true;
    bool m_bVisible = true;
    std::vector<CItem> m_vecItems;
    int m_nCurSel = -1;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
    CDateValue m_date;
    unsigned m_nImage = 0;
    int m_cxImage = 0;
    int m_cyImage = 0;
    std::optional<CColour> m_textColour;
    bool m_bUnderline = false;
    bool m_bHandCursor = false;
    std::string m_strToolTip;
    int m_nRedraws = 0;
};

// Draw calls of an owner-drawn control, one line each, e.g. "icon 133 5,4 32x32".
class CHeadlessDrawContext : public CDrawContext {
public:
    CHeadlessDrawContext(const CRect& rcClient, bool bThemed)
        : m_rcClient(rcClient), m_bThemed(bThemed) {}
    [[nodiscard]] CRect GetClientRect() const override { return m_rcClient; }
    [[nodiscard]] bool IsThemed() const override { return m_bThemed; }
    bool DrawThemedButton(const CRect& rc, unsigned nState) override;
    void DrawClassicButton(const CRect& rc, bool bPushed) override;
    void DrawIcon(unsigned nIcon, int x, int y, int cx, int cy, bool bDisabled) override;
    void DrawText(std::string_view text, const CRect& rc, bool bDisabled) override;
    void DrawFocusRect(const CRect& rc) override;
    void DrawArrow(const CRect& rc, bool bDisabled) override;

    std::vector<std::string> m_vecCalls;

private:
    CRect m_rcClient;
    bool m_bThemed;
};

class CHeadlessSurface;

class CHeadlessWindow : public CDialogWindow {
public:
    CHeadlessWindow(CHeadlessSurface& surface, const CDialogTemplate& dialogTemplate,
                    IDialogEvents& events);
    ~CHeadlessWindow() override;

    // ---- driving, as a user would -------------------------------------------------
    // Clicks a button, check box or radio (a check box toggles, a radio checks itself and
    // clears the rest of its group); nothing when it is disabled or hidden.
    void Click(unsigned nId);
    // Types a text into an edit or combo: focus, text, change notification.
    void Type(unsigned nId, const std::string& strText);
    // Selects a list or combo item as the user would: selection changed notification.
    void Select(unsigned nId, int nIndex);
    // Moves the focus: focus-lost to the old control, focus-gained to the new one.
    void Focus(unsigned nId);
    // A menu item of the menu bar; false when the bar has no such enabled item.
    bool PickMenu(unsigned nId);
    // A key press: the dialog's key handling; a key it leaves to the focused control
    // acts there (space clicks a focused button).
    void PressKey(unsigned nKey, unsigned nModifiers = KM_NONE);
    void Close() { m_events.OnCloseRequest(); }
    void Resize(int cxClient, int cyClient);
    void Help(unsigned nControlId) { m_events.OnHelpRequest(nControlId); }
    void ContextMenu(unsigned nControlId) { m_events.OnContextMenu(nControlId, 0, 0); }
    void MouseEnter(unsigned nId) { m_events.OnMouseEnter(nId); }
    void MouseLeave(unsigned nId) { m_events.OnMouseLeave(nId); }
    void ButtonDown(unsigned nId);
    void ButtonUp(unsigned nId);
    // Moves a list item to another place, as dragging does.
    void DragItem(unsigned nId, int nFrom, int nTo);
    // Draws an owner-drawn control in a state and returns its draw calls.
    [[nodiscard]] std::vector<std::string> Draw(unsigned nId, unsigned nState, bool bThemed);

    // ---- looking ------------------------------------------------------------------
    [[nodiscard]] const CHeadlessControl* Control(unsigned nId) const;
    [[nodiscard]] const std::vector<CHeadlessControl>& Controls() const { return m_vecControls; }
    [[nodiscard]] const CDialogTemplate& Template() const { return m_template; }
    [[nodiscard]] const std::string& Title() const { return m_strTitle; }
    [[nodiscard]] const CMenu* MenuBar() const { return m_pMenu ? &*m_pMenu : nullptr; }
    [[nodiscard]] unsigned Icon() const { return m_nIcon; }
    [[nodiscard]] bool Ended() const { return m_bEnded; }
    [[nodiscard]] int ClientWidth() const { return m_rcClient.cx; }
    [[nodiscard]] int ClientHeight() const { return m_rcClient.cy; }
    [[nodiscard]] CHeadlessWindow* Parent() const { return m_pParent; }

    // ---- CDialogWindow --------------------------------------------------------------
    void RunModal() override;
    void EndModal() override { m_bEnded = true; }
    void SetTitle(const std::string& strTitle) override { m_strTitle = strTitle; }
    void SetIcon(unsigned nIcon) override { m_nIcon = nIcon; }
    void SetMenuBar(const CMenu* pMenu) override;
    [[nodiscard]] CRect GetClientRect() const override { return m_rcClient; }
    [[nodiscard]] int GetFrameExtraHeight() const override { return kFrameExtraHeight; }
    void SetClientSize(int cx, int cy) override;
    [[nodiscard]] CRect MapDialogRect(const CRect& rc) const override;
    void Redraw() override { ++m_nRedraws; }
    [[nodiscard]] bool HasControl(unsigned nId) const override { return Find(nId) != nullptr; }
    [[nodiscard]] EControlKind GetKind(unsigned nId) const override;
    [[nodiscard]] std::uint32_t GetStyle(unsigned nId) const override;
    void SetText(unsigned nId, const std::string& strText) override;
    [[nodiscard]] std::string GetText(unsigned nId) const override;
    void SetCheck(unsigned nId, bool bCheck) override;
    [[nodiscard]] bool GetCheck(unsigned nId) const override;
    void Enable(unsigned nId, bool bEnable) override;
    [[nodiscard]] bool IsEnabled(unsigned nId) const override;
    void Show(unsigned nId, bool bShow) override;
    [[nodiscard]] bool IsVisible(unsigned nId) const override;
    [[nodiscard]] CRect GetRect(unsigned nId) const override;
    void SetRect(unsigned nId, const CRect& rc) override;
    void SetFocus(unsigned nId) override;
    [[nodiscard]] unsigned GetFocus() const override { return m_nFocus; }
    void ResetContent(unsigned nId) override;
    int AddItem(unsigned nId, const std::string& strText, std::uint32_t nData) override;
    int InsertItem(unsigned nId, int nIndex, const std::string& strText,
                   std::uint32_t nData) override;
    bool DeleteItem(unsigned nId, int nIndex) override;
    [[nodiscard]] int GetCount(unsigned nId) const override;
    [[nodiscard]] std::string GetItemText(unsigned nId, int nIndex) const override;
    [[nodiscard]] std::uint32_t GetItemData(unsigned nId, int nIndex) const override;
    void SetItemData(unsigned nId, int nIndex, std::uint32_t nData) override;
    [[nodiscard]] int GetCurSel(unsigned nId) const override;
    void SetCurSel(unsigned nId, int nIndex) override;
    void SetRange(unsigned nId, int nLower, int nUpper) override;
    void SetPos(unsigned nId, int nPos) override;
    [[nodiscard]] int GetPos(unsigned nId) const override;
    void SetDate(unsigned nId, const CDateValue& date) override;
    [[nodiscard]] CDateValue GetDate(unsigned nId) const override;
    void SetImage(unsigned nId, unsigned nImage, int cx, int cy) override;
    void SetTextColour(unsigned nId, const CColour& colour) override;
    void SetUnderline(unsigned nId, bool bUnderline) override;
    void SetHandCursor(unsigned nId, bool bHand) override;
    void SetToolTip(unsigned nId, const std::string& strTip) override;
    [[nodiscard]] CRect MeasureText(unsigned nId, const std::string& strText) const override;
    void Invalidate(unsigned nId) override;
    [[nodiscard]] unsigned TrackPopupMenu(const CMenu& menu, int x, int y,
                                          bool bAlignRight) override;

    // Pixels of a dialog unit, as the platform's default font gives them: 4 x 8 units are
    // 6 x 13 pixels.
    static constexpr int kBaseX = 6;
    static constexpr int kBaseY = 13;
    static constexpr int kFrameExtraHeight = 42; // caption, menu bar and borders
    // The closed selection field of a drop-down list: the font's height and its frame.
    static constexpr int kDropDownHeight = kBaseY + 8;

private:
    [[nodiscard]] CHeadlessControl* Find(unsigned nId);
    [[nodiscard]] const CHeadlessControl* Find(unsigned nId) const;
    // The up-down control attached to an edit writes its position there.
    void UpdateBuddy(const CHeadlessControl& upDown);

    CHeadlessSurface& m_surface;
    const CDialogTemplate& m_template;
    IDialogEvents& m_events;
    CHeadlessWindow* m_pParent = nullptr;
    std::vector<CHeadlessControl> m_vecControls;
    std::string m_strTitle;
    std::optional<CMenu> m_pMenu;
    unsigned m_nIcon = 0;
    CRect m_rcClient;
    unsigned m_nFocus = 0;
    int m_nRedraws = 0;
    bool m_bEnded = false;

    friend class CHeadlessSurface;
};

class CHeadlessSurface : public CDialogSurface {
public:
    using CAction = std::function<void(CHeadlessWindow&)>;

    struct CShownMessage {
        std::string m_strText;
        EMessageButtons m_buttons;
        EMessageIcon m_icon;
        std::string m_strCaption;
    };

    CHeadlessSurface();
    ~CHeadlessSurface() override;

    // ---- scripts ----------------------------------------------------------------------
    // The next action on the dialog that is open when its turn comes. A modal dialog runs
    // the queued actions in order; when none is left it closes as with its close box.
    void Then(CAction action) { m_queActions.push_back(std::move(action)); }
    // The answers of the next message boxes, in order.
    void ScriptAnswers(std::initializer_list<EMessageAnswer> answers) {
        m_queAnswers.insert(m_queAnswers.end(), answers);
    }
    // The next file dialog ends with OK on this path (the filter entry stays as
    // preselected when nFilterIndex is 0), or is cancelled.
    void ScriptFile(const std::string& strPath, int nFilterIndex = 0);
    void ScriptFileCancel();
    // The command the next popup menu returns (0: dismissed).
    void ScriptPopup(unsigned nCommand) { m_quePopups.push_back(nCommand); }
    // After n more pumps (each PumpWaitingMessages call), the application quits.
    void QuitAfterPumps(int n) { m_nPumpsUntilQuit = m_nPumps + n; }

    // ---- records ----------------------------------------------------------------------
    std::vector<CShownMessage> m_vecShown;
    std::vector<CFileDialogRequest> m_vecFileRequests;
    std::vector<CMenu> m_vecPopups; // popup menus shown
    // Where each was shown: client pixels of its window, and whether x is its right edge.
    struct CPopupPlace {
        int m_x = 0;
        int m_y = 0;
        bool m_bAlignRight = false;
        bool operator==(const CPopupPlace&) const = default;
    };
    std::vector<CPopupPlace> m_vecPopupPlaces;
    // Windows open now, the last is on top.
    std::vector<CHeadlessWindow*> m_vecOpen;
    // Dialogs that closed because the script ran out.
    int m_nUnscriptedCloses = 0;
    int m_nBeeps = 0;
    int m_nWaitDepth = 0;
    int m_nWaitRestores = 0;
    int m_nPumps = 0;
    bool m_bQuitPosted = false;

    // ---- CDialogSurface ----------------------------------------------------------------
    [[nodiscard]] std::unique_ptr<CDialogWindow>
    CreateDialogWindow(const CDialogTemplate& dialogTemplate, CDialogWindow* pParent,
                       IDialogEvents& events) override;
    [[nodiscard]] EMessageAnswer MessageBox(std::string_view text, std::string_view caption,
                                            EMessageButtons buttons, EMessageIcon icon) override;
    [[nodiscard]] CFileDialogResult RunFileDialog(const CFileDialogRequest& request) override;
    void Beep() override { ++m_nBeeps; }
    void BeginWaitCursor() override { ++m_nWaitDepth; }
    void EndWaitCursor() override {
        if (m_nWaitDepth > 0)
            --m_nWaitDepth;
    }
    void RestoreWaitCursor() override { ++m_nWaitRestores; }
    bool DispatchWaitingMessage(bool& bQuit) override;
    void PostQuit() override { m_bQuitPosted = true; }
    bool OnIdle(long) override { return false; }

private:
    friend class CHeadlessWindow;
    // Runs queued actions until the window ends; closes it when the script runs out.
    void RunScript(CHeadlessWindow& window);

    std::deque<CAction> m_queActions;
    std::deque<EMessageAnswer> m_queAnswers;
    std::deque<CFileDialogResult> m_queFiles;
    std::deque<unsigned> m_quePopups;
    int m_nPumpsUntilQuit = -1;
    bool m_bDispatchedThisPump = false;
};

// The name the operations' tests know the headless surface by.
using CHeadlessUserServices = CHeadlessSurface;

// A progress bar that remembers what it was told.
class CHeadlessProgress : public CProgressControl {
public:
    void SetRange(int nLower, int nUpper) override {
        m_nLower = nLower;
        m_nUpper = nUpper;
    }
    void SetPos(int nPos) override { m_vecPositions.push_back(nPos); }
    void Show(bool bShow) override { m_bVisible = bShow; }

    int m_nLower = 0;
    int m_nUpper = 100;
    std::vector<int> m_vecPositions;
    bool m_bVisible = false;
};
