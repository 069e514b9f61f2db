// The workbook file engine alone: writing and reading the largest sheet the file format
// holds (65,536 rows: a header and 65,535 data rows) in the 13 columns of the default
// field layout. The counters give rows per second and the file size.
#include "platform/spreadsheet/XlsWorkbook.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void SetText(CXlsSheet& sheet, std::uint32_t r, std::uint32_t c, std::u16string text) {
    CXlsCell cell;
    cell.m_kind = CXlsCell::EKind::Text;
    cell.m_strText = std::move(text);
    sheet.Set(r, c, cell);
}

void SetNumber(CXlsSheet& sheet, std::uint32_t r, std::uint32_t c, double d,
               EXlsNumberFormat format) {
    CXlsCell cell;
    cell.m_kind = CXlsCell::EKind::Number;
    cell.m_dNumber = d;
    cell.m_format = format;
    sheet.Set(r, c, cell);
}

std::u16string Ascii(const std::string& s) {
    return {s.begin(), s.end()};
}

// Date, Untimed, Start Time, End Time, Private, Text, Note, Alarm, Alarm Time, Alarm Unit,
// Category, Location, Repeat.
void FillSheet(CXlsSheet& sheet) {
    const char16_t* header[] = {
        u"Date",  u"Untimed",    u"Start Time", u"End Time", u"Private",  u"Text",  u"Note",
        u"Alarm", u"Alarm Time", u"Alarm Unit", u"Category", u"Location", u"Repeat"};
    for (std::uint32_t c = 0; c < 13; ++c) {
        SetText(sheet, 0, c, header[c]);
    }
    for (std::uint32_t r = 1; r < kXlsMaxRows; ++r) {
        const double start = (8 + r % 10) / 24.0 + (r * 7 % 60) / 1440.0;
        SetNumber(sheet, r, 0, 46023 + r % 365, EXlsNumberFormat::Date);
        SetText(sheet, r, 1, r % 5 == 0 ? u"Yes" : u"No");
        SetNumber(sheet, r, 2, start, EXlsNumberFormat::Time);
        SetNumber(sheet, r, 3, start + 1.5 / 24, EXlsNumberFormat::Time);
        SetText(sheet, r, 4, u"No");
        SetText(sheet, r, 5, u"Appointment number " + Ascii(std::to_string(r)));
        if (r % 3 == 0) {
            SetText(sheet, r, 6, u"First line\nSecond line");
        }
        SetText(sheet, r, 7, r % 2 == 0 ? u"Yes" : u"No");
        SetNumber(sheet, r, 8, 15, EXlsNumberFormat::General);
        SetText(sheet, r, 9, u"Minutes");
        SetText(sheet, r, 10, u"Business");
        SetText(sheet, r, 11, u"Room " + Ascii(std::to_string(r % 100)));
        SetText(sheet, r, 12, r % 7 == 0 ? u"Yes" : u"No");
    }
    sheet.m_vecColumnWidths = {10.71, 0, 10.71, 10.71};
}

void BM_XlsWriteLargestSheet(benchmark::State& state) {
    CXlsWorkbook wb;
    FillSheet(wb.m_vecSheets[0]);
    std::size_t nBytes = 0;
    for (auto _ : state) {
        const std::string file = wb.SaveToMemory();
        nBytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kXlsMaxRows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file bytes"] = double(nBytes);
}
BENCHMARK(BM_XlsWriteLargestSheet)->Unit(benchmark::kMillisecond);

// Filling the cells and saving to a file, as the automation layer does.
void BM_XlsFillAndSave(benchmark::State& state) {
    const char* home = std::getenv("VARNO_HOME");
    const std::string path =
        (std::filesystem::path(home ? home : "/tmp") / "bench-engine.xls").string();
    for (auto _ : state) {
        CXlsWorkbook wb;
        FillSheet(wb.m_vecSheets[0]);
        wb.Save(path);
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kXlsMaxRows), benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_XlsFillAndSave)->Unit(benchmark::kMillisecond);

void BM_XlsReadLargestSheet(benchmark::State& state) {
    CXlsWorkbook wb;
    FillSheet(wb.m_vecSheets[0]);
    const std::string file = wb.SaveToMemory();
    for (auto _ : state) {
        const CXlsWorkbook back = CXlsWorkbook::LoadFromMemory(file);
        benchmark::DoNotOptimize(back.m_vecSheets[0]);
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kXlsMaxRows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file bytes"] = double(file.size());
}
BENCHMARK(BM_XlsReadLargestSheet)->Unit(benchmark::kMillisecond);

// The same sheet as an .xlsx workbook (libxlsxwriter out, our zip and XML reader in).
void BM_XlsxWriteSheet(benchmark::State& state) {
    CXlsWorkbook wb;
    wb.SetFileFormat(EXlsFileFormat::Xlsx);
    FillSheet(wb.m_vecSheets[0]);
    std::size_t nBytes = 0;
    for (auto _ : state) {
        const std::string file = wb.SaveToMemory();
        nBytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kXlsMaxRows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file bytes"] = double(nBytes);
}
BENCHMARK(BM_XlsxWriteSheet)->Unit(benchmark::kMillisecond);

void BM_XlsxReadSheet(benchmark::State& state) {
    CXlsWorkbook wb;
    wb.SetFileFormat(EXlsFileFormat::Xlsx);
    FillSheet(wb.m_vecSheets[0]);
    const std::string file = wb.SaveToMemory();
    for (auto _ : state) {
        const CXlsWorkbook back = CXlsWorkbook::LoadFromMemory(file);
        benchmark::DoNotOptimize(back.m_vecSheets[0]);
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kXlsMaxRows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file bytes"] = double(file.size());
}
BENCHMARK(BM_XlsxReadSheet)->Unit(benchmark::kMillisecond);

} // namespace
