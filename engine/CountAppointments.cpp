#include "engine/CountAppointments.h"

#include "engine/Export.h"
#include "formats/FileFormat.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "model/DateText.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/dialogs/UserServices.h"
#include "platform/locale/SettingsHold.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "settings/Trace.h"

#include <new>
#include <string>

namespace {

constexpr std::size_t kMaxErrorText = 1000;

// The trace switch as WriteTrace reads it; asked before the texts of a line are made, so
// that a count without the trace formats no dates.
bool TraceOn() {
    return ReadRegDword(kProductKey, "writetrace", 0) != 0;
}

class CCounter {
public:
    explicit CCounter(const COptions& options)
        : m_options(options), m_tFrom(options.GetExportFrom()), m_tTo(options.GetExportTo()),
          m_tRangeEnd(DatebookRangeEnd()) {}

    void Walk(IHostAppointmentList* pList) {
        for (LONG i = 0; i < ListCount(pList); ++i) {
            if (i % 10 == 0 && PumpWaitingMessages() == -1)
                break;
            const CComPtr<IHostAppointment> pItem = ListItem(pList, i);
            if (!pItem || !RecordPassesFilter(m_options, pItem.Get()))
                continue;
            if (m_options.m_bFullFormat != 0) {
                ++m_nCount;
            } else if (!HostFlag(pItem.Get(), &IHostAppointment::GetRepeating)) {
                const HOSTTIME tStart = HostTime(pItem.Get(), &IHostAppointment::GetStart);
                if (m_tFrom <= tStart && tStart <= m_tTo)
                    ++m_nCount;
            } else {
                CountOccurrences(pItem.Get());
            }
        }
    }

    [[nodiscard]] int Count() const { return m_nCount; }

private:
    void CountOccurrences(IHostAppointment* pItem) {
        std::string strText;
        if (TraceOn()) {
            strText = HostText(pItem, &IHostAppointment::GetText);
            const HOSTTIME tStart = HostTime(pItem, &IHostAppointment::GetStart);
            WriteTrace("GetFirstOccurrence: %s %s start=%s %s end=%s %s diff=%d", strText.c_str(),
                       FormatDate(tStart).c_str(), FormatDateTime(m_tFrom).c_str(),
                       FormatTime(m_tFrom).c_str(), FormatDate(m_tTo).c_str(),
                       FormatTime(m_tTo).c_str(), static_cast<int>(m_tTo - m_tFrom));
        }
        HOSTTIME tPosition = 0;
        BOOL bFound = FALSE;
        const HRESULT hrFirst = pItem->GetFirstOccurrence(m_tFrom, m_tTo, &tPosition, &bFound);
        if (hrFirst != S_OK) {
            ClearErrorInfo();
            WriteTrace("GetFirstOccurrence return not OK");
        } else {
            if (!bFound) {
                WriteTrace("No success");
            } else if (TraceOn()) {
                const HOSTTIME tStart = HostTime(pItem, &IHostAppointment::GetStart);
                WriteTrace("Repeat evt %s %s pos=%s", TextOf(pItem, strText).c_str(),
                           FormatDateTime(tStart).c_str(), FormatDateTime(tPosition).c_str());
            }
            WalkOccurrences(pItem, tPosition, bFound, strText);
        }
        if (m_nCount > kMaxCountedOccurrences)
            WriteTrace("Infinite repeat at %s", TextOf(pItem, strText).c_str());
    }

    void WalkOccurrences(IHostAppointment* pItem, HOSTTIME tPosition, BOOL bFound,
                         std::string& strText) {
        HOSTTIME tNext = 0;
        while (bFound) {
            const HOSTTIME tPrevious = tNext;
            TracePositions("Before GetNextOccurrence", tPosition, tNext);
            if (pItem->GetNextOccurrence(&tPosition, m_tTo, &tNext, &bFound) != S_OK) {
                ClearErrorInfo();
                WriteTrace("Not OK");
                break;
            }
            TracePositions("After GetNextOccurrence", tPosition, tNext);
            if (!bFound) {
                WriteTrace("No success");
            } else if (TraceOn()) {
                WriteTrace("Repeat evt %s next %s %s", TextOf(pItem, strText).c_str(),
                           FormatDate(tNext).c_str(), FormatTime(tNext).c_str());
            }
            if (tNext == tPrevious || tNext >= m_tRangeEnd)
                break;
            if (bFound)
                ++m_nCount;
            if (m_nCount > kMaxCountedOccurrences)
                break;
        }
    }

    void TracePositions(const char* pszWhen, HOSTTIME tPosition, HOSTTIME tNext) const {
        if (!TraceOn())
            return;
        WriteTrace("%s: position=%s to=%s next=%s", pszWhen, FormatDateTime(tPosition).c_str(),
                   FormatDateTime(m_tTo).c_str(), FormatDateTime(tNext).c_str());
    }

    // The record's text for the trace, asked of the host once.
    static const std::string& TextOf(IHostAppointment* pItem, std::string& strText) {
        if (strText.empty())
            strText = HostText(pItem, &IHostAppointment::GetText);
        return strText;
    }

    const COptions& m_options;
    TimeValue m_tFrom;
    TimeValue m_tTo;
    TimeValue m_tRangeEnd;
    int m_nCount = 0;
};

} // namespace

int numAppointments(const COptions& options) {
    WriteTrace("Start numAppointments");
    const CLocaleSettingsHold hold;
    CWaitCursor wait;
    CCounter counter(options);
    {
        const CDatebookAccess access = OpenDatebook(options);
        try {
            counter.Walk(access.m_pList.Get());
        } catch (const CFormatException& e) {
            (void)GetUserServices().ShowMessage(
                LoadMessageText(IDS_ERROR_WRITING_FILE,
                                {std::string(e.what()).substr(0, kMaxErrorText)}),
                EMessageButtons::Ok, EMessageIcon::Stop);
        } catch (const std::bad_alloc&) {
            (void)GetUserServices().ShowMessage(
                LoadMessageText(IDS_ERROR_WRITING_FILE, {"Not enough memory."}),
                EMessageButtons::Ok, EMessageIcon::Stop);
        }
    }
    WriteTrace("End numAppointments");
    return counter.Count();
}

std::string CountStatusText(const COptions& options, int nCount) {
    if (options.m_bFullFormat != 0)
        return LoadMessageText(IDS_COUNT_FULL, {nCount});
    return LoadMessageText(
        nCount == 1 ? IDS_COUNT_RANGE_ONE : IDS_COUNT_RANGE,
        {nCount, FormatDate(options.GetExportFrom()), FormatDate(options.GetExportTo())});
}
