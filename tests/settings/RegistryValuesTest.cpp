#include "settings/RegistryValues.h"
#include "settings/Trace.h"

#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "tests/support/TestEnv.h"

#include <filesystem>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class RegistryValuesTest : public CVarnoTest {};

constexpr const char* kKey = "Software\\Brenmark\\VARNO\\Options";

TEST_F(RegistryValuesTest, ReadsOfMissingKeysGiveTheDefaultAndCreateNothing) {
    EXPECT_EQ(ReadRegString("Software\\Nowhere\\Deep", "x", "dflt"), "dflt");
    EXPECT_EQ(ReadRegDword("Software\\Nowhere\\Deep", "x", -7), -7);
    CRegKey key;
    EXPECT_EQ(key.Open(ERegHive::CurrentUser, "Software\\Nowhere"), REG_STATUS_NOT_FOUND);
}

TEST_F(RegistryValuesTest, WritesCreateEveryMissingKey) {
    ASSERT_TRUE(WriteRegDword("Software\\A\\B\\C", "n", -5));
    ASSERT_TRUE(WriteRegString("Software\\A\\B\\C", "s", "x;y"));
    EXPECT_EQ(ReadRegDword("Software\\A\\B\\C", "n", 0), -5);
    EXPECT_EQ(ReadRegString("Software\\A\\B\\C", "s", ""), "x;y");
    CRegKey key;
    EXPECT_EQ(key.Open(ERegHive::CurrentUser, "Software\\A\\B"), REG_STATUS_OK);

    // Stored as the platform stores them: REG_SZ with its zero byte, REG_DWORD 4 bytes.
    ASSERT_EQ(key.Open(ERegHive::CurrentUser, "Software\\A\\B\\C"), REG_STATUS_OK);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(key.QueryValue("s", type, data), REG_STATUS_OK);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, std::string("x;y\0", 4));
    ASSERT_EQ(key.QueryValue("n", type, data), REG_STATUS_OK);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data.size(), 4u);
}

TEST_F(RegistryValuesTest, StringBufferHoldsFewerThan1000Bytes) {
    const std::string fits(999, 'a');
    const std::string tooLong(1000, 'b');
    ASSERT_TRUE(WriteRegString(kKey, "fits", fits));
    ASSERT_TRUE(WriteRegString(kKey, "long", tooLong));
    EXPECT_EQ(ReadRegString(kKey, "fits", "d"), fits);
    EXPECT_EQ(ReadRegString(kKey, "long", "d"), "d");
    EXPECT_EQ(ReadRegString(kKey, "missing", "d"), "d");
    ASSERT_TRUE(WriteRegString(kKey, "empty", ""));
    EXPECT_EQ(ReadRegString(kKey, "empty", "d"), "");
}

TEST_F(RegistryValuesTest, ValuesAreReadWhateverTheirKind) {
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::CurrentUser, kKey), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("bin4", REG_BINARY, std::string("\x01\x02\x00\x00", 4)), REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("bin5", REG_BINARY, std::string("\x01\x02\x03\x04\x05", 5)),
              REG_STATUS_OK);
    ASSERT_EQ(key.SetValue("sz3", REG_SZ, std::string("ab\0", 3)), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("dw", 0x00434241), REG_STATUS_OK);

    EXPECT_EQ(ReadRegDword(kKey, "bin4", 9), 0x0201);
    EXPECT_EQ(ReadRegDword(kKey, "bin5", 9), 9); // longer than four bytes
    EXPECT_EQ(ReadRegDword(kKey, "sz3", 9), 9);  // shorter: refused rather than half-read
    EXPECT_EQ(ReadRegString(kKey, "dw", ""), "ABC");
    EXPECT_EQ(ReadRegString(kKey, "bin4", "x"), "\x01\x02");
}

class TraceTest : public CVarnoTest {
protected:
    std::string TracePath() { return GetDocumentsFolder() + "/varno.txt"; }
};

TEST_F(TraceTest, WritesNothingUnlessSwitchedOn) {
    WriteTrace("Start %s", "numAppointments");
    EXPECT_FALSE(fs::exists(TracePath()));
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 0));
    WriteTrace("Start %s", "numAppointments");
    EXPECT_FALSE(fs::exists(TracePath()));
    // The switch lives in the product key, not the options key.
    ASSERT_TRUE(WriteRegDword(kOptionsKey, "writetrace", 1));
    WriteTrace("Start %s", "numAppointments");
    EXPECT_FALSE(fs::exists(TracePath()));
}

TEST_F(TraceTest, AppendsLinesAndTakesEffectAtOnce) {
    WriteFileBytes(TracePath(), "earlier\n");
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 1));
    WriteTrace("getting rec");
    WriteTrace("count=%d text=%s", 3, "Lunch");
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 0));
    WriteTrace("not written");
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 1));
    WriteTrace("again");
    EXPECT_EQ(ReadFileBytes(TracePath()), "earlier\ngetting rec\ncount=3 text=Lunch\nagain\n");
}

// The trace holds appointment texts: private to the user whatever the umask, and kept to
// the cap plus one older file.
TEST_F(TraceTest, IsPrivateAndRotatesAtTheCap) {
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 1));
    const mode_t nOldMask = ::umask(0);
    WriteTrace("first");
    ::umask(nOldMask);
    struct stat st {};
    ASSERT_EQ(::stat(TracePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);

    const std::string full(4 * 1024 * 1024, 'x');
    WriteFileBytes(TracePath(), full);
    WriteTrace("after the cap");
    EXPECT_EQ(ReadFileBytes(TracePath()), "after the cap\n");
    EXPECT_EQ(ReadFileBytes(TracePath() + ".1"), full);
    ASSERT_EQ(::stat(TracePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
    // Below the cap the file grows.
    WriteFileBytes(TracePath(), full.substr(1));
    WriteTrace("y");
    EXPECT_EQ(ReadFileBytes(TracePath()).size(), full.size() + 1);
    EXPECT_EQ(ReadFileBytes(TracePath() + ".1"), full);
}

TEST_F(TraceTest, DocumentsFolderIsBelowTheHome) {
    EXPECT_EQ(GetDocumentsFolder(), Home() + "/Documents");
    EXPECT_TRUE(fs::is_directory(Home() + "/Documents"));
    EXPECT_EQ(GetUserDataFolder("datebook"), Home() + "/datebook");
}

} // namespace
