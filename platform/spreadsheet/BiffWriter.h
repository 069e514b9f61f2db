// Writes the BIFF8 "Workbook" stream of a one-sheet workbook: the workbook globals (fonts,
// cell formats, the sheet list, the shared string table), then the sheet's records.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <string>

class CBiffWriter {
public:
    // Throws CXlsError for a sheet the file format cannot hold (a bad sheet name, cells
    // beyond 65,536 rows or 256 columns, a text over kXlsMaxTextLength characters).
    [[nodiscard]] static std::string WriteStream(const CXlsSheet& sheet);
};
