#include "platform/locale/UserProfile.h"

#include "platform/locale/CodePage.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"

#include <iterator>
#include <string>

namespace {

// "de_DE" as the platform writes locale names: "de-DE".
std::string PlatformLocaleName(std::string name) {
    for (char& c : name) {
        if (c == '_')
            c = '-';
    }
    return name;
}

// Code page 1252 follows the process when it cannot say; the home keeps what it is given.
void WriteCodePage(bool bReplace) {
    CRegKey key;
    if (key.Create(ERegHive::LocalMachine, kCodePageKey) != REG_STATUS_OK)
        return;
    std::string current;
    if (!bReplace && key.QueryString("ACP", current) == REG_STATUS_OK && !current.empty())
        return;
    (void)key.SetString("ACP", std::to_string(CodePageOfProcessLocale()));
}

void WriteRegionalValues(bool bReplace) {
    const std::string locale = ProcessLocaleName();
    const CRegionalSettings derived = DeriveRegionalSettings(locale);
    CRegKey key;
    if (key.Create(ERegHive::CurrentUser, kInternationalKey) != REG_STATUS_OK)
        return;
    const std::string* values[] = {
        &derived.m_strShortDate, &derived.m_strTimeFormat, &derived.m_strList, &derived.m_str1159,
        &derived.m_str2359,      &derived.m_strDate,       &derived.m_strTime};
    static_assert(std::size(values) == std::size(kRegionalValueNames));
    const unsigned codePage = GetSystemCodePage();
    for (std::size_t i = 0; i < std::size(values); ++i) {
        std::string stored;
        if (!bReplace && key.QueryString(kRegionalValueNames[i], stored) == REG_STATUS_OK)
            continue;
        // A value the code page cannot hold ("午前" under 1252) stays unwritten: it is then
        // derived from LocaleName, which gives the same in every environment.
        const std::string narrow = Utf8ToCodePage(*values[i], codePage);
        if (CodePageToUtf8(narrow, codePage) != *values[i]) {
            if (bReplace)
                (void)key.DeleteValue(kRegionalValueNames[i]);
            continue;
        }
        (void)key.SetString(kRegionalValueNames[i], narrow);
    }
    // Written last: a home whose profile was cut short is completed at the next run.
    (void)key.SetString(kLocaleNameValue, PlatformLocaleName(derived.m_strLocale));
}

} // namespace

bool CreateUserProfile() {
    CRegKey key;
    std::string name;
    if (key.Open(ERegHive::CurrentUser, kInternationalKey) == REG_STATUS_OK &&
        key.QueryString(kLocaleNameValue, name) == REG_STATUS_OK && !name.empty())
        return false;
    // The code page first: the regional values are stored as its text.
    WriteCodePage(false);
    WriteRegionalValues(false);
    return true;
}

void ResetUserProfile() {
    WriteCodePage(true);
    WriteRegionalValues(true);
}
