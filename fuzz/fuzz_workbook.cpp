// The workbook reader (compound file container and BIFF8 records) on any bytes: a load
// ends in a workbook or in CXlsError, never in a crash, another exception or a hang. A
// workbook that loads and can be saved loads again from what was saved, with the same
// cells.
#include "fuzz/FuzzSupport.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Fail(const char* pszWhat, std::uint32_t nRow = 0, std::uint32_t nColumn = 0) {
    std::fprintf(stderr, "%s (row %u, column %u)\n", pszWhat, nRow, nColumn);
    std::abort();
}

void PrintCell(const char* pszWhich, const CXlsCell& cell) {
    std::fprintf(stderr, "%s: kind %d, number %.17g, format %d, %zu text units:", pszWhich,
                 static_cast<int>(cell.m_kind), cell.m_dNumber, static_cast<int>(cell.m_format),
                 cell.m_strText.size());
    for (const char16_t ch : cell.m_strText)
        std::fprintf(stderr, " %04x", static_cast<unsigned>(ch));
    std::fprintf(stderr, "\n");
}

// What of a cell survives a save: its kind, number and text. Numbers that are not
// finite are saved as #NUM!.
bool SameCell(const CXlsCell& a, const CXlsCell& b) {
    if (a.m_kind == CXlsCell::EKind::Number && !std::isfinite(a.m_dNumber))
        return b.m_kind == CXlsCell::EKind::Error;
    // A formula's missing result is written as #N/A.
    if (a.m_kind == CXlsCell::EKind::Error && a.m_dNumber == kXlsNoValue)
        return b.m_kind == CXlsCell::EKind::Error && b.m_dNumber == 0x2A;
    if (a.m_kind != b.m_kind || a.m_strText != b.m_strText)
        return false;
    return std::memcmp(&a.m_dNumber, &b.m_dNumber, sizeof a.m_dNumber) == 0 ||
           a.m_dNumber == b.m_dNumber;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    const std::string_view bytes(reinterpret_cast<const char*>(pData), nSize);
    CXlsWorkbook workbook;
    try {
        workbook = CXlsWorkbook::LoadFromMemory(bytes, "fuzz.xls");
    } catch (const CXlsError& e) {
        if (std::strncmp(e.what(), "fuzz.xls: ", 10) != 0)
            Fail("the message does not name the file");
        return 0;
    }
    if (workbook.m_vecSheets.size() != 1)
        Fail("a loaded workbook has not exactly one sheet");
    const CXlsSheet& sheet = workbook.m_vecSheets[0];
    std::uint32_t nFirstRow = 0, nFirstColumn = 0, nLastRow = 0, nLastColumn = 0;

    // The writer may refuse what a damaged file held (a sheet name with a character that
    // names cannot have), with its message; what it writes must load.
    std::string saved;
    try {
        saved = workbook.SaveToMemory();
    } catch (const CXlsError&) {
        return 0;
    }
    CXlsWorkbook again;
    try {
        again = CXlsWorkbook::LoadFromMemory(saved, "again.xls");
    } catch (const CXlsError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Fail("a loaded workbook saved does not load again");
    }
    const CXlsSheet& copy = again.m_vecSheets.at(0);
    std::uint32_t nCopyFirstRow = 0, nCopyFirstColumn = 0, nCopyLastRow = 0, nCopyLastColumn = 0;
    const bool bUsed = sheet.UsedRange(nFirstRow, nFirstColumn, nLastRow, nLastColumn);
    if (copy.UsedRange(nCopyFirstRow, nCopyFirstColumn, nCopyLastRow, nCopyLastColumn) != bUsed ||
        nCopyFirstRow != nFirstRow || nCopyFirstColumn != nFirstColumn ||
        nCopyLastRow != nLastRow || nCopyLastColumn != nLastColumn)
        Fail("the used range of a saved sheet differs", nLastRow, nLastColumn);
    for (std::uint32_t r = 0; r < sheet.m_vecRows.size(); ++r) {
        for (std::uint32_t c = 0; c < sheet.m_vecRows[r].size(); ++c) {
            const CXlsCell& cell = sheet.m_vecRows[r][c];
            const CXlsCell* pCopy = copy.Find(r, c);
            if (cell.IsEmpty() ? pCopy && !pCopy->IsEmpty() : !pCopy || !SameCell(cell, *pCopy)) {
                PrintCell("loaded", cell);
                if (pCopy)
                    PrintCell("saved and loaded again", *pCopy);
                Fail("a cell saved reads back otherwise", r, c);
            }
        }
    }
    return 0;
}
