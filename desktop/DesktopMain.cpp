// datebook-desktop: the stand-in host's command line (DesktopCommandLine.h).
#include "desktop/DesktopCommandLine.h"

#include <iostream>

int main(int argc, char** argv) {
    return RunDesktopCommandLine(argc, argv, std::cout, std::cerr);
}
