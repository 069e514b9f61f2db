#include "platform/registry/Registry.h"
#include "tests/registry/RegistryTestUtil.h"
#include "tests/support/TestEnv.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class RegistryProcessTest : public CRegistryTest {
protected:
    static Names TempFiles() {
        Names found;
        for (const std::string& name : FolderEntries(RegistryFolder()))
            if (name.find(".tmp.") != std::string::npos)
                found.push_back(name);
        return found;
    }
};

std::string Name(int p, int i) {
    return "p" + std::to_string(p) + "-" + std::to_string(i);
}
std::uint32_t Value(int p, int i) {
    return static_cast<std::uint32_t>(p * 10000 + i);
}

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
            for (int i = 0; i < kValues; ++i)
                if (key.SetDword(Name(p, i), Value(p, i)) != REG_STATUS_OK)
                    _exit(2);
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
            missing += key.QueryDword(Name(p, i), n) != REG_STATUS_OK || n != Value(p, i);
        }
    EXPECT_EQ(missing, 0);
}

TEST_F(RegistryProcessTest, SaveInterruptedBeforeItsRenameLeavesTheOldFile) {
    CRegKey key = Created("Software\\Crash");
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

    EXPECT_EQ(StringOf(key, "v"), "old");

    // The next change goes through and clears the leftover.
    ASSERT_EQ(key.SetString("v", "newer"), REG_STATUS_OK);
    EXPECT_TRUE(TempFiles().empty());
    CReloadedHome reloaded(HKCU);
    ASSERT_EQ(key.Open(HKCU, "Software\\Crash"), REG_STATUS_OK);
    EXPECT_EQ(StringOf(key, "v"), "newer");
}

// A write that fails partway (here: the file size limit, standing in for a full disk)
// reports it and leaves both the file and what this process sees as they were.
TEST_F(RegistryProcessTest, FailedWritesLeaveNoPhantomValues) {
    CRegKey key = Created("Software\\Full");
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
        if (child.Open(HKCU, "Software\\Full") != REG_STATUS_OK)
            return 1;
        if (child.SetString("big", std::string(200, 'x')) != REG_STATUS_WRITE_FAILED)
            return 2;
        if (StringOf(child, "big") != "<2>" || StringOf(child, "kept") != "yes")
            return 3;
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
    EXPECT_EQ(StringOf(key, "kept"), "<2>");
    EXPECT_EQ(StringOf(key, "big"), "<2>");
}

TEST_F(RegistryProcessTest, UnmakeableFolderRefusesChanges) {
    // A registry folder that is a plain file cannot be made, whoever runs the test.
    WriteFileBytes(RegistryFolder(), "in the way");
    CRegKey key;
    EXPECT_EQ(key.Create(HKCU, "Software\\X"), REG_STATUS_WRITE_FAILED);
    EXPECT_EQ(key.Open(HKCU, "Software\\X"), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(ReadFileBytes(RegistryFolder()), "in the way");
}

} // namespace
