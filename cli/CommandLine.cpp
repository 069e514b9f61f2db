#include "cli/CommandLine.h"

#include "cli/CliArguments.h"
#include "cli/CliServices.h"
#include "cli/OperationCommands.h"
#include "cli/SettingsCommands.h"
#include "cli/Suggestion.h"
#include "desktop/DatebookError.h"
#include "formats/ExcelFormat.h"
#include "platform/com/ComError.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/UserProfile.h"
#include "platform/registry/Registry.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <sstream>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VARNO_VERSION
#define VARNO_VERSION "1.0.0"
#endif

namespace {

constexpr const char* kDateHelp = "a date in your short date format or as yyyy-mm-dd";

constexpr const char* kFooter =
    "Dates are given in your short date format (varno regional show) or as yyyy-mm-dd.\n"
    "Exit status: 0 done, 1 the operation reported errors (rejected rows, refusals),\n"
    "2 bad usage or a file that cannot be opened, 130 interrupted (Ctrl+C).\n"
    "Data lives in VARNO_HOME (or --home), else in the XDG folders. See varno(1).";

// Installs the command line's services for the run and restores the previous ones.
class CServicesScope {
public:
    explicit CServicesScope(CUserServices* pServices) { SetUserServices(pServices); }
    ~CServicesScope() { SetUserServices(nullptr); }
    CServicesScope(const CServicesScope&) = delete;
    CServicesScope& operator=(const CServicesScope&) = delete;
};

std::string OptionsNotStored(std::string cause) {
    return "The options could not be stored in the registry of the user home (" + RegistryFolder() +
           "): " + cause + ".";
}

// The options of the registry after a change, checked by reading them back while the user's
// hive is locked, so that what is read back is what this run wrote.
void SaveOptions(const COptions& options, const CRegHiveLock& userHive) {
    options.Save();
    COptions stored;
    stored.Load();
    if (stored.IsSameAs(options) && stored.m_strSetTitle == options.m_strSetTitle)
        return;
    std::string cause = userHive.Failure();
    if (cause.empty())
        cause = "the values read back differ from those written";
    throw std::runtime_error(OptionsNotStored(std::move(cause)));
}

COptions LoadOptions() {
    COptions options;
    options.Load();
    return options;
}

void AddRangeOptions(CLI::App* pCommand, bool& bFull, bool& bSimple, CRangeArguments& range) {
    CLI::Option* pFull =
        pCommand->add_flag("--full", bFull, "Full format: one row per appointment, this run only");
    CLI::Option* pSimple = pCommand->add_flag(
        "--simple", bSimple, "Simple format: one row per occurrence in the range, this run only");
    pFull->excludes(pSimple);
    pCommand->add_option("--from", range.m_strFrom,
                         std::string("First day of the range, this run only: ") + kDateHelp);
    pCommand->add_option("--to", range.m_strTo,
                         std::string("Last day of the range, this run only: ") + kDateHelp);
}

// --quiet and --json, which exclude each other.
struct CSummaryFlags {
    bool m_bQuiet = false;
    bool m_bJson = false;
    [[nodiscard]] CCliContext::ESummary Mode() const {
        if (m_bJson)
            return CCliContext::ESummary::Json;
        return m_bQuiet ? CCliContext::ESummary::Quiet : CCliContext::ESummary::Line;
    }
};

void AddSummaryOptions(CLI::App* pCommand, CSummaryFlags& flags) {
    CLI::Option* pQuiet = pCommand->add_flag("-q,--quiet", flags.m_bQuiet,
                                             "Errors only: no summary on standard output");
    CLI::Option* pJson = pCommand->add_flag("--json", flags.m_bJson,
                                            "The summary as one JSON object on standard output");
    pQuiet->excludes(pJson);
}

void SetHome(const std::string& strHome) {
    if (strHome.empty())
        return;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(strHome, error);
    if (error)
        path = strHome;
    ::setenv("VARNO_HOME", path.string().c_str(), 1);
}

// The program that shows the dialog (it links the window library, which varno does not):
// beside varno, or in the libexec folder of its prefix. Empty when neither exists.
std::string FindDialogProgram() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    for (const std::filesystem::path& candidate :
         {exe.parent_path() / "varno-dialog",
          exe.parent_path().parent_path() / "libexec" / "varno" / "varno-dialog"}) {
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return {};
}

// varno dialog: the main dialog on the current user of the home, in a window; its exit
// status is the dialog program's.
int RunDialog(CCliContext& context) {
    const char* pszDisplay = std::getenv("DISPLAY");
    const char* pszWayland = std::getenv("WAYLAND_DISPLAY");
    if ((!pszDisplay || !*pszDisplay) && (!pszWayland || !*pszWayland)) {
        context.m_services.PrintError(
            "The dialog needs a display, and neither DISPLAY nor WAYLAND_DISPLAY is set: run "
            "it in a desktop session, or under xvfb-run.");
        return CLI_EXIT_USAGE;
    }
    const std::string strProgram = FindDialogProgram();
    if (strProgram.empty()) {
        context.m_services.PrintError("The dialog program varno-dialog is not installed beside "
                                      "varno (it is built where wxWidgets 3.2 is available).");
        return CLI_EXIT_USAGE;
    }
    context.m_out.flush();
    context.m_err.flush();
    std::string strArg0 = strProgram;
    char* argv[] = {strArg0.data(), nullptr};
    pid_t pid = 0;
    if (const int nError = ::posix_spawn(&pid, strProgram.c_str(), nullptr, nullptr, argv, environ);
        nError != 0) {
        context.m_services.PrintError("Cannot start " + strProgram + ": " + std::strerror(nError) +
                                      ".");
        return CLI_EXIT_USAGE;
    }
    int nStatus = 0;
    while (::waitpid(pid, &nStatus, 0) < 0) {
        if (errno != EINTR)
            return CLI_EXIT_ERRORS;
    }
    if (WIFEXITED(nStatus))
        return WEXITSTATUS(nStatus);
    return 128 + (WIFSIGNALED(nStatus) ? WTERMSIG(nStatus) : 0);
}

} // namespace

int RunVarno(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
             const CCliTerminal& terminal) {
    CLI::App app{"varno moves the appointments of the datebook's current user to and from "
                 "CSV files, Excel workbooks, vCalendar and iCalendar files.",
                 "varno"};
    app.footer(kFooter);
    app.require_subcommand(0, 1);
    std::string strHome;
    bool bVersion = false;
    app.add_option("--home", strHome,
                   "The user home: registry, datebook, documents (instead of "
                   "VARNO_HOME)");
    app.add_flag("--version", bVersion, "The version, and whether workbooks can be written");
    int nWaitSeconds = kDefaultLockWaitSeconds;
    app.add_option("--wait", nWaitSeconds,
                   "Seconds that import, remove-all and archive wait for another of them on "
                   "the same datebook before they give up with status 2 (default " +
                       std::to_string(kDefaultLockWaitSeconds) + ")")
        ->check(CLI::Range(0, kMaxLockWaitSeconds));

    // export
    CExportArguments exportArgs;
    bool bExportFull = false;
    bool bExportSimple = false;
    CLI::App* pExport = app.add_subcommand(
        "export", "Write the appointments to FILE: .csv, .xls, .vcs (simple) or .ics");
    pExport
        ->add_option("FILE", exportArgs.m_strFile,
                     "The file; its name chooses the format, any other name writes CSV "
                     "(- for standard output)")
        ->required();
    AddRangeOptions(pExport, bExportFull, bExportSimple, exportArgs.m_range);
    CSummaryFlags exportSummary;
    AddSummaryOptions(pExport, exportSummary);

    // import
    CImportArguments importArgs;
    bool bSkip = false;
    bool bAllow = false;
    bool bImportFull = false;
    bool bImportSimple = false;
    CLI::App* pImport =
        app.add_subcommand("import", "Read appointments from a CSV file or workbook");
    pImport->add_option("FILE", importArgs.m_strFile, "The file to read; - reads standard input")
        ->required();
    pImport->add_option("--format", importArgs.m_strFormat,
                        "The format of standard input (-): csv (the default), xls or xlsx");
    CSummaryFlags importSummary;
    AddSummaryOptions(pImport, importSummary);
    CLI::Option* pIgnore = pImport->add_flag("--ignore-errors", importArgs.m_bIgnoreErrors,
                                             "Skip bad rows without a message");
    CLI::Option* pSkip =
        pImport->add_flag("--skip-duplicates", bSkip, "Skip rows already in the datebook");
    CLI::Option* pAllow =
        pImport->add_flag("--allow-duplicates", bAllow, "Add rows even when already there");
    pSkip->excludes(pAllow);
    CLI::Option* pStop = pImport->add_flag("--stop-on-error", importArgs.m_bStopOnError,
                                           "Stop at the first bad row or refusal");
    pStop->excludes(pIgnore);
    CLI::Option* pImportFull =
        pImport->add_flag("--full", bImportFull,
                          "Full format: repeating rows carry their repeat fields, this run only");
    CLI::Option* pImportSimple =
        pImport->add_flag("--simple", bImportSimple,
                          "Simple format: one row per occurrence, no repeat fields, this run only");
    pImportFull->excludes(pImportSimple);
    pImport->add_flag("--dry-run", importArgs.m_bDryRun,
                      "Read and check every row, tell what would happen, change nothing");
    pImport->add_option("--rejects", importArgs.m_strRejects,
                        "Write the rejected rows, with their line and error, to this CSV file");

    // count
    CRangeArguments countArgs;
    bool bCountFull = false;
    bool bCountSimple = false;
    CLI::App* pCount = app.add_subcommand("count", "How many appointments an export would write");
    AddRangeOptions(pCount, bCountFull, bCountSimple, countArgs);
    CSummaryFlags countSummary;
    AddSummaryOptions(pCount, countSummary);

    // list
    CRangeArguments listArgs;
    bool bListFull = false;
    bool bListSimple = false;
    bool bListJson = false;
    CLI::App* pList = app.add_subcommand(
        "list", "The appointments an export would write: date, times, text, repeat");
    AddRangeOptions(pList, bListFull, bListSimple, listArgs);
    pList->add_flag("--json", bListJson, "A JSON array of objects instead of lines");

    // remove-all
    CRangeArguments removeArgs;
    bool bRemoveFull = false;
    bool bRemoveSimple = false;
    bool bYes = false;
    CLI::App* pRemove = app.add_subcommand(
        "remove-all", "Remove what an export would write (asks first on a terminal)");
    pRemove->add_flag("--yes", bYes, "Remove without asking");
    AddRangeOptions(pRemove, bRemoveFull, bRemoveSimple, removeArgs);

    // archive
    CArchiveArguments archiveArgs;
    int nLarger = 0;
    CLI::App* pArchive =
        app.add_subcommand("archive", "Mark old appointments for archival at the next HotSync");
    pArchive
        ->add_option("--up-to", archiveArgs.m_strUpTo,
                     std::string("The last day to archive: ") + kDateHelp)
        ->required();
    CLI::Option* pLarger = pArchive->add_option(
        "--larger", nLarger, "Only appointments of at least BYTES bytes (100 to 9999)");

    // options
    CLI::App* pOptions = app.add_subcommand("options", "Show or change the options");
    pOptions->require_subcommand(1);
    CLI::App* pOptionsShow = pOptions->add_subcommand("show", "Every option: name = value");
    std::string strName;
    std::string strValue;
    CLI::App* pOptionsSet = pOptions->add_subcommand(
        "set", "Change one option; \\t in a text stands for a tab. Put -- before a value that "
               "starts with -");
    pOptionsSet->add_option("NAME", strName, "The option's name (varno options show)")->required();
    pOptionsSet->add_option("VALUE", strValue, "Its value")->required();
    CLI::App* pOptionsReset = pOptions->add_subcommand(
        "reset", "Every option back to its default (fields and filter stay)");

    // fields
    CLI::App* pFields = app.add_subcommand("fields", "Show or change the columns of a file");
    pFields->require_subcommand(1);
    CLI::App* pFieldsShow = pFields->add_subcommand("show", "The simple and repeat fields");
    CLI::App* pFieldsSet = pFields->add_subcommand("set", "Set the simple or repeat fields");
    pFieldsSet->require_subcommand(1);
    std::vector<std::string> vecFieldNames;
    CLI::App* pFieldsSimple = pFieldsSet->add_subcommand(
        "simple", "Columns of every row: Date, Untimed, Start Time, ..., (Ignored) any times");
    pFieldsSimple->add_option("NAMES", vecFieldNames, "Header names, separated by commas")
        ->required();
    CLI::App* pFieldsRepeat = pFieldsSet->add_subcommand(
        "repeat", "Order of the twelve repeat columns of the full format");
    pFieldsRepeat->add_option("NAMES", vecFieldNames, "Header names, separated by commas")
        ->required();
    CLI::App* pFieldsReset = pFields->add_subcommand("reset", "The default layouts");

    // filter
    CLI::App* pFilter = app.add_subcommand("filter", "Show or change the filter rows");
    pFilter->require_subcommand(1);
    CLI::App* pFilterShow = pFilter->add_subcommand("show", "The filter rows");
    CLI::App* pFilterClear = pFilter->add_subcommand("clear", "No filter: everything passes");
    std::vector<std::string> vecFilterArgs;
    CLI::App* pFilterSet = pFilter->add_subcommand(
        "set", "Up to five rows \"TYPE:TEXT\" joined by and/or, left to right");
    pFilterSet
        ->add_option("ROWS", vecFilterArgs,
                     "TYPE: text starts with, text ends with, text contains, note contains, text "
                     "does NOT contain, note does NOT contain, category is, category is NOT, "
                     "location is")
        ->required();

    // sets
    CLI::App* pSets = app.add_subcommand("sets", "Saved option sets");
    pSets->require_subcommand(1);
    std::string strTitle;
    std::string strNewTitle;
    CLI::App* pSetsList =
        pSets->add_subcommand("list", "The sets; * marks the one equal to the options");
    CLI::App* pSetsSave = pSets->add_subcommand("save", "Save the options under a title");
    pSetsSave->add_option("TITLE", strTitle, "At most 50 characters")->required();
    CLI::App* pSetsLoad = pSets->add_subcommand("load", "Make a set the options");
    pSetsLoad->add_option("TITLE", strTitle, "The set's title")->required();
    CLI::App* pSetsRename = pSets->add_subcommand("rename", "Give a set a new title");
    pSetsRename->add_option("OLD", strTitle, "The set's title")->required();
    pSetsRename->add_option("NEW", strNewTitle, "Its new title")->required();
    CLI::App* pSetsRemove = pSets->add_subcommand("remove", "Remove a set");
    pSetsRemove->add_option("TITLE", strTitle, "The set's title")->required();

    // regional
    CLI::App* pRegional =
        app.add_subcommand("regional", "Show or change the regional settings and code page");
    pRegional->require_subcommand(1);
    CLI::App* pRegionalShow = pRegional->add_subcommand("show", "The settings in force");
    CLI::App* pRegionalSet = pRegional->add_subcommand(
        "set", "sShortDate, sTimeFormat, sList, s1159, s2359, sDate, sTime or codepage");
    pRegionalSet->add_option("NAME", strName, "The setting")->required();
    pRegionalSet->add_option("VALUE", strValue, "Its value")->required();
    CLI::App* pRegionalReset =
        pRegional->add_subcommand("reset", "Back to the defaults of the process locale");

    // dialog
    CLI::App* pDialog = app.add_subcommand(
        "dialog", "Open the main dialog in a window, as the desktop's command does (needs a "
                  "display)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err) == 0 ? CLI_EXIT_OK : CLI_EXIT_USAGE;
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err) == 0 ? CLI_EXIT_OK : CLI_EXIT_USAGE;
    } catch (const CLI::ParseError& e) {
        err << "varno: " << e.what() << '\n';
        if (const std::string suggestion = SuggestionLine(app); !suggestion.empty())
            err << "  " << suggestion << '\n';
        err << "  Run varno --help, or varno COMMAND --help, for more.\n";
        return CLI_EXIT_USAGE;
    }

    CCliUserServices services(err);
    const CServicesScope scope(&services);
    CCliContext context{
        out,         err, services, terminal.m_bStderr, terminal.m_bStdin && terminal.m_bStderr,
        nWaitSeconds};
    try {
        SetHome(strHome);
        EnsurePlatformSetup();

        if (bVersion) {
            out << "varno " << VARNO_VERSION << '\n'
                << "Excel workbooks (.xls): "
                << (IsExcelAvailable() ? "available" : "not available") << '\n';
            return CLI_EXIT_OK;
        }
        if (app.get_subcommands().empty()) {
            err << "varno: Give a command: export, import, count, list, remove-all, archive, "
                   "options, fields, filter, sets, regional or dialog (varno --help tells "
                   "more).\n";
            return CLI_EXIT_USAGE;
        }
        // A home's first run fixes its regional settings and code page (see UserProfile.h).
        (void)CreateUserProfile();

        auto range = [](CRangeArguments args, bool bFull, bool bSimple) {
            if (bFull || bSimple)
                args.m_bFull = bFull;
            return args;
        };
        if (pDialog->parsed())
            return RunDialog(context);
        if (pExport->parsed()) {
            exportArgs.m_range = range(exportArgs.m_range, bExportFull, bExportSimple);
            context.m_summary = exportSummary.Mode();
            return RunExport(context, exportArgs);
        }
        if (pImport->parsed()) {
            if (bSkip || bAllow)
                importArgs.m_bSkipDuplicates = bSkip;
            if (bImportFull || bImportSimple)
                importArgs.m_bFull = bImportFull;
            context.m_summary = importSummary.Mode();
            return RunImport(context, importArgs);
        }
        if (pCount->parsed()) {
            context.m_summary = countSummary.Mode();
            return RunCount(context, range(countArgs, bCountFull, bCountSimple));
        }
        if (pList->parsed()) {
            if (bListJson)
                context.m_summary = CCliContext::ESummary::Json;
            return RunList(context, range(listArgs, bListFull, bListSimple));
        }
        if (pRemove->parsed())
            return RunRemoveAll(context, range(removeArgs, bRemoveFull, bRemoveSimple), bYes);
        if (pArchive->parsed()) {
            if (pLarger->count() > 0)
                archiveArgs.m_nLarger = nLarger;
            return RunArchive(context, archiveArgs);
        }

        // The settings commands that change something read, change and check the options as
        // one step: another run changing settings waits here until this one is done. Those
        // that only show need no lock (and work on a home that cannot be written).
        const bool bShowOnly = pOptionsShow->parsed() || pFieldsShow->parsed() ||
                               pFilterShow->parsed() || pSetsList->parsed() ||
                               pRegionalShow->parsed();
        CRegHiveLock userHive;
        if (!bShowOnly && userHive.Acquire(ERegHive::CurrentUser) != REG_STATUS_OK)
            throw std::runtime_error(OptionsNotStored(userHive.Failure()));
        COptions options = LoadOptions();
        if (pOptionsShow->parsed()) {
            ShowOptions(options, out);
        } else if (pOptionsSet->parsed()) {
            SetOption(options, strName, strValue);
            SaveOptions(options, userHive);
            std::ostringstream shown;
            ShowOptions(options, shown);
            std::istringstream lines(shown.str());
            const std::string prefix = AsciiLower(Trim(strName)) + " = ";
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind(prefix, 0) == 0)
                    out << line << '\n';
            }
        } else if (pOptionsReset->parsed()) {
            ResetOptions(options);
            SaveOptions(options, userHive);
            ShowOptions(options, out);
        } else if (pFieldsShow->parsed()) {
            ShowFields(options.m_layout, out);
        } else if (pFieldsSimple->parsed()) {
            const std::vector<unsigned> fields = ParseSimpleFields(vecFieldNames);
            options.m_layout.SetSimpleFields(fields);
            SaveOptions(options, userHive);
            ShowFields(options.m_layout, out);
            for (const std::string& warning : SimpleFieldWarnings(fields))
                services.PrintError(warning);
        } else if (pFieldsRepeat->parsed()) {
            options.m_layout.SetRepeatFields(ParseRepeatFields(vecFieldNames));
            SaveOptions(options, userHive);
            ShowFields(options.m_layout, out);
        } else if (pFieldsReset->parsed()) {
            options.m_layout.RestoreDefault();
            SaveOptions(options, userHive);
            ShowFields(options.m_layout, out);
        } else if (pFilterShow->parsed()) {
            out << "filter = " << DescribeFilter(options.m_filter) << '\n';
        } else if (pFilterClear->parsed()) {
            options.m_filter = CRecordFilter();
            SaveOptions(options, userHive);
            out << "filter = " << DescribeFilter(options.m_filter) << '\n';
        } else if (pFilterSet->parsed()) {
            options.m_filter = ParseFilter(vecFilterArgs);
            SaveOptions(options, userHive);
            out << "filter = " << DescribeFilter(options.m_filter) << '\n';
        } else if (pSetsList->parsed()) {
            ListSets(options, out);
        } else if (pSetsSave->parsed()) {
            SaveSet(options, strTitle);
            SaveOptions(options, userHive);
            out << "Saved the options as \"" << Trim(strTitle) << "\".\n";
        } else if (pSetsLoad->parsed()) {
            LoadSet(options, strTitle);
            SaveOptions(options, userHive);
            out << "Loaded the options saved as \"" << ToUtf8(options.m_strSetTitle) << "\".\n";
        } else if (pSetsRename->parsed()) {
            RenameSet(strTitle, strNewTitle);
            out << "Renamed \"" << strTitle << "\" to \"" << Trim(strNewTitle) << "\".\n";
        } else if (pSetsRemove->parsed()) {
            RemoveSet(strTitle);
            out << "Removed the options saved as \"" << strTitle << "\".\n";
        } else if (pRegionalShow->parsed()) {
            ShowRegional(out);
        } else if (pRegionalSet->parsed()) {
            SetRegional(strName, strValue);
            ShowRegional(out);
        } else if (pRegionalReset->parsed()) {
            ResetRegional();
            ShowRegional(out);
        }
        out.flush();
        return CLI_EXIT_OK;
    } catch (const CUsageError& e) {
        services.PrintError(e.what());
        return CLI_EXIT_USAGE;
    } catch (const CDatebookError& e) {
        if (e.Kind() == EDatebookError::Busy)
            services.PrintError(e.what());
        else
            services.PrintError(std::string("Cannot open the datebook: ") + e.what());
        return CLI_EXIT_USAGE;
    } catch (const CComError& e) {
        const std::string strDescription =
            e.HasDescription() ? FromUtf16(e.Description()) : e.ErrorMessage();
        services.PrintError(ToUtf8(LoadMessageText(IDS_ERROR_IMPORT_EXPORT, {strDescription})));
        return CLI_EXIT_ERRORS;
    } catch (const std::bad_alloc&) {
        services.PrintError("Out of memory.");
        return CLI_EXIT_ERRORS;
    } catch (const std::exception& e) {
        services.PrintError(e.what());
        return CLI_EXIT_ERRORS;
    }
}
