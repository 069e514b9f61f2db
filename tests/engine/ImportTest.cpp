// Import against the stand-in host: header rows, bad rows, Record ID updates, duplicates,
// host refusals, the quit request, dry runs and the rows an observer is told of.
#include "engine/Import.h"

#include "engine/Export.h"
#include "engine/RecordFilter.h"
#include "model/Appointment.h"
#include "tests/engine/OperationsTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <initializer_list>

using namespace optest;

namespace {

// One CSV row of the program's dialect.
std::string Row(std::initializer_list<std::string> cells) {
    std::string out;
    for (const std::string& cell : cells) {
        if (!out.empty())
            out += ';';
        out += '"' + cell + '"';
    }
    return out + "\r\n";
}

// A row of the default simple layout: date, untimed, start, end, private, text, note,
// alarm, alarm time, alarm unit, category, location, repeat.
std::string Simple(const std::string& date, const std::string& start, const std::string& end,
                   const std::string& text, const std::string& alarmUnit = "",
                   const std::string& category = "") {
    return Row({date, "", start, end, "", text, "", alarmUnit.empty() ? "" : "x",
                alarmUnit.empty() ? "" : "5", alarmUnit, category, "", ""});
}

const std::string kHeader =
    Row({"Date", "Untimed", "Start Time", "End Time", "Private", "Text", "Note", "Alarm",
         "Alarm Time", "Alarm Unit", "Category", "Location", "Repeat"});

class RecordingObserver final : public CImportObserver {
public:
    bool WantsRawRows() const override { return m_bRaw; }
    void OnRowRejected(const CRejectedRow& row) override { m_vecRejected.push_back(row); }
    void OnAdded(int nLine, const CAppointment&) override { m_vecEvents.push_back("+" + L(nLine)); }
    void OnUpdated(int nLine, const CAppointment&) override {
        m_vecEvents.push_back("u" + L(nLine));
    }
    void OnSkippedDuplicate(int nLine, const CAppointment&) override {
        m_vecEvents.push_back("=" + L(nLine));
    }
    void OnFiltered(int nLine, const CAppointment&) override {
        m_vecEvents.push_back("f" + L(nLine));
    }
    void OnRefused(int nLine, const CAppointment&) override {
        m_vecEvents.push_back("!" + L(nLine));
    }

    bool m_bRaw = false;
    std::vector<CRejectedRow> m_vecRejected;
    std::vector<std::string> m_vecEvents;

private:
    static std::string L(int n) { return std::to_string(n); }
};

class ImportTest : public COperationsTest {
protected:
    std::string File(const std::string& text, const std::string& name = "in.csv") {
        const std::string path = TempPath(name);
        WriteFileBytes(path, text);
        return path;
    }

    int Import(const std::string& path, CImportStatistics* pStats = nullptr,
               CImportObserver* pObserver = nullptr, bool bDryRun = false) {
        CImportRun run;
        run.m_pStatistics = pStats;
        run.m_pObserver = pObserver;
        run.m_bDryRun = bDryRun;
        return ImportFile(path, Options(), nullptr, run);
    }

    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const CStoredAppointment& a : All())
            texts.push_back(Narrow(a.m_strText));
        return texts;
    }

    void SwitchToNewUser(const std::string& name) {
        Store().SetCurrentUser(Store().AddUser(name).m_nId);
    }
};

TEST_F(ImportTest, TheHeaderRowIsSkippedSilently) {
    const std::string path = File(kHeader + Simple("01.12.2026", "09:00", "10:00", "one") +
                                  Simple("02.12.2026", "", "", "two"));
    CImportStatistics stats;
    CHeadlessProgress progress;
    EXPECT_EQ(ImportFile(path, Options(), &progress, {false, nullptr, &stats}), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_TRUE(stats.m_bHeaderSkipped);
    EXPECT_EQ(stats.m_nRows, 2);
    EXPECT_EQ(stats.m_nAdded, 2);
    EXPECT_EQ(stats.m_nLastLine, 3);
    const std::vector<CStoredAppointment> all = All();
    EXPECT_EQ(all[0].m_tStart, At("2026-12-01", 9, 0));
    EXPECT_EQ(all[0].m_tEnd, At("2026-12-01", 10, 0));
    EXPECT_TRUE(all[1].m_bUntimed);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
    // Less than 256 bytes: the range is 0 units; one position per row.
    EXPECT_EQ(progress.m_nUpper, 0);
    EXPECT_EQ(progress.m_vecPositions.size(), 2u);
}

TEST_F(ImportTest, LaterBadRowsAreReportedWithFileLineAndCell) {
    // Without a header, a bad first row is taken for one and lost without a word.
    const std::string path =
        File(Simple("31.02.2026", "", "", "lost") + Simple("01.12.2026", "", "", "kept") +
             Simple("02.12.2026", "09:00", "10:00", "bad unit", "w") +
             Simple("03.12.2026", "", "", "after"));
    m_ui.ScriptAnswers({EMessageAnswer::Ok});
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"kept", "after"}));
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 3\n\"w\"\nInvalid alarm unit. \nMust be d (for days), h (for hours), "
                  "or m (for minutes).");
    EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Stop);
    EXPECT_EQ(stats.m_nRejected, 1);
    EXPECT_EQ(stats.m_nAdded, 2);
}

TEST_F(ImportTest, TheMessagesExplainEachCode) {
    const std::string path =
        File(kHeader + Simple("1.13.2026", "", "", "bad date") +
             Simple("01.12.2026", "25:99", "", "bad start") + Simple("01.12.2026", "", "", ""));
    m_ui.ScriptAnswers({EMessageAnswer::Ok, EMessageAnswer::Ok, EMessageAnswer::Ok});
    EXPECT_EQ(Import(path), 0);
    ASSERT_EQ(m_ui.m_vecShown.size(), 3u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 2\n\"1.13.2026\"\nInvalid date \"1.13.2026\". Expected e.g. "
                  "\"05.12.2026\"\n(See Windows Regional Settings)");
    EXPECT_EQ(m_ui.m_vecShown[1].m_strText,
              "Error reading " + path +
                  " line 3\n\"25:99\"\nInvalid start time \"25:99\". Expected e.g. \"12:00\"\n(See "
                  "Windows Regional Settings)");
    // An empty cell is not shown.
    EXPECT_EQ(m_ui.m_vecShown[2].m_strText,
              "Error reading " + path + " line 4\nNo appointment text given.");
    EXPECT_TRUE(All().empty());
}

TEST_F(ImportTest, CancelStopsWithTheEarlierRowsKept) {
    const std::string path = File(kHeader + Simple("01.12.2026", "", "", "kept") +
                                  Simple("02.12.2026", "09:00", "10:00", "bad", "w") +
                                  Simple("03.12.2026", "", "", "never read"));
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"kept"}));
    EXPECT_TRUE(stats.m_bCancelled);
    EXPECT_EQ(stats.m_nLastLine, 3);
}

TEST_F(ImportTest, IgnoreErrorsSkipsBadRowsSilently) {
    Options().m_bIgnoreImportErrors = 1;
    const std::string path =
        File(kHeader + Simple("01.12.2026", "", "", "one") +
             Simple("02.12.2026", "09:00", "10:00", "bad", "w") + Simple("xx", "", "", "bad") +
             Simple("03.12.2026", "", "", "two"));
    RecordingObserver observer;
    observer.m_bRaw = true;
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats, &observer), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_EQ(stats.m_nRejected, 2);
    ASSERT_EQ(observer.m_vecRejected.size(), 2u);
    const CRejectedRow& row = observer.m_vecRejected[0];
    EXPECT_EQ(row.m_nLine, 3);
    EXPECT_EQ(row.m_nCode, IMPORT_INVALID_ALARM_UNIT);
    EXPECT_EQ(row.m_strCell, "w");
    EXPECT_EQ(row.m_strMessage,
              "Invalid alarm unit. \nMust be d (for days), h (for hours), or m (for minutes).");
    // The row exactly as it stood, for a file of rejected rows.
    const std::string line = Simple("02.12.2026", "09:00", "10:00", "bad", "w");
    EXPECT_EQ(row.m_strRawLine, line.substr(0, line.size() - 2));
    EXPECT_EQ(observer.m_vecRejected[1].m_nLine, 4);
    EXPECT_EQ(observer.m_vecRejected[1].m_nCode, IMPORT_INVALID_DATE);
    EXPECT_EQ(observer.m_vecEvents, (std::vector<std::string>{"+2", "+5"}));
}

TEST_F(ImportTest, ARecordIdUpdatesItsAppointment) {
    const LONG nId = Seed(Timed("2026-12-01", 9, 0, 10, 0, "old text"));
    Seed(Timed("2026-12-01", 9, 0, 10, 0, "new text"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    const std::string header = kHeader.substr(0, kHeader.size() - 2) + ";\"Record ID\"\r\n";
    auto row = [](const std::string& text, const std::string& id) {
        const std::string r = Simple("01.12.2026", "09:00", "10:00", text);
        return r.substr(0, r.size() - 2) + ";\"" + id + "\"\r\n";
    };
    // The first row is identical to the second appointment, yet updates the first; the
    // second names an id the datebook does not hold and is added.
    const std::string path = File(header + row("new text", std::to_string(nId)) +
                                  row("unknown id", "999999") + row("new text", "0"));
    RecordingObserver observer;
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats, &observer), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"new text", "new text", "unknown id"}));
    EXPECT_EQ(Narrow(Store().GetAppointment(UserId(), nId).m_strText), "new text");
    EXPECT_EQ(observer.m_vecEvents, (std::vector<std::string>{"u2", "+3", "=4"}));
    EXPECT_EQ(stats.m_nUpdated, 1);
    EXPECT_EQ(stats.m_nDuplicates, 1);
}

TEST_F(ImportTest, ImportingTwiceWithSkipDuplicatesAddsNothingTheSecondTime) {
    const std::string path = File(kHeader + Simple("01.12.2026", "09:00", "10:00", "one") +
                                  Simple("01.12.2026", "09:00", "10:00", "  one  ") +
                                  Simple("02.12.2026", "", "", "two", "", "Work") +
                                  Simple("03.12.2026", "08:00", "08:30", "three", "h"));
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    // The second row is the first one again (texts are compared trimmed).
    EXPECT_EQ(stats.m_nAdded, 3);
    EXPECT_EQ(stats.m_nDuplicates, 1);
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(stats.m_nAdded, 0);
    EXPECT_EQ(stats.m_nDuplicates, 4);
    EXPECT_EQ(All().size(), 3u);

    Options().m_bNoDuplicates = 0;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(stats.m_nAdded, 4);
    EXPECT_EQ(All().size(), 7u);
}

TEST_F(ImportTest, AnEmptyLineEndsTheRun) {
    const std::string path = File(kHeader + Simple("01.12.2026", "", "", "one") + "\r\n" +
                                  Simple("02.12.2026", "", "", "not read"));
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"one"}));
}

TEST_F(ImportTest, AHostRefusalLeavesNoHalfStoredAppointment) {
    OpenHost({{}, false, {{"SetCategory", 2, E_FAIL, "Category list is full."}}});
    const std::string path = File(kHeader + Simple("01.12.2026", "", "", "one", "", "A") +
                                  Simple("02.12.2026", "", "", "two", "", "B") +
                                  Simple("03.12.2026", "", "", "three", "", "C"));
    m_ui.ScriptAnswers({EMessageAnswer::Ok});
    RecordingObserver observer;
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats, &observer), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"one", "three"}));
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Can't add the following appointment to Palm Desktop:\n02.12.2026 two\nCategory "
              "list is full.");
    EXPECT_EQ(observer.m_vecEvents, (std::vector<std::string>{"+2", "!3", "+4"}));
    EXPECT_EQ(stats.m_nRefused, 1);

    // Cancel stops the run there.
    OpenHost({{}, false, {{"SetCategory", 1, E_FAIL, "No."}}});
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    Options().m_bNoDuplicates = 0;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_TRUE(stats.m_bCancelled);
    EXPECT_EQ(All().size(), 2u);
}

TEST_F(ImportTest, AnExceptionDateThatIsNoDateShowsTodaysDate) {
    const std::string header =
        kHeader.substr(0, kHeader.size() - 2) +
        ";\"Repeat Type\";\"Repeat Interval\";\"Repeat End Date\";\"Exceptions\"\r\n";
    Options().m_layout.SetRepeatFields(
        {FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL, FIELD_REPEAT_END_DATE, FIELD_EXCEPTIONS});
    const std::string row = Row({"01.12.2026", "x", "", "", "", "series", "", "", "", "", "", "",
                                 "x", "Daily", "1", "", "08.12.2026 someday"});
    const std::string path = File(header + row);
    RecordingObserver observer;
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats, &observer), 0);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 2\n\"08.12.2026 someday\"\nInvalid exception date for repeat "
                  "appointment.\nExpected e.g. \"05.12.2026\"\n(Windows Regional Settings)");
    // The series stands with the exceptions before the bad one.
    ASSERT_EQ(All().size(), 1u);
    EXPECT_TRUE(All()[0].IsRepeating());
    EXPECT_EQ(All()[0].m_vecExceptionDays, (std::vector<int>{Day("2026-12-08")}));
    EXPECT_EQ(stats.m_nStoreErrors, 1);
    ASSERT_EQ(observer.m_vecRejected.size(), 1u);
    EXPECT_TRUE(observer.m_vecRejected[0].m_bPartlyStored);
}

TEST_F(ImportTest, AQuitRequestStopsWithTheEarlierRowsStored) {
    std::string text = kHeader;
    for (int i = 1; i <= 6; ++i)
        text += Simple("0" + std::to_string(i) + ".12.2026", "", "", "row " + std::to_string(i));
    const std::string path = File(text);
    // One pump before the rows, then one per row: the fourth pump quits before row 3.
    m_ui.QuitAfterPumps(3);
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"row 1", "row 2"}));
    EXPECT_TRUE(stats.m_bQuit);
    EXPECT_TRUE(m_ui.m_bQuitPosted);
}

TEST_F(ImportTest, AFileThatCannotBeReadGivesMinusOneAndTheReason) {
    CImportStatistics stats;
    errno = 0;
    EXPECT_EQ(Import(TempPath("missing.csv"), &stats), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(stats.m_strError, "No such file or directory");
    const std::string xls = File("x", "a.xls");
    EXPECT_EQ(Import(xls, &stats), -1);
    EXPECT_NE(stats.m_strError.find("spreadsheet"), std::string::npos);
    EXPECT_EQ(m_ui.m_nWaitDepth, 0);
}

TEST_F(ImportTest, RowsTheFilterRejectsAreNeitherStoredNorReported) {
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_CATEGORY_IS, "work", FILTER_JOIN_NONE);
    const std::string path = File(kHeader + Simple("01.12.2026", "", "", "a", "", "Work") +
                                  Simple("02.12.2026", "", "", "b", "", "Home"));
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a"}));
    EXPECT_EQ(stats.m_nFiltered, 1);
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(ImportTest, ASimpleExportReadsBackAsSingleDays) {
    Seed(Repeating(Timed("2026-11-30", 9, 0, 10, 0, "stand-up"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-12-02"));
    const std::string path = TempPath("simple.csv");
    ASSERT_EQ(
        ExportSimple(path, Options().GetExportFrom(), Options().GetExportTo(), Options(), nullptr),
        3);
    SwitchToNewUser("copy");
    Options().m_bFullFormat = 0;
    CImportStatistics stats;
    EXPECT_EQ(Import(path, &stats), 0);
    const std::vector<CStoredAppointment> all = All();
    ASSERT_EQ(all.size(), 3u);
    for (const CStoredAppointment& a : all)
        EXPECT_FALSE(a.IsRepeating());
    EXPECT_EQ(IsoOf(all[2].m_tStart), "2026-12-02");
    EXPECT_EQ(Import(path, &stats), 0);
    EXPECT_EQ(stats.m_nDuplicates, 3);
    EXPECT_EQ(All().size(), 3u);
}

TEST_F(ImportTest, ADryRunTellsWhatARealRunDoesAndChangesNothing) {
    const LONG nId = Seed(Timed("2026-12-01", 9, 0, 10, 0, "existing"));
    Seed(Untimed("2026-12-05", "duplicate"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    Options().m_bIgnoreImportErrors = 1;
    auto row = [](const std::string& date, const std::string& text, const std::string& id) {
        const std::string r = Simple(date, "", "", text);
        return r.substr(0, r.size() - 2) + ";\"" + id + "\"\r\n";
    };
    const std::string path =
        File(kHeader + row("01.12.2026", "updated", std::to_string(nId)) +
             row("05.12.2026", "duplicate", "0") + row("06.12.2026", "new", "0") +
             row("06.12.2026", "new", "0") + row("xx", "bad", "0") + row("07.12.2026", "", "0"));
    RecordingObserver dry;
    CImportStatistics dryStats;
    EXPECT_EQ(Import(path, &dryStats, &dry, true), 0);
    EXPECT_EQ(All().size(), 2u);
    EXPECT_EQ(Narrow(Store().GetAppointment(UserId(), nId).m_strText), "existing");

    RecordingObserver real;
    CImportStatistics realStats;
    EXPECT_EQ(Import(path, &realStats, &real), 0);
    EXPECT_EQ(dry.m_vecEvents, real.m_vecEvents);
    EXPECT_EQ(dry.m_vecEvents, (std::vector<std::string>{"u2", "=3", "+4", "=5"}));
    EXPECT_EQ(dryStats.m_nAdded, realStats.m_nAdded);
    EXPECT_EQ(dryStats.m_nUpdated, realStats.m_nUpdated);
    EXPECT_EQ(dryStats.m_nDuplicates, realStats.m_nDuplicates);
    EXPECT_EQ(dryStats.m_nRejected, 2);
    EXPECT_EQ(realStats.m_nRejected, 2);
    EXPECT_EQ(All().size(), 3u);
}

} // namespace
