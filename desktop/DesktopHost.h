// The stand-in host as the program meets it: the host object given to add-ins, whose
// objects offer the host datebook interfaces over the datebook store (DatebookStore.h).
//
//   CComPtr<IDispatch> host = OpenDesktopHost();
//   CComPtr<IHostApplication> app;  host.QueryInterface(app);
//
// The objects of one host share one connection to the datebook, which stays open until the
// last of them is released. They are used from one thread.
#pragma once

#include "platform/com/ComPtr.h"
#include "platform/com/Unknown.h"

#include <string>
#include <vector>

// A test control: the n-th call of the named operation fails with the status and leaves the
// description in the error information, without doing anything else.
struct CHostFault {
    // A method name of the host interfaces ("SetNote", "GetAppointments", ...), or
    // "QueryInterface" for asking an appointment for its second interface.
    std::string m_strOperation;
    // Counts the calls of that operation on all objects of the host, from 1; 0 fails every
    // call.
    int m_nCall = 1;
    HRESULT m_hr = E_FAIL;
    std::string m_strDescription; // UTF-8
};

struct CDesktopHostOptions {
    // The datebook folder; empty for VARNO_HOME/datebook (or the XDG data folder).
    std::string m_strFolder;
    // Test controls; both off unless a test sets them.
    bool m_bOmitAppointment2 = false; // appointments answer E_NOINTERFACE for IHostAppointment2
    std::vector<CHostFault> m_vecFaults;
};

// Opens the datebook and gives the host application object (it answers IHostApplication).
// Raises CDatebookError (desktop/DatebookError.h) when the datebook cannot be opened.
[[nodiscard]] CComPtr<IDispatch> OpenDesktopHost(const CDesktopHostOptions& options = {});

// Commits the changes the host still holds back (it groups them, DesktopSession.h); empty
// when everything is stored, else why the datebook could not be written. The host commits by
// itself when an operation releases its datebook; this tells whether that went well.
[[nodiscard]] std::string FlushDesktopHost(IDispatch* pHost);
