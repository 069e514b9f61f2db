// Export of the current user's appointments to a file, the host-record filter test that
// every walk of the datebook uses, and the message pump that runs between records.
#pragma once

#include "model/DateText.h"

#include <string>

class CAppointment;
class COptions;
class CProgressControl;
struct IHostAppointment;

// What an export did besides its count, for callers that report it themselves.
struct CExportOutcome {
    // The rows or events written, as the result says.
    int m_nWritten = 0;
    // The file could not be opened (nothing was written), or writing failed (the message
    // was shown; the unfinished file was dropped and an old file of that name stays).
    // m_strError says why.
    bool m_bOpenFailed = false;
    bool m_bWriteFailed = false;
    std::string m_strError;
    // The application asked to quit: the export stopped after the record in hand and the
    // file was dropped unfinished (closed; an old file of that name stays as it was).
    bool m_bQuit = false;
};

// "Error writing file\n%s" with why the file could not be opened (m_strError).
[[nodiscard]] std::string ExportOpenErrorText(const CExportOutcome& outcome);

// One row (or calendar event) per appointment day within [tFrom, tTo]: every occurrence
// of a repeating appointment is a row of its own. Returns the number written, -1 when the
// file cannot be opened. Write errors show "Error writing file" and give the number
// written so far; host-call exceptions are not caught.
int ExportSimple(const std::string& strFileName, TimeValue tFrom, TimeValue tTo, COptions& options,
                 CProgressControl* pProgress, CExportOutcome* pOutcome = nullptr);
// One row (or event) per appointment with its repeat rule, whatever its date. Returns the
// number written, 0 when the file cannot be opened. A ".vcs" name writes vCalendar events
// without repeat rules, one per appointment.
int ExportFull(const std::string& strFileName, COptions& options, CProgressControl* pProgress,
               CExportOutcome* pOutcome = nullptr);

// Takes the appointments an export writes, in the export's order, instead of a file: one
// per occurrence (simple) with its day set and its repeat rule kept, or one per appointment
// (full).
class CExportSink {
public:
    virtual ~CExportSink();
    virtual void Put(const CAppointment& appointment) = 0;
};

// The export's walk with the sink for a file; the result is the number put.
int ListSimple(TimeValue tFrom, TimeValue tTo, COptions& options, CExportSink& sink,
               CExportOutcome* pOutcome = nullptr);
int ListFull(COptions& options, CExportSink& sink, CExportOutcome* pOutcome = nullptr);

// The filter of the options applied to a host record's text, note, category and location.
// A filter without rows passes every record without asking the host.
[[nodiscard]] bool RecordPassesFilter(const COptions& options, IHostAppointment* pHost);

// Dispatches the messages that wait and runs the idle work: 0 to go on, -1 when the
// application is quitting (the quit request is posted again for the application's loop).
int PumpWaitingMessages();
