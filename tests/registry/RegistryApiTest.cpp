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

TEST_F(RegistryApiTest, KeyPathsAreNamesJoinedBySingleBackslashes) {
    const std::pair<const char*, ERegStatus> cases[] = {
        {"", REG_STATUS_OK}, // the hive's root
        {"a", REG_STATUS_OK},         {"a\\b\\c", REG_STATUS_OK},       {"\\a", REG_STATUS_INVALID},
        {"a\\", REG_STATUS_INVALID},  {"a\\\\b", REG_STATUS_INVALID},   {"\\", REG_STATUS_INVALID},
        {"a\nb", REG_STATUS_INVALID}, {"a\\b\x7F", REG_STATUS_INVALID},
    };
    for (const auto& [pszPath, expected] : cases) {
        SCOPED_TRACE(pszPath);
        CRegKey key;
        EXPECT_EQ(key.Create(HKCU, pszPath), expected);
        EXPECT_EQ(key.IsOpen(), expected == REG_STATUS_OK);
        if (expected != REG_STATUS_OK) {
            EXPECT_EQ(key.Open(HKCU, pszPath), expected);
            EXPECT_EQ(RegDeleteTree(HKCU, pszPath), REG_STATUS_INVALID);
        }
    }
    EXPECT_EQ(Created("").SubKeyNames(), Names{"a"});
}

TEST_F(RegistryApiTest, OnlyChangesWriteAndMoveTheStamp) {
    const std::uint64_t empty = RegChangeStamp(HKCU);
    CRegKey key;
    EXPECT_EQ(key.Open(HKCU, "Software\\Nowhere"), REG_STATUS_NOT_FOUND);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.Open(HKCU, ""), REG_STATUS_OK); // the root always exists
    EXPECT_EQ(StringOf(key, "x"), "<2>");
    EXPECT_EQ(key.DeleteValue("x"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKCU, "Software"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegDeleteTree(HKCU, "Software"), REG_STATUS_NOT_FOUND);
    (void)RegChangeStamp(ERegHive::LocalMachine);
    EXPECT_FALSE(fs::exists(RegistryFolder()));
    EXPECT_EQ(RegChangeStamp(HKCU), empty);

    key = Created("Software\\Here");
    const std::uint64_t created = RegChangeStamp(HKCU);
    EXPECT_NE(created, empty);
    ASSERT_EQ(key.SetDword("n", 5), REG_STATUS_OK);
    const std::uint64_t written = RegChangeStamp(HKCU);
    EXPECT_NE(written, created);
    const std::uint64_t machine = RegChangeStamp(ERegHive::LocalMachine);

    // Creating an existing key, or storing what a value already holds, writes nothing.
    const auto before = fs::last_write_time(HivePath(HKCU));
    const std::string bytes = ReadFileBytes(HivePath(HKCU));
    ASSERT_EQ(Created("SOFTWARE\\here").SetDword("N", 5), REG_STATUS_OK);
    EXPECT_EQ(fs::last_write_time(HivePath(HKCU)), before);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), bytes);
    EXPECT_EQ(RegChangeStamp(HKCU), written);

    // Another home never shows a stamp of this one, even with the same history.
    {
        CTestHome other;
        EXPECT_NE(RegChangeStamp(HKCU), written);
        EXPECT_NE(RegChangeStamp(HKCU), empty);
    }
    EXPECT_EQ(RegChangeStamp(HKCU), written);
    EXPECT_EQ(RegChangeStamp(ERegHive::LocalMachine), machine);
}

TEST_F(RegistryApiTest, NamesCompareWithoutAsciiCaseAndKeepTheirFirstSpelling) {
    CRegKey key = Created("Software\\MixedCase\\Leaf");
    ASSERT_EQ(key.SetString("Value", "one"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("VALUE", "two"), REG_STATUS_OK); // the same value
    CRegKey other;
    ASSERT_EQ(other.Open(HKCU, "SOFTWARE\\mixedcase\\LEAF"), REG_STATUS_OK);
    EXPECT_EQ(StringOf(other, "vAlUe"), "two");
    EXPECT_EQ(other.ValueNames(), Names{"Value"});
    Created("software\\MIXEDCASE\\new");
    EXPECT_EQ(Created("Software\\MixedCase").SubKeyNames(), (Names{"Leaf", "new"}));

    // Only ASCII letters fold: U+00C4 and U+00E4 in UTF-8 are different names.
    ASSERT_EQ(key.SetString("\xC3\x84", "upper"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("\xC3\xA4", "lower"), REG_STATUS_OK);
    EXPECT_EQ(StringOf(key, "\xC3\x84"), "upper");
    EXPECT_EQ(key.ValueNames().size(), 3u);
}

TEST_F(RegistryApiTest, TypedAccessorsCheckKindAndSize) {
    CRegKey key = Created("Software\\Kinds");
    ASSERT_EQ(key.SetString("s", "abc"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("d", 0xDEADBEEF), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("d3", REG_DWORD, "\x01\x02\x03"s), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("raw", REG_SZ, "no zero"s), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("twice", REG_SZ, "ab\0cd\0"s), REG_STATUS_OK);

    EXPECT_EQ(ValueOf(key, "s"), KindAndBytes(REG_SZ, "abc\0"s)); // with the terminating zero
    EXPECT_EQ(ValueOf(key, "d"), KindAndBytes(REG_DWORD, "\xEF\xBE\xAD\xDE"s)); // little-endian

    std::uint32_t n = 7;
    EXPECT_EQ(key.QueryDword("d", n), REG_STATUS_OK);
    EXPECT_EQ(n, 0xDEADBEEFu);
    EXPECT_EQ(key.QueryDword("s", n), REG_STATUS_INVALID);
    EXPECT_EQ(key.QueryDword("d3", n), REG_STATUS_INVALID);
    EXPECT_EQ(key.QueryDword("missing", n), REG_STATUS_NOT_FOUND);
    std::string text = "unchanged";
    EXPECT_EQ(key.QueryString("d", text), REG_STATUS_INVALID);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(StringOf(key, "raw"), "no zero");
    EXPECT_EQ(StringOf(key, "twice"), "ab");

    EXPECT_EQ(key.SetString("bad\nname", "x"), REG_STATUS_INVALID);
    CRegKey closed;
    EXPECT_EQ(closed.SetString("x", "y"), REG_STATUS_INVALID);
    EXPECT_EQ(StringOf(closed, "x"), "<87>");
}

TEST_F(RegistryApiTest, DeleteKeyRefusesSubkeysDeleteTreeTakesThem) {
    CRegKey key = Created("Software\\Tree\\Branch\\Leaf");
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    Created("Software\\Tree\\Other");
    EXPECT_EQ(RegDeleteKey(HKCU, "Software\\Tree"), REG_STATUS_HAS_SUBKEYS);
    EXPECT_EQ(RegDeleteKey(HKCU, ""), REG_STATUS_INVALID);
    EXPECT_EQ(RegDeleteTree(HKCU, ""), REG_STATUS_INVALID);
    EXPECT_EQ(RegDeleteKey(HKCU, "software\\tree\\branch\\leaf"), REG_STATUS_OK); // with values
    EXPECT_EQ(RegDeleteKey(HKCU, "Software\\Tree\\Branch\\Leaf"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(RegDeleteTree(HKCU, "Software\\Tree"), REG_STATUS_OK);
    EXPECT_TRUE(Created("Software").SubKeyNames().empty());

    // A handle on a deleted key reports it and never brings the key back.
    std::uint32_t n = 0;
    std::string name;
    EXPECT_EQ(key.QueryDword("n", n), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.SetDword("n", 2), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.DeleteValue("n"), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.EnumValue(0, name), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(CRegKey().Open(HKCU, "Software\\Tree"), REG_STATUS_NOT_FOUND);
}

TEST_F(RegistryApiTest, EnumerationFollowsCreationOrder) {
    CRegKey key = Created("Software\\Order");
    const Names keys = {"zeta", "Alpha", "mid"};
    for (const std::string& k : keys)
        Created("Software\\Order\\" + k);
    for (const char* pszValue : {"z", "", "A", "m"}) // "" is the default value
        ASSERT_EQ(key.SetDword(pszValue, 1), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("z", 2), REG_STATUS_OK); // a change keeps the position
    ASSERT_EQ(key.DeleteValue("A"), REG_STATUS_OK);

    Names seen;
    std::string name;
    std::uint32_t i = 0;
    for (; key.EnumSubKey(i, name) == REG_STATUS_OK; ++i)
        seen.push_back(name);
    EXPECT_EQ(key.EnumSubKey(i, name), REG_STATUS_NO_MORE_ITEMS);
    for (i = 0; key.EnumValue(i, name) == REG_STATUS_OK; ++i)
        seen.push_back(name);
    EXPECT_EQ(key.EnumValue(i, name), REG_STATUS_NO_MORE_ITEMS);
    EXPECT_EQ(seen, (Names{"zeta", "Alpha", "mid", "z", "", "m"}));

    // The order survives the file.
    CReloadedHome reloaded(HKCU);
    ASSERT_EQ(key.Open(HKCU, "Software\\Order"), REG_STATUS_OK);
    EXPECT_EQ(key.SubKeyNames(), keys);
    EXPECT_EQ(key.ValueNames(), (Names{"z", "", "m"}));
}

TEST_F(RegistryApiTest, HivesAreSeparateFilesUnderTheRegistryFolder) {
    Created("SOFTWARE\\Classes", ERegHive::LocalMachine);
    Created("CLSID", ERegHive::ClassesRoot);
    EXPECT_EQ(CRegKey().Open(HKCU, "CLSID"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(FolderEntries(RegistryFolder()),
              (Names{"HKEY_CLASSES_ROOT.reg", "HKEY_CLASSES_ROOT.reg.lock",
                     "HKEY_LOCAL_MACHINE.reg", "HKEY_LOCAL_MACHINE.reg.lock"}));

    // The folder follows VARNO_HOME, then an absolute XDG_CONFIG_HOME, then HOME.
    EXPECT_EQ(RegistryFolder(), m_home.Path() + "/registry");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const char* user = std::getenv("HOME");
    const std::string savedHome = user ? user : "";
    {
        CTestHome inner; // restores VARNO_HOME afterwards
        unsetenv("VARNO_HOME");
        setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
        setenv("HOME", "/home/someone", 1);
        EXPECT_EQ(RegistryFolder(), "/xdg/config/varno/registry");
        setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
        EXPECT_EQ(RegistryFolder(), "/home/someone/.config/varno/registry");
        unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(RegistryFolder(), "/home/someone/.config/varno/registry");
    }
    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (user)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
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
