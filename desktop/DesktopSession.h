// What the objects of one stand-in host share: the options, the datebook store, and the
// call counts of the test controls. Also the frame of every host call: test controls first,
// then the body, with failures turned into a status and a description in the error
// information.
//
// Changes are grouped. An appointment object that changes its record (a new appointment
// from the first call on) holds the store's batch open until it is released, so its changes
// reach the datebook together or not at all, whatever ends the process. Appointments are
// grouped further: the batch commits once no changed appointment is alive and it is
// kGroupTime old (a watcher thread sees to that while the program is busy elsewhere), when
// the last datebook object is released (the end of an operation), or when the session ends.
// A killed process loses at most the last kGroupTime of changes, never part of an
// appointment. The objects are used from one thread; the session's lock keeps the watcher
// out of their calls.
//
// A write that fails in a way that repeats (full disk, read-only datebook, I/O error) rolls
// the batch back, and from then on every call fails with STG_E_WRITEFAULT and the reason:
// nothing more is stored in that session.
#pragma once

#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "platform/com/ErrorInfo.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

class CDesktopSession {
public:
    static constexpr std::chrono::milliseconds kGroupTime{50};
    // How often the watcher looks again at a due batch that an appointment holds open.
    static constexpr std::chrono::milliseconds kWatchInterval{5};

    explicit CDesktopSession(CDesktopHostOptions options);
    ~CDesktopSession();
    CDesktopSession(const CDesktopSession&) = delete;
    CDesktopSession& operator=(const CDesktopSession&) = delete;

    [[nodiscard]] CDatebookStore& Store() { return m_store; }
    [[nodiscard]] bool OmitsAppointment2() const { return m_options.m_bOmitAppointment2; }
    // The add-in commands registered so far; used under Lock().
    [[nodiscard]] std::vector<CAddinCommand>& AddinCommands() { return m_vecCommands; }

    // Counts a call of the operation. S_OK to go on; else the status of an earlier lasting
    // failure or the one a test control asked for, with its description left for the caller.
    [[nodiscard]] HRESULT Enter(const char* pszOperation, const GUID& iid);

    // An appointment object starts changing its record: the batch opens.
    void BeginChange();
    // That object is released: its changes are complete.
    void EndChange() noexcept;
    // A datebook object is created or released; the last release ends an operation.
    void OpenOperation() noexcept {
        const std::lock_guard<std::recursive_mutex> lock(m_mutex);
        ++m_nOperations;
    }
    void CloseOperation() noexcept;
    // Commits what is pending unless an appointment is still being changed; empty when all
    // is well, else the reason of the lasting failure (this one or an earlier one).
    [[nodiscard]] std::string Flush();

    // Held by every host call and release: the watcher commits only between them.
    [[nodiscard]] std::recursive_mutex& Lock() { return m_mutex; }

    // A failed write: a lasting one (or one after which SQLite dropped the batch) rolls the
    // batch back and fails the session. Gives the status and description for the caller.
    [[nodiscard]] HRESULT OnStoreFailure(const CDatebookError& error, const GUID& iid);

private:
    void Commit() noexcept;
    void Fail(const std::string& strReason) noexcept;
    // The watcher thread: commits an idle batch once it is kGroupTime old.
    void Watch();

    CDesktopHostOptions m_options;
    CDatebookStore m_store;
    std::unordered_map<std::string, int> m_mapCalls;
    std::vector<CAddinCommand> m_vecCommands;
    int m_nChanging = 0;   // appointment objects with changes not yet complete
    int m_nOperations = 0; // live datebook objects
    int m_nGrouped = 0;    // appointments completed in the open batch
    std::chrono::steady_clock::time_point m_tBatchStart;
    std::string m_strFailure;
    std::recursive_mutex m_mutex;
    std::condition_variable_any m_wake;
    bool m_bStop = false;
    std::thread m_watcher; // started with the first batch
};

// Leaves the description (UTF-8) for the caller and gives the status.
HRESULT FailCall(HRESULT hr, std::string_view description, const GUID& iid);
[[nodiscard]] HRESULT ResultOf(EDatebookError kind);

// Runs one host call: body() gives the status; nothing escapes as an exception.
template <class F>
[[nodiscard]] HRESULT RunHostCall(CDesktopSession& session, const char* pszOperation,
                                  const GUID& iid, F&& body) noexcept {
    try {
        const std::lock_guard<std::recursive_mutex> lock(session.Lock());
        if (const HRESULT hr = session.Enter(pszOperation, iid); hr != S_OK)
            return hr;
        return body();
    } catch (const CDatebookError& e) {
        return session.OnStoreFailure(e, iid);
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
