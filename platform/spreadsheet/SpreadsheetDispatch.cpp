#include "platform/spreadsheet/SpreadsheetDispatch.h"

#include "platform/com/ErrorInfo.h"
#include "platform/com/VariantConvert.h"
#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr WORD kDispatchPropertyPutRef = 8;

std::u16string_view NameOf(const OLECHAR* psz) {
    return psz ? std::u16string_view(psz) : std::u16string_view();
}

void FillException(EXCEPINFO* pExcepInfo, std::u16string_view description) {
    if (pExcepInfo) {
        std::memset(static_cast<void*>(pExcepInfo), 0, sizeof *pExcepInfo);
        pExcepInfo->bstrSource = CBstr(kSpreadsheetSource).Detach();
        pExcepInfo->bstrDescription = CBstr(description).Detach();
        pExcepInfo->scode = E_FAIL;
    }
    CErrorInfo info;
    info.m_iid = IID_IDispatch;
    info.m_strSource = std::u16string(kSpreadsheetSource);
    info.m_strDescription = std::u16string(description);
    SetErrorInfo(std::move(info));
}

} // namespace

bool SameName(std::u16string_view a, std::u16string_view b) {
    const auto fold = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

const VARIANT& Dereference(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal)
        return *value.pvarVal;
    return value;
}

CInvokeArgs::CInvokeArgs(const DISPPARAMS* pParams, bool bPut) {
    if (!pParams || pParams->cArgs == 0) {
        if (bPut)
            throw CCallError(DISP_E_PARAMNOTOPTIONAL);
        return;
    }
    if (!pParams->rgvarg)
        throw CCallError(E_INVALIDARG);
    UINT nNamed = pParams->cNamedArgs;
    if (nNamed > pParams->cArgs)
        throw CCallError(E_INVALIDARG);
    if (bPut) {
        // The value is rgvarg[0], named DISPID_PROPERTYPUT; callers that leave the name
        // out are taken at their word too.
        if (nNamed > 1 || (nNamed == 1 && (!pParams->rgdispidNamedArgs ||
                                           pParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
            throw CCallError(DISP_E_PARAMNOTFOUND);
        m_pPutValue = &Dereference(pParams->rgvarg[0]);
        nNamed = 1;
    } else if (nNamed != 0) {
        throw CCallError(DISP_E_NONAMEDARGS);
    }
    // Positional arguments follow the named ones, last argument first.
    for (UINT i = pParams->cArgs; i > nNamed; --i)
        m_vecArgs.push_back(&Dereference(pParams->rgvarg[i - 1]));
}

void CInvokeArgs::Expect(std::size_t nMin, std::size_t nMax) const {
    if (Count() < nMin || Count() > nMax)
        throw CCallError(DISP_E_BADPARAMCOUNT);
}

bool CInvokeArgs::IsMissing(std::size_t i) const {
    if (i >= Count())
        return true;
    const VARIANT& v = At(i);
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

LONG CInvokeArgs::Long(std::size_t i) const {
    CVariant converted;
    const HRESULT hr = VariantChangeType(&converted, &At(i), 0, VT_I4);
    if (FAILED(hr) || At(i).vt == VT_EMPTY)
        throw CCallError(FAILED(hr) ? hr : DISP_E_TYPEMISMATCH, static_cast<int>(i));
    return converted.lVal;
}

double CInvokeArgs::Double(std::size_t i) const {
    CVariant converted;
    const HRESULT hr = VariantChangeType(&converted, &At(i), 0, VT_R8);
    if (FAILED(hr))
        throw CCallError(hr, static_cast<int>(i));
    return converted.dblVal;
}

std::u16string_view CInvokeArgs::String(std::size_t i) const {
    const VARIANT& v = At(i);
    if (v.vt != VT_BSTR)
        throw CCallError(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    return BstrView(v.bstrVal);
}

double CInvokeArgs::PutDouble() const {
    CVariant converted;
    const HRESULT hr = VariantChangeType(&converted, m_pPutValue, 0, VT_R8);
    if (FAILED(hr) || m_pPutValue->vt == VT_EMPTY)
        throw CCallError(FAILED(hr) ? hr : DISP_E_TYPEMISMATCH);
    return converted.dblVal;
}

HRESULT LookUpNames(std::span<const SMember> members, OLECHAR** rgszNames, UINT cNames,
                    DISPID* rgDispId) {
    if (!rgszNames || !rgDispId || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    const std::u16string_view name = NameOf(rgszNames[0]);
    if (name.empty())
        return DISP_E_UNKNOWNNAME;
    for (const SMember& member : members) {
        if (!member.m_strName.empty() && SameName(member.m_strName, name)) {
            rgDispId[0] = member.m_dispid;
            return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT InvokeMember(std::span<const SMember> members, DISPID dispid, WORD wFlags,
                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                     UINT* puArgErr, const FMemberCall& call) {
    const SMember* pMember = nullptr;
    for (const SMember& member : members)
        if (member.m_dispid == dispid) {
            pMember = &member;
            break;
        }
    if (!pMember)
        return DISP_E_MEMBERNOTFOUND;

    const bool bPut = (wFlags & (DISPATCH_PROPERTYPUT | kDispatchPropertyPutRef)) != 0;
    if (bPut) {
        if (pMember->m_kind != EMemberKind::GetPut)
            return DISP_E_MEMBERNOTFOUND;
    } else if (pMember->m_kind == EMemberKind::Method) {
        if (!(wFlags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
    } else if (!(wFlags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) {
        return DISP_E_MEMBERNOTFOUND;
    }

    const UINT nArgs = pDispParams ? pDispParams->cArgs : 0;
    const UINT nNamed = pDispParams ? pDispParams->cNamedArgs : 0;
    try {
        const CInvokeArgs args(pDispParams, bPut);
        CVariant result = call(*pMember, bPut, args);
        if (pVarResult && !bPut) {
            VariantInit(pVarResult);
            *pVarResult = result;
            VariantInit(&result); // ownership moved to the caller
        }
        return S_OK;
    } catch (const CCallError& e) {
        // The caller's argument i is rgvarg[cArgs - 1 - i].
        if (puArgErr && e.Argument() >= 0) {
            const UINT nIndex = static_cast<UINT>(e.Argument());
            if (nIndex < nArgs - nNamed)
                *puArgErr = nArgs - 1 - nIndex;
        }
        return e.Status();
    } catch (const CAutomationException& e) {
        FillException(pExcepInfo, e.Description());
    } catch (const CXlsError& e) {
        FillException(pExcepInfo, ToUtf16(e.what()));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        FillException(pExcepInfo, ToUtf16(e.what()));
    }
    return DISP_E_EXCEPTION;
}
