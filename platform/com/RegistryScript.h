// Registration scripts: the keys and values a server module writes when it is registered
// and takes away when it is unregistered, as text held in the module.
//
//   # comment to the end of the line
//   shared CLSID {                                   -- created when missing, never removed
//       tree %CLSID% = "Thing Class" {               -- replaced whole, removed whole
//           ProgID = "Maker.Thing.1"                 -- default value of a subkey
//           Programmable                             -- an empty key
//           InprocServer32 = "%MODULE%" {
//               value ThreadingModel = "Apartment"   -- a named value
//               value Flags = dword:4                -- REG_DWORD, hexadecimal digits
//           }
//       }
//   }
//
// A key is one name (no backslash): a bare word (anything but blanks, quotes, braces, '='
// and '#') or a quoted string, where \" and \\ stand for '"' and '\' and every other
// character stands for itself. Values are quoted strings or dword:<1 to 8 hex digits>.
// %NAME% is replaced, in names and values alike, by the replacement of that name; %% is
// one '%'. An unknown replacement is an error, found before anything is written.
//
// Keys without a mode are created on registration; on unregistration their declared
// values go, and then the key itself if nothing else (of another program) is left in it.
// The hive's shared roots (CLSID, Interface, TypeLib, AppID, Component Categories, MIME,
// FileType, Software, "*" and file extensions) are always treated as shared at the top
// level, whatever the script says, and a "tree" on one of them is refused.
#pragma once

#include "platform/com/ComTypes.h"
#include "platform/registry/Registry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

using TScriptReplacements = std::map<std::string, std::string, std::less<>>;

class CRegistryScript {
public:
    enum class EMode { Key, Shared, Tree };

    struct SValue {
        std::string m_strName; // empty: the default value
        std::uint32_t m_nType = REG_SZ;
        std::string m_strText;      // REG_SZ
        std::uint32_t m_nDword = 0; // REG_DWORD
    };
    struct SKey {
        std::string m_strName;
        EMode m_mode = EMode::Key;
        std::vector<SValue> m_vecValues; // the default value among them, when given
        std::vector<SKey> m_vecSubKeys;
    };

    // Reads a script with its replacements. False with the reason ("line 3: ...") for a
    // script that cannot be read; the object then holds nothing.
    [[nodiscard]] bool Parse(std::string_view script, const TScriptReplacements& replacements,
                             std::string& strError);

    // Writes every key and value of the script under the hive. The first registry failure
    // stops it: HRESULT_FROM_WIN32 of the registry status.
    [[nodiscard]] HRESULT Register(ERegHive hive = ERegHive::ClassesRoot) const;
    // Removes what the script declares (see above). Keys already missing are no failure;
    // a registry failure does not stop the rest, and the first one is returned.
    [[nodiscard]] HRESULT Unregister(ERegHive hive = ERegHive::ClassesRoot) const;

    [[nodiscard]] const std::vector<SKey>& Keys() const noexcept { return m_vecKeys; }

private:
    std::vector<SKey> m_vecKeys;
};

// Whether a top-level key name of HKEY_CLASSES_ROOT is shared by every program.
[[nodiscard]] bool IsSharedRootKey(std::string_view name);

// Parses and applies a script (registration or removal). E_INVALIDARG for a script that
// cannot be read, with the reason as the thread's error description; nothing is written
// then.
[[nodiscard]] HRESULT UpdateRegistryFromScript(std::string_view script,
                                               const TScriptReplacements& replacements,
                                               bool bRegister);
