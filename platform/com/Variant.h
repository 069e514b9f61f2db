// Self-describing values of late-bound calls, and the arrays they carry.
#pragma once

#include "platform/com/Bstr.h"

using VARTYPE = WORD;
using VARIANT_BOOL = std::int16_t;
// Days since 30 December 1899 00:00; the fraction is the time of day.
using DATE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;

struct SAFEARRAY;

struct VARIANT {
    VARTYPE vt;
    union {
        LONG lVal;            // VT_I4
        ULONG ulVal;          // VT_UI4
        std::int64_t llVal;   // VT_I8
        std::int16_t iVal;    // VT_I2
        double dblVal;        // VT_R8
        DATE date;            // VT_DATE
        BSTR bstrVal;         // VT_BSTR, owned
        IUnknown* punkVal;    // VT_UNKNOWN, one reference owned
        IDispatch* pdispVal;  // VT_DISPATCH, one reference owned
        VARIANT_BOOL boolVal; // VT_BOOL
        HRESULT scode;        // VT_ERROR
        SAFEARRAY* parray;    // VT_ARRAY | element type, owned
        VARIANT* pvarVal;     // VT_BYREF | VT_VARIANT, not owned
        // VT_BYREF | the type: the caller's storage, not owned
        LONG* plVal;
        ULONG* pulVal;
        std::int64_t* pllVal;
        double* pdblVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT_BOOL* pboolVal;
        void* byref;
    };
};

void VariantInit(VARIANT* pvar);
// Frees what the value owns and leaves it empty.
HRESULT VariantClear(VARIANT* pvar);
// Deep copy: strings and arrays are duplicated, interfaces get a new reference.
[[nodiscard]] HRESULT VariantCopy(VARIANT* pvarDest, const VARIANT* pvarSrc);

// Array bounds of one dimension.
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// A dense array of VARIANT elements with one or two dimensions; index 0 is the first
// dimension (rows of a two-dimensional range), stored with the first index varying
// fastest.
struct SAFEARRAY {
    WORD cDims;
    VARTYPE vt; // element type; only VT_VARIANT is supported
    SAFEARRAYBOUND rgsabound[2];
    VARIANT* pvData;
};

[[nodiscard]] SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
[[nodiscard]] HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut);
[[nodiscard]] UINT SafeArrayGetDim(const SAFEARRAY* psa);
// nDim counts from 1.
[[nodiscard]] HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound);
[[nodiscard]] HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound);
// rgIndices holds one index per dimension, in dimension order. Get copies the element
// out (VariantCopy); Put copies the value in.
[[nodiscard]] HRESULT SafeArrayGetElement(const SAFEARRAY* psa, const LONG* rgIndices, VARIANT* pv);
[[nodiscard]] HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const VARIANT* pv);
// The element itself, not a copy; null when an index is out of bounds.
[[nodiscard]] VARIANT* SafeArrayElement(SAFEARRAY* psa, const LONG* rgIndices);
[[nodiscard]] const VARIANT* SafeArrayElement(const SAFEARRAY* psa, const LONG* rgIndices);

// Owns one value; clears it on destruction.
class CVariant : public VARIANT {
public:
    CVariant() { VariantInit(this); }
    explicit CVariant(LONG n) : CVariant() {
        vt = VT_I4;
        lVal = n;
    }
    explicit CVariant(double d) : CVariant() {
        vt = VT_R8;
        dblVal = d;
    }
    explicit CVariant(std::u16string_view text);
    CVariant(const CVariant& other);
    CVariant& operator=(const CVariant& other);
    CVariant(CVariant&& other) noexcept : CVariant() { Swap(other); }
    CVariant& operator=(CVariant&& other) noexcept {
        Swap(other);
        return *this;
    }
    ~CVariant() { VariantClear(this); }

    static CVariant Date(DATE d) {
        CVariant v;
        v.vt = VT_DATE;
        v.date = d;
        return v;
    }
    void Swap(CVariant& other) noexcept;
    void Clear() { VariantClear(this); }
};
