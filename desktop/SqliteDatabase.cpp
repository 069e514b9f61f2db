#include "desktop/SqliteDatabase.h"

#include "desktop/DatebookError.h"

#include <sqlite3.h>

#include <limits>

namespace {

int ClampBytes(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw CDatebookError(EDatebookError::InvalidArgument, "The text is too long to store.");
    return static_cast<int>(n);
}

} // namespace

CSqliteQuery::CSqliteQuery(CSqliteDatabase& db, sqlite3_stmt* pStatement)
    : m_db(db), m_pStatement(pStatement) {}

CSqliteQuery::~CSqliteQuery() {
    sqlite3_reset(m_pStatement);
    sqlite3_clear_bindings(m_pStatement);
}

CSqliteQuery& CSqliteQuery::Bind(int nIndex, std::int64_t nValue) {
    if (const int rc = sqlite3_bind_int64(m_pStatement, nIndex, nValue); rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

CSqliteQuery& CSqliteQuery::Bind(int nIndex, std::u16string_view text) {
    // An empty view may have no data pointer; SQLite would bind NULL for that.
    static const char16_t kEmpty[1] = {0};
    const char16_t* p = text.empty() ? kEmpty : text.data();
    if (const int rc = sqlite3_bind_text16(
            m_pStatement, nIndex, p, ClampBytes(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

CSqliteQuery& CSqliteQuery::BindUtf8(int nIndex, std::string_view text) {
    const char* p = text.empty() ? "" : text.data();
    if (const int rc =
            sqlite3_bind_text(m_pStatement, nIndex, p, ClampBytes(text.size()), SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

CSqliteQuery& CSqliteQuery::BindNull(int nIndex) {
    if (const int rc = sqlite3_bind_null(m_pStatement, nIndex); rc != SQLITE_OK)
        m_db.Fail(rc);
    return *this;
}

bool CSqliteQuery::Step() {
    const int rc = sqlite3_step(m_pStatement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_db.Fail(rc);
}

void CSqliteQuery::Run() {
    while (Step()) {
    }
}

std::int64_t CSqliteQuery::Int(int nColumn) const {
    return sqlite3_column_int64(m_pStatement, nColumn);
}

std::u16string CSqliteQuery::Text16(int nColumn) const {
    const void* p = sqlite3_column_text16(m_pStatement, nColumn);
    const int nBytes = sqlite3_column_bytes16(m_pStatement, nColumn);
    if (!p || nBytes <= 0)
        return {};
    return std::u16string(static_cast<const char16_t*>(p),
                          static_cast<std::size_t>(nBytes) / sizeof(char16_t));
}

std::string CSqliteQuery::Text(int nColumn) const {
    const unsigned char* p = sqlite3_column_text(m_pStatement, nColumn);
    const int nBytes = sqlite3_column_bytes(m_pStatement, nColumn);
    if (!p || nBytes <= 0)
        return {};
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(nBytes));
}

std::string_view CSqliteQuery::TextView(int nColumn) const {
    const unsigned char* p = sqlite3_column_text(m_pStatement, nColumn);
    const int nBytes = sqlite3_column_bytes(m_pStatement, nColumn);
    if (!p || nBytes <= 0)
        return {};
    return {reinterpret_cast<const char*>(p), static_cast<std::size_t>(nBytes)};
}

int CSqliteQuery::ColumnCount() const {
    return sqlite3_column_count(m_pStatement);
}

bool CSqliteQuery::IsNull(int nColumn) const {
    return sqlite3_column_type(m_pStatement, nColumn) == SQLITE_NULL;
}

void CSqliteDatabase::CStatementDeleter::operator()(sqlite3_stmt* p) const {
    sqlite3_finalize(p);
}

CSqliteDatabase::CSqliteDatabase(const std::string& strPath, int nBusyMilliseconds) {
    // A connection is used by one thread at a time (a session's watcher commits under the
    // session's lock): SQLite's own lock around every call would only cost time.
    const int rc =
        sqlite3_open_v2(strPath.c_str(), &m_pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_pDb ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(rc);
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
        throw CDatebookError(EDatebookError::Storage,
                             "Cannot open the datebook " + strPath + ": " + message + ".");
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, nBusyMilliseconds);
}

CSqliteDatabase::~CSqliteDatabase() {
    m_mapStatements.clear();
    sqlite3_close_v2(m_pDb);
}

void CSqliteDatabase::Exec(const char* pszSql) {
    char* pszError = nullptr;
    const int rc = sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, &pszError);
    if (rc != SQLITE_OK) {
        const std::string detail = pszError ? pszError : sqlite3_errstr(rc);
        sqlite3_free(pszError);
        Fail(rc, detail.c_str());
    }
}

CSqliteQuery CSqliteDatabase::Query(const char* pszSql) {
    auto it = m_mapStatements.find(std::string_view(pszSql));
    if (it == m_mapStatements.end()) {
        sqlite3_stmt* p = nullptr;
        if (const int rc =
                sqlite3_prepare_v3(m_pDb, pszSql, -1, SQLITE_PREPARE_PERSISTENT, &p, nullptr);
            rc != SQLITE_OK)
            Fail(rc);
        it = m_mapStatements.emplace(pszSql, std::unique_ptr<sqlite3_stmt, CStatementDeleter>(p))
                 .first;
    }
    return CSqliteQuery(*this, it->second.get());
}

std::int64_t CSqliteDatabase::LastInsertId() const {
    return sqlite3_last_insert_rowid(m_pDb);
}

int CSqliteDatabase::Changes() const {
    return sqlite3_changes(m_pDb);
}

void CSqliteDatabase::Fail(int nResult, const char* pszDetail) const {
    std::string message;
    EDatebookError kind = EDatebookError::Storage;
    switch (nResult & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        message = "The datebook is in use by another program and stayed locked";
        break;
    case SQLITE_FULL:
        message = "The disk holding the datebook is full";
        kind = EDatebookError::Unwritable;
        break;
    case SQLITE_READONLY:
        message = "The datebook cannot be written";
        kind = EDatebookError::Unwritable;
        break;
    case SQLITE_IOERR:
        message = "The datebook could not be read or written (input/output error)";
        kind = EDatebookError::Unwritable;
        break;
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        message = "The datebook cannot be written";
        break;
    case SQLITE_NOTADB:
        message = "The datebook file is not a database";
        break;
    case SQLITE_CORRUPT:
        message = "The datebook file is damaged";
        break;
    default:
        message = "The datebook cannot be read or written";
        break;
    }
    message += " (";
    message += pszDetail ? pszDetail : sqlite3_errmsg(m_pDb);
    message += ").";
    throw CDatebookError(kind, message);
}

bool CSqliteDatabase::InTransaction() const noexcept {
    return m_pDb && sqlite3_get_autocommit(m_pDb) == 0;
}

CSqliteTransaction::CSqliteTransaction(CSqliteDatabase& db)
    : m_db(db), m_bNested(db.InTransaction()) {
    // Prepared once and reused: a savepoint per change of a batch costs a parse otherwise.
    m_db.Query(m_bNested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE").Run();
}

CSqliteTransaction::~CSqliteTransaction() {
    if (!m_bOpen)
        return;
    // The outer transaction may already be gone: SQLite rolls it back itself after some
    // failures (a full disk, an I/O error).
    if (!m_db.InTransaction())
        return;
    try {
        if (m_bNested) {
            m_db.Query("ROLLBACK TO nested").Run();
            m_db.Query("RELEASE nested").Run();
        } else {
            m_db.Query("ROLLBACK").Run();
        }
    } catch (...) {
        // What a failed rollback leaves is SQLite's to settle at the outer transaction's end.
    }
}

void CSqliteTransaction::Commit() {
    m_db.Query(m_bNested ? "RELEASE nested" : "COMMIT").Run();
    m_bOpen = false;
}
