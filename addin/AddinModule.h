// The module VARNOAddIn's own state: its server module record (object table, lock count),
// its type library, its resources and help path, and its instance handle.
#pragma once

#include "platform/com/ServerModule.h"
#include "platform/com/TypeLib.h"
#include "platform/dialogs/ModuleState.h"

// Hidden: each module has its own, never the program's or another module's.
#define VARNO_MODULE_LOCAL [[gnu::visibility("hidden")]]

VARNO_MODULE_LOCAL CServerModule& AddinServerModule();
VARNO_MODULE_LOCAL const STypeLibDesc& AddinTypeLibrary();
// The help path starts as the module's file with the default help extension, ".hlp".
VARNO_MODULE_LOCAL CModuleState& AddinModuleState();
// The base address the module was loaded at, as handed to the host with resource numbers.
VARNO_MODULE_LOCAL void* AddinModuleInstance();

// Registers the add-in with the host's add-in manager, replacing an earlier registration;
// does nothing when the manager cannot be created, and stops silently at a failing step.
VARNO_MODULE_LOCAL void RegisterWithHost();
// Removes the add-in's registration with the host's add-in manager; failures are ignored.
VARNO_MODULE_LOCAL void UnregisterFromHost();
