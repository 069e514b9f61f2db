// 128-bit interface and class identifiers, in the registry's text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include "platform/com/ComTypes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) noexcept {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Registry form: braces, upper-case hexadecimal digits.
[[nodiscard]] std::string FormatGuid(const GUID& guid);

// Accepts the registry form with or without braces, in either letter case; nothing else.
[[nodiscard]] std::optional<GUID> ParseGuid(std::string_view text);

struct CGuidHash {
    std::size_t operator()(const GUID& guid) const noexcept;
};
