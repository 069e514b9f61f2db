// What the objects of one stand-in host share: the options, the datebook store, and the
// call counts of the test controls. Also the frame of every host call: test controls first,
// then the body, with failures turned into a status and a description in the error
// information.
#pragma once

#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "platform/com/ErrorInfo.h"

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

class CDesktopSession {
public:
    explicit CDesktopSession(CDesktopHostOptions options);

    [[nodiscard]] CDatebookStore& Store() { return m_store; }
    [[nodiscard]] bool OmitsAppointment2() const { return m_options.m_bOmitAppointment2; }

    // Counts a call of the operation. S_OK to go on; else the status a test control asked
    // for, with its description left for the caller.
    [[nodiscard]] HRESULT Enter(const char* pszOperation, const GUID& iid);

private:
    CDesktopHostOptions m_options;
    CDatebookStore m_store;
    std::unordered_map<std::string, int> m_mapCalls;
};

// Leaves the description (UTF-8) for the caller and gives the status.
HRESULT FailCall(HRESULT hr, std::string_view description, const GUID& iid);
[[nodiscard]] HRESULT ResultOf(EDatebookError kind);

// Runs one host call: body() gives the status; nothing escapes as an exception.
template <class F>
[[nodiscard]] HRESULT RunHostCall(CDesktopSession& session, const char* pszOperation,
                                  const GUID& iid, F&& body) noexcept {
    try {
        if (const HRESULT hr = session.Enter(pszOperation, iid); hr != S_OK)
            return hr;
        return body();
    } catch (const CDatebookError& e) {
        return FailCall(ResultOf(e.Kind()), e.what(), iid);
    } catch (const std::bad_alloc&) {
        return FailCall(E_OUTOFMEMORY, "Not enough memory.", iid);
    } catch (const std::exception& e) {
        return FailCall(E_FAIL, e.what(), iid);
    } catch (...) {
        return FailCall(E_FAIL, "The host failed.", iid);
    }
}

// A new string for an out parameter; throws std::bad_alloc when none can be had.
[[nodiscard]] BSTR NewBstr(std::u16string_view text);
