// Writes the BIFF8 "Workbook" stream of a one-sheet workbook: the workbook globals (fonts,
// cell formats, the sheet list, the shared string table), then the sheet's records.
//
// The globals (with the shared string table) are made whole first, as they refer to every
// text of the sheet; the sheet's records then go out in pieces as they are made, so that a
// large sheet never exists twice in memory. The stream's size is known before a byte of
// the sheet is made, for the container that holds it.
#pragma once

#include "platform/spreadsheet/XlsWorkbook.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CBiffWriter {
public:
    // Checks the sheet and makes the globals; throws CXlsError for a sheet the file
    // format cannot hold (a bad sheet name, cells beyond 65,536 rows or 256 columns, a
    // text over kXlsMaxTextLength characters). The sheet must stay unchanged while the
    // writer lives.
    explicit CBiffWriter(const CXlsSheet& sheet);

    // Bytes of the whole stream.
    [[nodiscard]] std::size_t Size() const { return m_nSize; }
    // Hands the stream to sink in order, in pieces of about 64 KB.
    void Write(const std::function<void(std::string_view)>& sink) const;

    [[nodiscard]] static std::string WriteStream(const CXlsSheet& sheet);

private:
    const CXlsSheet& m_sheet;
    std::string m_globals;
    // The table index of each pooled text the cells refer to.
    std::vector<std::uint32_t> m_vecStringIndex;
    // Each row's first column and one past its last column holding a value (0, 0 for a
    // row without one), for the rows the sheet part writes.
    std::vector<std::uint16_t> m_vecFirst;
    std::vector<std::uint16_t> m_vecEnd;
    std::size_t m_nSize = 0;
};
