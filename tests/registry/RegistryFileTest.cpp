#include "platform/registry/Registry.h"
#include "tests/registry/RegistryTestUtil.h"
#include "tests/support/TestEnv.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class RegistryFileTest : public CRegistryTest {
protected:
    // Puts text in place of the current user's hive as an outside program would.
    static void ReplaceHive(std::string_view text) {
        fs::create_directories(RegistryFolder());
        const std::string temp = HivePath(HKCU) + ".outside";
        WriteFileBytes(temp, text);
        fs::rename(temp, HivePath(HKCU));
    }

    static Names CorruptFiles() {
        Names found;
        for (const std::string& name : FolderEntries(RegistryFolder()))
            if (name.rfind("HKEY_CURRENT_USER.reg.corrupt-", 0) == 0)
                found.push_back(RegistryFolder() + "/" + name);
        return found;
    }
};

std::string Repeated(std::string_view part, std::size_t count) {
    std::string text;
    text.reserve(part.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        text += part;
    return text;
}

// A hive of one key per level, each written as its own section with its full path.
std::string NestedSections(std::size_t levels) {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    std::string path = "HKEY_CURRENT_USER";
    for (std::size_t i = 0; i < levels; ++i) {
        path += "\\k";
        text += "[" + path + "]\n\n";
    }
    return text;
}

// One key, Software\Many, holding count values: count + 2 keys and values in all.
std::string ManyValues(std::size_t count) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Many]\n";
    for (std::size_t i = 0; i < count; ++i)
        text += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
    return text;
}

void WriteGoldenHive() {
    CRegKey key = Created("Software\\Brenmark\\VARNO\\Options");
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += static_cast<char>(i * 7);
    for (const ERegStatus status : {
             key.SetDword("daysahead", 30),
             key.SetString("separator", ";"),
             key.SetString("lastfile", "C:\\Users\\Ann \"A\"\\dates.csv"),
             key.SetString("quote", "\t\xE9t\xE9"), // tab and Latin-1 bytes
             key.SetString("multiline", "one\r\ntwo"),
             key.SetString("", "default"),
             key.SetValue("Layout \\ \"1\"", REG_BINARY, bytes),
             key.SetValue("empty", REG_BINARY, ""),
             key.SetValue("multi", 7, "a\0b\0\0"s),
             key.SetValue("short", REG_DWORD, "\x01\x02"s),
         })
        ASSERT_EQ(status, REG_STATUS_OK);
    Created("Software\\Brenmark\\VARNO\\Options0");
    ASSERT_EQ(Created("Control Panel\\International").SetString("sShortDate", "dd.MM.yyyy"),
              REG_STATUS_OK);
    ASSERT_EQ(Created("").SetDword("rootvalue", 0xFFFFFFFF), REG_STATUS_OK);
}

TEST_F(RegistryFileTest, HiveIsWrittenInTheExportFormat) {
    WriteGoldenHive();
    const std::string golden = ReadFileBytes(TestDataPath("registry/HKEY_CURRENT_USER.reg"));
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), golden);

    // Read back from the file alone, a change and its undoing give the same bytes again.
    CTestHome fresh;
    ReplaceHive(golden);
    CRegKey key;
    ASSERT_EQ(key.Open(HKCU, "software\\brenmark\\varno\\options"), REG_STATUS_OK);
    EXPECT_EQ(StringOf(key, "lastfile"), "C:\\Users\\Ann \"A\"\\dates.csv");
    ASSERT_EQ(key.SetString("added", "x"), REG_STATUS_OK);
    ASSERT_EQ(key.DeleteValue("added"), REG_STATUS_OK);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), golden);
}

TEST_F(RegistryFileTest, EveryValueAndKeyRoundTripsByteForByte) {
    std::string allBytes;
    for (int b = 1; b <= 0xFF; ++b)
        allBytes += static_cast<char>(b);
    std::string printable;
    for (int b = 0x20; b <= 0xFF; ++b)
        if (b != 0x7F)
            printable += static_cast<char>(b);
    struct SCase {
        const char* m_pszName;
        std::uint32_t m_nType;
        std::string m_strData;
    };
    const std::vector<SCase> cases = {
        {"every byte 01-ff", REG_SZ, allBytes + '\0'},
        {"printable and high bytes", REG_SZ, printable + '\0'},
        {"quotes \" and \\ backslashes", REG_SZ, "\"\\\\\"\\\0"s},
        {"ends in a backslash", REG_SZ, "C:\\\0"s},
        {"CR LF", REG_SZ, "a\r\nb\rc\n\0"s},
        {"empty", REG_SZ, "\0"s},
        {"no terminator", REG_SZ, "abc"s},
        {"nothing at all", REG_SZ, ""s},
        {"zero inside", REG_SZ, "a\0b\0"s},
        {"two zeros", REG_SZ, "ab\0\0"s},
        {"binary", REG_BINARY, allBytes + '\0'},
        {"binary empty", REG_BINARY, ""s},
        {"dword", REG_DWORD, "\x00\x00\x00\x80"s},
        {"dword of 5 bytes", REG_DWORD, "\x01\x02\x03\x04\x05"s},
        {"none", REG_NONE, "\x01"s},
        {"kind 0x12345678", 0x12345678, "xyz"s},
        {"", REG_SZ, "default\0"s},
        {"@", REG_SZ, "at\0"s},
        {"name \xE4\xF6 \"quoted\" \\", REG_DWORD, "\x04\x03\x02\x01"s},
        {printable.c_str(), REG_SZ, "long name\0"s},
    };
    CRegKey key = Created("Keys \xC3\xA4 [x] \"q\"\\Sub");
    for (const SCase& c : cases)
        ASSERT_EQ(key.SetValue(c.m_pszName, c.m_nType, c.m_strData), REG_STATUS_OK) << c.m_pszName;
    Created("A\\B\\C"); // empty keys stay

    CReloadedHome reloaded(HKCU);
    CRegKey again;
    ASSERT_EQ(again.Open(HKCU, "keys \xC3\xA4 [X] \"Q\"\\sub"), REG_STATUS_OK);
    for (const SCase& c : cases)
        EXPECT_EQ(ValueOf(again, c.m_pszName), KindAndBytes(c.m_nType, c.m_strData)) << c.m_pszName;
    EXPECT_EQ(again.ValueNames().size(), cases.size());
    EXPECT_EQ(Created("").SubKeyNames(), (Names{"Keys \xC3\xA4 [x] \"q\"", "A"}));
    EXPECT_EQ(again.Open(HKCU, "A\\B\\C"), REG_STATUS_OK);
}

TEST_F(RegistryFileTest, ReaderAcceptsWhatHandsAndOtherToolsWrite) {
    const std::string text = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "; a comment\r\n"
                             "[hkey_current_user\\Software\\X]   \r\n"
                             "\"short\"=dword:A\r\n"
                             "\"upper\"=HEX:0A,FF,\\\r\n"
                             "\t  0b\r\n"
                             "   \r\n"
                             "[HKEY_CURRENT_USER\\software\\x]\r\n"
                             "\"short\"=dword:0000000b\r\n"
                             "\"text\"=\"tab\there\"\r\n"
                             "\"kind\"=hex(2):41,00\n"
                             "[HKEY_CURRENT_USER\\Software\\Implied\\Below]";
    ReplaceHive(text);
    CRegKey key;
    ASSERT_EQ(key.Open(HKCU, "Software\\X"), REG_STATUS_OK);
    std::uint32_t n = 0;
    ASSERT_EQ(key.QueryDword("short", n), REG_STATUS_OK);
    EXPECT_EQ(n, 11u); // the later line wins
    EXPECT_EQ(ValueOf(key, "upper"), KindAndBytes(REG_BINARY, "\x0a\xff\x0b"s));
    EXPECT_EQ(ValueOf(key, "text"), KindAndBytes(REG_SZ, "tab\there\0"s));
    EXPECT_EQ(ValueOf(key, "kind"), KindAndBytes(2, "A\0"s));
    EXPECT_EQ(key.ValueNames(), (Names{"short", "upper", "text", "kind"}));
    EXPECT_EQ(key.Open(HKCU, "Software\\Implied\\Below"), REG_STATUS_OK);
    EXPECT_TRUE(CorruptFiles().empty());
}

TEST_F(RegistryFileTest, OutsideChangesAreSeenAtTheNextRead) {
    CRegKey key = Created("Software\\Edit");
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    const std::uint64_t stamp = RegChangeStamp(HKCU);
    const std::string header =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Edit]\n";

    // Rewritten in place, as a text editor may do.
    WriteFileBytes(HivePath(HKCU), header + "\"n\"=dword:00000002\n\"added\"=\"yes\"\n");
    std::uint32_t n = 0;
    ASSERT_EQ(key.QueryDword("n", n), REG_STATUS_OK);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(StringOf(key, "added"), "yes");
    const std::uint64_t edited = RegChangeStamp(HKCU);
    EXPECT_NE(edited, stamp);

    // Replaced by a file of the same size at once: the new inode gives it away.
    ReplaceHive(header + "\"n\"=dword:00000003\n\"added\"=\"yes\"\n");
    ASSERT_EQ(key.QueryDword("n", n), REG_STATUS_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_NE(RegChangeStamp(HKCU), edited);

    // A change goes on top of the outside one.
    ASSERT_EQ(key.SetDword("mine", 4), REG_STATUS_OK);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Edit]\n\"n\"=dword:00000003\n\"added\"=\"yes\"\n"
              "\"mine\"=dword:00000004\n\n");

    // Removed: the hive is empty again.
    fs::remove(HivePath(HKCU));
    EXPECT_EQ(key.QueryDword("n", n), REG_STATUS_KEY_DELETED);
    EXPECT_EQ(key.Open(HKCU, "Software"), REG_STATUS_NOT_FOUND);
}

// The change stamp, asked for again and again without a read between (as the trace switch
// and the date texts do), shows another process's change once the check interval has passed,
// and this process's own change at once.
TEST_F(RegistryFileTest, ChangeStampSeesOutsideChangesWithinTheInterval) {
    CRegKey key = Created("Software\\Stamp");
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    const std::uint64_t before = RegChangeStamp(HKCU);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(RegChangeStamp(HKCU), before);
    ReplaceHive("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Stamp]\n"
                "\"n\"=dword:00000002\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const std::uint64_t outside = RegChangeStamp(HKCU);
    EXPECT_NE(outside, before);
    ASSERT_EQ(key.SetDword("n", 3), REG_STATUS_OK);
    EXPECT_NE(RegChangeStamp(HKCU), outside);
}

TEST_F(RegistryFileTest, MalformedHiveIsMovedAsideAndReplacedByAnEmptyOne) {
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string section = header + "[HKEY_CURRENT_USER\\Software\\Bad]\n";
    struct SCase {
        const char* m_pszWhat;
        std::string m_strText;
    };
    const std::vector<SCase> cases = {
        {"empty file", ""},
        {"no header", "[HKEY_CURRENT_USER\\Software]\n"},
        {"old header", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n"},
        {"UTF-16 file", "\xFF\xFEW\0i\0n\0"s},
        {"value outside a section", header + "\"x\"=\"y\"\n"},
        {"another hive", header + "[HKEY_LOCAL_MACHINE\\Software]\n"},
        {"empty path part", header + "[HKEY_CURRENT_USER\\a\\\\b]\n"},
        {"trailing backslash", header + "[HKEY_CURRENT_USER\\a\\]\n"},
        {"unclosed section", header + "[HKEY_CURRENT_USER\\a\n"},
        {"deletion entry", header + "[-HKEY_CURRENT_USER\\a]\n"},
        {"value deletion", section + "\"x\"=-\n"},
        {"no equals sign", section + "\"x\" \"y\"\n"},
        {"unterminated string", section + "\"x\"=\"y\n"},
        {"unterminated name", section + "\"x=\"y\"\n"},
        {"unknown escape", section + "\"x\"=\"a\\nb\"\n"},
        {"text after the string", section + "\"x\"=\"y\" z\n"},
        {"long dword", section + "\"x\"=dword:000000001\n"},
        {"bad dword", section + "\"x\"=dword:0000000g\n"},
        {"bad hex", section + "\"x\"=hex:01,2g\n"},
        {"one-digit hex", section + "\"x\"=hex:01,2\n"},
        {"doubled comma", section + "\"x\"=hex:01,,02\n"},
        {"bad hex kind", section + "\"x\"=hex(z):01\n"},
        {"continued past the end", section + "\"x\"=hex:01,\\\n"},
        {"unknown kind", section + "\"x\"=str(2):\"y\"\n"},
        {"stray line", section + "x=y\n"},
        {"control character in a name", section + "\"a\x01\"=\"y\"\n"},
        {"keys 513 levels deep", header + "[HKEY_CURRENT_USER" + Repeated("\\k", 513) + "]\n"},
        {"keys 1,000,000 levels deep",
         header + "[HKEY_CURRENT_USER" + Repeated("\\a", 1000000) + "]\n"},
        {"keys 2,000 levels deep, a section each", NestedSections(2000)},
        {"key name of 256 bytes", header + "[HKEY_CURRENT_USER\\" + std::string(256, 'k') + "]\n"},
        {"value name of 16,384 bytes", section + "\"" + std::string(16384, 'v') + "\"=\"\"\n"},
        {"1,000,002 keys and values", ManyValues(1000000)},
        {"more than 64 MiB", section + "\"x\"=\"" + std::string(64 << 20, 'x') + "\"\n"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszWhat);
        CTestHome home;
        ReplaceHive(c.m_strText);
        testing::internal::CaptureStderr();
        CRegKey key;
        EXPECT_EQ(key.Open(HKCU, "Software\\Bad"), REG_STATUS_NOT_FOUND);
        const std::string warning = testing::internal::GetCapturedStderr();

        const Names aside = CorruptFiles();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_TRUE(ReadFileBytes(aside[0]) == c.m_strText); // some are megabytes long
        EXPECT_FALSE(fs::exists(HivePath(HKCU)));
        EXPECT_NE(warning.find(HivePath(HKCU)), std::string::npos) << warning;
        EXPECT_NE(warning.find(aside[0]), std::string::npos) << warning;

        // The registry goes on with an empty hive and writes a fresh file.
        ASSERT_EQ(Created("Software\\Good").SetString("v", "ok"), REG_STATUS_OK);
        CReloadedHome reloaded(HKCU);
        ASSERT_EQ(key.Open(HKCU, "Software\\Good"), REG_STATUS_OK);
        EXPECT_EQ(StringOf(key, "v"), "ok");
    }
}

// 512 levels is the deepest a key may be, from a file or through Create; what is saved
// stays in the export format, one section per key with its full path.
TEST_F(RegistryFileTest, KeysNestFiveHundredAndTwelveLevels) {
    const std::string deepest = "Software" + Repeated("\\k", 511);
    ReplaceHive(NestedSections(512));
    CRegKey key;
    ASSERT_EQ(key.Open(HKCU, Repeated("k\\", 511) + "k"), REG_STATUS_OK);
    EXPECT_EQ(key.Create(HKCU, Repeated("k\\", 512) + "k"), REG_STATUS_INVALID);
    EXPECT_EQ(key.Create(HKCU, deepest + "\\k"), REG_STATUS_INVALID);
    key = Created(deepest);
    ASSERT_EQ(key.SetString("v", "deep"), REG_STATUS_OK);

    const std::string text = ReadFileBytes(HivePath(HKCU));
    EXPECT_EQ(text.rfind(NestedSections(512), 0), 0u);
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\" + deepest + "]\n\"v\"=\"deep\"\n"),
              std::string::npos);
    CReloadedHome reloaded(HKCU);
    ASSERT_EQ(key.Open(HKCU, deepest), REG_STATUS_OK);
    EXPECT_EQ(StringOf(key, "v"), "deep");

    // Names up to their limits are kept; longer ones are refused.
    CRegKey other;
    EXPECT_EQ(other.Create(HKCU, std::string(256, 'n')), REG_STATUS_INVALID);
    ASSERT_EQ(other.Create(HKCU, std::string(255, 'n')), REG_STATUS_OK);
    EXPECT_EQ(other.SetString(std::string(16383, 'v'), "x"), REG_STATUS_OK);
    EXPECT_EQ(other.SetString(std::string(16384, 'v'), "x"), REG_STATUS_INVALID);
}

// A change that would take the file past 64 MiB is refused and leaves file and cache as
// they were, so the hive never becomes one that does not read back.
TEST_F(RegistryFileTest, ChangePastTheSizeLimitIsRefused) {
    CRegKey key = Created("Software\\Big");
    ASSERT_EQ(key.SetString("kept", "yes"), REG_STATUS_OK);
    const std::string before = ReadFileBytes(HivePath(HKCU));
    // Written as hex, each byte takes three characters.
    EXPECT_EQ(key.SetValue("huge", REG_BINARY, std::string(std::size_t{22} << 20, 'x')),
              REG_STATUS_HIVE_FULL);
    EXPECT_EQ(ValueOf(key, "huge").first, 0xFFFFFFFF);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), before);
    EXPECT_EQ(key.SetValue("large", REG_BINARY, std::string(std::size_t{1} << 20, 'x')),
              REG_STATUS_OK);
}

TEST_F(RegistryFileTest, MalformedHiveFoundByAChangeIsKeptToo) {
    CRegKey key = Created("Software\\Old");
    const std::string bad = "Windows Registry Editor Version 5.00\n\n\"x\"=\"y\"\n";
    for (int round = 0; round < 3; ++round) {
        ReplaceHive(bad);
        testing::internal::CaptureStderr();
        EXPECT_EQ(key.Create(HKCU, "Software\\New"), REG_STATUS_OK); // no read before it
        (void)testing::internal::GetCapturedStderr();
        EXPECT_EQ(key.Open(HKCU, "Software\\Old"), REG_STATUS_NOT_FOUND);
    }
    // Moved aside within the same second: the names get a counter.
    const Names aside = CorruptFiles();
    ASSERT_EQ(aside.size(), 3u);
    for (const std::string& path : aside)
        EXPECT_EQ(ReadFileBytes(path), bad);
}

TEST_F(RegistryFileTest, HiveThatCannotBeMovedAsideIsNeverOverwritten) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    const std::string bad = "not a hive\n";
    ReplaceHive(bad);
    ASSERT_EQ(chmod(RegistryFolder().c_str(), 0500), 0);
    testing::internal::CaptureStderr();
    CRegKey key;
    EXPECT_EQ(key.Open(HKCU, "Software"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.Create(HKCU, "Software"), REG_STATUS_ACCESS_DENIED);
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find(HivePath(HKCU)), std::string::npos);
    ASSERT_EQ(chmod(RegistryFolder().c_str(), 0700), 0);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), bad);
}

} // namespace
