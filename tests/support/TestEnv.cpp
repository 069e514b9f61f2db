#include "tests/support/TestEnv.h"

#include <filesystem>

namespace fs = std::filesystem;

std::string TestDataPath(std::string_view name) {
    return (fs::path(VARNO_TEST_DATA_DIR) / std::string(name)).string();
}

void CVarnoTest::SetUp() {
    m_pHome = std::make_unique<CTestHome>();
    SetTimeZone("Europe/Berlin");
    SetCodePage(1252);
    SetRegional("de-DE");
    SetClock(2026, 12, 5, 12, 0, 0);
}

void CVarnoTest::TearDown() {
    m_pHome.reset();
}
