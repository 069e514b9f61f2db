#include "platform/com/ClassRegistry.h"
#include "platform/com/ComObject.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

// {6A0E4C2B-93D1-4F7A-B5E8-1C2D3E4F5A6B}
constexpr GUID CLSID_TestThing{
    0x6A0E4C2B, 0x93D1, 0x4F7A, {0xB5, 0xE8, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6B}};

class CThing final : public CComObject<CThing, IDispatch> {
public:
    explicit CThing(int* pnAlive) : m_pnAlive(pnAlive) { ++*m_pnAlive; }
    ~CThing() { --*m_pnAlive; }

private:
    int* m_pnAlive;
};

class CThingFactory final : public CComObject<CThingFactory, IClassFactory> {
public:
    explicit CThingFactory(int* pnAlive) : m_pnAlive(pnAlive) {}
    HRESULT CreateInstance(IUnknown* pUnkOuter, const GUID& iid, void** ppv) override {
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        const CComPtr<CThing> pThing(new CThing(m_pnAlive));
        return pThing->QueryInterface(iid, ppv);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    int* m_pnAlive;
};

void RegisterInRegistry(const char* pszProgId, const std::string& clsidText) {
    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot, std::string(pszProgId) + "\\CLSID"), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("", clsidText), REG_STATUS_OK);
    ASSERT_EQ(key.Create(ERegHive::ClassesRoot, ClassKeyPath(CLSID_TestThing) + "\\InprocServer32"),
              REG_STATUS_OK);
}

class ClassRegistryTest : public CVarnoTest {
protected:
    void TearDown() override {
        static_cast<void>(CoRevokeClassObject(CLSID_TestThing));
        CVarnoTest::TearDown();
    }
    int m_nAlive = 0;
};

TEST_F(ClassRegistryTest, ProgIdNamesTheClassInTheRegistry) {
    GUID clsid{};
    EXPECT_EQ(CLSIDFromProgID("Test.Thing", clsid), CO_E_CLASSSTRING);
    RegisterInRegistry("Test.Thing", "{6a0e4c2b-93d1-4f7a-b5e8-1c2d3e4f5a6b}");
    ASSERT_EQ(CLSIDFromProgID("TEST.THING", clsid), S_OK); // key names ignore letter case
    EXPECT_EQ(clsid, CLSID_TestThing);
    EXPECT_EQ(CLSIDFromProgID("", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID("CLSID\\{6A0E4C2B-93D1-4F7A-B5E8-1C2D3E4F5A6B}", clsid),
              CO_E_CLASSSTRING);
    RegisterInRegistry("Test.Broken", "not a class");
    EXPECT_EQ(CLSIDFromProgID("Test.Broken", clsid), CO_E_CLASSSTRING);
}

TEST_F(ClassRegistryTest, CreationNeedsTheRegistryAndTheProcessClass) {
    CComPtr<IDispatch> pObject;
    EXPECT_EQ(CoCreateInstance("Test.Thing", pObject), CO_E_CLASSSTRING);
    // The process class alone is not enough.
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestThing, new CThingFactory(&m_nAlive)), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_TestThing, pObject), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(pObject);

    RegisterInRegistry("Test.Thing", FormatGuid(CLSID_TestThing));
    ASSERT_EQ(CoCreateInstance("Test.Thing", pObject), S_OK);
    CComPtr<IDispatch> pSecond;
    ASSERT_EQ(CoCreateInstance(CLSID_TestThing, pSecond), S_OK);
    EXPECT_FALSE(pSecond == pObject); // a new object each time
    EXPECT_EQ(m_nAlive, 2);
    pSecond = nullptr;
    pObject = nullptr;
    EXPECT_EQ(m_nAlive, 0);
    CComPtr<IClassFactory> pWrong;
    EXPECT_EQ(CoCreateInstance(CLSID_TestThing, pWrong), E_NOINTERFACE);

    // Without InprocServer32 the class is not registered, whatever the process holds.
    ASSERT_EQ(
        RegDeleteTree(ERegHive::ClassesRoot, ClassKeyPath(CLSID_TestThing) + "\\InprocServer32"),
        REG_STATUS_OK);
    EXPECT_EQ(CoCreateInstance("Test.Thing", pObject), REGDB_E_CLASSNOTREG);

    // Registered, but no component of this process supplies the class.
    RegisterInRegistry("Test.Thing", FormatGuid(CLSID_TestThing));
    EXPECT_EQ(CoRevokeClassObject(CLSID_TestThing), S_OK);
    EXPECT_EQ(CoRevokeClassObject(CLSID_TestThing), S_FALSE);
    EXPECT_EQ(CoCreateInstance("Test.Thing", pObject), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ClassRegistryTest, FactoryIsReachableAndReplaceable) {
    RegisterInRegistry("Test.Thing", FormatGuid(CLSID_TestThing));
    int nOther = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestThing, new CThingFactory(&m_nAlive)), S_OK);
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestThing, new CThingFactory(&nOther)), S_OK);
    EXPECT_EQ(CoRegisterClassObject(CLSID_TestThing, nullptr), E_INVALIDARG);

    CComPtr<IClassFactory> pFactory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestThing, IID_IClassFactory,
                               reinterpret_cast<void**>(pFactory.Put())),
              S_OK);
    CComPtr<IDispatch> pObject;
    ASSERT_EQ(
        pFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(pObject.Put())),
        S_OK);
    EXPECT_EQ(nOther, 1); // the later registration won
    EXPECT_EQ(m_nAlive, 0);
    CComPtr<IDispatch> pAggregate;
    EXPECT_EQ(pFactory->CreateInstance(pObject.Get(), IID_IDispatch,
                                       reinterpret_cast<void**>(pAggregate.Put())),
              CLASS_E_NOAGGREGATION);
}

} // namespace
