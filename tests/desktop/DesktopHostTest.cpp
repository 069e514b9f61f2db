// The host objects as the program uses them: interfaces and their identity, every value
// stored and read back across a reopen, the checks that refuse what the datebook cannot
// keep, list snapshots, deleting, the occurrence walk and the test controls.
#include "desktop/DatebookStore.h"
#include "desktop/DesktopDatebook.h"
#include "desktop/DesktopSession.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

using namespace std::string_literals;

class DesktopHost : public CDesktopTest {};

// yyyy-mm-dd hh:mm of a local time; "-" for none.
std::string Local(HOSTTIME t) {
    CLocalTime local;
    if (t == 0 || !BreakDownLocal(t, local))
        return "-";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", local.m_nYear, local.m_nMonth,
                  local.m_nDay, local.m_nHour, local.m_nMinute);
    return buffer;
}

// type/interval/end/extra, checked against GetRepeating and GetRepeatType.
std::string RepeatOf(IHostAppointment* p) {
    LONG nType = -1, nInterval = -1, nExtra = -1, nRepeatType = -1;
    HOSTTIME tEnd = -1;
    BOOL bRepeating = 2;
    EXPECT_EQ(p->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), S_OK);
    EXPECT_EQ(p->GetRepeatType(&nRepeatType), S_OK);
    EXPECT_EQ(p->GetRepeating(&bRepeating), S_OK);
    EXPECT_EQ(nRepeatType, nType);
    EXPECT_EQ(bRepeating != 0, nType != 0);
    return std::to_string(nType) + "/" + std::to_string(nInterval) + "/" + Local(tEnd) + "/" +
           std::to_string(nExtra);
}

// Every value, read with LoadFromHost's calls:
// text|note|start|end|flags|alarm unit/amount|repeat, exceptions|location|category.
std::string Values(IHostAppointment* p) {
    CBstr text, note, location, category;
    BOOL bUntimed = 2, bPrivate = 2, bAlarm = 2;
    HOSTTIME tStart = 0, tEnd = 0;
    LONG nUnit = -1, nAmount = -1, nExceptions = -1;
    for (const HRESULT hr :
         {p->GetText(text.Put()), p->GetNote(note.Put()), p->GetPrivate(&bPrivate),
          p->GetUntimed(&bUntimed), p->GetStart(&tStart), p->GetEnd(&tEnd), p->GetAlarm(&bAlarm),
          p->GetAlarmAdvance(&nUnit, &nAmount), p->GetExceptionCount(&nExceptions),
          p->GetCategory(category.Put())})
        EXPECT_EQ(hr, S_OK);
    EXPECT_NE(text.Get(), nullptr); // empty, not null
    CComPtr<IHostAppointment2> p2;
    if (CComPtr<IHostAppointment>(p).QueryInterface(p2) == S_OK) {
        EXPECT_EQ(p2->GetLocation(location.Put()), S_OK);
    }
    return Utf8(text.View()) + "|" + Utf8(note.View()) + "|" + Local(tStart) + "|" + Local(tEnd) +
           "|" + (bUntimed ? "untimed" : "timed") + (bPrivate ? " private" : "") + "|" +
           (bAlarm ? "alarm " : "no alarm ") + std::to_string(nUnit) + "/" +
           std::to_string(nAmount) + "|" + RepeatOf(p) + ", " + std::to_string(nExceptions) + "|" +
           Utf8(location.View()) + "|" + Utf8(category.View());
}

// Part of the import's store sequence: every value of an appointment, the text with
// characters of every width and the note with a line break and an embedded zero.
void StoreDetails(IHostAppointment* p) {
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(CComPtr<IHostAppointment>(p).QueryInterface(p2), S_OK);
    for (const HRESULT hr :
         {p->SetText(CBstr(u"\u00c4rger \U0001F600 \u4e2d\u6587 \t tab").Get()),
          p->SetUntimed(FALSE), p->SetPrivate(TRUE),
          p->SetNote(CBstr(u"first line\r\nsecond \u00e4\u20ac\0b"s).Get()), p->SetAlarm(TRUE),
          p->SetAlarmAdvance(1, 2), p2->SetLocation(CBstr(u"Room 4").Get()),
          p->SetCategory(CBstr(u"Business").Get()),
          p->SetRepeat(2, 2, At("2024-06-30"), 0x02 | 0x08), p->AddException(At("2024-01-15"))})
        ASSERT_EQ(hr, S_OK);
}

const std::string kStoredDetails = "\xc3\x84rger \xf0\x9f\x98\x80 \xe4\xb8\xad\xe6\x96\x87 \t tab|"
                                   "first line\r\nsecond \xc3\xa4\xe2\x82\xac\0b|"s;

TEST_F(DesktopHost, ObjectsAnswerTheirInterfacesAndOutliveTheApplication) {
    CComPtr<IHostAppointment> p;
    {
        CHostFixture host;
        CComPtr<IHostDatebook> pWrong;
        EXPECT_EQ(host.m_pHost.QueryInterface(pWrong), E_NOINTERFACE);
        p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "kept");
    }
    {
        // Both appointment interfaces are one object.
        CComPtr<IHostAppointment2> p2;
        CComPtr<IUnknown> pFromFirst, pFromSecond;
        ASSERT_EQ(p.QueryInterface(p2), S_OK);
        ASSERT_EQ(p.QueryInterface(pFromFirst), S_OK);
        ASSERT_EQ(p2.QueryInterface(pFromSecond), S_OK);
        EXPECT_EQ(pFromFirst, pFromSecond);
        EXPECT_EQ(p->QueryInterface(IID_IHostAppointment2, nullptr), E_POINTER);
    }
    EXPECT_EQ(p->SetNote(CBstr(u"after the host was released").Get()), S_OK);
    p = nullptr;
    CHostFixture again;
    CBstr stored;
    ASSERT_EQ(ItemOf(again.All().Get(), 0)->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.View(), u"after the host was released");
}

TEST_F(DesktopHost, EachUserHasTheirOwnRecords) {
    CDatebookStore store;
    const CDatebookUser first = store.CurrentUser();
    CHostFixture firstHost;
    const LONG nId = IdOf(firstHost.AddUntimed("2024-01-01", "first user's").Get());
    CComPtr<IHostAppointment> pFound;
    ASSERT_EQ(firstHost.m_pDatebook->GetAppointmentById(nId, pFound.Put()), S_OK);
    EXPECT_EQ(TextOf(pFound.Get()), "first user's");
    // Missing records fail with their id in the description.
    auto expectMissing = [](const CHostFixture& host, LONG nMissing) {
        CComPtr<IHostAppointment> pNone;
        EXPECT_TRUE(FAILED(host.m_pDatebook->GetAppointmentById(nMissing, pNone.Put())));
        EXPECT_FALSE(pNone);
        EXPECT_NE(TakeDescription().find(std::to_string(nMissing)), std::string::npos) << nMissing;
    };
    for (const LONG nMissing : {0, -1, nId + 1, 2147483647})
        expectMissing(firstHost, nMissing);

    store.SetCurrentUser(store.AddUser("Zo\xc3\xab").m_nId);
    CHostFixture host;
    CComPtr<IHostUser> pUser;
    ASSERT_EQ(host.m_pApp->GetCurrentUser(pUser.Put()), S_OK);
    CBstr name;
    ASSERT_EQ(pUser->GetName(name.Put()), S_OK);
    EXPECT_EQ(name.View(), u"Zo\u00eb");
    EXPECT_EQ(CountOf(host.All().Get()), 0);
    expectMissing(host, nId); // another user's record is not this user's
    host.AddUntimed("2024-01-02", "second user's");

    // A datebook keeps to the user that was current when it was given out.
    store.SetCurrentUser(first.m_nId);
    EXPECT_EQ(TextsOf(host.All().Get()), std::vector<std::string>{"second user's"});
    EXPECT_EQ(TextsOf(firstHost.All().Get()), std::vector<std::string>{"first user's"});
    // Nor is a deleted record found.
    ASSERT_EQ(pFound->Delete(0), S_OK);
    expectMissing(firstHost, nId);
}

TEST_F(DesktopHost, EveryValueIsStoredAndReadBack) {
    LONG nId = 0;
    {
        CHostFixture host;
        CComPtr<IHostAppointment> p =
            host.Add(At("2024-01-01", 23, 0), At("2024-01-02", 1, 30), "");
        EXPECT_EQ(Values(p.Get()),
                  "||2024-01-01 23:00|2024-01-02 01:30|timed|no alarm 0/5|0/0/-/0, 0||");
        EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2031-12-31")), Words("2024-01-01"));
        StoreDetails(p.Get());
        nId = IdOf(p.Get());
        EXPECT_GT(nId, 0);
        // A null text is empty text.
        CComPtr<IHostAppointment> pNull;
        ASSERT_EQ(host.m_pDatebook->AddAppointment(At("2024-03-06"), At("2024-03-06"), nullptr,
                                                   pNull.Put()),
                  S_OK);
        EXPECT_EQ(TextOf(pNull.Get()), "");
    }
    CHostFixture host;
    CComPtr<IHostAppointment> p = ItemOf(host.All().Get(), 0);
    EXPECT_EQ(IdOf(p.Get()), nId);
    EXPECT_EQ(Values(p.Get()), kStoredDetails +
                                   "2024-01-01 23:00|2024-01-02 01:30|timed private|alarm 1/2|"
                                   "2/2/2024-06-30 00:00/10, 1|Room 4|Business");
    EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2024-01-31")),
              Words("2024-01-01 2024-01-03 2024-01-17 2024-01-29 2024-01-31"));
}

TEST_F(DesktopHost, UntimedMeansMidnight) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9, 15), At("2024-03-05", 10), "x");
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);
    auto times = [&] {
        HOSTTIME tStart = 0, tEnd = 0;
        EXPECT_EQ(p->GetStart(&tStart), S_OK);
        EXPECT_EQ(p->GetEnd(&tEnd), S_OK);
        return Local(tStart) + " to " + Local(tEnd);
    };
    ASSERT_EQ(p->SetUntimed(TRUE), S_OK);
    EXPECT_EQ(times(), "2024-03-05 00:00 to 2024-03-05 00:00");
    ASSERT_EQ(p2->SetStartEnd(At("2024-04-01", 8), At("2024-04-01", 9)), S_OK);
    EXPECT_EQ(times(), "2024-04-01 00:00 to 2024-04-01 00:00");
    // Timed again, it takes the times it was given while untimed, as an import's update does.
    ASSERT_EQ(p->SetUntimed(FALSE), S_OK);
    EXPECT_EQ(times(), "2024-04-01 08:00 to 2024-04-01 09:00");
    ASSERT_EQ(p2->SetStartEnd(At("2024-04-02", 8), At("2024-04-02", 9)), S_OK);
    EXPECT_EQ(times(), "2024-04-02 08:00 to 2024-04-02 09:00");
    ASSERT_EQ(p->SetUntimed(TRUE), S_OK);
    ASSERT_EQ(p->SetUntimed(FALSE), S_OK);
    EXPECT_EQ(times(), "2024-04-02 00:00 to 2024-04-02 00:00");
}

// Another reader of the datebook (here a second store; as well another process) sees an
// appointment only whole: not while the object that stores it is alive, however long that
// takes, and soon after its release even while the datebook object stays in use.
TEST_F(DesktopHost, AnAppointmentReachesOtherReadersWholeOnceReleased) {
    CHostFixture host;
    CDatebookStore reader;
    const std::int64_t nUser = reader.CurrentUser().m_nId;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "whole");
    ASSERT_EQ(p->SetNote(CBstr(u"note").Get()), S_OK);
    std::this_thread::sleep_for(CDesktopSession::kGroupTime * 3);
    EXPECT_EQ(reader.CountAppointments(nUser), 0);
    ASSERT_EQ(p->SetAlarm(TRUE), S_OK);
    p.Release();
    for (int i = 0; i < 200 && reader.CountAppointments(nUser) == 0; ++i)
        std::this_thread::sleep_for(CDesktopSession::kGroupTime / 5);
    const std::vector<CStoredAppointment> stored =
        reader.ListAppointments(nUser, Day("2024-03-05"), Day("2024-03-05"));
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(Utf8(stored[0].m_strNote), "note");
    EXPECT_TRUE(stored[0].m_bAlarm);
    // Releasing the datebook ends the operation: the next appointment is committed at once.
    EXPECT_EQ(host.Add(At("2024-03-06", 9), At("2024-03-06", 10), "at once")->SetAlarm(TRUE), S_OK);
    host.m_pDatebook.Release();
    EXPECT_EQ(reader.CountAppointments(nUser), 2);
}

// A new appointment's setters that give a value it already has store nothing; they must
// still store it when another object changed the record in between, and a later reader
// sees every value either way.
TEST_F(DesktopHost, SettersGivenTheStoredValueKeepTheRecordRight) {
    CHostFixture host;
    CDatebookStore reader;
    const std::int64_t nUser = reader.CurrentUser().m_nId;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "first");
    LONG nId = 0;
    ASSERT_EQ(p->GetRecordId(&nId), S_OK);
    for (const HRESULT hr :
         {p->SetUntimed(FALSE), p->SetPrivate(FALSE), p->SetAlarm(FALSE),
          p->SetNote(CBstr(u"mine").Get()), p->SetUntimed(FALSE), p->SetCategory(CBstr(u"").Get())})
        ASSERT_EQ(hr, S_OK);
    {
        CComPtr<IHostAppointment> pOther;
        ASSERT_EQ(host.m_pDatebook->GetAppointmentById(nId, pOther.Put()), S_OK);
        ASSERT_EQ(pOther->SetNote(CBstr(u"theirs").Get()), S_OK);
        ASSERT_EQ(pOther->SetPrivate(TRUE), S_OK);
        ASSERT_EQ(pOther->SetUntimed(TRUE), S_OK);
    }
    // p's copy still says "mine", timed and not private: each must reach the record again.
    for (const HRESULT hr :
         {p->SetNote(CBstr(u"mine").Get()), p->SetPrivate(FALSE), p->SetUntimed(FALSE)})
        ASSERT_EQ(hr, S_OK);
    p.Release();
    host.m_pDatebook.Release();
    const CStoredAppointment stored = reader.GetAppointment(nUser, nId);
    EXPECT_EQ(Utf8(stored.m_strNote), "mine");
    EXPECT_FALSE(stored.m_bPrivate);
    EXPECT_FALSE(stored.m_bUntimed);
    EXPECT_FALSE(stored.m_bAlarm);
    EXPECT_EQ(Utf8(stored.m_strText), "first");
}

TEST_F(DesktopHost, RepeatRulesAreNormalisedOrRefused) {
    struct {
        LONG m_nType, m_nInterval;
        const char* m_pszEnd; // empty: none
        int m_nEndHour;
        LONG m_nExtra;
        const char* m_pszStored; // type/interval/end/extra
    } const cases[] = {
        // Interval 0 is 1; 2031-12-31 means no end; bit 7 of the weekdays has no meaning.
        {2, 0, "2031-12-31", 0, 0x80 | 0x04, "2/1/-/4"},
        // Extra means nothing to daily, monthly by date and yearly rules; the end is a day,
        // which may be the appointment's own.
        {4, 3, "2025-03-05", 17, 77, "4/3/2025-03-05 00:00/0"},
        {1, 1, "2024-03-05", 0, 0, "1/1/2024-03-05 00:00/0"},
        {5, 2, "", 0, 0, "5/2/-/0"},
    };
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    for (const auto& c : cases) {
        const HOSTTIME tEnd = *c.m_pszEnd ? At(c.m_pszEnd, c.m_nEndHour) : 0;
        ASSERT_EQ(p->SetRepeat(c.m_nType, c.m_nInterval, tEnd, c.m_nExtra), S_OK);
        EXPECT_EQ(RepeatOf(p.Get()), c.m_pszStored);
    }
    // Refused: types outside 1..5, intervals outside 0..99, weekday sets outside 1..127, week
    // indexes outside 1..5 (type, interval, extra); and an end before the start.
    const LONG refused[][3] = {{0, 1, 0},  {6, 1, 0}, {-1, 1, 0},   {1, 100, 0},
                               {1, -1, 0}, {2, 1, 0}, {2, 1, 0x80}, {2, 1, 256},
                               {2, 1, -1}, {3, 1, 0}, {3, 1, 6},    {3, 1, -5}};
    for (const auto& r : refused) {
        EXPECT_EQ(p->SetRepeat(r[0], r[1], 0, r[2]), E_INVALIDARG)
            << r[0] << " " << r[1] << " " << r[2];
        EXPECT_FALSE(TakeDescription().empty());
    }
    EXPECT_EQ(p->SetRepeat(1, 1, At("2024-03-04"), 0), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    // Nothing of the refused rules was stored.
    EXPECT_EQ(RepeatOf(p.Get()), "5/2/-/0");
    // Released at the end of the operation, the appointment reaches other readers.
    p.Release();
    host.m_pDatebook.Release();
    CHostFixture again;
    EXPECT_EQ(RepeatOf(ItemOf(again.All().Get(), 0).Get()), "5/2/-/0");
}

TEST_F(DesktopHost, ValuesTheDatebookCannotKeepAreRefused) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);
    CComPtr<IHostAppointment> pDaily = host.AddUntimed("2024-03-10", "daily");
    ASSERT_EQ(pDaily->SetRepeat(1, 1, 0, 0), S_OK);
    const CBstr longest(std::u16string(32768, u'n'));
    const CBstr tooLong(std::u16string(32769, u'n'));
    const CBstr category(std::u16string(255, u'c'));
    const CBstr longCategory(std::u16string(256, u'c'));
    const char16_t lone[] = {u'a', 0xD800, u'b'}; // an unpaired surrogate is no character
    const CBstr broken(std::u16string_view(lone, 3));
    CComPtr<IHostAppointment> pNone;
    auto add = [&](HOSTTIME tStart, HOSTTIME tEnd, BSTR text) {
        return host.m_pDatebook->AddAppointment(tStart, tEnd, text, pNone.Put());
    };
    struct {
        const char* m_pszWhat;
        std::function<HRESULT()> m_call;
        HRESULT m_hr;
        const char* m_pszMessage; // a part of the description
    } const cases[] = {
        {"longest note", [&] { return p->SetNote(longest.Get()); }, S_OK, ""},
        {"note too long", [&] { return p->SetNote(tooLong.Get()); }, E_INVALIDARG, "32768"},
        {"text too long", [&] { return p->SetText(tooLong.Get()); }, E_INVALIDARG, ""},
        {"location too long", [&] { return p2->SetLocation(tooLong.Get()); }, E_INVALIDARG, ""},
        {"longest category", [&] { return p->SetCategory(category.Get()); }, S_OK, ""},
        {"category too long", [&] { return p->SetCategory(longCategory.Get()); }, E_INVALIDARG, ""},
        {"lone surrogate", [&] { return p->SetText(broken.Get()); }, E_INVALIDARG, ""},
        {"lone surrogate added",
         [&] { return add(At("2024-03-05"), At("2024-03-05"), broken.Get()); }, E_INVALIDARG, ""},
        // Times: the end not before the start, the start day within 1904..2031.
        {"end before start",
         [&] { return add(At("2024-03-05", 10), At("2024-03-05", 9), nullptr); }, E_INVALIDARG, ""},
        {"after 2031", [&] { return add(At("2032-01-01"), At("2032-01-01"), nullptr); },
         E_INVALIDARG, ""},
        {"before 1904", [&] { return p2->SetStartEnd(At("1903-12-31"), At("1903-12-31", 1)); },
         E_INVALIDARG, ""},
        {"last day, ending after it",
         [&] { return add(At("2031-12-31", 23), At("2032-01-01", 1), nullptr); }, S_OK, ""},
        // Alarm units 0..2, advances not negative.
        {"alarm unit 3", [&] { return p->SetAlarmAdvance(3, 1); }, E_INVALIDARG, ""},
        {"negative advance", [&] { return p->SetAlarmAdvance(0, -1); }, E_INVALIDARG, ""},
        // Exceptions belong to repeating appointments, within the datebook's days.
        {"exception of a single one", [&] { return p->AddException(At("2024-03-05")); },
         E_INVALIDARG, ""},
        {"exception after 2031", [&] { return pDaily->AddException(At("2032-01-01")); },
         E_INVALIDARG, ""},
        {"no out pointer", [&] { return p->GetStart(nullptr); }, E_POINTER, ""},
        {"no list pointer", [&] { return host.m_pDatebook->GetAppointments(0, 0, nullptr); },
         E_POINTER, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        pNone = nullptr;
        const HRESULT hr = c.m_call();
        EXPECT_EQ(hr, c.m_hr);
        const std::string description = TakeDescription();
        EXPECT_EQ(description.empty(), hr == S_OK);
        EXPECT_NE(description.find(c.m_pszMessage), std::string::npos) << description;
        EXPECT_TRUE(SUCCEEDED(hr) || !pNone);
    }
    // None of it reached the store.
    for (CComPtr<IHostAppointment>* pp : {&p, &pDaily, &pNone})
        pp->Release();
    p2.Release();
    host.m_pDatebook.Release();
    CHostFixture again;
    CComPtr<IHostAppointment> pStored = ItemOf(again.All().Get(), 0);
    CBstr stored;
    ASSERT_EQ(pStored->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.Length(), 32768u);
    EXPECT_EQ(TextOf(pStored.Get()), "x");
}

TEST_F(DesktopHost, ListsHoldTheLocalDaysOfTheirRangeInEveryZone) {
    for (const char* pszZone : {"Europe/Berlin", "Pacific/Kiritimati", "Pacific/Pago_Pago",
                                "America/St_Johns", "Asia/Kathmandu", "UTC"}) {
        SCOPED_TRACE(pszZone);
        SetTimeZone(pszZone);
        CTestHome home;
        CHostFixture host;
        host.Add(At("2024-03-10", 12), At("2024-03-10", 13), "noon 10th");
        host.Add(At("2024-03-10", 8), At("2024-03-10", 9), "morning 10th");
        host.AddUntimed("2024-03-10", "all day 10th");
        host.Add(At("2024-03-10", 8), At("2024-03-10", 8, 30), "second at 8");
        host.Add(At("2024-03-09", 23, 59), At("2024-03-10", 0, 30), "overnight from the 9th");
        host.Add(At("2024-03-20", 23, 59), At("2024-03-20", 23, 59), "last minute of the 20th");
        host.Add(At("2024-03-21"), At("2024-03-21"), "21st");
        ASSERT_EQ(host.AddUntimed("2024-01-01", "weekly to 10 March")
                      ->SetRepeat(2, 1, At("2024-03-10"), 0x02),
                  S_OK);
        ASSERT_EQ(
            host.AddUntimed("2024-01-01", "daily to 9 March")->SetRepeat(1, 1, At("2024-03-09"), 0),
            S_OK);
        ASSERT_EQ(host.AddUntimed("2024-03-21", "monthly from the 21st")->SetRepeat(4, 1, 0, 0),
                  S_OK);

        // Only the days of from and to count, not their times.
        CComPtr<IHostAppointmentList> pList = host.List(At("2024-03-10", 18), At("2024-03-20", 6));
        EXPECT_EQ(
            TextsOf(pList.Get()),
            std::vector<std::string>({"weekly to 10 March", "all day 10th", "morning 10th",
                                      "second at 8", "noon 10th", "last minute of the 20th"}));
        EXPECT_EQ(CountOf(host.List(At("2024-03-21"), At("2024-03-10")).Get()), 0);
        EXPECT_EQ(CountOf(host.All().Get()), 10);

        CComPtr<IHostAppointment> pBad;
        for (const LONG nBad : {CountOf(pList.Get()), LONG{-1}}) {
            EXPECT_EQ(pList->Item(nBad, pBad.Put()), E_INVALIDARG);
            EXPECT_FALSE(TakeDescription().empty());
        }
    }
}

TEST_F(DesktopHost, ImportUpdatesAnExistingRecord) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-01-01", 9), At("2024-01-01", 10), "old");
    StoreDetails(p.Get());
    const LONG nId = IdOf(p.Get());

    // UpdateInHost's calls, in its order, on the record found by its id.
    CComPtr<IHostAppointment> pFound;
    ASSERT_EQ(host.m_pDatebook->GetAppointmentById(nId, pFound.Put()), S_OK);
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(pFound.QueryInterface(p2), S_OK);
    // The new day lies after the old repeat end: taken, and the record stays listed.
    ASSERT_EQ(p2->SetStartEnd(At("2024-08-01", 14), At("2024-08-01", 15)), S_OK);
    EXPECT_EQ(CountOf(host.List(At("2024-08-01"), At("2024-08-01")).Get()), 1);
    const CBstr empty(u"");
    for (const HRESULT hr :
         {pFound->SetUntimed(FALSE), pFound->SetText(CBstr(u"new").Get()),
          pFound->SetPrivate(FALSE), pFound->SetNote(empty.Get()), pFound->SetAlarm(FALSE),
          p2->SetLocation(empty.Get()), pFound->SetCategory(empty.Get()),
          pFound->SetRepeat(3, 1, At("2024-12-31"), 5), pFound->AddException(At("2024-10-31"))})
        ASSERT_EQ(hr, S_OK);
    // Released, the changes reach other readers.
    p.Release();
    p2.Release();
    pFound.Release();
    host.m_pDatebook.Release();

    CHostFixture again;
    CComPtr<IHostAppointment> pStored = ItemOf(again.All().Get(), 0);
    EXPECT_EQ(IdOf(pStored.Get()), nId);
    // The old exception stays.
    EXPECT_EQ(Values(pStored.Get()), "new||2024-08-01 14:00|2024-08-01 15:00|timed|no alarm 1/2|"
                                     "3/1/2024-12-31 00:00/5, 2||");
    // The last Thursday of each month from August to December, less the exception.
    EXPECT_EQ(Walk(pStored.Get(), At("2024-01-01"), At("2031-12-31")),
              Words("2024-08-29 2024-09-26 2024-11-28 2024-12-26"));
}

// A list of the whole datebook (read in table order) and a list of a few days (read through
// the start index) give the same order: by start, then by record id.
TEST_F(DesktopHost, WideAndNarrowListsAgreeOnTheOrder) {
    CHostFixture host;
    host.Add(At("2024-05-02", 9), At("2024-05-02", 10), "later day");
    host.Add(At("2024-05-01", 9), At("2024-05-01", 10), "same start 1");
    host.Add(At("2024-05-01", 8), At("2024-05-01", 10), "earliest");
    host.Add(At("2024-05-01", 9), At("2024-05-01", 11), "same start 2");
    host.AddUntimed("2024-05-01", "untimed");
    const std::vector<std::string> expected = {"untimed", "earliest", "same start 1",
                                               "same start 2", "later day"};
    EXPECT_EQ(TextsOf(host.All().Get()), expected);
    EXPECT_EQ(TextsOf(host.List(At("2024-04-30"), At("2024-05-03")).Get()), expected);
}

// A list longer than a page reads its records in pages: every item as a whole listing
// gives it, items of one index shared while one is alive, and a record that a HotSync has
// moved out since the listing refused with a reason.
TEST_F(DesktopHost, LongListsAreReadInPages) {
    const std::size_t nCount = CDesktopAppointmentList::kPageSize * 2 + 100;
    std::int64_t nUser = 0;
    {
        CDatebookStore store;
        nUser = store.CurrentUser().m_nId;
        std::vector<CStoredAppointment> batch;
        for (std::size_t i = 0; i < nCount; ++i) {
            CStoredAppointment a;
            // Starts in an order of their own, unlike the ids.
            a.m_tStart = At("2024-01-01", 8) + static_cast<HOSTTIME>((i * 7919) % nCount) * 3600;
            a.m_tEnd = a.m_tStart + 1800;
            a.m_strText = u"item " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
            a.m_strNote = i % 2 ? u"odd" : u"";
            batch.push_back(std::move(a));
        }
        (void)store.AddAppointments(nUser, batch);
    }
    CHostFixture host;
    CComPtr<IHostAppointmentList> pList = host.All();
    std::vector<std::string> expected;
    {
        CDatebookStore reader;
        for (const CStoredAppointment& a :
             reader.ListAppointments(nUser, Day("1970-01-02"), Day("2031-12-31")))
            expected.push_back(Utf8(a.m_strText) + "|" + Utf8(a.m_strNote));
    }
    ASSERT_EQ(expected.size(), nCount);
    std::vector<std::string> listed;
    for (LONG i = 0; i < CountOf(pList.Get()); ++i) {
        CComPtr<IHostAppointment> p = ItemOf(pList.Get(), i);
        CBstr note;
        EXPECT_EQ(p->GetNote(note.Put()), S_OK);
        listed.push_back(TextOf(p.Get()) + "|" + Utf8(note.View()));
    }
    EXPECT_EQ(listed, expected);

    CComPtr<IHostAppointment> pFirst = ItemOf(pList.Get(), 3);
    (void)ItemOf(pList.Get(), static_cast<LONG>(nCount - 1)); // another page
    ASSERT_EQ(pFirst->SetNote(CBstr(u"shared").Get()), S_OK);
    CBstr note;
    ASSERT_EQ(ItemOf(pList.Get(), 3)->GetNote(note.Put()), S_OK);
    EXPECT_EQ(note.View(), u"shared");

    LONG nId = 0;
    ASSERT_EQ(ItemOf(pList.Get(), 600)->GetRecordId(&nId), S_OK);
    ASSERT_EQ(ItemOf(pList.Get(), 600)->Delete(1), S_OK);
    pFirst.Release();
    (void)ItemOf(pList.Get(), 0); // leaves the page of item 600
    host.m_pDatebook.Release();   // commits
    {
        CDatebookStore store;
        EXPECT_EQ(store.HotSync(nUser).m_nArchived, 1);
    }
    CComPtr<IHostAppointment> pGone;
    EXPECT_EQ(pList->Item(600, pGone.Put()), E_FAIL);
    EXPECT_NE(TakeDescription().find(std::to_string(nId)), std::string::npos);
}

TEST_F(DesktopHost, ListIsASnapshot) {
    CHostFixture host;
    for (int i = 0; i < 5; ++i)
        host.Add(At("2024-05-01", 8 + i), At("2024-05-01", 9 + i), "item " + std::to_string(i));
    CComPtr<IHostAppointmentList> pList = host.All();

    // The removal walk: delete, archive and change while going on by index.
    ASSERT_EQ(ItemOf(pList.Get(), 0)->Delete(0), S_OK);
    ASSERT_EQ(ItemOf(pList.Get(), 1)->Delete(1), S_OK);
    host.Add(At("2024-04-01", 8), At("2024-04-01", 9), "added later");
    const CBstr note(u"changed");
    ASSERT_EQ(ItemOf(pList.Get(), 2)->SetNote(note.Get()), S_OK);
    EXPECT_EQ(TextsOf(pList.Get()),
              std::vector<std::string>({"item 0", "item 1", "item 2", "item 3", "item 4"}));
    // Items of one index share their values.
    CBstr stored;
    ASSERT_EQ(ItemOf(pList.Get(), 2)->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.View(), u"changed");

    // A deleted or marked record takes no more changes, and says why.
    CComPtr<IHostAppointment> pDeleted = ItemOf(pList.Get(), 0);
    EXPECT_EQ(pDeleted->SetNote(note.Get()), E_FAIL);
    EXPECT_NE(TakeDescription().find("deleted"), std::string::npos);
    EXPECT_EQ(ItemOf(pList.Get(), 1)->SetPrivate(TRUE), E_FAIL);
    EXPECT_NE(TakeDescription().find("archival"), std::string::npos);
    // Removing again changes nothing; archiving a removed record is refused.
    EXPECT_EQ(pDeleted->Delete(0), S_OK);
    EXPECT_EQ(pDeleted->Delete(1), E_FAIL);
    EXPECT_FALSE(TakeDescription().empty());
    // Removing a marked record removes it.
    EXPECT_EQ(ItemOf(pList.Get(), 1)->Delete(0), S_OK);

    // A new list leaves them out and holds the new one.
    EXPECT_EQ(TextsOf(host.All().Get()),
              std::vector<std::string>({"added later", "item 2", "item 3", "item 4"}));
}

TEST_F(DesktopHost, ExceptionsAreDays) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-01-01", 9), At("2024-01-01", 10), "daily");
    ASSERT_EQ(p->SetRepeat(1, 1, 0, 0), S_OK);
    // Any time of the day names the day; the same day twice is one exception.
    ASSERT_EQ(p->AddException(At("2024-01-02", 15, 45)), S_OK);
    ASSERT_EQ(p->AddException(At("2024-01-02")), S_OK);
    ASSERT_EQ(p->AddException(At("2024-01-04", 23, 59)), S_OK);
    LONG nCount = 0;
    ASSERT_EQ(p->GetExceptionCount(&nCount), S_OK);
    EXPECT_EQ(nCount, 2);
    EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2024-01-05")),
              Words("2024-01-01 2024-01-03 2024-01-05"));
}

// Ordinary daylight saving changes are crossed by the libical comparison in Berlin time.
TEST_F(DesktopHost, ADayWithoutMidnightKeepsItsPlace) {
    // 2018-11-04 had no midnight in Sao Paulo: the clocks went from 00:00 to 01:00.
    SetTimeZone("America/Sao_Paulo");
    CHostFixture host;
    HOSTTIME tStart = 0;
    ASSERT_EQ(host.AddUntimed("2018-11-04", "untimed on the short day")->GetStart(&tStart), S_OK);
    EXPECT_EQ(IsoOf(tStart), "2018-11-04");
    CComPtr<IHostAppointment> pDaily = host.Add(At("2018-11-01", 7), At("2018-11-01", 8), "d");
    ASSERT_EQ(pDaily->SetRepeat(1, 1, 0, 0), S_OK);
    ASSERT_EQ(pDaily->AddException(At("2018-11-04", 12)), S_OK);
    EXPECT_EQ(Walk(pDaily.Get(), At("2018-11-02"), At("2018-11-06")),
              Words("2018-11-02 2018-11-03 2018-11-05 2018-11-06"));
    ASSERT_EQ(pDaily->SetRepeat(1, 1, At("2018-11-04"), 0), S_OK);
    EXPECT_EQ(CountOf(host.List(At("2018-11-05"), At("2018-11-30")).Get()), 0);
}

// The test controls: the n-th call of an operation fails, counted over all objects of the
// host, or every call for 0; the failed call does nothing and leaves its description.
TEST_F(DesktopHost, ChosenCallsFail) {
    CDesktopHostOptions options;
    options.m_vecFaults = {{"SetNote", 3, E_ACCESSDENIED, "the note store is locked"},
                           {"GetCategory", 0, E_UNEXPECTED, "no categories"}};
    CHostFixture host(options);
    CComPtr<IHostAppointment> pFirst = host.AddUntimed("2024-03-05", "x");
    CComPtr<IHostAppointment> pSecond = host.AddUntimed("2024-03-06", "y");
    EXPECT_EQ(pFirst->SetNote(CBstr(u"first").Get()), S_OK);
    EXPECT_EQ(pSecond->SetNote(CBstr(u"second").Get()), S_OK);
    EXPECT_EQ(pFirst->SetNote(CBstr(u"third").Get()), E_ACCESSDENIED);
    const std::optional<CErrorInfo> info = TakeErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->m_strDescription, u"the note store is locked");
    EXPECT_EQ(info->m_iid, IID_IHostAppointment);
    CBstr text;
    ASSERT_EQ(pFirst->GetNote(text.Put()), S_OK);
    EXPECT_EQ(text.View(), u"first");
    for (IHostAppointment* p : {pFirst.Get(), pSecond.Get(), pFirst.Get()}) {
        EXPECT_EQ(p->GetCategory(text.Put()), E_UNEXPECTED);
        EXPECT_EQ(TakeDescription(), "no categories");
    }
}

} // namespace
