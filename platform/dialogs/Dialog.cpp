#include "platform/dialogs/Dialog.h"

#include <charconv>
#include <cstdio>

CControlHandler::~CControlHandler() = default;

// ---- data exchange -------------------------------------------------------------------

void CDataExchange::Fail(const std::string& strMessage) {
    if (m_bFailed)
        return;
    m_bFailed = true;
    (void)m_dialog.MessageBox(strMessage, {}, EMessageButtons::Ok, EMessageIcon::Exclamation);
    if (m_nLastControl != 0)
        Item(m_nLastControl).SetFocus();
}

CDialogItem CDataExchange::Item(unsigned nId) const {
    return m_dialog.GetDlgItem(nId);
}

std::string IntegerRangeMessage(int nMin, int nMax) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Please enter an integer between %d and %d.", nMin, nMax);
    return buf;
}

std::string MaxCharsMessage(int nMax) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Please enter no more than %d characters.", nMax);
    return buf;
}

void DDX_Text(CDataExchange& dx, unsigned nId, std::string& strValue) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nId);
    if (dx.m_bSaveAndValidate)
        strValue = dx.Item(nId).GetText();
    else
        dx.Item(nId).SetText(strValue);
}

void DDX_Text(CDataExchange& dx, unsigned nId, int& nValue) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nId);
    if (!dx.m_bSaveAndValidate) {
        dx.Item(nId).SetText(std::to_string(nValue));
        return;
    }
    std::string strText = dx.Item(nId).GetText();
    const auto nFirst = strText.find_first_not_of(" \t");
    const auto nLast = strText.find_last_not_of(" \t");
    if (nFirst == std::string::npos) {
        dx.Fail(kIntegerMessage);
        return;
    }
    strText = strText.substr(nFirst, nLast - nFirst + 1);
    const char* pBegin = strText.data();
    if (*pBegin == '+')
        ++pBegin;
    int nParsed = 0;
    const auto [pEnd, ec] = std::from_chars(pBegin, strText.data() + strText.size(), nParsed);
    if (ec != std::errc() || pEnd != strText.data() + strText.size()) {
        dx.Fail(kIntegerMessage);
        return;
    }
    nValue = nParsed;
}

void DDV_MaxChars(CDataExchange& dx, const std::string& strValue, int nMax) {
    if (dx.Failed() || !dx.m_bSaveAndValidate)
        return;
    if (static_cast<long>(strValue.size()) > nMax)
        dx.Fail(MaxCharsMessage(nMax));
}

void DDV_MinMaxInt(CDataExchange& dx, int nValue, int nMin, int nMax) {
    if (dx.Failed() || !dx.m_bSaveAndValidate)
        return;
    if (nValue < nMin || nValue > nMax)
        dx.Fail(IntegerRangeMessage(nMin, nMax));
}

void DDX_Check(CDataExchange& dx, unsigned nId, bool& bValue) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nId);
    if (dx.m_bSaveAndValidate)
        bValue = dx.Item(nId).GetCheck();
    else
        dx.Item(nId).SetCheck(bValue);
}

void DDX_Check(CDataExchange& dx, unsigned nId, int& nValue) {
    bool bValue = nValue != 0;
    DDX_Check(dx, nId, bValue);
    if (dx.m_bSaveAndValidate && !dx.Failed())
        nValue = bValue ? 1 : 0;
}

namespace {

// The ids of the radio group that starts at nFirstId, in template order.
std::vector<unsigned> RadioGroup(const CDialogTemplate& dialogTemplate, unsigned nFirstId) {
    std::vector<unsigned> ids;
    bool bInGroup = false;
    for (const CControlTemplate& control : dialogTemplate.m_controls) {
        if (!bInGroup) {
            bInGroup = control.m_nId == nFirstId;
        } else if ((control.m_nStyle & CS_GROUP) || control.m_kind != EControlKind::Radio) {
            break;
        }
        if (bInGroup)
            ids.push_back(control.m_nId);
    }
    return ids;
}

} // namespace

void DDX_Radio(CDataExchange& dx, unsigned nFirstId, int& nIndex) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nFirstId);
    const std::vector<unsigned> ids = RadioGroup(dx.m_dialog.GetTemplate(), nFirstId);
    if (dx.m_bSaveAndValidate) {
        nIndex = -1;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (dx.Item(ids[i]).GetCheck()) {
                nIndex = static_cast<int>(i);
                break;
            }
        }
        return;
    }
    for (std::size_t i = 0; i < ids.size(); ++i)
        dx.Item(ids[i]).SetCheck(static_cast<int>(i) == nIndex);
}

void DDX_DateTime(CDataExchange& dx, unsigned nId, CDateValue& date) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nId);
    if (dx.m_bSaveAndValidate)
        date = dx.Item(nId).GetDate();
    else
        dx.Item(nId).SetDate(date);
}

void DDX_CBString(CDataExchange& dx, unsigned nId, std::string& strValue) {
    DDX_Text(dx, nId, strValue);
}

void DDX_Index(CDataExchange& dx, unsigned nId, int& nIndex) {
    if (dx.Failed())
        return;
    dx.PrepareControl(nId);
    if (dx.m_bSaveAndValidate)
        nIndex = dx.Item(nId).GetCurSel();
    else
        dx.Item(nId).SetCurSel(nIndex);
}

// ---- the dialog ----------------------------------------------------------------------

CDialog::CDialog(const CDialogTemplate& dialogTemplate, CDialog* pParent)
    : m_template(dialogTemplate), m_pParent(pParent) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    m_bEnded = false;
    m_nResult = IDCANCEL;
    CDialogWindow* pParentWindow = m_pParent ? m_pParent->GetWindow() : nullptr;
    m_pWindow = GetDialogSurface().CreateDialogWindow(m_template, pParentWindow, *this);
    if (!m_pWindow)
        return -1;
    if (OnInitDialog()) {
        for (const CControlTemplate& control : m_template.m_controls) {
            if ((control.m_nStyle & (CS_HIDDEN | CS_DISABLED)) == 0 &&
                control.m_nId != IDC_STATIC && control.m_kind != EControlKind::GroupBox &&
                control.m_kind != EControlKind::Static && GetDlgItem(control.m_nId).IsEnabled()) {
                m_pWindow->SetFocus(control.m_nId);
                break;
            }
        }
    }
    if (!m_bEnded)
        m_pWindow->RunModal();
    m_mapHandlers.clear();
    m_pWindow.reset();
    return m_nResult;
}

void CDialog::EndDialog(int nResult) {
    m_nResult = nResult;
    m_bEnded = true;
    if (m_pWindow)
        m_pWindow->EndModal();
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
    if (!m_pWindow)
        return false;
    CDataExchange dx(*this, bSaveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

bool CDialog::OnInitDialog() {
    (void)UpdateData(false);
    return true;
}

bool CDialog::OnCommand(unsigned nId, ENotify code) {
    if (code != ENotify::Clicked && code != ENotify::Menu && code != ENotify::Accelerator)
        return false;
    if (nId == IDOK) {
        OnOK();
        return true;
    }
    if (nId == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

void CDialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::PreTranslateKey(unsigned nKey, unsigned nModifiers) {
    for (const CAccelerator& accel : m_vecAccelerators) {
        if (accel.m_nKey == nKey && accel.m_nModifiers == nModifiers) {
            OnNotify(accel.m_nCommand, ENotify::Accelerator);
            return true;
        }
    }
    return false;
}

void CDialog::SetMenu(CMenu menu) {
    m_pMenu = std::make_unique<CMenu>(std::move(menu));
    DrawMenuBar();
}

void CDialog::DrawMenuBar() {
    if (m_pWindow)
        m_pWindow->SetMenuBar(m_pMenu.get());
}

void CDialog::LoadAccelerators(const CAcceleratorTable& table) {
    m_vecAccelerators.assign(table.m_entries.begin(), table.m_entries.end());
}

unsigned CDialog::TrackPopupMenu(const CMenu& menu, int x, int y, bool bAlignRight) {
    return m_pWindow ? m_pWindow->TrackPopupMenu(menu, x, y, bAlignRight) : 0;
}

void CDialog::SubclassControl(unsigned nId, CControlHandler& handler) {
    m_mapHandlers[nId] = &handler;
    handler.OnAttach(*this, nId);
}

EMessageAnswer CDialog::MessageBox(std::string_view text, std::string_view caption,
                                   EMessageButtons buttons, EMessageIcon icon) {
    return GetDialogSurface().MessageBox(text, caption, buttons, icon);
}

CControlHandler* CDialog::FindHandler(unsigned nId) const {
    const auto it = m_mapHandlers.find(nId);
    return it == m_mapHandlers.end() ? nullptr : it->second;
}

unsigned CDialog::DefaultButton() const {
    for (const CControlTemplate& control : m_template.m_controls) {
        if (control.m_kind == EControlKind::DefPushButton)
            return control.m_nId;
    }
    return IDOK;
}

void CDialog::OnNotify(unsigned nId, ENotify code) {
    if (code == ENotify::SetFocus || code == ENotify::KillFocus) {
        if (CControlHandler* pHandler = FindHandler(nId)) {
            if (code == ENotify::SetFocus)
                pHandler->OnSetFocus();
            else
                pHandler->OnKillFocus();
        }
    }
    // A disabled control or menu item sends nothing.
    if (code == ENotify::Clicked && m_pWindow && m_pWindow->HasControl(nId) &&
        !m_pWindow->IsEnabled(nId))
        return;
    if (code == ENotify::Menu && m_pMenu) {
        const CMenu::CItem* pItem = m_pMenu->FindCommand(nId);
        if (pItem && pItem->m_bGrayed)
            return;
    }
    (void)OnCommand(nId, code);
}

bool CDialog::OnKey(unsigned nKey, unsigned nModifiers) {
    if (PreTranslateKey(nKey, nModifiers))
        return true;
    if (!m_pWindow)
        return false;
    const unsigned nFocus = m_pWindow->GetFocus();
    if (nModifiers == KM_NONE) {
        if (CControlHandler* pHandler = FindHandler(nFocus); pHandler && pHandler->OnKeyDown(nKey))
            return true;
    }
    if (nKey == VK_F1 && nModifiers == KM_NONE) {
        OnHelp(nFocus);
        return true;
    }
    if (nKey == VK_ESCAPE && nModifiers == KM_NONE) {
        OnNotify(IDCANCEL, ENotify::Clicked);
        return true;
    }
    if (nKey == VK_RETURN && nModifiers == KM_NONE) {
        if (nFocus != 0 && m_pWindow->HasControl(nFocus)) {
            const EControlKind kind = m_pWindow->GetKind(nFocus);
            if (kind == EControlKind::PushButton || kind == EControlKind::DefPushButton ||
                kind == EControlKind::OwnerDrawButton) {
                OnNotify(nFocus, ENotify::Clicked);
                return true;
            }
            if (kind == EControlKind::Edit && (m_pWindow->GetStyle(nFocus) & CS_MULTILINE) &&
                !(m_pWindow->GetStyle(nFocus) & CS_READONLY))
                return false;
        }
        const unsigned nDefault = DefaultButton();
        if (m_pWindow->HasControl(nDefault) && !m_pWindow->IsEnabled(nDefault))
            return true;
        OnNotify(nDefault, ENotify::Clicked);
        return true;
    }
    return false;
}

void CDialog::OnMouseEnter(unsigned nId) {
    if (CControlHandler* pHandler = FindHandler(nId))
        pHandler->OnMouseEnter();
}

void CDialog::OnMouseLeave(unsigned nId) {
    if (CControlHandler* pHandler = FindHandler(nId))
        pHandler->OnMouseLeave();
}

void CDialog::OnButtonDown(unsigned nId) {
    if (CControlHandler* pHandler = FindHandler(nId))
        pHandler->OnButtonDown();
}

void CDialog::OnButtonUp(unsigned nId) {
    if (CControlHandler* pHandler = FindHandler(nId))
        pHandler->OnButtonUp();
}

bool CDialog::OnControlKey(unsigned nId, unsigned nKey) {
    CControlHandler* pHandler = FindHandler(nId);
    return pHandler && pHandler->OnKeyDown(nKey);
}

void CDialog::OnDrawItem(unsigned nId, CDrawContext& dc, unsigned nState) {
    if (CControlHandler* pHandler = FindHandler(nId)) {
        pHandler->OnDraw(dc, nState);
        return;
    }
    // An owner-drawn button nobody draws looks like a plain button.
    const CRect rc = dc.GetClientRect();
    if (!dc.IsThemed() || !dc.DrawThemedButton(rc, nState))
        dc.DrawClassicButton(rc, (nState & DRAW_SELECTED) != 0);
    dc.DrawText(GetDlgItemText(nId), rc, (nState & DRAW_DISABLED) != 0);
}
