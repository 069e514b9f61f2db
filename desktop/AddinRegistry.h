// The host's list of add-ins, kept in the registry under HKEY_CURRENT_USER\Software\Datebook
// Desktop\Addins: one numbered subkey per registration ("1", "2", ...) holding the add-in's
// class identifier ("Clsid", registry form) and display name ("Name"). The add-in manager
// (desktop/module) changes the list; the host window reads it at start-up.
#pragma once

#include "platform/com/Guid.h"

#include <string>
#include <vector>

inline constexpr const char* kAddinListKey = "Software\\Datebook Desktop\\Addins";

struct CAddinRegistration {
    std::string m_strKey; // the subkey's name
    GUID m_clsid = GUID_NULL;
    std::string m_strName;
};

// Every registration in the order they were made; subkeys whose Clsid is not a class
// identifier are passed over.
[[nodiscard]] std::vector<CAddinRegistration> ListAddinRegistrations();
// A new registration under the next free number; false when the registry cannot be written.
[[nodiscard]] bool AddAddinRegistration(const GUID& clsid, const std::string& strName,
                                        CAddinRegistration& added);
// Removes one registration; true also when it was already gone.
[[nodiscard]] bool RemoveAddinRegistration(const std::string& strKey);
