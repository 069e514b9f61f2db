// varno, the command line:
//
//   varno [--home DIR] export FILE [--full|--simple] [--from DATE] [--to DATE]
//   varno [--home DIR] import FILE [--ignore-errors] [--skip-duplicates|--allow-duplicates]
//                                  [--stop-on-error] [--dry-run] [--rejects FILE]
//   varno [--home DIR] count [--full|--simple] [--from DATE] [--to DATE]
//   varno [--home DIR] remove-all [--yes] [--full|--simple] [--from DATE] [--to DATE]
//   varno [--home DIR] archive --up-to DATE [--larger BYTES]
//   varno [--home DIR] options show | set NAME VALUE | reset
//   varno [--home DIR] fields show | set simple NAMES | set repeat NAMES | reset
//   varno [--home DIR] filter show | clear | set "TYPE:TEXT" [and|or "TYPE:TEXT"]...
//   varno [--home DIR] sets list | save TITLE | load TITLE | rename OLD NEW | remove TITLE
//   varno [--home DIR] regional show | set NAME VALUE | reset
//   varno --version
//
// --home DIR stands for VARNO_HOME. --wait SECONDS: how long import, remove-all and archive
// wait for another of them holding the datebook (ECliExit 2 after it). Output is UTF-8. Exit
// statuses: ECliExit.
#pragma once

#include <ostream>

struct CCliTerminal {
    bool m_bStdin = false;  // standard input is a terminal
    bool m_bStderr = false; // standard error is a terminal
};

[[nodiscard]] int RunVarno(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                           const CCliTerminal& terminal = {});
