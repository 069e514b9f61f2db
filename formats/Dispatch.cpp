#include "formats/Dispatch.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/CodePage.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void RaiseFailure(std::u16string_view name, HRESULT hr, EXCEPINFO& excep) {
    const CBstr source = CBstr::Attach(excep.bstrSource);
    const CBstr description = CBstr::Attach(excep.bstrDescription);
    const CBstr helpFile = CBstr::Attach(excep.bstrHelpFile);
    std::optional<CErrorInfo> info = TakeErrorInfo();
    std::u16string text;
    if (hr == DISP_E_EXCEPTION)
        text = description.View().empty() && info ? info->m_strDescription
                                                  : std::u16string(description.View());
    if (!text.empty())
        throw CFormatException(FromUtf16(text));
    const HRESULT code = hr == DISP_E_EXCEPTION && excep.scode ? excep.scode : hr;
    throw CFormatException(FromUtf16(name) + ": " + CComError::ErrorMessageFor(code));
}

CVariant Invoke(IDispatch* pObject, std::u16string_view name, DISPID dispid, WORD wFlags,
                std::initializer_list<CVariant> args, const VARIANT* pPutValue) {
    if (!pObject)
        throw CFormatException(FromUtf16(name) + ": the automation object is missing");
    if (dispid == DISPID_UNKNOWN) {
        std::u16string strName(name);
        OLECHAR* pszName = strName.data();
        const HRESULT hr = pObject->GetIDsOfNames(GUID_NULL, &pszName, 1, 0, &dispid);
        if (FAILED(hr)) {
            EXCEPINFO none{};
            RaiseFailure(name, hr, none);
        }
    }
    // DISPPARAMS holds the arguments last first, then the value of a put. The callee
    // only reads them: the caller keeps ownership of what they hold.
    std::vector<VARIANT> vecArgs;
    vecArgs.reserve(args.size() + 1);
    if (pPutValue)
        vecArgs.push_back(*pPutValue);
    for (auto it = args.end(); it != args.begin();) {
        --it;
        vecArgs.push_back(*it);
    }
    DISPID dispidPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{vecArgs.data(), pPutValue ? &dispidPut : nullptr,
                      static_cast<UINT>(vecArgs.size()), pPutValue ? 1u : 0u};
    CVariant result;
    EXCEPINFO excep;
    std::memset(static_cast<void*>(&excep), 0, sizeof excep);
    UINT nArgError = 0;
    ClearErrorInfo();
    const HRESULT hr = pObject->Invoke(dispid, GUID_NULL, 0, wFlags, &params,
                                       pPutValue ? nullptr : &result, &excep, &nArgError);
    if (FAILED(hr))
        RaiseFailure(name, hr, excep);
    return result;
}

} // namespace

HRESULT CreateDispatchObject(std::string_view progId, CComPtr<IDispatch>& out) {
    return CoCreateInstance(progId, out);
}

CVariant GetProperty(IDispatch* pObject, std::u16string_view name,
                     std::initializer_list<CVariant> args) {
    return Invoke(pObject, name, DISPID_UNKNOWN, DISPATCH_PROPERTYGET, args, nullptr);
}

CVariant GetDefault(IDispatch* pObject, std::initializer_list<CVariant> args) {
    return Invoke(pObject, u"Item", DISPID_VALUE, DISPATCH_PROPERTYGET, args, nullptr);
}

void PutProperty(IDispatch* pObject, std::u16string_view name, const VARIANT& value) {
    Invoke(pObject, name, DISPID_UNKNOWN, DISPATCH_PROPERTYPUT, {}, &value);
}

CVariant CallMethod(IDispatch* pObject, std::u16string_view name,
                    std::initializer_list<CVariant> args) {
    return Invoke(pObject, name, DISPID_UNKNOWN, DISPATCH_METHOD, args, nullptr);
}

CComPtr<IDispatch> ToObject(const CVariant& value, std::u16string_view name) {
    if (value.vt == VT_DISPATCH && value.pdispVal)
        return CComPtr<IDispatch>(value.pdispVal);
    throw CFormatException(FromUtf16(name) + ": the component returned no object");
}
