#include "desktop/DesktopDatebook.h"

#include "desktop/CalendarDay.h"
#include "desktop/DesktopAppointment.h"

#include <algorithm>
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
        const int nFromDay = desktop::LocalDayOf(tFrom);
        const int nToDay = desktop::LocalDayOf(tTo);
        CDatebookStore& store = m_pSession->Store();
        const bool bWide = CDatebookStore::IsWideList(nFromDay, nToDay);
        // A wide list of a datebook that fits one window reads its records with the listing.
        CRecordWindow window;
        const auto stamp = store.ChangeStamp();
        std::vector<CListKey> keys =
            store.ListAppointmentKeys(m_user.m_nId, nFromDay, nToDay, bWide ? &window : nullptr,
                                      CDesktopAppointmentList::kListingBytes);
        if (keys.size() > static_cast<std::size_t>(std::numeric_limits<LONG>::max()))
            return FailCall(E_OUTOFMEMORY, "The list is too long.", IID_IHostDatebook);
        CComPtr<CDesktopAppointmentList> pList(
            new CDesktopAppointmentList(m_pSession, m_user.m_nId, std::move(keys), bWide));
        if (window.Size() != 0)
            pList->TakeWindow(std::move(window), stamp);
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

CDesktopAppointmentList::CDesktopAppointmentList(std::shared_ptr<CDesktopSession> pSession,
                                                 std::int64_t nUserId, std::vector<CListKey> keys,
                                                 bool bWide)
    : m_pSession(std::move(pSession)), m_nUserId(nUserId), m_vecKeys(std::move(keys)),
      m_bWide(bWide) {}

void CDesktopAppointmentList::TakeWindow(CRecordWindow window,
                                         std::pair<std::int64_t, std::int64_t> stamp) {
    m_window = std::move(window);
    m_nWindowFirst = 0;
    m_stampWindow = stamp;
}

HRESULT CDesktopAppointmentList::GetCount(LONG* plCount) {
    return RunHostCall(*m_pSession, "GetCount", IID_IHostAppointmentList, [&] {
        if (!plCount)
            return FailCall(E_POINTER, "GetCount needs an out pointer.", IID_IHostAppointmentList);
        *plCount = static_cast<LONG>(m_vecKeys.size());
        return S_OK;
    });
}

void CDesktopAppointmentList::LoadPage(std::size_t nFirst) {
    // A page no item holds any more is filled again: its records keep their strings' storage.
    std::shared_ptr<CPage> pPage;
    if (m_pPage && m_pPage.use_count() == 1)
        pPage = std::move(m_pPage);
    else
        pPage = std::make_shared<CPage>();
    const std::size_t nEnd = std::min(m_vecKeys.size(), nFirst + kPageSize);
    pPage->m_vecGone.clear();
    pPage->m_vecHandedOut.clear();
    pPage->m_vecGone.reserve(nEnd - nFirst);
    CDatebookStore& store = m_pSession->Store();
    const bool bInWindow = m_window.Size() != 0 && nFirst >= m_nWindowFirst &&
                           nFirst < m_nWindowFirst + m_window.Size();
    // A window read before the datebook changed (through this connection or another) is out
    // of date: its pages are read from the datebook itself until the next window.
    bool bFromWindow = false;
    if (m_bWide && bInWindow) {
        bFromWindow = m_stampWindow == store.ChangeStamp();
    } else if (m_bWide) {
        if (m_nWindowSize == 0) {
            // Whole pages, as many as the bytes allow: one scan of the table for each window.
            const std::size_t nPerRecord = std::max<std::size_t>(
                store.BytesPerRecord(m_vecKeys.size()), sizeof(CStoredAppointment));
            m_nWindowSize =
                std::max<std::size_t>(kWindowBytes / nPerRecord / kPageSize, 1) * kPageSize;
        }
        // Each window scans the whole table: for a list of more windows than a few, reading
        // each page's records through the start index costs less, and grows only with the
        // list.
        if (m_vecKeys.size() > kMaxWindows * m_nWindowSize) {
            m_bWide = false;
        } else {
            m_nWindowFirst = nFirst - nFirst % m_nWindowSize;
            const std::size_t nCount = std::min(m_vecKeys.size() - m_nWindowFirst, m_nWindowSize);
            // Taken first: a change made while the window is read makes it out of date.
            m_stampWindow = store.ChangeStamp();
            // A list of more than one window is sorted out into its windows by one scan, made
            // once: while the datebook stays as it was then, each window is read from there.
            bool bRead = false;
            if (m_vecKeys.size() > m_nWindowSize) {
                if (!m_bSpillTried) {
                    m_bSpillTried = true;
                    m_stampSpill = m_stampWindow;
                    (void)store.SpillListedRuns(m_nUserId, m_vecKeys.data(), m_vecKeys.size(),
                                                m_nWindowSize, m_spill);
                }
                bRead = m_spill.Holds() && m_stampSpill == m_stampWindow &&
                        store.ReadSpilledRun(m_spill, m_nWindowFirst / m_nWindowSize,
                                             m_vecKeys.data() + m_nWindowFirst, nCount, m_window);
            }
            if (!bRead)
                store.ReadListedWindow(m_nUserId, m_vecKeys.data() + m_nWindowFirst, nCount,
                                       m_window);
            bFromWindow = true;
        }
    }
    if (bFromWindow) {
        pPage->m_vecRecords.resize(nEnd - nFirst);
        for (std::size_t i = nFirst; i < nEnd; ++i) {
            m_window.Prefetch(i - m_nWindowFirst + 48, false);
            m_window.Prefetch(i - m_nWindowFirst + 24, true);
            CStoredAppointment& record = pPage->m_vecRecords[i - nFirst];
            const bool bFound = m_window.Get(i - m_nWindowFirst, record);
            if (!bFound)
                record = CStoredAppointment{};
            pPage->m_vecGone.push_back(!bFound);
            record.m_nRecordId = m_vecKeys[i].m_nRecordId;
        }
    } else {
        std::vector<std::optional<CStoredAppointment>> records =
            store.FindListedAppointments(m_nUserId, m_vecKeys.data() + nFirst, nEnd - nFirst);
        pPage->m_vecRecords.clear();
        pPage->m_vecRecords.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            pPage->m_vecGone.push_back(!records[i]);
            pPage->m_vecRecords.push_back(records[i] ? std::move(*records[i])
                                                     : CStoredAppointment{});
            pPage->m_vecRecords.back().m_nRecordId = m_vecKeys[nFirst + i].m_nRecordId;
        }
    }
    pPage->m_vecHandedOut.resize(pPage->m_vecRecords.size());
    // Items released since leave nothing behind; items of the page left that are still
    // alive are found by their index from now on.
    std::erase_if(m_mapHandedOut, [](const auto& entry) { return entry.second.expired(); });
    if (m_pPage && m_pPage.use_count() > 1)
        for (std::size_t i = 0; i < m_pPage->m_vecHandedOut.size(); ++i)
            if (m_pPage->m_vecHandedOut[i])
                m_mapHandedOut.emplace(m_nPageFirst + i, std::shared_ptr<CStoredAppointment>(
                                                             m_pPage, &m_pPage->m_vecRecords[i]));
    m_pPage = std::move(pPage);
    m_nPageFirst = nFirst;
}

HRESULT CDesktopAppointmentList::Item(LONG lIndex, IHostAppointment** ppAppointment) {
    return RunHostCall(*m_pSession, "Item", IID_IHostAppointmentList, [&] {
        if (!ppAppointment)
            return FailCall(E_POINTER, "Item needs an out pointer.", IID_IHostAppointmentList);
        *ppAppointment = nullptr;
        if (lIndex < 0 || static_cast<std::size_t>(lIndex) >= m_vecKeys.size())
            return FailCall(E_INVALIDARG,
                            "There is no appointment at index " + std::to_string(lIndex) +
                                "; the list holds " + std::to_string(m_vecKeys.size()) + ".",
                            IID_IHostAppointmentList);
        const auto nIndex = static_cast<std::size_t>(lIndex);
        std::shared_ptr<CStoredAppointment> pRecord;
        if (!m_mapHandedOut.empty())
            if (const auto it = m_mapHandedOut.find(nIndex); it != m_mapHandedOut.end())
                pRecord = it->second.lock();
        if (!pRecord) {
            if (!m_pPage || nIndex < m_nPageFirst ||
                nIndex >= m_nPageFirst + m_pPage->m_vecRecords.size())
                LoadPage(nIndex - nIndex % kPageSize);
            const std::size_t nAt = nIndex - m_nPageFirst;
            if (m_pPage->m_vecGone[nAt])
                return FailCall(E_FAIL,
                                "The appointment " + std::to_string(m_vecKeys[nIndex].m_nRecordId) +
                                    " has been moved out of the datebook by a HotSync.",
                                IID_IHostAppointmentList);
            // Shares the page's storage and keeps it alive.
            pRecord = std::shared_ptr<CStoredAppointment>(m_pPage, &m_pPage->m_vecRecords[nAt]);
            m_pPage->m_vecHandedOut[nAt] = true;
        }
        CComPtr<CDesktopAppointment> pAppointment(
            new CDesktopAppointment(m_pSession, std::move(pRecord)));
        *ppAppointment = pAppointment.Detach();
        return S_OK;
    });
}
