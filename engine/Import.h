// Import of a CSV file or workbook into the current user's datebook: a row with a known
// Record ID updates that appointment, any other row adds one unless "Skip Duplicates"
// finds it already there. Bad rows are reported with the file name, line and cell, or
// skipped with "Ignore Errors".
#pragma once

#include "host/HostInterfaces.h"
#include "model/Status.h"
#include "platform/com/ComPtr.h"

#include <cstdint>
#include <string>
#include <vector>

class CAppointment;
class COptions;
class CProgressControl;

// What a run did, row by row (header row excluded).
struct CImportStatistics {
    int m_nRows = 0; // rows read, valid or not
    bool m_bHeaderSkipped = false;
    // New appointments, and appointments found by Record ID and changed (a dry run: would
    // be); rows stored only in part are among them and counted in m_nStoreErrors too.
    int m_nAdded = 0;
    int m_nUpdated = 0;
    int m_nDuplicates = 0;     // skipped as already in the datebook
    int m_nFiltered = 0;       // left out by the filter
    int m_nRejected = 0;       // rows that could not be read (reported or ignored)
    int m_nStoreErrors = 0;    // stored only in part: the repeat rule or an exception date was bad
    int m_nRefused = 0;        // the host refused the appointment; nothing of a new one remains
    int m_nLastLine = 0;       // the line of the last row taken in hand
    bool m_bCancelled = false; // the user chose to stop
    bool m_bQuit = false;      // the application asked to quit
    // The datebook could not be written (a full disk, a read-only datebook, an I/O error):
    // the run stopped at m_nLastLine after one message; that row was not stored.
    bool m_bStorageFailed = false;
    // An empty Date cell ended the run on this line (0: it ran to the end of the file) with
    // this many lines after that row, up to the last row that holds anything, not read.
    int m_nEmptyDateLine = 0;
    int m_nLinesNotRead = 0;
    // Why the file could not be read (the result -1).
    std::string m_strError;
};

// A row that was not stored (or only in part), as the run reports it.
struct CRejectedRow {
    int m_nLine = 0;
    std::int32_t m_nCode = 0;     // the import error code, 101..113
    std::string m_strCell;        // the last cell read from the row
    std::string m_strMessage;     // what is wrong, as the message box explains it
    bool m_bPartlyStored = false; // a store error: the appointment stands without its rule
    // The row as it stood in the input, when the observer asked for it: a CSV row as its
    // line (without the CR LF that ends it); a workbook row as its cells up to the last one
    // that is not empty.
    std::string m_strRawLine;
    std::vector<std::string> m_vecRawCells;
};

// Told of every row's fate, in file order; every operation does nothing by default.
class CImportObserver {
public:
    virtual ~CImportObserver();
    // Rejected rows then carry the row as it stood in the input (read a second time).
    [[nodiscard]] virtual bool WantsRawRows() const { return false; }
    virtual void OnRowRejected(const CRejectedRow& row);
    virtual void OnAdded(int nLine, const CAppointment& appointment);
    virtual void OnUpdated(int nLine, const CAppointment& appointment);
    virtual void OnSkippedDuplicate(int nLine, const CAppointment& appointment);
    virtual void OnFiltered(int nLine, const CAppointment& appointment);
    // The host refused the appointment and the user was asked (the message box said why).
    virtual void OnRefused(int nLine, const CAppointment& appointment);
};

struct CImportRun {
    // Read and check every row and tell what would happen, changing nothing in the
    // datebook. Host refusals cannot be foreseen; everything else is as in a real run.
    bool m_bDryRun = false;
    CImportObserver* m_pObserver = nullptr;
    CImportStatistics* m_pStatistics = nullptr;
    // The duplicate test lists and loads the whole datebook for every row instead of
    // keeping it in memory: the slow reference way, for tests and measurements.
    bool m_bListDatebookPerRow = false;
    // The name messages give the file, when it is not its path (a copy of standard input).
    std::string m_strShownName{};
};

// 0 when the run ended (end of file, an empty date cell, or the user stopped it); -1 when
// the file cannot be read (a workbook without the spreadsheet component, a missing file),
// with errno and the statistics' m_strError telling why. Host-call exceptions outside the
// store operations (reaching the datebook, listing it) are not caught.
int ImportFile(const std::string& strFileName, COptions& options, CProgressControl* pProgress,
               const CImportRun& run = {});

// Why ImportFile returned -1: the statistics' reason, else the system's text for the error
// number it left in errno (nError).
[[nodiscard]] std::string ImportFailureReason(const CImportStatistics& stats, int nError);
// "Error reading file\n%s" with that reason.
[[nodiscard]] std::string ImportOpenErrorText(const CImportStatistics& stats, int nError);

// The text of an import error: "Error reading <file> line <n>", the cell between double
// quotes on a line of its own when there is one (its beginning when it is long), then the
// code's explanation.
[[nodiscard]] std::string ImportErrorText(std::int32_t nCode, const std::string& strFileName,
                                          int nLine, const std::string& strCell);
// A cell as a message quotes it: a long one cut to its first characters and "...".
[[nodiscard]] std::string CellExcerpt(const std::string& strCell);
// The explanation of an import error code alone (empty for codes outside 101..113).
[[nodiscard]] std::string ImportErrorMessage(std::int32_t nCode, const std::string& strCell);
// Shows ImportErrorText with OK and Cancel and the stop icon: true to go on.
bool ShowImportError(std::int32_t nCode, const std::string& strFileName, int nLine,
                     const std::string& strCell);

// Whether an appointment of the datebook is the same as the file's record: the whole
// datebook listed and loaded.
[[nodiscard]] bool IsDuplicateInHost(COptions& options, IHostDatebook* pDatebook,
                                     const CAppointment& appointment);
// The appointment with the record id; empty when the host holds none.
[[nodiscard]] CComPtr<IHostAppointment> FindHostAppointmentById(IHostDatebook* pDatebook,
                                                                LONG nRecordId);
// The options' filter applied to the record's text, note, category and location.
[[nodiscard]] bool PassesFilter(const COptions& options, const CAppointment& appointment);
