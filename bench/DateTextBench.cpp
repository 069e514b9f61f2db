// Speed of the date and time text that exports and imports write and read per cell: the
// user's settings in force (two registry change checks per call) and the bare parser.
#include "model/DateText.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// de-DE values stored for the user, under Windows-1252.
void StoreGermanSettings() {
    CRegKey machine;
    if (machine.Create(ERegHive::LocalMachine, kCodePageKey) == REG_STATUS_OK)
        (void)machine.SetString("ACP", "1252");
    CRegKey key;
    if (key.Create(ERegHive::CurrentUser, kInternationalKey) != REG_STATUS_OK)
        return;
    const char* values[] = {"dd.MM.yyyy", "HH:mm:ss", ";", "", "", ".", ":"};
    for (std::size_t i = 0; i < std::size(values); ++i)
        (void)key.SetString(kRegionalValueNames[i], values[i]);
}

// A day of each month over some years, as an export walks them.
std::vector<TimeValue> SomeDays() {
    std::vector<TimeValue> days;
    for (int y = 2000; y < 2030; ++y) {
        for (int m = 1; m <= 12; ++m)
            days.push_back(MakeLocalTimeValue(y, m, 1 + (y + m) % 28, (y * m) % 24, m * 4));
    }
    return days;
}

void BM_FormatDate(benchmark::State& state) {
    StoreGermanSettings();
    const std::vector<TimeValue> days = SomeDays();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatDate(days[i]));
        i = (i + 1) % days.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDate);

void BM_FormatTime(benchmark::State& state) {
    StoreGermanSettings();
    const std::vector<TimeValue> days = SomeDays();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatTime(days[i]));
        i = (i + 1) % days.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatTime);

void BM_ParseDateText(benchmark::State& state) {
    StoreGermanSettings();
    std::vector<std::string> texts;
    for (TimeValue t : SomeDays())
        texts.push_back(FormatDate(t));
    std::size_t i = 0;
    for (auto _ : state) {
        TimeValue t = 0;
        benchmark::DoNotOptimize(ParseDateText(texts[i], t));
        i = (i + 1) % texts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseDateText);

void BM_ParseTimeText(benchmark::State& state) {
    StoreGermanSettings();
    std::vector<std::string> texts;
    for (TimeValue t : SomeDays())
        texts.push_back(FormatDateTime(t));
    std::size_t i = 0;
    for (auto _ : state) {
        TimeValue t = 0;
        benchmark::DoNotOptimize(ParseTimeText(texts[i], t));
        i = (i + 1) % texts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseTimeText);

// The parser alone, without the settings lookup: what the registry checks cost shows as
// the difference to BM_ParseDateText.
void BM_ParserOnly(benchmark::State& state) {
    const CRegionalSettings settings = DeriveRegionalSettings("de_DE");
    const CDateTimeParser parser(settings);
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.Parse("05.12.2026 14:45", 2026));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParserOnly);

void BM_FormatPictureOnly(benchmark::State& state) {
    const CRegionalSettings settings = DeriveRegionalSettings("en_US");
    CLocalTime t;
    t.m_nYear = 2026;
    t.m_nMonth = 12;
    t.m_nDay = 5;
    t.m_nHour = 14;
    t.m_nMinute = 45;
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatPicture("M/d/yyyy h:mm tt", t, settings));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatPictureOnly);

} // namespace
