#include "desktop/UnicodeText.h"

#include <cstdint>
#include <cstring>

namespace desktop {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// The code point at text[i], moving i past it; empty for an unpaired surrogate (i then moves
// past that one unit).
std::optional<char32_t> NextUtf16(std::u16string_view text, std::size_t& i) {
    const char16_t c = text[i++];
    if (c < 0xD800 || c > 0xDFFF)
        return c;
    if (c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        const char16_t low = text[i++];
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (low - 0xDC00);
    }
    return std::nullopt;
}

// The code point at text[i], moving i past it; empty for a malformed sequence (i then moves
// past its first byte).
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i++]);
    if (b0 < 0x80)
        return b0;
    int nMore = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        nMore = 1;
        c = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        nMore = 2;
        c = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        nMore = 3;
        c = b0 & 0x07;
        min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - i < static_cast<std::size_t>(nMore))
        return std::nullopt;
    for (int k = 0; k < nMore; ++k) {
        const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    i += static_cast<std::size_t>(nMore);
    return c;
}

} // namespace

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<char32_t> c = NextUtf16(text, i);
        if (!c)
            return std::nullopt;
        AppendUtf8(out, *c);
    }
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<char32_t> c = NextUtf8(text, i);
        if (!c)
            return std::nullopt;
        AppendUtf16(out, *c);
    }
    return out;
}

std::string Utf16ToUtf8Lenient(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        AppendUtf8(out, NextUtf16(text, i).value_or(kReplacement));
    return out;
}

std::u16string Utf8ToUtf16Lenient(std::string_view text) {
    std::u16string out;
    AssignUtf8AsUtf16(text, out);
    return out;
}

void AssignUtf8AsUtf16(std::string_view text, std::u16string& out) {
    // The ASCII start, most often all of a datebook's text, is widened byte by byte.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t nAscii = 0;
    // Eight bytes at a time while none has its high bit set.
    for (std::uint64_t word = 0; nAscii + 8 <= text.size(); nAscii += 8) {
        std::memcpy(&word, p + nAscii, 8);
        if ((word & 0x8080808080808080ULL) != 0)
            break;
    }
    while (nAscii < text.size() && p[nAscii] < 0x80)
        ++nAscii;
    out.resize(nAscii);
    char16_t* pOut = out.data();
    for (std::size_t i = 0; i < nAscii; ++i)
        pOut[i] = p[i];
    for (std::size_t i = nAscii; i < text.size();)
        AppendUtf16(out, NextUtf8(text, i).value_or(kReplacement));
}

} // namespace desktop
