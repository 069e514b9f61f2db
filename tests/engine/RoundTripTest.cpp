// End to end: a datebook of every kind of appointment exported in the full format and
// imported into an empty user gives back the same appointments; the simple export writes
// one row per occurrence, the count agrees with it and the rows read back as single days.
#include "engine/CountAppointments.h"
#include "engine/Import.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "tests/engine/OperationsTestSupport.h"
#include "tests/spreadsheet/XlsTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include <unistd.h>

using namespace optest;

namespace {

class RoundTripTest : public COperationsTest {
protected:
    void SeedEveryKind() {
        CStoredAppointment meeting =
            Timed("2026-12-03", 9, 15, 10, 45, "Project \"Nord\"; kick-off");
        meeting.m_strNote = U16("line 1\r\nline 2\r\n\r\nline 4");
        meeting.m_bPrivate = meeting.m_bAlarm = true;
        meeting.m_nAlarmAdvance = 15;
        meeting.m_strCategory = U16("Work");
        meeting.m_strLocation = U16("Room 5");
        Seed(meeting);
        CStoredAppointment untimed = Untimed("2026-12-24", "");
        untimed.m_strText = u"Caf\u00E9 Heiligabend";
        untimed.m_bAlarm = true;
        untimed.m_nAlarmUnit = 2;
        untimed.m_nAlarmAdvance = 1;
        Seed(untimed);
        CStoredAppointment night = Timed("2026-10-24", 23, 0, 1, 30, "Night shift");
        night.m_bAlarm = true;
        night.m_nAlarmUnit = 1;
        night.m_nAlarmAdvance = 2;
        Seed(night);
        Seed(Repeating(Timed("2026-11-02", 7, 30, 8, 0, "Every other day"), HOST_REPEAT_DAILY, 2, 0,
                       "2026-12-20"));
        CStoredAppointment weekly =
            Repeating(Timed("2026-11-02", 18, 0, 19, 30, "Choir"), HOST_REPEAT_WEEKLY, 1, 0x12);
        weekly.m_vecExceptionDays = {Day("2026-11-26"), Day("2026-12-28")};
        Seed(weekly);
        Seed(Repeating(Untimed("2026-01-30", "Last Friday"), HOST_REPEAT_MONTHLY_BY_DAY, 1, 5));
        CStoredAppointment monthly =
            Repeating(Untimed("2026-01-31", "Month end"), HOST_REPEAT_MONTHLY_BY_DATE, 1);
        monthly.m_vecExceptionDays = {Day("2026-11-30")};
        Seed(monthly);
        Seed(Repeating(Untimed("2024-02-29", "Leap day"), HOST_REPEAT_YEARLY, 1, 0, "2030-12-31"));
        Seed(Repeating(Timed("2026-12-01", 12, 0, 12, 30, "First Tuesday"),
                       HOST_REPEAT_MONTHLY_BY_DAY, 3, 1));
    }

    std::vector<std::string> Described() {
        std::vector<std::string> out;
        for (const CStoredAppointment& a : All())
            out.push_back(Describe(a));
        std::sort(out.begin(), out.end());
        return out;
    }

    CImportStatistics ImportIntoNewUser(const std::string& path, const std::string& user) {
        NewUser(user);
        CImportStatistics stats;
        EXPECT_EQ(ImportFile(path, Options(), nullptr, {false, nullptr, &stats}), 0);
        EXPECT_EQ(stats.m_nRejected + stats.m_nStoreErrors + stats.m_nRefused, 0)
            << (m_ui.m_vecShown.empty() ? "" : m_ui.m_vecShown[0].m_strText);
        return stats;
    }
};

TEST_F(RoundTripTest, TheFullFormatGivesBackEveryValue) {
    SeedEveryKind();
    const std::vector<std::string> original = Described();
    const std::string path = TempPath("full.csv");
    ASSERT_EQ(ExportFull(path, Options(), nullptr), 9);
    // The cancelled days in the user's short date form, joined by the separator.
    const auto rows = ParseCsv(ReadFileBytes(path));
    const std::size_t nExceptions = 13 + 3;
    ASSERT_EQ(rows[0][nExceptions], "Exceptions");
    std::map<std::string, std::string> exceptions;
    for (const auto& row : rows)
        if (row.size() > nExceptions && !row[nExceptions].empty() && row[5] != "Text")
            exceptions[row[5]] = row[nExceptions];
    EXPECT_EQ(exceptions, (std::map<std::string, std::string>{{"Choir", "26.11.2026 28.12.2026"},
                                                              {"Month end", "30.11.2026"}}));
    const std::string first = ReadFileBytes(path);
    EXPECT_TRUE(ImportIntoNewUser(path, "copy").m_bHeaderSkipped);
    EXPECT_EQ(Described(), original);
    EXPECT_TRUE(m_ui.m_vecShown.empty());

    // And once more without duplicates.
    CImportStatistics stats;
    EXPECT_EQ(ImportFile(path, Options(), nullptr, {false, nullptr, &stats}), 0);
    EXPECT_EQ(stats.m_nDuplicates, 9);
    EXPECT_EQ(Described(), original);

    // The copy exports to the same file.
    const std::string again = TempPath("again.csv");
    ASSERT_EQ(ExportFull(again, Options(), nullptr), 9);
    auto sorted = [](const std::string& text) {
        auto parsed = ParseCsv(text);
        std::sort(parsed.begin(), parsed.end());
        return parsed;
    };
    EXPECT_EQ(sorted(ReadFileBytes(again)), sorted(first));
}

TEST_F(RoundTripTest, TheSameThroughAWorkbook) {
    EnsurePlatformSetup();
    SeedEveryKind();
    const std::vector<std::string> original = Described();
    ASSERT_TRUE(std::any_of(original.begin(), original.end(), [](const std::string& s) {
        return s.find(" except=") != std::string::npos;
    }));
    std::string xlsPath;
    for (const char* pszName : {"full.xls", "full.xlsx"}) {
        SCOPED_TRACE(pszName);
        const std::string path = TempPath(pszName);
        if (xlsPath.empty())
            xlsPath = path;
        ASSERT_EQ(ExportFull(path, Options(), nullptr), 9);
        const std::string user = std::string("from ") + pszName;
        EXPECT_EQ(ImportIntoNewUser(path, user).m_nAdded, 9);
        EXPECT_EQ(Described(), original);
    }
    // The workbook as another program saves it in the .xlsx format imports the same.
    if (!xlstest::HaveSsconvert())
        return;
    const std::string theirs = TempPath("gnumeric.xlsx");
    ASSERT_TRUE(xlstest::Ssconvert(Home(), xlsPath, theirs, "Gnumeric_Excel:xlsx2"));
    EXPECT_EQ(ImportIntoNewUser(theirs, "from gnumeric").m_nAdded, 9);
    EXPECT_EQ(Described(), original);
}

// The exported .xlsx file as openpyxl reads it: the header texts, dates as dates in the
// Date column, times of day in the time columns.
TEST_F(RoundTripTest, AnExportedXlsxOpensInOpenpyxlWithDatesAsDates) {
    EnsurePlatformSetup();
    SeedEveryKind();
    const std::string path = TempPath("out.xlsx");
    ASSERT_EQ(ExportFull(path, Options(), nullptr), 9);
    int nStatus = 0;
    const std::string dump = xlstest::RunCommand("/usr/bin/python3 " VARNO_SOURCE_DIR
                                                 "/tests/spreadsheet/openpyxl_dump.py " +
                                                     xlstest::Quote(path) + " 2>&1",
                                                 nStatus);
    ASSERT_EQ(nStatus, 0) << dump;
    std::map<std::string, std::string> cells;
    std::istringstream in(dump);
    for (std::string kind, r, c, type, value; in >> kind;) {
        if (kind == "S") {
            in >> r >> c;
            continue;
        }
        in >> r >> c >> type >> value;
        cells[r + "," + c] = type + " " + value;
    }
    EXPECT_EQ(cells["1,1"], "s 4400610074006500"); // "Date" as UTF-16LE
    int nDates = 0;
    for (int r = 2; r <= 10; ++r) {
        EXPECT_EQ(cells[std::to_string(r) + ",1"].substr(0, 2), "d ") << r;
        nDates += cells[std::to_string(r) + ",1"].find("T00:00:00") != std::string::npos;
    }
    EXPECT_EQ(nDates, 9);
    // The meeting starts at 09:15: a time cell.
    int nMeeting = 0;
    for (int r = 2; r <= 10; ++r)
        if (cells[std::to_string(r) + ",3"].starts_with("d ") &&
            cells[std::to_string(r) + ",3"].find("09:15") != std::string::npos)
            ++nMeeting;
    EXPECT_EQ(nMeeting, 1) << dump;
}

// The program's export as a spreadsheet or a script on Linux saves it again (python's csv
// module as LibreOffice writes: LF line ends, quotes only where a cell needs them, notes
// over several lines inside quotes) imports every appointment as the export itself does.
TEST_F(RoundTripTest, LfOnlyFilesSavedByOtherProgramsImportEveryAppointment) {
    if (::access("/usr/bin/python3", X_OK) != 0)
        GTEST_SKIP() << "python3 is not installed";
    SeedEveryKind();
    for (const auto& [pszLocale, pszSeparator] :
         {std::pair("de-DE", ";"), std::pair("en-US", ",")}) {
        SCOPED_TRACE(pszLocale);
        SetRegional(pszLocale);
        Options().m_strSeparator = pszSeparator;
        const std::string path = TempPath("full.csv");
        ASSERT_EQ(ExportFull(path, Options(), nullptr), 9);
        const std::string saved = TempPath("saved.csv");
        const std::string command =
            std::string("/usr/bin/python3 -c 'import csv, sys\n"
                        "rows = list(csv.reader(open(sys.argv[1], newline=\"\", "
                        "encoding=\"latin-1\"), delimiter=sys.argv[3]))\n"
                        "csv.writer(open(sys.argv[2], \"w\", newline=\"\", encoding=\"latin-1\"), "
                        "delimiter=sys.argv[3], lineterminator=\"\\n\").writerows(rows)' ") +
            path + " " + saved + " '" + pszSeparator + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string bytes = ReadFileBytes(saved);
        ASSERT_EQ(bytes.find("\r\n"), std::string::npos);
        ASSERT_NE(bytes.find("\"line 1\nline 2\n\nline 4\""), std::string::npos);

        const std::string user = std::string(pszLocale) + " ";
        EXPECT_EQ(ImportIntoNewUser(path, user + "export").m_nAdded, 9);
        const std::vector<std::string> expected = Described();
        EXPECT_EQ(ImportIntoNewUser(saved, user + "saved").m_nAdded, 9);
        EXPECT_EQ(Described(), expected);
    }
}

TEST_F(RoundTripTest, TheSimpleExportWritesEachOccurrenceAndTheCountAgrees) {
    SeedEveryKind();
    // The range runs from 25 November 00:00 to 4 January 23:59.
    Seed(Untimed("2026-11-25", "first day"));
    Seed(Timed("2026-11-24", 23, 0, 1, 0, "overnight before the range"));
    Seed(Untimed("2027-01-04", "last day"));
    Seed(Untimed("2027-01-05", "day after"));
    Options().m_bFullFormat = 0;
    // Every occurrence of the range as the host's own rules give them.
    const int nFrom = desktop::LocalDayOf(Options().GetExportFrom());
    const int nTo = desktop::LocalDayOf(Options().GetExportTo());
    std::vector<std::string> expected;
    for (const CStoredAppointment& a : All()) {
        const CRepeatPattern pattern = a.Pattern();
        for (std::optional<int> d = pattern.FindFirst(nFrom, nTo); d;
             d = pattern.FindFirst(*d + 1, nTo))
            expected.push_back(Iso(*d) + " " + Narrow(a.m_strText));
    }
    std::sort(expected.begin(), expected.end());

    const std::string path = TempPath("simple.csv");
    const int n = ExportSimpleRange(path);
    std::vector<std::string> written;
    const auto rows = ParseCsv(ReadFileBytes(path));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::string& d = rows[i][0]; // dd.mm.yyyy
        written.push_back(d.substr(6, 4) + "-" + d.substr(3, 2) + "-" + d.substr(0, 2) + " " +
                          rows[i][5]);
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);
    EXPECT_EQ(n, static_cast<int>(expected.size()));
    EXPECT_EQ(numAppointments(Options()), n);

    // The count compares a single appointment's start with the range, the export its day.
    CStoredAppointment late = Untimed("2027-01-04", "late");
    late.m_bUntimed = false;
    late.m_tStart = late.m_tEnd = At("2027-01-04", 23, 59, 30);
    Seed(late);
    EXPECT_EQ(numAppointments(Options()), n);
    EXPECT_EQ(ExportSimpleRange(path), n + 1);

    // Imported, every row is an appointment of its own; a second import adds nothing.
    EXPECT_EQ(ImportIntoNewUser(path, "copy").m_nAdded, n + 1);
    for (const CStoredAppointment& a : All())
        EXPECT_FALSE(a.IsRepeating()) << Narrow(a.m_strText);
    CImportStatistics stats;
    EXPECT_EQ(ImportFile(path, Options(), nullptr, {false, nullptr, &stats}), 0);
    EXPECT_EQ(stats.m_nDuplicates, n + 1);
}

} // namespace
