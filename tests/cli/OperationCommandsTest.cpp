// varno's operations run as a program: export, import, count, remove-all and archive, with
// their flags, messages and exit statuses.
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

#include <filesystem>

using ::testing::HasSubstr;

namespace {

class CliOperations : public CCliTest {
protected:
    // Three appointments in December 2026: a single one, an untimed private one with an
    // accented text, and a weekly series on Mondays through January.
    void SeedDatebook() {
        AddAppointment({"--text", "Dentist", "--date", "2026-12-03", "--start", "08:30", "--end",
                        "09:15", "--category", "Personal", "--alarm", "15m"});
        AddAppointment({"--text", "Café with Zoë", "--date", "2026-12-15", "--private", "--note",
                        "Bring the recipe\nand the book"});
        AddAppointment({"--text", "Gym", "--date", "2026-12-07", "--start", "18:00", "--end",
                        "19:00", "--repeat", "weekly", "--days", "MO", "--until", "2027-01-25"});
    }
};

TEST_F(CliOperations, ExportsEveryFormatAndImportsItBackElsewhere) {
    SeedDatebook();
    EXPECT_EQ(VarnoOk({"count"}).m_strOut, "3 appointments\n");
    // The simple format counts the Mondays of December: 7, 14, 21, 28.
    EXPECT_EQ(VarnoOk({"count", "--simple", "--from", "2026-12-01", "--to", "31.12.2026"}).m_strOut,
              "6 appointments between 01.12.2026 and 31.12.2026\n");
    EXPECT_EQ(VarnoOk({"count", "--simple", "--from", "2026-12-03", "--to", "2026-12-03"}).m_strOut,
              "1 appointment between 03.12.2026 and 03.12.2026\n");

    EXPECT_EQ(VarnoOk({"export", File("full.csv")}).m_strOut,
              "Exported 3 appointments to " + File("full.csv") + " as CSV.\n");
    EXPECT_EQ(VarnoOk({"export", File("simple.csv"), "--simple", "--from", "2026-12-01", "--to",
                       "2026-12-31"})
                  .m_strOut,
              "Exported 6 appointments to " + File("simple.csv") + " as CSV.\n");
    const std::vector<std::string> simple = Lines(ReadFileBytes(File("simple.csv")));
    ASSERT_GE(simple.size(), 2u);
    EXPECT_THAT(simple[0], HasSubstr("\"Date\";\"Untimed\";\"Start Time\""));
    EXPECT_THAT(simple[1], HasSubstr("\"03.12.2026\""));
    EXPECT_THAT(ReadFileBytes(File("simple.csv")), HasSubstr("Caf\xE9 with Zo\xEB")); // 1252

    VarnoOk({"export", File("full.ics"), "--full"});
    EXPECT_THAT(ReadFileBytes(File("full.ics")), HasSubstr("RRULE:FREQ=WEEKLY"));
    VarnoOk(
        {"export", File("simple.vcs"), "--simple", "--from", "2026-12-01", "--to", "2026-12-31"});
    EXPECT_THAT(ReadFileBytes(File("simple.vcs")), HasSubstr("BEGIN:VCALENDAR"));
    if (Varno({"--version"}).m_strOut.find("(.xls): available") != std::string::npos) {
        VarnoOk({"export", File("full.xls")});
        EXPECT_EQ(ReadFileBytes(File("full.xls")).substr(0, 4), "\xD0\xCF\x11\xE0");
    }

    // No temporary file is left beside the exports.
    for (const auto& entry : std::filesystem::directory_iterator(CliHome()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();

    // The full CSV brings all three into another home, once; the second run skips them.
    const std::string other = CliHome() + "/other";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", other});
        return RunProgram(kVarno, args);
    };
    // The other home reads the file with the same punctuation, dates and code page.
    for (const std::vector<std::string>& setting :
         {std::vector<std::string>{"options", "set", "separator", ";"},
          {"regional", "set", "sDate", "."},
          {"regional", "set", "sShortDate", "dd.MM.yyyy"},
          {"regional", "set", "codepage", "1252"}})
        EXPECT_EQ(run(setting).m_nExit, 0);
    EXPECT_EQ(run({"import", File("full.csv")}).m_nExit, 0);
    const CProgramRun again = run({"import", File("full.csv")});
    EXPECT_EQ(again.m_strOut, "Imported " + File("full.csv") +
                                  ": 0 added, 0 updated, 3 skipped as duplicates, 0 rejected.\n");
    EXPECT_EQ(run({"import", File("full.csv"), "--allow-duplicates"}).m_strOut,
              "Imported " + File("full.csv") +
                  ": 3 added, 0 updated, 0 skipped as duplicates, 0 rejected.\n");
    EXPECT_EQ(run({"count"}).m_strOut, "6 appointments\n");
}

TEST_F(CliOperations, ExportLeavesAnExistingFileAloneWhenItCannotWrite) {
    SeedDatebook();
    WriteFileBytes(File("keep.vcs"), "old content");
    VarnoFails({"export", File("keep.vcs"), "--full"}, 2);
    EXPECT_EQ(ReadFileBytes(File("keep.vcs")), "old content");

    const CProgramRun missing = VarnoFails({"export", File("no/such/folder/out.csv")}, 2);
    EXPECT_THAT(missing.m_strErr, HasSubstr("Cannot write"));
    EXPECT_THAT(missing.m_strErr, HasSubstr("No such file or directory"));
    const CProgramRun range =
        VarnoFails({"export", File("out.csv"), "--from", "2026-12-01"}, 2); // full format
    EXPECT_THAT(range.m_strErr, HasSubstr("add --simple"));
    VarnoFails(
        {"export", File("out.csv"), "--simple", "--from", "2026-12-31", "--to", "2026-12-01"}, 2);
    const CProgramRun date = VarnoFails({"count", "--simple", "--from", "2026-13-01"}, 2);
    EXPECT_THAT(date.m_strErr, HasSubstr("Invalid --from date \"2026-13-01\""));
    VarnoFails({"count", "--simple", "--from", "1969-12-31"}, 2);
    VarnoFails({"export", File("out.csv"), "--full", "--simple"}, 2);
    EXPECT_FALSE(std::filesystem::exists(File("out.csv")));
}

TEST_F(CliOperations, ImportReportsBadRowsAndGoesOnUnlessToldToStop) {
    VarnoOk({"options", "set", "separator", ","});
    VarnoOk(
        {"fields", "set", "simple", "Date,Start Time,End Time,Text,Alarm,Alarm Time,Alarm Unit"});
    const std::string csv = "Date,Start Time,End Time,Text,Alarm,Alarm Time,Alarm Unit\r\n"
                            "2026-12-01,10:00,11:00,First,,,\r\n"
                            "2026-12-02,10:00,11:00,Second,x,5,w\r\n"
                            "2026-12-03,25:00,11:00,Third,,,\r\n"
                            "2026-12-04,10:00,11:00,Fourth,,,\r\n";
    WriteFileBytes(File("in.csv"), csv);

    const CProgramRun dry = Varno({"import", File("in.csv"), "--dry-run"});
    EXPECT_EQ(dry.m_nExit, 1);
    EXPECT_EQ(dry.m_strOut, "Dry run of " + File("in.csv") +
                                ", nothing was changed: 2 would be added, 0 updated, 0 skipped "
                                "as duplicates, 2 rejected.\n");
    EXPECT_TRUE(ListAppointments().empty());

    const CProgramRun stop = Varno({"import", File("in.csv"), "--stop-on-error"});
    EXPECT_EQ(stop.m_nExit, 1);
    EXPECT_THAT(stop.m_strErr, HasSubstr("varno: Error reading " + File("in.csv") +
                                         " line 3\n"
                                         "  \"w\"\n"
                                         "  Invalid alarm unit.\n"
                                         "  Must be d (for days), h (for hours), or m (for "
                                         "minutes).\n"));
    EXPECT_THAT(stop.m_strErr, HasSubstr("stopped at line 3"));
    EXPECT_EQ(ListAppointments().size(), 1u);

    const CProgramRun goOn = Varno({"import", File("in.csv")});
    EXPECT_EQ(goOn.m_nExit, 1);
    EXPECT_THAT(goOn.m_strErr, HasSubstr("line 3"));
    EXPECT_THAT(goOn.m_strErr, HasSubstr("line 4\n  \"25:00\"\n  Invalid start time"));
    EXPECT_EQ(goOn.m_strOut, "Imported " + File("in.csv") +
                                 ": 1 added, 0 updated, 1 skipped as duplicates, 2 rejected.\n");
    EXPECT_EQ(ListAppointments().size(), 2u);

    const CProgramRun quiet =
        Varno({"import", File("in.csv"), "--ignore-errors", "--allow-duplicates"});
    EXPECT_EQ(quiet.m_nExit, 1);
    EXPECT_EQ(quiet.m_strErr, "");
    EXPECT_EQ(ListAppointments().size(), 4u);

    VarnoFails({"import", File("missing.csv")}, 2);
    VarnoFails({"import", File("in.csv"), "--ignore-errors", "--stop-on-error"}, 2);
    VarnoFails({"import", File("in.csv"), "--skip-duplicates", "--allow-duplicates"}, 2);
    VarnoFails({"import", File("x.ics")}, 2);
}

TEST_F(CliOperations, RejectsFileHoldsTheRowsAsTheyStoodToMendAndImportAgain) {
    VarnoOk({"options", "set", "separator", ","});
    VarnoOk({"options", "set", "fullformat", "0"});
    VarnoOk({"fields", "set", "simple", "Date,Start Time,End Time,Text,Note"});
    WriteFileBytes(File("in.csv"), "Date,Start Time,End Time,Text,Note\r\n"
                                   "2026-12-01,10:00,11:00,Good,\r\n"
                                   "2026-12-02,9 o'clock,11:00,\"Bad, \"\"quoted\"\"\",\"two\n"
                                   "lines\"\r\n"
                                   "2026-12-03,10:00,11:00\r\n"
                                   "2026-12-04,10:00,99:00,Bad end,\r\n");
    const CProgramRun run =
        Varno({"import", File("in.csv"), "--ignore-errors", "--rejects", File("rejects.csv")});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_THAT(run.m_strOut, HasSubstr("1 added, 0 updated, 0 skipped as duplicates, 3 rejected"));
    EXPECT_THAT(run.m_strOut, HasSubstr("Rejected rows: 3 written to " + File("rejects.csv")));
    const std::string rejects = ReadFileBytes(File("rejects.csv"));
    EXPECT_EQ(rejects,
              "\"Date\",\"Start Time\",\"End Time\",\"Text\",\"Note\",\"Line\",\"Error\"\r\n"
              "2026-12-02,9 o'clock,11:00,\"Bad, \"\"quoted\"\"\",\"two\nlines\",3,"
              "\"Invalid start time \"\"9 o'clock\"\". Expected e.g. \"\"12:00\"\" (See "
              "Windows Regional Settings)\"\r\n"
              "2026-12-03,10:00,11:00,,,5,\"No appointment text given.\"\r\n"
              "2026-12-04,10:00,99:00,Bad end,,6,\"Invalid end time \"\"99:00\"\". Expected e.g. "
              "\"\"12:00\"\" (See Windows Regional Settings)\"\r\n");

    // Mended, the file imports: its header row and the two extra cells are passed over.
    std::string mended = rejects;
    mended.replace(mended.find("9 o'clock"), 9, "09:00");
    mended.replace(mended.find("11:00,,,5"), 9, "11:00,Third,,5");
    mended.replace(mended.find("99:00"), 5, "12:00");
    WriteFileBytes(File("mended.csv"), mended);
    EXPECT_THAT(VarnoOk({"import", File("mended.csv")}).m_strOut,
                HasSubstr("3 added, 0 updated, 0 skipped as duplicates, 0 rejected"));
    EXPECT_EQ(ListAppointments().size(), 4u);

    VarnoFails({"import", File("in.csv"), "--rejects", File("no/folder/r.csv")}, 2);
}

// The simple export with Record IDs imports back with --simple whatever the stored format,
// and nothing moves: the weekly series keeps its first Monday and its rule.
TEST_F(CliOperations, SimpleExportImportsBackWithSimple) {
    SeedDatebook();
    VarnoOk({"fields", "set", "simple",
             "Date,Untimed,Start Time,End Time,Private,Text,Note,Alarm,Alarm Time,Alarm Unit,"
             "Category,Location,Repeat,Record ID"});
    const std::vector<std::string> before = ListAppointments();
    VarnoOk(
        {"export", File("simple.csv"), "--simple", "--from", "2026-12-01", "--to", "2026-12-31"});
    EXPECT_THAT(VarnoOk({"import", File("simple.csv"), "--simple"}).m_strOut,
                HasSubstr("0 added, 6 updated, 0 skipped as duplicates, 0 rejected"));
    EXPECT_EQ(ListAppointments(), before);
    VarnoFails({"import", File("simple.csv"), "--simple", "--full"}, 2);
}

TEST_F(CliOperations, RemoveAllAsksOrNeedsYes) {
    SeedDatebook();
    const CProgramRun refused = VarnoFails({"remove-all"}, 2);
    EXPECT_THAT(refused.m_strErr, HasSubstr("--yes"));
    EXPECT_EQ(ListAppointments().size(), 3u);

    // The simple format makes the Mondays of the range exceptions of the series.
    EXPECT_EQ(
        VarnoOk({"remove-all", "--yes", "--simple", "--from", "2026-12-10", "--to", "2026-12-31"})
            .m_strOut,
        "Removed 1 appointment and 3 occurrences of repeating appointments for user " +
            Lines(Desktop({"users"}).m_strOut).front().substr(2) + ".\n");
    EXPECT_EQ(ListAppointments().size(), 2u);
    EXPECT_THAT(VarnoOk({"remove-all", "--yes"}).m_strOut, HasSubstr("Removed 2 appointments"));
    EXPECT_EQ(VarnoOk({"remove-all", "--yes"}).m_strOut, "Nothing to remove: 0 appointments.\n");
    EXPECT_TRUE(ListAppointments().empty());
}

TEST_F(CliOperations, ArchiveMarksUpToTheDay) {
    SeedDatebook();
    const CProgramRun run = VarnoOk({"archive", "--up-to", "2026-12-05"});
    EXPECT_THAT(run.m_strOut, HasSubstr("3 appointments taking up "));
    EXPECT_THAT(run.m_strOut, HasSubstr("Marked 1 appointment for archival.\nThe appointment will "
                                        "be archived at next HotSync.\n"));
    EXPECT_EQ(ListAppointments().size(), 2u);
    EXPECT_THAT(VarnoOk({"archive", "--up-to", "31.12.2026", "--larger", "9999"}).m_strOut,
                HasSubstr("Marked 0 appointments for archival."));
    EXPECT_EQ(VarnoOk({"options", "set", "minsize", "9999"}).m_strOut, "minsize = 9999\n");
    VarnoFails({"archive", "--up-to", "2026-12-05", "--larger", "50"}, 2);
    VarnoFails({"archive"}, 2);
}

TEST_F(CliOperations, FilterAndFlagsChangeOneRunOnly) {
    SeedDatebook();
    VarnoOk({"filter", "set", "category is:personal", "or", "text contains:CAF\xC3\x89"});
    EXPECT_EQ(VarnoOk({"count"}).m_strOut, "2 appointments\n");
    VarnoOk({"export", File("f.csv"), "--simple", "--from", "2026-12-01", "--to", "2026-12-31"});
    EXPECT_EQ(Lines(ReadFileBytes(File("f.csv"))).size(), 1u + 2u + 1u); // header, 2 rows, note
    // The run's flags are not stored.
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("fullformat = 1\n"));
}

TEST_F(CliOperations, BrokenDatebookIsReportedNotCrashedOn) {
    std::filesystem::create_directories(CliHome() + "/datebook");
    WriteFileBytes(CliHome() + "/datebook/datebook.db", std::string(4096, 'x'));
    const CProgramRun run = VarnoFails({"count"}, 2);
    EXPECT_THAT(run.m_strErr, HasSubstr("Cannot open the datebook"));
    VarnoFails({"export", File("out.csv")}, 2);
    EXPECT_FALSE(std::filesystem::exists(File("out.csv")));
}

} // namespace

namespace {

TEST_F(CliOperations, DialogWithoutADisplaySaysSo) {
    const CProgramRun run = Varno({"dialog"}, {"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(run.m_nExit, 2);
    EXPECT_THAT(run.m_strErr, HasSubstr("needs a display"));
    EXPECT_EQ(run.m_strOut, "");
}

} // namespace
