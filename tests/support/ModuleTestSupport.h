// Server modules as the tests meet them: paths resolved, whether the loader holds a module,
// every key and value of a hive, and a module's entry points called without keeping it.
#pragma once

#include "platform/com/InprocServer.h"
#include "platform/registry/Registry.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

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

// Loads nothing for good: the module is opened for one entry point without arguments
// (DllRegisterServer, DllUnregisterServer, DllCanUnloadNow).
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
