// The pinned process environment that tests and fuzz targets share: a fresh VARNO_HOME, a
// fixed time zone and clock, explicit regional settings and code page. Free of any test
// framework, so that programs other than the test suites can pin the same environment.
#pragma once

#include <cstdint>
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
