// Reads the first sheet of a BIFF8 "Workbook" stream: cell values and their number
// formats, column widths and row heights.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// How a cell with the number format is shown: built-in formats 14 date; 15-17 other dates;
// 18-21 and 45-47 times; 22 date and time; a custom format (from formats, by number) with
// date or time letters outside quotes and brackets another date; anything else General.
[[nodiscard]] EXlsNumberFormat
ClassifyNumberFormat(std::uint16_t nFormat, const std::map<std::uint16_t, std::u16string>& formats);

class CBiffReader {
public:
    // Throws CXlsError with the reason ("damaged workbook (...)", or what kind of file it
    // is when it is not BIFF8); the caller adds the file name.
    [[nodiscard]] static CXlsSheet ReadFirstSheet(std::string_view stream);
};
