// Opening a document or web address with the user's preferred program, and starting a
// command line, with results numbered as the platform's shell numbers them: above 32 is
// success; 0 out of resources, 2 file not found, 5 access denied, 8 out of memory, 11 bad
// program file, 27 incomplete association, 31 no associated program.
#pragma once

#include <string>
#include <vector>

inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_ACCESSDENIED = 5;
inline constexpr int SE_ERR_OOM = 8;
inline constexpr int SE_ERR_BADFORMAT = 11;
inline constexpr int SE_ERR_ASSOCINCOMPLETE = 27;
inline constexpr int SE_ERR_NOASSOC = 31;
inline constexpr int kShellSuccess = 42;

// "open" of a target through xdg-open (found on PATH); waits for xdg-open to hand the
// target over.
[[nodiscard]] int ShellOpen(const std::string& strTarget);
// Starts a command line (program and arguments, double quotes group blanks) without
// waiting for it; 33 when it started.
[[nodiscard]] int RunCommandLine(const std::string& strCommandLine);
// The words of a command line: blanks separate, double quotes group and are dropped.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const std::string& strCommandLine);
