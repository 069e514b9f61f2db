// Writing and reading a full sheet of the default field layout through the workbook
// format and the spreadsheet component: 65,535 rows and the header, the most one sheet of
// the file format holds. The counters give rows per second.
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

std::string BenchFile() {
    const char* home = std::getenv("VARNO_HOME");
    return (std::filesystem::path(home ? home : "/tmp") / "bench-rows.xls").string();
}

void MakeSample(CAppointment& appt, int i) {
    appt.Reset();
    appt.m_tDate = MakeLocalTimeValue(2026, 1 + i % 12, 1 + i % 28);
    appt.m_tStart = MakeLocalTimeValue(2026, 1, 1, 8 + i % 10, (i * 7) % 60);
    appt.m_tEnd = appt.m_tStart + 5400;
    appt.m_bUntimed = i % 5 == 0;
    appt.m_strText = "Appointment number " + std::to_string(i);
    appt.m_strNote = i % 3 == 0 ? "First line\r\nSecond line" : "";
    appt.m_bAlarm = i % 2 == 0;
    appt.m_nAlarmAdvance = 15;
    appt.m_strCategory = "Business";
    appt.m_strLocation = "Room " + std::to_string(i % 100);
    appt.m_bRepeat = i % 7 == 0;
}

void WriteRows(const COptions& options, const std::string& path) {
    CExcelFormat format;
    if (format.OpenWrite(path) != STATUS_OK)
        std::abort();
    CAppointment appt(nullptr);
    (void)options.m_layout.WriteSimpleHeader(format);
    for (int i = 0; i < kRows; ++i) {
        MakeSample(appt, i);
        (void)options.m_layout.WriteSimpleRow(format, appt);
    }
    (void)format.CloseWrite();
}

void BM_ExcelWriteDefaultLayout(benchmark::State& state) {
    EnsurePlatformSetup();
    COptions options;
    const std::string path = BenchFile();
    for (auto _ : state)
        WriteRows(options, path);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExcelWriteDefaultLayout)->Unit(benchmark::kMillisecond);

void BM_ExcelReadDefaultLayout(benchmark::State& state) {
    EnsurePlatformSetup();
    COptions options;
    const std::string path = BenchFile();
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
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ExcelReadDefaultLayout)->Unit(benchmark::kMillisecond);

} // namespace
