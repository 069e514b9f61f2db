// Saved option sets in the numbered keys: counting, titles, storing, loading, removing
// with renumbering, and finding the set equal to the current options.
#include "settings/SavedOptions.h"

#include "platform/registry/Registry.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

class SavedOptionsTest : public CVarnoTest {
protected:
    // Stores sets whose content differs by "minsize" = 100 + number.
    static void StoreSets(const Strings& vecTitles) {
        for (std::size_t i = 0; i < vecTitles.size(); ++i) {
            COptions options;
            options.m_nMinSize = 100 + static_cast<std::int32_t>(i);
            CSavedOptions::Store(options, static_cast<int>(i), vecTitles[i]);
        }
    }

    // "title=minsize" of every counted set, and whether the key after them exists.
    static Strings Sets() {
        Strings sets;
        for (int i = 0; i < CSavedOptions::GetCount(); ++i) {
            COptions options;
            CSavedOptions::Load(i, options);
            sets.push_back(CSavedOptions::GetTitle(i) + "=" + std::to_string(options.m_nMinSize));
        }
        CRegKey key;
        if (key.Open(ERegHive::CurrentUser, CSavedOptions::GetKeyPath(CSavedOptions::GetCount())) ==
            REG_STATUS_OK)
            sets.push_back("left behind");
        return sets;
    }
};

TEST_F(SavedOptionsTest, KeysCountAndTitles) {
    EXPECT_EQ(CSavedOptions::GetKeyPath(42), "Software\\Brenmark\\VARNO\\Options42");
    EXPECT_EQ(CSavedOptions::GetCount(), 0);
    EXPECT_EQ(CSavedOptions::GetTitle(0), "");
    EXPECT_EQ(CSavedOptions::FindByTitle("x"), 0);
    EXPECT_EQ(CSavedOptions::FindEqual(COptions()), -1);

    StoreSets({"Excel export", "Import from Jo", "Weekly"});
    EXPECT_EQ(Sets(), (Strings{"Excel export=100", "Import from Jo=101", "Weekly=102"}));
    EXPECT_EQ(CSavedOptions::FindByTitle("import FROM jo"), 1);
    EXPECT_EQ(CSavedOptions::FindByTitle("Import from"), 3) << "none: the count";

    // A set without a title ends the count; sets beyond 99 are never counted.
    WriteRegString(CSavedOptions::GetKeyPath(1), "settitle", "");
    EXPECT_EQ(CSavedOptions::GetCount(), 1);
    for (int i = 1; i < 105; ++i)
        WriteRegString(CSavedOptions::GetKeyPath(i), "settitle", "Set " + std::to_string(i));
    EXPECT_EQ(CSavedOptions::GetCount(), 100);
    EXPECT_EQ(CSavedOptions::FindByTitle("Set 100"), 100);
}

TEST_F(SavedOptionsTest, StoreLoadAndFindEqual) {
    COptions current;
    current.m_strLastFile = "a.csv";
    current.m_filter.AddRow();
    current.m_filter.SetRow(0, 6, "Business", 0);
    current.m_layout.AddSimpleField(FIELD_RECORD_ID);
    CSavedOptions::Store(current, 0, "Business only");
    EXPECT_EQ(current.m_strSetTitle, "Business only");
    EXPECT_EQ(ReadRegString(CSavedOptions::GetKeyPath(0), "settitle", ""), "Business only");

    COptions loaded;
    loaded.m_strSetTitle = "before";
    CSavedOptions::Load(0, loaded);
    EXPECT_TRUE(loaded.IsSameAs(current));
    EXPECT_EQ(loaded.m_strSetTitle, "Business only");

    // Overwriting under a title that differs only in case: the set takes the new spelling.
    current.m_nDaysAhead = 7;
    EXPECT_EQ(CSavedOptions::FindByTitle("BUSINESS ONLY"), 0);
    CSavedOptions::Store(current, 0, "BUSINESS ONLY");
    EXPECT_EQ(CSavedOptions::GetTitle(0), "BUSINESS ONLY");
    EXPECT_EQ(CSavedOptions::GetCount(), 1);

    // Titles do not count; the first equal set is found.
    StoreSets({"A", "B", "C"});
    COptions twin;
    twin.m_nMinSize = 101;
    CSavedOptions::Store(twin, 3, "D");
    COptions wanted;
    wanted.m_nMinSize = 101;
    wanted.m_strSetTitle = "whatever";
    EXPECT_EQ(CSavedOptions::FindEqual(wanted), 1);
    wanted.m_layout.AddSimpleField(FIELD_IGNORED);
    EXPECT_EQ(CSavedOptions::FindEqual(wanted), -1);
    // Sets are loaded into fresh records: what a set's key lacks reads as a default.
    WriteRegString(CSavedOptions::GetKeyPath(4), "settitle", "Only a title");
    EXPECT_EQ(CSavedOptions::FindEqual(COptions()), 4);
}

TEST_F(SavedOptionsTest, RemoveRenumbersWithoutGaps) {
    StoreSets({"A", "B", "C"});
    CSavedOptions::Remove(0);
    EXPECT_EQ(Sets(), (Strings{"B=101", "C=102"}));

    StoreSets({"A", "B", "C", "D"});
    CSavedOptions::Remove(3);
    EXPECT_EQ(Sets(), (Strings{"A=100", "B=101", "C=102"}));
    CSavedOptions::Remove(1);
    EXPECT_EQ(Sets(), (Strings{"A=100", "C=102"}));

    // Numbers that name no set change nothing.
    CSavedOptions::Remove(2);
    CSavedOptions::Remove(-1);
    EXPECT_EQ(Sets(), (Strings{"A=100", "C=102"}));
    CSavedOptions::Remove(0);
    CSavedOptions::Remove(0);
    CSavedOptions::Remove(0);
    EXPECT_EQ(Sets(), Strings{});
}

TEST_F(SavedOptionsTest, RenameKeepsOrReplacesTheSetOfThatTitle) {
    struct CCase {
        const char* m_pszName;
        int m_nSet;
        const char* m_pszTitle;
        int m_nResult;
        Strings m_sets;
    };
    const CCase cases[] = {
        {"a new title", 1, "Bee", 1, {"A=100", "Bee=101", "C=102"}},
        {"its own title in another case", 2, "c", 2, {"A=100", "B=101", "c=102"}},
        // Set 2 under the title of set 0: one set fewer, set 2's content under number 0.
        {"the title of an earlier set", 2, "a", 0, {"a=102", "B=101"}},
        // Set 0 under the title of set 2: set 2 takes it, then moves down to number 1.
        {"the title of a later set", 0, "C", 1, {"B=101", "C=100"}},
        {"a number that names no set", 3, "X", -1, {"A=100", "B=101", "C=102"}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        while (CSavedOptions::GetCount() > 0)
            CSavedOptions::Remove(0);
        StoreSets({"A", "B", "C"});
        EXPECT_EQ(CSavedOptions::Rename(c.m_nSet, c.m_pszTitle), c.m_nResult);
        EXPECT_EQ(Sets(), c.m_sets);
    }
}

} // namespace
