// The add-in contract between the host datebook and the add-ins it loads: the add-in and
// command interfaces an add-in implements, and the host's add-in manager, which keeps the
// list of add-ins the host creates at start-up.
//
// Slots count from 0; 0 to 6 are IUnknown and IDispatch. Slots the contract does not use are
// reserved placeholders that answer E_NOTIMPL.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"

#include <cstdint>

// {5B5B8648-42E9-11D4-80F2-00C04FA03755}
inline constexpr GUID IID_IDesktopAddin{
    0x5B5B8648, 0x42E9, 0x11D4, {0x80, 0xF2, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {5BC6D01A-42E9-11D4-80F2-00C04FA03755}
inline constexpr GUID IID_IDesktopCommand{
    0x5BC6D01A, 0x42E9, 0x11D4, {0x80, 0xF2, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// The host's add-in manager class.
// {BE44897A-EB38-11D5-823F-00C04FA03755}
inline constexpr GUID CLSID_HostAddinManager{
    0xBE44897A, 0xEB38, 0x11D5, {0x82, 0x3F, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {BE448979-EB38-11D5-823F-00C04FA03755}
inline constexpr GUID IID_IHostAddinManager{
    0xBE448979, 0xEB38, 0x11D5, {0x82, 0x3F, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {5DBF9006-EE9F-11D5-8241-00C04FA03755}
inline constexpr GUID IID_IHostAddinEntry{
    0x5DBF9006, 0xEE9F, 0x11D5, {0x82, 0x41, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};

// A window handle as the host passes it: an opaque 64-bit value that add-ins only hand on.
using HWND = std::int64_t;

#define VARNO_RESERVED_SLOT(n)                                                                     \
    virtual HRESULT Reserved##n() {                                                                \
        return E_NOTIMPL;                                                                          \
    }

struct IDesktopAddin : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IDesktopAddin; }
    using Base = IDispatch;

    // pUnk: the host object; *pbSuccess tells the host whether the add-in is usable.
    [[nodiscard]] virtual HRESULT OnInitialize(IUnknown* pUnk, ULONG dwCookie,
                                               ULONG dwDesktopVersion, LONG lParam,
                                               BOOL* pbSuccess) = 0;        // 7
    [[nodiscard]] virtual HRESULT OnUninitialize() = 0;                     // 8
    [[nodiscard]] virtual HRESULT GetFrameworkVersion(LONG* plVersion) = 0; // 9
    [[nodiscard]] virtual HRESULT ShowAboutBox(HWND hWndParent) = 0;        // 10
    [[nodiscard]] virtual HRESULT ShowProperties(HWND hWndParent) = 0;      // 11

protected:
    ~IDesktopAddin() = default;
};

struct IDesktopCommand : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IDesktopCommand; }
    using Base = IDispatch;

    [[nodiscard]] virtual HRESULT OnCommand() = 0; // 7

protected:
    ~IDesktopCommand() = default;
};

// One add-in's registration with the host.
struct IHostAddinEntry : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAddinEntry; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    VARNO_RESERVED_SLOT(8)
    VARNO_RESERVED_SLOT(9)
    VARNO_RESERVED_SLOT(10)
    VARNO_RESERVED_SLOT(11)
    VARNO_RESERVED_SLOT(12)
    VARNO_RESERVED_SLOT(13)
    VARNO_RESERVED_SLOT(14)
    VARNO_RESERVED_SLOT(15)
    VARNO_RESERVED_SLOT(16)
    // Removes this registration.
    [[nodiscard]] virtual HRESULT RemoveAddin() = 0; // 17

protected:
    ~IHostAddinEntry() = default;
};

struct IHostAddinManager : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAddinManager; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    VARNO_RESERVED_SLOT(8)
    VARNO_RESERVED_SLOT(9)
    VARNO_RESERVED_SLOT(10)
    VARNO_RESERVED_SLOT(11)
    VARNO_RESERVED_SLOT(12)
    VARNO_RESERVED_SLOT(13)
    VARNO_RESERVED_SLOT(14)
    VARNO_RESERVED_SLOT(15)
    VARNO_RESERVED_SLOT(16)
    // bstrClsid: the add-in class in registry form; a new registration, even when one of the
    // same class exists.
    [[nodiscard]] virtual HRESULT AddAddin(BSTR bstrClsid, BSTR bstrName,
                                           IHostAddinEntry** ppEntry) = 0; // 17
    VARNO_RESERVED_SLOT(18)
    // The first registration of the class; *ppEntry null (and S_OK) when there is none.
    [[nodiscard]] virtual HRESULT FindAddin(BSTR bstrClsid, IHostAddinEntry** ppEntry) = 0; // 19

protected:
    ~IHostAddinManager() = default;
};

#undef VARNO_RESERVED_SLOT
