// Reads the first sheet of a BIFF8 "Workbook" stream: cell values and their number
// formats, column widths and row heights.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <string_view>

class CBiffReader {
public:
    // Throws CXlsError with the reason ("damaged workbook (...)", or what kind of file it
    // is when it is not BIFF8); the caller adds the file name.
    [[nodiscard]] static CXlsSheet ReadFirstSheet(std::string_view stream);
};
