// A menu bar or popup menu held in memory: items with texts, command ids, separators, check
// marks and popups. A surface shows it; a dialog changes it and asks for a redraw.
#pragma once

#include "platform/dialogs/DialogTemplate.h"

#include <memory>
#include <string>
#include <vector>

class CMenu {
public:
    struct CItem {
        std::string m_strText;
        unsigned m_nId = 0;
        bool m_bSeparator = false;
        bool m_bChecked = false;
        bool m_bGrayed = false;
        std::unique_ptr<CMenu> m_pPopup;
    };

    CMenu() = default;
    // The menu a template describes.
    explicit CMenu(const CMenuTemplate& menuTemplate);
    CMenu(const CMenu& other);
    CMenu& operator=(const CMenu& other);
    CMenu(CMenu&&) noexcept = default;
    CMenu& operator=(CMenu&&) noexcept = default;

    [[nodiscard]] int GetItemCount() const { return static_cast<int>(m_vecItems.size()); }
    // The item at a position (0-based); null when out of range.
    [[nodiscard]] const CItem* GetItem(int nPos) const;
    [[nodiscard]] CItem* GetItem(int nPos);
    // The popup at a position; null when that item is no popup.
    [[nodiscard]] CMenu* GetSubMenu(int nPos);
    [[nodiscard]] const CMenu* GetSubMenu(int nPos) const;
    // The command id at a position; 0 for separators and popups or out of range.
    [[nodiscard]] unsigned GetItemId(int nPos) const;

    void AppendItem(const std::string& strText, unsigned nId);
    void AppendSeparator();
    void AppendPopup(const std::string& strText, CMenu popup);
    // Inserts before position nPos; at the end when nPos is past it.
    void InsertItem(int nPos, const std::string& strText, unsigned nId);
    // False when nPos is out of range.
    bool DeleteItem(int nPos);

    // Searches popups too; the first item with that command id, or null.
    [[nodiscard]] CItem* FindCommand(unsigned nId);
    [[nodiscard]] const CItem* FindCommand(unsigned nId) const;
    // False when no item has that command id.
    bool CheckItem(unsigned nId, bool bCheck);
    bool EnableItem(unsigned nId, bool bEnable);
    [[nodiscard]] bool IsChecked(unsigned nId) const;
    bool SetItemText(unsigned nId, const std::string& strText);
    [[nodiscard]] std::string GetItemText(unsigned nId) const;

private:
    std::vector<CItem> m_vecItems;
};
