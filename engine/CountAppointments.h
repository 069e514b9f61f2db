// How many rows an export with the current options would write: every appointment that
// passes the filter in the full format; in the simple format the single appointments that
// start within the export range and each occurrence of a repeating one within it.
#pragma once

#include <string>

class COptions;

// Occurrences counted for all repeating appointments together, past which each further
// repeating appointment adds at most one.
inline constexpr int kMaxCountedOccurrences = 10000;

// The count; framework errors show "Error writing file" and give the count reached so far.
// Host-call exceptions are not caught. A quit request ends the walk with the count so far.
[[nodiscard]] int numAppointments(const COptions& options);

// The main dialog's status line for a count: "%d appointments" in the full format; in the
// simple format the count with the export range as dates, in the singular for exactly one.
[[nodiscard]] std::string CountStatusText(const COptions& options, int nCount);
