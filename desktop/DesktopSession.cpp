#include "desktop/DesktopSession.h"

#include "desktop/UnicodeText.h"

CDesktopSession::CDesktopSession(CDesktopHostOptions options)
    : m_options(std::move(options)), m_store(m_options.m_strFolder) {}

HRESULT CDesktopSession::Enter(const char* pszOperation, const GUID& iid) {
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
        return E_FAIL;
    }
    return E_FAIL;
}

BSTR NewBstr(std::u16string_view text) {
    BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!bstr)
        throw std::bad_alloc();
    return bstr;
}
