// datebook-desktop, the stand-in host's own command line:
//
//   datebook-desktop [--home DIR] users | user add NAME | user use NAME
//   datebook-desktop [--home DIR] add --text T --date D [--start HH:MM --end HH:MM] ...
//   datebook-desktop [--home DIR] list [--from D] [--to D] | show ID | delete ID [--archive]
//   datebook-desktop [--home DIR] occurrences ID --from D --to D | hotsync
//
// Dates are yyyy-mm-dd and times HH:MM, local to the process time zone. --home DIR stands for
// VARNO_HOME: the datebook is DIR/datebook/datebook.db. Works on the current user.
//
// Exit status: 0 done; 1 the datebook refused or failed (unknown user or id, a locked or
// damaged file); 2 bad command line (unknown option, bad date, time or value).
#pragma once

#include <ostream>

[[nodiscard]] int RunDesktopCommandLine(int argc, const char* const* argv, std::ostream& out,
                                        std::ostream& err);
