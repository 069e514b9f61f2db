// The host datebook's interfaces: the application, its current user, the user's datebook,
// lists of appointments and the appointments themselves, and the add-in command services.
// Any object offering these operations serves as the host.
//
// Slots count from 0; 0 to 6 are IUnknown and IDispatch. The vtable order below is the
// binary contract; slots the host uses for operations this program never calls are
// reserved placeholders that answer E_NOTIMPL. Calls return an HRESULT and leave a
// description in the thread's error information when they fail. Times are time values:
// signed 32-bit seconds since 1970-01-01 00:00 UTC. Strings are BSTR (the callee
// allocates out strings, the caller frees them); flags are 32-bit.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"

#include <cstdint>

using HOSTTIME = std::int32_t;

// {5C42CA62-42E9-11D4-80F2-00C04FA03755}
inline constexpr GUID IID_IHostApplication{
    0x5C42CA62, 0x42E9, 0x11D4, {0x80, 0xF2, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {AC22F64D-46EF-11D4-80F7-00C04FA03755}
inline constexpr GUID IID_IHostUser{
    0xAC22F64D, 0x46EF, 0x11D4, {0x80, 0xF7, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {DBB9E436-4F89-11D4-8101-00C04FA03755}
inline constexpr GUID IID_IHostDatebook{
    0xDBB9E436, 0x4F89, 0x11D4, {0x81, 0x01, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {DDEC8F2E-4F89-11D4-8101-00C04FA03755}
inline constexpr GUID IID_IHostAppointmentList{
    0xDDEC8F2E, 0x4F89, 0x11D4, {0x81, 0x01, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {DD991CE0-4F89-11D4-8101-00C04FA03755}
inline constexpr GUID IID_IHostAppointment{
    0xDD991CE0, 0x4F89, 0x11D4, {0x81, 0x01, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};
// {81BAE1BD-D7E7-4F31-AF9E-90B3FF65A524}
inline constexpr GUID IID_IHostAppointment2{
    0x81BAE1BD, 0xD7E7, 0x4F31, {0xAF, 0x9E, 0x90, 0xB3, 0xFF, 0x65, 0xA5, 0x24}};
// {5BFDA630-42E9-11D4-80F2-00C04FA03755}
inline constexpr GUID IID_IHostAddinCommands{
    0x5BFDA630, 0x42E9, 0x11D4, {0x80, 0xF2, 0x00, 0xC0, 0x4F, 0xA0, 0x37, 0x55}};

struct IHostUser;
struct IHostDatebook;
struct IHostAppointmentList;
struct IHostAppointment;
struct IHostAddinCommands;

#define VARNO_RESERVED_SLOT(n)                                                                     \
    virtual HRESULT Reserved##n() {                                                                \
        return E_NOTIMPL;                                                                          \
    }

struct IHostApplication : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostApplication; }
    using Base = IDispatch;

    [[nodiscard]] virtual HRESULT GetAddinCommands(IHostAddinCommands** ppCommands) = 0; // 7
    VARNO_RESERVED_SLOT(8)
    [[nodiscard]] virtual HRESULT GetCurrentUser(IHostUser** ppUser) = 0; // 9
    VARNO_RESERVED_SLOT(10)
    // The datebook object; ask it for IHostDatebook.
    [[nodiscard]] virtual HRESULT GetDatebook(IDispatch** ppDatebook) = 0; // 11

protected:
    ~IHostApplication() = default;
};

struct IHostAddinCommands : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAddinCommands; }
    using Base = IDispatch;

    // Registers a command object under the add-in's cookie; gives the command's id.
    [[nodiscard]] virtual HRESULT RegisterCommand(DWORD dwCookie, BSTR bstrName,
                                                  IDispatch* pCommand, LONG* plCommandId) = 0; // 7
    // Adds the command's menu entry: module instance, bitmap resource number, menu text and
    // a further value, all passed through to the host.
    [[nodiscard]] virtual HRESULT AddCommandMenuItem(LONG lCommandId, void* hModule, LONG lBitmap,
                                                     BSTR bstrMenuText,
                                                     LONG lValue) = 0; // 8

protected:
    ~IHostAddinCommands() = default;
};

struct IHostUser : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostUser; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    [[nodiscard]] virtual HRESULT GetName(BSTR* pbstrName) = 0; // 8

protected:
    ~IHostUser() = default;
};

struct IHostDatebook : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostDatebook; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    VARNO_RESERVED_SLOT(8)
    VARNO_RESERVED_SLOT(9)
    VARNO_RESERVED_SLOT(10)
    // The current user's appointments with a day in [from, to], as a snapshot.
    [[nodiscard]] virtual HRESULT GetAppointments(HOSTTIME tFrom, HOSTTIME tTo,
                                                  IHostAppointmentList** ppList) = 0; // 11
    VARNO_RESERVED_SLOT(12)
    VARNO_RESERVED_SLOT(13)
    [[nodiscard]] virtual HRESULT AddAppointment(HOSTTIME tStart, HOSTTIME tEnd, BSTR bstrText,
                                                 IHostAppointment** ppAppointment) = 0; // 14
    VARNO_RESERVED_SLOT(15)
    VARNO_RESERVED_SLOT(16)
    [[nodiscard]] virtual HRESULT GetAppointmentById(LONG lRecordId,
                                                     IHostAppointment** ppAppointment) = 0; // 17

protected:
    ~IHostDatebook() = default;
};

struct IHostAppointmentList : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAppointmentList; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    VARNO_RESERVED_SLOT(8)
    [[nodiscard]] virtual HRESULT GetCount(LONG* plCount) = 0; // 9
    // Index from 0.
    [[nodiscard]] virtual HRESULT Item(LONG lIndex, IHostAppointment** ppAppointment) = 0; // 10

protected:
    ~IHostAppointmentList() = default;
};

struct IHostAppointment : IDispatch {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAppointment; }
    using Base = IDispatch;

    VARNO_RESERVED_SLOT(7)
    VARNO_RESERVED_SLOT(8)
    VARNO_RESERVED_SLOT(9)
    [[nodiscard]] virtual HRESULT GetStart(HOSTTIME* ptStart) = 0; // 10
    VARNO_RESERVED_SLOT(11)
    VARNO_RESERVED_SLOT(12)
    VARNO_RESERVED_SLOT(13)
    [[nodiscard]] virtual HRESULT GetEnd(HOSTTIME* ptEnd) = 0; // 14
    VARNO_RESERVED_SLOT(15)
    VARNO_RESERVED_SLOT(16)
    VARNO_RESERVED_SLOT(17)
    [[nodiscard]] virtual HRESULT GetUntimed(BOOL* pbUntimed) = 0;      // 18
    [[nodiscard]] virtual HRESULT SetUntimed(BOOL bUntimed) = 0;        // 19
    [[nodiscard]] virtual HRESULT GetText(BSTR* pbstrText) = 0;         // 20
    [[nodiscard]] virtual HRESULT SetText(BSTR bstrText) = 0;           // 21
    [[nodiscard]] virtual HRESULT GetNote(BSTR* pbstrNote) = 0;         // 22
    [[nodiscard]] virtual HRESULT SetNote(BSTR bstrNote) = 0;           // 23
    [[nodiscard]] virtual HRESULT GetRepeating(BOOL* pbRepeating) = 0;  // 24
    [[nodiscard]] virtual HRESULT GetExceptionCount(LONG* plCount) = 0; // 25
    [[nodiscard]] virtual HRESULT GetAlarm(BOOL* pbAlarm) = 0;          // 26
    [[nodiscard]] virtual HRESULT SetAlarm(BOOL bAlarm) = 0;            // 27
    // Removes the occurrence on that day (a time value at the day's 00:00).
    [[nodiscard]] virtual HRESULT AddException(HOSTTIME tDay) = 0; // 28
    VARNO_RESERVED_SLOT(29)
    VARNO_RESERVED_SLOT(30)
    VARNO_RESERVED_SLOT(31)
    // The first occurrence day in [from, to]: position at that day's 00:00 and found set;
    // found clear when there is none.
    [[nodiscard]] virtual HRESULT GetFirstOccurrence(HOSTTIME tFrom, HOSTTIME tTo,
                                                     HOSTTIME* ptPosition, BOOL* pbFound) = 0; // 32
    VARNO_RESERVED_SLOT(33)
    // Gives the occurrence at the position (found set) and moves the position on to the
    // next occurrence up to `to`, or marks the walk ended so that the following call
    // answers found clear.
    [[nodiscard]] virtual HRESULT GetNextOccurrence(HOSTTIME* ptPosition, HOSTTIME tTo,
                                                    HOSTTIME* ptOccurrence,
                                                    BOOL* pbFound) = 0; // 34
    VARNO_RESERVED_SLOT(35)
    // Units: 0 minutes, 1 hours, 2 days.
    [[nodiscard]] virtual HRESULT SetAlarmAdvance(LONG lUnit, LONG lAmount) = 0;     // 36
    [[nodiscard]] virtual HRESULT GetAlarmAdvance(LONG* plUnit, LONG* plAmount) = 0; // 37
    // Type 1 daily .. 5 yearly; end day 0 for none; extra: the weekday set (bit 0 Sunday)
    // for type 2, the week index 1..5 for type 3, else 0.
    [[nodiscard]] virtual HRESULT GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEndDay,
                                            LONG* plExtra) = 0; // 38
    VARNO_RESERVED_SLOT(39)
    [[nodiscard]] virtual HRESULT SetRepeat(LONG lType, LONG lInterval, HOSTTIME tEndDay,
                                            LONG lExtra) = 0; // 40
    VARNO_RESERVED_SLOT(41)
    [[nodiscard]] virtual HRESULT GetRepeatType(LONG* plType) = 0;      // 42
    [[nodiscard]] virtual HRESULT GetCategory(BSTR* pbstrCategory) = 0; // 43
    [[nodiscard]] virtual HRESULT SetCategory(BSTR bstrCategory) = 0;   // 44
    [[nodiscard]] virtual HRESULT GetRecordId(LONG* plRecordId) = 0;    // 45
    VARNO_RESERVED_SLOT(46)
    [[nodiscard]] virtual HRESULT GetPrivate(BOOL* pbPrivate) = 0; // 47
    [[nodiscard]] virtual HRESULT SetPrivate(BOOL bPrivate) = 0;   // 48
    // 1: archive at the next synchronisation; 0: remove.
    [[nodiscard]] virtual HRESULT Delete(LONG lArchive) = 0; // 49

protected:
    ~IHostAppointment() = default;
};

struct IHostAppointment2 : IHostAppointment {
    static constexpr const GUID& Iid() noexcept { return IID_IHostAppointment2; }
    using Base = IHostAppointment;

    [[nodiscard]] virtual HRESULT GetLocation(BSTR* pbstrLocation) = 0;            // 50
    [[nodiscard]] virtual HRESULT SetLocation(BSTR bstrLocation) = 0;              // 51
    [[nodiscard]] virtual HRESULT SetStartEnd(HOSTTIME tStart, HOSTTIME tEnd) = 0; // 52

protected:
    ~IHostAppointment2() = default;
};

#undef VARNO_RESERVED_SLOT
