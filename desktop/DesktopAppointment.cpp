#include "desktop/DesktopAppointment.h"

#include "desktop/CalendarDay.h"

#include <limits>

using namespace desktop;

namespace {

HRESULT NoOutPointer(const char* pszOperation, const GUID& iid = IID_IHostAppointment) {
    return FailCall(E_POINTER, std::string(pszOperation) + " needs an out pointer.", iid);
}

const GUID& IidOf(EAppointmentText field) {
    return field == EAppointmentText::Location ? IID_IHostAppointment2 : IID_IHostAppointment;
}

HOSTTIME MidnightOf(int nDay) {
    return LocalMidnightOf(nDay).value_or(nDay < 0 ? std::numeric_limits<HOSTTIME>::min()
                                                   : std::numeric_limits<HOSTTIME>::max());
}

// The position that ends a walk up to `to`: the day after it, and never past the day after
// the datebook's last day.
HOSTTIME EndPosition(int nToDay) {
    return MidnightOf(std::min(nToDay, kLastDatebookDay) + 1);
}

} // namespace

CDesktopAppointment::CDesktopAppointment(std::shared_ptr<CDesktopSession> pSession,
                                         std::shared_ptr<CStoredAppointment> pRecord)
    : m_pSession(std::move(pSession)), m_pRecord(std::move(pRecord)) {}

CDesktopAppointment::~CDesktopAppointment() {
    if (m_bChanging)
        m_pSession->EndChange();
}

bool CDesktopAppointment::CopyIsStored() const {
    const CDatebookStore& store = m_pSession->Store();
    return m_bChanging && store.InBatch() && m_nStoredAt == store.ChangeCount();
}

void CDesktopAppointment::NoteStored(bool bWhole) {
    // After a write of one value to a copy that was out of date, the copy stays out of date.
    if (bWhole)
        m_nStoredAt = m_pSession->Store().ChangeCount();
}

const CRepeatPattern& CDesktopAppointment::Pattern() {
    // The record may be shared with other objects of the same list item, which can change
    // it: the schedule is compared, not trusted.
    const CStoredAppointment& r = *m_pRecord;
    const bool bSame = m_optPattern && m_optPatternSource &&
                       m_optPatternSource->m_tStart == r.m_tStart &&
                       m_optPatternSource->m_nType == r.m_nRepeatType &&
                       m_optPatternSource->m_nInterval == r.m_nRepeatInterval &&
                       m_optPatternSource->m_nExtra == r.m_nRepeatExtra &&
                       m_optPatternSource->m_nEndDay == r.m_nRepeatEndDay &&
                       m_optPatternSource->m_vecExceptionDays == r.m_vecExceptionDays;
    if (!bSame) {
        m_optPattern = r.Pattern();
        m_optPatternSource =
            CPatternSource{r.m_tStart,       r.m_nRepeatType,   r.m_nRepeatInterval,
                           r.m_nRepeatExtra, r.m_nRepeatEndDay, r.m_vecExceptionDays};
    }
    return *m_optPattern;
}

void CDesktopAppointment::BeginChange() {
    if (m_bChanging)
        return;
    m_pSession->BeginChange();
    m_bChanging = true;
}

HRESULT CDesktopAppointment::QueryInterface(const GUID& iid, void** ppv) {
    if (iid == IID_IHostAppointment2) {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        const HRESULT hr =
            RunHostCall(*m_pSession, "QueryInterface", IID_IHostAppointment2, [] { return S_OK; });
        if (hr != S_OK)
            return hr;
        if (m_pSession->OmitsAppointment2())
            return E_NOINTERFACE;
    }
    return CComObject::QueryInterface(iid, ppv);
}

HRESULT CDesktopAppointment::GetTextField(const char* pszOperation, EAppointmentText field,
                                          const std::u16string& text, BSTR* pbstrText) {
    return Call(
        pszOperation,
        [&] {
            if (!pbstrText)
                return NoOutPointer(pszOperation, IidOf(field));
            *pbstrText = NewBstr(text);
            return S_OK;
        },
        IidOf(field));
}

HRESULT CDesktopAppointment::SetTextField(const char* pszOperation, EAppointmentText field,
                                          BSTR bstrText) {
    return Call(
        pszOperation,
        [&] {
            BeginChange();
            const std::u16string_view text = BstrView(bstrText);
            std::u16string* pTarget = &m_pRecord->m_strText;
            switch (field) {
            case EAppointmentText::Text:
                break;
            case EAppointmentText::Note:
                pTarget = &m_pRecord->m_strNote;
                break;
            case EAppointmentText::Category:
                pTarget = &m_pRecord->m_strCategory;
                break;
            case EAppointmentText::Location:
                pTarget = &m_pRecord->m_strLocation;
                break;
            }
            const bool bWhole = CopyIsStored();
            if (bWhole && *pTarget == text)
                return S_OK;
            m_pSession->Store().SetText(m_pRecord->m_nRecordId, field, text);
            NoteStored(bWhole);
            pTarget->assign(text);
            return S_OK;
        },
        IidOf(field));
}

HRESULT CDesktopAppointment::GetStart(HOSTTIME* ptStart) {
    return Call("GetStart", [&] {
        if (!ptStart)
            return NoOutPointer("GetStart");
        *ptStart = m_pRecord->m_tStart;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetEnd(HOSTTIME* ptEnd) {
    return Call("GetEnd", [&] {
        if (!ptEnd)
            return NoOutPointer("GetEnd");
        *ptEnd = m_pRecord->m_tEnd;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetUntimed(BOOL* pbUntimed) {
    return Call("GetUntimed", [&] {
        if (!pbUntimed)
            return NoOutPointer("GetUntimed");
        *pbUntimed = m_pRecord->m_bUntimed ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::SetUntimed(BOOL bUntimed) {
    return Call("SetUntimed", [&] {
        BeginChange();
        const bool bWhole = CopyIsStored();
        if (bWhole && (bUntimed != FALSE) == m_pRecord->m_bUntimed &&
            (bUntimed != FALSE || !m_optTimedTimes)) {
            m_optTimedTimes.reset();
            return S_OK;
        }
        // The first two give the whole record; the third changes one value of the copy.
        bool bLoaded = true;
        if (bUntimed) {
            *m_pRecord = m_pSession->Store().MakeUntimed(m_pRecord->m_nRecordId);
        } else if (m_pRecord->m_bUntimed && m_optTimedTimes) {
            m_pSession->Store().MakeTimed(m_pRecord->m_nRecordId);
            *m_pRecord = m_pSession->Store().SetTimes(
                m_pRecord->m_nRecordId, m_optTimedTimes->first, m_optTimedTimes->second);
        } else {
            m_pSession->Store().MakeTimed(m_pRecord->m_nRecordId);
            m_pRecord->m_bUntimed = false;
            bLoaded = false;
        }
        NoteStored(bWhole || bLoaded);
        m_optTimedTimes.reset();
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetText(BSTR* pbstrText) {
    return GetTextField("GetText", EAppointmentText::Text, m_pRecord->m_strText, pbstrText);
}

HRESULT CDesktopAppointment::SetText(BSTR bstrText) {
    return SetTextField("SetText", EAppointmentText::Text, bstrText);
}

HRESULT CDesktopAppointment::GetNote(BSTR* pbstrNote) {
    return GetTextField("GetNote", EAppointmentText::Note, m_pRecord->m_strNote, pbstrNote);
}

HRESULT CDesktopAppointment::SetNote(BSTR bstrNote) {
    return SetTextField("SetNote", EAppointmentText::Note, bstrNote);
}

HRESULT CDesktopAppointment::GetRepeating(BOOL* pbRepeating) {
    return Call("GetRepeating", [&] {
        if (!pbRepeating)
            return NoOutPointer("GetRepeating");
        *pbRepeating = m_pRecord->IsRepeating() ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetExceptionCount(LONG* plCount) {
    return Call("GetExceptionCount", [&] {
        if (!plCount)
            return NoOutPointer("GetExceptionCount");
        *plCount = static_cast<LONG>(m_pRecord->m_vecExceptionDays.size());
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetAlarm(BOOL* pbAlarm) {
    return Call("GetAlarm", [&] {
        if (!pbAlarm)
            return NoOutPointer("GetAlarm");
        *pbAlarm = m_pRecord->m_bAlarm ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::SetAlarm(BOOL bAlarm) {
    return Call("SetAlarm", [&] {
        BeginChange();
        const bool bWhole = CopyIsStored();
        if (bWhole && m_pRecord->m_bAlarm == (bAlarm != FALSE))
            return S_OK;
        m_pSession->Store().SetAlarm(m_pRecord->m_nRecordId, bAlarm != FALSE);
        NoteStored(bWhole);
        m_pRecord->m_bAlarm = bAlarm != FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::AddException(HOSTTIME tDay) {
    return Call("AddException", [&] {
        BeginChange();
        *m_pRecord = m_pSession->Store().AddException(m_pRecord->m_nRecordId, LocalDayOf(tDay));
        NoteStored(true);
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetFirstOccurrence(HOSTTIME tFrom, HOSTTIME tTo, HOSTTIME* ptPosition,
                                                BOOL* pbFound) {
    return Call("GetFirstOccurrence", [&] {
        if (!ptPosition || !pbFound)
            return NoOutPointer("GetFirstOccurrence");
        const int nToDay = LocalDayOf(tTo);
        const std::optional<int> first = Pattern().FindFirst(LocalDayOf(tFrom), nToDay);
        *ptPosition = first ? MidnightOf(*first) : EndPosition(nToDay);
        *pbFound = first ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetNextOccurrence(HOSTTIME* ptPosition, HOSTTIME tTo,
                                               HOSTTIME* ptOccurrence, BOOL* pbFound) {
    return Call("GetNextOccurrence", [&] {
        if (!ptPosition || !ptOccurrence || !pbFound)
            return NoOutPointer("GetNextOccurrence");
        const int nToDay = LocalDayOf(tTo);
        const CRepeatPattern& pattern = Pattern();
        const std::optional<int> current = pattern.FindFirst(LocalDayOf(*ptPosition), nToDay);
        if (!current) {
            *ptOccurrence = 0;
            *pbFound = FALSE;
            *ptPosition = EndPosition(nToDay);
            return S_OK;
        }
        const std::optional<int> next = pattern.FindFirst(*current + 1, nToDay);
        *ptOccurrence = MidnightOf(*current);
        *pbFound = TRUE;
        *ptPosition = next ? MidnightOf(*next) : EndPosition(nToDay);
        return S_OK;
    });
}

HRESULT CDesktopAppointment::SetAlarmAdvance(LONG lUnit, LONG lAmount) {
    return Call("SetAlarmAdvance", [&] {
        BeginChange();
        const bool bWhole = CopyIsStored();
        if (bWhole && m_pRecord->m_nAlarmUnit == lUnit && m_pRecord->m_nAlarmAdvance == lAmount)
            return S_OK;
        m_pSession->Store().SetAlarmAdvance(m_pRecord->m_nRecordId, lUnit, lAmount);
        NoteStored(bWhole);
        m_pRecord->m_nAlarmUnit = lUnit;
        m_pRecord->m_nAlarmAdvance = lAmount;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetAlarmAdvance(LONG* plUnit, LONG* plAmount) {
    return Call("GetAlarmAdvance", [&] {
        if (!plUnit || !plAmount)
            return NoOutPointer("GetAlarmAdvance");
        *plUnit = m_pRecord->m_nAlarmUnit;
        *plAmount = m_pRecord->m_nAlarmAdvance;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEndDay,
                                       LONG* plExtra) {
    return Call("GetRepeat", [&] {
        if (!plType || !plInterval || !ptEndDay || !plExtra)
            return NoOutPointer("GetRepeat");
        const CStoredAppointment& a = *m_pRecord;
        *plType = a.m_nRepeatType;
        *plInterval = a.IsRepeating() ? a.m_nRepeatInterval : 0;
        *ptEndDay = a.IsRepeating() && a.m_nRepeatEndDay != CRepeatPattern::kNoEnd
                        ? MidnightOf(a.m_nRepeatEndDay)
                        : 0;
        *plExtra = a.IsRepeating() ? a.m_nRepeatExtra : 0;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::SetRepeat(LONG lType, LONG lInterval, HOSTTIME tEndDay, LONG lExtra) {
    return Call("SetRepeat", [&] {
        BeginChange();
        const int nEndDay = tEndDay == 0 ? CRepeatPattern::kNoEnd : LocalDayOf(tEndDay);
        *m_pRecord = m_pSession->Store().SetRepeat(m_pRecord->m_nRecordId, lType, lInterval,
                                                   nEndDay, lExtra);
        NoteStored(true);
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetRepeatType(LONG* plType) {
    return Call("GetRepeatType", [&] {
        if (!plType)
            return NoOutPointer("GetRepeatType");
        *plType = m_pRecord->m_nRepeatType;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetCategory(BSTR* pbstrCategory) {
    return GetTextField("GetCategory", EAppointmentText::Category, m_pRecord->m_strCategory,
                        pbstrCategory);
}

HRESULT CDesktopAppointment::SetCategory(BSTR bstrCategory) {
    return SetTextField("SetCategory", EAppointmentText::Category, bstrCategory);
}

HRESULT CDesktopAppointment::GetRecordId(LONG* plRecordId) {
    return Call("GetRecordId", [&] {
        if (!plRecordId)
            return NoOutPointer("GetRecordId");
        *plRecordId = m_pRecord->m_nRecordId;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetPrivate(BOOL* pbPrivate) {
    return Call("GetPrivate", [&] {
        if (!pbPrivate)
            return NoOutPointer("GetPrivate");
        *pbPrivate = m_pRecord->m_bPrivate ? TRUE : FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::SetPrivate(BOOL bPrivate) {
    return Call("SetPrivate", [&] {
        BeginChange();
        const bool bWhole = CopyIsStored();
        if (bWhole && m_pRecord->m_bPrivate == (bPrivate != FALSE))
            return S_OK;
        m_pSession->Store().SetPrivate(m_pRecord->m_nRecordId, bPrivate != FALSE);
        NoteStored(bWhole);
        m_pRecord->m_bPrivate = bPrivate != FALSE;
        return S_OK;
    });
}

HRESULT CDesktopAppointment::Delete(LONG lArchive) {
    return Call("Delete", [&] {
        BeginChange();
        m_pSession->Store().Delete(m_pRecord->m_nRecordId, lArchive != 0);
        return S_OK;
    });
}

HRESULT CDesktopAppointment::GetLocation(BSTR* pbstrLocation) {
    return GetTextField("GetLocation", EAppointmentText::Location, m_pRecord->m_strLocation,
                        pbstrLocation);
}

HRESULT CDesktopAppointment::SetLocation(BSTR bstrLocation) {
    return SetTextField("SetLocation", EAppointmentText::Location, bstrLocation);
}

HRESULT CDesktopAppointment::SetStartEnd(HOSTTIME tStart, HOSTTIME tEnd) {
    return Call(
        "SetStartEnd",
        [&] {
            BeginChange();
            const bool bUntimed = m_pRecord->m_bUntimed;
            *m_pRecord = m_pSession->Store().SetTimes(m_pRecord->m_nRecordId, tStart, tEnd);
            NoteStored(true);
            if (bUntimed)
                m_optTimedTimes.emplace(tStart, tEnd);
            return S_OK;
        },
        IID_IHostAppointment2);
}
