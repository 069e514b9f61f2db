// The interface and identifiers of the test server module (VarnoTestServer.so), shared by
// the module and the tests that load it through the registry.
#pragma once

#include "platform/com/Unknown.h"
#include "platform/com/Variant.h"

#include <cstdint>

// {3F1C7A52-8D44-4E0B-9A61-0B7E25C4D901}
inline constexpr GUID CLSID_TestServerThing{
    0x3F1C7A52, 0x8D44, 0x4E0B, {0x9A, 0x61, 0x0B, 0x7E, 0x25, 0xC4, 0xD9, 0x01}};
// Registered by the tests with the module as its server, but not served by it.
// {3F1C7A52-8D44-4E0B-9A61-0B7E25C4D9FF}
inline constexpr GUID CLSID_TestServerMissing{
    0x3F1C7A52, 0x8D44, 0x4E0B, {0x9A, 0x61, 0x0B, 0x7E, 0x25, 0xC4, 0xD9, 0xFF}};
// {3F1C7A52-8D44-4E0B-9A61-0B7E25C4D902}
inline constexpr GUID LIBID_TestServerLib{
    0x3F1C7A52, 0x8D44, 0x4E0B, {0x9A, 0x61, 0x0B, 0x7E, 0x25, 0xC4, 0xD9, 0x02}};
// {3F1C7A52-8D44-4E0B-9A61-0B7E25C4D903}
inline constexpr GUID IID_ITestThing{
    0x3F1C7A52, 0x8D44, 0x4E0B, {0x9A, 0x61, 0x0B, 0x7E, 0x25, 0xC4, 0xD9, 0x03}};

inline constexpr const char* kTestServerProgId = "Varno.TestThing.1";
inline constexpr const char* kTestServerIndependentProgId = "Varno.TestThing";

// A dual interface; dispatch ids in the comments.
struct ITestThing : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_ITestThing; }
    using Base = IDispatch;

    // 1: the sum, as the call's result; DISP_E_OVERFLOW when it does not fit.
    [[nodiscard]] virtual HRESULT Add(LONG nA, LONG nB, LONG* pnSum) = 0;
    // 2: the text nCount times, as the call's result.
    [[nodiscard]] virtual HRESULT Repeat(BSTR bstrText, ULONG nCount, BSTR* pbstrResult) = 0;
    // 3: keeps a reference to pObject (null lets the kept one go); *pbHeld tells whether
    // one is kept now.
    [[nodiscard]] virtual HRESULT Hold(IUnknown* pObject, VARIANT_BOOL* pbHeld) = 0;
    // 4: sets the error description "Failing as asked" and returns hr.
    [[nodiscard]] virtual HRESULT Fail(LONG hr) = 0;
    // 5: a property.
    [[nodiscard]] virtual HRESULT get_Level(double* pdLevel) = 0;
    [[nodiscard]] virtual HRESULT put_Level(double dLevel) = 0;
    // 6: reverses the text in place.
    [[nodiscard]] virtual HRESULT Reverse(BSTR* pbstrText) = 0;
    // 7: the object itself, and a 64-bit handle passed through.
    [[nodiscard]] virtual HRESULT Self(std::int64_t nHandle, IDispatch** ppSelf,
                                       std::int64_t* pnHandle) = 0;

protected:
    ~ITestThing() = default;
};
