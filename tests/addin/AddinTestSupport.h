// The add-in module as the host meets it: registered in a fresh home (with or without the
// host's add-in manager), created through the registry, its messages caught by the headless
// surface; after each test every object is gone and the module unloaded.
#pragma once

#include "addin/AddinIds.h"
#include "desktop/AddinRegistry.h"
#include "desktop/DesktopHost.h"
#include "desktop/DesktopSetup.h"
#include "host/AddinInterfaces.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ComError.h"
#include "platform/com/ComPtr.h"
#include "platform/dialogs/HeadlessSurface.h"
#include "tests/support/ModuleTestSupport.h"
#include "tests/support/TestEnv.h"

#include <string>
#include <vector>

inline const std::string kAddinModulePath = VARNO_ADDIN_MODULE;
inline const std::string kAddinManagerPath = VARNO_ADDIN_MANAGER;
inline const std::string kRegsvrPath = VARNO_REGSVR;

class CAddinTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CoFreeUnusedLibraries();
        EXPECT_FALSE(IsServerModuleLoaded(kAddinModulePath)) << "an add-in object is alive";
        EXPECT_FALSE(IsServerModuleLoaded(kAddinManagerPath)) << "a manager object is alive";
        CVarnoTest::TearDown();
    }

    static void RegisterManager() { ASSERT_EQ(RegisterAddinManager(kAddinManagerPath), S_OK); }
    static void RegisterAddin() {
        ASSERT_EQ(CallModuleEntry(kAddinModulePath, kDllRegisterServer), S_OK);
    }

    // A new add-in object through the registry.
    static CComPtr<IDesktopAddin> CreateAddin() {
        CComPtr<IDesktopAddin> pAddin;
        EXPECT_EQ(CoCreateInstance(CLSID_VARNOAddInAddin, pAddin), S_OK);
        return pAddin;
    }

    [[nodiscard]] std::vector<std::string> ShownTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : m_surface.m_vecShown)
            texts.push_back(shown.m_strText);
        return texts;
    }

    CHeadlessSurface m_surface;
};
