// The dialog base class: a window made from a template, run modally, with data exchange,
// command routing by control id and notification code, menus, accelerators, help and
// control subclassing. Dialog classes derive from CDialog and override its hooks.
#pragma once

#include "platform/dialogs/DialogSurface.h"
#include "platform/dialogs/Menu.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CDialog;

// Behaviour added to one control of a dialog (the platform's window subclassing): mouse,
// keyboard, focus and drawing events of that control.
class CControlHandler {
public:
    virtual ~CControlHandler();
    // The handler now serves control nId of the open dialog.
    virtual void OnAttach(CDialog& /*dialog*/, unsigned /*nId*/) {}
    virtual void OnMouseEnter() {}
    virtual void OnMouseLeave() {}
    virtual void OnButtonDown() {}
    virtual void OnButtonUp() {}
    // True consumes the key.
    virtual bool OnKeyDown(unsigned /*nKey*/) { return false; }
    virtual void OnSetFocus() {}
    virtual void OnKillFocus() {}
    // Owner-drawn controls: draws the control in its state (EDrawState bits).
    virtual void OnDraw(CDrawContext& /*dc*/, unsigned /*nState*/) {}
};

// One control of an open dialog, by id. Operations on a closed dialog or a missing control
// do nothing and read as empty or zero.
class CDialogItem {
public:
    CDialogItem(CDialogWindow* pWindow, unsigned nId) : m_pWindow(pWindow), m_nId(nId) {}

    [[nodiscard]] bool Exists() const { return m_pWindow && m_pWindow->HasControl(m_nId); }
    [[nodiscard]] unsigned GetId() const { return m_nId; }

    void SetText(const std::string& strText) { Call(&CDialogWindow::SetText, strText); }
    [[nodiscard]] std::string GetText() const { return m_pWindow ? m_pWindow->GetText(m_nId) : ""; }
    void SetCheck(bool bCheck) { Call(&CDialogWindow::SetCheck, bCheck); }
    [[nodiscard]] bool GetCheck() const { return m_pWindow && m_pWindow->GetCheck(m_nId); }
    void Enable(bool bEnable = true) { Call(&CDialogWindow::Enable, bEnable); }
    [[nodiscard]] bool IsEnabled() const { return m_pWindow && m_pWindow->IsEnabled(m_nId); }
    void Show(bool bShow = true) { Call(&CDialogWindow::Show, bShow); }
    [[nodiscard]] bool IsVisible() const { return m_pWindow && m_pWindow->IsVisible(m_nId); }
    // In client pixels.
    [[nodiscard]] CRect GetRect() const { return m_pWindow ? m_pWindow->GetRect(m_nId) : CRect{}; }
    void Move(const CRect& rc) { Call(&CDialogWindow::SetRect, rc); }
    void SetFocus() {
        if (m_pWindow)
            m_pWindow->SetFocus(m_nId);
    }
    void Invalidate() {
        if (m_pWindow)
            m_pWindow->Invalidate(m_nId);
    }

    void ResetContent() {
        if (m_pWindow)
            m_pWindow->ResetContent(m_nId);
    }
    int AddString(const std::string& strText, std::uint32_t nData = 0) {
        return m_pWindow ? m_pWindow->AddItem(m_nId, strText, nData) : -1;
    }
    int InsertString(int nIndex, const std::string& strText, std::uint32_t nData = 0) {
        return m_pWindow ? m_pWindow->InsertItem(m_nId, nIndex, strText, nData) : -1;
    }
    bool DeleteString(int nIndex) { return m_pWindow && m_pWindow->DeleteItem(m_nId, nIndex); }
    [[nodiscard]] int GetCount() const { return m_pWindow ? m_pWindow->GetCount(m_nId) : 0; }
    [[nodiscard]] std::string GetItemText(int nIndex) const {
        return m_pWindow ? m_pWindow->GetItemText(m_nId, nIndex) : "";
    }
    [[nodiscard]] std::uint32_t GetItemData(int nIndex) const {
        return m_pWindow ? m_pWindow->GetItemData(m_nId, nIndex) : 0;
    }
    void SetItemData(int nIndex, std::uint32_t nData) {
        if (m_pWindow)
            m_pWindow->SetItemData(m_nId, nIndex, nData);
    }
    [[nodiscard]] int GetCurSel() const { return m_pWindow ? m_pWindow->GetCurSel(m_nId) : -1; }
    void SetCurSel(int nIndex) { Call(&CDialogWindow::SetCurSel, nIndex); }

    void SetRange(int nLower, int nUpper) {
        if (m_pWindow)
            m_pWindow->SetRange(m_nId, nLower, nUpper);
    }
    void SetPos(int nPos) { Call(&CDialogWindow::SetPos, nPos); }
    [[nodiscard]] int GetPos() const { return m_pWindow ? m_pWindow->GetPos(m_nId) : 0; }
    void SetDate(const CDateValue& date) { Call(&CDialogWindow::SetDate, date); }
    [[nodiscard]] CDateValue GetDate() const {
        return m_pWindow ? m_pWindow->GetDate(m_nId) : CDateValue{};
    }
    void SetImage(unsigned nImage, int cx, int cy) {
        if (m_pWindow)
            m_pWindow->SetImage(m_nId, nImage, cx, cy);
    }

private:
    template <typename T> void Call(void (CDialogWindow::*pfn)(unsigned, T), T value) {
        if (m_pWindow)
            (m_pWindow->*pfn)(m_nId, value);
    }
    template <typename T>
    void Call(void (CDialogWindow::*pfn)(unsigned, const T&), const T& value) {
        if (m_pWindow)
            (m_pWindow->*pfn)(m_nId, value);
    }

    CDialogWindow* m_pWindow;
    unsigned m_nId;
};

// Data exchange between a dialog's members and its controls. Showing (m_bSaveAndValidate
// false) writes members into controls; saving reads and validates them. The first failing
// value shows its message, puts the focus on its control and stops the exchange.
class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool bSaveAndValidate)
        : m_dialog(dialog), m_bSaveAndValidate(bSaveAndValidate) {}

    // The control that the following validation is about.
    void PrepareControl(unsigned nId) { m_nLastControl = nId; }
    // Shows the message, focuses the last prepared control and stops the exchange.
    void Fail(const std::string& strMessage);
    [[nodiscard]] bool Failed() const { return m_bFailed; }
    [[nodiscard]] CDialogItem Item(unsigned nId) const;

    CDialog& m_dialog;
    const bool m_bSaveAndValidate;

private:
    unsigned m_nLastControl = 0;
    bool m_bFailed = false;
};

// The framework's standard messages of a failing value.
[[nodiscard]] std::string IntegerRangeMessage(int nMin, int nMax);
[[nodiscard]] std::string MaxCharsMessage(int nMax);
inline constexpr const char* kIntegerMessage = "Please enter an integer.";

void DDX_Text(CDataExchange& dx, unsigned nId, std::string& strValue);
// An integer in the edit; anything else fails with kIntegerMessage.
void DDX_Text(CDataExchange& dx, unsigned nId, int& nValue);
void DDV_MaxChars(CDataExchange& dx, const std::string& strValue, int nMax);
void DDV_MinMaxInt(CDataExchange& dx, int nValue, int nMin, int nMax);
void DDX_Check(CDataExchange& dx, unsigned nId, bool& bValue);
void DDX_Check(CDataExchange& dx, unsigned nId, int& nValue);
// The index of the checked radio in the group that starts at nFirstId (template order up
// to the next control that starts a group); -1 when none is checked.
void DDX_Radio(CDataExchange& dx, unsigned nFirstId, int& nIndex);
void DDX_DateTime(CDataExchange& dx, unsigned nId, CDateValue& date);
// A combo's edit text.
void DDX_CBString(CDataExchange& dx, unsigned nId, std::string& strValue);
// The selected index of a list or combo.
void DDX_Index(CDataExchange& dx, unsigned nId, int& nIndex);

class CDialog : private IDialogEvents {
public:
    CDialog(const CDialogTemplate& dialogTemplate, CDialog* pParent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the window, initialises it and runs it modally. Returns the result given to
    // EndDialog: IDOK, IDCANCEL or another value.
    int DoModal();
    void EndDialog(int nResult);
    // Runs the data exchange; false when a value failed (the dialog stays open).
    bool UpdateData(bool bSaveAndValidate = true);

    [[nodiscard]] bool IsOpen() const { return m_pWindow != nullptr; }
    [[nodiscard]] CDialogWindow* GetWindow() const { return m_pWindow.get(); }
    [[nodiscard]] const CDialogTemplate& GetTemplate() const { return m_template; }
    [[nodiscard]] CDialogItem GetDlgItem(unsigned nId) const { return {m_pWindow.get(), nId}; }
    void SetDlgItemText(unsigned nId, const std::string& strText) {
        GetDlgItem(nId).SetText(strText);
    }
    [[nodiscard]] std::string GetDlgItemText(unsigned nId) const {
        return GetDlgItem(nId).GetText();
    }

    // The attached menu; changes show after DrawMenuBar.
    void SetMenu(CMenu menu);
    [[nodiscard]] CMenu* GetMenu() { return m_pMenu.get(); }
    void DrawMenuBar();
    // Applied to every key before the dialog's own key handling.
    void LoadAccelerators(const CAcceleratorTable& table);
    // Shows a popup menu and returns the chosen command (0 for none) without sending it.
    [[nodiscard]] unsigned TrackPopupMenu(const CMenu& menu, int x, int y, bool bAlignRight);

    // Routes one control's events to a handler that the dialog keeps alive.
    void SubclassControl(unsigned nId, CControlHandler& handler);

    // A message box over this dialog; the module's name as caption when none is given.
    EMessageAnswer MessageBox(std::string_view text, std::string_view caption = {},
                              EMessageButtons buttons = EMessageButtons::Ok,
                              EMessageIcon icon = EMessageIcon::None);

    // Feeds a notification as the control or menu would; used by menus of buttons and by
    // the surfaces' drivers.
    void SendCommand(unsigned nId, ENotify code) { OnNotify(nId, code); }

protected:
    // Called once the controls exist; the default shows the members (UpdateData(false)).
    // Returns true to let the framework set the focus on the first control.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange& /*dx*/) {}
    // True when handled. The default ends the dialog on IDOK (OnOK) and IDCANCEL
    // (OnCancel) clicked, chosen from a menu or sent by an accelerator.
    virtual bool OnCommand(unsigned nId, ENotify code);
    // Takes and validates the values, then ends with IDOK; stays open when a value fails.
    virtual void OnOK();
    virtual void OnCancel();
    // Before the dialog's own key handling; the default applies the accelerator table.
    virtual bool PreTranslateKey(unsigned nKey, unsigned nModifiers);
    // F1 or window help on a control (0: the dialog).
    virtual void OnHelp(unsigned /*nControlId*/) {}
    void OnContextMenu(unsigned /*nControlId*/, int /*x*/, int /*y*/) override {}
    void OnSize(int /*cxClient*/, int /*cyClient*/) override {}

    [[nodiscard]] CDialog* GetParent() const { return m_pParent; }

private:
    void OnNotify(unsigned nId, ENotify code) override;
    bool OnKey(unsigned nKey, unsigned nModifiers) override;
    void OnHelpRequest(unsigned nControlId) override { OnHelp(nControlId); }
    void OnCloseRequest() override { OnNotify(IDCANCEL, ENotify::Clicked); }
    void OnMouseEnter(unsigned nId) override;
    void OnMouseLeave(unsigned nId) override;
    void OnButtonDown(unsigned nId) override;
    void OnButtonUp(unsigned nId) override;
    bool OnControlKey(unsigned nId, unsigned nKey) override;
    void OnDrawItem(unsigned nId, CDrawContext& dc, unsigned nState) override;

    [[nodiscard]] CControlHandler* FindHandler(unsigned nId) const;
    // The id of the default push button, IDOK when the template has none.
    [[nodiscard]] unsigned DefaultButton() const;

    const CDialogTemplate& m_template;
    CDialog* m_pParent;
    std::unique_ptr<CDialogWindow> m_pWindow;
    std::unique_ptr<CMenu> m_pMenu;
    std::vector<CAccelerator> m_vecAccelerators;
    std::map<unsigned, CControlHandler*> m_mapHandlers;
    int m_nResult = IDCANCEL;
    bool m_bEnded = false;
};

// A dialog's progress bar control as the operations see it.
class CDialogProgress : public CProgressControl {
public:
    CDialogProgress(CDialog& dialog, unsigned nId) : m_dialog(dialog), m_nId(nId) {}
    void SetRange(int nLower, int nUpper) override {
        m_dialog.GetDlgItem(m_nId).SetRange(nLower, nUpper);
    }
    void SetPos(int nPos) override { m_dialog.GetDlgItem(m_nId).SetPos(nPos); }
    void Show(bool bShow) override { m_dialog.GetDlgItem(m_nId).Show(bShow); }

private:
    CDialog& m_dialog;
    unsigned m_nId;
};
