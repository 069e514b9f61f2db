// The main dialog on the headless surface against the stand-in host, driven as a user
// would: the filter rows and their layout, the status line, the saved-set menu, every way
// of closing, and Import, Export and Remove All checked against the command line.
#include "ui/VARNODlg.h"

#include "cli/CommandLine.h"
#include "formats/FormatSelection.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/shell/HelpViewer.h"
#include "res/Resource.h"
#include "settings/SavedOptions.h"
#include "tests/engine/OperationsTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

namespace {

using namespace optest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr unsigned kTypes[] = {IDC_FILTER_TYPE1, IDC_FILTER_TYPE2, IDC_FILTER_TYPE3,
                               IDC_FILTER_TYPE4, IDC_FILTER_TYPE5};
constexpr unsigned kTexts[] = {IDC_FILTER_TEXT1, IDC_FILTER_TEXT2, IDC_FILTER_TEXT3,
                               IDC_FILTER_TEXT4, IDC_FILTER_TEXT5};
constexpr unsigned kJoins[] = {IDC_FILTER_JOIN1, IDC_FILTER_JOIN2, IDC_FILTER_JOIN3,
                               IDC_FILTER_JOIN4};

// The rows of a filter as "type:text", with " and " or " or " between them.
std::string Rows(const CRecordFilter& filter) {
    std::string out;
    for (int i = 0; i < filter.GetRowCount(); ++i) {
        std::int32_t nType = 0;
        std::string strText;
        std::int32_t nJoin = FILTER_JOIN_NONE;
        filter.GetRow(i, nType, strText, nJoin);
        out += std::to_string(nType) + ":" + strText;
        if (i + 1 < filter.GetRowCount())
            out += nJoin == FILTER_JOIN_OR ? " or " : " and ";
    }
    return out;
}

// The options as the registry holds them now.
COptions Stored() {
    COptions options;
    options.Load();
    return options;
}

class VARNODlgTest : public COperationsTest {
protected:
    void SetUp() override {
        COperationsTest::SetUp();
        SetDialogSurface(&m_ui);
        NewUser("Jane Example");
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        COperationsTest::TearDown();
    }

    // Runs the main dialog on the options with the steps; the dialog's result.
    int Run(std::function<void(CHeadlessWindow&)> steps) {
        m_ui.Then(std::move(steps));
        CVARNODlg dialog(&Options());
        return dialog.DoModal();
    }

    void SetFilter(const std::vector<std::pair<std::string, std::int32_t>>& rows) {
        CRecordFilter filter;
        for (std::size_t i = 0; i < rows.size(); ++i)
            filter.AddRow();
        for (std::size_t i = 0; i < rows.size(); ++i)
            filter.SetRow(static_cast<int>(i), FILTER_TEXT_CONTAINS, rows[i].first, rows[i].second);
        Options().m_filter = filter;
    }

    // Three appointments inside the export range of the pinned clock (5 December 2026).
    void SeedThree() {
        Seed(Timed("2026-12-07", 9, 0, 10, 0, "Dentist"));
        Seed(Timed("2026-12-08", 12, 0, 13, 0, "Lunch with Ann"));
        Seed(Timed("2026-12-09", 15, 0, 16, 0, "Lunch with Bob"));
    }

    // varno in this process on the same home; the dialog surface is installed again after.
    int Varno(std::vector<const char*> args, std::string* pOut = nullptr) {
        args.insert(args.begin(), "varno");
        std::ostringstream out;
        std::ostringstream err;
        const int nExit = RunVarno(static_cast<int>(args.size()), args.data(), out, err);
        SetDialogSurface(&m_ui);
        if (pOut)
            *pOut = out.str();
        EXPECT_EQ(err.str(), "");
        return nExit;
    }

    // The 1-based entry of the export filter whose pattern is this one.
    int ExportEntry(const std::string& pattern) {
        const std::vector<CFilterEntry> entries = ParseFilterString(GetExportFilter(Options()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].m_strPattern == pattern)
                return static_cast<int>(i) + 1;
        }
        ADD_FAILURE() << "no entry " << pattern;
        return 0;
    }
};

// The layout rule: rows shown and enabled, and the status line, progress bar, buttons and
// the dialog's height following the last row in use.
void ExpectLayout(const CHeadlessWindow& w, int nRows) {
    SCOPED_TRACE("rows " + std::to_string(nRows));
    for (int r = 0; r < 5; ++r) {
        const bool bShown = r == 0 || nRows > r;
        EXPECT_EQ(w.Control(kTypes[r])->m_bVisible, bShown) << r;
        EXPECT_EQ(w.Control(kTexts[r])->m_bVisible, bShown) << r;
        if (r < 4) {
            EXPECT_EQ(w.Control(kJoins[r])->m_bVisible, bShown) << r;
        }
    }
    for (const unsigned nId : {IDC_FILTER_TYPE1, IDC_FILTER_TEXT1, IDC_FILTER_JOIN1})
        EXPECT_EQ(w.Control(nId)->m_bEnabled, nRows >= 1);
    const int g = 2 * w.Control(IDC_FILTER_CHECK)->m_rc.x;
    const int b = w.Control(kTypes[nRows < 2 ? 0 : nRows - 1])->m_rc.Bottom();
    const CRect status = w.Control(IDC_STATUS)->m_rc;
    const CRect progress = w.Control(IDC_PROGRESS)->m_rc;
    EXPECT_EQ(status.y, b + g);
    EXPECT_EQ(progress.y, status.Bottom() + g);
    for (const unsigned nId : {IDC_IMPORT, IDC_EXPORT, IDC_OPTIONS, IDC_CLOSE})
        EXPECT_EQ(w.Control(nId)->m_rc.y, progress.Bottom() + g) << nId;
    EXPECT_EQ(w.ClientHeight(), w.Control(IDC_CLOSE)->m_rc.Bottom() + g);
    // Nothing below the last row overlaps it.
    EXPECT_GT(status.y, w.Control(kTexts[std::max(0, nRows - 1)])->m_rc.Bottom());
}

TEST_F(VARNODlgTest, OpensWithUserStatusMenuAndTheFilterOfTheOptions) {
    SeedThree();
    SetFilter({{"lunch", FILTER_JOIN_OR}, {"dent", FILTER_JOIN_NONE}});
    Options().m_filter.SetRow(1, FILTER_TEXT_STARTS_WITH, "with", FILTER_JOIN_NONE);
    EXPECT_EQ(Run([&](CHeadlessWindow& w) {
                  EXPECT_EQ(w.Title(), "VARNO - Datebook Import Export for Palm Desktop");
                  EXPECT_EQ(w.Icon(), IDI_MAIN);
                  EXPECT_EQ(w.Control(IDC_USER_NAME)->m_strText, "Jane Example");
                  EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
                  EXPECT_TRUE(w.Control(IDC_FILTER_CHECK)->m_bChecked);
                  EXPECT_EQ(w.Control(IDC_FILTER_TYPE1)->m_vecItems.size(), 9u);
                  EXPECT_EQ(w.Control(IDC_FILTER_TYPE1)->m_vecItems[8].m_strText, "location is");
                  EXPECT_EQ(w.Control(IDC_FILTER_TYPE1)->m_nCurSel, FILTER_TEXT_CONTAINS);
                  EXPECT_EQ(w.Control(IDC_FILTER_TEXT1)->m_strText, "lunch");
                  EXPECT_EQ(w.Control(IDC_FILTER_JOIN1)->m_nCurSel, 2); // "or"
                  EXPECT_EQ(w.Control(IDC_FILTER_TYPE2)->m_nCurSel, FILTER_TEXT_STARTS_WITH);
                  EXPECT_EQ(w.Control(IDC_FILTER_JOIN2)->m_nCurSel, 0); // the last row
                  ExpectLayout(w, 2);
                  EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
                  // The image buttons draw their icons at 32 x 32.
                  const auto calls = w.Draw(IDC_EXPORT, DRAW_NONE, false);
                  EXPECT_NE(std::find_if(calls.begin(), calls.end(),
                                         [](const std::string& s) {
                                             return s.rfind("icon 133 ", 0) == 0 &&
                                                    s.find("32x32") != std::string::npos;
                                         }),
                            calls.end());
                  ASSERT_NE(w.MenuBar(), nullptr);
                  EXPECT_EQ(w.MenuBar()->GetItemText(ID_FILE_ARCHIVE), "&Archive...");
                  w.Close();
              }),
              static_cast<int>(IDCANCEL));
}

TEST_F(VARNODlgTest, TheDialogGrowsAndShrinksWithTheRows) {
    // 0 to 5 rows from the options: each a taller dialog than the one before.
    int nLastHeight = 0;
    for (int nRows = 0; nRows <= 5; ++nRows) {
        std::vector<std::pair<std::string, std::int32_t>> rows(static_cast<std::size_t>(nRows),
                                                               {"x", FILTER_JOIN_AND});
        SetFilter(rows);
        (void)Run([&](CHeadlessWindow& w) {
            ExpectLayout(w, nRows);
            if (nRows >= 2) {
                EXPECT_GT(w.ClientHeight(), nLastHeight);
            }
            nLastHeight = w.ClientHeight();
            w.Close();
        });
    }
}

TEST_F(VARNODlgTest, JoinListsAddAndRemoveRows) {
    struct CCase {
        const char* m_pszName;
        std::vector<std::pair<std::string, std::int32_t>> m_rows;
        int m_nJoinRow; // 0-based row whose join list is picked
        int m_nPick;    // 0 empty, 1 and, 2 or
        const char* m_pszRows;
        int m_nRowsShown;
    };
    const CCase cases[] = {
        // "and" on the last of two rows: a third row, joined by the old join and "and".
        {"and on the last of 2",
         {{"a", FILTER_JOIN_OR}, {"b", FILTER_JOIN_NONE}},
         1,
         1,
         "2:a or 2:b and 0:",
         3},
        {"or on the only row", {{"a", FILTER_JOIN_NONE}}, 0, 2, "2:a or 0:", 2},
        // The empty entry on row 2 of 4 removes row 3; row 4 moves up.
        {"empty on row 2 of 4",
         {{"a", FILTER_JOIN_AND}, {"b", FILTER_JOIN_OR}, {"c", FILTER_JOIN_AND}, {"d", 0}},
         1,
         0,
         "2:a and 2:b or 2:d",
         3},
        // The empty entry on row 1 of 3 removes row 2; row 3 follows row 1 by the old join.
        {"empty on row 1 of 3",
         {{"a", FILTER_JOIN_OR}, {"b", FILTER_JOIN_AND}, {"c", 0}},
         0,
         0,
         "2:a or 2:c",
         2},
        // Five rows at most: "and" on the fourth of four adds the fifth, which has no join.
        {"and on the last of 4",
         {{"a", FILTER_JOIN_AND}, {"b", FILTER_JOIN_AND}, {"c", FILTER_JOIN_AND}, {"d", 0}},
         3,
         1,
         "2:a and 2:b and 2:c and 2:d and 0:",
         5},
        // Choosing a join between two rows only changes it.
        {"or between rows", {{"a", FILTER_JOIN_AND}, {"b", 0}}, 0, 2, "2:a or 2:b", 2},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        SetFilter(c.m_rows);
        (void)Run([&](CHeadlessWindow& w) {
            const int nHeightBefore = w.ClientHeight();
            w.Select(kJoins[c.m_nJoinRow], c.m_nPick);
            EXPECT_EQ(Rows(Options().m_filter), c.m_pszRows);
            ExpectLayout(w, c.m_nRowsShown);
            const int nBefore = static_cast<int>(c.m_rows.size());
            if (c.m_nRowsShown > nBefore) {
                EXPECT_GT(w.ClientHeight(), nHeightBefore);
            }
            if (c.m_nRowsShown < nBefore) {
                EXPECT_LT(w.ClientHeight(), nHeightBefore);
            }
            // The controls show the rows as stored.
            for (int r = 0; r + 1 < c.m_nRowsShown; ++r)
                EXPECT_NE(w.Control(kJoins[r])->m_nCurSel, 0) << r;
            if (c.m_nRowsShown < 5) {
                EXPECT_EQ(w.Control(kJoins[c.m_nRowsShown - 1])->m_nCurSel, 0);
            }
            w.Close();
        });
        // Closing saved the rows.
        EXPECT_EQ(Rows(Stored().m_filter), c.m_pszRows);
    }
}

TEST_F(VARNODlgTest, TheCheckBoxAndRowEditsApplyTheFilterAndRecount) {
    SeedThree();
    SetFilter({{"lunch", FILTER_JOIN_NONE}});
    (void)Run([&](CHeadlessWindow& w) {
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
        // Unchecking removes every row and leaves the one-row layout, row 1 disabled.
        w.Click(IDC_FILTER_CHECK);
        EXPECT_EQ(Options().m_filter.GetRowCount(), 0);
        ExpectLayout(w, 0);
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "3 appointments");
        // Checking again gives one row, as row 1 still shows it; a text applies when the
        // edit loses the focus.
        w.Click(IDC_FILTER_CHECK);
        ExpectLayout(w, 1);
        EXPECT_EQ(Rows(Options().m_filter), "2:lunch");
        w.Type(IDC_FILTER_TEXT1, "Bob");
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
        w.Focus(IDC_FILTER_JOIN1);
        EXPECT_EQ(Rows(Options().m_filter), "2:Bob");
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "1 appointments");
        // A new type applies at once.
        w.Select(IDC_FILTER_TYPE1, FILTER_TEXT_NOT_CONTAINS);
        EXPECT_EQ(Rows(Options().m_filter), "4:Bob");
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
        w.PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(Rows(Stored().m_filter), "4:Bob");
}

TEST_F(VARNODlgTest, StatusLineInSingularPluralAndFullFormat) {
    Seed(Timed("2026-12-07", 9, 0, 10, 0, "Dentist"));
    Seed(Timed("2027-03-01", 9, 0, 10, 0, "Far away"));
    struct CCase {
        int m_bFull;
        int m_nDaysAhead;
        const char* m_pszStatus;
    };
    const CCase cases[] = {
        {1, 30, "2 appointments"},
        {0, 30, "1 appointment between 25.11.2026 and 04.01.2027"},
        {0, 100, "2 appointments between 25.11.2026 and 15.03.2027"},
        {0, 0, "0 appointments between 25.11.2026 and 05.12.2026"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszStatus);
        Options().m_bFullFormat = c.m_bFull;
        Options().m_nDaysAhead = c.m_nDaysAhead;
        Options().m_nDaysBack = 10;
        (void)Run([&](CHeadlessWindow& w) {
            EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, c.m_pszStatus);
            w.Close();
        });
    }
}

TEST_F(VARNODlgTest, SavedSetMenuListsChecksAndLoadsSets) {
    // Eleven sets; set 4 equals the options with a filter row.
    CRecordFilter lunch;
    lunch.AddRow();
    lunch.SetRow(0, FILTER_TEXT_CONTAINS, "lunch", FILTER_JOIN_NONE);
    for (int i = 0; i < 11; ++i) {
        COptions set;
        if (i == 4)
            set.m_filter = lunch;
        else
            set.m_nDaysAhead = 100 + i;
        CSavedOptions::Store(set, i, "Set " + std::to_string(i));
    }
    SeedThree();
    (void)Run([&](CHeadlessWindow& w) {
        const CMenu* pBar = w.MenuBar();
        ASSERT_NE(pBar, nullptr);
        const CMenu* pSaved = pBar->GetSubMenu(0)->GetSubMenu(3);
        ASSERT_NE(pSaved, nullptr);
        ASSERT_EQ(pSaved->GetItemCount(), 13);
        EXPECT_EQ(pSaved->GetItem(0)->m_strText, "&1 Set 0");
        EXPECT_EQ(pSaved->GetItem(8)->m_strText, "&9 Set 8");
        // The tenth and later sets have no access key.
        EXPECT_EQ(pSaved->GetItem(9)->m_strText, "  Set 9");
        EXPECT_EQ(pSaved->GetItem(10)->m_strText, "  Set 10");
        EXPECT_EQ(pSaved->GetItem(10)->m_nId, ID_SAVED_SET_FIRST + 10);
        EXPECT_TRUE(pSaved->GetItem(11)->m_bSeparator);
        EXPECT_EQ(pSaved->GetItem(12)->m_nId, ID_SAVED_MAINTAIN);
        for (int i = 0; i < 11; ++i)
            EXPECT_FALSE(pSaved->GetItem(i)->m_bChecked) << i;

        // Choosing set 4 loads it, fills the filter rows, recounts and checks it.
        EXPECT_TRUE(w.PickMenu(ID_SAVED_SET_FIRST + 4));
        EXPECT_EQ(Options().m_strSetTitle, "Set 4");
        EXPECT_EQ(w.Control(IDC_FILTER_TEXT1)->m_strText, "lunch");
        EXPECT_TRUE(w.Control(IDC_FILTER_CHECK)->m_bChecked);
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
        pSaved = w.MenuBar()->GetSubMenu(0)->GetSubMenu(3);
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(pSaved->GetItem(i)->m_bChecked, i == 4) << i;
        // A change of the filter takes the check away.
        w.Click(IDC_FILTER_CHECK);
        pSaved = w.MenuBar()->GetSubMenu(0)->GetSubMenu(3);
        EXPECT_FALSE(pSaved->GetItem(4)->m_bChecked);
        w.Close();
    });
}

TEST_F(VARNODlgTest, WithoutSetsTheMenuHoldsOnlySeparatorAndMaintain) {
    (void)Run([&](CHeadlessWindow& w) {
        const CMenu* pSaved = w.MenuBar()->GetSubMenu(0)->GetSubMenu(3);
        ASSERT_EQ(pSaved->GetItemCount(), 2);
        EXPECT_TRUE(pSaved->GetItem(0)->m_bSeparator);
        EXPECT_EQ(pSaved->GetItem(1)->m_nId, ID_SAVED_MAINTAIN);
        w.Close();
    });
}

TEST_F(VARNODlgTest, EveryWayOfClosingSavesTheOptions) {
    struct CCase {
        const char* m_pszName;
        std::function<void(CHeadlessWindow&)> m_close;
        int m_nResult;
    };
    const CCase cases[] = {
        {"Close button", [](CHeadlessWindow& w) { w.Click(IDC_CLOSE); }, IDOK},
        {"Close menu", [](CHeadlessWindow& w) { EXPECT_TRUE(w.PickMenu(ID_FILE_CLOSE)); }, IDOK},
        {"Escape", [](CHeadlessWindow& w) { w.PressKey(VK_ESCAPE); }, IDCANCEL},
        {"close box", [](CHeadlessWindow& w) { w.Close(); }, IDCANCEL},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        Options().m_filter = CRecordFilter();
        Options().Save();
        // A filter text typed and not yet handed over by a focus change is kept too.
        EXPECT_EQ(Run([&](CHeadlessWindow& w) {
                      w.Click(IDC_FILTER_CHECK);
                      w.Type(IDC_FILTER_TEXT1, c.m_pszName);
                      c.m_close(w);
                  }),
                  c.m_nResult);
        EXPECT_EQ(Rows(Stored().m_filter), std::string("0:") + c.m_pszName);
    }
}

TEST_F(VARNODlgTest, TheCommandSavesOnceMoreAfterOkOnly) {
    // Enter ends the dialog with OK without saving it: the command does.
    m_ui.Then([](CHeadlessWindow& w) {
        w.Click(IDC_FILTER_CHECK);
        w.Type(IDC_FILTER_TEXT1, "enter");
        w.PressKey(VK_RETURN);
    });
    EXPECT_EQ(RunMainDialogCommand(m_pHost.Get()), static_cast<int>(IDOK));
    EXPECT_EQ(Rows(Stored().m_filter), "0:enter");
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(VARNODlgTest, AFailingHostCallLeavesTheDialogAndIsReported) {
    SeedThree();
    CDesktopHostOptions faults;
    faults.m_vecFaults.push_back({"GetText", 0, E_FAIL, "The datebook is gone"});
    OpenHost(faults);
    SetFilter({{"x", FILTER_JOIN_NONE}});
    Options().Save();
    m_ui.Then([](CHeadlessWindow& w) { w.Click(IDC_CLOSE); });
    EXPECT_EQ(RunMainDialogCommand(m_pHost.Get()), -1);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText, "Error during Import/Export:\nThe datebook is gone");
    EXPECT_TRUE(m_ui.m_vecOpen.empty());
}

TEST_F(VARNODlgTest, ExportWritesWhatVarnoExportWrites) {
    SeedThree();
    Seed(Repeating(Timed("2026-12-01", 8, 0, 8, 30, "Standup"), 1, 1, 0, "2026-12-20"));
    for (const int bFull : {1, 0}) {
        SCOPED_TRACE(bFull);
        Options().m_bFullFormat = bFull;
        SetFilter({{"u", FILTER_JOIN_NONE}});
        Options().m_strSeparator = ";";
        Options().Save();
        const std::string strDialogFile = Home() + "/dialog" + std::to_string(bFull);
        // A name without extension, CSV entry selected: the CSV extension is appended.
        m_ui.ScriptFile(strDialogFile, ExportEntry("*.csv"));
        (void)Run([](CHeadlessWindow& w) {
            w.Click(IDC_EXPORT);
            EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
            w.Click(IDC_CLOSE);
        });
        ASSERT_TRUE(std::filesystem::exists(strDialogFile + ".csv"));
        EXPECT_EQ(Stored().m_strLastFile, strDialogFile + ".csv");
        const std::string strCliFile = Home() + "/cli" + std::to_string(bFull) + ".csv";
        EXPECT_EQ(Varno({"export", strCliFile.c_str(), "--quiet"}), 0);
        const std::string bytes = ReadFileBytes(strDialogFile + ".csv");
        EXPECT_EQ(bytes, ReadFileBytes(strCliFile));
        EXPECT_THAT(bytes, HasSubstr("Lunch with Bob"));
        EXPECT_THAT(bytes, ::testing::Not(HasSubstr("Dentist")));
    }
}

TEST_F(VARNODlgTest, FileDialogsPreselectTheEntryOfTheLastFile) {
    struct CCase {
        const char* m_pszLastFile;
        const char* m_pszPattern; // the entry expected, empty for entry 1
    };
    const CCase cases[] = {
        {"/tmp/LIST.CSV", "*.csv"},
        {"/tmp/noextension", ""},
        {"/tmp/x.ics", "*.ics"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszLastFile);
        Options().m_strLastFile = c.m_pszLastFile;
        m_ui.m_vecFileRequests.clear();
        m_ui.ScriptFileCancel();
        (void)Run([](CHeadlessWindow& w) {
            w.Click(IDC_EXPORT);
            w.Close();
        });
        ASSERT_EQ(m_ui.m_vecFileRequests.size(), 1u);
        const CFileDialogRequest& request = m_ui.m_vecFileRequests[0];
        EXPECT_FALSE(request.m_bOpen);
        EXPECT_TRUE(request.m_bOverwritePrompt);
        EXPECT_EQ(request.m_strFileName, c.m_pszLastFile);
        EXPECT_EQ(request.m_nFilterIndex, *c.m_pszPattern ? ExportEntry(c.m_pszPattern) : 1);
        // Cancelled: nothing changed.
        EXPECT_EQ(Options().m_strLastFile, c.m_pszLastFile);
    }
}

TEST_F(VARNODlgTest, ImportGivesTheDatebookThatVarnoImportGives) {
    const std::string strFile = Home() + "/in.csv";
    WriteFileBytes(strFile, CsvRow({"Date", "Start Time", "End Time", "Text", "Note"}) +
                                CsvRow({"07.12.2026", "09:00", "10:00", "Dentist", "bring card"}) +
                                CsvRow({"08.12.2026", "", "", "Holiday", ""}) +
                                CsvRow({"09.12.2026", "15:00", "15:30", "Call Bob", "x"}));
    Options().m_layout.SetSimpleFields(
        {FIELD_DATE, FIELD_START_TIME, FIELD_END_TIME, FIELD_TEXT, FIELD_NOTE});
    Options().m_strSeparator = ";";
    Options().Save();
    m_ui.ScriptFile(strFile);
    (void)Run([](CHeadlessWindow& w) {
        w.Click(IDC_IMPORT);
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "3 appointments");
        EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
        w.Click(IDC_CLOSE);
    });
    ASSERT_EQ(m_ui.m_vecFileRequests.size(), 1u);
    EXPECT_TRUE(m_ui.m_vecFileRequests[0].m_bOpen);
    EXPECT_TRUE(m_ui.m_vecFileRequests[0].m_bFileMustExist);
    std::vector<std::string> viaDialog;
    for (const CStoredAppointment& a : All())
        viaDialog.push_back(Describe(a));
    ASSERT_EQ(viaDialog.size(), 3u);

    // The same file into a fresh user through the command line.
    NewUser("Second");
    EXPECT_EQ(Varno({"import", strFile.c_str(), "--quiet"}), 0);
    std::vector<std::string> viaCli;
    for (const CStoredAppointment& a : All())
        viaCli.push_back(Describe(a));
    EXPECT_EQ(viaDialog, viaCli);
}

TEST_F(VARNODlgTest, FilesThatCannotBeOpenedShowTheRealReason) {
    // Import: a file that is gone by the time it is read.
    m_ui.ScriptFile(Home() + "/missing.csv");
    // Export: a folder that does not exist.
    m_ui.ScriptFile(Home() + "/no/such/folder/out.csv");
    (void)Run([](CHeadlessWindow& w) {
        w.Click(IDC_IMPORT);
        w.Click(IDC_EXPORT);
        EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
        w.Close();
    });
    ASSERT_EQ(m_ui.m_vecShown.size(), 2u);
    EXPECT_THAT(m_ui.m_vecShown[0].m_strText, HasSubstr("Error reading file\n"));
    EXPECT_THAT(m_ui.m_vecShown[0].m_strText, HasSubstr("No such file or directory"));
    EXPECT_THAT(m_ui.m_vecShown[1].m_strText, HasSubstr("Error writing file\n"));
    EXPECT_GT(m_ui.m_vecShown[1].m_strText.size(), std::string("Error writing file\n").size());
}

TEST_F(VARNODlgTest, RemoveAllAsksThenEmptiesWhatTheFilterSelects) {
    SeedThree();
    SetFilter({{"lunch", FILTER_JOIN_NONE}});
    // Cancelled: nothing but the status line changes.
    m_ui.ScriptAnswers({EMessageAnswer::Cancel, EMessageAnswer::Ok});
    (void)Run([&](CHeadlessWindow& w) {
        EXPECT_TRUE(w.PickMenu(ID_FILE_REMOVE_ALL));
        EXPECT_EQ(Texts().size(), 3u);
        EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "2 appointments");
        EXPECT_TRUE(w.PickMenu(ID_FILE_REMOVE_ALL));
        EXPECT_EQ(w.Control(IDC_STATUS)->m_strText, "0 appointments");
        EXPECT_FALSE(w.Control(IDC_PROGRESS)->m_bVisible);
        w.Close();
    });
    ASSERT_EQ(m_ui.m_vecShown.size(), 2u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "This will remove 2 appointments for user Jane Example.\nContinue?");
    EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Question);
    EXPECT_THAT(Texts(), ElementsAre("Dentist"));
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
}

TEST_F(VARNODlgTest, SharedNumbersAreToldApartByTheirNotification) {
    SeedThree();
    SetFilter({{"a", FILTER_JOIN_AND}, {"b", FILTER_JOIN_AND}, {"c", FILTER_JOIN_AND}, {"d", 0}});
    (void)Run([&](CHeadlessWindow& w) {
        // The row 4 text (1013) losing the focus applies the filter; it removes nothing.
        w.Type(IDC_FILTER_TEXT4, "Lunch");
        w.Focus(IDC_FILTER_TEXT1);
        EXPECT_TRUE(m_ui.m_vecShown.empty());
        EXPECT_EQ(Rows(Options().m_filter), "2:a and 2:b and 2:c and 2:Lunch");
        // The row 1 type list (1004) opens no about dialog.
        w.Select(IDC_FILTER_TYPE1, 0);
        EXPECT_EQ(m_ui.m_vecOpen.size(), 1u);
        // Ctrl+O is the options command; the menu's About opens the about dialog.
        m_ui.Then([](CHeadlessWindow& about) {
            EXPECT_EQ(about.Template().m_nId, IDD_ABOUT);
            about.Click(IDOK);
        });
        EXPECT_TRUE(w.PickMenu(ID_HELP_ABOUT));
        w.Close();
    });
    EXPECT_EQ(m_ui.m_nUnscriptedCloses, 0);
}

// A help viewer that records the books it is asked to show.
class CBookRecorder : public CHelpViewerBackend {
public:
    bool ShowBook(const std::string& strBookPath) override {
        m_vecBooks.push_back(strBookPath);
        return true;
    }
    bool ReadBookFile(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void ShowPopup(const std::string&) override {}
    std::vector<std::string> m_vecBooks;
};

CBookRecorder* g_pRecorder = nullptr;

CHelpViewerBackend* LoadRecorder() {
    return g_pRecorder;
}

TEST_F(VARNODlgTest, F1AndTheHelpMenuShowTheBookWhenThereIsAViewer) {
    SetHelpFilePath("/opt/varno/VARNOAddIn.chm");
    CBookRecorder recorder;
    for (const bool bViewer : {false, true}) {
        SCOPED_TRACE(bViewer);
        g_pRecorder = bViewer ? &recorder : nullptr;
        RegisterHelpViewerLoader(bViewer ? &LoadRecorder : nullptr);
        ResetHelpViewer();
        EXPECT_EQ(Run([](CHeadlessWindow& w) {
                      w.PressKey(VK_F1);
                      EXPECT_TRUE(w.PickMenu(ID_HELP_HELP));
                      EXPECT_FALSE(w.Ended());
                      w.Click(IDC_CLOSE);
                  }),
                  static_cast<int>(IDOK));
    }
    RegisterHelpViewerLoader(nullptr);
    ResetHelpViewer();
    g_pRecorder = nullptr;
    SetHelpFilePath({});
    EXPECT_EQ(recorder.m_vecBooks,
              (std::vector<std::string>{"/opt/varno/VARNOAddIn.htb", "/opt/varno/VARNOAddIn.htb"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(VARNODlgTest, OptionsArchiveAndMaintainOpenTheirDialogsOverTheMainDialog) {
    CHeadlessWindow* pMain = nullptr;
    m_ui.Then([&](CHeadlessWindow& w) {
        pMain = &w;
        // Ctrl+O: the options dialog; OK saves the record it edited.
        w.PressKey('O', KM_CTRL);
        EXPECT_EQ(Stored().m_nMinSize, 4321);
        // The archive dialog; nothing is refreshed afterwards.
        EXPECT_TRUE(w.PickMenu(ID_FILE_ARCHIVE));
        // Maintain: the saved-set menu is built anew afterwards, with its check mark.
        EXPECT_TRUE(w.PickMenu(ID_SAVED_MAINTAIN));
        const CMenu* pSaved = w.MenuBar()->GetSubMenu(0)->GetSubMenu(3);
        ASSERT_EQ(pSaved->GetItemCount(), 3);
        EXPECT_EQ(pSaved->GetItem(0)->m_strText, "&1 Made meanwhile");
        EXPECT_TRUE(pSaved->GetItem(0)->m_bChecked);
        w.Close();
    });
    m_ui.Then([&](CHeadlessWindow& options) {
        EXPECT_EQ(options.Template().m_nId, IDD_OPTIONS);
        EXPECT_EQ(options.Parent(), pMain);
        Options().m_nMinSize = 4321;
        options.Click(IDOK);
    });
    m_ui.Then([&](CHeadlessWindow& archive) {
        EXPECT_EQ(archive.Template().m_nId, IDD_ARCHIVE);
        EXPECT_EQ(archive.Parent(), pMain);
        archive.Close();
    });
    m_ui.Then([&](CHeadlessWindow& saved) {
        EXPECT_EQ(saved.Template().m_nId, IDD_SAVED_OPTIONS);
        EXPECT_EQ(saved.Parent(), pMain);
        CSavedOptions::Store(Options(), 0, "Made meanwhile");
        saved.Close();
    });
    CVARNODlg dialog(&Options());
    EXPECT_EQ(dialog.DoModal(), static_cast<int>(IDCANCEL));
    EXPECT_EQ(m_ui.m_nUnscriptedCloses, 0);
}

} // namespace
