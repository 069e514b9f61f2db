#include "ui/HyperLink.h"

#include "platform/registry/Registry.h"
#include "platform/shell/ShellOpen.h"

#include <cstdio>

namespace {

// Registry strings are read into buffers of 260 bytes: a longer value fails.
constexpr std::size_t kMaxRegString = 259;

bool ReadDefaultValue(const std::string& strPath, std::string& strValue) {
    CRegKey key;
    if (key.Open(ERegHive::ClassesRoot, strPath) != REG_STATUS_OK)
        return false;
    if (key.QueryString("", strValue) != REG_STATUS_OK || strValue.size() > kMaxRegString)
        return false;
    return true;
}

} // namespace

CColour CHyperLink::GetTextColour() const {
    if (m_bHover && (m_nFlags & HLINK_HOVER_COLOUR))
        return kHoverColour;
    if (m_bActive && !(m_nFlags & HLINK_NO_FOCUS_COLOUR))
        return kFocusColour;
    return m_bVisited ? kVisitedColour : kLinkColour;
}

CDialogItem CHyperLink::Item() const {
    return m_pDialog ? m_pDialog->GetDlgItem(m_nId) : CDialogItem(nullptr, 0);
}

void CHyperLink::Redraw() {
    if (CDialogWindow* pWindow = m_pDialog ? m_pDialog->GetWindow() : nullptr) {
        pWindow->SetTextColour(m_nId, GetTextColour());
        pWindow->Invalidate(m_nId);
    }
}

void CHyperLink::OnAttach(CDialog& dialog, unsigned nId) {
    m_pDialog = &dialog;
    m_nId = nId;
    CDialogWindow* pWindow = dialog.GetWindow();
    if (!pWindow)
        return;
    const std::string strText = pWindow->GetText(nId);
    if (m_strTarget.empty())
        m_strTarget = strText;
    if (strText.empty())
        pWindow->SetText(nId, m_strTarget);
    pWindow->SetUnderline(nId, (m_nFlags & HLINK_UNDERLINE) != 0);
    if (m_nFlags & HLINK_AUTOSIZE)
        FitToText();
    pWindow->SetHandCursor(nId, !(m_nFlags & HLINK_NO_HAND_CURSOR));
    pWindow->SetToolTip(nId, m_strTarget);
    Redraw();
}

void CHyperLink::FitToText() {
    CDialogWindow* pWindow = m_pDialog->GetWindow();
    const CRect rcOld = pWindow->GetRect(m_nId);
    const CRect extent = pWindow->MeasureText(m_nId, pWindow->GetText(m_nId));
    const std::uint32_t nStyle = pWindow->GetStyle(m_nId);
    CRect rc{rcOld.x, rcOld.y, extent.cx, extent.cy};
    if (nStyle & CS_CENTERIMAGE)
        rc.y = rcOld.y + (rcOld.cy - extent.cy) / 2;
    if (nStyle & CS_CENTER)
        rc.x = rcOld.x + (rcOld.cx - extent.cx) / 2;
    else if (nStyle & CS_RIGHT)
        rc.x = rcOld.Right() - extent.cx;
    pWindow->SetRect(m_nId, rc);
}

void CHyperLink::OnMouseEnter() {
    m_bHover = true;
    Redraw();
}

void CHyperLink::OnMouseLeave() {
    m_bHover = false;
    Redraw();
}

void CHyperLink::OnButtonDown() {
    if (m_nFlags & HLINK_FOCUS_ON_CLICK)
        Item().SetFocus();
    if (m_nFlags & HLINK_DOWN_CLICK)
        (void)FollowLink();
    m_bActive = true;
    Redraw();
}

void CHyperLink::OnButtonUp() {
    if (m_bActive && !(m_nFlags & HLINK_DOWN_CLICK))
        (void)FollowLink();
}

bool CHyperLink::OnKeyDown(unsigned nKey) {
    if (nKey != VK_SPACE)
        return false;
    (void)FollowLink();
    return true;
}

void CHyperLink::OnSetFocus() {
    m_bActive = true;
    Redraw();
}

void CHyperLink::OnKillFocus() {
    m_bHover = false;
    m_bActive = false;
    Redraw();
}

int CHyperLink::FollowLink() {
    int nResult = ShellOpen(m_strTarget);
    if (nResult <= 32) {
        // The browser registered for web pages: HKCR\.htm names a class whose
        // shell\open\command runs it.
        std::string strClass;
        std::string strCommand;
        if (ReadDefaultValue(".htm", strClass) &&
            ReadDefaultValue(strClass + "\\shell\\open\\command", strCommand)) {
            auto nAt = strCommand.find("\"%1\"");
            if (nAt == std::string::npos)
                nAt = strCommand.find("%1");
            if (nAt != std::string::npos)
                strCommand.erase(nAt);
            // The target is one argument, also when it holds blanks.
            const bool bQuote = m_strTarget.find_first_of(" \t") != std::string::npos;
            strCommand += ' ';
            strCommand += bQuote ? '"' + m_strTarget + '"' : m_strTarget;
            nResult = RunCommandLine(strCommand);
        }
    }
    if (nResult > 32) {
        m_bVisited = true;
        Redraw();
        return nResult;
    }
    GetDialogSurface().Beep();
    if (m_pDialog)
        (void)m_pDialog->MessageBox(ResultMessage(nResult), {}, EMessageButtons::Ok,
                                    EMessageIcon::Exclamation);
    return nResult;
}

std::string CHyperLink::ResultMessage(int nResult) {
    const char* pszText = nullptr;
    switch (nResult) {
    case 0:
        pszText = "The operating system is out\nof memory or resources.";
        break;
    case 2:
        pszText = "The specified file was not found.";
        break;
    case 3:
        pszText = "The specified path was not found.";
        break;
    case 5:
        pszText = "The operating system denied\naccess to the specified file.";
        break;
    case 8:
        pszText = "There was not enough memory to complete the operation.";
        break;
    case 11:
        pszText = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        break;
    case 26:
        pszText = "A sharing violation occurred. ";
        break;
    case 27:
        pszText = "The filename association is\nincomplete or invalid.";
        break;
    case 28:
        pszText = "The DDE transaction could not\nbe completed because the request timed out.";
        break;
    case 29:
        pszText = "The DDE transaction failed.";
        break;
    case 30:
        pszText = "The DDE transaction could not\nbe completed because other DDE "
                  "transactions\nwere being processed.";
        break;
    case 31:
        pszText = "There is no application associated\nwith the given filename extension.";
        break;
    case 32:
        pszText = "The specified dynamic-link library was not found.";
        break;
    default:
        break;
    }
    std::string strText = "Can't open link:\n\n";
    if (pszText) {
        strText += pszText;
    } else {
        char buf[64];
        std::snprintf(buf, sizeof buf, "Unknown Error (%d) occurred.", nResult);
        strText += buf;
    }
    return strText;
}
