// Helpers of the regional settings tests: an environment variable set for a scope, and
// the Windows values of the regional settings of a locale over ICU's month names.
#pragma once

#include "platform/locale/RegionalSettings.h"
#include "tests/support/TestEnv.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

// Sets (or with nullptr removes) an environment variable until the end of the scope.
class CScopedEnv {
public:
    CScopedEnv(const char* pszName, const char* pszValue) : m_strName(pszName) {
        if (const char* p = std::getenv(pszName))
            m_previous = p;
        if (pszValue)
            setenv(pszName, pszValue, 1);
        else
            unsetenv(pszName);
    }
    ~CScopedEnv() {
        if (m_previous)
            setenv(m_strName.c_str(), m_previous->c_str(), 1);
        else
            unsetenv(m_strName.c_str());
    }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_previous;
};

// The values Windows holds for a user of the locale ("de-DE"), as SetRegional stores them,
// in UTF-8 (the code page of the test's home becomes 65001), with ICU's month names.
inline CRegionalSettings WindowsSettings(std::string_view locale) {
    SetCodePage(65001);
    SetRegional(locale);
    std::string process(locale);
    process[2] = '_';
    CScopedEnv all("LC_ALL", (process + ".UTF-8").c_str());
    return GetRegionalSettings();
}
