#include "desktop/DesktopSession.h"

#include "desktop/UnicodeText.h"

CDesktopSession::CDesktopSession(CDesktopHostOptions options)
    : m_options(std::move(options)), m_store(m_options.m_strFolder) {}

CDesktopSession::~CDesktopSession() {
    if (m_watcher.joinable()) {
        {
            const std::lock_guard<std::recursive_mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_all();
        m_watcher.join();
    }
    Commit();
}

void CDesktopSession::Watch() {
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    while (!m_bStop) {
        if (!m_store.InBatch() || !m_strFailure.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto tDue = m_tBatchStart + kGroupTime;
        const auto tNow = std::chrono::steady_clock::now();
        if (tNow < tDue)
            m_wake.wait_until(lock, tDue);
        else if (m_nChanging == 0)
            Commit();
        else
            // An appointment is still being changed: EndChange commits when it is done, if
            // the program gets that far; looked at again shortly in case it does not.
            m_wake.wait_until(lock, tNow + kWatchInterval);
    }
}

HRESULT CDesktopSession::Enter(const char* pszOperation, const GUID& iid) {
    if (!m_strFailure.empty())
        return FailCall(STG_E_WRITEFAULT, m_strFailure, iid);
    if (m_options.m_vecFaults.empty())
        return S_OK;
    const int nCall = ++m_mapCalls[pszOperation];
    for (const CHostFault& fault : m_options.m_vecFaults) {
        if (fault.m_strOperation != pszOperation || (fault.m_nCall != 0 && fault.m_nCall != nCall))
            continue;
        if (FAILED(fault.m_hr))
            return FailCall(fault.m_hr, fault.m_strDescription, iid);
        return fault.m_hr;
    }
    return S_OK;
}

void CDesktopSession::BeginChange() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!m_strFailure.empty())
        throw CDatebookError(EDatebookError::Unwritable, m_strFailure);
    if (!m_store.InBatch()) {
        m_store.BeginBatch();
        m_tBatchStart = std::chrono::steady_clock::now();
        m_nGrouped = 0;
        if (!m_watcher.joinable())
            m_watcher = std::thread([this] { Watch(); });
        else
            m_wake.notify_all();
    }
    ++m_nChanging;
}

void CDesktopSession::EndChange() noexcept {
    // The watcher is not woken: it sleeps until the batch is due and then looks for itself,
    // which spares a thread switch per appointment.
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_nChanging == 0)
        return;
    --m_nChanging;
    ++m_nGrouped;
    if (m_nChanging == 0 &&
        (m_nOperations == 0 || std::chrono::steady_clock::now() - m_tBatchStart >= kGroupTime))
        Commit();
}

void CDesktopSession::CloseOperation() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_nOperations > 0)
        --m_nOperations;
    if (m_nOperations == 0 && m_nChanging == 0)
        Commit();
}

std::string CDesktopSession::Flush() {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_nChanging == 0)
        Commit();
    return m_strFailure;
}

void CDesktopSession::Commit() noexcept {
    if (!m_strFailure.empty() || !m_store.InBatch())
        return;
    try {
        m_store.CommitBatch();
        m_nGrouped = 0;
    } catch (const CDatebookError& e) {
        Fail(e.what());
    } catch (const std::exception& e) {
        m_store.RollbackBatch();
        Fail(e.what());
    }
}

void CDesktopSession::Fail(const std::string& strReason) noexcept {
    m_store.RollbackBatch();
    try {
        m_strFailure = strReason;
        if (m_nGrouped > 0)
            m_strFailure += " The changes of the " + std::to_string(m_nGrouped) +
                            (m_nGrouped == 1 ? " appointment" : " appointments") +
                            " stored just before were not kept either.";
        m_strFailure += " Nothing more is stored until the datebook is opened again.";
    } catch (...) {
        m_strFailure = "The datebook cannot be written.";
    }
    m_nGrouped = 0;
}

HRESULT CDesktopSession::OnStoreFailure(const CDatebookError& error, const GUID& iid) {
    const std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (error.Kind() == EDatebookError::Unwritable || !m_store.BatchIntact()) {
        if (m_strFailure.empty())
            Fail(error.what());
        return FailCall(STG_E_WRITEFAULT, m_strFailure, iid);
    }
    return FailCall(ResultOf(error.Kind()), error.what(), iid);
}

HRESULT FailCall(HRESULT hr, std::string_view description, const GUID& iid) {
    SetErrorDescription(desktop::Utf8ToUtf16Lenient(description), iid);
    return hr;
}

HRESULT ResultOf(EDatebookError kind) {
    switch (kind) {
    case EDatebookError::InvalidArgument:
    case EDatebookError::NotFound:
        return E_INVALIDARG;
    case EDatebookError::Gone:
    case EDatebookError::Storage:
    case EDatebookError::Busy:
        return E_FAIL;
    case EDatebookError::Unwritable:
        return STG_E_WRITEFAULT;
    }
    return E_FAIL;
}

BSTR NewBstr(std::u16string_view text) {
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr)
        throw std::bad_alloc();
    return bstr;
}
