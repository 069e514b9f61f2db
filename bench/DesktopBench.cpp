// The stand-in host datebook: loading every field of 100,000 appointments through the host
// interfaces, adding appointments (alone, and with the setters an import calls), and
// expanding a year of occurrences of 10,000 repeating appointments.
#include "bench/BenchSupport.h"
#include "desktop/CalendarDay.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "host/HostInterfaces.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/locale/LocalTime.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

HOSTTIME LocalTime(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0) {
    return static_cast<HOSTTIME>(*MakeLocalTime(nYear, nMonth, nDay, nHour, nMinute));
}

// n appointments over 2020..2029, a tenth of them repeating with a few exceptions.
std::string SeedDatebook(const std::string& name, int nCount, bool bAllRepeating) {
    const std::string folder = BenchPath(name);
    if (std::filesystem::exists(folder + "/datebook.db"))
        return folder;
    CDatebookStore store(folder);
    const std::int64_t nUser = store.CurrentUser().m_nId;
    std::vector<CStoredAppointment> batch;
    for (int i = 0; i < nCount; ++i) {
        CStoredAppointment a;
        const int nDay = desktop::DayFromDate(2020, 1, 1) + (i * 37) % 3650;
        const desktop::CCivilDate date = desktop::DateFromDay(nDay);
        a.m_tStart = LocalTime(date.m_nYear, date.m_nMonth, date.m_nDay, 8 + i % 10, (i % 4) * 15);
        a.m_tEnd = a.m_tStart + 3600;
        a.m_strText = u"Appointment number " + std::u16string(i % 7 + 1, u'x');
        a.m_strNote = i % 3 == 0 ? u"A note of a few words\nand a second line" : u"";
        a.m_strCategory = i % 2 ? u"Business" : u"Personal";
        a.m_strLocation = i % 5 == 0 ? u"Room 4" : u"";
        a.m_bPrivate = i % 11 == 0;
        a.m_bAlarm = i % 4 == 0;
        if (bAllRepeating || i % 10 == 0) {
            a.m_nRepeatType = 1 + i % 5;
            a.m_nRepeatInterval = 1 + i % 3;
            a.m_nRepeatExtra = a.m_nRepeatType == 2 ? 0x2A : a.m_nRepeatType == 3 ? 1 + i % 5 : 0;
            if (i % 3 == 0)
                a.m_vecExceptionDays = {nDay + 14, nDay + 28};
        }
        batch.push_back(std::move(a));
        if (batch.size() == 5000) {
            (void)store.AddAppointments(nUser, batch);
            batch.clear();
        }
    }
    (void)store.AddAppointments(nUser, batch);
    return folder;
}

struct CBenchHost {
    CComPtr<IHostApplication> m_pApp;
    CComPtr<IHostDatebook> m_pDatebook;

    explicit CBenchHost(const std::string& folder) {
        CDesktopHostOptions options;
        options.m_strFolder = folder;
        CComPtr<IDispatch> pHost = OpenDesktopHost(options);
        CComPtr<IDispatch> pObject;
        if (pHost.QueryInterface(m_pApp) != S_OK || m_pApp->GetDatebook(pObject.Put()) != S_OK ||
            pObject.QueryInterface(m_pDatebook) != S_OK)
            throw std::runtime_error("no datebook");
    }
};

void BM_LoadEveryField(benchmark::State& state) {
    const std::string folder = SeedDatebook("load", 100000, false);
    const HOSTTIME tFrom = LocalTime(1970, 1, 2);
    const HOSTTIME tTo = LocalTime(2031, 12, 31);
    LONG nTotal = 0;
    for (auto _ : state) {
        CBenchHost host(folder);
        CComPtr<IHostAppointmentList> pList;
        if (host.m_pDatebook->GetAppointments(tFrom, tTo, pList.Put()) != S_OK)
            state.SkipWithError("GetAppointments failed");
        LONG nCount = 0;
        (void)pList->GetCount(&nCount);
        for (LONG i = 0; i < nCount; ++i) {
            CComPtr<IHostAppointment> p;
            (void)pList->Item(i, p.Put());
            CBstr text, note, location, category;
            BOOL bFlag = FALSE;
            LONG n1 = 0, n2 = 0, n3 = 0;
            HOSTTIME t = 0;
            (void)p->GetText(text.Put());
            (void)p->GetNote(note.Put());
            (void)p->GetPrivate(&bFlag);
            (void)p->GetUntimed(&bFlag);
            (void)p->GetRecordId(&n1);
            (void)p->GetStart(&t);
            (void)p->GetEnd(&t);
            (void)p->GetAlarm(&bFlag);
            (void)p->GetAlarmAdvance(&n1, &n2);
            (void)p->GetRepeating(&bFlag);
            (void)p->GetRepeat(&n1, &n2, &t, &n3);
            (void)p->GetExceptionCount(&n1);
            CComPtr<IHostAppointment2> p2;
            if (p.QueryInterface(p2) == S_OK)
                (void)p2->GetLocation(location.Put());
            (void)p->GetCategory(category.Put());
            benchmark::DoNotOptimize(text.Get());
        }
        nTotal += nCount;
    }
    state.SetItemsProcessed(nTotal);
}
BENCHMARK(BM_LoadEveryField)->Unit(benchmark::kMillisecond);

void BM_AddAppointment(benchmark::State& state) {
    static int s_nRun = 0;
    const std::string folder = BenchPath("add-" + std::to_string(++s_nRun));
    CBenchHost host(folder);
    const HOSTTIME tBase = LocalTime(2024, 1, 1, 9);
    CBstr text(u"Added appointment");
    int i = 0;
    for (auto _ : state) {
        const HOSTTIME tStart = tBase + 86400 * (i++ % 2000);
        CComPtr<IHostAppointment> p;
        if (host.m_pDatebook->AddAppointment(tStart, tStart + 1800, text.Get(), p.Put()) != S_OK)
            state.SkipWithError("AddAppointment failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddAppointment)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// AddAppointment and the setters an import calls for each new appointment.
void BM_AddAppointmentAsImport(benchmark::State& state) {
    static int s_nRun = 0;
    const std::string folder = BenchPath("import-" + std::to_string(++s_nRun));
    CBenchHost host(folder);
    const HOSTTIME tBase = LocalTime(2024, 1, 1, 9);
    CBstr text(u"Imported appointment");
    CBstr note(u"A note from the file");
    CBstr location(u"Room 4");
    CBstr category(u"Business");
    int i = 0;
    for (auto _ : state) {
        const HOSTTIME tStart = tBase + 86400 * (i++ % 2000);
        CComPtr<IHostAppointment> p;
        HRESULT hr = host.m_pDatebook->AddAppointment(tStart, tStart + 1800, text.Get(), p.Put());
        CComPtr<IHostAppointment2> p2;
        if (hr == S_OK && p->SetUntimed(FALSE) == S_OK && p->SetPrivate(FALSE) == S_OK &&
            p->SetNote(note.Get()) == S_OK && p->SetAlarm(TRUE) == S_OK &&
            p->SetAlarmAdvance(0, 10) == S_OK && p.QueryInterface(p2) == S_OK &&
            p2->SetLocation(location.Get()) == S_OK && p->SetCategory(category.Get()) == S_OK &&
            (i % 10 != 0 || p->SetRepeat(2, 1, 0, 0x2A) == S_OK))
            continue;
        state.SkipWithError("storing failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddAppointmentAsImport)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void BM_ExpandOccurrencesOfAYear(benchmark::State& state) {
    const std::string folder = SeedDatebook("expand", 10000, true);
    const HOSTTIME tFrom = LocalTime(2025, 1, 1);
    const HOSTTIME tTo = LocalTime(2025, 12, 31, 23, 59);
    std::int64_t nOccurrences = 0;
    for (auto _ : state) {
        CBenchHost host(folder);
        CComPtr<IHostAppointmentList> pList;
        (void)host.m_pDatebook->GetAppointments(LocalTime(1970, 1, 2), LocalTime(2031, 12, 31),
                                                pList.Put());
        LONG nCount = 0;
        (void)pList->GetCount(&nCount);
        for (LONG i = 0; i < nCount; ++i) {
            CComPtr<IHostAppointment> p;
            (void)pList->Item(i, p.Put());
            HOSTTIME tPosition = 0;
            BOOL bFound = FALSE;
            (void)p->GetFirstOccurrence(tFrom, tTo, &tPosition, &bFound);
            while (bFound) {
                HOSTTIME tDay = 0;
                if (p->GetNextOccurrence(&tPosition, tTo, &tDay, &bFound) != S_OK || !bFound)
                    break;
                ++nOccurrences;
            }
        }
    }
    state.SetItemsProcessed(nOccurrences);
    state.counters["occurrences"] =
        benchmark::Counter(static_cast<double>(nOccurrences), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ExpandOccurrencesOfAYear)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The list alone, as the import's duplicate test asks for it once per file row.
void BM_ListAll(benchmark::State& state) {
    const std::string folder = SeedDatebook("load", 100000, false);
    CBenchHost host(folder);
    const HOSTTIME tFrom = LocalTime(1970, 1, 2);
    const HOSTTIME tTo = LocalTime(2031, 12, 31);
    for (auto _ : state) {
        CComPtr<IHostAppointmentList> pList;
        if (host.m_pDatebook->GetAppointments(tFrom, tTo, pList.Put()) != S_OK)
            state.SkipWithError("GetAppointments failed");
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ListAll)->Unit(benchmark::kMillisecond);

} // namespace
