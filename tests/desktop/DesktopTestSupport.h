// Helpers of the stand-in host's tests: days and times written as text, the host's datebook
// in a few lines, and the occurrence walk that the export runs.
#pragma once

#include "desktop/CalendarDay.h"
#include "desktop/DatebookError.h"
#include "desktop/DesktopHost.h"
#include "host/HostInterfaces.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/LocalTime.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// yyyy-mm-dd as a calendar day.
inline int Day(const std::string& iso) {
    const std::optional<int> day = desktop::ParseIsoDay(iso);
    if (!day)
        throw std::invalid_argument("bad test date " + iso);
    return *day;
}

inline std::string Iso(int nDay) {
    return desktop::FormatIsoDay(nDay);
}

// Local time of the process time zone.
inline HOSTTIME At(const std::string& iso, int nHour = 0, int nMinute = 0) {
    const desktop::CCivilDate date = desktop::DateFromDay(Day(iso));
    return static_cast<HOSTTIME>(
        MakeLocalTime(date.m_nYear, date.m_nMonth, date.m_nDay, nHour, nMinute).value());
}

inline std::string IsoOf(HOSTTIME t) {
    return Iso(desktop::LocalDayOf(t));
}

inline bool IsLocalMidnight(HOSTTIME t) {
    CLocalTime local;
    return BreakDownLocal(t, local) && local.m_nHour == 0 && local.m_nMinute == 0 &&
           local.m_nSecond == 0;
}

// The description that the last failing call left, as UTF-8 (ASCII in these tests).
inline std::string TakeDescription() {
    const std::optional<CErrorInfo> info = TakeErrorInfo();
    if (!info)
        return {};
    std::string out;
    for (char16_t c : info->m_strDescription)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

inline std::u16string U16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// A fresh VARNO_HOME, TZ Europe/Berlin and the clock at 2026-12-05 12:00. The stand-in host
// reads neither regional settings nor the code page, so none are written.
class CDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pHome = std::make_unique<CTestHome>();
        SetTimeZone("Europe/Berlin");
        SetClock(2026, 12, 5, 12, 0, 0);
    }
    void TearDown() override { m_pHome.reset(); }
    [[nodiscard]] const std::string& Home() const { return m_pHome->Path(); }

private:
    std::unique_ptr<CTestHome> m_pHome;
};

// The application, the current user's datebook and, on demand, all its appointments.
struct CHostFixture {
    CComPtr<IDispatch> m_pHost;
    CComPtr<IHostApplication> m_pApp;
    CComPtr<IHostDatebook> m_pDatebook;

    explicit CHostFixture(const CDesktopHostOptions& options = {}) {
        m_pHost = OpenDesktopHost(options);
        EXPECT_EQ(m_pHost.QueryInterface(m_pApp), S_OK);
        CComPtr<IDispatch> pObject;
        EXPECT_EQ(m_pApp->GetDatebook(pObject.Put()), S_OK);
        EXPECT_EQ(pObject.QueryInterface(m_pDatebook), S_OK);
    }

    // Everything the program's fixed bounds select.
    CComPtr<IHostAppointmentList> All() const { return List(At("1970-01-02"), At("2031-12-31")); }

    CComPtr<IHostAppointmentList> List(HOSTTIME tFrom, HOSTTIME tTo) const {
        CComPtr<IHostAppointmentList> pList;
        EXPECT_EQ(m_pDatebook->GetAppointments(tFrom, tTo, pList.Put()), S_OK);
        return pList;
    }

    CComPtr<IHostAppointment> Add(HOSTTIME tStart, HOSTTIME tEnd, std::string_view text) const {
        CBstr bstr(U16(text));
        CComPtr<IHostAppointment> p;
        EXPECT_EQ(m_pDatebook->AddAppointment(tStart, tEnd, bstr.Get(), p.Put()), S_OK)
            << TakeDescription();
        return p;
    }

    CComPtr<IHostAppointment> AddUntimed(const std::string& iso, std::string_view text) const {
        CComPtr<IHostAppointment> p = Add(At(iso), At(iso), text);
        EXPECT_EQ(p->SetUntimed(TRUE), S_OK);
        return p;
    }
};

inline LONG CountOf(IHostAppointmentList* pList) {
    LONG n = -1;
    EXPECT_EQ(pList->GetCount(&n), S_OK);
    return n;
}

inline CComPtr<IHostAppointment> ItemOf(IHostAppointmentList* pList, LONG i) {
    CComPtr<IHostAppointment> p;
    EXPECT_EQ(pList->Item(i, p.Put()), S_OK);
    return p;
}

inline LONG IdOf(IHostAppointment* p) {
    LONG n = 0;
    EXPECT_EQ(p->GetRecordId(&n), S_OK);
    return n;
}

inline std::string TextOf(IHostAppointment* p) {
    CBstr text;
    EXPECT_EQ(p->GetText(text.Put()), S_OK);
    std::string out;
    for (char16_t c : text.View())
        out += static_cast<char>(c);
    return out;
}

// The occurrences in [from, to] as the export walks them: GetFirstOccurrence, then
// GetNextOccurrence until found is clear. Checks the protocol on the way: every occurrence at
// a local midnight, in order, each once, and found staying clear after the end.
inline std::vector<std::string> Walk(IHostAppointment* p, HOSTTIME tFrom, HOSTTIME tTo) {
    std::vector<std::string> days;
    HOSTTIME tPosition = 0;
    BOOL bFound = FALSE;
    EXPECT_EQ(p->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound), S_OK);
    HOSTTIME tPrevious = 0;
    for (int nGuard = 0; bFound; ++nGuard) {
        if (nGuard > 30000) {
            ADD_FAILURE() << "the walk does not end";
            break;
        }
        HOSTTIME tOccurrence = 0;
        EXPECT_EQ(p->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound), S_OK);
        if (!bFound) {
            EXPECT_EQ(tOccurrence, 0);
            break;
        }
        EXPECT_TRUE(IsLocalMidnight(tOccurrence)) << tOccurrence;
        EXPECT_GT(tOccurrence, tPrevious);
        tPrevious = tOccurrence;
        days.push_back(IsoOf(tOccurrence));
    }
    // Asking again after the end keeps answering "none".
    for (int i = 0; i < 3; ++i) {
        HOSTTIME tOccurrence = 123;
        bFound = TRUE;
        EXPECT_EQ(p->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound), S_OK);
        EXPECT_FALSE(bFound);
    }
    return days;
}

inline std::vector<std::string> Days(std::initializer_list<const char*> days) {
    return std::vector<std::string>(days.begin(), days.end());
}
