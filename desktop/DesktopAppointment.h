// One appointment of the datebook, with both appointment interfaces. It holds a copy of the
// record's values, which its getters answer; its setters write through to the store and
// update the copy. From its first change (a new appointment: from its creation) until it is
// released, its changes are one group that reaches the datebook whole or not at all
// (DesktopSession.h).
//
// Times given to an untimed appointment are kept by the object: making it timed afterwards
// gives it those times, as when the appointment had been timed all along.
//
// Occurrences walk with a position (a time value at a day's 00:00): GetFirstOccurrence finds
// the first occurrence in [date(from), date(to)]; each GetNextOccurrence gives the first
// occurrence on or after date(position) and moves the position to the one after it. When
// there is none left the position moves past date(to), so that every further call answers
// found clear. A single appointment has one occurrence, its start day.
//
// On a record that does not repeat, GetRepeat gives type 0, interval 0, end 0 and extra 0,
// and GetRepeatType gives 0.
#pragma once

#include "desktop/DesktopSession.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CDesktopAppointment final : public CComObject<CDesktopAppointment, IHostAppointment2> {
public:
    CDesktopAppointment(std::shared_ptr<CDesktopSession> pSession,
                        std::shared_ptr<CStoredAppointment> pRecord);
    ~CDesktopAppointment();

    // Joins the session's batch before the record is first changed.
    void BeginChange();
    // This object has just written the record: bWhole when the copy now equals the stored
    // record (it was loaded whole, or it equalled it before this write of one value).
    void NoteStored(bool bWhole);

    HRESULT QueryInterface(const GUID& iid, void** ppv) override;

    HRESULT GetStart(HOSTTIME* ptStart) override;
    HRESULT GetEnd(HOSTTIME* ptEnd) override;
    HRESULT GetUntimed(BOOL* pbUntimed) override;
    // Untimed moves start and end to the start day's 00:00.
    HRESULT SetUntimed(BOOL bUntimed) override;
    HRESULT GetText(BSTR* pbstrText) override;
    HRESULT SetText(BSTR bstrText) override;
    HRESULT GetNote(BSTR* pbstrNote) override;
    HRESULT SetNote(BSTR bstrNote) override;
    HRESULT GetRepeating(BOOL* pbRepeating) override;
    HRESULT GetExceptionCount(LONG* plCount) override;
    HRESULT GetAlarm(BOOL* pbAlarm) override;
    HRESULT SetAlarm(BOOL bAlarm) override;
    // Stores the local date of the value; only a repeating appointment takes one.
    HRESULT AddException(HOSTTIME tDay) override;
    HRESULT GetFirstOccurrence(HOSTTIME tFrom, HOSTTIME tTo, HOSTTIME* ptPosition,
                               BOOL* pbFound) override;
    HRESULT GetNextOccurrence(HOSTTIME* ptPosition, HOSTTIME tTo, HOSTTIME* ptOccurrence,
                              BOOL* pbFound) override;
    HRESULT SetAlarmAdvance(LONG lUnit, LONG lAmount) override;
    HRESULT GetAlarmAdvance(LONG* plUnit, LONG* plAmount) override;
    // End: the last day's 00:00, or 0 for none.
    HRESULT GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEndDay, LONG* plExtra) override;
    // Type 1..5, interval 1..99 (0 taken as 1), a weekday set for type 2, a week index 1..5
    // for type 3, an end day not before the start day; 0 and 2031-12-31 or later: no end.
    HRESULT SetRepeat(LONG lType, LONG lInterval, HOSTTIME tEndDay, LONG lExtra) override;
    HRESULT GetRepeatType(LONG* plType) override;
    HRESULT GetCategory(BSTR* pbstrCategory) override;
    HRESULT SetCategory(BSTR bstrCategory) override;
    HRESULT GetRecordId(LONG* plRecordId) override;
    HRESULT GetPrivate(BOOL* pbPrivate) override;
    HRESULT SetPrivate(BOOL bPrivate) override;
    // Non-zero: mark for archival at the next HotSync; 0: remove. Either is stored at once;
    // this object keeps answering with its copy.
    HRESULT Delete(LONG lArchive) override;

    HRESULT GetLocation(BSTR* pbstrLocation) override;
    HRESULT SetLocation(BSTR bstrLocation) override;
    HRESULT SetStartEnd(HOSTTIME tStart, HOSTTIME tEnd) override;

private:
    template <class F>
    HRESULT Call(const char* pszOperation, F&& body, const GUID& iid = IID_IHostAppointment) {
        return RunHostCall(*m_pSession, pszOperation, iid, std::forward<F>(body));
    }
    HRESULT SetTextField(const char* pszOperation, EAppointmentText field, BSTR bstrText);
    HRESULT GetTextField(const char* pszOperation, EAppointmentText field,
                         const std::u16string& text, BSTR* pbstrText);

    std::shared_ptr<CDesktopSession> m_pSession;
    // Whether the copy is known to equal the stored record: this object wrote it last, in the
    // open batch, which holds the datebook's write lock. A setter given the value the record
    // already has then stores nothing (an import sets every value of a new appointment, most
    // of them to what it has).
    [[nodiscard]] bool CopyIsStored() const;
    // The record's repeat pattern, built again only when its schedule changed: a walk over
    // a long series asks for it at every occurrence.
    [[nodiscard]] const CRepeatPattern& Pattern();

    std::shared_ptr<CStoredAppointment> m_pRecord;
    bool m_bChanging = false;
    std::int64_t m_nStoredAt = -1; // the store's change count when the copy was last stored
    // The schedule the cached pattern was built from.
    struct CPatternSource {
        HOSTTIME m_tStart = 0;
        LONG m_nType = 0;
        LONG m_nInterval = 0;
        LONG m_nExtra = 0;
        int m_nEndDay = 0;
        std::vector<int> m_vecExceptionDays;
    };
    std::optional<CPatternSource> m_optPatternSource;
    std::optional<CRepeatPattern> m_optPattern;
    // Start and end given while the record was untimed.
    std::optional<std::pair<HOSTTIME, HOSTTIME>> m_optTimedTimes;
};
