// The test server module as a program meets it: registered in a fresh home, created through
// the registry, unloaded when it says it can be.
#pragma once

#include "platform/com/ClassRegistry.h"
#include "platform/com/InprocServer.h"
#include "platform/registry/Registry.h"
#include "tests/com/module/TestServer.h"
#include "tests/support/TestEnv.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline const std::string kTestServerPath = VARNO_TEST_SERVER;
inline const std::string kNotAServerPath = VARNO_TEST_NOT_A_SERVER;
inline const std::string kRegsvrPath = VARNO_REGSVR;

inline std::string ResolvedTestPath(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// Whether the dynamic loader still holds the library (not only this runtime's table).
inline bool IsMapped(const std::string& path) {
    void* p = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (p)
        dlclose(p);
    return p != nullptr;
}

// Every key and value under a hive, one line each, sorted: "path" for a key,
// "path|name=text" for a string value ("@" names the default value), "path|name=dword:N".
inline std::vector<std::string> HiveLines(ERegHive hive) {
    std::vector<std::string> lines;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string path = pending.back();
        pending.pop_back();
        CRegKey key;
        if (key.Open(hive, path) != REG_STATUS_OK)
            continue;
        if (!path.empty())
            lines.push_back(path);
        for (const std::string& name : key.ValueNames()) {
            std::uint32_t nType = 0;
            std::string data;
            EXPECT_EQ(key.QueryValue(name, nType, data), REG_STATUS_OK);
            std::string text;
            if (nType == REG_DWORD) {
                std::uint32_t n = 0;
                EXPECT_EQ(key.QueryDword(name, n), REG_STATUS_OK);
                text = "dword:" + std::to_string(n);
            } else {
                EXPECT_EQ(key.QueryString(name, text), REG_STATUS_OK);
            }
            lines.push_back(path + "|" + (name.empty() ? "@" : name) + "=" + text);
        }
        for (const std::string& sub : key.SubKeyNames())
            pending.push_back(path.empty() ? sub : path + "\\" + sub);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Loads nothing for good: the module is opened for its registration entry point only.
inline HRESULT CallModuleEntry(const std::string& path, const char* pszEntry) {
    CServerLibrary library;
    std::string strError;
    if (!library.Open(ResolvedTestPath(path), strError)) {
        ADD_FAILURE() << strError;
        return E_FAIL;
    }
    const auto pfn = library.Entry<FDllRegisterServer>(pszEntry);
    if (!pfn) {
        ADD_FAILURE() << pszEntry << " missing";
        return E_FAIL;
    }
    return pfn();
}

// CVarnoTest with the test server registered; after each test every object must be gone
// and the module unloaded.
class CServerTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        ASSERT_EQ(CallModuleEntry(kTestServerPath, kDllRegisterServer), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsServerModuleLoaded(kTestServerPath)) << "an object of the module is alive";
        CVarnoTest::TearDown();
    }
};
