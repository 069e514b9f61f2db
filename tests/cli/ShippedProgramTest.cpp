// The programs users run hold no test hooks: the variables that pin the clock, slow the
// message pump or crash a registry save mean nothing to them. The tests run the test builds
// (varno-test, datebook-desktop-test), which honour them.
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using CliShippedProgram = CCliTest;

const char* const kHookVariables[] = {"VARNO_NOW", "VARNO_REGISTRY_FAIL_BEFORE_RENAME",
                                      "VARNO_TEST_PUMP_DELAY_US"};

TEST_F(CliShippedProgram, HoldsNoTestHooks) {
    for (const std::string program :
         {VARNO_BINARY_DIR "/varno", VARNO_BINARY_DIR "/datebook-desktop"}) {
        const std::string bytes = ReadFileBytes(program);
        ASSERT_FALSE(bytes.empty()) << program;
        for (const char* pszName : kHookVariables)
            EXPECT_EQ(bytes.find(pszName), std::string::npos) << program << " " << pszName;
    }
    EXPECT_NE(ReadFileBytes(kVarno).find("VARNO_NOW"), std::string::npos);
}

TEST_F(CliShippedProgram, IgnoresAStrayClockVariable) {
    // The test build's clock stands where the variable says: 1970-01-01, so the export range
    // starts ten days before.
    SetClockUtc(0);
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("exportfrom = 22.12.1969"));

    const CProgramRun run =
        RunProgram(VARNO_BINARY_DIR "/varno", {"--home", CliHome(), "options", "show"});
    EXPECT_EQ(run.m_nExit, 0);
    EXPECT_THAT(run.m_strOut, HasSubstr("exportfrom = "));
    EXPECT_THAT(run.m_strOut, Not(HasSubstr("1969")));
}

} // namespace
