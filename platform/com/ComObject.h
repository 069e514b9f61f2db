// Reference counting and interface discovery for objects that offer interfaces:
//
//   class CThing final : public CComObject<CThing, IThing, IOther> { ... };
//
// QueryInterface answers every listed interface and each of their bases (an interface
// names its base as `using Base = ...;`), and IUnknown with the first listed interface,
// so that the identity of the object never changes. A new object starts with no
// reference; the first CComPtr takes it. IDispatch is answered with E_NOTIMPL for
// objects that do not override its members.
#pragma once

#include "platform/com/Unknown.h"

#include <atomic>
#include <type_traits>

namespace com_detail {

template <class I, class = void> struct HasBase : std::false_type {};
template <class I> struct HasBase<I, std::void_t<typename I::Base>> : std::true_type {};

template <class I> constexpr bool Offers(const GUID& iid) {
    if (iid == I::Iid())
        return true;
    if constexpr (HasBase<I>::value)
        return Offers<typename I::Base>(iid);
    else
        return false;
}

} // namespace com_detail

template <class Derived, class First, class... Rest> class CComObject : public First, public Rest... {
public:
    CComObject() = default;
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    HRESULT QueryInterface(const GUID& iid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown)
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            Find<First, Rest...>(iid, ppv);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete static_cast<Derived*>(this);
        return n;
    }

    // Late binding is not offered unless the object overrides these.
    HRESULT GetTypeInfoCount(UINT* pctinfo) {
        if (pctinfo)
            *pctinfo = 0;
        return E_NOTIMPL;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(const GUID&, OLECHAR**, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, const GUID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
        return E_NOTIMPL;
    }

protected:
    ~CComObject() = default;

private:
    template <class I, class... More> void Find(const GUID& iid, void** ppv) {
        if (com_detail::Offers<I>(iid)) {
            *ppv = static_cast<I*>(this);
            return;
        }
        if constexpr (sizeof...(More) > 0)
            Find<More...>(iid, ppv);
    }

    std::atomic<ULONG> m_nRefs{0};
};
