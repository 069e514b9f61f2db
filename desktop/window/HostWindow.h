// The host window of datebook-desktop: the current user's appointments, a menu to switch
// users and run the HotSync, and a menu with the command of every add-in that started.
//
//   datebook-desktop [--home DIR] [window]
//
// Exit status: 0 closed; 2 bad command line or no display to open the window on.
#pragma once

#include "desktop/AddinHost.h"

#include <memory>
#include <ostream>
#include <string>

class wxFrame;

// True when the arguments ask for the window: none, "window", each maybe after --home DIR.
// The caller has made --home DIR the process's VARNO_HOME and seen to the host's setup.
[[nodiscard]] bool IsHostWindowCommand(int argc, const char* const* argv);
[[nodiscard]] int RunHostWindow(int argc, char** argv, std::ostream& err);

// The window over a host whose add-ins are loaded; the caller owns the wx application and
// keeps the add-in host alive while the window lives. Shown at once.
[[nodiscard]] wxFrame* CreateHostWindow(CAddinHost& addins);

// Menu ids of the window, for tests that pick them.
inline constexpr int kHostMenuHotSync = 6001;
inline constexpr int kHostMenuUserBase = 6100;  // + index of the user in the list
inline constexpr int kHostMenuAddinBase = 6500; // + index of the command in the menu
// The title of the add-in commands' menu.
inline constexpr const char* kAddinMenuTitle = "&Add-ins";
