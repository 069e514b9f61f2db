// Archive marking and Remove All against the stand-in host.
#include "engine/Archive.h"

#include "engine/RecordFilter.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "tests/engine/OperationsTestSupport.h"

using namespace optest;

namespace {

using Strings = std::vector<std::string>;

class ArchiveTest : public COperationsTest {
protected:
    void FilterOut(std::int32_t nType, const std::string& text) {
        Options().m_filter.AddRow();
        Options().m_filter.SetRow(0, nType, text, FILTER_JOIN_NONE);
    }
};

// 16 bytes, or 17 + the text; the note + 1; 2 for an alarm; 6 for a repeat, 2 per exception
// and 2 more with exceptions.
TEST_F(ArchiveTest, TheEstimatedSizeOfARecord) {
    CStoredAppointment big = Repeating(Untimed("2026-12-01", "0123456789"), HOST_REPEAT_DAILY, 1);
    big.m_bAlarm = true;
    big.m_vecExceptionDays = {Day("2026-12-02"), Day("2026-12-03"), Day("2026-12-04")};
    big.m_strNote = U16("abc");
    const CDatebookAccess access = OpenDatebookWithoutList(Options());
    for (const auto& [a, nSize] :
         {std::pair{big, 27 + 4 + 2 + 6 + 8}, std::pair{Untimed("2026-12-01", ""), 16}}) {
        CComPtr<IHostAppointment> p;
        ASSERT_EQ(access.m_pDatebook->GetAppointmentById(Seed(a), p.Put()), S_OK);
        EXPECT_EQ(EstimateRecordSize(p.Get()), nSize);
    }
}

TEST_F(ArchiveTest, CountAndMarkOnlyWhatPassesTheFilter) {
    Seed(Untimed("2020-01-01", "a"));  // 18 bytes
    Seed(Untimed("2030-01-01", "bb")); // 19; the count has no date test
    Seed(Untimed("2020-01-01", "skip me"));
    FilterOut(FILTER_TEXT_NOT_CONTAINS, "skip");
    EXPECT_EQ(ArchiveCountText(CountArchivable(Options())), "2 appointments taking up 37 bytes.");
    const int n = ArchiveAppointments(Options(), At("2026-12-01"), false, 500);
    EXPECT_EQ(ArchiveResultText(n), "Marked 1 appointment for archival.\nThe appointment will be "
                                    "archived at next HotSync.");
    EXPECT_EQ(Options().m_nMinSize, 500);
    EXPECT_EQ(Texts(), (Strings{"skip me", "bb"}));
}

TEST_F(ArchiveTest, WhatIsMarkedUpToTheCutoff) {
    Seed(Timed("2026-12-01", 14, 0, 15, 0, "single on the cutoff day"));
    Seed(Untimed("2026-12-02", "single after"));
    Seed(Untimed("2025-06-01", "single long ago"));
    Seed(Repeating(Untimed("2026-11-20", "series ending on the cutoff day"), HOST_REPEAT_DAILY, 1,
                   0, "2026-12-01"));
    Seed(Repeating(Untimed("2026-11-20", "series ended before"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-11-30"));
    Seed(Repeating(Untimed("2020-01-06", "series without end"), HOST_REPEAT_WEEKLY, 1, 0x02));
    // Every occurrence from the cutoff on is an exception: nothing of it remains.
    CStoredAppointment excepted = Repeating(Untimed("2026-11-28", "series excepted away"),
                                            HOST_REPEAT_DAILY, 1, 0, "2026-12-02");
    excepted.m_vecExceptionDays = {Day("2026-12-01"), Day("2026-12-02")};
    Seed(excepted);

    const int n = ArchiveAppointments(Options(), At("2026-12-01"), false, 100);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(ArchiveResultText(n), "Marked 4 appointments for archival.\nThe appointments will "
                                    "be archived at next HotSync.");
    EXPECT_EQ(Texts(),
              (Strings{"series without end", "series ending on the cutoff day", "single after"}));
    EXPECT_EQ(Store().HotSync(UserId()).m_nArchived, 4);
    EXPECT_EQ(ArchiveResultText(-1), "Error archiving appointments");
}

TEST_F(ArchiveTest, RemoveAllInTheFullFormatRemovesEverythingThatPassesTheFilter) {
    Seed(Untimed("1990-01-01", "remove old"));
    Seed(Repeating(Untimed("2026-01-01", "remove series"), HOST_REPEAT_DAILY, 1));
    Seed(Untimed("2031-12-31", "remove last"));
    Seed(Untimed("2026-12-01", "keep"));
    Options().m_bFullFormat = 1;
    FilterOut(FILTER_TEXT_STARTS_WITH, "remove");
    CHeadlessProgress progress;
    EXPECT_EQ(RemoveAll(Options(), &progress), 3);
    EXPECT_EQ(Texts(), (Strings{"keep"}));
    EXPECT_EQ(progress.m_nUpper, 4);
    EXPECT_EQ(progress.m_vecPositions, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Store().HotSync(UserId()).m_nPurged, 3);
}

TEST_F(ArchiveTest, RemoveAllInTheSimpleFormatRemovesWhatTheExportWrites) {
    // The range runs from 25 November 00:00 to 4 January 23:59.
    Seed(Repeating(Timed("2026-11-23", 9, 0, 10, 0, "weekly"), HOST_REPEAT_WEEKLY, 1, 0x02,
                   "2026-12-21"));
    Seed(Untimed("2026-11-25", "at the first instant"));
    Seed(Timed("2026-12-10", 9, 0, 10, 0, "inside"));
    Seed(Untimed("2027-02-01", "outside"));
    Options().m_bFullFormat = 0;
    CRemoveOutcome outcome;
    EXPECT_EQ(RemoveAll(Options(), nullptr, &outcome), 5);
    EXPECT_EQ(outcome.m_nExceptions, 4);
    EXPECT_EQ(outcome.m_nRemoved, 1);
    EXPECT_EQ(Texts(), (Strings{"weekly", "at the first instant", "outside"}));
    // The series stays, without the four days inside the range.
    EXPECT_EQ(All()[0].m_vecExceptionDays,
              (std::vector<int>{Day("2026-11-30"), Day("2026-12-07"), Day("2026-12-14"),
                                Day("2026-12-21")}));
}

TEST_F(ArchiveTest, AQuitRequestStopsRemoveAllWithTheWorkDoneKept) {
    for (int i = 1; i <= 5; ++i)
        Seed(Untimed("2026-12-0" + std::to_string(i), "day " + std::to_string(i)));
    Options().m_bFullFormat = 1;
    m_ui.QuitAfterPumps(3);
    CRemoveOutcome outcome;
    EXPECT_EQ(RemoveAll(Options(), nullptr, &outcome), 2);
    EXPECT_TRUE(outcome.m_bQuit);
    EXPECT_EQ(Texts(), (Strings{"day 3", "day 4", "day 5"}));
}

// The examples of the host's repeat rules: the occurrences inside a range.
struct SRuleCase {
    const char* m_pszStart;
    LONG m_nType, m_nInterval, m_nExtra;
    const char* m_pszFrom;
    const char* m_pszTo;
    const char* m_pszDays;
};

const SRuleCase kRuleCases[] = {
    {"2024-01-30", HOST_REPEAT_DAILY, 3, 0, "2024-02-20", "2024-03-10",
     "2024-02-20 2024-02-23 2024-02-26 2024-02-29 2024-03-03 2024-03-06 2024-03-09"},
    // Every other week from a Monday, on Mondays and Wednesdays.
    {"2024-01-01", HOST_REPEAT_WEEKLY, 2, 0x0A, "2024-01-01", "2024-02-15",
     "2024-01-01 2024-01-03 2024-01-15 2024-01-17 2024-01-29 2024-01-31 2024-02-12 2024-02-14"},
    // The last Friday, and the fourth Thursday, of each month.
    {"2024-01-26", HOST_REPEAT_MONTHLY_BY_DAY, 1, 5, "2024-01-01", "2024-06-30",
     "2024-01-26 2024-02-23 2024-03-29 2024-04-26 2024-05-31 2024-06-28"},
    {"2024-01-25", HOST_REPEAT_MONTHLY_BY_DAY, 1, 4, "2024-01-01", "2024-06-30",
     "2024-01-25 2024-02-22 2024-03-28 2024-04-25 2024-05-23 2024-06-27"},
    {"2024-01-31", HOST_REPEAT_MONTHLY_BY_DATE, 1, 0, "2024-01-01", "2024-07-31",
     "2024-01-31 2024-02-29 2024-03-31 2024-04-30 2024-05-31 2024-06-30 2024-07-31"},
    {"2024-02-29", HOST_REPEAT_YEARLY, 1, 0, "2024-01-01", "2029-12-31",
     "2024-02-29 2025-02-28 2026-02-28 2027-02-28 2028-02-29 2029-02-28"},
    {"2031-12-28", HOST_REPEAT_DAILY, 1, 0, "2031-12-01", "2031-12-31",
     "2031-12-28 2031-12-29 2031-12-30 2031-12-31"},
};

std::vector<int> DaysOf(const SRuleCase& c) {
    std::vector<int> days;
    std::istringstream in(c.m_pszDays);
    for (std::string iso; in >> iso;)
        days.push_back(Day(iso));
    return days;
}

// Remove All makes each occurrence inside the range an exception of its series; a series
// that ends on its last day of the range is archived only after that day, and by the size
// test only when asked.
TEST_F(ArchiveTest, TheRepeatRuleExamples) {
    for (const SRuleCase& c : kRuleCases) {
        SCOPED_TRACE(c.m_pszDays);
        const std::vector<int> days = DaysOf(c);
        const desktop::CCivilDate to = desktop::DateFromDay(Day(c.m_pszTo));
        SetClock(to.m_nYear, to.m_nMonth, to.m_nDay);
        Options().m_bFullFormat = 0;
        Options().m_nDaysAhead = 0;
        Options().m_nDaysBack = Day(c.m_pszTo) - Day(c.m_pszFrom);
        LONG nId =
            Seed(Repeating(Untimed(c.m_pszStart, "series"), c.m_nType, c.m_nInterval, c.m_nExtra));
        CRemoveOutcome outcome;
        (void)RemoveAll(Options(), nullptr, &outcome);
        EXPECT_EQ(outcome.m_nExceptions, static_cast<int>(days.size()));
        EXPECT_EQ(Store().GetAppointment(UserId(), nId).m_vecExceptionDays, days);
        Store().Delete(nId, false);

        const std::string last = Iso(days.back());
        nId = Seed(
            Repeating(Untimed(c.m_pszStart, "series"), c.m_nType, c.m_nInterval, c.m_nExtra, last));
        const HOSTTIME tAfter = At(last) + 86400 + 3600;
        EXPECT_EQ(ArchiveAppointments(Options(), At(last), false, 100), 0);
        EXPECT_EQ(ArchiveAppointments(Options(), tAfter, true, 1000), 0);
        EXPECT_EQ(ArchiveAppointments(Options(), tAfter, true, 24), 1);
        EXPECT_THROW((void)Store().GetAppointment(UserId(), nId), CDatebookError);
    }
}

} // namespace
