#include "engine/Import.h"

#include "engine/DuplicateIndex.h"
#include "engine/Export.h"
#include "engine/ProgressSteps.h"
#include "fields/FieldLayout.h"
#include "formats/CsvFormat.h"
#include "formats/ExcelFormat.h"
#include "formats/FileFormat.h"
#include "formats/FormatSelection.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/dialogs/UserServices.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/SettingsHold.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

CImportObserver::~CImportObserver() = default;
void CImportObserver::OnRowRejected(const CRejectedRow&) {}
void CImportObserver::OnAdded(int, const CAppointment&) {}
void CImportObserver::OnUpdated(int, const CAppointment&) {}
void CImportObserver::OnSkippedDuplicate(int, const CAppointment&) {}
void CImportObserver::OnFiltered(int, const CAppointment&) {}
void CImportObserver::OnRefused(int, const CAppointment&) {}

namespace {

// A workbook row has at most this many columns.
constexpr int kMaxWorkbookColumns = 256;

// A second reader of the same file, one row behind nothing: it fetches a row whenever the
// import fetches one, and gives the row as it stood when asked.
class CRawRowReader {
public:
    CRawRowReader(const std::string& strFileName, const COptions& options, bool bWanted) {
        if (!bWanted)
            return;
        try {
            if (IsExcelFile(strFileName)) {
                m_bWorkbook = true;
                m_pFormat = std::make_unique<CExcelFormat>();
            } else {
                // The import's separator and quote, so that rows end where the import's
                // end; the row is handed over as its line.
                auto pCsv = std::make_unique<CCsvFormat>();
                pCsv->SetSeparator(options.m_strSeparator);
                pCsv->SetQuote(options.m_strQuote);
                m_pCsv = pCsv.get();
                m_pFormat = std::move(pCsv);
            }
            if (m_pFormat->OpenRead(strFileName) != STATUS_OK) {
                m_pFormat.reset();
                m_pCsv = nullptr;
            }
        } catch (const CFormatException&) {
            m_pFormat.reset();
            m_pCsv = nullptr;
        }
    }

    ~CRawRowReader() {
        if (m_pFormat)
            (void)m_pFormat->CloseRead();
    }
    CRawRowReader(const CRawRowReader&) = delete;
    CRawRowReader& operator=(const CRawRowReader&) = delete;

    void NextRow() {
        if (m_pFormat)
            m_bHasRow = m_pFormat->NextRow() == STATUS_OK;
    }

    // Fills the raw fields of the row once; later calls find them taken.
    void TakeRow(CRejectedRow& row) {
        if (!m_pFormat || !m_bHasRow)
            return;
        m_bHasRow = false;
        if (m_pCsv) {
            row.m_strRawLine = m_pCsv->GetRowText();
            return;
        }
        std::string strCell;
        for (int i = 0; i < kMaxWorkbookColumns; ++i) {
            (void)m_pFormat->ReadText(strCell);
            row.m_vecRawCells.push_back(strCell);
        }
        while (!row.m_vecRawCells.empty() && row.m_vecRawCells.back().empty())
            row.m_vecRawCells.pop_back();
    }

private:
    std::unique_ptr<CFileFormat> m_pFormat;
    CCsvFormat* m_pCsv = nullptr; // m_pFormat, when a CSV file
    bool m_bWorkbook = false;
    bool m_bHasRow = false;
};

class CImportRunner {
public:
    CImportRunner(const std::string& strFileName, COptions& options, CProgressControl* pProgress,
                  const CImportRun& run, CImportStatistics& stats)
        : m_strFileName(strFileName), m_options(options), m_pProgressControl(pProgress), m_run(run),
          m_stats(stats), m_layout(options.m_layout), m_appointment(&options), m_index(&options) {}

    // 0 or -1 with errno set, as ImportFile returns.
    int Run() {
        m_access = OpenDatebookWithoutList(m_options);
        std::string strReason;
        m_pFormat = OpenImportFile(m_strFileName, m_options, &strReason);
        if (!m_pFormat) {
            const int nError = errno;
            m_stats.m_strError = strReason;
            m_access = {};
            errno = nError;
            return -1;
        }
        CRawRowReader raw(m_strFileName, m_options,
                          m_run.m_pObserver && m_run.m_pObserver->WantsRawRows());
        m_pRaw = &raw;
        try {
            Walk();
        } catch (const CFormatException& e) {
            // Reading stopped half way: what was stored stays, the caller hears why.
            m_stats.m_strError = e.what();
            Close();
            errno = EIO;
            return -1;
        }
        Close();
        return 0;
    }

private:
    void Walk() {
        CProgressSteps progress(m_pProgressControl, m_pFormat->GetSize());
        (void)PumpWaitingMessages();

        // A workbook's header is row 1 of its used range, which the format never reads as
        // data: its first row read is data like any other, and rows are named by the
        // sheet's own numbers. A header of field names places the columns all the same.
        const auto* pWorkbook = dynamic_cast<const CExcelFormat*>(m_pFormat.get());
        bool bNamedHeader = false;
        EStatus status = STATUS_OK;
        if (pWorkbook) {
            std::vector<std::string> vecCells;
            if (pWorkbook->PeekHeaderCells(vecCells))
                (void)m_options.m_layout.LayoutFromHeader(vecCells, m_layout);
            status = ReadRow();
        } else {
            status = ReadFirstRow(bNamedHeader);
        }
        int nLine = 1;
        // The first row of a file is its header as often as not: it is skipped without a
        // word, whatever made it fail, unless its text is not in the code page (then the
        // rows after it would fail alike and go unexplained).
        if (bNamedHeader ||
            (status > 0 && status != IMPORT_INVALID_TEXT && status != IMPORT_ROW_TOO_LONG &&
             status != IMPORT_NOTE_TOO_LONG && !pWorkbook)) {
            m_stats.m_bHeaderSkipped = true;
            status = ReadRow();
            nLine = 2;
        }
        while (status >= 0) {
            if (pWorkbook)
                nLine = pWorkbook->GetSheetRow();
            progress.SetPos(m_pFormat->GetPosition());
            if (PumpWaitingMessages() == -1) {
                m_stats.m_bQuit = true;
                break;
            }
            m_wait.Restore();
            ++m_stats.m_nRows;
            // Formats that know lines name the line the row starts on (a row may span
            // several, with line breaks inside its cells).
            const int nFileLine = m_pFormat->GetLineNumber();
            const int nAt = nFileLine > 0 ? nFileLine : nLine;
            m_stats.m_nLastLine = nAt;
            if (status > 0) {
                ++m_stats.m_nRejected;
                if (!Reject(status, nAt, false))
                    break;
            } else if (!TakeRow(nAt)) {
                break;
            }
            status = ReadRow();
            ++nLine;
        }
        if (status < 0 && m_bRowFetched && !m_stats.m_bQuit && !m_stats.m_bCancelled)
            CountLinesNotRead(nLine);
    }

    // The run stops at a row with an empty Date cell: the lines after it, up to the last
    // row that holds anything, are counted for the user (blank rows at the end are not).
    void CountLinesNotRead(int nRow) {
        const auto endLine = [this](int n) {
            const int nEnd = m_pFormat->GetRowEndLine();
            return nEnd > 0 ? nEnd : n;
        };
        const int nFirst = m_pFormat->GetLineNumber();
        m_stats.m_nEmptyDateLine = nFirst > 0 ? nFirst : nRow;
        const int nStopEnd = endLine(nRow);
        int nLastUsed = nStopEnd;
        std::vector<std::string> vecCells;
        for (int n = nRow + 1; m_pFormat->NextRow() >= 0; ++n) {
            bool bBlank = m_pFormat->PeekRowCells(vecCells) && !m_pFormat->IsRowTooLong();
            for (const std::string& strCell : vecCells)
                bBlank = bBlank && strCell.find_first_not_of(" \t\r\n") == std::string::npos;
            if (!bBlank)
                nLastUsed = endLine(n);
        }
        m_stats.m_nLinesNotRead = nLastUsed - nStopEnd;
    }

    // The first row: a header that names the columns sets the layout of the rows after it
    // (bNamedHeader); any other row is read as ReadRow does.
    EStatus ReadFirstRow(bool& bNamedHeader) {
        m_appointment.Reset();
        m_appointment.m_strExceptions.clear();
        m_pRaw->NextRow();
        m_bRowFetched = m_pFormat->NextRow() >= 0;
        if (!m_bRowFetched)
            return STATUS_FAILED;
        std::vector<std::string> vecCells;
        bNamedHeader = m_pFormat->PeekRowCells(vecCells) &&
                       m_options.m_layout.LayoutFromHeader(vecCells, m_layout);
        if (bNamedHeader)
            return STATUS_OK;
        return m_layout.ReadRowFields(*m_pFormat, m_appointment);
    }

    EStatus ReadRow() {
        m_appointment.Reset();
        // The exception dates belong to their row, like every other value.
        m_appointment.m_strExceptions.clear();
        m_pRaw->NextRow();
        m_bRowFetched = m_pFormat->NextRow() >= 0;
        if (!m_bRowFetched)
            return STATUS_FAILED;
        return m_layout.ReadRowFields(*m_pFormat, m_appointment);
    }

    // A row read without error; false to stop the run.
    bool TakeRow(int nLine) {
        CAppointment& a = m_appointment;
        CImportObserver* pObserver = m_run.m_pObserver;
        // A repeating row without a rule of its own (every row of a simple-format file)
        // stands for that one day.
        if (a.m_bRepeat && a.m_repeat.m_nInterval == 0)
            a.m_bRepeat = false;
        if (!PassesFilter(m_options, a)) {
            ++m_stats.m_nFiltered;
            if (pObserver)
                pObserver->OnFiltered(nLine, a);
            return true;
        }

        CComPtr<IHostAppointment> pExisting;
        if (a.m_nRecordId != 0)
            pExisting = FindHostAppointmentById(m_access.m_pDatebook.Get(), a.m_nRecordId);

        bool bUpdate = static_cast<bool>(pExisting);
        // A row without repeat fields (every row of a simple-format file) stands for one
        // day of a series: it may change the series' details, never move its first day.
        if (bUpdate && a.m_repeat.m_nInterval == 0)
            KeepSeriesStart(a, pExisting.Get());
        if (!bUpdate && m_options.m_bNoDuplicates != 0 && IsDuplicate()) {
            ++m_stats.m_nDuplicates;
            if (pObserver)
                pObserver->OnSkippedDuplicate(nLine, a);
            return true;
        }

        CStoreResult result;
        if (m_run.m_bDryRun) {
            result.m_status = CheckRepeatForStore(a);
            if (m_options.m_bNoDuplicates != 0) {
                EnsureIndex();
                m_index.Put(a, bUpdate ? a.m_nRecordId : 0);
            }
        } else if (bUpdate) {
            (void)UpdateInHost(a, pExisting.Get(), &result);
            pExisting.Release();
            if (m_index.IsLoaded())
                m_index.Refresh(m_access.m_pDatebook.Get(), a.m_nRecordId);
        } else {
            result.m_bKeepStored = m_index.IsLoaded();
            (void)AddToHost(a, m_access.m_pDatebook.Get(), &result);
            if (m_index.IsLoaded() && result.m_nRecordId != 0) {
                if (result.m_pStored)
                    m_index.Refresh(result.m_pStored.Get(), result.m_nRecordId);
                else
                    m_index.Refresh(m_access.m_pDatebook.Get(), result.m_nRecordId);
            }
            result.m_pStored.Release();
        }

        if (result.m_bStorageFailed) {
            m_stats.m_bStorageFailed = true;
            return false;
        }
        if (result.m_bHostRefused) {
            ++m_stats.m_nRefused;
            if (pObserver)
                pObserver->OnRefused(nLine, a);
        } else {
            ++(bUpdate ? m_stats.m_nUpdated : m_stats.m_nAdded);
            if (pObserver) {
                if (bUpdate)
                    pObserver->OnUpdated(nLine, a);
                else
                    pObserver->OnAdded(nLine, a);
            }
        }
        if (result.m_status == STATUS_FAILED) {
            m_stats.m_bCancelled = true;
            return false;
        }
        if (result.m_status > 0) {
            ++m_stats.m_nStoreErrors;
            return Reject(result.m_status, nLine, true);
        }
        return true;
    }

    void KeepSeriesStart(CAppointment& a, IHostAppointment* pExisting) {
        CAppointment existing(&m_options);
        if (LoadFromHost(existing, pExisting) == STATUS_OK && existing.m_bRepeat)
            a.m_tDate = existing.m_tDate;
    }

    bool IsDuplicate() {
        if (m_run.m_bListDatebookPerRow)
            return IsDuplicateInHost(m_options, m_access.m_pDatebook.Get(), m_appointment);
        EnsureIndex();
        return m_index.Contains(m_appointment);
    }

    void EnsureIndex() {
        if (!m_index.IsLoaded())
            m_index.Load(m_access.m_pDatebook.Get());
    }

    // Tells of a bad row; false when the user chose to stop.
    bool Reject(EStatus code, int nLine, bool bPartlyStored) {
        const std::string strCell = m_pFormat->GetLastCell();
        if (CImportObserver* pObserver = m_run.m_pObserver) {
            CRejectedRow row;
            row.m_nLine = nLine;
            row.m_nCode = code;
            row.m_strCell = strCell;
            row.m_strMessage = ImportErrorMessage(code, strCell);
            row.m_bPartlyStored = bPartlyStored;
            if (pObserver->WantsRawRows())
                m_pRaw->TakeRow(row);
            pObserver->OnRowRejected(row);
        }
        if (m_options.m_bIgnoreImportErrors != 0)
            return true;
        const std::string& strShown =
            m_run.m_strShownName.empty() ? m_strFileName : m_run.m_strShownName;
        if (ShowImportError(code, strShown, nLine, strCell))
            return true;
        m_stats.m_bCancelled = true;
        return false;
    }

    void Close() {
        if (m_pFormat) {
            (void)m_pFormat->CloseRead();
            m_pFormat.reset();
        }
    }

    const std::string& m_strFileName;
    COptions& m_options;
    CProgressControl* m_pProgressControl;
    const CImportRun& m_run;
    CImportStatistics& m_stats;
    // The options' layout, or the columns that the file's header names.
    CFieldLayout m_layout;
    // One set of regional settings for every row of the run.
    CLocaleSettingsHold m_localeHold;
    CWaitCursor m_wait;
    CDatebookAccess m_access;
    std::unique_ptr<CFileFormat> m_pFormat;
    CRawRowReader* m_pRaw = nullptr;
    // The last read fetched a row (a failed read without one is the end of the file).
    bool m_bRowFetched = false;
    CAppointment m_appointment;
    CDuplicateIndex m_index;
};

} // namespace

int ImportFile(const std::string& strFileName, COptions& options, CProgressControl* pProgress,
               const CImportRun& run) {
    CImportStatistics stats;
    int nResult = 0;
    try {
        CImportRunner runner(strFileName, options, pProgress, run, stats);
        nResult = runner.Run();
    } catch (...) {
        if (run.m_pStatistics)
            *run.m_pStatistics = stats;
        throw;
    }
    // Everything of the run is released by now; errno still tells why a file failed.
    const int nError = errno;
    if (run.m_pStatistics)
        *run.m_pStatistics = stats;
    errno = nError;
    return nResult;
}

std::string ImportErrorMessage(std::int32_t nCode, const std::string& strCell) {
    if (!IsImportError(nCode))
        return {};
    const unsigned nId = kImportMessageBase + static_cast<unsigned>(nCode);
    const TimeValue tNow = static_cast<TimeValue>(CurrentTime());
    switch (nCode) {
    case IMPORT_INVALID_DATE:
    case IMPORT_INVALID_REPEAT_END:
        return LoadMessageText(nId, {strCell, FormatDate(tNow)});
    case IMPORT_INVALID_START_TIME:
    case IMPORT_INVALID_END_TIME:
        return LoadMessageText(nId, {strCell, FormatTime(tNow)});
    case IMPORT_INVALID_EXCEPTION:
        return LoadMessageText(nId, {FormatDate(tNow)});
    case IMPORT_ROW_TOO_LONG:
        return LoadMessageText(nId, {std::string("39,999")});
    case IMPORT_NOTE_TOO_LONG: {
        const std::size_t nUnits =
            ToUtf16(strCell).size() +
            static_cast<std::size_t>(std::count(strCell.begin(), strCell.end(), '\n'));
        return LoadMessageText(nId, {std::to_string(nUnits), std::string("32,768")});
    }
    case IMPORT_INVALID_TEXT: {
        const unsigned codePage = GetSystemCodePage();
        const unsigned other = codePage == CP_UTF8 ? CP_WINDOWS_1252 : CP_UTF8;
        return LoadMessageText(nId, {CodePageName(codePage), CodePageName(other),
                                     std::to_string(other), CodePageName(codePage)});
    }
    default:
        return LoadMessageText(nId, {});
    }
}

std::string ImportFailureReason(const CImportStatistics& stats, int nError) {
    if (!stats.m_strError.empty())
        return stats.m_strError;
    return FromUtf8(std::strerror(nError));
}

std::string ImportOpenErrorText(const CImportStatistics& stats, int nError) {
    return LoadMessageText(IDS_ERROR_READING_FILE, {ImportFailureReason(stats, nError)});
}

std::string CellExcerpt(const std::string& strCell) {
    // Enough to find the row in an editor; a message box holds no more.
    constexpr std::size_t kShown = 60;
    constexpr std::size_t kLongest = 200;
    if (strCell.size() <= kLongest)
        return strCell;
    std::size_t nCut = kShown;
    // Never half a UTF-8 character.
    if (GetSystemCodePage() == CP_UTF8) {
        while (nCut > 0 && (static_cast<unsigned char>(strCell[nCut]) & 0xC0) == 0x80)
            --nCut;
    }
    return strCell.substr(0, nCut) + "... (" + std::to_string(strCell.size()) + " bytes)";
}

std::string ImportErrorText(std::int32_t nCode, const std::string& strFileName, int nLine,
                            const std::string& strCell) {
    std::string text = LoadMessageText(IDS_ERROR_READING_LINE, {strFileName, nLine});
    if (!strCell.empty()) {
        text += "\n\"";
        text += CellExcerpt(strCell);
        text += '"';
    }
    text += '\n';
    text += ImportErrorMessage(nCode, strCell);
    return text;
}

bool ShowImportError(std::int32_t nCode, const std::string& strFileName, int nLine,
                     const std::string& strCell) {
    return GetUserServices().ShowMessage(ImportErrorText(nCode, strFileName, nLine, strCell),
                                         EMessageButtons::OkCancel,
                                         EMessageIcon::Stop) == EMessageAnswer::Ok;
}

bool IsDuplicateInHost(COptions& options, IHostDatebook* pDatebook,
                       const CAppointment& appointment) {
    const CComPtr<IHostAppointmentList> pList = ListWholeDatebook(pDatebook);
    const LONG nCount = ListCount(pList.Get());
    for (LONG i = 0; i < nCount; ++i) {
        const CComPtr<IHostAppointment> pItem = ListItem(pList.Get(), i);
        if (!pItem)
            continue;
        CAppointment record(&options);
        (void)LoadFromHost(record, pItem.Get());
        if (record.IsSameAppointment(appointment))
            return true;
    }
    return false;
}

CComPtr<IHostAppointment> FindHostAppointmentById(IHostDatebook* pDatebook, LONG nRecordId) {
    CComPtr<IHostAppointment> pAppointment;
    if (FAILED(pDatebook->GetAppointmentById(nRecordId, pAppointment.Put()))) {
        // The host raises its error for an id it does not hold: the row is a new one.
        ClearErrorInfo();
        pAppointment.Release();
    }
    return pAppointment;
}

bool PassesFilter(const COptions& options, const CAppointment& appointment) {
    return options.m_filter.Matches(appointment.m_strText, appointment.m_strNote,
                                    appointment.m_strCategory, appointment.m_strLocation);
}
