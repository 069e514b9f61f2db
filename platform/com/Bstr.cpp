#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Layout: 32-bit byte count, the units, one zero unit.
std::uint32_t* Header(BSTR bstr) { return reinterpret_cast<std::uint32_t*>(bstr) - 1; }

} // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > (0x7FFFFFF0u - sizeof(std::uint32_t)) / sizeof(OLECHAR) - 1)
        return nullptr;
    const std::size_t nBytes = sizeof(std::uint32_t) + (std::size_t{cch} + 1) * sizeof(OLECHAR);
    auto* pBlock = static_cast<std::uint32_t*>(std::malloc(nBytes));
    if (!pBlock)
        return nullptr;
    pBlock[0] = static_cast<std::uint32_t>(cch * sizeof(OLECHAR));
    auto* pText = reinterpret_cast<OLECHAR*>(pBlock + 1);
    if (pch)
        std::memcpy(pText, pch, cch * sizeof(OLECHAR));
    else
        std::memset(pText, 0, cch * sizeof(OLECHAR));
    pText[cch] = 0;
    return pText;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    UINT n = 0;
    while (psz[n])
        ++n;
    return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
    if (bstr)
        std::free(Header(bstr));
}

UINT SysStringByteLen(BSTR bstr) { return bstr ? *Header(bstr) : 0; }

UINT SysStringLen(BSTR bstr) {
    return static_cast<UINT>(SysStringByteLen(bstr) / sizeof(OLECHAR));
}

CBstr::CBstr(std::u16string_view text)
    : m_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!m_bstr)
        throw std::bad_alloc();
}

CBstr::CBstr(const CBstr& other) {
    if (other.m_bstr) {
        m_bstr = SysAllocStringLen(other.m_bstr, other.Length());
        if (!m_bstr)
            throw std::bad_alloc();
    }
}

CBstr& CBstr::operator=(const CBstr& other) {
    if (this != &other) {
        CBstr copy(other);
        std::swap(m_bstr, copy.m_bstr);
    }
    return *this;
}

CBstr& CBstr::operator=(CBstr&& other) noexcept {
    if (this != &other) {
        SysFreeString(m_bstr);
        m_bstr = std::exchange(other.m_bstr, nullptr);
    }
    return *this;
}
