// The command line's pieces in-process: date arguments, the quoting of values, the cells of
// a rejected CSV row, the progress line and the services' answers.
#include "cli/CliArguments.h"
#include "cli/CliServices.h"
#include "cli/CommandLine.h"
#include "cli/JsonText.h"
#include "cli/RejectsFile.h"
#include "tests/support/TestEnv.h"

#include <gmock/gmock.h>

#include <sstream>

using ::testing::HasSubstr;

namespace {

using CliPieces = CVarnoTest;

TEST_F(CliPieces, DateArgumentsInTheShortDateOrIso) {
    const TimeValue tExpected = MakeLocalTimeValue(2026, 12, 24);
    for (const char* pszLocale : {"de-DE", "en-US", "en-GB", "ja-JP"}) {
        SetRegional(pszLocale);
        EXPECT_EQ(ParseDateArgument("2026-12-24"), tExpected) << pszLocale;
        EXPECT_EQ(ParseDateArgument(FormatDate(tExpected)), tExpected) << pszLocale;
        EXPECT_FALSE(ParseDateArgument("2026-02-30")) << pszLocale;
        EXPECT_FALSE(ParseDateArgument("2032-01-01")) << pszLocale;
        EXPECT_FALSE(ParseDateArgument("tomorrow")) << pszLocale;
        EXPECT_FALSE(ParseDateArgument("")) << pszLocale;
    }
    SetRegional("de-DE");
    EXPECT_EQ(ParseDateArgument(" 24.12.2026 "), tExpected);
    EXPECT_THROW((void)RequireDateArgument("24/13/2026", "--from date"), CUsageError);
}

// JSON strings stay valid whatever the text holds; dates and times in local time.
TEST_F(CliPieces, JsonTextIsValidForAnyBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"tab\tline\r\n", "\"tab\\tline\\r\\n\""},
        {std::string("nul\0\x1f", 5), "\"nul\\u0000\\u001f\""},
        {"Caf\xC3\xA9 \xF0\x9F\x98\x80", "\"Caf\xC3\xA9 \xF0\x9F\x98\x80\""},
        // Windows-1252 bytes, a cut sequence, an overlong form and a surrogate half.
        {"Caf\xE9", "\"Caf\xEF\xBF\xBD\""},
        {"\xC3", "\"\xEF\xBF\xBD\""},
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(JsonQuote(text), json) << text;
    EXPECT_EQ(JsonDate(MakeLocalTimeValue(2026, 12, 7, 18, 30)), "\"2026-12-07\"");
    EXPECT_EQ(JsonTime(MakeLocalTimeValue(2026, 12, 7, 8, 5)), "\"08:05\"");
    EXPECT_EQ(JsonDate(0), "null");
}

TEST_F(CliPieces, ValuesQuotedAsAShellReadsThemBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"\t", "\"\\t\""},
        {"\"", "\"\\\"\""},
        {"a$b`c", "\"a\\$b\\`c\""},
        {"C:\\x", "\"C:\\\\x\""},
    };
    for (const auto& [value, quoted] : cases)
        EXPECT_EQ(QuoteValue(value), quoted);
    EXPECT_EQ(UnescapeValue("\\t|\\\\t|\\n"), "\t|\\t|\\n");
    EXPECT_EQ(ParseFlagArgument(" On "), true);
    EXPECT_EQ(ParseFlagArgument("0"), false);
    EXPECT_FALSE(ParseFlagArgument("2"));
    EXPECT_EQ(ParseIntArgument("+12"), 12);
    EXPECT_FALSE(ParseIntArgument("12a"));
    EXPECT_FALSE(ParseIntArgument("99999999999"));
}

TEST_F(CliPieces, CellsOfACsvLine) {
    EXPECT_EQ(CRejectsFile::CountCells("", ",", "\""), 1);
    EXPECT_EQ(CRejectsFile::CountCells("a,b,,", ",", "\""), 4);
    EXPECT_EQ(CRejectsFile::CountCells("\"a,b\",\"c\r\nd\",e", ",", "\""), 3);
    EXPECT_EQ(CRejectsFile::CountCells("a;;b", ";;", ""), 2);
    EXPECT_EQ(CRejectsFile::CountCells("''a,b'',c", ",", "''"), 2);
}

TEST_F(CliPieces, ProgressLine) {
    using EUnit = CTerminalProgress::EUnit;
    EXPECT_EQ(CTerminalProgress::FormatLine(0, 200, 0, EUnit::Records, 40),
              "[........................] 0/200 records");
    EXPECT_EQ(CTerminalProgress::FormatLine(50, 200, 10, EUnit::Records, 60),
              "[####...............] 50/200 records  5 records/s  0:30 left");
    EXPECT_EQ(CTerminalProgress::FormatLine(1024 * 1024, 2048 * 1024, 2, EUnit::Bytes, 200),
              "[#########################.........................] 1024/2048 KiB  512 KiB/s  "
              "0:02 left");

    std::ostringstream err;
    {
        CTerminalProgress progress(err, EUnit::Records, 100000);
        progress.SetRange(0, 50000);
        progress.SetPos(25000);
    }
    EXPECT_THAT(err.str(), HasSubstr("0/100000 records"));
    EXPECT_EQ(err.str().substr(err.str().size() - 4), "\r\033[K");
}

TEST_F(CliPieces, MessagesBecomeLinesAndQuestionsAreAnsweredByTheFlags) {
    std::ostringstream err;
    CCliUserServices services(err);
    EXPECT_EQ(services.ShowMessage("Error reading f line 3\n\"w\"\nInvalid alarm unit. \nMust",
                                   EMessageButtons::OkCancel, EMessageIcon::Stop),
              EMessageAnswer::Ok);
    EXPECT_EQ(err.str(), "varno: Error reading f line 3\n  \"w\"\n  Invalid alarm unit.\n  Must\n");
    services.SetStopOnError(true);
    EXPECT_EQ(services.ShowMessage("x", EMessageButtons::OkCancel, EMessageIcon::Exclamation),
              EMessageAnswer::Cancel);
    EXPECT_EQ(services.ShowMessage("x", EMessageButtons::Ok, EMessageIcon::Information),
              EMessageAnswer::Ok);
    EXPECT_EQ(services.ErrorsShown(), 2);

    // The code page's text reaches the terminal as UTF-8.
    err.str("");
    (void)services.ShowMessage("Caf\xE9", EMessageButtons::Ok, EMessageIcon::None);
    EXPECT_EQ(err.str(), "varno: Caf\xC3\xA9\n");

    bool bQuit = true;
    EXPECT_FALSE(services.DispatchWaitingMessage(bQuit));
    EXPECT_FALSE(bQuit);
    RequestInterrupt();
    EXPECT_TRUE(services.DispatchWaitingMessage(bQuit));
    EXPECT_TRUE(bQuit);
    EXPECT_TRUE(services.QuitSeen());
    EXPECT_EQ(InterruptExitStatus(), 130);
    ClearInterruptRequest();
}

TEST_F(CliPieces, RunsInProcess) {
    std::ostringstream out;
    std::ostringstream err;
    const char* argv[] = {"varno", "filter", "set", "note contains:x", "and", "text ends with:y"};
    EXPECT_EQ(RunVarno(6, argv, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "filter = \"note contains:x\" and \"text ends with:y\"\n");
    const char* bad[] = {"varno", "options", "set", "quote", ";"};
    EXPECT_EQ(RunVarno(5, bad, out, err), 2);
    EXPECT_THAT(err.str(), HasSubstr("separator and quote must differ"));
}

} // namespace

namespace {

TEST_F(CliPieces, AMisspeltCommandOrFlagSuggestsTheNearestOne) {
    struct SCase {
        std::vector<const char*> m_args;
        const char* m_pszSuggestion; // nullptr: no suggestion
    };
    const SCase cases[] = {
        {{"exprot", "x.csv"}, "Did you mean `export`?"},
        {{"improt", "x.csv"}, "Did you mean `import`?"},
        {{"cuont"}, "Did you mean `count`?"},
        {{"remove", "--yes"}, "Did you mean `remove-all`?"},
        {{"import", "x.csv", "--dry-rn"}, "Did you mean `--dry-run`?"},
        {{"import", "x.csv", "--skip-duplicate"}, "Did you mean `--skip-duplicates`?"},
        {{"export", "x.csv", "--ful"}, "Did you mean `--full`?"},
        {{"options", "st", "separator", ","}, "Did you mean `set`?"},
        {{"count", "--hmoe", "/tmp"}, "Did you mean `--home`?"},
        {{"frobnicate"}, nullptr},
        {{"import", "x.csv", "--zzz"}, nullptr},
    };
    for (const SCase& c : cases) {
        std::vector<const char*> argv = {"varno"};
        argv.insert(argv.end(), c.m_args.begin(), c.m_args.end());
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunVarno(static_cast<int>(argv.size()), argv.data(), out, err), 2)
            << c.m_args.front();
        if (c.m_pszSuggestion)
            EXPECT_THAT(err.str(), HasSubstr(c.m_pszSuggestion)) << err.str();
        else
            EXPECT_THAT(err.str(), ::testing::Not(HasSubstr("Did you mean"))) << err.str();
    }
}

} // namespace
