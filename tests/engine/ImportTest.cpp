// Import against the stand-in host: header rows, bad rows, Record ID updates, duplicates,
// host refusals, the quit request, dry runs and the rows an observer is told of.
#include "engine/Import.h"

#include "engine/RecordFilter.h"
#include "tests/engine/OperationsTestSupport.h"

#include <cerrno>

using namespace optest;

namespace {

// A row of the default simple layout (date, untimed, start, end, private, text, note, alarm,
// alarm time, alarm unit, category, location, repeat), then any further cells.
std::string Simple(const std::string& date, const std::string& start, const std::string& end,
                   const std::string& text, const std::string& unit = "",
                   const std::string& category = "", const std::vector<std::string>& more = {}) {
    std::vector<std::string> cells = {
        date, "",       start, end, "", text, "", unit.empty() ? "" : "x", unit.empty() ? "" : "5",
        unit, category, "",    ""};
    cells.insert(cells.end(), more.begin(), more.end());
    return CsvRow(cells);
}

std::string Header(const std::vector<std::string>& more = {}) {
    std::vector<std::string> cells = {
        "Date",  "Untimed",    "Start Time", "End Time", "Private",  "Text",  "Note",
        "Alarm", "Alarm Time", "Alarm Unit", "Category", "Location", "Repeat"};
    cells.insert(cells.end(), more.begin(), more.end());
    return CsvRow(cells);
}

// Each row's fate: "+line" added, "u" updated, "=" duplicate, "f" filtered, "!" refused.
class CRecordingObserver final : public CImportObserver {
public:
    bool WantsRawRows() const override { return true; }
    void OnRowRejected(const CRejectedRow& row) override { m_vecRejected.push_back(row); }
    void OnAdded(int n, const CAppointment&) override { Note('+', n); }
    void OnUpdated(int n, const CAppointment&) override { Note('u', n); }
    void OnSkippedDuplicate(int n, const CAppointment&) override { Note('=', n); }
    void OnFiltered(int n, const CAppointment&) override { Note('f', n); }
    void OnRefused(int n, const CAppointment&) override { Note('!', n); }

    std::vector<CRejectedRow> m_vecRejected;
    std::vector<std::string> m_vecEvents;

private:
    void Note(char c, int n) { m_vecEvents.push_back(c + std::to_string(n)); }
};

class ImportTest : public COperationsTest {
protected:
    std::string File(const std::string& text, const std::string& name = "in.csv") {
        const std::string path = TempPath(name);
        WriteFileBytes(path, text);
        return path;
    }

    int Import(const std::string& path, CImportObserver* pObserver = nullptr, bool bDry = false) {
        m_stats = {};
        return ImportFile(path, Options(), nullptr, {bDry, pObserver, &m_stats});
    }

    CImportStatistics m_stats;
};

using Strings = std::vector<std::string>;

TEST_F(ImportTest, TheHeaderRowIsSkippedSilently) {
    const std::string path = File(Header() + Simple("01.12.2026", "09:00", "10:00", "one") +
                                  Simple("02.12.2026", "", "", "two"));
    CHeadlessProgress progress;
    EXPECT_EQ(ImportFile(path, Options(), &progress, {false, nullptr, &m_stats}), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_TRUE(m_stats.m_bHeaderSkipped);
    EXPECT_EQ(m_stats.m_nAdded, 2);
    EXPECT_EQ(m_stats.m_nLastLine, 3);
    EXPECT_EQ(All()[0].m_tStart, At("2026-12-01", 9, 0));
    EXPECT_EQ(All()[0].m_tEnd, At("2026-12-01", 10, 0));
    EXPECT_TRUE(All()[1].m_bUntimed);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
    // Less than 256 bytes: the range is 0 units; one position per row.
    EXPECT_EQ(progress.m_nUpper, 0);
    EXPECT_EQ(progress.m_vecPositions.size(), 2u);
}

TEST_F(ImportTest, LaterBadRowsAreReportedWithFileLineAndCell) {
    // Without a header, a bad first row is taken for one and lost without a word.
    const std::string path = File(
        Simple("31.02.2026", "", "", "lost") + Simple("01.12.2026", "", "", "kept") +
        Simple("02.12.2026", "09:00", "10:00", "bad unit", "w") +
        Simple("1.13.2026", "", "", "bad date") + Simple("01.12.2026", "25:99", "", "bad start") +
        Simple("01.12.2026", "", "", "") + Simple("03.12.2026", "", "", "after"));
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(Texts(), (Strings{"kept", "after"}));
    const std::string at = "Error reading " + path + " line ";
    const Strings expected = {
        at + "3\n\"w\"\nInvalid alarm unit. \nMust be d (for days), h (for hours), or m (for "
             "minutes).",
        at + "4\n\"1.13.2026\"\nInvalid date \"1.13.2026\". Expected e.g. \"05.12.2026\"\n(See "
             "Windows Regional Settings)",
        at + "5\n\"25:99\"\nInvalid start time \"25:99\". Expected e.g. \"12:00\"\n(See Windows "
             "Regional Settings)",
        at + "6\nNo appointment text given.", // an empty cell is not shown
    };
    ASSERT_EQ(m_ui.m_vecShown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(m_ui.m_vecShown[i].m_strText, expected[i]);
    EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Stop);
    EXPECT_EQ(m_stats.m_nRejected, 4);
    EXPECT_EQ(m_stats.m_nAdded, 2);
}

TEST_F(ImportTest, CancelStopsWithTheEarlierRowsKept) {
    const std::string path = File(Header() + Simple("01.12.2026", "", "", "kept") +
                                  Simple("02.12.2026", "09:00", "10:00", "bad", "w") +
                                  Simple("03.12.2026", "", "", "never read"));
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(Texts(), (Strings{"kept"}));
    EXPECT_TRUE(m_stats.m_bCancelled);
    EXPECT_EQ(m_stats.m_nLastLine, 3);
}

TEST_F(ImportTest, IgnoreErrorsSkipsBadRowsSilently) {
    Options().m_bIgnoreImportErrors = 1;
    const std::string bad = Simple("02.12.2026", "09:00", "10:00", "bad", "w");
    const std::string path =
        File(Header() + Simple("01.12.2026", "", "", "one") + bad + Simple("xx", "", "", "bad") +
             Simple("03.12.2026", "", "", "two"));
    CRecordingObserver observer;
    EXPECT_EQ(Import(path, &observer), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_EQ(m_stats.m_nRejected, 2);
    ASSERT_EQ(observer.m_vecRejected.size(), 2u);
    const CRejectedRow& row = observer.m_vecRejected[0];
    EXPECT_EQ(row.m_nLine, 3);
    EXPECT_EQ(row.m_nCode, IMPORT_INVALID_ALARM_UNIT);
    EXPECT_EQ(row.m_strCell, "w");
    EXPECT_EQ(row.m_strMessage,
              "Invalid alarm unit. \nMust be d (for days), h (for hours), or m (for minutes).");
    // The row exactly as it stood, for a file of rejected rows.
    EXPECT_EQ(row.m_strRawLine, bad.substr(0, bad.size() - 2));
    EXPECT_EQ(observer.m_vecRejected[1].m_nLine, 4);
    EXPECT_EQ(observer.m_vecRejected[1].m_nCode, IMPORT_INVALID_DATE);
    EXPECT_EQ(observer.m_vecEvents, (Strings{"+2", "+5"}));
}

TEST_F(ImportTest, ARecordIdUpdatesItsAppointment) {
    const LONG nId = Seed(Timed("2026-12-01", 9, 0, 10, 0, "old text"));
    Seed(Timed("2026-12-01", 9, 0, 10, 0, "new text"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    auto row = [](const std::string& text, const std::string& id) {
        return Simple("01.12.2026", "09:00", "10:00", text, "", "", {id});
    };
    // The first row is identical to the second appointment, yet updates the first; the
    // second names an id the datebook does not hold and is added.
    const std::string path = File(Header({"Record ID"}) + row("new text", std::to_string(nId)) +
                                  row("unknown id", "999999") + row("new text", "0"));
    CRecordingObserver observer;
    EXPECT_EQ(Import(path, &observer), 0);
    EXPECT_EQ(Texts(), (Strings{"new text", "new text", "unknown id"}));
    EXPECT_EQ(Narrow(Store().GetAppointment(UserId(), nId).m_strText), "new text");
    EXPECT_EQ(observer.m_vecEvents, (Strings{"u2", "+3", "=4"}));
    EXPECT_EQ(m_stats.m_nUpdated, 1);
    EXPECT_EQ(m_stats.m_nDuplicates, 1);
}

TEST_F(ImportTest, ImportingTwiceWithSkipDuplicatesAddsNothingTheSecondTime) {
    const std::string path = File(Header() + Simple("01.12.2026", "09:00", "10:00", "one") +
                                  Simple("01.12.2026", "09:00", "10:00", "  one  ") +
                                  Simple("02.12.2026", "", "", "two", "", "Work") +
                                  Simple("03.12.2026", "08:00", "08:30", "three", "h"));
    EXPECT_EQ(Import(path), 0);
    // The second row is the first one again (texts are compared trimmed).
    EXPECT_EQ(m_stats.m_nAdded, 3);
    EXPECT_EQ(m_stats.m_nDuplicates, 1);
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(m_stats.m_nAdded, 0);
    EXPECT_EQ(m_stats.m_nDuplicates, 4);
    EXPECT_EQ(All().size(), 3u);

    Options().m_bNoDuplicates = 0;
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(m_stats.m_nAdded, 4);
    EXPECT_EQ(All().size(), 7u);
}

TEST_F(ImportTest, AnEmptyLineEndsTheRun) {
    EXPECT_EQ(Import(File(Header() + Simple("01.12.2026", "", "", "one") + "\r\n" +
                          Simple("02.12.2026", "", "", "not read"))),
              0);
    EXPECT_EQ(Texts(), (Strings{"one"}));
}

TEST_F(ImportTest, AHostRefusalLeavesNoHalfStoredAppointment) {
    OpenHost({{}, false, {{"SetCategory", 2, E_FAIL, "Category list is full."}}});
    const std::string path = File(Header() + Simple("01.12.2026", "", "", "one", "", "A") +
                                  Simple("02.12.2026", "", "", "two", "", "B") +
                                  Simple("03.12.2026", "", "", "three", "", "C"));
    CRecordingObserver observer;
    EXPECT_EQ(Import(path, &observer), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "three"}));
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText, "Can't add the following appointment to Palm "
                                            "Desktop:\n02.12.2026 two\nCategory list is full.");
    EXPECT_EQ(observer.m_vecEvents, (Strings{"+2", "!3", "+4"}));
    EXPECT_EQ(m_stats.m_nRefused, 1);

    // Cancel stops the run there.
    OpenHost({{}, false, {{"SetCategory", 1, E_FAIL, "No."}}});
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    Options().m_bNoDuplicates = 0;
    EXPECT_EQ(Import(path), 0);
    EXPECT_TRUE(m_stats.m_bCancelled);
    EXPECT_EQ(All().size(), 2u);
}

TEST_F(ImportTest, ABadExceptionDateLeavesTheSeriesWithTheEarlierOnes) {
    Options().m_layout.SetRepeatFields(
        {FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL, FIELD_REPEAT_END_DATE, FIELD_EXCEPTIONS});
    const std::string path =
        File(Header({"Repeat Type", "Repeat Interval", "Repeat End Date", "Exceptions"}) +
             CsvRow({"01.12.2026", "x", "", "", "", "series", "", "", "", "", "", "", "x", "Daily",
                     "1", "", "08.12.2026 someday"}));
    CRecordingObserver observer;
    EXPECT_EQ(Import(path, &observer), 0);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 2\n\"08.12.2026 someday\"\nInvalid exception date for repeat "
                  "appointment.\nExpected e.g. \"05.12.2026\"\n(Windows Regional Settings)");
    ASSERT_EQ(All().size(), 1u);
    EXPECT_TRUE(All()[0].IsRepeating());
    EXPECT_EQ(All()[0].m_vecExceptionDays, (std::vector<int>{Day("2026-12-08")}));
    EXPECT_EQ(m_stats.m_nStoreErrors, 1);
    ASSERT_EQ(observer.m_vecRejected.size(), 1u);
    EXPECT_TRUE(observer.m_vecRejected[0].m_bPartlyStored);
}

TEST_F(ImportTest, AQuitRequestStopsWithTheEarlierRowsStored) {
    std::string text = Header();
    for (int i = 1; i <= 6; ++i)
        text += Simple("0" + std::to_string(i) + ".12.2026", "", "", "row " + std::to_string(i));
    // One pump before the rows, then one per row: the fourth pump quits before row 3.
    m_ui.QuitAfterPumps(3);
    EXPECT_EQ(Import(File(text)), 0);
    EXPECT_EQ(Texts(), (Strings{"row 1", "row 2"}));
    EXPECT_TRUE(m_stats.m_bQuit);
    EXPECT_TRUE(m_ui.m_bQuitPosted);
}

TEST_F(ImportTest, AFileThatCannotBeReadGivesMinusOneAndTheReason) {
    errno = 0;
    EXPECT_EQ(Import(TempPath("missing.csv")), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(m_stats.m_strError, "No such file or directory");
    EXPECT_EQ(Import(File("x", "a.xls")), -1);
    EXPECT_NE(m_stats.m_strError.find("spreadsheet"), std::string::npos);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
}

TEST_F(ImportTest, ADryRunTellsWhatARealRunDoesAndChangesNothing) {
    const LONG nId = Seed(Timed("2026-12-01", 9, 0, 10, 0, "existing"));
    Seed(Untimed("2026-12-05", "duplicate"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    Options().m_bIgnoreImportErrors = 1;
    // Rows the filter rejects are neither stored nor reported.
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_CATEGORY_IS_NOT, "home", FILTER_JOIN_NONE);
    auto row = [](const std::string& date, const std::string& text, const std::string& id,
                  const std::string& category = "") {
        return Simple(date, "", "", text, "", category, {id});
    };
    const std::string path =
        File(Header({"Record ID"}) + row("01.12.2026", "updated", std::to_string(nId)) +
             row("05.12.2026", "duplicate", "0") + row("06.12.2026", "new", "0") +
             row("06.12.2026", "new", "0") + row("xx", "bad", "0") + row("07.12.2026", "", "0") +
             row("08.12.2026", "filtered", "0", "Home"));
    CRecordingObserver dry;
    EXPECT_EQ(Import(path, &dry, true), 0);
    const CImportStatistics dryStats = m_stats;
    EXPECT_EQ(All().size(), 2u);
    EXPECT_EQ(Narrow(Store().GetAppointment(UserId(), nId).m_strText), "existing");

    CRecordingObserver real;
    EXPECT_EQ(Import(path, &real), 0);
    EXPECT_EQ(dry.m_vecEvents, real.m_vecEvents);
    EXPECT_EQ(dry.m_vecEvents, (Strings{"u2", "=3", "+4", "=5", "f8"}));
    for (const CImportStatistics* p :
         {&dryStats, static_cast<const CImportStatistics*>(&m_stats)}) {
        EXPECT_EQ(p->m_nAdded, 1);
        EXPECT_EQ(p->m_nUpdated, 1);
        EXPECT_EQ(p->m_nDuplicates, 2);
        EXPECT_EQ(p->m_nRejected, 2);
        EXPECT_EQ(p->m_nFiltered, 1);
    }
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_EQ(Texts(), (Strings{"updated", "duplicate", "new"}));
}

} // namespace
