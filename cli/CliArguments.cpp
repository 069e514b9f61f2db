#include "cli/CliArguments.h"

#include "platform/locale/CodePage.h"

#include <charconv>
#include <cstdio>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// yyyy-mm-dd written out in full, for the case that the user's regional settings read
// something else from it.
std::optional<TimeValue> ParseIsoDate(std::string_view text) {
    int nYear = 0;
    int nMonth = 0;
    int nDay = 0;
    char chExtra = 0;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &nYear, &nMonth, &nDay, &chExtra) != 3)
        return std::nullopt;
    if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31)
        return std::nullopt;
    const TimeValue t = MakeLocalTimeValue(nYear, nMonth, nDay);
    CSystemTime st;
    if (t == 0 || !TimeToSystemTime(t, st) || st.m_wDay != nDay)
        return std::nullopt;
    return t;
}

} // namespace

std::optional<TimeValue> ParseDateArgument(std::string_view utf8) {
    const std::string text = Trim(utf8);
    if (text.empty())
        return std::nullopt;
    TimeValue t = 0;
    std::optional<TimeValue> result;
    if (ParseDateText(FromUtf8(text), t) == STATUS_OK)
        result = LocalMidnight(t);
    else
        result = ParseIsoDate(text);
    if (!result || *result < DatebookRangeStart() || *result > DatebookRangeEnd())
        return std::nullopt;
    return result;
}

TimeValue RequireDateArgument(std::string_view utf8, std::string_view what) {
    if (const std::optional<TimeValue> t = ParseDateArgument(utf8))
        return *t;
    throw CUsageError("Invalid " + std::string(what) + " \"" + std::string(utf8) +
                      "\": give a date such as " + ToUtf8(FormatDate(DatebookRangeEnd())) +
                      " (your short date format) or 2031-12-31, from 1970-01-02 to 2031-12-31.");
}

std::optional<bool> ParseFlagArgument(std::string_view text) {
    const std::string s = AsciiLower(Trim(text));
    if (s == "1" || s == "yes" || s == "true" || s == "on")
        return true;
    if (s == "0" || s == "no" || s == "false" || s == "off")
        return false;
    return std::nullopt;
}

std::optional<std::int32_t> ParseIntArgument(std::string_view text) {
    std::string s = Trim(text);
    if (!s.empty() && s.front() == '+')
        s.erase(0, 1);
    std::int32_t n = 0;
    const char* pEnd = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), pEnd, n);
    if (s.empty() || ec != std::errc() || p != pEnd)
        return std::nullopt;
    return n;
}

std::string UnescapeValue(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 't' || text[i + 1] == '\\')) {
            out += text[i + 1] == 't' ? '\t' : '\\';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string QuoteValue(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\t') {
            out += "\\t";
            continue;
        }
        if (c == '\\' || c == '"' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t nStart = 0;
    while (true) {
        const std::size_t nComma = text.find(',', nStart);
        parts.push_back(Trim(text.substr(
            nStart, nComma == std::string_view::npos ? std::string_view::npos : nComma - nStart)));
        if (nComma == std::string_view::npos)
            break;
        nStart = nComma + 1;
    }
    return parts;
}

std::string Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

std::string CountText(long long n, std::string_view singular, std::string_view plural) {
    return std::to_string(n) + " " + std::string(n == 1 ? singular : plural);
}
