// Strict conversions between the interfaces' UTF-16 and the store's UTF-8: text that is not
// well-formed Unicode is refused rather than changed, so that what is stored reads back
// exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace desktop {

// Empty when the text holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> Utf16ToUtf8(std::u16string_view text);
// Empty when the bytes are not well-formed UTF-8 (overlong forms and surrogates included).
[[nodiscard]] std::optional<std::u16string> Utf8ToUtf16(std::string_view text);
// For messages: unpaired surrogates become U+FFFD.
[[nodiscard]] std::string Utf16ToUtf8Lenient(std::u16string_view text);
[[nodiscard]] std::u16string Utf8ToUtf16Lenient(std::string_view text);
// The same into a string whose storage is reused.
void AssignUtf8AsUtf16(std::string_view text, std::u16string& out);

} // namespace desktop
