// An import as the only copy of a calendar needs it: killed at random points it leaves only
// whole appointments and loses none it stored, a full disk stops it at once with one message,
// and two changing runs on one datebook take turns.
#include "desktop/CalendarDay.h"
#include "desktop/DatebookLock.h"
#include "desktop/DatebookStore.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/engine/OperationsTestSupport.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <thread>

using ::testing::HasSubstr;

namespace {

// A first row that is no appointment, and names no field, is skipped as the header.
const std::string kHeader = optest::CsvRow({"Datum", "Ganztags", "Beginn", "Ende", "Betreff"});

// The day of row i: one of the 365 days of 2026.
int RowDay(int i) {
    return optest::Day("2026-01-01") + i % 365;
}

// Row i of the default simple layout with every value an import can lose half way: times,
// note, alarm, category and location, each naming the row. A note of nNoteSize characters.
std::string Row(int i, std::size_t nNoteSize = 0) {
    const desktop::CCivilDate date = desktop::DateFromDay(RowDay(i));
    char day[48];
    std::snprintf(day, sizeof day, "%02d.%02d.%04d", date.m_nDay, date.m_nMonth, date.m_nYear);
    std::string note = "Note " + std::to_string(i);
    if (note.size() < nNoteSize)
        note.resize(nNoteSize, '.');
    return optest::CsvRow({day, "", "09:00", "10:30", "", "Row " + std::to_string(i), note, "x",
                           "15", "m", "Cat" + std::to_string(i % 5), "Room " + std::to_string(i),
                           ""});
}

std::string Rows(int nRows, std::size_t nNoteSize = 0) {
    std::string text = kHeader;
    for (int i = 0; i < nRows; ++i)
        text += Row(i, nNoteSize);
    return text;
}

class CliSafeImport : public CCliTest {
protected:
    [[nodiscard]] std::string Folder() const { return CliHome() + "/datebook"; }

    // The rows the datebook holds, each checked to be whole and stored once.
    std::set<int> StoredRows(int nRows) const {
        CDatebookStore store(Folder());
        EXPECT_EQ(store.CheckIntegrity(), "ok");
        std::set<int> rows;
        for (const CStoredAppointment& a :
             store.ListAppointments(store.CurrentUser().m_nId, desktop::kFirstDatebookDay,
                                    desktop::kLastDatebookDay)) {
            const std::string text = optest::Narrow(a.m_strText);
            const int i = text.rfind("Row ", 0) == 0 ? std::atoi(text.c_str() + 4) : -1;
            if (i < 0 || i >= nRows || text != "Row " + std::to_string(i)) {
                ADD_FAILURE() << "an appointment of no row: " << optest::Describe(a);
                continue;
            }
            if (!rows.insert(i).second)
                ADD_FAILURE() << "row " << i << " is stored twice";
            const std::string day = optest::Iso(RowDay(i));
            const bool bWhole =
                a.m_tStart == optest::At(day, 9, 0) && a.m_tEnd == optest::At(day, 10, 30) &&
                !a.m_bUntimed &&
                optest::Narrow(a.m_strNote).rfind("Note " + std::to_string(i), 0) == 0 &&
                a.m_bAlarm && a.m_nAlarmAdvance == 15 && a.m_nAlarmUnit == 0 &&
                optest::Narrow(a.m_strCategory) == "Cat" + std::to_string(i % 5) &&
                optest::Narrow(a.m_strLocation) == "Room " + std::to_string(i) && !a.IsRepeating();
            if (!bWhole)
                ADD_FAILURE() << "row " << i << " is stored in part: " << optest::Describe(a);
        }
        return rows;
    }

    [[nodiscard]] pid_t StartVarno(const std::vector<std::string>& args, const std::string& name) {
        std::vector<std::string> all = {"--home", CliHome()};
        all.insert(all.end(), args.begin(), args.end());
        return StartProgram(kVarno, all, File(name + ".out"), File(name + ".err"));
    }
};

// SIGKILL at up to 20 random points of one 100,000-row import, resumed after each kill with
// duplicates skipped: after every kill each stored appointment is whole and every row stored
// before is still there; the last run adds exactly the rows still missing. The file is long
// enough that the first runs outlast the latest kill (0.9 s) however fast the import is.
TEST_F(CliSafeImport, KilledImportsLeaveWholeAppointmentsAndLoseNoneStored) {
    constexpr int kRows = 100000;
    constexpr int kKills = 20;
    const std::string input = File("big.csv");
    WriteFileBytes(input, Rows(kRows));
    const std::vector<std::string> import = {"import", input, "--skip-duplicates"};

    std::mt19937 random(20261206);
    std::set<int> stored;
    int nKilledWhileRunning = 0;
    for (int nRound = 0; nRound < kKills && stored.size() < kRows; ++nRound) {
        const pid_t pid = StartVarno(import, "round");
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(100, 900)(random)));
        ::kill(pid, SIGKILL);
        if (WaitProgram(pid) == 128 + SIGKILL)
            ++nKilledWhileRunning;
        const std::set<int> now = StoredRows(kRows);
        for (const int i : stored)
            ASSERT_TRUE(now.count(i))
                << "row " << i << " was stored, then lost in round " << nRound;
        stored = now;
    }
    // How many kills land mid-import depends on the machine's load; a few are enough to
    // check something, and every round checks the datebook either way.
    EXPECT_GE(nKilledWhileRunning, 3) << "too few kills landed in the import";
    std::printf("%d kills during the import; %zu of %d rows stored before the last run\n",
                nKilledWhileRunning, stored.size(), kRows);
    EXPECT_GT(stored.size(), 0u);

    const CProgramRun last = Varno(import);
    EXPECT_EQ(last.m_nExit, 0) << last.m_strErr;
    EXPECT_THAT(last.m_strOut,
                HasSubstr(": " + std::to_string(kRows - stored.size()) + " added, 0 updated, " +
                          std::to_string(stored.size()) + " skipped as duplicates"));
    EXPECT_EQ(StoredRows(kRows).size(), static_cast<std::size_t>(kRows));
}

// Unmounts the file system at the folder when the test ends.
class CTmpfs {
public:
    explicit CTmpfs(std::string strFolder) : m_strFolder(std::move(strFolder)) {}
    ~CTmpfs() {
        if (m_bMounted)
            (void)std::system(("umount -l '" + m_strFolder + "'").c_str());
    }
    CTmpfs(const CTmpfs&) = delete;
    CTmpfs& operator=(const CTmpfs&) = delete;
    bool Mount(const std::string& size) {
        std::filesystem::create_directories(m_strFolder);
        m_bMounted = std::system(("mount -t tmpfs -o size=" + size + ",mode=0700 tmpfs '" +
                                  m_strFolder + "' 2>/dev/null")
                                     .c_str()) == 0;
        return m_bMounted;
    }

private:
    std::string m_strFolder;
    bool m_bMounted = false;
};

// The datebook on a file system of 2 MiB, an import of 3 MiB: it stops at the first failure
// with one message, stores nothing in part, and tells how many appointments it stored. (The
// disk holds more than the appointments a fast import groups into its first commit.)
TEST_F(CliSafeImport, AFullDiskStopsTheImportWithOneMessageAndNothingHalfStored) {
    CTmpfs tmpfs(Folder());
    if (!tmpfs.Mount("2m"))
        GTEST_SKIP() << "mounting a small tmpfs was refused (needs root and a mount namespace "
                        "that allows it); the full-disk import is not checked here";
    constexpr int kRows = 15000;
    const std::string input = File("big.csv");
    WriteFileBytes(input, Rows(kRows, 200));

    const CProgramRun run = Varno({"import", input, "--skip-duplicates"});
    EXPECT_EQ(run.m_nExit, 1) << run.m_strErr;
    // One message: the first line after "varno: ", the others indented below it.
    std::size_t nMessages = 0;
    for (std::size_t at = run.m_strErr.find("varno: "); at != std::string::npos;
         at = run.m_strErr.find("varno: ", at + 1))
        ++nMessages;
    EXPECT_EQ(nMessages, 1u) << run.m_strErr << run.m_strOut;
    EXPECT_THAT(run.m_strErr, HasSubstr("The disk holding the datebook is full"));
    EXPECT_LT(run.m_strErr.size(), 1000u) << "more than one appointment's message";

    const std::set<int> stored = StoredRows(kRows);
    ASSERT_GT(stored.size(), 0u);
    EXPECT_LT(stored.size(), static_cast<std::size_t>(kRows));
    EXPECT_THAT(run.m_strOut,
                HasSubstr("stopped: the datebook cannot be written. " +
                          std::to_string(stored.size()) + " appointments were added"));
    // Stored in the order of the file: no row after a missing one.
    EXPECT_EQ(*stored.rbegin() + 1, static_cast<int>(stored.size()));
}

// Two imports of one file at once with duplicates skipped: the second waits for the first and
// then finds every row there.
TEST_F(CliSafeImport, TwoImportsAtOnceStoreEveryRowOnce) {
    constexpr int kRows = 20000;
    const std::string input = File("rows.csv");
    WriteFileBytes(input, Rows(kRows));
    // However loaded the machine, the second one waits for the first.
    const std::vector<std::string> import = {"--wait", "600", "import", input, "--skip-duplicates"};
    const pid_t first = StartVarno(import, "first");
    const pid_t second = StartVarno(import, "second");
    EXPECT_EQ(WaitProgram(first), 0) << ReadFileBytes(File("first.err"));
    EXPECT_EQ(WaitProgram(second), 0) << ReadFileBytes(File("second.err"));
    EXPECT_EQ(StoredRows(kRows).size(), static_cast<std::size_t>(kRows));
    const std::string outputs =
        ReadFileBytes(File("first.out")) + ReadFileBytes(File("second.out"));
    EXPECT_THAT(outputs, HasSubstr(": " + std::to_string(kRows) + " added, 0 updated, 0 skipped"));
    EXPECT_THAT(outputs, HasSubstr(": 0 added, 0 updated, " + std::to_string(kRows) + " skipped"));
}

// While another process holds the datebook, import, Remove All and archive say that they
// wait and who for; after the wait (--wait, here 1 second) they stop with status 2 and change
// nothing. A lock given up while they wait lets them go on.
TEST_F(CliSafeImport, ARunThatFindsTheDatebookBusyWaitsThenStopsWithStatus2) {
    const std::string input = File("rows.csv");
    WriteFileBytes(input, Rows(10));
    std::optional<CDatebookLock> held;
    held.emplace(Folder(), std::chrono::milliseconds(0));

    const std::vector<std::vector<std::string>> runs = {
        {"--wait", "1", "import", input},
        {"--wait", "1", "remove-all", "--yes", "--full"},
        {"--wait", "1", "archive", "--up-to", "01.01.2030"}};
    std::vector<pid_t> pids;
    for (std::size_t k = 0; k < runs.size(); ++k)
        pids.push_back(StartVarno(runs[k], "busy" + std::to_string(k)));
    for (std::size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(runs[k][2]);
        EXPECT_EQ(WaitProgram(pids[k]), 2);
        const std::string err = ReadFileBytes(File("busy" + std::to_string(k) + ".err"));
        const std::string holder = "(process " + std::to_string(::getpid()) + ")";
        EXPECT_THAT(err, HasSubstr("varno: Waiting for another import, Remove All or archive " +
                                   holder + " to finish with the datebook..."));
        EXPECT_THAT(err, HasSubstr("varno: The datebook is busy: another import, Remove All or "
                                   "archive " +
                                   holder + " is still changing it. Nothing was changed"));
    }
    EXPECT_TRUE(StoredRows(10).empty());

    const pid_t waiting = StartVarno({"--wait", "600", "import", input}, "waiting");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    held.reset();
    EXPECT_EQ(WaitProgram(waiting), 0);
    EXPECT_THAT(ReadFileBytes(File("waiting.err")), HasSubstr("Waiting for another import"));
    EXPECT_EQ(StoredRows(10).size(), 10u);
}

} // namespace
