// Import against the stand-in host: header rows, bad rows, Record ID updates, duplicates,
// host refusals, the quit request, dry runs and the rows an observer is told of.
#include "engine/Import.h"

#include "engine/RecordFilter.h"
#include "fields/FieldLayout.h"
#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "tests/engine/OperationsTestSupport.h"
#include "tests/spreadsheet/XlsTestSupport.h"

#include <cerrno>

using namespace optest;

namespace {

using Strings = std::vector<std::string>;

// A row of the default simple layout (date, untimed, start, end, private, text, note, alarm,
// alarm time, alarm unit, category, location, repeat), then any further cells.
std::string Simple(const std::string& date, const std::string& text, const std::string& start = "",
                   const std::string& unit = "", const std::string& category = "",
                   const std::string& more = "") {
    Strings cells = {date, "",   start,    start.empty() ? "" : "23:00",
                     "",   text, "",       unit.empty() ? "" : "x",
                     "5",  unit, category, "",
                     ""};
    if (!more.empty())
        cells.push_back(more);
    return CsvRow(cells);
}

// Any first row that is no appointment is skipped as the header (names of another program:
// a header of the program's own field names places the columns).
const std::string kHeader = CsvRow({"Datum", "Ganztags", "Beginn", "Ende", "Betreff"});

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
    Strings m_vecEvents;

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
    CRecordingObserver m_observer;
};

TEST_F(ImportTest, TheHeaderRowIsSkippedSilentlyAndAnEmptyLineEndsTheRun) {
    const std::string path =
        File(kHeader + Simple("01.12.2026", "one", "09:00") + Simple("02.12.2026", "two") + "\r\n" +
             Simple("03.12.2026", "not read"));
    CHeadlessProgress progress;
    EXPECT_EQ(ImportFile(path, Options(), &progress, {false, nullptr, &m_stats}), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_TRUE(m_stats.m_bHeaderSkipped);
    EXPECT_EQ(All()[0].m_tEnd, At("2026-12-01", 23, 0));
    // Less than 256 bytes: the range is 0 units; one position per row.
    EXPECT_EQ(progress.m_nUpper, 0);
    EXPECT_EQ(progress.m_vecPositions.size(), 2u);
}

TEST_F(ImportTest, LaterBadRowsAreReportedWithFileLineAndCellUntilCancel) {
    // Without a header, a bad first row is taken for one and lost without a word; an empty
    // cell is not shown.
    const std::string path =
        File(Simple("31.02.2026", "lost") + Simple("01.12.2026", "kept") +
             Simple("02.12.2026", "bad unit", "09:00", "w") + Simple("1.13.2026", "bad date") +
             Simple("01.12.2026", "bad start", "25:99") + Simple("01.12.2026", "") +
             Simple("03.12.2026", "after"));
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
        at + "6\nNo appointment text given."};
    Strings shown;
    for (const auto& m : m_ui.m_vecShown)
        shown.push_back(m.m_strText);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
    EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Stop);
    EXPECT_EQ(m_stats.m_nRejected, 4);

    // Cancel stops there, with the earlier rows kept.
    NewUser("cancelled");
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(Texts(), (Strings{"kept"}));
    EXPECT_TRUE(m_stats.m_bCancelled);
}

TEST_F(ImportTest, IgnoreErrorsSkipsBadRowsSilently) {
    Options().m_bIgnoreImportErrors = 1;
    const std::string bad = Simple("02.12.2026", "bad", "09:00", "w");
    EXPECT_EQ(Import(File(kHeader + Simple("01.12.2026", "one") + bad + Simple("xx", "bad") +
                          Simple("03.12.2026", "two")),
                     &m_observer),
              0);
    EXPECT_EQ(Texts(), (Strings{"one", "two"}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    ASSERT_EQ(m_observer.m_vecRejected.size(), 2u);
    const CRejectedRow& row = m_observer.m_vecRejected[0];
    EXPECT_EQ(std::tuple(row.m_nLine, row.m_nCode, row.m_strCell),
              std::tuple(3, IMPORT_INVALID_ALARM_UNIT, std::string("w")));
    EXPECT_EQ(row.m_strMessage,
              "Invalid alarm unit. \nMust be d (for days), h (for hours), or m (for minutes).");
    // The row exactly as it stood, for a file of rejected rows.
    EXPECT_EQ(row.m_strRawLine, bad.substr(0, bad.size() - 2));
    EXPECT_EQ(m_observer.m_vecRejected[1].m_nCode, IMPORT_INVALID_DATE);
    EXPECT_EQ(m_observer.m_vecEvents, (Strings{"+2", "+5"}));
}

// The first row is identical to the second appointment, yet updates the first; the second
// names an id the datebook does not hold and is added; without an id the duplicate test
// applies. Texts are compared trimmed; a second import adds nothing.
TEST_F(ImportTest, RecordIdUpdatesAndDuplicatesAreSkipped) {
    const LONG nId = Seed(Timed("2026-12-01", 9, 0, 23, 0, "old text"));
    Seed(Timed("2026-12-01", 9, 0, 23, 0, "new text"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    const std::string path =
        File(kHeader + Simple("01.12.2026", "new text", "09:00", "", "", std::to_string(nId)) +
             Simple("01.12.2026", "unknown id", "09:00", "", "", "999999") +
             Simple("01.12.2026", " new text ", "09:00", "", "", "0") +
             Simple("02.12.2026", "two", "", "h", "Work", "0"));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(Texts(), (Strings{"new text", "new text", "unknown id", "two"}));
    EXPECT_EQ(Narrow(Store().GetAppointment(UserId(), nId).m_strText), "new text");
    EXPECT_EQ(m_observer.m_vecEvents, (Strings{"u2", "+3", "=4", "+5"}));
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(std::pair(m_stats.m_nAdded, m_stats.m_nDuplicates), std::pair(0, 3));
    EXPECT_EQ(All().size(), 4u);

    Options().m_bNoDuplicates = 0;
    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(m_stats.m_nAdded, 3);
}

TEST_F(ImportTest, AHostRefusalLeavesNoHalfStoredAppointment) {
    OpenHost({{}, false, {{"SetCategory", 2, E_FAIL, "Category list is full."}}});
    const std::string path =
        File(kHeader + Simple("01.12.2026", "one", "", "", "A") +
             Simple("02.12.2026", "two", "", "", "B") + Simple("03.12.2026", "three", "", "", "C"));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "three"}));
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText, "Can't add the following appointment to Palm "
                                            "Desktop:\n02.12.2026 two\nCategory list is full.");
    EXPECT_EQ(m_observer.m_vecEvents, (Strings{"+2", "!3", "+4"}));
    EXPECT_EQ(m_stats.m_nRefused, 1);
}

TEST_F(ImportTest, ABadExceptionDateLeavesTheSeriesWithTheEarlierOnes) {
    Options().m_layout.SetRepeatFields(
        {FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL, FIELD_REPEAT_END_DATE, FIELD_EXCEPTIONS});
    const std::string path =
        File(kHeader + CsvRow({"01.12.2026", "x", "", "", "", "series", "", "", "", "", "", "", "x",
                               "Daily", "1", "", "08.12.2026 someday"}));
    EXPECT_EQ(Import(path, &m_observer), 0);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 2\n\"08.12.2026 someday\"\nInvalid exception date for repeat "
                  "appointment.\nExpected e.g. \"05.12.2026\"\n(Windows Regional Settings)");
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(All()[0].m_vecExceptionDays, (std::vector<int>{Day("2026-12-08")}));
    EXPECT_EQ(m_stats.m_nStoreErrors, 1);
    ASSERT_EQ(m_observer.m_vecRejected.size(), 1u);
    EXPECT_TRUE(m_observer.m_vecRejected[0].m_bPartlyStored);
}

TEST_F(ImportTest, AQuitRequestStopsWithTheEarlierRowsStored) {
    std::string text = kHeader;
    for (int i = 1; i <= 6; ++i)
        text += Simple("0" + std::to_string(i) + ".12.2026", "row " + std::to_string(i));
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
    // UTF-16 text that code page 1252 cannot hold ("日") is refused, not read as nothing.
    const std::string utf16 = File(std::string("\xFF\xFE\xE5\x65", 4));
    EXPECT_EQ(Import(utf16), -1);
    EXPECT_EQ(m_stats.m_strError,
              "The file " + utf16 +
                  " is UTF-16 text and holds characters that the code page 1252 (Western "
                  "European) cannot hold. Set the code page 65001 (UTF-8) (varno regional set "
                  "codepage 65001) or save the file as CSV in code page 1252 (Western European), "
                  "and import it again.");
}

// A header of field names (the program's own, any case and blanks around them, "(Ignored)"
// included) says where each column stands: moved, left out and extra columns read right.
TEST_F(ImportTest, AHeaderOfFieldNamesPlacesTheColumns) {
    const LONG nId = Seed(Untimed("2026-12-01", "old"));
    const std::string path =
        File(CsvRow({"Text", " location ", "(Ignored)", "Date", "Start Time", "Record ID"}) +
             CsvRow({"moved", "Room 5", "junk", "02.12.2026", "09:00", "0"}) +
             CsvRow({"updated", "", "", "01.12.2026", "", std::to_string(nId)}) +
             CsvRow({"bad", "", "", "1.13.2026", "", "0"}));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_TRUE(m_stats.m_bHeaderSkipped);
    EXPECT_EQ(m_observer.m_vecEvents, (Strings{"+2", "u3"}));
    ASSERT_EQ(m_observer.m_vecRejected.size(), 1u);
    EXPECT_EQ(
        std::tuple(m_observer.m_vecRejected[0].m_nLine, m_observer.m_vecRejected[0].m_strCell),
        std::tuple(4, std::string("1.13.2026")));
    const auto all = All();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(Narrow(all[0].m_strText), "updated");
    EXPECT_EQ(Describe(all[1]), Describe([] {
                  CStoredAppointment a = Timed("2026-12-02", 9, 0, 10, 0, "moved");
                  a.m_strLocation = U16("Room 5");
                  return a;
              }()));
}

// Simple-format rows stand for one day of a series: with its Record ID they change the
// series' details, never its first day or its rule (export simple, import back).
TEST_F(ImportTest, SimpleRowsOfASeriesKeepItsFirstDayAndRule) {
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    Options().m_bFullFormat = 0;
    CStoredAppointment series =
        Repeating(Timed("2026-11-02", 18, 0, 19, 30, "Choir"), HOST_REPEAT_WEEKLY, 1, 0x02);
    series.m_vecExceptionDays = {Day("2026-11-30")};
    const LONG nId = Seed(series);
    const LONG nSingle = Seed(Timed("2026-12-03", 8, 0, 9, 0, "Dentist"));
    const std::string path = TempPath("simple.csv");
    ASSERT_GE(ExportSimpleRange(path), 3);
    std::string bytes = ReadFileBytes(path);
    for (std::size_t n = 0; (n = bytes.find("\"Choir\"", n)) != std::string::npos; n += 7)
        bytes.replace(n, 7, "\"Choir practice\"");
    bytes.replace(bytes.find("\"08:00\""), 7, "\"10:00\"");
    bytes.replace(bytes.find("\"09:00\""), 7, "\"11:00\"");
    WriteFileBytes(path, bytes);

    EXPECT_EQ(Import(path), 0);
    EXPECT_EQ(m_stats.m_nAdded, 0);
    series.m_strText = U16("Choir practice");
    series.m_nRecordId = nId;
    EXPECT_EQ(Describe(Store().GetAppointment(UserId(), nId)), Describe(series));
    // A single appointment moves with its row as before.
    EXPECT_EQ(Describe(Store().GetAppointment(UserId(), nSingle)),
              Describe(Timed("2026-12-03", 10, 0, 11, 0, "Dentist")));
}

// A file saved in another code page (Windows-1252 read under UTF-8) is reported row by
// row, naming the cell and the code page; nothing is stored with replacement characters,
// and a first row of such text is reported too, not taken for a header.
TEST_F(ImportTest, TextNotInTheCodePageIsReportedNeverStoredGarbled) {
    SetCodePage(CP_UTF8);
    const std::string path =
        File(Simple("30.11.2026", "M\xFCller") + Simple("01.12.2026", "Caf\xC3\xA9") +
             Simple("02.12.2026", "ok", "", "", "B\xFCro"));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(Texts(), (Strings{"Caf\xE9"}));
    const std::string explanation =
        "The text is not valid in the code page 65001 (UTF-8), in which files are read.\nIf the "
        "file was saved in code page 1252 (Western European), set that code page (varno "
        "regional set codepage 1252) or save the file again in code page 65001 (UTF-8), and "
        "import it again.";
    ASSERT_EQ(m_ui.m_vecShown.size(), 2u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path + " line 1\n\"M\xFCller\"\n" + explanation);
    ASSERT_EQ(m_observer.m_vecRejected.size(), 2u);
    EXPECT_EQ(std::tuple(m_observer.m_vecRejected[1].m_nLine, m_observer.m_vecRejected[1].m_nCode,
                         m_observer.m_vecRejected[1].m_strCell),
              std::tuple(3, IMPORT_INVALID_TEXT, std::string("B\xFCro")));
}

// Rows ended by LF alone, notes over several lines inside quotes, and messages that name
// the line the row starts on.
TEST_F(ImportTest, RowsEndedByLfAloneAndTheLinesMessagesName) {
    const std::string path = File("Datum;Betreff\n"
                                  "01.12.2026;;;;;one;\"line 1\nline 2\"\n"
                                  "02.12.2026;;;;;two\n"
                                  "1.13.2026;;;;;bad\n");
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(Texts(), (Strings{"one", "two"}));
    EXPECT_EQ(Narrow(All()[0].m_strNote), "line 1\r\nline 2");
    ASSERT_EQ(m_observer.m_vecRejected.size(), 1u);
    EXPECT_EQ(m_observer.m_vecRejected[0].m_nLine, 5);
    EXPECT_EQ(m_observer.m_vecRejected[0].m_strRawLine, "1.13.2026;;;;;bad");
    EXPECT_EQ(m_observer.m_vecEvents, (Strings{"+2", "+4"}));
}

// Rows the filter rejects are neither stored nor reported.
TEST_F(ImportTest, ADryRunTellsWhatARealRunDoesAndChangesNothing) {
    const LONG nId = Seed(Untimed("2026-12-01", "existing"));
    Seed(Untimed("2026-12-05", "duplicate"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    Options().m_bIgnoreImportErrors = 1;
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_CATEGORY_IS_NOT, "home", FILTER_JOIN_NONE);
    const std::string path =
        File(kHeader + Simple("01.12.2026", "updated", "", "", "", std::to_string(nId)) +
             Simple("05.12.2026", "duplicate", "", "", "", "0") +
             Simple("06.12.2026", "new", "", "", "", "0") +
             Simple("06.12.2026", "new", "", "", "", "0") + Simple("xx", "bad", "", "", "", "0") +
             Simple("08.12.2026", "filtered", "", "", "Home", "0"));
    CRecordingObserver dry;
    EXPECT_EQ(Import(path, &dry, true), 0);
    EXPECT_EQ(Texts(), (Strings{"existing", "duplicate"}));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(dry.m_vecEvents, (Strings{"u2", "=3", "+4", "=5", "f7"}));
    EXPECT_EQ(m_observer.m_vecEvents, dry.m_vecEvents);
    EXPECT_EQ(dry.m_vecRejected.size() + m_observer.m_vecRejected.size(), 2u);
    EXPECT_TRUE(m_ui.m_vecShown.empty());
    EXPECT_EQ(Texts(), (Strings{"updated", "duplicate", "new"}));
}

// Workbooks made by other programs (python-xlwt .xls, openpyxl .xlsx; both store formulas
// without results), the table starting on sheet row 3. The header is the used range's
// first row and never read as data; the first data row is reported like any other when bad;
// a formula without a result is a cell error, never an empty cell or the end of the data;
// rows are named by the sheet's own numbers.
TEST_F(ImportTest, WorkbookRowsAreCheckedAndNamedByTheirSheetRows) {
    EnsurePlatformSetup();
    Options().m_bIgnoreImportErrors = 1;
    for (const char* pszKind : {"xls", "xlsx"}) {
        SCOPED_TRACE(pszKind);
        const std::string path = TempPath(std::string("foreign.") + pszKind);
        int nStatus = 0;
        const std::string output = xlstest::RunCommand(
            "/usr/bin/python3 " VARNO_SOURCE_DIR "/tests/engine/foreign_workbook.py " +
                xlstest::Quote(path) + " " + pszKind + " 2>&1",
            nStatus);
        ASSERT_EQ(nStatus, 0) << output;
        NewUser(std::string("user ") + pszKind);
        CRecordingObserver observer;
        EXPECT_EQ(Import(path, &observer), 0) << m_stats.m_strError;
        EXPECT_EQ(Texts(), (Strings{"one", "two"}));
        EXPECT_FALSE(m_stats.m_bHeaderSkipped);
        std::vector<std::tuple<int, std::int32_t, std::string>> rejected;
        for (const CRejectedRow& row : observer.m_vecRejected)
            rejected.emplace_back(row.m_nLine, row.m_nCode, row.m_strCell);
        EXPECT_EQ(rejected, (std::vector<std::tuple<int, std::int32_t, std::string>>{
                                {4, IMPORT_INVALID_DATE, "not a date"},
                                {6, IMPORT_INVALID_CELL, "#N/A"},
                                {7, IMPORT_INVALID_CELL, "#N/A"}}));
        EXPECT_EQ(observer.m_vecEvents, (Strings{"+5", "+8"}));
        ASSERT_EQ(observer.m_vecRejected.size(), 3u);
        EXPECT_NE(observer.m_vecRejected[1].m_strMessage.find("formula"), std::string::npos);
    }
}

// A workbook's header of field names places its columns as a CSV header does, though the
// header row is never read as data (its rows keep the sheet's numbers).
TEST_F(ImportTest, AWorkbookHeaderOfFieldNamesPlacesTheColumns) {
    EnsurePlatformSetup();
    for (const char* pszKind : {"xls", "xlsx"}) {
        SCOPED_TRACE(pszKind);
        const std::string path = TempPath(std::string("moved.") + pszKind);
        int nStatus = 0;
        const std::string output = xlstest::RunCommand(
            "/usr/bin/python3 " VARNO_SOURCE_DIR "/tests/engine/foreign_workbook.py " +
                xlstest::Quote(path) + " " + pszKind + " moved 2>&1",
            nStatus);
        ASSERT_EQ(nStatus, 0) << output;
        NewUser(std::string("moved ") + pszKind);
        EXPECT_EQ(Import(path, &m_observer), 0) << m_stats.m_strError;
        EXPECT_FALSE(m_stats.m_bHeaderSkipped);
        const auto all = All();
        ASSERT_EQ(all.size(), 2u);
        EXPECT_EQ(Describe(all[0]), Describe([] {
                      CStoredAppointment a = Timed("2026-12-02", 9, 0, 10, 30, "moved");
                      a.m_strLocation = U16("Room 5");
                      return a;
                  }()));
        EXPECT_EQ(Describe(all[1]), Describe(Untimed("2026-12-03", "second")));
    }
}

// Through its Record ID an untimed appointment becomes the timed one of the row: the same
// appointment as the row gives when it is new.
TEST_F(ImportTest, AnUntimedAppointmentUpdatedToATimedOneTakesTheRowsTimes) {
    const LONG nId = Seed(Untimed("2026-12-01", "all day"));
    Options().m_layout.AddSimpleField(FIELD_RECORD_ID);
    auto row = [](const std::string& id) {
        return CsvRow({"03.12.2026", "", "09:15", "10:45", "", "timed", "note", "", "", "", "Work",
                       "Room 1", "", id});
    };
    EXPECT_EQ(Import(File(kHeader + row(std::to_string(nId)))), 0);
    EXPECT_EQ(m_stats.m_nUpdated, 1);
    const CStoredAppointment updated = Store().GetAppointment(UserId(), nId);
    EXPECT_EQ(updated.m_tStart, At("2026-12-03", 9, 15));
    EXPECT_EQ(updated.m_tEnd, At("2026-12-03", 10, 45));

    NewUser("fresh");
    EXPECT_EQ(Import(File(kHeader + row("0"))), 0);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(Describe(updated), Describe(All()[0]));
}

// 1 January 1970 passes the year window but lies before the datebook's first day, which
// every operation lists from: refused like a day after 2031, with the invalid date message.
TEST_F(ImportTest, DaysOutsideTheDatebookAreInvalidDates) {
    const std::string path =
        File(kHeader + Simple("01.01.1970", "new year 1970") + Simple("01.01.70", "two digits") +
             Simple("02.01.1970", "first day") + Simple("01.01.2032", "too late") +
             Simple("31.12.2031", "last"));
    EXPECT_EQ(Import(path, &m_observer), 0);
    EXPECT_EQ(Texts(), (Strings{"first day", "last"}));
    Strings codes;
    for (const CRejectedRow& row : m_observer.m_vecRejected)
        codes.push_back(std::to_string(row.m_nLine) + ":" + std::to_string(row.m_nCode));
    EXPECT_EQ(codes, (Strings{"2:101", "3:101", "5:101"}));
    ASSERT_EQ(m_ui.m_vecShown.size(), 3u);
    EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
              "Error reading " + path +
                  " line 2\n\"01.01.1970\"\nInvalid date \"01.01.1970\". Expected e.g. "
                  "\"05.12.2026\"\n(See Windows Regional Settings)");
}

} // namespace
