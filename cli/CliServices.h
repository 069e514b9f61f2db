// What the operations ask of the user, answered on a terminal: message boxes become lines on
// standard error, questions are answered by the command's flags, the message pump reports
// Ctrl+C (SIGINT) or SIGTERM as the application's quit request, and a progress bar is drawn
// on standard error while it is a terminal.
//
#pragma once

#include "platform/dialogs/UserServices.h"

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

// Exit statuses of the command line.
enum ECliExit : int {
    CLI_EXIT_OK = 0,
    CLI_EXIT_ERRORS = 1,       // the operation reported errors: rejected rows, host refusals
    CLI_EXIT_USAGE = 2,        // bad usage, or a file or datebook that cannot be opened
    CLI_EXIT_INTERRUPTED = 130 // stopped by SIGINT (128 + the signal's number)
};

// SIGINT and SIGTERM set a flag that the message pump reports; a second signal ends the
// process at once.
void InstallInterruptHandlers();
[[nodiscard]] bool IsInterruptRequested();
// The status of a run that stopped on a signal: 128 + its number.
[[nodiscard]] int InterruptExitStatus();
// Sets the flag as the signal handler would (tests, and a prompt that sees end of input).
void RequestInterrupt();
void ClearInterruptRequest();

// Microseconds (at most one second) that every pump of the message loop sleeps, so that a
// test can interrupt a run half way through. Null (the default) in the programs; test
// builds install one.
using FnPumpDelayHook = std::int64_t (*)();
void SetPumpDelayHook(FnPumpDelayHook pHook);

class CTerminalProgress;

class CCliUserServices final : public CUserServices {
public:
    explicit CCliUserServices(std::ostream& err);

    // Text in the system code page: written in UTF-8 to standard error, the first line after
    // "varno: ", the others indented. An OK/Cancel question is answered Cancel when the run
    // stops on errors, else OK.
    EMessageAnswer ShowMessage(std::string_view text, EMessageButtons buttons,
                               EMessageIcon icon) override;
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void RestoreWaitCursor() override {}
    bool DispatchWaitingMessage(bool& bQuit) override;
    void PostQuit() override {}
    bool OnIdle(long) override { return false; }

    void SetStopOnError(bool bStop) { m_bStopOnError = bStop; }
    // Messages with the stop or exclamation icon shown so far.
    [[nodiscard]] int ErrorsShown() const { return m_nErrorsShown; }
    // Whether an operation heard the quit request.
    [[nodiscard]] bool QuitSeen() const { return m_bQuitSeen; }
    // The bar that a message first clears from the line; null for none.
    void SetProgress(CTerminalProgress* pProgress) { m_pProgress = pProgress; }

    // A line of the command line's own on standard error, with the bar cleared first.
    void PrintError(std::string_view utf8);

private:
    std::ostream& m_err;
    CTerminalProgress* m_pProgress = nullptr;
    bool m_bStopOnError = false;
    int m_nErrorsShown = 0;
    bool m_bQuitSeen = false;
    std::int64_t m_nPumpDelayUs = 0;
};

// A progress bar on one line of a terminal: the bar, position and total, rate and time
// left, redrawn at most ten times a second. The operation sets its range in its own units
// (at most 65535); the bar shows them scaled to the real total, in records or kilobytes.
class CTerminalProgress final : public CProgressControl {
public:
    // nTotal: the real total in the unit (records, or bytes for EUnit::Bytes); 0 when unknown,
    // then the operation's range is shown as it is.
    enum class EUnit { Records, Bytes };
    CTerminalProgress(std::ostream& err, EUnit unit, std::int64_t nTotal);
    ~CTerminalProgress() override;

    void SetRange(int nLower, int nUpper) override;
    void SetPos(int nPos) override;
    void Show(bool bShow) override;
    // Removes the bar from the line (before other output).
    void Clear();

    // The line for a position, total and elapsed time (no terminal control characters).
    [[nodiscard]] static std::string FormatLine(std::int64_t nPos, std::int64_t nTotal,
                                                double dSeconds, EUnit unit, int nWidth);

private:
    void Draw(bool bForce);

    std::ostream& m_err;
    EUnit m_unit;
    std::int64_t m_nTotal;
    int m_nLower = 0;
    int m_nUpper = 0;
    int m_nPos = 0;
    bool m_bDrawn = false;
    std::chrono::steady_clock::time_point m_tStart;
    std::chrono::steady_clock::time_point m_tLastDraw;
};
