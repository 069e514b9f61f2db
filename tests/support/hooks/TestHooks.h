// The hooks of test builds, set from the environment of the process:
//   VARNO_NOW                          seconds since 1970-01-01 00:00 UTC: the clock stands there
//   VARNO_REGISTRY_FAIL_BEFORE_RENAME  "1": a registry change ends the process with exit
//                                      status 70 after its temporary file is flushed and
//                                      before the rename, as a crash at the worst moment would
//   VARNO_TEST_PUMP_DELAY_US           microseconds (at most one second) of sleep at every
//                                      pump of the command line's message loop
// The variables are read at each use, so a test may change them as it goes. The shipped
// programs hold none of this: the tests run varno-test and datebook-desktop-test, built
// from the same sources with these hooks installed before main.
#pragma once

void InstallTestHooks();
