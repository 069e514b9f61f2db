#include "platform/dialogs/HeadlessSurface.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string RectText(const CRect& rc) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d %dx%d", rc.x, rc.y, rc.cx, rc.cy);
    return buf;
}

bool IsList(EControlKind kind) {
    return kind == EControlKind::ListBox || kind == EControlKind::DropList ||
           kind == EControlKind::DropCombo;
}

bool IsButton(EControlKind kind) {
    return kind == EControlKind::PushButton || kind == EControlKind::DefPushButton ||
           kind == EControlKind::OwnerDrawButton;
}

} // namespace

// ---- drawing -------------------------------------------------------------------------

bool CHeadlessDrawContext::DrawThemedButton(const CRect& rc, unsigned nState) {
    if (!m_bThemed)
        return false;
    m_vecCalls.push_back("themed " + RectText(rc) + " state " + std::to_string(nState));
    return true;
}

void CHeadlessDrawContext::DrawClassicButton(const CRect& rc, bool bPushed) {
    m_vecCalls.push_back("classic " + RectText(rc) + (bPushed ? " pushed" : ""));
}

void CHeadlessDrawContext::DrawIcon(unsigned nIcon, int x, int y, int cx, int cy, bool bDisabled) {
    m_vecCalls.push_back("icon " + std::to_string(nIcon) + " " + RectText({x, y, cx, cy}) +
                         (bDisabled ? " disabled" : ""));
}

void CHeadlessDrawContext::DrawText(std::string_view text, const CRect& rc, bool bDisabled) {
    m_vecCalls.push_back("text " + std::string(text) + " " + RectText(rc) +
                         (bDisabled ? " disabled" : ""));
}

void CHeadlessDrawContext::DrawFocusRect(const CRect& rc) {
    m_vecCalls.push_back("focus " + RectText(rc));
}

void CHeadlessDrawContext::DrawArrow(const CRect& rc, bool bDisabled) {
    m_vecCalls.push_back("arrow " + RectText(rc) + (bDisabled ? " disabled" : ""));
}

// ---- window --------------------------------------------------------------------------

CHeadlessWindow::CHeadlessWindow(CHeadlessSurface& surface, const CDialogTemplate& dialogTemplate,
                                 IDialogEvents& events)
    : m_surface(surface), m_template(dialogTemplate), m_events(events),
      m_strTitle(dialogTemplate.m_pszTitle) {
    m_rcClient = MapDialogRect({0, 0, dialogTemplate.m_cx, dialogTemplate.m_cy});
    for (const CControlTemplate& item : dialogTemplate.m_controls) {
        CHeadlessControl control;
        control.m_nId = item.m_nId;
        control.m_kind = item.m_kind;
        control.m_nStyle = item.m_nStyle;
        control.m_strText = item.m_pszText ? item.m_pszText : "";
        control.m_rc = MapDialogRect(item.m_rc);
        // A drop-down list's template height is that of its open list; the window itself
        // is as high as its closed selection field.
        if (item.m_kind == EControlKind::DropList || item.m_kind == EControlKind::DropCombo)
            control.m_rc.cy = kDropDownHeight;
        control.m_bVisible = (item.m_nStyle & CS_HIDDEN) == 0;
        control.m_bEnabled = (item.m_nStyle & CS_DISABLED) == 0;
        control.m_nImage = item.m_nImage;
        if (item.m_kind == EControlKind::UpDown) {
            control.m_nLower = 0;
            control.m_nUpper = 100;
        }
        m_vecControls.push_back(std::move(control));
    }
}

CHeadlessWindow::~CHeadlessWindow() {
    auto& open = m_surface.m_vecOpen;
    open.erase(std::remove(open.begin(), open.end(), this), open.end());
}

CHeadlessControl* CHeadlessWindow::Find(unsigned nId) {
    if (nId == 0 || nId == IDC_STATIC)
        return nullptr;
    for (CHeadlessControl& control : m_vecControls) {
        if (control.m_nId == nId)
            return &control;
    }
    return nullptr;
}

const CHeadlessControl* CHeadlessWindow::Find(unsigned nId) const {
    return const_cast<CHeadlessWindow*>(this)->Find(nId);
}

const CHeadlessControl* CHeadlessWindow::Control(unsigned nId) const {
    return Find(nId);
}

void CHeadlessWindow::Click(unsigned nId) {
    CHeadlessControl* pControl = Find(nId);
    if (pControl && (!pControl->m_bEnabled || !pControl->m_bVisible))
        return;
    if (pControl) {
        Focus(nId);
        if (pControl->m_kind == EControlKind::CheckBox) {
            pControl->m_bChecked = !pControl->m_bChecked;
        } else if (pControl->m_kind == EControlKind::Radio) {
            // Clear the group: back to its first radio, on to the next group.
            auto it = std::find_if(m_vecControls.begin(), m_vecControls.end(),
                                   [&](const CHeadlessControl& c) { return &c == pControl; });
            auto first = it;
            while (first != m_vecControls.begin() && !(first->m_nStyle & CS_GROUP) &&
                   std::prev(first)->m_kind == EControlKind::Radio)
                --first;
            for (auto at = first; at != m_vecControls.end() && at->m_kind == EControlKind::Radio;
                 ++at) {
                if (at != first && (at->m_nStyle & CS_GROUP))
                    break;
                at->m_bChecked = false;
            }
            pControl->m_bChecked = true;
        }
    }
    m_events.OnNotify(nId, ENotify::Clicked);
}

void CHeadlessWindow::Type(unsigned nId, const std::string& strText) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || !pControl->m_bEnabled || (pControl->m_nStyle & CS_READONLY))
        return;
    Focus(nId);
    std::string strValue = strText;
    if (pControl->m_nStyle & CS_NUMBER)
        std::erase_if(strValue, [](char c) { return c < '0' || c > '9'; });
    pControl->m_strText = strValue;
    m_events.OnNotify(nId, ENotify::EditChange);
}

void CHeadlessWindow::Select(unsigned nId, int nIndex) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || !pControl->m_bEnabled)
        return;
    Focus(nId);
    SetCurSel(nId, nIndex);
    m_events.OnNotify(nId, ENotify::SelChange);
}

void CHeadlessWindow::Focus(unsigned nId) {
    if (m_nFocus == nId)
        return;
    const unsigned nOld = m_nFocus;
    m_nFocus = nId;
    if (nOld != 0)
        m_events.OnNotify(nOld, ENotify::KillFocus);
    if (nId != 0)
        m_events.OnNotify(nId, ENotify::SetFocus);
}

bool CHeadlessWindow::PickMenu(unsigned nId) {
    if (!m_pMenu)
        return false;
    const CMenu::CItem* pItem = m_pMenu->FindCommand(nId);
    if (!pItem || pItem->m_bGrayed)
        return false;
    m_events.OnNotify(nId, ENotify::Menu);
    return true;
}

void CHeadlessWindow::PressKey(unsigned nKey, unsigned nModifiers) {
    if (m_events.OnKey(nKey, nModifiers))
        return;
    const CHeadlessControl* pFocus = Find(m_nFocus);
    if (nKey == VK_SPACE && pFocus &&
        (IsButton(pFocus->m_kind) || pFocus->m_kind == EControlKind::CheckBox ||
         pFocus->m_kind == EControlKind::Radio))
        Click(m_nFocus);
    else if (nModifiers == KM_NONE && pFocus)
        (void)m_events.OnControlKey(m_nFocus, nKey);
}

void CHeadlessWindow::Resize(int cxClient, int cyClient) {
    m_rcClient.cx = cxClient;
    m_rcClient.cy = cyClient;
    m_events.OnSize(cxClient, cyClient);
}

void CHeadlessWindow::ButtonDown(unsigned nId) {
    m_events.OnButtonDown(nId);
}

void CHeadlessWindow::ButtonUp(unsigned nId) {
    m_events.OnButtonUp(nId);
}

void CHeadlessWindow::DragItem(unsigned nId, int nFrom, int nTo) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || !(pControl->m_nStyle & CS_DRAGLIST))
        return;
    auto& items = pControl->m_vecItems;
    const int nCount = static_cast<int>(items.size());
    if (nFrom < 0 || nFrom >= nCount || nTo < 0 || nTo >= nCount || nFrom == nTo)
        return;
    CHeadlessControl::CItem item = items[static_cast<std::size_t>(nFrom)];
    items.erase(items.begin() + nFrom);
    items.insert(items.begin() + nTo, std::move(item));
    pControl->m_nCurSel = nTo;
    m_events.OnNotify(nId, ENotify::SelChange);
}

std::vector<std::string> CHeadlessWindow::Draw(unsigned nId, unsigned nState, bool bThemed) {
    const CHeadlessControl* pControl = Find(nId);
    if (!pControl)
        return {};
    CHeadlessDrawContext dc({0, 0, pControl->m_rc.cx, pControl->m_rc.cy}, bThemed);
    m_events.OnDrawItem(nId, dc, nState);
    return dc.m_vecCalls;
}

void CHeadlessWindow::RunModal() {
    m_surface.RunScript(*this);
}

void CHeadlessWindow::SetMenuBar(const CMenu* pMenu) {
    if (pMenu)
        m_pMenu = *pMenu;
    else
        m_pMenu.reset();
}

void CHeadlessWindow::SetClientSize(int cx, int cy) {
    m_rcClient.cx = cx;
    m_rcClient.cy = cy;
}

CRect CHeadlessWindow::MapDialogRect(const CRect& rc) const {
    return {rc.x * kBaseX / 4, rc.y * kBaseY / 8, rc.cx * kBaseX / 4, rc.cy * kBaseY / 8};
}

EControlKind CHeadlessWindow::GetKind(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_kind : EControlKind::Static;
}

std::uint32_t CHeadlessWindow::GetStyle(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_nStyle : 0;
}

void CHeadlessWindow::SetText(unsigned nId, const std::string& strText) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_strText = strText;
}

std::string CHeadlessWindow::GetText(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    if (!pControl)
        return {};
    if (pControl->m_kind == EControlKind::DropList)
        return GetItemText(nId, pControl->m_nCurSel);
    return pControl->m_strText;
}

void CHeadlessWindow::SetCheck(unsigned nId, bool bCheck) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_bChecked = bCheck;
}

bool CHeadlessWindow::GetCheck(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl && pControl->m_bChecked;
}

void CHeadlessWindow::Enable(unsigned nId, bool bEnable) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_bEnabled = bEnable;
}

bool CHeadlessWindow::IsEnabled(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl && pControl->m_bEnabled;
}

void CHeadlessWindow::Show(unsigned nId, bool bShow) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_bVisible = bShow;
}

bool CHeadlessWindow::IsVisible(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl && pControl->m_bVisible;
}

CRect CHeadlessWindow::GetRect(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_rc : CRect{};
}

void CHeadlessWindow::SetRect(unsigned nId, const CRect& rc) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_rc = rc;
}

void CHeadlessWindow::SetFocus(unsigned nId) {
    if (HasControl(nId))
        Focus(nId);
}

void CHeadlessWindow::ResetContent(unsigned nId) {
    if (CHeadlessControl* pControl = Find(nId)) {
        pControl->m_vecItems.clear();
        pControl->m_nCurSel = -1;
    }
}

int CHeadlessWindow::AddItem(unsigned nId, const std::string& strText, std::uint32_t nData) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || !IsList(pControl->m_kind))
        return -1;
    auto& items = pControl->m_vecItems;
    auto at = items.end();
    if (pControl->m_nStyle & CS_SORT) {
        // Case-blind order, as the platform's sorted lists keep it.
        const auto lower = [](std::string s) {
            for (char& c : s)
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            return s;
        };
        const std::string key = lower(strText);
        at = std::find_if(items.begin(), items.end(), [&](const CHeadlessControl::CItem& item) {
            return lower(item.m_strText) > key;
        });
    }
    const int nIndex = static_cast<int>(at - items.begin());
    if (pControl->m_nCurSel >= nIndex)
        ++pControl->m_nCurSel;
    items.insert(at, {strText, nData});
    return nIndex;
}

int CHeadlessWindow::InsertItem(unsigned nId, int nIndex, const std::string& strText,
                                std::uint32_t nData) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || !IsList(pControl->m_kind))
        return -1;
    auto& items = pControl->m_vecItems;
    if (nIndex < 0 || nIndex > static_cast<int>(items.size()))
        nIndex = static_cast<int>(items.size());
    if (pControl->m_nCurSel >= nIndex)
        ++pControl->m_nCurSel;
    items.insert(items.begin() + nIndex, {strText, nData});
    return nIndex;
}

bool CHeadlessWindow::DeleteItem(unsigned nId, int nIndex) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || nIndex < 0 || nIndex >= static_cast<int>(pControl->m_vecItems.size()))
        return false;
    pControl->m_vecItems.erase(pControl->m_vecItems.begin() + nIndex);
    if (pControl->m_nCurSel == nIndex)
        pControl->m_nCurSel = -1;
    else if (pControl->m_nCurSel > nIndex)
        --pControl->m_nCurSel;
    return true;
}

int CHeadlessWindow::GetCount(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? static_cast<int>(pControl->m_vecItems.size()) : 0;
}

std::string CHeadlessWindow::GetItemText(unsigned nId, int nIndex) const {
    const CHeadlessControl* pControl = Find(nId);
    if (!pControl || nIndex < 0 || nIndex >= static_cast<int>(pControl->m_vecItems.size()))
        return {};
    return pControl->m_vecItems[static_cast<std::size_t>(nIndex)].m_strText;
}

std::uint32_t CHeadlessWindow::GetItemData(unsigned nId, int nIndex) const {
    const CHeadlessControl* pControl = Find(nId);
    if (!pControl || nIndex < 0 || nIndex >= static_cast<int>(pControl->m_vecItems.size()))
        return 0;
    return pControl->m_vecItems[static_cast<std::size_t>(nIndex)].m_nData;
}

void CHeadlessWindow::SetItemData(unsigned nId, int nIndex, std::uint32_t nData) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl || nIndex < 0 || nIndex >= static_cast<int>(pControl->m_vecItems.size()))
        return;
    pControl->m_vecItems[static_cast<std::size_t>(nIndex)].m_nData = nData;
}

int CHeadlessWindow::GetCurSel(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_nCurSel : -1;
}

void CHeadlessWindow::SetCurSel(unsigned nId, int nIndex) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl)
        return;
    const bool bValid = nIndex >= 0 && nIndex < static_cast<int>(pControl->m_vecItems.size());
    pControl->m_nCurSel = bValid ? nIndex : -1;
    if (bValid && pControl->m_kind == EControlKind::DropCombo)
        pControl->m_strText = pControl->m_vecItems[static_cast<std::size_t>(nIndex)].m_strText;
}

void CHeadlessWindow::SetRange(unsigned nId, int nLower, int nUpper) {
    if (CHeadlessControl* pControl = Find(nId)) {
        pControl->m_nLower = nLower;
        pControl->m_nUpper = nUpper;
    }
}

void CHeadlessWindow::SetPos(unsigned nId, int nPos) {
    CHeadlessControl* pControl = Find(nId);
    if (!pControl)
        return;
    const int nLow = std::min(pControl->m_nLower, pControl->m_nUpper);
    const int nHigh = std::max(pControl->m_nLower, pControl->m_nUpper);
    pControl->m_nPos = std::clamp(nPos, nLow, nHigh);
    if (pControl->m_kind == EControlKind::UpDown)
        UpdateBuddy(*pControl);
}

int CHeadlessWindow::GetPos(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_nPos : 0;
}

void CHeadlessWindow::UpdateBuddy(const CHeadlessControl& upDown) {
    if (!(upDown.m_nStyle & CS_BUDDYINT))
        return;
    // The buddy is the control before the up-down control in the template.
    const auto it = std::find_if(m_vecControls.begin(), m_vecControls.end(),
                                 [&](const CHeadlessControl& c) { return &c == &upDown; });
    if (it == m_vecControls.begin() || it == m_vecControls.end())
        return;
    std::prev(it)->m_strText = std::to_string(upDown.m_nPos);
}

void CHeadlessWindow::SetDate(unsigned nId, const CDateValue& date) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_date = date;
}

CDateValue CHeadlessWindow::GetDate(unsigned nId) const {
    const CHeadlessControl* pControl = Find(nId);
    return pControl ? pControl->m_date : CDateValue{};
}

void CHeadlessWindow::SetImage(unsigned nId, unsigned nImage, int cx, int cy) {
    if (CHeadlessControl* pControl = Find(nId)) {
        pControl->m_nImage = nImage;
        pControl->m_cxImage = cx;
        pControl->m_cyImage = cy;
        ++pControl->m_nRedraws;
    }
}

void CHeadlessWindow::SetTextColour(unsigned nId, const CColour& colour) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_textColour = colour;
}

void CHeadlessWindow::SetUnderline(unsigned nId, bool bUnderline) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_bUnderline = bUnderline;
}

void CHeadlessWindow::SetHandCursor(unsigned nId, bool bHand) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_bHandCursor = bHand;
}

void CHeadlessWindow::SetToolTip(unsigned nId, const std::string& strTip) {
    if (CHeadlessControl* pControl = Find(nId))
        pControl->m_strToolTip = strTip;
}

CRect CHeadlessWindow::MeasureText(unsigned, const std::string& strText) const {
    // The average character of the default font.
    return {0, 0, static_cast<int>(strText.size()) * kBaseX, kBaseY};
}

void CHeadlessWindow::Invalidate(unsigned nId) {
    if (CHeadlessControl* pControl = Find(nId))
        ++pControl->m_nRedraws;
}

unsigned CHeadlessWindow::TrackPopupMenu(const CMenu& menu, int x, int y, bool bAlignRight) {
    m_surface.m_vecPopups.push_back(menu);
    m_surface.m_vecPopupPlaces.push_back({x, y, bAlignRight});
    if (m_surface.m_quePopups.empty())
        return 0;
    const unsigned nCommand = m_surface.m_quePopups.front();
    m_surface.m_quePopups.pop_front();
    return nCommand;
}

// ---- surface -------------------------------------------------------------------------

CHeadlessSurface::CHeadlessSurface() = default;
CHeadlessSurface::~CHeadlessSurface() = default;

void CHeadlessSurface::ScriptFile(const std::string& strPath, int nFilterIndex) {
    CFileDialogResult result;
    result.m_bOk = true;
    result.m_strPath = strPath;
    result.m_nFilterIndex = nFilterIndex;
    m_queFiles.push_back(std::move(result));
}

void CHeadlessSurface::ScriptFileCancel() {
    m_queFiles.push_back(CFileDialogResult{});
}

std::unique_ptr<CDialogWindow>
CHeadlessSurface::CreateDialogWindow(const CDialogTemplate& dialogTemplate, CDialogWindow* pParent,
                                     IDialogEvents& events) {
    auto pWindow = std::make_unique<CHeadlessWindow>(*this, dialogTemplate, events);
    pWindow->m_pParent = dynamic_cast<CHeadlessWindow*>(pParent);
    m_vecOpen.push_back(pWindow.get());
    return pWindow;
}

void CHeadlessSurface::RunScript(CHeadlessWindow& window) {
    while (!window.m_bEnded) {
        if (m_queActions.empty()) {
            ++m_nUnscriptedCloses;
            window.Close();
            // A dialog that refuses to close ends all the same, so that a run never hangs.
            if (!window.m_bEnded)
                window.m_bEnded = true;
            break;
        }
        CAction action = std::move(m_queActions.front());
        m_queActions.pop_front();
        action(window);
    }
}

EMessageAnswer CHeadlessSurface::MessageBox(std::string_view text, std::string_view caption,
                                            EMessageButtons buttons, EMessageIcon icon) {
    m_vecShown.push_back({std::string(text), buttons, icon,
                          caption.empty() ? std::string(kModuleName) : std::string(caption)});
    EMessageAnswer answer = EMessageAnswer::Ok;
    if (!m_queAnswers.empty()) {
        answer = m_queAnswers.front();
        m_queAnswers.pop_front();
    }
    if (buttons == EMessageButtons::Ok)
        answer = EMessageAnswer::Ok;
    return answer;
}

CFileDialogResult CHeadlessSurface::RunFileDialog(const CFileDialogRequest& request) {
    m_vecFileRequests.push_back(request);
    if (m_queFiles.empty())
        return {};
    CFileDialogResult result = m_queFiles.front();
    m_queFiles.pop_front();
    if (result.m_bOk && result.m_nFilterIndex == 0)
        result.m_nFilterIndex = request.m_nFilterIndex;
    return result;
}

bool CHeadlessSurface::DispatchWaitingMessage(bool& bQuit) {
    bQuit = false;
    // One pump asks until no message waits: the first ask of a pump counts it.
    if (m_bDispatchedThisPump) {
        m_bDispatchedThisPump = false;
        return false;
    }
    ++m_nPumps;
    if (m_bQuitPosted || (m_nPumpsUntilQuit >= 0 && m_nPumps > m_nPumpsUntilQuit)) {
        m_bQuitPosted = false;
        bQuit = true;
        return true;
    }
    m_bDispatchedThisPump = true;
    return true;
}

// ---- the process's surface -----------------------------------------------------------

namespace {

// The installed surface and user services; module state of the user interface.
CDialogSurface* g_pSurface = nullptr;
CUserServices* g_pServices = nullptr;

CHeadlessSurface& DefaultSurface() {
    static CHeadlessSurface s_surface;
    return s_surface;
}

} // namespace

CDialogSurface& GetDialogSurface() {
    return g_pSurface ? *g_pSurface : static_cast<CDialogSurface&>(DefaultSurface());
}

void SetDialogSurface(CDialogSurface* pSurface) {
    g_pSurface = pSurface;
    g_pServices = pSurface;
}

CUserServices& GetUserServices() {
    return g_pServices ? *g_pServices : static_cast<CUserServices&>(DefaultSurface());
}

void SetUserServices(CUserServices* pServices) {
    g_pServices = pServices;
}
