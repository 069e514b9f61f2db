#include "tests/cli/CliTestSupport.h"
#include "tests/com/TestServerSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class RegsvrTest : public CVarnoTest {};

TEST_F(RegsvrTest, RegistersAndUnregistersAsTheUserAsks) {
    const std::string module = ResolvedTestPath(kTestServerPath);
    CProgramRun run = RunProgram(kRegsvrPath, {kTestServerPath});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strOut, "DllRegisterServer in " + module + " succeeded.\n");
    EXPECT_EQ(run.m_strErr, "");
    CRegKey key;
    std::string text;
    ASSERT_EQ(
        key.Open(ERegHive::ClassesRoot, ClassKeyPath(CLSID_TestServerThing) + "\\InprocServer32"),
        REG_STATUS_OK);
    ASSERT_EQ(key.QueryString("", text), REG_STATUS_OK);
    EXPECT_EQ(text, module) << "the full path, whatever the user typed";

    run = RunProgram(kRegsvrPath, {"-s", "-u", "--", kTestServerPath});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_EQ(run.m_strOut, "") << "silent";
    EXPECT_EQ(key.Open(ERegHive::ClassesRoot, ClassKeyPath(CLSID_TestServerThing)),
              REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.Open(ERegHive::ClassesRoot, "CLSID"), REG_STATUS_OK);

    run = RunProgram(kRegsvrPath, {"--help"});
    EXPECT_EQ(run.m_nExit, 0);
    EXPECT_TRUE(Contains(run.m_strOut, "Usage: regsvr [-u] [-s] <module>"));
}

TEST_F(RegsvrTest, FailuresHaveTheirOwnExitStatus) {
    const std::string textFile = TempPath("text.so");
    WriteFileBytes(textFile, "plain text");
    struct SCase {
        std::vector<std::string> m_args;
        int m_nExit;
        std::string m_strMessage;
    };
    const std::vector<SCase> kCases = {
        {{}, 1, "no module given"},
        {{"-x", kTestServerPath}, 1, "unknown option -x"},
        {{kTestServerPath, kTestServerPath}, 1, "give one module"},
        {{Home() + "/missing.so"}, 3, "cannot load the module"},
        {{textFile}, 3, "cannot load the module"},
        {{kNotAServerPath}, 4, "the entry point DllRegisterServer was not found"},
        {{"-u", kNotAServerPath}, 4, "the entry point DllUnregisterServer was not found"},
    };
    for (const SCase& c : kCases) {
        const CProgramRun run = RunProgram(kRegsvrPath, c.m_args);
        EXPECT_EQ(run.m_nExit, c.m_nExit) << c.m_strMessage;
        EXPECT_TRUE(Contains(run.m_strErr, c.m_strMessage)) << run.m_strErr;
        EXPECT_EQ(run.m_strOut, "") << c.m_strMessage;
    }

    // The module reports a failure: its status and the system's message for it.
    std::filesystem::rename(Home() + "/registry", Home() + "/registry.moved");
    WriteFileBytes(Home() + "/registry", "not a folder");
    const CProgramRun run = RunProgram(kRegsvrPath, {kTestServerPath});
    EXPECT_EQ(run.m_nExit, 5);
    EXPECT_TRUE(Contains(run.m_strErr, "DllRegisterServer in " + ResolvedTestPath(kTestServerPath) +
                                           " failed with 0x8007"))
        << run.m_strErr;
}

} // namespace
