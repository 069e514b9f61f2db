// The operations against the stand-in host: importing 20,000 rows into a datebook of
// 20,000 appointments with "Skip Duplicates" on and off, the simple and full export of
// 100,000 appointments to CSV, and the count over 10,000 repeating appointments.
#include "bench/BenchSupport.h"
#include "desktop/CalendarDay.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "engine/CountAppointments.h"
#include "engine/Export.h"
#include "engine/Import.h"
#include "fields/FieldLayout.h"
#include "formats/FileFormat.h"
#include "formats/FormatSelection.h"
#include "model/Appointment.h"
#include "platform/locale/LocalTime.h"
#include "settings/Options.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

HOSTTIME At(int nDay, int nHour = 0, int nMinute = 0) {
    const desktop::CCivilDate d = desktop::DateFromDay(nDay);
    return static_cast<HOSTTIME>(*MakeLocalTime(d.m_nYear, d.m_nMonth, d.m_nDay, nHour, nMinute));
}

// The first day of the default export range (today 2026-12-05 minus 10 days) and its
// length in days.
const int kRangeStart = desktop::DayFromDate(2026, 11, 25);
constexpr int kRangeDays = 41;

// n appointments inside the export range, a tenth of them weekly for three weeks (or all
// of them weekly without end).
std::string SeedDatebook(const std::string& name, int nCount, bool bAllRepeating) {
    const std::string folder = BenchPath(name);
    if (fs::exists(folder + "/datebook.db"))
        return folder;
    CDatebookStore store(folder);
    const std::int64_t nUser = store.CurrentUser().m_nId;
    std::vector<CStoredAppointment> batch;
    for (int i = 0; i < nCount; ++i) {
        CStoredAppointment a;
        const int nDay = kRangeStart + i % kRangeDays;
        a.m_tStart = At(nDay, 8 + i % 10, (i % 4) * 15);
        a.m_tEnd = a.m_tStart + 3600;
        a.m_strText = u"Appointment " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                      u" number " + std::u16string(i % 7 + 1, u'x');
        a.m_strNote = i % 3 == 0 ? u"A note of a few words\nand a second line" : u"";
        a.m_strCategory = i % 2 ? u"Business" : u"Personal";
        a.m_strLocation = i % 5 == 0 ? u"Room 4" : u"";
        a.m_bPrivate = i % 11 == 0;
        a.m_bAlarm = i % 4 == 0;
        if (bAllRepeating || i % 10 == 0) {
            a.m_nRepeatType = 2;
            a.m_nRepeatInterval = 1;
            a.m_nRepeatExtra = 0x2A;
            if (!bAllRepeating)
                a.m_nRepeatEndDay = nDay + 21;
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

struct CBenchOptions {
    CComPtr<IDispatch> m_pHost;
    std::unique_ptr<COptions> m_pOptions;

    explicit CBenchOptions(const std::string& folder) {
        CDesktopHostOptions hostOptions;
        hostOptions.m_strFolder = folder;
        m_pHost = OpenDesktopHost(hostOptions);
        m_pOptions = std::make_unique<COptions>();
        m_pOptions->SetHostApplication(m_pHost.Get());
    }
    ~CBenchOptions() {
        m_pOptions.reset();
        m_pHost = nullptr;
    }
};

// ---- import

constexpr int kImportAppointments = 20000;
constexpr int kImportRows = 20000;

// A datebook of 20,000 appointments and a file of 20,000 rows in the full format: each row
// shares the text, note, location and day of an appointment but not its time, so that the
// duplicate test reaches its time comparison and every row is added in both runs.
struct CImportData {
    std::string m_strDatebook;
    std::string m_strFile;
};

const CImportData& ImportData() {
    static const CImportData data = [] {
        CImportData d;
        d.m_strDatebook = SeedDatebook("ops-import", kImportAppointments, false);
        d.m_strFile = BenchPath("ops-import.csv");
        CBenchOptions bench(d.m_strDatebook);
        COptions& options = *bench.m_pOptions;
        std::unique_ptr<CFileFormat> pFormat = OpenExportFile(d.m_strFile, options);
        (void)options.m_layout.WriteFullHeader(*pFormat);
        CAppointment a(&options);
        for (int i = 0; i < kImportRows; ++i) {
            a.Reset();
            const int nDay = kRangeStart + i % kRangeDays;
            a.SetDate(At(nDay));
            // Every row its own day and time of day, after the appointments' hours.
            const int nMinute = i / kRangeDays;
            a.SetStartTime(At(nDay, (18 + nMinute / 60) % 24, nMinute % 60));
            a.SetEndTime(a.m_tStart + 1800);
            a.m_strText = "Appointment " + std::string(1, static_cast<char>('A' + i % 26)) +
                          " number " + std::string(static_cast<std::size_t>(i % 7 + 1), 'x');
            a.m_strNote = i % 3 == 0 ? "A note of a few words\r\nand a second line" : "";
            a.m_strCategory = i % 2 ? "Business" : "Personal";
            a.m_strLocation = i % 5 == 0 ? "Room 4" : "";
            a.m_bAlarm = i % 4 == 0;
            a.m_nAlarmAdvance = 10;
            if (i % 10 == 0) {
                a.m_bRepeat = true;
                a.m_repeat.m_nType = 2;
                a.m_repeat.m_nInterval = 1;
                a.m_repeat.m_byWeekdays = 0x2A;
            }
            (void)options.m_layout.WriteFullRow(*pFormat, a);
        }
        (void)pFormat->CloseWrite();
        return d;
    }();
    return data;
}

void RunImport(benchmark::State& state, bool bSkipDuplicates) {
    const CImportData& data = ImportData();
    const std::string work = BenchPath(bSkipDuplicates ? "ops-import-skip" : "ops-import-allow");
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(work);
        fs::copy(data.m_strDatebook, work, fs::copy_options::recursive);
        {
            CBenchOptions bench(work);
            bench.m_pOptions->m_bNoDuplicates = bSkipDuplicates ? 1 : 0;
            CImportStatistics stats;
            CImportRun run;
            run.m_pStatistics = &stats;
            state.ResumeTiming();
            const int nResult = ImportFile(data.m_strFile, *bench.m_pOptions, nullptr, run);
            state.PauseTiming();
            if (nResult != 0 || stats.m_nAdded != kImportRows) {
                state.SkipWithError(("the import added " + std::to_string(stats.m_nAdded) +
                                     " rows, rejected " + std::to_string(stats.m_nRejected) +
                                     ", skipped " + std::to_string(stats.m_nDuplicates))
                                        .c_str());
                break;
            }
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kImportRows);
}

void BM_ImportSkippingDuplicates(benchmark::State& state) {
    RunImport(state, true);
}
BENCHMARK(BM_ImportSkippingDuplicates)->Iterations(2)->Unit(benchmark::kSecond);

void BM_ImportAllowingDuplicates(benchmark::State& state) {
    RunImport(state, false);
}
BENCHMARK(BM_ImportAllowingDuplicates)->Iterations(2)->Unit(benchmark::kSecond);

// ---- export and count

constexpr int kExportAppointments = 100000;

void RunExport(benchmark::State& state, bool bFull) {
    const std::string folder = SeedDatebook("ops-export", kExportAppointments, false);
    CBenchOptions bench(folder);
    COptions& options = *bench.m_pOptions;
    const std::string path = BenchPath(bFull ? "ops-export-full.csv" : "ops-export-simple.csv");
    int nRows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(path);
        state.ResumeTiming();
        nRows = bFull ? ExportFull(path, options, nullptr)
                      : ExportSimple(path, options.GetExportFrom(), options.GetExportTo(), options,
                                     nullptr);
    }
    if (nRows < kExportAppointments)
        state.SkipWithError("rows missing");
    state.SetItemsProcessed(state.iterations() * nRows);
    state.counters["rows"] = nRows;
}

void BM_ExportSimple(benchmark::State& state) {
    RunExport(state, false);
}
BENCHMARK(BM_ExportSimple)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ExportFull(benchmark::State& state) {
    RunExport(state, true);
}
BENCHMARK(BM_ExportFull)->Iterations(3)->Unit(benchmark::kMillisecond);

// 10,000 appointments repeating three times a week without end: the first 10,000
// occurrences are walked one by one, then each further series adds one.
void BM_CountRepeating(benchmark::State& state) {
    const std::string folder = SeedDatebook("ops-count", 10000, true);
    CBenchOptions bench(folder);
    COptions& options = *bench.m_pOptions;
    options.m_bFullFormat = 0;
    int nCount = 0;
    for (auto _ : state)
        nCount = numAppointments(options);
    state.counters["count"] = nCount;
}
BENCHMARK(BM_CountRepeating)->Unit(benchmark::kMillisecond);

} // namespace
