// A popup menu that the field layout fills with the fields it can add.
#pragma once

#include "fields/FieldMenu.h"
#include "platform/dialogs/Menu.h"

class CFieldPopupMenu final : public IFieldMenu {
public:
    void AppendItem(const std::string& strText, unsigned nCommandId) override {
        m_menu.AppendItem(strText, nCommandId);
    }
    [[nodiscard]] const CMenu& GetMenu() const { return m_menu; }

private:
    CMenu m_menu;
};
