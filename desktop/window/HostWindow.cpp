#include "desktop/window/HostWindow.h"

#include "desktop/AppointmentText.h"
#include "desktop/CalendarDay.h"
#include "desktop/DatebookError.h"
#include "desktop/UnicodeText.h"
#include "platform/com/ComError.h"
#include "platform/dialogs/ModuleState.h"
#include "platform/dialogs/wx/WxSurface.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>
#include <wx/timer.h>
#include <wx/uilocale.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr int kExitUsage = 2;

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.c_str());
}

// The arguments after the program: --home DIR (or --home=DIR), then at most "window".
bool ParseWindowArguments(int argc, const char* const* argv, std::string& strHome) {
    int i = 1;
    if (i < argc && std::string_view(argv[i]) == "--home") {
        if (i + 1 >= argc)
            return false;
        strHome = argv[i + 1];
        i += 2;
    } else if (i < argc && std::string_view(argv[i]).starts_with("--home=")) {
        strHome = std::string_view(argv[i]).substr(7);
        ++i;
    }
    if (i < argc && std::string_view(argv[i]) == "window")
        ++i;
    return i == argc;
}

// Set by SIGINT or SIGTERM: the window closes as by its close box, so that the add-ins are
// told and let go.
volatile std::sig_atomic_t s_bStopAsked = 0;

extern "C" void AskStop(int) {
    s_bStopAsked = 1;
}

bool HasDisplay() {
    for (const char* pszName : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char* pszValue = std::getenv(pszName); pszValue && *pszValue)
            return true;
    return false;
}

class CHostFrame : public wxFrame {
public:
    explicit CHostFrame(CAddinHost& addins)
        : wxFrame(nullptr, wxID_ANY, "Datebook Desktop", wxDefaultPosition, wxSize(880, 480)),
          m_addins(addins) {
        m_pList = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                 wxLC_REPORT | wxLC_SINGLE_SEL);
        m_pList->InsertColumn(0, "Date", wxLIST_FORMAT_LEFT, 100);
        m_pList->InsertColumn(1, "Time", wxLIST_FORMAT_LEFT, 140);
        m_pList->InsertColumn(2, "Text", wxLIST_FORMAT_LEFT, 300);
        m_pList->InsertColumn(3, "Repeat", wxLIST_FORMAT_LEFT, 300);
        auto* pSizer = new wxBoxSizer(wxVERTICAL);
        pSizer->Add(m_pList, 1, wxEXPAND);
        SetSizer(pSizer);
        CreateStatusBar();
        BuildMenus();
        Bind(wxEVT_CLOSE_WINDOW, &CHostFrame::OnClose, this);
        m_stopWatch.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            if (s_bStopAsked && !m_bInCommand)
                Close(true);
        });
        m_stopWatch.Start(200);
        RefreshAppointments();
    }

    // The list again from the datebook, with the current user's name in the title; the user
    // menu follows the datebook's users.
    void RefreshAppointments() {
        if (m_pUsers)
            FillUsers();
        m_pList->DeleteAllItems();
        try {
            CDatebookStore store;
            const CDatebookUser user = store.CurrentUser();
            SetTitle(FromUtf8("Datebook Desktop - " + user.m_strName));
            long nRow = 0;
            for (const CStoredAppointment& a : store.ListAppointments(
                     user.m_nId, desktop::kFirstDatebookDay, desktop::kLastDatebookDay)) {
                const long nItem =
                    m_pList->InsertItem(nRow++, FromUtf8(desktop::FormatIsoDay(a.StartDay())));
                m_pList->SetItem(nItem, 1, FromUtf8(desktop::TimesText(a)));
                m_pList->SetItem(nItem, 2, FromUtf8(desktop::Escaped(a.m_strText)));
                m_pList->SetItem(nItem, 3, FromUtf8(desktop::RepeatSummary(a, false)));
            }
            SetStatusText(
                wxString::Format(nRow == 1 ? "%ld appointment" : "%ld appointments", nRow));
        } catch (const CDatebookError& e) {
            SetStatusText(FromUtf8(e.what()));
        }
    }

private:
    void BuildMenus() {
        auto* pBar = new wxMenuBar;
        auto* pFile = new wxMenu;
        m_pUsers = new wxMenu;
        pFile->AppendSubMenu(m_pUsers, "&User");
        pFile->Append(kHostMenuHotSync, "&HotSync\tCtrl+H");
        pFile->AppendSeparator();
        pFile->Append(wxID_EXIT, "E&xit");
        pBar->Append(pFile, "&File");

        auto* pAddins = new wxMenu;
        // The add-ins' bitmaps are PNG images.
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxImage::AddHandler(new wxPNGHandler);
        m_vecCommands = m_addins.MenuCommands();
        for (std::size_t i = 0; i < m_vecCommands.size(); ++i) {
            const CAddinCommand& command = m_vecCommands[i];
            const int nId = kHostMenuAddinBase + static_cast<int>(i);
            auto* pItem = new wxMenuItem(pAddins, nId, FromUtf8(command.m_strMenuText),
                                         FromUtf8(command.m_strDescription));
            if (!command.m_vecBitmap.empty()) {
                wxMemoryInputStream stream(command.m_vecBitmap.data(), command.m_vecBitmap.size());
                const wxImage image(stream, wxBITMAP_TYPE_PNG);
                if (image.IsOk())
                    pItem->SetBitmap(wxBitmap(image));
            }
            pAddins->Append(pItem);
            Bind(wxEVT_MENU, &CHostFrame::OnAddinCommand, this, nId);
        }
        if (m_vecCommands.empty())
            pAddins->Append(wxID_ANY, "(no add-ins)")->Enable(false);
        pBar->Append(pAddins, kAddinMenuTitle);
        SetMenuBar(pBar);

        Bind(wxEVT_MENU, &CHostFrame::OnHotSync, this, kHostMenuHotSync);
        Bind(
            wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_EXIT);
        Bind(wxEVT_MENU, &CHostFrame::OnSwitchUser, this, kHostMenuUserBase,
             kHostMenuAddinBase - 1);
        m_pUsers->Bind(wxEVT_MENU_OPEN, [this](wxMenuEvent& event) {
            FillUsers();
            event.Skip();
        });
        FillUsers();
    }

    void FillUsers() {
        while (m_pUsers->GetMenuItemCount() > 0)
            m_pUsers->Destroy(m_pUsers->FindItemByPosition(0));
        try {
            CDatebookStore store;
            const CDatebookUser current = store.CurrentUser();
            m_vecUserIds.clear();
            for (const CDatebookUser& user : store.ListUsers()) {
                const int nId = kHostMenuUserBase + static_cast<int>(m_vecUserIds.size());
                m_pUsers->AppendRadioItem(nId, FromUtf8(user.m_strName))
                    ->Check(user.m_nId == current.m_nId);
                m_vecUserIds.push_back(user.m_nId);
            }
        } catch (const CDatebookError& e) {
            SetStatusText(FromUtf8(e.what()));
        }
    }

    void OnSwitchUser(wxCommandEvent& event) {
        const std::size_t nIndex = static_cast<std::size_t>(event.GetId() - kHostMenuUserBase);
        if (nIndex >= m_vecUserIds.size())
            return;
        try {
            CDatebookStore store;
            store.SetCurrentUser(m_vecUserIds[nIndex]);
        } catch (const CDatebookError& e) {
            wxMessageBox(FromUtf8(e.what()), "Datebook Desktop", wxOK | wxICON_ERROR, this);
        }
        RefreshAppointments();
    }

    void OnHotSync(wxCommandEvent&) {
        try {
            CDatebookStore store;
            const CHotSyncResult result = store.HotSync(store.CurrentUser().m_nId);
            RefreshAppointments();
            SetStatusText(wxString::Format("HotSync: %d archived, %d removed", result.m_nArchived,
                                           result.m_nPurged));
        } catch (const CDatebookError& e) {
            wxMessageBox(FromUtf8(e.what()), "Datebook Desktop", wxOK | wxICON_ERROR, this);
        }
    }

    void OnAddinCommand(wxCommandEvent& event) {
        const std::size_t nIndex = static_cast<std::size_t>(event.GetId() - kHostMenuAddinBase);
        if (nIndex >= m_vecCommands.size())
            return;
        std::string strStoreFailure;
        HRESULT hr = E_FAIL;
        std::string strError;
        m_bInCommand = true;
        try {
            hr = m_addins.RunCommand(m_vecCommands[nIndex].m_lId, strStoreFailure);
        } catch (const std::exception& e) {
            // An add-in's own failure must not take the host down.
            strError = e.what();
        }
        m_bInCommand = false;
        if (!strError.empty() || FAILED(hr))
            wxMessageBox(FromUtf8("The add-in command failed: " +
                                  (strError.empty() ? CComError::ErrorMessageFor(hr) : strError)),
                         "Datebook Desktop", wxOK | wxICON_ERROR, this);
        if (!strStoreFailure.empty())
            wxMessageBox(FromUtf8(strStoreFailure), "Datebook Desktop", wxOK | wxICON_ERROR, this);
        RefreshAppointments();
    }

    void OnClose(wxCloseEvent& event) {
        if (m_bInCommand && event.CanVeto()) {
            event.Veto();
            return;
        }
        m_stopWatch.Stop();
        m_vecCommands.clear();
        event.Skip();
    }

    CAddinHost& m_addins;
    wxListCtrl* m_pList = nullptr;
    wxMenu* m_pUsers = nullptr;
    std::vector<CAddinCommand> m_vecCommands;
    std::vector<std::int64_t> m_vecUserIds;
    wxTimer m_stopWatch;
    bool m_bInCommand = false; // an add-in command (and its modal dialog) is running
};

std::span<const unsigned char> FindCurrentModuleImage(unsigned nId, int nSize) {
    return FindModuleImage(nId, nSize);
}

} // namespace

bool IsHostWindowCommand(int argc, const char* const* argv) {
    std::string strHome;
    return ParseWindowArguments(argc, argv, strHome);
}

wxFrame* CreateHostWindow(CAddinHost& addins) {
    auto* pFrame = new CHostFrame(addins);
    pFrame->Show();
    return pFrame;
}

int RunHostWindow(int argc, char** argv, std::ostream& err) {
    std::string strHome;
    if (!ParseWindowArguments(argc, argv, strHome)) {
        err << "datebook-desktop: Usage: datebook-desktop [--home DIR] [window]\n";
        return kExitUsage;
    }
    if (!HasDisplay()) {
        err << "datebook-desktop: No display to open the window on (DISPLAY is not set). The "
               "commands work without one: datebook-desktop --help.\n";
        return kExitUsage;
    }
    EnsurePlatformSetup();
    std::signal(SIGINT, &AskStop);
    std::signal(SIGTERM, &AskStop);

    int nArgc = 1;
    char* args[] = {argv[0], nullptr};
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(nArgc, args) || !wxTheApp->CallOnInit()) {
        err << "datebook-desktop: The display cannot be opened.\n";
        return kExitUsage;
    }
    wxUILocale::UseDefault();
    int nResult = 0;
    {
        CWxSurface surface(&FindCurrentModuleImage);
        SetDialogSurface(&surface);
        RegisterWxHelpViewer();
        try {
            CAddinHost addins(OpenDesktopHost());
            std::vector<std::string> problems;
            addins.LoadAddins(problems);
            for (const std::string& problem : problems)
                err << "datebook-desktop: " << problem << '\n';
            wxFrame* pFrame = CreateHostWindow(addins);
            wxTheApp->SetTopWindow(pFrame);
            nResult = wxTheApp->OnRun();
            addins.Unload();
        } catch (const CDatebookError& e) {
            err << "datebook-desktop: " << e.what() << '\n';
            nResult = 1;
        }
        SetDialogSurface(nullptr);
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nResult;
}
