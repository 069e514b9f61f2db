// The help viewer access: silent without a viewer, the book beside the program's help
// name, and text popups by control from the topic table.
#include "platform/shell/HelpViewer.h"
#include "res/DialogTemplates.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

class CFakeViewer : public CHelpViewerBackend {
public:
    bool ShowBook(const std::string& strBookPath) override {
        m_vecBooks.push_back(strBookPath);
        return true;
    }
    bool ReadBookFile(const std::string& strBookPath, const std::string& strName,
                      std::string& strText) override {
        const auto it = m_mapFiles.find(strBookPath + "#" + strName);
        if (it == m_mapFiles.end())
            return false;
        strText = it->second;
        return true;
    }
    void ShowPopup(const std::string& strText) override { m_vecPopups.push_back(strText); }

    std::vector<std::string> m_vecBooks;
    std::vector<std::string> m_vecPopups;
    std::map<std::string, std::string> m_mapFiles;
};

CFakeViewer* g_pViewer = nullptr;
int g_nLoads = 0;

CHelpViewerBackend* LoadFake() {
    ++g_nLoads;
    return g_pViewer;
}

class HelpViewerTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        g_nLoads = 0;
        ResetHelpViewer();
    }
    void TearDown() override {
        RegisterHelpViewerLoader(nullptr);
        ResetHelpViewer();
        g_pViewer = nullptr;
        CVarnoTest::TearDown();
    }
};

TEST_F(HelpViewerTest, WithoutViewerEveryCallReturnsAtOnce) {
    RegisterHelpViewerLoader(nullptr);
    EXPECT_FALSE(HtmlHelp("/opt/varno/VARNOAddIn.chm", HH_DISPLAY_TOPIC));
    // A viewer that fails to load is not tried again.
    RegisterHelpViewerLoader(&LoadFake);
    ResetHelpViewer();
    EXPECT_FALSE(HtmlHelp("/opt/varno/VARNOAddIn.chm", HH_DISPLAY_TOPIC));
    EXPECT_FALSE(HtmlHelp("/opt/varno/VARNOAddIn.chm", HH_DISPLAY_TOPIC));
    EXPECT_EQ(g_nLoads, 1);
}

TEST_F(HelpViewerTest, BookAndPopupsByControl) {
    CFakeViewer viewer;
    g_pViewer = &viewer;
    RegisterHelpViewerLoader(&LoadFake);
    viewer.m_mapFiles["/opt/varno.d/VARNOAddIn.htb#options.txt"] =
        ".topic 2162689000\r\nNot this one.\r\n.topic 2162689008\r\nThe field "
        "separator.\r\nSecond line.\r\n\r\n.topic 2162689009\r\nSkip.\r\n";
    EXPECT_TRUE(HtmlHelp("/opt/varno.d/VARNOAddIn.chm", HH_DISPLAY_TOPIC));
    EXPECT_EQ(viewer.m_vecBooks, std::vector<std::string>{"/opt/varno.d/VARNOAddIn.htb"});

    const CHelpTopic topics[] = {{1008, 2162689008u}, {1009, 2162689009u}, {1010, 77}};
    const std::string file = "/opt/varno.d/VARNOAddIn.chm::/options.txt";
    EXPECT_TRUE(HtmlHelp(file, HH_TP_HELP_WM_HELP, 1008, topics));
    EXPECT_TRUE(HtmlHelp(file, HH_TP_HELP_CONTEXTMENU, 1009, topics));
    EXPECT_FALSE(HtmlHelp(file, HH_TP_HELP_WM_HELP, 4711, topics)); // not in the table
    EXPECT_FALSE(HtmlHelp(file, HH_TP_HELP_WM_HELP, 1010, topics)); // no such topic
    EXPECT_FALSE(HtmlHelp("/elsewhere/x.chm::/options.txt", HH_TP_HELP_WM_HELP, 1008, topics));
    EXPECT_EQ(viewer.m_vecPopups,
              (std::vector<std::string>{"The field separator.\nSecond line.", "Skip."}));
    EXPECT_EQ(g_nLoads, 1);

    std::string strInner;
    EXPECT_EQ(HelpBookPath("VARNOAddIn", &strInner), "VARNOAddIn.htb");
    EXPECT_EQ(HelpBookPath("a.b/help.chm::options.txt", &strInner), "a.b/help.htb");
    EXPECT_EQ(strInner, "options.txt");
}

TEST_F(HelpViewerTest, HelpBookHasEveryOptionsTopic) {
    const std::string strPopups =
        ReadFileBytes(std::string(VARNO_SOURCE_DIR) + "/res/help/options.txt");
    ASSERT_EQ(GetOptionsHelpTopics().size(), 18u);
    for (const CHelpTopic& topic : GetOptionsHelpTopics()) {
        EXPECT_EQ(topic.m_nTopic >> 16, 32897u);
        EXPECT_EQ(topic.m_nTopic & 0xFFFF, topic.m_nControlId);
        EXPECT_GT(FindPopupText(strPopups, topic.m_nTopic).size(), 20u) << topic.m_nControlId;
    }
    // The book the build makes holds the project file, contents, index, page and popups.
    const std::string strBook = ReadFileBytes(std::string(VARNO_BINARY_DIR) + "/VARNOAddIn.htb");
    for (const char* pszName :
         {"VARNOAddIn.hhp", "VARNOAddIn.hhc", "VARNOAddIn.hhk", "index.html", "options.txt"})
        EXPECT_NE(strBook.find(pszName), std::string::npos) << pszName;
}

} // namespace
