// The spreadsheet component's place in the platform: its class, registered in this
// process and in HKEY_CLASSES_ROOT under the ProgID "Excel.Application", and the one-time
// setup of a user home that makes the spreadsheet available to the program.
#pragma once

#include "platform/com/Guid.h"

// {31961CCE-FCB7-486D-8937-000C5373E89B}
inline constexpr GUID CLSID_SpreadsheetApplication{
    0x31961CCE, 0xFCB7, 0x486D, {0x89, 0x37, 0x00, 0x0C, 0x53, 0x73, 0xE8, 0x9B}};
inline constexpr const char* kSpreadsheetProgId = "Excel.Application";
// Under HKEY_LOCAL_MACHINE: the key whose presence tells that an office suite is installed.
inline constexpr const char* kOfficeKey = "Software\\Microsoft\\Office";
// Under HKEY_LOCAL_MACHINE: the platform's own key, holding the setup marker.
inline constexpr const char* kPlatformKey = "Software\\VARNO Platform";
inline constexpr const char* kSetupDoneValue = "SetupDone";

// Puts the Application class factory into this process's class table. Every process that
// wants to create the spreadsheet needs it; calling it again is harmless.
void RegisterSpreadsheetClass();

// Writes the class and ProgID keys under HKEY_CLASSES_ROOT and creates the office key
// under HKEY_LOCAL_MACHINE. False when the registry could not be written.
bool WriteSpreadsheetRegistration();

// Run at the start of every process of the platform (the command line, the host window)
// and by tests: registers the class in this process and, the first time a user home is
// used (no setup marker yet), writes the registration and the marker. Later calls leave
// the registry alone, so a registration that was taken away stays away.
void EnsurePlatformSetup();
