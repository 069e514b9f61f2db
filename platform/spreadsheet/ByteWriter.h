// Little-endian byte output for the workbook file engine (compound file sectors and BIFF
// records).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CByteWriter {
public:
    [[nodiscard]] std::size_t Size() const { return m_bytes.size(); }
    [[nodiscard]] const std::string& Bytes() const { return m_bytes; }
    [[nodiscard]] std::string Take() { return std::move(m_bytes); }
    void Reserve(std::size_t n) { m_bytes.reserve(n); }
    // Empties the bytes, keeping the room they took.
    void Clear() { m_bytes.clear(); }

    void U8(std::uint8_t v) { m_bytes.push_back(static_cast<char>(v)); }
    void U16(std::uint16_t v) {
        const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
        m_bytes.append(b, sizeof b);
    }
    void U32(std::uint32_t v) {
        const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
        m_bytes.append(b, sizeof b);
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void F64(double v) { U64(std::bit_cast<std::uint64_t>(v)); }
    // Characters as UTF-16, or one byte each (their low bytes) when !bHigh.
    void Chars(std::u16string_view text, bool bHigh) {
        const std::size_t nAt = m_bytes.size();
        m_bytes.resize(nAt + text.size() * (bHigh ? 2 : 1));
        char* p = m_bytes.data() + nAt;
        for (const char16_t c : text) {
            *p++ = static_cast<char>(c);
            if (bHigh) {
                *p++ = static_cast<char>(c >> 8);
            }
        }
    }
    void Raw(std::string_view bytes) { m_bytes.append(bytes); }
    void Zeros(std::size_t n) { m_bytes.append(n, '\0'); }

    // Overwrites bytes written before (lengths and offsets known only later).
    void PatchU16(std::size_t at, std::uint16_t v) {
        m_bytes[at] = static_cast<char>(v);
        m_bytes[at + 1] = static_cast<char>(v >> 8);
    }
    void PatchU32(std::size_t at, std::uint32_t v) {
        PatchU16(at, static_cast<std::uint16_t>(v));
        PatchU16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }

private:
    std::string m_bytes;
};
