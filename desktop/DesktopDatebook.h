// The datebook of one user and the lists of appointments it gives.
#pragma once

#include "desktop/DesktopSession.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <memory>
#include <vector>

class CDesktopDatebook final : public CComObject<CDesktopDatebook, IHostDatebook> {
public:
    CDesktopDatebook(std::shared_ptr<CDesktopSession> pSession, CDatebookUser user);
    // The last datebook object released ends an operation: its changes are committed.
    ~CDesktopDatebook();

    // A snapshot: the appointments with a day in [date(from), date(to)], neither deleted nor
    // marked for archival, by start and record id. Later changes to the datebook change
    // neither its count nor its items.
    HRESULT GetAppointments(HOSTTIME tFrom, HOSTTIME tTo, IHostAppointmentList** ppList) override;
    // A new timed appointment; E_INVALIDARG for values the datebook cannot keep.
    HRESULT AddAppointment(HOSTTIME tStart, HOSTTIME tEnd, BSTR bstrText,
                           IHostAppointment** ppAppointment) override;
    // E_INVALIDARG, naming the id, unless this user holds the record and it is neither
    // deleted nor marked for archival.
    HRESULT GetAppointmentById(LONG lRecordId, IHostAppointment** ppAppointment) override;

private:
    std::shared_ptr<CDesktopSession> m_pSession;
    CDatebookUser m_user;
};

class CDesktopAppointmentList final
    : public CComObject<CDesktopAppointmentList, IHostAppointmentList> {
public:
    CDesktopAppointmentList(std::shared_ptr<CDesktopSession> pSession,
                            std::shared_ptr<std::vector<CStoredAppointment>> pRecords);

    HRESULT GetCount(LONG* plCount) override;
    // Items of the same index share their values: a change made through one shows in all.
    HRESULT Item(LONG lIndex, IHostAppointment** ppAppointment) override;

private:
    std::shared_ptr<CDesktopSession> m_pSession;
    std::shared_ptr<std::vector<CStoredAppointment>> m_pRecords;
};
