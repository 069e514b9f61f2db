// A list-box control of an open dialog as the field layout fills and reads it: each item
// shows a field's header name and carries its id.
#pragma once

#include "fields/FieldListBox.h"
#include "platform/dialogs/Dialog.h"

class CFieldListControl final : public IFieldListBox {
public:
    explicit CFieldListControl(CDialogItem item) : m_item(item) {}

    void ResetContent() override { m_item.ResetContent(); }
    void AddItem(const std::string& strText, std::uint32_t nData) override {
        (void)m_item.AddString(strText, nData);
    }
    [[nodiscard]] int GetCount() const override { return m_item.GetCount(); }
    [[nodiscard]] std::uint32_t GetItemData(int nIndex) const override {
        return m_item.GetItemData(nIndex);
    }

private:
    CDialogItem m_item;
};
