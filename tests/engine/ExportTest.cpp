// Export against the stand-in host: the simple and full formats, calendar files, the
// filter, the message pump's quit request, write errors and host failures.
#include "engine/Export.h"

#include "engine/RecordFilter.h"
#include "platform/com/ComError.h"
#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "tests/engine/OperationsTestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <sstream>

using namespace optest;

namespace {

using Strings = std::vector<std::string>;

// Nobody holds the file open with a lock: the export closed it.
bool IsClosed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool bFree = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return bFree;
}

// The names in a folder, hidden ones included, sorted.
Strings FolderEntries(const std::string& folder) {
    Strings names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++n;
    return n;
}

// Date, text and cell count of every row.
Strings Summary(const std::string& path) {
    Strings out;
    for (const Strings& row : ParseCsv(ReadFileBytes(path)))
        out.push_back(row[0] + " " + row[5] + " " + std::to_string(row.size()));
    return out;
}

class ExportTest : public COperationsTest {};

TEST_F(ExportTest, SimpleRowsForEveryOccurrenceFullRowsOncePerAppointment) {
    // Mondays from 23 November to 14 December: three of them inside the range, which runs
    // from 25 November 00:00 to 4 January 23:59. Rows follow the host's list, by start.
    Seed(Repeating(Timed("2026-11-23", 9, 0, 10, 0, "Jour fixe"), HOST_REPEAT_WEEKLY, 1, 0x02,
                   "2026-12-14"));
    Seed(Untimed("2026-11-24", "day before"));
    Seed(Untimed("2026-11-25", "first day"));
    Seed(Timed("2027-01-04", 23, 59, 23, 59, "last minute"));
    Seed(Untimed("2027-01-05", "day after"));
    const std::string path = TempPath("export.csv");
    EXPECT_EQ(ExportSimpleRange(path), 5);
    EXPECT_EQ(Summary(path), (Strings{"Date Text 13", "30.11.2026 Jour fixe 13",
                                      "07.12.2026 Jour fixe 13", "14.12.2026 Jour fixe 13",
                                      "25.11.2026 first day 13", "04.01.2027 last minute 13"}));
    EXPECT_EQ(ParseCsv(ReadFileBytes(path))[1][12], "x"); // the repeat marker on each occurrence

    EXPECT_EQ(ExportFull(path, Options(), nullptr), 5);
    const auto rows = ParseCsv(ReadFileBytes(path));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1],
              (Strings{"23.11.2026", "", "09:00", "10:00",  "",  "Jour fixe",  "", "", "",  "",
                       "",           "", "x",     "Weekly", "1", "14.12.2026", "", "", "x", "",
                       "",           "", "",      "",       ""}));
    EXPECT_EQ(rows[2].size(), 13u);
}

TEST_F(ExportTest, RecordsFailingTheFilterAreLeftOutButCountForProgress) {
    Seed(Untimed("2026-12-01", "keep 1"));
    Seed(Untimed("2026-12-02", "drop"));
    Seed(Untimed("2026-12-03", "Keep 2"));
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_TEXT_STARTS_WITH, "keep", FILTER_JOIN_NONE);
    CHeadlessProgress progress;
    const std::string path = TempPath("filtered.csv");
    EXPECT_EQ(ExportFull(path, Options(), &progress), 2);
    EXPECT_EQ(ParseCsv(ReadFileBytes(path)).size(), 3u);
    EXPECT_EQ(progress.m_nUpper, 3);
    EXPECT_EQ(progress.m_vecPositions, (std::vector<int>{0, 1, 2}));
}

TEST_F(ExportTest, AFileThatCannotBeOpenedWritesNothing) {
    Seed(Untimed("2026-12-01", "a"));
    CExportOutcome outcome;
    EXPECT_EQ(ExportSimpleRange(TempPath("none/x.csv"), nullptr, &outcome), -1);
    EXPECT_TRUE(outcome.m_bOpenFailed);
    EXPECT_EQ(outcome.m_strError, "No such file or directory");
    const std::string xls = TempPath("a.xls");
    EXPECT_EQ(ExportFull(xls, Options(), nullptr), 0);
    EXPECT_FALSE(std::filesystem::exists(xls));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

// The datebook and the registry hives are never export targets, whatever names them: the
// file itself, a new name beside it, a link or a hard link elsewhere.
TEST_F(ExportTest, TheProgramsOwnDataIsNeverReplaced) {
    namespace fs = std::filesystem;
    Seed(Untimed("2026-12-01", "kept"));
    const std::string datebook = GetUserDataFolder("datebook") + "/" + CDatebookStore::kFileName;
    std::string hive;
    for (const fs::directory_entry& entry : fs::directory_iterator(RegistryFolder()))
        if (entry.path().extension() == ".reg")
            hive = entry.path().string();
    ASSERT_FALSE(hive.empty());
    const std::string hiveBytes = ReadFileBytes(hive);
    const std::string link = TempPath("link.csv");
    fs::create_symlink(datebook, link);
    const std::string hardLink = TempPath("hard.csv");
    fs::create_hard_link(hive, hardLink);

    for (const std::string& target :
         {datebook, GetUserDataFolder("datebook") + "/new.csv", hive, link, hardLink}) {
        SCOPED_TRACE(target);
        CExportOutcome outcome;
        EXPECT_EQ(ExportSimpleRange(target, nullptr, &outcome), -1);
        EXPECT_TRUE(outcome.m_bOpenFailed);
        EXPECT_NE(outcome.m_strError.find("where the program keeps its own data"),
                  std::string::npos)
            << outcome.m_strError;
    }
    EXPECT_FALSE(fs::exists(GetUserDataFolder("datebook") + "/new.csv"));
    EXPECT_EQ(ReadFileBytes(hive), hiveBytes);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(Narrow(All()[0].m_strText), "kept");
}

// A stopped export is incomplete: the old file stays as it was, and no temporary file is
// left beside it.
TEST_F(ExportTest, AQuitRequestStopsAfterTheCurrentRecordAndKeepsTheOldFile) {
    for (int i = 1; i <= 5; ++i)
        Seed(Untimed("2026-12-0" + std::to_string(i), "day " + std::to_string(i)));
    const std::string folder = TempPath("quit");
    std::filesystem::create_directory(folder);
    for (const bool bFull : {false, true}) {
        // One pump before the walk, then one per record: the fourth pump quits.
        m_ui.QuitAfterPumps(3);
        m_ui.m_bQuitPosted = false;
        const std::string path = folder + "/quit.csv";
        WriteFileBytes(path, "the last complete export\r\n");
        CExportOutcome outcome;
        EXPECT_EQ(bFull ? ExportFull(path, Options(), nullptr, &outcome)
                        : ExportSimpleRange(path, nullptr, &outcome),
                  2);
        EXPECT_TRUE(outcome.m_bQuit && m_ui.m_bQuitPosted && IsClosed(path)) << bFull;
        EXPECT_EQ(ReadFileBytes(path), "the last complete export\r\n") << bFull;
        EXPECT_EQ(FolderEntries(folder), Strings{"quit.csv"}) << bFull;
    }
}

TEST_F(ExportTest, AWriteErrorIsShownAndAHostFailureRaisesWithTheFileClosed) {
    Seed(Untimed("2026-12-01", "a"));
    Seed(Untimed("2026-12-02", "b"));
    CExportOutcome outcome;
    EXPECT_EQ(ExportFull("/dev/full", Options(), nullptr, &outcome), 2);
    EXPECT_TRUE(outcome.m_bWriteFailed);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(
        m_ui.m_vecShown[0].m_strText,
        "Error writing file\nThe file /dev/full could not be written: No space left on device");
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Stop);

    // The export that the host ended leaves no file, complete or not.
    OpenHost({{}, false, {{"GetNote", 2, E_FAIL, "gone"}}});
    const std::string folder = TempPath("host");
    std::filesystem::create_directory(folder);
    EXPECT_THROW((void)ExportFull(folder + "/host.csv", Options(), nullptr), CComError);
    EXPECT_EQ(FolderEntries(folder), Strings{});
    EXPECT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
}

TEST_F(ExportTest, TheFullExportIsTraced) {
    TraceOn();
    Seed(Untimed("2026-12-01", "keep"));
    Seed(Untimed("2026-12-02", "drop"));
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_TEXT_CONTAINS, "keep", FILTER_JOIN_NONE);
    const std::string path = TempPath("traced.csv");
    EXPECT_EQ(ExportFull(path, Options(), nullptr), 1);
    EXPECT_EQ(TraceLines(),
              (Strings{"Exporting " + path, "openExportFile " + path, "before progress",
                       "after progress", "before writeFullHeader", "After writeFullHeader",
                       "getting rec", "setApp", "Writing line", "getting rec"}));
    // The simple export writes none of its own.
    EXPECT_EQ(ExportSimpleRange(path), 1);
    EXPECT_EQ(TraceLines().size(), 11u);
}

// Simple: one event per occurrence, none with a rule. Full: iCalendar with the rule,
// vCalendar one event per appointment without it.
TEST_F(ExportTest, CalendarFiles) {
    Seed(Repeating(Timed("2026-11-30", 9, 0, 10, 0, "Daily"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-12-02"));
    Seed(Untimed("2026-12-24", "Single"));
    const std::tuple<const char*, bool, int, std::size_t> cases[] = {{"simple.ics", false, 4, 0},
                                                                     {"simple.vcs", false, 4, 0},
                                                                     {"full.ics", true, 2, 1},
                                                                     {"full.VCS", true, 2, 0}};
    for (const auto& [pszName, bFull, nEvents, nRules] : cases) {
        const std::string path = TempPath(pszName);
        EXPECT_EQ(bFull ? ExportFull(path, Options(), nullptr) : ExportSimpleRange(path), nEvents);
        const std::string text = ReadFileBytes(path);
        EXPECT_EQ(CountOf(text, "BEGIN:VEVENT"), static_cast<std::size_t>(nEvents)) << pszName;
        EXPECT_EQ(CountOf(text, "RRULE:FREQ=DAILY;UNTIL="), nRules) << pszName;
    }
}

// The UIDs of an iCalendar export: one per event, the same in the next export; the days of
// a series written alone carry their date; another user's differ.
TEST_F(ExportTest, CalendarUidsAreStableAcrossExports) {
    Seed(Repeating(Timed("2026-11-30", 9, 0, 10, 0, "Daily"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-12-02"));
    Seed(Untimed("2026-12-24", "Single"));
    const auto uids = [&](bool bFull) {
        const std::string path = TempPath("uids.ics");
        EXPECT_GT(bFull ? ExportFull(path, Options(), nullptr) : ExportSimpleRange(path), 0);
        std::vector<std::string> out;
        std::istringstream in(ReadFileBytes(path));
        for (std::string line; std::getline(in, line);)
            if (line.starts_with("UID:"))
                out.push_back(line.substr(4, line.size() - 5)); // without the CR
        return out;
    };
    const std::vector<std::string> full = uids(true);
    ASSERT_EQ(full.size(), 2u);
    EXPECT_NE(full[0], full[1]);
    EXPECT_EQ(uids(true), full);
    const std::vector<std::string> simple = uids(false);
    EXPECT_EQ(simple, (std::vector<std::string>{full[0] + "-20261130", full[0] + "-20261201",
                                                full[0] + "-20261202", full[1]}));
    EXPECT_EQ(uids(false), simple);
    NewUser("someone else");
    Seed(Untimed("2026-12-24", "Single"));
    const std::vector<std::string> other = uids(true);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_NE(other[0].substr(0, 23), full[1].substr(0, 23));
}

} // namespace
