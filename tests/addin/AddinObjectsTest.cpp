// The add-in and command objects against the stand-in host and its fault controls, through
// their vtables and through IDispatch.
#include "tests/addin/AddinTestSupport.h"

#include "platform/com/ComObject.h"
#include "platform/com/Variant.h"
#include "platform/shell/HelpViewer.h"
#include "res/Resource.h"
#include "settings/Options.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Message(HRESULT hr) {
    return CComError::ErrorMessageFor(hr);
}

std::string CommandError(HRESULT hr) {
    return "Error during Import/Export:\n" + Message(hr);
}

// A host object that offers no IHostApplication.
class CStrangerHost final : public CComObject<CStrangerHost, IDispatch> {};

class CAddinObjectsTest : public CAddinTest {
protected:
    void SetUp() override {
        CAddinTest::SetUp();
        RegisterAddin();
    }

    // The add-in initialised on a stand-in host with these test controls.
    BOOL Initialize(const CDesktopHostOptions& options = {}) {
        m_pHost = OpenDesktopHost(options);
        m_pAddin = CreateAddin();
        BOOL bSuccess = -1;
        EXPECT_EQ(m_pAddin->OnInitialize(m_pHost.Get(), 7, 4, 0, &bSuccess), S_OK);
        return bSuccess;
    }

    // The command the add-in registered, as the host calls it.
    CComPtr<IDesktopCommand> Command() {
        const std::vector<CAddinCommand> commands = DesktopAddinCommands(m_pHost.Get());
        CComPtr<IDesktopCommand> pCommand;
        if (commands.size() == 1) {
            EXPECT_EQ(commands[0].m_pCommand.QueryInterface(pCommand), S_OK);
        }
        return pCommand;
    }

    void TearDown() override {
        if (m_pAddin) {
            EXPECT_EQ(m_pAddin->OnUninitialize(), S_OK);
        }
        m_pAddin = nullptr;
        if (m_pHost)
            ReleaseDesktopAddinCommands(m_pHost.Get());
        m_pHost = nullptr;
        CAddinTest::TearDown();
    }

    CComPtr<IDispatch> m_pHost;
    CComPtr<IDesktopAddin> m_pAddin;
};

TEST_F(CAddinObjectsTest, RegistersItsCommandAndMenuEntryWithTheHost) {
    ASSERT_EQ(Initialize(), TRUE);
    EXPECT_THAT(ShownTexts(), IsEmpty());
    const std::vector<CAddinCommand> commands = DesktopAddinCommands(m_pHost.Get());
    ASSERT_EQ(commands.size(), 1u);
    const CAddinCommand& command = commands[0];
    EXPECT_EQ(command.m_dwCookie, 7u);
    EXPECT_EQ(command.m_strName, "VARNOAddInCommand");
    EXPECT_TRUE(command.m_bHasMenuItem);
    EXPECT_EQ(command.m_strMenuText, "&VARNO");
    EXPECT_EQ(command.m_strDescription, "Datebook Import/Export in a variety of formats");
    EXPECT_EQ(command.m_strShortText, "Datebook Import/Export");
    EXPECT_EQ(command.m_lBitmap, 201);
    EXPECT_EQ(command.m_lValue, 4);
    // A 16 x 16 PNG, copied from the module's own resources.
    ASSERT_GT(command.m_vecBitmap.size(), 24u);
    EXPECT_EQ(command.m_vecBitmap[1], 'P');
    EXPECT_EQ(command.m_vecBitmap[19], 16); // width, big-endian
    EXPECT_EQ(command.m_vecBitmap[23], 16); // height
}

TEST_F(CAddinObjectsTest, FrameworkVersionIsTwo) {
    m_pAddin = CreateAddin();
    LONG lVersion = 0;
    EXPECT_EQ(m_pAddin->GetFrameworkVersion(&lVersion), S_OK);
    EXPECT_EQ(lVersion, 2);
    EXPECT_EQ(m_pAddin->GetFrameworkVersion(nullptr), E_POINTER);
}

// Each failing initialisation shows the system's text for the status once, never the host's
// description, and reports FALSE with S_OK.
TEST_F(CAddinObjectsTest, InitialisationFailuresAreShownAndReported) {
    struct SCase {
        const char* m_pszName;
        std::vector<CHostFault> m_vecFaults;
        HRESULT m_hr;
    } cases[] = {
        {"GetAddinCommands fails",
         {{"GetAddinCommands", 1, E_ACCESSDENIED, "host words"}},
         E_ACCESSDENIED},
        {"RegisterCommand fails",
         {{"RegisterCommand", 1, E_OUTOFMEMORY, "host words"}},
         E_OUTOFMEMORY},
        {"AddCommandMenuItem fails", {{"AddCommandMenuItem", 1, E_FAIL, "host words"}}, E_FAIL},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        m_surface.m_vecShown.clear();
        CDesktopHostOptions options;
        options.m_vecFaults = c.m_vecFaults;
        EXPECT_EQ(Initialize(options), FALSE);
        ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
        EXPECT_EQ(m_surface.m_vecShown[0].m_strText, Message(c.m_hr));
        EXPECT_EQ(m_surface.m_vecShown[0].m_buttons, EMessageButtons::Ok);
        ReleaseDesktopAddinCommands(m_pHost.Get());
        m_pAddin = nullptr;
    }
}

TEST_F(CAddinObjectsTest, HostWithoutApplicationInterfaceIsAnInvalidPointer) {
    m_pAddin = CreateAddin();
    const CComPtr<CStrangerHost> pStranger(new CStrangerHost);
    for (IUnknown* pHost : {static_cast<IUnknown*>(static_cast<IDispatch*>(pStranger.Get())),
                            static_cast<IUnknown*>(nullptr)}) {
        m_surface.m_vecShown.clear();
        BOOL bSuccess = TRUE;
        EXPECT_EQ(m_pAddin->OnInitialize(pHost, 1, 4, 0, &bSuccess), S_OK);
        EXPECT_EQ(bSuccess, FALSE);
        EXPECT_THAT(ShownTexts(), ElementsAre(Message(E_POINTER)));
    }
    EXPECT_EQ(m_pAddin->OnInitialize(pStranger.Get(), 1, 4, 0, nullptr), E_POINTER);
}

TEST_F(CAddinObjectsTest, CommandNotTakenAsIsAddsNoMenuEntry) {
    CDesktopHostOptions options;
    // S_FALSE from RegisterCommand; a menu entry asked for afterwards would fail loudly.
    options.m_vecFaults = {{"RegisterCommand", 1, S_FALSE, ""},
                           {"AddCommandMenuItem", 0, E_FAIL, "must not be called"}};
    EXPECT_EQ(Initialize(options), TRUE);
    EXPECT_THAT(ShownTexts(), IsEmpty());
    EXPECT_THAT(DesktopAddinCommands(m_pHost.Get()), IsEmpty());
}

TEST_F(CAddinObjectsTest, HostCallFailureInTheCommandIsShownAndTheHostSeesOk) {
    CDesktopHostOptions options;
    options.m_vecFaults = {{"GetCurrentUser", 1, E_ACCESSDENIED, "host words"}};
    ASSERT_EQ(Initialize(options), TRUE);
    const CComPtr<IDesktopCommand> pCommand = Command();
    ASSERT_TRUE(pCommand);
    EXPECT_EQ(pCommand->OnCommand(), S_OK);
    ASSERT_EQ(m_surface.m_vecShown.size(), 1u);
    EXPECT_EQ(m_surface.m_vecShown[0].m_strText, CommandError(E_ACCESSDENIED));
    EXPECT_EQ(m_surface.m_vecShown[0].m_strCaption, "VARNOAddIn");
    // The next pick works.
    m_surface.m_vecShown.clear();
    EXPECT_EQ(pCommand->OnCommand(), S_OK);
    EXPECT_THAT(ShownTexts(), IsEmpty());
}

TEST_F(CAddinObjectsTest, CallsKeepTheHostsHelpPath) {
    ASSERT_EQ(Initialize(), TRUE);
    SetHelpFilePath("/host/help.hlp");
    const CComPtr<IDesktopCommand> pCommand = Command();
    ASSERT_TRUE(pCommand);
    EXPECT_EQ(pCommand->OnCommand(), S_OK);
    EXPECT_EQ(GetHelpFilePath(), "/host/help.hlp");
    SetHelpFilePath("");
}

TEST_F(CAddinObjectsTest, AboutAndPropertiesArePlainMessages) {
    m_pAddin = CreateAddin();
    EXPECT_EQ(m_pAddin->ShowAboutBox(0), S_OK);
    EXPECT_EQ(m_pAddin->ShowProperties(0), S_OK);
    ASSERT_EQ(m_surface.m_vecShown.size(), 2u);
    EXPECT_EQ(m_surface.m_vecShown[0].m_strText, "VARNOAddInAddin AboutBox");
    EXPECT_EQ(m_surface.m_vecShown[0].m_strCaption, "VARNOAddIn");
    EXPECT_EQ(m_surface.m_vecShown[0].m_icon, EMessageIcon::None);
    EXPECT_EQ(m_surface.m_vecShown[1].m_strText, "VARNOAddInAddin Properties Dialog");
    EXPECT_EQ(m_surface.m_vecShown[1].m_strCaption, "VARNOAddIn");
}

// The dialog saves the options itself when it is closed with Escape or the Close button;
// the command saves them once more after OK (Enter, Close) only. Enter shows the command's
// save: the dialog leaves it to the command. (A second save of the same record writes no
// changed value, so it cannot be told from one.)
TEST_F(CAddinObjectsTest, CommandSavesOnceMoreAfterOkOnly) {
    ASSERT_EQ(Initialize(), TRUE);
    const CComPtr<IDesktopCommand> pCommand = Command();
    ASSERT_TRUE(pCommand);
    struct SCase {
        const char* m_pszName;
        void (*m_pfnClose)(CHeadlessWindow&);
    } const cases[] = {
        {"escape", [](CHeadlessWindow& w) { w.PressKey(VK_ESCAPE); }},
        {"enter", [](CHeadlessWindow& w) { w.PressKey(VK_RETURN); }},
        {"close", [](CHeadlessWindow& w) { w.Click(IDC_CLOSE); }},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszName);
        m_surface.Then([&c](CHeadlessWindow& w) {
            w.Click(IDC_FILTER_CHECK);
            w.Type(IDC_FILTER_TEXT1, c.m_pszName);
            c.m_pfnClose(w);
        });
        EXPECT_EQ(pCommand->OnCommand(), S_OK);
        EXPECT_EQ(m_surface.m_nUnscriptedCloses, 0);
        EXPECT_THAT(ShownTexts(), IsEmpty());
        COptions stored;
        stored.Load();
        std::int32_t nType = 0;
        std::int32_t nJoin = 0;
        std::string strText;
        ASSERT_EQ(stored.m_filter.GetRowCount(), 1);
        stored.m_filter.GetRow(0, nType, strText, nJoin);
        EXPECT_EQ(strText, c.m_pszName);
        // The next run starts without the filter.
        stored.m_filter = CRecordFilter();
        stored.Save();
    }
}

// Late-bound calls by name reach the same methods as the vtable.
TEST_F(CAddinObjectsTest, DispatchGivesTheVtableResults) {
    CDesktopHostOptions options;
    options.m_vecFaults = {{"GetCurrentUser", 0, E_ACCESSDENIED, ""}};
    ASSERT_EQ(Initialize(options), TRUE);

    CComPtr<IDispatch> pAddinDispatch;
    ASSERT_EQ(m_pAddin.QueryInterface(pAddinDispatch), S_OK);
    UINT nInfo = 0;
    EXPECT_EQ(pAddinDispatch->GetTypeInfoCount(&nInfo), S_OK);
    EXPECT_EQ(nInfo, 1u);
    CBstr name(u"GetFrameworkVersion");
    OLECHAR* names[] = {name.Get()};
    DISPID dispid = 0;
    ASSERT_EQ(pAddinDispatch->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid), S_OK);
    EXPECT_EQ(dispid, 3);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    CVariant result;
    ASSERT_EQ(pAddinDispatch->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr,
                                     nullptr),
              S_OK);
    LONG lVersion = 0;
    ASSERT_EQ(m_pAddin->GetFrameworkVersion(&lVersion), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, lVersion);

    CComPtr<IDesktopCommand> pCommand = Command();
    ASSERT_TRUE(pCommand);
    CComPtr<IDispatch> pCommandDispatch;
    ASSERT_EQ(pCommand.QueryInterface(pCommandDispatch), S_OK);
    CBstr onCommand(u"oncommand"); // names are matched without regard to case
    OLECHAR* commandNames[] = {onCommand.Get()};
    ASSERT_EQ(pCommandDispatch->GetIDsOfNames(GUID_NULL, commandNames, 1, 0, &dispid), S_OK);
    EXPECT_EQ(dispid, 1);
    CVariant commandResult;
    EXPECT_EQ(pCommandDispatch->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &none, &commandResult,
                                       nullptr, nullptr),
              S_OK);
    EXPECT_EQ(pCommand->OnCommand(), S_OK);
    EXPECT_THAT(ShownTexts(),
                ElementsAre(CommandError(E_ACCESSDENIED), CommandError(E_ACCESSDENIED)));
    CBstr unknown(u"OnCommandX");
    OLECHAR* unknownNames[] = {unknown.Get()};
    EXPECT_EQ(pCommandDispatch->GetIDsOfNames(GUID_NULL, unknownNames, 1, 0, &dispid),
              DISP_E_UNKNOWNNAME);
}

} // namespace
