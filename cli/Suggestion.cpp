#include "cli/Suggestion.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstddef>

namespace {

// Optimal string alignment distance: Levenshtein with adjacent transpositions.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
    for (std::size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

std::string NearestWord(std::string_view word, const std::vector<std::string>& candidates) {
    const std::string lower = Lower(word);
    if (lower.empty() || lower == "-" || lower == "--")
        return {};
    // Dashes do not count towards the allowance: "--dry-rn" has five letters to err in.
    const std::size_t nLetters =
        lower.size() - std::min(lower.find_first_not_of('-'), lower.size());
    const std::size_t nAllowed = std::max<std::size_t>(1, nLetters / 3);
    std::string best;
    std::size_t nBest = nAllowed + 1;
    bool bTie = false;
    for (const std::string& candidate : candidates) {
        const std::size_t n = EditDistance(lower, Lower(candidate));
        if (n < nBest) {
            best = candidate;
            nBest = n;
            bTie = false;
        } else if (n == nBest && candidate != best) {
            bTie = true;
        }
    }
    if (!best.empty() && !bTie)
        return best;

    std::string prefixed;
    if (nLetters >= 2) {
        for (const std::string& candidate : candidates) {
            if (Lower(candidate).rfind(lower, 0) != 0)
                continue;
            if (!prefixed.empty())
                return {};
            prefixed = candidate;
        }
    }
    return prefixed;
}

std::string SuggestionLine(const CLI::App& app) {
    const CLI::App* pCommand = &app;
    for (;;) {
        const std::vector<const CLI::App*> subcommands =
            pCommand->get_subcommands([](const CLI::App* p) { return p->parsed(); });
        if (subcommands.empty())
            break;
        pCommand = subcommands.front();
    }
    const std::vector<std::string> remaining = pCommand->remaining();
    if (remaining.empty())
        return {};
    const std::string& word = remaining.front();

    std::vector<std::string> candidates;
    if (word.rfind("-", 0) == 0) {
        for (const CLI::App* pLevel = pCommand; pLevel; pLevel = pLevel->get_parent()) {
            for (const CLI::Option* pOption : pLevel->get_options()) {
                for (const std::string& name : pOption->get_lnames())
                    candidates.push_back("--" + name);
            }
        }
    } else {
        for (const CLI::App* pSub : pCommand->get_subcommands([](const CLI::App*) { return true; }))
            candidates.push_back(pSub->get_name());
    }
    const std::string nearest = NearestWord(word, candidates);
    if (nearest.empty() || nearest == word)
        return {};
    return "Did you mean `" + nearest + "`?";
}
