// The host's start, command and exit sequence with the registered add-in, without a window;
// and the host window's answer when there is no display.
#include "tests/addin/AddinTestSupport.h"
#include "tests/cli/CliTestSupport.h"

#include "desktop/AddinHost.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using CAddinHostTest = CAddinTest;

TEST_F(CAddinHostTest, StartsTheRegisteredAddinRunsItsCommandAndLetsItGo) {
    RegisterManager();
    RegisterAddin();
    {
        CAddinHost host(OpenDesktopHost());
        std::vector<std::string> problems;
        host.LoadAddins(problems);
        EXPECT_THAT(problems, IsEmpty());
        EXPECT_EQ(host.AddinCount(), 1u);
        std::vector<CAddinCommand> commands = host.MenuCommands();
        ASSERT_EQ(commands.size(), 1u);
        EXPECT_EQ(commands[0].m_strMenuText, "&VARNO");
        std::string strStoreFailure;
        EXPECT_EQ(host.RunCommand(commands[0].m_lId, strStoreFailure), S_OK);
        EXPECT_EQ(strStoreFailure, "");
        EXPECT_EQ(host.RunCommand(commands[0].m_lId + 100, strStoreFailure), E_INVALIDARG);
        EXPECT_TRUE(IsServerModuleLoaded(kAddinModulePath));
        commands.clear(); // the copies hold the command object too
        host.Unload();
        EXPECT_FALSE(IsServerModuleLoaded(kAddinModulePath));
    }
    EXPECT_THAT(ShownTexts(), IsEmpty());
}

TEST_F(CAddinHostTest, AnAddinThatDoesNotStartIsLetGo) {
    RegisterManager();
    RegisterAddin();
    CDesktopHostOptions options;
    options.m_vecFaults = {{"AddCommandMenuItem", 1, E_FAIL, ""}};
    CAddinHost host(OpenDesktopHost(options));
    std::vector<std::string> problems;
    host.LoadAddins(problems);
    EXPECT_THAT(problems, ElementsAre("The add-in VARNOAddIn Addin did not start."));
    EXPECT_EQ(host.AddinCount(), 0u);
    EXPECT_THAT(host.MenuCommands(), IsEmpty());
    EXPECT_THAT(DesktopAddinCommands(host.Host()), IsEmpty());
    EXPECT_THAT(ShownTexts(), ElementsAre(CComError::ErrorMessageFor(E_FAIL)));
}

TEST_F(CAddinHostTest, AnAddinWhoseModuleIsGoneIsReported) {
    RegisterManager();
    RegisterAddin();
    CRegKey key;
    ASSERT_EQ(
        key.Open(ERegHive::ClassesRoot, ClassKeyPath(CLSID_VARNOAddInAddin) + "\\InprocServer32"),
        REG_STATUS_OK);
    ASSERT_EQ(key.SetString("", Home() + "/missing/VARNOAddIn.so"), REG_STATUS_OK);
    CAddinHost host(OpenDesktopHost());
    std::vector<std::string> problems;
    host.LoadAddins(problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_THAT(problems[0], HasSubstr("The add-in VARNOAddIn Addin cannot be loaded"));
    EXPECT_EQ(host.AddinCount(), 0u);
}

TEST_F(CAddinHostTest, WindowWithoutDisplaySaysSo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"window"}, {"--home", Home(), "window"}}) {
        const CProgramRun run =
            RunProgram(kDesktop, args, {"VARNO_HOME=" + Home(), "DISPLAY=", "WAYLAND_DISPLAY="});
        EXPECT_EQ(run.m_nExit, 2);
        EXPECT_THAT(run.m_strErr, HasSubstr("No display"));
    }
    const CProgramRun run = RunProgram(kDesktop, {"window", "extra"}, {"DISPLAY="});
    EXPECT_EQ(run.m_nExit, 2);
}

} // namespace
