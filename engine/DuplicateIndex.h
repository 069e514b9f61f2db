// The datebook as the duplicate test of an import sees it, kept in memory for the run.
//
// A file row is a duplicate when any appointment of the datebook range is the same
// appointment (CAppointment::IsSameAppointment, the datebook's record asked about the
// file's). Asking the host for the whole datebook for every row costs rows × appointments
// loads; the index loads the datebook once and is told of every appointment the run adds
// or changes, so that it answers exactly as a fresh listing would.
//
// A record is kept as the values the test compares, already broken down as it compares them
// (the local day, the hours and minutes of start and end), in one fixed-size entry of 64
// bytes; its trimmed text, note and location lie one after the other in chunks of text
// storage. Two open-addressing tables of 64-bit slots find the entries: one by a 64-bit hash
// of what must be equal before anything else (the trimmed texts, the untimed flag and the
// day), one by record id, built only once a record is replaced or removed. Records whose
// hashes collide are told apart by the full comparison. About 80 to 100 bytes per record
// beside its texts, and no allocation per record.
#pragma once

#include "host/HostInterfaces.h"
#include "model/DateText.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class CAppointment;
class COptions;

class CDuplicateIndex {
public:
    explicit CDuplicateIndex(COptions* pOptions);
    ~CDuplicateIndex();
    CDuplicateIndex(const CDuplicateIndex&) = delete;
    CDuplicateIndex& operator=(const CDuplicateIndex&) = delete;

    // Loads every appointment of the datebook range, as the host lists them now. A record
    // the host cannot give a start or end for takes part with the values it did give.
    // Host failures raise.
    void Load(IHostDatebook* pDatebook);
    [[nodiscard]] bool IsLoaded() const { return m_bLoaded; }

    // Whether a record of the index is the same appointment as the file's record.
    [[nodiscard]] bool Contains(const CAppointment& fileRecord) const;

    // Reads the record again after the run stored it: it replaces what the index held
    // under its id, or leaves the index when the host no longer lists it.
    void Refresh(IHostDatebook* pDatebook, LONG nRecordId);
    // The same from the record's host object in hand.
    void Refresh(IHostAppointment* pItem, LONG nRecordId);
    // Takes the values of a record as they would be stored under the id (a dry run, which
    // stores nothing); an id of 0 gives the record an id of its own.
    void Put(const CAppointment& record, LONG nRecordId);

    [[nodiscard]] std::size_t Size() const { return m_nSize; }
    // Bytes held for the records, their texts and the tables.
    [[nodiscard]] std::size_t MemoryUsed() const;

    // The group of a record: a hash of its trimmed text, note and location, its untimed
    // flag and its local day; none when its day cannot be broken down (it is the same as no
    // other record).
    [[nodiscard]] static std::optional<std::uint64_t> BucketHashOf(const CAppointment& record);
    // Whether the host's listing of the datebook range holds a record with these values:
    // its day, or for a repeating one its series from that day to its end, meets the range.
    [[nodiscard]] static bool IsInDatebookRange(const CAppointment& record);
    // The same asked of a host record.
    [[nodiscard]] static bool IsListedByHost(IHostAppointment* pItem);

private:
    // What IsSameAppointment compares of a record, broken down once.
    struct CEntry {
        const char* m_pTexts = nullptr; // trimmed text, note and location, one after the other
        std::uint64_t m_nKey = 0;       // BucketHashOf
        std::uint32_t m_nTextLength = 0;
        std::uint32_t m_nNoteLength = 0;
        std::uint32_t m_nLocationLength = 0;
        std::int32_t m_nDay = 0; // days since 1970-01-01 of the local day
        TimeValue m_tRepeatEnd = 0;
        std::int32_t m_nRepeatType = 0;
        std::int32_t m_nRepeatInterval = 0;
        LONG m_nRecordId = 0;
        std::int16_t m_nStartMinute = -1; // local hours × 60 + minutes; -1 cannot be broken down
        std::int16_t m_nEndMinute = -1;
        std::uint8_t m_byWeekdays = 0;
        std::uint8_t m_byFlags = 0; // kUntimed, kPrivate, kAlarm, kAlarmAhead, kRepeat
    };
    static constexpr std::uint8_t kUntimed = 1;
    static constexpr std::uint8_t kPrivate = 2;
    static constexpr std::uint8_t kAlarm = 4;
    static constexpr std::uint8_t kAlarmAhead = 8; // an alarm that sounds some minutes ahead
    static constexpr std::uint8_t kRepeat = 16;
    static constexpr std::uint8_t kAlarmAndAhead = kAlarm | kAlarmAhead;

    // The entry of a record without its texts; false when its day cannot be broken down.
    static bool Describe(const CAppointment& record, CEntry& entry);
    [[nodiscard]] bool IsSame(const CEntry& stored, const CEntry& file, std::string_view text,
                              std::string_view note, std::string_view location) const;
    void Insert(const CAppointment& record, LONG nRecordId);
    void Remove(LONG nRecordId);
    // Removes the entry of a slot of the table by id.
    void RemoveEntry(std::size_t nIdAt);
    void IndexIds();
    void Clear();

    // Linear-probing tables of slots: the entry's index + 1 in the low half (0 an empty slot)
    // and a tag in the high half (the key's high bits, or the record id).
    static std::uint64_t Slot(std::uint32_t nTag, std::uint32_t nEntry);
    void GrowTables(std::size_t nWanted);
    void PlaceInTable(std::vector<std::uint64_t>& table, std::uint64_t nHash, std::uint64_t nSlot);
    // Removes a slot, moving later slots of its run back so that no lookup stops short.
    void TakeFromTable(std::vector<std::uint64_t>& table, std::size_t nAt, bool bById);
    [[nodiscard]] std::size_t FindById(LONG nRecordId) const;

    // Text storage in chunks that never move; texts of removed entries are left behind until
    // they outweigh the live ones.
    const char* StoreTexts(std::string_view text, std::string_view note, std::string_view location);
    void CompactTexts();

    COptions* m_pOptions;
    bool m_bLoaded = false;
    std::vector<CEntry> m_vecEntries;
    std::vector<std::uint32_t> m_vecFree; // entries removed, to be used again
    std::vector<std::uint64_t> m_vecByKey;
    std::vector<std::uint64_t> m_vecById; // built when first asked
    bool m_bIdsIndexed = false;
    std::vector<std::unique_ptr<char[]>> m_vecChunks;
    std::size_t m_nChunkUsed = 0;  // bytes used of the last chunk
    std::size_t m_nChunkSize = 0;  // size of the last chunk
    std::size_t m_nChunkBytes = 0; // bytes of every chunk
    std::size_t m_nLiveTextBytes = 0;
    std::size_t m_nSize = 0;
    LONG m_nNextOwnId = -1;
};
