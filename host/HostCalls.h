// One-line host calls: each asks one value of a host object and raises the host-call
// exception (CComError) when the call fails. Strings arrive as narrow text in the system
// code page; a null string reads as empty.
#pragma once

#include "host/HostInterfaces.h"
#include "platform/com/ComPtr.h"

#include <string>

[[nodiscard]] std::string HostText(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(BSTR*));
[[nodiscard]] bool HostFlag(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(BOOL*));
[[nodiscard]] HOSTTIME HostTime(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(HOSTTIME*));
[[nodiscard]] LONG HostLong(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(LONG*));

// The appointment's second interface; empty when it answers E_NOINTERFACE. Any other
// failure raises.
[[nodiscard]] CComPtr<IHostAppointment2> QueryAppointment2(IHostAppointment* p);
// The category as the loader reads it: a failing call gives an empty category, never an
// error.
[[nodiscard]] std::string GuardedCategory(IHostAppointment* p);
// Location and category, both empty when the appointment has no second interface.
void ReadLocationAndCategory(IHostAppointment* p, std::string& strLocation,
                             std::string& strCategory);

// The list's length and its item at an index (a null item is passed on as empty).
[[nodiscard]] LONG ListCount(IHostAppointmentList* pList);
[[nodiscard]] CComPtr<IHostAppointment> ListItem(IHostAppointmentList* pList, LONG nIndex);
