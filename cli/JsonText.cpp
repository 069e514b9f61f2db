#include "cli/JsonText.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at text[i] when it is a whole and valid one; else 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t n) { return static_cast<unsigned char>(text[n]); };
    const unsigned char c = byte(i);
    std::size_t nLength = 0;
    unsigned nMin = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        nLength = 2;
        nMin = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        nLength = 3;
        nMin = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        nLength = 4;
        nMin = 0x10000;
    } else {
        return 0;
    }
    if (i + nLength > text.size())
        return 0;
    unsigned nCode = c & (0x7Fu >> nLength);
    for (std::size_t n = 1; n < nLength; ++n) {
        if ((byte(i + n) & 0xC0) != 0x80)
            return 0;
        nCode = (nCode << 6) | (byte(i + n) & 0x3Fu);
    }
    if (nCode < nMin || nCode > 0x10FFFF || (nCode >= 0xD800 && nCode <= 0xDFFF))
        return 0;
    return nLength;
}

} // namespace

std::string JsonQuote(std::string_view utf8) {
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        const char c = utf8[i];
        const std::size_t nLength = Utf8SequenceLength(utf8, i);
        if (nLength == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (nLength > 1) {
            out.append(utf8, i, nLength);
            i += nLength;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char sz[8];
                std::snprintf(sz, sizeof sz, "\\u%04x", static_cast<unsigned>(c));
                out += sz;
            } else {
                out += c;
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string JsonDate(TimeValue t) {
    CSystemTime st;
    if (t == 0 || !TimeToSystemTime(t, st))
        return "null";
    char sz[32];
    std::snprintf(sz, sizeof sz, "\"%04u-%02u-%02u\"", unsigned{st.m_wYear}, unsigned{st.m_wMonth},
                  unsigned{st.m_wDay});
    return sz;
}

std::string JsonTime(TimeValue t) {
    CSystemTime st;
    if (t == 0 || !TimeToSystemTime(t, st))
        return "null";
    char sz[32];
    std::snprintf(sz, sizeof sz, "\"%02u:%02u\"", unsigned{st.m_wHour}, unsigned{st.m_wMinute});
    return sz;
}
