// The options dialog on the headless surface, driven as a user would: what it shows of the
// options record, what OK, Cancel and Save As leave in it, the field lists and the help.
#include "ui/OptionsDlg.h"

#include "platform/dialogs/HeadlessSurface.h"
#include "platform/shell/HelpViewer.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

using Ids = std::vector<unsigned>;

class OptionsDlgTest : public CVarnoTest {
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

    COptions& Options() { return *m_pOptions; }

    // Opens the dialog on the record, runs the steps, and returns its result.
    int Run(std::initializer_list<CHeadlessSurface::CAction> steps) {
        for (const auto& step : steps)
            m_surface.Then(step);
        COptionsDlg dlg(Options());
        return dlg.DoModal();
    }

    static Ids ListIds(const CHeadlessWindow& w, unsigned nId) {
        Ids ids;
        for (const auto& item : w.Control(nId)->m_vecItems)
            ids.push_back(item.m_nData);
        return ids;
    }

    CHeadlessSurface m_surface;
    std::unique_ptr<COptions> m_pOptions;
};

TEST_F(OptionsDlgTest, FormatRadioEnablesDatePickersOrRepeatList) {
    struct CState {
        bool m_bFull;
        bool m_bPickers;
        bool m_bRepeat;
    };
    const auto state = [](const CHeadlessWindow& w) {
        EXPECT_EQ(w.Control(IDC_EXPORT_FROM)->m_bEnabled, w.Control(IDC_EXPORT_TO)->m_bEnabled);
        return CState{w.Control(IDC_FULL_FORMAT)->m_bChecked,
                      w.Control(IDC_EXPORT_FROM)->m_bEnabled,
                      w.Control(IDC_REPEAT_FIELDS)->m_bEnabled};
    };
    for (const int bFull : {1, 0}) {
        SCOPED_TRACE(bFull);
        Options().m_bFullFormat = bFull;
        CState opened{};
        CState clicked{};
        EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                           opened = state(w);
                           w.Click(bFull ? IDC_SIMPLE_FORMAT : IDC_FULL_FORMAT);
                           clicked = state(w);
                       },
                       [](CHeadlessWindow& w) { w.Click(IDOK); }}),
                  static_cast<int>(IDOK));
        EXPECT_EQ(opened.m_bFull, bFull != 0);
        EXPECT_EQ(opened.m_bPickers, bFull == 0);
        EXPECT_EQ(opened.m_bRepeat, bFull != 0);
        EXPECT_EQ(clicked.m_bFull, bFull == 0);
        EXPECT_EQ(clicked.m_bPickers, bFull != 0);
        EXPECT_EQ(clicked.m_bRepeat, bFull == 0);
        EXPECT_EQ(Options().m_bFullFormat, bFull ? 0 : 1);
    }
}

TEST_F(OptionsDlgTest, ShowsEveryValueAndOkStoresWhatWasChanged) {
    COptions& o = Options();
    o.m_strSeparator = ";";
    o.m_strQuote = "\"";
    o.m_strExceptionDateSeparator = "/";
    o.m_nDefaultApptLength = 45;
    o.m_bNoDuplicates = 1;
    o.m_bIgnoreImportErrors = 0;
    o.m_bExportNoCr = 1;
    o.m_bDateWithTime = 0;
    std::map<unsigned, std::string> texts;
    std::map<unsigned, bool> checks;
    EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                  for (unsigned nId :
                       {IDC_SEPARATOR, IDC_QUOTE, IDC_EXCEPTION_SEPARATOR, IDC_DEFAULT_LENGTH})
                      texts[nId] = w.Control(nId)->m_strText;
                  for (unsigned nId :
                       {IDC_NO_DUPLICATES, IDC_IGNORE_ERRORS, IDC_EXPORT_NO_CR, IDC_DATE_WITH_TIME})
                      checks[nId] = w.Control(nId)->m_bChecked;
                  w.Type(IDC_SEPARATOR, "\t");
                  w.Type(IDC_QUOTE, "'");
                  w.Type(IDC_EXCEPTION_SEPARATOR, "");
                  w.Type(IDC_DEFAULT_LENGTH, "999");
                  for (unsigned nId :
                       {IDC_NO_DUPLICATES, IDC_IGNORE_ERRORS, IDC_EXPORT_NO_CR, IDC_DATE_WITH_TIME})
                      w.Click(nId);
                  w.Click(IDOK);
              }}),
              static_cast<int>(IDOK));
    EXPECT_EQ(texts, (std::map<unsigned, std::string>{{IDC_SEPARATOR, ";"},
                                                      {IDC_QUOTE, "\""},
                                                      {IDC_EXCEPTION_SEPARATOR, "/"},
                                                      {IDC_DEFAULT_LENGTH, "45"}}));
    EXPECT_EQ(checks, (std::map<unsigned, bool>{{IDC_NO_DUPLICATES, true},
                                                {IDC_IGNORE_ERRORS, false},
                                                {IDC_EXPORT_NO_CR, true},
                                                {IDC_DATE_WITH_TIME, false}}));
    EXPECT_EQ(o.m_strSeparator, "\t");
    EXPECT_EQ(o.m_strQuote, "'");
    EXPECT_EQ(o.m_strExceptionDateSeparator, "");
    EXPECT_EQ(o.m_nDefaultApptLength, 999);
    EXPECT_EQ(o.m_bNoDuplicates, 0);
    EXPECT_EQ(o.m_bIgnoreImportErrors, 1);
    EXPECT_EQ(o.m_bExportNoCr, 0);
    EXPECT_EQ(o.m_bDateWithTime, 1);
}

TEST_F(OptionsDlgTest, CancelDropsThePlainSettings) {
    const COptions before = Options();
    EXPECT_EQ(Run({[](CHeadlessWindow& w) {
                  w.Type(IDC_SEPARATOR, "|");
                  w.Click(IDC_NO_DUPLICATES);
                  w.Click(IDCANCEL);
              }}),
              static_cast<int>(IDCANCEL));
    EXPECT_TRUE(Options().IsSameAs(before));
}

// The clock stands at 5 December 2026, 12:00 in Berlin.
TEST_F(OptionsDlgTest, DatePickersShowAndStoreTheExportRangeInDays) {
    struct CCase {
        CDateValue m_from;
        CDateValue m_to;
        int m_nDaysBack;
        int m_nDaysAhead;
    };
    const CCase cases[] = {
        {{2026, 12, 2}, {2026, 12, 15}, 3, 10},
        {{2026, 12, 5}, {2026, 12, 5}, 0, 0},
        // Across the change to summer time and back over a year end.
        {{2025, 12, 5}, {2027, 4, 1}, 365, 117},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_nDaysAhead);
        Options().m_bFullFormat = 0;
        Options().m_nDaysBack = 7;
        Options().m_nDaysAhead = 30;
        CDateValue shownFrom;
        CDateValue shownTo;
        EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                      shownFrom = w.Control(IDC_EXPORT_FROM)->m_date;
                      shownTo = w.Control(IDC_EXPORT_TO)->m_date;
                      w.SetDate(IDC_EXPORT_FROM, c.m_from);
                      w.SetDate(IDC_EXPORT_TO, c.m_to);
                      w.Click(IDOK);
                  }}),
                  static_cast<int>(IDOK));
        EXPECT_EQ(shownFrom, (CDateValue{2026, 11, 28}));
        EXPECT_EQ(shownTo, (CDateValue{2027, 1, 4}));
        EXPECT_EQ(Options().m_nDaysBack, c.m_nDaysBack);
        EXPECT_EQ(Options().m_nDaysAhead, c.m_nDaysAhead);
    }
}

// A failing value keeps the dialog open with the framework's message and reaches neither
// the record nor a saved set.
TEST_F(OptionsDlgTest, InvalidSeparatorOrLengthKeepsTheDialogOpen) {
    struct CCase {
        unsigned m_nId;
        const char* m_pszText;
        std::string m_strMessage;
    };
    const CCase cases[] = {
        {IDC_EXCEPTION_SEPARATOR, "ab", MaxCharsMessage(1)},
        {IDC_DEFAULT_LENGTH, "0", IntegerRangeMessage(1, 999)},
        {IDC_DEFAULT_LENGTH, "1000", IntegerRangeMessage(1, 999)},
        {IDC_DEFAULT_LENGTH, "-5", IntegerRangeMessage(1, 999)},
        {IDC_DEFAULT_LENGTH, "ten", kIntegerMessage},
    };
    for (const CCase& c : cases) {
        for (const unsigned nButton : {IDOK, IDC_SAVE_AS, IDC_VIEW_EXAMPLE}) {
            SCOPED_TRACE(std::string(c.m_pszText) + " " + std::to_string(nButton));
            m_surface.m_vecShown.clear();
            const COptions before = Options();
            bool bOpen = false;
            unsigned nFocus = 0;
            std::size_t nWindows = 0;
            EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                               w.Type(IDC_SEPARATOR, "|");
                               w.Type(c.m_nId, c.m_pszText);
                               w.Click(nButton);
                               bOpen = !w.Ended();
                               nFocus = w.GetFocus();
                               nWindows = m_surface.m_vecOpen.size();
                           },
                           [](CHeadlessWindow& w) { w.Click(IDCANCEL); }}),
                      static_cast<int>(IDCANCEL));
            EXPECT_TRUE(bOpen);
            EXPECT_EQ(nWindows, 1u); // no title or example dialog came up
            EXPECT_EQ(nFocus, c.m_nId);
            ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
            EXPECT_EQ(m_surface.m_vecShown[0].m_strText, c.m_strMessage);
            EXPECT_TRUE(Options().IsSameAs(before));
            EXPECT_EQ(CSavedOptions::GetCount(), 0);
        }
    }
}

TEST_F(OptionsDlgTest, AddFieldOffersOnlyMissingFieldsAndIgnoredLast) {
    Options().m_layout.SetSimpleFields({FIELD_DATE, FIELD_TEXT, FIELD_IGNORED, FIELD_START_TIME});
    m_surface.ScriptPopup(kAddFieldCommandBase + FIELD_NOTE);
    m_surface.ScriptPopup(kAddFieldCommandBase + FIELD_IGNORED);
    m_surface.ScriptPopup(0); // dismissed
    Ids shown;
    int nSel = -1;
    EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                  w.Click(IDC_ADD_FIELD);
                  w.Click(IDC_ADD_FIELD);
                  w.Click(IDC_ADD_FIELD);
                  shown = ListIds(w, IDC_SIMPLE_FIELDS);
                  nSel = w.GetCurSel(IDC_SIMPLE_FIELDS);
                  w.Click(IDCANCEL);
              }}),
              static_cast<int>(IDCANCEL));
    ASSERT_EQ(m_surface.m_vecPopups.size(), 3u);
    Ids offered;
    const CMenu& first = m_surface.m_vecPopups[0];
    for (int i = 0; i < first.GetItemCount(); ++i)
        offered.push_back(first.GetItemId(i) - kAddFieldCommandBase);
    EXPECT_EQ(offered, (Ids{1, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, FIELD_IGNORED}));
    EXPECT_EQ(first.GetItem(first.GetItemCount() - 1)->m_strText, "(Ignored)");
    // Once added, Note is no longer offered; "(Ignored)" always is, last.
    const CMenu& second = m_surface.m_vecPopups[1];
    EXPECT_EQ(second.FindCommand(kAddFieldCommandBase + FIELD_NOTE), nullptr);
    EXPECT_EQ(second.GetItemId(second.GetItemCount() - 1), kAddFieldCommandBase + FIELD_IGNORED);
    const Ids expected{FIELD_DATE,       FIELD_TEXT, FIELD_IGNORED,
                       FIELD_START_TIME, FIELD_NOTE, FIELD_IGNORED};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(nSel, 5);
    // Cancel keeps the added fields.
    EXPECT_EQ(Options().m_layout.GetSimpleFields(), expected);
}

TEST_F(OptionsDlgTest, RemoveFieldSelectsTheSamePlaceOrTheNewLast) {
    struct CCase {
        Ids m_before;
        int m_nSel;
        bool m_bDeleteKey;
        Ids m_after;
        int m_nSelAfter;
    };
    const CCase cases[] = {
        {{0, 2, 5}, 1, false, {0, 5}, 1},
        {{0, 2, 5}, 2, false, {0, 2}, 1},
        {{0, 2, 5}, 2, true, {0, 2}, 1},
        {{5}, 0, false, {}, -1},
        {{5}, 0, true, {}, -1},
        {{0, 2, 5}, -1, false, {0, 2, 5}, -1},
        {{0, 2, 5}, -1, true, {0, 2, 5}, -1},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.m_nSel << " " << c.m_bDeleteKey);
        Options().m_layout.SetSimpleFields(c.m_before);
        Ids shown;
        int nSel = -2;
        EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                      if (c.m_nSel >= 0)
                          w.Select(IDC_SIMPLE_FIELDS, c.m_nSel);
                      w.Focus(IDC_SIMPLE_FIELDS);
                      if (c.m_bDeleteKey)
                          w.PressKey(VK_DELETE);
                      else
                          w.Click(IDC_REMOVE_FIELD);
                      shown = ListIds(w, IDC_SIMPLE_FIELDS);
                      nSel = w.GetCurSel(IDC_SIMPLE_FIELDS);
                      w.Click(IDCANCEL);
                  }}),
                  static_cast<int>(IDCANCEL));
        EXPECT_EQ(shown, c.m_after);
        EXPECT_EQ(nSel, c.m_nSelAfter);
        EXPECT_EQ(Options().m_layout.GetSimpleFields(), c.m_after);
    }
}

TEST_F(OptionsDlgTest, DraggedOrderReachesTheLayouts) {
    Options().m_bFullFormat = 1;
    Options().m_layout.SetSimpleFields({FIELD_DATE, FIELD_START_TIME, FIELD_TEXT});
    Options().m_layout.SetRepeatFields({FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL});
    EXPECT_EQ(Run({[](CHeadlessWindow& w) {
                  w.DragItem(IDC_SIMPLE_FIELDS, 2, 0);
                  w.DragItem(IDC_REPEAT_FIELDS, 0, 1);
                  w.Click(IDOK);
              }}),
              static_cast<int>(IDOK));
    EXPECT_EQ(Options().m_layout.GetSimpleFields(),
              (Ids{FIELD_TEXT, FIELD_DATE, FIELD_START_TIME}));
    EXPECT_EQ(Options().m_layout.GetRepeatFields(),
              (Ids{FIELD_REPEAT_INTERVAL, FIELD_REPEAT_TYPE}));
}

TEST_F(OptionsDlgTest, RestoreDefaultRefillsBothListsAndStaysAfterCancel) {
    Options().m_layout.SetSimpleFields({FIELD_NOTE});
    Options().m_layout.SetRepeatFields({FIELD_EXCEPTIONS});
    const CFieldLayout defaults;
    Ids simple;
    Ids repeat;
    EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                  w.Click(IDC_RESTORE_DEFAULT);
                  simple = ListIds(w, IDC_SIMPLE_FIELDS);
                  repeat = ListIds(w, IDC_REPEAT_FIELDS);
                  EXPECT_EQ(w.Control(IDC_SIMPLE_FIELDS)->m_vecItems[0].m_strText, "Date");
                  w.Click(IDCANCEL);
              }}),
              static_cast<int>(IDCANCEL));
    EXPECT_EQ(simple, defaults.GetSimpleFields());
    EXPECT_EQ(repeat, defaults.GetRepeatFields());
    EXPECT_TRUE(Options().m_layout.IsEqual(defaults));
}

// The example shows the values as the dialog holds them; the record is not changed.
TEST_F(OptionsDlgTest, ViewExampleShowsTheDialogsValues) {
    Options().m_bFullFormat = 0;
    Options().m_strSeparator = ";";
    Options().m_layout.SetSimpleFields({FIELD_DATE, FIELD_TEXT});
    std::string strExample;
    EXPECT_EQ(Run({[](CHeadlessWindow& w) {
                       w.Type(IDC_SEPARATOR, "|");
                       w.Type(IDC_QUOTE, "");
                       w.Click(IDC_VIEW_EXAMPLE);
                   },
                   [&](CHeadlessWindow& w) {
                       EXPECT_EQ(w.Template().m_nId, IDD_EXAMPLE);
                       strExample = w.Control(IDC_EXAMPLE_TEXT)->m_strText;
                       w.Click(IDOK);
                   },
                   [](CHeadlessWindow& w) { w.Click(IDCANCEL); }}),
              static_cast<int>(IDCANCEL));
    EXPECT_EQ(strExample, "Date|Text\r\n05.12.2026|Sample Appointment Title\r\n");
    EXPECT_EQ(Options().m_strSeparator, ";");
}

TEST_F(OptionsDlgTest, SaveAsAppliesStoresTheSetAndStaysOpen) {
    COptions existing;
    existing.m_strSeparator = "#";
    CSavedOptions::Store(existing, 0, "Export A");
    struct CCase {
        const char* m_pszTyped;
        int m_nSet;
        int m_nCount;
    };
    for (const CCase& c : {CCase{"Import B", 1, 2}, CCase{"EXPORT a", 0, 2}}) {
        SCOPED_TRACE(c.m_pszTyped);
        m_surface.m_vecShown.clear();
        bool bStillOpen = false;
        EXPECT_EQ(Run({[](CHeadlessWindow& w) {
                           w.Type(IDC_SEPARATOR, ",");
                           w.Click(IDC_SAVE_AS);
                       },
                       [&](CHeadlessWindow& w) {
                           EXPECT_EQ(w.Template().m_nId, IDD_SAVED_OPTIONS_TITLE);
                           EXPECT_EQ(w.Control(IDC_SAVED_TITLE)->m_strText, "");
                           w.Type(IDC_SAVED_TITLE, c.m_pszTyped);
                           w.Click(IDOK);
                       },
                       [&](CHeadlessWindow& w) {
                           bStillOpen = !w.Ended() && w.Template().m_nId == IDD_OPTIONS;
                           w.Click(IDCANCEL);
                       }}),
                  static_cast<int>(IDCANCEL));
        EXPECT_TRUE(bStillOpen);
        EXPECT_EQ(CSavedOptions::GetCount(), c.m_nCount);
        EXPECT_EQ(CSavedOptions::GetTitle(c.m_nSet), c.m_pszTyped);
        COptions saved;
        CSavedOptions::Load(c.m_nSet, saved);
        EXPECT_EQ(saved.m_strSeparator, ",");
        // Applied at once: Cancel afterwards does not take it back.
        EXPECT_EQ(Options().m_strSeparator, ",");
        EXPECT_EQ(Options().m_strSetTitle, c.m_pszTyped);
        ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
        EXPECT_EQ(m_surface.m_vecShown[0].m_strText,
                  std::string("The current options have been saved as ") + c.m_pszTyped +
                      ". You can restore these options anytime via menu File -> Saved Options");
        EXPECT_EQ(m_surface.m_vecShown[0].m_icon, EMessageIcon::Information);
    }
}

TEST_F(OptionsDlgTest, SaveAsCancelledInTheTitleDialogChangesNothing) {
    const COptions before = Options();
    EXPECT_EQ(Run({[](CHeadlessWindow& w) {
                       w.Type(IDC_SEPARATOR, ",");
                       w.Click(IDC_SAVE_AS);
                   },
                   [](CHeadlessWindow& w) { w.Click(IDCANCEL); },
                   [](CHeadlessWindow& w) { w.Click(IDCANCEL); }}),
              static_cast<int>(IDCANCEL));
    EXPECT_EQ(CSavedOptions::GetCount(), 0);
    EXPECT_TRUE(Options().IsSameAs(before));
    EXPECT_TRUE(m_surface.m_vecShown.empty());
}

// ---- context help ------------------------------------------------------------------------

class CPopupViewer : public CHelpViewerBackend {
public:
    bool ShowBook(const std::string&) override { return true; }
    bool ReadBookFile(const std::string& strBook, const std::string& strName,
                      std::string& strText) override {
        if (strBook != "/opt/varno/VARNOAddIn.htb" || strName != "options.txt")
            return false;
        strText = ".topic " + std::to_string(kOptionsHelpBase | IDC_SEPARATOR) +
                  "\nThe separator.\n.topic " + std::to_string(kOptionsHelpBase | IDC_SAVE_AS) +
                  "\nSaves a set.\n";
        return true;
    }
    void ShowPopup(const std::string& strText) override { m_vecPopups.push_back(strText); }
    std::vector<std::string> m_vecPopups;
};

CPopupViewer* g_pViewer = nullptr;

TEST_F(OptionsDlgTest, HelpAndContextMenuShowTheControlsTopic) {
    CPopupViewer viewer;
    g_pViewer = &viewer;
    RegisterHelpViewerLoader([]() -> CHelpViewerBackend* { return g_pViewer; });
    ResetHelpViewer();
    SetHelpFilePath("/opt/varno/VARNOAddIn.chm");
    Run({[](CHeadlessWindow& w) {
        w.Focus(IDC_SEPARATOR);
        w.PressKey(VK_F1);
        w.ContextMenu(IDC_SAVE_AS);
        w.Help(0);         // the dialog itself has no topic
        w.ContextMenu(0);  // nor a context menu
        w.Help(IDC_QUOTE); // a topic the popup file lacks shows nothing
        w.Click(IDCANCEL);
    }});
    EXPECT_EQ(viewer.m_vecPopups, (std::vector<std::string>{"The separator.", "Saves a set."}));
    RegisterHelpViewerLoader(nullptr);
    ResetHelpViewer();
    SetHelpFilePath("");
    g_pViewer = nullptr;
}

TEST_F(OptionsDlgTest, RemoveFieldButtonShowsItsIcon) {
    std::vector<std::string> calls;
    Run({[&](CHeadlessWindow& w) {
        calls = w.Draw(IDC_REMOVE_FIELD, DRAW_NONE, false);
        w.Click(IDCANCEL);
    }});
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::find_if(calls.begin(), calls.end(),
                           [](const std::string& s) {
                               return s.rfind("icon " + std::to_string(IDI_REMOVE_FIELD), 0) == 0 &&
                                      s.find("16x16") != std::string::npos;
                           }),
              calls.end());
}

// Add Field opens its menu beside the button's right edge, level with its top; a menu
// button without a caption opens it below, left-aligned. The face shows the caption and
// an arrow at the right edge.
TEST_F(OptionsDlgTest, AddFieldIsAMenuButtonWithAnArrow) {
    CRect rcButton;
    std::vector<std::string> calls;
    std::vector<std::string> bare;
    Run({[&](CHeadlessWindow& w) {
        rcButton = w.GetRect(IDC_ADD_FIELD);
        w.Click(IDC_ADD_FIELD);
        calls = w.Draw(IDC_ADD_FIELD, DRAW_NONE, true);
        w.SetText(IDC_ADD_FIELD, "");
        w.Click(IDC_ADD_FIELD);
        bare = w.Draw(IDC_ADD_FIELD, DRAW_NONE, true);
        w.Click(IDCANCEL);
    }});
    using CPlace = CHeadlessSurface::CPopupPlace;
    EXPECT_EQ(m_surface.m_vecPopupPlaces,
              (std::vector<CPlace>{{rcButton.Right(), rcButton.y, false},
                                   {rcButton.x, rcButton.Bottom(), false}}));
    const std::string strSize = std::to_string(rcButton.cx) + "x" + std::to_string(rcButton.cy);
    const int xArrow = rcButton.cx - CMenuButton::kArrowWidth;
    EXPECT_EQ(calls, (std::vector<std::string>{"themed 0,0 " + strSize + " state 0",
                                               "text &Add Field... 0,0 " + std::to_string(xArrow) +
                                                   "x" + std::to_string(rcButton.cy),
                                               "arrow " + std::to_string(xArrow - 3) + ",0 12x" +
                                                   std::to_string(rcButton.cy)}));
    EXPECT_EQ(bare.size(), 2u);
    EXPECT_EQ(bare.back(), "arrow 0,0 " + strSize);
}

} // namespace
