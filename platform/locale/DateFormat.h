// Date and time pictures and the forgiving date/time parser.
#pragma once

#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"

#include <optional>
#include <string>
#include <string_view>

// Formats a local time with a picture: d dd M MM MMM MMMM yy yyyy h hh H HH m mm s ss t tt,
// text in single quotes taken literally ('' is one quote), anything else copied. UTF-8.
[[nodiscard]] std::string FormatPicture(std::string_view picture, const CLocalTime& time,
                                        const CRegionalSettings& settings);

// The time picture without seconds: the seconds field and the separator before it
// removed ("h:mm:ss tt" gives "h:mm tt").
[[nodiscard]] std::string TimePictureWithoutSeconds(std::string_view picture);

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
};

// Parses a date, a time, or both in one text (UTF-8) in the spirit of the platform's
// parser: the order of day, month and year from the short date picture, the separators
// and markers of the settings, month names; a date of two numbers takes nCurrentYear.
// Empty when the text is not a valid date or time.
[[nodiscard]] std::optional<CParsedDateTime>
ParseDateTimeText(std::string_view text, const CRegionalSettings& settings, int nCurrentYear);
