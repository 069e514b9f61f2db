// Saved option sets in the numbered keys: counting, titles, storing, loading, removing
// with renumbering, and finding the set equal to the current options.
#include "settings/SavedOptions.h"

#include "platform/registry/Registry.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

class SavedOptionsTest : public CVarnoTest {
protected:
    // Stores sets whose content differs by "minsize" = 100 + number.
    static void StoreSets(const std::vector<std::string>& vecTitles) {
        for (std::size_t i = 0; i < vecTitles.size(); ++i) {
            COptions options;
            options.m_nMinSize = 100 + static_cast<std::int32_t>(i);
            CSavedOptions::Store(options, static_cast<int>(i), vecTitles[i]);
        }
    }

    static std::vector<std::string> Titles() {
        std::vector<std::string> titles;
        for (int i = 0; i < CSavedOptions::GetCount(); ++i)
            titles.push_back(CSavedOptions::GetTitle(i));
        return titles;
    }

    static std::int32_t MinSizeOf(int nSet) {
        COptions options;
        CSavedOptions::Load(nSet, options);
        return options.m_nMinSize;
    }

    static bool KeyExists(int nSet) {
        CRegKey key;
        return key.Open(ERegHive::CurrentUser, CSavedOptions::GetKeyPath(nSet)) == REG_STATUS_OK;
    }
};

TEST_F(SavedOptionsTest, KeysCountAndTitles) {
    EXPECT_EQ(CSavedOptions::GetKeyPath(0), "Software\\Brenmark\\VARNO\\Options0");
    EXPECT_EQ(CSavedOptions::GetKeyPath(42), "Software\\Brenmark\\VARNO\\Options42");
    EXPECT_EQ(CSavedOptions::GetCount(), 0);
    EXPECT_EQ(CSavedOptions::GetTitle(0), "");
    EXPECT_EQ(CSavedOptions::FindByTitle("x"), 0);
    EXPECT_EQ(CSavedOptions::FindEqual(COptions()), -1);

    StoreSets({"Excel export", "Import from Jo", "Weekly"});
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Excel export", "Import from Jo", "Weekly"}));
    EXPECT_EQ(CSavedOptions::FindByTitle("import FROM jo"), 1);
    EXPECT_EQ(CSavedOptions::FindByTitle("Import from"), 3) << "none: the count";

    // A set without a title ends the count; sets beyond 99 are never counted.
    WriteRegString(CSavedOptions::GetKeyPath(1), "settitle", "");
    EXPECT_EQ(CSavedOptions::GetCount(), 1);
    WriteRegString(CSavedOptions::GetKeyPath(1), "settitle", "Import from Jo");
    for (int i = 3; i < 105; ++i)
        WriteRegString(CSavedOptions::GetKeyPath(i), "settitle", "Set " + std::to_string(i));
    EXPECT_EQ(CSavedOptions::GetCount(), 100);
    EXPECT_EQ(CSavedOptions::FindByTitle("Set 100"), 100);
}

TEST_F(SavedOptionsTest, StoreAndLoad) {
    COptions current;
    current.m_strLastFile = "a.csv";
    current.m_filter.AddRow();
    current.m_filter.SetRow(0, 6, "Business", 0);
    current.m_layout.AddSimpleField(FIELD_RECORD_ID);
    CSavedOptions::Store(current, 0, "Business only");
    EXPECT_EQ(current.m_strSetTitle, "Business only");
    EXPECT_EQ(ReadRegString(CSavedOptions::GetKeyPath(0), "settitle", ""), "Business only");

    // Loading into the current record: values missing from the key stay.
    COptions loaded;
    loaded.m_strSetTitle = "before";
    CSavedOptions::Load(0, loaded);
    EXPECT_TRUE(loaded.IsSameAs(current));
    EXPECT_EQ(loaded.m_strSetTitle, "Business only");
    EXPECT_EQ(loaded.m_layout.GetSimpleCount(), 14);

    // Overwriting under a title that differs only in case: the set takes the new spelling.
    current.m_nDaysAhead = 7;
    const int nSet = CSavedOptions::FindByTitle("BUSINESS ONLY");
    EXPECT_EQ(nSet, 0);
    CSavedOptions::Store(current, nSet, "BUSINESS ONLY");
    EXPECT_EQ(Titles(), std::vector<std::string>{"BUSINESS ONLY"});
    EXPECT_EQ(CSavedOptions::FindEqual(current), 0);
}

TEST_F(SavedOptionsTest, FindEqualIgnoresTitlesAndTakesTheFirst) {
    StoreSets({"A", "B", "C"});
    COptions wanted;
    wanted.m_nMinSize = 101;
    wanted.m_strSetTitle = "whatever";
    EXPECT_EQ(CSavedOptions::FindEqual(wanted), 1);
    COptions twin;
    twin.m_nMinSize = 101;
    CSavedOptions::Store(twin, 3, "D");
    EXPECT_EQ(CSavedOptions::FindEqual(wanted), 1);
    wanted.m_layout.AddSimpleField(FIELD_IGNORED);
    EXPECT_EQ(CSavedOptions::FindEqual(wanted), -1);
    // Sets are loaded into fresh records: what a set's key lacks reads as a default.
    COptions defaults;
    WriteRegString(CSavedOptions::GetKeyPath(4), "settitle", "Only a title");
    EXPECT_EQ(CSavedOptions::FindEqual(defaults), 4);
}

TEST_F(SavedOptionsTest, RemoveRenumbersWithoutGaps) {
    StoreSets({"A", "B", "C"});
    CSavedOptions::Remove(0);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(MinSizeOf(0), 101);
    EXPECT_EQ(MinSizeOf(1), 102);
    EXPECT_FALSE(KeyExists(2));

    StoreSets({"A", "B", "C", "D"});
    CSavedOptions::Remove(3);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_FALSE(KeyExists(3));
    CSavedOptions::Remove(1);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(MinSizeOf(1), 102);

    // Numbers that name no set change nothing.
    CSavedOptions::Remove(2);
    CSavedOptions::Remove(-1);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"A", "C"}));

    CSavedOptions::Remove(0);
    CSavedOptions::Remove(0);
    EXPECT_EQ(CSavedOptions::GetCount(), 0);
    EXPECT_FALSE(KeyExists(0));
    CSavedOptions::Remove(0);
}

// Giving set 2 the title of set 0 (the rename of the Saved Options dialog): set 2's
// content under number 0, one set fewer.
TEST_F(SavedOptionsTest, RenameOntoAnExistingTitle) {
    StoreSets({"A", "B", "C"});
    const int s = 2;
    const int t = CSavedOptions::FindByTitle("a");
    ASSERT_EQ(t, 0);
    COptions options;
    CSavedOptions::Load(s, options);
    CSavedOptions::Store(options, t, "a");
    CSavedOptions::Remove(s);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "B"}));
    EXPECT_EQ(MinSizeOf(0), 102);
}

} // namespace
