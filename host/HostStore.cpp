#include "host/HostStore.h"

#include "host/HostCalls.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "model/RepeatDays.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/dialogs/UserServices.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "res/MessageText.h"
#include "res/StringTable.h"
#include "settings/Options.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// A reference that may be null or not offer the interface; any other failure raises.
template <class Q> CComPtr<Q> QueryOptional(const CComPtr<IDispatch>& p, const GUID& iid) {
    CComPtr<Q> out;
    if (!p)
        return out;
    const HRESULT hr = p.QueryInterface(out);
    if (hr == E_NOINTERFACE) {
        out.Release();
        return out;
    }
    ThrowIfFailed(hr, iid);
    return out;
}

// The rest of an exception date list after taking its next token.
std::string TakeExceptionToken(std::string& strRest, char cSeparator) {
    std::size_t i = 0;
    if (!strRest.empty() && strRest[0] == '"')
        i = 1;
    const std::size_t nEnd = strRest.find(cSeparator, i);
    std::string token;
    if (nEnd == std::string::npos) {
        token = strRest.substr(i);
        strRest.clear();
    } else {
        token = strRest.substr(i, nEnd - i);
        strRest.erase(0, nEnd + 1);
    }
    return token;
}

char ExceptionSeparator(const CAppointment& appointment) {
    const COptions* pOptions = appointment.m_pOptions;
    if (!pOptions || pOptions->m_strExceptionDateSeparator.empty())
        return ' ';
    return pOptions->m_strExceptionDateSeparator[0];
}

// The extra value of SetRepeat for the rule's type; false for an unknown type.
bool RepeatExtra(const CRepeatRule& rule, LONG& nExtra) {
    switch (rule.m_nType) {
    case REPEAT_DAILY:
    case REPEAT_MONTHLY_BY_DATE:
    case REPEAT_YEARLY:
        nExtra = 0;
        return true;
    case REPEAT_WEEKLY:
        nExtra = rule.m_byWeekdays;
        return true;
    case REPEAT_MONTHLY_BY_DAY:
        nExtra = rule.m_nWeekIndex;
        return true;
    default:
        return false;
    }
}

enum class ERepeatPlan { Single, Store, Error };

// What storing the rule amounts to, and the end day to store.
ERepeatPlan PlanRepeat(const CAppointment& a, HOSTTIME& tEndDay, EStatus& error) {
    // A rule whose interval was never read comes from a row without repeat fields: the row
    // stands for one day of the appointment.
    if (a.m_repeat.m_nInterval == 0)
        return ERepeatPlan::Single;
    tEndDay = DatebookRangeEnd();
    if (a.m_repeat.m_tEnd != 0) {
        const TimeValue tDay = LocalMidnight(a.m_tDate);
        const TimeValue tEnd = LocalMidnight(a.m_repeat.m_tEnd);
        if (tEnd == tDay)
            return ERepeatPlan::Single;
        if (tDay > tEnd) {
            error = IMPORT_INVALID_REPEAT_END;
            return ERepeatPlan::Error;
        }
        tEndDay = a.m_repeat.m_tEnd;
    }
    LONG nExtra = 0;
    if (!RepeatExtra(a.m_repeat, nExtra)) {
        error = IMPORT_INVALID_REPEAT_TYPE;
        return ERepeatPlan::Error;
    }
    return ERepeatPlan::Store;
}

// The repeat rule and exceptions; host failures raise. Without a host appointment only
// the result is found, nothing stored.
EStatus StoreRepeatRule(const CAppointment& a, IHostAppointment* pHost) {
    HOSTTIME tEndDay = 0;
    EStatus error = STATUS_OK;
    switch (PlanRepeat(a, tEndDay, error)) {
    case ERepeatPlan::Single:
        return STATUS_OK;
    case ERepeatPlan::Error:
        return error;
    case ERepeatPlan::Store:
        break;
    }
    LONG nExtra = 0;
    (void)RepeatExtra(a.m_repeat, nExtra);
    if (pHost)
        ThrowIfFailed(pHost->SetRepeat(a.m_repeat.m_nType, a.m_repeat.m_nInterval, tEndDay, nExtra),
                      IID_IHostAppointment);

    const char cSeparator = ExceptionSeparator(a);
    std::string strRest = a.m_strExceptions;
    while (!strRest.empty()) {
        const std::string token = TakeExceptionToken(strRest, cSeparator);
        TimeValue tDay = 0;
        if (ParseDateText(token, tDay) != STATUS_OK)
            return IMPORT_INVALID_EXCEPTION;
        if (pHost)
            ThrowIfFailed(pHost->AddException(tDay), IID_IHostAppointment);
    }
    return STATUS_OK;
}

void StoreText(IHostAppointment* pHost, HRESULT (IHostAppointment::*pfn)(BSTR),
               std::u16string_view text) {
    CBstr bstr(text);
    ThrowIfFailed((pHost->*pfn)(bstr.Get()), IID_IHostAppointment);
}

// The first nMax UTF-16 units of a text, never splitting a surrogate pair.
std::u16string_view FirstUnits(std::u16string_view text, std::size_t nMax) {
    if (text.size() <= nMax)
        return text;
    std::size_t n = nMax;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    return text.substr(0, n);
}

void SetResult(CStoreResult* pResult, EStatus status, bool bRefused, LONG nRecordId,
               bool bStorageFailed = false) {
    if (pResult) {
        pResult->m_status = status;
        pResult->m_bHostRefused = bRefused && !bStorageFailed;
        pResult->m_bStorageFailed = bStorageFailed;
        pResult->m_nRecordId = nRecordId;
    }
}

} // namespace

CComPtr<IHostAppointmentList> ListWholeDatebook(IHostDatebook* pDatebook) {
    CComPtr<IHostAppointmentList> pList;
    ThrowIfFailed(pDatebook->GetAppointments(DatebookRangeStart(), DatebookRangeEnd(), pList.Put()),
                  IID_IHostDatebook);
    if (!pList)
        throw CComError(E_POINTER, IID_IHostAppointmentList);
    return pList;
}

CDatebookAccess OpenDatebookWithoutList(const COptions& options) {
    CDatebookAccess access;
    const CComPtr<IDispatch> pHost(options.GetHostApplication());
    access.m_pApplication = QueryOptional<IHostApplication>(pHost, IID_IHostApplication);
    if (!access.m_pApplication)
        throw CComError(E_POINTER, IID_IHostApplication);

    CComPtr<IDispatch> pObject;
    ThrowIfFailed(access.m_pApplication->GetDatebook(pObject.Put()), IID_IHostApplication);
    access.m_pDatebook = QueryOptional<IHostDatebook>(pObject, IID_IHostDatebook);
    pObject.Release();
    if (!access.m_pDatebook)
        throw CComError(E_POINTER, IID_IHostDatebook);
    return access;
}

CDatebookAccess OpenDatebook(const COptions& options) {
    CDatebookAccess access = OpenDatebookWithoutList(options);
    access.m_pList = ListWholeDatebook(access.m_pDatebook.Get());
    return access;
}

EStatus LoadFromHost(CAppointment& a, IHostAppointment* pHost) {
    a.m_strText = HostText(pHost, &IHostAppointment::GetText);
    a.m_strNote = HostText(pHost, &IHostAppointment::GetNote);
    a.m_bPrivate = HostFlag(pHost, &IHostAppointment::GetPrivate);
    a.m_bUntimed = HostFlag(pHost, &IHostAppointment::GetUntimed);
    a.m_nRecordId = HostLong(pHost, &IHostAppointment::GetRecordId);

    const HOSTTIME tStart = HostTime(pHost, &IHostAppointment::GetStart);
    if (tStart == 0 || tStart == -1)
        return STATUS_FAILED;
    a.SetDate(tStart);
    a.SetStartTime(tStart);
    if (!a.m_bUntimed) {
        const HOSTTIME tEnd = HostTime(pHost, &IHostAppointment::GetEnd);
        if (tEnd == 0)
            return STATUS_FAILED;
        a.SetEndTime(tEnd);
        // Wraps like the 32-bit subtraction of the host's own values would.
        a.m_tsDuration = static_cast<TimeSpan>(static_cast<std::uint32_t>(a.m_tEnd) -
                                               static_cast<std::uint32_t>(a.m_tStart));
    }

    if (HostFlag(pHost, &IHostAppointment::GetAlarm)) {
        LONG nUnit = a.m_nAlarmUnit;
        LONG nAmount = a.m_nAlarmAdvance;
        ThrowIfFailed(pHost->GetAlarmAdvance(&nUnit, &nAmount), IID_IHostAppointment);
        a.m_nAlarmUnit = nUnit;
        a.m_nAlarmAdvance = nAmount;
        a.m_bAlarm = true;
    } else {
        a.m_bAlarm = false;
    }

    if (HostFlag(pHost, &IHostAppointment::GetRepeating)) {
        a.m_bRepeat = true;
        LONG nType = a.m_repeat.m_nType;
        LONG nInterval = a.m_repeat.m_nInterval;
        HOSTTIME tEnd = 0;
        LONG nExtra = 0;
        ThrowIfFailed(pHost->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), IID_IHostAppointment);
        a.m_repeat.m_nType = nType;
        a.m_repeat.m_nInterval = nInterval;
        if (nType == REPEAT_MONTHLY_BY_DAY)
            a.m_repeat.m_nWeekIndex = nExtra;
        else if (nType == REPEAT_WEEKLY)
            a.m_repeat.m_byWeekdays = static_cast<std::uint8_t>(nExtra & 0xFF);
        if (tEnd != 0)
            a.m_repeat.m_tEnd = tEnd;
    } else {
        a.m_bRepeat = false;
    }

    ReadLocationAndCategory(pHost, a.m_strLocation, a.m_strCategory);
    return STATUS_OK;
}

std::vector<std::int64_t> ReadExceptionDays(IHostAppointment* pHost) {
    if (!HostFlag(pHost, &IHostAppointment::GetRepeating))
        return {};
    LONG nType = 0;
    LONG nInterval = 0;
    HOSTTIME tEnd = 0;
    LONG nExtra = 0;
    ThrowIfFailed(pHost->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), IID_IHostAppointment);
    CRepeatRule rule;
    rule.m_nType = nType;
    rule.m_nInterval = nInterval;
    rule.m_byWeekdays = static_cast<std::uint8_t>(nType == REPEAT_WEEKLY ? nExtra & 0x7F : 0);
    rule.m_nWeekIndex = nType == REPEAT_MONTHLY_BY_DAY ? nExtra : 0;

    CLocalTime start;
    if (!BreakDownLocal(HostTime(pHost, &IHostAppointment::GetStart), start))
        return {};
    std::int64_t nLastDay = LastDatebookDay();
    CLocalTime end;
    if (tEnd > 0 && BreakDownLocal(tEnd, end))
        nLastDay = std::min(nLastDay, DaysFromCivil(end.m_nYear, end.m_nMonth, end.m_nDay));
    return FindExceptionDays(pHost, rule,
                             DaysFromCivil(start.m_nYear, start.m_nMonth, start.m_nDay), nLastDay);
}

std::vector<std::int64_t> FindExceptionDays(IHostAppointment* pHost, const CRepeatRule& rule,
                                            std::int64_t nStartDay, std::int64_t nLastDay) {
    if (nLastDay < nStartDay)
        return {};
    const LONG nCount = HostLong(pHost, &IHostAppointment::GetExceptionCount);
    if (nCount <= 0)
        return {};
    const auto nWanted = static_cast<std::size_t>(nCount);
    int nYear = 0;
    int nMonth = 0;
    int nDay = 0;
    CivilFromDays(nStartDay, nYear, nMonth, nDay);
    const auto tFrom = MakeLocalTime(nYear, nMonth, nDay);
    CivilFromDays(nLastDay, nYear, nMonth, nDay);
    const auto tTo = MakeLocalTime(nYear, nMonth, nDay);
    if (!tFrom || !tTo)
        return {};

    // The host's occurrences and the pattern's days walked side by side: a pattern day the
    // host passes over is an exception. Every exception day the host counts that lies on the
    // pattern is missing from its walk, so once as many are found as it counts the walk
    // stops: a long series costs only up to its last exception, not its whole length.
    std::vector<std::int64_t> vecExceptions;
    std::int64_t nNext = nStartDay; // the first pattern day not yet passed
    const auto PassPatternDaysBefore = [&](std::int64_t nBefore) {
        for (; nNext < nBefore && vecExceptions.size() < nWanted; ++nNext) {
            if (IsRepeatPatternDay(rule, nStartDay, nNext))
                vecExceptions.push_back(nNext);
        }
    };
    HOSTTIME tPosition = 0;
    BOOL bFound = FALSE;
    ThrowIfFailed(pHost->GetFirstOccurrence(static_cast<HOSTTIME>(*tFrom),
                                            static_cast<HOSTTIME>(*tTo), &tPosition, &bFound),
                  IID_IHostAppointment);
    std::int64_t nPrevious = nStartDay - 1;
    while (bFound && vecExceptions.size() < nWanted) {
        HOSTTIME tOccurrence = 0;
        ThrowIfFailed(pHost->GetNextOccurrence(&tPosition, static_cast<HOSTTIME>(*tTo),
                                               &tOccurrence, &bFound),
                      IID_IHostAppointment);
        CLocalTime day;
        if (!bFound || !BreakDownLocal(tOccurrence, day))
            break;
        const std::int64_t nOccurrence = DaysFromCivil(day.m_nYear, day.m_nMonth, day.m_nDay);
        // A host that gives a day twice would otherwise never end the walk.
        if (nOccurrence <= nPrevious)
            break;
        nPrevious = nOccurrence;
        PassPatternDaysBefore(std::min(nOccurrence, nLastDay + 1));
        if (nNext == nOccurrence)
            ++nNext;
    }
    PassPatternDaysBefore(nLastDay + 1);
    return vecExceptions;
}

void LoadExceptionsFromHost(CAppointment& a, IHostAppointment* pHost) {
    a.m_strExceptions.clear();
    const char cSeparator = ExceptionSeparator(a);
    for (const std::int64_t d : ReadExceptionDays(pHost)) {
        int nYear = 0;
        int nMonth = 0;
        int nDay = 0;
        CivilFromDays(d, nYear, nMonth, nDay);
        const auto t = MakeLocalTime(nYear, nMonth, nDay);
        if (!t)
            continue;
        if (!a.m_strExceptions.empty())
            a.m_strExceptions += cSeparator;
        a.m_strExceptions += FormatDate(static_cast<TimeValue>(*t));
    }
}

std::vector<std::int64_t> ParseExceptionDays(const CAppointment& a) {
    std::vector<std::int64_t> out;
    const char cSeparator = ExceptionSeparator(a);
    std::string strRest = a.m_strExceptions;
    while (!strRest.empty()) {
        TimeValue tDay = 0;
        CLocalTime day;
        if (ParseDateText(TakeExceptionToken(strRest, cSeparator), tDay) == STATUS_OK &&
            BreakDownLocal(tDay, day))
            out.push_back(DaysFromCivil(day.m_nYear, day.m_nMonth, day.m_nDay));
    }
    return out;
}

void GetStoreTimes(const CAppointment& a, HOSTTIME& tStart, HOSTTIME& tEnd) {
    if (a.m_bUntimed) {
        tStart = tEnd = a.m_tDate;
        return;
    }
    CLocalTime day;
    CLocalTime start;
    CLocalTime end;
    if (!BreakDownLocal(a.m_tDate, day) || !BreakDownLocal(a.m_tStart, start) ||
        !BreakDownLocal(a.m_tEnd, end)) {
        tStart = a.m_tStart;
        tEnd = a.m_tEnd;
        return;
    }
    const bool bNextDay = end.m_nHour < start.m_nHour ||
                          (end.m_nHour == start.m_nHour && end.m_nMinute < start.m_nMinute);
    tStart = MakeLocalTimeValue(day.m_nYear, day.m_nMonth, day.m_nDay, start.m_nHour,
                                start.m_nMinute, 0);
    // The next calendar day, not 86400 seconds on: a day with a daylight-saving change is
    // 23 or 25 hours long.
    tEnd = MakeLocalTimeValue(day.m_nYear, day.m_nMonth, day.m_nDay + (bNextDay ? 1 : 0),
                              end.m_nHour, end.m_nMinute, 0);
}

EStatus ReportStoreFailure(const CAppointment& appointment, const CComError& error) {
    const std::string strDescription =
        error.HasDescription() ? FromUtf16(error.Description()) : error.ErrorMessage();
    const std::string text = LoadMessageText(
        IDS_CANT_ADD_APPOINTMENT, {FormatAppointmentSummary(appointment), strDescription});
    if (IsLastingStoreFailure(error.Error())) {
        (void)GetUserServices().ShowMessage(text, EMessageButtons::Ok, EMessageIcon::Stop);
        return STATUS_FAILED;
    }
    const EMessageAnswer answer =
        GetUserServices().ShowMessage(text, EMessageButtons::OkCancel, EMessageIcon::Exclamation);
    return answer == EMessageAnswer::Cancel ? STATUS_FAILED : STATUS_OK;
}

bool IsLastingStoreFailure(HRESULT hr) {
    return hr == STG_E_WRITEFAULT;
}

EStatus AddToHost(CAppointment& a, IHostDatebook* pDatebook, CStoreResult* pResult) {
    CComPtr<IHostAppointment> pNew;
    LONG nRecordId = 0;
    try {
        HOSTTIME tStart = 0;
        HOSTTIME tEnd = 0;
        GetStoreTimes(a, tStart, tEnd);
        const CBstr text(ToUtf16(a.m_strText));
        ThrowIfFailed(pDatebook->AddAppointment(tStart, tEnd, text.Get(), pNew.Put()),
                      IID_IHostDatebook);
        if (!pNew)
            throw CComError(E_POINTER, IID_IHostDatebook);
        if (pResult)
            nRecordId = HostLong(pNew.Get(), &IHostAppointment::GetRecordId);
        ThrowIfFailed(pNew->SetUntimed(a.m_bUntimed ? TRUE : FALSE), IID_IHostAppointment);
        const EStatus status = StoreDetails(a, pNew.Get());
        SetResult(pResult, status, false, nRecordId);
        if (pResult && pResult->m_bKeepStored && status == STATUS_OK)
            pResult->m_pStored = pNew;
        return status;
    } catch (const CComError& error) {
        // No half-stored appointment stays behind. Should the host refuse even that, the
        // appointment stands as far as it was stored. A host that cannot write at all has
        // dropped the unfinished appointment itself.
        const bool bLasting = IsLastingStoreFailure(error.Error());
        if (bLasting) {
            nRecordId = 0;
        } else if (pNew) {
            if (SUCCEEDED(pNew->Delete(0)))
                nRecordId = 0;
            else
                ClearErrorInfo();
        }
        const EStatus status = ReportStoreFailure(a, error);
        SetResult(pResult, status, true, nRecordId, bLasting);
        return status;
    }
}

EStatus UpdateInHost(CAppointment& a, IHostAppointment* pHost, CStoreResult* pResult) {
    LONG nRecordId = a.m_nRecordId;
    try {
        HOSTTIME tStart = 0;
        HOSTTIME tEnd = 0;
        GetStoreTimes(a, tStart, tEnd);
        if (const CComPtr<IHostAppointment2> p2 = QueryAppointment2(pHost))
            ThrowIfFailed(p2->SetStartEnd(tStart, tEnd), IID_IHostAppointment2);
        ThrowIfFailed(pHost->SetUntimed(a.m_bUntimed ? TRUE : FALSE), IID_IHostAppointment);
        StoreText(pHost, &IHostAppointment::SetText, ToUtf16(a.m_strText));
        const EStatus status = StoreDetails(a, pHost);
        SetResult(pResult, status, false, nRecordId);
        return status;
    } catch (const CComError& error) {
        const EStatus status = ReportStoreFailure(a, error);
        SetResult(pResult, status, true, nRecordId, IsLastingStoreFailure(error.Error()));
        return status;
    }
}

EStatus StoreDetails(CAppointment& a, IHostAppointment* pHost) {
    ThrowIfFailed(pHost->SetUntimed(a.m_bUntimed ? TRUE : FALSE), IID_IHostAppointment);
    ThrowIfFailed(pHost->SetPrivate(a.m_bPrivate ? TRUE : FALSE), IID_IHostAppointment);
    const std::u16string note = ToUtf16(a.m_strNote);
    StoreText(pHost, &IHostAppointment::SetNote, FirstUnits(note, kMaxNoteUnits));
    if (a.m_bAlarm) {
        ThrowIfFailed(pHost->SetAlarm(TRUE), IID_IHostAppointment);
        ThrowIfFailed(pHost->SetAlarmAdvance(a.m_nAlarmUnit, a.m_nAlarmAdvance),
                      IID_IHostAppointment);
    } else {
        ThrowIfFailed(pHost->SetAlarm(FALSE), IID_IHostAppointment);
    }
    if (const CComPtr<IHostAppointment2> p2 = QueryAppointment2(pHost)) {
        const CBstr location(ToUtf16(a.m_strLocation));
        ThrowIfFailed(p2->SetLocation(location.Get()), IID_IHostAppointment2);
        StoreText(pHost, &IHostAppointment::SetCategory, ToUtf16(a.m_strCategory));
    }
    // The rule's own host failures reach the caller, which removes a new appointment
    // rather than keep it without its repeat.
    return a.m_bRepeat ? StoreRepeatRule(a, pHost) : STATUS_OK;
}

EStatus StoreRepeat(CAppointment& a, IHostAppointment* pHost) {
    try {
        return StoreRepeatRule(a, pHost);
    } catch (const CComError& error) {
        return ReportStoreFailure(a, error);
    }
}

EStatus CheckRepeatForStore(const CAppointment& a) {
    return StoreRepeatRule(a, nullptr);
}
