// The settings the command line shows and changes: the options by their registry names, the
// field layouts by header names, the filter rows, the saved option sets and the regional
// settings. Arguments are UTF-8; every check is made before anything is stored, and a
// refused value raises CUsageError with what to do.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class COptions;
class CFieldLayout;
class CRecordFilter;

// Options: "name = value" lines, in the order the options are stored, then the export
// range as dates ("exportfrom", "exportto"). Texts between double quotes as a shell reads
// them back.
void ShowOptions(const COptions& options, std::ostream& out);
// One value by its registry name (any case), checked as the options dialog checks it; also
// "exportfrom" and "exportto" with a date. "settitle" is read-only.
void SetOption(COptions& options, std::string_view name, std::string_view value);
// Every value back to its default; the field layouts and filter rows stay.
void ResetOptions(COptions& options);
// The names "options set" takes.
[[nodiscard]] const std::vector<std::string>& SettableOptionNames();

// Field layouts: "simple = Date,Untimed,..." and "repeat = ...".
void ShowFields(const CFieldLayout& layout, std::ostream& out);
// Header names, each argument a name or a comma-separated list of names (any case). Simple:
// fields "Date" to "Record ID" at most once each, "(Ignored)" any number of times, at least
// one field. Repeat: the twelve repeat fields in any order, each once.
[[nodiscard]] std::vector<unsigned> ParseSimpleFields(const std::vector<std::string>& args);
[[nodiscard]] std::vector<unsigned> ParseRepeatFields(const std::vector<std::string>& args);
// Warnings about a layout that is allowed but probably not meant (UTF-8 lines).
[[nodiscard]] std::vector<std::string> SimpleFieldWarnings(const std::vector<unsigned>& fields);

// Filter rows as the arguments of "filter set": "TYPE:TEXT" and|or "TYPE:TEXT" ...; "none"
// without rows.
[[nodiscard]] std::string DescribeFilter(const CRecordFilter& filter);
// "TYPE:TEXT" [and|or "TYPE:TEXT"]..., at most five rows; TYPE is a row type's display
// text ("text contains", "category is NOT", ...), TEXT everything after the first colon.
[[nodiscard]] CRecordFilter ParseFilter(const std::vector<std::string>& args);

// Saved option sets, by title (compared without regard to case).
void ListSets(const COptions& current, std::ostream& out);
void SaveSet(COptions& current, std::string_view title);
void LoadSet(COptions& current, std::string_view title);
void RenameSet(std::string_view oldTitle, std::string_view newTitle);
void RemoveSet(std::string_view title);

// Regional settings in force (the per-user value, or the locale's default) and the system
// code page.
void ShowRegional(std::ostream& out);
// sShortDate, sTimeFormat, sList, s1159, s2359, sDate, sTime (any case) or codepage (1252,
// 65001). A date or time setting is kept only when today's date and a time of day written
// with it read back as themselves.
void SetRegional(std::string_view name, std::string_view value);
// Removes the per-user values and the code page: the process locale's defaults apply.
void ResetRegional();
