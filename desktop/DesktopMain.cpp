// datebook-desktop: the stand-in host. With no command, or "window", it opens the host
// window (desktop/window/HostWindow.h); any other command is its command line
// (DesktopCommandLine.h).
#include "desktop/DesktopCommandLine.h"
#ifdef VARNO_HOST_WINDOW
#include "desktop/window/HostWindow.h"
#endif

#include <iostream>

int main(int argc, char** argv) {
#ifdef VARNO_HOST_WINDOW
    if (IsHostWindowCommand(argc, argv))
        return RunHostWindow(argc, argv, std::cerr);
#endif
    return RunDesktopCommandLine(argc, argv, std::cout, std::cerr);
}
