// Helpers of the regional settings tests: an environment variable set for a scope, and
// the Windows values of the regional settings of a few locales over ICU's month names.
#pragma once

#include "platform/locale/RegionalSettings.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>
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

// The values Windows holds for a user of these locales, in UTF-8, with ICU's month names.
inline CRegionalSettings WindowsSettings(std::string_view locale) {
    struct SValues {
        const char* m_pszLocale;
        const char* m_pszValues[7]; // sShortDate sTimeFormat sList s1159 s2359 sDate sTime
    };
    static const SValues kValues[] = {
        {"en-US", {"M/d/yyyy", "h:mm:ss tt", ",", "AM", "PM", "/", ":"}},
        {"en-GB", {"dd/MM/yyyy", "HH:mm:ss", ",", "AM", "PM", "/", ":"}},
        {"de-DE", {"dd.MM.yyyy", "HH:mm:ss", ";", "", "", ".", ":"}},
        {"fr-FR", {"dd/MM/yyyy", "HH:mm:ss", ";", "", "", "/", ":"}},
        {"nl-NL", {"d-M-yyyy", "H:mm:ss", ";", "", "", "-", ":"}},
        {"es-ES", {"dd/MM/yyyy", "H:mm:ss", ";", "", "", "/", ":"}},
        {"ja-JP", {"yyyy/MM/dd", "H:mm:ss", ",", "\u5348\u524D", "\u5348\u5F8C", "/", ":"}},
        {"it-IT", {"dd/MM/yyyy", "HH.mm.ss", ";", "", "", "/", "."}},
    };
    for (const SValues& v : kValues) {
        if (locale != v.m_pszLocale)
            continue;
        CRegionalSettings s = DeriveRegionalSettings(locale);
        s.m_strShortDate = v.m_pszValues[0];
        s.m_strTimeFormat = v.m_pszValues[1];
        s.m_strList = v.m_pszValues[2];
        s.m_str1159 = v.m_pszValues[3];
        s.m_str2359 = v.m_pszValues[4];
        s.m_strDate = v.m_pszValues[5];
        s.m_strTime = v.m_pszValues[6];
        return s;
    }
    throw std::invalid_argument("no Windows values for this locale");
}
