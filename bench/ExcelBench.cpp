// Writing and reading a full sheet of the default field layout through the workbook
// format and the spreadsheet component: 65,535 rows and the header, the most one sheet of
// the file format holds. The counters give rows per second.
#include "bench/BenchSupport.h"
#include "fields/FieldLayout.h"
#include "formats/ExcelFormat.h"
#include "model/Appointment.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "settings/Options.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kRows = 65535;

void WriteRows(const COptions& options, const std::string& path) {
    CExcelFormat format;
    if (format.OpenWrite(path) != STATUS_OK)
        std::abort();
    WriteSampleRows(format, options, kRows);
}

void BM_ExcelWriteDefaultLayout(benchmark::State& state) {
    EnsurePlatformSetup();
    COptions options;
    const std::string path = BenchPath("bench-rows.xls");
    for (auto _ : state)
        WriteRows(options, path);
    CountRowsPerSecond(state, kRows);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExcelWriteDefaultLayout)->Unit(benchmark::kMillisecond);

void BM_ExcelReadDefaultLayout(benchmark::State& state) {
    EnsurePlatformSetup();
    COptions options;
    const std::string path = BenchPath("bench-rows.xls");
    WriteRows(options, path);
    for (auto _ : state) {
        CExcelFormat format;
        if (format.OpenRead(path) != STATUS_OK)
            std::abort();
        CAppointment appt(&options);
        int nRead = 0;
        for (;;) {
            appt.Reset();
            if (options.m_layout.ReadFields(format, appt) < 0)
                break;
            ++nRead;
        }
        (void)format.CloseRead();
        if (nRead != kRows)
            state.SkipWithError("rows lost");
    }
    CountRowsPerSecond(state, kRows);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExcelReadDefaultLayout)->Unit(benchmark::kMillisecond);

} // namespace
