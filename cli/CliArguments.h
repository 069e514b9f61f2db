// Reading the command line's arguments and writing values back in the form they are typed.
// Arguments arrive as the terminal's bytes (UTF-8); the program's own texts are in the
// system code page. File names are passed through as they are.
#pragma once

#include "model/DateText.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A bad argument: the message says what is wrong and what to do (UTF-8); exit status 2.
class CUsageError : public std::runtime_error {
public:
    explicit CUsageError(const std::string& strMessage) : std::runtime_error(strMessage) {}
};

// A date in the user's short date format or as yyyy-mm-dd, at 00:00 local time; empty when
// it is neither or lies outside the datebook's years 1970 to 2031.
[[nodiscard]] std::optional<TimeValue> ParseDateArgument(std::string_view utf8);
// The same, raising CUsageError that names the argument.
[[nodiscard]] TimeValue RequireDateArgument(std::string_view utf8, std::string_view what);

// 1/0, yes/no, true/false, on/off (any case).
[[nodiscard]] std::optional<bool> ParseFlagArgument(std::string_view text);
// A whole decimal number with an optional sign, within the 32-bit range.
[[nodiscard]] std::optional<std::int32_t> ParseIntArgument(std::string_view text);

// "\t" stands for a tab and "\\" for a backslash; any other backslash is kept.
[[nodiscard]] std::string UnescapeValue(std::string_view text);
// The value between double quotes as a shell reads it back (\, ", $ and ` escaped), with a
// tab written "\t" so that UnescapeValue restores it.
[[nodiscard]] std::string QuoteValue(std::string_view text);

// Splits at commas, trimming blanks around each part; empty parts are kept.
[[nodiscard]] std::vector<std::string> SplitList(std::string_view text);
// Blanks at both ends removed.
[[nodiscard]] std::string Trim(std::string_view text);
// ASCII letters lower-cased.
[[nodiscard]] std::string AsciiLower(std::string_view text);
// The number of characters of UTF-8 text.
[[nodiscard]] std::size_t Utf8Length(std::string_view text);

// "1 appointment" / "2 appointments".
[[nodiscard]] std::string CountText(long long n, std::string_view singular,
                                    std::string_view plural);
