#include "platform/dialogs/wx/WxSurface.h"

#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/Menu.h"
#include "platform/shell/HelpViewer.h"

// The generic static text needs the native one declared first.
#include <wx/stattext.h>

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/datectrl.h>
#include <wx/dcclient.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/frame.h>
#include <wx/fs_arc.h>
#include <wx/gauge.h>
#include <wx/generic/stattextg.h>
#include <wx/html/helpctrl.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/renderer.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>
#include <wx/tipwin.h>
#include <wx/tooltip.h>
#include <wx/utils.h>
#include <wx/valtext.h>
#include <wx/wupdlock.h>

#include <algorithm>
#include <cstdint>
#include <map>

// ---- ids -----------------------------------------------------------------------------

namespace {

// Program ids and their wx ids. wx ids are handed out from 10000 up, clear of wx's own
// stock ids (4999 to 5999) and below 0x7FFF, which wx menus require.
struct CIdTable {
    std::map<unsigned, int> m_mapToWx;
    std::map<int, unsigned> m_mapToProgram;
    int m_nNext = 10000;
};

CIdTable& Ids() {
    static CIdTable s_table;
    return s_table;
}

} // namespace

int WxIdFromProgramId(unsigned nId) {
    CIdTable& table = Ids();
    const auto it = table.m_mapToWx.find(nId);
    if (it != table.m_mapToWx.end())
        return it->second;
    const int nWxId = table.m_nNext++;
    table.m_mapToWx.emplace(nId, nWxId);
    table.m_mapToProgram.emplace(nWxId, nId);
    return nWxId;
}

unsigned ProgramIdFromWxId(int nWxId) {
    const CIdTable& table = Ids();
    const auto it = table.m_mapToProgram.find(nWxId);
    return it == table.m_mapToProgram.end() ? 0 : it->second;
}

namespace {

wxString FromNarrow(const std::string& str) {
    return wxString::FromUTF8(str.c_str());
}

std::string ToNarrow(const wxString& str) {
    return std::string(str.utf8_str());
}

wxBitmap LoadImage(const CWxSurface::ImageSource& source, unsigned nId, int cx, int cy) {
    if (!source)
        return {};
    std::span<const unsigned char> bytes = source(nId, cx);
    if (bytes.empty())
        return {};
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(bytes.data(), bytes.size());
    wxImage image(stream, wxBITMAP_TYPE_PNG);
    if (!image.IsOk())
        return {};
    if (cx > 0 && cy > 0 && (image.GetWidth() != cx || image.GetHeight() != cy))
        image.Rescale(cx, cy, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(image);
}

wxRect ToWx(const CRect& rc) {
    return {rc.x, rc.y, rc.cx, rc.cy};
}

CRect FromWx(const wxRect& rc) {
    return {rc.x, rc.y, rc.width, rc.height};
}

// Drawing of an owner-drawn control through wx's native renderer.
class CWxDrawContext : public CDrawContext {
public:
    CWxDrawContext(wxDC& dc, wxWindow* pWindow, const CWxSurface& surface)
        : m_dc(dc), m_pWindow(pWindow), m_surface(surface) {}

    [[nodiscard]] CRect GetClientRect() const override {
        return FromWx(m_pWindow->GetClientRect());
    }
    [[nodiscard]] bool IsThemed() const override { return true; }
    bool DrawThemedButton(const CRect& rc, unsigned nState) override {
        int nFlags = 0;
        if (nState & DRAW_SELECTED)
            nFlags |= wxCONTROL_PRESSED;
        if (nState & DRAW_DEFAULT)
            nFlags |= wxCONTROL_ISDEFAULT;
        if (nState & DRAW_DISABLED)
            nFlags |= wxCONTROL_DISABLED;
        wxRendererNative::Get().DrawPushButton(m_pWindow, m_dc, ToWx(rc), nFlags);
        return true;
    }
    void DrawClassicButton(const CRect& rc, bool bPushed) override {
        const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
        const wxColour light = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT);
        const wxColour dark = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
        m_dc.SetBrush(wxBrush(face));
        m_dc.SetPen(*wxTRANSPARENT_PEN);
        m_dc.DrawRectangle(ToWx(rc));
        m_dc.SetPen(wxPen(bPushed ? dark : light));
        m_dc.DrawLine(rc.x, rc.Bottom() - 1, rc.x, rc.y);
        m_dc.DrawLine(rc.x, rc.y, rc.Right() - 1, rc.y);
        m_dc.SetPen(wxPen(bPushed ? light : dark));
        m_dc.DrawLine(rc.Right() - 1, rc.y, rc.Right() - 1, rc.Bottom() - 1);
        m_dc.DrawLine(rc.Right() - 1, rc.Bottom() - 1, rc.x, rc.Bottom() - 1);
    }
    void DrawIcon(unsigned nIcon, int x, int y, int cx, int cy, bool bDisabled) override {
        wxBitmap bitmap = LoadImage(m_surface.GetImageSource(), nIcon, cx, cy);
        if (!bitmap.IsOk())
            return;
        if (bDisabled)
            bitmap = bitmap.ConvertToDisabled();
        m_dc.DrawBitmap(bitmap, x, y, true);
    }
    void DrawText(std::string_view text, const CRect& rc, bool bDisabled) override {
        const wxString label = FromNarrow(std::string(text));
        int nAccel = -1;
        const wxString plain = wxControl::RemoveMnemonics(label);
        const int nAmp = label.Find('&');
        if (nAmp != wxNOT_FOUND && static_cast<std::size_t>(nAmp) + 1 < label.length())
            nAccel = nAmp;
        m_dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        m_dc.SetFont(m_pWindow->GetFont());
        m_dc.SetTextForeground(
            wxSystemSettings::GetColour(bDisabled ? wxSYS_COLOUR_GRAYTEXT : wxSYS_COLOUR_BTNTEXT));
        m_dc.DrawLabel(plain, ToWx(rc), wxALIGN_CENTER, nAccel);
    }
    void DrawFocusRect(const CRect& rc) override {
        wxRendererNative::Get().DrawFocusRect(m_pWindow, m_dc, ToWx(rc));
    }
    void DrawArrow(const CRect& rc, bool bDisabled) override {
        // Half as wide as high, at most 8 pixels high.
        const int cy = std::min(8, rc.cy) / 2 * 2;
        const int cx = cy / 2;
        const int x = rc.x + (rc.cx - cx) / 2;
        const int y = rc.y + (rc.cy - cy) / 2;
        const wxPoint points[] = {{x, y}, {x + cx, y + cy / 2}, {x, y + cy}};
        const wxColour colour =
            wxSystemSettings::GetColour(bDisabled ? wxSYS_COLOUR_GRAYTEXT : wxSYS_COLOUR_BTNTEXT);
        m_dc.SetPen(wxPen(colour));
        m_dc.SetBrush(wxBrush(colour));
        m_dc.DrawPolygon(3, points);
    }

private:
    wxDC& m_dc;
    wxWindow* m_pWindow;
    const CWxSurface& m_surface;
};

// A button that its dialog draws.
class CWxOwnerDrawButton : public wxControl {
public:
    CWxOwnerDrawButton(wxWindow* pParent, int nWxId, const wxString& label, const wxRect& rc,
                       IDialogEvents& events, unsigned nId, bool bDefault,
                       const CWxSurface& surface)
        : wxControl(pParent, nWxId, rc.GetPosition(), rc.GetSize(), wxBORDER_NONE),
          m_events(events), m_nId(nId), m_bDefault(bDefault), m_surface(surface) {
        SetLabel(label);
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, &CWxOwnerDrawButton::OnPaint, this);
        Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
            m_bPressed = true;
            if (AcceptsFocus())
                SetFocus();
            Refresh();
            event.Skip();
        });
        Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
            const bool bClick = m_bPressed && GetClientRect().Contains(event.GetPosition());
            m_bPressed = false;
            Refresh();
            event.Skip();
            if (bClick && IsEnabled())
                m_events.OnNotify(m_nId, ENotify::Clicked);
        });
        Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& event) {
            if (m_bPressed) {
                m_bPressed = false;
                Refresh();
            }
            event.Skip();
        });
        Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
            if (event.GetKeyCode() == WXK_SPACE && IsEnabled())
                m_events.OnNotify(m_nId, ENotify::Clicked);
            else
                event.Skip();
        });
        Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
            Refresh();
            event.Skip();
        });
        Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
            Refresh();
            event.Skip();
        });
    }

    [[nodiscard]] bool AcceptsFocus() const override { return IsEnabled() && IsShown(); }

protected:
    [[nodiscard]] wxSize DoGetBestSize() const override { return GetSize(); }

private:
    void OnPaint(wxPaintEvent&) {
        wxPaintDC dc(this);
        dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
        dc.Clear();
        unsigned nState = DRAW_NONE;
        if (m_bPressed)
            nState |= DRAW_SELECTED;
        if (HasFocus())
            nState |= DRAW_FOCUS;
        if (!IsEnabled())
            nState |= DRAW_DISABLED;
        if (m_bDefault)
            nState |= DRAW_DEFAULT;
        CWxDrawContext context(dc, this, m_surface);
        m_events.OnDrawItem(m_nId, context, nState);
    }

    IDialogEvents& m_events;
    unsigned m_nId;
    bool m_bDefault;
    bool m_bPressed = false;
    const CWxSurface& m_surface;
};

// Spin arrows beside an edit: the upper half steps up, the lower half down, within the
// range. GTK's own spin button is a wide "- +" pair that does not fit beside an edit.
class CWxUpDown : public wxControl {
public:
    CWxUpDown(wxWindow* pParent, int nWxId, const wxPoint& pos, const wxSize& size)
        : wxControl(pParent, nWxId, pos, size, wxBORDER_NONE) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, &CWxUpDown::OnPaint, this);
        Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& event) {
            m_nPressed = event.GetPosition().y < GetClientSize().y / 2 ? 1 : -1;
            Step(m_nPressed);
            Refresh();
        });
        Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
            m_nPressed = 0;
            Refresh();
        });
    }

    void SetRange(int nLower, int nUpper) {
        m_nLower = nLower;
        m_nUpper = nUpper;
        m_nValue = std::clamp(m_nValue, std::min(nLower, nUpper), std::max(nLower, nUpper));
    }
    void SetValue(int nValue) {
        m_nValue = std::clamp(nValue, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    }
    [[nodiscard]] int GetValue() const { return m_nValue; }
    // One step up (+1) or down (-1); a range given high to low turns the arrows round.
    void Step(int nDirection) {
        const int nOld = m_nValue;
        SetValue(m_nValue + (m_nUpper >= m_nLower ? nDirection : -nDirection));
        if (m_nValue != nOld && m_onChange)
            m_onChange();
    }
    void OnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }
    [[nodiscard]] bool AcceptsFocus() const override { return false; }

protected:
    [[nodiscard]] wxSize DoGetBestSize() const override { return FromDIP(wxSize(16, 24)); }

private:
    void OnPaint(wxPaintEvent&) {
        wxPaintDC dc(this);
        const wxSize size = GetClientSize();
        const int nHalf = size.y / 2;
        wxRendererNative& renderer = wxRendererNative::Get();
        const int nDisabled = IsEnabled() ? 0 : static_cast<int>(wxCONTROL_DISABLED);
        renderer.DrawPushButton(this, dc, wxRect(0, 0, size.x, nHalf),
                                nDisabled |
                                    (m_nPressed > 0 ? static_cast<int>(wxCONTROL_PRESSED) : 0));
        renderer.DrawPushButton(this, dc, wxRect(0, nHalf, size.x, size.y - nHalf),
                                nDisabled |
                                    (m_nPressed < 0 ? static_cast<int>(wxCONTROL_PRESSED) : 0));
        dc.SetBrush(wxBrush(wxSystemSettings::GetColour(IsEnabled() ? wxSYS_COLOUR_BTNTEXT
                                                                    : wxSYS_COLOUR_GRAYTEXT)));
        dc.SetPen(*wxTRANSPARENT_PEN);
        const int cx = size.x / 2;
        const int d = std::max(2, std::min(size.x, nHalf) / 4);
        const wxPoint up[] = {
            {cx - d, nHalf / 2 + d / 2}, {cx + d, nHalf / 2 + d / 2}, {cx, nHalf / 2 - d / 2}};
        const wxPoint down[] = {{cx - d, nHalf + nHalf / 2 - d / 2},
                                {cx + d, nHalf + nHalf / 2 - d / 2},
                                {cx, nHalf + nHalf / 2 + d / 2}};
        dc.DrawPolygon(3, up);
        dc.DrawPolygon(3, down);
    }

    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nValue = 0;
    int m_nPressed = 0;
    std::function<void()> m_onChange;
};

struct CWxControl {
    unsigned m_nId;
    EControlKind m_kind;
    std::uint32_t m_nStyle;
    CRect m_rcDialog; // dialog units, from the template
    wxWindow* m_pWindow;
    int m_nLower = 0; // progress bar range start
};

wxMenu* BuildMenu(const CMenu& menu) {
    auto* pMenu = new wxMenu;
    for (int i = 0; i < menu.GetItemCount(); ++i) {
        const CMenu::CItem* pItem = menu.GetItem(i);
        if (pItem->m_bSeparator) {
            pMenu->AppendSeparator();
        } else if (pItem->m_pPopup) {
            pMenu->AppendSubMenu(BuildMenu(*pItem->m_pPopup), FromNarrow(pItem->m_strText));
        } else {
            wxMenuItem* pWx =
                pMenu->Append(WxIdFromProgramId(pItem->m_nId), FromNarrow(pItem->m_strText),
                              wxEmptyString, wxITEM_CHECK);
            pWx->Check(pItem->m_bChecked);
            pWx->Enable(!pItem->m_bGrayed);
        }
    }
    return pMenu;
}

unsigned VirtualKeyOf(const wxKeyEvent& event) {
    const int nCode = event.GetKeyCode();
    switch (nCode) {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        return VK_RETURN;
    case WXK_ESCAPE:
        return VK_ESCAPE;
    case WXK_F1:
        return VK_F1;
    case WXK_DELETE:
    case WXK_NUMPAD_DELETE:
        return VK_DELETE;
    case WXK_SPACE:
        return VK_SPACE;
    case WXK_TAB:
        return VK_TAB;
    case WXK_BACK:
        return VK_BACK;
    case WXK_UP:
        return VK_UP;
    case WXK_DOWN:
        return VK_DOWN;
    default:
        break;
    }
    if ((nCode >= 'A' && nCode <= 'Z') || (nCode >= '0' && nCode <= '9'))
        return static_cast<unsigned>(nCode);
    if (nCode >= 'a' && nCode <= 'z')
        return static_cast<unsigned>(nCode - 'a' + 'A');
    return 0;
}

// Single-line controls take their natural height; lists, pictures and multi-line edits
// keep the template's.
bool UsesNaturalHeight(const CWxControl& control) {
    switch (control.m_kind) {
    case EControlKind::Edit:
        return !(control.m_nStyle & CS_MULTILINE);
    case EControlKind::CheckBox:
    case EControlKind::Radio:
    case EControlKind::DropList:
    case EControlKind::DropCombo:
    case EControlKind::DatePicker:
    case EControlKind::PushButton:
    case EControlKind::DefPushButton:
        return true;
    case EControlKind::Static:
        return control.m_rcDialog.cy <= 10;
    default:
        return false;
    }
}

// Labels, check boxes, radios and buttons grow to their text's width.
bool ShowsWholeText(const CWxControl& control) {
    switch (control.m_kind) {
    case EControlKind::Static:
        return control.m_rcDialog.cy <= 10;
    case EControlKind::CheckBox:
    case EControlKind::Radio:
    case EControlKind::PushButton:
    case EControlKind::DefPushButton:
        return true;
    default:
        return false;
    }
}

// The size a control is created with: natural-height controls start at their own height.
wxSize CreateSize(EControlKind kind, std::uint32_t nStyle, const wxSize& size) {
    switch (kind) {
    case EControlKind::CheckBox:
    case EControlKind::Radio:
    case EControlKind::DropList:
    case EControlKind::DropCombo:
    case EControlKind::DatePicker:
        return {size.x, -1};
    case EControlKind::Edit:
        return (nStyle & CS_MULTILINE) ? size : wxSize(size.x, -1);
    default:
        return size;
    }
}

class CWxDialogWindow : public CDialogWindow {
public:
    CWxDialogWindow(CWxSurface& surface, const CDialogTemplate& dialogTemplate, wxWindow* pParent,
                    IDialogEvents& events)
        : m_surface(surface), m_template(dialogTemplate), m_events(events) {
        long nStyle = wxCAPTION | wxCLOSE_BOX | wxSYSTEM_MENU | wxCLIP_CHILDREN;
        if (dialogTemplate.m_nStyle & DS_RESIZABLE)
            nStyle |= wxRESIZE_BORDER | wxMAXIMIZE_BOX;
        if (!(dialogTemplate.m_nStyle & DS_APPWINDOW)) {
            nStyle |= wxFRAME_NO_TASKBAR;
            if (pParent)
                nStyle |= wxFRAME_FLOAT_ON_PARENT;
        } else {
            nStyle |= wxMINIMIZE_BOX;
        }
        m_pFrame = new wxFrame(pParent, wxID_ANY, FromNarrow(dialogTemplate.m_pszTitle),
                               wxDefaultPosition, wxDefaultSize, nStyle);
        m_pPanel =
            new wxPanel(m_pFrame, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
        CreateControls();
        LayOut();
        m_pFrame->SetClientSize(m_clientSize);
        m_pFrame->CentreOnParent();

        m_pFrame->Bind(wxEVT_CHAR_HOOK, &CWxDialogWindow::OnCharHook, this);
        m_pFrame->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
            if (event.CanVeto()) {
                event.Veto();
                m_events.OnCloseRequest();
            } else {
                event.Skip();
            }
        });
        m_pFrame->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
            const unsigned nId = ProgramIdFromWxId(event.GetId());
            if (nId != 0)
                m_events.OnNotify(nId, ENotify::Menu);
        });
        m_pPanel->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
            event.Skip();
            if (m_bLaidOut)
                m_events.OnSize(event.GetSize().x, event.GetSize().y);
        });
        m_bLaidOut = true;
    }

    ~CWxDialogWindow() override {
        m_bLaidOut = false;
        m_pFrame->Unbind(wxEVT_CHAR_HOOK, &CWxDialogWindow::OnCharHook, this);
        // Nothing may reach the dialog once it is gone: delete the windows now.
        m_pFrame->Hide();
        delete m_pFrame;
    }

    // ---- modal run ----
    void RunModal() override {
        m_pFrame->Show();
        m_pFrame->Raise();
        wxWindowDisabler disabler(m_pFrame);
        if (m_nFirstFocus != nullptr)
            m_nFirstFocus->SetFocus();
        wxGUIEventLoop loop;
        m_pLoop = &loop;
        if (!m_bEndRequested)
            (void)loop.Run();
        m_pLoop = nullptr;
        m_pFrame->Hide();
    }
    void EndModal() override {
        m_bEndRequested = true;
        if (m_pLoop)
            m_pLoop->ScheduleExit(0);
    }

    void SetTitle(const std::string& strTitle) override {
        m_pFrame->SetTitle(FromNarrow(strTitle));
    }
    void SetIcon(unsigned nIcon) override {
        wxIconBundle icons;
        for (const int nSize : {16, 32}) {
            const wxBitmap bitmap = LoadImage(m_surface.GetImageSource(), nIcon, nSize, nSize);
            if (bitmap.IsOk()) {
                wxIcon icon;
                icon.CopyFromBitmap(bitmap);
                icons.AddIcon(icon);
            }
        }
        m_pFrame->SetIcons(icons);
    }
    void SetMenuBar(const CMenu* pMenu) override {
        const wxSize client = m_pFrame->GetClientSize();
        wxMenuBar* pOld = m_pFrame->GetMenuBar();
        if (pMenu) {
            auto* pBar = new wxMenuBar;
            for (int i = 0; i < pMenu->GetItemCount(); ++i) {
                const CMenu::CItem* pItem = pMenu->GetItem(i);
                if (pItem->m_pPopup)
                    pBar->Append(BuildMenu(*pItem->m_pPopup), FromNarrow(pItem->m_strText));
            }
            m_pFrame->SetMenuBar(pBar);
        } else {
            m_pFrame->SetMenuBar(nullptr);
        }
        delete pOld;
        if (!m_pFrame->IsShown())
            m_pFrame->SetClientSize(client);
    }
    [[nodiscard]] CRect GetClientRect() const override { return FromWx(m_pPanel->GetClientRect()); }
    [[nodiscard]] int GetFrameExtraHeight() const override {
        return m_pFrame->GetSize().y - m_pFrame->GetClientSize().y;
    }
    void SetClientSize(int cx, int cy) override { m_pFrame->SetClientSize(cx, cy); }
    [[nodiscard]] CRect MapDialogRect(const CRect& rc) const override {
        const wxPoint pt = m_pPanel->ConvertDialogToPixels(wxPoint(rc.x, rc.y));
        const wxSize size = m_pPanel->ConvertDialogToPixels(wxSize(rc.cx, rc.cy));
        return {pt.x, pt.y, size.x, size.y};
    }
    void Redraw() override { m_pFrame->Refresh(); }

    // ---- controls ----
    [[nodiscard]] bool HasControl(unsigned nId) const override { return Find(nId) != nullptr; }
    [[nodiscard]] EControlKind GetKind(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        return p ? p->m_kind : EControlKind::Static;
    }
    [[nodiscard]] std::uint32_t GetStyle(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        return p ? p->m_nStyle : 0;
    }
    void SetText(unsigned nId, const std::string& strText) override {
        CWxControl* p = Find(nId);
        if (!p)
            return;
        const wxString text = FromNarrow(strText);
        if (auto* pText = dynamic_cast<wxTextCtrl*>(p->m_pWindow))
            pText->ChangeValue(text);
        else if (auto* pCombo = dynamic_cast<wxComboBox*>(p->m_pWindow))
            pCombo->ChangeValue(text);
        else if (auto* pChoice = dynamic_cast<wxChoice*>(p->m_pWindow))
            pChoice->SetStringSelection(text);
        else
            p->m_pWindow->SetLabel(text);
        if (p->m_kind == EControlKind::OwnerDrawButton)
            p->m_pWindow->Refresh();
    }
    [[nodiscard]] std::string GetText(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        if (!p)
            return {};
        if (auto* pText = dynamic_cast<wxTextCtrl*>(p->m_pWindow))
            return ToNarrow(pText->GetValue());
        if (auto* pCombo = dynamic_cast<wxComboBox*>(p->m_pWindow))
            return ToNarrow(pCombo->GetValue());
        if (auto* pChoice = dynamic_cast<wxChoice*>(p->m_pWindow))
            return ToNarrow(pChoice->GetStringSelection());
        return ToNarrow(p->m_pWindow->GetLabel());
    }
    void SetCheck(unsigned nId, bool bCheck) override {
        CWxControl* p = Find(nId);
        if (!p)
            return;
        if (auto* pCheck = dynamic_cast<wxCheckBox*>(p->m_pWindow))
            pCheck->SetValue(bCheck);
        else if (auto* pRadio = dynamic_cast<wxRadioButton*>(p->m_pWindow))
            m_mapRadio[nId] = bCheck, pRadio->SetValue(bCheck);
    }
    [[nodiscard]] bool GetCheck(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        if (!p)
            return false;
        if (auto* pCheck = dynamic_cast<wxCheckBox*>(p->m_pWindow))
            return pCheck->GetValue();
        if (auto* pRadio = dynamic_cast<wxRadioButton*>(p->m_pWindow)) {
            // GTK keeps one radio of a group on; a group that the program left empty
            // reads as empty until the user picks one.
            const auto it = m_mapRadio.find(nId);
            return pRadio->GetValue() && (it == m_mapRadio.end() || it->second);
        }
        return false;
    }
    void Enable(unsigned nId, bool bEnable) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->Enable(bEnable);
    }
    [[nodiscard]] bool IsEnabled(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        return p && p->m_pWindow->IsThisEnabled();
    }
    void Show(unsigned nId, bool bShow) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->Show(bShow);
    }
    [[nodiscard]] bool IsVisible(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        return p && p->m_pWindow->IsShown();
    }
    [[nodiscard]] CRect GetRect(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        return p ? FromWx(p->m_pWindow->GetRect()) : CRect{};
    }
    void SetRect(unsigned nId, const CRect& rc) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->SetSize(ToWx(rc));
    }
    void SetFocus(unsigned nId) override {
        if (CWxControl* p = Find(nId)) {
            p->m_pWindow->SetFocus();
            if (!m_pFrame->IsShown())
                m_nFirstFocus = p->m_pWindow;
        }
    }
    [[nodiscard]] unsigned GetFocus() const override {
        for (wxWindow* pWindow = wxWindow::FindFocus(); pWindow; pWindow = pWindow->GetParent()) {
            for (const CWxControl& control : m_vecControls) {
                if (control.m_pWindow == pWindow)
                    return control.m_nId;
            }
            if (pWindow == m_pFrame)
                break;
        }
        if (!m_pFrame->IsShown() && m_nFirstFocus) {
            for (const CWxControl& control : m_vecControls) {
                if (control.m_pWindow == m_nFirstFocus)
                    return control.m_nId;
            }
        }
        return 0;
    }

    void ResetContent(unsigned nId) override {
        if (wxItemContainer* p = Items(nId))
            p->Clear();
    }
    int AddItem(unsigned nId, const std::string& strText, std::uint32_t nData) override {
        wxItemContainer* p = Items(nId);
        if (!p)
            return -1;
        return p->Append(FromNarrow(strText), DataPointer(nData));
    }
    int InsertItem(unsigned nId, int nIndex, const std::string& strText,
                   std::uint32_t nData) override {
        wxItemContainer* p = Items(nId);
        if (!p)
            return -1;
        if (nIndex < 0 || nIndex >= static_cast<int>(p->GetCount()) || p->IsSorted())
            return p->Append(FromNarrow(strText), DataPointer(nData));
        const int nSel = p->GetSelection();
        const int nAt =
            p->Insert(FromNarrow(strText), static_cast<unsigned>(nIndex), DataPointer(nData));
        if (nSel >= nIndex && p->GetSelection() != nSel + 1)
            p->SetSelection(nSel + 1);
        return nAt;
    }
    bool DeleteItem(unsigned nId, int nIndex) override {
        wxItemContainer* p = Items(nId);
        if (!p || nIndex < 0 || nIndex >= static_cast<int>(p->GetCount()))
            return false;
        // The selection stays on its item, as the platform's lists keep it.
        const int nSel = p->GetSelection();
        p->Delete(static_cast<unsigned>(nIndex));
        if (nSel > nIndex)
            p->SetSelection(nSel - 1);
        else if (nSel == nIndex)
            SetCurSel(nId, -1);
        return true;
    }
    [[nodiscard]] int GetCount(unsigned nId) const override {
        const wxItemContainer* p = Items(nId);
        return p ? static_cast<int>(p->GetCount()) : 0;
    }
    [[nodiscard]] std::string GetItemText(unsigned nId, int nIndex) const override {
        const wxItemContainer* p = Items(nId);
        if (!p || nIndex < 0 || nIndex >= static_cast<int>(p->GetCount()))
            return {};
        return ToNarrow(p->GetString(static_cast<unsigned>(nIndex)));
    }
    [[nodiscard]] std::uint32_t GetItemData(unsigned nId, int nIndex) const override {
        const wxItemContainer* p = Items(nId);
        if (!p || nIndex < 0 || nIndex >= static_cast<int>(p->GetCount()))
            return 0;
        return static_cast<std::uint32_t>(
            reinterpret_cast<std::uintptr_t>(p->GetClientData(static_cast<unsigned>(nIndex))));
    }
    void SetItemData(unsigned nId, int nIndex, std::uint32_t nData) override {
        wxItemContainer* p = Items(nId);
        if (p && nIndex >= 0 && nIndex < static_cast<int>(p->GetCount()))
            p->SetClientData(static_cast<unsigned>(nIndex), DataPointer(nData));
    }
    [[nodiscard]] int GetCurSel(unsigned nId) const override {
        const wxItemContainer* p = Items(nId);
        return p ? p->GetSelection() : -1;
    }
    void SetCurSel(unsigned nId, int nIndex) override {
        wxItemContainer* p = Items(nId);
        if (!p)
            return;
        if (nIndex < 0 || nIndex >= static_cast<int>(p->GetCount()))
            nIndex = wxNOT_FOUND;
        if (auto* pList = dynamic_cast<wxListBox*>(p); pList && nIndex == wxNOT_FOUND)
            pList->SetSelection(wxNOT_FOUND);
        else
            p->SetSelection(nIndex);
    }

    void SetRange(unsigned nId, int nLower, int nUpper) override {
        CWxControl* p = Find(nId);
        if (!p)
            return;
        if (auto* pGauge = dynamic_cast<wxGauge*>(p->m_pWindow)) {
            p->m_nLower = nLower;
            pGauge->SetRange(std::max(1, nUpper - nLower));
        } else if (auto* pSpin = dynamic_cast<CWxUpDown*>(p->m_pWindow)) {
            pSpin->SetRange(nLower, nUpper);
        }
    }
    void SetPos(unsigned nId, int nPos) override {
        CWxControl* p = Find(nId);
        if (!p)
            return;
        if (auto* pGauge = dynamic_cast<wxGauge*>(p->m_pWindow)) {
            pGauge->SetValue(std::clamp(nPos - p->m_nLower, 0, pGauge->GetRange()));
        } else if (auto* pSpin = dynamic_cast<CWxUpDown*>(p->m_pWindow)) {
            pSpin->SetValue(nPos);
            UpdateBuddy(*p);
        }
    }
    [[nodiscard]] int GetPos(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        if (!p)
            return 0;
        if (auto* pGauge = dynamic_cast<wxGauge*>(p->m_pWindow))
            return pGauge->GetValue() + p->m_nLower;
        if (auto* pSpin = dynamic_cast<CWxUpDown*>(p->m_pWindow))
            return pSpin->GetValue();
        return 0;
    }
    void SetDate(unsigned nId, const CDateValue& date) override {
        CWxControl* p = Find(nId);
        auto* pPicker = p ? dynamic_cast<wxDatePickerCtrl*>(p->m_pWindow) : nullptr;
        if (!pPicker)
            return;
        const wxDateTime value(static_cast<wxDateTime::wxDateTime_t>(date.m_nDay),
                               static_cast<wxDateTime::Month>(date.m_nMonth - 1), date.m_nYear);
        if (value.IsValid())
            pPicker->SetValue(value);
    }
    [[nodiscard]] CDateValue GetDate(unsigned nId) const override {
        const CWxControl* p = Find(nId);
        auto* pPicker = p ? dynamic_cast<wxDatePickerCtrl*>(p->m_pWindow) : nullptr;
        if (!pPicker)
            return {};
        const wxDateTime value = pPicker->GetValue();
        return {value.GetYear(), static_cast<int>(value.GetMonth()) + 1,
                static_cast<int>(value.GetDay())};
    }
    void SetImage(unsigned nId, unsigned nImage, int cx, int cy) override {
        CWxControl* p = Find(nId);
        if (!p)
            return;
        if (auto* pBitmap = dynamic_cast<wxStaticBitmap*>(p->m_pWindow))
            pBitmap->SetBitmap(LoadImage(m_surface.GetImageSource(), nImage, cx, cy));
        p->m_pWindow->Refresh();
    }
    void SetTextColour(unsigned nId, const CColour& colour) override {
        if (CWxControl* p = Find(nId)) {
            p->m_pWindow->SetForegroundColour(
                wxColour(colour.m_nRed, colour.m_nGreen, colour.m_nBlue));
            p->m_pWindow->Refresh();
        }
    }
    void SetUnderline(unsigned nId, bool bUnderline) override {
        if (CWxControl* p = Find(nId)) {
            wxFont font = p->m_pWindow->GetFont();
            font.SetUnderlined(bUnderline);
            p->m_pWindow->SetFont(font);
        }
    }
    void SetHandCursor(unsigned nId, bool bHand) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->SetCursor(bHand ? wxCursor(wxCURSOR_HAND) : wxNullCursor);
    }
    void SetToolTip(unsigned nId, const std::string& strTip) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->SetToolTip(FromNarrow(strTip));
    }
    [[nodiscard]] CRect MeasureText(unsigned nId, const std::string& strText) const override {
        const CWxControl* p = Find(nId);
        const wxWindow* pWindow = p ? p->m_pWindow : m_pPanel;
        const wxSize size = pWindow->GetTextExtent(FromNarrow(strText));
        return {0, 0, size.x, size.y};
    }
    void Invalidate(unsigned nId) override {
        if (CWxControl* p = Find(nId))
            p->m_pWindow->Refresh();
    }
    [[nodiscard]] unsigned TrackPopupMenu(const CMenu& menu, int x, int y,
                                          bool bAlignRight) override {
        std::unique_ptr<wxMenu> pMenu(BuildMenu(menu));
        if (bAlignRight) {
            // Near enough: a menu's width is known only once shown.
            int nWidest = 0;
            for (int i = 0; i < menu.GetItemCount(); ++i) {
                const CMenu::CItem* pItem = menu.GetItem(i);
                nWidest =
                    std::max(nWidest, m_pPanel->GetTextExtent(FromNarrow(pItem->m_strText)).x);
            }
            x = std::max(0, x - nWidest - 40);
        }
        const int nWxId = m_pPanel->GetPopupMenuSelectionFromUser(*pMenu, wxPoint(x, y));
        return nWxId == wxID_NONE ? 0 : ProgramIdFromWxId(nWxId);
    }

    [[nodiscard]] wxFrame* Frame() const { return m_pFrame; }

private:
    static void* DataPointer(std::uint32_t nData) {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(nData));
    }

    CWxControl* Find(unsigned nId) {
        if (nId == 0 || nId == IDC_STATIC)
            return nullptr;
        for (CWxControl& control : m_vecControls) {
            if (control.m_nId == nId)
                return &control;
        }
        return nullptr;
    }
    const CWxControl* Find(unsigned nId) const {
        return const_cast<CWxDialogWindow*>(this)->Find(nId);
    }
    wxItemContainer* Items(unsigned nId) const {
        const CWxControl* p = Find(nId);
        return p ? dynamic_cast<wxItemContainer*>(p->m_pWindow) : nullptr;
    }

    void UpdateBuddy(const CWxControl& upDown) {
        if (!(upDown.m_nStyle & CS_BUDDYINT))
            return;
        const auto it = std::find_if(m_vecControls.begin(), m_vecControls.end(),
                                     [&](const CWxControl& c) { return &c == &upDown; });
        if (it == m_vecControls.begin() || it == m_vecControls.end())
            return;
        if (auto* pText = dynamic_cast<wxTextCtrl*>(std::prev(it)->m_pWindow))
            pText->ChangeValue(
                wxString::Format("%d", dynamic_cast<CWxUpDown*>(upDown.m_pWindow)->GetValue()));
    }

    void CreateControls() {
        for (const CControlTemplate& item : m_template.m_controls) {
            const unsigned nId = item.m_nId;
            const int nWxId = nId == IDC_STATIC ? wxID_ANY : WxIdFromProgramId(nId);
            const CRect rc = MapDialogRect(item.m_rc);
            const wxPoint pos(rc.x, rc.y);
            const wxSize size = CreateSize(item.m_kind, item.m_nStyle, wxSize(rc.cx, rc.cy));
            const wxString text = FromNarrow(item.m_pszText ? item.m_pszText : "");
            const std::uint32_t s = item.m_nStyle;
            wxWindow* pWindow = nullptr;
            switch (item.m_kind) {
            case EControlKind::Static: {
                long nAlign = wxST_NO_AUTORESIZE;
                if (s & CS_CENTER)
                    nAlign |= wxALIGN_CENTER_HORIZONTAL;
                else if (s & CS_RIGHT)
                    nAlign |= wxALIGN_RIGHT;
                if (nId == IDC_STATIC)
                    pWindow = new wxStaticText(m_pPanel, nWxId, text, pos, size, nAlign);
                else
                    pWindow = new wxGenericStaticText(m_pPanel, nWxId, text, pos, size, nAlign);
                if (item.m_rc.cy > 10)
                    static_cast<wxStaticTextBase*>(pWindow)->Wrap(rc.cx);
                break;
            }
            case EControlKind::Edit: {
                long nStyle = 0;
                if (s & CS_READONLY)
                    nStyle |= wxTE_READONLY;
                if (s & CS_MULTILINE)
                    nStyle |= wxTE_MULTILINE | wxTE_DONTWRAP;
                auto* pText = new wxTextCtrl(m_pPanel, nWxId, text, pos, size, nStyle);
                if (s & CS_NUMBER)
                    pText->SetValidator(wxTextValidator(wxFILTER_DIGITS));
                pText->Bind(wxEVT_TEXT, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::EditChange);
                });
                pWindow = pText;
                break;
            }
            case EControlKind::CheckBox:
                pWindow = new wxCheckBox(m_pPanel, nWxId, text, pos, size);
                pWindow->Bind(wxEVT_CHECKBOX, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::Clicked);
                });
                break;
            case EControlKind::Radio:
                pWindow = new wxRadioButton(m_pPanel, nWxId, text, pos, size,
                                            (s & CS_GROUP) ? wxRB_GROUP : 0);
                pWindow->Bind(wxEVT_RADIOBUTTON, [this, nId](wxCommandEvent&) {
                    ClearRadioMemory(nId);
                    m_events.OnNotify(nId, ENotify::Clicked);
                });
                break;
            case EControlKind::PushButton:
            case EControlKind::DefPushButton: {
                auto* pButton = new wxButton(m_pPanel, nWxId, text, pos, size);
                if (item.m_kind == EControlKind::DefPushButton)
                    pButton->SetDefault();
                pButton->Bind(wxEVT_BUTTON, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::Clicked);
                });
                pWindow = pButton;
                break;
            }
            case EControlKind::OwnerDrawButton:
                pWindow = new CWxOwnerDrawButton(m_pPanel, nWxId, text, {pos, size}, m_events, nId,
                                                 false, m_surface);
                break;
            case EControlKind::DropList:
                pWindow = new wxChoice(m_pPanel, nWxId, pos, wxSize(size.x, -1));
                pWindow->Bind(wxEVT_CHOICE, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::SelChange);
                });
                break;
            case EControlKind::DropCombo:
                pWindow = new wxComboBox(m_pPanel, nWxId, text, pos, wxSize(size.x, -1), 0, nullptr,
                                         (s & CS_SORT) ? wxCB_SORT : 0);
                pWindow->Bind(wxEVT_COMBOBOX, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::SelChange);
                });
                pWindow->Bind(wxEVT_TEXT, [this, nId](wxCommandEvent&) {
                    m_events.OnNotify(nId, ENotify::EditChange);
                });
                break;
            case EControlKind::ListBox: {
                long nStyle = wxLB_SINGLE | wxLB_NEEDED_SB;
                if (s & CS_SORT)
                    nStyle |= wxLB_SORT;
                auto* pList = new wxListBox(m_pPanel, nWxId, pos, size, 0, nullptr, nStyle);
                if (s & CS_NOTIFY) {
                    pList->Bind(wxEVT_LISTBOX, [this, nId](wxCommandEvent&) {
                        m_events.OnNotify(nId, ENotify::SelChange);
                    });
                }
                if (s & CS_DRAGLIST)
                    EnableDragging(pList, nId);
                pWindow = pList;
                break;
            }
            case EControlKind::DatePicker:
                pWindow =
                    new wxDatePickerCtrl(m_pPanel, nWxId, wxDefaultDateTime, pos,
                                         wxSize(size.x, -1), wxDP_DROPDOWN | wxDP_SHOWCENTURY);
                break;
            case EControlKind::UpDown: {
                auto* pSpin = new CWxUpDown(m_pPanel, nWxId, pos, size);
                pWindow = pSpin;
                const std::size_t nIndex = m_vecControls.size();
                pSpin->OnChange([this, nIndex] { UpdateBuddy(m_vecControls[nIndex]); });
                // Arrow keys in the edit step the spin.
                if ((s & CS_ARROWKEYS) && nIndex > 0) {
                    m_vecControls[nIndex - 1].m_pWindow->Bind(
                        wxEVT_KEY_DOWN, [pSpin](wxKeyEvent& event) {
                            if (event.GetKeyCode() == WXK_UP)
                                pSpin->Step(1);
                            else if (event.GetKeyCode() == WXK_DOWN)
                                pSpin->Step(-1);
                            else
                                event.Skip();
                        });
                }
                break;
            }
            case EControlKind::Progress:
                pWindow = new wxGauge(m_pPanel, nWxId, 100, pos, size, wxGA_HORIZONTAL);
                break;
            case EControlKind::GroupBox:
                pWindow = new wxStaticBox(m_pPanel, nWxId, text, pos, size);
                break;
            case EControlKind::Picture:
                pWindow = new wxStaticBitmap(
                    m_pPanel, nWxId, LoadImage(m_surface.GetImageSource(), item.m_nImage, 0, 0),
                    pos, size);
                break;
            }
            if (s & CS_HIDDEN)
                pWindow->Hide();
            if (s & CS_DISABLED)
                pWindow->Disable();
            if (nId != IDC_STATIC)
                BindCommon(pWindow, nId);
            m_vecControls.push_back({nId, item.m_kind, s, item.m_rc, pWindow});
        }
    }

    void BindCommon(wxWindow* pWindow, unsigned nId) {
        pWindow->Bind(wxEVT_SET_FOCUS, [this, nId](wxFocusEvent& event) {
            event.Skip();
            m_events.OnNotify(nId, ENotify::SetFocus);
        });
        pWindow->Bind(wxEVT_KILL_FOCUS, [this, nId](wxFocusEvent& event) {
            event.Skip();
            if (m_bLaidOut)
                m_events.OnNotify(nId, ENotify::KillFocus);
        });
        pWindow->Bind(wxEVT_ENTER_WINDOW, [this, nId](wxMouseEvent& event) {
            event.Skip();
            m_events.OnMouseEnter(nId);
        });
        pWindow->Bind(wxEVT_LEAVE_WINDOW, [this, nId](wxMouseEvent& event) {
            event.Skip();
            m_events.OnMouseLeave(nId);
        });
        pWindow->Bind(wxEVT_LEFT_DOWN, [this, nId](wxMouseEvent& event) {
            event.Skip();
            m_events.OnButtonDown(nId);
        });
        pWindow->Bind(wxEVT_LEFT_UP, [this, nId](wxMouseEvent& event) {
            event.Skip();
            m_events.OnButtonUp(nId);
        });
        pWindow->Bind(wxEVT_CONTEXT_MENU, [this, nId](wxContextMenuEvent& event) {
            const wxPoint pt = m_pPanel->ScreenToClient(event.GetPosition());
            m_events.OnContextMenu(nId, pt.x, pt.y);
        });
        pWindow->Bind(wxEVT_HELP, [this, nId](wxHelpEvent&) { m_events.OnHelpRequest(nId); });
    }

    void ClearRadioMemory(unsigned nId) {
        // The user picked a radio: its group reads as GTK shows it from now on.
        m_mapRadio.erase(nId);
        for (auto& [nOther, bChecked] : m_mapRadio)
            bChecked = true;
    }

    // Drag ordering: press on an item, release over another; the item moves there. The
    // mouse is not captured (capturing breaks the list's own handling on GTK).
    void EnableDragging(wxListBox* pList, unsigned nId) {
        pList->Bind(wxEVT_LEFT_DOWN, [this, pList](wxMouseEvent& event) {
            m_nDragFrom = pList->HitTest(event.GetPosition());
            event.Skip();
        });
        pList->Bind(wxEVT_LEFT_UP, [this, pList, nId](wxMouseEvent& event) {
            event.Skip();
            const int nFrom = m_nDragFrom;
            m_nDragFrom = wxNOT_FOUND;
            int nTo = pList->HitTest(event.GetPosition());
            if (nTo == wxNOT_FOUND && event.GetPosition().y > 0)
                nTo = static_cast<int>(pList->GetCount()) - 1;
            if (nFrom == wxNOT_FOUND || nTo == wxNOT_FOUND || nFrom == nTo)
                return;
            const wxString text = pList->GetString(static_cast<unsigned>(nFrom));
            void* pData = pList->GetClientData(static_cast<unsigned>(nFrom));
            pList->Delete(static_cast<unsigned>(nFrom));
            pList->Insert(text, static_cast<unsigned>(nTo), pData);
            pList->SetSelection(nTo);
            m_events.OnNotify(nId, ENotify::SelChange);
        });
    }

    // x and width from dialog units, stretched for the whole dialog when a text is wider
    // in this font than its template allows; natural heights; rows (controls whose tops
    // lie within 3 units) move down together so that none comes closer than 3 pixels to
    // a control above it that shares some of its columns.
    void LayOut() {
        constexpr int kGap = 3;
        constexpr int kRowSpan = 3; // dialog units
        constexpr double kMaxStretch = 1.3;
        const std::size_t n = m_vecControls.size();
        double dStretch = 1.0;
        for (const CWxControl& control : m_vecControls) {
            const int cx = MapDialogRect(control.m_rcDialog).cx;
            if (ShowsWholeText(control) && cx > 0 && !control.m_pWindow->GetLabel().empty())
                dStretch = std::max(dStretch,
                                    control.m_pWindow->GetBestSize().x / static_cast<double>(cx));
        }
        dStretch = std::min(dStretch, kMaxStretch);
        const auto stretch = [&](int nPixels) {
            return static_cast<int>(nPixels * dStretch + 0.5);
        };
        std::vector<wxRect> rects(n);
        std::vector<bool> bPlaced(n, false);
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i) {
            order[i] = i;
            wxRect rc = ToWx(MapDialogRect(m_vecControls[i].m_rcDialog));
            const int nRight = stretch(rc.GetRight() + 1);
            rc.x = stretch(rc.x);
            rc.width = nRight - rc.x;
            if (UsesNaturalHeight(m_vecControls[i])) {
                const int nBest = m_vecControls[i].m_pWindow->GetBestSize().y;
                const EControlKind kind = m_vecControls[i].m_kind;
                const bool bButton =
                    kind == EControlKind::PushButton || kind == EControlKind::DefPushButton;
                rc.height = bButton ? std::max(rc.height, nBest) : nBest;
            }
            rects[i] = rc;
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return m_vecControls[a].m_rcDialog.y < m_vecControls[b].m_rcDialog.y;
        });
        const auto contains = [&](std::size_t outer, std::size_t inner) {
            const CRect& o = m_vecControls[outer].m_rcDialog;
            const CRect& i = m_vecControls[inner].m_rcDialog;
            return m_vecControls[outer].m_kind == EControlKind::GroupBox && i.x >= o.x &&
                   i.Right() <= o.Right() && i.y >= o.y && i.Bottom() <= o.Bottom();
        };
        const auto groupBottom = [&](std::size_t g) {
            int nBottom = rects[g].GetBottom();
            for (std::size_t j = 0; j < n; ++j) {
                if (j != g && bPlaced[j] && contains(g, j))
                    nBottom = std::max(nBottom, rects[j].GetBottom() + 2 * kGap + 1);
            }
            return nBottom;
        };
        // How far control i must move down to clear what is placed above it.
        const auto needed = [&](std::size_t i) {
            const wxRect& rc = rects[i];
            int nShift = 0;
            for (std::size_t j = 0; j < n; ++j) {
                if (!bPlaced[j] || contains(j, i) || contains(i, j))
                    continue;
                const wxRect& above = rects[j];
                if (above.GetRight() < rc.x || rc.GetRight() < above.x)
                    continue;
                const bool bGroup = m_vecControls[j].m_kind == EControlKind::GroupBox;
                const int nBottom = bGroup ? groupBottom(j) : above.GetBottom();
                nShift = std::max(nShift, nBottom + kGap - rc.y);
            }
            return nShift;
        };
        std::size_t nRowStart = 0;
        while (nRowStart < n) {
            const int nRowTop = m_vecControls[order[nRowStart]].m_rcDialog.y;
            std::size_t nRowEnd = nRowStart;
            while (nRowEnd < n && m_vecControls[order[nRowEnd]].m_rcDialog.y <= nRowTop + kRowSpan)
                ++nRowEnd;
            int nShift = 0;
            for (std::size_t k = nRowStart; k < nRowEnd; ++k) {
                if (m_vecControls[order[k]].m_kind != EControlKind::UpDown)
                    nShift = std::max(nShift, needed(order[k]));
            }
            for (std::size_t k = nRowStart; k < nRowEnd; ++k) {
                rects[order[k]].y += nShift;
                bPlaced[order[k]] = true;
            }
            nRowStart = nRowEnd;
        }
        // An up-down control sits at its edit's right edge, as tall as the edit.
        for (std::size_t i = 1; i < n; ++i) {
            if (m_vecControls[i].m_kind != EControlKind::UpDown)
                continue;
            const wxRect& buddy = rects[i - 1];
            rects[i].x = buddy.GetRight() + 1;
            rects[i].y = buddy.y;
            rects[i].height = buddy.height;
            rects[i].width = std::max(rects[i].width, m_vecControls[i].m_pWindow->GetBestSize().x);
        }
        int nRight = 0;
        int nBottom = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (m_vecControls[i].m_kind == EControlKind::GroupBox)
                rects[i].height = groupBottom(i) - rects[i].y + 1;
            m_vecControls[i].m_pWindow->SetSize(rects[i]);
            nRight = std::max(nRight, rects[i].GetRight());
            nBottom = std::max(nBottom, rects[i].GetBottom());
        }
        const CRect size = MapDialogRect({0, 0, m_template.m_cx, m_template.m_cy});
        const CRect edge = MapDialogRect({0, 0, 7, 7});
        m_clientSize = wxSize(std::max(stretch(size.cx), nRight + edge.cx),
                              std::max(size.cy, nBottom + edge.cy));
        m_pPanel->SetSize(m_clientSize);
    }

    void OnCharHook(wxKeyEvent& event) {
        const unsigned nKey = VirtualKeyOf(event);
        unsigned nModifiers = KM_NONE;
        if (event.ControlDown())
            nModifiers |= KM_CTRL;
        if (event.ShiftDown())
            nModifiers |= KM_SHIFT;
        if (event.AltDown())
            nModifiers |= KM_ALT;
        // Keys the controls need for themselves go on unless a handler or table wants them.
        if (nKey != 0 && m_events.OnKey(nKey, nModifiers))
            return;
        event.Skip();
    }

    CWxSurface& m_surface;
    const CDialogTemplate& m_template;
    IDialogEvents& m_events;
    wxFrame* m_pFrame = nullptr;
    wxPanel* m_pPanel = nullptr;
    std::vector<CWxControl> m_vecControls;
    std::map<unsigned, bool> m_mapRadio;
    wxSize m_clientSize;
    wxWindow* m_nFirstFocus = nullptr;
    wxGUIEventLoop* m_pLoop = nullptr;
    int m_nDragFrom = wxNOT_FOUND;
    bool m_bEndRequested = false;
    bool m_bLaidOut = false;
};

wxWindow* ActiveParent() {
    if (wxWindow* pActive = wxGetActiveWindow())
        return wxGetTopLevelParent(pActive);
    return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

// The help viewer of wx: HTML help books and text popups.
class CWxHelpViewer : public CHelpViewerBackend {
public:
    bool ShowBook(const std::string& strBookPath) override {
        const wxString path = FromNarrow(strBookPath);
        if (!wxFileName::FileExists(path))
            return false;
        if (!m_pController) {
            m_pController = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
            wxFileSystem::AddHandler(new wxArchiveFSHandler);
        }
        if (m_strLoaded != strBookPath) {
            if (!m_pController->AddBook(wxFileName(path)))
                return false;
            m_strLoaded = strBookPath;
        }
        return m_pController->DisplayContents();
    }
    bool ReadBookFile(const std::string& strBookPath, const std::string& strName,
                      std::string& strText) override {
        static bool s_bHandler = false;
        if (!s_bHandler) {
            wxFileSystem::AddHandler(new wxArchiveFSHandler);
            s_bHandler = true;
        }
        wxFileSystem fs;
        std::unique_ptr<wxFSFile> pFile(
            fs.OpenFile(wxFileSystem::FileNameToURL(wxFileName(FromNarrow(strBookPath))) +
                        "#zip:" + FromNarrow(strName)));
        if (!pFile)
            return false;
        wxInputStream* pStream = pFile->GetStream();
        strText.clear();
        char buf[4096];
        while (pStream->Read(buf, sizeof buf).LastRead() > 0)
            strText.append(buf, pStream->LastRead());
        return true;
    }
    void ShowPopup(const std::string& strText) override {
        if (wxWindow* pParent = ActiveParent())
            new wxTipWindow(pParent, FromNarrow(strText), 320);
    }

private:
    std::unique_ptr<wxHtmlHelpController> m_pController;
    std::string m_strLoaded;
};

CHelpViewerBackend* LoadWxHelpViewer() {
    if (!wxTheApp)
        return nullptr;
    static CWxHelpViewer s_viewer;
    return &s_viewer;
}

} // namespace

void RegisterWxHelpViewer() {
    RegisterHelpViewerLoader(&LoadWxHelpViewer);
}

// ---- surface -------------------------------------------------------------------------

CWxSurface::CWxSurface(ImageSource imageSource) : m_imageSource(std::move(imageSource)) {}

CWxSurface::~CWxSurface() {
    while (m_nWaitDepth > 0) {
        wxEndBusyCursor();
        --m_nWaitDepth;
    }
}

std::unique_ptr<CDialogWindow> CWxSurface::CreateDialogWindow(const CDialogTemplate& dialogTemplate,
                                                              CDialogWindow* pParent,
                                                              IDialogEvents& events) {
    wxWindow* pOwner = nullptr;
    if (auto* pWxParent = dynamic_cast<CWxDialogWindow*>(pParent))
        pOwner = pWxParent->Frame();
    else if (wxTheApp)
        pOwner = wxTheApp->GetTopWindow();
    return std::make_unique<CWxDialogWindow>(*this, dialogTemplate, pOwner, events);
}

EMessageAnswer CWxSurface::MessageBox(std::string_view text, std::string_view caption,
                                      EMessageButtons buttons, EMessageIcon icon) {
    long nStyle = buttons == EMessageButtons::OkCancel ? (wxOK | wxCANCEL) : wxOK;
    switch (icon) {
    case EMessageIcon::Information:
        nStyle |= wxICON_INFORMATION;
        break;
    case EMessageIcon::Exclamation:
        nStyle |= wxICON_EXCLAMATION;
        break;
    case EMessageIcon::Question:
        nStyle |= wxICON_QUESTION;
        break;
    case EMessageIcon::Stop:
        nStyle |= wxICON_ERROR;
        break;
    case EMessageIcon::None:
        nStyle |= wxICON_NONE;
        break;
    }
    const std::string strCaption = caption.empty() ? kModuleName : std::string(caption);
    wxMessageDialog dialog(ActiveParent(), FromNarrow(std::string(text)), FromNarrow(strCaption),
                           nStyle);
    const int nResult = dialog.ShowModal();
    // The dialog answers with wx ids; OK-only boxes always answer OK.
    if (buttons == EMessageButtons::Ok)
        return EMessageAnswer::Ok;
    return nResult == wxID_OK || nResult == wxOK ? EMessageAnswer::Ok : EMessageAnswer::Cancel;
}

CFileDialogResult CWxSurface::RunFileDialog(const CFileDialogRequest& request) {
    wxString wildcard;
    const std::vector<CFilterEntry> entries = ParseFilterString(request.m_strFilter);
    for (const CFilterEntry& entry : entries) {
        if (!wildcard.empty())
            wildcard += '|';
        wildcard += FromNarrow(entry.m_strText) + '|' + FromNarrow(entry.m_strPattern);
    }
    long nStyle = request.m_bOpen ? wxFD_OPEN : wxFD_SAVE;
    if (request.m_bOpen && request.m_bFileMustExist)
        nStyle |= wxFD_FILE_MUST_EXIST;
    if (!request.m_bOpen && request.m_bOverwritePrompt)
        nStyle |= wxFD_OVERWRITE_PROMPT;
    const wxFileName initial(FromNarrow(request.m_strFileName));
    wxFileDialog dialog(ActiveParent(), wxFileSelectorPromptStr, initial.GetPath(),
                        initial.GetFullName(), wildcard, nStyle);
    if (!entries.empty())
        dialog.SetFilterIndex(
            std::clamp(request.m_nFilterIndex, 1, static_cast<int>(entries.size())) - 1);
    CFileDialogResult result;
    if (dialog.ShowModal() != wxID_OK)
        return result;
    result.m_bOk = true;
    result.m_strPath = ToNarrow(dialog.GetPath());
    result.m_nFilterIndex = dialog.GetFilterIndex() + 1;
    return result;
}

void CWxSurface::Beep() {
    wxBell();
}

void CWxSurface::BeginWaitCursor() {
    ++m_nWaitDepth;
    wxBeginBusyCursor();
}

void CWxSurface::EndWaitCursor() {
    if (m_nWaitDepth == 0)
        return;
    --m_nWaitDepth;
    wxEndBusyCursor();
}

void CWxSurface::RestoreWaitCursor() {
    if (m_nWaitDepth > 0)
        wxSetCursor(*wxHOURGLASS_CURSOR);
}

bool CWxSurface::DispatchWaitingMessage(bool& bQuit) {
    bQuit = false;
    if (m_bQuitRequested) {
        m_bQuitRequested = false;
        bQuit = true;
        return true;
    }
    wxEventLoopBase* pLoop = wxEventLoopBase::GetActive();
    if (!pLoop || !pLoop->Pending())
        return false;
    return pLoop->Dispatch();
}

void CWxSurface::PostQuit() {
    // The application's own loop ends as well.
    if (wxTheApp)
        wxTheApp->ExitMainLoop();
}

bool CWxSurface::OnIdle(long) {
    return wxTheApp && wxTheApp->ProcessIdle();
}
