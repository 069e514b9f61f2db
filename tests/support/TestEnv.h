// The pinned environment of every test: a fresh VARNO_HOME, a fixed time zone, a fixed
// clock, explicit regional settings and code page. Nothing a test sees depends on the
// machine's locale, clock or home folder.
#pragma once

#include "tests/support/TestHome.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

[[nodiscard]] std::string TestDataPath(std::string_view name);

// Base fixture: fresh home, TZ Europe/Berlin, clock at 2026-12-05 12:00, regional
// settings of de-DE, code page 1252. Tests change what they need.
class CVarnoTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    [[nodiscard]] const std::string& Home() const { return m_pHome->Path(); }

private:
    std::unique_ptr<CTestHome> m_pHome;
};
