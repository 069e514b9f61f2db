// A SQLite connection with cached prepared statements and write transactions. Every failure
// raises CDatebookError with SQLite's own explanation: Unwritable for a full disk, a read-only
// datebook and input/output errors (they repeat at the next write), else Storage.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

class CSqliteDatabase;

// One use of a cached statement: bind, step, read columns. Resets the statement and clears
// its bindings when it goes out of scope, so the next use starts clean even after a failure.
class CSqliteQuery {
public:
    CSqliteQuery(CSqliteDatabase& db, sqlite3_stmt* pStatement);
    ~CSqliteQuery();
    CSqliteQuery(const CSqliteQuery&) = delete;
    CSqliteQuery& operator=(const CSqliteQuery&) = delete;

    // Parameters count from 1.
    CSqliteQuery& Bind(int nIndex, std::int64_t nValue);
    CSqliteQuery& Bind(int nIndex, std::u16string_view text);
    CSqliteQuery& BindUtf8(int nIndex, std::string_view text);
    CSqliteQuery& BindNull(int nIndex);

    // True while a row is available; false when done.
    [[nodiscard]] bool Step();
    // Runs a statement that gives no rows.
    void Run();

    // Columns count from 0. NULL reads as 0 or empty.
    [[nodiscard]] std::int64_t Int(int nColumn) const;
    [[nodiscard]] std::u16string Text16(int nColumn) const;
    [[nodiscard]] std::string Text(int nColumn) const;
    // The column's UTF-8 bytes, valid until the next Step or the end of the query.
    [[nodiscard]] std::string_view TextView(int nColumn) const;
    [[nodiscard]] bool IsNull(int nColumn) const;
    [[nodiscard]] int ColumnCount() const;

private:
    CSqliteDatabase& m_db;
    sqlite3_stmt* m_pStatement;
};

class CSqliteDatabase {
public:
    // Opens or creates the file. busy: how long a call waits for another connection's lock.
    CSqliteDatabase(const std::string& strPath, int nBusyMilliseconds);
    ~CSqliteDatabase();
    CSqliteDatabase(const CSqliteDatabase&) = delete;
    CSqliteDatabase& operator=(const CSqliteDatabase&) = delete;

    // Runs statements that give no rows.
    void Exec(const char* pszSql);
    // The statement for this SQL text, prepared once per connection.
    [[nodiscard]] CSqliteQuery Query(const char* pszSql);
    [[nodiscard]] std::int64_t LastInsertId() const;
    [[nodiscard]] int Changes() const;

    // Raises CDatebookError for a SQLite result code; the detail defaults to SQLite's message
    // for the last call.
    [[noreturn]] void Fail(int nResult, const char* pszDetail = nullptr) const;

    [[nodiscard]] sqlite3* Handle() const noexcept { return m_pDb; }
    // True while a transaction is open on this connection.
    [[nodiscard]] bool InTransaction() const noexcept;

private:
    struct CStatementDeleter {
        void operator()(sqlite3_stmt* p) const;
    };

    // Looked up by the SQL text without building a string from it.
    struct CTextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept {
            return std::hash<std::string_view>{}(text);
        }
    };

    sqlite3* m_pDb = nullptr;
    std::unordered_map<std::string, std::unique_ptr<sqlite3_stmt, CStatementDeleter>, CTextHash,
                       std::equal_to<>>
        m_mapStatements;
};

// A write transaction taken at once (BEGIN IMMEDIATE), so that it never fails half-way for a
// lock; rolled back unless committed. Inside a transaction that is already open it is a
// savepoint of it: its changes stand or fall together and join the outer transaction.
class CSqliteTransaction {
public:
    explicit CSqliteTransaction(CSqliteDatabase& db);
    ~CSqliteTransaction();
    CSqliteTransaction(const CSqliteTransaction&) = delete;
    CSqliteTransaction& operator=(const CSqliteTransaction&) = delete;
    void Commit();

private:
    CSqliteDatabase& m_db;
    bool m_bNested = false;
    bool m_bOpen = true;
};
