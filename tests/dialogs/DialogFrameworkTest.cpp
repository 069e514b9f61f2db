// The dialog framework on the headless surface: data exchange, validation, command
// routing, menus, accelerators, keys, file dialogs and message boxes.
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/HeadlessSurface.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum : unsigned {
    ID_NAME = 10,
    ID_COUNT,
    ID_FLAG,
    ID_RADIO_A,
    ID_RADIO_B,
    ID_RADIO_C,
    ID_OTHER_RADIO,
    ID_DATE,
    ID_COMBO,
    ID_LIST,
    ID_SPIN,
    ID_PROGRESS,
    ID_SHARED = 1004,
    ID_MENU_ONLY = 32768,
};

using K = EControlKind;
constexpr CControlTemplate kControls[] = {
    {ID_NAME, K::Edit, "", CS_TABSTOP, {5, 5, 60, 12}},
    {ID_COUNT, K::Edit, "", CS_TABSTOP, {5, 20, 30, 12}},
    {ID_SPIN, K::UpDown, "", CS_BUDDYINT, {35, 20, 10, 12}},
    {ID_FLAG, K::CheckBox, "&Flag", CS_TABSTOP, {5, 35, 60, 10}},
    {ID_RADIO_A, K::Radio, "&A", CS_GROUP, {5, 50, 30, 10}},
    {ID_RADIO_B, K::Radio, "&B", CS_NONE, {40, 50, 30, 10}},
    {ID_RADIO_C, K::Radio, "&C", CS_NONE, {75, 50, 30, 10}},
    {ID_OTHER_RADIO, K::Radio, "&Other", CS_GROUP, {110, 50, 30, 10}},
    {ID_DATE, K::DatePicker, "", CS_SHORTDATE, {5, 65, 60, 12}},
    {ID_COMBO, K::DropCombo, "", CS_SORT, {5, 80, 60, 50}},
    {ID_SHARED, K::DropList, "", CS_NONE, {70, 80, 60, 50}},
    {ID_LIST, K::ListBox, "", CS_NOTIFY | CS_DRAGLIST, {5, 95, 60, 40}},
    {ID_PROGRESS, K::Progress, "", CS_HIDDEN, {5, 140, 100, 10}},
    {IDOK, K::DefPushButton, "OK", CS_TABSTOP, {150, 5, 50, 14}},
    {IDCANCEL, K::PushButton, "Cancel", CS_TABSTOP, {150, 22, 50, 14}},
};
constexpr CDialogTemplate kTemplate = {900, "Test", 210, 160, DS_MODAL, kControls};

constexpr CMenuItemTemplate kMenuItems[] = {
    {"&File", 0, MF_POPUP},         {"&Only menu", ID_MENU_ONLY, MF_NONE}, {"", 0, MF_SEPARATOR},
    {"&Shared", ID_SHARED, MF_END}, {"&Help", 0, MF_POPUP | MF_END},       {"&About", 77, MF_END},
};
constexpr CMenuTemplate kMenu = {901, kMenuItems};
constexpr CAccelerator kAccel[] = {{'O', KM_CTRL, ID_SHARED}, {VK_RETURN, KM_CTRL, 55}};
constexpr CAcceleratorTable kAccelTable = {902, kAccel};

struct CCommand {
    unsigned m_nId;
    ENotify m_code;
    bool operator==(const CCommand&) const = default;
};

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(kTemplate) {}

    std::string m_strName = "alpha";
    int m_nCount = 5;
    bool m_bFlag = true;
    int m_nRadio = 1;
    CDateValue m_date{2026, 12, 5};
    std::string m_strCombo = "pear";
    int m_nList = 1;
    std::vector<CCommand> m_vecCommands;
    std::vector<unsigned> m_vecHelp;
    bool m_bWithMenu = true;

protected:
    bool OnInitDialog() override {
        if (m_bWithMenu) {
            SetMenu(CMenu(kMenu));
            LoadAccelerators(kAccelTable);
        }
        GetDlgItem(ID_COMBO).AddString("pear", 2);
        GetDlgItem(ID_COMBO).AddString("Apple", 1);
        for (const char* psz : {"one", "two", "three"})
            GetDlgItem(ID_LIST).AddString(psz, static_cast<std::uint32_t>(psz[0]));
        GetDlgItem(ID_SPIN).SetRange(1, 50);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, ID_NAME, m_strName);
        DDV_MaxChars(dx, m_strName, 8);
        DDX_Text(dx, ID_COUNT, m_nCount);
        DDV_MinMaxInt(dx, m_nCount, 1, 50);
        DDX_Check(dx, ID_FLAG, m_bFlag);
        DDX_Radio(dx, ID_RADIO_A, m_nRadio);
        DDX_DateTime(dx, ID_DATE, m_date);
        DDX_CBString(dx, ID_COMBO, m_strCombo);
        DDX_Index(dx, ID_LIST, m_nList);
    }
    // Focus changes are left out of the record.
    bool OnCommand(unsigned nId, ENotify code) override {
        if (code != ENotify::SetFocus && code != ENotify::KillFocus)
            m_vecCommands.push_back({nId, code});
        return CDialog::OnCommand(nId, code);
    }
    void OnHelp(unsigned nControlId) override { m_vecHelp.push_back(nControlId); }
};

class DialogFrameworkTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CVarnoTest::TearDown();
    }
    CHeadlessSurface m_surface;
};

TEST_F(DialogFrameworkTest, ShowsMembersInEveryControlKind) {
    CTestDlg dlg;
    m_surface.Then([](CHeadlessWindow& w) {
        EXPECT_EQ(w.Control(ID_NAME)->m_strText, "alpha");
        EXPECT_EQ(w.Control(ID_COUNT)->m_strText, "5");
        EXPECT_TRUE(w.Control(ID_FLAG)->m_bChecked);
        EXPECT_FALSE(w.Control(ID_RADIO_A)->m_bChecked);
        EXPECT_TRUE(w.Control(ID_RADIO_B)->m_bChecked);
        EXPECT_FALSE(w.Control(ID_RADIO_C)->m_bChecked);
        EXPECT_EQ(w.Control(ID_DATE)->m_date, (CDateValue{2026, 12, 5}));
        EXPECT_EQ(w.Control(ID_COMBO)->m_strText, "pear");
        // A sorted combo orders without regard to case; item data stays with its item.
        EXPECT_EQ(w.GetItemText(ID_COMBO, 0), "Apple");
        EXPECT_EQ(w.GetItemData(ID_COMBO, 1), 2u);
        EXPECT_EQ(w.GetCurSel(ID_LIST), 1);
        EXPECT_EQ(w.GetItemData(ID_LIST, 2), static_cast<std::uint32_t>('t'));
        EXPECT_FALSE(w.IsVisible(ID_PROGRESS));
        // The first enabled tab stop has the focus.
        EXPECT_EQ(w.GetFocus(), ID_NAME);
        w.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(m_surface.m_nUnscriptedCloses, 0);
}

TEST_F(DialogFrameworkTest, TakesValuesFromEveryControlKind) {
    CTestDlg dlg;
    m_surface.Then([](CHeadlessWindow& w) {
        w.Type(ID_NAME, "beta");
        w.Type(ID_COUNT, " 42 ");
        w.Click(ID_FLAG);
        w.Click(ID_RADIO_C);
        w.Click(ID_OTHER_RADIO); // another group: the first keeps its choice
        w.SetDate(ID_DATE, {2027, 2, 28});
        w.Type(ID_COMBO, "plum");
        w.Select(ID_LIST, 2);
        w.PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(dlg.m_strName, "beta");
    EXPECT_EQ(dlg.m_nCount, 42);
    EXPECT_FALSE(dlg.m_bFlag);
    EXPECT_EQ(dlg.m_nRadio, 2);
    EXPECT_EQ(dlg.m_date, (CDateValue{2027, 2, 28}));
    EXPECT_EQ(dlg.m_strCombo, "plum");
    EXPECT_EQ(dlg.m_nList, 2);
}

TEST_F(DialogFrameworkTest, FailingValueKeepsDialogOpenWithMessageAndFocus) {
    struct CCase {
        unsigned m_nControl;
        const char* m_pszText;
        std::string m_strMessage;
    };
    const CCase cases[] = {
        {ID_COUNT, "0", "Please enter an integer between 1 and 50."},
        {ID_COUNT, "51", "Please enter an integer between 1 and 50."},
        {ID_COUNT, "", "Please enter an integer."},
        {ID_COUNT, "4x", "Please enter an integer."},
        {ID_COUNT, "99999999999", "Please enter an integer."},
        {ID_NAME, "ninechars", "Please enter no more than 8 characters."},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszText);
        m_surface.m_vecShown.clear();
        CTestDlg dlg;
        m_surface.Then([&](CHeadlessWindow& w) {
            w.Type(c.m_nControl, c.m_pszText);
            w.Focus(IDOK);
            w.Click(IDOK);
            EXPECT_FALSE(w.Ended());
            EXPECT_EQ(w.GetFocus(), c.m_nControl);
            // Values before the failing one were taken; the rest were not.
            w.Type(c.m_nControl, c.m_nControl == ID_COUNT ? "50" : "ok");
            w.Click(IDOK);
        });
        EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
        ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
        EXPECT_EQ(m_surface.m_vecShown[0].m_strText, c.m_strMessage);
        EXPECT_EQ(m_surface.m_vecShown[0].m_icon, EMessageIcon::Exclamation);
    }
}

TEST_F(DialogFrameworkTest, SharedNumberIsToldApartByNotificationCode) {
    CTestDlg dlg;
    m_surface.Then([](CHeadlessWindow& w) {
        EXPECT_EQ(w.GetItemText(ID_SHARED, 0), ""); // no items: nothing to read
        w.InsertItem(ID_SHARED, 0, "x", 0);
        w.Select(ID_SHARED, 0);
        EXPECT_TRUE(w.PickMenu(ID_SHARED));
        EXPECT_TRUE(w.PickMenu(ID_MENU_ONLY));
        EXPECT_FALSE(w.PickMenu(4711));
        w.PressKey('O', KM_CTRL);
        w.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    const std::vector<CCommand> expected = {
        {ID_SHARED, ENotify::SelChange}, {ID_SHARED, ENotify::Menu},
        {ID_MENU_ONLY, ENotify::Menu},   {ID_SHARED, ENotify::Accelerator},
        {IDCANCEL, ENotify::Clicked},
    };
    EXPECT_EQ(dlg.m_vecCommands, expected);
}

TEST_F(DialogFrameworkTest, KeysGoThroughAcceleratorsBeforeDialogHandling) {
    CTestDlg dlg;
    m_surface.Then([](CHeadlessWindow& w) {
        // Ctrl+Enter is in the table: it must not end the dialog as Enter would.
        w.PressKey(VK_RETURN, KM_CTRL);
        EXPECT_FALSE(w.Ended());
        w.Focus(ID_FLAG);
        w.PressKey(VK_F1);
        w.PressKey(VK_SPACE); // a focused check box toggles
        EXPECT_FALSE(w.Control(ID_FLAG)->m_bChecked);
        w.Focus(IDCANCEL);
        w.PressKey(VK_RETURN); // Enter on a focused button clicks that button
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    EXPECT_EQ(dlg.m_vecCommands.front(), (CCommand{55, ENotify::Accelerator}));
    EXPECT_EQ(dlg.m_vecHelp, std::vector<unsigned>{ID_FLAG});

    CTestDlg plain;
    m_surface.Then([](CHeadlessWindow& w) { w.PressKey(VK_ESCAPE); });
    EXPECT_EQ(plain.DoModal(), static_cast<int>(IDCANCEL));
    // The close box cancels too; a dialog left without script closes the same way.
    CTestDlg closed;
    m_surface.Then([](CHeadlessWindow& w) { w.Close(); });
    EXPECT_EQ(closed.DoModal(), static_cast<int>(IDCANCEL));
    EXPECT_EQ(m_surface.m_nUnscriptedCloses, 0);
}

TEST_F(DialogFrameworkTest, MenuItemsInsertDeleteCheckAndText) {
    CMenu menu(GetMainMenuTemplate());
    ASSERT_EQ(menu.GetItemCount(), 2);
    CMenu* pFile = menu.GetSubMenu(0);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(pFile->GetItemCount(), 6);
    CMenu* pSaved = pFile->GetSubMenu(3);
    ASSERT_NE(pSaved, nullptr);
    ASSERT_EQ(pSaved->GetItemCount(), 2);
    EXPECT_TRUE(pSaved->GetItem(0)->m_bSeparator);
    EXPECT_EQ(pSaved->GetItemId(1), ID_SAVED_MAINTAIN);

    pSaved->InsertItem(0, "&1 Work", ID_SAVED_SET_FIRST);
    pSaved->InsertItem(1, "&2 Home", ID_SAVED_SET_FIRST + 1);
    pSaved->InsertItem(99, "past the end", 5);
    EXPECT_EQ(pSaved->GetItemCount(), 5);
    EXPECT_EQ(pSaved->GetItemId(4), 5u);
    EXPECT_TRUE(pSaved->DeleteItem(4));
    EXPECT_FALSE(pSaved->DeleteItem(4));
    EXPECT_TRUE(menu.CheckItem(ID_SAVED_SET_FIRST + 1, true));
    EXPECT_TRUE(menu.IsChecked(ID_SAVED_SET_FIRST + 1));
    EXPECT_FALSE(menu.IsChecked(ID_SAVED_SET_FIRST));
    EXPECT_FALSE(menu.CheckItem(4711, true));
    EXPECT_TRUE(menu.SetItemText(ID_HELP_ABOUT, "&About VARNO"));
    EXPECT_EQ(menu.GetItemText(ID_HELP_ABOUT), "&About VARNO");
    EXPECT_EQ(menu.GetSubMenu(1)->GetItemId(0), ID_HELP_HELP);
    // Copies are deep.
    CMenu copy = menu;
    EXPECT_TRUE(copy.CheckItem(ID_SAVED_SET_FIRST + 1, false));
    EXPECT_TRUE(menu.IsChecked(ID_SAVED_SET_FIRST + 1));

    // A dialog's menu shows after DrawMenuBar; a grayed item sends nothing.
    CTestDlg dlg;
    m_surface.Then([&](CHeadlessWindow& w) {
        EXPECT_TRUE(w.PickMenu(ID_MENU_ONLY));
        EXPECT_TRUE(dlg.GetMenu()->EnableItem(ID_MENU_ONLY, false));
        dlg.DrawMenuBar();
        EXPECT_FALSE(w.PickMenu(ID_MENU_ONLY));
        w.Click(IDCANCEL);
    });
    (void)dlg.DoModal();
    EXPECT_EQ(dlg.m_vecCommands.size(), 2u); // the enabled pick and Cancel
}

TEST_F(DialogFrameworkTest, FileDialogPreselectsAndAppendsExtension) {
    const std::string filter = "MS Excel (*.xls)|*.xls|Comma Separated Values (*.csv)|*.csv|"
                               "All Files (*.*)|*.*||";
    EXPECT_EQ(ParseFilterString(filter).size(), 3u);
    EXPECT_EQ(ParseFilterString(filter)[1],
              (CFilterEntry{"Comma Separated Values (*.csv)", "*.csv"}));
    EXPECT_TRUE(ParseFilterString("").empty());

    struct CCase {
        const char* m_pszPath;
        int m_nIndex;
        const char* m_pszExpected;
    };
    const CCase cases[] = {
        {"/home/u/appts", 2, "/home/u/appts.csv"},
        {"/home/u/appts", 1, "/home/u/appts.xls"},
        {"/home/u/appts", 3, "/home/u/appts"}, // ".*" is no extension
        {"/home/u/appts.txt", 2, "/home/u/appts.txt"},
        {"/home/u.d/appts", 2, "/home/u.d/appts.csv"}, // a dot in a folder does not count
        {"/home/u/appts", 9, "/home/u/appts"},
        {"/home/u/", 2, "/home/u/"},
    };
    for (const CCase& c : cases)
        EXPECT_EQ(AppendFilterExtension(c.m_pszPath, filter, c.m_nIndex), c.m_pszExpected)
            << c.m_pszPath << " " << c.m_nIndex;

    m_surface.ScriptFile("/tmp/x/data");
    CFileDialog save(false, "/tmp/x/DATA.CSV",
                     CFileDialog::OFN_OVERWRITEPROMPT | CFileDialog::OFN_HIDEREADONLY, filter);
    save.m_nFilterIndex = 2;
    EXPECT_EQ(save.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(save.m_nFilterIndex, 2);
    EXPECT_EQ(AppendFilterExtension(save.GetPathName(), filter, save.m_nFilterIndex),
              "/tmp/x/data.csv");
    const CFileDialogRequest& request = m_surface.m_vecFileRequests.back();
    EXPECT_FALSE(request.m_bOpen);
    EXPECT_TRUE(request.m_bOverwritePrompt);
    EXPECT_FALSE(request.m_bFileMustExist);
    EXPECT_EQ(request.m_nFilterIndex, 2);
    EXPECT_EQ(request.m_strFileName, "/tmp/x/DATA.CSV");

    m_surface.ScriptFileCancel();
    CFileDialog open(true, "", CFileDialog::OFN_FILEMUSTEXIST, filter);
    EXPECT_EQ(open.DoModal(), static_cast<int>(IDCANCEL));
    EXPECT_TRUE(m_surface.m_vecFileRequests.back().m_bFileMustExist);
    EXPECT_EQ(open.GetPathName(), "");
}

TEST_F(DialogFrameworkTest, MessageBoxCaptionIsModuleNameUnlessGiven) {
    CTestDlg dlg;
    m_surface.ScriptAnswers({EMessageAnswer::Cancel, EMessageAnswer::Cancel});
    m_surface.Then([&](CHeadlessWindow&) {
        EXPECT_EQ(dlg.MessageBox("plain"), EMessageAnswer::Ok); // OK-only boxes answer OK
        EXPECT_EQ(dlg.MessageBox("asked", "Own caption", EMessageButtons::OkCancel,
                                 EMessageIcon::Question),
                  EMessageAnswer::Cancel);
        EXPECT_EQ(GetUserServices().ShowMessage("from an operation", EMessageButtons::Ok,
                                                EMessageIcon::Stop),
                  EMessageAnswer::Ok);
        dlg.EndDialog(7);
    });
    EXPECT_EQ(dlg.DoModal(), 7);
    ASSERT_EQ(m_surface.m_vecShown.size(), 3u);
    EXPECT_EQ(m_surface.m_vecShown[0].m_strCaption, "VARNOAddIn");
    EXPECT_EQ(m_surface.m_vecShown[1].m_strCaption, "Own caption");
    EXPECT_EQ(m_surface.m_vecShown[1].m_icon, EMessageIcon::Question);
    EXPECT_EQ(m_surface.m_vecShown[2].m_strCaption, "VARNOAddIn");
}

TEST_F(DialogFrameworkTest, ListsSpinAndProgress) {
    CTestDlg dlg;
    dlg.m_bWithMenu = false;
    m_surface.Then([](CHeadlessWindow& w) {
        // Spin: clamped to its range and written into the edit before it.
        w.SetPos(ID_SPIN, 70);
        EXPECT_EQ(w.GetPos(ID_SPIN), 50);
        EXPECT_EQ(w.Control(ID_COUNT)->m_strText, "50");
        // Dragging reorders items with their data; deleting before the selection
        // keeps the selected item selected.
        w.DragItem(ID_LIST, 0, 2);
        EXPECT_EQ(w.GetItemText(ID_LIST, 2), "one");
        EXPECT_EQ(w.GetItemData(ID_LIST, 2), static_cast<std::uint32_t>('o'));
        EXPECT_EQ(w.GetCurSel(ID_LIST), 2);
        EXPECT_TRUE(w.DeleteItem(ID_LIST, 0));
        EXPECT_EQ(w.GetCurSel(ID_LIST), 1);
        w.SetCurSel(ID_LIST, 5);
        EXPECT_EQ(w.GetCurSel(ID_LIST), -1);
        w.Show(ID_PROGRESS, true);
        w.SetRange(ID_PROGRESS, 0, 10);
        w.SetPos(ID_PROGRESS, 4);
        EXPECT_EQ(w.GetPos(ID_PROGRESS), 4);
        EXPECT_TRUE(w.IsVisible(ID_PROGRESS));
        // A disabled button sends nothing.
        w.Enable(IDOK, false);
        w.Click(IDOK);
        w.PressKey(VK_RETURN);
        EXPECT_FALSE(w.Ended());
        w.Click(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    // Controls of a closed dialog read as empty.
    EXPECT_FALSE(dlg.GetDlgItem(ID_NAME).Exists());
    EXPECT_EQ(dlg.GetDlgItemText(ID_NAME), "");
}

} // namespace
