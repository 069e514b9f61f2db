// Helpers of the stand-in host's tests: days and times written as text, the host's datebook
// in a few lines, and the occurrence walk that the export runs.
#pragma once

#include "desktop/CalendarDay.h"
#include "desktop/DatebookError.h"
#include "desktop/DesktopHost.h"
#include "desktop/UnicodeText.h"
#include "host/HostInterfaces.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/LocalTime.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

// yyyy-mm-dd as a calendar day.
inline int Day(const std::string& iso) {
    return desktop::ParseIsoDay(iso).value();
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

// Space-separated words as a list, e.g. expected days "2024-01-01 2024-01-03".
inline std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

inline std::string Utf8(std::u16string_view text) {
    return desktop::Utf16ToUtf8Lenient(text);
}

inline std::u16string U16(std::string_view utf8) {
    return desktop::Utf8ToUtf16Lenient(utf8);
}

// The description that the last failing call left, as UTF-8.
inline std::string TakeDescription() {
    const std::optional<CErrorInfo> info = TakeErrorInfo();
    return info ? Utf8(info->m_strDescription) : std::string();
}

// A fresh VARNO_HOME, TZ Europe/Berlin and the clock at 2026-12-05 12:00.
using CDesktopTest = CVarnoTest;

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
    return Utf8(text.View());
}

// The texts of a list's appointments, in its order.
inline std::vector<std::string> TextsOf(IHostAppointmentList* pList) {
    std::vector<std::string> texts;
    for (LONG i = 0; i < CountOf(pList); ++i)
        texts.push_back(TextOf(ItemOf(pList, i).Get()));
    return texts;
}

// The application, the current user's datebook and, on demand, its appointments.
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

// The occurrences in [from, to] as the export walks them: GetFirstOccurrence, then
// GetNextOccurrence until found is clear. Checks the protocol on the way: every occurrence at
// a local midnight, in order, each once, and "none" (found clear, day 0) again and again after
// the end.
inline std::vector<std::string> Walk(IHostAppointment* p, HOSTTIME tFrom, HOSTTIME tTo) {
    std::vector<std::string> days;
    HOSTTIME tPosition = 0;
    BOOL bFound = FALSE;
    EXPECT_EQ(p->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound), S_OK);
    for (HOSTTIME tPrevious = 0; bFound;) {
        if (days.size() > 30000) {
            ADD_FAILURE() << "the walk does not end";
            break;
        }
        HOSTTIME tOccurrence = 0;
        EXPECT_EQ(p->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound), S_OK);
        if (!bFound)
            break;
        EXPECT_EQ(At(IsoOf(tOccurrence)), tOccurrence) << "not at midnight";
        EXPECT_GT(tOccurrence, tPrevious);
        tPrevious = tOccurrence;
        days.push_back(IsoOf(tOccurrence));
    }
    for (int i = 0; i < 3; ++i) {
        HOSTTIME tOccurrence = 123;
        bFound = TRUE;
        EXPECT_EQ(p->GetNextOccurrence(&tPosition, tTo, &tOccurrence, &bFound), S_OK);
        EXPECT_FALSE(bFound);
        EXPECT_EQ(tOccurrence, 0);
    }
    return days;
}
