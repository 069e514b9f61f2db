// What several benchmarks share: a path in the benchmark's home, sample appointments of the
// default layout, and the rows-per-second counter.
#pragma once

#include "fields/FieldLayout.h"
#include "formats/FileFormat.h"
#include "model/Appointment.h"
#include "settings/Options.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A file or folder below VARNO_HOME (set by BenchMain).
inline std::string BenchPath(const std::string& name) {
    const char* pszHome = std::getenv("VARNO_HOME");
    return (std::filesystem::path(pszHome ? pszHome : "/tmp") / name).string();
}

// Appointment i of a varied set: untimed every fifth, notes with a line break and a
// separator every third, alarms every second, repeating every seventh.
inline void MakeSampleAppointment(CAppointment& appt, int i) {
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

// The header and nRows sample rows in the simple layout through an opened format, closed.
inline void WriteSampleRows(CFileFormat& format, const COptions& options, int nRows) {
    CAppointment appt(nullptr);
    (void)options.m_layout.WriteSimpleHeader(format);
    for (int i = 0; i < nRows; ++i) {
        MakeSampleAppointment(appt, i);
        (void)options.m_layout.WriteSimpleRow(format, appt);
    }
    (void)format.CloseWrite();
}

inline void CountRowsPerSecond(benchmark::State& state, int nRows) {
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(nRows) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
