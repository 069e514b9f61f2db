// Entry point of the wx surface tests: the pinned environment of every test program, one
// wxApp for the process, and wx assertions turned into test failures (a wx assertion
// would otherwise open a modal dialog and hang the run).
#include "tests/support/TestEnv.h"

#include <wx/app.h>
#include <wx/init.h>
#include <wx/uilocale.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void FailOnAssert(const wxString& file, int nLine, const wxString& func, const wxString& cond,
                  const wxString& msg) {
    ADD_FAILURE() << "wx assertion at " << file.utf8_str() << ":" << nLine << " in "
                  << func.utf8_str() << ": " << cond.utf8_str() << " " << msg.utf8_str();
}

} // namespace

int main(int argc, char** argv) {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    unsetenv("LC_TIME");
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    SetTimeZone("UTC");
    setenv("VARNO_NOW", "1796472000", 1); // 2026-12-05 12:00 UTC
    CTestHome home;
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "no display for the wx tests\n");
        return 1;
    }
    wxUILocale::UseDefault();
    wxSetAssertHandler(&FailOnAssert);
    const int nResult = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return nResult;
}
