#include "desktop/DesktopDatebook.h"

#include "desktop/CalendarDay.h"
#include "desktop/DesktopAppointment.h"

#include <limits>

CDesktopDatebook::CDesktopDatebook(std::shared_ptr<CDesktopSession> pSession, CDatebookUser user)
    : m_pSession(std::move(pSession)), m_user(std::move(user)) {
    m_pSession->OpenOperation();
}

CDesktopDatebook::~CDesktopDatebook() {
    m_pSession->CloseOperation();
}

HRESULT CDesktopDatebook::GetAppointments(HOSTTIME tFrom, HOSTTIME tTo,
                                          IHostAppointmentList** ppList) {
    return RunHostCall(*m_pSession, "GetAppointments", IID_IHostDatebook, [&] {
        if (!ppList)
            return FailCall(E_POINTER, "GetAppointments needs an out pointer.", IID_IHostDatebook);
        *ppList = nullptr;
        auto pRecords =
            std::make_shared<std::vector<CStoredAppointment>>(m_pSession->Store().ListAppointments(
                m_user.m_nId, desktop::LocalDayOf(tFrom), desktop::LocalDayOf(tTo)));
        if (pRecords->size() > static_cast<std::size_t>(std::numeric_limits<LONG>::max()))
            return FailCall(E_OUTOFMEMORY, "The list is too long.", IID_IHostDatebook);
        CComPtr<CDesktopAppointmentList> pList(
            new CDesktopAppointmentList(m_pSession, std::move(pRecords)));
        *ppList = pList.Detach();
        return S_OK;
    });
}

HRESULT CDesktopDatebook::AddAppointment(HOSTTIME tStart, HOSTTIME tEnd, BSTR bstrText,
                                         IHostAppointment** ppAppointment) {
    return RunHostCall(*m_pSession, "AddAppointment", IID_IHostDatebook, [&] {
        if (!ppAppointment)
            return FailCall(E_POINTER, "AddAppointment needs an out pointer.", IID_IHostDatebook);
        *ppAppointment = nullptr;
        auto pRecord = std::make_shared<CStoredAppointment>();
        pRecord->m_tStart = tStart;
        pRecord->m_tEnd = tEnd;
        pRecord->m_strText = std::u16string(BstrView(bstrText));
        CDatebookStore::Validate(*pRecord);
        // The object holds the batch open from here: the values that follow join the
        // appointment before anything of it can be committed.
        CComPtr<CDesktopAppointment> pAppointment(new CDesktopAppointment(m_pSession, pRecord));
        pAppointment->BeginChange();
        pRecord->m_nRecordId = m_pSession->Store().AddAppointment(m_user.m_nId, *pRecord);
        pAppointment->NoteStored(true);
        *ppAppointment = pAppointment.Detach();
        return S_OK;
    });
}

HRESULT CDesktopDatebook::GetAppointmentById(LONG lRecordId, IHostAppointment** ppAppointment) {
    return RunHostCall(*m_pSession, "GetAppointmentById", IID_IHostDatebook, [&] {
        if (!ppAppointment)
            return FailCall(E_POINTER, "GetAppointmentById needs an out pointer.",
                            IID_IHostDatebook);
        *ppAppointment = nullptr;
        auto pRecord = std::make_shared<CStoredAppointment>(
            m_pSession->Store().GetAppointment(m_user.m_nId, lRecordId));
        CComPtr<CDesktopAppointment> pAppointment(
            new CDesktopAppointment(m_pSession, std::move(pRecord)));
        *ppAppointment = pAppointment.Detach();
        return S_OK;
    });
}

CDesktopAppointmentList::CDesktopAppointmentList(
    std::shared_ptr<CDesktopSession> pSession,
    std::shared_ptr<std::vector<CStoredAppointment>> pRecords)
    : m_pSession(std::move(pSession)), m_pRecords(std::move(pRecords)) {}

HRESULT CDesktopAppointmentList::GetCount(LONG* plCount) {
    return RunHostCall(*m_pSession, "GetCount", IID_IHostAppointmentList, [&] {
        if (!plCount)
            return FailCall(E_POINTER, "GetCount needs an out pointer.", IID_IHostAppointmentList);
        *plCount = static_cast<LONG>(m_pRecords->size());
        return S_OK;
    });
}

HRESULT CDesktopAppointmentList::Item(LONG lIndex, IHostAppointment** ppAppointment) {
    return RunHostCall(*m_pSession, "Item", IID_IHostAppointmentList, [&] {
        if (!ppAppointment)
            return FailCall(E_POINTER, "Item needs an out pointer.", IID_IHostAppointmentList);
        *ppAppointment = nullptr;
        if (lIndex < 0 || static_cast<std::size_t>(lIndex) >= m_pRecords->size())
            return FailCall(E_INVALIDARG,
                            "There is no appointment at index " + std::to_string(lIndex) +
                                "; the list holds " + std::to_string(m_pRecords->size()) + ".",
                            IID_IHostAppointmentList);
        // Shares the list's storage and keeps it alive.
        std::shared_ptr<CStoredAppointment> pRecord(
            m_pRecords, &(*m_pRecords)[static_cast<std::size_t>(lIndex)]);
        CComPtr<CDesktopAppointment> pAppointment(
            new CDesktopAppointment(m_pSession, std::move(pRecord)));
        *ppAppointment = pAppointment.Detach();
        return S_OK;
    });
}
