// Pieces of JSON for the machine-readable summaries of the command line (--json): strings
// quoted and escaped, dates as yyyy-mm-dd and times as hh:mm in local time.
#pragma once

#include "model/DateText.h"

#include <string>
#include <string_view>

// The UTF-8 text between double quotes, with quotes, backslashes and control characters
// escaped; bytes that are not UTF-8 become U+FFFD, so that the output stays valid JSON.
[[nodiscard]] std::string JsonQuote(std::string_view utf8);
// "yyyy-mm-dd" of t's local day, or null.
[[nodiscard]] std::string JsonDate(TimeValue t);
// "hh:mm" of t's local time of day, or null.
[[nodiscard]] std::string JsonTime(TimeValue t);
