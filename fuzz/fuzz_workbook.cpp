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
            FailAt("the message does not name the file");
        return 0;
    }
    if (workbook.m_vecSheets.size() != 1)
        FailAt("a loaded workbook has not exactly one sheet");

    // The writer may refuse what a damaged file held (a sheet name with a character that
    // names cannot have), with its message; what it writes must load.
    CheckSavedWorkbookLoadsBack(workbook, "again.xls", SameCell);
    return 0;
}
