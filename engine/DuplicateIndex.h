// The datebook as the duplicate test of an import sees it, kept in memory for the run.
//
// A file row is a duplicate when any appointment of the datebook range is the same
// appointment (CAppointment::IsSameAppointment, the datebook's record asked about the
// file's). Asking the host for the whole datebook for every row costs rows × appointments
// loads; the index loads the datebook once and is told of every appointment the run adds
// or changes, so that it answers exactly as a fresh listing would. Records are grouped by
// what the test requires to be equal before anything else: the text, note and location
// with white space trimmed at both ends, the untimed flag and the local day. Groups are kept
// by a 64-bit hash of that key: records whose keys collide share a group, and the test
// itself tells them apart, so no key text is held. A record is kept as the values the test
// compares and nothing more (about a hundred bytes for a record with a short note), and
// made a record again only to be compared with a file record of its group.
#pragma once

#include "host/HostInterfaces.h"
#include "model/DateText.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
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

    // A text as the duplicate test compares it: white space (blank, tab, CR, LF, VT, FF)
    // trimmed at both ends.
    [[nodiscard]] static std::string KeyOf(const std::string& strText);
    // The group of a record; none when its day cannot be broken down (it is the same as no
    // other record).
    [[nodiscard]] static std::optional<std::string> BucketOf(const CAppointment& record);
    [[nodiscard]] static std::optional<std::uint64_t> BucketHashOf(const CAppointment& record);
    // Whether the host's listing of the datebook range holds a record with these values:
    // its day, or for a repeating one its series from that day to its end, meets the range.
    [[nodiscard]] static bool IsInDatebookRange(const CAppointment& record);
    // The same asked of a host record.
    [[nodiscard]] static bool IsListedByHost(IHostAppointment* pItem);

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    // What IsSameAppointment compares of an index record.
    struct CEntry {
        std::string m_strTexts; // trimmed text, note and location, one after the other
        std::uint32_t m_nTextLength = 0;
        std::uint32_t m_nNoteLength = 0;
        TimeValue m_tDate = 0;
        TimeValue m_tStart = 0;
        TimeValue m_tEnd = 0;
        TimeValue m_tRepeatEnd = 0;
        std::int32_t m_nRepeatType = 0;
        std::int32_t m_nRepeatInterval = 0;
        std::int32_t m_nAlarmUnit = 0;
        std::int32_t m_nAlarmAdvance = 0;
        LONG m_nRecordId = 0;
        std::uint32_t m_nNext = kNone; // the next entry of the group
        std::uint8_t m_byWeekdays = 0;
        bool m_bUntimed = false;
        bool m_bPrivate = false;
        bool m_bAlarm = false;
        bool m_bRepeat = false;
    };
    void Insert(const CAppointment& record, LONG nRecordId);
    void Remove(LONG nRecordId);
    void FillRecord(const CEntry& entry, CAppointment& record) const;

    COptions* m_pOptions;
    bool m_bLoaded = false;
    std::vector<CEntry> m_vecEntries;
    std::vector<std::uint32_t> m_vecFree; // entries removed, to be used again
    // The first entry of each group, by the hash of its key.
    std::unordered_map<std::uint64_t, std::uint32_t> m_mapFirstOfKey;
    // Entries by record id, with their key.
    std::unordered_map<LONG, std::pair<std::uint64_t, std::uint32_t>> m_mapEntryOfId;
    std::size_t m_nSize = 0;
    LONG m_nNextOwnId = -1;
};
