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
#include "res/Resource.h"
#include "settings/Options.h"
#include "tests/dialogs_wx/WxTestSupport.h"
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
#include <filesystem>
#include <string>

namespace {

const std::string kAddinModulePath = VARNO_ADDIN_MODULE;
const std::string kAddinManagerPath = VARNO_ADDIN_MANAGER;

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

// Picks a menu command of the window as the menu does.
void Pick(wxFrame* pFrame, int nId) {
    wxCommandEvent event(wxEVT_MENU, nId);
    event.SetEventObject(pFrame);
    pFrame->GetEventHandler()->ProcessEvent(event);
    Settle();
}

// "VARNO" picked from the menu: the main dialog opens on the host's current user, runs one
// operation through the system's file dialog (it opens on the last file: Enter takes it)
// and is closed with its Close button.
void RunVarno(wxFrame* pFrame, unsigned nOperation) {
    CLater drive(1000, [nOperation] {
        Settle();
        CLater accept(2500, [] { PressKey(WXK_RETURN); });
        ClickOn(nOperation);
        ClickOn(IDC_CLOSE);
    });
    // A step that went wrong leaves a dialog open: Escape closes the dialog on top and then
    // the main dialog, so that the run never hangs.
    CLater watchdog(40000, [] {
        ADD_FAILURE() << "the main dialog did not close";
        PressKey(WXK_ESCAPE);
        PressKey(WXK_ESCAPE);
    });
    Pick(pFrame, kHostMenuAddinBase);
}

// Closes the window however the test ends, so that no command object outlives it.
class CFrameCloser {
public:
    explicit CFrameCloser(wxFrame* pFrame) : m_pFrame(pFrame) {}
    ~CFrameCloser() {
        m_pFrame->Close(true);
        Settle();
    }
    CFrameCloser(const CFrameCloser&) = delete;
    CFrameCloser& operator=(const CFrameCloser&) = delete;

private:
    wxFrame* m_pFrame;
};

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
    const CFrameCloser closer(pFrame);
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
    {
        CLater close(1000, [] { ClickOn(IDC_CLOSE); });
        Pick(pFrame, kHostMenuAddinBase);
    }
    EXPECT_EQ(pList->GetItemCount(), 2);
}

TEST_F(WxHostWindowTest, VarnoExportsAndImportsAndTheListFollows) {
    AddAppointment("Dentist", 1796547600);
    {
        CDatebookStore store;
        static_cast<void>(store.AddUser("Second User"));
    }
    const std::string strFile = Home() + "/host-export.csv";
    {
        COptions options;
        options.Load();
        options.m_strLastFile = strFile;
        options.Save();
    }
    CAddinHost addins(OpenDesktopHost());
    std::vector<std::string> problems;
    addins.LoadAddins(problems);
    wxFrame* pFrame = CreateHostWindow(addins);
    const CFrameCloser closer(pFrame);
    Settle();
    wxListCtrl* pList = ListOf(pFrame);
    ASSERT_NE(pList, nullptr);

    RunVarno(pFrame, IDC_EXPORT);
    ASSERT_TRUE(std::filesystem::exists(strFile));
    EXPECT_NE(ReadFileBytes(strFile).find("Dentist"), std::string::npos) << ReadFileBytes(strFile);
    EXPECT_EQ(pList->GetItemCount(), 1);

    // Into another user's empty datebook: the list shows what the import added.
    Pick(pFrame, kHostMenuUserBase + 1);
    ASSERT_EQ(pList->GetItemCount(), 0);
    RunVarno(pFrame, IDC_IMPORT);
    ASSERT_EQ(pList->GetItemCount(), 1);
    EXPECT_EQ(pList->GetItemText(0, 2), "Dentist");
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
    const CFrameCloser closer(pFrame);
    Settle();
    wxListCtrl* pList = ListOf(pFrame);
    ASSERT_NE(pList, nullptr);
    const auto pick = [pFrame](int nId) { Pick(pFrame, nId); };

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
}

} // namespace
