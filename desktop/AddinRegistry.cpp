#include "desktop/AddinRegistry.h"

#include "platform/registry/Registry.h"

#include <algorithm>
#include <charconv>

namespace {

// The number of a registration key; 0 for a name that is not a positive number.
unsigned long KeyNumber(const std::string& name) {
    unsigned long n = 0;
    const auto [pEnd, ec] = std::from_chars(name.data(), name.data() + name.size(), n);
    return ec == std::errc() && pEnd == name.data() + name.size() ? n : 0;
}

} // namespace

std::vector<CAddinRegistration> ListAddinRegistrations() {
    std::vector<CAddinRegistration> result;
    CRegKey list;
    if (list.Open(ERegHive::CurrentUser, kAddinListKey) != REG_STATUS_OK)
        return result;
    std::vector<std::string> names = list.SubKeyNames();
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return KeyNumber(a) < KeyNumber(b);
    });
    for (const std::string& name : names) {
        CRegKey entry;
        std::string strClsid;
        if (entry.Open(ERegHive::CurrentUser, std::string(kAddinListKey) + "\\" + name) !=
                REG_STATUS_OK ||
            entry.QueryString("Clsid", strClsid) != REG_STATUS_OK)
            continue;
        const std::optional<GUID> clsid = ParseGuid(strClsid);
        if (!clsid)
            continue;
        CAddinRegistration registration{name, *clsid, {}};
        static_cast<void>(entry.QueryString("Name", registration.m_strName));
        result.push_back(std::move(registration));
    }
    return result;
}

bool AddAddinRegistration(const GUID& clsid, const std::string& strName,
                          CAddinRegistration& added) {
    unsigned long nNext = 1;
    CRegKey list;
    if (list.Open(ERegHive::CurrentUser, kAddinListKey) == REG_STATUS_OK)
        for (const std::string& name : list.SubKeyNames())
            nNext = std::max(nNext, KeyNumber(name) + 1);
    added = CAddinRegistration{std::to_string(nNext), clsid, strName};
    CRegKey entry;
    if (entry.Create(ERegHive::CurrentUser, std::string(kAddinListKey) + "\\" + added.m_strKey) !=
            REG_STATUS_OK ||
        entry.SetString("Clsid", FormatGuid(clsid)) != REG_STATUS_OK ||
        entry.SetString("Name", strName) != REG_STATUS_OK) {
        entry.Close();
        static_cast<void>(RegDeleteTree(ERegHive::CurrentUser,
                                        std::string(kAddinListKey) + "\\" + added.m_strKey));
        return false;
    }
    return true;
}

bool RemoveAddinRegistration(const std::string& strKey) {
    const ERegStatus status =
        RegDeleteTree(ERegHive::CurrentUser, std::string(kAddinListKey) + "\\" + strKey);
    return status == REG_STATUS_OK || status == REG_STATUS_NOT_FOUND;
}
