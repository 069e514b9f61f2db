// The saved-options and title dialogs on the headless surface: the sorted list and its set
// numbers, Save Current, Rename and Remove, and the title rules, checked against the sets
// in the registry.
#include "ui/SavedOptionsDlg.h"

#include "platform/dialogs/HeadlessSurface.h"
#include "platform/registry/Registry.h"
#include "res/Resource.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "settings/SavedOptions.h"
#include "tests/support/TestEnv.h"
#include "ui/SavedOptionsTitleDlg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <utility>
#include <vector>

namespace {

// A set as the registry holds it: title and separator (each set gets its own).
using Set = std::pair<std::string, std::string>;
using Sets = std::vector<Set>;
using Action = CHeadlessSurface::CAction;

class SavedOptionsDlgTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
        m_pOptions = std::make_unique<COptions>();
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CVarnoTest::TearDown();
    }

    // Replaces the sets by these, each holding its title and separator (every other value
    // reads as the default). Written into the hive file in one go: a registry change is
    // saved and flushed value by value, which would make a hundred sets take a minute.
    static void StoreSets(const Sets& sets) {
        for (int i = CSavedOptions::GetCount() - 1; i >= 0; --i)
            CSavedOptions::Remove(i);
        (void)WriteRegString(kProductKey, "created", "1"); // the hive file exists
        const std::string strPath =
            RegistryFolder() + "/" + HiveName(ERegHive::CurrentUser) + ".reg";
        std::string strText = ReadFileBytes(strPath);
        for (std::size_t i = 0; i < sets.size(); ++i) {
            strText += "\n[HKEY_CURRENT_USER\\" + CSavedOptions::GetKeyPath(static_cast<int>(i)) +
                       "]\n\"settitle\"=\"" + sets[i].first + "\"\n\"separator\"=\"" +
                       sets[i].second + "\"\n";
        }
        std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText;
        ASSERT_EQ(CSavedOptions::GetCount(), static_cast<int>(sets.size()));
    }
    static Sets StoredSets() {
        Sets sets;
        for (int i = 0; i < CSavedOptions::GetCount(); ++i) {
            COptions o;
            CSavedOptions::Load(i, o);
            sets.emplace_back(CSavedOptions::GetTitle(i), o.m_strSeparator);
        }
        return sets;
    }

    int Run(std::initializer_list<Action> steps) {
        for (const auto& step : steps)
            m_surface.Then(step);
        CSavedOptionsDlg dlg(*m_pOptions);
        return dlg.DoModal();
    }

    // What the list shows: titles with their item data, the selection, and whether
    // Rename and Remove are enabled.
    struct CListState {
        std::vector<std::pair<std::string, unsigned>> m_items;
        int m_nSel = -1;
        bool m_bRename = false;
        bool m_bRemove = false;
    };
    static CListState ListState(const CHeadlessWindow& w) {
        CListState state;
        for (const auto& item : w.Control(IDC_SAVED_LIST)->m_vecItems)
            state.m_items.emplace_back(item.m_strText, item.m_nData);
        state.m_nSel = w.GetCurSel(IDC_SAVED_LIST);
        state.m_bRename = w.Control(IDC_SAVED_RENAME)->m_bEnabled;
        state.m_bRemove = w.Control(IDC_SAVED_REMOVE)->m_bEnabled;
        return state;
    }

    static Action Title(const std::string& strTitle) {
        return [strTitle](CHeadlessWindow& w) {
            w.Type(IDC_SAVED_TITLE, strTitle);
            w.Click(IDOK);
        };
    }
    static Action Click(unsigned nId) {
        return [nId](CHeadlessWindow& w) { w.Click(nId); };
    }
    static Action Select(int nIndex) {
        return [nIndex](CHeadlessWindow& w) { w.Select(IDC_SAVED_LIST, nIndex); };
    }

    CHeadlessSurface m_surface;
    std::unique_ptr<COptions> m_pOptions;
};

TEST_F(SavedOptionsDlgTest, WithoutSetsTheListIsEmptyAndRenameRemoveDisabled) {
    CListState state;
    EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                  state = ListState(w);
                  w.Click(IDC_SAVED_RENAME);
                  w.Click(IDC_SAVED_REMOVE);
                  w.Click(IDOK);
              }}),
              static_cast<int>(IDOK));
    EXPECT_TRUE(state.m_items.empty());
    EXPECT_EQ(state.m_nSel, -1);
    EXPECT_FALSE(state.m_bRename);
    EXPECT_FALSE(state.m_bRemove);
    EXPECT_EQ(m_surface.m_vecOpen.size(), 0u);
    EXPECT_TRUE(m_surface.m_vecShown.empty());
}

TEST_F(SavedOptionsDlgTest, ListIsSortedByTitleWithSetNumbersAndSelectsTheEqualSet) {
    StoreSets({{"zulu", ","}, {"Alpha", ";"}, {"mike", "\t"}});
    m_pOptions->m_strSeparator = "\t";
    CListState opened;
    CListState selected;
    Run({[&](CHeadlessWindow& w) {
        opened = ListState(w);
        w.Select(IDC_SAVED_LIST, -1);
        selected = ListState(w);
        w.Click(IDOK);
    }});
    EXPECT_EQ(opened.m_items, (std::vector<std::pair<std::string, unsigned>>{
                                  {"Alpha", 1}, {"mike", 2}, {"zulu", 0}}));
    EXPECT_EQ(opened.m_nSel, 1);
    EXPECT_TRUE(opened.m_bRename && opened.m_bRemove);
    EXPECT_FALSE(selected.m_bRename || selected.m_bRemove);
}

TEST_F(SavedOptionsDlgTest, SaveCurrentAppendsOrOverwritesByTitleIgnoringCase) {
    struct CCase {
        const char* m_pszTyped;
        Sets m_after;
    };
    const CCase cases[] = {
        {"Beta", {{"Alpha", ";"}, {"Beta", "|"}}},
        {"ALPHA", {{"ALPHA", "|"}}},
        {"  Beta  ", {{"Alpha", ";"}, {"Beta", "|"}}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszTyped);
        StoreSets({{"Alpha", ";"}});
        m_pOptions->m_strSeparator = "|";
        CListState after;
        Run({Click(IDC_SAVED_SAVE), Title(c.m_pszTyped), [&](CHeadlessWindow& w) {
                 after = ListState(w);
                 w.Click(IDOK);
             }});
        EXPECT_EQ(StoredSets(), c.m_after);
        // The list is refilled and selects the set that now equals the options.
        ASSERT_GE(after.m_nSel, 0);
        EXPECT_EQ(after.m_items[static_cast<std::size_t>(after.m_nSel)].first,
                  c.m_after.back().first);
        EXPECT_TRUE(after.m_bRemove);
    }
}

TEST_F(SavedOptionsDlgTest, TitleDialogStaysOpenForAnEmptyOrTooLongTitle) {
    StoreSets({{"Alpha", ";"}});
    std::vector<std::string> combo;
    std::vector<bool> open;
    Run({Click(IDC_SAVED_SAVE),
         [&](CHeadlessWindow& w) {
             for (const auto& item : w.Control(IDC_SAVED_TITLE)->m_vecItems)
                 combo.push_back(item.m_strText);
             for (const std::string& typed :
                  {std::string(), std::string("   "), std::string(51, 't')}) {
                 w.Type(IDC_SAVED_TITLE, typed);
                 w.Click(IDOK);
                 open.push_back(!w.Ended());
             }
             w.Click(IDCANCEL);
         },
         Click(IDOK)});
    EXPECT_EQ(combo, (std::vector<std::string>{"Alpha"}));
    EXPECT_EQ(open, (std::vector<bool>{true, true, true}));
    // Only the over-long title has a message.
    ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
    EXPECT_EQ(m_surface.m_vecShown[0].m_strText, MaxCharsMessage(50));
    EXPECT_EQ(StoredSets(), (Sets{{"Alpha", ";"}}));
}

TEST_F(SavedOptionsDlgTest, ANewTitleIsRefusedWhenEverySetNumberIsTaken) {
    Sets sets;
    for (int i = 0; i < kMaxSavedOptions; ++i)
        sets.emplace_back("set " + std::to_string(i), ",");
    StoreSets(sets);
    bool bOpen = false;
    Run({Click(IDC_SAVED_SAVE),
         [&](CHeadlessWindow& w) {
             w.Type(IDC_SAVED_TITLE, "one too many");
             w.Click(IDOK);
             bOpen = !w.Ended();
             // The title of an existing set still replaces it.
             w.Type(IDC_SAVED_TITLE, "SET 7");
             w.Click(IDOK);
         },
         Click(IDOK)});
    EXPECT_TRUE(bOpen);
    ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
    EXPECT_EQ(m_surface.m_vecShown[0].m_strText, CSavedOptionsTitleDlg::kTooManySetsMessage);
    EXPECT_EQ(CSavedOptions::GetCount(), kMaxSavedOptions);
    EXPECT_EQ(CSavedOptions::FindByTitle("one too many"), kMaxSavedOptions);
    EXPECT_EQ(CSavedOptions::GetTitle(7), "SET 7");
}

TEST_F(SavedOptionsDlgTest, RenameKeepsTheNumberOrReplacesTheSetOfThatTitle) {
    struct CCase {
        int m_nListIndex; // sorted: A(0) B(1) C(2)
        const char* m_pszTyped;
        bool m_bCancel;
        Sets m_after;
    };
    const CCase cases[] = {
        {2, "Delta", false, {{"A", ","}, {"B", ";"}, {"Delta", "|"}}},
        // Set 2 takes set 0's title: one set fewer, set 2's content under number 0.
        {2, "a", false, {{"a", "|"}, {"B", ";"}}},
        {0, "c", false, {{"B", ";"}, {"c", ","}}},
        {1, "b", false, {{"A", ","}, {"b", ";"}, {"C", "|"}}},
        {1, "Zed", true, {{"A", ","}, {"B", ";"}, {"C", "|"}}},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszTyped);
        StoreSets({{"A", ","}, {"B", ";"}, {"C", "|"}});
        std::string strShown;
        Run({Select(c.m_nListIndex), Click(IDC_SAVED_RENAME),
             [&](CHeadlessWindow& w) {
                 strShown = w.Control(IDC_SAVED_TITLE)->m_strText;
                 if (c.m_bCancel) {
                     w.Type(IDC_SAVED_TITLE, c.m_pszTyped);
                     w.Click(IDCANCEL);
                 } else {
                     Title(c.m_pszTyped)(w);
                 }
             },
             Click(IDOK)});
        EXPECT_EQ(strShown, std::string(1, static_cast<char>('A' + c.m_nListIndex)));
        EXPECT_EQ(StoredSets(), c.m_after);
    }
}

TEST_F(SavedOptionsDlgTest, RemoveAsksAndMovesTheLaterSetsDown) {
    struct CCase {
        EMessageAnswer m_answer;
        Sets m_after;
    };
    const CCase cases[] = {
        {EMessageAnswer::Cancel, {{"A", ","}, {"B", ";"}, {"C", "|"}}},
        {EMessageAnswer::Ok, {{"B", ";"}, {"C", "|"}}},
    };
    for (const CCase& c : cases) {
        StoreSets({{"A", ","}, {"B", ";"}, {"C", "|"}});
        m_surface.m_vecShown.clear();
        m_surface.ScriptAnswers({c.m_answer});
        CListState after;
        Run({Select(0), Click(IDC_SAVED_REMOVE), [&](CHeadlessWindow& w) {
                 after = ListState(w);
                 w.Click(IDOK);
             }});
        EXPECT_EQ(StoredSets(), c.m_after);
        ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
        EXPECT_EQ(m_surface.m_vecShown[0].m_strText,
                  "The options saved under A will be removed.\n\nThis operation cannot be undone.");
        EXPECT_EQ(m_surface.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
        EXPECT_EQ(m_surface.m_vecShown[0].m_icon, EMessageIcon::Question);
        EXPECT_EQ(after.m_items.size(), c.m_after.size());
        for (std::size_t i = 0; i < after.m_items.size(); ++i)
            EXPECT_EQ(CSavedOptions::GetTitle(static_cast<int>(after.m_items[i].second)),
                      after.m_items[i].first);
    }
    EXPECT_TRUE(CSavedOptions::GetTitle(2).empty());
}

} // namespace
