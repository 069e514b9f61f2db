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
// itself tells them apart, so no key text is held.
#pragma once

#include "host/HostInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <memory>
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

    [[nodiscard]] std::size_t Size() const { return m_mapKeyOfId.size(); }

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
    void Insert(std::unique_ptr<CAppointment> pRecord);
    void Remove(LONG nRecordId);

    COptions* m_pOptions;
    bool m_bLoaded = false;
    std::unordered_map<std::uint64_t, std::vector<std::unique_ptr<CAppointment>>> m_mapByKey;
    std::unordered_multimap<LONG, std::uint64_t> m_mapKeyOfId;
    LONG m_nNextOwnId = -1;
};

// Copies every value of a record (CAppointment is not copyable by design).
void CopyAppointmentValues(CAppointment& target, const CAppointment& source);
