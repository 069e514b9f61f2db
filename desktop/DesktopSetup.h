// The host's one-time setup of a user home: its add-in manager (DatebookAddinManager.so)
// registered under HKEY_CLASSES_ROOT, so that registering an add-in from any process
// announces it to the host.
#pragma once

#include "platform/com/ComTypes.h"

#include <string>

inline constexpr const char* kAddinManagerModuleName = "DatebookAddinManager.so";
// Under HKEY_LOCAL_MACHINE\Software\VARNO Platform: set once the host's setup is done.
inline constexpr const char* kDesktopSetupDoneValue = "DesktopSetupDone";

// The manager module beside the running program (a build folder) or in ../lib/varno next
// to it (an installed prefix); empty when neither exists.
[[nodiscard]] std::string FindAddinManagerModule();

// Registers the manager module at that path (its DllRegisterServer); the module's status,
// or CO_E_DLLNOTFOUND / CO_E_ERRORINDLL when it cannot be loaded or is no server.
[[nodiscard]] HRESULT RegisterAddinManager(const std::string& strModulePath);

// Run at every start of the host: the first time a home is used (no marker yet), or when
// the registered manager's file is gone (the program was moved), registers the manager
// found beside the program and sets the marker. Later starts leave the registry alone, so
// a manager taken away on purpose stays away. Failures are not reported: without the
// manager, add-ins simply cannot announce themselves.
void EnsureDesktopSetup();
