// Registering and unregistering the module: the keys it writes, its registration with the
// host's add-in manager, and the entry points' answers.
#include "tests/addin/AddinTestSupport.h"
#include "tests/cli/CliTestSupport.h"

#include "platform/com/ModuleResources.h"

#include <gmock/gmock.h>

#include <set>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Lines = std::vector<std::string>;

Lines Added(const Lines& before, const Lines& after) {
    const std::set<std::string> old(before.begin(), before.end());
    Lines added;
    for (const std::string& line : after)
        if (!old.count(line))
            added.push_back(line);
    return added;
}

// Every key and value the module's registration adds under HKEY_CLASSES_ROOT.
Lines ExpectedKeys() {
    const std::string module = ResolvedTestPath(kAddinModulePath);
    const std::string folder = module.substr(0, module.rfind('/'));
    const std::string clsid = FormatGuid(CLSID_VARNOAddInAddin);
    const std::string libid = FormatGuid(LIBID_VARNOAddInAddinLib);
    const std::string c = "CLSID\\" + clsid;
    const std::string t = "TypeLib\\" + libid;
    const std::string a = "Interface\\" + FormatGuid(IID_IDesktopAddin);
    const std::string d = "Interface\\" + FormatGuid(IID_IDesktopCommand);
    Lines lines{c,
                c + "|@=VARNOAddIn Addin Class",
                c + "\\InprocServer32",
                c + "\\InprocServer32|@=" + module,
                c + "\\InprocServer32|ThreadingModel=Apartment",
                c + "\\ProgID",
                c + "\\ProgID|@=VARNOAddIn.VARNOAddInAddin.1",
                c + "\\Programmable",
                c + "\\TypeLib",
                c + "\\TypeLib|@=" + libid,
                c + "\\VersionIndependentProgID",
                c + "\\VersionIndependentProgID|@=VARNOAddIn.VARNOAddInAddin",
                "Interface",
                a,
                a + "|@=IDesktopAddin",
                a + "\\TypeLib",
                a + "\\TypeLib|@=" + libid,
                a + "\\TypeLib|Version=1.0",
                d,
                d + "|@=IDesktopCommand",
                d + "\\TypeLib",
                d + "\\TypeLib|@=" + libid,
                d + "\\TypeLib|Version=1.0",
                "TypeLib",
                t,
                t + "\\1.0",
                t + "\\1.0|@=VARNOAddIn Palm Desktop Addin 1.0 Type Library",
                t + "\\1.0\\0",
                t + "\\1.0\\0\\linux64",
                t + "\\1.0\\0\\linux64|@=" + module,
                t + "\\1.0\\FLAGS",
                t + "\\1.0\\FLAGS|@=0",
                t + "\\1.0\\HELPDIR",
                t + "\\1.0\\HELPDIR|@=" + folder,
                "VARNOAddIn.VARNOAddInAddin",
                "VARNOAddIn.VARNOAddInAddin|@=VARNOAddIn Addin Class",
                "VARNOAddIn.VARNOAddInAddin\\CLSID",
                "VARNOAddIn.VARNOAddInAddin\\CLSID|@=" + clsid,
                "VARNOAddIn.VARNOAddInAddin\\CurVer",
                "VARNOAddIn.VARNOAddInAddin\\CurVer|@=VARNOAddIn.VARNOAddInAddin.1",
                "VARNOAddIn.VARNOAddInAddin.1",
                "VARNOAddIn.VARNOAddInAddin.1|@=VARNOAddIn Addin Class",
                "VARNOAddIn.VARNOAddInAddin.1\\CLSID",
                "VARNOAddIn.VARNOAddInAddin.1\\CLSID|@=" + clsid};
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> RegisteredAddins() {
    std::vector<std::string> result;
    for (const CAddinRegistration& r : ListAddinRegistrations())
        result.push_back(r.m_strKey + " " + FormatGuid(r.m_clsid) + " " + r.m_strName);
    return result;
}

const std::string kClsidText = FormatGuid(CLSID_VARNOAddInAddin);

using CRegistrationTest = CAddinTest;

TEST_F(CRegistrationTest, WritesExactlyItsKeysAndRegistersWithTheHost) {
    RegisterManager();
    const Lines before = HiveLines(ERegHive::ClassesRoot);
    ASSERT_EQ(CallModuleEntry(kAddinModulePath, kDllRegisterServer), S_OK);
    EXPECT_EQ(Added(before, HiveLines(ERegHive::ClassesRoot)), ExpectedKeys());
    EXPECT_THAT(RegisteredAddins(), ElementsAre("1 " + kClsidText + " VARNOAddIn Addin"));
    // The class is created through the registry by ProgID as by class identifier.
    GUID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(kAddinIndependentProgId, clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VARNOAddInAddin);
}

TEST_F(CRegistrationTest, RegisteringTwiceLeavesOneHostRegistration) {
    RegisterManager();
    RegisterAddin();
    RegisterAddin();
    EXPECT_THAT(RegisteredAddins(), ElementsAre("1 " + kClsidText + " VARNOAddIn Addin"));
}

TEST_F(CRegistrationTest, SucceedsWithoutTheHostManager) {
    RegisterAddin();
    EXPECT_THAT(Added({}, HiveLines(ERegHive::ClassesRoot)),
                ::testing::IsSupersetOf(ExpectedKeys()));
    EXPECT_THAT(RegisteredAddins(), IsEmpty());
    const CComPtr<IDesktopAddin> pAddin = CreateAddin();
    EXPECT_TRUE(pAddin);
}

TEST_F(CRegistrationTest, UnregisteringKeepsTheSharedClassKey) {
    RegisterManager();
    const Lines before = HiveLines(ERegHive::ClassesRoot);
    RegisterAddin();
    ASSERT_EQ(CallModuleEntry(kAddinModulePath, kDllUnregisterServer), S_OK);
    // Only the shared roots the type library created stay, empty.
    EXPECT_EQ(Added(before, HiveLines(ERegHive::ClassesRoot)), Lines({"Interface", "TypeLib"}));
    EXPECT_THAT(Added(HiveLines(ERegHive::ClassesRoot), before), IsEmpty());
    CRegKey key;
    EXPECT_EQ(key.Open(ERegHive::ClassesRoot, "CLSID"), REG_STATUS_OK);
    EXPECT_EQ(key.Open(ERegHive::ClassesRoot, kAddinProgId), REG_STATUS_NOT_FOUND);
    EXPECT_EQ(key.Open(ERegHive::ClassesRoot, kAddinIndependentProgId), REG_STATUS_NOT_FOUND);
    EXPECT_THAT(RegisteredAddins(), IsEmpty());
    CComPtr<IDesktopAddin> pAddin;
    EXPECT_EQ(CoCreateInstance(CLSID_VARNOAddInAddin, pAddin), REGDB_E_CLASSNOTREG);
    // Unregistering what is not registered is no failure.
    EXPECT_EQ(CallModuleEntry(kAddinModulePath, kDllUnregisterServer), S_OK);
}

TEST_F(CRegistrationTest, RegsvrRegistersAndUnregistersTheModule) {
    RegisterManager();
    CProgramRun run = RunProgram(kRegsvrPath, {"-s", kAddinModulePath}, {"VARNO_HOME=" + Home()});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_THAT(RegisteredAddins(), ElementsAre("1 " + kClsidText + " VARNOAddIn Addin"));
    run = RunProgram(kRegsvrPath, {"-s", "-u", kAddinModulePath}, {"VARNO_HOME=" + Home()});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_THAT(RegisteredAddins(), IsEmpty());
}

TEST_F(CRegistrationTest, ClassObjectOfAnUnknownClassIsNull) {
    CServerLibrary library;
    std::string strError;
    ASSERT_TRUE(library.Open(ResolvedTestPath(kAddinModulePath), strError)) << strError;
    const auto pfnGet = library.Entry<FDllGetClassObject>(kDllGetClassObject);
    ASSERT_TRUE(pfnGet);
    int nDummy = 0;
    void* pv = &nDummy;
    EXPECT_EQ(pfnGet(CLSID_VARNOAddInCommand, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pfnGet(CLSID_VARNOAddInAddin, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(CRegistrationTest, StaysLoadedWhileObjectsLiveOrTheModuleIsLocked) {
    RegisterAddin();
    const auto canUnload = [] { return CallModuleEntry(kAddinModulePath, kDllCanUnloadNow); };
    CComPtr<IClassFactory> pFactory;
    ASSERT_EQ(CoGetClassObject(CLSID_VARNOAddInAddin, IID_IClassFactory,
                               reinterpret_cast<void**>(pFactory.Put())),
              S_OK);
    CComPtr<IDesktopAddin> pAddin;
    ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IDesktopAddin,
                                       reinterpret_cast<void**>(pAddin.Put())),
              S_OK);
    ASSERT_EQ(pFactory->LockServer(TRUE), S_OK);
    pFactory = nullptr;
    EXPECT_EQ(canUnload(), S_FALSE); // an object and a lock
    pAddin = nullptr;
    EXPECT_EQ(canUnload(), S_FALSE); // the lock
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsServerModuleLoaded(kAddinModulePath));
    // The lock is taken back through a new factory reference.
    ASSERT_EQ(CoGetClassObject(CLSID_VARNOAddInAddin, IID_IClassFactory,
                               reinterpret_cast<void**>(pFactory.Put())),
              S_OK);
    ASSERT_EQ(pFactory->LockServer(FALSE), S_OK);
    pFactory = nullptr;
    EXPECT_EQ(canUnload(), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsServerModuleLoaded(kAddinModulePath));
    // The loader lets the file go too, unless a command ran on this thread earlier: the
    // module's per-thread caches then keep it mapped until the thread ends.
    if (::testing::UnitTest::GetInstance()->current_test_suite()->test_to_run_count() == 1) {
        EXPECT_FALSE(IsMapped(ResolvedTestPath(kAddinModulePath)));
    }
}

TEST_F(CRegistrationTest, VersionResourceCarriesTheAddinClass) {
    EXPECT_EQ(ReadModuleVersionValue(ResolvedTestPath(kAddinModulePath), "AddinClsid"), kClsidText);
    EXPECT_EQ(ReadModuleVersionValue(ResolvedTestPath(kAddinModulePath), "NoSuchValue"), "");
}

} // namespace
