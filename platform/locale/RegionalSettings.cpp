#include "platform/locale/RegionalSettings.h"

#include "platform/locale/SettingsHold.h"
#include "platform/locale/UserProfile.h"

#include "platform/locale/CodePage.h"
#include "platform/locale/EnvSnapshot.h"
#include "platform/registry/Registry.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <set>

namespace {

constexpr std::array<const char*, 4> kRegionalEnv = {"LC_ALL", "LC_TIME", "LANG", "VARNO_HOME"};

// "de_DE.UTF-8@euro" gives "de_DE"; "de-DE" gives "de_DE"; empty, C and POSIX give en_US.
std::string NormalizeLocaleName(std::string_view name) {
    name = name.substr(0, name.find_first_of(".@"));
    std::string out(name);
    for (char& c : out) {
        if (c == '-')
            c = '_';
    }
    if (out.empty() || out == "C" || out == "POSIX")
        return "en_US";
    return out;
}

// The languages ICU has data for. ICU falls back to its own default locale (taken from
// the environment) for any other, which would make the result depend on LANG.
bool IcuKnowsLanguage(const char* pszLanguage) {
    static const std::set<std::string> s_languages = [] {
        std::set<std::string> languages;
        const std::int32_t n = uloc_countAvailable();
        for (std::int32_t i = 0; i < n; ++i) {
            char buffer[ULOC_LANG_CAPACITY] = {};
            UErrorCode status = U_ZERO_ERROR;
            uloc_getLanguage(uloc_getAvailable(i), buffer, sizeof buffer, &status);
            if (U_SUCCESS(status))
                languages.insert(buffer);
        }
        return languages;
    }();
    return s_languages.count(pszLanguage) != 0;
}

std::string ToUtf8String(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    // Windows-1252 cannot hold the narrow no-break spaces CLDR puts before day periods
    // and inside some literals.
    std::string clean;
    clean.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out.compare(i, 2, "\xC2\xA0") == 0) {
            clean += ' ';
            i += 1;
        } else if (out.compare(i, 3, "\xE2\x80\xAF") == 0) {
            clean += ' ';
            i += 2;
        } else {
            clean += out[i];
        }
    }
    return clean;
}

// One element of an ICU date pattern: a field (a run of one letter) or literal text.
struct CPatternToken {
    bool m_bField = false;
    char m_cLetter = 0;
    int m_nCount = 0;
    std::string m_strText; // literal text, unquoted
};

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::vector<CPatternToken> TokenizeIcuPattern(std::string_view pattern) {
    std::vector<CPatternToken> tokens;
    auto addLiteral = [&tokens](std::string_view text) {
        if (tokens.empty() || tokens.back().m_bField)
            tokens.push_back(CPatternToken{});
        tokens.back().m_strText += text;
    };
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                addLiteral("'");
                i += 2;
                continue;
            }
            std::string text;
            ++i;
            while (i < pattern.size()) {
                if (pattern[i] == '\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += pattern[i++];
            }
            addLiteral(text);
        } else if (IsAsciiLetter(c)) {
            std::size_t j = i;
            while (j < pattern.size() && pattern[j] == c)
                ++j;
            CPatternToken token;
            token.m_bField = true;
            token.m_cLetter = c;
            token.m_nCount = static_cast<int>(j - i);
            tokens.push_back(token);
            i = j;
        } else {
            addLiteral(pattern.substr(i, 1));
            ++i;
        }
    }
    return tokens;
}

// Maps the ICU fields to picture fields (a letter and a count); a field mapped to no
// letter is dropped together with the literal that joined it to its neighbour.
template <typename MapField>
std::vector<CPatternToken> ConvertFields(std::vector<CPatternToken> tokens, MapField mapField) {
    std::vector<CPatternToken> out;
    bool bDropNextLiteral = false;
    for (CPatternToken& token : tokens) {
        if (!token.m_bField) {
            if (bDropNextLiteral) {
                bDropNextLiteral = false;
                continue;
            }
            out.push_back(std::move(token));
            continue;
        }
        bDropNextLiteral = false;
        if (mapField(token)) {
            out.push_back(std::move(token));
            continue;
        }
        const bool bAnyFieldBefore =
            std::any_of(out.begin(), out.end(), [](const CPatternToken& t) { return t.m_bField; });
        if (bAnyFieldBefore) {
            if (!out.empty() && !out.back().m_bField)
                out.pop_back();
        } else {
            out.clear();
            bDropNextLiteral = true;
        }
    }
    return out;
}

bool IsSkippable(UChar32 c) {
    return u_isUWhiteSpace(c) || u_charType(c) == U_FORMAT_CHAR;
}

bool ContainsLetter(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        UChar32 c = 0;
        U8_NEXT(p, i, n, c);
        if (c >= 0 && u_isalpha(c))
            return true;
    }
    return false;
}

// Picture text. Letters of a literal go in single quotes ("d.MM.yyyy 'г'."), so that
// none of them reads as a field; a quote is written as two.
std::string ToPicture(const std::vector<CPatternToken>& tokens) {
    std::string out;
    for (const CPatternToken& token : tokens) {
        if (token.m_bField) {
            out.append(static_cast<std::size_t>(token.m_nCount), token.m_cLetter);
            continue;
        }
        const std::string& text = token.m_strText;
        const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
        const auto n = static_cast<std::int32_t>(text.size());
        std::int32_t first = -1;
        std::int32_t end = -1;
        for (std::int32_t i = 0; i < n;) {
            const std::int32_t start = i;
            UChar32 c = 0;
            U8_NEXT(p, i, n, c);
            if (c >= 0 && u_isalpha(c)) {
                first = first < 0 ? start : first;
                end = i;
            }
        }
        for (std::int32_t i = 0; i < n; ++i) {
            if (i == first)
                out += '\'';
            if (text[static_cast<std::size_t>(i)] == '\'')
                out += "''";
            else
                out += text[static_cast<std::size_t>(i)];
            if (i + 1 == end)
                out += '\'';
        }
    }
    return out;
}

// The literal text without surrounding white space and format characters; a literal of
// white space only stays one blank.
std::string SeparatorOf(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto n = static_cast<std::int32_t>(text.size());
    std::int32_t first = -1;
    std::int32_t end = 0;
    for (std::int32_t i = 0; i < n;) {
        const std::int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(p, i, n, c);
        if (c >= 0 && IsSkippable(c))
            continue;
        if (first < 0)
            first = start;
        end = i;
    }
    if (first < 0)
        return " ";
    return std::string(
        text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(end - first)));
}

// The first literal standing between two fields of the date or the time of day (not
// between the hour and a day-period marker, as in ko "a h:mm:ss").
std::string FirstInnerLiteral(const std::vector<CPatternToken>& tokens) {
    auto isPart = [](const CPatternToken& t) { return t.m_bField && t.m_cLetter != 't'; };
    for (std::size_t i = 1; i + 1 < tokens.size(); ++i) {
        if (!tokens[i].m_bField && isPart(tokens[i - 1]) && isPart(tokens[i + 1]))
            return SeparatorOf(tokens[i].m_strText);
    }
    return {};
}

icu::UnicodeString PatternOf(icu::DateFormat* pFormat) {
    icu::UnicodeString pattern;
    if (auto* pSimple = dynamic_cast<icu::SimpleDateFormat*>(pFormat))
        pSimple->toPattern(pattern);
    return pattern;
}

struct CDerived {
    CRegionalSettings m_settings;
    std::string m_str1159; // ICU's markers, whether or not the picture shows them
    std::string m_str2359;
};

CDerived Derive(std::string_view localeName) {
    CDerived result;
    CRegionalSettings& s = result.m_settings;
    std::string name = NormalizeLocaleName(localeName);
    icu::Locale locale(name.c_str());
    if (locale.isBogus() || !IcuKnowsLanguage(locale.getLanguage())) {
        name = "en_US";
        locale = icu::Locale("en_US");
    }
    s.m_strLocale = name;
    // Our pictures count in the Gregorian calendar whatever the locale's default.
    UErrorCode status = U_ZERO_ERROR;
    locale.setKeywordValue("calendar", "gregorian", status);

    std::unique_ptr<icu::DateFormat> pDate(
        icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
    std::unique_ptr<icu::DateFormat> pTime(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
    std::string datePattern = pDate ? ToUtf8String(PatternOf(pDate.get())) : "";
    std::string timePattern = pTime ? ToUtf8String(PatternOf(pTime.get())) : "";
    if (datePattern.empty())
        datePattern = "M/d/yy";
    if (timePattern.empty())
        timePattern = "h:mm:ss a";

    const auto dateTokens = ConvertFields(TokenizeIcuPattern(datePattern), [](CPatternToken& t) {
        switch (t.m_cLetter) {
        case 'y':
        case 'Y':
        case 'u':
        case 'r':
            t.m_cLetter = 'y';
            t.m_nCount = 4; // Windows writes four-digit years where CLDR has two
            return true;
        case 'M':
        case 'L':
            t.m_cLetter = 'M';
            t.m_nCount = std::min(t.m_nCount, 4);
            return true;
        case 'd':
            t.m_nCount = std::min(t.m_nCount, 2);
            return true;
        default:
            return false;
        }
    });
    bool bMarker = false;
    auto timeTokens = ConvertFields(TokenizeIcuPattern(timePattern), [&bMarker](CPatternToken& t) {
        switch (t.m_cLetter) {
        case 'k':
            t.m_cLetter = 'H';
            break;
        case 'K':
            t.m_cLetter = 'h';
            break;
        case 'h':
        case 'H':
        case 'm':
        case 's':
            break;
        case 'a':
        case 'b':
        case 'B':
            t.m_cLetter = 't';
            t.m_nCount = 2;
            bMarker = true;
            return true;
        default:
            return false;
        }
        t.m_nCount = std::min(t.m_nCount, 2);
        return true;
    });

    s.m_strShortDate = ToPicture(dateTokens);
    s.m_strDate = FirstInnerLiteral(dateTokens);
    if (s.m_strDate.empty())
        s.m_strDate = "/";
    s.m_strTime = FirstInnerLiteral(timeTokens);
    const bool bLetters = std::any_of(timeTokens.begin(), timeTokens.end(), [](const auto& t) {
        return !t.m_bField && ContainsLetter(t.m_strText);
    });
    if (s.m_strTime.empty() || s.m_strTime == s.m_strDate || bLetters) {
        // da and fi separate both with '.', fr-CA writes "14 h 45": a plain picture.
        s.m_strTime = ":";
        s.m_strTimeFormat = bMarker ? "h:mm:ss tt" : "H:mm:ss";
    } else {
        s.m_strTimeFormat = ToPicture(timeTokens);
    }

    status = U_ZERO_ERROR;
    const icu::DecimalFormatSymbols numbers(locale, status);
    const bool bDecimalComma =
        U_SUCCESS(status) &&
        numbers.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol) == u",";
    s.m_strList = bDecimalComma ? ";" : ",";

    status = U_ZERO_ERROR;
    const icu::DateFormatSymbols symbols(locale, status);
    if (U_SUCCESS(status)) {
        std::int32_t n = 0;
        const icu::UnicodeString* pAmPm = symbols.getAmPmStrings(n);
        if (pAmPm && n >= 2) {
            result.m_str1159 = ToUtf8String(pAmPm[0]);
            result.m_str2359 = ToUtf8String(pAmPm[1]);
            s.m_strMorningName = result.m_str1159;
            s.m_strAfternoonName = result.m_str2359;
        }
        // ICU's weekday arrays start with an unused entry; Sunday is 1.
        for (const auto width :
             {icu::DateFormatSymbols::WIDE, icu::DateFormatSymbols::ABBREVIATED}) {
            const icu::UnicodeString* pDays =
                symbols.getWeekdays(n, icu::DateFormatSymbols::FORMAT, width);
            std::vector<std::string>& days =
                width == icu::DateFormatSymbols::WIDE ? s.m_vecDayNames : s.m_vecDayAbbrevs;
            for (std::int32_t i = 1; pDays && i < n && i <= 7; ++i)
                days.push_back(ToUtf8String(pDays[i]));
            if (days.size() != 7)
                days.clear();
        }
        const icu::UnicodeString* pMonths =
            symbols.getMonths(n, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
        for (std::int32_t i = 0; pMonths && i < n && i < 12; ++i)
            s.m_vecMonthNames.push_back(ToUtf8String(pMonths[i]));
        pMonths = symbols.getMonths(n, icu::DateFormatSymbols::FORMAT,
                                    icu::DateFormatSymbols::ABBREVIATED);
        for (std::int32_t i = 0; pMonths && i < n && i < 12; ++i)
            s.m_vecMonthAbbrevs.push_back(ToUtf8String(pMonths[i]));
    }
    if (s.m_vecMonthNames.size() != 12 || s.m_vecMonthAbbrevs.size() != 12) {
        s.m_vecMonthNames.clear();
        s.m_vecMonthAbbrevs.clear();
    }
    if (bMarker || s.m_strTimeFormat.find("tt") != std::string::npos) {
        s.m_str1159 = result.m_str1159;
        s.m_str2359 = result.m_str2359;
    }
    return result;
}

bool PictureHasMarker(std::string_view picture) {
    bool bQuoted = false;
    for (char c : picture) {
        if (c == '\'')
            bQuoted = !bQuoted;
        else if (!bQuoted && c == 't')
            return true;
    }
    return false;
}

std::atomic<std::uint64_t> g_nSettingsGeneration{0};

} // namespace

std::string ProcessLocaleName() {
    for (const char* pszName : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* psz = std::getenv(pszName);
        if (psz && *psz)
            return NormalizeLocaleName(psz);
    }
    return "en_US";
}

CRegionalSettings DeriveRegionalSettings(std::string_view locale) {
    return Derive(locale).m_settings;
}

const CRegionalSettings& GetRegionalSettings(std::uint64_t& nStamp) {
    struct CCache {
        CEnvSnapshot<kRegionalEnv.size()> m_env{kRegionalEnv};
        std::uint64_t m_nRegStamp = 0;
        unsigned m_codePage = 0;
        std::uint64_t m_nGeneration = 0;
        CRegionalSettings m_settings;
        std::string m_strDerivedFrom;
        std::optional<CDerived> m_derived;
    };
    thread_local CCache s_cache;
    if (s_cache.m_nGeneration != 0 && LocaleSettingsHeld()) {
        nStamp = s_cache.m_nGeneration;
        return s_cache.m_settings;
    }
    const std::uint64_t nRegStamp = RegChangeStamp(ERegHive::CurrentUser);
    const unsigned codePage = GetSystemCodePage();
    if (s_cache.m_nGeneration != 0 && nRegStamp == s_cache.m_nRegStamp &&
        codePage == s_cache.m_codePage && s_cache.m_env.Matches()) {
        nStamp = s_cache.m_nGeneration;
        return s_cache.m_settings;
    }
    s_cache.m_env.Take();
    s_cache.m_nRegStamp = nRegStamp;
    s_cache.m_codePage = codePage;

    CRegKey key;
    const bool bUserKey = key.Open(ERegHive::CurrentUser, kInternationalKey) == REG_STATUS_OK;
    // A home's profile names the locale it was made in; the process locale stands in for
    // homes made before profiles were written.
    std::string localeName;
    if (!bUserKey || key.QueryString(kLocaleNameValue, localeName) != REG_STATUS_OK ||
        localeName.empty())
        localeName = ProcessLocaleName();
    else
        localeName = NormalizeLocaleName(localeName);
    if (!s_cache.m_derived || s_cache.m_strDerivedFrom != localeName) {
        s_cache.m_derived = Derive(localeName);
        s_cache.m_strDerivedFrom = localeName;
    }
    CRegionalSettings s = s_cache.m_derived->m_settings;

    if (bUserKey) {
        std::string* targets[] = {&s.m_strShortDate, &s.m_strTimeFormat, &s.m_strList, &s.m_str1159,
                                  &s.m_str2359,      &s.m_strDate,       &s.m_strTime};
        static_assert(std::size(kRegionalValueNames) == std::size(targets));
        bool bMarkerStored = false;
        for (std::size_t i = 0; i < std::size(targets); ++i) {
            std::string value;
            if (key.QueryString(kRegionalValueNames[i], value) != REG_STATUS_OK)
                continue;
            const bool bMarkerValue = targets[i] == &s.m_str1159 || targets[i] == &s.m_str2359;
            // An empty picture or separator would write dates nobody can read back;
            // an empty day-period marker is normal (24-hour locales).
            if (value.empty() && !bMarkerValue)
                continue;
            *targets[i] = CodePageToUtf8(value, codePage);
            bMarkerStored = bMarkerStored || bMarkerValue;
        }
        if (!bMarkerStored && PictureHasMarker(s.m_strTimeFormat) && s.m_str1159.empty() &&
            s.m_str2359.empty()) {
            s.m_str1159 = s_cache.m_derived->m_str1159;
            s.m_str2359 = s_cache.m_derived->m_str2359;
        }
    }
    s_cache.m_settings = std::move(s);
    s_cache.m_nGeneration = ++g_nSettingsGeneration;
    nStamp = s_cache.m_nGeneration;
    return s_cache.m_settings;
}

const CRegionalSettings& GetRegionalSettings() {
    std::uint64_t nStamp = 0;
    return GetRegionalSettings(nStamp);
}
