#include "host/HostCalls.h"

#include "platform/com/ComError.h"
#include "platform/com/ErrorInfo.h"
#include "platform/locale/CodePage.h"

std::string HostText(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(BSTR*)) {
    CBstr bstr;
    ThrowIfFailed((p->*pfn)(bstr.Put()), IID_IHostAppointment);
    return bstr.Get() ? FromUtf16(bstr.View()) : std::string();
}

bool HostFlag(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(BOOL*)) {
    BOOL b = FALSE;
    ThrowIfFailed((p->*pfn)(&b), IID_IHostAppointment);
    return b != FALSE;
}

HOSTTIME HostTime(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(HOSTTIME*)) {
    HOSTTIME t = 0;
    ThrowIfFailed((p->*pfn)(&t), IID_IHostAppointment);
    return t;
}

LONG HostLong(IHostAppointment* p, HRESULT (IHostAppointment::*pfn)(LONG*)) {
    LONG n = 0;
    ThrowIfFailed((p->*pfn)(&n), IID_IHostAppointment);
    return n;
}

CComPtr<IHostAppointment2> QueryAppointment2(IHostAppointment* p) {
    CComPtr<IHostAppointment2> p2;
    const HRESULT hr = p->QueryInterface(IID_IHostAppointment2, reinterpret_cast<void**>(p2.Put()));
    if (hr == E_NOINTERFACE) {
        p2.Release();
        return p2;
    }
    ThrowIfFailed(hr, IID_IHostAppointment2);
    return p2;
}

std::string GuardedCategory(IHostAppointment* p) {
    CBstr bstr;
    if (FAILED(p->GetCategory(bstr.Put()))) {
        ClearErrorInfo();
        return {};
    }
    try {
        return bstr.Get() ? FromUtf16(bstr.View()) : std::string();
    } catch (const std::exception&) {
        return {};
    }
}

void ReadLocationAndCategory(IHostAppointment* p, std::string& strLocation,
                             std::string& strCategory) {
    strLocation.clear();
    strCategory.clear();
    const CComPtr<IHostAppointment2> p2 = QueryAppointment2(p);
    if (!p2)
        return;
    CBstr location;
    ThrowIfFailed(p2->GetLocation(location.Put()), IID_IHostAppointment2);
    strLocation = location.Get() ? FromUtf16(location.View()) : std::string();
    strCategory = GuardedCategory(p);
}

LONG ListCount(IHostAppointmentList* pList) {
    LONG n = 0;
    ThrowIfFailed(pList->GetCount(&n), IID_IHostAppointmentList);
    return n;
}

CComPtr<IHostAppointment> ListItem(IHostAppointmentList* pList, LONG nIndex) {
    CComPtr<IHostAppointment> p;
    ThrowIfFailed(pList->Item(nIndex, p.Put()), IID_IHostAppointmentList);
    return p;
}
