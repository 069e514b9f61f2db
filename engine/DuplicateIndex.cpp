#include "engine/DuplicateIndex.h"

#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "model/Appointment.h"
#include "model/DateText.h"
#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/LocalTime.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

// Text chunks of 1 MiB; a longer text set gets a chunk of its own size.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

std::uint64_t MixBits(std::uint64_t n) {
    n ^= n >> 30;
    n *= 0xBF58476D1CE4E5B9ULL;
    n ^= n >> 27;
    n *= 0x94D049BB133111EBULL;
    n ^= n >> 31;
    return n;
}

std::uint64_t Combine(std::uint64_t nHash, std::uint64_t nValue) {
    return MixBits(nHash ^ (nValue + 0x9E3779B97F4A7C15ULL + (nHash << 6) + (nHash >> 2)));
}

std::uint64_t HashText(std::uint64_t nHash, std::string_view text) {
    // The length goes in too: texts that run together differently hash apart.
    return Combine(Combine(nHash, std::hash<std::string_view>{}(text)), text.size());
}

// Hours × 60 + minutes of local time; -1 when it cannot be broken down.
std::int16_t MinuteOfDay(TimeValue t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return -1;
    return static_cast<std::int16_t>(local.m_nHour * 60 + local.m_nMinute);
}

std::uint32_t EntryOf(std::uint64_t nSlot) {
    return static_cast<std::uint32_t>(nSlot) - 1;
}

std::uint32_t TagOf(std::uint64_t nSlot) {
    return static_cast<std::uint32_t>(nSlot >> 32);
}

std::uint64_t IdHash(LONG nRecordId) {
    return MixBits(static_cast<std::uint32_t>(nRecordId));
}

} // namespace

CDuplicateIndex::CDuplicateIndex(COptions* pOptions) : m_pOptions(pOptions) {}

CDuplicateIndex::~CDuplicateIndex() = default;

bool CDuplicateIndex::Describe(const CAppointment& record, CEntry& entry) {
    CLocalTime day;
    if (!BreakDownLocal(record.m_tDate, day))
        return false;
    const std::string_view text = TrimWhiteSpace(record.m_strText);
    const std::string_view note = TrimWhiteSpace(record.m_strNote);
    const std::string_view location = TrimWhiteSpace(record.m_strLocation);
    entry.m_nDay = static_cast<std::int32_t>(DaysFromCivil(day.m_nYear, day.m_nMonth, day.m_nDay));
    // Text, note, location, the untimed flag and the day must all be equal for two records
    // to be the same.
    std::uint64_t nKey = HashText(HashText(HashText(0, text), note), location);
    nKey =
        Combine(nKey, (static_cast<std::uint64_t>(static_cast<std::uint32_t>(entry.m_nDay)) << 1) |
                          (record.m_bUntimed ? 1 : 0));
    entry.m_nKey = nKey;
    entry.m_nTextLength = static_cast<std::uint32_t>(text.size());
    entry.m_nNoteLength = static_cast<std::uint32_t>(note.size());
    entry.m_nLocationLength = static_cast<std::uint32_t>(location.size());
    entry.m_byFlags = 0;
    if (record.m_bUntimed) {
        entry.m_byFlags |= kUntimed;
        entry.m_nStartMinute = -1;
        entry.m_nEndMinute = -1;
    } else {
        entry.m_nStartMinute = MinuteOfDay(record.m_tStart);
        entry.m_nEndMinute = MinuteOfDay(record.m_tEnd);
    }
    if (record.m_bPrivate)
        entry.m_byFlags |= kPrivate;
    if (record.m_bAlarm)
        entry.m_byFlags |= record.GetAlarmMinutes() != 0 ? kAlarmAndAhead : kAlarm;
    if (record.m_bRepeat)
        entry.m_byFlags |= kRepeat;
    entry.m_nRepeatType = record.m_repeat.m_nType;
    entry.m_nRepeatInterval = record.m_repeat.m_nInterval;
    entry.m_tRepeatEnd = record.m_repeat.m_tEnd;
    entry.m_byWeekdays = record.m_repeat.m_byWeekdays;
    return true;
}

std::optional<std::uint64_t> CDuplicateIndex::BucketHashOf(const CAppointment& record) {
    CEntry entry;
    if (!Describe(record, entry))
        return std::nullopt;
    return entry.m_nKey;
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

void CDuplicateIndex::Clear() {
    m_vecEntries.clear();
    m_vecFree.clear();
    m_vecByKey.clear();
    m_vecById.clear();
    m_bIdsIndexed = false;
    m_vecChunks.clear();
    m_nChunkUsed = 0;
    m_nChunkSize = 0;
    m_nChunkBytes = 0;
    m_nLiveTextBytes = 0;
    m_nSize = 0;
}

void CDuplicateIndex::Load(IHostDatebook* pDatebook) {
    Clear();
    const CComPtr<IHostAppointmentList> pList = ListWholeDatebook(pDatebook);
    const LONG nCount = ListCount(pList.Get());
    const auto nReserve = static_cast<std::size_t>(nCount > 0 ? nCount : 0);
    m_vecEntries.reserve(nReserve);
    GrowTables(nReserve);
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

bool CDuplicateIndex::IsSame(const CEntry& stored, const CEntry& file, std::string_view text,
                             std::string_view note, std::string_view location) const {
    // As CAppointment::IsSameAppointment with the stored record asking about the file's.
    if (stored.m_nKey != file.m_nKey || stored.m_nTextLength != file.m_nTextLength ||
        stored.m_nNoteLength != file.m_nNoteLength ||
        stored.m_nLocationLength != file.m_nLocationLength || stored.m_nDay != file.m_nDay)
        return false;
    const std::uint8_t byStored = stored.m_byFlags;
    const std::uint8_t byFile = file.m_byFlags;
    if ((byStored & (kUntimed | kPrivate | kRepeat)) != (byFile & (kUntimed | kPrivate | kRepeat)))
        return false;
    if ((byStored & kUntimed) == 0 &&
        (stored.m_nStartMinute < 0 || file.m_nStartMinute < 0 || stored.m_nEndMinute < 0 ||
         file.m_nEndMinute < 0 || stored.m_nStartMinute != file.m_nStartMinute ||
         stored.m_nEndMinute != file.m_nEndMinute))
        return false;
    // Only an alarm some minutes ahead on the stored side against none on the file's counts.
    if ((byStored & kAlarmAhead) != 0 && (byFile & kAlarm) == 0)
        return false;
    if ((byStored & kRepeat) != 0 &&
        (stored.m_nRepeatType != file.m_nRepeatType ||
         stored.m_nRepeatInterval != file.m_nRepeatInterval ||
         stored.m_tRepeatEnd != file.m_tRepeatEnd || stored.m_byWeekdays != file.m_byWeekdays))
        return false;
    const char* p = stored.m_pTexts;
    return std::string_view(p, stored.m_nTextLength) == text &&
           std::string_view(p + stored.m_nTextLength, stored.m_nNoteLength) == note &&
           std::string_view(p + stored.m_nTextLength + stored.m_nNoteLength,
                            stored.m_nLocationLength) == location;
}

bool CDuplicateIndex::Contains(const CAppointment& fileRecord) const {
    if (m_nSize == 0)
        return false;
    CEntry file;
    if (!Describe(fileRecord, file))
        return false;
    const std::string_view text = TrimWhiteSpace(fileRecord.m_strText);
    const std::string_view note = TrimWhiteSpace(fileRecord.m_strNote);
    const std::string_view location = TrimWhiteSpace(fileRecord.m_strLocation);
    const std::size_t nMask = m_vecByKey.size() - 1;
    const auto nTag = static_cast<std::uint32_t>(file.m_nKey >> 32);
    for (std::size_t n = MixBits(file.m_nKey) & nMask;; n = (n + 1) & nMask) {
        const std::uint64_t nSlot = m_vecByKey[n];
        if (nSlot == 0)
            return false;
        if (TagOf(nSlot) == nTag &&
            IsSame(m_vecEntries[EntryOf(nSlot)], file, text, note, location))
            return true;
    }
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
    if (record.m_nRecordId != nRecordId)
        Remove(record.m_nRecordId);
    Insert(record, record.m_nRecordId);
}

void CDuplicateIndex::Put(const CAppointment& record, LONG nRecordId) {
    // An id of the index's own is new: there is nothing under it to replace.
    if (nRecordId == 0)
        nRecordId = m_nNextOwnId--;
    else
        Remove(nRecordId);
    if (!IsInDatebookRange(record))
        return;
    Insert(record, nRecordId);
}

std::uint64_t CDuplicateIndex::Slot(std::uint32_t nTag, std::uint32_t nEntry) {
    return (static_cast<std::uint64_t>(nTag) << 32) | (std::uint64_t{nEntry} + 1);
}

void CDuplicateIndex::GrowTables(std::size_t nWanted) {
    // At most half full: a lookup that finds nothing passes a slot or two.
    std::size_t nCapacity = 16;
    while (nCapacity < 2 * nWanted)
        nCapacity *= 2;
    if (nCapacity <= m_vecByKey.size())
        return;
    std::vector<std::uint64_t> byKey(nCapacity, 0);
    std::vector<std::uint64_t> byId(m_bIdsIndexed ? nCapacity : 0, 0);
    m_vecByKey.swap(byKey);
    m_vecById.swap(byId);
    for (const std::uint64_t nSlot : byKey) {
        if (nSlot != 0)
            PlaceInTable(m_vecByKey, MixBits(m_vecEntries[EntryOf(nSlot)].m_nKey), nSlot);
    }
    for (const std::uint64_t nSlot : byId) {
        if (nSlot != 0)
            PlaceInTable(m_vecById, IdHash(static_cast<LONG>(TagOf(nSlot))), nSlot);
    }
}

void CDuplicateIndex::PlaceInTable(std::vector<std::uint64_t>& table, std::uint64_t nHash,
                                   std::uint64_t nSlot) {
    const std::size_t nMask = table.size() - 1;
    std::size_t n = nHash & nMask;
    while (table[n] != 0)
        n = (n + 1) & nMask;
    table[n] = nSlot;
}

void CDuplicateIndex::TakeFromTable(std::vector<std::uint64_t>& table, std::size_t nAt,
                                    bool bById) {
    const std::size_t nMask = table.size() - 1;
    std::size_t nHole = nAt;
    for (std::size_t n = (nAt + 1) & nMask; table[n] != 0; n = (n + 1) & nMask) {
        const std::uint64_t nSlot = table[n];
        const std::uint64_t nHash = bById ? IdHash(static_cast<LONG>(TagOf(nSlot)))
                                          : MixBits(m_vecEntries[EntryOf(nSlot)].m_nKey);
        const std::size_t nHome = nHash & nMask;
        // The slot may fill the hole when its home does not lie after the hole (cyclically,
        // between the hole and the slot).
        if (((n - nHome) & nMask) >= ((n - nHole) & nMask)) {
            table[nHole] = nSlot;
            nHole = n;
        }
    }
    table[nHole] = 0;
}

std::size_t CDuplicateIndex::FindById(LONG nRecordId) const {
    if (m_vecById.empty())
        return SIZE_MAX;
    const std::size_t nMask = m_vecById.size() - 1;
    const auto nTag = static_cast<std::uint32_t>(nRecordId);
    for (std::size_t n = IdHash(nRecordId) & nMask;; n = (n + 1) & nMask) {
        const std::uint64_t nSlot = m_vecById[n];
        if (nSlot == 0)
            return SIZE_MAX;
        if (TagOf(nSlot) == nTag)
            return n;
    }
}

const char* CDuplicateIndex::StoreTexts(std::string_view text, std::string_view note,
                                        std::string_view location) {
    const std::size_t nLength = text.size() + note.size() + location.size();
    if (nLength == 0)
        return nullptr;
    if (m_vecChunks.empty() || m_nChunkSize - m_nChunkUsed < nLength) {
        const std::size_t nSize = std::max(kChunkSize, nLength);
        m_vecChunks.push_back(std::make_unique_for_overwrite<char[]>(nSize));
        m_nChunkSize = nSize;
        m_nChunkUsed = 0;
        m_nChunkBytes += nSize;
    }
    char* p = m_vecChunks.back().get() + m_nChunkUsed;
    // An empty view may hold no pointer, which memcpy must not be given.
    std::ranges::copy(text, p);
    std::ranges::copy(note, p + text.size());
    std::ranges::copy(location, p + text.size() + note.size());
    m_nChunkUsed += nLength;
    m_nLiveTextBytes += nLength;
    return p;
}

void CDuplicateIndex::CompactTexts() {
    std::vector<std::unique_ptr<char[]>> vecOld;
    vecOld.swap(m_vecChunks);
    m_nChunkUsed = 0;
    m_nChunkSize = 0;
    m_nChunkBytes = 0;
    m_nLiveTextBytes = 0;
    std::vector<bool> vecFree(m_vecEntries.size(), false);
    for (const std::uint32_t n : m_vecFree)
        vecFree[n] = true;
    for (std::size_t n = 0; n < m_vecEntries.size(); ++n) {
        CEntry& entry = m_vecEntries[n];
        if (vecFree[n] || entry.m_pTexts == nullptr)
            continue;
        const char* p = entry.m_pTexts;
        entry.m_pTexts = StoreTexts(std::string_view(p, entry.m_nTextLength),
                                    std::string_view(p + entry.m_nTextLength, entry.m_nNoteLength),
                                    std::string_view(p + entry.m_nTextLength + entry.m_nNoteLength,
                                                     entry.m_nLocationLength));
    }
}

void CDuplicateIndex::Insert(const CAppointment& record, LONG nRecordId) {
    CEntry entry;
    // A day that cannot be broken down is the same day as none.
    if (!Describe(record, entry))
        return;
    entry.m_nRecordId = nRecordId;
    entry.m_pTexts = StoreTexts(TrimWhiteSpace(record.m_strText), TrimWhiteSpace(record.m_strNote),
                                TrimWhiteSpace(record.m_strLocation));
    std::uint32_t nAt = 0;
    if (!m_vecFree.empty()) {
        nAt = m_vecFree.back();
        m_vecFree.pop_back();
        m_vecEntries[nAt] = entry;
    } else {
        nAt = static_cast<std::uint32_t>(m_vecEntries.size());
        m_vecEntries.push_back(entry);
    }
    GrowTables(m_nSize + 1);
    PlaceInTable(m_vecByKey, MixBits(entry.m_nKey),
                 Slot(static_cast<std::uint32_t>(entry.m_nKey >> 32), nAt));
    if (m_bIdsIndexed)
        PlaceInTable(m_vecById, IdHash(nRecordId),
                     Slot(static_cast<std::uint32_t>(nRecordId), nAt));
    ++m_nSize;
}

void CDuplicateIndex::IndexIds() {
    m_bIdsIndexed = true;
    m_vecById.assign(m_vecByKey.size(), 0);
    // Entries were only added so far, in the order they came: of a record listed twice,
    // the later one stays.
    for (std::size_t n = 0; n < m_vecEntries.size(); ++n) {
        const LONG nRecordId = m_vecEntries[n].m_nRecordId;
        const std::size_t nAt = FindById(nRecordId);
        if (nAt != SIZE_MAX)
            RemoveEntry(nAt);
        PlaceInTable(m_vecById, IdHash(nRecordId),
                     Slot(static_cast<std::uint32_t>(nRecordId), static_cast<std::uint32_t>(n)));
    }
}

void CDuplicateIndex::Remove(LONG nRecordId) {
    // Ids are looked up once the run changes a record: a run that only asks never needs them.
    if (!m_bIdsIndexed)
        IndexIds();
    const std::size_t nIdAt = FindById(nRecordId);
    if (nIdAt != SIZE_MAX)
        RemoveEntry(nIdAt);
}

void CDuplicateIndex::RemoveEntry(std::size_t nIdAt) {
    const std::uint32_t nAt = EntryOf(m_vecById[nIdAt]);
    TakeFromTable(m_vecById, nIdAt, true);
    CEntry& entry = m_vecEntries[nAt];
    const std::size_t nMask = m_vecByKey.size() - 1;
    const std::uint64_t nKeySlot = Slot(static_cast<std::uint32_t>(entry.m_nKey >> 32), nAt);
    for (std::size_t n = MixBits(entry.m_nKey) & nMask; m_vecByKey[n] != 0; n = (n + 1) & nMask) {
        if (m_vecByKey[n] == nKeySlot) {
            TakeFromTable(m_vecByKey, n, false);
            break;
        }
    }
    m_nLiveTextBytes -=
        std::size_t{entry.m_nTextLength} + entry.m_nNoteLength + entry.m_nLocationLength;
    entry = CEntry{};
    m_vecFree.push_back(nAt);
    --m_nSize;
    // Texts left behind never outweigh the live ones for long.
    if (m_nChunkBytes > 4 * kChunkSize && m_nChunkBytes > 2 * m_nLiveTextBytes + 2 * kChunkSize)
        CompactTexts();
}

std::size_t CDuplicateIndex::MemoryUsed() const {
    return m_vecEntries.capacity() * sizeof(CEntry) + m_vecFree.capacity() * sizeof(std::uint32_t) +
           (m_vecByKey.capacity() + m_vecById.capacity()) * sizeof(std::uint64_t) + m_nChunkBytes;
}
