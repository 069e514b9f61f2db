// Per-thread error information: the description that a failing call leaves for its
// caller. A failing object sets it just before returning its failing status; the caller
// takes it (which clears it) when it turns the status into an error.
#pragma once

#include "platform/com/Guid.h"

#include <optional>
#include <string>
#include <string_view>

struct CErrorInfo {
    GUID m_iid = GUID_NULL;        // interface whose call failed
    std::u16string m_strSource;    // the failing component, free text
    std::u16string m_strDescription;
};

// Replaces the thread's error information.
void SetErrorInfo(CErrorInfo info);
// Convenience for objects: description and failing interface.
void SetErrorDescription(std::u16string_view description, const GUID& iid = GUID_NULL);
// Takes the thread's error information, leaving none behind.
[[nodiscard]] std::optional<CErrorInfo> TakeErrorInfo();
void ClearErrorInfo();
