// Late-bound calls on automation objects, for formats that drive a component through
// IDispatch alone: properties read and set and methods called by name, arguments given
// in their natural order. A failing call raises CFormatException with the component's
// description, or with the member's name and the system's message when it gave none.
#pragma once

#include "formats/FileFormat.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Variant.h"

#include <initializer_list>
#include <string_view>

// A new object of a ProgID, asked for IDispatch; the status of the creation.
[[nodiscard]] HRESULT CreateDispatchObject(std::string_view progId, CComPtr<IDispatch>& out);

// Reads a property (with arguments for indexed properties).
[[nodiscard]] CVariant GetProperty(IDispatch* pObject, std::u16string_view name,
                                   std::initializer_list<CVariant> args = {});
// Reads the default member (DISPID_VALUE), such as the item of a collection.
[[nodiscard]] CVariant GetDefault(IDispatch* pObject, std::initializer_list<CVariant> args);
// Sets a property. The value is passed as it is, not copied.
void PutProperty(IDispatch* pObject, std::u16string_view name, const VARIANT& value);
// Calls a method and returns its result (empty when it has none).
CVariant CallMethod(IDispatch* pObject, std::u16string_view name,
                    std::initializer_list<CVariant> args = {});

// The object a call returned; raises CFormatException when it returned something else.
[[nodiscard]] CComPtr<IDispatch> ToObject(const CVariant& value, std::u16string_view name);

// Shorthands for properties and items that hold objects.
[[nodiscard]] inline CComPtr<IDispatch>
GetObjectProperty(IDispatch* pObject, std::u16string_view name,
                  std::initializer_list<CVariant> args = {}) {
    return ToObject(GetProperty(pObject, name, args), name);
}
[[nodiscard]] inline CComPtr<IDispatch> GetItem(IDispatch* pObject,
                                                std::initializer_list<CVariant> args) {
    return ToObject(GetDefault(pObject, args), u"Item");
}
