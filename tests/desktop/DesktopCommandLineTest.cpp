// datebook-desktop, run as a program on a fresh home: its output, and its messages and exit
// status for everything a user can get wrong.
#include "desktop/DatebookStore.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>

extern char** environ;

namespace {

struct CRun {
    int m_nExit = -1;
    std::string m_strOut;
    std::string m_strErr;
};

CRun RunProgram(const std::vector<std::string>& args) {
    const std::string out = TempPath("stdout.txt");
    const std::string err = TempPath("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string program = VARNO_BINARY_DIR "/tests/datebook-desktop-test";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    CRun run;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    run.m_strOut = ReadFileBytes(out);
    run.m_strErr = ReadFileBytes(err);
    return run;
}

class DesktopCommandLine : public CDesktopTest {
protected:
    void SetUp() override {
        CDesktopTest::SetUp();
        m_strHome = Home() + "/other home";
    }
    CRun Run(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--home", m_strHome});
        return RunProgram(args);
    }
    CRun RunOk(std::vector<std::string> args) const {
        CRun run = Run(std::move(args));
        EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
        EXPECT_EQ(run.m_strErr, "");
        return run;
    }
    std::string LoginUser() const {
        CDatebookStore store(m_strHome + "/datebook");
        return store.ListUsers().front().m_strName;
    }

    std::string m_strHome;
};

TEST_F(DesktopCommandLine, AddsListsShowsAndDeletes) {
    EXPECT_EQ(
        RunOk({"add",        "--text",    "Team meeting",  "--date",     "2024-01-01", "--start",
               "09:00",      "--end",     "10:30",         "--repeat",   "weekly",     "--interval",
               "2",          "--days",    "mo,WE",         "--until",    "2024-03-01", "--except",
               "2024-01-15", "--note",    "Agenda\nfirst", "--category", "Work",       "--location",
               "Room 4",     "--private", "--alarm",       "2h"})
            .m_strOut,
        "1\n");
    EXPECT_EQ(
        RunOk({"add", "--text", "Holiday", "--date", "2024-02-29", "--repeat", "yearly"}).m_strOut,
        "2\n");
    EXPECT_EQ(RunOk({"add", "--text", "Late\tshift", "--date", "2024-01-10", "--start", "23:00",
                     "--end", "1:00"})
                  .m_strOut,
              "3\n");
    EXPECT_EQ(RunOk({"add", "--text", "Review", "--date", "2024-01-26", "--repeat", "monthly-day"})
                  .m_strOut,
              "4\n");

    EXPECT_EQ(RunOk({"list"}).m_strOut,
              "1\t2024-01-01\t09:00-10:30\tweekly every 2 on MO,WE until 2024-03-01 except "
              "2024-01-15\tTeam meeting\n"
              "3\t2024-01-10\t23:00-01:00+1d\tnone\tLate\\tshift\n"
              "4\t2024-01-26\tuntimed\tmonthly-day week 4\tReview\n"
              "2\t2024-02-29\tuntimed\tyearly\tHoliday\n");
    EXPECT_EQ(RunOk({"list", "--from", "2024-03-02", "--to", "2024-12-31"}).m_strOut,
              "4\t2024-01-26\tuntimed\tmonthly-day week 4\tReview\n"
              "2\t2024-02-29\tuntimed\tyearly\tHoliday\n");
    EXPECT_EQ(RunOk({"list", "--to", "2024-01-09"}).m_strOut.substr(0, 2), "1\t");

    EXPECT_EQ(RunOk({"show", "1"}).m_strOut,
              "id: 1\nuser: " + LoginUser() + "\ndate: 2024-01-01\ntimes: 09:00-10:30\n" +
                  "text: Team meeting\nnote: Agenda\\nfirst\ncategory: Work\nlocation: Room 4\n"
                  "private: yes\nalarm: 2h\nrepeat: weekly every 2 on MO,WE until 2024-03-01\n"
                  "exceptions: 2024-01-15\n");
    EXPECT_EQ(RunOk({"occurrences", "1", "--from", "2024-01-01", "--to", "2024-02-15"}).m_strOut,
              "2024-01-01\n2024-01-03\n2024-01-17\n2024-01-29\n2024-01-31\n2024-02-12\n"
              "2024-02-14\n");
    EXPECT_EQ(RunOk({"occurrences", "2", "--from", "2024-01-01", "--to", "2026-12-31"}).m_strOut,
              "2024-02-29\n2025-02-28\n2026-02-28\n");

    EXPECT_EQ(RunOk({"delete", "3"}).m_strOut, "Deleted appointment 3.\n");
    EXPECT_EQ(RunOk({"delete", "4", "--archive"}).m_strOut, "Marked appointment 4 for archival.\n");
    EXPECT_EQ(RunOk({"list"}).m_strOut.substr(0, 2), "1\t");
    EXPECT_EQ(RunOk({"hotsync"}).m_strOut, "Archived 1, purged 1.\n");
    EXPECT_EQ(Run({"show", "3"}).m_nExit, 1);
    EXPECT_EQ(RunOk({"add", "--text", "after", "--date", "2024-05-05"}).m_strOut, "5\n");

    // Users: names compare without case, the current one is marked, and another user's
    // records are not this user's.
    const std::string login = LoginUser();
    EXPECT_EQ(RunOk({"users"}).m_strOut, "* " + login + "\n");
    EXPECT_EQ(RunOk({"user", "add", "bob"}).m_strOut, "Added user \"bob\".\n");
    const CRun again = Run({"user", "add", "Bob"});
    EXPECT_EQ(again.m_nExit, 2);
    EXPECT_NE(again.m_strErr.find("already exists"), std::string::npos) << again.m_strErr;
    RunOk({"user", "use", "BOB"});
    EXPECT_EQ(RunOk({"users"}).m_strOut, "  " + login + "\n* bob\n");
    EXPECT_EQ(RunOk({"list"}).m_strOut, "");
    const CRun other = Run({"delete", "1"});
    EXPECT_EQ(other.m_nExit, 1);
    EXPECT_NE(other.m_strErr.find("record id 1"), std::string::npos) << other.m_strErr;
}

TEST_F(DesktopCommandLine, RefusesBadInputClearly) {
    const std::vector<std::string> add = {"add", "--text", "x", "--date", "2024-02-03"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = add;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    struct {
        std::vector<std::string> m_vecArgs;
        int m_nExit;
        const char* m_pszMessage;
    } const cases[] = {
        {{"user", "add", ""}, 2, ""},
        {{"user", "add", "tab\there"}, 2, ""},
        {{"user", "add", "\xff\xfe"}, 2, ""},
        {{"show", "99"}, 1, "no appointment with record id 99"},
        {{"delete", "12345"}, 1, "record id 12345"},
        {{"show", "abc"}, 2, ""},
        {{"show"}, 2, ""},
        {{"frobnicate"}, 2, "frobnicate"},
        {{"user", "use", "bob"}, 1, "datebook-desktop: There is no user named \"bob\".\n"},
        {{"list", "--from", "yesterday"}, 2, "Invalid from date \"yesterday\""},
        {{"list", "--from", "2024-01-01", "--to", "2024-01-32"}, 2, "Invalid to date"},
        {{"occurrences", "1"}, 2, ""},
        {{"add", "--date", "2024-01-01"}, 2, ""},
        {{"add", "--text", "x", "--date", "2024-02-30"}, 2, "Invalid date \"2024-02-30\""},
        {{"add", "--text", "x", "--date", "2032-01-01"}, 2, "outside the datebook's days"},
        {{"add", "--text", "x", "--date", "1903-12-31"}, 2, "outside the datebook's days"},
        {with({"--start", "09:00"}), 2, "--start and --end go together"},
        {with({"--start", "9:60", "--end", "10:00"}), 2, "Invalid start time \"9:60\""},
        {with({"--start", "09:00", "--end", "1000"}), 2, "Invalid end time \"1000\""},
        {with({"--alarm", "10w"}), 2, "Invalid alarm \"10w\""},
        {with({"--alarm", "m"}), 2, "Invalid alarm"},
        {with({"--repeat", "fortnightly"}), 2, "Invalid repeat \"fortnightly\""},
        {with({"--repeat", "weekly", "--days", "MO,XX"}), 2, "Invalid weekday \"XX\""},
        {with({"--repeat", "weekly", "--days", ""}), 2, "Invalid weekday"},
        {with({"--repeat", "daily", "--week", "2"}), 2, "--week goes with"},
        {with({"--repeat", "daily", "--days", "MO"}), 2, "--days goes with"},
        {with({"--repeat", "monthly-day", "--week", "6"}), 2, "week index 6"},
        {with({"--repeat", "daily", "--interval", "0"}), 0, ""},
        {with({"--repeat", "daily", "--interval", "100"}), 2, "interval 100"},
        {with({"--repeat", "daily", "--interval", "x"}), 2, ""},
        {with({"--repeat", "daily", "--until", "2024-02-02"}), 2, "lies before"},
        {with({"--repeat", "daily", "--except", "2024-02-05,2024-02-31"}), 2,
         "Invalid exception date \"2024-02-31\""},
        {with({"--except", "2024-02-05"}), 2, "need --repeat"},
        {with({"--category", std::string(300, 'c')}), 2, "at most 255"},
        {{"add", "--text", "\xc3\x28", "--date", "2024-01-01"}, 2, "not valid UTF-8"},
    };
    for (const auto& c : cases) {
        const CRun run = Run(c.m_vecArgs);
        std::string args;
        for (const std::string& arg : c.m_vecArgs)
            args += " " + arg;
        EXPECT_EQ(run.m_nExit, c.m_nExit) << args << "\n" << run.m_strErr;
        if (c.m_nExit != 0) {
            EXPECT_EQ(run.m_strOut, "") << args;
            EXPECT_NE(run.m_strErr.find(c.m_pszMessage), std::string::npos) << args << "\n"
                                                                            << run.m_strErr;
            EXPECT_FALSE(run.m_strErr.empty()) << args;
        }
    }
    // Only the one good command added anything.
    EXPECT_EQ(RunOk({"list"}).m_strOut, "1\t2024-02-03\tuntimed\tdaily\tx\n");
}

void RawExec(const std::string& file, const char* pszSql) {
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &pDb), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pDb, pszSql, nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(pDb);
    sqlite3_close_v2(pDb);
}

TEST_F(DesktopCommandLine, ReportsFilesThatAreNotItsDatebookAndLeavesThemAlone) {
    const std::string file = m_strHome + "/datebook/datebook.db";
    struct {
        const char* m_pszWhat;
        std::function<void()> m_makeFile;
        const char* m_pszReason;
    } const cases[] = {
        {"another program's database",
         [&] { RawExec(file, "CREATE TABLE notes(x); INSERT INTO notes VALUES (1);"); },
         "not a datebook"},
        // In the rollback journal, so that a switch to WAL before the refusal would show.
        {"a newer datebook",
         [&] {
             RunOk({"users"});
             RawExec(file, "PRAGMA journal_mode = DELETE; PRAGMA user_version = 2");
         },
         "newer"},
        {"a negative schema version",
         [&] {
             RunOk({"users"});
             RawExec(file, "PRAGMA journal_mode = DELETE; PRAGMA user_version = -1");
         },
         "schema version -1"},
        {"no database", [&] { WriteFileBytes(file, std::string(2048, '\x01')); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        std::filesystem::remove_all(m_strHome);
        std::filesystem::create_directories(m_strHome + "/datebook");
        c.m_makeFile();
        const std::string before = ReadFileBytes(file);
        const CRun run = Run({"list"});
        EXPECT_EQ(run.m_nExit, 1);
        EXPECT_NE(run.m_strErr.find("Cannot open the datebook " + file + ": "), std::string::npos)
            << run.m_strErr;
        EXPECT_NE(run.m_strErr.find(c.m_pszReason), std::string::npos) << run.m_strErr;
        EXPECT_EQ(ReadFileBytes(file), before);
        EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
    }
    // An empty file is a new datebook.
    WriteFileBytes(file, "");
    EXPECT_EQ(RunOk({"users"}).m_strOut, "* " + LoginUser() + "\n");
}

TEST_F(DesktopCommandLine, UsesVarnoHomeWithoutHomeOption) {
    const CRun run = RunProgram({"add", "--text", "here", "--date", "2024-01-01"});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    CDatebookStore store(Home() + "/datebook");
    EXPECT_EQ(store.CountAppointments(store.CurrentUser().m_nId), 1);
}

} // namespace
