#include "platform/locale/SettingsHold.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestHome.h"

namespace {

class SettingsHoldTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetCodePage(65001);
        SetShortDate("M/d/yyyy");
    }
    static void SetShortDate(const char* pszPicture) {
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::CurrentUser, kInternationalKey), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("sShortDate", pszPicture), REG_STATUS_OK);
    }
    static std::string ShortDate() { return GetRegionalSettings().m_strShortDate; }
};

TEST_F(SettingsHoldTest, SettingsStayAsTakenUntilTheOutermostHoldEnds) {
    {
        const CLocaleSettingsHold outer;
        SetShortDate("dd.MM.yyyy");
        SetCodePage(1252);
        { const CLocaleSettingsHold inner; }
        EXPECT_EQ(ShortDate(), "M/d/yyyy");
        EXPECT_EQ(GetSystemCodePage(), 65001u);
        EXPECT_TRUE(LocaleSettingsHeld());
    }
    EXPECT_FALSE(LocaleSettingsHeld());
    EXPECT_EQ(ShortDate(), "dd.MM.yyyy");
    EXPECT_EQ(GetSystemCodePage(), 1252u);
}

TEST_F(SettingsHoldTest, AHoldStartsFromTheSettingsInForce) {
    EXPECT_EQ(ShortDate(), "M/d/yyyy");
    SetShortDate("yyyy-MM-dd");
    const CLocaleSettingsHold hold;
    EXPECT_EQ(ShortDate(), "yyyy-MM-dd");
}

TEST_F(SettingsHoldTest, FolderHoldStillSeesChangesToTheHive) {
    const CRegFolderHold hold;
    const std::uint64_t nBefore = RegChangeStamp(ERegHive::CurrentUser);
    SetShortDate("d.M.yyyy");
    EXPECT_NE(RegChangeStamp(ERegHive::CurrentUser), nBefore);
    EXPECT_EQ(ShortDate(), "d.M.yyyy");
}

} // namespace
