// Writing and reading 100,000 CSV rows of the default field layout through the field
// writer and reader; the counters give rows per second.
#include "fields/FieldLayout.h"
#include "formats/CsvFormat.h"
#include "model/Appointment.h"
#include "settings/Options.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kRows = 100000;

std::string BenchFile() {
    const char* home = std::getenv("VARNO_HOME");
    return (std::filesystem::path(home ? home : "/tmp") / "bench-rows.csv").string();
}

void MakeSample(CAppointment& appt, int i) {
    appt.Reset();
    appt.m_tDate = MakeLocalTimeValue(2026, 1 + i % 12, 1 + i % 28);
    appt.m_tStart = MakeLocalTimeValue(2026, 1, 1, 8 + i % 10, (i * 7) % 60);
    appt.m_tEnd = appt.m_tStart + 5400;
    appt.m_tsDuration = 5400;
    appt.m_bUntimed = i % 5 == 0;
    appt.m_strText = "Appointment number " + std::to_string(i) + " with \"quotes\"";
    appt.m_strNote = i % 3 == 0 ? "First line\r\nSecond line; with separator" : "";
    appt.m_bAlarm = i % 2 == 0;
    appt.m_nAlarmAdvance = 15;
    appt.m_strCategory = "Business";
    appt.m_strLocation = "Room " + std::to_string(i % 100);
    appt.m_bRepeat = i % 7 == 0;
}

void WriteRows(const COptions& options, const std::string& path) {
    CCsvFormat format;
    format.SetSeparator(options.m_strSeparator);
    format.SetQuote(options.m_strQuote);
    std::filesystem::remove(path);
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

void BM_CsvWriteDefaultLayout(benchmark::State& state) {
    COptions options;
    options.m_strSeparator = ";";
    const std::string path = BenchFile();
    for (auto _ : state)
        WriteRows(options, path);
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvWriteDefaultLayout)->Unit(benchmark::kMillisecond);

void BM_CsvReadDefaultLayout(benchmark::State& state) {
    COptions options;
    options.m_strSeparator = ";";
    options.m_bFullFormat = 0;
    const std::string path = BenchFile();
    WriteRows(options, path);
    for (auto _ : state) {
        CCsvFormat format;
        format.SetSeparator(options.m_strSeparator);
        format.SetQuote(options.m_strQuote);
        if (format.OpenRead(path) != STATUS_OK)
            std::abort();
        CAppointment appt(&options);
        int nRead = 0;
        for (;;) {
            appt.Reset();
            const EStatus status = options.m_layout.ReadFields(format, appt);
            if (status < 0)
                break;
            ++nRead;
        }
        (void)format.CloseRead();
        if (nRead != kRows + 1)
            state.SkipWithError("rows lost");
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(kRows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvReadDefaultLayout)->Unit(benchmark::kMillisecond);

} // namespace
