// Loading host appointments into records and storing records as host appointments, against
// the stand-in host.
#include "host/HostStore.h"

#include "host/HostCalls.h"
#include "model/Appointment.h"
#include "platform/com/ComError.h"
#include "tests/engine/OperationsTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <sstream>

using namespace optest;

namespace {

class HostStoreTest : public COperationsTest {
protected:
    CComPtr<IHostDatebook> Datebook() { return OpenDatebookWithoutList(Options()).m_pDatebook; }
    CComPtr<IHostAppointment> ById(LONG nId) {
        CComPtr<IHostAppointment> p;
        EXPECT_EQ(Datebook()->GetAppointmentById(nId, p.Put()), S_OK);
        return p;
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
};

void ExpectComError(const std::function<void()>& call, HRESULT hr, const std::string& text) {
    try {
        call();
        ADD_FAILURE() << "no error";
    } catch (const CComError& e) {
        EXPECT_EQ(e.Error(), hr);
        EXPECT_EQ(Narrow(e.Description()), text);
    }
}

TEST_F(HostStoreTest, OpenDatebookNeedsTheHostsApplicationAndDatebook) {
    Seed(Untimed("2026-12-01", "a"));
    Seed(Untimed("1970-01-01", "before the range"));
    EXPECT_EQ(ListCount(OpenDatebook(Options()).m_pList.Get()), 1);
    ExpectComError([] { (void)OpenDatebook(COptions()); }, E_POINTER, "");
    OpenHost({{}, false, {{"GetAppointments", 1, E_ACCESSDENIED, "locked"}}});
    ExpectComError([this] { (void)OpenDatebook(Options()); }, E_ACCESSDENIED, "locked");
}

// Each kind of appointment loaded into a record and added as a new appointment of another
// user comes back with every value.
TEST_F(HostStoreTest, LoadedAndAddedAgainEveryValueStays) {
    CStoredAppointment weekly = Repeating(Timed("2026-03-05", 9, 15, 10, 45, "Weekly"),
                                          HOST_REPEAT_WEEKLY, 2, 0x12, "2026-06-30");
    weekly.m_strNote = U16("line 1\r\nline 2");
    weekly.m_strCategory = U16("Business");
    weekly.m_strLocation = U16("Room 5");
    weekly.m_bPrivate = weekly.m_bAlarm = true;
    weekly.m_nAlarmUnit = 1;
    weekly.m_nAlarmAdvance = 2;
    CStoredAppointment night = Timed("2026-03-05", 23, 0, 1, 30, "Night shift");
    night.m_bAlarm = true;
    night.m_nAlarmUnit = 2;
    night.m_nAlarmAdvance = 3;
    // An end before the start falls on the next day, also across a change of daylight
    // saving (days of 23 and 25 hours); an equal end stays on the day.
    const CStoredAppointment cases[] = {
        weekly,
        Repeating(Untimed("2026-01-30", "last Friday"), HOST_REPEAT_MONTHLY_BY_DAY, 1, 5),
        night,
        Timed("2026-03-05", 10, 30, 10, 15, "a minute short of a day"),
        Timed("2026-03-05", 10, 30, 10, 30, "no length"),
        Timed("2026-10-25", 22, 0, 1, 0, "25 hours long"),
        Timed("2026-03-29", 23, 30, 0, 30, "23 hours long"),
        Repeating(Untimed("2024-02-29", "leap day"), HOST_REPEAT_YEARLY, 1, 0, "2030-12-31"),
    };
    std::deque<CAppointment> loaded;
    for (const CStoredAppointment& s : cases) {
        SCOPED_TRACE(Narrow(s.m_strText));
        NewUser("from " + Narrow(s.m_strText));
        const LONG nId = Seed(s);
        CAppointment& a = loaded.emplace_back(&Options());
        ASSERT_EQ(LoadFromHost(a, ById(nId).Get()), STATUS_OK);
        EXPECT_EQ(a.m_nRecordId, nId);
        EXPECT_EQ(a.m_tDate, At(Iso(desktop::LocalDayOf(s.m_tStart))));
        EXPECT_EQ(a.m_tsDuration, s.m_tEnd - s.m_tStart);
        EXPECT_TRUE(a.m_strExceptions.empty());
        NewUser("to " + Narrow(s.m_strText));
        ASSERT_EQ(AddToHost(a, Datebook().Get()), STATUS_OK);
        ASSERT_EQ(All().size(), 1u);
        EXPECT_EQ(Describe(All()[0]), Describe(s));
    }
    // The host's numbers for the rule, as the record holds them.
    EXPECT_EQ(loaded[0].m_repeat.m_nType, REPEAT_WEEKLY);
    EXPECT_EQ(loaded[0].m_repeat.m_byWeekdays, 0x12);
    EXPECT_EQ(loaded[0].m_repeat.m_nWeekIndex, 0);
    EXPECT_EQ(loaded[0].m_repeat.m_tEnd, At("2026-06-30"));
    EXPECT_EQ(loaded[1].m_repeat.m_nType, REPEAT_MONTHLY_BY_DAY);
    EXPECT_EQ(loaded[1].m_repeat.m_nWeekIndex, 5);
    EXPECT_EQ(loaded[1].m_repeat.m_byWeekdays, 0);
    EXPECT_EQ(loaded[1].m_repeat.m_tEnd, 0);
}

TEST_F(HostStoreTest, LoadFromHostRefusesAStartOrEndTheHostCannotGive) {
    // Start 0 and start -1 (all bits set) are no start; a timed end of 0 is no end.
    const std::tuple<const char*, HOSTTIME, HOSTTIME> cases[] = {
        {"zero start", 0, 3600},
        {"all bits", -1, 3600},
        {"zero end", At("1970-01-01"), 0},
    };
    for (const auto& [pszText, tStart, tEnd] : cases) {
        CStoredAppointment s = Timed("2026-12-01", 9, 0, 10, 0, pszText);
        s.m_tStart = tStart;
        s.m_tEnd = tEnd;
        const LONG nId = Seed(s);
        CAppointment a(&Options());
        EXPECT_EQ(LoadFromHost(a, ById(nId).Get()), STATUS_FAILED) << pszText;
        // Partly filled: what came before the start.
        EXPECT_EQ(a.m_strText, pszText);
        EXPECT_EQ(a.m_nRecordId, nId);
    }
}

TEST_F(HostStoreTest, LocationAndCategoryWhenTheHostCannotGiveThem) {
    CStoredAppointment s = Untimed("2026-12-01", "a");
    s.m_strCategory = U16("Business");
    s.m_strLocation = U16("Room 5");
    const LONG nId = Seed(s);
    struct SCase {
        CDesktopHostOptions m_host;
        const char* m_pszCategory;
        const char* m_pszLocation; // nullptr: the load raises
    };
    const SCase cases[] = {
        {{{}, true, {}}, "", ""}, // no second interface
        {{{}, false, {{"GetCategory", 0, E_FAIL, "broken"}}}, "", "Room 5"},
        {{{}, false, {{"GetLocation", 0, E_FAIL, "broken"}}}, "", nullptr},
        {{{}, false, {{"QueryInterface", 0, E_UNEXPECTED, "broken"}}}, "", nullptr},
    };
    for (const SCase& c : cases) {
        OpenHost(c.m_host);
        CAppointment a(&Options());
        if (!c.m_pszLocation) {
            EXPECT_THROW((void)LoadFromHost(a, ById(nId).Get()), CComError);
            continue;
        }
        EXPECT_EQ(LoadFromHost(a, ById(nId).Get()), STATUS_OK);
        EXPECT_EQ(a.m_strCategory, c.m_pszCategory);
        EXPECT_EQ(a.m_strLocation, c.m_pszLocation);
        EXPECT_EQ(a.m_strText, "a");
    }
}

TEST_F(HostStoreTest, ANoteIsCutTo32768Characters) {
    auto a = Record("2026-03-05", 9, 0, 10, 0, "long note");
    a->m_strNote.assign(40000, 'n');
    CStoreResult result;
    EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result), STATUS_OK);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(result.m_nRecordId, All()[0].m_nRecordId);
    EXPECT_EQ(All()[0].m_strNote.size(), 32768u);
}

TEST_F(HostStoreTest, TheRepeatRuleAndItsExceptionDates) {
    struct SCase {
        const char* m_pszName;
        int m_nType, m_nInterval;
        const char* m_pszEnd; // "" none
        const char* m_pszExceptions;
        EStatus m_expected;
        bool m_bRepeats;
        const char* m_pszStoredExceptions;
    };
    const SCase kCases[] = {
        {"two-digit years", 1, 1, "", "01.03.75 02.03.05", STATUS_OK, true,
         "1975-03-01 2005-03-02"},
        {"a quote before a date", 1, 1, "", "\"01.03.75", STATUS_OK, true, "1975-03-01"},
        {"year 2032", 1, 1, "", "01.03.75 01.01.32", IMPORT_INVALID_EXCEPTION, true, "1975-03-01"},
        {"two separators", 1, 1, "", "01.03.75  02.03.75", IMPORT_INVALID_EXCEPTION, true,
         "1975-03-01"},
        {"end on its own day", 1, 1, "1975-02-01", "01.03.75", STATUS_OK, false, ""},
        {"end before its day", 1, 1, "1975-01-31", "", IMPORT_INVALID_REPEAT_END, false, ""},
        {"unknown type", 9, 1, "", "", IMPORT_INVALID_REPEAT_TYPE, false, ""},
        // A rule never read (a simple-format row): one day only.
        {"interval never read", 1, 0, "", "01.03.75", STATUS_OK, false, ""},
    };
    for (const SCase& c : kCases) {
        SCOPED_TRACE(c.m_pszName);
        auto a = Record("1975-02-01", 0, 0, 0, 0, c.m_pszName);
        a->m_bUntimed = a->m_bRepeat = true;
        a->m_repeat.m_nType = c.m_nType;
        a->m_repeat.m_nInterval = c.m_nInterval;
        if (*c.m_pszEnd)
            a->m_repeat.m_tEnd = At(c.m_pszEnd);
        a->m_strExceptions = c.m_pszExceptions;
        EXPECT_EQ(CheckRepeatForStore(*a), c.m_expected);
        CStoreResult result;
        EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result), c.m_expected);
        const CStoredAppointment s = Store().GetAppointment(UserId(), result.m_nRecordId);
        EXPECT_EQ(s.IsRepeating(), c.m_bRepeats);
        std::vector<int> expected;
        std::istringstream in(c.m_pszStoredExceptions);
        for (std::string iso; in >> iso;)
            expected.push_back(Day(iso));
        EXPECT_EQ(s.m_vecExceptionDays, expected);
    }
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

// The exception days read back are the pattern days the host leaves out, ascending: an
// exception day off the pattern or past the series' end removes nothing and is not found,
// and one at the far end of a long series is found all the same.
TEST_F(HostStoreTest, ExceptionDaysReadBackAreThePatternDaysLeftOut) {
    struct SCase {
        const char* m_pszName;
        LONG m_nType, m_nInterval, m_nExtra;
        const char* m_pszEnd; // "" none
        std::vector<const char*> m_vecStored;
        std::vector<const char*> m_vecFound;
    };
    // 2024-01-01 is a Monday.
    const std::vector<SCase> cases = {
        {"daily", 1, 1, 0, "", {"2024-01-04", "2024-01-11"}, {"2024-01-04", "2024-01-11"}},
        {"every second day", 1, 2, 0, "", {"2024-01-04", "2024-01-05"}, {"2024-01-05"}},
        {"weekly on Mondays and Wednesdays",
         2,
         1,
         0x0A,
         "",
         {"2024-01-02", "2024-01-03", "2024-01-08"},
         {"2024-01-03", "2024-01-08"}},
        {"past the end", 1, 1, 0, "2024-01-10", {"2024-01-05", "2024-01-20"}, {"2024-01-05"}},
        {"at the far end", 1, 1, 0, "", {"2031-12-30"}, {"2031-12-30"}},
        {"monthly by date", 4, 1, 0, "", {"2024-03-01", "2024-03-02"}, {"2024-03-01"}},
        {"yearly, none on the pattern", 5, 1, 0, "", {"2025-01-02"}, {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        CStoredAppointment a;
        a.m_tStart = At("2024-01-01", 9);
        a.m_tEnd = At("2024-01-01", 10);
        a.m_strText = u"series";
        a.m_nRepeatType = c.m_nType;
        a.m_nRepeatInterval = c.m_nInterval;
        a.m_nRepeatExtra = c.m_nExtra;
        if (*c.m_pszEnd)
            a.m_nRepeatEndDay = Day(c.m_pszEnd);
        for (const char* pszDay : c.m_vecStored)
            a.m_vecExceptionDays.push_back(Day(pszDay));
        const LONG nId = Store().AddAppointment(UserId(), a);
        std::vector<std::int64_t> expected;
        for (const char* pszDay : c.m_vecFound)
            expected.push_back(Day(pszDay));
        EXPECT_EQ(ReadExceptionDays(ById(nId).Get()), expected);
    }
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
        EXPECT_EQ(AddToHost(*a, Datebook().Get(), &result),
                  c.m_answer == EMessageAnswer::Ok ? STATUS_OK : STATUS_FAILED);
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
    CStoreResult result;
    EXPECT_EQ(AddToHost(*Record("2026-03-05", 9, 0, 10, 30, "stays"), Datebook().Get(), &result),
              STATUS_OK);
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
        auto a = Record("2026-03-06", 14, 0, 15, 30, "new");
        a->m_nRecordId = nId;
        a->m_strNote = "new note";
        a->m_bAlarm = a->m_bRepeat = true;
        a->m_nAlarmAdvance = 10;
        a->m_repeat.m_nInterval = 2;
        EXPECT_EQ(UpdateInHost(*a, ById(nId).Get()), STATUS_OK);
        CStoredAppointment expected = Repeating(bOmit ? Timed("2026-03-05", 9, 0, 10, 0, "new")
                                                      : Timed("2026-03-06", 14, 0, 15, 30, "new"),
                                                HOST_REPEAT_DAILY, 2);
        expected.m_strNote = U16("new note");
        expected.m_bAlarm = true;
        expected.m_nAlarmAdvance = 10;
        EXPECT_EQ(Describe(Store().GetAppointment(UserId(), nId)), Describe(expected));
    }
}

// A refusal while changing an existing appointment leaves it as far as it was changed: OK
// goes on, Cancel stops.
TEST_F(HostStoreTest, RefusalsOnAnExistingAppointmentKeepIt) {
    const LONG nId = Seed(Timed("2026-03-05", 9, 0, 10, 0, "old"));
    auto a = Record("2026-03-05", 9, 0, 10, 0, "new");
    a->m_nRecordId = nId;
    a->m_bRepeat = true;
    a->m_repeat.m_nInterval = 1;
    m_ui.ScriptAnswers({EMessageAnswer::Cancel, EMessageAnswer::Ok, EMessageAnswer::Cancel});
    OpenHost({{}, false, {{"SetNote", 1, E_FAIL, "No note."}}});
    CStoreResult result;
    EXPECT_EQ(UpdateInHost(*a, ById(nId).Get(), &result), STATUS_FAILED);
    EXPECT_TRUE(result.m_bHostRefused);
    EXPECT_EQ(result.m_nRecordId, nId);
    for (const EStatus expected : {STATUS_OK, STATUS_FAILED}) {
        OpenHost({{}, false, {{"SetRepeat", 1, E_INVALIDARG, "No rule."}}});
        EXPECT_EQ(StoreRepeat(*a, ById(nId).Get()), expected);
    }
    EXPECT_EQ(m_ui.m_vecShown.size(), 3u);
    ASSERT_EQ(All().size(), 1u);
    EXPECT_EQ(Narrow(All()[0].m_strText), "new");
    EXPECT_FALSE(All()[0].IsRepeating());
}

} // namespace
