// The system code page of the program's narrow strings and conversions from and to it.
// It is HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Nls\CodePage, value "ACP"
// ("1252" or "65001"); without it, 65001 when the process locale's codeset is UTF-8,
// else 1252. What a code page cannot hold becomes '?'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr unsigned CP_WINDOWS_1252 = 1252;
inline constexpr unsigned CP_UTF8 = 65001;
inline constexpr const char* kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";

[[nodiscard]] unsigned GetSystemCodePage();
// 65001 when the process locale's codeset (LC_ALL, else LC_CTYPE, else LANG) is UTF-8, else 1252.
[[nodiscard]] unsigned CodePageOfProcessLocale();

[[nodiscard]] std::u16string CodePageToUtf16(std::string_view text, unsigned codePage);
[[nodiscard]] std::string Utf16ToCodePage(std::u16string_view text, unsigned codePage);
[[nodiscard]] std::string CodePageToUtf8(std::string_view text, unsigned codePage);
[[nodiscard]] std::string Utf8ToCodePage(std::string_view text, unsigned codePage);
// Whether the bytes are text in the code page: well-formed UTF-8 under 65001; any bytes
// under 1252, which maps all 256.
[[nodiscard]] bool IsTextInCodePage(std::string_view text, unsigned codePage);
// Bytes in an encoding that ICU names ("UTF-16LE", "UTF-16BE", "UTF-8") converted to the
// code page; empty when they are not well-formed in that encoding or hold a character the
// code page cannot hold.
[[nodiscard]] std::optional<std::string>
ConvertToCodePage(std::string_view bytes, const char* pszEncoding, unsigned codePage);
// "65001 (UTF-8)", "1252 (Western European)".
[[nodiscard]] std::string CodePageName(unsigned codePage);
// Lower case of every character (multibyte-aware under UTF-8), locale-independent.
[[nodiscard]] std::string LowerCase(std::string_view text, unsigned codePage);

// The same in the system code page.
[[nodiscard]] inline std::u16string ToUtf16(std::string_view text) {
    return CodePageToUtf16(text, GetSystemCodePage());
}
[[nodiscard]] inline std::string FromUtf16(std::u16string_view text) {
    return Utf16ToCodePage(text, GetSystemCodePage());
}
[[nodiscard]] inline std::string ToUtf8(std::string_view text) {
    return CodePageToUtf8(text, GetSystemCodePage());
}
[[nodiscard]] inline std::string FromUtf8(std::string_view text) {
    return Utf8ToCodePage(text, GetSystemCodePage());
}
[[nodiscard]] inline std::string LowerCase(std::string_view text) {
    return LowerCase(text, GetSystemCodePage());
}
