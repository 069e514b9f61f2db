#include "cli/OperationCommands.h"

#include "cli/CliArguments.h"
#include "cli/CliServices.h"
#include "cli/JsonText.h"
#include "cli/RejectsFile.h"
#include "desktop/DatebookLock.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "engine/Archive.h"
#include "engine/CountAppointments.h"
#include "engine/Export.h"
#include "engine/Import.h"
#include "formats/ExcelFormat.h"
#include "formats/FormatSelection.h"
#include "model/Appointment.h"
#include "platform/file/OutputFile.h"
#include "platform/locale/CodePage.h"
#include "platform/registry/Registry.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The options of the registry, bound to the stand-in host's current user.
COptions OpenOptions() {
    COptions options;
    options.Load();
    options.SetHostApplication(OpenDesktopHost().Get());
    return options;
}

// The registry options with the run's format and range; checked before the datebook opens.
COptions LoadRunOptions(const CRangeArguments& range) {
    COptions options;
    options.Load();
    if (range.m_bFull)
        options.m_bFullFormat = *range.m_bFull ? 1 : 0;
    if (!range.m_strFrom.empty() || !range.m_strTo.empty()) {
        if (options.m_bFullFormat != 0)
            throw CUsageError("--from and --to set the date range of the simple format, and the "
                              "full format writes every appointment whatever its date: add "
                              "--simple.");
        if (!range.m_strFrom.empty())
            options.SetExportFrom(RequireDateArgument(range.m_strFrom, "--from date"));
        if (!range.m_strTo.empty())
            options.SetExportTo(RequireDateArgument(range.m_strTo, "--to date"));
        if (options.GetExportFrom() > options.GetExportTo())
            throw CUsageError("The date range ends before it starts: " +
                              ToUtf8(FormatDate(options.GetExportFrom())) + " to " +
                              ToUtf8(FormatDate(options.GetExportTo())) + ".");
    }
    return options;
}

void BindHost(COptions& options) {
    options.SetHostApplication(OpenDesktopHost().Get());
}

// The number of appointments of the current user, for the progress bar's total.
std::int64_t DatebookSize() {
    try {
        CDatebookStore store;
        return store.CountAppointments(store.CurrentUser().m_nId);
    } catch (const CDatebookError&) {
        return 0;
    }
}

// The datebook's lock for a run that changes it; tells once that it waits.
void LockDatebook(CCliContext& context, std::optional<CDatebookLock>& lock) {
    lock.emplace(
        std::string(), std::chrono::seconds(context.m_nLockWaitSeconds), [&context](long nHolder) {
            context.m_services.PrintError(
                "Waiting for another import, Remove All or archive" +
                (nHolder > 0 ? " (process " + std::to_string(nHolder) + ")" : std::string()) +
                " to finish with the datebook...");
        });
}

// A bar on standard error for the run, when it is a terminal.
class CProgressScope {
public:
    CProgressScope(CCliContext& context, CTerminalProgress::EUnit unit, std::int64_t nTotal)
        : m_services(context.m_services) {
        if (context.m_bProgress) {
            m_pBar = std::make_unique<CTerminalProgress>(context.m_err, unit, nTotal);
            m_services.SetProgress(m_pBar.get());
        }
    }
    ~CProgressScope() {
        m_services.SetProgress(nullptr);
        if (m_pBar)
            m_pBar->Clear();
    }
    CProgressScope(const CProgressScope&) = delete;
    CProgressScope& operator=(const CProgressScope&) = delete;
    [[nodiscard]] CProgressControl* Get() const { return m_pBar.get(); }

private:
    CCliUserServices& m_services;
    std::unique_ptr<CTerminalProgress> m_pBar;
};

std::string SystemError(int nError) {
    return std::strerror(nError);
}

// Asks on the terminal; true for yes. A signal or the end of input answers no.
bool AskYesNo(CCliContext& context, const std::string& question) {
    context.m_err << question << " [y/N] ";
    context.m_err.flush();
    std::string answer;
    while (true) {
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        const int nReady = ::poll(&fd, 1, 100);
        if (IsInterruptRequested()) {
            context.m_err << '\n';
            return false;
        }
        if (nReady <= 0)
            continue;
        char c = 0;
        const ssize_t nRead = ::read(STDIN_FILENO, &c, 1);
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0) {
            context.m_err << '\n';
            return false;
        }
        if (c == '\n')
            break;
        answer += c;
    }
    answer = AsciiLower(Trim(answer));
    return answer == "y" || answer == "yes";
}

std::string StatusLine(const COptions& options, int nCount) {
    return ToUtf8(CountStatusText(options, nCount));
}

// The rows of an import that were not stored whole, kept for the summary, with every call
// passed on to the observer behind (the rejects file), if any.
class CImportSummary final : public CImportObserver {
public:
    explicit CImportSummary(CImportObserver* pNext) : m_pNext(pNext) {}

    struct CRow {
        int m_nLine = 0;
        std::int32_t m_nCode = 0; // 0: refused by the datebook
        std::string m_strCell;    // UTF-8, cut as messages cut it
        std::string m_strReason;  // UTF-8
        bool m_bPartlyStored = false;
    };
    [[nodiscard]] const std::vector<CRow>& Rows() const { return m_vecRows; }

    [[nodiscard]] bool WantsRawRows() const override { return m_pNext && m_pNext->WantsRawRows(); }
    void OnRowRejected(const CRejectedRow& row) override {
        m_vecRows.push_back({row.m_nLine, row.m_nCode, ToUtf8(CellExcerpt(row.m_strCell)),
                             ToUtf8(row.m_strMessage), row.m_bPartlyStored});
        if (m_pNext)
            m_pNext->OnRowRejected(row);
    }
    void OnAdded(int nLine, const CAppointment& a) override {
        if (m_pNext)
            m_pNext->OnAdded(nLine, a);
    }
    void OnUpdated(int nLine, const CAppointment& a) override {
        if (m_pNext)
            m_pNext->OnUpdated(nLine, a);
    }
    void OnSkippedDuplicate(int nLine, const CAppointment& a) override {
        if (m_pNext)
            m_pNext->OnSkippedDuplicate(nLine, a);
    }
    void OnFiltered(int nLine, const CAppointment& a) override {
        if (m_pNext)
            m_pNext->OnFiltered(nLine, a);
    }
    void OnRefused(int nLine, const CAppointment& a) override {
        m_vecRows.push_back({nLine, 0, ToUtf8(CellExcerpt(a.m_strText)),
                             "The datebook refused the appointment.", false});
        if (m_pNext)
            m_pNext->OnRefused(nLine, a);
    }

private:
    CImportObserver* m_pNext;
    std::vector<CRow> m_vecRows;
};

// A file of this run's own, removed when the run ends however it ends.
class CTemporaryFile {
public:
    explicit CTemporaryFile(std::string strPath) : m_strPath(std::move(strPath)) {}
    ~CTemporaryFile() { ::unlink(m_strPath.c_str()); }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// Standard input copied to a temporary file that ends in the format's extension, so that
// it can be read as a file is (a workbook, or a second time for the rejects file).
std::string CopyStandardInput(const std::string& strExtension) {
    const char* pszFolder = std::getenv("TMPDIR");
    std::string strTemplate = std::string(pszFolder && *pszFolder ? pszFolder : "/tmp") +
                              "/varno-stdin-XXXXXX" + strExtension;
    const int fd = ::mkstemps(strTemplate.data(), static_cast<int>(strExtension.size()));
    if (fd < 0)
        throw CUsageError("Cannot keep standard input in a temporary file: " + SystemError(errno) +
                          ".");
    std::vector<char> buffer(64 * 1024);
    bool bFailed = false;
    int nError = 0;
    while (!IsInterruptRequested()) {
        // Signals restart a blocking read: Ctrl+C is heard between waits of 100 ms.
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, 100);
        if (nReady == 0 || (nReady < 0 && errno == EINTR))
            continue;
        const ssize_t nRead = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            bFailed = true;
            nError = errno;
            break;
        }
        if (nRead == 0)
            break;
        for (ssize_t nDone = 0; nDone < nRead;) {
            const ssize_t n =
                ::write(fd, buffer.data() + nDone, static_cast<std::size_t>(nRead - nDone));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                bFailed = true;
                nError = n < 0 ? errno : ENOSPC;
                break;
            }
            nDone += n;
        }
        if (bFailed)
            break;
    }
    if (::close(fd) != 0 && !bFailed) {
        bFailed = true;
        nError = errno;
    }
    if (bFailed) {
        ::unlink(strTemplate.c_str());
        throw CUsageError("Cannot read standard input: " + SystemError(nError) + ".");
    }
    return strTemplate;
}

// The extension that makes the import read a copy of standard input in the format.
std::string StandardInputExtension(const std::string& strFormat) {
    const std::string strLower = AsciiLower(Trim(strFormat));
    if (strLower.empty() || strLower == "csv")
        return ".csv";
    if (strLower == "xls" || strLower == "xlsx") {
        if (!IsExcelAvailable())
            throw CUsageError("Cannot read standard input as " + strLower +
                              ": Excel workbooks need the spreadsheet component, which is not "
                              "available. Send CSV instead.");
        return "." + strLower;
    }
    throw CUsageError("--format takes csv, xls or xlsx, not \"" + strFormat + "\".");
}

std::string ReplaceAll(std::string text, const std::string& strFrom, const std::string& strTo) {
    if (strFrom.empty())
        return text;
    for (std::size_t n = text.find(strFrom); n != std::string::npos;
         n = text.find(strFrom, n + strTo.size()))
        text.replace(n, strFrom.size(), strTo);
    return text;
}

std::string JsonRangeFields(const COptions& options) {
    if (options.m_bFullFormat != 0)
        return "\"format\": \"full\"";
    return "\"format\": \"simple\", \"from\": " + JsonDate(options.GetExportFrom()) +
           ", \"to\": " + JsonDate(options.GetExportTo());
}

int Interrupted(CCliContext& context, const std::string& what) {
    context.m_services.PrintError("Interrupted: " + what);
    return InterruptExitStatus();
}

// The files that hold the program's own data: the datebook with its journals and the
// registry's hive files with their locks.
std::vector<std::string> OwnStoreFiles() {
    std::vector<std::string> files;
    const std::string strDatebook =
        CDatebookStore::DefaultFolder() + "/" + CDatebookStore::kFileName;
    for (const char* pszSuffix : {"", "-wal", "-shm", "-journal"})
        files.push_back(strDatebook + pszSuffix);
    for (const ERegHive hive :
         {ERegHive::ClassesRoot, ERegHive::CurrentUser, ERegHive::LocalMachine}) {
        const std::string strHive = RegistryFolder() + "/" + HiveName(hive) + ".reg";
        files.push_back(strHive);
        files.push_back(strHive + ".lock");
    }
    return files;
}

// Whether two names reach one file: the same path once links are resolved (for files that
// need not exist yet), or the same device and inode (hard links).
bool IsSameFile(const std::string& strA, const std::string& strB) {
    struct stat stA {};
    struct stat stB {};
    if (::stat(strA.c_str(), &stA) == 0 && ::stat(strB.c_str(), &stB) == 0)
        return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
    std::error_code ec;
    const std::filesystem::path realA =
        std::filesystem::weakly_canonical(COutputFile::ResolveLinks(strA), ec);
    if (ec)
        return false;
    const std::filesystem::path realB =
        std::filesystem::weakly_canonical(COutputFile::ResolveLinks(strB), ec);
    return !ec && realA == realB;
}

// Refuses to write over the datebook or the registry: an export there destroys them.
void RefuseOwnStore(const std::string& strFile) {
    for (const std::string& strStore : OwnStoreFiles()) {
        if (IsSameFile(strFile, strStore))
            throw CUsageError("Cannot write " + strFile + ": it is " + strStore +
                              ", where the program keeps its own data. Choose another file.");
    }
}

// Standard output, however it is named: the run's own messages then go to standard error.
bool IsStandardOutput(const std::string& strFile) {
    if (strFile == "-" || strFile == "/dev/stdout" || strFile == "/dev/fd/1" ||
        strFile == "/proc/self/fd/1")
        return true;
    struct stat stFile {};
    struct stat stOut {};
    return COutputFile::IsStreamTarget(strFile) && ::stat(strFile.c_str(), &stFile) == 0 &&
           ::fstat(STDOUT_FILENO, &stOut) == 0 && stFile.st_dev == stOut.st_dev &&
           stFile.st_ino == stOut.st_ino;
}

} // namespace

int RunExport(CCliContext& context, const CExportArguments& args) {
    COptions options = LoadRunOptions(args.m_range);
    const std::string& strFile = args.m_strFile;
    if (strFile.empty() || (strFile != "-" && std::filesystem::is_directory(strFile)))
        throw CUsageError("Give the name of the file to write, such as appointments.csv, or - "
                          "for standard output.");
    if (options.m_bFullFormat != 0 && IsVcsFile(strFile))
        throw CUsageError("A vCalendar file (.vcs) holds single days only: add --simple to write "
                          "the occurrences of the export range, or write an iCalendar file "
                          "(.ics) for the full format.");
    if (IsExcelFile(strFile) && !IsExcelAvailable())
        throw CUsageError("Cannot write " + strFile +
                          ": Excel workbooks need the spreadsheet component, which is not "
                          "available. Write a .csv file instead.");
    RefuseOwnStore(strFile);
    const bool bStream = COutputFile::IsStreamTarget(strFile);
    const std::string strUnchanged =
        bStream ? "the output is incomplete." : strFile + " was not changed.";

    BindHost(options);
    CExportOutcome outcome;
    {
        CProgressScope progress(context, CTerminalProgress::EUnit::Records,
                                context.m_bProgress ? DatebookSize() : 0);
        if (options.m_bFullFormat != 0)
            (void)ExportFull(strFile, options, progress.Get(), &outcome);
        else
            (void)ExportSimple(strFile, options.GetExportFrom(), options.GetExportTo(), options,
                               progress.Get(), &outcome);
    }
    if (outcome.m_bOpenFailed) {
        context.m_services.PrintError("Cannot write " + strFile + ": " +
                                      ToUtf8(outcome.m_strError));
        return CLI_EXIT_USAGE;
    }
    if (outcome.m_bWriteFailed) {
        context.m_services.PrintError("The export failed: " + strUnchanged);
        return CLI_EXIT_ERRORS;
    }
    if (outcome.m_bQuit)
        return Interrupted(context, "the export stopped, " + strUnchanged);
    // Any name that is not a workbook or calendar file is written as CSV: the summary says
    // so, for names such as x.pdf or notes.txt.
    const char* pszFormat = FormatNameOf(strFile);
    // With the appointments on standard output, the summary goes to standard error.
    std::ostream& report = IsStandardOutput(strFile) ? context.m_err : context.m_out;
    if (context.m_summary == CCliContext::ESummary::Json)
        report << "{\"file\": " << JsonQuote(strFile)
               << ", \"file_format\": " << JsonQuote(pszFormat)
               << ", \"written\": " << outcome.m_nWritten << ", " << JsonRangeFields(options)
               << "}\n";
    else if (context.m_summary == CCliContext::ESummary::Line)
        report << "Exported " << CountText(outcome.m_nWritten, "appointment", "appointments")
               << " to " << (strFile == "-" ? std::string("standard output") : strFile) << " as "
               << pszFormat << ".\n";
    return CLI_EXIT_OK;
}

int RunImport(CCliContext& context, const CImportArguments& args) {
    COptions options;
    options.Load();
    if (args.m_bIgnoreErrors)
        options.m_bIgnoreImportErrors = 1;
    if (args.m_bStopOnError)
        options.m_bIgnoreImportErrors = 0;
    if (args.m_bSkipDuplicates)
        options.m_bNoDuplicates = *args.m_bSkipDuplicates ? 1 : 0;
    if (args.m_bFull)
        options.m_bFullFormat = *args.m_bFull ? 1 : 0;
    context.m_services.SetStopOnError(args.m_bStopOnError);

    // Standard input is read from a copy; messages name it as "standard input".
    const bool bStdin = args.m_strFile == "-";
    if (!bStdin && !args.m_strFormat.empty())
        throw CUsageError("--format is for standard input (-): the name of " + args.m_strFile +
                          " chooses its format.");
    std::unique_ptr<CTemporaryFile> pCopy;
    if (bStdin) {
        const std::string strExtension = StandardInputExtension(args.m_strFormat);
        pCopy = std::make_unique<CTemporaryFile>(CopyStandardInput(strExtension));
        if (IsInterruptRequested())
            return Interrupted(context, "standard input was not read to its end; nothing was "
                                        "imported.");
    }
    const std::string strFile = bStdin ? pCopy->Path() : args.m_strFile;
    const std::string strShown = bStdin ? std::string("standard input") : strFile;
    struct stat st {};
    if (::stat(strFile.c_str(), &st) != 0 || ::access(strFile.c_str(), R_OK) != 0)
        throw CUsageError("Cannot read " + strShown + ": " + SystemError(errno) + ".");
    if (S_ISDIR(st.st_mode))
        throw CUsageError("Cannot read " + strShown + ": it is a folder.");
    if (IsVcsFile(strFile) || IsIcsFile(strFile))
        throw CUsageError("Cannot import " + strShown +
                          ": calendar files are written only; import a CSV file or a workbook.");
    if (IsExcelFile(strFile) && !IsExcelAvailable())
        throw CUsageError("Cannot read " + strShown +
                          ": Excel workbooks need the spreadsheet component, which is not "
                          "available. Save the sheet as CSV and import that.");

    std::unique_ptr<CRejectsFile> pRejects;
    if (!args.m_strRejects.empty()) {
        // The rejects workflow mends the rejects file and imports it again: writing the
        // rejects over the input would lose the rows being read.
        if (IsSameFile(args.m_strRejects, strFile))
            throw CUsageError("Cannot write the rejected rows to " + args.m_strRejects +
                              ": it is the file being imported. Give another file.");
        RefuseOwnStore(args.m_strRejects);
        pRejects = std::make_unique<CRejectsFile>(args.m_strRejects, options);
        if (!pRejects->IsOpen())
            throw CUsageError("Cannot write " + args.m_strRejects + ": " + SystemError(errno) +
                              ".");
    }

    // Held to the end of the run: a second import would build its duplicate test before
    // this one has stored anything.
    std::optional<CDatebookLock> lock;
    if (!args.m_bDryRun)
        LockDatebook(context, lock);
    const std::int64_t nSizeBefore = args.m_bDryRun ? 0 : DatebookSize();

    BindHost(options);
    CImportStatistics stats;
    CImportSummary summaryRows(pRejects.get());
    CImportRun run;
    run.m_bDryRun = args.m_bDryRun;
    run.m_pStatistics = &stats;
    run.m_pObserver = &summaryRows;
    if (bStdin)
        run.m_strShownName = strShown;
    int nResult = 0;
    {
        CProgressScope progress(context, CTerminalProgress::EUnit::Bytes, st.st_size);
        nResult = ImportFile(strFile, options, progress.Get(), run);
    }
    if (pRejects) {
        // A file that could not be read at all rejected nothing: the old rejects file stays.
        if (nResult < 0 && stats.m_nRows == 0)
            pRejects->Discard();
        else if (!pRejects->Close())
            context.m_services.PrintError("Cannot write the rejected rows to " + args.m_strRejects +
                                          ": " + SystemError(errno) + ". It was not changed.");
    }
    // The host commits its last changes when the import releases the datebook; a failure
    // there has not been told yet.
    const std::string strUnstored =
        args.m_bDryRun ? std::string() : FlushDesktopHost(options.GetHostApplication());
    if (stats.m_bStorageFailed || !strUnstored.empty()) {
        if (!stats.m_bStorageFailed)
            context.m_services.PrintError(strUnstored);
        // Counted afresh: changes held back for a moment were lost with the failure.
        const std::int64_t nStored = std::max<std::int64_t>(0, DatebookSize() - nSizeBefore);
        context.m_out << "Import of " << strFile << " stopped: the datebook cannot be written. "
                      << CountText(nStored, "appointment was", "appointments were")
                      << " added (rows read up to line " << stats.m_nLastLine
                      << "); none is stored in part. Free the disk and import the file again "
                         "with --skip-duplicates to add the rest.\n";
        return CLI_EXIT_ERRORS;
    }
    if (nResult < 0) {
        const std::string strReason = ToUtf8(ImportFailureReason(stats, errno));
        context.m_services.PrintError("Cannot read " + strShown + ": " +
                                      ReplaceAll(strReason, strFile, strShown));
        return stats.m_nRows > 0 ? CLI_EXIT_ERRORS : CLI_EXIT_USAGE;
    }

    const int nRejected = stats.m_nRejected;
    // The rows after an empty Date cell were never looked at: the user hears how many.
    const bool bStoppedEarly = stats.m_nEmptyDateLine > 0 && stats.m_nLinesNotRead > 0;
    if (context.m_summary == CCliContext::ESummary::Json) {
        std::ostringstream json;
        json << "{\"file\": " << JsonQuote(bStdin ? "-" : strFile)
             << ", \"file_format\": " << JsonQuote(FormatNameOf(strFile))
             << ", \"dry_run\": " << (args.m_bDryRun ? "true" : "false")
             << ", \"rows\": " << stats.m_nRows << ", \"added\": " << stats.m_nAdded
             << ", \"updated\": " << stats.m_nUpdated << ", \"duplicates\": " << stats.m_nDuplicates
             << ", \"filtered\": " << stats.m_nFiltered << ", \"rejected\": " << nRejected
             << ", \"partly_stored\": " << stats.m_nStoreErrors
             << ", \"refused\": " << stats.m_nRefused << ", \"stopped_at_line\": ";
        if (bStoppedEarly)
            json << stats.m_nEmptyDateLine;
        else
            json << "null";
        json << ", \"lines_not_read\": " << (bStoppedEarly ? stats.m_nLinesNotRead : 0)
             << ", \"rejected_rows\": [";
        const char* pszSeparator = "";
        for (const CImportSummary::CRow& row : summaryRows.Rows()) {
            json << pszSeparator << "{\"line\": " << row.m_nLine << ", \"code\": " << row.m_nCode
                 << ", \"cell\": " << JsonQuote(row.m_strCell)
                 << ", \"reason\": " << JsonQuote(row.m_strReason)
                 << ", \"partly_stored\": " << (row.m_bPartlyStored ? "true" : "false") << "}";
            pszSeparator = ", ";
        }
        json << "]}";
        context.m_out << json.str() << '\n';
    } else if (context.m_summary == CCliContext::ESummary::Line) {
        std::string summary;
        if (args.m_bDryRun) {
            summary = "Dry run of " + strShown +
                      ", nothing was changed: " + std::to_string(stats.m_nAdded) +
                      " would be added, " + std::to_string(stats.m_nUpdated) + " updated, " +
                      std::to_string(stats.m_nDuplicates) + " skipped as duplicates, " +
                      std::to_string(nRejected) + " rejected";
        } else {
            summary = "Imported " + strShown + ": " + std::to_string(stats.m_nAdded) + " added, " +
                      std::to_string(stats.m_nUpdated) + " updated, " +
                      std::to_string(stats.m_nDuplicates) + " skipped as duplicates, " +
                      std::to_string(nRejected) + " rejected";
        }
        if (stats.m_nFiltered > 0)
            summary += ", " + std::to_string(stats.m_nFiltered) + " left out by the filter";
        if (stats.m_nStoreErrors > 0)
            summary += ", " + std::to_string(stats.m_nStoreErrors) + " without their repeat rule";
        if (stats.m_nRefused > 0)
            summary += ", " + std::to_string(stats.m_nRefused) + " refused by the datebook";
        summary += ".";
        context.m_out << summary << '\n';
        if (pRejects)
            context.m_out << "Rejected rows: " << pRejects->Count() << " written to "
                          << args.m_strRejects << ".\n";
    }
    context.m_out.flush();

    if (stats.m_bQuit)
        return Interrupted(context, "the import stopped after line " +
                                        std::to_string(stats.m_nLastLine) +
                                        "; the rows before it stay imported.");
    if (stats.m_bCancelled) {
        context.m_services.PrintError("The import stopped at line " +
                                      std::to_string(stats.m_nLastLine) +
                                      " on the error; the rows before it stay imported.");
        return CLI_EXIT_ERRORS;
    }
    if (bStoppedEarly)
        context.m_services.PrintError(
            strShown + ": stopped at line " + std::to_string(stats.m_nEmptyDateLine) +
            " (empty date); " + std::to_string(stats.m_nLinesNotRead) +
            (stats.m_nLinesNotRead == 1 ? " further line was" : " further lines were") +
            " not read (an empty Date cell ends the import).");
    const bool bErrors =
        nRejected > 0 || stats.m_nStoreErrors > 0 || stats.m_nRefused > 0 || bStoppedEarly;
    return bErrors ? CLI_EXIT_ERRORS : CLI_EXIT_OK;
}

int RunCount(CCliContext& context, const CRangeArguments& args) {
    COptions options = LoadRunOptions(args);
    BindHost(options);
    const int nErrorsBefore = context.m_services.ErrorsShown();
    const int nCount = numAppointments(options);
    if (context.m_services.QuitSeen())
        return Interrupted(context, "the count stopped before the end.");
    if (context.m_summary == CCliContext::ESummary::Json)
        context.m_out << "{\"count\": " << nCount << ", " << JsonRangeFields(options) << "}\n";
    else if (context.m_summary == CCliContext::ESummary::Line)
        context.m_out << StatusLine(options, nCount) << '\n';
    return context.m_services.ErrorsShown() > nErrorsBefore ? CLI_EXIT_ERRORS : CLI_EXIT_OK;
}

namespace {

// Every appointment the export's walk hands over, as a line or a JSON object.
class CListSink final : public CExportSink {
public:
    CListSink(std::ostream& out, bool bJson) : m_out(out), m_bJson(bJson) {}

    void Put(const CAppointment& a) override {
        if (m_bJson) {
            m_out << (m_nPut == 0 ? "[\n  " : ",\n  ") << "{\"date\": " << JsonDate(a.m_tDate)
                  << ", \"untimed\": " << (a.m_bUntimed ? "true" : "false")
                  << ", \"start\": " << (a.m_bUntimed ? "null" : JsonTime(a.m_tStart))
                  << ", \"end\": " << (a.m_bUntimed ? "null" : JsonTime(a.m_tEnd))
                  << ", \"text\": " << JsonQuote(ToUtf8(a.m_strText))
                  << ", \"repeat\": " << (a.m_bRepeat ? JsonQuote(RepeatSummary(a)) : "null")
                  << ", \"record_id\": " << a.m_nRecordId << "}";
        } else {
            std::string line = ToUtf8(FormatDate(a.m_tDate)) + "  ";
            line += a.m_bUntimed
                        ? std::string("(untimed)")
                        : ToUtf8(FormatTime(a.m_tStart)) + " - " + ToUtf8(FormatTime(a.m_tEnd));
            // The text on one line: its line breaks become blanks.
            std::string text = ToUtf8(a.m_strText);
            for (char& c : text) {
                if (c == '\r' || c == '\n' || c == '\t')
                    c = ' ';
            }
            line += "  " + text;
            if (a.m_bRepeat)
                line += "  [" + RepeatSummary(a) + "]";
            m_out << line << '\n';
        }
        ++m_nPut;
    }

    void Finish() {
        if (m_bJson)
            m_out << (m_nPut == 0 ? "[]\n" : "\n]\n");
        m_out.flush();
    }

private:
    // "Weekly every 2, until 2026-12-31" (dates in the user's short format in lines).
    [[nodiscard]] std::string RepeatSummary(const CAppointment& a) const {
        std::string text = RepeatTypeName(a.m_repeat.m_nType);
        if (text.empty())
            text = "Repeat";
        if (a.m_repeat.m_nInterval > 1)
            text += " every " + std::to_string(a.m_repeat.m_nInterval);
        if (a.m_repeat.m_tEnd != 0)
            text += ", until " + ToUtf8(FormatDate(a.m_repeat.m_tEnd));
        return text;
    }

    std::ostream& m_out;
    bool m_bJson;
    int m_nPut = 0;
};

} // namespace

int RunList(CCliContext& context, const CRangeArguments& args) {
    COptions options = LoadRunOptions(args);
    BindHost(options);
    CListSink sink(context.m_out, context.m_summary == CCliContext::ESummary::Json);
    CExportOutcome outcome;
    if (options.m_bFullFormat != 0)
        (void)ListFull(options, sink, &outcome);
    else
        (void)ListSimple(options.GetExportFrom(), options.GetExportTo(), options, sink, &outcome);
    sink.Finish();
    if (outcome.m_bQuit)
        return Interrupted(context, "the list stopped before the end.");
    return CLI_EXIT_OK;
}

int RunRemoveAll(CCliContext& context, const CRangeArguments& args, bool bYes) {
    COptions options = LoadRunOptions(args);
    if (!bYes && !context.m_bInteractive)
        throw CUsageError("Remove All asks for a confirmation: run it on a terminal, or add --yes "
                          "(varno count shows what it would remove).");
    std::optional<CDatebookLock> lock;
    LockDatebook(context, lock);
    BindHost(options);
    const std::string strUser = options.GetCurrentUserName();
    const int nCount = numAppointments(options);
    if (context.m_services.QuitSeen())
        return Interrupted(context, "nothing was removed.");
    if (nCount == 0) {
        context.m_out << "Nothing to remove: " << StatusLine(options, 0) << ".\n";
        return CLI_EXIT_OK;
    }
    if (!bYes) {
        const std::string question =
            ToUtf8(LoadMessageText(IDS_CONFIRM_REMOVE_ALL, {nCount, strUser}));
        if (!AskYesNo(context, question)) {
            if (IsInterruptRequested())
                return Interrupted(context, "nothing was removed.");
            context.m_out << "Nothing was removed.\n";
            return CLI_EXIT_OK;
        }
    }
    CRemoveOutcome outcome;
    {
        CProgressScope progress(context, CTerminalProgress::EUnit::Records,
                                context.m_bProgress ? DatebookSize() : 0);
        (void)RemoveAll(options, progress.Get(), &outcome);
    }
    if (const std::string strUnstored = FlushDesktopHost(options.GetHostApplication());
        !strUnstored.empty()) {
        context.m_services.PrintError(strUnstored);
        return CLI_EXIT_ERRORS;
    }
    std::string result = "Removed " + CountText(outcome.m_nRemoved, "appointment", "appointments");
    if (outcome.m_nExceptions > 0)
        result += " and " + CountText(outcome.m_nExceptions, "occurrence", "occurrences") +
                  " of repeating appointments";
    result += " for user " + ToUtf8(strUser) + ".";
    context.m_out << result << '\n';
    if (outcome.m_bQuit)
        return Interrupted(context, "the removal stopped; what was removed stays removed.");
    return CLI_EXIT_OK;
}

int RunArchive(CCliContext& context, const CArchiveArguments& args) {
    const TimeValue tCutoff = RequireDateArgument(args.m_strUpTo, "--up-to date");
    if (args.m_nLarger && !IsArchiveSizeValid(*args.m_nLarger))
        throw CUsageError("--larger takes a size from " + std::to_string(kMinArchiveSize) + " to " +
                          std::to_string(kMaxArchiveSize) + " bytes, not " +
                          std::to_string(*args.m_nLarger) + ".");
    std::optional<CDatebookLock> lock;
    LockDatebook(context, lock);
    COptions options = OpenOptions();
    context.m_out << ToUtf8(ArchiveCountText(CountArchivable(options))) << '\n';
    const bool bLarger = args.m_nLarger.has_value();
    const int nMarked = ArchiveAppointments(options, tCutoff, bLarger,
                                            bLarger ? *args.m_nLarger : options.m_nMinSize);
    if (const std::string strUnstored = FlushDesktopHost(options.GetHostApplication());
        !strUnstored.empty()) {
        context.m_services.PrintError(strUnstored);
        return CLI_EXIT_ERRORS;
    }
    if (bLarger)
        options.Save();
    const std::string text = ToUtf8(ArchiveResultText(nMarked));
    if (nMarked < 0) {
        context.m_services.PrintError(text);
        return CLI_EXIT_ERRORS;
    }
    context.m_out << text << '\n';
    return CLI_EXIT_OK;
}
