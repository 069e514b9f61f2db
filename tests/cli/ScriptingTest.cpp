// varno in scripts and on files that stop or cut an import silently elsewhere: standard
// input, --quiet and --json (checked by Python's JSON reader), list, --version, the format
// named in the export summary, an empty Date cell with rows after it, rows too long to read
// and notes too long to store.
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

#include <cstdio>
#include <filesystem>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Runs a Python expression over the JSON text (bound to d) and gives the repr of the tuple it
// makes; the JSON reader refuses anything that is not valid JSON.
std::string PythonOnJson(const std::string& json, const std::string& expression) {
    const std::string input = TempPath("summary.json");
    WriteFileBytes(input, json);
    const std::string script =
        "import json,sys; d=json.load(open(sys.argv[1], encoding='utf-8')); print(repr((" +
        expression + ")))";
    const CProgramRun run = RunProgram("/usr/bin/env", {"python3", "-c", script, input});
    EXPECT_EQ(run.m_nExit, 0) << json << run.m_strErr;
    std::string out = run.m_strOut;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class CliScripting : public CCliTest {
protected:
    void SetUp() override {
        CCliTest::SetUp();
        VarnoOk({"options", "set", "separator", ","});
        VarnoOk({"options", "set", "fullformat", "0"});
        VarnoOk({"fields", "set", "simple", "Date,Start Time,End Time,Text,Note"});
    }

    void SeedDatebook() {
        AddAppointment(
            {"--text", "Dentist", "--date", "2026-12-03", "--start", "08:30", "--end", "09:15"});
        AddAppointment({"--text", "Café", "--date", "2026-12-15"});
        AddAppointment({"--text", "Gym", "--date", "2026-12-07", "--start", "18:00", "--end",
                        "19:00", "--repeat", "weekly", "--days", "MO", "--until", "2026-12-21"});
    }
};

// An empty Date cell ends the import; the rows after it are counted in physical lines (a
// note's line breaks too), blank lines at the end are not, and the exit status is 1.
TEST_F(CliScripting, AnEmptyDateStopsTheImportAndSaysSo) {
    const struct {
        const char* m_pszWhat;
        std::string m_strBytes;
        int m_nExit;
        std::string m_strMessage; // empty: none
        std::size_t m_nStored;
    } cases[] = {
        {"rows after it",
         "2026-12-01,10:00,11:00,One,\"two\nlines\"\r\n"
         ",,,Lost,\r\n"
         "2026-12-03,10:00,11:00,Three,\"a\nb\"\r\n"
         "2026-12-04,10:00,11:00,Four,\r\n"
         "\r\n",
         1, "stopped at line 3 (empty date); 3 further lines were not read", 1},
        {"one row after it", "2026-12-01,10:00,11:00,One,\r\n,,,\r\nx\r\n", 1,
         "stopped at line 2 (empty date); 1 further line was not read", 1},
        {"blank lines at the end only", "2026-12-01,10:00,11:00,One,\r\n\r\n,,,\r\n\r\n", 0, "", 1},
        {"LF ends rows", "2026-12-01,10:00,11:00,One,\n\nx\ny\n", 1,
         "stopped at line 2 (empty date); 2 further lines were not read", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        VarnoOk({"remove-all", "--full", "--yes"});
        WriteFileBytes(File("in.csv"), c.m_strBytes);
        const CProgramRun run = Varno({"import", File("in.csv")});
        EXPECT_EQ(run.m_nExit, c.m_nExit) << run.m_strErr;
        if (c.m_strMessage.empty())
            EXPECT_EQ(run.m_strErr, "");
        else
            EXPECT_THAT(run.m_strErr, HasSubstr(File("in.csv") + ": " + c.m_strMessage));
        EXPECT_EQ(ListAppointments().size(), c.m_nStored);
    }

    // The JSON summary tells the same.
    WriteFileBytes(File("in.csv"), "2026-12-01,10:00,11:00,One,\r\n,,,\r\nx\r\ny\r\n");
    const CProgramRun json = Varno({"import", File("in.csv"), "--dry-run", "--json"});
    EXPECT_EQ(json.m_nExit, 1);
    EXPECT_EQ(PythonOnJson(json.m_strOut, "d['stopped_at_line'], d['lines_not_read']"), "(2, 2)");
}

// A row longer than 39,999 bytes is reported once, on its own line, with a short excerpt;
// the rows after it keep their lines and are imported.
TEST_F(CliScripting, ARowTooLongIsReportedOnceAndPassedOver) {
    const std::string longNote(45000, 'n');
    WriteFileBytes(File("in.csv"), "2026-12-01,10:00,11:00,One,\"a\nb\"\r\n"
                                   "2026-12-02,10:00,11:00,Long,\"" +
                                       longNote + "\n" + longNote +
                                       "\"\r\n"
                                       "2026-12-03,10:00,11:00,Three,\r\n"
                                       "2026-12-04,25:00,11:00,Bad,\r\n");
    const CProgramRun run = Varno({"import", File("in.csv")});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_EQ(Occurrences(run.m_strErr, "Error reading"), 2u) << run.m_strErr.substr(0, 2000);
    EXPECT_THAT(run.m_strErr, HasSubstr("line 3\n  \"2026-12-02,10:00,11:00,Long,\"nnnn"));
    EXPECT_THAT(run.m_strErr, HasSubstr("longer than 39,999 bytes"));
    EXPECT_THAT(run.m_strErr, HasSubstr("line 6\n  \"25:00\""));
    EXPECT_LT(run.m_strErr.size(), 2000u);
    EXPECT_THAT(run.m_strOut, HasSubstr("2 added, 0 updated, 0 skipped as duplicates, 2 rejected"));
}

// A note longer than the datebook holds is refused with its row, never stored cut; one of
// exactly the limit is stored.
TEST_F(CliScripting, ANoteTooLongIsRefusedNotCut) {
    const std::string atLimit(32768, 'n');
    // "\n" becomes CR LF in the datebook: 16,384 line breaks make 32,768 + 1 units.
    std::string withBreaks;
    for (int i = 0; i < 16384; ++i)
        withBreaks += "\n";
    withBreaks += "x";
    WriteFileBytes(File("in.csv"), "2026-12-01,10:00,11:00,Fits,\"" + atLimit +
                                       "\"\r\n"
                                       "2026-12-02,10:00,11:00,Cut,\"" +
                                       atLimit +
                                       "x\"\r\n"
                                       "2026-12-03,10:00,11:00,Breaks,\"" +
                                       withBreaks + "\"\r\n");
    const CProgramRun run = Varno({"import", File("in.csv"), "--json"});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_THAT(run.m_strErr, HasSubstr("Error reading " + File("in.csv") + " line 2"));
    EXPECT_THAT(run.m_strErr, HasSubstr("The note has 32769 characters; the datebook holds at "
                                        "most 32,768."));
    EXPECT_EQ(PythonOnJson(run.m_strOut, "d['added'], d['rejected'], [(r['line'], r['code']) "
                                         "for r in d['rejected_rows']]"),
              "(1, 2, [(2, 117), (3, 117)])");
    const std::vector<std::string> stored = ListAppointments();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_THAT(stored[0], HasSubstr("Fits"));
}

// "-" reads standard input in the format --format names; messages name standard input.
TEST_F(CliScripting, StandardInputIsImported) {
    WriteFileBytes(File("in.csv"), "2026-12-01,10:00,11:00,One,\r\n"
                                   "2026-12-02,25:00,11:00,Bad,\r\n");
    const CProgramRun run =
        VarnoReading(File("in.csv"), {"import", "-", "--rejects", File("rejects.csv")});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_THAT(run.m_strErr, HasSubstr("Error reading standard input line 2"));
    EXPECT_THAT(run.m_strOut, HasSubstr("Imported standard input: 1 added"));
    EXPECT_THAT(ReadFileBytes(File("rejects.csv")), HasSubstr("2026-12-02,25:00,11:00,Bad,"));
    EXPECT_EQ(ListAppointments().size(), 1u);

    const CProgramRun csv =
        VarnoReading(File("in.csv"), {"import", "-", "--format", "CSV", "--dry-run", "--quiet"});
    EXPECT_EQ(csv.m_nExit, 1);
    EXPECT_EQ(csv.m_strOut, "");
    EXPECT_THAT(csv.m_strErr, HasSubstr("line 2"));

    const struct {
        std::vector<std::string> m_args;
        const char* m_pszMessage;
    } refused[] = {
        {{"import", "-", "--format", "pdf"}, "--format takes csv, xls or xlsx, not \"pdf\""},
        {{"import", File("in.csv"), "--format", "csv"}, "--format is for standard input"},
        {{"import", "-", "--quiet", "--json"}, "excludes"},
    };
    for (const auto& c : refused)
        EXPECT_THAT(VarnoReading(File("in.csv"), c.m_args).m_strErr, HasSubstr(c.m_pszMessage));
    EXPECT_EQ(ListAppointments().size(), 1u);

    // An empty input imports nothing, cleanly.
    WriteFileBytes(File("empty.csv"), "");
    EXPECT_THAT(VarnoReading(File("empty.csv"), {"import", "-"}).m_strOut,
                HasSubstr("0 added, 0 updated, 0 skipped as duplicates, 0 rejected"));
}

// A workbook arrives on standard input as well, of either kind, when workbooks can be read
// at all; the export summary names the kind its name chose.
TEST_F(CliScripting, StandardInputIsReadAsAWorkbook) {
    if (Varno({"--version"}).m_strOut.find("(.xls): available") == std::string::npos)
        GTEST_SKIP() << "no spreadsheet component";
    SeedDatebook();
    VarnoOk({"options", "set", "fullformat", "1"});
    const struct {
        std::string m_strKind;
        const char* m_pszName;
    } kinds[] = {{"xls", "XLS"}, {"xlsx", "XLSX"}};
    for (const auto& c : kinds) {
        SCOPED_TRACE(c.m_strKind);
        const std::string& kind = c.m_strKind;
        const std::string file = File("all." + kind);
        EXPECT_EQ(VarnoOk({"export", file}).m_strOut,
                  "Exported 3 appointments to " + file + " as " + c.m_pszName + ".\n");
        VarnoOk({"remove-all", "--yes"});
        const CProgramRun run = VarnoReading(file, {"import", "-", "--format", kind});
        EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
        EXPECT_EQ(
            run.m_strOut,
            "Imported standard input: 3 added, 0 updated, 0 skipped as duplicates, 0 rejected.\n");
        EXPECT_EQ(ListAppointments().size(), 3u);
    }
    // Read as CSV, the workbook's bytes are not text: every row is refused, nothing stored.
    VarnoOk({"remove-all", "--yes"});
    EXPECT_NE(VarnoReading(File("all.xls"), {"import", "-"}).m_nExit, 0);
    EXPECT_TRUE(ListAppointments().empty());
}

// Summaries for scripts: --quiet leaves standard output empty, --json writes one object that
// Python reads; the export summary names the format chosen for any name.
TEST_F(CliScripting, QuietAndJsonSummaries) {
    SeedDatebook();
    EXPECT_EQ(VarnoOk({"count", "--quiet"}).m_strOut, "");
    EXPECT_EQ(
        PythonOnJson(VarnoOk({"count", "--full", "--json"}).m_strOut, "d['count'], d['format']"),
        "(3, 'full')");
    const CProgramRun ranged =
        VarnoOk({"count", "--json", "--from", "2026-12-01", "--to", "2026-12-31"});
    EXPECT_EQ(PythonOnJson(ranged.m_strOut, "d['count'], d['from'], d['to']"),
              "(5, '2026-12-01', '2026-12-31')");

    const struct {
        const char* m_pszName;
        const char* m_pszFormat;
    } names[] = {{"x.pdf", "CSV"},
                 {"notes.odt", "CSV"},
                 {"x.ics.bak", "CSV"},
                 {"report.txt", "CSV"},
                 {"all.ics", "iCalendar"}};
    for (const auto& c : names) {
        const std::string file = File(c.m_pszName);
        EXPECT_EQ(VarnoOk({"export", file, "--full"}).m_strOut,
                  "Exported 3 appointments to " + file + " as " + c.m_pszFormat + ".\n");
    }
    EXPECT_THAT(ReadFileBytes(File("x.pdf")), HasSubstr("\"Dentist\""));
    EXPECT_EQ(VarnoOk({"export", File("q.csv"), "--quiet"}).m_strOut, "");
    EXPECT_TRUE(std::filesystem::exists(File("q.csv")));
    EXPECT_EQ(
        PythonOnJson(VarnoOk({"export", File("j.csv"), "--full", "--json"}).m_strOut,
                     "d['written'], d['file_format'], d['format'], d['file'].endswith('j.csv')"),
        "(3, 'CSV', 'full', True)");

    // Errors still reach standard error when the summary is quiet.
    // (A first row that cannot be read is taken for a header: the bad row comes second.)
    WriteFileBytes(File("bad.csv"),
                   "2026-12-01,10:00,11:00,Good,\r\n2026-12-01,25:00,11:00,Bad,\r\n");
    const CProgramRun quiet = Varno({"import", File("bad.csv"), "--quiet"});
    EXPECT_EQ(quiet.m_nExit, 1);
    EXPECT_EQ(quiet.m_strOut, "");
    EXPECT_THAT(quiet.m_strErr, HasSubstr("Invalid start time"));
    VarnoFails({"count", "--quiet", "--json"}, 2);
}

// list writes what an export would: every occurrence in the range (simple), every
// appointment once with its rule (full); the JSON form is read back by Python.
TEST_F(CliScripting, ListShowsWhatAnExportWouldWrite) {
    SeedDatebook();
    const CProgramRun simple =
        VarnoOk({"list", "--simple", "--from", "2026-12-01", "--to", "2026-12-10"});
    EXPECT_EQ(simple.m_strOut, "03.12.2026  08:30 - 09:15  Dentist\n"
                               "07.12.2026  18:00 - 19:00  Gym  [Weekly, until 21.12.2026]\n");
    const std::vector<std::string> full = Lines(VarnoOk({"list", "--full"}).m_strOut);
    ASSERT_EQ(full.size(), 3u);
    EXPECT_THAT(full, ::testing::Contains("15.12.2026  (untimed)  Café"));
    EXPECT_EQ(VarnoOk({"count", "--simple", "--from", "2026-12-01", "--to", "2026-12-31"}).m_strOut,
              "5 appointments between 01.12.2026 and 31.12.2026\n");
    const CProgramRun json =
        VarnoOk({"list", "--simple", "--from", "2026-12-01", "--to", "2026-12-31", "--json"});
    EXPECT_EQ(PythonOnJson(json.m_strOut, "len(d), d[1]['date'], d[1]['start'], d[1]['repeat'], "
                                          "[a['text'] for a in d if a['untimed']]"),
              "(5, '2026-12-07', '18:00', 'Weekly, until 21.12.2026', ['Café'])");
    EXPECT_EQ(VarnoOk({"list", "--simple", "--from", "2027-01-01", "--to", "2027-01-31", "--json"})
                  .m_strOut,
              "[]\n");
    EXPECT_EQ(VarnoOk({"list", "--simple", "--from", "2027-01-01", "--to", "2027-01-31"}).m_strOut,
              "");
    VarnoFails({"list", "--full", "--from", "2026-12-01"}, 2); // the full format has no range
}

TEST_F(CliScripting, VersionNamesTheProgramAndWorkbooks) {
    const CProgramRun run = VarnoOk({"--version"});
    EXPECT_THAT(run.m_strOut, ::testing::MatchesRegex("varno [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                      "Excel workbooks \\(\\.xls\\): (not )?"
                                                      "available\n"));
    EXPECT_THAT(Varno({"--versoin"}).m_strErr, HasSubstr("--version"));
}

} // namespace
