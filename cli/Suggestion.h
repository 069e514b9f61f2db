// "Did you mean ...?" for a misspelt command or flag.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

// The candidate nearest to the word: within one edit (insertion, deletion, substitution or a
// swap of neighbours) for every three characters, at least one, or the only candidate the
// word begins. Empty when none is near enough or two are equally near.
[[nodiscard]] std::string NearestWord(std::string_view word,
                                      const std::vector<std::string>& candidates);

// After a parse error: a line "Did you mean `export`?" for the first word the deepest command
// given did not expect, naming one of its subcommands or flags; empty when there is none.
[[nodiscard]] std::string SuggestionLine(const CLI::App& app);
