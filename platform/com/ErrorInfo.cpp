#include "platform/com/ErrorInfo.h"

#include <utility>

namespace {

// One slot per thread, as calls and their failures never cross threads.
thread_local std::optional<CErrorInfo> t_errorInfo;

} // namespace

void SetErrorInfo(CErrorInfo info) { t_errorInfo = std::move(info); }

void SetErrorDescription(std::u16string_view description, const GUID& iid) {
    CErrorInfo info;
    info.m_iid = iid;
    info.m_strDescription = std::u16string(description);
    t_errorInfo = std::move(info);
}

std::optional<CErrorInfo> TakeErrorInfo() { return std::exchange(t_errorInfo, std::nullopt); }

void ClearErrorInfo() { t_errorInfo.reset(); }
