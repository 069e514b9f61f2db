// Date and time pictures and the forgiving date/time parser.
#pragma once

#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Formats a local time with a picture: d dd M MM MMM MMMM yy yyyy h hh H HH m mm s ss t tt,
// text in single quotes taken literally ('' is one quote), anything else copied. UTF-8.
[[nodiscard]] std::string FormatPicture(std::string_view picture, const CLocalTime& time,
                                        const CRegionalSettings& settings);

// The time picture without seconds: the seconds field and the separator before it
// removed ("h:mm:ss tt" gives "h:mm tt").
[[nodiscard]] std::string TimePictureWithoutSeconds(std::string_view picture);

// The time picture of FormatTimeNoSeconds: the seconds removed, and the hour in 24-hour
// form where the 12-hour picture could not tell morning from afternoon (no marker field,
// or markers that are empty or alike), so that what is written reads back as written.
[[nodiscard]] std::string NoSecondsTimePicture(const CRegionalSettings& settings);
// h and hh become H and HH; each marker field goes, with the blank beside it.
[[nodiscard]] std::string TimePictureWith24Hours(std::string_view picture);
// MMM and MMMM become MM (for month names that the output cannot hold).
[[nodiscard]] std::string PictureWithNumericMonths(std::string_view picture);
// Whether the picture has a field of one of the letters, quoted text aside.
[[nodiscard]] bool PictureHasField(std::string_view picture, std::string_view letters);

// The user's short date and time without seconds of a local time, UTF-8.
[[nodiscard]] std::string FormatShortDate(const CLocalTime& time, const CRegionalSettings& s);
[[nodiscard]] std::string FormatTimeNoSeconds(const CLocalTime& time, const CRegionalSettings& s);

struct CParsedDateTime {
    bool m_bDate = false; // a date was given
    bool m_bTime = false; // a time was given
    int m_nYear = 0;      // as typed: 5 for "05", 2005 for "2005"
    int m_nMonth = 0;
    int m_nDay = 0;
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
    int m_nWeekday = -1; // the weekday named in the text, 0 Sunday .. 6 Saturday
};

// UTF-8 text without the white space (no-break spaces included) at both ends.
[[nodiscard]] std::string_view TrimText(std::string_view text);

// The parser of ParseDateTimeText with what it takes from the settings prepared once, for
// callers that parse many texts in the same settings.
class CDateTimeParser {
public:
    explicit CDateTimeParser(const CRegionalSettings& settings);
    // bTimeWanted: the text stands in a time cell, so that two numbers joined by a dot
    // that is the date separator ("14.45" in de) are a time where they make one.
    [[nodiscard]] std::optional<CParsedDateTime> Parse(std::string_view text, int nCurrentYear,
                                                       bool bTimeWanted = false) const;

private:
    // Morning, Afternoon: day-period markers. Month: a month name (m_nMonth). Weekday: a
    // weekday name (m_nMonth 0 Sunday .. 6). HourMark: "h", "時", a time separator that may
    // also end the text after an hour ("14h45", "14h"). DateMark: "年", "月", a date
    // separator. Clock: "Uhr", after a time or an hour ("9 Uhr"). Word: passed over.
    enum class ENameKind { Morning, Afternoon, Month, Weekday, HourMark, DateMark, Clock, Word };
    struct CName {
        std::u32string m_strFolded; // simple case folding, white space as one blank
        ENameKind m_kind = ENameKind::Word;
        int m_nMonth = 0;
    };
    void AddName(std::string_view utf8, ENameKind kind, int nMonth = 0);
    [[nodiscard]] const CName* MatchName(const std::u32string& text, std::size_t pos,
                                         std::size_t& end) const;

    std::vector<CName> m_vecNames;
    char32_t m_cDateSeparator = U'/';
    char32_t m_cTimeSeparator = U':';
    bool m_bDotIsTimeSeparator = true;
    bool m_bNameStartsWithDigit = false;
    bool m_bAsciiFirst[0x80] = {};     // the ASCII characters that start a name
    char m_order[3] = {'M', 'd', 'y'}; // the fields of the short date, in their order
};

// Parses a date, a time, or both in one text (UTF-8) in the spirit of the platform's
// parser: the order of day, month and year from the short date picture, the separators
// and markers of the settings, month names; a date of two numbers takes nCurrentYear.
// Empty when the text is not a valid date or time.
[[nodiscard]] std::optional<CParsedDateTime>
ParseDateTimeText(std::string_view text, const CRegionalSettings& settings, int nCurrentYear);
