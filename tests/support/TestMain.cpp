// Entry point of every test program: pins the environment before any test runs, so that
// a test that forgets its fixture still never sees the machine's locale, clock or home.
#include "tests/support/TestEnv.h"
#include "tests/support/hooks/TestHooks.h"

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    InstallTestHooks();
    setenv("LC_ALL", "en_US.UTF-8", 1);
    unsetenv("LC_TIME");
    setenv("LANG", "en_US.UTF-8", 1);
    SetTimeZone("UTC");
    setenv("VARNO_NOW", "1796472000", 1); // 2026-12-05 12:00 UTC
    CTestHome home;                       // a process-wide fallback; fixtures make their own
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
