// Bounds-checked little-endian reading of a byte range. Reading past the end throws
// CXlsError("damaged workbook (<what>)"), so a parser never reads outside its input.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Reads little-endian values at any offset of a byte range, without a cursor.
inline std::uint16_t LoadU16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}
inline std::uint32_t LoadU32(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(LoadU16(bytes, at)) |
           static_cast<std::uint32_t>(LoadU16(bytes, at + 2)) << 16;
}

[[noreturn]] inline void ThrowDamaged(const std::string& strWhat) {
    throw CXlsError("damaged workbook (" + strWhat + ")");
}

class CByteReader {
public:
    CByteReader(std::string_view bytes, const char* pszWhat) : m_bytes(bytes), m_pszWhat(pszWhat) {}

    [[nodiscard]] std::size_t Position() const { return m_nPos; }
    [[nodiscard]] std::size_t Remaining() const { return m_bytes.size() - m_nPos; }
    [[nodiscard]] bool AtEnd() const { return m_nPos == m_bytes.size(); }

    void Need(std::size_t n) const {
        if (n > Remaining()) {
            ThrowDamaged(std::string("truncated ") + m_pszWhat);
        }
    }
    void Skip(std::size_t n) {
        Need(n);
        m_nPos += n;
    }
    std::uint8_t U8() {
        Need(1);
        return static_cast<std::uint8_t>(m_bytes[m_nPos++]);
    }
    std::uint16_t U16() {
        Need(2);
        const std::uint16_t v = LoadU16(m_bytes, m_nPos);
        m_nPos += 2;
        return v;
    }
    std::uint32_t U32() {
        Need(4);
        const std::uint32_t v = LoadU32(m_bytes, m_nPos);
        m_nPos += 4;
        return v;
    }
    double F64() {
        const std::uint64_t lo = U32();
        const std::uint64_t hi = U32();
        return std::bit_cast<double>(lo | hi << 32);
    }
    std::string_view Bytes(std::size_t n) {
        Need(n);
        const std::string_view v = m_bytes.substr(m_nPos, n);
        m_nPos += n;
        return v;
    }

private:
    std::string_view m_bytes;
    const char* m_pszWhat;
    std::size_t m_nPos = 0;
};
