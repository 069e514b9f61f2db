#include "platform/com/TypeLib.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ErrorInfo.h"
#include "platform/com/VariantConvert.h"
#include "platform/registry/Registry.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace {

char16_t LowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Member and parameter names are ASCII; the comparison ignores the letter case of A to Z.
bool SameName(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(static_cast<char16_t>(static_cast<unsigned char>(b[i]))))
            return false;
    return true;
}

std::u16string Utf16Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

// --- Argument conversion ----------------------------------------------------------------------

// The value of a typed reference (VT_BYREF | scalar) as a plain variant; the caller keeps
// ownership of what it points to, so strings and interfaces are not owned by the result.
bool ReadByRef(const VARIANT& arg, VARIANT& out) {
    VariantInit(&out);
    if (!arg.byref)
        return false;
    const VARTYPE vt = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
    out.vt = vt;
    switch (vt) {
    case VT_I4:
        out.lVal = *arg.plVal;
        return true;
    case VT_UI4:
        out.ulVal = *arg.pulVal;
        return true;
    case VT_I8:
        out.llVal = *arg.pllVal;
        return true;
    case VT_R8:
        out.dblVal = *arg.pdblVal;
        return true;
    case VT_BOOL:
        out.boolVal = *arg.pboolVal;
        return true;
    case VT_BSTR:
        out.bstrVal = *arg.pbstrVal;
        return true;
    case VT_UNKNOWN:
        out.punkVal = *arg.ppunkVal;
        return true;
    case VT_DISPATCH:
        out.pdispVal = *arg.ppdispVal;
        return true;
    default:
        VariantInit(&out);
        return false;
    }
}

// A whole number from a numeric argument: integers as they are, doubles and dates rounded
// half to even; text is no number.
HRESULT WholeNumber(const VARIANT& v, std::int64_t nMin, std::int64_t nMax, std::int64_t& n) {
    switch (v.vt) {
    case VT_EMPTY:
        n = 0;
        break;
    case VT_I2:
        n = v.iVal;
        break;
    case VT_I4:
        n = v.lVal;
        break;
    case VT_UI4:
        n = v.ulVal;
        break;
    case VT_I8:
        n = v.llVal;
        break;
    case VT_BOOL:
        n = v.boolVal ? -1 : 0;
        break;
    case VT_R8:
    case VT_DATE: {
        const double rounded = std::nearbyint(v.vt == VT_R8 ? v.dblVal : v.date);
        if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0))
            return DISP_E_OVERFLOW;
        n = static_cast<std::int64_t>(rounded);
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    return n < nMin || n > nMax ? DISP_E_OVERFLOW : S_OK;
}

// Converts one in argument to the parameter's type into out (which owns the result).
HRESULT ConvertIn(const VARIANT& raw, VARTYPE vt, CVariant& out) {
    const VARIANT* pArg = &raw;
    VARIANT plain;
    if (raw.vt == (VT_BYREF | VT_VARIANT)) {
        if (!raw.pvarVal)
            return DISP_E_TYPEMISMATCH;
        pArg = raw.pvarVal;
    } else if (raw.vt & VT_BYREF) {
        if (!ReadByRef(raw, plain))
            return DISP_E_TYPEMISMATCH;
        pArg = &plain;
    }
    const VARIANT& arg = *pArg;
    out.Clear();
    std::int64_t n = 0;
    HRESULT hr = S_OK;
    switch (vt) {
    case VT_I4:
        hr =
            WholeNumber(arg, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), n);
        if (SUCCEEDED(hr)) {
            out.vt = VT_I4;
            out.lVal = static_cast<LONG>(n);
        }
        return hr;
    case VT_UI4:
        hr = WholeNumber(arg, 0, std::numeric_limits<ULONG>::max(), n);
        if (SUCCEEDED(hr)) {
            out.vt = VT_UI4;
            out.ulVal = static_cast<ULONG>(n);
        }
        return hr;
    case VT_I8:
        hr = WholeNumber(arg, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max(), n);
        if (SUCCEEDED(hr)) {
            out.vt = VT_I8;
            out.llVal = n;
        }
        return hr;
    case VT_BOOL:
        if (arg.vt == VT_BOOL) {
            out.vt = VT_BOOL;
            out.boolVal = arg.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        hr = WholeNumber(arg, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max(), n);
        if (SUCCEEDED(hr)) {
            out.vt = VT_BOOL;
            out.boolVal = n != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return hr;
    case VT_R8:
    case VT_BSTR:
        if (arg.vt == VT_UI4 || arg.vt == VT_I8 || arg.vt == VT_I2 || arg.vt == VT_I4 ||
            arg.vt == VT_R8 || arg.vt == VT_DATE || arg.vt == VT_BOOL || arg.vt == VT_EMPTY ||
            arg.vt == VT_BSTR)
            return VariantChangeType(&out, &arg, 0, vt);
        return DISP_E_TYPEMISMATCH;
    case VT_UNKNOWN:
        out.vt = VT_UNKNOWN;
        if (arg.vt == VT_EMPTY || arg.vt == VT_NULL)
            return S_OK;
        if (arg.vt == VT_UNKNOWN || arg.vt == VT_DISPATCH) {
            out.punkVal = arg.vt == VT_UNKNOWN ? arg.punkVal : arg.pdispVal;
            if (out.punkVal)
                out.punkVal->AddRef();
            return S_OK;
        }
        out.vt = VT_EMPTY;
        return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH:
        out.vt = VT_DISPATCH;
        if (arg.vt == VT_EMPTY || arg.vt == VT_NULL)
            return S_OK;
        if (arg.vt == VT_DISPATCH) {
            out.pdispVal = arg.pdispVal;
            if (out.pdispVal)
                out.pdispVal->AddRef();
            return S_OK;
        }
        if (arg.vt == VT_UNKNOWN) {
            if (!arg.punkVal)
                return S_OK;
            if (SUCCEEDED(arg.punkVal->QueryInterface(IID_IDispatch,
                                                      reinterpret_cast<void**>(&out.pdispVal))))
                return S_OK;
        }
        out.vt = VT_EMPTY;
        out.pdispVal = nullptr;
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

// Whether the caller's argument can receive an out value of type vt.
bool CanReceive(const VARIANT& arg, VARTYPE vt) {
    if (arg.vt == (VT_BYREF | VT_VARIANT))
        return arg.pvarVal != nullptr;
    return arg.vt == (VT_BYREF | vt) && arg.byref != nullptr;
}

// Frees what a typed reference points to (an in-out value about to be replaced).
void FreeByRef(const VARIANT& arg) {
    switch (arg.vt & ~VT_BYREF) {
    case VT_BSTR:
        SysFreeString(*arg.pbstrVal);
        *arg.pbstrVal = nullptr;
        break;
    case VT_UNKNOWN:
        if (*arg.ppunkVal)
            (*arg.ppunkVal)->Release();
        *arg.ppunkVal = nullptr;
        break;
    case VT_DISPATCH:
        if (*arg.ppdispVal)
            (*arg.ppdispVal)->Release();
        *arg.ppdispVal = nullptr;
        break;
    default:
        break;
    }
}

// Moves the value in storage (of the parameter's type) to the caller's argument.
void StoreOut(const VARIANT& arg, CVariant& storage, bool bInOut) {
    if (arg.vt == (VT_BYREF | VT_VARIANT)) {
        VariantClear(arg.pvarVal);
        *arg.pvarVal = storage;
        VariantInit(&storage);
        return;
    }
    if (bInOut)
        FreeByRef(arg);
    switch (storage.vt) {
    case VT_I4:
        *arg.plVal = storage.lVal;
        break;
    case VT_UI4:
        *arg.pulVal = storage.ulVal;
        break;
    case VT_I8:
        *arg.pllVal = storage.llVal;
        break;
    case VT_R8:
        *arg.pdblVal = storage.dblVal;
        break;
    case VT_BOOL:
        *arg.pboolVal = storage.boolVal;
        break;
    case VT_BSTR:
        *arg.pbstrVal = storage.bstrVal;
        break;
    case VT_UNKNOWN:
        *arg.ppunkVal = storage.punkVal;
        break;
    case VT_DISPATCH:
        *arg.ppdispVal = storage.pdispVal;
        break;
    default:
        break;
    }
    VariantInit(&storage); // ownership moved to the caller
}

const SMethodDesc* FindMethod(const SInterfaceDesc& desc, DISPID dispid, WORD wFlags,
                              bool& bNameKnown) {
    bNameKnown = false;
    for (const SMethodDesc& method : desc.m_methods) {
        if (method.m_dispid != dispid)
            continue;
        bNameKnown = true;
        if (wFlags & method.m_wInvokeKind)
            return &method;
    }
    return nullptr;
}

void FillException(EXCEPINFO* pExcepInfo, HRESULT hr) {
    std::optional<CErrorInfo> info = TakeErrorInfo();
    if (!pExcepInfo)
        return;
    *pExcepInfo = EXCEPINFO{};
    pExcepInfo->scode = hr;
    if (info) {
        if (!info->m_strSource.empty())
            pExcepInfo->bstrSource = CBstr(info->m_strSource).Detach();
        if (!info->m_strDescription.empty())
            pExcepInfo->bstrDescription = CBstr(info->m_strDescription).Detach();
    }
}

// --- Type information -------------------------------------------------------------------------

// Not a CComObject: that base's IDispatch members would hide the ones below.
class CTypeInfo final : public ITypeInfo {
public:
    CTypeInfo(const SInterfaceDesc& desc, IUnknown* pOwner) : m_desc(desc), m_pOwner(pOwner) {}
    ~CTypeInfo() = default;

    HRESULT QueryInterface(const GUID& iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (iid != IID_IUnknown && iid != IID_ITypeInfo)
            return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<ITypeInfo*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }

    HRESULT GetGuid(GUID* pGuid) override {
        if (!pGuid)
            return E_POINTER;
        *pGuid = m_desc.m_iid;
        return S_OK;
    }
    HRESULT GetDocumentation(DISPID memid, BSTR* pbstrName, BSTR* pbstrDocString) override {
        std::string_view name;
        std::string_view help;
        if (memid == MEMBERID_NIL) {
            name = m_desc.m_strName;
            help = m_desc.m_strHelp;
        } else {
            const SMethodDesc* pMethod = nullptr;
            for (const SMethodDesc& method : m_desc.m_methods)
                if (method.m_dispid == memid && !pMethod)
                    pMethod = &method;
            if (!pMethod)
                return TYPE_E_ELEMENTNOTFOUND;
            name = pMethod->m_strName;
            help = pMethod->m_strHelp;
        }
        if (pbstrName)
            *pbstrName = CBstr(Utf16Ascii(name)).Detach();
        if (pbstrDocString)
            *pbstrDocString = CBstr(Utf16Ascii(help)).Detach();
        return S_OK;
    }
    HRESULT GetFuncCount(UINT* pcFuncs) override {
        if (!pcFuncs)
            return E_POINTER;
        *pcFuncs = static_cast<UINT>(m_desc.m_methods.size());
        return S_OK;
    }
    HRESULT GetFuncDesc(UINT index, DISPID* pMemid, WORD* pwInvokeKind, UINT* pcParams) override {
        if (index >= m_desc.m_methods.size())
            return TYPE_E_ELEMENTNOTFOUND;
        const SMethodDesc& method = m_desc.m_methods[index];
        if (pMemid)
            *pMemid = method.m_dispid;
        if (pwInvokeKind)
            *pwInvokeKind = method.m_wInvokeKind;
        if (pcParams)
            *pcParams = static_cast<UINT>(method.m_params.size());
        return S_OK;
    }
    HRESULT GetIDsOfNames(OLECHAR** rgszNames, UINT cNames, DISPID* pMemId) override {
        return DispGetIDsOfNames(m_desc, rgszNames, cNames, pMemId);
    }
    HRESULT Invoke(void* pvInstance, DISPID memid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return DispInvoke(m_desc, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo,
                          puArgErr);
    }

private:
    const SInterfaceDesc& m_desc;
    CComPtr<IUnknown> m_pOwner;
    std::atomic<ULONG> m_nRefs{0};
};

// --- Registration -----------------------------------------------------------------------------

std::string VersionText(const STypeLibDesc& lib) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%x.%x", static_cast<unsigned>(lib.m_wMajor),
                  static_cast<unsigned>(lib.m_wMinor));
    return buffer;
}

std::string LibKey(const STypeLibDesc& lib) {
    return "TypeLib\\" + FormatGuid(lib.m_libid);
}

std::string InterfaceKey(const GUID& iid) {
    return "Interface\\" + FormatGuid(iid);
}

// Whether Interface\{iid} is missing or names this library (and, with bSameVersion, this
// version of it).
bool InterfaceKeyIsOurs(const STypeLibDesc& lib, const GUID& iid, bool bSameVersion,
                        bool& bExists) {
    CRegKey key;
    bExists = key.Open(ERegHive::ClassesRoot, InterfaceKey(iid)) == REG_STATUS_OK;
    if (!bExists)
        return true;
    CRegKey typeLib;
    std::string text;
    if (typeLib.Open(ERegHive::ClassesRoot, InterfaceKey(iid) + "\\TypeLib") != REG_STATUS_OK ||
        typeLib.QueryString("", text) != REG_STATUS_OK)
        return false;
    const std::optional<GUID> libid = ParseGuid(text);
    if (!libid || *libid != lib.m_libid)
        return false;
    std::string version;
    return !bSameVersion || typeLib.QueryString("Version", version) != REG_STATUS_OK ||
           version == VersionText(lib);
}

bool SetDefault(const std::string& path, std::string_view name, std::string_view text) {
    CRegKey key;
    return key.Create(ERegHive::ClassesRoot, path) == REG_STATUS_OK &&
           key.SetString(name, text) == REG_STATUS_OK;
}

} // namespace

HRESULT DispGetIDsOfNames(const SInterfaceDesc& desc, OLECHAR** rgszNames, UINT cNames,
                          DISPID* rgDispId) {
    if (cNames == 0)
        return S_OK;
    if (!rgszNames || !rgDispId)
        return E_POINTER;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    const std::u16string_view member =
        rgszNames[0] ? std::u16string_view(rgszNames[0]) : std::u16string_view();
    const SMethodDesc* pFound = nullptr;
    for (const SMethodDesc& method : desc.m_methods)
        if (SameName(member, method.m_strName)) {
            pFound = &method;
            break;
        }
    if (!pFound)
        return DISP_E_UNKNOWNNAME;
    rgDispId[0] = pFound->m_dispid;
    bool bAllFound = true;
    for (UINT i = 1; i < cNames; ++i) {
        const std::u16string_view name =
            rgszNames[i] ? std::u16string_view(rgszNames[i]) : std::u16string_view();
        for (std::size_t p = 0; p < pFound->m_params.size(); ++p)
            if (SameName(name, pFound->m_params[p].m_strName))
                rgDispId[i] = static_cast<DISPID>(p);
        if (rgDispId[i] == DISPID_UNKNOWN)
            bAllFound = false;
    }
    return bAllFound ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT DispInvoke(const SInterfaceDesc& desc, void* pInterface, DISPID dispid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) {
    if (!pInterface)
        return E_POINTER;
    bool bNameKnown = false;
    const SMethodDesc* pMethod = FindMethod(desc, dispid, wFlags, bNameKnown);
    if (!pMethod)
        return DISP_E_MEMBERNOTFOUND;
    static DISPPARAMS s_noArgs{nullptr, nullptr, 0, 0};
    const DISPPARAMS& params = pDispParams ? *pDispParams : s_noArgs;
    if (params.cArgs > 0 && !params.rgvarg)
        return E_INVALIDARG;
    if (params.cNamedArgs > 0) {
        // Only the value of a property put may be named (DISPID_PROPERTYPUT).
        const bool bPutValue = pMethod->m_wInvokeKind == DISPATCH_PROPERTYPUT &&
                               params.cNamedArgs == 1 && params.rgdispidNamedArgs &&
                               params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (!bPutValue)
            return DISP_E_NONAMEDARGS;
    }
    UINT nExpected = 0;
    for (const SParamDesc& param : pMethod->m_params)
        if (!(param.m_wFlags & PARAMFLAG_FRETVAL))
            ++nExpected;
    if (params.cArgs != nExpected)
        return DISP_E_BADPARAMCOUNT;

    const std::size_t nParams = pMethod->m_params.size();
    std::vector<CVariant> storage(nParams);
    std::vector<VARIANT> callArgs(nParams);
    std::vector<const VARIANT*> callerArgs(nParams, nullptr); // null for the result
    UINT nNext = 0;
    for (std::size_t i = 0; i < nParams; ++i) {
        const SParamDesc& param = pMethod->m_params[i];
        const VARTYPE vtBase = static_cast<VARTYPE>(param.m_vt & ~VT_BYREF);
        const bool bOut = (param.m_vt & VT_BYREF) != 0;
        VariantInit(&callArgs[i]);
        const VARIANT* pArg = nullptr;
        UINT nArgIndex = 0;
        if (!(param.m_wFlags & PARAMFLAG_FRETVAL)) {
            // rgvarg holds the arguments last first.
            nArgIndex = params.cArgs - 1 - nNext++;
            pArg = &params.rgvarg[nArgIndex];
            callerArgs[i] = pArg;
        }
        if (!bOut) {
            const HRESULT hr = ConvertIn(*pArg, param.m_vt, storage[i]);
            if (FAILED(hr)) {
                if (puArgErr)
                    *puArgErr = nArgIndex;
                return hr;
            }
            callArgs[i] = storage[i]; // a view: storage keeps ownership
            continue;
        }
        if (pArg && !CanReceive(*pArg, vtBase)) {
            if (puArgErr)
                *puArgErr = nArgIndex;
            return DISP_E_TYPEMISMATCH;
        }
        if (pArg && (param.m_wFlags & PARAMFLAG_FIN) && vtBase != VT_VARIANT) {
            const HRESULT hr = ConvertIn(*pArg, vtBase, storage[i]);
            if (FAILED(hr)) {
                if (puArgErr)
                    *puArgErr = nArgIndex;
                return hr;
            }
        } else if (pArg && (param.m_wFlags & PARAMFLAG_FIN)) {
            const HRESULT hr = VariantCopy(&storage[i], pArg->pvarVal);
            if (FAILED(hr))
                return hr;
        } else if (vtBase != VT_VARIANT) {
            storage[i].vt = vtBase; // an empty value of the type: zero, null string, null pointer
        }
        callArgs[i].vt = param.m_vt;
        if (vtBase == VT_VARIANT)
            callArgs[i].pvarVal = &storage[i];
        else
            callArgs[i].byref = &storage[i].llVal; // the union's address
    }

    const HRESULT hr = pMethod->m_pfnThunk(pInterface, callArgs.data());
    if (FAILED(hr)) {
        FillException(pExcepInfo, hr);
        return DISP_E_EXCEPTION;
    }
    for (std::size_t i = 0; i < nParams; ++i) {
        const SParamDesc& param = pMethod->m_params[i];
        if (!(param.m_vt & VT_BYREF))
            continue;
        if (param.m_wFlags & PARAMFLAG_FRETVAL) {
            if (pVarResult) {
                VariantClear(pVarResult);
                *pVarResult = storage[i];
                VariantInit(&storage[i]);
            }
            continue;
        }
        StoreOut(*callerArgs[i], storage[i], (param.m_wFlags & PARAMFLAG_FIN) != 0);
    }
    return hr;
}

HRESULT CreateTypeInfo(const SInterfaceDesc& desc, IUnknown* pOwner, ITypeInfo** ppTInfo) {
    if (!ppTInfo)
        return E_POINTER;
    auto* pInfo = new CTypeInfo(desc, pOwner);
    pInfo->AddRef();
    *ppTInfo = pInfo;
    return S_OK;
}

HRESULT RegisterTypeLib(const STypeLibDesc& lib, const std::string& modulePath) {
    const std::string versionKey = LibKey(lib) + "\\" + VersionText(lib);
    const std::size_t slash = modulePath.rfind('/');
    const std::string helpDir = slash == std::string::npos ? std::string()
                                : slash == 0               ? std::string("/")
                                                           : modulePath.substr(0, slash);
    bool bOk = SetDefault(versionKey, "", lib.m_strHelp) &&
               SetDefault(versionKey + "\\FLAGS", "", "0") &&
               SetDefault(versionKey + "\\HELPDIR", "", helpDir) &&
               SetDefault(versionKey + "\\0\\" + kTypeLibPlatform, "", modulePath);
    for (const SInterfaceDesc& desc : lib.m_interfaces) {
        bool bExists = false;
        if (!bOk || !InterfaceKeyIsOurs(lib, desc.m_iid, false, bExists))
            continue; // another library's description of the interface stays
        const std::string key = InterfaceKey(desc.m_iid);
        bOk = SetDefault(key, "", desc.m_strName) &&
              SetDefault(key + "\\TypeLib", "", FormatGuid(lib.m_libid)) &&
              SetDefault(key + "\\TypeLib", "Version", VersionText(lib));
    }
    return bOk ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(const STypeLibDesc& lib) {
    bool bOk = true;
    for (const SInterfaceDesc& desc : lib.m_interfaces) {
        bool bExists = false;
        if (InterfaceKeyIsOurs(lib, desc.m_iid, true, bExists) && bExists)
            bOk = RegDeleteTree(ERegHive::ClassesRoot, InterfaceKey(desc.m_iid)) == REG_STATUS_OK &&
                  bOk;
    }
    const std::string libKey = LibKey(lib);
    const ERegStatus removed =
        RegDeleteTree(ERegHive::ClassesRoot, libKey + "\\" + VersionText(lib));
    bOk = bOk && (removed == REG_STATUS_OK || removed == REG_STATUS_NOT_FOUND);
    CRegKey key;
    if (key.Open(ERegHive::ClassesRoot, libKey) == REG_STATUS_OK && key.SubKeyNames().empty() &&
        key.ValueNames().empty())
        bOk = RegDeleteKey(ERegHive::ClassesRoot, libKey) == REG_STATUS_OK && bOk;
    return bOk ? S_OK : TYPE_E_REGISTRYACCESS;
}
