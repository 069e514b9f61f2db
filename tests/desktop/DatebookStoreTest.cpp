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

#include <algorithm>
#include <optional>
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

// Every value of a record, for comparing two reads of it.
std::string Render(const std::optional<CStoredAppointment>& a) {
    if (!a)
        return "none";
    std::string text =
        std::to_string(a->m_nRecordId) + "|" + std::to_string(a->m_tStart) + "|" +
        std::to_string(a->m_tEnd) + "|" + Utf8(a->m_strText) + "|" + Utf8(a->m_strNote) + "|" +
        Utf8(a->m_strCategory) + "|" + Utf8(a->m_strLocation) + "|" +
        std::to_string(a->m_bUntimed * 4 + a->m_bPrivate * 2 + a->m_bAlarm) + "|" +
        std::to_string(a->m_nAlarmUnit) + "/" + std::to_string(a->m_nAlarmAdvance) + "|" +
        std::to_string(a->m_nRepeatType) + "/" + std::to_string(a->m_nRepeatInterval) + "/" +
        std::to_string(a->m_nRepeatEndDay) + "/" + std::to_string(a->m_nRepeatExtra);
    for (int nDay : a->m_vecExceptionDays)
        text += "," + Iso(nDay);
    return text;
}

// Runs of a list read in the order of the start index (a page) and by a table scan (a
// window) give each record as reading it by id does: ties of start times cut at the run's
// ends, a record moved since the listing, a marked one, one a HotSync moved out, rows of the
// span that are not listed, and a narrow list whose span holds many unlisted records.
TEST_F(DatebookStore, ListedRunsReadAsById) {
    CDatebookStore store;
    const std::int64_t nUser = store.CurrentUser().m_nId;
    const CDatebookUser other = store.AddUser("other");
    std::vector<CStoredAppointment> batch;
    for (int i = 0; i < 240; ++i) {
        CStoredAppointment a;
        // Six start times only, so that runs begin and end inside a group of equal starts.
        a.m_tStart = At("2024-03-01", 8 + (i * 7) % 6);
        a.m_tEnd = a.m_tStart + 1800;
        a.m_strText =
            U16("item " + std::to_string(i) + (i % 5 ? "" : " \xc3\xa9t\xc3\xa9 \xf0\x9f\x93\x85"));
        a.m_strNote = i % 2 ? u"" : U16(std::string(static_cast<std::size_t>(i), 'n'));
        a.m_strCategory = i % 3 ? u"Work" : u"";
        a.m_strLocation = i % 4 ? u"" : u"Room 1";
        a.m_bPrivate = i % 6 == 0;
        a.m_bAlarm = i % 7 == 0;
        a.m_nAlarmAdvance = i % 50;
        if (i % 4 == 1) {
            a.m_nRepeatType = HOST_REPEAT_DAILY;
            a.m_nRepeatInterval = 1 + i % 3;
            a.m_vecExceptionDays = {Day("2024-03-07"), Day("2024-03-13")};
        }
        batch.push_back(std::move(a));
    }
    (void)store.AddAppointments(nUser, batch);
    (void)store.AddAppointments(other.m_nId,
                                std::vector<CStoredAppointment>(batch.begin(), batch.begin() + 20));
    const std::vector<CListKey> keys =
        store.ListAppointmentKeys(nUser, Day("1970-01-02"), Day("2031-12-31"));
    ASSERT_EQ(keys.size(), 240u);
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    // The listing's own window: every record when they fit, none when they do not, and the
    // same keys either way.
    for (const std::size_t nBytes : {std::size_t{1} << 20, std::size_t{4096}}) {
        CRecordWindow window;
        EXPECT_EQ(
            store.ListAppointmentKeys(nUser, Day("1970-01-02"), Day("2031-12-31"), &window, nBytes),
            keys);
        if (nBytes == 4096) {
            EXPECT_EQ(window.Size(), 0u);
            continue;
        }
        ASSERT_EQ(window.Size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            CStoredAppointment fromWindow;
            ASSERT_TRUE(window.Get(i, fromWindow));
            EXPECT_EQ(Render(fromWindow),
                      Render(store.FindAppointments(&keys[i].m_nRecordId, 1)[0]));
        }
    }

    // After the listing: one record moves, one is marked, one is moved out, one is added.
    (void)store.SetTimes(keys[50].m_nRecordId, At("2024-03-01", 23), At("2024-03-01", 23));
    store.Delete(keys[51].m_nRecordId, false);
    store.Delete(keys[52].m_nRecordId, true);
    (void)store.HotSync(nUser);
    (void)store.AddAppointment(nUser, batch[3]);

    const auto Check = [&](const std::vector<CListKey>& listed, std::size_t nFirst,
                           std::size_t nCount) {
        SCOPED_TRACE("run " + std::to_string(nFirst) + "+" + std::to_string(nCount));
        std::vector<LONG> ids;
        for (std::size_t i = nFirst; i < nFirst + nCount; ++i)
            ids.push_back(listed[i].m_nRecordId);
        const auto byId = store.FindAppointments(ids.data(), ids.size());
        const auto paged = store.FindListedAppointments(nUser, listed.data() + nFirst, nCount);
        CRecordWindow window;
        store.ReadListedWindow(nUser, listed.data() + nFirst, nCount, window);
        ASSERT_EQ(paged.size(), nCount);
        ASSERT_EQ(window.Size(), nCount);
        for (std::size_t i = 0; i < nCount; ++i) {
            EXPECT_EQ(Render(paged[i]), Render(byId[i]));
            CStoredAppointment fromWindow;
            const bool bFound = window.Get(i, fromWindow);
            EXPECT_EQ(bFound ? Render(fromWindow) : "none", Render(byId[i]));
        }
    };
    for (const auto& [nFirst, nCount] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, 240}, {0, 1}, {39, 1}, {37, 7}, {45, 64}, {50, 3}, {100, 140}, {239, 1}})
        Check(keys, nFirst, nCount);
    EXPECT_EQ(Render(store.FindListedAppointments(nUser, keys.data() + 52, 1)[0]), "none");

    // The same list sorted out into runs by one scan: every run read back as by id, the
    // moved, marked and moved-out records too; runs of one and of the whole list, and a list
    // of every tenth record (ids too far apart for a table of positions).
    std::vector<CListKey> tenth;
    for (std::size_t i = 0; i < keys.size(); i += 10)
        tenth.push_back(keys[i]);
    for (const auto& [pListed, nRunSize] :
         std::vector<std::pair<const std::vector<CListKey>*, std::size_t>>{
             {&keys, 1}, {&keys, 37}, {&keys, 240}, {&tenth, 5}}) {
        const std::vector<CListKey>& listed = *pListed;
        SCOPED_TRACE(std::to_string(listed.size()) + " in runs of " + std::to_string(nRunSize));
        CListSpill spill;
        ASSERT_TRUE(store.SpillListedRuns(nUser, listed.data(), listed.size(), nRunSize, spill));
        const std::size_t nRuns = (listed.size() + nRunSize - 1) / nRunSize;
        for (std::size_t nRun = 0; nRun < nRuns; ++nRun) {
            const std::size_t nFirst = nRun * nRunSize;
            const std::size_t nCount = std::min(nRunSize, listed.size() - nFirst);
            CRecordWindow window;
            ASSERT_TRUE(store.ReadSpilledRun(spill, nRun, listed.data() + nFirst, nCount, window));
            ASSERT_EQ(window.Size(), nCount);
            for (std::size_t i = 0; i < nCount; ++i) {
                CStoredAppointment fromWindow;
                const bool bFound = window.Get(i, fromWindow);
                EXPECT_EQ(bFound ? Render(fromWindow) : "none",
                          Render(store.FindAppointments(&listed[nFirst + i].m_nRecordId, 1)[0]))
                    << "position " << nFirst + i;
            }
        }
        CRecordWindow beyond;
        EXPECT_FALSE(store.ReadSpilledRun(spill, nRuns, listed.data(), 1, beyond));
    }

    // A narrow list: a series that began long before its days, then single records between
    // its start and the list's days that the list leaves out.
    CStoredAppointment series = batch[1];
    series.m_tStart = At("2020-01-01", 9);
    series.m_tEnd = series.m_tStart + 600;
    series.m_vecExceptionDays.clear();
    (void)store.AddAppointment(nUser, series);
    std::vector<CStoredAppointment> between;
    for (int i = 0; i < 3000; ++i) {
        CStoredAppointment a = batch[static_cast<std::size_t>(i % 4 == 1 ? 0 : i % 240)];
        a.m_tStart = At("2021-01-01", 0) + i * 7200;
        a.m_tEnd = a.m_tStart;
        between.push_back(a);
    }
    (void)store.AddAppointments(nUser, between);
    const std::vector<CListKey> narrow =
        store.ListAppointmentKeys(nUser, Day("2024-03-01"), Day("2024-03-01"));
    ASSERT_GT(narrow.size(), 200u);
    EXPECT_EQ(narrow.front().m_tStart, At("2020-01-01", 9));
    Check(narrow, 0, narrow.size());
    Check(narrow, 0, 2);
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
