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

struct IDesktopCommand;

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

// A command an add-in registered with the host (IHostAddinCommands), with its menu entry
// once the add-in added one.
struct CAddinCommand {
    ULONG m_dwCookie = 0; // the add-in's cookie
    LONG m_lId = 0;       // handed out by the host, from 1
    std::string m_strName;
    CComPtr<IDispatch> m_pCommand;
    bool m_bHasMenuItem = false;
    // The menu text's three tab-separated fields: entry (with its '&' access key), long
    // and short description. UTF-8.
    std::string m_strMenuText;
    std::string m_strDescription;
    std::string m_strShortText;
    LONG m_lBitmap = 0;
    std::vector<unsigned char> m_vecBitmap; // PNG, 16 x 16; empty when the module had none
    LONG m_lValue = 0;
};

// Opens the datebook and gives the host application object (it answers IHostApplication).
// Raises CDatebookError (desktop/DatebookError.h) when the datebook cannot be opened.
[[nodiscard]] CComPtr<IDispatch> OpenDesktopHost(const CDesktopHostOptions& options = {});

// Commits the changes the host still holds back (it groups them, DesktopSession.h); empty
// when everything is stored, else why the datebook could not be written. The host commits by
// itself when an operation releases its datebook; this tells whether that went well.
[[nodiscard]] std::string FlushDesktopHost(IDispatch* pHost);

// The add-in commands registered with this host so far, in registration order.
[[nodiscard]] std::vector<CAddinCommand> DesktopAddinCommands(IDispatch* pHost);
// Releases the host's references to the add-ins' command objects (which hold the host in
// turn): the host calls it before it lets its add-ins go.
void ReleaseDesktopAddinCommands(IDispatch* pHost);
// The same for the commands of one add-in (one that failed its initialisation).
void ReleaseDesktopAddinCommands(IDispatch* pHost, ULONG dwCookie);
