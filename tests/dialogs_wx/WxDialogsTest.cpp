// The wx surface under Xvfb: every dialog template opens with no overlapping, clipped or
// outlying controls and closes by simulated keys and clicks with the right result. With
// VARNO_SCREENSHOT_DIR set, a PNG of every dialog is written there.
#include "desktop/DesktopHost.h"
#include "platform/dialogs/Dialog.h"
#include "platform/dialogs/wx/WxSurface.h"
#include "platform/shell/HelpViewer.h"
#include "res/DialogTemplates.h"
#include "res/ImageResources.h"
#include "res/Resource.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"
#include "tests/dialogs_wx/WxTestSupport.h"
#include "tests/engine/OperationsTestSupport.h"
#include "tests/support/TestEnv.h"
#include "ui/AboutDlg.h"
#include "ui/ArchiveDlg.h"
#include "ui/ExampleDlg.h"
#include "ui/ImageButton.h"
#include "ui/OptionsDlg.h"
#include "ui/SavedOptionsDlg.h"
#include "ui/SavedOptionsTitleDlg.h"
#include "ui/VARNODlg.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <gtest/gtest.h>

#include <csignal>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Runs fn once the dialog is up, and ends a dialog that the steps leave open after a
// while so that a failing step never hangs the run.
class CDriver {
public:
    CDriver(CDialog& dialog, std::function<void()> fn) : m_dialog(dialog), m_fn(std::move(fn)) {
        m_start.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            Settle();
            m_fn();
        });
        m_watchdog.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            ADD_FAILURE() << "the dialog did not close";
            m_dialog.EndDialog(-1);
        });
        m_start.StartOnce(200);
        m_watchdog.StartOnce(15000);
    }

private:
    CDialog& m_dialog;
    std::function<void()> m_fn;
    wxTimer m_start;
    wxTimer m_watchdog;
};

// A dialog straight from its template, with the main dialog's menu and accelerators
// when it is the main dialog.
class CPlainDlg : public CDialog {
public:
    explicit CPlainDlg(unsigned nTemplate) : CDialog(GetDialogTemplate(nTemplate)) {}
    std::vector<unsigned> m_vecCommands;

protected:
    bool OnInitDialog() override {
        if (GetTemplate().m_nId == IDD_MAIN) {
            SetMenu(CMenu(GetMainMenuTemplate()));
            LoadAccelerators(GetMainAccelerators());
            GetWindow()->SetIcon(IDI_MAIN);
            m_import.SetIcon(IDI_IMPORT, 32, 32);
            m_export.SetIcon(IDI_EXPORT, 32, 32);
            m_options.SetIcon(IDI_OPTIONS, 32, 32);
            SubclassControl(IDC_IMPORT, m_import);
            SubclassControl(IDC_EXPORT, m_export);
            SubclassControl(IDC_OPTIONS, m_options);
            GetDlgItem(IDC_USER_NAME).SetText("Jane Example");
            GetDlgItem(IDC_STATUS).SetText("12 appointments between 02.12.2026 and 05.01.2027");
            GetDlgItem(IDC_FILTER_TYPE1).AddString("text contains");
            GetDlgItem(IDC_FILTER_TYPE1).SetCurSel(0);
        }
        if (GetTemplate().m_nId == IDD_OPTIONS) {
            m_remove.SetIcon(IDI_REMOVE_FIELD, 16, 16);
            SubclassControl(IDC_REMOVE_FIELD, m_remove);
            for (const char* psz : {"Date", "Start Time", "End Time", "Text", "Note"})
                GetDlgItem(IDC_SIMPLE_FIELDS).AddString(psz);
        }
        return CDialog::OnInitDialog();
    }
    bool OnCommand(unsigned nId, ENotify code) override {
        if (code == ENotify::Menu || code == ENotify::Accelerator || code == ENotify::Clicked)
            m_vecCommands.push_back(nId);
        return CDialog::OnCommand(nId, code);
    }

private:
    CImageButton m_import;
    CImageButton m_export;
    CImageButton m_options;
    CImageButton m_remove;
};

class WxDialogsTest : public CVarnoTest {
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

// Controls of the template that show text and must show all of it.
bool ShowsText(const CControlTemplate& control) {
    switch (control.m_kind) {
    case EControlKind::Static:
        return control.m_rc.cy <= 10 && control.m_pszText && *control.m_pszText;
    case EControlKind::CheckBox:
    case EControlKind::Radio:
    case EControlKind::PushButton:
    case EControlKind::DefPushButton:
        return true;
    default:
        return false;
    }
}

bool Contains(const wxRect& outer, const wxRect& inner) {
    return outer.Contains(inner.GetTopLeft()) && outer.Contains(inner.GetBottomRight());
}

// Checks the laid-out dialog and writes its screenshot when asked to, named after the
// template and the suffix. Hidden controls take no room.
void CheckLayout(CDialog& dialog, const std::string& strSuffix = {}) {
    const CDialogTemplate& tmpl = dialog.GetTemplate();
    const CRect client = dialog.GetWindow()->GetClientRect();
    struct CPlaced {
        const CControlTemplate* m_pTemplate;
        wxRect m_rc;
    };
    std::vector<CPlaced> placed;
    wxWindow* pAny = nullptr;
    for (const CControlTemplate& control : tmpl.m_controls) {
        if (control.m_nId == IDC_STATIC)
            continue;
        wxWindow* pWindow = WindowOf(control.m_nId);
        ASSERT_NE(pWindow, nullptr) << control.m_nId;
        pAny = pWindow;
        if (!pWindow->IsShown() && !(control.m_nStyle & CS_HIDDEN))
            continue;
        const wxRect rc = pWindow->GetRect();
        EXPECT_LE(rc.GetRight(), client.cx) << tmpl.m_nId << " control " << control.m_nId;
        EXPECT_LE(rc.GetBottom(), client.cy) << tmpl.m_nId << " control " << control.m_nId;
        if (ShowsText(control)) {
            EXPECT_LE(pWindow->GetBestSize().x, rc.width + 2)
                << tmpl.m_nId << " control " << control.m_nId << " clips its text";
        }
        if (control.m_kind != EControlKind::GroupBox)
            placed.push_back({&control, rc});
    }
    // Labels without ids: found among the panel's children.
    if (pAny) {
        for (wxWindow* pChild : pAny->GetParent()->GetChildren()) {
            if (ProgramIdFromWxId(pChild->GetId()) != 0)
                continue;
            const wxRect rc = pChild->GetRect();
            EXPECT_LE(rc.GetRight(), client.cx) << tmpl.m_nId << " " << pChild->GetLabel();
            EXPECT_LE(rc.GetBottom(), client.cy) << tmpl.m_nId << " " << pChild->GetLabel();
            if (!pChild->IsKindOf(wxCLASSINFO(wxStaticBox))) {
                placed.push_back({nullptr, rc});
                if (pChild->IsKindOf(wxCLASSINFO(wxStaticText)) && pChild->GetSize().y < 25) {
                    EXPECT_LE(pChild->GetBestSize().x, rc.width + 2)
                        << tmpl.m_nId << " label " << pChild->GetLabel() << " clips its text";
                }
            }
        }
    }
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            EXPECT_FALSE(placed[i].m_rc.Intersects(placed[j].m_rc) &&
                         !Contains(placed[i].m_rc, placed[j].m_rc) &&
                         !Contains(placed[j].m_rc, placed[i].m_rc))
                << tmpl.m_nId << ": " << (placed[i].m_pTemplate ? placed[i].m_pTemplate->m_nId : 0)
                << " overlaps " << (placed[j].m_pTemplate ? placed[j].m_pTemplate->m_nId : 0);
        }
    }
    const char* pszDir = std::getenv("VARNO_SCREENSHOT_DIR");
    if (!pszDir || !pAny)
        return;
    wxWindow* pFrame = wxGetTopLevelParent(pAny);
    pFrame->Raise();
    pFrame->Refresh();
    pFrame->Update();
    for (int i = 0; i < 5; ++i)
        Settle();
    // The screen as the X server holds it, cut to the dialog (ImageMagick's import).
    const wxRect rc = pFrame->GetScreenRect();
    const std::string strPath =
        std::string(pszDir) + "/dialog" + std::to_string(tmpl.m_nId) + strSuffix + ".png";
    const wxString command = wxString::Format("import -window root -crop %dx%d+%d+%d +repage %s",
                                              rc.width, rc.height, rc.x, rc.y, strPath);
    EXPECT_EQ(wxExecute(command, wxEXEC_SYNC | wxEXEC_NODISABLE), 0) << command;
}

TEST_F(WxDialogsTest, EveryTemplateLaysOutAndCancelsWithEscape) {
    for (const CDialogTemplate& tmpl : AllDialogTemplates()) {
        SCOPED_TRACE(tmpl.m_nId);
        CPlainDlg dlg(tmpl.m_nId);
        CDriver driver(dlg, [&] {
            CheckLayout(dlg);
            PressKey(WXK_ESCAPE);
        });
        EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    }
}

TEST_F(WxDialogsTest, MainTemplateMenuAcceleratorAndCloseButton) {
    CPlainDlg dlg(IDD_MAIN);
    CDriver driver(dlg, [&] {
        PressKey('O', wxMOD_CONTROL);
        ClickOn(IDC_CLOSE);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(dlg.m_vecCommands, (std::vector<unsigned>{IDC_OPTIONS, IDC_CLOSE}));
}

TEST_F(WxDialogsTest, AboutClosesWithOkClickAndShowsVersion) {
    CAboutDlg dlg;
    std::string strVersion;
    CDriver driver(dlg, [&] {
        strVersion = dlg.GetDlgItemText(IDC_ABOUT_VERSION);
        ClickOn(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(strVersion, CAboutDlg::VersionText());
}

TEST_F(WxDialogsTest, ExampleFollowsItsSizeAndClosesWithEnter) {
    COptions options;
    CExampleDlg dlg(options);
    CDriver driver(dlg, [&] {
        const CRect rcEdit = dlg.GetDlgItem(IDC_EXAMPLE_TEXT).GetRect();
        dlg.GetWindow()->SetClientSize(1000, 300);
        Settle();
        const CRect rcOk = dlg.GetDlgItem(IDOK).GetRect();
        EXPECT_EQ(dlg.GetDlgItem(IDC_EXAMPLE_TEXT).GetRect().cx, 1000 - 3 * rcEdit.x);
        EXPECT_EQ(rcOk.x, (1000 - rcOk.cx) / 2);
        EXPECT_NE(dlg.GetDlgItemText(IDC_EXAMPLE_TEXT).find("Sample Appointment Title"),
                  std::string::npos);
        PressKey(WXK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
}

TEST_F(WxDialogsTest, HelpViewerReadsPopupsFromTheBuiltBook) {
    RegisterWxHelpViewer();
    ResetHelpViewer();
    const std::string strHelp = std::string(VARNO_BINARY_DIR) + "/VARNOAddIn.chm";
    for (const CHelpTopic& topic : GetOptionsHelpTopics()) {
        EXPECT_TRUE(HtmlHelp(strHelp + kOptionsPopupFile, HH_TP_HELP_WM_HELP, topic.m_nControlId,
                             GetOptionsHelpTopics()))
            << topic.m_nControlId;
    }
    EXPECT_FALSE(HtmlHelp(strHelp + kOptionsPopupFile, HH_TP_HELP_CONTEXTMENU, 4711,
                          GetOptionsHelpTopics()));
    // A book that is not there shows nothing.
    EXPECT_FALSE(HtmlHelp(std::string(VARNO_BINARY_DIR) + "/missing.chm", HH_DISPLAY_TOPIC));
    RegisterHelpViewerLoader(nullptr);
    ResetHelpViewer();
}

class CHelpDlg : public CPlainDlg {
public:
    CHelpDlg() : CPlainDlg(IDD_OPTIONS) {}
    std::vector<unsigned> m_vecHelp;

protected:
    void OnHelp(unsigned nControlId) override { m_vecHelp.push_back(nControlId); }
};

TEST_F(WxDialogsTest, F1AsksHelpForTheFocusedControl) {
    CHelpDlg dlg;
    CDriver driver(dlg, [&] {
        for (const unsigned nId : {IDC_SEPARATOR, IDC_QUOTE}) {
            WindowOf(nId)->SetFocus();
            Settle();
            PressKey(WXK_F1);
        }
        PressKey(WXK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    EXPECT_EQ(dlg.m_vecHelp, (std::vector<unsigned>{IDC_SEPARATOR, IDC_QUOTE}));
}

// The options, archive, saved-options and title dialogs with content: laid out without
// overlaps or clipping, and photographed for make screenshots.
TEST_F(WxDialogsTest, EveryTemplateOfTheOptionDialogsWithContent) {
    COptions options;
    CComPtr<IDispatch> pHost = OpenDesktopHost({});
    options.SetHostApplication(pHost.Get());
    {
        CDatebookStore store;
        const std::int64_t nUser = store.CurrentUser().m_nId;
        store.AddAppointment(nUser, optest::Untimed("2026-11-01", "Dentist"));
        store.AddAppointment(nUser, optest::Timed("2026-11-20", 9, 0, 10, 0, "Team meeting"));
    }
    for (const char* pszTitle : {"Excel export", "Import from Jo", "Weekly"})
        CSavedOptions::Store(options, CSavedOptions::GetCount(), pszTitle);
    options.m_strSeparator = "|";
    options.m_nMinSize = 1000;
    COptionsDlg optionsDlg(options);
    CArchiveDlg archiveDlg(options);
    CSavedOptionsDlg savedDlg(options);
    CSavedOptionsTitleDlg titleDlg;
    titleDlg.SetTitle("Weekly");
    for (CDialog* pDlg :
         std::initializer_list<CDialog*>{&optionsDlg, &archiveDlg, &savedDlg, &titleDlg}) {
        SCOPED_TRACE(pDlg->GetTemplate().m_nId);
        CDriver driver(*pDlg, [&] {
            CheckLayout(*pDlg);
            PressKey(WXK_ESCAPE);
        });
        EXPECT_EQ(pDlg->DoModal(), static_cast<int>(IDCANCEL));
    }
    EXPECT_EQ(options.m_nMinSize, 1000);
}

// Answers the next modal window (a popup menu or a message box) with keys once it is up:
// a timer fires in whatever loop runs then, the popup menu's own included.
class CKeyAnswer {
public:
    explicit CKeyAnswer(std::vector<int> keys) : m_vecKeys(std::move(keys)) {
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            wxUIActionSimulator sim;
            for (const int nKey : m_vecKeys) {
                sim.Char(nKey);
                Settle();
            }
        });
        m_timer.StartOnce(500);
    }

private:
    std::vector<int> m_vecKeys;
    wxTimer m_timer;
};

void TypeInto(unsigned nId, const char* pszText) {
    auto* pText = dynamic_cast<wxTextCtrl*>(WindowOf(nId));
    ASSERT_NE(pText, nullptr);
    pText->SetFocus();
    pText->SelectAll();
    Settle();
    wxUIActionSimulator sim;
    sim.Text(pszText);
    Settle();
}

TEST_F(WxDialogsTest, OptionsDrivenByMouseAndKeys) {
    COptions options;
    options.m_bFullFormat = 1;
    options.m_strExceptionDateSeparator = "/";
    const std::vector<unsigned> defaults = options.m_layout.GetSimpleFields();
    COptionsDlg dlg(options);
    bool bPickersAtFirst = true;
    bool bPickersAfterClick = false;
    bool bRepeatAfterClick = true;
    bool bOpenAfterBadSeparator = false;
    int nRemovedAt = -1;
    CDriver driver(dlg, [&] {
        bPickersAtFirst = WindowOf(IDC_EXPORT_FROM)->IsEnabled();
        ClickOn(IDC_SIMPLE_FORMAT);
        bPickersAfterClick = WindowOf(IDC_EXPORT_FROM)->IsEnabled();
        bRepeatAfterClick = WindowOf(IDC_REPEAT_FIELDS)->IsEnabled();
        TypeInto(IDC_SEPARATOR, ",");
        // Delete removes the selected field of the simple list.
        ClickOn(IDC_SIMPLE_FIELDS);
        nRemovedAt = dynamic_cast<wxListBox*>(WindowOf(IDC_SIMPLE_FIELDS))->GetSelection();
        PressKey(WXK_DELETE);
        // The first field the menu offers is the one removed.
        CKeyAnswer menuKeys({WXK_DOWN, WXK_RETURN});
        ClickOn(IDC_ADD_FIELD);
        // A two-character exception separator: the message, answered with Enter, and the
        // dialog stays open.
        TypeInto(IDC_EXCEPTION_SEPARATOR, "ab");
        CKeyAnswer messageKeys({WXK_RETURN});
        ClickOn(IDOK);
        bOpenAfterBadSeparator = dlg.IsOpen();
        TypeInto(IDC_EXCEPTION_SEPARATOR, "-");
        ClickOn(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_FALSE(bPickersAtFirst);
    EXPECT_TRUE(bPickersAfterClick);
    EXPECT_FALSE(bRepeatAfterClick);
    EXPECT_TRUE(bOpenAfterBadSeparator);
    EXPECT_EQ(options.m_bFullFormat, 0);
    EXPECT_EQ(options.m_strSeparator, ",");
    EXPECT_EQ(options.m_strExceptionDateSeparator, "-");
    ASSERT_GE(nRemovedAt, 0);
    std::vector<unsigned> expected = defaults;
    const unsigned nRemoved = expected[static_cast<std::size_t>(nRemovedAt)];
    expected.erase(expected.begin() + nRemovedAt);
    expected.push_back(nRemoved);
    EXPECT_EQ(options.m_layout.GetSimpleFields(), expected);
}

class WxMainDlgTest : public WxDialogsTest {
protected:
    void SetUp() override {
        WxDialogsTest::SetUp();
        m_pHost = OpenDesktopHost();
        m_options.SetHostApplication(m_pHost.Get());
    }
    void TearDown() override {
        m_options.SetHostApplication(nullptr);
        m_pHost = nullptr;
        WxDialogsTest::TearDown();
    }
    void SetRows(int nRows) {
        CRecordFilter filter;
        for (int i = 0; i < nRows; ++i)
            filter.AddRow();
        for (int i = 0; i < nRows; ++i)
            filter.SetRow(i, i % 9, "row " + std::to_string(i + 1), i % 2);
        m_options.m_filter = filter;
    }

    CComPtr<IDispatch> m_pHost;
    COptions m_options;
};

// Named for the screenshots target: the main dialog with one and with five filter rows.
TEST_F(WxMainDlgTest, EveryTemplateMainDialogWithOneAndFiveRows) {
    int nHeightOne = 0;
    for (const int nRows : {1, 5}) {
        SCOPED_TRACE(nRows);
        SetRows(nRows);
        CVARNODlg dlg(&m_options);
        CDriver driver(dlg, [&] {
            CheckLayout(dlg, "-rows" + std::to_string(nRows));
            const CRect rcStatus = dlg.GetDlgItem(IDC_STATUS).GetRect();
            const CRect rcLast =
                dlg.GetDlgItem(nRows == 1 ? IDC_FILTER_TEXT1 : IDC_FILTER_TEXT5).GetRect();
            EXPECT_GT(rcStatus.y, rcLast.Bottom());
            EXPECT_EQ(dlg.GetDlgItem(IDC_FILTER_TYPE5).IsVisible(), nRows == 5);
            const int nHeight = dlg.GetWindow()->GetClientRect().cy;
            if (nRows == 1)
                nHeightOne = nHeight;
            else
                EXPECT_GT(nHeight, nHeightOne);
            EXPECT_LE(dlg.GetDlgItem(IDC_CLOSE).GetRect().Bottom(), nHeight);
            PressKey(WXK_ESCAPE);
        });
        EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDCANCEL));
    }
}

// A control of the shown top-level window with that title; ids repeat across dialogs.
wxWindow* WindowIn(const wxString& title, unsigned nId) {
    for (wxWindow* pTop : wxTopLevelWindows) {
        if (pTop->IsShown() && pTop->GetLabel() == title)
            return pTop->FindWindow(WxIdFromProgramId(nId));
    }
    return nullptr;
}

void ClickWindow(wxWindow* pWindow) {
    ASSERT_NE(pWindow, nullptr);
    wxUIActionSimulator sim;
    sim.MouseMove(pWindow->GetScreenRect().GetPosition() + pWindow->GetSize() / 2);
    Settle();
    sim.MouseClick();
    Settle();
}

// As varno dialog runs it: the command on the host; Options, where the separator is
// changed and OK clicked; an export through the system's file dialog; Close. The options
// are saved and the file is written with the new separator.
TEST_F(WxMainDlgTest, CommandChangesTheSeparatorExportsAndCloses) {
    const std::string strFile = Home() + "/wx-export.csv";
    m_options.m_strLastFile = strFile;
    m_options.m_strSeparator = ";";
    m_options.Save();
    CLater drive(1000, [&] {
        Settle();
        {
            CLater options(1500, [] {
                wxWindow* pSeparator = WindowIn("Options", IDC_SEPARATOR);
                ASSERT_NE(pSeparator, nullptr);
                pSeparator->SetFocus();
                Settle();
                PressKey('A', wxMOD_CONTROL);
                PressKey(',');
                ClickWindow(WindowIn("Options", IDOK));
            });
            ClickOn(IDC_OPTIONS);
        }
        EXPECT_EQ(m_options.m_strSeparator, ";"); // the command's own record, not this one
        // The file dialog opens with the last file's folder and name: Enter saves there.
        CLater accept(2500, [] { PressKey(WXK_RETURN); });
        ClickOn(IDC_EXPORT);
        EXPECT_TRUE(std::filesystem::exists(strFile));
        ClickOn(IDC_CLOSE);
    });
    // A step that went wrong leaves a dialog open: Escape closes the dialog on top and then
    // the main dialog, so that the run never hangs.
    CLater watchdog(40000, [] {
        ADD_FAILURE() << "the main dialog did not close";
        PressKey(WXK_ESCAPE);
        PressKey(WXK_ESCAPE);
    });
    EXPECT_EQ(RunMainDialogCommand(m_pHost.Get()), static_cast<int>(IDOK));
    ASSERT_TRUE(std::filesystem::exists(strFile));
    EXPECT_EQ(ReadFileBytes(strFile).rfind("\"Date\",", 0), 0u) << ReadFileBytes(strFile);
    COptions stored;
    stored.Load();
    EXPECT_EQ(stored.m_strSeparator, ",");
    EXPECT_EQ(stored.m_strLastFile, strFile);
}

// varno dialog as a user starts it, on a home of its own: its window opens on the display
// and Escape closes it, which saves the options.
TEST_F(WxMainDlgTest, VarnoDialogOpensAWindowThatEscapeCloses) {
    const std::string strHome = Home() + "/varno-dialog-home";
    const std::string strVarno = std::string(VARNO_BINARY_DIR) + "/varno";
    std::vector<std::string> args = {strVarno, "--home", strHome, "dialog"};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, strVarno.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Escape once a second until the window, which takes the focus when it opens, has
    // taken it (at most 30 tries).
    int nStatus = -1;
    for (int i = 0; i < 30 && nStatus < 0; ++i) {
        wxMilliSleep(1000);
        int nWait = 0;
        if (::waitpid(pid, &nWait, WNOHANG) == pid) {
            nStatus = nWait;
            break;
        }
        PressKey(WXK_ESCAPE);
    }
    if (nStatus < 0) {
        ADD_FAILURE() << "varno dialog did not close";
        ::kill(pid, SIGKILL);
        (void)::waitpid(pid, &nStatus, 0);
        return;
    }
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
    // Closing saved the options into the user hive of that home.
    bool bSaved = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strHome + "/registry")) {
        if (entry.is_regular_file() &&
            ReadFileBytes(entry.path().string()).find("\\Brenmark\\VARNO\\Options]") !=
                std::string::npos)
            bSaved = true;
    }
    EXPECT_TRUE(bSaved);
}

} // namespace
