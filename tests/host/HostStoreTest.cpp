// Loading host appointments into records and storing records as host appointments, against
// the stand-in host.
#include "host/HostStore.h"

#include "host/HostCalls.h"
#include "model/Appointment.h"
#include "platform/com/ComError.h"
#include "tests/engine/OperationsTestSupport.h"

#include <gtest/gtest.h>

using namespace optest;

namespace {

class HostStoreTest : public COperationsTest {
protected:
    CDatebookAccess Access() { return OpenDatebook(Options()); }

    // The loaded record of the only appointment, or of the one at index i.
    void LoadItem(CAppointment& a, LONG i = 0, EStatus expected = STATUS_OK) {
        const CDatebookAccess access = Access();
        const CComPtr<IHostAppointment> p = ListItem(access.m_pList.Get(), i);
        ASSERT_TRUE(p);
        EXPECT_EQ(LoadFromHost(a, p.Get()), expected);
    }

    // A record as the field reader leaves one: the day at 00:00, times on some other day.
    std::unique_ptr<CAppointment> Record(const std::string& iso, int h1, int m1, int h2, int m2,
                                         const std::string& text) {
        auto p = std::make_unique<CAppointment>(&Options());
        p->SetDate(At(iso));
        p->SetStartTime(At("2026-12-05", h1, m1));
        p->SetEndTime(At("2026-12-05", h2, m2));
        p->m_strText = text;
        return p;
    }

    CComPtr<IHostDatebook> Datebook() { return Access().m_pDatebook; }
};

TEST_F(HostStoreTest, OpenDatebookNeedsTheHostsApplicationAndDatebook) {
    Seed(Untimed("2026-12-01", "a"));
    Seed(Untimed("1970-01-01", "before the range"));
    const CDatebookAccess access = Access();
    EXPECT_EQ(ListCount(access.m_pList.Get()), 1);

    COptions noHost;
    try {
        (void)OpenDatebook(noHost);
        FAIL() << "no error";
    } catch (const CComError& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }

    OpenHost({{}, false, {{"GetAppointments", 1, E_ACCESSDENIED, "locked"}}});
    try {
        (void)OpenDatebook(Options());
        FAIL() << "no error";
    } catch (const CComError& e) {
        EXPECT_EQ(e.Error(), E_ACCESSDENIED);
        EXPECT_EQ(Narrow(e.Description()), "locked");
    }
}

TEST_F(HostStoreTest, LoadFromHostFillsEveryValue) {
    CStoredAppointment s = Repeating(Timed("2026-03-05", 9, 15, 10, 45, "Weekly"),
                                     HOST_REPEAT_WEEKLY, 2, 0x12, "2026-06-30");
    s.m_strNote = U16("line 1\r\nline 2");
    s.m_strCategory = U16("Business");
    s.m_strLocation = U16("Room 5");
    s.m_bPrivate = true;
    s.m_bAlarm = true;
    s.m_nAlarmUnit = 1;
    s.m_nAlarmAdvance = 2;
    const LONG nId = Seed(s);

    CAppointment a(&Options());
    LoadItem(a);
    EXPECT_EQ(a.m_strText, "Weekly");
    EXPECT_EQ(a.m_strNote, "line 1\r\nline 2");
    EXPECT_EQ(a.m_strCategory, "Business");
    EXPECT_EQ(a.m_strLocation, "Room 5");
    EXPECT_TRUE(a.m_bPrivate);
    EXPECT_FALSE(a.m_bUntimed);
    EXPECT_EQ(a.m_nRecordId, nId);
    EXPECT_EQ(a.m_tDate, At("2026-03-05"));
    EXPECT_EQ(a.m_tStart, At("2026-03-05", 9, 15));
    EXPECT_EQ(a.m_tEnd, At("2026-03-05", 10, 45));
    EXPECT_EQ(a.m_tsDuration, 5400);
    EXPECT_TRUE(a.m_bAlarm);
    EXPECT_EQ(a.m_nAlarmUnit, 1);
    EXPECT_EQ(a.m_nAlarmAdvance, 2);
    EXPECT_TRUE(a.m_bRepeat);
    EXPECT_EQ(a.m_repeat.m_nType, REPEAT_WEEKLY);
    EXPECT_EQ(a.m_repeat.m_nInterval, 2);
    EXPECT_EQ(a.m_repeat.m_byWeekdays, 0x12);
    EXPECT_EQ(a.m_repeat.m_nWeekIndex, 0);
    EXPECT_EQ(a.m_repeat.m_tEnd, At("2026-06-30"));
    EXPECT_TRUE(a.m_strExceptions.empty());
}

TEST_F(HostStoreTest, LoadFromHostTakesTheWeekIndexOnlyForMonthlyByDay) {
    Seed(Repeating(Untimed("2026-01-30", "last Friday"), HOST_REPEAT_MONTHLY_BY_DAY, 1, 5));
    CAppointment a(&Options());
    LoadItem(a);
    EXPECT_TRUE(a.m_bUntimed);
    EXPECT_EQ(a.m_tsDuration, 0);
    EXPECT_EQ(a.m_repeat.m_nType, REPEAT_MONTHLY_BY_DAY);
    EXPECT_EQ(a.m_repeat.m_nWeekIndex, 5);
    EXPECT_EQ(a.m_repeat.m_byWeekdays, 0);
    EXPECT_EQ(a.m_repeat.m_tEnd, 0);
}

TEST_F(HostStoreTest, LoadFromHostRefusesAStartOrEndTheHostCannotGive) {
    // Start 0 and start -1 (all bits set) are no start; a timed end of 0 is no end.
    CStoredAppointment zeroStart = Timed("2026-12-01", 9, 0, 10, 0, "zero start");
    zeroStart.m_tStart = 0;
    zeroStart.m_tEnd = 3600;
    CStoredAppointment allBits = zeroStart;
    allBits.m_strText = U16("all bits");
    allBits.m_tStart = -1;
    CStoredAppointment zeroEnd = zeroStart;
    zeroEnd.m_strText = U16("zero end");
    zeroEnd.m_tStart = At("1970-01-01");
    zeroEnd.m_tEnd = 0;
    for (const CStoredAppointment& s : {zeroStart, allBits, zeroEnd}) {
        const LONG nId = Seed(s);
        CComPtr<IHostAppointment> p;
        ASSERT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
        CAppointment a(&Options());
        EXPECT_EQ(LoadFromHost(a, p.Get()), STATUS_FAILED) << Narrow(s.m_strText);
        // Partly filled: what came before the start.
        EXPECT_EQ(a.m_strText, Narrow(s.m_strText));
        EXPECT_EQ(a.m_nRecordId, nId);
    }
}

TEST_F(HostStoreTest, WithoutTheSecondInterfaceLocationAndCategoryAreEmpty) {
    CStoredAppointment s = Untimed("2026-12-01", "a");
    s.m_strCategory = U16("Business");
    s.m_strLocation = U16("Room 5");
    Seed(s);
    OpenHost({{}, true, {}});
    CAppointment a(&Options());
    LoadItem(a);
    EXPECT_EQ(a.m_strLocation, "");
    EXPECT_EQ(a.m_strCategory, "");
    EXPECT_EQ(a.m_strText, "a");
}

TEST_F(HostStoreTest, AFailingCategoryReadGivesAnEmptyCategoryButOtherFailuresRaise) {
    CStoredAppointment s = Untimed("2026-12-01", "a");
    s.m_strCategory = U16("Business");
    s.m_strLocation = U16("Room 5");
    Seed(s);
    OpenHost({{}, false, {{"GetCategory", 0, E_FAIL, "broken"}}});
    CAppointment a(&Options());
    LoadItem(a);
    EXPECT_EQ(a.m_strCategory, "");
    EXPECT_EQ(a.m_strLocation, "Room 5");

    OpenHost({{}, false, {{"GetLocation", 0, E_FAIL, "broken"}}});
    CAppointment b(&Options());
    EXPECT_THROW(LoadItem(b), CComError);
    OpenHost({{}, false, {{"QueryInterface", 0, E_UNEXPECTED, "broken"}}});
    CAppointment c(&Options());
    EXPECT_THROW(LoadItem(c), CComError);
}

TEST_F(HostStoreTest, StoreTimesPutAnEarlierEndOnTheNextDay) {
    struct SCase {
        const char* m_pszDay;
        int h1, m1, h2, m2;
        const char* m_pszEndDay;
    };
    const SCase kCases[] = {
        {"2026-03-05", 23, 0, 1, 0, "2026-03-06"},
        {"2026-03-05", 10, 30, 10, 15, "2026-03-06"},
        {"2026-03-05", 10, 30, 10, 30, "2026-03-05"},
        {"2026-03-05", 9, 0, 17, 45, "2026-03-05"},
        // 25 hours long: the end still falls on the next calendar day.
        {"2026-10-25", 22, 0, 1, 0, "2026-10-26"},
        // 23 hours long.
        {"2026-03-29", 23, 30, 0, 30, "2026-03-30"},
    };
    for (const SCase& c : kCases) {
        const auto a = Record(c.m_pszDay, c.h1, c.m1, c.h2, c.m2, "x");
        HOSTTIME tStart = 0;
        HOSTTIME tEnd = 0;
        GetStoreTimes(*a, tStart, tEnd);
        EXPECT_EQ(tStart, At(c.m_pszDay, c.h1, c.m1)) << c.m_pszDay;
        EXPECT_EQ(tEnd, At(c.m_pszEndDay, c.h2, c.m2)) << c.m_pszDay;
    }
    auto untimed = Record("2026-03-05", 9, 0, 10, 0, "x");
    untimed->m_bUntimed = true;
    HOSTTIME tStart = 0;
    HOSTTIME tEnd = 0;
    GetStoreTimes(*untimed, tStart, tEnd);
    EXPECT_EQ(tStart, At("2026-03-05"));
    EXPECT_EQ(tEnd, At("2026-03-05"));
}

TEST_F(HostStoreTest, AddToHostStoresEveryValue) {
    auto a = Record("2026-03-05", 23, 0, 1, 30, "Night shift");
    a->m_strNote = "a\r\nb";
    a->m_bPrivate = true;
    a->m_bAlarm = true;
    a->m_nAlarmUnit = 2;
    a->m_nAlarmAdvance = 3;
    a->m_strCategory = "Work";
    a->m_strLocation = "Plant";
    a->m_bRepeat = true;
    a->m_repeat.m_nType = REPEAT_WEEKLY;
    a->m_repeat.m_nInterval = 1;
    a->m_repeat.m_byWeekdays = 0x10;
    a->m_repeat.m_tEnd = At("2026-04-30");
    a->m_strExceptions = "12.03.26 19.03.26";
    CStoreResult result;
    EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result), STATUS_OK);
    EXPECT_FALSE(result.m_bHostRefused);

    const std::vector<CStoredAppointment> all = All();
    ASSERT_EQ(all.size(), 1u);
    const CStoredAppointment& s = all[0];
    EXPECT_EQ(result.m_nRecordId, s.m_nRecordId);
    EXPECT_EQ(s.m_tStart, At("2026-03-05", 23, 0));
    EXPECT_EQ(s.m_tEnd, At("2026-03-06", 1, 30));
    EXPECT_EQ(Narrow(s.m_strText), "Night shift");
    EXPECT_EQ(Narrow(s.m_strNote), "a\r\nb");
    EXPECT_TRUE(s.m_bPrivate);
    EXPECT_TRUE(s.m_bAlarm);
    EXPECT_EQ(s.m_nAlarmUnit, 2);
    EXPECT_EQ(s.m_nAlarmAdvance, 3);
    EXPECT_EQ(Narrow(s.m_strCategory), "Work");
    EXPECT_EQ(Narrow(s.m_strLocation), "Plant");
    EXPECT_EQ(s.m_nRepeatType, HOST_REPEAT_WEEKLY);
    EXPECT_EQ(s.m_nRepeatExtra, 0x10);
    EXPECT_EQ(s.m_nRepeatEndDay, Day("2026-04-30"));
    EXPECT_EQ(s.m_vecExceptionDays, (std::vector<int>{Day("2026-03-12"), Day("2026-03-19")}));
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(HostStoreTest, ANoteIsCutTo32768Characters) {
    auto a = Record("2026-03-05", 9, 0, 10, 0, "long note");
    a->m_strNote.assign(40000, 'n');
    EXPECT_EQ(AddToHost(*a, Datebook().Get()), STATUS_OK);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(All()[0].m_strNote.size(), 32768u);
}

TEST_F(HostStoreTest, TheRepeatRuleAndItsExceptionDates) {
    struct SCase {
        const char* m_pszName;
        int m_nInterval;
        const char* m_pszEnd; // "" none
        int m_nType;
        const char* m_pszExceptions;
        EStatus m_expected;
        bool m_bRepeats;
        std::vector<const char*> m_vecExceptions;
    };
    const std::vector<SCase> kCases = {
        {"two-digit years",
         1,
         "",
         1,
         "01.03.75 02.03.05",
         STATUS_OK,
         true,
         {"1975-03-01", "2005-03-02"}},
        {"a quote before a date", 1, "", 1, "\"01.03.75", STATUS_OK, true, {"1975-03-01"}},
        {"year 2032",
         1,
         "",
         1,
         "01.03.75 01.01.32",
         IMPORT_INVALID_EXCEPTION,
         true,
         {"1975-03-01"}},
        {"two separators",
         1,
         "",
         1,
         "01.03.75  02.03.75",
         IMPORT_INVALID_EXCEPTION,
         true,
         {"1975-03-01"}},
        {"end on its own day", 1, "1975-02-01", 1, "01.03.75", STATUS_OK, false, {}},
        {"end before its day", 1, "1975-01-31", 1, "", IMPORT_INVALID_REPEAT_END, false, {}},
        {"unknown type", 1, "", 9, "", IMPORT_INVALID_REPEAT_TYPE, false, {}},
        // A rule never read (a simple-format row): one day only.
        {"interval never read", 0, "", 1, "01.03.75", STATUS_OK, false, {}},
    };
    for (const SCase& c : kCases) {
        SCOPED_TRACE(c.m_pszName);
        auto a = Record("1975-02-01", 0, 0, 0, 0, c.m_pszName);
        a->m_bUntimed = true;
        a->m_bRepeat = true;
        a->m_repeat.m_nType = c.m_nType;
        a->m_repeat.m_nInterval = c.m_nInterval;
        if (*c.m_pszEnd)
            a->m_repeat.m_tEnd = At(c.m_pszEnd);
        a->m_strExceptions = c.m_pszExceptions;
        EXPECT_EQ(CheckRepeatForStore(*a), c.m_expected);
        CStoreResult result;
        EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result), c.m_expected);
        CStoredAppointment s = Store().GetAppointment(UserId(), result.m_nRecordId);
        EXPECT_EQ(s.IsRepeating(), c.m_bRepeats);
        std::vector<int> expected;
        for (const char* p : c.m_vecExceptions)
            expected.push_back(Day(p));
        EXPECT_EQ(s.m_vecExceptionDays, expected);
    }
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

TEST_F(HostStoreTest, ARefusedAddRemovesTheHalfStoredAppointmentAndAsks) {
    struct SCase {
        const char* m_pszOperation;
        const char* m_pszDescription;
        EMessageAnswer m_answer;
        const char* m_pszShownReason;
    };
    const SCase kCases[] = {
        {"SetNote", "The note is too long.", EMessageAnswer::Ok, "The note is too long."},
        {"SetCategory", "No such category.", EMessageAnswer::Cancel, "No such category."},
        // The rule itself: the appointment does not stay behind as a single one.
        {"SetRepeat", "Bad rule.", EMessageAnswer::Ok, "Bad rule."},
        {"AddException", "", EMessageAnswer::Ok, "Unspecified error"},
    };
    for (const SCase& c : kCases) {
        SCOPED_TRACE(c.m_pszOperation);
        OpenHost({{}, false, {{c.m_pszOperation, 1, E_FAIL, c.m_pszDescription}}});
        m_ui.m_vecShown.clear();
        m_ui.ScriptAnswers({c.m_answer});
        auto a = Record("2026-03-05", 9, 0, 10, 30, "Team meeting with a long title");
        a->m_bRepeat = true;
        a->m_repeat.m_nInterval = 1;
        a->m_strExceptions = "12.03.26";
        a->m_strCategory = "Work";
        CStoreResult result;
        const EStatus status = AddToHost(*a, Datebook().Get(), &result);
        EXPECT_EQ(status, c.m_answer == EMessageAnswer::Ok ? STATUS_OK : STATUS_FAILED);
        EXPECT_TRUE(result.m_bHostRefused);
        EXPECT_EQ(result.m_nRecordId, 0);
        EXPECT_TRUE(All().empty());
        ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
        EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
                  std::string("Can't add the following appointment to Palm Desktop:\n"
                              "05.03.2026 09:00 - 10:30 Team meeting with a long ti (repeat)\n") +
                      c.m_pszShownReason);
        EXPECT_EQ(m_ui.m_vecShown[0].m_buttons, EMessageButtons::OkCancel);
        EXPECT_EQ(m_ui.m_vecShown[0].m_icon, EMessageIcon::Exclamation);
    }
}

TEST_F(HostStoreTest, AnAppointmentTheHostWillNotRemoveStaysAndIsNamed) {
    OpenHost(
        {{}, false, {{"SetNote", 1, E_FAIL, "No note."}, {"Delete", 1, E_FAIL, "No delete."}}});
    auto a = Record("2026-03-05", 9, 0, 10, 30, "stays");
    CStoreResult result;
    EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result), STATUS_OK);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(result.m_nRecordId, All()[0].m_nRecordId);
    ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
    EXPECT_NE(m_ui.m_vecShown[0].m_strText.find("No note."), std::string::npos);
}

TEST_F(HostStoreTest, UpdateChangesTheTimesOnlyThroughTheSecondInterface) {
    for (const bool bOmit : {false, true}) {
        SCOPED_TRACE(bOmit ? "without" : "with");
        CStoredAppointment s = Timed("2026-03-05", 9, 0, 10, 0, "old");
        s.m_strNote = U16("old note");
        const LONG nId = Seed(s);
        OpenHost({{}, bOmit, {}});
        CComPtr<IHostAppointment> p;
        ASSERT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
        auto a = Record("2026-03-06", 14, 0, 15, 30, "new");
        a->m_nRecordId = nId;
        a->m_strNote = "new note";
        a->m_bAlarm = true;
        a->m_nAlarmAdvance = 10;
        a->m_bRepeat = true;
        a->m_repeat.m_nInterval = 2;
        EXPECT_EQ(UpdateInHost(*a, p.Get()), STATUS_OK);
        const CStoredAppointment after = Store().GetAppointment(UserId(), nId);
        EXPECT_EQ(Narrow(after.m_strText), "new");
        EXPECT_EQ(Narrow(after.m_strNote), "new note");
        EXPECT_TRUE(after.m_bAlarm);
        EXPECT_EQ(after.m_nRepeatType, HOST_REPEAT_DAILY);
        EXPECT_EQ(after.m_nRepeatInterval, 2);
        EXPECT_EQ(after.m_tStart, bOmit ? At("2026-03-05", 9, 0) : At("2026-03-06", 14, 0));
        EXPECT_EQ(after.m_tEnd, bOmit ? At("2026-03-05", 10, 0) : At("2026-03-06", 15, 30));
    }
}

TEST_F(HostStoreTest, ARefusedUpdateKeepsTheAppointment) {
    const LONG nId = Seed(Timed("2026-03-05", 9, 0, 10, 0, "old"));
    OpenHost({{}, false, {{"SetNote", 1, E_FAIL, "No note."}}});
    CComPtr<IHostAppointment> p;
    ASSERT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
    auto a = Record("2026-03-05", 9, 0, 10, 0, "new");
    a->m_nRecordId = nId;
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    CStoreResult result;
    EXPECT_EQ(UpdateInHost(*a, p.Get(), &result), STATUS_FAILED);
    EXPECT_TRUE(result.m_bHostRefused);
    EXPECT_EQ(result.m_nRecordId, nId);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(Narrow(All()[0].m_strText), "new");
}

TEST_F(HostStoreTest, StoreRepeatOnItsOwnReportsAHostRefusal) {
    const LONG nId = Seed(Untimed("2026-03-05", "series"));
    OpenHost({{}, false, {{"SetRepeat", 1, E_INVALIDARG, "No rule."}}});
    CComPtr<IHostAppointment> p;
    ASSERT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
    auto a = Record("2026-03-05", 0, 0, 0, 0, "series");
    a->m_bUntimed = true;
    a->m_bRepeat = true;
    a->m_repeat.m_nInterval = 1;
    m_ui.ScriptAnswers({EMessageAnswer::Ok});
    EXPECT_EQ(StoreRepeat(*a, p.Get()), STATUS_OK);
    m_ui.ScriptAnswers({EMessageAnswer::Cancel});
    OpenHost({{}, false, {{"SetRepeat", 1, E_INVALIDARG, "No rule."}}});
    ASSERT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
    EXPECT_EQ(StoreRepeat(*a, p.Get()), STATUS_FAILED);
    EXPECT_EQ(m_ui.m_vecShown.size(), 2u);
    EXPECT_FALSE(All()[0].IsRepeating());
}

} // namespace
