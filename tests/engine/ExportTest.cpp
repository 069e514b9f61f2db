// Export against the stand-in host: the simple and full formats, calendar files, the
// filter, the message pump's quit request, write errors and host failures.
#include "engine/Export.h"

#include "engine/RecordFilter.h"
#include "platform/com/ComError.h"
#include "tests/engine/OperationsTestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

using namespace optest;

namespace {

// Nobody holds the file open with a lock: the export closed it.
bool IsClosed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool bFree = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return bFree;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1))
        ++n;
    return n;
}

class ExportTest : public COperationsTest {
protected:
    std::vector<std::vector<std::string>> Rows(const std::string& path) {
        return ParseCsv(ReadFileBytes(path));
    }
};

TEST_F(ExportTest, AnEmptyDatebookGivesOnlyTheFrame) {
    const std::string csv = TempPath("empty.csv");
    EXPECT_EQ(ExportSimpleRange(csv), 0);
    ASSERT_EQ(Rows(csv).size(), 1u);
    EXPECT_EQ(Rows(csv)[0].size(), 13u);
    EXPECT_EQ(ExportFull(csv, Options(), nullptr), 0);
    EXPECT_EQ(Rows(csv), (std::vector<std::vector<std::string>>{Rows(csv)[0]}));
    EXPECT_EQ(Rows(csv)[0].size(), 25u);
    const std::string ics = TempPath("empty.ics");
    EXPECT_EQ(ExportFull(ics, Options(), nullptr), 0);
    const std::string text = ReadFileBytes(ics);
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\n", 0), 0u);
    EXPECT_EQ(CountOf(text, "BEGIN:VEVENT"), 0u);
    EXPECT_NE(text.find("END:VCALENDAR\r\n"), std::string::npos);
}

TEST_F(ExportTest, SimpleRowsForEveryOccurrenceFullRowsOncePerAppointment) {
    // Mondays from 23 November to 14 December: three of them inside the range, which runs
    // from 25 November 00:00 to 4 January 23:59.
    Seed(Repeating(Timed("2026-11-23", 9, 0, 10, 0, "Jour fixe"), HOST_REPEAT_WEEKLY, 1, 0x02,
                   "2026-12-14"));
    Seed(Untimed("2026-11-24", "day before"));
    Seed(Untimed("2026-11-25", "first day"));
    Seed(Timed("2027-01-04", 23, 59, 23, 59, "last minute"));
    Seed(Untimed("2027-01-05", "day after"));

    const std::string simple = TempPath("simple.csv");
    EXPECT_EQ(ExportSimpleRange(simple), 5);
    const auto rows = Rows(simple);
    std::vector<std::string> days;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        days.push_back(rows[i][0] + " " + rows[i][5]);
        EXPECT_EQ(rows[i].size(), 13u);
    }
    // In the order of the host's list: by start.
    EXPECT_EQ(days, (std::vector<std::string>{"30.11.2026 Jour fixe", "07.12.2026 Jour fixe",
                                              "14.12.2026 Jour fixe", "25.11.2026 first day",
                                              "04.01.2027 last minute"}));
    EXPECT_EQ(rows[1][12], "x"); // the repeat marker stays on each occurrence
    EXPECT_EQ(rows[1][2], "09:00");

    const std::string full = TempPath("full.csv");
    EXPECT_EQ(ExportFull(full, Options(), nullptr), 5);
    const auto fullRows = Rows(full);
    ASSERT_EQ(fullRows.size(), 6u);
    EXPECT_EQ(fullRows[1].size(), 25u);
    EXPECT_EQ(fullRows[1][0], "23.11.2026");
    EXPECT_EQ(fullRows[1][13], "Weekly");
    EXPECT_EQ(fullRows[1][15], "14.12.2026");
    EXPECT_EQ(fullRows[2].size(), 13u);
}

TEST_F(ExportTest, RecordsFailingTheFilterAreLeftOutButCountForProgress) {
    Seed(Untimed("2026-12-01", "keep 1"));
    Seed(Untimed("2026-12-02", "drop"));
    Seed(Untimed("2026-12-03", "Keep 2"));
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_TEXT_STARTS_WITH, "keep", FILTER_JOIN_NONE);
    CHeadlessProgress progress;
    const std::string path = TempPath("filtered.csv");
    EXPECT_EQ(ExportSimpleRange(path, &progress), 2);
    EXPECT_EQ(Rows(path).size(), 3u);
    EXPECT_EQ(progress.m_nLower, 0);
    EXPECT_EQ(progress.m_nUpper, 3);
    EXPECT_EQ(progress.m_vecPositions, (std::vector<int>{0, 1, 2}));
}

TEST_F(ExportTest, RecordsWithoutAStartAreSkipped) {
    CStoredAppointment broken = Timed("2026-12-01", 9, 0, 10, 0, "no start");
    broken.m_tStart = 0;
    broken.m_tEnd = 3600;
    Seed(broken);
    Seed(Untimed("2026-12-01", "fine"));
    const std::string path = TempPath("skip.csv");
    EXPECT_EQ(ExportFull(path, Options(), nullptr), 1);
    EXPECT_EQ(Rows(path).size(), 2u);
}

TEST_F(ExportTest, AFileThatCannotBeOpenedWritesNothing) {
    Seed(Untimed("2026-12-01", "a"));
    CExportOutcome outcome;
    EXPECT_EQ(ExportSimpleRange(TempPath("none/x.csv"), nullptr, &outcome), -1);
    EXPECT_TRUE(outcome.m_bOpenFailed);
    EXPECT_EQ(outcome.m_strError, "No such file or directory");
    EXPECT_EQ(ExportFull(TempPath("none/x.csv"), Options(), nullptr, &outcome), 0);
    EXPECT_TRUE(outcome.m_bOpenFailed);
    const std::string xls = TempPath("a.xls");
    EXPECT_EQ(ExportSimpleRange(xls), -1);
    EXPECT_FALSE(std::filesystem::exists(xls));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(ExportTest, AQuitRequestStopsAfterTheCurrentRecordWithTheFileClosed) {
    for (int i = 1; i <= 5; ++i)
        Seed(Untimed("2026-12-0" + std::to_string(i), "day " + std::to_string(i)));
    for (const bool bFull : {false, true}) {
        SCOPED_TRACE(bFull ? "full" : "simple");
        // One pump before the walk, then one per record: the fourth pump quits.
        m_ui.QuitAfterPumps(3);
        m_ui.m_bQuitPosted = false;
        const std::string path = TempPath("quit.csv");
        CExportOutcome outcome;
        const int n = bFull ? ExportFull(path, Options(), nullptr, &outcome)
                            : ExportSimpleRange(path, nullptr, &outcome);
        EXPECT_EQ(n, 2);
        EXPECT_TRUE(outcome.m_bQuit);
        EXPECT_TRUE(m_ui.m_bQuitPosted);
        EXPECT_TRUE(IsClosed(path));
        const std::string text = ReadFileBytes(path);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        const auto rows = ParseCsv(text);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[2][5], "day 2");
    }
}

TEST_F(ExportTest, AWriteErrorIsShownAndTheFileStillClosed) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    Seed(Untimed("2026-12-01", "a"));
    Seed(Untimed("2026-12-02", "b"));
    CExportOutcome outcome;
    EXPECT_EQ(ExportFull("/dev/full", Options(), nullptr, &outcome), 2);
    EXPECT_TRUE(outcome.m_bWriteFailed);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText.rfind("Error writing file\n", 0), 0u);
    EXPECT_NE(m_ui.m_vecShown[0].m_strText.find("No space left on device"), std::string::npos);
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Stop);
    EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::Ok);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
}

TEST_F(ExportTest, AHostFailureEndsTheExportAndReachesTheCaller) {
    Seed(Untimed("2026-12-01", "a"));
    Seed(Untimed("2026-12-02", "b"));
    OpenHost({{}, false, {{"GetNote", 2, E_FAIL, "gone"}}});
    const std::string path = TempPath("host.csv");
    EXPECT_THROW((void)ExportFull(path, Options(), nullptr), CComError);
    EXPECT_TRUE(IsClosed(path));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
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
    EXPECT_EQ(TraceLines(), (std::vector<std::string>{
                                "Exporting " + path, "openExportFile " + path, "before progress",
                                "after progress", "before writeFullHeader", "After writeFullHeader",
                                "getting rec", "setApp", "Writing line", "getting rec"}));
    // The simple export writes none of its own.
    const std::string simple = TempPath("simple.csv");
    EXPECT_EQ(ExportSimpleRange(simple), 1);
    EXPECT_EQ(TraceLines().size(), 11u);
    EXPECT_EQ(TraceLines().back(), "openExportFile " + simple);
}

TEST_F(ExportTest, CalendarFiles) {
    Seed(Repeating(Timed("2026-11-30", 9, 0, 10, 0, "Daily"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-12-02"));
    Seed(Untimed("2026-12-24", "Single"));
    // Simple: one event per occurrence, none with a rule.
    for (const char* pszName : {"simple.ics", "simple.vcs"}) {
        const std::string path = TempPath(pszName);
        EXPECT_EQ(ExportSimpleRange(path), 4);
        EXPECT_EQ(CountOf(ReadFileBytes(path), "BEGIN:VEVENT"), 4u);
        EXPECT_EQ(CountOf(ReadFileBytes(path), "RRULE"), 0u);
    }
    // Full iCalendar: the rule; full vCalendar: one event per appointment without it.
    const std::string fullIcs = TempPath("full.ics");
    EXPECT_EQ(ExportFull(fullIcs, Options(), nullptr), 2);
    std::string text = ReadFileBytes(fullIcs);
    EXPECT_EQ(CountOf(text, "BEGIN:VEVENT"), 2u);
    EXPECT_NE(text.find("RRULE:FREQ=DAILY;UNTIL="), std::string::npos);
    const std::string fullVcs = TempPath("full.VCS");
    EXPECT_EQ(ExportFull(fullVcs, Options(), nullptr), 2);
    text = ReadFileBytes(fullVcs);
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:1.0\r\n", 0), 0u);
    EXPECT_EQ(CountOf(text, "BEGIN:VEVENT"), 2u);
    EXPECT_EQ(CountOf(text, "RRULE"), 0u);
    EXPECT_EQ(CountOf(text, "SUMMARY;ENCODING=QUOTED-PRINTABLE:Daily"), 1u);
}

} // namespace
