// Entry point of the benchmarks: a fresh VARNO_HOME, a fixed time zone, clock and regional
// settings, so that runs compare.
#include "platform/locale/LocalTime.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::string home = (fs::temp_directory_path() / "varno-bench-XXXXXX").string();
    if (!mkdtemp(home.data()))
        return 1;
    setenv("VARNO_HOME", home.c_str(), 1);
    setenv("LC_ALL", "en_US.UTF-8", 1);
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    SetClockHook([](std::int64_t& tNow) {
        tNow = 1796472000; // 2026-12-05 12:00 UTC
        return true;
    });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(home, ec);
    return 0;
}
