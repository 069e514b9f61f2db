// A home's regional settings and code page are fixed at its first use and then follow the
// home, not the environment of the process that runs.
#include "platform/locale/UserProfile.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "tests/locale/LocaleTestUtil.h"

#include <gtest/gtest.h>

namespace {

std::string StoredValue(ERegHive hive, const char* pszKey, const char* pszName) {
    CRegKey key;
    std::string value;
    if (key.Open(hive, pszKey) != REG_STATUS_OK || key.QueryString(pszName, value) != REG_STATUS_OK)
        return "(none)";
    return value;
}

class UserProfileTest : public ::testing::Test {
protected:
    CTestHome m_home;
};

TEST_F(UserProfileTest, FirstUseWritesTheProcessLocaleOnceAndLaterRunsFollowIt) {
    {
        CScopedEnv all("LC_ALL", "de_DE.UTF-8");
        EXPECT_TRUE(CreateUserProfile());
    }
    EXPECT_EQ(StoredValue(ERegHive::LocalMachine, kCodePageKey, "ACP"), "65001");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, kLocaleNameValue), "de-DE");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, "sShortDate"), "dd.MM.yyyy");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, "sList"), ";");

    // A run without a locale (cron), and one in another locale, see the home's settings.
    for (const char* pszAll : {"C", "en_US.ISO-8859-1", "ja_JP.UTF-8"}) {
        CScopedEnv all("LC_ALL", pszAll);
        EXPECT_FALSE(CreateUserProfile()) << pszAll;
        EXPECT_EQ(GetSystemCodePage(), CP_UTF8) << pszAll;
        const CRegionalSettings& s = GetRegionalSettings();
        EXPECT_EQ(s.m_strLocale, "de_DE") << pszAll;
        EXPECT_EQ(s.m_strShortDate, "dd.MM.yyyy") << pszAll;
        EXPECT_EQ(s.m_strList, ";") << pszAll;
        // Month names come from the home's locale too.
        EXPECT_EQ(s.m_vecMonthNames.at(2), "M\xC3\xA4rz") << pszAll;
    }
}

TEST_F(UserProfileTest, ValuesAlreadyStoredAreKeptAndResetDerivesAnew) {
    SetCodePage(1252);
    SetRegional("en-GB");
    {
        CScopedEnv all("LC_ALL", "de_DE.UTF-8");
        EXPECT_TRUE(CreateUserProfile());
    }
    EXPECT_EQ(StoredValue(ERegHive::LocalMachine, kCodePageKey, "ACP"), "1252");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, "sShortDate"), "dd/MM/yyyy");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, kLocaleNameValue), "de-DE");

    CScopedEnv all("LC_ALL", "en_US.UTF-8");
    ResetUserProfile();
    EXPECT_EQ(StoredValue(ERegHive::LocalMachine, kCodePageKey, "ACP"), "65001");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, "sShortDate"), "M/d/yyyy");
    EXPECT_EQ(StoredValue(ERegHive::CurrentUser, kInternationalKey, kLocaleNameValue), "en-US");
}

TEST_F(UserProfileTest, MarkersTheCodePageCannotHoldAreLeftToTheStoredLocale) {
    // Japanese day periods do not exist in 1252: they are not written as "??", and the
    // settings in force still come from ja-JP in any environment.
    {
        CScopedEnv all("LC_ALL", "ja_JP");
        EXPECT_TRUE(CreateUserProfile());
    }
    EXPECT_EQ(StoredValue(ERegHive::LocalMachine, kCodePageKey, "ACP"), "1252");
    const std::string stored = StoredValue(ERegHive::CurrentUser, kInternationalKey, "s1159");
    EXPECT_TRUE(stored == "(none)" || stored.find('?') == std::string::npos) << stored;
    CScopedEnv all("LC_ALL", "C");
    EXPECT_EQ(GetRegionalSettings().m_strLocale, "ja_JP");
}

} // namespace
