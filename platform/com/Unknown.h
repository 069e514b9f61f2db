// The two base interfaces of every component object: reference counting with interface
// discovery, and late-bound dispatch by member name.
#pragma once

#include "platform/com/ComTypes.h"
#include "platform/com/Guid.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr GUID IID_IDispatch{0x00020400, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

using BSTR = OLECHAR*;
struct VARIANT;
struct ITypeInfo; // TypeLib.h

// Slots 0 to 2. Interfaces have no virtual destructor: an object is destroyed by its own
// Release, so the slot order below is the whole vtable.
struct IUnknown {
    static constexpr const GUID& Iid() noexcept { return IID_IUnknown; }

    [[nodiscard]] virtual HRESULT QueryInterface(const GUID& iid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Arguments of a dispatch call, in reverse order as the caller pushes them.
struct DISPPARAMS {
    VARIANT* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// Error details of a failing dispatch call (DISP_E_EXCEPTION). The callee allocates the
// strings; the caller frees them.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    HRESULT scode;
};

inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

// Slots 3 to 6.
struct IDispatch : IUnknown {
    static constexpr const GUID& Iid() noexcept { return IID_IDispatch; }
    using Base = IUnknown;

    [[nodiscard]] virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    [[nodiscard]] virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    [[nodiscard]] virtual HRESULT GetIDsOfNames(const GUID& iid, OLECHAR** rgszNames,
                                                UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    [[nodiscard]] virtual HRESULT Invoke(DISPID dispIdMember, const GUID& iid, LCID lcid,
                                         WORD wFlags, DISPPARAMS* pDispParams,
                                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                         UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};
