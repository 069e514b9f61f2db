// Writing and reading 100,000 CSV rows of the default field layout through the field
// writer and reader; the counters give rows per second.
#include "bench/BenchSupport.h"
#include "fields/FieldLayout.h"
#include "formats/CsvFormat.h"
#include "model/Appointment.h"
#include "settings/Options.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kRows = 100000;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void WriteRows(const COptions& options, const std::string& path) {
    CCsvFormat format;
    format.SetSeparator(options.m_strSeparator);
    format.SetQuote(options.m_strQuote);
    std::filesystem::remove(path);
    if (format.OpenWrite(path) != STATUS_OK)
        std::abort();
    WriteSampleRows(format, options, kRows);
}

void BM_CsvWriteDefaultLayout(benchmark::State& state) {
    COptions options;
    options.m_strSeparator = ";";
    const std::string path = BenchPath("bench-rows.csv");
    for (auto _ : state)
        WriteRows(options, path);
    CountRowsPerSecond(state, kRows);
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvWriteDefaultLayout)->Unit(benchmark::kMillisecond);

// The file as the program writes it (CR LF), and as editors on Linux save it (LF alone,
// which the reader follows quote by quote).
void ReadRows(benchmark::State& state, bool bLfOnly) {
    COptions options;
    options.m_strSeparator = ";";
    options.m_bFullFormat = 0;
    const std::string path = BenchPath("bench-rows.csv");
    WriteRows(options, path);
    if (bLfOnly) {
        std::string bytes = ReadWholeFile(path);
        std::erase(bytes, '\r');
        WriteWholeFile(path, bytes);
    }
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
    CountRowsPerSecond(state, kRows);
    std::filesystem::remove(path);
}

void BM_CsvReadDefaultLayout(benchmark::State& state) {
    ReadRows(state, false);
}
BENCHMARK(BM_CsvReadDefaultLayout)->Unit(benchmark::kMillisecond);

void BM_CsvReadLfOnly(benchmark::State& state) {
    ReadRows(state, true);
}
BENCHMARK(BM_CsvReadLfOnly)->Unit(benchmark::kMillisecond);

} // namespace
