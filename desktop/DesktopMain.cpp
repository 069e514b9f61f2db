// datebook-desktop: the stand-in host. With no command, or "window", it opens the host
// window (desktop/window/HostWindow.h); any other command is its command line
// (DesktopCommandLine.h). Every start sees to the host's one-time setup of the home.
#include "desktop/DesktopCommandLine.h"
#include "desktop/DesktopSetup.h"
#ifdef VARNO_HOST_WINDOW
#include "desktop/window/HostWindow.h"
#endif

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

namespace {

// --home DIR stands for VARNO_HOME: the setup and the add-ins use the registry of that home.
void ApplyHomeOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--home" && i + 1 < argc) {
            setenv("VARNO_HOME", argv[i + 1], 1);
            return;
        }
        if (arg.starts_with("--home=")) {
            setenv("VARNO_HOME", std::string(arg.substr(7)).c_str(), 1);
            return;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    ApplyHomeOption(argc, argv);
    EnsureDesktopSetup();
#ifdef VARNO_HOST_WINDOW
    if (IsHostWindowCommand(argc, argv))
        return RunHostWindow(argc, argv, std::cerr);
#endif
    return RunDesktopCommandLine(argc, argv, std::cout, std::cerr);
}
