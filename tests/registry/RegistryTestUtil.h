// Helpers shared by the registry tests.
#pragma once

#include "platform/registry/Registry.h"
#include "tests/support/TestEnv.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

inline constexpr ERegHive HKCU = ERegHive::CurrentUser;
using Names = std::vector<std::string>;

// A fresh home for each test; the registry needs nothing else pinned.
class CRegistryTest : public ::testing::Test {
protected:
    CTestHome m_home;
    void SetUp() override { SetTimeZone("UTC"); }
};

inline std::string HivePath(ERegHive hive) {
    return RegistryFolder() + "/" + HiveName(hive) + ".reg";
}

// The key, created with the keys above it when missing.
inline CRegKey Created(const std::string& path, ERegHive hive = HKCU) {
    CRegKey key;
    EXPECT_EQ(key.Create(hive, path), REG_STATUS_OK) << path;
    return key;
}

// A string value, or its status when it cannot be read ("<2>" for not found).
inline std::string StringOf(const CRegKey& key, std::string_view name) {
    std::string text;
    const ERegStatus status = key.QueryString(name, text);
    return status == REG_STATUS_OK ? text : "<" + std::to_string(status) + ">";
}

// A value's kind and bytes; kind 0xFFFFFFFF when it cannot be read.
using KindAndBytes = std::pair<std::uint32_t, std::string>;
inline KindAndBytes ValueOf(const CRegKey& key, std::string_view name) {
    KindAndBytes value;
    if (key.QueryValue(name, value.first, value.second) != REG_STATUS_OK)
        value.first = 0xFFFFFFFF;
    return value;
}

// Names in a folder, sorted; empty when it does not exist.
inline Names FolderEntries(const std::string& folder) {
    Names names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs body in a child process and returns its exit code (128 + signal when killed). The
// child never returns into the test framework.
template <typename Body> int RunInChild(Body&& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A second home holding a copy of the current home's hive file: its registry is parsed
// from that file alone, as a new process would see it. Restores the first home when it
// goes.
class CReloadedHome {
public:
    explicit CReloadedHome(ERegHive hive) : m_strSource(HivePath(hive)), m_pHome(new CTestHome) {
        std::filesystem::create_directories(RegistryFolder());
        std::filesystem::copy_file(m_strSource, HivePath(hive));
    }

private:
    std::string m_strSource;
    std::unique_ptr<CTestHome> m_pHome;
};
