// The datebook file: its schema and identity, record ids, the HotSync, two processes at
// once, and a writer killed in the middle of its work.
#include "desktop/DatebookStore.h"
#include "desktop/SqliteDatabase.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>

namespace {

class DatebookStore : public CDesktopTest {
protected:
    [[nodiscard]] std::string Folder() const { return Home() + "/datebook"; }
    [[nodiscard]] std::string File() const { return Folder() + "/datebook.db"; }
};

// One value of a query on the file, read with SQLite itself.
std::string RawValue(const std::string& file, const char* pszSql) {
    sqlite3* pDb = nullptr;
    std::string value;
    if (sqlite3_open_v2(file.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* pStatement = nullptr;
        if (sqlite3_prepare_v2(pDb, pszSql, -1, &pStatement, nullptr) == SQLITE_OK &&
            sqlite3_step(pStatement) == SQLITE_ROW && sqlite3_column_text(pStatement, 0))
            value = reinterpret_cast<const char*>(sqlite3_column_text(pStatement, 0));
        sqlite3_finalize(pStatement);
    }
    sqlite3_close_v2(pDb);
    return value;
}

CStoredAppointment FullAppointment() {
    CStoredAppointment a;
    a.m_tStart = At("2025-06-30", 14, 15);
    a.m_tEnd = At("2025-06-30", 16, 0);
    a.m_strText = u"Quarterly review \u2013 Q2";
    a.m_strNote = u"Bring the figures.\nAll of them.";
    a.m_bAlarm = true;
    a.m_nRepeatType = HOST_REPEAT_MONTHLY_BY_DAY;
    a.m_nRepeatInterval = 3;
    a.m_nRepeatExtra = 5;
    a.m_nRepeatEndDay = Day("2027-12-31");
    a.m_vecExceptionDays = {Day("2025-12-29"), Day("2025-09-29")};
    return a;
}

TEST_F(DatebookStore, NewDatebookIsMarkedAndVersioned) {
    {
        CDatebookStore store;
        EXPECT_EQ(store.Path(), File());
        ASSERT_EQ(store.ListUsers().size(), 1u);
        EXPECT_FALSE(store.CurrentUser().m_strName.empty());
        EXPECT_EQ(store.CheckIntegrity(), "ok");
    }
    EXPECT_EQ(RawValue(File(), "PRAGMA user_version"), "1");
    EXPECT_EQ(RawValue(File(), "PRAGMA application_id"), std::to_string(0x5644424B));
    EXPECT_EQ(RawValue(File(), "PRAGMA journal_mode"), "wal");
    struct stat info {};
    ASSERT_EQ(::stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// Transactions and savepoints run cached statements, used again and again: a savepoint
// dropped unfinished takes back only its own changes, also after a failure inside it, and
// a transaction dropped unfinished takes back everything.
TEST_F(DatebookStore, SavepointsTakeBackOnlyTheirOwnChanges) {
    ASSERT_EQ(::mkdir(Folder().c_str(), 0700), 0);
    CSqliteDatabase db(File(), 1000);
    db.Exec("CREATE TABLE t(v INTEGER PRIMARY KEY)");
    const auto Count = [&db] {
        CSqliteQuery q = db.Query("SELECT count(*) FROM t");
        return q.Step() ? q.Int(0) : -1;
    };
    {
        CSqliteTransaction outer(db);
        for (int i = 0; i < 1000; ++i) {
            CSqliteTransaction nested(db);
            db.Query("INSERT INTO t(v) VALUES (?1)").Bind(1, i).Run();
            if (i % 2 == 0)
                nested.Commit();
        }
        {
            CSqliteTransaction failing(db);
            db.Query("INSERT INTO t(v) VALUES (?1)").Bind(1, 5000).Run();
            // The same key again: refused, and the savepoint takes back the row before it.
            EXPECT_THROW(db.Query("INSERT INTO t(v) VALUES (?1)").Bind(1, 5000).Run(),
                         CDatebookError);
        }
        EXPECT_EQ(Count(), 500);
        outer.Commit();
    }
    EXPECT_FALSE(db.InTransaction());
    {
        CSqliteTransaction dropped(db);
        db.Query("DELETE FROM t").Run();
        EXPECT_EQ(Count(), 0);
    }
    EXPECT_EQ(Count(), 500);
}

TEST_F(DatebookStore, HotSyncArchivesAndPurgesAndIdsAreNeverGivenOutTwice) {
    std::int64_t nUser = 0;
    LONG nArchived = 0;
    LONG nBoth = 0;
    {
        CDatebookStore store;
        nUser = store.CurrentUser().m_nId;
        const LONG nKept = store.AddAppointment(nUser, FullAppointment());
        // Another user's marks wait for that user's HotSync.
        const CDatebookUser other = store.AddUser("other");
        const LONG nOthers = store.AddAppointment(other.m_nId, FullAppointment());
        store.Delete(nOthers, true);
        // The newest records go: archived, deleted, or both.
        nArchived = store.AddAppointment(nUser, FullAppointment());
        const LONG nDeleted = store.AddAppointment(nUser, FullAppointment());
        nBoth = store.AddAppointment(nUser, FullAppointment());
        store.Delete(nArchived, true);
        store.Delete(nDeleted, false);
        store.Delete(nBoth, true);
        store.Delete(nBoth, false);

        // Marked records stay until the HotSync, out of every list.
        EXPECT_EQ(RawValue(File(), "SELECT count(*) FROM appointments"), "5");
        EXPECT_EQ(store.CountAppointments(nUser), 1);

        const CHotSyncResult result = store.HotSync(nUser);
        EXPECT_EQ(result.m_nArchived, 1);
        EXPECT_EQ(result.m_nPurged, 2);
        EXPECT_EQ(RawValue(File(), "SELECT group_concat(id) FROM archive"),
                  std::to_string(nArchived));
        EXPECT_EQ(RawValue(File(), "SELECT exceptions FROM archive"), "2025-09-29,2025-12-29");
        EXPECT_EQ(RawValue(File(), "SELECT text || '|' || repeat_end FROM archive"),
                  "Quarterly review \xe2\x80\x93 Q2|2027-12-31");
        EXPECT_EQ(RawValue(File(), "SELECT count(*) FROM exceptions"), "4");
        EXPECT_EQ(RawValue(File(), "SELECT group_concat(id) FROM appointments ORDER BY id"),
                  std::to_string(nKept) + "," + std::to_string(nOthers));
        EXPECT_EQ(store.CheckIntegrity(), "ok");

        // An archived record is out of the datebook; deleting it again is harmless.
        EXPECT_THROW((void)store.GetAppointment(nUser, nArchived), CDatebookError);
        EXPECT_NO_THROW(store.Delete(nArchived, false));
        EXPECT_THROW(store.SetPrivate(nArchived, false), CDatebookError);
    }
    // Reopened, the next id still lies past every id given out.
    CDatebookStore store;
    EXPECT_GT(store.AddAppointment(nUser, FullAppointment()), nBoth);
    EXPECT_EQ(store.CountAppointments(nUser), 2);
}

// Runs body in a child process; the child ends with 0 when body returns true.
template <class F> pid_t Spawn(F&& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool bOk = false;
        try {
            bOk = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: %s\n", e.what());
        }
        ::_exit(bOk ? 0 : 1);
    }
    return pid;
}

// Adds appointments through the host objects, writing (index, record id) to the pipe once
// the adding call and its setters have returned.
bool AddAndReport(const std::string& folder, const std::string& prefix, int nCount, int fd) {
    CDesktopHostOptions options;
    options.m_strFolder = folder;
    const CHostFixture host(options);
    for (int i = 0; i < nCount; ++i) {
        const HOSTTIME tStart = At("2024-01-01", 8) + 86400 * (i % 1000);
        const CBstr text(U16(prefix + std::to_string(i)));
        CComPtr<IHostAppointment> p;
        HRESULT hr = host.m_pDatebook->AddAppointment(tStart, tStart + 3600, text.Get(), p.Put());
        if (hr == S_OK)
            hr = p->SetNote(text.Get());
        if (hr == S_OK && i % 3 == 0)
            hr = p->SetRepeat(2, 1 + i % 4, 0, 1 << (i % 7));
        if (hr != S_OK) {
            std::fprintf(stderr, "child: %s\n", TakeDescription().c_str());
            return false;
        }
        const LONG nIds[2] = {i, IdOf(p.Get())};
        if (::write(fd, nIds, sizeof nIds) != static_cast<ssize_t>(sizeof nIds))
            return false;
    }
    return true;
}

// The reports of a child, until it closes the pipe; kills it after nKillAfter of them. Each
// report is one write below PIPE_BUF, so it arrives whole.
std::vector<std::pair<LONG, LONG>> ReadReports(int fd, std::size_t nKillAfter = 0, pid_t pid = 0) {
    std::vector<std::pair<LONG, LONG>> reports;
    LONG nIds[2];
    while (::read(fd, nIds, sizeof nIds) == static_cast<ssize_t>(sizeof nIds)) {
        reports.emplace_back(nIds[0], nIds[1]);
        if (pid && reports.size() == nKillAfter)
            ::kill(pid, SIGKILL);
    }
    return reports;
}

TEST_F(DatebookStore, TwoProcessesAtOnce) {
    { CDatebookStore store(Folder()); }
    constexpr int kEach = 300;
    int pipes[2][2];
    pid_t pids[2];
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(::pipe(pipes[k]), 0);
        const std::string prefix = "process " + std::to_string(k) + " #";
        const std::string folder = Folder();
        const int fd = pipes[k][1];
        pids[k] = Spawn([&] { return AddAndReport(folder, prefix, kEach, fd); });
        ASSERT_GT(pids[k], 0);
        ::close(pipes[k][1]);
    }
    // This process reads while both write: every list is a consistent snapshot that only grows.
    {
        CDesktopHostOptions options;
        options.m_strFolder = Folder();
        CHostFixture host(options);
        LONG nPrevious = 0;
        for (int i = 0; i < 40; ++i) {
            const LONG n = CountOf(host.All().Get());
            EXPECT_GE(n, nPrevious);
            nPrevious = n;
        }
    }
    std::set<LONG> ids;
    for (int k = 0; k < 2; ++k) {
        const auto reports = ReadReports(pipes[k][0]);
        ::close(pipes[k][0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pids[k], &status, 0), pids[k]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "process " << k;
        EXPECT_EQ(reports.size(), static_cast<std::size_t>(kEach));
        for (const auto& report : reports)
            EXPECT_TRUE(ids.insert(report.second).second) << "id given twice: " << report.second;
    }
    CDatebookStore store(Folder());
    EXPECT_EQ(store.CountAppointments(store.CurrentUser().m_nId), 2 * kEach);
    EXPECT_EQ(store.CheckIntegrity(), "ok");
}

// Killed at random points, a writer through the host objects leaves only whole appointments
// (text, note and repeat of one group), and they are the first ones it added: what is lost is
// the group of its last moments, and every id stays given out once.
TEST_F(DatebookStore, KilledWriterLeavesOnlyWholeAppointments) {
    { CDatebookStore store(Folder()); }
    std::mt19937 random(1234);
    std::set<LONG> allIds;
    for (int nRound = 0; nRound < 3; ++nRound) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const std::string prefix = "round " + std::to_string(nRound) + " #";
        const std::string folder = Folder();
        const pid_t pid = Spawn([&] { return AddAndReport(folder, prefix, 20000, fds[1]); });
        ASSERT_GT(pid, 0);
        ::close(fds[1]);
        const std::size_t nKillAfter =
            std::uniform_int_distribution<std::size_t>(400, 2500)(random);
        const auto reports = ReadReports(fds[0], nKillAfter, pid);
        ::close(fds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended before it was killed";
        ASSERT_GE(reports.size(), nKillAfter);

        CDatebookStore store(Folder());
        ASSERT_EQ(store.CheckIntegrity(), "ok");
        const std::int64_t nUser = store.CurrentUser().m_nId;
        std::size_t nStored = 0;
        for (const auto& [nIndex, nId] : reports) {
            CStoredAppointment a;
            try {
                a = store.GetAppointment(nUser, nId);
            } catch (const CDatebookError&) {
                continue;
            }
            ASSERT_EQ(static_cast<std::size_t>(nIndex), nStored) << "an earlier one was lost";
            ++nStored;
            const std::u16string text = U16(prefix + std::to_string(nIndex));
            ASSERT_EQ(a.m_strText, text);
            ASSERT_EQ(a.m_strNote, text);
            ASSERT_EQ(a.IsRepeating(), nIndex % 3 == 0);
        }
        // Nothing of an appointment that was not reported, and no id twice.
        for (const CStoredAppointment& a :
             store.ListAppointments(nUser, desktop::kFirstDatebookDay, desktop::kLastDatebookDay)) {
            ASSERT_TRUE(a.m_strText != U16(prefix + std::to_string(nStored)))
                << "the appointment in hand was stored";
            if (Utf8(a.m_strText).rfind(prefix, 0) == 0) {
                ASSERT_TRUE(allIds.insert(a.m_nRecordId).second);
            }
        }
    }
}

} // namespace
