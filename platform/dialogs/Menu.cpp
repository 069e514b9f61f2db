#include "platform/dialogs/Menu.h"

namespace {

// Reads the items of one level from nPos on, up to and including the one flagged MF_END.
void ReadLevel(CMenu& menu, std::span<const CMenuItemTemplate> items, std::size_t& nPos) {
    while (nPos < items.size()) {
        const CMenuItemTemplate& item = items[nPos++];
        if (item.m_nFlags & MF_POPUP) {
            CMenu popup;
            ReadLevel(popup, items, nPos);
            menu.AppendPopup(item.m_pszText, std::move(popup));
        } else if (item.m_nFlags & MF_SEPARATOR) {
            menu.AppendSeparator();
        } else {
            menu.AppendItem(item.m_pszText, item.m_nId);
            if (item.m_nFlags & MF_CHECKED)
                (void)menu.CheckItem(item.m_nId, true);
            if (item.m_nFlags & MF_GRAYED)
                (void)menu.EnableItem(item.m_nId, false);
        }
        if (item.m_nFlags & MF_END)
            return;
    }
}

} // namespace

CMenu::CMenu(const CMenuTemplate& menuTemplate) {
    std::size_t nPos = 0;
    while (nPos < menuTemplate.m_items.size())
        ReadLevel(*this, menuTemplate.m_items, nPos);
}

CMenu::CMenu(const CMenu& other) {
    *this = other;
}

CMenu& CMenu::operator=(const CMenu& other) {
    if (this == &other)
        return *this;
    m_vecItems.clear();
    for (const CItem& item : other.m_vecItems) {
        CItem copy;
        copy.m_strText = item.m_strText;
        copy.m_nId = item.m_nId;
        copy.m_bSeparator = item.m_bSeparator;
        copy.m_bChecked = item.m_bChecked;
        copy.m_bGrayed = item.m_bGrayed;
        if (item.m_pPopup)
            copy.m_pPopup = std::make_unique<CMenu>(*item.m_pPopup);
        m_vecItems.push_back(std::move(copy));
    }
    return *this;
}

const CMenu::CItem* CMenu::GetItem(int nPos) const {
    if (nPos < 0 || nPos >= GetItemCount())
        return nullptr;
    return &m_vecItems[static_cast<std::size_t>(nPos)];
}

CMenu::CItem* CMenu::GetItem(int nPos) {
    if (nPos < 0 || nPos >= GetItemCount())
        return nullptr;
    return &m_vecItems[static_cast<std::size_t>(nPos)];
}

CMenu* CMenu::GetSubMenu(int nPos) {
    CItem* pItem = GetItem(nPos);
    return pItem ? pItem->m_pPopup.get() : nullptr;
}

const CMenu* CMenu::GetSubMenu(int nPos) const {
    const CItem* pItem = GetItem(nPos);
    return pItem ? pItem->m_pPopup.get() : nullptr;
}

unsigned CMenu::GetItemId(int nPos) const {
    const CItem* pItem = GetItem(nPos);
    if (!pItem || pItem->m_bSeparator || pItem->m_pPopup)
        return 0;
    return pItem->m_nId;
}

void CMenu::AppendItem(const std::string& strText, unsigned nId) {
    InsertItem(GetItemCount(), strText, nId);
}

void CMenu::AppendSeparator() {
    CItem item;
    item.m_bSeparator = true;
    m_vecItems.push_back(std::move(item));
}

void CMenu::AppendPopup(const std::string& strText, CMenu popup) {
    CItem item;
    item.m_strText = strText;
    item.m_pPopup = std::make_unique<CMenu>(std::move(popup));
    m_vecItems.push_back(std::move(item));
}

void CMenu::InsertItem(int nPos, const std::string& strText, unsigned nId) {
    CItem item;
    item.m_strText = strText;
    item.m_nId = nId;
    const auto nAt =
        nPos < 0 || nPos > GetItemCount() ? m_vecItems.size() : static_cast<std::size_t>(nPos);
    m_vecItems.insert(m_vecItems.begin() + static_cast<std::ptrdiff_t>(nAt), std::move(item));
}

bool CMenu::DeleteItem(int nPos) {
    if (nPos < 0 || nPos >= GetItemCount())
        return false;
    m_vecItems.erase(m_vecItems.begin() + nPos);
    return true;
}

CMenu::CItem* CMenu::FindCommand(unsigned nId) {
    for (CItem& item : m_vecItems) {
        if (item.m_pPopup) {
            if (CItem* pFound = item.m_pPopup->FindCommand(nId))
                return pFound;
        } else if (!item.m_bSeparator && item.m_nId == nId) {
            return &item;
        }
    }
    return nullptr;
}

const CMenu::CItem* CMenu::FindCommand(unsigned nId) const {
    return const_cast<CMenu*>(this)->FindCommand(nId);
}

bool CMenu::CheckItem(unsigned nId, bool bCheck) {
    CItem* pItem = FindCommand(nId);
    if (!pItem)
        return false;
    pItem->m_bChecked = bCheck;
    return true;
}

bool CMenu::EnableItem(unsigned nId, bool bEnable) {
    CItem* pItem = FindCommand(nId);
    if (!pItem)
        return false;
    pItem->m_bGrayed = !bEnable;
    return true;
}

bool CMenu::IsChecked(unsigned nId) const {
    const CItem* pItem = FindCommand(nId);
    return pItem && pItem->m_bChecked;
}

bool CMenu::SetItemText(unsigned nId, const std::string& strText) {
    CItem* pItem = FindCommand(nId);
    if (!pItem)
        return false;
    pItem->m_strText = strText;
    return true;
}

std::string CMenu::GetItemText(unsigned nId) const {
    const CItem* pItem = FindCommand(nId);
    return pItem ? pItem->m_strText : std::string();
}
