// The datebook of one user and the lists of appointments it gives.
#pragma once

#include "desktop/DesktopSession.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <vector>

class CDesktopDatebook final : public CComObject<CDesktopDatebook, IHostDatebook> {
public:
    CDesktopDatebook(std::shared_ptr<CDesktopSession> pSession, CDatebookUser user);
    // The last datebook object released ends an operation: its changes are committed.
    ~CDesktopDatebook();

    // A snapshot of the appointments with a day in [date(from), date(to)], neither deleted
    // nor marked for archival, by start and record id: later changes to the datebook change
    // neither its count nor which record each item is. The records' values are read in
    // pages as the items are asked for (a list of a million appointments is not held in
    // memory), so a value another program changes after the listing can show.
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
    // Records read per page.
    static constexpr std::size_t kPageSize = 512;

    // Records of a wide list are read by a scan of the table into a window of about this
    // many bytes; the listing itself keeps the records when they take at most
    // kListingBytes (a datebook of some hundred thousand appointments), saving a scan.
    static constexpr std::size_t kWindowBytes = 12 * 1024 * 1024;
    static constexpr std::size_t kListingBytes = 24 * 1024 * 1024;
    // A list of more windows than this reads its pages through the start index instead.
    static constexpr std::size_t kMaxWindows = 24;
    // bWide: the list covers nearly the whole datebook (CDatebookStore::IsWideList).
    CDesktopAppointmentList(std::shared_ptr<CDesktopSession> pSession, std::int64_t nUserId,
                            std::vector<CListKey> keys, bool bWide);

    // The records of the whole list, read with the listing before the stamp changed.
    void TakeWindow(CRecordWindow window, std::pair<std::int64_t, std::int64_t> stamp);
    HRESULT GetCount(LONG* plCount) override;
    // Items of the same index share their values while one of them is alive: a change made
    // through one shows in all. A record that a HotSync has moved out since the listing
    // fails with E_FAIL.
    HRESULT Item(LONG lIndex, IHostAppointment** ppAppointment) override;

private:
    struct CPage {
        std::vector<CStoredAppointment> m_vecRecords;
        std::vector<bool> m_vecGone;
        std::vector<bool> m_vecHandedOut; // items made of the record so far
    };
    void LoadPage(std::size_t nFirst);

    std::shared_ptr<CDesktopSession> m_pSession;
    std::int64_t m_nUserId;
    std::vector<CListKey> m_vecKeys;
    bool m_bWide;
    // A wide list's records from m_nWindowFirst on, in runs of m_nWindowSize positions.
    CRecordWindow m_window;
    std::size_t m_nWindowFirst = 0;
    std::size_t m_nWindowSize = 0;
    std::pair<std::int64_t, std::int64_t> m_stampWindow; // the store's when it was read
    // The list's records by window, for a list of more than one.
    CListSpill m_spill;
    bool m_bSpillTried = false;
    std::pair<std::int64_t, std::int64_t> m_stampSpill;
    std::shared_ptr<CPage> m_pPage; // the page last read; items keep theirs alive
    std::size_t m_nPageFirst = 0;
    // The records of items handed out, by index, while they are alive.
    std::unordered_map<std::size_t, std::weak_ptr<CStoredAppointment>> m_mapHandedOut;
};
