#include "platform/locale/SettingsHold.h"

#include "platform/locale/CodePage.h"
#include "platform/locale/RegionalSettings.h"

namespace {

thread_local int t_nHolds = 0;
thread_local std::uint64_t t_nHoldNumber = 0;

} // namespace

CLocaleSettingsHold::CLocaleSettingsHold() {
    if (t_nHolds == 0) {
        // Brought up to date once, then served from the caches while held.
        static_cast<void>(GetSystemCodePage());
        static_cast<void>(GetRegionalSettings());
        ++t_nHoldNumber;
    }
    ++t_nHolds;
}

CLocaleSettingsHold::~CLocaleSettingsHold() {
    --t_nHolds;
}

bool LocaleSettingsHeld() {
    return t_nHolds > 0;
}

std::uint64_t LocaleSettingsHoldNumber() {
    return t_nHoldNumber;
}
