// Every control kind of the wx surface: values shown, changed and taken back through data
// exchange, item data, sorted lists, spin and progress ranges, as on the headless surface.
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/wx/WxSurface.h"
#include "res/ImageResources.h"
#include "tests/support/TestEnv.h"

#include <wx/app.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

enum : unsigned {
    ID_NAME = 10,
    ID_COUNT,
    ID_SPIN,
    ID_FLAG,
    ID_RADIO_A,
    ID_RADIO_B,
    ID_RADIO_C,
    ID_DATE,
    ID_COMBO,
    ID_CHOICE,
    ID_LIST,
    ID_PROGRESS,
    ID_NOTE,
};

using K = EControlKind;
constexpr CControlTemplate kControls[] = {
    {ID_NAME, K::Edit, "", CS_TABSTOP | CS_BORDER, {5, 5, 80, 12}},
    {ID_COUNT, K::Edit, "", CS_TABSTOP | CS_BORDER | CS_NUMBER, {5, 22, 40, 12}},
    {ID_SPIN, K::UpDown, "", CS_BUDDYINT | CS_ARROWKEYS, {45, 22, 10, 12}},
    {ID_FLAG, K::CheckBox, "&Flag", CS_TABSTOP, {5, 40, 60, 10}},
    {ID_RADIO_A, K::Radio, "&A", CS_GROUP, {5, 55, 30, 10}},
    {ID_RADIO_B, K::Radio, "&B", CS_NONE, {40, 55, 30, 10}},
    {ID_RADIO_C, K::Radio, "&C", CS_NONE, {75, 55, 30, 10}},
    {ID_DATE, K::DatePicker, "", CS_SHORTDATE, {5, 70, 80, 13}},
    {ID_COMBO, K::DropCombo, "", CS_SORT, {5, 88, 80, 50}},
    {ID_CHOICE, K::DropList, "", CS_NONE, {90, 88, 80, 50}},
    {ID_LIST, K::ListBox, "", CS_NOTIFY | CS_BORDER, {5, 106, 80, 40}},
    {ID_NOTE, K::Edit, "", CS_MULTILINE | CS_READONLY | CS_BORDER, {90, 106, 80, 40}},
    {ID_PROGRESS, K::Progress, "", CS_HIDDEN, {5, 150, 165, 10}},
    {IDOK, K::DefPushButton, "OK", CS_TABSTOP, {180, 5, 50, 14}},
    {IDCANCEL, K::PushButton, "Cancel", CS_TABSTOP, {180, 22, 50, 14}},
};
constexpr CDialogTemplate kTemplate = {920, "Controls", 240, 165, DS_MODAL, kControls};

class CControlsDlg : public CDialog {
public:
    CControlsDlg() : CDialog(kTemplate) {}

    std::string m_strName = "alpha";
    int m_nCount = 5;
    bool m_bFlag = true;
    int m_nRadio = 1;
    CDateValue m_date{2026, 12, 5};
    std::string m_strCombo = "pear";
    int m_nChoice = 1;
    int m_nList = 0;
    std::function<void()> m_onInit;

protected:
    bool OnInitDialog() override {
        GetDlgItem(ID_COMBO).AddString("pear", 2);
        GetDlgItem(ID_COMBO).AddString("Apple", 1);
        for (const char* psz : {"and", "or", ""})
            GetDlgItem(ID_CHOICE).AddString(psz);
        for (const char* psz : {"one", "two", "three"})
            GetDlgItem(ID_LIST).AddString(psz, static_cast<std::uint32_t>(psz[0]));
        GetDlgItem(ID_SPIN).SetRange(1, 50);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, ID_NAME, m_strName);
        DDX_Text(dx, ID_COUNT, m_nCount);
        DDV_MinMaxInt(dx, m_nCount, 1, 50);
        DDX_Check(dx, ID_FLAG, m_bFlag);
        DDX_Radio(dx, ID_RADIO_A, m_nRadio);
        DDX_DateTime(dx, ID_DATE, m_date);
        DDX_CBString(dx, ID_COMBO, m_strCombo);
        DDX_Index(dx, ID_CHOICE, m_nChoice);
        DDX_Index(dx, ID_LIST, m_nList);
    }
};

void Settle() {
    for (int i = 0; i < 10; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
}

// Runs fn once the dialog is up; a dialog left open is ended after a while.
void RunDriven(CDialog& dialog, std::function<void()> fn, int& nResult) {
    wxTimer start;
    wxTimer watchdog;
    start.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        Settle();
        fn();
    });
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        ADD_FAILURE() << "the dialog did not close";
        dialog.EndDialog(-1);
    });
    start.StartOnce(200);
    watchdog.StartOnce(15000);
    nResult = dialog.DoModal();
}

class WxControlsTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CVarnoTest::TearDown();
    }
    CWxSurface m_surface{[](unsigned nId, int nSize) { return FindImageResource(nId, nSize); }};
};

TEST_F(WxControlsTest, DataExchangeBothWaysForEveryKind) {
    CControlsDlg dlg;
    int nResult = 0;
    RunDriven(
        dlg,
        [&] {
            CDialogWindow& w = *dlg.GetWindow();
            EXPECT_EQ(w.GetText(ID_NAME), "alpha");
            EXPECT_EQ(w.GetText(ID_COUNT), "5");
            EXPECT_TRUE(w.GetCheck(ID_FLAG));
            EXPECT_FALSE(w.GetCheck(ID_RADIO_A));
            EXPECT_TRUE(w.GetCheck(ID_RADIO_B));
            EXPECT_EQ(w.GetDate(ID_DATE), (CDateValue{2026, 12, 5}));
            EXPECT_EQ(w.GetText(ID_COMBO), "pear");
            EXPECT_EQ(w.GetItemText(ID_COMBO, 0), "Apple"); // sorted
            EXPECT_EQ(w.GetItemData(ID_COMBO, 1), 2u);
            EXPECT_EQ(w.GetCurSel(ID_CHOICE), 1);
            EXPECT_EQ(w.GetText(ID_CHOICE), "or");
            EXPECT_EQ(w.GetItemData(ID_LIST, 2), static_cast<std::uint32_t>('t'));
            EXPECT_FALSE(w.IsVisible(ID_PROGRESS));
            // Changed as the user would leave them.
            w.SetText(ID_NAME, "beta");
            w.SetPos(ID_SPIN, 70); // clamped to 50, written into the edit
            EXPECT_EQ(w.GetPos(ID_SPIN), 50);
            w.SetCheck(ID_FLAG, false);
            w.SetCheck(ID_RADIO_C, true);
            w.SetDate(ID_DATE, {2027, 2, 28});
            w.SetText(ID_COMBO, "plum");
            w.SetCurSel(ID_CHOICE, 2);
            w.SetCurSel(ID_LIST, 1);
            w.SetText(ID_NOTE, "line 1\r\nline 2");
            EXPECT_NE(w.GetText(ID_NOTE).find("line 2"), std::string::npos);
            // Lists: insert, delete, item data and selection keep together.
            EXPECT_EQ(w.InsertItem(ID_LIST, 0, "zero", 7), 0);
            EXPECT_EQ(w.GetCurSel(ID_LIST), 2);
            EXPECT_TRUE(w.DeleteItem(ID_LIST, 0));
            EXPECT_FALSE(w.DeleteItem(ID_LIST, 9));
            EXPECT_EQ(w.GetCount(ID_LIST), 3);
            // A progress bar reports its position within its range.
            w.Show(ID_PROGRESS, true);
            w.SetRange(ID_PROGRESS, 10, 20);
            w.SetPos(ID_PROGRESS, 15);
            EXPECT_EQ(w.GetPos(ID_PROGRESS), 15);
            EXPECT_TRUE(w.IsVisible(ID_PROGRESS));
            // Reads of a missing control are empty.
            EXPECT_EQ(w.GetText(4711), "");
            EXPECT_EQ(w.GetCurSel(4711), -1);
            dlg.SendCommand(IDOK, ENotify::Clicked);
        },
        nResult);
    EXPECT_EQ(nResult, static_cast<int>(IDOK));
    EXPECT_EQ(dlg.m_strName, "beta");
    EXPECT_EQ(dlg.m_nCount, 50);
    EXPECT_FALSE(dlg.m_bFlag);
    EXPECT_EQ(dlg.m_nRadio, 2);
    EXPECT_EQ(dlg.m_date, (CDateValue{2027, 2, 28}));
    EXPECT_EQ(dlg.m_strCombo, "plum");
    EXPECT_EQ(dlg.m_nChoice, 2);
    EXPECT_EQ(dlg.m_nList, 1);
}

TEST_F(WxControlsTest, RadioGroupLeftEmptyReadsEmptyAndRangeFailureKeepsOpen) {
    CControlsDlg dlg;
    dlg.m_nRadio = -1;
    dlg.m_nCount = 0; // outside 1 .. 50: OK shows the message and stays open
    int nResult = 0;
    bool bOpenAfterFailure = false;
    RunDriven(
        dlg,
        [&] {
            EXPECT_FALSE(dlg.GetWindow()->GetCheck(ID_RADIO_A));
            // The range message is a modal box: Enter answers it.
            wxTheApp->CallAfter([] {
                Settle();
                wxUIActionSimulator sim;
                sim.Char(WXK_RETURN);
                Settle();
            });
            dlg.SendCommand(IDOK, ENotify::Clicked);
            bOpenAfterFailure = dlg.GetWindow() != nullptr;
            EXPECT_EQ(dlg.GetWindow()->GetFocus(), static_cast<unsigned>(ID_COUNT));
            dlg.SetDlgItemText(ID_COUNT, "7");
            dlg.SendCommand(IDOK, ENotify::Clicked);
        },
        nResult);
    EXPECT_TRUE(bOpenAfterFailure);
    EXPECT_EQ(nResult, static_cast<int>(IDOK));
    EXPECT_EQ(dlg.m_nRadio, -1);
    EXPECT_EQ(dlg.m_nCount, 7);
}

} // namespace
