// The pinned environment of every test: a fresh VARNO_HOME, a fixed time zone, a fixed
// clock, explicit regional settings and code page. Nothing a test sees depends on the
// machine's locale, clock or home folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A fresh temporary folder set as VARNO_HOME for the object's life; removed afterwards.
class CTestHome {
public:
    CTestHome();
    ~CTestHome();
    CTestHome(const CTestHome&) = delete;
    CTestHome& operator=(const CTestHome&) = delete;
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
    std::string m_strPrevious;
    bool m_bHadPrevious = false;
};

// TZ for this process (and the children it starts), applied at once.
void SetTimeZone(const char* pszZone);
// VARNO_NOW: the clock stands at this local date and time of the current time zone.
void SetClock(int nYear, int nMonth, int nDay, int nHour = 12, int nMinute = 0, int nSecond = 0);
void SetClockUtc(std::int64_t t);
// Writes the seven regional values of a locale ("en-US", "en-GB", "de-DE", "fr-FR",
// "nl-NL", "es-ES", "ja-JP", "it-IT") into the user's registry, as the platform would
// hold them.
void SetRegional(std::string_view locale);
// The system code page: 1252 or 65001.
void SetCodePage(unsigned codePage);

// A unique new file path inside the current VARNO_HOME.
[[nodiscard]] std::string TempPath(std::string_view name);
[[nodiscard]] std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);
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
