// The test server module as a program meets it: registered in a fresh home, created through
// the registry, unloaded when it says it can be.
#pragma once

#include "platform/com/ClassRegistry.h"
#include "platform/com/InprocServer.h"
#include "platform/registry/Registry.h"
#include "tests/com/module/TestServer.h"
#include "tests/support/ModuleTestSupport.h"
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
