#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/TypeLib.h"
#include "tests/com/TestServerSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Lines = std::vector<std::string>;

// The module's DllCanUnloadNow, asked without loading it (S_OK also when it is not loaded).
HRESULT ModuleCanUnloadNow() {
    void* p = dlopen(kTestServerPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!p)
        return S_OK;
    const auto pfn = reinterpret_cast<FDllCanUnloadNow>(dlsym(p, kDllCanUnloadNow));
    const HRESULT hr = pfn ? pfn() : E_FAIL;
    dlclose(p);
    return hr;
}

void SetServer(const GUID& clsid, const std::string& path, const char* pszModel = nullptr) {
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot, ClassKeyPath(clsid) + "\\InprocServer32"),
              REG_STATUS_OK);
    ASSERT_EQ(key.SetString("", path), REG_STATUS_OK);
    if (pszModel) {
        ASSERT_EQ(key.SetString("ThreadingModel", pszModel), REG_STATUS_OK);
    }
}

Lines ExpectedRegistration() {
    const std::string module = ResolvedTestPath(kTestServerPath);
    const std::string folder = module.substr(0, module.rfind('/'));
    const std::string clsid = FormatGuid(CLSID_TestServerThing);
    const std::string libid = FormatGuid(LIBID_TestServerLib);
    const std::string iid = FormatGuid(IID_ITestThing);
    const std::string c = "CLSID\\" + clsid;
    const std::string t = "TypeLib\\" + libid;
    const std::string i = "Interface\\" + iid;
    Lines lines{"CLSID",
                c,
                c + "|@=Varno Test Thing",
                c + "\\InprocServer32",
                c + "\\InprocServer32|@=" + module,
                c + "\\InprocServer32|ThreadingModel=Apartment",
                c + "\\ProgID",
                c + "\\ProgID|@=Varno.TestThing.1",
                c + "\\Programmable",
                c + "\\TypeLib",
                c + "\\TypeLib|@=" + libid,
                c + "\\VersionIndependentProgID",
                c + "\\VersionIndependentProgID|@=Varno.TestThing",
                "Interface",
                i,
                i + "|@=ITestThing",
                i + "\\TypeLib",
                i + "\\TypeLib|@=" + libid,
                i + "\\TypeLib|Version=1.0",
                "TypeLib",
                t,
                t + "\\1.0",
                t + "\\1.0|@=Varno Test Server 1.0 Type Library",
                t + "\\1.0\\0",
                t + "\\1.0\\0\\linux64",
                t + "\\1.0\\0\\linux64|@=" + module,
                t + "\\1.0\\FLAGS",
                t + "\\1.0\\FLAGS|@=0",
                t + "\\1.0\\HELPDIR",
                t + "\\1.0\\HELPDIR|@=" + folder,
                "Varno.TestThing",
                "Varno.TestThing|@=Varno Test Thing",
                "Varno.TestThing\\CLSID",
                "Varno.TestThing\\CLSID|@=" + clsid,
                "Varno.TestThing\\CurVer",
                "Varno.TestThing\\CurVer|@=Varno.TestThing.1",
                "Varno.TestThing.1",
                "Varno.TestThing.1|@=Varno Test Thing",
                "Varno.TestThing.1\\CLSID",
                "Varno.TestThing.1\\CLSID|@=" + clsid};
    std::sort(lines.begin(), lines.end());
    return lines;
}

class InprocServerTest : public CServerTest {};

TEST_F(InprocServerTest, RegistrationWritesExactlyItsKeysAndUnregistrationKeepsTheRoots) {
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), ExpectedRegistration());
    ASSERT_EQ(CallModuleEntry(kTestServerPath, kDllRegisterServer), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), ExpectedRegistration()) << "registered twice";

    ASSERT_EQ(CallModuleEntry(kTestServerPath, kDllUnregisterServer), S_OK);
    EXPECT_EQ(HiveLines(ERegHive::ClassesRoot), (Lines{"CLSID", "Interface", "TypeLib"}));
    CComPtr<ITestThing> pThing;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kTestServerProgId, pThing), CO_E_CLASSSTRING);
    EXPECT_EQ(CallModuleEntry(kTestServerPath, kDllUnregisterServer), S_OK) << "nothing left";
}

TEST_F(InprocServerTest, ModuleStaysLoadedWhileObjectsOrLocksLive) {
    EXPECT_FALSE(IsMapped(kTestServerPath));
    CComPtr<ITestThing> pThing;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), S_OK);
    CComPtr<ITestThing> pByProgId;
    ASSERT_EQ(CoCreateInstance(kTestServerIndependentProgId, pByProgId), S_OK);
    EXPECT_TRUE(IsServerModuleLoaded(kTestServerPath));
    EXPECT_TRUE(IsMapped(kTestServerPath));

    LONG nSum = 0;
    ASSERT_EQ(pThing->Add(2, 3, &nSum), S_OK);
    EXPECT_EQ(nSum, 5);

    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsMapped(kTestServerPath));
    pThing = nullptr;
    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE) << "one object is still alive";
    pByProgId = nullptr;
    EXPECT_EQ(ModuleCanUnloadNow(), S_OK);

    // A factory held outside the module, and the lock count, keep it loaded.
    CComPtr<IClassFactory> pFactory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestServerThing, IID_IClassFactory,
                               reinterpret_cast<void**>(pFactory.Put())),
              S_OK);
    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
    ASSERT_EQ(pFactory->LockServer(TRUE), S_OK);
    pFactory = nullptr;
    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsServerModuleLoaded(kTestServerPath));
    ASSERT_EQ(CoGetClassObject(CLSID_TestServerThing, IID_IClassFactory,
                               reinterpret_cast<void**>(pFactory.Put())),
              S_OK);
    CComPtr<ITestThing> pAggregate;
    EXPECT_EQ(pFactory->CreateInstance(reinterpret_cast<IUnknown*>(pFactory.Get()), IID_ITestThing,
                                       reinterpret_cast<void**>(pAggregate.Put())),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(pFactory->LockServer(FALSE), S_OK);
    pFactory = nullptr;
    EXPECT_EQ(ModuleCanUnloadNow(), S_OK);

    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsServerModuleLoaded(kTestServerPath));
    EXPECT_FALSE(IsMapped(kTestServerPath)) << "the loader still holds the module";

    // The next request loads it again.
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), S_OK);
    EXPECT_TRUE(IsMapped(kTestServerPath));
}

TEST_F(InprocServerTest, ClassTheModuleDoesNotServe) {
    SetServer(CLSID_TestServerMissing, ResolvedTestPath(kTestServerPath), "Apartment");
    void* pv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoGetClassObject(CLSID_TestServerMissing, IID_IClassFactory, &pv),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    CComPtr<IUnknown> pObject;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServerMissing, pObject), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(pObject);

    // The module's own entry point answers the same, and refuses a null out pointer.
    void* p = dlopen(kTestServerPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(p, nullptr);
    const auto pfn = reinterpret_cast<FDllGetClassObject>(dlsym(p, kDllGetClassObject));
    ASSERT_NE(pfn, nullptr);
    pv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(pfn(CLSID_TestServerMissing, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(pfn(CLSID_TestServerThing, IID_IClassFactory, nullptr), E_POINTER);
    pv = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(pfn(CLSID_TestServerThing, IID_IDispatch, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    dlclose(p);
}

TEST_F(InprocServerTest, ModulesThatCannotServe) {
    const std::string textFile = TempPath("not-a-library.so");
    WriteFileBytes(textFile, "plain text");
    struct SCase {
        std::string m_strPath;
        HRESULT m_hr;
        const char16_t* m_pszReason; // part of the error description, or null for none
    };
    const SCase kCases[] = {
        {Home() + "/missing/Module.so", CO_E_DLLNOTFOUND, u"does not exist"},
        {textFile, CO_E_DLLNOTFOUND, u"Cannot load the server module"},
        {ResolvedTestPath(kNotAServerPath), CO_E_ERRORINDLL, u"does not export DllGetClassObject"},
        // A bare name would be searched for along the library path: not a registration.
        {"VarnoTestServer.so", CLASS_E_CLASSNOTAVAILABLE, nullptr},
        {"built into the program", CLASS_E_CLASSNOTAVAILABLE, nullptr},
        {"", CLASS_E_CLASSNOTAVAILABLE, nullptr},
    };
    for (const SCase& c : kCases) {
        SetServer(CLSID_TestServerMissing, c.m_strPath);
        ClearErrorInfo();
        CComPtr<IUnknown> pObject;
        EXPECT_EQ(CoCreateInstance(CLSID_TestServerMissing, pObject), c.m_hr) << c.m_strPath;
        EXPECT_FALSE(pObject);
        const std::optional<CErrorInfo> info = TakeErrorInfo();
        if (c.m_pszReason) {
            ASSERT_TRUE(info) << c.m_strPath;
            EXPECT_NE(info->m_strDescription.find(c.m_pszReason), std::u16string::npos)
                << c.m_strPath;
        }
    }
    EXPECT_FALSE(IsServerModuleLoaded(kNotAServerPath));
}

TEST_F(InprocServerTest, ThreadingModelDecidesWhichThreadsMayUseTheModule) {
    struct SModel {
        const char* m_pszValue;
        bool m_bPresent;
        EThreadingModel m_model;
    };
    const SModel kModels[] = {
        {"", false, EThreadingModel::Single},
        {"Apartment", true, EThreadingModel::Apartment},
        {"apartment", true, EThreadingModel::Apartment},
        {"Both", true, EThreadingModel::Both},
        {"FREE", true, EThreadingModel::Free},
        {"Neutral", true, EThreadingModel::Neutral},
        {"Rental", true, EThreadingModel::Single},
        {"", true, EThreadingModel::Single},
    };
    for (const SModel& m : kModels)
        EXPECT_EQ(ParseThreadingModel(m.m_pszValue, m.m_bPresent), m.m_model) << m.m_pszValue;

    // Registered "Apartment": the module belongs to the thread that loaded it.
    CComPtr<ITestThing> pThing;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), S_OK);
    HRESULT hrOther = S_OK;
    std::thread([&] {
        CComPtr<ITestThing> pOther;
        hrOther = CoCreateInstance(CLSID_TestServerThing, pOther);
    }).join();
    EXPECT_EQ(hrOther, RPC_E_WRONG_THREAD);
    pThing = nullptr;
    std::thread([] { CoFreeUnusedLibraries(); }).join();
    EXPECT_TRUE(IsServerModuleLoaded(kTestServerPath)) << "only its own thread unloads it";
    CoFreeUnusedLibraries();
    ASSERT_FALSE(IsServerModuleLoaded(kTestServerPath));

    // Registered "Both": every thread may load, use and unload it.
    SetServer(CLSID_TestServerThing, ResolvedTestPath(kTestServerPath), "Both");
    std::thread([&] {
        CComPtr<ITestThing> pOther;
        hrOther = CoCreateInstance(CLSID_TestServerThing, pOther);
    }).join();
    EXPECT_EQ(hrOther, S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), S_OK);
    pThing = nullptr;
    std::thread([] { CoFreeUnusedLibraries(); }).join();
    EXPECT_FALSE(IsServerModuleLoaded(kTestServerPath));
}

TEST_F(InprocServerTest, ModuleSharesTheProgramsRuntime) {
    CComPtr<ITestThing> pThing;
    ASSERT_EQ(CoCreateInstance(CLSID_TestServerThing, pThing), S_OK);
    // The description the module leaves is the one this thread's error information holds.
    ClearErrorInfo();
    EXPECT_EQ(pThing->Fail(E_ACCESSDENIED), E_ACCESSDENIED);
    const std::optional<CErrorInfo> info = TakeErrorInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->m_strDescription, u"Failing as asked");
    EXPECT_EQ(info->m_iid, IID_ITestThing);
}

} // namespace
