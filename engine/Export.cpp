#include "engine/Export.h"

#include "engine/ProgressSteps.h"
#include "fields/FieldLayout.h"
#include "formats/CalendarFormat.h"
#include "formats/FileFormat.h"
#include "formats/FormatSelection.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "model/Appointment.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/dialogs/UserServices.h"
#include "platform/file/OutputFile.h"
#include "platform/locale/SettingsHold.h"
#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/Trace.h"

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <new>

namespace {

// The folder of the program's own data (the datebook's, the registry's) that holds the
// file, links resolved, or that holds a hard link to it; empty for any other file. An
// export replacing one of these files destroys the datebook or the settings.
std::string OwnDataFolderOf(const std::string& strFile) {
    namespace fs = std::filesystem;
    if (strFile == "-")
        return {};
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(COutputFile::ResolveLinks(strFile), ec);
    struct stat stFile {};
    const bool bExists = !ec && ::stat(file.c_str(), &stFile) == 0;
    for (const std::string& strFolder : {GetUserDataFolder("datebook"), RegistryFolder()}) {
        const fs::path folder = fs::weakly_canonical(strFolder, ec);
        if (ec)
            continue;
        if (file.parent_path() == folder)
            return strFolder;
        if (!bExists || stFile.st_nlink < 2)
            continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
            struct stat stEntry {};
            if (::stat(entry.path().c_str(), &stEntry) == 0 && stEntry.st_dev == stFile.st_dev &&
                stEntry.st_ino == stFile.st_ino)
                return strFolder;
        }
    }
    return {};
}

// The longest error text shown after "Error writing file".
constexpr std::size_t kMaxErrorText = 1000;

enum class EExportKind { Simple, Full };

// One export from the opened format to its closing, with the write error handling that
// both kinds share.
class CExportRun {
public:
    CExportRun(EExportKind kind, const std::string& strFileName, COptions& options,
               CProgressControl* pProgress)
        : m_kind(kind), m_strFileName(strFileName), m_options(options),
          m_pProgressControl(pProgress) {
        if (kind == EExportKind::Simple) {
            m_bCalendar = IsVcsFile(strFileName) || IsIcsFile(strFileName);
        } else {
            m_bCalendar = IsIcsFile(strFileName);
            // A vCalendar file holds no repeat rules: each appointment becomes one event of
            // its first day.
            m_bDropRepeat = IsVcsFile(strFileName);
            m_bCalendar = m_bCalendar || m_bDropRepeat;
        }
    }

    // The walk hands every appointment to the sink instead of writing a file.
    void SetSink(CExportSink* pSink) { m_pSink = pSink; }

    // Opens the datebook and the file; false when the file cannot be opened.
    bool Open() {
        m_access = OpenDatebook(m_options);
        if (m_pSink)
            return true;
        if (const std::string strFolder = OwnDataFolderOf(m_strFileName); !strFolder.empty()) {
            m_outcome.m_strError = m_strFileName + " is in " + strFolder +
                                   ", where the program keeps its own data. Choose another file.";
            m_outcome.m_bOpenFailed = true;
            return false;
        }
        if (m_kind == EExportKind::Full)
            WriteTrace("Exporting %s", m_strFileName.c_str());
        m_pFormat = OpenExportFile(m_strFileName, m_options, &m_outcome.m_strError);
        if (!m_pFormat) {
            m_outcome.m_bOpenFailed = true;
            return false;
        }
        if (auto* pCalendar = dynamic_cast<CCalendarFormat*>(m_pFormat.get()))
            pCalendar->SetUidUser(m_options.GetCurrentUserName());
        return true;
    }

    // The walk over every record of the datebook; write errors end it with the message.
    void Run(TimeValue tFrom, TimeValue tTo) {
        try {
            Walk(tFrom, tTo);
            // The list's records are not needed to save the file: their memory goes before
            // the file's own (a workbook is made whole in memory before it is saved).
            m_access.m_pList = nullptr;
            // A stopped export is an incomplete file: dropped, so the old file stays.
            if (m_outcome.m_bQuit)
                m_pFormat.reset();
            else
                CloseFormat();
        } catch (const CFormatException& e) {
            ReportWriteError(e.what());
        } catch (const std::bad_alloc&) {
            ReportWriteError("Not enough memory.");
        }
        m_outcome.m_nWritten = m_nWritten;
    }

    [[nodiscard]] int Written() const { return m_nWritten; }
    [[nodiscard]] const CExportOutcome& Outcome() const { return m_outcome; }

private:
    void Walk(TimeValue tFrom, TimeValue tTo) {
        IHostAppointmentList* pList = m_access.m_pList.Get();
        if (m_kind == EExportKind::Full)
            WriteTrace("before progress");
        CProgressSteps progress(m_pProgressControl, ListCount(pList));
        if (m_kind == EExportKind::Full)
            WriteTrace("after progress");
        (void)PumpWaitingMessages();

        const CFieldLayout& layout = m_options.m_layout;
        if (!m_bCalendar && !m_pSink) {
            if (m_kind == EExportKind::Simple) {
                (void)layout.WriteSimpleHeader(*m_pFormat);
            } else {
                WriteTrace("before writeFullHeader");
                (void)layout.WriteFullHeader(*m_pFormat);
                WriteTrace("After writeFullHeader");
            }
        }

        for (LONG i = 0; i < ListCount(pList); ++i) {
            CAppointment appointment(&m_options);
            progress.SetPos(i);
            if (PumpWaitingMessages() == -1) {
                m_outcome.m_bQuit = true;
                break;
            }
            m_wait.Restore();
            if (m_kind == EExportKind::Full)
                WriteTrace("getting rec");
            const CComPtr<IHostAppointment> pItem = ListItem(pList, i);
            if (!pItem || !RecordPassesFilter(m_options, pItem.Get()))
                continue;
            if (m_kind == EExportKind::Full)
                WriteTrace("setApp");
            if (LoadFromHost(appointment, pItem.Get()) != STATUS_OK)
                continue;
            if (m_kind == EExportKind::Full)
                WriteFull(appointment, pItem.Get());
            else
                WriteSimple(appointment, pItem.Get(), tFrom, tTo);
        }
    }

    void WriteFull(CAppointment& appointment, IHostAppointment* pItem) {
        WriteTrace("Writing line");
        // A series goes out with its cancelled days, so that a reader or a later import
        // leaves them out too.
        // (A calendar event asks the host itself.)
        if (appointment.m_bRepeat && !m_bCalendar)
            LoadExceptionsFromHost(appointment, pItem);
        if (m_pSink) {
            m_pSink->Put(appointment);
        } else if (m_bCalendar) {
            if (m_bDropRepeat)
                appointment.m_bRepeat = false;
            (void)WriteEvent(*m_pFormat, appointment, pItem);
        } else {
            (void)m_options.m_layout.WriteFullRow(*m_pFormat, appointment);
        }
        ++m_nWritten;
    }

    void WriteSimple(CAppointment& appointment, IHostAppointment* pItem, TimeValue tFrom,
                     TimeValue tTo) {
        if (!HostFlag(pItem, &IHostAppointment::GetRepeating)) {
            if (appointment.m_tDate < tFrom || appointment.m_tDate > tTo)
                return;
            WriteDay(appointment, pItem);
            return;
        }
        HOSTTIME tPosition = 0;
        BOOL bFound = FALSE;
        ThrowIfFailed(pItem->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound),
                      IID_IHostAppointment);
        HOSTTIME tLast = 0;
        while (bFound) {
            HOSTTIME tOccurrence = 0;
            const HRESULT hr = pItem->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound);
            if (hr != S_OK) {
                ClearErrorInfo();
                break;
            }
            if (tOccurrence == tLast || !bFound)
                break;
            appointment.SetDate(tOccurrence);
            // An occurrence in a calendar file is an event of its own, without a rule;
            // a row keeps its repeat marker.
            if (m_bCalendar)
                appointment.m_bRepeat = false;
            WriteDay(appointment, pItem, true);
            tLast = tOccurrence;
        }
    }

    void WriteDay(const CAppointment& appointment, IHostAppointment* pItem,
                  bool bSeriesDay = false) {
        if (m_pSink)
            m_pSink->Put(appointment);
        else if (m_bCalendar)
            (void)WriteEvent(*m_pFormat, appointment, pItem, bSeriesDay);
        else
            (void)m_options.m_layout.WriteSimpleRow(*m_pFormat, appointment);
        ++m_nWritten;
    }

    void CloseFormat() {
        std::unique_ptr<CFileFormat> pFormat = std::move(m_pFormat);
        if (pFormat)
            (void)pFormat->CloseWrite();
    }

    void ReportWriteError(const std::string& strMessage) {
        m_outcome.m_bWriteFailed = true;
        m_outcome.m_strError = strMessage.substr(0, kMaxErrorText);
        (void)GetUserServices().ShowMessage(
            LoadMessageText(IDS_ERROR_WRITING_FILE, {m_outcome.m_strError}), EMessageButtons::Ok,
            EMessageIcon::Stop);
        // The file is closed all the same, unfinished: dropped, so the old file stays.
        m_pFormat.reset();
    }

    EExportKind m_kind;
    const std::string& m_strFileName;
    COptions& m_options;
    CProgressControl* m_pProgressControl;
    CExportSink* m_pSink = nullptr;
    bool m_bCalendar = false;
    bool m_bDropRepeat = false;
    // One set of regional settings for every row of the run.
    CLocaleSettingsHold m_localeHold;
    CWaitCursor m_wait;
    CDatebookAccess m_access;
    std::unique_ptr<CFileFormat> m_pFormat;
    int m_nWritten = 0;
    CExportOutcome m_outcome;
};

void GiveOutcome(const CExportRun& run, CExportOutcome* pOutcome) {
    if (pOutcome)
        *pOutcome = run.Outcome();
}

} // namespace

std::string ExportOpenErrorText(const CExportOutcome& outcome) {
    return LoadMessageText(IDS_ERROR_WRITING_FILE, {outcome.m_strError});
}

int ExportSimple(const std::string& strFileName, TimeValue tFrom, TimeValue tTo, COptions& options,
                 CProgressControl* pProgress, CExportOutcome* pOutcome) {
    CExportRun run(EExportKind::Simple, strFileName, options, pProgress);
    if (!run.Open()) {
        GiveOutcome(run, pOutcome);
        return -1;
    }
    run.Run(tFrom, tTo);
    GiveOutcome(run, pOutcome);
    return run.Written();
}

int ExportFull(const std::string& strFileName, COptions& options, CProgressControl* pProgress,
               CExportOutcome* pOutcome) {
    CExportRun run(EExportKind::Full, strFileName, options, pProgress);
    if (!run.Open()) {
        GiveOutcome(run, pOutcome);
        return 0;
    }
    run.Run(0, 0);
    GiveOutcome(run, pOutcome);
    return run.Written();
}

CExportSink::~CExportSink() = default;

int ListSimple(TimeValue tFrom, TimeValue tTo, COptions& options, CExportSink& sink,
               CExportOutcome* pOutcome) {
    const std::string strNoFile;
    CExportRun run(EExportKind::Simple, strNoFile, options, nullptr);
    run.SetSink(&sink);
    (void)run.Open();
    run.Run(tFrom, tTo);
    GiveOutcome(run, pOutcome);
    return run.Written();
}

int ListFull(COptions& options, CExportSink& sink, CExportOutcome* pOutcome) {
    const std::string strNoFile;
    CExportRun run(EExportKind::Full, strNoFile, options, nullptr);
    run.SetSink(&sink);
    (void)run.Open();
    run.Run(0, 0);
    GiveOutcome(run, pOutcome);
    return run.Written();
}

bool RecordPassesFilter(const COptions& options, IHostAppointment* pHost) {
    if (options.m_filter.GetRowCount() == 0)
        return true;
    std::string strLocation;
    std::string strCategory;
    ReadLocationAndCategory(pHost, strLocation, strCategory);
    std::string strNote = HostText(pHost, &IHostAppointment::GetNote);
    std::string strText = HostText(pHost, &IHostAppointment::GetText);
    return options.m_filter.Matches(std::move(strText), std::move(strNote), std::move(strCategory),
                                    std::move(strLocation));
}

int PumpWaitingMessages() {
    CUserServices& services = GetUserServices();
    bool bQuit = false;
    while (services.DispatchWaitingMessage(bQuit)) {
        if (bQuit) {
            services.PostQuit();
            return -1;
        }
    }
    for (long nCount = 0; services.OnIdle(nCount); ++nCount) {
    }
    return 0;
}
