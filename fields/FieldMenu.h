// What the field layout needs of a popup menu: appending a string item with a command id.
#pragma once

#include <string>

class IFieldMenu {
public:
    virtual void AppendItem(const std::string& strText, unsigned nCommandId) = 0;

protected:
    ~IFieldMenu() = default;
};
