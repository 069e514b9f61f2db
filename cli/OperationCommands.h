// The operations of the command line: export, import, count, Remove All and archive, run on
// the datebook of the stand-in host's current user with the options of the registry. Flags
// change the options for one run only; nothing of them is stored (but for the archive's
// size, which the archive stores as the dialog does).
#pragma once

#include <optional>
#include <ostream>
#include <string>

class CCliUserServices;

// The wait of a changing run for the datebook held by another, in seconds.
inline constexpr int kDefaultLockWaitSeconds = 10;
inline constexpr int kMaxLockWaitSeconds = 86400;

struct CCliContext {
    std::ostream& m_out;
    std::ostream& m_err;
    CCliUserServices& m_services;
    bool m_bProgress = false;    // standard error is a terminal: draw a progress bar
    bool m_bInteractive = false; // standard input is a terminal too: questions can be asked
    // How long import, Remove All and archive wait for another run holding the datebook.
    int m_nLockWaitSeconds = kDefaultLockWaitSeconds;
    // What a summary becomes: a line on standard output, nothing (--quiet: errors only), or
    // a JSON object on standard output (--json).
    enum class ESummary { Line, Quiet, Json };
    ESummary m_summary = ESummary::Line;
};

// The format and range of one run: empty keeps what the options say.
struct CRangeArguments {
    std::optional<bool> m_bFull;
    std::string m_strFrom;
    std::string m_strTo;
};

struct CExportArguments {
    std::string m_strFile;
    CRangeArguments m_range;
};

struct CImportArguments {
    // "-" reads standard input, in the format m_strFormat: csv (empty), xls or xlsx.
    std::string m_strFile;
    std::string m_strFormat;
    bool m_bIgnoreErrors = false;
    std::optional<bool> m_bSkipDuplicates;
    // Simple (false) or full format (true) for this run; empty keeps the option.
    std::optional<bool> m_bFull;
    bool m_bStopOnError = false;
    bool m_bDryRun = false;
    std::string m_strRejects;
};

struct CArchiveArguments {
    std::string m_strUpTo;
    std::optional<int> m_nLarger;
};

// Each returns the exit status (ECliExit); usage errors raise CUsageError, a datebook that
// cannot be opened CDatebookError, host failures CComError.
int RunExport(CCliContext& context, const CExportArguments& args);
int RunImport(CCliContext& context, const CImportArguments& args);
int RunCount(CCliContext& context, const CRangeArguments& args);
// The appointments an export would write, one line each (or a JSON array).
int RunList(CCliContext& context, const CRangeArguments& args);
int RunRemoveAll(CCliContext& context, const CRangeArguments& args, bool bYes);
int RunArchive(CCliContext& context, const CArchiveArguments& args);
