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
    m_vecEntries.clear();
    m_vecFree.clear();
    m_mapFirstOfKey.clear();
    m_mapEntryOfId.clear();
    m_nSize = 0;
    const CComPtr<IHostAppointmentList> pList = ListWholeDatebook(pDatebook);
    const LONG nCount = ListCount(pList.Get());
    const auto nReserve = static_cast<std::size_t>(nCount > 0 ? nCount : 0);
    m_vecEntries.reserve(nReserve);
    m_mapFirstOfKey.reserve(nReserve);
    m_mapEntryOfId.reserve(nReserve);
    CAppointment record(m_pOptions);
    for (LONG i = 0; i < nCount; ++i) {
        const CComPtr<IHostAppointment> pItem = ListItem(pList.Get(), i);
        if (!pItem)
            continue;
        record.Reset();
        // A record without a usable start or end still takes part with what it gave.
        (void)LoadFromHost(record, pItem.Get());
        Insert(record, record.m_nRecordId);
    }
    m_bLoaded = true;
}

void CDuplicateIndex::FillRecord(const CEntry& entry, CAppointment& record) const {
    const std::string_view texts(entry.m_strTexts);
    record.m_strText.assign(texts.substr(0, entry.m_nTextLength));
    record.m_strNote.assign(texts.substr(entry.m_nTextLength, entry.m_nNoteLength));
    record.m_strLocation.assign(texts.substr(entry.m_nTextLength + entry.m_nNoteLength));
    record.m_tDate = entry.m_tDate;
    record.m_tStart = entry.m_tStart;
    record.m_tEnd = entry.m_tEnd;
    record.m_bUntimed = entry.m_bUntimed;
    record.m_bPrivate = entry.m_bPrivate;
    record.m_bAlarm = entry.m_bAlarm;
    record.m_nAlarmUnit = entry.m_nAlarmUnit;
    record.m_nAlarmAdvance = entry.m_nAlarmAdvance;
    record.m_bRepeat = entry.m_bRepeat;
    record.m_repeat.m_nType = entry.m_nRepeatType;
    record.m_repeat.m_nInterval = entry.m_nRepeatInterval;
    record.m_repeat.m_tEnd = entry.m_tRepeatEnd;
    record.m_repeat.m_byWeekdays = entry.m_byWeekdays;
    record.m_nRecordId = entry.m_nRecordId;
}

bool CDuplicateIndex::Contains(const CAppointment& fileRecord) const {
    const std::optional<std::uint64_t> key = BucketHashOf(fileRecord);
    if (!key)
        return false;
    const auto it = m_mapFirstOfKey.find(*key);
    if (it == m_mapFirstOfKey.end())
        return false;
    CAppointment record(m_pOptions);
    for (std::uint32_t n = it->second; n != kNone; n = m_vecEntries[n].m_nNext) {
        FillRecord(m_vecEntries[n], record);
        if (record.IsSameAppointment(fileRecord))
            return true;
    }
    return false;
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
    CAppointment record(m_pOptions);
    (void)LoadFromHost(record, pItem);
    Insert(record, record.m_nRecordId);
}

void CDuplicateIndex::Put(const CAppointment& record, LONG nRecordId) {
    if (nRecordId == 0)
        nRecordId = m_nNextOwnId--;
    Remove(nRecordId);
    if (!IsInDatebookRange(record))
        return;
    Insert(record, nRecordId);
}

void CDuplicateIndex::Insert(const CAppointment& record, LONG nRecordId) {
    // A day that cannot be broken down is the same day as none.
    const std::optional<std::uint64_t> key = BucketHashOf(record);
    if (!key)
        return;
    Remove(nRecordId);
    CEntry entry;
    const std::string_view text = TrimWhiteSpace(record.m_strText);
    const std::string_view note = TrimWhiteSpace(record.m_strNote);
    const std::string_view location = TrimWhiteSpace(record.m_strLocation);
    entry.m_strTexts.reserve(text.size() + note.size() + location.size());
    entry.m_strTexts.append(text).append(note).append(location);
    entry.m_nTextLength = static_cast<std::uint32_t>(text.size());
    entry.m_nNoteLength = static_cast<std::uint32_t>(note.size());
    entry.m_tDate = record.m_tDate;
    entry.m_tStart = record.m_tStart;
    entry.m_tEnd = record.m_tEnd;
    entry.m_tRepeatEnd = record.m_repeat.m_tEnd;
    entry.m_nRepeatType = record.m_repeat.m_nType;
    entry.m_nRepeatInterval = record.m_repeat.m_nInterval;
    entry.m_nAlarmUnit = record.m_nAlarmUnit;
    entry.m_nAlarmAdvance = record.m_nAlarmAdvance;
    entry.m_nRecordId = nRecordId;
    entry.m_byWeekdays = record.m_repeat.m_byWeekdays;
    entry.m_bUntimed = record.m_bUntimed;
    entry.m_bPrivate = record.m_bPrivate;
    entry.m_bAlarm = record.m_bAlarm;
    entry.m_bRepeat = record.m_bRepeat;
    std::uint32_t nAt = 0;
    if (!m_vecFree.empty()) {
        nAt = m_vecFree.back();
        m_vecFree.pop_back();
        m_vecEntries[nAt] = std::move(entry);
    } else {
        nAt = static_cast<std::uint32_t>(m_vecEntries.size());
        m_vecEntries.push_back(std::move(entry));
    }
    // Entries of a group are chained from the newest.
    const auto [it, bNew] = m_mapFirstOfKey.try_emplace(*key, nAt);
    if (!bNew) {
        m_vecEntries[nAt].m_nNext = it->second;
        it->second = nAt;
    }
    m_mapEntryOfId[nRecordId] = {*key, nAt};
    ++m_nSize;
}

void CDuplicateIndex::Remove(LONG nRecordId) {
    const auto found = m_mapEntryOfId.find(nRecordId);
    if (found == m_mapEntryOfId.end())
        return;
    const auto [nKey, nAt] = found->second;
    m_mapEntryOfId.erase(found);
    const auto first = m_mapFirstOfKey.find(nKey);
    if (first != m_mapFirstOfKey.end()) {
        if (first->second == nAt) {
            if (m_vecEntries[nAt].m_nNext == kNone)
                m_mapFirstOfKey.erase(first);
            else
                first->second = m_vecEntries[nAt].m_nNext;
        } else {
            for (std::uint32_t n = first->second; n != kNone; n = m_vecEntries[n].m_nNext) {
                if (m_vecEntries[n].m_nNext == nAt) {
                    m_vecEntries[n].m_nNext = m_vecEntries[nAt].m_nNext;
                    break;
                }
            }
        }
    }
    m_vecEntries[nAt] = CEntry{};
    m_vecFree.push_back(nAt);
    --m_nSize;
}
