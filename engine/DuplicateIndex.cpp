#include "engine/DuplicateIndex.h"

#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/LocalTime.h"

#include <algorithm>
#include <functional>

void CopyAppointmentValues(CAppointment& target, const CAppointment& source) {
    target.m_strExceptions = source.m_strExceptions;
    target.m_repeat = source.m_repeat;
    target.m_nAlarmUnit = source.m_nAlarmUnit;
    target.m_nAlarmAdvance = source.m_nAlarmAdvance;
    target.m_bAlarm = source.m_bAlarm;
    target.m_nRecordId = source.m_nRecordId;
    target.m_bUntimed = source.m_bUntimed;
    target.m_bPrivate = source.m_bPrivate;
    target.m_bRepeat = source.m_bRepeat;
    target.m_strNote = source.m_strNote;
    target.m_strText = source.m_strText;
    target.m_tEnd = source.m_tEnd;
    target.m_tStart = source.m_tStart;
    target.m_tsDuration = source.m_tsDuration;
    target.m_tDate = source.m_tDate;
    target.m_strLocation = source.m_strLocation;
    target.m_strCategory = source.m_strCategory;
    target.m_pOptions = source.m_pOptions;
}

CDuplicateIndex::CDuplicateIndex(COptions* pOptions) : m_pOptions(pOptions) {}

CDuplicateIndex::~CDuplicateIndex() = default;

std::string CDuplicateIndex::KeyOf(const std::string& strText) {
    return std::string(TrimWhiteSpace(strText));
}

std::optional<std::string> CDuplicateIndex::BucketOf(const CAppointment& record) {
    CLocalTime day;
    if (!BreakDownLocal(record.m_tDate, day))
        return std::nullopt;
    // Text, note, location, the untimed flag and the day must all be equal for two records
    // to be the same. Values that run together only share a bucket; the test itself decides.
    std::string key = KeyOf(record.m_strText);
    key += '\0';
    key += KeyOf(record.m_strNote);
    key += '\0';
    key += KeyOf(record.m_strLocation);
    key += '\0';
    key += record.m_bUntimed ? 'u' : 't';
    key += std::to_string(day.m_nYear * 10000 + day.m_nMonth * 100 + day.m_nDay);
    return key;
}

std::optional<std::uint64_t> CDuplicateIndex::BucketHashOf(const CAppointment& record) {
    const std::optional<std::string> key = BucketOf(record);
    if (!key)
        return std::nullopt;
    return std::hash<std::string>{}(*key);
}

bool CDuplicateIndex::IsInDatebookRange(const CAppointment& record) {
    const TimeValue tDay = LocalMidnight(record.m_tDate);
    if (tDay > DatebookRangeEnd())
        return false;
    const TimeValue tFrom = DatebookRangeStart();
    if (tDay >= tFrom)
        return true;
    if (!record.m_bRepeat)
        return false;
    return record.m_repeat.m_tEnd == 0 || LocalMidnight(record.m_repeat.m_tEnd) >= tFrom;
}

bool CDuplicateIndex::IsListedByHost(IHostAppointment* pItem) {
    // Asked of the host itself: a record it cannot load completely (no end) is listed all
    // the same, with the days of its series.
    const TimeValue tDay = LocalMidnight(HostTime(pItem, &IHostAppointment::GetStart));
    if (tDay > DatebookRangeEnd())
        return false;
    const TimeValue tFrom = DatebookRangeStart();
    if (tDay >= tFrom)
        return true;
    if (!HostFlag(pItem, &IHostAppointment::GetRepeating))
        return false;
    LONG nType = 0;
    LONG nInterval = 0;
    HOSTTIME tEnd = 0;
    LONG nExtra = 0;
    ThrowIfFailed(pItem->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), IID_IHostAppointment);
    return tEnd == 0 || LocalMidnight(tEnd) >= tFrom;
}

void CDuplicateIndex::Load(IHostDatebook* pDatebook) {
    m_mapByKey.clear();
    m_mapKeyOfId.clear();
    const CComPtr<IHostAppointmentList> pList = ListWholeDatebook(pDatebook);
    const LONG nCount = ListCount(pList.Get());
    m_mapByKey.reserve(static_cast<std::size_t>(nCount > 0 ? nCount : 0));
    for (LONG i = 0; i < nCount; ++i) {
        const CComPtr<IHostAppointment> pItem = ListItem(pList.Get(), i);
        if (!pItem)
            continue;
        auto pRecord = std::make_unique<CAppointment>(m_pOptions);
        // A record without a usable start or end still takes part with what it gave.
        (void)LoadFromHost(*pRecord, pItem.Get());
        Insert(std::move(pRecord));
    }
    m_bLoaded = true;
}

bool CDuplicateIndex::Contains(const CAppointment& fileRecord) const {
    const std::optional<std::uint64_t> key = BucketHashOf(fileRecord);
    if (!key)
        return false;
    const auto it = m_mapByKey.find(*key);
    if (it == m_mapByKey.end())
        return false;
    return std::any_of(it->second.begin(), it->second.end(),
                       [&](const std::unique_ptr<CAppointment>& pRecord) {
                           return pRecord->IsSameAppointment(fileRecord);
                       });
}

void CDuplicateIndex::Refresh(IHostDatebook* pDatebook, LONG nRecordId) {
    Remove(nRecordId);
    CComPtr<IHostAppointment> pItem;
    if (FAILED(pDatebook->GetAppointmentById(nRecordId, pItem.Put())) || !pItem) {
        // Gone: removed again after a refusal, or no longer the user's.
        ClearErrorInfo();
        return;
    }
    Refresh(pItem.Get(), nRecordId);
}

void CDuplicateIndex::Refresh(IHostAppointment* pItem, LONG nRecordId) {
    Remove(nRecordId);
    if (!IsListedByHost(pItem))
        return;
    auto pRecord = std::make_unique<CAppointment>(m_pOptions);
    (void)LoadFromHost(*pRecord, pItem);
    Insert(std::move(pRecord));
}

void CDuplicateIndex::Put(const CAppointment& record, LONG nRecordId) {
    if (nRecordId == 0)
        nRecordId = m_nNextOwnId--;
    Remove(nRecordId);
    auto pRecord = std::make_unique<CAppointment>(m_pOptions);
    CopyAppointmentValues(*pRecord, record);
    pRecord->m_nRecordId = nRecordId;
    if (IsInDatebookRange(*pRecord))
        Insert(std::move(pRecord));
}

void CDuplicateIndex::Insert(std::unique_ptr<CAppointment> pRecord) {
    // A day that cannot be broken down is the same day as none.
    const std::optional<std::uint64_t> key = BucketHashOf(*pRecord);
    if (!key)
        return;
    m_mapKeyOfId.emplace(pRecord->m_nRecordId, *key);
    m_mapByKey[*key].push_back(std::move(pRecord));
}

void CDuplicateIndex::Remove(LONG nRecordId) {
    const auto range = m_mapKeyOfId.equal_range(nRecordId);
    for (auto it = range.first; it != range.second; ++it) {
        const auto bucket = m_mapByKey.find(it->second);
        if (bucket == m_mapByKey.end())
            continue;
        auto& records = bucket->second;
        std::erase_if(records, [&](const std::unique_ptr<CAppointment>& pRecord) {
            return pRecord->m_nRecordId == nRecordId;
        });
        if (records.empty())
            m_mapByKey.erase(bucket);
    }
    m_mapKeyOfId.erase(range.first, range.second);
}
