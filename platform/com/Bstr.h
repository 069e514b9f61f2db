// Counted UTF-16 strings as they cross component boundaries: allocated by the callee or
// the caller as the call says, preceded by their length in bytes, ended by a zero unit.
// A null string reads as empty everywhere.
#pragma once

#include "platform/com/Unknown.h"

#include <string>
#include <string_view>
#include <utility>

[[nodiscard]] BSTR SysAllocString(const OLECHAR* psz);
// pch may be null: the string then holds cch zero units.
[[nodiscard]] BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
void SysFreeString(BSTR bstr);
[[nodiscard]] UINT SysStringLen(BSTR bstr);
[[nodiscard]] UINT SysStringByteLen(BSTR bstr);

[[nodiscard]] inline std::u16string_view BstrView(BSTR bstr) {
    return bstr ? std::u16string_view(bstr, SysStringLen(bstr)) : std::u16string_view();
}

// Owns one string; frees it on destruction.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(std::u16string_view text);
    CBstr(const CBstr& other);
    CBstr(CBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    CBstr& operator=(const CBstr& other);
    CBstr& operator=(CBstr&& other) noexcept;
    ~CBstr() { SysFreeString(m_bstr); }

    // Takes ownership of a string allocated elsewhere.
    static CBstr Attach(BSTR bstr) {
        CBstr result;
        result.m_bstr = bstr;
        return result;
    }
    [[nodiscard]] BSTR Detach() noexcept { return std::exchange(m_bstr, nullptr); }

    [[nodiscard]] BSTR Get() const noexcept { return m_bstr; }
    // Frees the current string and gives the address for an out parameter.
    [[nodiscard]] BSTR* Put() noexcept {
        SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    [[nodiscard]] std::u16string_view View() const { return BstrView(m_bstr); }
    [[nodiscard]] std::u16string Str() const { return std::u16string(View()); }
    [[nodiscard]] UINT Length() const { return SysStringLen(m_bstr); }

private:
    BSTR m_bstr = nullptr;
};
