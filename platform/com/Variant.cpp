#include "platform/com/Variant.h"

#include <cstring>
#include <limits>
#include <new>

void VariantInit(VARIANT* pvar) {
    if (pvar) {
        std::memset(static_cast<void*>(pvar), 0, sizeof *pvar);
        pvar->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANT* pvar) {
    if (!pvar)
        return E_POINTER;
    if (pvar->vt & VT_ARRAY) {
        SafeArrayDestroy(pvar->parray);
    } else {
        switch (pvar->vt) {
        case VT_BSTR:
            SysFreeString(pvar->bstrVal);
            break;
        case VT_UNKNOWN:
            if (pvar->punkVal)
                pvar->punkVal->Release();
            break;
        case VT_DISPATCH:
            if (pvar->pdispVal)
                pvar->pdispVal->Release();
            break;
        default:
            break;
        }
    }
    VariantInit(pvar);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* pvarDest, const VARIANT* pvarSrc) {
    if (!pvarDest || !pvarSrc)
        return E_POINTER;
    if (pvarDest == pvarSrc)
        return S_OK;
    VARIANT copy = *pvarSrc;
    if (pvarSrc->vt & VT_ARRAY) {
        const HRESULT hr = SafeArrayCopy(pvarSrc->parray, &copy.parray);
        if (FAILED(hr))
            return hr;
    } else if (pvarSrc->vt == VT_BSTR && pvarSrc->bstrVal) {
        copy.bstrVal = SysAllocStringLen(pvarSrc->bstrVal, SysStringLen(pvarSrc->bstrVal));
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    } else if (pvarSrc->vt == VT_UNKNOWN && pvarSrc->punkVal) {
        pvarSrc->punkVal->AddRef();
    } else if (pvarSrc->vt == VT_DISPATCH && pvarSrc->pdispVal) {
        pvarSrc->pdispVal->AddRef();
    }
    VariantClear(pvarDest);
    *pvarDest = copy;
    return S_OK;
}

namespace {

std::size_t ElementCount(const SAFEARRAY* psa) {
    std::size_t n = 1;
    for (UINT d = 0; d < psa->cDims; ++d)
        n *= psa->rgsabound[d].cElements;
    return n;
}

// Offset of an element, the first dimension varying fastest; -1 when out of bounds.
long long Offset(const SAFEARRAY* psa, const LONG* rgIndices) {
    long long offset = 0;
    long long stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& b = psa->rgsabound[d];
        const long long i = static_cast<long long>(rgIndices[d]) - b.lLbound;
        if (i < 0 || i >= static_cast<long long>(b.cElements))
            return -1;
        offset += i * stride;
        stride *= b.cElements;
    }
    return offset;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
    if (vt != VT_VARIANT || cDims < 1 || cDims > 2 || !rgsabound)
        return nullptr;
    std::size_t n = 1;
    for (UINT d = 0; d < cDims; ++d) {
        n *= rgsabound[d].cElements;
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(VARIANT) / 4)
            return nullptr;
    }
    auto* psa = new (std::nothrow) SAFEARRAY{};
    if (!psa)
        return nullptr;
    psa->cDims = static_cast<WORD>(cDims);
    psa->vt = vt;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[d] = rgsabound[d];
    psa->pvData = new (std::nothrow) VARIANT[n == 0 ? 1 : n];
    if (!psa->pvData) {
        delete psa;
        return nullptr;
    }
    for (std::size_t i = 0; i < n; ++i)
        VariantInit(&psa->pvData[i]);
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    const std::size_t n = ElementCount(psa);
    for (std::size_t i = 0; i < n; ++i)
        VariantClear(&psa->pvData[i]);
    delete[] psa->pvData;
    delete psa;
    return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_POINTER;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    SAFEARRAY* pCopy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound);
    if (!pCopy)
        return E_OUTOFMEMORY;
    const std::size_t n = ElementCount(psa);
    for (std::size_t i = 0; i < n; ++i) {
        const HRESULT hr = VariantCopy(&pCopy->pvData[i], &psa->pvData[i]);
        if (FAILED(hr)) {
            SafeArrayDestroy(pCopy);
            return hr;
        }
    }
    *ppsaOut = pCopy;
    return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound = static_cast<LONG>(b.lLbound + static_cast<long long>(b.cElements) - 1);
    return S_OK;
}

VARIANT* SafeArrayElement(SAFEARRAY* psa, const LONG* rgIndices) {
    if (!psa || !rgIndices)
        return nullptr;
    const long long offset = Offset(psa, rgIndices);
    return offset < 0 ? nullptr : &psa->pvData[offset];
}

const VARIANT* SafeArrayElement(const SAFEARRAY* psa, const LONG* rgIndices) {
    return SafeArrayElement(const_cast<SAFEARRAY*>(psa), rgIndices);
}

HRESULT SafeArrayGetElement(const SAFEARRAY* psa, const LONG* rgIndices, VARIANT* pv) {
    if (!pv)
        return E_INVALIDARG;
    const VARIANT* pElement = SafeArrayElement(psa, rgIndices);
    if (!pElement)
        return DISP_E_BADINDEX;
    VariantInit(pv);
    return VariantCopy(pv, pElement);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const VARIANT* pv) {
    if (!pv)
        return E_INVALIDARG;
    VARIANT* pElement = SafeArrayElement(psa, rgIndices);
    if (!pElement)
        return DISP_E_BADINDEX;
    return VariantCopy(pElement, pv);
}

CVariant::CVariant(std::u16string_view text) : CVariant() {
    vt = VT_BSTR;
    bstrVal = CBstr(text).Detach();
}

CVariant::CVariant(const CVariant& other) : CVariant() {
    if (FAILED(VariantCopy(this, &other)))
        throw std::bad_alloc();
}

CVariant& CVariant::operator=(const CVariant& other) {
    if (this != &other) {
        CVariant copy(other);
        Swap(copy);
    }
    return *this;
}

void CVariant::Swap(CVariant& other) noexcept {
    VARIANT tmp = *this;
    static_cast<VARIANT&>(*this) = other;
    static_cast<VARIANT&>(other) = tmp;
}
