#include "platform/com/ComError.h"

#include <cstdio>
#include <utility>

namespace {

struct SMessage {
    HRESULT m_hr;
    const char* m_pszText;
};

// The system's messages for the codes this program and its components use.
constexpr SMessage kMessages[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_NONAMEDARGS, "No named arguments."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADINDEX, "Invalid index."},
    {DISP_E_UNKNOWNLCID, "Unknown language."},
    {DISP_E_ARRAYISLOCKED, "Memory is locked."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional."},
    {DISP_E_BADCALLEE, "Invalid callee."},
    {DISP_E_NOTACOLLECTION, "Does not support a collection."},
    {DISP_E_DIVBYZERO, "Division by zero."},
};

} // namespace

std::string CComError::ErrorMessageFor(HRESULT hr) {
    for (const SMessage& m : kMessages)
        if (m.m_hr == hr)
            return m.m_pszText;
    const auto code = static_cast<std::uint32_t>(hr);
    char buf[64];
    if (code > 0x80040200u && code <= 0x8004FFFFu)
        std::snprintf(buf, sizeof buf, "IDispatch error #%d",
                      static_cast<int>(code & 0xFFFFu) - 0x200);
    else
        std::snprintf(buf, sizeof buf, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return buf;
}

CComError::CComError(HRESULT hr, const GUID& iid, std::optional<CErrorInfo> info)
    : m_hr(hr), m_iid(iid), m_strWhat(ErrorMessageFor(hr)) {
    if (info) {
        m_strSource = std::move(info->m_strSource);
        m_strDescription = std::move(info->m_strDescription);
    }
}

void IssueError(HRESULT hr, const GUID& iid) { throw CComError(hr, iid, TakeErrorInfo()); }
