// Office Open XML workbooks (.xlsx) for the workbook engine: written with libxlsxwriter,
// read by our own reader over libzip and expat. The reader takes the first sheet's cells
// (shared strings, inline strings, numbers, booleans, errors, dates by their number
// format), column widths and row heights; everything else of the file is left alone.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <string>
#include <string_view>

class CXlsxFile {
public:
    // A zip archive, which is what an .xlsx file is.
    [[nodiscard]] static bool HasSignature(std::string_view bytes);
    // Throws CXlsError with the reason; the caller adds the file name.
    [[nodiscard]] static CXlsSheet ReadFirstSheet(std::string_view bytes);
    // The bytes of a workbook holding the sheet. Throws CXlsError.
    [[nodiscard]] static std::string Write(const CXlsSheet& sheet);
};
