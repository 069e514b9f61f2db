#include "platform/locale/RegionalSettings.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/DateFormat.h"
#include "platform/registry/Registry.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"

namespace {

class RegionalSettingsTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        // Only the defaults of the process locale, unless a test stores values.
        ASSERT_EQ(RegDeleteTree(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
    }
};

// sShortDate, sTimeFormat, the time without seconds at 09:30 and 14:45, sList, s1159,
// s2359, sDate and sTime. Windows' values, except where CLDR pads differently (nl and es),
// and the special cases: fr-CA has "HH 'h' mm 'min' ss 's'" in CLDR (letters in the time
// give the plain picture), da and fi have '.' for both separators, ko puts the day period
// before the hour.
const std::vector<std::vector<std::string>> kDerived = {
    {"en-US", "M/d/yyyy", "h:mm:ss tt", "9:30 AM", "2:45 PM", ",", "AM", "PM", "/", ":"},
    {"en-GB", "dd/MM/yyyy", "HH:mm:ss", "09:30", "14:45", ",", "", "", "/", ":"},
    {"de-DE", "dd.MM.yyyy", "HH:mm:ss", "09:30", "14:45", ";", "", "", ".", ":"},
    {"fr-FR", "dd/MM/yyyy", "HH:mm:ss", "09:30", "14:45", ";", "", "", "/", ":"},
    {"nl-NL", "dd-MM-yyyy", "HH:mm:ss", "09:30", "14:45", ";", "", "", "-", ":"},
    {"es-ES", "d/M/yyyy", "H:mm:ss", "9:30", "14:45", ";", "", "", "/", ":"},
    {"ja-JP", "yyyy/MM/dd", "H:mm:ss", "9:30", "14:45", ",", "", "", "/", ":"},
    {"fr-CA", "yyyy-MM-dd", "H:mm:ss", "9:30", "14:45", ";", "", "", "-", ":"},
    {"da-DK", "dd.MM.yyyy", "H:mm:ss", "9:30", "14:45", ";", "", "", ".", ":"},
    {"fi_FI", "d.M.yyyy", "H:mm:ss", "9:30", "14:45", ";", "", "", ".", ":"},
    {"ko_KR", "yyyy. M. d.", "tt h:mm:ss", "오전 9:30", "오후 2:45", ",", "오전", "오후", ".", ":"},
};

TEST_F(RegionalSettingsTest, DefaultsDeriveFromIcu) {
    for (const std::vector<std::string>& expected : kDerived) {
        const CRegionalSettings s = DeriveRegionalSettings(expected[0]);
        auto time = [&s](int nHour, int nMinute) {
            return FormatTimeNoSeconds({1970, 1, 1, nHour, nMinute}, s);
        };
        const std::vector<std::string> derived = {
            expected[0], s.m_strShortDate, s.m_strTimeFormat, time(9, 30), time(14, 45),
            s.m_strList, s.m_str1159,      s.m_str2359,       s.m_strDate, s.m_strTime};
        EXPECT_EQ(derived, expected);
        EXPECT_EQ(s.m_vecMonthNames.size() + s.m_vecMonthAbbrevs.size(), 24u) << expected[0];
    }
}

TEST_F(RegionalSettingsTest, DerivedTextsHoldNoNarrowSpaces) {
    // CLDR puts U+202F before AM/PM in en-US and inside Bulgarian dates.
    for (const char* pszLocale : {"en_US", "bg_BG", "es_ES", "fr_FR"}) {
        const CRegionalSettings s = DeriveRegionalSettings(pszLocale);
        for (const std::string* p : {&s.m_strShortDate, &s.m_strTimeFormat, &s.m_str1159,
                                     &s.m_str2359, &s.m_strDate, &s.m_strTime}) {
            EXPECT_EQ(p->find("\u202F"), std::string::npos) << pszLocale << " " << *p;
            EXPECT_EQ(p->find("\u00A0"), std::string::npos) << pszLocale << " " << *p;
        }
    }
    EXPECT_EQ(DeriveRegionalSettings("bg_BG").m_strShortDate, "d.MM.yyyy '\u0433'.");
}

TEST_F(RegionalSettingsTest, LocaleNamesAreNormalised) {
    struct SCase {
        const char* m_pszName;
        const char* m_pszLocale;
    };
    const SCase cases[] = {
        {"de_DE.UTF-8@euro", "de_DE"},
        {"de-DE", "de_DE"},
        {"de", "de"},
        {"C", "en_US"},
        {"POSIX", "en_US"},
        {"", "en_US"},
        {"C.UTF-8", "en_US"},
        {"xx_YY", "en_US"}, // no data: not the ICU default
    };
    CScopedEnv lang("LANG", "de_DE.UTF-8");
    for (const SCase& c : cases) {
        const CRegionalSettings s = DeriveRegionalSettings(c.m_pszName);
        EXPECT_EQ(s.m_strLocale, c.m_pszLocale) << c.m_pszName;
    }
    EXPECT_EQ(DeriveRegionalSettings("xx_YY").m_strShortDate, "M/d/yyyy");
    EXPECT_EQ(DeriveRegionalSettings("C").m_strTimeFormat, "h:mm:ss tt");
}

TEST_F(RegionalSettingsTest, ProcessLocaleTakesLcAllThenLcTimeThenLang) {
    struct SCase {
        const char* m_pszAll;
        const char* m_pszTime;
        const char* m_pszLang;
        const char* m_pszExpected;
    };
    const SCase cases[] = {
        {"de_DE.UTF-8", "fr_FR.UTF-8", "ja_JP.UTF-8", "de_DE"},
        {nullptr, "fr_FR.UTF-8", "ja_JP.UTF-8", "fr_FR"},
        {"", "fr_FR", "ja_JP", "fr_FR"},
        {nullptr, nullptr, "ja_JP.UTF-8", "ja_JP"},
        {nullptr, nullptr, nullptr, "en_US"},
        {"POSIX", "fr_FR", nullptr, "en_US"},
    };
    for (const SCase& c : cases) {
        CScopedEnv all("LC_ALL", c.m_pszAll);
        CScopedEnv time("LC_TIME", c.m_pszTime);
        CScopedEnv lang("LANG", c.m_pszLang);
        EXPECT_EQ(ProcessLocaleName(), c.m_pszExpected);
        EXPECT_EQ(GetRegionalSettings().m_strLocale, c.m_pszExpected);
    }
}

TEST_F(RegionalSettingsTest, StoredValuesOverrideTheDefaultsAndAreFollowed) {
    CScopedEnv all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetRegionalSettings().m_strShortDate, "dd.MM.yyyy");

    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("sShortDate", "yyyy-MM-dd"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("sList", ""), REG_STATUS_OK); // empty: the default stays
    std::uint64_t nStamp = 0;
    const CRegionalSettings& s = GetRegionalSettings(nStamp);
    EXPECT_EQ(s.m_strShortDate, "yyyy-MM-dd");
    EXPECT_EQ(s.m_strTimeFormat, "HH:mm:ss");
    EXPECT_EQ(s.m_strList, ";");
    std::uint64_t nAgain = 0;
    (void)GetRegionalSettings(nAgain);
    EXPECT_EQ(nAgain, nStamp);

    // Another locale's defaults under the same stored value.
    {
        CScopedEnv french("LC_ALL", "fr_FR.UTF-8");
        const CRegionalSettings& fr = GetRegionalSettings(nAgain);
        EXPECT_NE(nAgain, nStamp);
        EXPECT_EQ(fr.m_strShortDate, "yyyy-MM-dd");
        EXPECT_EQ(fr.m_vecMonthNames[11], "décembre");
    }
    // Another home, another registry.
    {
        CTestHome other;
        EXPECT_EQ(GetRegionalSettings().m_strShortDate, "dd.MM.yyyy");
    }
    ASSERT_EQ(key.DeleteValue("sShortDate"), REG_STATUS_OK);
    EXPECT_EQ(GetRegionalSettings().m_strShortDate, "dd.MM.yyyy");
}

TEST_F(RegionalSettingsTest, StoredTextsAreInTheSystemCodePage) {
    CScopedEnv all("LC_ALL", "en_US.UTF-8");
    SetRegional("ja-JP"); // under 1252 the markers cannot be stored
    EXPECT_EQ(GetRegionalSettings().m_str1159, "??");
    SetCodePage(65001);
    SetRegional("ja-JP");
    EXPECT_EQ(GetRegionalSettings().m_str1159, "午前");
    EXPECT_EQ(GetRegionalSettings().m_str2359, "午後");

    SetCodePage(1252);
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("sTimeFormat", "HH:mm:ss '\xE0'"), REG_STATUS_OK);
    EXPECT_EQ(GetRegionalSettings().m_strTimeFormat, "HH:mm:ss 'à'");
}

TEST_F(RegionalSettingsTest, AMarkerPictureWithoutStoredMarkersTakesIcus) {
    CScopedEnv all("LC_ALL", "de_DE.UTF-8");
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("sTimeFormat", "h:mm:ss tt"), REG_STATUS_OK);
    const CRegionalSettings& s = GetRegionalSettings();
    EXPECT_EQ(s.m_str1159, "AM");
    EXPECT_EQ(s.m_str2359, "PM");
    ASSERT_EQ(key.SetString("s1159", ""), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("s2359", ""), REG_STATUS_OK);
    EXPECT_EQ(GetRegionalSettings().m_str1159, "");
}

} // namespace
