// Saved option sets: complete copies of the options under a title, each in its own key
// Software\Brenmark\VARNO\Options<n>, numbered from 0 without gaps. Titles identify the
// sets to the user and compare without regard to case.
#pragma once

#include <string>

class COptions;

inline constexpr int kMaxSavedOptions = 100;

class CSavedOptions {
public:
    CSavedOptions() = delete;

    // The key of set nSet: the main options key followed by the number.
    [[nodiscard]] static std::string GetKeyPath(int nSet);
    // The sets 0, 1, ... up to the first without a title, at most 100.
    [[nodiscard]] static int GetCount();
    // "settitle" of the set; empty when missing.
    [[nodiscard]] static std::string GetTitle(int nSet);
    // The first set whose title equals strTitle ignoring case; GetCount() when none does.
    [[nodiscard]] static int FindByTitle(const std::string& strTitle);
    // The set's values into the record; values missing from the key keep its content.
    static void Load(int nSet, COptions& options);
    // Gives the record the title and writes it into the set's key.
    static void Store(COptions& options, int nSet, const std::string& strTitle);
    // Removes a set; the later sets move down by one, so the numbers stay without gaps.
    static void Remove(int nSet);
    // Gives set nSet a new title. When another set has that title (ignoring case), set
    // nSet's content replaces that set under the new title and set nSet is removed, so
    // one set fewer remains. Returns the number the renamed set ends up with; -1 when nSet
    // names no set.
    static int Rename(int nSet, const std::string& strTitle);
    // The first set whose content equals the record's (the title aside); -1 when none.
    [[nodiscard]] static int FindEqual(const COptions& options);
};
