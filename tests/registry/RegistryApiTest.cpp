#include "platform/registry/Registry.h"
#include "tests/registry/RegistryTestUtil.h"
#include "tests/support/TestEnv.h"

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using RegistryApiTest = CRegistryTest;

constexpr ERegHive HKCU = ERegHive::CurrentUser;

TEST_F(RegistryApiTest, KeyPathsAreNamesJoinedBySingleBackslashes) {
    struct SCase {
        const char* m_pszPath;
        ERegStatus m_expected;
    };
    const SCase cases[] = {
        {"", REG_STATUS_OK}, // the hive's root
        {"a", REG_STATUS_OK},         {"a\\b\\c", REG_STATUS_OK},       {"\\a", REG_STATUS_INVALID},
        {"a\\", REG_STATUS_INVALID},  {"a\\\\b", REG_STATUS_INVALID},   {"\\", REG_STATUS_INVALID},
        {"a\nb", REG_STATUS_INVALID}, {"a\\b\x7F", REG_STATUS_INVALID},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszPath);
        CRegKey key;
        EXPECT_EQ(key.Create(HKCU, c.m_pszPath), c.m_expected);
        EXPECT_EQ(key.IsOpen(), c.m_expected == REG_STATUS_OK);
        if (c.m_expected != REG_STATUS_OK) {
            EXPECT_EQ(key.Open(HKCU, c.m_pszPath), c.m_expected);
            EXPECT_EQ(RegDeleteTree(HKCU, c.m_pszPath), REG_STATUS_INVALID);
        }
    }
    CRegKey root;
    ASSERT_EQ(root.Open(HKCU, ""), REG_STATUS_OK);
    EXPECT_EQ(root.SubKeyNames(), (std::vector<std::string>{"a"}));
}

TEST_F(RegistryApiTest, ReadsAndRefusedChangesCreateNothing) {
    CRegKey key;
    EXPECT_EQ(key.Open(HKCU, "Software\\Nowhere"), REG_STATUS_NOT_FOUND);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.Open(HKCU, ""), REG_STATUS_OK); // the root always exists
    std::string text;
    EXPECT_EQ(key.QueryString("x", text), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.DeleteValue("x"), REG_STATUS_NOT_FOUND);
    EXPECT_TRUE(key.SubKeyNames().empty());
    EXPECT_EQ(RegDeleteKey(HKCU, "Software"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegDeleteTree(HKCU, "Software"), REG_STATUS_NOT_FOUND);
    (void)RegChangeStamp(HKCU);
    (void)RegChangeStamp(ERegHive::LocalMachine);
    EXPECT_FALSE(fs::exists(RegistryFolder()));

    // Creating an existing key, or storing what a value already holds, writes nothing.
    ASSERT_EQ(key.Create(HKCU, "Software\\Here"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("n", 5), REG_STATUS_OK);
    const auto before = fs::last_write_time(HivePath(HKCU));
    const std::string bytes = ReadFileBytes(HivePath(HKCU));
    const std::uint64_t stamp = RegChangeStamp(HKCU);
    ASSERT_EQ(key.Create(HKCU, "SOFTWARE\\here"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("N", 5), REG_STATUS_OK);
    EXPECT_EQ(fs::last_write_time(HivePath(HKCU)), before);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), bytes);
    EXPECT_EQ(RegChangeStamp(HKCU), stamp);
}

TEST_F(RegistryApiTest, NamesCompareWithoutAsciiCaseAndKeepTheirFirstSpelling) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\MixedCase\\Leaf"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("Value", "one"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("VALUE", "two"), REG_STATUS_OK); // the same value

    CRegKey other;
    ASSERT_EQ(other.Open(HKCU, "SOFTWARE\\mixedcase\\LEAF"), REG_STATUS_OK);
    std::string text;
    ASSERT_EQ(other.QueryString("vAlUe", text), REG_STATUS_OK);
    EXPECT_EQ(text, "two");
    EXPECT_EQ(other.ValueNames(), (std::vector<std::string>{"Value"}));
    ASSERT_EQ(other.Create(HKCU, "software\\MIXEDCASE\\new"), REG_STATUS_OK);
    ASSERT_EQ(other.Open(HKCU, "Software\\MixedCase"), REG_STATUS_OK);
    EXPECT_EQ(other.SubKeyNames(), (std::vector<std::string>{"Leaf", "new"}));

    // Only ASCII letters fold: U+00C4 and U+00E4 in UTF-8 are different names.
    ASSERT_EQ(key.SetString("\xC3\x84", "upper"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("\xC3\xA4", "lower"), REG_STATUS_OK);
    ASSERT_EQ(key.QueryString("\xC3\x84", text), REG_STATUS_OK);
    EXPECT_EQ(text, "upper");
    EXPECT_EQ(key.ValueNames().size(), 3u);
}

TEST_F(RegistryApiTest, TypedAccessorsCheckKindAndSize) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Kinds"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("s", "abc"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("d", 0xDEADBEEF), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("d3", REG_DWORD, "\x01\x02\x03"s), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("raw", REG_SZ, "no zero"s), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("twice", REG_SZ, "ab\0cd\0"s), REG_STATUS_OK);

    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(key.QueryValue("s", type, data), REG_STATUS_OK);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, "abc\0"s); // the length counts the terminating zero
    ASSERT_EQ(key.QueryValue("d", type, data), REG_STATUS_OK);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data, "\xEF\xBE\xAD\xDE"s); // little-endian

    std::uint32_t n = 7;
    std::string text = "unchanged";
    EXPECT_EQ(key.QueryDword("d", n), REG_STATUS_OK);
    EXPECT_EQ(n, 0xDEADBEEFu);
    EXPECT_EQ(key.QueryDword("s", n), REG_STATUS_INVALID);
    EXPECT_EQ(key.QueryDword("d3", n), REG_STATUS_INVALID);
    EXPECT_EQ(key.QueryDword("missing", n), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.QueryString("d", text), REG_STATUS_INVALID);
    EXPECT_EQ(text, "unchanged");
    ASSERT_EQ(key.QueryString("raw", text), REG_STATUS_OK);
    EXPECT_EQ(text, "no zero");
    ASSERT_EQ(key.QueryString("twice", text), REG_STATUS_OK);
    EXPECT_EQ(text, "ab");

    EXPECT_EQ(key.SetString("bad\nname", "x"), REG_STATUS_INVALID);
    CRegKey closed;
    EXPECT_EQ(closed.SetString("x", "y"), REG_STATUS_INVALID);
    EXPECT_EQ(closed.QueryString("x", text), REG_STATUS_INVALID);
}

TEST_F(RegistryApiTest, DefaultValueIsTheEmptyName) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Default"), REG_STATUS_OK);
    std::string text;
    EXPECT_EQ(key.QueryString("", text), REG_STATUS_NOT_FOUND); // unset until written
    ASSERT_EQ(key.SetString("", "main"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("@", "at sign"), REG_STATUS_OK);
    ASSERT_EQ(key.QueryString("", text), REG_STATUS_OK);
    EXPECT_EQ(text, "main");
    ASSERT_EQ(key.QueryString("@", text), REG_STATUS_OK);
    EXPECT_EQ(text, "at sign");
    ASSERT_EQ(key.DeleteValue(""), REG_STATUS_OK);
    EXPECT_EQ(key.ValueNames(), (std::vector<std::string>{"@"}));
}

TEST_F(RegistryApiTest, DeleteKeyRefusesSubkeysDeleteTreeTakesThem) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Tree\\Branch\\Leaf"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    ASSERT_EQ(key.Create(HKCU, "Software\\Tree\\Other"), REG_STATUS_OK);

    EXPECT_EQ(RegDeleteKey(HKCU, "Software\\Tree"), REG_STATUS_HAS_SUBKEYS);
    EXPECT_EQ(RegDeleteKey(HKCU, ""), REG_STATUS_INVALID);
    EXPECT_EQ(RegDeleteTree(HKCU, ""), REG_STATUS_INVALID);
    EXPECT_EQ(RegDeleteKey(HKCU, "software\\tree\\branch\\leaf"), REG_STATUS_OK); // with values
    EXPECT_EQ(RegDeleteKey(HKCU, "Software\\Tree\\Branch\\Leaf"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegDeleteTree(HKCU, "Software\\Tree"), REG_STATUS_OK);
    CRegKey check;
    EXPECT_EQ(check.Open(HKCU, "Software\\Tree\\Other"), REG_STATUS_NOT_FOUND);
    ASSERT_EQ(check.Open(HKCU, "Software"), REG_STATUS_OK);
    EXPECT_TRUE(check.SubKeyNames().empty());

    // A handle on a deleted key reports it and never brings the key back.
    std::uint32_t n = 0;
    EXPECT_EQ(key.QueryDword("n", n), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.SetDword("n", 2), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.DeleteValue("n"), REG_STATUS_KEY_DELETED);
    std::string name;
    EXPECT_EQ(key.EnumValue(0, name), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(check.Open(HKCU, "Software\\Tree"), REG_STATUS_NOT_FOUND);
}

TEST_F(RegistryApiTest, EnumerationFollowsCreationOrder) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Order"), REG_STATUS_OK);
    const std::vector<std::string> keys = {"zeta", "Alpha", "mid"};
    const std::vector<std::string> values = {"z", "", "A", "m"};
    CRegKey sub;
    for (const std::string& k : keys)
        ASSERT_EQ(sub.Create(HKCU, "Software\\Order\\" + k), REG_STATUS_OK);
    for (const std::string& v : values)
        ASSERT_EQ(key.SetDword(v, 1), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("z", 2), REG_STATUS_OK); // a change keeps the position

    std::vector<std::string> seen;
    std::string name;
    std::uint32_t i = 0;
    for (; key.EnumSubKey(i, name) == REG_STATUS_OK; ++i)
        seen.push_back(name);
    EXPECT_EQ(key.EnumSubKey(i, name), REG_STATUS_NO_MORE_ITEMS);
    EXPECT_EQ(seen, keys);
    seen.clear();
    for (i = 0; key.EnumValue(i, name) == REG_STATUS_OK; ++i)
        seen.push_back(name);
    EXPECT_EQ(key.EnumValue(i, name), REG_STATUS_NO_MORE_ITEMS);
    EXPECT_EQ(seen, values);

    ASSERT_EQ(key.DeleteValue("A"), REG_STATUS_OK);
    EXPECT_EQ(key.ValueNames(), (std::vector<std::string>{"z", "", "m"}));

    // The order survives the file.
    CReloadedHome reloaded(HKCU);
    CRegKey again;
    ASSERT_EQ(again.Open(HKCU, "Software\\Order"), REG_STATUS_OK);
    EXPECT_EQ(again.SubKeyNames(), keys);
    EXPECT_EQ(again.ValueNames(), (std::vector<std::string>{"z", "", "m"}));
}

TEST_F(RegistryApiTest, HivesAreSeparateFilesUnderTheRegistryFolder) {
    EXPECT_EQ(RegistryFolder(), m_home.Path() + "/registry");
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::LocalMachine, "SOFTWARE\\Classes"), REG_STATUS_OK);
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot, "CLSID"), REG_STATUS_OK);
    EXPECT_EQ(key.Open(HKCU, "CLSID"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(FolderEntries(RegistryFolder()),
              (std::vector<std::string>{"HKEY_CLASSES_ROOT.reg", "HKEY_CLASSES_ROOT.reg.lock",
                                        "HKEY_LOCAL_MACHINE.reg", "HKEY_LOCAL_MACHINE.reg.lock"}));
}

TEST(RegistryFolderTest, FollowsVarnoHomeThenXdgConfigThenHome) {
    CTestHome home; // restores VARNO_HOME afterwards
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const char* user = std::getenv("HOME");
    const std::string savedHome = user ? user : "";

    EXPECT_EQ(RegistryFolder(), home.Path() + "/registry");
    unsetenv("VARNO_HOME");
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryFolder(), "/xdg/config/varno/registry");
    setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(RegistryFolder(), "/home/someone/.config/varno/registry");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryFolder(), "/home/someone/.config/varno/registry");

    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (user)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

TEST_F(RegistryApiTest, ChangeStampMovesWithTheContentOnly) {
    const std::uint64_t empty = RegChangeStamp(HKCU);
    EXPECT_EQ(RegChangeStamp(HKCU), empty);
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Stamp"), REG_STATUS_OK);
    const std::uint64_t created = RegChangeStamp(HKCU);
    EXPECT_NE(created, empty);
    std::uint32_t n = 0;
    EXPECT_EQ(key.QueryDword("n", n), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegChangeStamp(HKCU), created);
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    const std::uint64_t written = RegChangeStamp(HKCU);
    EXPECT_NE(written, created);
    const std::uint64_t machine = RegChangeStamp(ERegHive::LocalMachine);

    // Another home never shows a stamp of this one, even with the same history.
    {
        CTestHome other;
        EXPECT_NE(RegChangeStamp(HKCU), written);
        EXPECT_NE(RegChangeStamp(HKCU), empty);
    }
    EXPECT_EQ(RegChangeStamp(HKCU), written);
    EXPECT_EQ(RegChangeStamp(ERegHive::LocalMachine), machine);
}

TEST_F(RegistryApiTest, ThreadsWritingAtOnceLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kValues = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            CRegKey key;
            if (key.Create(HKCU, "Software\\Threads\\T" + std::to_string(t)) != REG_STATUS_OK)
                return;
            for (int i = 0; i < kValues; ++i)
                (void)key.SetDword("v" + std::to_string(i), static_cast<std::uint32_t>(i));
        });
    for (std::thread& thread : threads)
        thread.join();
    CReloadedHome reloaded(HKCU);
    for (int t = 0; t < kThreads; ++t) {
        CRegKey key;
        ASSERT_EQ(key.Open(HKCU, "Software\\Threads\\T" + std::to_string(t)), REG_STATUS_OK);
        EXPECT_EQ(key.ValueNames().size(), static_cast<std::size_t>(kValues));
    }
}

} // namespace
