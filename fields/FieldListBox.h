// What the field layout needs of a list box that shows field names: the dialogs give it
// their list-box controls through this interface.
#pragma once

#include <cstdint>
#include <string>

class IFieldListBox {
public:
    virtual void ResetContent() = 0;
    // Appends an item showing strText and carrying nData.
    virtual void AddItem(const std::string& strText, std::uint32_t nData) = 0;
    [[nodiscard]] virtual int GetCount() const = 0;
    // The data value of the item at nIndex (0 .. GetCount() - 1), in display order.
    [[nodiscard]] virtual std::uint32_t GetItemData(int nIndex) const = 0;

protected:
    ~IFieldListBox() = default;
};
