// Type libraries held as data in a server module: the library (LIBID, version), its
// coclasses and its dual interfaces with their methods, dispatch ids and parameter types.
// From the description come the library's registration under HKEY_CLASSES_ROOT\TypeLib,
// type information, and late-bound calls (IDispatch) that end in the interface's own
// vtable methods.
//
//   constexpr SParamDesc kInitParams[] = {Param<IUnknown*>("pUnk"), Param<BOOL*>("pbDone")};
//   constexpr SMethodDesc kThingMethods[] = {
//       DispMethod<&IThing::Init>("Init", 1, kInitParams),
//       DispMethod<&IThing::GetLevel>("Level", 2, kLevelParams, DISPATCH_PROPERTYGET)};
//
// DispMethod is evaluated at compile time and refuses a parameter list that does not match
// the method's C++ signature, so a description cannot drift from its interface. The C++
// types and the variant types they stand for: LONG (and BOOL) VT_I4, ULONG VT_UI4,
// std::int64_t VT_I8, double VT_R8, VARIANT_BOOL VT_BOOL, BSTR VT_BSTR, IUnknown*
// VT_UNKNOWN, IDispatch* VT_DISPATCH; a pointer to one of them is an out parameter
// (VT_BYREF | type), VARIANT* an out parameter of any type.
#pragma once

#include "platform/com/ComObject.h"
#include "platform/com/Variant.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

// {00020401-0000-0000-C000-000000000046}
inline constexpr GUID IID_ITypeInfo{
    0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr WORD PARAMFLAG_FIN = 0x1;
inline constexpr WORD PARAMFLAG_FOUT = 0x2;
inline constexpr WORD PARAMFLAG_FRETVAL = 0x8;

// The identifier that GetDocumentation takes for the type itself.
inline constexpr DISPID MEMBERID_NIL = -1;

// Type information of one interface: the part of it this runtime offers, in this slot
// order (slots 3 to 8).
struct ITypeInfo : IUnknown {
    static constexpr const GUID& Iid() noexcept { return IID_ITypeInfo; }
    using Base = IUnknown;

    [[nodiscard]] virtual HRESULT GetGuid(GUID* pGuid) = 0;
    // Name and help text of a member (MEMBERID_NIL: of the interface); either out pointer
    // may be null.
    [[nodiscard]] virtual HRESULT GetDocumentation(DISPID memid, BSTR* pbstrName,
                                                   BSTR* pbstrDocString) = 0;
    [[nodiscard]] virtual HRESULT GetFuncCount(UINT* pcFuncs) = 0;
    // Dispatch id, invoke kind (DISPATCH_METHOD, _PROPERTYGET or _PROPERTYPUT) and the
    // number of parameters of the index-th method.
    [[nodiscard]] virtual HRESULT GetFuncDesc(UINT index, DISPID* pMemid, WORD* pwInvokeKind,
                                              UINT* pcParams) = 0;
    [[nodiscard]] virtual HRESULT GetIDsOfNames(OLECHAR** rgszNames, UINT cNames,
                                                DISPID* pMemId) = 0;
    // Calls the member on pvInstance, a pointer to the interface this type describes.
    [[nodiscard]] virtual HRESULT Invoke(void* pvInstance, DISPID memid, WORD wFlags,
                                         DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                         EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~ITypeInfo() = default;
};

struct SParamDesc {
    std::string_view m_strName;
    VARTYPE m_vt = VT_EMPTY; // VT_BYREF | type for out parameters
    WORD m_wFlags = PARAMFLAG_FIN;
};

// Calls the vtable method on pInterface with rgArgs in declaration order, each argument
// holding exactly the variant type of its parameter (out parameters: VT_BYREF pointing at
// the storage that receives the value).
using FMethodThunk = HRESULT (*)(void* pInterface, VARIANT* rgArgs);

struct SMethodDesc {
    std::string_view m_strName;
    DISPID m_dispid = 0;
    WORD m_wInvokeKind = DISPATCH_METHOD;
    std::span<const SParamDesc> m_params;
    FMethodThunk m_pfnThunk = nullptr;
    std::string_view m_strHelp;
};

struct SInterfaceDesc {
    std::string_view m_strName;
    GUID m_iid = GUID_NULL;
    std::string_view m_strHelp;
    std::span<const SMethodDesc> m_methods;
};

struct SCoClassDesc {
    std::string_view m_strName;
    GUID m_clsid = GUID_NULL;
    std::string_view m_strHelp;
    std::span<const GUID> m_interfaces; // the default interface first
};

struct STypeLibDesc {
    std::string_view m_strName;
    GUID m_libid = GUID_NULL;
    WORD m_wMajor = 1;
    WORD m_wMinor = 0;
    std::string_view m_strHelp; // the registered description
    std::span<const SInterfaceDesc> m_interfaces;
    std::span<const SCoClassDesc> m_coclasses;

    [[nodiscard]] const SInterfaceDesc* FindInterface(const GUID& iid) const noexcept {
        for (const SInterfaceDesc& desc : m_interfaces)
            if (desc.m_iid == iid)
                return &desc;
        return nullptr;
    }
};

// The platform subkey under TypeLib\{libid}\<version>\0 that names the module file.
inline constexpr const char* kTypeLibPlatform = "linux64";

// Writes TypeLib\{libid}\<major.minor> (description, FLAGS, HELPDIR, 0\linux64 = the module
// path) and, for each interface, Interface\{iid} (name; TypeLib = libid with Version)
// unless that key already belongs to another library. TYPE_E_REGISTRYACCESS when the
// registry cannot be written.
[[nodiscard]] HRESULT RegisterTypeLib(const STypeLibDesc& lib, const std::string& modulePath);
// Removes this version of the library (and the library key when no other version is left)
// and the Interface keys that name this version of it; keys of other libraries and
// versions stay. S_OK also when nothing was registered.
[[nodiscard]] HRESULT UnRegisterTypeLib(const STypeLibDesc& lib);

// The dispatch ids of a member name and then of its parameter names (letter case ignored).
// DISP_E_UNKNOWNNAME with DISPID_UNKNOWN for each name not found.
[[nodiscard]] HRESULT DispGetIDsOfNames(const SInterfaceDesc& desc, OLECHAR** rgszNames,
                                        UINT cNames, DISPID* rgDispId);
// A late-bound call: finds the member by dispatch id and call kind, converts the arguments
// to the parameter types (DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with *puArgErr = the
// argument's index in rgvarg), calls the vtable method and hands back out parameters and
// the [retval] parameter as the result. A failing method gives DISP_E_EXCEPTION with its
// status and the thread's error description in *pExcepInfo.
[[nodiscard]] HRESULT DispInvoke(const SInterfaceDesc& desc, void* pInterface, DISPID dispid,
                                 WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo, UINT* puArgErr);

// Type information of a described interface. pOwner (may be null) is kept
// referenced for the type information's life, so the module holding the description stays
// loaded while it is in use.
[[nodiscard]] HRESULT CreateTypeInfo(const SInterfaceDesc& desc, IUnknown* pOwner,
                                     ITypeInfo** ppTInfo);

// --- Descriptions checked against the C++ signatures ----------------------------------------

namespace com_detail {

template <class T> constexpr VARTYPE VarTypeOf() {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, LONG>)
        return VT_I4;
    else if constexpr (std::is_same_v<U, ULONG>)
        return VT_UI4;
    else if constexpr (std::is_same_v<U, std::int64_t>)
        return VT_I8;
    else if constexpr (std::is_same_v<U, double>)
        return VT_R8;
    else if constexpr (std::is_same_v<U, VARIANT_BOOL>)
        return VT_BOOL;
    else if constexpr (std::is_same_v<U, BSTR>)
        return VT_BSTR;
    else if constexpr (std::is_same_v<U, IUnknown*>)
        return VT_UNKNOWN;
    else if constexpr (std::is_same_v<U, IDispatch*>)
        return VT_DISPATCH;
    else if constexpr (std::is_same_v<U, VARIANT*>)
        return VT_BYREF | VT_VARIANT;
    else if constexpr (std::is_pointer_v<U>)
        return VT_BYREF | VarTypeOf<std::remove_pointer_t<U>>();
    else
        static_assert(sizeof(U) == 0, "no variant type for this parameter type");
}

template <class T> T ArgOf(VARIANT& v) {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, LONG>)
        return v.lVal;
    else if constexpr (std::is_same_v<U, ULONG>)
        return v.ulVal;
    else if constexpr (std::is_same_v<U, std::int64_t>)
        return v.llVal;
    else if constexpr (std::is_same_v<U, double>)
        return v.dblVal;
    else if constexpr (std::is_same_v<U, VARIANT_BOOL>)
        return v.boolVal;
    else if constexpr (std::is_same_v<U, BSTR>)
        return v.bstrVal;
    else if constexpr (std::is_same_v<U, IUnknown*>)
        return v.punkVal;
    else if constexpr (std::is_same_v<U, IDispatch*>)
        return v.pdispVal;
    else
        return static_cast<U>(v.byref);
}

template <auto Method> struct SThunk;

template <class I, class... A, HRESULT (I::*Method)(A...)> struct SThunk<Method> {
    static constexpr std::size_t kArity = sizeof...(A);
    static constexpr VARTYPE kTypes[sizeof...(A) + 1] = {VarTypeOf<A>()..., VT_EMPTY};

    static HRESULT Call(void* pInterface, VARIANT* rgArgs) {
        return Invoke(static_cast<I*>(pInterface), rgArgs, std::index_sequence_for<A...>());
    }

private:
    template <std::size_t... N>
    static HRESULT Invoke(I* p, [[maybe_unused]] VARIANT* rgArgs, std::index_sequence<N...>) {
        return (p->*Method)(ArgOf<A>(rgArgs[N])...);
    }
};

} // namespace com_detail

// An in parameter (or an out parameter, for a pointer type).
template <class T> consteval SParamDesc Param(std::string_view name) {
    constexpr VARTYPE vt = com_detail::VarTypeOf<T>();
    return SParamDesc{name, vt, (vt & VT_BYREF) ? PARAMFLAG_FOUT : PARAMFLAG_FIN};
}
// An in-out parameter: the caller's value goes in, the method's value comes back.
template <class T> consteval SParamDesc InOutParam(std::string_view name) {
    static_assert(std::is_pointer_v<T>, "an in-out parameter is passed by pointer");
    return SParamDesc{name, com_detail::VarTypeOf<T>(), PARAMFLAG_FIN | PARAMFLAG_FOUT};
}
// The last parameter, given back as the call's result.
template <class T> consteval SParamDesc RetvalParam(std::string_view name) {
    static_assert(std::is_pointer_v<T>, "a result parameter is passed by pointer");
    return SParamDesc{name, com_detail::VarTypeOf<T>(), PARAMFLAG_FOUT | PARAMFLAG_FRETVAL};
}

template <auto Method>
consteval SMethodDesc DispMethod(std::string_view name, DISPID dispid,
                                 std::span<const SParamDesc> params,
                                 WORD wInvokeKind = DISPATCH_METHOD, std::string_view help = {}) {
    using TThunk = com_detail::SThunk<Method>;
    if (params.size() != TThunk::kArity)
        throw "the parameter list does not match the method's signature";
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].m_vt != TThunk::kTypes[i])
            throw "a parameter type does not match the method's signature";
        if ((params[i].m_wFlags & PARAMFLAG_FRETVAL) && i + 1 != params.size())
            throw "only the last parameter can be the result";
    }
    return SMethodDesc{name, dispid, wInvokeKind, params, &TThunk::Call, help};
}
template <auto Method>
consteval SMethodDesc DispMethod(std::string_view name, DISPID dispid,
                                 WORD wInvokeKind = DISPATCH_METHOD, std::string_view help = {}) {
    return DispMethod<Method>(name, dispid, std::span<const SParamDesc>(), wInvokeKind, help);
}

// An object whose first interface Iface is a dual interface described in the library
// Derived::TypeLibrary(); its IDispatch members are served from that description.
template <class Derived, class Iface, class... More>
class CDualObject : public CComObject<Derived, Iface, More...> {
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0)
            return DISP_E_BADINDEX;
        const SInterfaceDesc* pDesc = Description();
        if (!pDesc)
            return TYPE_E_ELEMENTNOTFOUND;
        return CreateTypeInfo(*pDesc, static_cast<Iface*>(this), ppTInfo);
    }
    HRESULT GetIDsOfNames(const GUID& iid, OLECHAR** rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override {
        if (iid != GUID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        const SInterfaceDesc* pDesc = Description();
        if (!pDesc)
            return TYPE_E_ELEMENTNOTFOUND;
        return DispGetIDsOfNames(*pDesc, rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispid, const GUID& iid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (iid != GUID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        const SInterfaceDesc* pDesc = Description();
        if (!pDesc)
            return TYPE_E_ELEMENTNOTFOUND;
        return DispInvoke(*pDesc, static_cast<Iface*>(this), dispid, wFlags, pDispParams,
                          pVarResult, pExcepInfo, puArgErr);
    }

protected:
    ~CDualObject() = default;

private:
    static const SInterfaceDesc* Description() {
        return Derived::TypeLibrary().FindInterface(Iface::Iid());
    }
};
