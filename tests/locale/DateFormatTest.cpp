#include "platform/locale/DateFormat.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"

namespace {

class DateFormatTest : public CVarnoTest {};

CLocalTime At(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    return {nYear, nMonth, nDay, nHour, nMinute, nSecond};
}

TEST_F(DateFormatTest, PictureFields) {
    const CRegionalSettings s = WindowsSettings("en-US");
    const CRegionalSettings de = WindowsSettings("de-DE");
    const CLocalTime morning = At(2005, 3, 7, 9, 5, 4);
    const CLocalTime afternoon = At(2026, 12, 25, 14, 45, 30);
    struct SCase {
        const char* m_pszPicture;
        const CLocalTime& m_time;
        const CRegionalSettings& m_settings;
        const char* m_pszExpected;
    };
    const SCase cases[] = {
        {"d/M/y", morning, s, "7/3/5"},
        {"dd.MM.yy", morning, s, "07.03.05"},
        {"yyyy-MM-dd", morning, s, "2005-03-07"},
        {"yyyyy", morning, s, "2005"},
        {"d MMM yyyy", afternoon, s, "25 Dec 2026"},
        {"d. MMMM yyyy", afternoon, de, "25. Dezember 2026"},
        {"dd-MMM", morning, de, "07-März"},
        {"h:mm:ss tt", morning, s, "9:05:04 AM"},
        {"hh:mm tt", afternoon, s, "02:45 PM"},
        {"h t", afternoon, s, "2 P"},
        {"h:mm tt", At(2026, 1, 1, 0, 30, 0), s, "12:30 AM"},
        {"h:mm tt", At(2026, 1, 1, 12, 0, 0), s, "12:00 PM"},
        {"H:m:s", morning, s, "9:5:4"},
        {"HH:mm:ss", morning, s, "09:05:04"},
        {"HH:mm tt", afternoon, de, "14:45 "},
        {"'d''s' d", morning, s, "d's 7"},
        {"HH 'h' mm", afternoon, s, "14 h 45"},
        {"''x''", morning, s, "'x'"},
        {"dd 'unclosed", morning, s, "07 unclosed"},
        {"yyyy年M月d日", afternoon, s, "2026年12月25日"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(FormatPicture(c.m_pszPicture, c.m_time, c.m_settings), c.m_pszExpected)
            << c.m_pszPicture;
}

TEST_F(DateFormatTest, SecondsGoWithTheSeparatorBeforeThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"h:mm:ss tt", "h:mm tt"},
        {"HH:mm:ss", "HH:mm"},
        {"tt h:mm:ss", "tt h:mm"},
        {"H.mm.ss", "H.mm"},
        {"HH 'h' mm 'min' ss 's'", "HH 'h' mm 's'"},
        {"ss:mm", "mm"},
        {"HH:mm", "HH:mm"},
        {"HH:mm 'ss'", "HH:mm 'ss'"}};
    for (const auto& [pszPicture, pszExpected] : cases)
        EXPECT_EQ(TimePictureWithoutSeconds(pszPicture), pszExpected) << pszPicture;
}

TEST_F(DateFormatTest, TwelveHourPicturesThatCannotTellAfternoonWriteTwentyFourHours) {
    struct SCase {
        const char* m_pszPicture;
        const char* m_psz1159;
        const char* m_psz2359;
        const char* m_pszExpected;
    };
    const SCase cases[] = {
        {"h:mm:ss tt", "AM", "PM", "h:mm tt"},
        {"hh:mm:ss t", "AM", "PM", "hh:mm t"},
        {"h:mm:ss tt", "??", "??", "H:mm"}, // markers lost to the code page
        {"h:mm:ss tt", "", "", "H:mm"},
        {"tt h:mm:ss", "am", "AM", "H:mm"},
        {"hh:mm:ss t", "Vorm.", "Vesp.", "HH:mm"}, // one letter would be alike
        {"h:mm:ss", "AM", "PM", "H:mm"},
        {"HH:mm:ss tt", "", "", "HH:mm tt"},
    };
    for (const SCase& c : cases) {
        CRegionalSettings s;
        s.m_strTimeFormat = c.m_pszPicture;
        s.m_str1159 = c.m_psz1159;
        s.m_str2359 = c.m_psz2359;
        EXPECT_EQ(NoSecondsTimePicture(s), c.m_pszExpected) << c.m_pszPicture;
    }
}

struct SParse {
    const char* m_pszLocale; // Windows values; a name with '_' takes ICU's defaults
    const char* m_pszText;
    int m_nYear, m_nMonth, m_nDay;     // 0: no date
    int m_nHour, m_nMinute, m_nSecond; // -1: no time
};

CRegionalSettings SettingsOf(std::string_view locale) {
    return locale.find('_') != std::string_view::npos ? DeriveRegionalSettings(locale)
                                                      : WindowsSettings(locale);
}

TEST_F(DateFormatTest, ParserAcceptsDatesTimesAndBoth) {
    constexpr int kNoTime = -1;
    const SParse cases[] = {
        {"de-DE", "1.2.05", 5, 2, 1, kNoTime, 0, 0},
        {"de-DE", "14:45", 0, 0, 0, 14, 45, 0},
        {"de-DE", "05.12.2026 14:45", 2026, 12, 5, 14, 45, 0},
        {"de-DE", "  14:45:30  ", 0, 0, 0, 14, 45, 30},
        {"de-DE", "14:45 05.12.2026", 2026, 12, 5, 14, 45, 0},
        {"de-DE", "5.12.", 2025, 12, 5, kNoTime, 0, 0},
        {"de-DE", "5.12. 14:45", 2025, 12, 5, 14, 45, 0},
        {"de-DE", "5. Dezember 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"de-DE", "5. dez 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"de-DE", "5.Dez.2026", 2026, 12, 5, kNoTime, 0, 0},
        {"de-DE", "29.02.2024", 2024, 2, 29, kNoTime, 0, 0},
        {"en-US", "2:45 PM", 0, 0, 0, 14, 45, 0},
        {"en-US", "2:45\u202FPM", 0, 0, 0, 14, 45, 0},
        {"en-US", "2:45\u00A0pm", 0, 0, 0, 14, 45, 0},
        {"en-US", "12:05 am", 0, 0, 0, 0, 5, 0},
        {"en-US", "12:05 PM", 0, 0, 0, 12, 5, 0},
        {"en-US", "13:05 AM", 0, 0, 0, 13, 5, 0},
        {"en-US", "5 PM", 0, 0, 0, 17, 0, 0},
        {"en-US", "PM 5", 0, 0, 0, 17, 0, 0},
        {"en-US", "12/5/2026 2:45 PM", 2026, 12, 5, 14, 45, 0},
        {"en-US", "12/5/2026, 2:45 PM", 2026, 12, 5, 14, 45, 0},
        {"en-US", "Dec 5, 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"de-DE", "5,12,2026", 2026, 12, 5, kNoTime, 0, 0}, // commas count as blanks
        {"en-US", "9.30", 0, 0, 0, 9, 30, 0},
        {"de-DE", "2026-12-05", 2026, 12, 5, kNoTime, 0, 0},
        {"en-US", "2026-12-05", 2026, 12, 5, kNoTime, 0, 0},
        {"en-GB", "2026-12-05", 2026, 12, 5, kNoTime, 0, 0},
        {"en-GB", "2026/12/5 09:30", 2026, 12, 5, 9, 30, 0},
        {"en-GB", "5 Dec 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"en-GB", "5 December 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"en-GB", "05/12/26", 26, 12, 5, kNoTime, 0, 0},
        {"it-IT", "9.30", 0, 0, 0, 9, 30, 0},
        {"it-IT", "05/12/2026 9.30.15", 2026, 12, 5, 9, 30, 15},
        {"nl-NL", "5-12-2026 9:30", 2026, 12, 5, 9, 30, 0},
        {"ja-JP", "2026/12/05 14:45", 2026, 12, 5, 14, 45, 0},
        {"ja-JP", "12/05", 2025, 12, 5, kNoTime, 0, 0},
        {"ja-JP", "２０２６/１２/０５\u3000午後2:45", 2026, 12, 5, 14, 45, 0},
        {"ko_KR", "2026. 12. 5. 오후 2:45", 2026, 12, 5, 14, 45, 0},
        {"ko_KR", "오전 12:05", 0, 0, 0, 0, 5, 0},
        {"bg_BG", "5.12.2026 г. 14:45", 2026, 12, 5, 14, 45, 0},
        {"ar_EG", "5\u200F/12\u200F/2026 2:45 م", 2026, 12, 5, 14, 45, 0},
    };
    for (const SParse& c : cases) {
        SCOPED_TRACE(std::string(c.m_pszLocale) + " \"" + c.m_pszText + "\"");
        const auto r = ParseDateTimeText(c.m_pszText, SettingsOf(c.m_pszLocale), 2025);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->m_bDate, c.m_nYear != 0);
        EXPECT_EQ(r->m_bTime, c.m_nHour != kNoTime);
        if (r->m_bDate) {
            EXPECT_EQ(r->m_nYear, c.m_nYear);
            EXPECT_EQ(r->m_nMonth, c.m_nMonth);
            EXPECT_EQ(r->m_nDay, c.m_nDay);
        }
        if (r->m_bTime) {
            EXPECT_EQ(r->m_nHour, c.m_nHour);
            EXPECT_EQ(r->m_nMinute, c.m_nMinute);
            EXPECT_EQ(r->m_nSecond, c.m_nSecond);
        }
    }
}

TEST_F(DateFormatTest, ParserRejectsWhatIsNotADateOrTime) {
    const std::pair<const char*, const char*> cases[] = {
        {"de-DE", "31.02.2026"},
        {"de-DE", "29.02.2026"},
        {"en-US", "13/25/2026"},
        {"de-DE", "13/25/2026"},
        {"de-DE", "24:00"},
        {"de-DE", "12:60"},
        {"de-DE", "12:30:60"},
        {"de-DE", "5.12.2026x"},
        {"de-DE", "14:"},
        {"en-US", "2:45 PM PM"},
        {"en-US", "2:45 PM AM"},
        {"en-US", "PM"},
        {"en-US", "5"},
        {"de-DE", "2026"},
        {"de-DE", "5.12.2026 6"},
        {"de-DE", "1.2.3 4:5 6"},
        {"de-DE", "1:2:3:4"},
        {"de-DE", "5..12.2026"},
        {"de-DE", ".5.12.2026"},
        {"de-DE", "5.12.2026 :14"},
        {"en-US", "14:45/5/12"},
        {"en-US", "5.12.2026 PM"},
        {"en-US", "Marx 5 2026"},
        {"en-US", "Dec Jan 5"},
        {"en-US", "Dec:30"},
        {"en-US", "2:45 P"}, // one letter only where the picture writes one
        {"de-DE", "12345678901.1.2026"},
        {"de-DE", "abc"},
        {"de-DE", "\xFF"},
        {"de-DE", ""},
    };
    for (const auto& [pszLocale, pszText] : cases) {
        EXPECT_FALSE(ParseDateTimeText(pszText, SettingsOf(pszLocale), 2025).has_value())
            << pszLocale << " \"" << pszText << "\"";
    }
}

// Dates and times as people type them, in each locale's own defaults: markers where the
// picture shows none, hour words and marks, long dates with their weekday.
TEST_F(DateFormatTest, ParserReadsWhatPeopleType) {
    constexpr int kNoTime = -1;
    const SParse cases[] = {
        {"en_GB", "2:45 pm", 0, 0, 0, 14, 45, 0},
        {"en_GB", "2:45pm", 0, 0, 0, 14, 45, 0},
        {"en_GB", "9.05am", 0, 0, 0, 9, 5, 0},
        {"en_GB", "12.30 a.m.", 0, 0, 0, 0, 30, 0},
        {"de_DE", "14:45 Uhr", 0, 0, 0, 14, 45, 0},
        {"de_DE", "9 Uhr", 0, 0, 0, 9, 0, 0},
        {"de_DE", "14.45 Uhr", 0, 0, 0, 14, 45, 0},
        {"de_DE", "5.12.2026 9 Uhr", 2026, 12, 5, 9, 0, 0},
        {"fr_FR", "14h45", 0, 0, 0, 14, 45, 0},
        {"fr_FR", "14 h 45", 0, 0, 0, 14, 45, 0},
        {"fr_FR", "9h05", 0, 0, 0, 9, 5, 0},
        {"fr_FR", "9h", 0, 0, 0, 9, 0, 0},
        {"fr_FR", "05/12/2026 14h45", 2026, 12, 5, 14, 45, 0},
        {"ja_JP", "2026年12月5日", 2026, 12, 5, kNoTime, 0, 0},
        {"ja_JP", "12月5日", 2025, 12, 5, kNoTime, 0, 0},
        {"ja_JP", "14時45分", 0, 0, 0, 14, 45, 0},
        {"ja_JP", "14時", 0, 0, 0, 14, 0, 0},
        {"ja_JP", "午後2:45", 0, 0, 0, 14, 45, 0},
        {"ja_JP", "午後2時45分", 0, 0, 0, 14, 45, 0},
        {"ja_JP", "2026年12月5日土曜日 14時45分", 2026, 12, 5, 14, 45, 0},
        {"de_DE", "Samstag, 5. Dezember 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"en_US", "Saturday, December 5, 2026", 2026, 12, 5, kNoTime, 0, 0},
        {"fr_FR", "samedi 5 décembre 2026", 2026, 12, 5, kNoTime, 0, 0},
    };
    for (const SParse& c : cases) {
        SCOPED_TRACE(std::string(c.m_pszLocale) + " \"" + c.m_pszText + "\"");
        const auto r = ParseDateTimeText(c.m_pszText, SettingsOf(c.m_pszLocale), 2025);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->m_bDate, c.m_nYear != 0);
        EXPECT_EQ(r->m_bTime, c.m_nHour != kNoTime);
        if (r->m_bDate) {
            EXPECT_EQ(std::tuple(r->m_nYear, r->m_nMonth, r->m_nDay),
                      std::tuple(c.m_nYear, c.m_nMonth, c.m_nDay));
        }
        if (r->m_bTime) {
            EXPECT_EQ(std::pair(r->m_nHour, r->m_nMinute), std::pair(c.m_nHour, c.m_nMinute));
        }
    }
    const auto r = ParseDateTimeText("Samstag, 5. Dezember 2026", SettingsOf("de_DE"), 2025);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->m_nWeekday, 6);

    // What could be read two ways, or not at all, stays rejected.
    const std::pair<const char*, const char*> rejected[] = {
        {"de_DE", "14.45"}, // a date of day 14, month 45 where no time is wanted
        {"de_DE", "Uhr"},     {"de_DE", "Uhr 9"},         {"de_DE", "9 Uhr Uhr"},
        {"de_DE", "Samstag"}, {"de_DE", "Samstag 14:45"}, {"fr_FR", "h45"},
        {"fr_FR", "14h45h"},  {"en_GB", "2:45 pm am"},    {"en_GB", "25 pm"},
        {"ja_JP", "年12月"},  {"ja_JP", "45分"},
    };
    for (const auto& [pszLocale, pszText] : rejected) {
        EXPECT_FALSE(ParseDateTimeText(pszText, SettingsOf(pszLocale), 2025).has_value())
            << pszLocale << " \"" << pszText << "\"";
    }
    // Where a time is wanted, two numbers joined by de's date dot are one if they make one.
    const CDateTimeParser parser(SettingsOf("de_DE"));
    const auto time = parser.Parse("14.45", 2025, true);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(std::tuple(time->m_bDate, time->m_nHour, time->m_nMinute), std::tuple(false, 14, 45));
    const auto date = parser.Parse("24.12", 2025, true);
    ASSERT_TRUE(date.has_value());
    EXPECT_EQ(std::tuple(date->m_bTime, date->m_nMonth, date->m_nDay), std::tuple(false, 12, 24));
}

TEST_F(DateFormatTest, ParserReadsTheMarkerLetterWhereThePictureWritesIt) {
    CRegionalSettings s = WindowsSettings("en-US");
    s.m_strTimeFormat = "h:mm:ss t";
    const auto r = ParseDateTimeText("2:45 p", s, 2025);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->m_nHour, 14);
}

} // namespace
