#include "tests/support/hooks/TestHooks.h"

#include "cli/CliServices.h"
#include "platform/locale/LocalTime.h"
#include "platform/registry/HiveStore.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

// The variable as a whole decimal number; empty when unset or anything else.
std::optional<std::int64_t> NumberFromEnvironment(const char* pszName) {
    const char* pszText = std::getenv(pszName);
    if (!pszText || !*pszText)
        return std::nullopt;
    char* pEnd = nullptr;
    errno = 0;
    const long long n = std::strtoll(pszText, &pEnd, 10);
    if (errno != 0 || *pEnd != '\0')
        return std::nullopt;
    return static_cast<std::int64_t>(n);
}

bool ClockFromEnvironment(std::int64_t& tNow) {
    const std::optional<std::int64_t> t = NumberFromEnvironment("VARNO_NOW");
    if (t)
        tNow = *t;
    return t.has_value();
}

void CrashBeforeRenameWhenAsked() {
    const char* pszHook = std::getenv("VARNO_REGISTRY_FAIL_BEFORE_RENAME");
    if (pszHook && pszHook[0] == '1' && pszHook[1] == '\0')
        _exit(70);
}

std::int64_t PumpDelayFromEnvironment() {
    return NumberFromEnvironment("VARNO_TEST_PUMP_DELAY_US").value_or(0);
}

// In varno-test and datebook-desktop-test this file is one of the program's own sources,
// so the hooks are in place before main; test programs also call InstallTestHooks.
[[maybe_unused]] const bool g_bInstalled = (InstallTestHooks(), true);

} // namespace

void InstallTestHooks() {
    SetClockHook(&ClockFromEnvironment);
    SetRegistryBeforeRenameHook(&CrashBeforeRenameWhenAsked);
    SetPumpDelayHook(&PumpDelayFromEnvironment);
}
