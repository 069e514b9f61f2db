// The date and time parser on any text, in the regional settings of a locale or in
// settings taken from the input (pictures, separators, markers as a user may enter them).
// A parsed date or time is a real one; in a locale's own settings, the date and time
// written with its pictures read back as the same date and time. The program's own
// entry points (narrow text of the system code page) see the same text.
//
// Input: an option byte, then with bit 3 set six lines (short date picture, time picture,
// date separator, time separator, morning and afternoon markers), then the text.
//   options bit 0-2  locale: en-US en-GB de-DE fr-FR nl-NL es-ES ja-JP it-IT
//           bit 3    settings from the input
//           bit 4    system code page 65001 (else 1252)
#include "fuzz/FuzzSupport.h"
#include "model/DateText.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/RegionalSettings.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr int kCurrentYear = 2026;
constexpr std::array<const char*, 8> kLocales = {"en-US", "en-GB", "de-DE", "fr-FR",
                                                 "nl-NL", "es-ES", "ja-JP", "it-IT"};

void Fail(const char* pszWhat, std::string_view text) {
    std::fprintf(stderr, "%s: \"%.*s\"\n", pszWhat, static_cast<int>(text.size()), text.data());
    std::abort();
}

bool IsLeap(int nYear) {
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int DaysInMonth(int nYear, int nMonth) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return nMonth == 2 && IsLeap(nYear) ? 29 : kDays[static_cast<std::size_t>(nMonth - 1)];
}

void CheckFields(const CParsedDateTime& parsed, std::string_view text) {
    if (!parsed.m_bDate && !parsed.m_bTime)
        Fail("parsed as neither date nor time", text);
    if (parsed.m_bDate &&
        (parsed.m_nYear < 0 || parsed.m_nMonth < 1 || parsed.m_nMonth > 12 || parsed.m_nDay < 1 ||
         parsed.m_nDay > DaysInMonth(parsed.m_nYear, parsed.m_nMonth)))
        Fail("parsed as a date that does not exist", text);
    if (parsed.m_bTime && (parsed.m_nHour < 0 || parsed.m_nHour > 23 || parsed.m_nMinute < 0 ||
                           parsed.m_nMinute > 59 || parsed.m_nSecond < 0 || parsed.m_nSecond > 59))
        Fail("parsed as a time that does not exist", text);
}

// A locale's settings, derived once.
const CRegionalSettings& LocaleSettings(const char* pszLocale) {
    static std::map<std::string, CRegionalSettings> s_settings;
    auto it = s_settings.find(pszLocale);
    if (it == s_settings.end())
        it = s_settings.emplace(pszLocale, DeriveRegionalSettings(pszLocale)).first;
    return it->second;
}

// What the pictures write of the parsed value reads back as that value.
void CheckRoundTrip(const CDateTimeParser& parser, const CRegionalSettings& settings,
                    const CParsedDateTime& parsed, std::string_view text) {
    CLocalTime value;
    if (parsed.m_bDate) {
        int nYear = parsed.m_nYear;
        if (!ApplyYearWindow(nYear) || parsed.m_nDay > DaysInMonth(nYear, parsed.m_nMonth))
            return;
        value.m_nYear = nYear;
        value.m_nMonth = parsed.m_nMonth;
        value.m_nDay = parsed.m_nDay;
        const std::string date = FormatPicture(settings.m_strShortDate, value, settings);
        const auto again = parser.Parse(date, kCurrentYear);
        if (!again || !again->m_bDate || again->m_nMonth != value.m_nMonth ||
            again->m_nDay != value.m_nDay)
            Fail("a date written does not read back", date);
        int nAgainYear = again->m_nYear;
        if (!ApplyYearWindow(nAgainYear) || nAgainYear != nYear)
            Fail("the year of a date written does not read back", date);
    }
    if (parsed.m_bTime) {
        value.m_nHour = parsed.m_nHour;
        value.m_nMinute = parsed.m_nMinute;
        value.m_nSecond = parsed.m_nSecond;
        const std::string time = FormatPicture(settings.m_strTimeFormat, value, settings);
        const auto again = parser.Parse(time, kCurrentYear);
        if (!again || !again->m_bTime || again->m_nHour != value.m_nHour ||
            again->m_nMinute != value.m_nMinute || again->m_nSecond != value.m_nSecond)
            Fail("a time written does not read back", time);
    }
    (void)text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    CFuzzInput input(pData, nSize);
    const std::uint8_t byOptions = input.TakeByte();
    CRegionalSettings settings = LocaleSettings(kLocales[byOptions & 7]);
    const bool bOwnSettings = (byOptions & 8) != 0;
    if (bOwnSettings) {
        for (std::string* pText :
             {&settings.m_strShortDate, &settings.m_strTimeFormat, &settings.m_strDate,
              &settings.m_strTime, &settings.m_str1159, &settings.m_str2359})
            *pText = std::string(input.TakeLine());
        // The helpers that derive pictures from the user's.
        (void)TimePictureWithoutSeconds(settings.m_strTimeFormat);
        (void)NoSecondsTimePicture(settings);
        (void)TimePictureWith24Hours(settings.m_strTimeFormat);
        (void)PictureWithNumericMonths(settings.m_strShortDate);
        (void)PictureHasField(settings.m_strShortDate, "hHmst");
        CLocalTime sample;
        sample.m_nYear = 2026;
        sample.m_nMonth = 12;
        sample.m_nDay = 5;
        (void)FormatPicture(settings.m_strShortDate, sample, settings);
        (void)FormatPicture(settings.m_strTimeFormat, sample, settings);
    }
    const std::string_view text = input.Rest();

    const CDateTimeParser parser(settings);
    if (const auto parsed = parser.Parse(text, kCurrentYear)) {
        CheckFields(*parsed, text);
        if (!bOwnSettings)
            CheckRoundTrip(parser, settings, *parsed, text);
    }

    // The narrow entry points, in the pinned settings and the chosen code page.
    UseCodePage(byOptions & 0x10 ? 65001 : 1252);
    TimeValue t = 0;
    TimeSpan ts = 0;
    if (ParseDateText(text, t) == STATUS_OK &&
        (t < DatebookRangeStart() - 86400 || t > DatebookRangeEnd() + 86400))
        Fail("a date parsed lies outside the year window", text);
    (void)ParseTimeText(text, t);
    (void)ParseSpanText(text, ts);
    return 0;
}
