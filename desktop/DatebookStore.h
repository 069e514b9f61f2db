// The stand-in host's datebook: one SQLite database per user home, holding the users (one of
// them current) and each user's appointments with every value the host interfaces expose.
//
// The store is the user's only copy of the calendar. Every change is one transaction in a
// WAL journal, committed before the call returns unless a batch is open: a process that is
// killed loses no change whose call had returned, and another process sees it at once. A
// batch holds one write transaction across many calls (the host groups the changes of many
// appointments into one commit with it); a killed process loses the whole batch and nothing
// before it. Record ids come from
// an ever-growing sequence and are never given out twice, not even after the record is
// purged. Deleting only marks a record; the HotSync moves the records marked for archival
// into the archive table and purges the deleted ones.
//
// Failures raise CDatebookError with a message for the user. A value the datebook cannot
// keep is refused (InvalidArgument) and nothing is stored.
#pragma once

#include "desktop/DatebookError.h"
#include "desktop/RepeatPattern.h"
#include "host/HostInterfaces.h"

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CSqliteDatabase;

struct CDatebookUser {
    std::int64_t m_nId = 0;
    std::string m_strName; // UTF-8
};

// What the datebook keeps, in UTF-16 units.
inline constexpr std::size_t kMaxAppointmentText = 32768; // text, note and location
inline constexpr std::size_t kMaxCategoryName = 255;
inline constexpr std::size_t kMaxUserName = 255;
inline constexpr LONG kMaxAlarmAdvance = 32767;
inline constexpr LONG kMaxRepeatInterval = 99;

// One appointment. An untimed appointment has start = end = its day's 00:00 local time.
struct CStoredAppointment {
    LONG m_nRecordId = 0;
    HOSTTIME m_tStart = 0;
    HOSTTIME m_tEnd = 0;
    bool m_bUntimed = false;
    std::u16string m_strText;
    std::u16string m_strNote;
    std::u16string m_strCategory; // kept exactly as set; empty stays empty
    std::u16string m_strLocation;
    bool m_bPrivate = false;
    bool m_bAlarm = false;
    LONG m_nAlarmUnit = 0;    // 0 minutes, 1 hours, 2 days
    LONG m_nAlarmAdvance = 5; // in the unit; kept while the alarm is off
    LONG m_nRepeatType = HOST_REPEAT_NONE;
    LONG m_nRepeatInterval = 0;                   // 1..99 while repeating, else 0
    int m_nRepeatEndDay = CRepeatPattern::kNoEnd; // a calendar day (CalendarDay.h)
    LONG m_nRepeatExtra = 0;             // weekday set (bits 0..6) for weekly, week index 1..5 for
                                         // monthly by day, else 0
    std::vector<int> m_vecExceptionDays; // calendar days, sorted, unique

    [[nodiscard]] bool IsRepeating() const { return m_nRepeatType != HOST_REPEAT_NONE; }
    // The local day of the start.
    [[nodiscard]] int StartDay() const;
    [[nodiscard]] CRepeatPattern Pattern() const;
};

// Where an appointment stands in a list: by start, then record id.
struct CListKey {
    HOSTTIME m_tStart = 0;
    LONG m_nRecordId = 0;
    friend auto operator<=>(const CListKey&, const CListKey&) = default;
};

// Records of a run of a list, packed: the values in one array, the texts as UTF-8 in one
// string and the exception days in one array, about a third of the memory of the records
// themselves.
class CRecordWindow {
public:
    // The record at a position; false when the window holds none there.
    bool Get(std::size_t nAt, CStoredAppointment& record) const;
    // Asks the processor to fetch what Get(nAt) reads (records in list order lie scattered
    // over the window): the values, and the texts when bTexts and the values are at hand.
    void Prefetch(std::size_t nAt, bool bTexts) const {
        if (nAt >= Size())
            return;
        const CPacked& p = m_vecRecords[m_vecOrder.empty() ? nAt : m_vecOrder[nAt]];
        __builtin_prefetch(&p);
        if (bTexts)
            __builtin_prefetch(m_strText.data() + p.m_nTextAt);
    }
    [[nodiscard]] std::size_t Size() const {
        return m_vecOrder.empty() ? m_vecRecords.size() : m_vecOrder.size();
    }
    // The bytes it holds, about.
    [[nodiscard]] std::size_t Bytes() const {
        return m_vecRecords.size() * sizeof(CPacked) + m_strText.size() +
               m_vecDays.size() * sizeof(int) + m_vecOrder.size() * sizeof(std::uint32_t);
    }

private:
    friend class CDatebookStore;
    struct CPacked {
        HOSTTIME m_tStart = 0;
        HOSTTIME m_tEnd = 0;
        LONG m_nRecordId = 0;
        LONG m_nAlarmAdvance = 0;
        LONG m_nRepeatInterval = 0;
        LONG m_nRepeatExtra = 0;
        int m_nRepeatEndDay = 0;
        std::uint32_t m_nDaysAt = 0;
        std::uint32_t m_nDays = 0;
        std::uint64_t m_nTextAt = 0;
        std::uint32_t m_anLength[4] = {}; // text, note, category, location
        std::uint8_t m_nRepeatType = 0;
        std::uint8_t m_nAlarmUnit = 0;
        bool m_bUntimed = false;
        bool m_bPrivate = false;
        bool m_bAlarm = false;
        bool m_bPresent = false;
    };
    void Reset(std::size_t nCount);
    void Put(std::size_t nAt, const CStoredAppointment& record);
    // The values of the record but its texts, which are given as UTF-8.
    void Put(std::size_t nAt, const CStoredAppointment& record, const std::string_view* pTexts);
    // Room for records of up to nBytes in all, taken from the address space only: the
    // memory is touched as records come, instead of copied at each doubling.
    void Reserve(std::size_t nBytes);
    // The same as the next record, in the order records come.
    void Append(const CStoredAppointment& record, const std::string_view* pTexts);
    // Puts the records in the order of positions: order[i] is the record of position i.
    void Arrange(const std::vector<std::uint32_t>& order);

    std::vector<CPacked> m_vecRecords;
    std::string m_strText;
    std::vector<int> m_vecDays;
    // Where the record of each position is in m_vecRecords; empty when at the position.
    std::vector<std::uint32_t> m_vecOrder;
};

// Records of a wide list sorted out into runs of positions by one scan of the table, and
// kept in an unlinked temporary file (about the size of the records' values and texts): each
// run is read back alone, instead of the table being scanned again for every run.
class CListSpill {
public:
    CListSpill() = default;
    CListSpill(const CListSpill&) = delete;
    CListSpill& operator=(const CListSpill&) = delete;
    ~CListSpill();
    [[nodiscard]] bool Holds() const { return m_fd >= 0; }
    [[nodiscard]] std::size_t RunSize() const { return m_nRunSize; }

private:
    friend class CDatebookStore;
    struct CChunk {
        std::uint64_t m_nAt = 0; // offset in the file
        std::uint32_t m_nBytes = 0;
    };
    void Close();

    int m_fd = -1;
    std::size_t m_nRunSize = 0;
    std::vector<std::vector<CChunk>> m_vecChunks; // of each run, in the order written
};

enum class EAppointmentText { Text, Note, Category, Location };

struct CHotSyncResult {
    int m_nArchived = 0;
    int m_nPurged = 0;
};

class CDatebookStore {
public:
    static constexpr int kSchemaVersion = 1;
    static constexpr const char* kFileName = "datebook.db";

    // Opens the datebook in the folder, creating both when missing; an empty folder means
    // DefaultFolder(). A new datebook has one user, named after the login name.
    explicit CDatebookStore(const std::string& strFolder = {});
    ~CDatebookStore();
    CDatebookStore(const CDatebookStore&) = delete;
    CDatebookStore& operator=(const CDatebookStore&) = delete;

    // VARNO_HOME/datebook, else the XDG data folder's varno/datebook.
    [[nodiscard]] static std::string DefaultFolder();
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

    // Users, by id.
    [[nodiscard]] std::vector<CDatebookUser> ListUsers();
    [[nodiscard]] CDatebookUser CurrentUser();
    // Names compare without regard to the case of ASCII letters.
    [[nodiscard]] std::optional<CDatebookUser> FindUser(std::string_view strName);
    [[nodiscard]] std::optional<CDatebookUser> FindUser(std::int64_t nUserId);
    CDatebookUser AddUser(std::string_view strName);
    void SetCurrentUser(std::int64_t nUserId);

    // Stores a new appointment with all its values (record id ignored) and gives its id.
    LONG AddAppointment(std::int64_t nUserId, const CStoredAppointment& appointment);
    // Many at once, all or none, in one transaction; their ids in the same order.
    std::vector<LONG> AddAppointments(std::int64_t nUserId,
                                      const std::vector<CStoredAppointment>& appointments);
    // The user's appointments, neither deleted nor marked for archival, that have a day in
    // [from, to]: a single one its start day, a repeating one its series from the start day
    // to the end day. Ordered by start, then record id.
    [[nodiscard]] std::vector<CStoredAppointment> ListAppointments(std::int64_t nUserId,
                                                                   int nFromDay, int nToDay);
    // The record ids of the same list, in the same order.
    [[nodiscard]] std::vector<LONG> ListAppointmentIds(std::int64_t nUserId, int nFromDay,
                                                       int nToDay);
    // The same list as start and record id, the order of the list. For a wide list
    // (IsWideList) and a window given, the records are read by the same scan into it, as
    // long as they take at most nWindowBytes; else the window is left empty.
    [[nodiscard]] std::vector<CListKey> ListAppointmentKeys(std::int64_t nUserId, int nFromDay,
                                                            int nToDay,
                                                            CRecordWindow* pWindow = nullptr,
                                                            std::size_t nWindowBytes = 0);
    // Records by id whatever their marks (deleted and marked ones too), in the order of the
    // ids; none for one a HotSync has moved out. Read with one statement in one read
    // transaction, not a taking of the file's locks per record.
    [[nodiscard]] std::vector<std::optional<CStoredAppointment>>
    FindAppointments(const LONG* pIds, std::size_t nCount);
    // The same for keys of one user's list, sorted: the rows are read in the order of the
    // start index, as a run of the list is, rather than looked up one by one.
    [[nodiscard]] std::vector<std::optional<CStoredAppointment>>
    FindListedAppointments(std::int64_t nUserId, const CListKey* pKeys, std::size_t nCount);
    // The size of the datebook file over a count of records: about what one record takes.
    [[nodiscard]] std::size_t BytesPerRecord(std::size_t nRecords);
    // Lists of this many days or more are read in table order: nearly every record is in
    // them, and a table scan costs less than a lookup per record.
    [[nodiscard]] static bool IsWideList(int nFromDay, int nToDay);
    // The same records into a window, read in one scan of the table: for a run of a wide
    // list.
    void ReadListedWindow(std::int64_t nUserId, const CListKey* pKeys, std::size_t nCount,
                          CRecordWindow& window);
    // The records of a whole list (its keys, sorted) into a spill in runs of nRunSize
    // positions, by one scan of the table. False, the spill left empty, when the temporary
    // file cannot be made or written.
    [[nodiscard]] bool SpillListedRuns(std::int64_t nUserId, const CListKey* pKeys,
                                       std::size_t nCount, std::size_t nRunSize, CListSpill& spill);
    // Run nRun of the spill into the window, as ReadListedWindow reads the same keys (pKeys,
    // nCount: those of the run); a key the spill does not hold is read by id. False, the
    // window undefined, when the temporary file cannot be read.
    [[nodiscard]] bool ReadSpilledRun(const CListSpill& spill, std::size_t nRun,
                                      const CListKey* pKeys, std::size_t nCount,
                                      CRecordWindow& window);
    // NotFound unless the user holds the record and it is neither deleted nor marked.
    [[nodiscard]] CStoredAppointment GetAppointment(std::int64_t nUserId, LONG nRecordId);
    [[nodiscard]] std::int64_t CountAppointments(std::int64_t nUserId);

    // Changes of one record; Gone when it has been deleted or marked for archival since.
    // Those that can move the times or the series give the record as stored afterwards.
    void SetText(LONG nRecordId, EAppointmentText field, std::u16string_view text);
    void SetPrivate(LONG nRecordId, bool bPrivate);
    void SetAlarm(LONG nRecordId, bool bAlarm);
    void SetAlarmAdvance(LONG nRecordId, LONG nUnit, LONG nAmount);
    // Untimed: start and end move to the start day's 00:00.
    CStoredAppointment MakeUntimed(LONG nRecordId);
    // Timed: the times stay as they are.
    void MakeTimed(LONG nRecordId);
    CStoredAppointment SetTimes(LONG nRecordId, HOSTTIME tStart, HOSTTIME tEnd);
    // Type 1..5; interval 0 is taken as 1; end day kNoEnd (or 2031-12-31 and later) for none.
    CStoredAppointment SetRepeat(LONG nRecordId, LONG nType, LONG nInterval, int nEndDay,
                                 LONG nExtra);
    CStoredAppointment ClearRepeat(LONG nRecordId);
    // Adding a day that is already an exception changes nothing.
    CStoredAppointment AddException(LONG nRecordId, int nDay);
    // bArchive: mark for archival at the next HotSync; else remove. Removing a removed record
    // again changes nothing.
    void Delete(LONG nRecordId, bool bArchive);

    // Opens a batch unless one is open: the changes that follow join one write transaction.
    void BeginBatch();
    [[nodiscard]] bool InBatch() const { return m_bBatch; }
    // Makes the batch's changes lasting. On failure it is rolled back and the error raised.
    void CommitBatch();
    void RollbackBatch() noexcept;
    // False when SQLite rolled the open batch back by itself after a failure.
    [[nodiscard]] bool BatchIntact() const;
    // The rows this connection has inserted, changed or deleted so far (rolled back ones
    // included): equal counts mean nothing was written in between.
    [[nodiscard]] std::int64_t ChangeCount() const;
    // Changes by this connection and commits of others so far: equal stamps mean the
    // datebook is as it was.
    [[nodiscard]] std::pair<std::int64_t, std::int64_t> ChangeStamp();

    // The user's HotSync: marked records go to the archive table, deleted ones are purged.
    CHotSyncResult HotSync(std::int64_t nUserId);
    // "ok" when the database passes SQLite's integrity check, else its findings.
    [[nodiscard]] std::string CheckIntegrity();

    // Checks and normalises a complete appointment as AddAppointment does.
    static void Validate(CStoredAppointment& appointment);
    static void ValidateText(EAppointmentText field, std::u16string_view text);

private:
    // Refuses a database of another program or of a newer schema.
    void CheckIdentity();
    // Brings the schema to kSchemaVersion, step by step, in one transaction.
    void Migrate();
    std::int64_t ReadInt(const char* pszSql);
    CDatebookUser CreateFirstUser();
    void CheckUser(std::int64_t nUserId);
    // Inside a transaction; the appointment already validated.
    LONG Insert(std::int64_t nUserId, const CStoredAppointment& appointment);
    // The record whatever its marks; NotFound when it does not exist.
    CStoredAppointment Load(LONG nRecordId, bool& bLive);
    CStoredAppointment LoadLive(LONG nRecordId);
    void WriteSchedule(const CStoredAppointment& appointment);
    [[noreturn]] void ThrowNotLive(LONG nRecordId);
    // One UPDATE of a record that is neither deleted nor marked (id in parameter 1).
    template <class F> void UpdateLive(LONG nRecordId, const char* pszSql, F&& bindValues);
    // Runs the reads in one read transaction unless a transaction is open.
    void InReadTransaction(const std::function<void()>& read);
    void ReadByIds(const LONG* pIds, std::size_t nCount,
                   std::optional<CStoredAppointment>* pRecords);
    // Positions of the window no record was put at, read by id.
    void ReadMissing(const CListKey* pKeys, std::size_t nCount, CRecordWindow& window);

    std::string m_strPath;
    std::unique_ptr<CSqliteDatabase> m_pDb;
    bool m_bBatch = false;
};
