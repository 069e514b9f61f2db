// Registry speed: reads of an unchanged hive (the trace switch is read before every trace
// line, the regional settings several values per call) and saved changes; and a large hive
// of 100,000 sibling keys holding 300,000 values: reading its file, a lookup, a change.
#include "bench/BenchSupport.h"
#include "platform/registry/HiveFile.h"
#include "platform/registry/Registry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr const char* kProductKey = "Software\\Brenmark\\VARNO\\Bench";

// A hive of realistic size: the options key with some fifty values beside the one read.
void FillHive() {
    CRegKey key;
    if (key.Create(ERegHive::CurrentUser, kProductKey) != REG_STATUS_OK)
        return;
    for (int i = 0; i < 50; ++i)
        (void)key.SetString("value" + std::to_string(i), "some text of a setting");
    (void)key.SetDword("writetrace", 1);
}

// An open key: one stat() of the hive file and a lookup.
void BM_RegistryQueryDword(benchmark::State& state) {
    FillHive();
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, kProductKey) != REG_STATUS_OK) {
        state.SkipWithError("cannot open the key");
        return;
    }
    for (auto _ : state) {
        std::uint32_t n = 0;
        benchmark::DoNotOptimize(key.QueryDword("writetrace", n));
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryQueryDword);

// What a settings read does each time: open the key, query, close.
void BM_RegistryOpenAndQueryDword(benchmark::State& state) {
    FillHive();
    for (auto _ : state) {
        CRegKey key;
        std::uint32_t n = 0;
        if (key.Open(ERegHive::CurrentUser, kProductKey) == REG_STATUS_OK)
            benchmark::DoNotOptimize(key.QueryDword("writetrace", n));
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryOpenAndQueryDword);

// A changed value: lock, write, flush and rename of the whole hive file.
void BM_RegistrySetDword(benchmark::State& state) {
    FillHive();
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, kProductKey) != REG_STATUS_OK) {
        state.SkipWithError("cannot open the key");
        return;
    }
    std::uint32_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(key.SetDword("counter", ++n));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistrySetDword)->Unit(benchmark::kMicrosecond);

// Storing what a value already holds, as saving unchanged options does: no file write.
void BM_RegistrySetUnchangedDword(benchmark::State& state) {
    FillHive();
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, kProductKey) != REG_STATUS_OK) {
        state.SkipWithError("cannot open the key");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(key.SetDword("writetrace", 1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistrySetUnchangedDword);

constexpr int kLargeKeys = 100000;
constexpr int kLargeValuesEach = 3;

// The text of the large hive: Software\Large\Key<n>, each with Value0 to Value2.
const std::string& LargeHiveText() {
    static const std::string s_strText = [] {
        std::string text = std::string(kHiveFileHeader) +
                           "\n\n[HKEY_CURRENT_USER\\Software]\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Large]\n\n";
        for (int k = 0; k < kLargeKeys; ++k) {
            text += "[HKEY_CURRENT_USER\\Software\\Large\\Key" + std::to_string(k) + "]\n";
            for (int v = 0; v < kLargeValuesEach; ++v)
                text += "\"Value" + std::to_string(v) + "\"=\"text of value " + std::to_string(v) +
                        "\"\n";
            text += "\n";
        }
        return text;
    }();
    return s_strText;
}

// VARNO_HOME set to a home of its own holding the large hive file, for the object's life;
// the other benchmarks keep their small hive.
class CLargeHiveHome {
public:
    CLargeHiveHome() : m_strPrevious(std::getenv("VARNO_HOME")) {
        const std::string home = BenchPath("large-hive");
        std::filesystem::create_directories(home + "/registry");
        setenv("VARNO_HOME", home.c_str(), 1);
        const std::string path = RegistryFolder() + "/HKEY_CURRENT_USER.reg";
        if (!std::filesystem::exists(path)) {
            std::FILE* pFile = std::fopen(path.c_str(), "wb");
            if (pFile) {
                std::fwrite(LargeHiveText().data(), 1, LargeHiveText().size(), pFile);
                std::fclose(pFile);
            }
        }
    }
    ~CLargeHiveHome() { setenv("VARNO_HOME", m_strPrevious.c_str(), 1); }
    CLargeHiveHome(const CLargeHiveHome&) = delete;
    CLargeHiveHome& operator=(const CLargeHiveHome&) = delete;

private:
    std::string m_strPrevious;
};

// What every command pays once for a large hive: reading its text.
void BM_HiveParseLarge(benchmark::State& state) {
    const std::string& text = LargeHiveText();
    for (auto _ : state) {
        CHiveKey root;
        root.m_strName = "HKEY_CURRENT_USER";
        SHiveParseError error;
        if (!ReadHiveText(text, root, error)) {
            state.SkipWithError(error.m_strReason.c_str());
            return;
        }
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
    state.counters["keys+values/s"] =
        benchmark::Counter(static_cast<double>(kLargeKeys * (1 + kLargeValuesEach)) *
                               static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HiveParseLarge)->Unit(benchmark::kMillisecond);

// A key among 100,000 siblings opened and read, the hive already loaded.
void BM_RegistryLookupInLargeHive(benchmark::State& state) {
    CLargeHiveHome home;
    int n = 0;
    for (auto _ : state) {
        CRegKey key;
        std::string text;
        n = (n + 7919) % kLargeKeys;
        if (key.Open(ERegHive::CurrentUser, "software\\large\\KEY" + std::to_string(n)) !=
                REG_STATUS_OK ||
            key.QueryString("value2", text) != REG_STATUS_OK) {
            state.SkipWithError("a key of the large hive is missing");
            return;
        }
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistryLookupInLargeHive);

// One changed value of the large hive: the whole file written, flushed and renamed.
void BM_RegistrySetInLargeHive(benchmark::State& state) {
    CLargeHiveHome home;
    CRegKey key;
    if (key.Open(ERegHive::CurrentUser, "Software\\Large\\Key50000") != REG_STATUS_OK) {
        state.SkipWithError("cannot open a key of the large hive");
        return;
    }
    std::uint32_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(key.SetDword("counter", ++n));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegistrySetInLargeHive)->Unit(benchmark::kMillisecond);

} // namespace
