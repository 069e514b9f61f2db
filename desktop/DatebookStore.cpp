#include "desktop/DatebookStore.h"

#include "desktop/CalendarDay.h"
#include "desktop/SqliteDatabase.h"
#include "desktop/UnicodeText.h"
#include "platform/locale/LocalTime.h"
#include "platform/shell/Shell.h"

#include <sqlite3.h>

#include <unordered_map>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

using namespace desktop;

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kApplicationId = 0x5644424B; // marks the file as a datebook
constexpr int kBusyMilliseconds = 15000;

// Scans of the whole table reuse no page: while one runs, the page cache is kept small so that
// it does not grow to hold a large datebook the scan passes only once.
class CScanCache {
public:
    explicit CScanCache(CSqliteDatabase& db) : m_db(db) { m_db.Exec(kScanSize); }
    ~CScanCache() {
        try {
            m_db.Exec(kNormalSize);
        } catch (const CDatebookError&) {
            // The cache keeps its scan size: slower, never wrong.
        }
    }
    CScanCache(const CScanCache&) = delete;
    CScanCache& operator=(const CScanCache&) = delete;

    static constexpr const char* kNormalSize = "PRAGMA cache_size=-32768";

private:
    static constexpr const char* kScanSize = "PRAGMA cache_size=-2048";
    CSqliteDatabase& m_db;
};

// Step i moves the schema from version i to version i + 1.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE users(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE CHECK (length(name) > 0)
);
-- current_user: the id of the user whose datebook the host shows.
CREATE TABLE settings(
    key TEXT PRIMARY KEY,
    value
) WITHOUT ROWID;
-- Times are seconds since 1970-01-01 00:00 UTC (32-bit); days are yyyy-mm-dd local dates.
-- Ids come from AUTOINCREMENT so that none is ever given out again.
CREATE TABLE appointments(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    user_id INTEGER NOT NULL REFERENCES users(id),
    start_time INTEGER NOT NULL,
    end_time INTEGER NOT NULL,
    untimed INTEGER NOT NULL DEFAULT 0,
    text TEXT NOT NULL DEFAULT '',
    note TEXT NOT NULL DEFAULT '',
    category TEXT NOT NULL DEFAULT '',
    location TEXT NOT NULL DEFAULT '',
    private INTEGER NOT NULL DEFAULT 0,
    alarm INTEGER NOT NULL DEFAULT 0,
    alarm_unit INTEGER NOT NULL DEFAULT 0,      -- 0 minutes, 1 hours, 2 days
    alarm_advance INTEGER NOT NULL DEFAULT 5,
    repeat_type INTEGER NOT NULL DEFAULT 0,     -- 0 none, 1 daily .. 5 yearly
    repeat_interval INTEGER NOT NULL DEFAULT 0,
    repeat_end TEXT,                            -- last day; NULL: no end
    repeat_extra INTEGER NOT NULL DEFAULT 0,    -- weekday set or week index
    archive INTEGER NOT NULL DEFAULT 0,         -- to the archive at the next HotSync
    deleted INTEGER NOT NULL DEFAULT 0          -- purged at the next HotSync
);
CREATE INDEX appointments_by_start ON appointments(user_id, start_time);
CREATE TABLE exceptions(
    appointment_id INTEGER NOT NULL REFERENCES appointments(id) ON DELETE CASCADE,
    day TEXT NOT NULL,
    PRIMARY KEY (appointment_id, day)
) WITHOUT ROWID;
-- Records archived by a HotSync, with their record ids; exceptions as comma-separated days.
CREATE TABLE archive(
    id INTEGER PRIMARY KEY,
    user_id INTEGER NOT NULL REFERENCES users(id),
    start_time INTEGER NOT NULL,
    end_time INTEGER NOT NULL,
    untimed INTEGER NOT NULL,
    text TEXT NOT NULL,
    note TEXT NOT NULL,
    category TEXT NOT NULL,
    location TEXT NOT NULL,
    private INTEGER NOT NULL,
    alarm INTEGER NOT NULL,
    alarm_unit INTEGER NOT NULL,
    alarm_advance INTEGER NOT NULL,
    repeat_type INTEGER NOT NULL,
    repeat_interval INTEGER NOT NULL,
    repeat_end TEXT,
    repeat_extra INTEGER NOT NULL,
    exceptions TEXT NOT NULL,
    archived_at INTEGER NOT NULL
);
)sql",
};
static_assert(std::size(kMigrations) == CDatebookStore::kSchemaVersion);

// Columns 0..16 of ReadAppointment.
#define VARNO_RECORD_COLUMNS                                                                       \
    "a.id, a.start_time, a.end_time, a.untimed, a.text, a.note, a.category, a.location, "          \
    "a.private, a.alarm, a.alarm_unit, a.alarm_advance, a.repeat_type, a.repeat_interval, "        \
    "a.repeat_end, a.repeat_extra"
constexpr const char* kColumns = VARNO_RECORD_COLUMNS
    ", CASE WHEN a.repeat_type <> 0 THEN"
    " (SELECT group_concat(e.day) FROM exceptions e WHERE e.appointment_id = a.id) END";
// Columns 0..15 only: for scans of the table in id order, which take the exception days
// from CExceptionDays instead of a lookup per repeating record.
constexpr const char* kScanColumns = VARNO_RECORD_COLUMNS;
#undef VARNO_RECORD_COLUMNS

const std::string& SqlList() {
    static const std::string sql =
        std::string("SELECT ") + kColumns +
        " FROM appointments a WHERE a.user_id = ?1 AND a.archive = 0 AND a.deleted = 0"
        " AND a.start_time <= ?3 AND (a.repeat_type <> 0 OR a.start_time >= ?2)"
        " ORDER BY a.start_time, a.id";
    return sql;
}

// The same read in table order: for a wide range, where the index selects nearly every row
// and reading through it costs a lookup per row.
const std::string& SqlListScan() {
    static const std::string sql =
        std::string("SELECT ") + kColumns +
        " FROM appointments a NOT INDEXED WHERE a.user_id = ?1 AND a.archive = 0"
        " AND a.deleted = 0 AND a.start_time <= ?3 AND (a.repeat_type <> 0 OR a.start_time >= ?2)";
    return sql;
}

const std::string& SqlGetForUser() {
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   " FROM appointments a WHERE a.id = ?1 AND a.user_id = ?2"
                                   " AND a.archive = 0 AND a.deleted = 0";
    return sql;
}

const std::string& SqlLoad() {
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   ", a.archive, a.deleted FROM appointments a WHERE a.id = ?1";
    return sql;
}

std::vector<int> ParseDayList(std::string_view text) {
    std::vector<int> days;
    std::size_t nFrom = 0;
    while (nFrom < text.size()) {
        std::size_t nEnd = text.find(',', nFrom);
        if (nEnd == std::string_view::npos)
            nEnd = text.size();
        if (const std::optional<int> day = ParseIsoDay(text.substr(nFrom, nEnd - nFrom)))
            days.push_back(*day);
        nFrom = nEnd + 1;
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    return days;
}

int ReadRepeatEnd(const CSqliteQuery& q, int nColumn) {
    return q.IsNull(nColumn) ? CRepeatPattern::kNoEnd
                             : ParseIsoDay(q.TextView(nColumn)).value_or(CRepeatPattern::kNoEnd);
}

// Into a record whose strings keep their storage from one row to the next.
void ReadAppointmentInto(const CSqliteQuery& q, CStoredAppointment& a, bool bTexts = true) {
    a.m_nRecordId = static_cast<LONG>(q.Int(0));
    a.m_tStart = static_cast<HOSTTIME>(q.Int(1));
    a.m_tEnd = static_cast<HOSTTIME>(q.Int(2));
    a.m_bUntimed = q.Int(3) != 0;
    if (bTexts) {
        AssignUtf8AsUtf16(q.TextView(4), a.m_strText);
        AssignUtf8AsUtf16(q.TextView(5), a.m_strNote);
        AssignUtf8AsUtf16(q.TextView(6), a.m_strCategory);
        AssignUtf8AsUtf16(q.TextView(7), a.m_strLocation);
    }
    a.m_bPrivate = q.Int(8) != 0;
    a.m_bAlarm = q.Int(9) != 0;
    a.m_nAlarmUnit = static_cast<LONG>(q.Int(10));
    a.m_nAlarmAdvance = static_cast<LONG>(q.Int(11));
    a.m_nRepeatType = static_cast<LONG>(q.Int(12));
    a.m_nRepeatInterval = static_cast<LONG>(q.Int(13));
    a.m_nRepeatEndDay = ReadRepeatEnd(q, 14);
    a.m_nRepeatExtra = static_cast<LONG>(q.Int(15));
    a.m_vecExceptionDays.clear();
    if (q.ColumnCount() > 16 && !q.IsNull(16))
        a.m_vecExceptionDays = ParseDayList(q.TextView(16));
}

// The exception days of every record, read alongside a scan of the records in id order: one
// pass over the exception table in its own order.
class CExceptionDays {
public:
    explicit CExceptionDays(CSqliteDatabase& db)
        : m_q(db.Query("SELECT appointment_id, day FROM exceptions ORDER BY appointment_id, day")) {
        m_bHave = m_q.Step();
    }

    // The days of the record, whose id is above every id asked before.
    void DaysOf(std::int64_t nId, std::vector<int>& days) {
        days.clear();
        while (m_bHave && m_q.Int(0) < nId)
            m_bHave = m_q.Step();
        while (m_bHave && m_q.Int(0) == nId) {
            if (const std::optional<int> day = ParseIsoDay(m_q.TextView(1)))
                days.push_back(*day);
            m_bHave = m_q.Step();
        }
        std::sort(days.begin(), days.end());
        days.erase(std::unique(days.begin(), days.end()), days.end());
    }

private:
    CSqliteQuery m_q;
    bool m_bHave = false;
};

CStoredAppointment ReadAppointment(const CSqliteQuery& q) {
    CStoredAppointment a;
    ReadAppointmentInto(q, a);
    return a;
}

std::string FormatLocalTime(HOSTTIME t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return std::to_string(t);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", local.m_nYear, local.m_nMonth,
                  local.m_nDay, local.m_nHour, local.m_nMinute);
    return buffer;
}

[[noreturn]] void Invalid(const std::string& message) {
    throw CDatebookError(EDatebookError::InvalidArgument, message);
}

const char* TextFieldName(EAppointmentText field) {
    switch (field) {
    case EAppointmentText::Text:
        return "text";
    case EAppointmentText::Note:
        return "note";
    case EAppointmentText::Category:
        return "category";
    case EAppointmentText::Location:
        return "location";
    }
    return "text";
}

// The start and end of an appointment: the start day within the datebook's days, the end not
// before the start; an untimed appointment moves both to the start day's 00:00.
void CheckTimes(CStoredAppointment& a) {
    const int nStartDay = LocalDayOf(a.m_tStart);
    if (nStartDay < kFirstDatebookDay || nStartDay > kLastDatebookDay)
        Invalid("The start " + FormatLocalTime(a.m_tStart) + " lies outside the datebook's days (" +
                FormatIsoDay(kFirstDatebookDay) + " to " + FormatIsoDay(kLastDatebookDay) + ").");
    if (a.m_bUntimed) {
        const std::optional<HOSTTIME> midnight = LocalMidnightOf(nStartDay);
        if (!midnight)
            Invalid("The day " + FormatIsoDay(nStartDay) + " cannot be stored.");
        a.m_tStart = a.m_tEnd = *midnight;
        return;
    }
    if (a.m_tEnd < a.m_tStart)
        Invalid("The end " + FormatLocalTime(a.m_tEnd) + " lies before the start " +
                FormatLocalTime(a.m_tStart) + ".");
}

void CheckAlarm(LONG nUnit, LONG nAmount) {
    if (nUnit < 0 || nUnit > 2)
        Invalid("The alarm unit " + std::to_string(nUnit) +
                " is not one of 0 (minutes), 1 (hours) or 2 (days).");
    if (nAmount < 0 || nAmount > kMaxAlarmAdvance)
        Invalid("The alarm advance " + std::to_string(nAmount) + " is outside 0 to " +
                std::to_string(kMaxAlarmAdvance) + ".");
}

// Checks the repeat values of a repeating appointment and brings them to their stored form.
void CheckRepeat(CStoredAppointment& a) {
    if (a.m_nRepeatType < HOST_REPEAT_DAILY || a.m_nRepeatType > HOST_REPEAT_YEARLY)
        Invalid("The repeat type " + std::to_string(a.m_nRepeatType) +
                " is not one of 1 (daily), 2 (weekly), 3 (monthly by day), 4 (monthly by date) "
                "or 5 (yearly).");
    if (a.m_nRepeatInterval == 0)
        a.m_nRepeatInterval = 1;
    if (a.m_nRepeatInterval < 1 || a.m_nRepeatInterval > kMaxRepeatInterval)
        Invalid("The repeat interval " + std::to_string(a.m_nRepeatInterval) + " is outside 1 to " +
                std::to_string(kMaxRepeatInterval) + ".");
    switch (a.m_nRepeatType) {
    case HOST_REPEAT_WEEKLY:
        // Bit 7 of the set has no meaning and is not kept.
        if (a.m_nRepeatExtra < 0 || a.m_nRepeatExtra > 0xFF)
            Invalid("The weekday set " + std::to_string(a.m_nRepeatExtra) +
                    " of a weekly repeat is not a set of weekdays (bit 0 Sunday to bit 6 "
                    "Saturday).");
        a.m_nRepeatExtra &= 0x7F;
        if (a.m_nRepeatExtra == 0)
            Invalid("A weekly repeat needs at least one weekday.");
        break;
    case HOST_REPEAT_MONTHLY_BY_DAY:
        if (a.m_nRepeatExtra < 1 || a.m_nRepeatExtra > 5)
            Invalid("The week index " + std::to_string(a.m_nRepeatExtra) +
                    " of a monthly repeat by day is outside 1 to 5.");
        break;
    default:
        a.m_nRepeatExtra = 0;
        break;
    }
    if (a.m_nRepeatEndDay >= kLastDatebookDay)
        a.m_nRepeatEndDay = CRepeatPattern::kNoEnd;
    const int nStartDay = a.StartDay();
    if (a.m_nRepeatEndDay < nStartDay)
        Invalid("The repeat end " + FormatIsoDay(a.m_nRepeatEndDay) +
                " lies before the appointment's day " + FormatIsoDay(nStartDay) + ".");
}

void CheckExceptionDay(int nDay) {
    if (nDay < kFirstDatebookDay || nDay > kLastDatebookDay)
        Invalid("The exception day " + FormatIsoDay(nDay) + " lies outside the datebook's days (" +
                FormatIsoDay(kFirstDatebookDay) + " to " + FormatIsoDay(kLastDatebookDay) + ").");
}

void BindRepeatEnd(CSqliteQuery& q, int nIndex, int nEndDay) {
    if (nEndDay == CRepeatPattern::kNoEnd)
        q.BindNull(nIndex);
    else
        q.BindUtf8(nIndex, FormatIsoDay(nEndDay));
}

std::string CheckUserName(std::string_view name) {
    const std::optional<std::u16string> wide = Utf8ToUtf16(name);
    if (!wide)
        Invalid("The user name is not valid UTF-8 text.");
    if (wide->empty())
        Invalid("A user name cannot be empty.");
    if (wide->size() > kMaxUserName)
        Invalid("The user name is longer than " + std::to_string(kMaxUserName) + " characters.");
    for (char16_t c : *wide)
        if (c < 0x20 || c == 0x7F)
            Invalid("The user name holds a control character.");
    return std::string(name);
}

std::string LoginName() {
    std::string name;
    long nSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(nSize > 0 ? nSize : 16384));
    passwd pw{};
    passwd* pResult = nullptr;
    if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &pResult) == 0 && pResult &&
        pResult->pw_name)
        name = pResult->pw_name;
    if (name.empty())
        if (const char* p = std::getenv("USER"))
            name = p;
    try {
        return CheckUserName(name);
    } catch (const CDatebookError&) {
        return "User";
    }
}

} // namespace

int CStoredAppointment::StartDay() const {
    return LocalDayOf(m_tStart);
}

CRepeatPattern CStoredAppointment::Pattern() const {
    if (!IsRepeating())
        return CRepeatPattern(StartDay());
    return CRepeatPattern(StartDay(), m_nRepeatType, m_nRepeatInterval, m_nRepeatExtra,
                          m_nRepeatEndDay, m_vecExceptionDays);
}

CDatebookStore::CDatebookStore(const std::string& strFolder) {
    const fs::path folder = strFolder.empty() ? fs::path(DefaultFolder()) : fs::path(strFolder);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec)
            throw CDatebookError(EDatebookError::Storage, "Cannot create the datebook folder " +
                                                              folder.string() + ": " +
                                                              ec.message() + ".");
        // The datebook is private to its user.
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    m_strPath = (folder / kFileName).string();
    try {
        m_pDb = std::make_unique<CSqliteDatabase>(m_strPath, kBusyMilliseconds);
        m_pDb->Exec("PRAGMA foreign_keys=ON");
        // Nothing is written to a file that turns out not to be this datebook.
        CheckIdentity();
        // WAL: readers never wait for a writer, and a commit is one append to the journal,
        // which outlives a killed process. synchronous=NORMAL syncs the journal at each
        // checkpoint rather than at each commit, so a crash of the whole machine may lose
        // the last changes but never damages the file; a sync per commit would make an
        // import of thousands of appointments (about ten commits each) take minutes.
        {
            CSqliteQuery q = m_pDb->Query("PRAGMA journal_mode=WAL");
            (void)q.Step();
        }
        // A page cache of 32 MiB holds a datebook of a hundred thousand appointments, which
        // the program lists whole for every operation.
        m_pDb->Exec("PRAGMA synchronous=NORMAL");
        m_pDb->Exec(CScanCache::kNormalSize);
        // The journal is copied into the database once it holds 32 MiB of pages, not 4 MiB:
        // an import of many appointments dirties the same pages of the start index again
        // and again, and each copy syncs the database. Fewer, larger copies keep the cost
        // of an appointment flat as the datebook grows.
        m_pDb->Exec("PRAGMA wal_autocheckpoint=8192");
        Migrate();
    } catch (const CDatebookError& e) {
        m_pDb.reset();
        throw CDatebookError(e.Kind(), "Cannot open the datebook " + m_strPath + ": " + e.what());
    }
}

CDatebookStore::~CDatebookStore() {
    // Copies what the journal holds into the database and syncs both, so that closing is a
    // point of full durability even while other processes keep the datebook open.
    try {
        if (m_bBatch)
            CommitBatch();
        if (m_pDb)
            m_pDb->Exec("PRAGMA wal_checkpoint(PASSIVE)");
    } catch (const CDatebookError&) {
        // A failed batch is rolled back; a busy datebook is checkpointed by its last user.
    }
}

void CDatebookStore::BeginBatch() {
    if (m_bBatch)
        return;
    m_pDb->Exec("BEGIN IMMEDIATE");
    m_bBatch = true;
}

void CDatebookStore::CommitBatch() {
    if (!m_bBatch)
        return;
    try {
        if (!m_pDb->InTransaction())
            throw CDatebookError(EDatebookError::Unwritable,
                                 "The datebook dropped the changes after a failed write.");
        m_pDb->Exec("COMMIT");
        m_bBatch = false;
    } catch (const CDatebookError&) {
        RollbackBatch();
        throw;
    }
}

void CDatebookStore::RollbackBatch() noexcept {
    if (!m_bBatch)
        return;
    m_bBatch = false;
    if (m_pDb && m_pDb->InTransaction())
        sqlite3_exec(m_pDb->Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

std::int64_t CDatebookStore::ChangeCount() const {
    return sqlite3_total_changes64(m_pDb->Handle());
}

std::pair<std::int64_t, std::int64_t> CDatebookStore::ChangeStamp() {
    return {ChangeCount(), ReadInt("PRAGMA data_version")};
}

bool CDatebookStore::BatchIntact() const {
    return !m_bBatch || m_pDb->InTransaction();
}

std::string CDatebookStore::DefaultFolder() {
    return GetUserDataFolder("datebook");
}

std::int64_t CDatebookStore::ReadInt(const char* pszSql) {
    CSqliteQuery q = m_pDb->Query(pszSql);
    return q.Step() ? q.Int(0) : 0;
}

void CDatebookStore::CheckIdentity() {
    const std::int64_t nVersion = ReadInt("PRAGMA user_version");
    const std::int64_t nApplication = ReadInt("PRAGMA application_id");
    // A database of another program: marked as such, or unmarked and not empty.
    if ((nApplication != 0 && nApplication != kApplicationId) ||
        (nApplication == 0 && nVersion == 0 && ReadInt("SELECT count(*) FROM sqlite_master") != 0))
        throw CDatebookError(EDatebookError::Storage, "the file is not a datebook.");
    if (nVersion < 0)
        throw CDatebookError(EDatebookError::Storage,
                             "its schema version " + std::to_string(nVersion) +
                                 " is not one that any version of the datebook writes; the file "
                                 "was left as it is.");
    if (nVersion > kSchemaVersion)
        throw CDatebookError(EDatebookError::Storage,
                             "it was written by a newer version of the datebook (schema " +
                                 std::to_string(nVersion) + "; this one knows schema " +
                                 std::to_string(kSchemaVersion) + " and older).");
}

void CDatebookStore::Migrate() {
    if (ReadInt("PRAGMA user_version") == kSchemaVersion)
        return;
    CSqliteTransaction txn(*m_pDb);
    // Another process may have moved the schema on while this one waited for the lock.
    const std::int64_t nVersion = ReadInt("PRAGMA user_version");
    if (nVersion == kSchemaVersion)
        return;
    CheckIdentity();
    for (std::int64_t v = nVersion; v < kSchemaVersion; ++v)
        m_pDb->Exec(kMigrations[v]);
    m_pDb->Exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
    m_pDb->Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
    if (nVersion == 0)
        CreateFirstUser();
    txn.Commit();
}

CDatebookUser CDatebookStore::CreateFirstUser() {
    CDatebookUser user;
    user.m_strName = LoginName();
    {
        CSqliteQuery q = m_pDb->Query("INSERT INTO users(name) VALUES (?1)");
        q.BindUtf8(1, user.m_strName).Run();
    }
    user.m_nId = m_pDb->LastInsertId();
    CSqliteQuery q =
        m_pDb->Query("INSERT OR REPLACE INTO settings(key, value) VALUES ('current_user', ?1)");
    q.Bind(1, user.m_nId).Run();
    return user;
}

std::vector<CDatebookUser> CDatebookStore::ListUsers() {
    std::vector<CDatebookUser> users;
    CSqliteQuery q = m_pDb->Query("SELECT id, name FROM users ORDER BY id");
    while (q.Step())
        users.push_back({q.Int(0), q.Text(1)});
    return users;
}

CDatebookUser CDatebookStore::CurrentUser() {
    {
        CSqliteQuery q =
            m_pDb->Query("SELECT u.id, u.name FROM settings s JOIN users u ON u.id = s.value"
                         " WHERE s.key = 'current_user'");
        if (q.Step())
            return {q.Int(0), q.Text(1)};
    }
    // Only a datebook changed by other means lacks a current user: take the first one.
    CSqliteTransaction txn(*m_pDb);
    std::vector<CDatebookUser> users = ListUsers();
    CDatebookUser user;
    if (users.empty()) {
        user = CreateFirstUser();
    } else {
        user = users.front();
        CSqliteQuery q =
            m_pDb->Query("INSERT OR REPLACE INTO settings(key, value) VALUES ('current_user', ?1)");
        q.Bind(1, user.m_nId).Run();
    }
    txn.Commit();
    return user;
}

std::optional<CDatebookUser> CDatebookStore::FindUser(std::string_view strName) {
    CSqliteQuery q = m_pDb->Query("SELECT id, name FROM users WHERE name = ?1");
    q.BindUtf8(1, strName);
    if (!q.Step())
        return std::nullopt;
    return CDatebookUser{q.Int(0), q.Text(1)};
}

std::optional<CDatebookUser> CDatebookStore::FindUser(std::int64_t nUserId) {
    CSqliteQuery q = m_pDb->Query("SELECT id, name FROM users WHERE id = ?1");
    q.Bind(1, nUserId);
    if (!q.Step())
        return std::nullopt;
    return CDatebookUser{q.Int(0), q.Text(1)};
}

CDatebookUser CDatebookStore::AddUser(std::string_view strName) {
    CDatebookUser user;
    user.m_strName = CheckUserName(strName);
    CSqliteTransaction txn(*m_pDb);
    if (const std::optional<CDatebookUser> existing = FindUser(strName))
        Invalid("A user named \"" + existing->m_strName + "\" already exists.");
    {
        CSqliteQuery q = m_pDb->Query("INSERT INTO users(name) VALUES (?1)");
        q.BindUtf8(1, user.m_strName).Run();
    }
    user.m_nId = m_pDb->LastInsertId();
    txn.Commit();
    return user;
}

void CDatebookStore::SetCurrentUser(std::int64_t nUserId) {
    CSqliteTransaction txn(*m_pDb);
    if (!FindUser(nUserId))
        throw CDatebookError(EDatebookError::NotFound,
                             "There is no user with id " + std::to_string(nUserId) + ".");
    CSqliteQuery q =
        m_pDb->Query("INSERT OR REPLACE INTO settings(key, value) VALUES ('current_user', ?1)");
    q.Bind(1, nUserId).Run();
    txn.Commit();
}

void CDatebookStore::ValidateText(EAppointmentText field, std::u16string_view text) {
    const std::size_t nMax =
        field == EAppointmentText::Category ? kMaxCategoryName : kMaxAppointmentText;
    if (text.size() > nMax)
        Invalid(std::string("The ") + TextFieldName(field) + " is " + std::to_string(text.size()) +
                " characters long; the datebook keeps at most " + std::to_string(nMax) + ".");
    if (!Utf16ToUtf8(text))
        Invalid(std::string("The ") + TextFieldName(field) +
                " holds an unpaired surrogate, which is not a character and cannot be stored.");
}

void CDatebookStore::Validate(CStoredAppointment& a) {
    ValidateText(EAppointmentText::Text, a.m_strText);
    ValidateText(EAppointmentText::Note, a.m_strNote);
    ValidateText(EAppointmentText::Category, a.m_strCategory);
    ValidateText(EAppointmentText::Location, a.m_strLocation);
    CheckTimes(a);
    CheckAlarm(a.m_nAlarmUnit, a.m_nAlarmAdvance);
    std::sort(a.m_vecExceptionDays.begin(), a.m_vecExceptionDays.end());
    a.m_vecExceptionDays.erase(
        std::unique(a.m_vecExceptionDays.begin(), a.m_vecExceptionDays.end()),
        a.m_vecExceptionDays.end());
    if (!a.IsRepeating()) {
        if (!a.m_vecExceptionDays.empty())
            Invalid("Only a repeating appointment can have exception days.");
        a.m_nRepeatInterval = 0;
        a.m_nRepeatEndDay = CRepeatPattern::kNoEnd;
        a.m_nRepeatExtra = 0;
        return;
    }
    CheckRepeat(a);
    for (int nDay : a.m_vecExceptionDays)
        CheckExceptionDay(nDay);
}

LONG CDatebookStore::AddAppointment(std::int64_t nUserId, const CStoredAppointment& appointment) {
    CStoredAppointment a = appointment;
    Validate(a);
    CSqliteTransaction txn(*m_pDb);
    CheckUser(nUserId);
    const LONG nId = Insert(nUserId, a);
    txn.Commit();
    return nId;
}

std::vector<LONG>
CDatebookStore::AddAppointments(std::int64_t nUserId,
                                const std::vector<CStoredAppointment>& appointments) {
    std::vector<CStoredAppointment> checked = appointments;
    for (CStoredAppointment& a : checked)
        Validate(a);
    std::vector<LONG> ids;
    ids.reserve(checked.size());
    CSqliteTransaction txn(*m_pDb);
    CheckUser(nUserId);
    for (const CStoredAppointment& a : checked)
        ids.push_back(Insert(nUserId, a));
    txn.Commit();
    return ids;
}

void CDatebookStore::CheckUser(std::int64_t nUserId) {
    if (!FindUser(nUserId))
        throw CDatebookError(EDatebookError::NotFound,
                             "There is no user with id " + std::to_string(nUserId) + ".");
}

LONG CDatebookStore::Insert(std::int64_t nUserId, const CStoredAppointment& a) {
    {
        CSqliteQuery q = m_pDb->Query(
            "INSERT INTO appointments(user_id, start_time, end_time, untimed, text, note, "
            "category, location, private, alarm, alarm_unit, alarm_advance, repeat_type, "
            "repeat_interval, repeat_end, repeat_extra) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)");
        q.Bind(1, nUserId)
            .Bind(2, a.m_tStart)
            .Bind(3, a.m_tEnd)
            .Bind(4, a.m_bUntimed ? 1 : 0)
            .Bind(5, a.m_strText)
            .Bind(6, a.m_strNote)
            .Bind(7, a.m_strCategory)
            .Bind(8, a.m_strLocation)
            .Bind(9, a.m_bPrivate ? 1 : 0)
            .Bind(10, a.m_bAlarm ? 1 : 0)
            .Bind(11, a.m_nAlarmUnit)
            .Bind(12, a.m_nAlarmAdvance)
            .Bind(13, a.m_nRepeatType)
            .Bind(14, a.m_nRepeatInterval);
        BindRepeatEnd(q, 15, a.m_nRepeatEndDay);
        q.Bind(16, a.m_nRepeatExtra).Run();
    }
    const std::int64_t nId = m_pDb->LastInsertId();
    if (nId > std::numeric_limits<LONG>::max())
        throw CDatebookError(EDatebookError::Storage,
                             "The datebook has given out every record id it can.");
    for (int nDay : a.m_vecExceptionDays) {
        CSqliteQuery q =
            m_pDb->Query("INSERT OR IGNORE INTO exceptions(appointment_id, day) VALUES (?1, ?2)");
        q.Bind(1, nId).BindUtf8(2, FormatIsoDay(nDay)).Run();
    }
    return static_cast<LONG>(nId);
}

namespace {

// The days of a list and the time values that surely lie inside them: values more than two
// days (beyond any time zone's offset) inside the days' bounds; the local day decides only
// for those near a bound.
struct CListDays {
    static constexpr std::int64_t kMargin = 2 * 86400;
    CListDays(int nFromDay, int nToDay)
        : m_nFromDay(nFromDay), m_nToDay(nToDay), m_nLow(std::int64_t{nFromDay} * 86400),
          m_nHigh((std::int64_t{nToDay} + 1) * 86400) {}

    // Whether a record with this start and repeat has a day in the range: a single one its
    // start day, a repeating one its series.
    [[nodiscard]] bool Holds(HOSTTIME tStart, bool bRepeating, int nRepeatEndDay) const {
        const bool bSurelyInside = tStart >= m_nLow + kMargin && tStart < m_nHigh - kMargin;
        const int nStartDay = bSurelyInside ? m_nFromDay : LocalDayOf(tStart);
        if (nStartDay > m_nToDay)
            return false;
        if (!bRepeating)
            return nStartDay >= m_nFromDay;
        // A series that ends before it starts still shows on its start day.
        const int nLastDay = std::max(nStartDay, std::min(nRepeatEndDay, kLastDatebookDay));
        return nLastDay >= m_nFromDay;
    }

    int m_nFromDay;
    int m_nToDay;
    std::int64_t m_nLow;
    std::int64_t m_nHigh;
};

// Ranges of this many days or more are read in table order and sorted afterwards: the index
// would select nearly every row and cost a lookup per row.
constexpr int kScanDays = 3653;

bool ByStartThenId(HOSTTIME tStartA, LONG nIdA, HOSTTIME tStartB, LONG nIdB) {
    return tStartA != tStartB ? tStartA < tStartB : nIdA < nIdB;
}

constexpr const char* kListWhere =
    " WHERE a.user_id = ?1 AND a.archive = 0 AND a.deleted = 0 AND a.start_time <= ?3"
    " AND (a.repeat_type <> 0 OR a.start_time >= ?2)";

} // namespace

std::vector<CStoredAppointment> CDatebookStore::ListAppointments(std::int64_t nUserId, int nFromDay,
                                                                 int nToDay) {
    std::vector<CStoredAppointment> result;
    if (nFromDay > nToDay)
        return result;
    const CListDays days(nFromDay, nToDay);
    const bool bScan = IsWideList(nFromDay, nToDay);
    CSqliteQuery q = m_pDb->Query(bScan ? SqlListScan().c_str() : SqlList().c_str());
    q.Bind(1, nUserId)
        .Bind(2, days.m_nLow - CListDays::kMargin)
        .Bind(3, days.m_nHigh + CListDays::kMargin);
    while (q.Step()) {
        CStoredAppointment a = ReadAppointment(q);
        if (days.Holds(a.m_tStart, a.IsRepeating(), a.m_nRepeatEndDay))
            result.push_back(std::move(a));
    }
    if (bScan)
        std::sort(result.begin(), result.end(),
                  [](const CStoredAppointment& a, const CStoredAppointment& b) {
                      return ByStartThenId(a.m_tStart, a.m_nRecordId, b.m_tStart, b.m_nRecordId);
                  });
    return result;
}

std::vector<CListKey> CDatebookStore::ListAppointmentKeys(std::int64_t nUserId, int nFromDay,
                                                          int nToDay, CRecordWindow* pWindow,
                                                          std::size_t nWindowBytes) {
    std::vector<CListKey> keys;
    if (pWindow)
        pWindow->Reset(0);
    if (nFromDay > nToDay)
        return keys;
    static const std::string sqlScan =
        std::string("SELECT a.id, a.start_time, a.repeat_type, a.repeat_end"
                    " FROM appointments a NOT INDEXED") +
        kListWhere;
    static const std::string sqlScanRecords = std::string("SELECT ") + kScanColumns +
                                              " FROM appointments a NOT INDEXED" + kListWhere +
                                              " ORDER BY a.id";
    static const std::string sqlIndex =
        std::string("SELECT a.id, a.start_time, a.repeat_type, a.repeat_end FROM appointments a") +
        kListWhere + " ORDER BY a.start_time, a.id";
    const CListDays days(nFromDay, nToDay);
    const bool bScan = IsWideList(nFromDay, nToDay);
    std::optional<CScanCache> cache;
    if (bScan)
        cache.emplace(*m_pDb);
    // A datebook file of more than twice the window's bytes surely holds too much for it.
    bool bRecords = bScan && pWindow && BytesPerRecord(1) / 2 <= nWindowBytes;
    // The column of the repeat end in either form of the statement.
    const int nEndColumn = bRecords ? 14 : 3;
    const auto Read = [&](const std::string& sql) {
        std::optional<CExceptionDays> exceptions;
        if (bRecords)
            exceptions.emplace(*m_pDb);
        CSqliteQuery q = m_pDb->Query(sql.c_str());
        q.Bind(1, nUserId)
            .Bind(2, days.m_nLow - CListDays::kMargin)
            .Bind(3, days.m_nHigh + CListDays::kMargin);
        CStoredAppointment row;
        while (q.Step()) {
            const auto tStart = static_cast<HOSTTIME>(q.Int(1));
            const bool bRepeating = q.Int(bRecords ? 12 : 2) != HOST_REPEAT_NONE;
            if (!days.Holds(tStart, bRepeating, bRepeating ? ReadRepeatEnd(q, nEndColumn) : 0))
                continue;
            keys.push_back({tStart, static_cast<LONG>(q.Int(0))});
            if (!bRecords)
                continue;
            ReadAppointmentInto(q, row, false);
            if (row.IsRepeating())
                exceptions->DaysOf(row.m_nRecordId, row.m_vecExceptionDays);
            const std::string_view aTexts[4] = {q.TextView(4), q.TextView(5), q.TextView(6),
                                                q.TextView(7)};
            pWindow->Append(row, aTexts);
            // Too large for the window: the rest are listed only, and the window dropped.
            if (pWindow->Bytes() > nWindowBytes) {
                pWindow->Reset(0);
                return false;
            }
        }
        return true;
    };
    if (bRecords) {
        // The window is dropped past nWindowBytes, and its texts never outgrow the file.
        pWindow->Reserve(std::min(BytesPerRecord(1), nWindowBytes) + 1);
        if (!Read(sqlScanRecords)) {
            bRecords = false;
            keys.clear();
            (void)Read(sqlScan);
        }
    } else {
        (void)Read(bScan ? sqlScan : sqlIndex);
    }
    if (bRecords) {
        // The window's records put in the order of the list.
        std::vector<std::pair<CListKey, std::uint32_t>> sorted(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            sorted[i] = {keys[i], static_cast<std::uint32_t>(i)};
        std::sort(sorted.begin(), sorted.end());
        std::vector<std::uint32_t> order(keys.size());
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            keys[i] = sorted[i].first;
            order[i] = sorted[i].second;
        }
        pWindow->Arrange(order);
    } else if (bScan) {
        std::sort(keys.begin(), keys.end());
    }
    return keys;
}

std::vector<LONG> CDatebookStore::ListAppointmentIds(std::int64_t nUserId, int nFromDay,
                                                     int nToDay) {
    const std::vector<CListKey> keys = ListAppointmentKeys(nUserId, nFromDay, nToDay);
    std::vector<LONG> ids;
    ids.reserve(keys.size());
    for (const CListKey& key : keys)
        ids.push_back(key.m_nRecordId);
    return ids;
}

void CDatebookStore::InReadTransaction(const std::function<void()>& read) {
    const bool bOwnRead = !m_pDb->InTransaction();
    if (bOwnRead)
        m_pDb->Query("BEGIN").Run();
    try {
        read();
    } catch (...) {
        if (bOwnRead && m_pDb->InTransaction())
            sqlite3_exec(m_pDb->Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (bOwnRead)
        m_pDb->Query("COMMIT").Run();
}

void CDatebookStore::ReadByIds(const LONG* pIds, std::size_t nCount,
                               std::optional<CStoredAppointment>* pRecords) {
    // One statement for all of them: the ids as a JSON array.
    std::string strIds = "[";
    std::unordered_map<LONG, std::size_t> mapPosition;
    mapPosition.reserve(nCount);
    for (std::size_t i = 0; i < nCount; ++i) {
        if (i > 0)
            strIds += ',';
        strIds += std::to_string(pIds[i]);
        mapPosition.emplace(pIds[i], i);
    }
    strIds += ']';
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   " FROM appointments a"
                                   " WHERE a.id IN (SELECT value FROM json_each(?1))";
    CSqliteQuery q = m_pDb->Query(sql.c_str());
    q.BindUtf8(1, strIds);
    while (q.Step()) {
        CStoredAppointment a = ReadAppointment(q);
        if (const auto it = mapPosition.find(a.m_nRecordId); it != mapPosition.end())
            pRecords[it->second] = std::move(a);
    }
}

std::vector<std::optional<CStoredAppointment>>
CDatebookStore::FindAppointments(const LONG* pIds, std::size_t nCount) {
    std::vector<std::optional<CStoredAppointment>> records(nCount);
    InReadTransaction([&] { ReadByIds(pIds, nCount, records.data()); });
    return records;
}

namespace {

// Rows of one start time within a range of record ids, and rows strictly between two start
// times: through the start index, in its order (start, then record id).
const std::string& SqlKeysAt() {
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   " FROM appointments a WHERE a.user_id = ?1"
                                   " AND a.start_time = ?2 AND a.id BETWEEN ?3 AND ?4";
    return sql;
}

const std::string& SqlKeysBetween() {
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   " FROM appointments a WHERE a.user_id = ?1"
                                   " AND a.start_time > ?2 AND a.start_time < ?3";
    return sql;
}

} // namespace

std::vector<std::optional<CStoredAppointment>>
CDatebookStore::FindListedAppointments(std::int64_t nUserId, const CListKey* pKeys,
                                       std::size_t nCount) {
    std::vector<std::optional<CStoredAppointment>> records(nCount);
    if (nCount == 0)
        return records;
    InReadTransaction([&] {
        // The keys are sorted, and so are the rows the start index gives for the keys' span:
        // both are walked side by side. A key whose row is not there (its start changed since
        // the listing, or a HotSync moved it out) is read by id afterwards. Rows of the span
        // that are not listed (deleted, marked, or outside the list's days) are passed over,
        // at most a few pages' worth before the rest is read by id, so a sparse list costs
        // no more than reading its records one by one.
        const std::size_t nMaxPassed = 4 * nCount + 64;
        std::size_t nNext = 0;
        std::size_t nPassed = 0;
        const auto Take = [&](CSqliteQuery& q) {
            while (nPassed <= nMaxPassed && q.Step()) {
                const CListKey key{static_cast<HOSTTIME>(q.Int(1)), static_cast<LONG>(q.Int(0))};
                while (nNext < nCount && pKeys[nNext] < key)
                    ++nNext;
                if (nNext < nCount && pKeys[nNext] == key)
                    ReadAppointmentInto(q, records[nNext++].emplace());
                else
                    ++nPassed;
            }
        };
        const CListKey first = pKeys[0];
        const CListKey last = pKeys[nCount - 1];
        const auto TakeAt = [&](HOSTTIME tStart, LONG nFromId, LONG nToId) {
            CSqliteQuery q = m_pDb->Query(SqlKeysAt().c_str());
            q.Bind(1, nUserId).Bind(2, tStart).Bind(3, nFromId).Bind(4, nToId);
            Take(q);
        };
        if (first.m_tStart == last.m_tStart) {
            TakeAt(first.m_tStart, first.m_nRecordId, last.m_nRecordId);
        } else {
            TakeAt(first.m_tStart, first.m_nRecordId, std::numeric_limits<LONG>::max());
            {
                CSqliteQuery q = m_pDb->Query(SqlKeysBetween().c_str());
                q.Bind(1, nUserId).Bind(2, first.m_tStart).Bind(3, last.m_tStart);
                Take(q);
            }
            TakeAt(last.m_tStart, std::numeric_limits<LONG>::min(), last.m_nRecordId);
        }
        std::vector<LONG> vecMissing;
        std::vector<std::size_t> vecAt;
        for (std::size_t i = 0; i < nCount; ++i)
            if (!records[i]) {
                vecMissing.push_back(pKeys[i].m_nRecordId);
                vecAt.push_back(i);
            }
        if (vecMissing.empty())
            return;
        std::vector<std::optional<CStoredAppointment>> found(vecMissing.size());
        ReadByIds(vecMissing.data(), vecMissing.size(), found.data());
        for (std::size_t i = 0; i < found.size(); ++i)
            records[vecAt[i]] = std::move(found[i]);
    });
    return records;
}

std::size_t CDatebookStore::BytesPerRecord(std::size_t nRecords) {
    const std::int64_t nBytes = ReadInt("PRAGMA page_count") * ReadInt("PRAGMA page_size");
    return static_cast<std::size_t>(std::max<std::int64_t>(nBytes, 0)) /
           std::max<std::size_t>(nRecords, 1);
}

bool CDatebookStore::IsWideList(int nFromDay, int nToDay) {
    return nToDay - nFromDay >= kScanDays;
}

void CRecordWindow::Reset(std::size_t nCount) {
    m_vecRecords.assign(nCount, CPacked{});
    m_strText.clear();
    m_vecDays.clear();
    m_vecOrder.clear();
    if (nCount == 0) {
        m_vecRecords.shrink_to_fit();
        m_strText.shrink_to_fit();
        m_vecDays.shrink_to_fit();
        m_vecOrder.shrink_to_fit();
    }
}

void CRecordWindow::Arrange(const std::vector<std::uint32_t>& order) {
    // Read in list order, the records would lie scattered over the window, a miss of the
    // processor's caches for nearly every one: they are copied into that order once, in a
    // loop that does nothing else.
    std::vector<CPacked> vecRecords(order.size());
    std::string strText;
    strText.reserve(m_strText.size());
    std::vector<int> vecDays;
    vecDays.reserve(m_vecDays.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 8 < order.size())
            __builtin_prefetch(&m_vecRecords[order[i + 8]]);
        CPacked p = m_vecRecords[order[i]];
        const std::size_t nBytes =
            std::size_t{p.m_anLength[0]} + p.m_anLength[1] + p.m_anLength[2] + p.m_anLength[3];
        const std::size_t nAt = strText.size();
        strText.append(m_strText, p.m_nTextAt, nBytes);
        p.m_nTextAt = nAt;
        const std::size_t nDaysAt = vecDays.size();
        vecDays.insert(vecDays.end(), m_vecDays.begin() + p.m_nDaysAt,
                       m_vecDays.begin() + p.m_nDaysAt + p.m_nDays);
        p.m_nDaysAt = static_cast<std::uint32_t>(nDaysAt);
        vecRecords[i] = p;
    }
    m_vecRecords = std::move(vecRecords);
    m_strText = std::move(strText);
    m_vecDays = std::move(vecDays);
    m_vecOrder.clear();
}

void CRecordWindow::Reserve(std::size_t nBytes) {
    m_vecRecords.reserve(nBytes / sizeof(CPacked) + 1);
    m_strText.reserve(nBytes);
}

void CRecordWindow::Append(const CStoredAppointment& a, const std::string_view* pTexts) {
    m_vecRecords.emplace_back();
    Put(m_vecRecords.size() - 1, a, pTexts);
}

void CRecordWindow::Put(std::size_t nAt, const CStoredAppointment& a) {
    const std::string aTexts[4] = {Utf16ToUtf8Lenient(a.m_strText), Utf16ToUtf8Lenient(a.m_strNote),
                                   Utf16ToUtf8Lenient(a.m_strCategory),
                                   Utf16ToUtf8Lenient(a.m_strLocation)};
    const std::string_view aViews[4] = {aTexts[0], aTexts[1], aTexts[2], aTexts[3]};
    Put(nAt, a, aViews);
}

void CRecordWindow::Put(std::size_t nAt, const CStoredAppointment& a,
                        const std::string_view* pTexts) {
    CPacked& p = m_vecRecords[nAt];
    p.m_tStart = a.m_tStart;
    p.m_tEnd = a.m_tEnd;
    p.m_nRecordId = a.m_nRecordId;
    p.m_nAlarmAdvance = a.m_nAlarmAdvance;
    p.m_nRepeatInterval = a.m_nRepeatInterval;
    p.m_nRepeatExtra = a.m_nRepeatExtra;
    p.m_nRepeatEndDay = a.m_nRepeatEndDay;
    p.m_nRepeatType = static_cast<std::uint8_t>(a.m_nRepeatType);
    p.m_nAlarmUnit = static_cast<std::uint8_t>(a.m_nAlarmUnit);
    p.m_bUntimed = a.m_bUntimed;
    p.m_bPrivate = a.m_bPrivate;
    p.m_bAlarm = a.m_bAlarm;
    p.m_bPresent = true;
    p.m_nTextAt = m_strText.size();
    for (int i = 0; i < 4; ++i) {
        m_strText += pTexts[i];
        p.m_anLength[i] = static_cast<std::uint32_t>(pTexts[i].size());
    }
    p.m_nDaysAt = static_cast<std::uint32_t>(m_vecDays.size());
    p.m_nDays = static_cast<std::uint32_t>(a.m_vecExceptionDays.size());
    m_vecDays.insert(m_vecDays.end(), a.m_vecExceptionDays.begin(), a.m_vecExceptionDays.end());
}

bool CRecordWindow::Get(std::size_t nAt, CStoredAppointment& a) const {
    const CPacked& p = m_vecRecords[m_vecOrder.empty() ? nAt : m_vecOrder[nAt]];
    if (!p.m_bPresent)
        return false;
    a.m_nRecordId = p.m_nRecordId;
    a.m_tStart = p.m_tStart;
    a.m_tEnd = p.m_tEnd;
    a.m_bUntimed = p.m_bUntimed;
    a.m_bPrivate = p.m_bPrivate;
    a.m_bAlarm = p.m_bAlarm;
    a.m_nAlarmUnit = p.m_nAlarmUnit;
    a.m_nAlarmAdvance = p.m_nAlarmAdvance;
    a.m_nRepeatType = p.m_nRepeatType;
    a.m_nRepeatInterval = p.m_nRepeatInterval;
    a.m_nRepeatEndDay = p.m_nRepeatEndDay;
    a.m_nRepeatExtra = p.m_nRepeatExtra;
    std::u16string* apText[4] = {&a.m_strText, &a.m_strNote, &a.m_strCategory, &a.m_strLocation};
    std::size_t nAtText = p.m_nTextAt;
    for (int i = 0; i < 4; ++i) {
        AssignUtf8AsUtf16(std::string_view(m_strText).substr(nAtText, p.m_anLength[i]), *apText[i]);
        nAtText += p.m_anLength[i];
    }
    a.m_vecExceptionDays.assign(m_vecDays.begin() + p.m_nDaysAt,
                                m_vecDays.begin() + p.m_nDaysAt + p.m_nDays);
    return true;
}

void CDatebookStore::ReadListedWindow(std::int64_t nUserId, const CListKey* pKeys,
                                      std::size_t nCount, CRecordWindow& window) {
    window.Reset(nCount);
    if (nCount == 0)
        return;
    static const std::string sql = std::string("SELECT ") + kScanColumns +
                                   " FROM appointments a NOT INDEXED WHERE a.user_id = ?1"
                                   " AND a.start_time BETWEEN ?2 AND ?3 ORDER BY a.id";
    const CListKey* pEnd = pKeys + nCount;
    const CScanCache cache(*m_pDb);
    InReadTransaction([&] {
        // Each row of the keys' span finds its place among the sorted keys; a key whose row
        // is not there (its start changed since the listing, or a HotSync moved it out) is
        // read by id afterwards.
        CStoredAppointment row;
        {
            CExceptionDays exceptions(*m_pDb);
            CSqliteQuery q = m_pDb->Query(sql.c_str());
            q.Bind(1, nUserId).Bind(2, pKeys[0].m_tStart).Bind(3, pEnd[-1].m_tStart);
            while (q.Step()) {
                const CListKey key{static_cast<HOSTTIME>(q.Int(1)), static_cast<LONG>(q.Int(0))};
                const CListKey* pAt = std::lower_bound(pKeys, pEnd, key);
                if (pAt == pEnd || *pAt != key)
                    continue;
                ReadAppointmentInto(q, row, false);
                if (row.IsRepeating())
                    exceptions.DaysOf(row.m_nRecordId, row.m_vecExceptionDays);
                const std::string_view aTexts[4] = {q.TextView(4), q.TextView(5), q.TextView(6),
                                                    q.TextView(7)};
                window.Put(static_cast<std::size_t>(pAt - pKeys), row, aTexts);
            }
        }
        ReadMissing(pKeys, nCount, window);
    });
    // The texts came in the table's order.
    std::vector<std::uint32_t> order(nCount);
    for (std::size_t i = 0; i < nCount; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    window.Arrange(order);
}

void CDatebookStore::ReadMissing(const CListKey* pKeys, std::size_t nCount, CRecordWindow& window) {
    std::vector<LONG> vecMissing;
    std::vector<std::size_t> vecAt;
    for (std::size_t i = 0; i < nCount; ++i)
        if (!window.m_vecRecords[i].m_bPresent) {
            vecMissing.push_back(pKeys[i].m_nRecordId);
            vecAt.push_back(i);
        }
    if (vecMissing.empty())
        return;
    std::vector<std::optional<CStoredAppointment>> found(vecMissing.size());
    ReadByIds(vecMissing.data(), vecMissing.size(), found.data());
    for (std::size_t i = 0; i < found.size(); ++i)
        if (found[i])
            window.Put(vecAt[i], *found[i]);
}

namespace {

// A record in a spill: these values, then the four texts (UTF-8) and the exception days.
struct CSpilledRecord {
    HOSTTIME m_tStart;
    HOSTTIME m_tEnd;
    std::uint32_t m_nAt; // position in its run
    LONG m_nRecordId;
    LONG m_nAlarmAdvance;
    LONG m_nRepeatInterval;
    LONG m_nRepeatExtra;
    int m_nRepeatEndDay;
    std::uint32_t m_anLength[4];
    std::uint32_t m_nDays;
    std::uint8_t m_nRepeatType;
    std::uint8_t m_nAlarmUnit;
    std::uint8_t m_nFlags; // 1 untimed, 2 private, 4 alarm
};

// A run's records are written in chunks of about this many bytes; a record is never split.
constexpr std::size_t kSpillChunk = 64 * 1024;

int OpenScratchFile() {
    const char* pszDir = std::getenv("TMPDIR");
    std::string strTemplate = (pszDir && *pszDir ? pszDir : "/tmp");
    strTemplate += "/varno-list-XXXXXX";
    const int fd = ::mkostemp(strTemplate.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(strTemplate.c_str());
    return fd;
}

// The whole of n bytes at offset nAt through pread or pwrite; false on an error or a short
// end of the file.
template <class TByte, class FTransfer>
bool TransferAll(int fd, TByte* p, std::size_t n, std::uint64_t nAt, FTransfer transfer) {
    while (n > 0) {
        const ssize_t nDone = transfer(fd, p, n, static_cast<off_t>(nAt));
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0)
            return false;
        p += nDone;
        n -= static_cast<std::size_t>(nDone);
        nAt += static_cast<std::uint64_t>(nDone);
    }
    return true;
}

bool WriteAll(int fd, const char* p, std::size_t n, std::uint64_t nAt) {
    return TransferAll(fd, p, n, nAt, ::pwrite);
}

bool ReadAll(int fd, char* p, std::size_t n, std::uint64_t nAt) {
    return TransferAll(fd, p, n, nAt, ::pread);
}

} // namespace

CListSpill::~CListSpill() {
    Close();
}

void CListSpill::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_nRunSize = 0;
    m_vecChunks.clear();
}

bool CDatebookStore::SpillListedRuns(std::int64_t nUserId, const CListKey* pKeys,
                                     std::size_t nCount, std::size_t nRunSize, CListSpill& spill) {
    spill.Close();
    if (nCount == 0 || nRunSize == 0)
        return false;
    const int fd = OpenScratchFile();
    if (fd < 0)
        return false;
    spill.m_fd = fd;
    spill.m_nRunSize = nRunSize;
    const std::size_t nRuns = (nCount + nRunSize - 1) / nRunSize;
    spill.m_vecChunks.assign(nRuns, {});
    std::vector<std::string> vecPending(nRuns);
    std::uint64_t nFileBytes = 0;
    bool bWritten = true;
    const auto Flush = [&](std::size_t nRun) {
        std::string& pending = vecPending[nRun];
        if (pending.empty() || !bWritten)
            return;
        bWritten = WriteAll(fd, pending.data(), pending.size(), nFileBytes);
        spill.m_vecChunks[nRun].push_back({nFileBytes, static_cast<std::uint32_t>(pending.size())});
        nFileBytes += pending.size();
        pending.clear();
    };
    static const std::string sql = std::string("SELECT ") + kScanColumns +
                                   " FROM appointments a NOT INDEXED WHERE a.user_id = ?1"
                                   " AND a.start_time BETWEEN ?2 AND ?3 ORDER BY a.id";
    const CListKey* pEnd = pKeys + nCount;
    // Each row's place in the list by its record id: a table of positions over the span of
    // ids when they lie dense enough (4 bytes a position), else a search of the keys.
    LONG nLowId = std::numeric_limits<LONG>::max();
    LONG nHighId = std::numeric_limits<LONG>::min();
    for (const CListKey* p = pKeys; p != pEnd; ++p) {
        nLowId = std::min(nLowId, p->m_nRecordId);
        nHighId = std::max(nHighId, p->m_nRecordId);
    }
    constexpr std::uint32_t kNoPosition = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> vecPosition;
    const auto nSpan = static_cast<std::uint64_t>(std::int64_t{nHighId} - nLowId) + 1;
    if (nSpan <= 4 * static_cast<std::uint64_t>(nCount) && nCount < kNoPosition) {
        vecPosition.assign(nSpan, kNoPosition);
        for (std::size_t i = 0; i < nCount; ++i)
            vecPosition[static_cast<std::size_t>(pKeys[i].m_nRecordId - nLowId)] =
                static_cast<std::uint32_t>(i);
    }
    const auto Find = [&](const CListKey& key) -> const CListKey* {
        if (vecPosition.empty()) {
            const CListKey* pAt = std::lower_bound(pKeys, pEnd, key);
            return pAt != pEnd && *pAt == key ? pAt : nullptr;
        }
        if (key.m_nRecordId < nLowId || key.m_nRecordId > nHighId)
            return nullptr;
        const std::uint32_t nAt = vecPosition[static_cast<std::size_t>(key.m_nRecordId - nLowId)];
        return nAt != kNoPosition && pKeys[nAt] == key ? pKeys + nAt : nullptr;
    };
    const CScanCache cache(*m_pDb);
    InReadTransaction([&] {
        CStoredAppointment row;
        CExceptionDays exceptions(*m_pDb);
        CSqliteQuery q = m_pDb->Query(sql.c_str());
        q.Bind(1, nUserId).Bind(2, pKeys[0].m_tStart).Bind(3, pEnd[-1].m_tStart);
        while (bWritten && q.Step()) {
            const CListKey key{static_cast<HOSTTIME>(q.Int(1)), static_cast<LONG>(q.Int(0))};
            const CListKey* pAt = Find(key);
            if (!pAt)
                continue;
            ReadAppointmentInto(q, row, false);
            if (row.IsRepeating())
                exceptions.DaysOf(row.m_nRecordId, row.m_vecExceptionDays);
            const std::string_view aTexts[4] = {q.TextView(4), q.TextView(5), q.TextView(6),
                                                q.TextView(7)};
            const auto nPosition = static_cast<std::size_t>(pAt - pKeys);
            const std::size_t nRun = nPosition / nRunSize;
            CSpilledRecord r{};
            r.m_tStart = row.m_tStart;
            r.m_tEnd = row.m_tEnd;
            r.m_nAt = static_cast<std::uint32_t>(nPosition % nRunSize);
            r.m_nRecordId = row.m_nRecordId;
            r.m_nAlarmAdvance = row.m_nAlarmAdvance;
            r.m_nRepeatInterval = row.m_nRepeatInterval;
            r.m_nRepeatExtra = row.m_nRepeatExtra;
            r.m_nRepeatEndDay = row.m_nRepeatEndDay;
            for (int i = 0; i < 4; ++i)
                r.m_anLength[i] = static_cast<std::uint32_t>(aTexts[i].size());
            r.m_nDays = static_cast<std::uint32_t>(row.m_vecExceptionDays.size());
            r.m_nRepeatType = static_cast<std::uint8_t>(row.m_nRepeatType);
            r.m_nAlarmUnit = static_cast<std::uint8_t>(row.m_nAlarmUnit);
            r.m_nFlags = static_cast<std::uint8_t>(
                (row.m_bUntimed ? 1 : 0) | (row.m_bPrivate ? 2 : 0) | (row.m_bAlarm ? 4 : 0));
            std::string& pending = vecPending[nRun];
            pending.append(reinterpret_cast<const char*>(&r), sizeof r);
            for (const std::string_view text : aTexts)
                pending.append(text);
            if (!row.m_vecExceptionDays.empty())
                pending.append(reinterpret_cast<const char*>(row.m_vecExceptionDays.data()),
                               row.m_vecExceptionDays.size() * sizeof(int));
            if (pending.size() >= kSpillChunk)
                Flush(nRun);
        }
    });
    for (std::size_t nRun = 0; nRun < nRuns; ++nRun)
        Flush(nRun);
    if (!bWritten)
        spill.Close();
    return bWritten;
}

bool CDatebookStore::ReadSpilledRun(const CListSpill& spill, std::size_t nRun,
                                    const CListKey* pKeys, std::size_t nCount,
                                    CRecordWindow& window) {
    if (!spill.Holds() || nRun >= spill.m_vecChunks.size())
        return false;
    window.Reset(nCount);
    std::string buffer;
    CStoredAppointment row;
    for (const CListSpill::CChunk& chunk : spill.m_vecChunks[nRun]) {
        buffer.resize(chunk.m_nBytes);
        if (!ReadAll(spill.m_fd, buffer.data(), buffer.size(), chunk.m_nAt))
            return false;
        std::size_t nAt = 0;
        while (nAt < buffer.size()) {
            CSpilledRecord r;
            if (buffer.size() - nAt < sizeof r)
                return false;
            std::memcpy(&r, buffer.data() + nAt, sizeof r);
            nAt += sizeof r;
            std::string_view aTexts[4];
            for (int i = 0; i < 4; ++i) {
                if (buffer.size() - nAt < r.m_anLength[i])
                    return false;
                aTexts[i] = std::string_view(buffer).substr(nAt, r.m_anLength[i]);
                nAt += r.m_anLength[i];
            }
            const std::size_t nDayBytes = std::size_t{r.m_nDays} * sizeof(int);
            if (buffer.size() - nAt < nDayBytes || r.m_nAt >= nCount)
                return false;
            row.m_vecExceptionDays.resize(r.m_nDays);
            if (nDayBytes > 0)
                std::memcpy(row.m_vecExceptionDays.data(), buffer.data() + nAt, nDayBytes);
            nAt += nDayBytes;
            row.m_nRecordId = r.m_nRecordId;
            row.m_tStart = r.m_tStart;
            row.m_tEnd = r.m_tEnd;
            row.m_nAlarmAdvance = r.m_nAlarmAdvance;
            row.m_nRepeatInterval = r.m_nRepeatInterval;
            row.m_nRepeatExtra = r.m_nRepeatExtra;
            row.m_nRepeatEndDay = r.m_nRepeatEndDay;
            row.m_nRepeatType = r.m_nRepeatType;
            row.m_nAlarmUnit = r.m_nAlarmUnit;
            row.m_bUntimed = (r.m_nFlags & 1) != 0;
            row.m_bPrivate = (r.m_nFlags & 2) != 0;
            row.m_bAlarm = (r.m_nFlags & 4) != 0;
            window.Put(r.m_nAt, row, aTexts);
        }
    }
    InReadTransaction([&] { ReadMissing(pKeys, nCount, window); });
    // The texts came in the table's order.
    std::vector<std::uint32_t> order(nCount);
    for (std::size_t i = 0; i < nCount; ++i)
        order[i] = static_cast<std::uint32_t>(i);
    window.Arrange(order);
    return true;
}

CStoredAppointment CDatebookStore::GetAppointment(std::int64_t nUserId, LONG nRecordId) {
    {
        CSqliteQuery q = m_pDb->Query(SqlGetForUser().c_str());
        q.Bind(1, nRecordId).Bind(2, nUserId);
        if (q.Step())
            return ReadAppointment(q);
    }
    const std::optional<CDatebookUser> user = FindUser(nUserId);
    throw CDatebookError(EDatebookError::NotFound,
                         "The datebook of " + (user ? "\"" + user->m_strName + "\"" : "this user") +
                             " holds no appointment with record id " + std::to_string(nRecordId) +
                             ".");
}

std::int64_t CDatebookStore::CountAppointments(std::int64_t nUserId) {
    // In table order: through the start index every row is a lookup of its marks, at
    // random places of the file (a million appointments: 2 s against 0.1 s).
    CSqliteQuery q = m_pDb->Query("SELECT count(*) FROM appointments NOT INDEXED WHERE user_id = ?1"
                                  " AND archive = 0 AND deleted = 0");
    q.Bind(1, nUserId);
    return q.Step() ? q.Int(0) : 0;
}

CStoredAppointment CDatebookStore::Load(LONG nRecordId, bool& bLive) {
    CSqliteQuery q = m_pDb->Query(SqlLoad().c_str());
    q.Bind(1, nRecordId);
    if (!q.Step())
        throw CDatebookError(EDatebookError::NotFound,
                             "The datebook holds no appointment with record id " +
                                 std::to_string(nRecordId) + ".");
    bLive = q.Int(17) == 0 && q.Int(18) == 0;
    return ReadAppointment(q);
}

CStoredAppointment CDatebookStore::LoadLive(LONG nRecordId) {
    bool bLive = false;
    CStoredAppointment a = Load(nRecordId, bLive);
    if (!bLive)
        ThrowNotLive(nRecordId);
    return a;
}

void CDatebookStore::ThrowNotLive(LONG nRecordId) {
    const std::string id = std::to_string(nRecordId);
    std::int64_t nArchive = -1;
    std::int64_t nDeleted = -1;
    {
        CSqliteQuery q = m_pDb->Query("SELECT archive, deleted FROM appointments WHERE id = ?1");
        q.Bind(1, nRecordId);
        if (q.Step()) {
            nArchive = q.Int(0);
            nDeleted = q.Int(1);
        }
    }
    if (nDeleted > 0)
        throw CDatebookError(EDatebookError::Gone, "The appointment " + id + " has been deleted.");
    if (nArchive > 0)
        throw CDatebookError(EDatebookError::Gone,
                             "The appointment " + id + " is marked for archival.");
    if (nDeleted == 0)
        throw CDatebookError(EDatebookError::Storage,
                             "The appointment " + id + " could not be changed.");
    CSqliteQuery q = m_pDb->Query("SELECT 1 FROM archive WHERE id = ?1");
    q.Bind(1, nRecordId);
    if (q.Step())
        throw CDatebookError(EDatebookError::Gone, "The appointment " + id + " has been archived.");
    throw CDatebookError(EDatebookError::Gone, "The appointment " + id + " no longer exists.");
}

template <class F>
void CDatebookStore::UpdateLive(LONG nRecordId, const char* pszSql, F&& bindValues) {
    {
        CSqliteQuery q = m_pDb->Query(pszSql);
        q.Bind(1, nRecordId);
        bindValues(q);
        q.Run();
    }
    if (m_pDb->Changes() == 0)
        ThrowNotLive(nRecordId);
}

void CDatebookStore::SetText(LONG nRecordId, EAppointmentText field, std::u16string_view text) {
    ValidateText(field, text);
    const char* pszSql = nullptr;
    switch (field) {
    case EAppointmentText::Text:
        pszSql = "UPDATE appointments SET text = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0";
        break;
    case EAppointmentText::Note:
        pszSql = "UPDATE appointments SET note = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0";
        break;
    case EAppointmentText::Category:
        pszSql =
            "UPDATE appointments SET category = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0";
        break;
    case EAppointmentText::Location:
        pszSql =
            "UPDATE appointments SET location = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0";
        break;
    }
    UpdateLive(nRecordId, pszSql, [&](CSqliteQuery& q) { q.Bind(2, text); });
}

void CDatebookStore::SetPrivate(LONG nRecordId, bool bPrivate) {
    UpdateLive(nRecordId,
               "UPDATE appointments SET private = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0",
               [&](CSqliteQuery& q) { q.Bind(2, bPrivate ? 1 : 0); });
}

void CDatebookStore::SetAlarm(LONG nRecordId, bool bAlarm) {
    UpdateLive(nRecordId,
               "UPDATE appointments SET alarm = ?2 WHERE id = ?1 AND archive = 0 AND deleted = 0",
               [&](CSqliteQuery& q) { q.Bind(2, bAlarm ? 1 : 0); });
}

void CDatebookStore::SetAlarmAdvance(LONG nRecordId, LONG nUnit, LONG nAmount) {
    CheckAlarm(nUnit, nAmount);
    UpdateLive(nRecordId,
               "UPDATE appointments SET alarm_unit = ?2, alarm_advance = ?3"
               " WHERE id = ?1 AND archive = 0 AND deleted = 0",
               [&](CSqliteQuery& q) { q.Bind(2, nUnit).Bind(3, nAmount); });
}

void CDatebookStore::WriteSchedule(const CStoredAppointment& a) {
    CSqliteQuery q = m_pDb->Query(
        "UPDATE appointments SET start_time = ?2, end_time = ?3, untimed = ?4, repeat_type = ?5,"
        " repeat_interval = ?6, repeat_end = ?7, repeat_extra = ?8 WHERE id = ?1");
    q.Bind(1, a.m_nRecordId)
        .Bind(2, a.m_tStart)
        .Bind(3, a.m_tEnd)
        .Bind(4, a.m_bUntimed ? 1 : 0)
        .Bind(5, a.m_nRepeatType)
        .Bind(6, a.m_nRepeatInterval);
    BindRepeatEnd(q, 7, a.m_nRepeatEndDay);
    q.Bind(8, a.m_nRepeatExtra).Run();
}

CStoredAppointment CDatebookStore::MakeUntimed(LONG nRecordId) {
    CSqliteTransaction txn(*m_pDb);
    CStoredAppointment a = LoadLive(nRecordId);
    a.m_bUntimed = true;
    CheckTimes(a);
    WriteSchedule(a);
    txn.Commit();
    return a;
}

void CDatebookStore::MakeTimed(LONG nRecordId) {
    UpdateLive(nRecordId,
               "UPDATE appointments SET untimed = 0 WHERE id = ?1 AND archive = 0 AND deleted = 0",
               [](CSqliteQuery&) {});
}

CStoredAppointment CDatebookStore::SetTimes(LONG nRecordId, HOSTTIME tStart, HOSTTIME tEnd) {
    CSqliteTransaction txn(*m_pDb);
    CStoredAppointment a = LoadLive(nRecordId);
    a.m_tStart = tStart;
    a.m_tEnd = tEnd;
    CheckTimes(a);
    WriteSchedule(a);
    txn.Commit();
    return a;
}

CStoredAppointment CDatebookStore::SetRepeat(LONG nRecordId, LONG nType, LONG nInterval,
                                             int nEndDay, LONG nExtra) {
    CSqliteTransaction txn(*m_pDb);
    CStoredAppointment a = LoadLive(nRecordId);
    a.m_nRepeatType = nType;
    a.m_nRepeatInterval = nInterval;
    a.m_nRepeatEndDay = nEndDay;
    a.m_nRepeatExtra = nExtra;
    CheckRepeat(a);
    WriteSchedule(a);
    txn.Commit();
    return a;
}

CStoredAppointment CDatebookStore::ClearRepeat(LONG nRecordId) {
    CSqliteTransaction txn(*m_pDb);
    CStoredAppointment a = LoadLive(nRecordId);
    a.m_nRepeatType = HOST_REPEAT_NONE;
    a.m_nRepeatInterval = 0;
    a.m_nRepeatEndDay = CRepeatPattern::kNoEnd;
    a.m_nRepeatExtra = 0;
    a.m_vecExceptionDays.clear();
    WriteSchedule(a);
    {
        CSqliteQuery q = m_pDb->Query("DELETE FROM exceptions WHERE appointment_id = ?1");
        q.Bind(1, nRecordId).Run();
    }
    txn.Commit();
    return a;
}

CStoredAppointment CDatebookStore::AddException(LONG nRecordId, int nDay) {
    CSqliteTransaction txn(*m_pDb);
    CStoredAppointment a = LoadLive(nRecordId);
    if (!a.IsRepeating())
        Invalid("The appointment " + std::to_string(nRecordId) +
                " does not repeat, so it cannot have exception days.");
    CheckExceptionDay(nDay);
    {
        CSqliteQuery q =
            m_pDb->Query("INSERT OR IGNORE INTO exceptions(appointment_id, day) VALUES (?1, ?2)");
        q.Bind(1, nRecordId).BindUtf8(2, FormatIsoDay(nDay)).Run();
    }
    txn.Commit();
    const auto it =
        std::lower_bound(a.m_vecExceptionDays.begin(), a.m_vecExceptionDays.end(), nDay);
    if (it == a.m_vecExceptionDays.end() || *it != nDay)
        a.m_vecExceptionDays.insert(it, nDay);
    return a;
}

void CDatebookStore::Delete(LONG nRecordId, bool bArchive) {
    CSqliteTransaction txn(*m_pDb);
    std::int64_t nDeleted = 0;
    bool bExists = false;
    {
        CSqliteQuery q = m_pDb->Query("SELECT deleted FROM appointments WHERE id = ?1");
        q.Bind(1, nRecordId);
        if (q.Step()) {
            bExists = true;
            nDeleted = q.Int(0);
        }
    }
    if (!bExists) {
        // Archived by a HotSync in between: out of the datebook either way.
        CSqliteQuery q = m_pDb->Query("SELECT 1 FROM archive WHERE id = ?1");
        q.Bind(1, nRecordId);
        if (q.Step())
            return;
        if (bArchive)
            throw CDatebookError(EDatebookError::Gone,
                                 "The appointment " + std::to_string(nRecordId) +
                                     " no longer exists and cannot be archived.");
        return; // purged already
    }
    if (bArchive) {
        if (nDeleted != 0)
            throw CDatebookError(EDatebookError::Gone,
                                 "The appointment " + std::to_string(nRecordId) +
                                     " has been deleted and cannot be archived.");
        CSqliteQuery q = m_pDb->Query("UPDATE appointments SET archive = 1 WHERE id = ?1");
        q.Bind(1, nRecordId).Run();
    } else {
        CSqliteQuery q = m_pDb->Query("UPDATE appointments SET deleted = 1 WHERE id = ?1");
        q.Bind(1, nRecordId).Run();
    }
    txn.Commit();
}

CHotSyncResult CDatebookStore::HotSync(std::int64_t nUserId) {
    CHotSyncResult result;
    CSqliteTransaction txn(*m_pDb);
    {
        CSqliteQuery q = m_pDb->Query(
            "INSERT INTO archive(id, user_id, start_time, end_time, untimed, text, note, category,"
            " location, private, alarm, alarm_unit, alarm_advance, repeat_type, repeat_interval,"
            " repeat_end, repeat_extra, exceptions, archived_at)"
            " SELECT a.id, a.user_id, a.start_time, a.end_time, a.untimed, a.text, a.note,"
            " a.category, a.location, a.private, a.alarm, a.alarm_unit, a.alarm_advance,"
            " a.repeat_type, a.repeat_interval, a.repeat_end, a.repeat_extra,"
            " coalesce((SELECT group_concat(day) FROM (SELECT e.day FROM exceptions e"
            " WHERE e.appointment_id = a.id ORDER BY e.day)), ''), ?2"
            " FROM appointments a WHERE a.user_id = ?1 AND a.archive = 1 AND a.deleted = 0");
        q.Bind(1, nUserId).Bind(2, CurrentTime()).Run();
    }
    result.m_nArchived = m_pDb->Changes();
    {
        CSqliteQuery q = m_pDb->Query(
            "DELETE FROM appointments WHERE user_id = ?1 AND (archive = 1 OR deleted = 1)");
        q.Bind(1, nUserId).Run();
    }
    result.m_nPurged = m_pDb->Changes() - result.m_nArchived;
    txn.Commit();
    return result;
}

std::string CDatebookStore::CheckIntegrity() {
    std::string result;
    CSqliteQuery q = m_pDb->Query("PRAGMA integrity_check");
    while (q.Step()) {
        if (!result.empty())
            result += '\n';
        result += q.Text(0);
    }
    CSqliteQuery fk = m_pDb->Query("PRAGMA foreign_key_check");
    if (fk.Step())
        result += "\nforeign key violations";
    return result;
}
