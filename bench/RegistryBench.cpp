// Registry speed: reads of an unchanged hive (the trace switch is read before every trace
// line, the regional settings several values per call) and saved changes.
#include "platform/registry/Registry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
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

} // namespace
