#include "platform/com/RegistryScript.h"
#include "platform/com/ErrorInfo.h"
#include "tests/com/TestServerSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Lines = std::vector<std::string>;

const TScriptReplacements kReplacements{{"MODULE", "/opt/x/Mod.so"}, {"CLSID", "{C1}"}};

HRESULT Apply(std::string_view script, bool bRegister) {
    return UpdateRegistryFromScript(script, kReplacements, bRegister);
}

void SetValue(const std::string& path, const std::string& name, const std::string& text) {
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot, path), REG_STATUS_OK);
    ASSERT_EQ(key.SetString(name, text), REG_STATUS_OK);
}

class RegistryScriptTest : public CVarnoTest {};

TEST_F(RegistryScriptTest, WritesKeysValuesAndReplacements) {
    constexpr std::string_view kScript = R"(# comment
shared CLSID {
    tree %CLSID% = "Thing Class" {   # trailing comment
        InprocServer32 = "%MODULE%" { value ThreadingModel = "Apartment" }
        Programmable
        "Quoted \"name\"" = "back\\slash and C:\dir"
    }
}
Maker.Thing = "100%% sure" {
    value Flags = dword:1F
    value "" = "replaced default"
}
)";
    ASSERT_EQ(Apply(kScript, true), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot),
              (Lines{"CLSID", "CLSID\\{C1}", "CLSID\\{C1}\\InprocServer32",
                     "CLSID\\{C1}\\InprocServer32|@=/opt/x/Mod.so",
                     "CLSID\\{C1}\\InprocServer32|ThreadingModel=Apartment",
                     "CLSID\\{C1}\\Programmable", "CLSID\\{C1}\\Quoted \"name\"",
                     "CLSID\\{C1}\\Quoted \"name\"|@=back\\slash and C:\\dir",
                     "CLSID\\{C1}|@=Thing Class", "Maker.Thing", "Maker.Thing|@=replaced default",
                     "Maker.Thing|Flags=dword:31"}));
}

TEST_F(RegistryScriptTest, UnregistrationKeepsSharedRootsAndOtherProgramsEntries) {
    constexpr std::string_view kScript = R"(
CLSID {
    tree %CLSID% = "Thing" { InprocServer32 = "%MODULE%" }
}
TypeLib
Maker.Thing = "Thing" {
    CLSID = "%CLSID%"
    value Mine = "x"
}
Maker.Shared = "Thing" { value Mine = "x" }
)";
    SetValue("CLSID\\{OTHER}", "", "another program's class");
    SetValue("Maker.Shared", "Theirs", "kept");
    ASSERT_EQ(Apply(kScript, true), S_OK);
    // Something another program put under a key the script replaces whole goes with it on
    // registration, so a stale entry of an older version cannot survive.
    SetValue("CLSID\\{C1}\\Stale", "", "old");
    ASSERT_EQ(Apply(kScript, true), S_OK);
    const Lines lines = HiveLines(ERegHive::ClassesRoot);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "CLSID\\{C1}\\Stale"), 0);

    ASSERT_EQ(Apply(kScript, false), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot),
              (Lines{"CLSID", "CLSID\\{OTHER}", "CLSID\\{OTHER}|@=another program's class",
                     "Maker.Shared", "Maker.Shared|Theirs=kept", "TypeLib"}));
    // Removing again finds nothing to remove and is no failure.
    EXPECT_EQ(Apply(kScript, false), S_OK);
    // The shared roots stay even when nothing is left in them.
    ASSERT_EQ(RegDeleteTree(ERegHive::ClassesRoot, "CLSID\\{OTHER}"), REG_STATUS_OK);
    EXPECT_EQ(Apply(kScript, false), S_OK);
    CRegKey root;
    EXPECT_EQ(root.Open(ERegHive::ClassesRoot, "CLSID"), REG_STATUS_OK);
}

TEST_F(RegistryScriptTest, BadScriptsAreRefusedBeforeAnythingIsWritten) {
    struct SCase {
        const char* m_pszScript;
        const char* m_pszError;
    };
    const SCase kCases[] = {
        {"A = \"x\"\nB = \"%UNKNOWN%\"", "line 2: unknown replacement %UNKNOWN%"},
        {"A = \"50%\"", "line 1: '%' without its closing '%'"},
        {"A {\n  B = \"x\"\n", "line 3: '}' missing for the key A"},
        {"A = \"open", "line 1: a quoted string does not end on its line"},
        {"A = dword:123456789", "line 1: dword: needs 1 to 8 hexadecimal digits"},
        {"A = dword:xyz", "line 1: dword: needs 1 to 8 hexadecimal digits"},
        {"A = other", "line 1: expected a quoted string or dword:<hex> after '='"},
        {"tree CLSID", "line 1: the shared key CLSID cannot be removed whole"},
        {"tree interface", "line 1: the shared key interface cannot be removed whole"},
        {"\"A\\B\"", "line 1: a key name must be one non-empty name without '\\'"},
        {"A { value V }", "line 1: expected '=' after the value name V"},
        {"A { value = \"x\" }", "line 1: expected a value name"},
        {"}", "line 1: expected a key name"},
        {"\n\n=", "line 3: expected a key name"},
    };
    for (const SCase& c : kCases) {
        CRegistryScript script;
        std::string strError;
        EXPECT_FALSE(script.Parse(c.m_pszScript, kReplacements, strError)) << c.m_pszScript;
        EXPECT_EQ(strError, c.m_pszError) << c.m_pszScript;
        EXPECT_TRUE(script.Keys().empty());

        ClearErrorInfo();
        EXPECT_EQ(Apply(c.m_pszScript, true), E_INVALIDARG) << c.m_pszScript;
        const std::optional<CErrorInfo> info = TakeErrorInfo();
        ASSERT_TRUE(info);
        EXPECT_NE(info->m_strDescription.find(u"line "), std::u16string::npos);
        EXPECT_TRUE(HiveLines(ERegHive::ClassesRoot).empty()) << c.m_pszScript;
    }
}

TEST_F(RegistryScriptTest, RegistryFailureIsReported) {
    // The registry folder cannot be written: a file stands in its place.
    std::filesystem::rename(Home() + "/registry", Home() + "/registry.moved");
    WriteFileBytes(Home() + "/registry", "not a folder");
    const HRESULT hr = Apply("A = \"x\"", true);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(static_cast<std::uint32_t>(hr) & 0xFFFF0000u, 0x80070000u);
}

} // namespace
