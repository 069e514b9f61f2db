// The about dialog, the hyperlink and the image button on the headless surface.
#include "platform/dialogs/HeadlessSurface.h"
#include "platform/registry/Registry.h"
#include "platform/shell/ShellOpen.h"
#include "res/DialogTemplates.h"
#include "res/Resource.h"
#include "tests/support/TestEnv.h"
#include "ui/AboutDlg.h"
#include "ui/HyperLink.h"
#include "ui/ImageButton.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

using K = EControlKind;
constexpr CControlTemplate kControls[] = {
    {IDC_STATIC, K::Static, "label", CS_NONE, {5, 5, 40, 8}},
    {50, K::Static, "", CS_NONE, {5, 20, 100, 10}},
    {51, K::Static, "Visit us", CS_CENTER | CS_CENTERIMAGE, {5, 35, 100, 20}},
    {60, K::OwnerDrawButton, "&Export...", CS_TABSTOP, {5, 60, 72, 25}},
    {61, K::OwnerDrawButton, "", CS_TABSTOP, {80, 60, 16, 14}},
    {IDOK, K::DefPushButton, "OK", CS_TABSTOP, {110, 60, 50, 14}},
};
constexpr CDialogTemplate kTemplate = {910, "Links", 170, 90, DS_MODAL, kControls};

class CLinkDlg : public CDialog {
public:
    CLinkDlg() : CDialog(kTemplate) {}
    CHyperLink m_empty; // control 50 has no text
    CHyperLink m_text;  // control 51 has no target
    CImageButton m_export;
    CImageButton m_remove;

protected:
    bool OnInitDialog() override {
        m_empty.SetTarget("https://example.org/empty-text");
        m_text.SetFlags(CHyperLink::HLINK_DEFAULT | CHyperLink::HLINK_HOVER_COLOUR |
                        CHyperLink::HLINK_DOWN_CLICK | CHyperLink::HLINK_NO_HAND_CURSOR);
        SubclassControl(50, m_empty);
        SubclassControl(51, m_text);
        SubclassControl(60, m_export);
        SubclassControl(61, m_remove);
        m_export.SetIcon(IDI_EXPORT, 32, 32);
        m_remove.SetIcon(IDI_REMOVE_FIELD, 16, 16);
        return CDialog::OnInitDialog();
    }
};

class SharedControlsTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
        m_strPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        m_bin = fs::path(Home()) / "bin";
        fs::create_directories(m_bin);
        setenv("PATH", (m_bin.string() + ":" + m_strPath).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", m_strPath.c_str(), 1);
        SetDialogSurface(nullptr);
        CVarnoTest::TearDown();
    }
    // A stand-in for xdg-open that ends with a status.
    void FakeOpener(int nStatus) { Script("xdg-open", "exit " + std::to_string(nStatus)); }
    fs::path Script(const std::string& name, const std::string& body) {
        const fs::path path = m_bin / name;
        WriteFileBytes(path.string(), "#!/bin/sh\n" + body + "\n");
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    // The browser command of HKEY_CLASSES_ROOT\.htm's class.
    static void RegisterBrowser(const std::string& strCommand) {
        CRegKey key;
        ASSERT_EQ(key.Create(ERegHive::ClassesRoot, ".htm"), REG_STATUS_OK);
        ASSERT_EQ(key.SetString("", "htmlfile"), REG_STATUS_OK);
        ASSERT_EQ(key.Create(ERegHive::ClassesRoot, "htmlfile\\shell\\open\\command"),
                  REG_STATUS_OK);
        ASSERT_EQ(key.SetString("", strCommand), REG_STATUS_OK);
    }

    CHeadlessSurface m_surface;
    std::string m_strPath;
    fs::path m_bin;
};

TEST_F(SharedControlsTest, LinkTextAndTargetFillEachOther) {
    CLinkDlg dlg;
    m_surface.Then([&](CHeadlessWindow& w) {
        EXPECT_EQ(w.Control(50)->m_strText, "https://example.org/empty-text");
        EXPECT_EQ(dlg.m_text.GetTarget(), "Visit us");
        EXPECT_EQ(w.Control(51)->m_strToolTip, "Visit us");
        EXPECT_TRUE(w.Control(50)->m_bUnderline);
        EXPECT_TRUE(w.Control(50)->m_bHandCursor);
        EXPECT_FALSE(w.Control(51)->m_bHandCursor);
        // Fitted to the text inside the old rectangle, centred both ways for 51.
        const CRect rcOld = w.MapDialogRect({5, 35, 100, 20});
        const CRect rc = w.Control(51)->m_rc;
        EXPECT_EQ(rc.cx, 8 * CHeadlessWindow::kBaseX);
        EXPECT_EQ(rc.x, rcOld.x + (rcOld.cx - rc.cx) / 2);
        EXPECT_EQ(rc.y, rcOld.y + (rcOld.cy - rc.cy) / 2);
        EXPECT_EQ(w.Control(50)->m_rc.x, w.MapDialogRect({5, 20, 0, 0}).x);
        w.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
}

TEST_F(SharedControlsTest, LinkColoursFollowHoverFocusAndVisited) {
    FakeOpener(0);
    CLinkDlg dlg;
    m_surface.Then([&](CHeadlessWindow& w) {
        const auto colour = [&](unsigned nId) { return *w.Control(nId)->m_textColour; };
        EXPECT_EQ(colour(50), CHyperLink::kLinkColour);
        // Without the hover flag hovering keeps the colour; 51 has it.
        w.MouseEnter(50);
        EXPECT_EQ(colour(50), CHyperLink::kLinkColour);
        w.MouseEnter(51);
        EXPECT_EQ(colour(51), CHyperLink::kHoverColour);
        w.MouseLeave(51);
        EXPECT_EQ(colour(51), CHyperLink::kLinkColour);
        // Button down takes the focus; up follows the link; it is visited once the
        // focus leaves.
        w.ButtonDown(50);
        EXPECT_EQ(w.GetFocus(), 50u);
        EXPECT_EQ(colour(50), CHyperLink::kFocusColour);
        EXPECT_FALSE(dlg.m_empty.IsVisited());
        w.ButtonUp(50);
        EXPECT_TRUE(dlg.m_empty.IsVisited());
        w.Focus(IDOK);
        EXPECT_EQ(colour(50), CHyperLink::kVisitedColour);
        // 51 follows on button down; the space bar follows the focused link.
        w.ButtonDown(51);
        EXPECT_TRUE(dlg.m_text.IsVisited());
        w.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_TRUE(m_surface.m_vecShown.empty());
}

TEST_F(SharedControlsTest, LinkFallsBackToRegisteredBrowser) {
    FakeOpener(3);
    const fs::path marker = fs::path(Home()) / "opened.txt";
    const fs::path browser =
        Script("my browser", "printf '%s|%s' \"$1\" \"$#\" > '" + marker.string() + "'");
    RegisterBrowser("\"" + browser.string() + "\" \"%1\" --new-window");
    CLinkDlg dlg;
    m_surface.Then([&](CHeadlessWindow& w) {
        w.Focus(50);
        w.PressKey(VK_SPACE);
        EXPECT_TRUE(dlg.m_empty.IsVisited());
        w.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_TRUE(m_surface.m_vecShown.empty());
    // The browser runs on its own; wait for what it writes.
    for (int i = 0; i < 500 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFileBytes(marker.string()), "https://example.org/empty-text|1");
}

TEST_F(SharedControlsTest, LinkFailuresShowTheirMessage) {
    struct CCase {
        int m_nOpener; // exit status of xdg-open
        const char* m_pszBrowser;
        const char* m_pszMessage;
    };
    const CCase cases[] = {
        {2, nullptr, "The specified file was not found."},
        {3, nullptr, "There is no application associated\nwith the given filename extension."},
        {4, nullptr, "The filename association is\nincomplete or invalid."},
        {3, "/nonexistent/browser %1", "The specified file was not found."},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszMessage);
        FakeOpener(c.m_nOpener);
        if (c.m_pszBrowser)
            RegisterBrowser(c.m_pszBrowser);
        m_surface.m_vecShown.clear();
        const int nBeeps = m_surface.m_nBeeps;
        CLinkDlg dlg;
        m_surface.Then([&](CHeadlessWindow& w) {
            EXPECT_LE(dlg.m_empty.FollowLink(), 32);
            EXPECT_FALSE(dlg.m_empty.IsVisited());
            w.Click(IDOK);
        });
        (void)dlg.DoModal();
        ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
        EXPECT_EQ(m_surface.m_vecShown[0].m_strText,
                  std::string("Can't open link:\n\n") + c.m_pszMessage);
        EXPECT_EQ(m_surface.m_vecShown[0].m_icon, EMessageIcon::Exclamation);
        EXPECT_EQ(m_surface.m_nBeeps, nBeeps + 1);
    }
    const std::pair<int, const char*> table[] = {
        {0, "The operating system is out\nof memory or resources."},
        {26, "A sharing violation occurred. "},
        {32, "The specified dynamic-link library was not found."},
        {99, "Unknown Error (99) occurred."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const auto& [nResult, pszText] : table)
        EXPECT_EQ(CHyperLink::ResultMessage(nResult),
                  std::string("Can't open link:\n\n") + pszText);
}

TEST_F(SharedControlsTest, ImageButtonDrawsIconCaptionPressedAndFocus) {
    CLinkDlg dlg;
    m_surface.Then([&](CHeadlessWindow& w) {
        // 72 x 25 units are 108 x 40 pixels: icon 4 in from the left, centred vertically,
        // the caption centred in the space to its right.
        EXPECT_EQ(w.Draw(60, DRAW_NONE, true),
                  (std::vector<std::string>{"themed 0,0 108x40 state 0", "icon 133 4,4 32x32",
                                            "text &Export... 36,0 72x40"}));
        EXPECT_EQ(w.Draw(60, DRAW_SELECTED | DRAW_FOCUS, true),
                  (std::vector<std::string>{"themed 0,0 108x40 state 9", "icon 133 5,5 32x32",
                                            "text &Export... 37,1 72x40"}));
        // Classic look: pushed frame, focus rectangle inset by 3.
        EXPECT_EQ(w.Draw(60, DRAW_FOCUS, false),
                  (std::vector<std::string>{"classic 0,0 108x40", "icon 133 4,4 32x32",
                                            "text &Export... 36,0 72x40", "focus 3,3 102x34"}));
        // No caption: the icon centred both ways; a disabled button draws greyed and without focus.
        EXPECT_EQ(w.Draw(61, DRAW_FOCUS, false),
                  (std::vector<std::string>{"classic 0,0 24x22", "icon 301 4,3 16x16",
                                            "focus 3,3 18x16"}));
        EXPECT_EQ(w.Draw(61, DRAW_DISABLED | DRAW_FOCUS, false),
                  (std::vector<std::string>{"classic 0,0 24x22", "icon 301 4,3 16x16 disabled"}));
        w.Click(IDOK);
    });
    (void)dlg.DoModal();
    EXPECT_EQ(CImageButton::FocusInset(108, 40), 3);
    EXPECT_EQ(CImageButton::FocusInset(24, 12), 3);
    EXPECT_EQ(CImageButton::FocusInset(24, 11), 2);
}

TEST_F(SharedControlsTest, AboutDialogShowsBuildVersionAndLink) {
    EXPECT_EQ(CAboutDlg::VersionText(), VARNO_VERSION);
    CAboutDlg dlg;
    m_surface.Then([](CHeadlessWindow& w) {
        EXPECT_EQ(w.Title(), "About VARNO");
        EXPECT_EQ(w.Control(IDC_ABOUT_VERSION)->m_strText, VARNO_VERSION);
        EXPECT_EQ(w.Control(IDC_ABOUT_LINK)->m_strToolTip, kMakerWebPage);
        EXPECT_EQ(w.Control(IDC_ABOUT_LINK)->m_textColour, CHyperLink::kLinkColour);
        w.PressKey(VK_RETURN);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
    EXPECT_EQ(m_surface.m_nUnscriptedCloses, 0);
}

} // namespace
