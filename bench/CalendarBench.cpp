// Writing calendar files: 100,000 events per file, a quarter of them repeating, with
// texts that need escaping and a non-ASCII location.
#include "formats/CalendarFormat.h"
#include "model/Appointment.h"
#include "platform/locale/LocalTime.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kEvents = 100000;

std::vector<std::unique_ptr<CAppointment>> MakeAppointments() {
    std::vector<std::unique_ptr<CAppointment>> out;
    out.reserve(kEvents);
    const std::int64_t tFirst = MakeLocalTime(2024, 1, 1, 9, 0, 0).value_or(0);
    for (int i = 0; i < kEvents; ++i) {
        auto p = std::make_unique<CAppointment>(nullptr);
        CAppointment& a = *p;
        const auto tStart =
            static_cast<TimeValue>(tFirst + std::int64_t{i % 2000} * 86400 + (i % 10) * 3600);
        a.m_strText = "Meeting " + std::to_string(i) + "; room 5, floor 2";
        a.m_strNote = "Agenda:\r\n1. Budget\r\n2. Plans for next year";
        a.m_strLocation = "M\xC3\xBCnchen";
        a.m_strCategory = "Business";
        a.m_nRecordId = i;
        a.m_bUntimed = i % 7 == 0;
        a.SetDate(tStart);
        a.SetStartTime(tStart);
        a.SetEndTime(tStart + 5400);
        a.m_tsDuration = 5400;
        a.m_bAlarm = i % 3 == 0;
        a.m_nAlarmAdvance = 15;
        if (i % 4 == 0) {
            a.m_bRepeat = true;
            a.m_repeat.m_nType = REPEAT_WEEKLY;
            a.m_repeat.m_nInterval = 2;
            a.m_repeat.m_byWeekdays = 0x2A; // Monday, Wednesday, Friday
        }
        out.push_back(std::move(p));
    }
    return out;
}

void BM_WriteCalendarEvents(benchmark::State& state) {
    const auto nFlavour = static_cast<std::int32_t>(state.range(0));
    const std::vector<std::unique_ptr<CAppointment>> appointments = MakeAppointments();
    const char* pszHome = std::getenv("VARNO_HOME");
    const std::string path = (std::filesystem::path(pszHome ? pszHome : "/tmp") /
                              (nFlavour == CALENDAR_ICALENDAR ? "bench.ics" : "bench.vcs"))
                                 .string();
    for (auto _ : state) {
        CCalendarFormat format(nFlavour);
        if (format.OpenWrite(path) != STATUS_OK) {
            state.SkipWithError("cannot open the file");
            break;
        }
        for (const auto& p : appointments)
            benchmark::DoNotOptimize(WriteEvent(format, *p, nullptr));
        (void)format.CloseWrite();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(BM_WriteCalendarEvents)
    ->Arg(CALENDAR_ICALENDAR)
    ->Arg(CALENDAR_VCALENDAR)
    ->ArgName("flavour")
    ->Unit(benchmark::kMillisecond);
