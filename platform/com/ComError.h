// The host-call exception: a failing status from a component call, the interface that
// failed and the description that the component left in the error information.
#pragma once

#include "platform/com/ErrorInfo.h"

#include <exception>
#include <string>

class CComError : public std::exception {
public:
    CComError(HRESULT hr, const GUID& iid, std::optional<CErrorInfo> info = std::nullopt);

    [[nodiscard]] HRESULT Error() const noexcept { return m_hr; }
    [[nodiscard]] const GUID& Iid() const noexcept { return m_iid; }
    [[nodiscard]] bool HasDescription() const noexcept { return !m_strDescription.empty(); }
    // The component's own description (UTF-16), empty when it left none.
    [[nodiscard]] const std::u16string& Description() const noexcept { return m_strDescription; }
    [[nodiscard]] const std::u16string& Source() const noexcept { return m_strSource; }

    // The system's message for the status, without a trailing line break; for codes the
    // message table does not hold, "IDispatch error #%d" for 0x80040201..0x8004FFFF and
    // "Unknown error 0x%0lX" otherwise. ASCII.
    [[nodiscard]] std::string ErrorMessage() const { return ErrorMessageFor(m_hr); }
    [[nodiscard]] static std::string ErrorMessageFor(HRESULT hr);

    const char* what() const noexcept override { return m_strWhat.c_str(); }

private:
    HRESULT m_hr;
    GUID m_iid;
    std::u16string m_strSource;
    std::u16string m_strDescription;
    std::string m_strWhat;
};

// Raises the host-call exception for a failing status, with the error information that
// the failing call left on this thread.
[[noreturn]] void IssueError(HRESULT hr, const GUID& iid);

inline void ThrowIfFailed(HRESULT hr, const GUID& iid) {
    if (FAILED(hr))
        IssueError(hr, iid);
}
