// What every fuzz target shares: the pinned environment of the tests (a fresh home, time
// zone, clock, regional settings) set up once per process, and a plain reader of the
// leading option bytes and lines of an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Pins the environment: locale variables, TZ Europe/Berlin, the clock at 2026-12-05
// 12:00, and two fresh homes with the regional settings of de-DE, one under code page
// 1252 and one under 65001. The 1252 home is in use afterwards. Call once, from
// LLVMFuzzerInitialize.
void PinFuzzEnvironment();
// Switches VARNO_HOME to the home of that code page (1252 or 65001).
void UseCodePage(unsigned codePage);
// A file path in a scratch folder of the process (in memory where possible), the same for
// every call with the same name.
[[nodiscard]] std::string ScratchPath(std::string_view name);
// Replaces the file with these bytes; aborts when it cannot, as the input then tests
// nothing.
void ReplaceFile(const std::string& path, std::string_view bytes);

// The input as option bytes and lines, then the rest.
class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* pData, std::size_t nSize)
        : m_rest(reinterpret_cast<const char*>(pData), nSize) {}
    // The next byte, 0 when none is left.
    std::uint8_t TakeByte();
    // The bytes up to the next LF (taken, not returned), or all that is left.
    std::string_view TakeLine();
    [[nodiscard]] std::string_view Rest() const { return m_rest; }

private:
    std::string_view m_rest;
};

struct CXlsCell;
class CXlsWorkbook;

// Prints the failed check with the row and column it concerns, then aborts.
[[noreturn]] void FailAt(const char* pszWhat, std::uint32_t nRow = 0, std::uint32_t nColumn = 0);

// Saves a loaded workbook and loads what was saved (named pszAgainName in messages): the
// copy must have the same used range and every cell must be one that sameCell accepts;
// otherwise both cells are printed and the check fails. A workbook the writer refuses
// (with its message) is passed over.
void CheckSavedWorkbookLoadsBack(const CXlsWorkbook& workbook, const char* pszAgainName,
                                 bool (*sameCell)(const CXlsCell& loaded, const CXlsCell& copy));
