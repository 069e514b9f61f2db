// Settings changed by several runs at once: every run succeeds and no change is lost; a
// change that cannot be stored says why, naming the file concerned.
#include "platform/registry/Registry.h"
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using CliSettingsConcurrency = CCliTest;

TEST_F(CliSettingsConcurrency, FortyRunsAtOnceAllSucceedAndEveryOptionKeepsAValueSet) {
    // Five options, eight runs each: a run that wrote back the options it read before another
    // run's change would put an option back to its default.
    const std::vector<std::string> names = {"minsize", "defaultapptlength", "daysahead", "daysback",
                                            "lastfile"};
    auto valueOf = [](const std::string& name, int n) {
        if (name == "minsize")
            return std::to_string(101 + n);
        if (name == "defaultapptlength")
            return std::to_string(11 + n);
        if (name == "daysahead")
            return std::to_string(41 + n);
        if (name == "daysback")
            return std::to_string(21 + n);
        return "/tmp/file" + std::to_string(n) + ".csv";
    };
    auto shown = [](const std::string& name, const std::string& value) {
        return name + " = " + (name == "lastfile" ? "\"" + value + "\"" : value) + "\n";
    };
    struct SRun {
        std::string m_strName;
        std::string m_strValue;
        std::string m_strOut;
        std::string m_strErr;
        pid_t m_pid = -1;
    };
    std::vector<SRun> runs;
    for (int n = 0; n < 8; ++n)
        for (const std::string& name : names)
            runs.push_back({name, valueOf(name, n), TempPath("out"), TempPath("err")});
    for (SRun& run : runs)
        run.m_pid = StartProgram(
            kVarno, {"--home", CliHome(), "options", "set", run.m_strName, run.m_strValue},
            run.m_strOut, run.m_strErr);
    for (const SRun& run : runs) {
        SCOPED_TRACE(run.m_strName + " " + run.m_strValue);
        EXPECT_EQ(WaitProgram(run.m_pid), 0);
        EXPECT_EQ(ReadFileBytes(run.m_strErr), "");
        EXPECT_EQ(ReadFileBytes(run.m_strOut), shown(run.m_strName, run.m_strValue));
    }

    const std::string options = VarnoOk({"options", "show"}).m_strOut;
    for (const std::string& name : names) {
        int found = 0;
        for (int n = 0; n < 8; ++n)
            found += options.find(shown(name, valueOf(name, n))) != std::string::npos;
        EXPECT_EQ(found, 1) << name << "\n" << options;
    }
}

TEST_F(CliSettingsConcurrency, OptionsThatCannotBeStoredNameTheCause) {
    VarnoOk({"options", "set", "minsize", "200"});
    const std::string hive = CliHome() + "/registry/HKEY_CURRENT_USER.reg";

    // The lock beside the hive cannot be opened.
    std::filesystem::create_directory(hive + ".lock.held");
    std::filesystem::rename(hive + ".lock", hive + ".lock.old");
    std::filesystem::rename(hive + ".lock.held", hive + ".lock");
    std::string message = VarnoFails({"options", "set", "minsize", "300"}, 1).m_strErr;
    EXPECT_THAT(message, HasSubstr("\"" + hive + ".lock\": Is a directory"));
    EXPECT_THAT(message, Not(HasSubstr("Check that the folder")));
    std::filesystem::remove(hive + ".lock");

    // The file size limit stands in for a full disk: the hive itself is named, not the
    // temporary file it was being written to.
    std::signal(SIGXFSZ, SIG_IGN); // inherited: the run gets EFBIG instead of the signal
    struct rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limit = previous;
    limit.rlim_cur = std::filesystem::file_size(hive);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const CProgramRun run =
        Varno({"options", "set", "lastfile", "/tmp/" + std::string(200, 'x') + ".csv"});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_THAT(run.m_strErr, HasSubstr("cannot write \"" + hive + "\": File too large"));
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("minsize = 200\n"));
}

} // namespace
