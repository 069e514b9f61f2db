// The format of a file, chosen from its name: ".xls" and ".xlsx" workbooks (only while the
// spreadsheet can be driven), ".vcs" and ".ics" calendar files (export only), CSV for every other
// name. Also the file-dialog filter lists and the filter entry a name preselects.
#pragma once

#include "formats/FileFormat.h"

#include <memory>
#include <string>
#include <string_view>

class COptions;

// The name's extension, compared without regard to case. Workbooks are ".xls" and
// ".xlsx" names (the spreadsheet reads either kind by its content).
[[nodiscard]] bool IsExcelFile(std::string_view name);
[[nodiscard]] bool IsXlsxFile(std::string_view name);
[[nodiscard]] bool IsVcsFile(std::string_view name);
[[nodiscard]] bool IsIcsFile(std::string_view name);

// The name of the format the name chooses, as a summary shows it: "XLS", "XLSX",
// "vCalendar", "iCalendar" or "CSV" (every other name, whatever its extension).
[[nodiscard]] const char* FormatNameOf(std::string_view name);

// A format for the name, configured from the options and opened for writing; empty when
// none can be had (a workbook without the spreadsheet, a file that cannot be opened). Then
// pstrReason, when given, says why.
[[nodiscard]] std::unique_ptr<CFileFormat> OpenExportFile(const std::string& strFileName,
                                                          const COptions& options,
                                                          std::string* pstrReason = nullptr);
// The same for reading: workbooks and CSV; calendar names are read as CSV.
[[nodiscard]] std::unique_ptr<CFileFormat> OpenImportFile(const std::string& strFileName,
                                                          const COptions& options,
                                                          std::string* pstrReason = nullptr);

// File-dialog filters: description "|" pattern "|" per entry, ended by a further "|".
// Import: workbooks (when available), CSV, all files. Export: workbooks (when available),
// CSV, vCalendar (simple format only), iCalendar.
[[nodiscard]] std::string GetImportFilter();
[[nodiscard]] std::string GetExportFilter(const COptions& options);
// The 1-based filter entry whose pattern has the name's extension; the last entry for an
// unknown extension, 1 for a name without one.
[[nodiscard]] int GetFilterIndex(std::string_view name, std::string_view filter);
