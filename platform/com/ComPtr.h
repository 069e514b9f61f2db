// A counted reference to an interface: AddRef when a reference is taken, Release when
// it is dropped.
#pragma once

#include "platform/com/Unknown.h"

#include <utility>

template <class T> class CComPtr {
public:
    CComPtr() = default;
    CComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit CComPtr(T* p) : m_p(p) {
        if (m_p)
            m_p->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComPtr& operator=(const CComPtr& other) {
        CComPtr(other).Swap(*this);
        return *this;
    }
    CComPtr& operator=(CComPtr&& other) noexcept {
        CComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    CComPtr& operator=(std::nullptr_t) {
        Release();
        return *this;
    }
    ~CComPtr() { Release(); }

    // Adopts a reference that the caller already owns (an out parameter's result).
    static CComPtr Attach(T* p) {
        CComPtr result;
        result.m_p = p;
        return result;
    }
    [[nodiscard]] T* Detach() noexcept { return std::exchange(m_p, nullptr); }

    void Release() {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    [[nodiscard]] T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Drops the current reference and gives the address for an out parameter.
    [[nodiscard]] T** Put() {
        Release();
        return &m_p;
    }

    // Asks the object for another interface; the result is empty on failure.
    template <class Q> [[nodiscard]] HRESULT QueryInterface(CComPtr<Q>& out) const {
        if (!m_p) {
            out.Release();
            return E_POINTER;
        }
        return m_p->QueryInterface(Q::Iid(), reinterpret_cast<void**>(out.Put()));
    }

private:
    T* m_p = nullptr;
};

template <class T, class U> bool operator==(const CComPtr<T>& a, const CComPtr<U>& b) {
    return a.Get() == b.Get();
}
