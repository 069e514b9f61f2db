// The user's regional settings: date and time pictures, separators, list separator and
// day-period markers. Per-user values live under
// HKEY_CURRENT_USER\Control Panel\International; a missing value falls back to a default
// derived from the process locale through ICU (CLDR).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kInternationalKey = "Control Panel\\International";

struct CRegionalSettings {
    std::string m_strLocale;     // the locale the defaults come from, "de_DE"
    std::string m_strShortDate;  // sShortDate, a picture such as "dd.MM.yyyy"
    std::string m_strTimeFormat; // sTimeFormat, with seconds, such as "HH:mm:ss"
    std::string m_strList;       // sList
    std::string m_str1159;       // s1159, the morning marker (may be empty)
    std::string m_str2359;       // s2359, the afternoon marker (may be empty)
    std::string m_strDate;       // sDate, the date separator
    std::string m_strTime;       // sTime, the time separator
    // Month names for the parser and for MMM and MMMM pictures: 12 each.
    std::vector<std::string> m_vecMonthNames;
    std::vector<std::string> m_vecMonthAbbrevs;
    // For the parser only: the locale's morning and afternoon names, also where the time
    // picture shows no marker (typed "2:45 pm" in en-GB), and the weekday names of long
    // dates, full and abbreviated, Sunday first (7 each, or none).
    std::string m_strMorningName;
    std::string m_strAfternoonName;
    std::vector<std::string> m_vecDayNames;
    std::vector<std::string> m_vecDayAbbrevs;
};
// All texts above are UTF-8, whatever the system code page.

// The locale of the process: LC_ALL, else LC_TIME, else LANG, without ".codeset" and
// "@modifier"; empty, C or POSIX give "en_US".
[[nodiscard]] std::string ProcessLocaleName();

// The defaults of a locale ("de_DE", "de-DE" and "de" all work), derived through ICU.
[[nodiscard]] CRegionalSettings DeriveRegionalSettings(std::string_view locale);

// The settings in force: per-user values over the defaults of the process locale. Cached;
// the cache follows the registry, the locale variables and VARNO_HOME.
[[nodiscard]] const CRegionalSettings& GetRegionalSettings();
// The same, with a number that changes whenever the settings in force or the system code
// page change, for callers that cache what they derive from them. The reference stays
// valid until the next call on the same thread.
[[nodiscard]] const CRegionalSettings& GetRegionalSettings(std::uint64_t& nStamp);

// Registry value names, in the order the settings list them.
inline constexpr const char* kRegionalValueNames[] = {"sShortDate", "sTimeFormat", "sList", "s1159",
                                                      "s2359",      "sDate",       "sTime"};
