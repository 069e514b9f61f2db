// The host window under Xvfb with the add-in registered: the current user's appointments,
// the add-in's menu entry with its bitmap, the command run from the menu and the list
// refreshed after it. With VARNO_SCREENSHOT_DIR set, a PNG of the window with the add-in
// menu open is written there.
#include "desktop/window/HostWindow.h"
#include "desktop/AddinHost.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopSetup.h"
#include "platform/dialogs/ModuleState.h"
#include "platform/dialogs/wx/WxSurface.h"
#include "tests/support/ModuleTestSupport.h"
#include "tests/support/TestEnv.h"

#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const std::string kAddinModulePath = VARNO_ADDIN_MODULE;
const std::string kAddinManagerPath = VARNO_ADDIN_MANAGER;

void Settle() {
    for (int i = 0; i < 10; ++i) {
        wxYield();
        wxMilliSleep(10);
    }
}

void AddAppointment(const std::string& strText, HOSTTIME tStart) {
    CDatebookStore store;
    CStoredAppointment appointment;
    appointment.m_tStart = tStart;
    appointment.m_tEnd = tStart + 3600;
    appointment.m_strText = std::u16string(strText.begin(), strText.end());
    static_cast<void>(store.AddAppointment(store.CurrentUser().m_nId, appointment));
}

wxListCtrl* ListOf(wxFrame* pFrame) {
    for (wxWindow* pChild : pFrame->GetChildren())
        if (auto* pList = wxDynamicCast(pChild, wxListCtrl))
            return pList;
    return nullptr;
}

// The screen as the X server holds it, cut to the window (ImageMagick's import).
void Screenshot(wxFrame* pFrame, const std::string& strName) {
    const char* pszDir = std::getenv("VARNO_SCREENSHOT_DIR");
    if (!pszDir)
        return;
    const wxRect rc = pFrame->GetScreenRect();
    const std::string strPath = std::string(pszDir) + "/" + strName + ".png";
    const wxString command = wxString::Format("import -window root -crop %dx%d+%d+%d +repage %s",
                                              rc.width, rc.height, rc.x, rc.y, strPath);
    EXPECT_EQ(wxExecute(command, wxEXEC_SYNC | wxEXEC_NODISABLE), 0) << command;
}

class WxHostWindowTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
        ASSERT_EQ(RegisterAddinManager(kAddinManagerPath), S_OK);
        ASSERT_EQ(CallModuleEntry(kAddinModulePath, kDllRegisterServer), S_OK);
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsServerModuleLoaded(kAddinModulePath));
        CVarnoTest::TearDown();
    }

    CWxSurface m_surface{[](unsigned nId, int nSize) { return FindModuleImage(nId, nSize); }};
};

TEST_F(WxHostWindowTest, ShowsTheAddinMenuRunsTheCommandAndRefreshes) {
    AddAppointment("Dentist", 1796547600); // 2026-12-06 10:00 in Berlin
    CAddinHost addins(OpenDesktopHost());
    std::vector<std::string> problems;
    addins.LoadAddins(problems);
    EXPECT_TRUE(problems.empty());
    wxFrame* pFrame = CreateHostWindow(addins);
    pFrame->SetPosition(wxPoint(0, 0));
    Settle();

    wxListCtrl* pList = ListOf(pFrame);
    ASSERT_NE(pList, nullptr);
    ASSERT_EQ(pList->GetItemCount(), 1);
    EXPECT_EQ(pList->GetItemText(0, 2), "Dentist");

    wxMenuBar* pBar = pFrame->GetMenuBar();
    ASSERT_NE(pBar, nullptr);
    const int nMenu = pBar->FindMenu("Add-ins");
    ASSERT_NE(nMenu, wxNOT_FOUND);
    wxMenuItem* pItem = pBar->GetMenu(static_cast<size_t>(nMenu))->FindItem(kHostMenuAddinBase);
    ASSERT_NE(pItem, nullptr);
    EXPECT_EQ(pItem->GetItemLabelText(), "VARNO");
    EXPECT_EQ(pItem->GetHelp(), "Datebook Import/Export in a variety of formats");
    EXPECT_TRUE(pItem->GetBitmap().IsOk());

    // The menu opened by a click on its title, the second of the bar: past "File" and the
    // gaps around it, in the middle of "Add-ins".
    {
        const wxRect rcBar = pBar->GetScreenRect();
        const int nGap = 8;
        const int x = rcBar.x + nGap + pBar->GetTextExtent("File").x + 2 * nGap +
                      pBar->GetTextExtent("Add-ins").x / 2;
        wxUIActionSimulator sim;
        sim.MouseMove(x, rcBar.y + rcBar.height / 2);
        Settle();
        sim.MouseClick();
        for (int i = 0; i < 5; ++i)
            Settle();
        Screenshot(pFrame, "host-window-addin-menu");
        sim.Char(WXK_ESCAPE);
        sim.Char(WXK_ESCAPE);
        Settle();
    }

    // Picking the entry runs the command; the list shows what the datebook holds afterwards.
    AddAppointment("Team meeting", 1796634000);
    wxCommandEvent pick(wxEVT_MENU, kHostMenuAddinBase);
    pick.SetEventObject(pFrame);
    pFrame->GetEventHandler()->ProcessEvent(pick);
    Settle();
    EXPECT_EQ(pList->GetItemCount(), 2);

    pFrame->Close(true);
    Settle();
    addins.Unload();
}

TEST_F(WxHostWindowTest, SwitchesUsersAndRunsTheHotSync) {
    AddAppointment("Dentist", 1796547600);
    LONG nMarked = 0;
    {
        CDatebookStore store;
        const std::vector<CStoredAppointment> appointments =
            store.ListAppointments(store.CurrentUser().m_nId, 0, 1000000);
        ASSERT_EQ(appointments.size(), 1u);
        nMarked = appointments[0].m_nRecordId;
        static_cast<void>(store.AddUser("Second User"));
    }
    CAddinHost addins(OpenDesktopHost());
    wxFrame* pFrame = CreateHostWindow(addins);
    Settle();
    wxListCtrl* pList = ListOf(pFrame);
    ASSERT_NE(pList, nullptr);
    const auto pick = [&](int nId) {
        wxCommandEvent event(wxEVT_MENU, nId);
        event.SetEventObject(pFrame);
        pFrame->GetEventHandler()->ProcessEvent(event);
        Settle();
    };

    pick(kHostMenuUserBase + 1); // users are listed in the order they were made
    EXPECT_EQ(pList->GetItemCount(), 0);
    EXPECT_TRUE(pFrame->GetTitle().EndsWith("Second User")) << pFrame->GetTitle();
    pick(kHostMenuUserBase);
    EXPECT_EQ(pList->GetItemCount(), 1);

    {
        CDatebookStore store;
        store.Delete(nMarked, true);
    }
    pick(kHostMenuHotSync);
    EXPECT_EQ(pList->GetItemCount(), 0);
    EXPECT_EQ(pFrame->GetStatusBar()->GetStatusText(), "HotSync: 1 archived, 0 removed");

    pFrame->Close(true);
    Settle();
}

} // namespace
