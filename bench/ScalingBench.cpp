// Costs that must grow linearly with the datebook, measured at growing sizes with the
// fitted complexity reported (O(N) expected): the duplicate index of an import (every row
// looked up, then added; every record replaced under its id), the exception days of a long
// series read back through the host (a walk that stops at the last exception), the shared
// string table of a workbook, a sheet's cells saved and read back, and a walk over every
// appointment of a datebook.
#include "bench/BenchSupport.h"
#include "desktop/CalendarDay.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "engine/DuplicateIndex.h"
#include "host/HostStore.h"
#include "model/DateText.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComPtr.h"
#include "platform/locale/LocalTime.h"
#include "platform/spreadsheet/ByteWriter.h"
#include "platform/spreadsheet/SharedStrings.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// n rows of an import file, each a new appointment: as many distinct days and texts as a
// real datebook has, many rows sharing a day.
void BM_DuplicateIndexLookupAndAdd(benchmark::State& state) {
    const int nRows = static_cast<int>(state.range(0));
    COptions options;
    std::vector<std::unique_ptr<CAppointment>> rows;
    rows.reserve(static_cast<std::size_t>(nRows));
    for (int i = 0; i < nRows; ++i) {
        auto p = std::make_unique<CAppointment>(&options);
        MakeSampleAppointment(*p, i);
        p->m_tDate = MakeLocalTimeValue(2000 + i % 30, 1 + i % 12, 1 + i % 28);
        rows.push_back(std::move(p));
    }
    for (auto _ : state) {
        CDuplicateIndex index(&options);
        int nDuplicates = 0;
        for (const auto& p : rows) {
            nDuplicates += index.Contains(*p) ? 1 : 0;
            index.Put(*p, 0);
        }
        benchmark::DoNotOptimize(nDuplicates);
    }
    state.SetComplexityN(state.range(0));
    CountRowsPerSecond(state, nRows);
}
BENCHMARK(BM_DuplicateIndexLookupAndAdd)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// n records stored under their ids, then every one stored again with another text (an
// import that updates what it added): each replacement removes the old entry from both
// tables and leaves its texts behind until they are compacted.
void BM_DuplicateIndexReplaceById(benchmark::State& state) {
    const int nRows = static_cast<int>(state.range(0));
    COptions options;
    CAppointment row(&options);
    for (auto _ : state) {
        CDuplicateIndex index(&options);
        for (int nRound = 0; nRound < 2; ++nRound) {
            for (int i = 0; i < nRows; ++i) {
                MakeSampleAppointment(row, i);
                row.m_tDate = MakeLocalTimeValue(2000 + i % 30, 1 + i % 12, 1 + i % 28);
                row.m_strText += nRound == 0 ? " first" : " second";
                index.Put(row, i + 1);
            }
        }
        benchmark::DoNotOptimize(index.Size());
    }
    state.SetComplexityN(state.range(0));
    CountRowsPerSecond(state, 2 * nRows);
}
BENCHMARK(BM_DuplicateIndexReplaceById)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A daily series from 1990 to 2031 with n removed occurrences spread over its whole length:
// reading its exception days walks the series up to the last of them once, whatever
// their number (the time stays flat from 1 to 1,000).
void BM_ExceptionDaysOfALongSeries(benchmark::State& state) {
    const int nExceptions = static_cast<int>(state.range(0));
    const std::string folder = BenchPath("exceptions-" + std::to_string(nExceptions));
    std::filesystem::remove_all(folder);
    const int nStart = desktop::DayFromDate(1990, 1, 1);
    const int nSpan = desktop::DayFromDate(2031, 12, 1) - nStart;
    {
        CDatebookStore store(folder);
        CStoredAppointment a;
        a.m_tStart = static_cast<HOSTTIME>(*MakeLocalTime(1990, 1, 1, 9, 0));
        a.m_tEnd = a.m_tStart + 3600;
        a.m_strText = u"Daily";
        a.m_nRepeatType = 1;
        a.m_nRepeatInterval = 1;
        for (int k = 1; k <= nExceptions; ++k)
            a.m_vecExceptionDays.push_back(nStart +
                                           static_cast<int>(std::int64_t{nSpan} * k / nExceptions));
        (void)store.AddAppointment(store.CurrentUser().m_nId, a);
    }
    CDesktopHostOptions hostOptions;
    hostOptions.m_strFolder = folder;
    CComPtr<IDispatch> pHost = OpenDesktopHost(hostOptions);
    CComPtr<IHostApplication> pApp;
    CComPtr<IDispatch> pObject;
    CComPtr<IHostDatebook> pDatebook;
    if (pHost.QueryInterface(pApp) != S_OK || pApp->GetDatebook(pObject.Put()) != S_OK ||
        pObject.QueryInterface(pDatebook) != S_OK) {
        state.SkipWithError("no datebook");
        return;
    }
    CComPtr<IHostAppointment> pItem;
    if (pDatebook->GetAppointmentById(1, pItem.Put()) != S_OK) {
        state.SkipWithError("no appointment");
        return;
    }
    for (auto _ : state) {
        const std::vector<std::int64_t> days = ReadExceptionDays(pItem.Get());
        if (days.size() != static_cast<std::size_t>(nExceptions))
            state.SkipWithError("wrong exception days");
        benchmark::DoNotOptimize(days.data());
    }
}
BENCHMARK(BM_ExceptionDaysOfALongSeries)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// n distinct texts, each used twice, into a workbook's shared string table and out.
void BM_SharedStringTable(benchmark::State& state) {
    const int nTexts = static_cast<int>(state.range(0));
    std::vector<std::u16string> texts;
    texts.reserve(static_cast<std::size_t>(nTexts));
    for (int i = 0; i < nTexts; ++i)
        texts.push_back(u"Appointment text number " +
                        std::u16string(std::to_string(i).begin(), std::to_string(i).end()));
    for (auto _ : state) {
        CSharedStrings table;
        for (int nPass = 0; nPass < 2; ++nPass)
            for (const std::u16string& text : texts)
                benchmark::DoNotOptimize(table.Add(text));
        CByteWriter out;
        table.Write(out);
        benchmark::DoNotOptimize(out.Size());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SharedStringTable)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 18)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// n rows of a sheet (a distinct text, a text shared by all rows, a number) put into the
// sheet's cells and pool, saved as .xls and read back.
void BM_SheetCellsSavedAndRead(benchmark::State& state) {
    const auto nRows = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        CXlsWorkbook wb;
        CXlsSheet& sheet = wb.m_vecSheets[0];
        for (std::uint32_t r = 0; r < nRows; ++r) {
            const std::string text = "Appointment text number " + std::to_string(r);
            CXlsCell cell;
            cell.m_kind = CXlsCell::EKind::Text;
            cell.m_strText = std::u16string(text.begin(), text.end());
            sheet.Set(r, 0, cell);
            cell.m_strText = u"Business";
            sheet.Set(r, 2, cell);
            sheet.Set(
                r, 1,
                CXlsCell{.m_kind = CXlsCell::EKind::Number, .m_dNumber = r * 0.5, .m_strText = {}});
        }
        const CXlsWorkbook back = CXlsWorkbook::LoadFromMemory(wb.SaveToMemory());
        benchmark::DoNotOptimize(back.m_vecSheets[0].Texts().Count());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SheetCellsSavedAndRead)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A datebook of n appointments in an order of starts unlike that of their ids, listed whole
// and every item's text read, as an export walks it: the listing's own window up to some
// hundred thousand appointments, windows of a table scan each beyond.
void BM_WalkWholeList(benchmark::State& state) {
    const int nCount = static_cast<int>(state.range(0));
    const std::string folder = BenchPath("walk-" + std::to_string(nCount));
    if (!std::filesystem::exists(folder + "/datebook.db")) {
        CDatebookStore store(folder);
        const std::int64_t nUser = store.CurrentUser().m_nId;
        std::vector<CStoredAppointment> batch;
        for (int i = 0; i < nCount; ++i) {
            CStoredAppointment a;
            a.m_tStart = static_cast<HOSTTIME>(*MakeLocalTime(2000, 1, 1)) +
                         static_cast<HOSTTIME>((i * 7919LL) % nCount) * 1800;
            a.m_tEnd = a.m_tStart + 3600;
            a.m_strText = u"Appointment " +
                          std::u16string(std::to_string(i).begin(), std::to_string(i).end());
            a.m_strNote = i % 2 ? u"" : u"A note of a few words and a second line of them";
            a.m_strCategory = u"Business";
            batch.push_back(std::move(a));
        }
        (void)store.AddAppointments(nUser, batch);
    }
    CDesktopHostOptions options;
    options.m_strFolder = folder;
    CComPtr<IDispatch> pHost = OpenDesktopHost(options);
    CComPtr<IHostApplication> pApp;
    CComPtr<IDispatch> pObject;
    CComPtr<IHostDatebook> pDatebook;
    if (pHost.QueryInterface(pApp) != S_OK || pApp->GetDatebook(pObject.Put()) != S_OK ||
        pObject.QueryInterface(pDatebook) != S_OK) {
        state.SkipWithError("no datebook");
        return;
    }
    const auto tFrom = static_cast<HOSTTIME>(*MakeLocalTime(1970, 1, 2));
    const auto tTo = static_cast<HOSTTIME>(*MakeLocalTime(2031, 12, 31));
    for (auto _ : state) {
        CComPtr<IHostAppointmentList> pList;
        LONG nListed = 0;
        if (pDatebook->GetAppointments(tFrom, tTo, pList.Put()) != S_OK ||
            pList->GetCount(&nListed) != S_OK || nListed != nCount) {
            state.SkipWithError("GetAppointments failed");
            break;
        }
        std::size_t nBytes = 0;
        for (LONG i = 0; i < nListed; ++i) {
            CComPtr<IHostAppointment> pItem;
            CBstr text;
            if (pList->Item(i, pItem.Put()) != S_OK || pItem->GetText(text.Put()) != S_OK) {
                state.SkipWithError("Item failed");
                break;
            }
            nBytes += text.View().size();
        }
        benchmark::DoNotOptimize(nBytes);
    }
    state.SetComplexityN(state.range(0));
    CountRowsPerSecond(state, nCount);
}
BENCHMARK(BM_WalkWholeList)
    ->RangeMultiplier(4)
    ->Range(1 << 12, 1 << 18)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
