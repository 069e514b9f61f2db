// varno's settings commands run as a program: options, fields, filter, saved sets and
// regional settings, the values they accept and the ones they refuse with a message.
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using CliSettings = CCliTest;

TEST_F(CliSettings, OptionsShowSetAndReset) {
    const std::string shown = VarnoOk({"options", "show"}).m_strOut;
    EXPECT_THAT(shown, HasSubstr("minsize = 1000\nnoduplicates = 1\nfullformat = 1\n"));
    EXPECT_THAT(shown, HasSubstr("separator = \";\"\nquote = \"\\\"\"\n"
                                 "exceptiondateseparator = \" \"\n"));
    EXPECT_THAT(shown, HasSubstr("exportfrom = 25.11.2026\nexportto = 04.01.2027\n"));

    const std::pair<std::vector<std::string>, std::string> accepted[] = {
        {{"fullformat", "no"}, "fullformat = 0\n"},
        {{"NoDuplicates", "OFF"}, "noduplicates = 0\n"},
        {{"datewithtime", "true"}, "datewithtime = 1\n"},
        {{"defaultapptlength", "999"}, "defaultapptlength = 999\n"},
        {{"defaultapptlength", "1"}, "defaultapptlength = 1\n"},
        {{"separator", "\\t"}, "separator = \"\\t\"\n"},
        {{"quote", "'"}, "quote = \"'\"\n"},
        {{"exceptiondateseparator", ";"}, "exceptiondateseparator = \";\"\n"},
        {{"daysback", "--", "-3"}, "daysback = -3\n"},
        {{"exportto", "2026-12-31"}, "exportto = 31.12.2026\n"},
        {{"lastfile", "/tmp/K\xC3\xB6ln $HOME.csv"},
         "lastfile = \"/tmp/K\xC3\xB6ln \\$HOME.csv\"\n"},
        {{"minsize", "100"}, "minsize = 100\n"},
    };
    for (const auto& [args, expected] : accepted) {
        std::vector<std::string> command = {"options", "set"};
        command.insert(command.end(), args.begin(), args.end());
        EXPECT_EQ(VarnoOk(command).m_strOut, expected) << args.front();
    }
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut,
                HasSubstr("daysahead = 26\ndaysback = -3\n"));

    const std::vector<std::string> refused[] = {
        {"defaultapptlength", "0"},
        {"defaultapptlength", "1000"},
        {"defaultapptlength", "ten"},
        {"exceptiondateseparator", "ab"},
        {"exceptiondateseparator", "5"},
        {"exceptiondateseparator", "."},
        {"fullformat", "maybe"},
        {"minsize", "99"},
        {"minsize", "10000"},
        {"separator", ""},
        {"separator", ";;"},
        {"quote", "''"},
        {"separator", "'"},
        {"daysahead", "99999"},
        {"settitle", "x"},
        {"colour", "red"},
        {"exportfrom", "31.02.2026"},
    };
    for (const std::vector<std::string>& args : refused) {
        std::vector<std::string> command = {"options", "set"};
        command.insert(command.end(), args.begin(), args.end());
        VarnoFails(command, 2);
    }
    EXPECT_THAT(VarnoFails({"options", "set", "defaultapptlength", "0"}, 2).m_strErr,
                HasSubstr("from 1 to 999"));
    // Nothing refused was stored.
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("defaultapptlength = 1\n"));

    EXPECT_THAT(VarnoOk({"options", "reset"}).m_strOut,
                HasSubstr("fullformat = 1\nignoreimporterrors = 0\n"));
    EXPECT_EQ(VarnoOk({"options", "show"}).m_strOut, shown);
}

TEST_F(CliSettings, FieldsFollowTheLayoutRules) {
    const std::string defaults = VarnoOk({"fields", "show"}).m_strOut;
    EXPECT_EQ(Lines(defaults).front(),
              "simple = Date,Untimed,Start Time,End Time,Private,Text,Note,Alarm,Alarm Time,Alarm "
              "Unit,Category,Location,Repeat");
    EXPECT_EQ(
        Lines(VarnoOk({"fields", "set", "simple", "date, TEXT,(ignored)", "(Ignored)", "Record ID"})
                  .m_strOut)
            .front(),
        "simple = Date,Text,(Ignored),(Ignored),Record ID");
    const CProgramRun noDate = Varno({"fields", "set", "simple", "Text"});
    EXPECT_EQ(noDate.m_nExit, 0);
    EXPECT_THAT(noDate.m_strErr, HasSubstr("without \"Date\""));
    EXPECT_EQ(Lines(VarnoOk({"fields", "set", "repeat",
                             "Monthly Week Index,Weekly Saturday,Weekly Friday,Weekly Thursday,"
                             "Weekly Wednesday,Weekly Tuesday,Weekly Monday,Weekly Sunday,"
                             "Exceptions,Repeat End Date,Repeat Interval,Repeat Type"})
                        .m_strOut)[1],
              "repeat = Monthly Week Index,Weekly Saturday,Weekly Friday,Weekly Thursday,Weekly "
              "Wednesday,Weekly Tuesday,Weekly Monday,Weekly Sunday,Exceptions,Repeat End "
              "Date,Repeat Interval,Repeat Type");

    VarnoFails({"fields", "set", "simple", "Date,Date"}, 2);
    VarnoFails({"fields", "set", "simple", "Date,Colour"}, 2);
    VarnoFails({"fields", "set", "simple", "Date,Dummy"}, 2);
    VarnoFails({"fields", "set", "simple", "Date,Repeat Type"}, 2);
    VarnoFails({"fields", "set", "simple", ","}, 2);
    VarnoFails({"fields", "set", "repeat", "Repeat Type"}, 2);
    VarnoFails({"fields", "set", "repeat", "Date"}, 2);
    VarnoFails({"fields", "set", "other", "Date"}, 2);
    EXPECT_EQ(VarnoOk({"fields", "reset"}).m_strOut, defaults);
}

TEST_F(CliSettings, FilterRowsByTheirDisplayText) {
    EXPECT_EQ(VarnoOk({"filter", "show"}).m_strOut, "filter = none\n");
    EXPECT_EQ(
        VarnoOk({"filter", "set", "Text Contains:a:b", "OR", "category is NOT:", "and",
                 "location is:K\xC3\xB6ln \"Dom\""})
            .m_strOut,
        "filter = \"text contains:a:b\" or \"category is NOT:\" and \"location is:K\xC3\xB6ln "
        "\\\"Dom\\\"\"\n");
    EXPECT_EQ(
        VarnoOk({"filter", "show"}).m_strOut,
        "filter = \"text contains:a:b\" or \"category is NOT:\" and \"location is:K\xC3\xB6ln "
        "\\\"Dom\\\"\"\n");

    VarnoFails({"filter", "set", "text has:x"}, 2);
    VarnoFails({"filter", "set", "text contains"}, 2);
    VarnoFails({"filter", "set", "text contains:a", "xor", "text contains:b"}, 2);
    VarnoFails({"filter", "set", "text contains:a", "and"}, 2);
    VarnoFails({"filter", "set", "text contains:1", "and", "text contains:2", "and",
                "text contains:3", "and", "text contains:4", "and", "text contains:5", "and",
                "text contains:6"},
               2);
    EXPECT_EQ(VarnoOk({"filter", "clear"}).m_strOut, "filter = none\n");
}

TEST_F(CliSettings, SavedSetsByTitle) {
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "");
    VarnoOk({"sets", "save", "Export"});
    VarnoOk({"options", "set", "fullformat", "0"});
    VarnoOk({"sets", "save", "Spreadsheet \xC3\xBC"});
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "  Export\n* Spreadsheet \xC3\xBC\n");
    EXPECT_EQ(VarnoOk({"sets", "load", "export"}).m_strOut,
              "Loaded the options saved as \"Export\".\n");
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("fullformat = 1\n"));
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "* Export\n  Spreadsheet \xC3\xBC\n");

    VarnoOk({"sets", "rename", "SPREADSHEET \xC3\xBC", "Simple"});
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "* Export\n  Simple\n");
    // Renaming onto an existing title replaces that set.
    VarnoOk({"sets", "rename", "Simple", "export"});
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "  export\n");
    VarnoOk({"sets", "remove", "Export"});
    EXPECT_EQ(VarnoOk({"sets", "list"}).m_strOut, "");

    VarnoFails({"sets", "load", "Nothing"}, 2);
    VarnoFails({"sets", "remove", "Nothing"}, 2);
    VarnoFails({"sets", "save", "  "}, 2);
    VarnoFails({"sets", "save", std::string(51, 'x')}, 2);
}

TEST_F(CliSettings, RegionalSettingsAndCodePage) {
    EXPECT_THAT(VarnoOk({"regional", "show"}).m_strOut, HasSubstr("sShortDate = \"dd.MM.yyyy\"\n"));
    EXPECT_THAT(VarnoOk({"regional", "set", "sshortdate", "yyyy/MM/dd"}).m_strOut,
                HasSubstr("sShortDate = \"yyyy/MM/dd\"\n"));
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut, HasSubstr("exportfrom = 2026/11/25\n"));
    EXPECT_THAT(
        VarnoOk({"count", "--simple", "--from", "2026/12/01", "--to", "2026-12-02"}).m_strOut,
        HasSubstr("between 2026/12/01 and 2026/12/02"));
    VarnoFails({"regional", "set", "sShortDate", "dd.MM"}, 2);
    VarnoFails({"regional", "set", "sTimeFormat", "ss"}, 2);
    VarnoFails({"regional", "set", "sList", ""}, 2);
    VarnoFails({"regional", "set", "sDate", "1"}, 2);
    VarnoFails({"regional", "set", "sColour", "x"}, 2);
    VarnoFails({"regional", "set", "codepage", "437"}, 2);
    EXPECT_THAT(VarnoOk({"regional", "show"}).m_strOut, HasSubstr("sShortDate = \"yyyy/MM/dd\"\n"));

    // Texts reach the registry in the system code page and come back as UTF-8.
    EXPECT_THAT(VarnoOk({"regional", "set", "codepage", "utf-8"}).m_strOut,
                HasSubstr("codepage = 65001\n"));
    VarnoOk({"options", "set", "lastfile", "K\xC3\xB6ln"});
    VarnoOk({"regional", "set", "codepage", "1252"});
    EXPECT_THAT(VarnoOk({"options", "show"}).m_strOut,
                HasSubstr("lastfile = \"K\xC3\x83\xC2\xB6ln\""));

    // Reset derives the home's settings anew from the locale of the run (en_US.UTF-8).
    const std::string reset = VarnoOk({"regional", "reset"}).m_strOut;
    EXPECT_THAT(reset, HasSubstr("sShortDate = \"M/d/yyyy\"\n"));
    EXPECT_THAT(reset, HasSubstr("codepage = 65001\n"));
    EXPECT_THAT(reset, Not(HasSubstr("(default of")));
}

TEST_F(CliSettings, AHomeKeepsTheLocaleOfItsFirstUseInEveryEnvironment) {
    const std::string home = File("profile-home");
    const std::string exported[] = {File("first.csv"), File("cron.csv")};
    // env -i: nothing of the test's environment but what is named.
    auto run = [&](const char* pszLocale, std::vector<std::string> args) {
        std::vector<std::string> command = {"-i", "TZ=Europe/Berlin"};
        if (pszLocale)
            command.push_back(std::string("LANG=") + pszLocale);
        command.push_back(kVarno);
        command.push_back("--home");
        command.push_back(home);
        command.insert(command.end(), args.begin(), args.end());
        CProgramRun r = RunProgram("/usr/bin/env", command);
        EXPECT_EQ(r.m_nExit, 0) << r.m_strErr;
        return r;
    };
    ASSERT_EQ(RunProgram(kDesktop, {"--home", home, "user", "add", "Ute"}).m_nExit, 0);
    ASSERT_EQ(RunProgram(kDesktop, {"--home", home, "user", "use", "Ute"}).m_nExit, 0);
    for (const char* pszDate : {"2026-12-05", "2026-12-24"})
        ASSERT_EQ(RunProgram(kDesktop, {"--home", home, "add", "--text", "Gr\xC3\xBC\xC3\x9F Gott",
                                        "--date", pszDate, "--start", "14:45", "--end", "15:00"})
                      .m_nExit,
                  0);
    const std::vector<std::string> range = {"--simple", "--from", "2026-12-01", "--to",
                                            "2026-12-31"};
    auto exportTo = [&](const char* pszLocale, const std::string& file) {
        std::vector<std::string> args = {"export", file};
        args.insert(args.end(), range.begin(), range.end());
        run(pszLocale, args);
    };
    exportTo("de_DE.UTF-8", exported[0]);
    exportTo(nullptr, exported[1]);
    const std::string bytes = ReadFileBytes(exported[0]);
    EXPECT_THAT(bytes, HasSubstr("\"05.12.2026\";\"\";\"14:45\";\"15:00\""));
    EXPECT_THAT(bytes, HasSubstr("Gr\xC3\xBC\xC3\x9F Gott"));
    EXPECT_EQ(ReadFileBytes(exported[1]), bytes);

    // The file written without a locale reads back in the same environment: both rows are
    // recognised as the appointments they came from.
    const CProgramRun imported = run(nullptr, {"import", exported[1], "--skip-duplicates"});
    EXPECT_THAT(imported.m_strOut, HasSubstr("0 added"));
    EXPECT_THAT(imported.m_strOut, HasSubstr("0 rejected"));
}

TEST_F(CliSettings, UsageAndHelp) {
    EXPECT_THAT(VarnoFails({}, 2).m_strErr, HasSubstr("Give a command"));
    VarnoFails({"frobnicate"}, 2);
    VarnoFails({"export"}, 2);
    VarnoFails({"options"}, 2);
    VarnoFails({"options", "set", "fullformat"}, 2);
    const std::vector<std::string> commands[] = {{},
                                                 {"export"},
                                                 {"import"},
                                                 {"count"},
                                                 {"remove-all"},
                                                 {"archive"},
                                                 {"options"},
                                                 {"options", "set"},
                                                 {"fields", "set", "simple"},
                                                 {"filter", "set"},
                                                 {"sets", "rename"},
                                                 {"regional", "set"}};
    for (std::vector<std::string> args : commands) {
        args.push_back("--help");
        const CProgramRun run = Varno(args);
        EXPECT_EQ(run.m_nExit, 0);
        EXPECT_THAT(run.m_strOut, HasSubstr("Usage:"));
    }
    const CProgramRun version = VarnoOk({"--version"});
    EXPECT_THAT(version.m_strOut, HasSubstr("varno 1."));
    EXPECT_THAT(version.m_strOut, HasSubstr("Excel workbooks (.xls): "));
}

} // namespace
