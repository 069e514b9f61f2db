// Holds the regional settings and the system code page of this thread as they are when the
// hold is taken, until it is released. One export or import then writes and reads every
// row with the same settings, and the per-call checks for a change (the registry's change
// stamp, the locale variables, VARNO_HOME), which cost more than formatting a date, are
// skipped. Holds nest; the outermost one decides.
#pragma once

#include "platform/registry/Registry.h"

#include <cstdint>

class CLocaleSettingsHold {
public:
    CLocaleSettingsHold();
    ~CLocaleSettingsHold();
    CLocaleSettingsHold(const CLocaleSettingsHold&) = delete;
    CLocaleSettingsHold& operator=(const CLocaleSettingsHold&) = delete;

private:
    // Other registry readers of the run (the trace switch) find their hive once too.
    CRegFolderHold m_folderHold;
};

// Whether a hold is in force on this thread.
[[nodiscard]] bool LocaleSettingsHeld();
// Counts the outermost holds taken on this thread: what was worked out under one hold is
// not used under the next (the time zone or settings may have changed in between).
[[nodiscard]] std::uint64_t LocaleSettingsHoldNumber();
