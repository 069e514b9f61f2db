#include "engine/Archive.h"

#include "engine/Export.h"
#include "engine/ProgressSteps.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/dialogs/UserServices.h"
#include "platform/locale/SettingsHold.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

namespace {

// Whether a repeating appointment has no occurrence from the cutoff day on.
bool SeriesEndedBy(IHostAppointment* pItem, TimeValue tCutoff) {
    const TimeValue tRangeEnd = DatebookRangeEnd();
    HOSTTIME tPosition = 0;
    BOOL bFound = FALSE;
    ThrowIfFailed(pItem->GetFirstOccurrence(tCutoff, tRangeEnd, &tPosition, &bFound),
                  IID_IHostAppointment);
    if (!bFound)
        return true;
    bool bGaveOccurrence = false;
    HOSTTIME tPrevious = 0;
    for (;;) {
        HOSTTIME tOccurrence = 0;
        BOOL bNext = FALSE;
        if (pItem->GetNextOccurrence(&tPosition, tRangeEnd, &tOccurrence, &bNext) != S_OK) {
            ClearErrorInfo();
            break;
        }
        // A host that gives the same day again has no more to give.
        if (tOccurrence == 0 || !bNext || tOccurrence == tPrevious)
            break;
        bGaveOccurrence = true;
        if (tOccurrence > tCutoff)
            break;
        tPrevious = tOccurrence;
    }
    return !bGaveOccurrence;
}

} // namespace

int EstimateRecordSize(IHostAppointment* pHost) {
    const std::size_t nText = HostText(pHost, &IHostAppointment::GetText).size();
    const std::size_t nNote = HostText(pHost, &IHostAppointment::GetNote).size();
    std::int64_t nSize = nText > 0 ? static_cast<std::int64_t>(nText) + 17 : 16;
    if (nNote > 0)
        nSize += static_cast<std::int64_t>(nNote) + 1;
    if (HostFlag(pHost, &IHostAppointment::GetAlarm))
        nSize += 2;
    if (HostFlag(pHost, &IHostAppointment::GetRepeating)) {
        nSize += 6;
        const LONG nExceptions = HostLong(pHost, &IHostAppointment::GetExceptionCount);
        if (nExceptions > 0)
            nSize += 2 * static_cast<std::int64_t>(nExceptions) + 2;
    }
    return nSize > INT32_MAX ? INT32_MAX : static_cast<int>(nSize);
}

CArchiveCount CountArchivable(const COptions& options, IHostAppointmentList* pList) {
    CArchiveCount count;
    for (LONG i = 0; i < ListCount(pList); ++i) {
        const CComPtr<IHostAppointment> pItem = ListItem(pList, i);
        if (!pItem || !RecordPassesFilter(options, pItem.Get()))
            continue;
        ++count.m_nCount;
        count.m_nBytes += EstimateRecordSize(pItem.Get());
    }
    return count;
}

int MarkForArchival(const COptions& options, IHostAppointmentList* pList, TimeValue tCutoff,
                    int nMinSize) {
    int nMarked = 0;
    for (LONG i = 0; i < ListCount(pList); ++i) {
        const CComPtr<IHostAppointment> pItem = ListItem(pList, i);
        if (!pItem || !RecordPassesFilter(options, pItem.Get()))
            continue;
        bool bCandidate = false;
        if (!HostFlag(pItem.Get(), &IHostAppointment::GetRepeating)) {
            const HOSTTIME tStart = HostTime(pItem.Get(), &IHostAppointment::GetStart);
            bCandidate = LocalMidnight(tStart) <= tCutoff;
        } else {
            bCandidate = SeriesEndedBy(pItem.Get(), tCutoff);
        }
        if (!bCandidate || (nMinSize >= 0 && EstimateRecordSize(pItem.Get()) < nMinSize))
            continue;
        ThrowIfFailed(pItem->Delete(1), IID_IHostAppointment);
        ++nMarked;
    }
    return nMarked;
}

int RemoveAll(COptions& options, CProgressControl* pProgress, CRemoveOutcome* pOutcome) {
    CRemoveOutcome outcome;
    const CLocaleSettingsHold hold;
    CWaitCursor wait;
    {
        const CDatebookAccess access = OpenDatebook(options);
        IHostAppointmentList* pList = access.m_pList.Get();
        const TimeValue tFrom = options.GetExportFrom();
        const TimeValue tTo = options.GetExportTo();
        CProgressSteps progress(pProgress, ListCount(pList));
        (void)PumpWaitingMessages();

        for (LONG i = 0; i < ListCount(pList); ++i) {
            const CComPtr<IHostAppointment> pItem = ListItem(pList, i);
            progress.SetPos(i);
            if (PumpWaitingMessages() == -1) {
                outcome.m_bQuit = true;
                break;
            }
            wait.Restore();
            if (!pItem || !RecordPassesFilter(options, pItem.Get()))
                continue;
            if (options.m_bFullFormat != 0) {
                ThrowIfFailed(pItem->Delete(0), IID_IHostAppointment);
                ++outcome.m_nRemoved;
            } else if (!HostFlag(pItem.Get(), &IHostAppointment::GetRepeating)) {
                const HOSTTIME tStart = HostTime(pItem.Get(), &IHostAppointment::GetStart);
                if (tFrom < tStart && tStart < tTo) {
                    ThrowIfFailed(pItem->Delete(0), IID_IHostAppointment);
                    ++outcome.m_nRemoved;
                }
            } else {
                HOSTTIME tPosition = 0;
                BOOL bFound = FALSE;
                ThrowIfFailed(pItem->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound),
                              IID_IHostAppointment);
                HOSTTIME tPrevious = 0;
                while (bFound) {
                    HOSTTIME tOccurrence = 0;
                    ThrowIfFailed(pItem->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound),
                                  IID_IHostAppointment);
                    // A host that gives the same day again has no more to give.
                    if (!bFound || tOccurrence == tPrevious)
                        break;
                    ThrowIfFailed(pItem->AddException(tOccurrence), IID_IHostAppointment);
                    ++outcome.m_nExceptions;
                    tPrevious = tOccurrence;
                }
            }
        }
    }
    if (pOutcome)
        *pOutcome = outcome;
    return outcome.m_nRemoved + outcome.m_nExceptions;
}

CArchiveCount CountArchivable(const COptions& options) {
    const CDatebookAccess access = OpenDatebook(options);
    return CountArchivable(options, access.m_pList.Get());
}

std::string ArchiveCountText(const CArchiveCount& count) {
    return LoadMessageText(IDS_ARCHIVE_COUNT,
                           {count.m_nCount, static_cast<long long>(count.m_nBytes)});
}

int ArchiveAppointments(COptions& options, TimeValue tCutoff, bool bOnlyLarger, int nSize) {
    options.m_nMinSize = nSize;
    const CDatebookAccess access = OpenDatebook(options);
    return MarkForArchival(options, access.m_pList.Get(), tCutoff, bOnlyLarger ? nSize : -1);
}

std::string ArchiveResultText(int nMarked) {
    if (nMarked < 0)
        return LoadResourceString(IDS_ERROR_ARCHIVING);
    return LoadMessageText(nMarked == 1 ? IDS_ARCHIVE_MARKED_ONE : IDS_ARCHIVE_MARKED_MANY,
                           {nMarked});
}
