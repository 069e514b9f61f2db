// The host's add-in manager created through the registry, as an add-in's registration meets
// it, and the host's add-in services as an add-in calls them.
#include "tests/addin/AddinTestSupport.h"
#include "tests/cli/CliTestSupport.h"

#include "desktop/DesktopAddinCommands.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const GUID kFirst{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
const GUID kSecond{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};

CBstr Text(std::string_view ascii) {
    return CBstr(std::u16string(ascii.begin(), ascii.end()));
}

std::vector<std::string> Registrations() {
    std::vector<std::string> result;
    for (const CAddinRegistration& r : ListAddinRegistrations())
        result.push_back(r.m_strKey + " " + FormatGuid(r.m_clsid) + " " + r.m_strName);
    return result;
}

using CAddinManagerTest = CAddinTest;

TEST_F(CAddinManagerTest, AddsFindsAndRemovesRegistrations) {
    RegisterManager();
    CComPtr<IHostAddinManager> pManager;
    ASSERT_EQ(CoCreateInstance(CLSID_HostAddinManager, pManager), S_OK);
    CComPtr<IHostAddinEntry> pEntry;
    // Letter case and braces do not matter; a class can be registered twice.
    ASSERT_EQ(pManager->AddAddin(Text("{11111111-2222-3333-4444-555555555555}").Get(),
                                 Text("First").Get(), pEntry.Put()),
              S_OK);
    ASSERT_EQ(pManager->AddAddin(Text("11111111-2222-3333-4444-555555555556").Get(),
                                 Text("Second").Get(), pEntry.Put()),
              S_OK);
    ASSERT_EQ(pManager->AddAddin(Text("{11111111-2222-3333-4444-555555555555}").Get(),
                                 Text("First again").Get(), pEntry.Put()),
              S_OK);
    const std::string first = FormatGuid(kFirst);
    const std::string second = FormatGuid(kSecond);
    EXPECT_THAT(Registrations(), ElementsAre("1 " + first + " First", "2 " + second + " Second",
                                             "3 " + first + " First again"));
    ASSERT_EQ(
        pManager->FindAddin(Text("{11111111-2222-3333-4444-555555555555}").Get(), pEntry.Put()),
        S_OK);
    ASSERT_TRUE(pEntry);
    EXPECT_EQ(pEntry->RemoveAddin(), S_OK);
    EXPECT_EQ(pEntry->RemoveAddin(), S_OK); // already gone
    EXPECT_THAT(Registrations(),
                ElementsAre("2 " + second + " Second", "3 " + first + " First again"));
    // A class without a registration: S_OK and no entry.
    ASSERT_EQ(pManager->FindAddin(Text(FormatGuid(CLSID_VARNOAddInAddin)).Get(), pEntry.Put()),
              S_OK);
    EXPECT_FALSE(pEntry);
    // Bad arguments are refused and change nothing.
    EXPECT_EQ(pManager->AddAddin(Text("not a class").Get(), Text("x").Get(), pEntry.Put()),
              E_INVALIDARG);
    EXPECT_EQ(pManager->FindAddin(nullptr, pEntry.Put()), E_INVALIDARG);
    EXPECT_EQ(pManager->FindAddin(Text(first).Get(), nullptr), E_POINTER);
    EXPECT_EQ(Registrations().size(), 2u);
}

// A host object for the services' tests: only the add-in services matter.
class CServicesTest : public CAddinTest {
protected:
    void SetUp() override {
        CAddinTest::SetUp();
        m_pHost = OpenDesktopHost();
        CComPtr<IHostApplication> pApplication;
        ASSERT_EQ(m_pHost.QueryInterface(pApplication), S_OK);
        ASSERT_EQ(pApplication->GetAddinCommands(m_pServices.Put()), S_OK);
        ASSERT_TRUE(m_pServices);
    }
    void TearDown() override {
        m_pServices = nullptr;
        ReleaseDesktopAddinCommands(m_pHost.Get());
        m_pHost = nullptr;
        CAddinTest::TearDown();
    }

    CComPtr<IDispatch> m_pHost;
    CComPtr<IHostAddinCommands> m_pServices;
};

// Any object serves as a command for the host's bookkeeping.
class CCommandStub final : public CComObject<CCommandStub, IDispatch> {};

TEST_F(CServicesTest, HandsOutIdsAndKeepsMenuEntries) {
    const CComPtr<CCommandStub> pStub(new CCommandStub);
    LONG lFirst = 0;
    LONG lSecond = 0;
    ASSERT_EQ(m_pServices->RegisterCommand(3, Text("One").Get(), pStub.Get(), &lFirst), S_OK);
    ASSERT_EQ(m_pServices->RegisterCommand(4, Text("Two").Get(), pStub.Get(), &lSecond), S_OK);
    EXPECT_EQ(lFirst, 1);
    EXPECT_EQ(lSecond, 2);
    // Text fields: a missing one is empty, a fourth is dropped; no module, no bitmap.
    EXPECT_EQ(m_pServices->AddCommandMenuItem(lSecond, nullptr, 201, Text("&Two").Get(), 0), S_OK);
    EXPECT_EQ(m_pServices->AddCommandMenuItem(lFirst, nullptr, 201,
                                              Text("&One\tlong\tshort\tx").Get(), 9),
              S_OK);
    const std::vector<CAddinCommand> commands = DesktopAddinCommands(m_pHost.Get());
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].m_strMenuText, "&One");
    EXPECT_EQ(commands[0].m_strDescription, "long");
    EXPECT_EQ(commands[0].m_strShortText, "short");
    EXPECT_EQ(commands[0].m_lValue, 9);
    EXPECT_TRUE(commands[0].m_vecBitmap.empty());
    EXPECT_EQ(commands[1].m_strMenuText, "&Two");
    EXPECT_EQ(commands[1].m_strDescription, "");
    // The commands of one add-in go with it.
    ReleaseDesktopAddinCommands(m_pHost.Get(), 3);
    ASSERT_EQ(DesktopAddinCommands(m_pHost.Get()).size(), 1u);
    EXPECT_EQ(DesktopAddinCommands(m_pHost.Get())[0].m_strName, "Two");
}

TEST_F(CServicesTest, RefusesWhatItCannotKeep) {
    const CComPtr<CCommandStub> pStub(new CCommandStub);
    LONG lId = 0;
    EXPECT_EQ(m_pServices->RegisterCommand(1, Text("x").Get(), nullptr, &lId), E_POINTER);
    EXPECT_EQ(m_pServices->RegisterCommand(1, Text("x").Get(), pStub.Get(), nullptr), E_POINTER);
    EXPECT_EQ(m_pServices->AddCommandMenuItem(77, nullptr, 201, Text("&X").Get(), 4), E_INVALIDARG);
    EXPECT_THAT(DesktopAddinCommands(m_pHost.Get()), IsEmpty());
}

// The host program's one-time setup: the manager is registered once, a registration taken
// away stays away, and one whose file is gone is made again.
TEST_F(CAddinTest, HostSetupRegistersItsManagerOnce) {
    const std::string desktop = VARNO_BINARY_DIR "/datebook-desktop";
    const CEnvironment env{"VARNO_HOME=" + Home()};
    const auto registeredPath = [] {
        CRegKey key;
        std::string path;
        if (key.Open(ERegHive::ClassesRoot,
                     ClassKeyPath(CLSID_HostAddinManager) + "\\InprocServer32") == REG_STATUS_OK)
            static_cast<void>(key.QueryString("", path));
        return path;
    };
    ASSERT_EQ(RunProgram(desktop, {"users"}, env).m_nExit, 0);
    EXPECT_EQ(registeredPath(), ResolvedTestPath(kAddinManagerPath));

    ASSERT_EQ(RegDeleteTree(ERegHive::ClassesRoot, ClassKeyPath(CLSID_HostAddinManager)),
              REG_STATUS_OK);
    ASSERT_EQ(RunProgram(desktop, {"users"}, env).m_nExit, 0);
    EXPECT_EQ(registeredPath(), "");

    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot,
                         ClassKeyPath(CLSID_HostAddinManager) + "\\InprocServer32"),
              REG_STATUS_OK);
    ASSERT_EQ(key.SetString("", Home() + "/moved/DatebookAddinManager.so"), REG_STATUS_OK);
    key.Close();
    ASSERT_EQ(RunProgram(desktop, {"users"}, env).m_nExit, 0);
    EXPECT_EQ(registeredPath(), ResolvedTestPath(kAddinManagerPath));
}

} // namespace
