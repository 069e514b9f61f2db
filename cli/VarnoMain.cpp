// varno: the command line (cli/CommandLine.h).
#include "cli/CliServices.h"
#include "cli/CommandLine.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv) {
    InstallInterruptHandlers();
    const CCliTerminal terminal{::isatty(STDIN_FILENO) != 0, ::isatty(STDERR_FILENO) != 0};
    return RunVarno(argc, argv, std::cout, std::cerr, terminal);
}
