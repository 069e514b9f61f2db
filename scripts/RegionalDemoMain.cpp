// Shows today's date and time as the date and time text of a few locales would write them
// (their ICU defaults; nothing is read from or written to the user's registry), and what
// the parser reads back from each text.
#include "platform/locale/DateFormat.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

// Width in characters of UTF-8 text, for the columns.
std::size_t Width(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

std::string Pad(std::string text, std::size_t width) {
    const std::size_t n = Width(text);
    if (n < width)
        text.append(width - n, ' ');
    return text;
}

std::string Describe(const std::optional<CParsedDateTime>& parsed) {
    if (!parsed)
        return "not readable";
    char buffer[64];
    std::string out;
    if (parsed->m_bDate) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parsed->m_nYear, parsed->m_nMonth,
                      parsed->m_nDay);
        out += buffer;
    }
    if (parsed->m_bTime) {
        std::snprintf(buffer, sizeof buffer, "%s%02d:%02d", out.empty() ? "" : " ", parsed->m_nHour,
                      parsed->m_nMinute);
        out += buffer;
    }
    return out;
}

} // namespace

int main() {
    CLocalTime now;
    if (!BreakDownLocal(CurrentTime(), now)) {
        std::fprintf(stderr, "The current time cannot be broken down.\n");
        return 1;
    }
    std::printf("Today in the regional settings of a few locales (ICU defaults)\n\n");
    std::printf("%s %s %s %s %s %s\n", Pad("Locale", 6).c_str(), Pad("Short date", 11).c_str(),
                Pad("Time", 11).c_str(), Pad("List", 4).c_str(), Pad("Date and time", 22).c_str(),
                "Read back");
    for (const char* pszLocale : {"en_US", "en_GB", "de_DE", "fr_FR", "nl_NL", "ja_JP"}) {
        const CRegionalSettings s = DeriveRegionalSettings(pszLocale);
        const std::string date = FormatShortDate(now, s);
        const std::string time = FormatTimeNoSeconds(now, s);
        const std::string both = date + ' ' + time;
        const CDateTimeParser parser(s);
        const std::string back = Describe(parser.Parse(both, now.m_nYear));
        const bool bSame = parser.Parse(date, now.m_nYear).has_value() &&
                           parser.Parse(time, now.m_nYear).has_value();
        std::printf("%s %s %s %s %s %s%s\n", Pad(pszLocale, 6).c_str(),
                    Pad(s.m_strShortDate, 11).c_str(), Pad(s.m_strTimeFormat, 11).c_str(),
                    Pad(s.m_strList, 4).c_str(), Pad(both, 22).c_str(), back.c_str(),
                    bSame ? "" : " (date or time alone not readable)");
    }
    return 0;
}
