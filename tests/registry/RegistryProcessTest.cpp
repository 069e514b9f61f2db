#include "platform/registry/Registry.h"
#include "tests/registry/RegistryTestUtil.h"
#include "tests/support/TestEnv.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr ERegHive HKCU = ERegHive::CurrentUser;

class RegistryProcessTest : public CRegistryTest {
protected:
    static std::vector<std::string> TempFiles() {
        std::vector<std::string> found;
        for (const std::string& name : FolderEntries(RegistryFolder()))
            if (name.find(".tmp.") != std::string::npos)
                found.push_back(name);
        return found;
    }
};

TEST_F(RegistryProcessTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kProcesses = 2;
    constexpr int kValues = 500;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        std::fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(start[1]);
            char c = 0;
            (void)!read(start[0], &c, 1); // returns when the parent closes its end
            CRegKey key;
            if (key.Create(HKCU, "Software\\Race") != REG_STATUS_OK)
                _exit(1);
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
                if (key.SetDword(name, static_cast<std::uint32_t>(p * 10000 + i)) != REG_STATUS_OK)
                    _exit(2);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    close(start[0]);
    close(start[1]);
    for (const pid_t pid : children) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    CReloadedHome reloaded(HKCU);
    CRegKey key;
    ASSERT_EQ(key.Open(HKCU, "Software\\Race"), REG_STATUS_OK);
    EXPECT_EQ(key.ValueNames().size(), static_cast<std::size_t>(kProcesses * kValues));
    int missing = 0;
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kValues; ++i) {
            std::uint32_t n = 0;
            const std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
            if (key.QueryDword(name, n) != REG_STATUS_OK ||
                n != static_cast<std::uint32_t>(p * 10000 + i))
                ++missing;
        }
    EXPECT_EQ(missing, 0);
}

TEST_F(RegistryProcessTest, SaveInterruptedBeforeItsRenameLeavesTheOldFile) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Crash"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("v", "old"), REG_STATUS_OK);
    const std::string before = ReadFileBytes(HivePath(HKCU));

    const int code = RunInChild([] {
        setenv("VARNO_REGISTRY_FAIL_BEFORE_RENAME", "1", 1);
        CRegKey child;
        if (child.Open(HKCU, "Software\\Crash") != REG_STATUS_OK)
            return 1;
        (void)child.SetString("v", "new");
        return 2; // not reached: the hook ends the process
    });
    ASSERT_EQ(code, 70);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), before);
    EXPECT_EQ(TempFiles().size(), 1u); // the flushed copy that was never renamed

    std::string text;
    ASSERT_EQ(key.QueryString("v", text), REG_STATUS_OK);
    EXPECT_EQ(text, "old");
    {
        CReloadedHome reloaded(HKCU);
        CRegKey fresh;
        ASSERT_EQ(fresh.Open(HKCU, "Software\\Crash"), REG_STATUS_OK);
        ASSERT_EQ(fresh.QueryString("v", text), REG_STATUS_OK);
        EXPECT_EQ(text, "old");
    }

    // The next change goes through and clears the leftover.
    ASSERT_EQ(key.SetString("v", "newer"), REG_STATUS_OK);
    EXPECT_TRUE(TempFiles().empty());
    CReloadedHome reloaded(HKCU);
    ASSERT_EQ(key.Open(HKCU, "Software\\Crash"), REG_STATUS_OK);
    ASSERT_EQ(key.QueryString("v", text), REG_STATUS_OK);
    EXPECT_EQ(text, "newer");
}

// A write that fails partway (here: the file size limit, standing in for a full disk)
// reports it and leaves both the file and what this process sees as they were.
TEST_F(RegistryProcessTest, FailedWritesLeaveNoPhantomValues) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKCU, "Software\\Full"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("kept", "yes"), REG_STATUS_OK);
    const std::string before = ReadFileBytes(HivePath(HKCU));

    const int code = RunInChild([&before] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit;
        if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        limit.rlim_cur = before.size();
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 11;
        CRegKey child;
        std::string text;
        if (child.Open(HKCU, "Software\\Full") != REG_STATUS_OK)
            return 1;
        if (child.SetString("big", std::string(200, 'x')) != REG_STATUS_WRITE_FAILED)
            return 2;
        if (child.QueryString("big", text) != REG_STATUS_NOT_FOUND)
            return 3;
        if (child.QueryString("kept", text) != REG_STATUS_OK || text != "yes")
            return 4;
        CRegKey sub;
        if (sub.Create(HKCU, "Software\\Full\\Sub") != REG_STATUS_WRITE_FAILED || sub.IsOpen())
            return 5;
        if (sub.Open(HKCU, "Software\\Full\\Sub") != REG_STATUS_NOT_FOUND)
            return 6;
        // Removing shrinks the file, so it still works.
        if (child.DeleteValue("kept") != REG_STATUS_OK)
            return 7;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(TempFiles().empty());
    std::string text;
    EXPECT_EQ(key.QueryString("kept", text), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.QueryString("big", text), REG_STATUS_NOT_FOUND);
}

TEST_F(RegistryProcessTest, UnwritableFolderRefusesChangesAndKeepsTheView) {
    // A registry folder that is a plain file cannot be made, whoever runs the test.
    WriteFileBytes(RegistryFolder(), "in the way");
    CRegKey key;
    EXPECT_EQ(key.Create(HKCU, "Software\\X"), REG_STATUS_WRITE_FAILED);
    EXPECT_EQ(key.Open(HKCU, "Software\\X"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(ReadFileBytes(RegistryFolder()), "in the way");
    fs::remove(RegistryFolder());

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    ASSERT_EQ(key.Create(HKCU, "Software\\X"), REG_STATUS_OK);
    ASSERT_EQ(key.SetDword("n", 1), REG_STATUS_OK);
    const std::string before = ReadFileBytes(HivePath(HKCU));
    ASSERT_EQ(chmod(RegistryFolder().c_str(), 0500), 0);
    EXPECT_EQ(key.SetDword("n", 2), REG_STATUS_ACCESS_DENIED);
    EXPECT_EQ(key.SetDword("m", 3), REG_STATUS_ACCESS_DENIED);
    std::uint32_t n = 0;
    EXPECT_EQ(key.QueryDword("n", n), REG_STATUS_OK);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(key.QueryDword("m", n), REG_STATUS_NOT_FOUND);
    ASSERT_EQ(chmod(RegistryFolder().c_str(), 0700), 0);
    EXPECT_EQ(ReadFileBytes(HivePath(HKCU)), before);
}

} // namespace
