// The host objects as the program uses them: interfaces and their identity, every value
// stored and read back across a reopen, the checks that refuse what the datebook cannot
// keep, list snapshots, deleting, the occurrence walk and the test controls.
#include "desktop/DatebookStore.h"
#include "desktop/UnicodeText.h"
#include "tests/desktop/DesktopTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class DesktopHost : public CDesktopTest {};

CBstr Text(std::u16string_view text) {
    return CBstr(text);
}

// Part of the import's store sequence: every value of an appointment.
void StoreDetails(IHostAppointment* p) {
    ASSERT_EQ(p->SetUntimed(FALSE), S_OK);
    ASSERT_EQ(p->SetPrivate(TRUE), S_OK);
    CBstr note = Text(u"first line\r\nsecond line \u00e4\u20ac");
    ASSERT_EQ(p->SetNote(note.Get()), S_OK);
    ASSERT_EQ(p->SetAlarm(TRUE), S_OK);
    ASSERT_EQ(p->SetAlarmAdvance(1, 2), S_OK);
    CComPtr<IHostAppointment> self(p);
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(self.QueryInterface(p2), S_OK);
    CBstr location = Text(u"Room 4");
    ASSERT_EQ(p2->SetLocation(location.Get()), S_OK);
    CBstr category = Text(u"Business");
    ASSERT_EQ(p->SetCategory(category.Get()), S_OK);
    ASSERT_EQ(p->SetRepeat(2, 2, At("2024-06-30"), 0x02 | 0x08), S_OK);
    ASSERT_EQ(p->AddException(At("2024-01-15")), S_OK);
}

TEST_F(DesktopHost, ObjectsAnswerTheirInterfaces) {
    CHostFixture host;
    CComPtr<IHostDatebook> pWrong;
    EXPECT_EQ(host.m_pHost.QueryInterface(pWrong), E_NOINTERFACE);
    CComPtr<IUnknown> pUnknown1;
    CComPtr<IUnknown> pUnknown2;
    EXPECT_EQ(host.m_pHost.QueryInterface(pUnknown1), S_OK);
    EXPECT_EQ(host.m_pApp.QueryInterface(pUnknown2), S_OK);
    EXPECT_EQ(pUnknown1, pUnknown2);

    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "a");
    CComPtr<IHostAppointment2> p2;
    CComPtr<IDispatch> pDispatch;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);
    ASSERT_EQ(p.QueryInterface(pDispatch), S_OK);
    CComPtr<IUnknown> pFromFirst;
    CComPtr<IUnknown> pFromSecond;
    ASSERT_EQ(p.QueryInterface(pFromFirst), S_OK);
    ASSERT_EQ(p2.QueryInterface(pFromSecond), S_OK);
    EXPECT_EQ(pFromFirst, pFromSecond);
    EXPECT_EQ(p->QueryInterface(IID_IHostAppointment2, nullptr), E_POINTER);

    // Counted references: the object lives while any is held.
    EXPECT_EQ(p->AddRef(), 6u);
    EXPECT_EQ(p->Release(), 5u);

    // Reserved slots and late binding are not offered.
    EXPECT_EQ(p->Reserved7(), E_NOTIMPL);
    UINT nCount = 7;
    EXPECT_EQ(p->GetTypeInfoCount(&nCount), E_NOTIMPL);

    CComPtr<IHostAddinCommands> pCommands;
    EXPECT_EQ(host.m_pApp->GetAddinCommands(pCommands.Put()), E_NOTIMPL);
    EXPECT_FALSE(TakeDescription().empty());
}

TEST_F(DesktopHost, ObjectsOutliveTheApplication) {
    CComPtr<IHostAppointment> p;
    {
        CHostFixture host;
        p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "kept");
    }
    CBstr note = Text(u"after the host was released");
    EXPECT_EQ(p->SetNote(note.Get()), S_OK);
    p = nullptr;
    CHostFixture again;
    CComPtr<IHostAppointmentList> pList = again.All();
    ASSERT_EQ(CountOf(pList.Get()), 1);
    CBstr stored;
    ASSERT_EQ(ItemOf(pList.Get(), 0)->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.View(), u"after the host was released");
}

TEST_F(DesktopHost, UserIsTheCurrentOne) {
    CDatebookStore store;
    const CDatebookUser first = store.CurrentUser();
    ASSERT_EQ(store.ListUsers().size(), 1u);
    {
        CHostFixture host;
        CComPtr<IHostUser> pUser;
        ASSERT_EQ(host.m_pApp->GetCurrentUser(pUser.Put()), S_OK);
        CBstr name;
        ASSERT_EQ(pUser->GetName(name.Put()), S_OK);
        EXPECT_EQ(desktop::Utf16ToUtf8Lenient(name.View()), first.m_strName);
        host.AddUntimed("2024-01-01", "first user's");
    }
    const CDatebookUser second = store.AddUser("Zo\xc3\xab");
    store.SetCurrentUser(second.m_nId);
    CHostFixture host;
    CComPtr<IHostUser> pUser;
    ASSERT_EQ(host.m_pApp->GetCurrentUser(pUser.Put()), S_OK);
    CBstr name;
    ASSERT_EQ(pUser->GetName(name.Put()), S_OK);
    EXPECT_EQ(name.View(), u"Zo\u00eb");
    EXPECT_EQ(CountOf(host.All().Get()), 0);
    host.AddUntimed("2024-01-02", "second user's");

    // A datebook keeps to the user that was current when it was given out.
    store.SetCurrentUser(first.m_nId);
    EXPECT_EQ(CountOf(host.All().Get()), 1);
    EXPECT_EQ(TextOf(ItemOf(host.All().Get(), 0).Get()), "second user's");
    CHostFixture firstHost;
    EXPECT_EQ(TextOf(ItemOf(firstHost.All().Get(), 0).Get()), "first user's");
}

TEST_F(DesktopHost, EveryValueIsStoredAndReadBack) {
    LONG nId = 0;
    {
        CHostFixture host;
        CComPtr<IHostAppointment> p =
            host.Add(At("2024-01-01", 23, 0), At("2024-01-02", 1, 30), "Night shift");
        StoreDetails(p.Get());
        nId = IdOf(p.Get());
        EXPECT_GT(nId, 0);
    }
    CHostFixture host;
    CComPtr<IHostAppointmentList> pList = host.All();
    ASSERT_EQ(CountOf(pList.Get()), 1);
    CComPtr<IHostAppointment> p = ItemOf(pList.Get(), 0);

    // LoadFromHost's calls, in its order.
    CBstr text;
    CBstr note;
    ASSERT_EQ(p->GetText(text.Put()), S_OK);
    ASSERT_EQ(p->GetNote(note.Put()), S_OK);
    EXPECT_EQ(text.View(), u"Night shift");
    EXPECT_EQ(note.View(), u"first line\r\nsecond line \u00e4\u20ac");
    BOOL bPrivate = FALSE;
    BOOL bUntimed = TRUE;
    ASSERT_EQ(p->GetPrivate(&bPrivate), S_OK);
    ASSERT_EQ(p->GetUntimed(&bUntimed), S_OK);
    EXPECT_TRUE(bPrivate);
    EXPECT_FALSE(bUntimed);
    EXPECT_EQ(IdOf(p.Get()), nId);
    HOSTTIME tStart = 0;
    HOSTTIME tEnd = 0;
    ASSERT_EQ(p->GetStart(&tStart), S_OK);
    ASSERT_EQ(p->GetEnd(&tEnd), S_OK);
    EXPECT_EQ(tStart, At("2024-01-01", 23, 0));
    EXPECT_EQ(tEnd, At("2024-01-02", 1, 30));
    BOOL bAlarm = FALSE;
    LONG nUnit = -1;
    LONG nAmount = -1;
    ASSERT_EQ(p->GetAlarm(&bAlarm), S_OK);
    ASSERT_EQ(p->GetAlarmAdvance(&nUnit, &nAmount), S_OK);
    EXPECT_TRUE(bAlarm);
    EXPECT_EQ(nUnit, 1);
    EXPECT_EQ(nAmount, 2);
    BOOL bRepeating = FALSE;
    ASSERT_EQ(p->GetRepeating(&bRepeating), S_OK);
    EXPECT_TRUE(bRepeating);
    LONG nType = 0;
    LONG nInterval = 0;
    HOSTTIME tRepeatEnd = 0;
    LONG nExtra = 0;
    ASSERT_EQ(p->GetRepeat(&nType, &nInterval, &tRepeatEnd, &nExtra), S_OK);
    EXPECT_EQ(nType, 2);
    EXPECT_EQ(nInterval, 2);
    EXPECT_EQ(tRepeatEnd, At("2024-06-30"));
    EXPECT_EQ(nExtra, 0x0A);
    LONG nRepeatType = 0;
    ASSERT_EQ(p->GetRepeatType(&nRepeatType), S_OK);
    EXPECT_EQ(nRepeatType, 2);
    LONG nExceptions = 0;
    ASSERT_EQ(p->GetExceptionCount(&nExceptions), S_OK);
    EXPECT_EQ(nExceptions, 1);
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);
    CBstr location;
    CBstr category;
    ASSERT_EQ(p2->GetLocation(location.Put()), S_OK);
    ASSERT_EQ(p->GetCategory(category.Put()), S_OK);
    EXPECT_EQ(location.View(), u"Room 4");
    EXPECT_EQ(category.View(), u"Business");
    EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2024-01-31")),
              Days({"2024-01-01", "2024-01-03", "2024-01-17", "2024-01-29", "2024-01-31"}));
}

TEST_F(DesktopHost, NewAppointmentHasPlainValues) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "");
    BOOL bFlag = TRUE;
    ASSERT_EQ(p->GetUntimed(&bFlag), S_OK);
    EXPECT_FALSE(bFlag);
    ASSERT_EQ(p->GetAlarm(&bFlag), S_OK);
    EXPECT_FALSE(bFlag);
    ASSERT_EQ(p->GetPrivate(&bFlag), S_OK);
    EXPECT_FALSE(bFlag);
    ASSERT_EQ(p->GetRepeating(&bFlag), S_OK);
    EXPECT_FALSE(bFlag);
    // Not repeating: type, interval, end and extra all 0.
    LONG nType = 9;
    LONG nInterval = 9;
    HOSTTIME tEnd = 9;
    LONG nExtra = 9;
    ASSERT_EQ(p->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), S_OK);
    EXPECT_EQ(nType, 0);
    EXPECT_EQ(nInterval, 0);
    EXPECT_EQ(tEnd, 0);
    EXPECT_EQ(nExtra, 0);
    ASSERT_EQ(p->GetRepeatType(&nType), S_OK);
    EXPECT_EQ(nType, 0);
    LONG nUnit = -1;
    LONG nAmount = -1;
    ASSERT_EQ(p->GetAlarmAdvance(&nUnit, &nAmount), S_OK);
    EXPECT_EQ(nUnit, 0);
    EXPECT_EQ(nAmount, 5);
    // Empty strings stay empty.
    CBstr text;
    ASSERT_EQ(p->GetText(text.Put()), S_OK);
    EXPECT_NE(text.Get(), nullptr);
    EXPECT_EQ(text.Length(), 0u);
    CBstr category;
    ASSERT_EQ(p->GetCategory(category.Put()), S_OK);
    EXPECT_EQ(category.Length(), 0u);
    // A null text is empty text.
    CComPtr<IHostAppointment> pNull;
    ASSERT_EQ(
        host.m_pDatebook->AddAppointment(At("2024-03-06"), At("2024-03-06"), nullptr, pNull.Put()),
        S_OK);
    EXPECT_EQ(TextOf(pNull.Get()), "");
    // The single appointment's only occurrence is its day.
    EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2031-12-31")), Days({"2024-03-05"}));
}

TEST_F(DesktopHost, UntimedMeansMidnight) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9, 15), At("2024-03-05", 10), "x");
    ASSERT_EQ(p->SetUntimed(TRUE), S_OK);
    HOSTTIME tStart = 0;
    HOSTTIME tEnd = 0;
    ASSERT_EQ(p->GetStart(&tStart), S_OK);
    ASSERT_EQ(p->GetEnd(&tEnd), S_OK);
    EXPECT_EQ(tStart, At("2024-03-05"));
    EXPECT_EQ(tEnd, At("2024-03-05"));
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);
    ASSERT_EQ(p2->SetStartEnd(At("2024-04-01", 8), At("2024-04-01", 9)), S_OK);
    ASSERT_EQ(p->GetStart(&tStart), S_OK);
    ASSERT_EQ(p->GetEnd(&tEnd), S_OK);
    EXPECT_EQ(tStart, At("2024-04-01"));
    EXPECT_EQ(tEnd, At("2024-04-01"));
    ASSERT_EQ(p->SetUntimed(FALSE), S_OK);
    ASSERT_EQ(p2->SetStartEnd(At("2024-04-02", 8), At("2024-04-02", 9)), S_OK);
    ASSERT_EQ(p->GetStart(&tStart), S_OK);
    EXPECT_EQ(tStart, At("2024-04-02", 8));
}

TEST_F(DesktopHost, RepeatRulesAreNormalised) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    LONG nType = 0;
    LONG nInterval = 0;
    HOSTTIME tEnd = -1;
    LONG nExtra = 0;
    // Interval 0 is 1; 2031-12-31 means no end; bit 7 of the weekdays has no meaning.
    ASSERT_EQ(p->SetRepeat(2, 0, At("2031-12-31"), 0x80 | 0x04), S_OK);
    ASSERT_EQ(p->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), S_OK);
    EXPECT_EQ(nType, 2);
    EXPECT_EQ(nInterval, 1);
    EXPECT_EQ(tEnd, 0);
    EXPECT_EQ(nExtra, 0x04);
    // Extra means nothing to daily, monthly by date and yearly rules.
    ASSERT_EQ(p->SetRepeat(4, 3, At("2025-03-05", 17), 77), S_OK);
    ASSERT_EQ(p->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), S_OK);
    EXPECT_EQ(nType, 4);
    EXPECT_EQ(nInterval, 3);
    EXPECT_EQ(tEnd, At("2025-03-05"));
    EXPECT_EQ(nExtra, 0);
    // The end may be the appointment's own day.
    EXPECT_EQ(p->SetRepeat(1, 1, At("2024-03-05"), 0), S_OK);
}

TEST_F(DesktopHost, BadRepeatRulesAreRefused) {
    struct {
        LONG m_nType;
        LONG m_nInterval;
        const char* m_pszEnd;
        LONG m_nExtra;
    } const cases[] = {
        {0, 1, "", 0}, {6, 1, "", 0},    {-1, 1, "", 0},          {1, 100, "", 0}, {1, -1, "", 0},
        {2, 1, "", 0}, {2, 1, "", 0x80}, {2, 1, "", 256},         {2, 1, "", -1},  {3, 1, "", 0},
        {3, 1, "", 6}, {3, 1, "", -5},   {1, 1, "2024-03-04", 0},
    };
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    ASSERT_EQ(p->SetRepeat(5, 2, 0, 0), S_OK);
    for (const auto& c : cases) {
        const HOSTTIME tEnd = *c.m_pszEnd ? At(c.m_pszEnd) : 0;
        EXPECT_EQ(p->SetRepeat(c.m_nType, c.m_nInterval, tEnd, c.m_nExtra), E_INVALIDARG)
            << c.m_nType << " " << c.m_nInterval << " " << c.m_nExtra;
        EXPECT_FALSE(TakeDescription().empty());
    }
    // Nothing of the refused rules was stored.
    CHostFixture again;
    CComPtr<IHostAppointment> pStored = ItemOf(again.All().Get(), 0);
    LONG nType = 0;
    LONG nInterval = 0;
    HOSTTIME tEnd = -1;
    LONG nExtra = -1;
    ASSERT_EQ(pStored->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), S_OK);
    EXPECT_EQ(nType, 5);
    EXPECT_EQ(nInterval, 2);
    EXPECT_EQ(tEnd, 0);
    EXPECT_EQ(nExtra, 0);
}

TEST_F(DesktopHost, ValuesTheDatebookCannotKeepAreRefused) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    CComPtr<IHostAppointment2> p2;
    ASSERT_EQ(p.QueryInterface(p2), S_OK);

    const std::u16string longest(32768, u'n');
    CBstr note = Text(longest);
    EXPECT_EQ(p->SetNote(note.Get()), S_OK);
    CBstr tooLong = Text(longest + u"n");
    EXPECT_EQ(p->SetNote(tooLong.Get()), E_INVALIDARG);
    EXPECT_NE(TakeDescription().find("32768"), std::string::npos);
    EXPECT_EQ(p->SetText(tooLong.Get()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(p2->SetLocation(tooLong.Get()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    CBstr category = Text(std::u16string(255, u'c'));
    EXPECT_EQ(p->SetCategory(category.Get()), S_OK);
    CBstr longCategory = Text(std::u16string(256, u'c'));
    EXPECT_EQ(p->SetCategory(longCategory.Get()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());

    // An unpaired surrogate is no character.
    const char16_t lone[] = {u'a', 0xD800, u'b'};
    CBstr broken = Text(std::u16string_view(lone, 3));
    EXPECT_EQ(p->SetText(broken.Get()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    CComPtr<IHostAppointment> pNone;
    EXPECT_EQ(host.m_pDatebook->AddAppointment(At("2024-03-05"), At("2024-03-05"), broken.Get(),
                                               pNone.Put()),
              E_INVALIDARG);
    EXPECT_FALSE(pNone);
    EXPECT_FALSE(TakeDescription().empty());

    // Times: the end not before the start, the start day within 1904..2031.
    EXPECT_EQ(host.m_pDatebook->AddAppointment(At("2024-03-05", 10), At("2024-03-05", 9), nullptr,
                                               pNone.Put()),
              E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(
        host.m_pDatebook->AddAppointment(At("2032-01-01"), At("2032-01-01"), nullptr, pNone.Put()),
        E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(p2->SetStartEnd(At("1903-12-31"), At("1903-12-31", 1)), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(host.m_pDatebook->AddAppointment(At("2031-12-31", 23), At("2032-01-01", 1), nullptr,
                                               pNone.Put()),
              S_OK);

    // Alarm units 0..2, advances not negative.
    EXPECT_EQ(p->SetAlarmAdvance(3, 1), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(p->SetAlarmAdvance(0, -1), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());

    // Out pointers are needed.
    EXPECT_EQ(p->GetStart(nullptr), E_POINTER);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(host.m_pDatebook->GetAppointments(0, 0, nullptr), E_POINTER);
    EXPECT_FALSE(TakeDescription().empty());

    // None of it reached the store.
    CHostFixture again;
    CComPtr<IHostAppointment> pStored = ItemOf(again.All().Get(), 0);
    CBstr stored;
    ASSERT_EQ(pStored->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.Length(), 32768u);
    EXPECT_EQ(TextOf(pStored.Get()), "x");
}

TEST_F(DesktopHost, UnicodeTextRoundTrips) {
    const std::u16string text = u"\u00c4rger \U0001F600 \u4e2d\u6587 \t tab";
    const char16_t withNul[] = {u'a', 0, u'b'};
    {
        CHostFixture host;
        CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "");
        CBstr bstr = Text(text);
        ASSERT_EQ(p->SetText(bstr.Get()), S_OK);
        CBstr nul = Text(std::u16string_view(withNul, 3));
        ASSERT_EQ(p->SetNote(nul.Get()), S_OK);
    }
    CHostFixture host;
    CComPtr<IHostAppointment> p = ItemOf(host.All().Get(), 0);
    CBstr stored;
    ASSERT_EQ(p->GetText(stored.Put()), S_OK);
    EXPECT_EQ(stored.View(), text);
    ASSERT_EQ(p->GetNote(stored.Put()), S_OK);
    EXPECT_EQ(stored.View(), std::u16string_view(withNul, 3));
}

TEST_F(DesktopHost, RecordsAreFoundByIdOfTheirOwnUser) {
    CHostFixture host;
    const LONG nId = IdOf(host.AddUntimed("2024-01-01", "mine").Get());
    CComPtr<IHostAppointment> pFound;
    ASSERT_EQ(host.m_pDatebook->GetAppointmentById(nId, pFound.Put()), S_OK);
    EXPECT_EQ(TextOf(pFound.Get()), "mine");

    for (const LONG nMissing : {0, -1, nId + 1, 2147483647}) {
        CComPtr<IHostAppointment> pNone;
        EXPECT_TRUE(FAILED(host.m_pDatebook->GetAppointmentById(nMissing, pNone.Put())));
        EXPECT_FALSE(pNone);
        EXPECT_NE(TakeDescription().find(std::to_string(nMissing)), std::string::npos);
    }

    // Another user's record is not this user's.
    CDatebookStore store;
    const CDatebookUser other = store.AddUser("other");
    store.SetCurrentUser(other.m_nId);
    CHostFixture otherHost;
    CComPtr<IHostAppointment> pNone;
    EXPECT_TRUE(FAILED(otherHost.m_pDatebook->GetAppointmentById(nId, pNone.Put())));
    EXPECT_NE(TakeDescription().find(std::to_string(nId)), std::string::npos);

    // Nor is a deleted one.
    ASSERT_EQ(pFound->Delete(0), S_OK);
    EXPECT_TRUE(FAILED(host.m_pDatebook->GetAppointmentById(nId, pNone.Put())));
    EXPECT_NE(TakeDescription().find(std::to_string(nId)), std::string::npos);
}

TEST_F(DesktopHost, ListsHoldTheDaysOfTheirRange) {
    CHostFixture host;
    host.Add(At("2024-03-10", 12), At("2024-03-10", 13), "noon 10th");
    host.Add(At("2024-03-10", 8), At("2024-03-10", 9), "morning 10th");
    host.AddUntimed("2024-03-10", "all day 10th");
    host.Add(At("2024-03-10", 8), At("2024-03-10", 8, 30), "second at 8");
    host.Add(At("2024-03-09", 23, 30), At("2024-03-10", 0, 30), "overnight from the 9th");
    host.Add(At("2024-03-20", 23, 59), At("2024-03-20", 23, 59), "last minute of the 20th");
    host.Add(At("2024-03-21"), At("2024-03-21"), "21st");
    CComPtr<IHostAppointment> pSeries = host.AddUntimed("2024-01-01", "weekly to 10 March");
    ASSERT_EQ(pSeries->SetRepeat(2, 1, At("2024-03-10"), 0x02), S_OK);
    CComPtr<IHostAppointment> pEnded = host.AddUntimed("2024-01-01", "daily to 9 March");
    ASSERT_EQ(pEnded->SetRepeat(1, 1, At("2024-03-09"), 0), S_OK);
    CComPtr<IHostAppointment> pLater = host.AddUntimed("2024-03-21", "monthly from the 21st");
    ASSERT_EQ(pLater->SetRepeat(4, 1, 0, 0), S_OK);

    // Only the days of from and to count, not their times.
    CComPtr<IHostAppointmentList> pList = host.List(At("2024-03-10", 18), At("2024-03-20", 6));
    std::vector<std::string> texts;
    for (LONG i = 0; i < CountOf(pList.Get()); ++i)
        texts.push_back(TextOf(ItemOf(pList.Get(), i).Get()));
    EXPECT_EQ(texts,
              std::vector<std::string>({"weekly to 10 March", "all day 10th", "morning 10th",
                                        "second at 8", "noon 10th", "last minute of the 20th"}));
    EXPECT_EQ(CountOf(host.List(At("2024-03-21"), At("2024-03-10")).Get()), 0);
    EXPECT_EQ(CountOf(host.All().Get()), 10);

    CComPtr<IHostAppointment> pBad;
    EXPECT_EQ(pList->Item(CountOf(pList.Get()), pBad.Put()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
    EXPECT_EQ(pList->Item(-1, pBad.Put()), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
}

TEST_F(DesktopHost, ListBoundsAreLocalDaysInEveryZone) {
    for (const char* pszZone :
         {"Pacific/Kiritimati", "Pacific/Pago_Pago", "America/St_Johns", "Asia/Kathmandu", "UTC"}) {
        SetTimeZone(pszZone);
        CTestHome home;
        CHostFixture host;
        host.Add(At("2024-06-09", 23, 59), At("2024-06-09", 23, 59), "before");
        host.Add(At("2024-06-10"), At("2024-06-10"), "first");
        host.Add(At("2024-06-20", 23, 59), At("2024-06-20", 23, 59), "last");
        host.Add(At("2024-06-21"), At("2024-06-21", 1), "after");
        host.AddUntimed("2023-06-21", "yearly, ended before")->SetRepeat(5, 1, At("2024-06-09"), 0);
        host.AddUntimed("2023-06-21", "yearly, ends on the first day")
            ->SetRepeat(5, 1, At("2024-06-10"), 0);
        CComPtr<IHostAppointmentList> pList = host.List(At("2024-06-10", 12), At("2024-06-20", 12));
        std::vector<std::string> texts;
        for (LONG i = 0; i < CountOf(pList.Get()); ++i)
            texts.push_back(TextOf(ItemOf(pList.Get(), i).Get()));
        EXPECT_EQ(texts,
                  std::vector<std::string>({"yearly, ends on the first day", "first", "last"}))
            << pszZone;
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
    ASSERT_EQ(pFound->SetUntimed(FALSE), S_OK);
    CBstr text = Text(u"new");
    ASSERT_EQ(pFound->SetText(text.Get()), S_OK);
    ASSERT_EQ(pFound->SetPrivate(FALSE), S_OK);
    CBstr note = Text(u"");
    ASSERT_EQ(pFound->SetNote(note.Get()), S_OK);
    ASSERT_EQ(pFound->SetAlarm(FALSE), S_OK);
    CBstr empty = Text(u"");
    ASSERT_EQ(p2->SetLocation(empty.Get()), S_OK);
    ASSERT_EQ(pFound->SetCategory(empty.Get()), S_OK);
    ASSERT_EQ(pFound->SetRepeat(3, 1, At("2024-12-31"), 5), S_OK);
    ASSERT_EQ(pFound->AddException(At("2024-10-31")), S_OK);

    CHostFixture again;
    CComPtr<IHostAppointment> pStored = ItemOf(again.All().Get(), 0);
    EXPECT_EQ(IdOf(pStored.Get()), nId);
    EXPECT_EQ(TextOf(pStored.Get()), "new");
    HOSTTIME tStart = 0;
    ASSERT_EQ(pStored->GetStart(&tStart), S_OK);
    EXPECT_EQ(tStart, At("2024-08-01", 14));
    BOOL bFlag = TRUE;
    ASSERT_EQ(pStored->GetAlarm(&bFlag), S_OK);
    EXPECT_FALSE(bFlag);
    CBstr category;
    ASSERT_EQ(pStored->GetCategory(category.Put()), S_OK);
    EXPECT_EQ(category.Length(), 0u);
    LONG nExceptions = 0;
    ASSERT_EQ(pStored->GetExceptionCount(&nExceptions), S_OK);
    EXPECT_EQ(nExceptions, 2); // the old one stays
    // The last Thursday of each month from August to December, less the exception.
    EXPECT_EQ(Walk(pStored.Get(), At("2024-01-01"), At("2031-12-31")),
              Days({"2024-08-29", "2024-09-26", "2024-11-28", "2024-12-26"}));
}

TEST_F(DesktopHost, ListIsASnapshot) {
    CHostFixture host;
    for (int i = 0; i < 5; ++i)
        host.Add(At("2024-05-01", 8 + i), At("2024-05-01", 9 + i), "item " + std::to_string(i));
    CComPtr<IHostAppointmentList> pList = host.All();
    ASSERT_EQ(CountOf(pList.Get()), 5);

    // The removal walk: delete, archive and change while going on by index.
    ASSERT_EQ(ItemOf(pList.Get(), 0)->Delete(0), S_OK);
    ASSERT_EQ(ItemOf(pList.Get(), 1)->Delete(1), S_OK);
    host.Add(At("2024-04-01", 8), At("2024-04-01", 9), "added later");
    CBstr note = Text(u"changed");
    ASSERT_EQ(ItemOf(pList.Get(), 2)->SetNote(note.Get()), S_OK);
    EXPECT_EQ(CountOf(pList.Get()), 5);
    for (LONG i = 0; i < 5; ++i)
        EXPECT_EQ(TextOf(ItemOf(pList.Get(), i).Get()), "item " + std::to_string(i));
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
    CComPtr<IHostAppointmentList> pNew = host.All();
    std::vector<std::string> texts;
    for (LONG i = 0; i < CountOf(pNew.Get()); ++i)
        texts.push_back(TextOf(ItemOf(pNew.Get(), i).Get()));
    EXPECT_EQ(texts, std::vector<std::string>({"added later", "item 2", "item 3", "item 4"}));
}

TEST_F(DesktopHost, ExceptionsAreDays) {
    CHostFixture host;
    CComPtr<IHostAppointment> pSingle = host.AddUntimed("2024-01-01", "single");
    EXPECT_EQ(pSingle->AddException(At("2024-01-01")), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());

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
              Days({"2024-01-01", "2024-01-03", "2024-01-05"}));
    EXPECT_EQ(p->AddException(At("2032-01-01")), E_INVALIDARG);
    EXPECT_FALSE(TakeDescription().empty());
}

TEST_F(DesktopHost, RemoveAllTurnsOccurrencesIntoExceptions) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.AddUntimed("2024-01-01", "weekly");
    ASSERT_EQ(p->SetRepeat(2, 1, 0, 0x02), S_OK);
    const HOSTTIME tFrom = At("2024-01-08");
    const HOSTTIME tTo = At("2024-01-31", 23, 59);
    // The removal walk adds an exception at each occurrence while it walks.
    HOSTTIME tPosition = 0;
    BOOL bFound = FALSE;
    int nRemoved = 0;
    ASSERT_EQ(p->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound), S_OK);
    while (bFound) {
        HOSTTIME tDay = 0;
        ASSERT_EQ(p->GetNextOccurrence(&tPosition, tTo, &tDay, &bFound), S_OK);
        if (!bFound)
            break;
        ASSERT_EQ(p->AddException(tDay), S_OK);
        ++nRemoved;
    }
    EXPECT_EQ(nRemoved, 4);
    EXPECT_EQ(Walk(p.Get(), At("2024-01-01"), At("2024-02-12")),
              Days({"2024-01-01", "2024-02-05", "2024-02-12"}));
}

TEST_F(DesktopHost, WalkWithoutOccurrencesStaysEnded) {
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.AddUntimed("2024-01-01", "monthly");
    ASSERT_EQ(p->SetRepeat(4, 1, 0, 0), S_OK);
    HOSTTIME tPosition = 0;
    BOOL bFound = TRUE;
    ASSERT_EQ(p->GetFirstOccurrence(At("2024-01-02"), At("2024-01-31"), &tPosition, &bFound), S_OK);
    EXPECT_FALSE(bFound);
    for (int i = 0; i < 3; ++i) {
        HOSTTIME tDay = 1;
        bFound = TRUE;
        ASSERT_EQ(p->GetNextOccurrence(&tPosition, At("2024-01-31"), &tDay, &bFound), S_OK);
        EXPECT_FALSE(bFound);
        EXPECT_EQ(tDay, 0);
    }
    // The archive walk to the datebook's last day ends too.
    EXPECT_EQ(Walk(p.Get(), At("2031-12-01"), At("2031-12-31")), Days({"2031-12-01"}));
}

TEST_F(DesktopHost, DaylightSavingKeepsTheDays) {
    // 2018-11-04 had no midnight in Sao Paulo: the clocks went from 00:00 to 01:00.
    SetTimeZone("America/Sao_Paulo");
    CHostFixture host;
    CComPtr<IHostAppointment> p = host.AddUntimed("2018-11-04", "untimed on the short day");
    HOSTTIME tStart = 0;
    ASSERT_EQ(p->GetStart(&tStart), S_OK);
    EXPECT_EQ(IsoOf(tStart), "2018-11-04");
    CComPtr<IHostAppointment> pDaily = host.Add(At("2018-11-01", 7), At("2018-11-01", 8), "d");
    ASSERT_EQ(pDaily->SetRepeat(1, 1, 0, 0), S_OK);
    ASSERT_EQ(pDaily->AddException(At("2018-11-04", 12)), S_OK);
    EXPECT_EQ(Walk(pDaily.Get(), At("2018-11-02"), At("2018-11-06")),
              Days({"2018-11-02", "2018-11-03", "2018-11-05", "2018-11-06"}));
    ASSERT_EQ(pDaily->SetRepeat(1, 1, At("2018-11-04"), 0), S_OK);
    EXPECT_EQ(CountOf(host.List(At("2018-11-05"), At("2018-11-30")).Get()), 0);

    SetTimeZone("Europe/Berlin");
    CHostFixture berlin;
    CComPtr<IHostAppointment> pWeekly =
        berlin.Add(At("2024-03-24", 2, 30), At("2024-03-24", 3), "over both changes");
    ASSERT_EQ(pWeekly->SetRepeat(2, 1, 0, 0x01), S_OK);
    EXPECT_EQ(Walk(pWeekly.Get(), At("2024-03-24"), At("2024-04-07")),
              Days({"2024-03-24", "2024-03-31", "2024-04-07"}));
    EXPECT_EQ(Walk(pWeekly.Get(), At("2024-10-20"), At("2024-11-03")),
              Days({"2024-10-20", "2024-10-27", "2024-11-03"}));
}

TEST_F(DesktopHost, SecondInterfaceCanBeLeftOut) {
    CDesktopHostOptions options;
    options.m_bOmitAppointment2 = true;
    CHostFixture host(options);
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    CComPtr<IHostAppointment2> p2;
    EXPECT_EQ(p.QueryInterface(p2), E_NOINTERFACE);
    EXPECT_FALSE(p2);
    CComPtr<IHostAppointment> pAgain;
    EXPECT_EQ(p.QueryInterface(pAgain), S_OK);
    EXPECT_EQ(CountOf(host.All().Get()), 1);
    // Off unless asked for.
    CHostFixture plain;
    EXPECT_EQ(ItemOf(plain.All().Get(), 0).QueryInterface(p2), S_OK);
}

TEST_F(DesktopHost, ChosenCallsFail) {
    CDesktopHostOptions options;
    options.m_vecFaults.push_back({"SetNote", 2, E_ACCESSDENIED, "the note store is locked"});
    options.m_vecFaults.push_back({"GetCategory", 0, E_UNEXPECTED, "no categories"});
    options.m_vecFaults.push_back({"QueryInterface", 1, E_FAIL, "query failed"});
    options.m_vecFaults.push_back({"AddAppointment", 3, E_OUTOFMEMORY, "full"});
    CHostFixture host(options);
    CComPtr<IHostAppointment> p = host.Add(At("2024-03-05", 9), At("2024-03-05", 10), "x");
    CBstr first = Text(u"first");
    CBstr second = Text(u"second");
    CBstr third = Text(u"third");
    EXPECT_EQ(p->SetNote(first.Get()), S_OK);
    EXPECT_EQ(p->SetNote(second.Get()), E_ACCESSDENIED);
    const std::optional<CErrorInfo> info = TakeErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->m_strDescription, u"the note store is locked");
    EXPECT_EQ(info->m_iid, IID_IHostAppointment);
    CBstr note;
    ASSERT_EQ(p->GetNote(note.Put()), S_OK);
    EXPECT_EQ(note.View(), u"first"); // the failed call did nothing
    EXPECT_EQ(p->SetNote(third.Get()), S_OK);

    CBstr category;
    EXPECT_EQ(p->GetCategory(category.Put()), E_UNEXPECTED);
    EXPECT_EQ(p->GetCategory(category.Put()), E_UNEXPECTED);
    EXPECT_EQ(TakeDescription(), "no categories");

    CComPtr<IHostAppointment2> p2;
    EXPECT_EQ(p.QueryInterface(p2), E_FAIL);
    EXPECT_EQ(TakeDescription(), "query failed");
    EXPECT_EQ(p.QueryInterface(p2), S_OK);

    host.Add(At("2024-03-06", 9), At("2024-03-06", 10), "second add");
    CComPtr<IHostAppointment> pNone;
    CBstr text = Text(u"third add");
    EXPECT_EQ(host.m_pDatebook->AddAppointment(At("2024-03-07"), At("2024-03-07"), text.Get(),
                                               pNone.Put()),
              E_OUTOFMEMORY);
    EXPECT_EQ(TakeDescription(), "full");
    EXPECT_EQ(CountOf(host.All().Get()), 2);
}

TEST_F(DesktopHost, FaultsCountAcrossObjects) {
    CDesktopHostOptions options;
    options.m_vecFaults.push_back({"Item", 3, E_FAIL, "third item"});
    CHostFixture host(options);
    for (int i = 0; i < 3; ++i)
        host.AddUntimed("2024-03-0" + std::to_string(i + 1), "x");
    CComPtr<IHostAppointmentList> pFirst = host.All();
    CComPtr<IHostAppointmentList> pSecond = host.All();
    CComPtr<IHostAppointment> p;
    EXPECT_EQ(pFirst->Item(0, p.Put()), S_OK);
    EXPECT_EQ(pSecond->Item(0, p.Put()), S_OK);
    EXPECT_EQ(pFirst->Item(1, p.Put()), E_FAIL);
    EXPECT_EQ(TakeDescription(), "third item");
    EXPECT_EQ(pFirst->Item(1, p.Put()), S_OK);
}

TEST_F(DesktopHost, UnopenableDatebookIsReported) {
    const std::string folder = Home() + "/not-a-datebook";
    ::mkdir(folder.c_str(), 0700);
    WriteFileBytes(folder + "/datebook.db", std::string(4096, 'x'));
    CDesktopHostOptions options;
    options.m_strFolder = folder;
    try {
        (void)OpenDesktopHost(options);
        ADD_FAILURE() << "opened a file that is not a datebook";
    } catch (const CDatebookError& e) {
        EXPECT_EQ(e.Kind(), EDatebookError::Storage);
        EXPECT_NE(std::string(e.what()).find("datebook.db"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(folder + "/datebook.db"), std::string(4096, 'x'));
}

} // namespace
