#include "platform/locale/CodePage.h"

#include "platform/locale/SettingsHold.h"

#include "platform/locale/EnvSnapshot.h"
#include "platform/registry/Registry.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>
#include <memory>

namespace {

// Variables that decide the code page when the registry holds none; VARNO_HOME moves the
// registry itself.
constexpr std::array<const char*, 4> kCodePageEnv = {"LC_ALL", "LC_CTYPE", "LANG", "VARNO_HOME"};

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsUtf8CodeSet(std::string_view locale) {
    const auto dot = locale.find('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view codeset = locale.substr(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    std::string folded;
    for (char c : codeset) {
        if (c != '-' && c != '_')
            folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded == "utf8";
}

} // namespace

unsigned CodePageOfProcessLocale() {
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* name : names) {
        const char* psz = std::getenv(name);
        if (psz && *psz)
            return IsUtf8CodeSet(psz) ? CP_UTF8 : CP_WINDOWS_1252;
    }
    return CP_WINDOWS_1252;
}

namespace {

unsigned ReadSystemCodePage() {
    CRegKey key;
    std::string value;
    if (key.Open(ERegHive::LocalMachine, kCodePageKey) == REG_STATUS_OK &&
        key.QueryString("ACP", value) == REG_STATUS_OK) {
        const auto first = value.find_first_not_of(" \t");
        const auto last = value.find_last_not_of(" \t");
        if (first != std::string::npos) {
            const std::string digits = value.substr(first, last - first + 1);
            if (digits == "1252")
                return CP_WINDOWS_1252;
            if (digits == "65001")
                return CP_UTF8;
        }
    }
    return CodePageOfProcessLocale();
}

struct CConverterClose {
    void operator()(UConverter* p) const { ucnv_close(p); }
};
using ConverterPtr = std::unique_ptr<UConverter, CConverterClose>;

// Converters keep state and are not thread-safe: one set per thread.
UConverter* ConverterFor(unsigned codePage) {
    thread_local std::map<unsigned, ConverterPtr> s_converters;
    auto it = s_converters.find(codePage);
    if (it != s_converters.end())
        return it->second.get();
    UErrorCode status = U_ZERO_ERROR;
    const std::string name = "windows-" + std::to_string(codePage);
    UConverter* p = ucnv_open(name.c_str(), &status);
    if (U_FAILURE(status) || !p) {
        // An unknown code page is read as Windows-1252.
        status = U_ZERO_ERROR;
        p = ucnv_open("windows-1252", &status);
        if (U_FAILURE(status))
            return nullptr;
    }
    status = U_ZERO_ERROR;
    ucnv_setSubstChars(p, "?", 1, &status);
    return s_converters.emplace(codePage, ConverterPtr(p)).first->second.get();
}

std::int32_t ClampLength(std::size_t n) {
    return static_cast<std::int32_t>(std::min<std::size_t>(n, INT32_MAX / 4));
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    if (text.empty())
        return out;
    out.resize(text.size());
    std::int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), ClampLength(out.size()), &n, text.data(),
                         ClampLength(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    if (text.empty())
        return out;
    out.resize(text.size() * 3);
    std::int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), ClampLength(out.size()), &n, text.data(),
                       ClampLength(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    std::int32_t i = 0;
    while (i < n) {
        UChar32 c = 0;
        U8_NEXT(p, i, n, c);
        if (c < 0)
            return false;
    }
    return true;
}

// UTF-8 with every ill-formed sequence replaced by U+FFFD.
std::string RepairUtf8(std::string_view text) {
    if (IsAscii(text) || IsValidUtf8(text))
        return std::string(text);
    return Utf16ToUtf8(Utf8ToUtf16(text));
}

} // namespace

unsigned GetSystemCodePage() {
    struct CCache {
        CEnvSnapshot<kCodePageEnv.size()> m_env{kCodePageEnv};
        std::uint64_t m_nStamp = 0;
        unsigned m_codePage = CP_WINDOWS_1252;
    };
    thread_local CCache s_cache;
    thread_local bool s_bFilled = false;
    if (s_bFilled && LocaleSettingsHeld())
        return s_cache.m_codePage;
    s_bFilled = true;
    const std::uint64_t nStamp = RegChangeStamp(ERegHive::LocalMachine);
    if (nStamp != s_cache.m_nStamp || !s_cache.m_env.Matches()) {
        s_cache.m_env.Take();
        s_cache.m_nStamp = nStamp;
        s_cache.m_codePage = ReadSystemCodePage();
    }
    return s_cache.m_codePage;
}

std::u16string CodePageToUtf16(std::string_view text, unsigned codePage) {
    if (codePage == CP_UTF8)
        return Utf8ToUtf16(text);
    std::u16string out;
    if (text.empty())
        return out;
    if (codePage == CP_WINDOWS_1252 && IsAscii(text))
        return std::u16string(text.begin(), text.end());
    UConverter* pConv = ConverterFor(codePage);
    if (!pConv)
        return out;
    // A single-byte code page gives at most one UTF-16 unit per byte.
    out.resize(text.size());
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetToUnicode(pConv);
    std::int32_t n = ucnv_toUChars(pConv, out.data(), ClampLength(out.size()), text.data(),
                                   ClampLength(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING) {
        out.resize(static_cast<std::size_t>(n) + 1);
        status = U_ZERO_ERROR;
        ucnv_resetToUnicode(pConv);
        n = ucnv_toUChars(pConv, out.data(), ClampLength(out.size()), text.data(),
                          ClampLength(text.size()), &status);
    }
    if (U_FAILURE(status))
        return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string Utf16ToCodePage(std::u16string_view text, unsigned codePage) {
    // ASCII, most of any appointment's text, is the same bytes in both.
    if (codePage == CP_UTF8 || codePage == CP_WINDOWS_1252) {
        std::string out(text.size(), '\0');
        std::size_t i = 0;
        for (; i < text.size() && text[i] < 0x80; ++i)
            out[i] = static_cast<char>(text[i]);
        if (i == text.size())
            return out;
    }
    if (codePage == CP_UTF8)
        return Utf16ToUtf8(text);
    std::string out;
    if (text.empty())
        return out;
    UConverter* pConv = ConverterFor(codePage);
    if (!pConv)
        return out;
    out.resize(text.size() * static_cast<std::size_t>(ucnv_getMaxCharSize(pConv)) + 1);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(pConv);
    const std::int32_t n = ucnv_fromUChars(pConv, out.data(), ClampLength(out.size()), text.data(),
                                           ClampLength(text.size()), &status);
    if (U_FAILURE(status))
        return {};
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string CodePageToUtf8(std::string_view text, unsigned codePage) {
    if (IsAscii(text) && (codePage == CP_UTF8 || codePage == CP_WINDOWS_1252))
        return std::string(text);
    if (codePage == CP_UTF8)
        return RepairUtf8(text);
    return Utf16ToUtf8(CodePageToUtf16(text, codePage));
}

std::string Utf8ToCodePage(std::string_view text, unsigned codePage) {
    if (IsAscii(text) && (codePage == CP_UTF8 || codePage == CP_WINDOWS_1252))
        return std::string(text);
    if (codePage == CP_UTF8)
        return RepairUtf8(text);
    return Utf16ToCodePage(Utf8ToUtf16(text), codePage);
}

bool IsTextInCodePage(std::string_view text, unsigned codePage) {
    return codePage != CP_UTF8 || IsAscii(text) || IsValidUtf8(text);
}

std::optional<std::string> ConvertToCodePage(std::string_view bytes, const char* pszEncoding,
                                             unsigned codePage) {
    UErrorCode status = U_ZERO_ERROR;
    const ConverterPtr pFrom(ucnv_open(pszEncoding, &status));
    if (U_FAILURE(status) || !pFrom)
        return std::nullopt;
    // Ill-formed input stops the conversion instead of becoming U+FFFD.
    ucnv_setToUCallBack(pFrom.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status) || bytes.size() > INT32_MAX / 4)
        return std::nullopt;
    // UTF-8 and UTF-16 give at most one UTF-16 unit per byte.
    std::u16string wide(bytes.size() + 1, u'\0');
    const std::int32_t n =
        ucnv_toUChars(pFrom.get(), wide.data(), ClampLength(wide.size()), bytes.data(),
                      static_cast<std::int32_t>(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    wide.resize(static_cast<std::size_t>(n));
    std::string out = Utf16ToCodePage(wide, codePage);
    // What the code page cannot hold came out as '?' and does not come back.
    if (CodePageToUtf16(out, codePage) != wide)
        return std::nullopt;
    return out;
}

std::string CodePageName(unsigned codePage) {
    switch (codePage) {
    case CP_UTF8:
        return "65001 (UTF-8)";
    case CP_WINDOWS_1252:
        return "1252 (Western European)";
    default:
        return std::to_string(codePage);
    }
}

std::string LowerCase(std::string_view text, unsigned codePage) {
    if (IsAscii(text) && (codePage == CP_UTF8 || codePage == CP_WINDOWS_1252)) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    const std::u16string wide = CodePageToUtf16(text, codePage);
    if (wide.empty())
        return std::string(text);
    // Full case mapping may grow the text (U+0130 gives two units).
    std::u16string lower(wide.size() * 2 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t n = u_strToLower(lower.data(), ClampLength(lower.size()), wide.data(),
                                  ClampLength(wide.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        lower.resize(static_cast<std::size_t>(n) + 1);
        status = U_ZERO_ERROR;
        n = u_strToLower(lower.data(), ClampLength(lower.size()), wide.data(),
                         ClampLength(wide.size()), "", &status);
    }
    if (U_FAILURE(status))
        return std::string(text);
    lower.resize(static_cast<std::size_t>(n));
    return Utf16ToCodePage(lower, codePage);
}
