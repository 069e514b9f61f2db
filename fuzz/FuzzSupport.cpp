#include "fuzz/FuzzSupport.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include "tests/support/TestHome.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// The homes live until the process ends; their destructors remove the folders.
struct CFuzzHomes {
    std::unique_ptr<CTestHome> m_pAnsi;
    std::unique_ptr<CTestHome> m_pUtf8;
    // Files rewritten for every input, in memory where the system offers a tmpfs: a disk
    // file system flushes a truncated file when it is closed, which makes every input
    // wait for the disk.
    std::string m_strScratch;
    ~CFuzzHomes() {
        std::error_code ec;
        if (!m_strScratch.empty())
            std::filesystem::remove_all(m_strScratch, ec);
    }
};

CFuzzHomes& Homes() {
    static CFuzzHomes s_homes;
    return s_homes;
}

} // namespace

void PinFuzzEnvironment() {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    unsetenv("LC_TIME");
    setenv("LANG", "en_US.UTF-8", 1);
    SetTimeZone("Europe/Berlin");
    SetClock(2026, 12, 5, 12, 0, 0);
    CFuzzHomes& homes = Homes();
    homes.m_pUtf8 = std::make_unique<CTestHome>();
    SetCodePage(65001);
    SetRegional("de-DE");
    homes.m_pAnsi = std::make_unique<CTestHome>();
    SetCodePage(1252);
    SetRegional("de-DE");
    std::string pattern = "/dev/shm/varno-fuzz-XXXXXX";
    homes.m_strScratch = mkdtemp(pattern.data()) ? pattern : homes.m_pAnsi->Path() + "/scratch";
    std::filesystem::create_directories(homes.m_strScratch);
}

void UseCodePage(unsigned codePage) {
    const CFuzzHomes& homes = Homes();
    const std::string& home = codePage == 65001 ? homes.m_pUtf8->Path() : homes.m_pAnsi->Path();
    setenv("VARNO_HOME", home.c_str(), 1);
}

std::string ScratchPath(std::string_view name) {
    return Homes().m_strScratch + "/" + std::string(name);
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
}

std::uint8_t CFuzzInput::TakeByte() {
    if (m_rest.empty())
        return 0;
    const auto b = static_cast<std::uint8_t>(m_rest.front());
    m_rest.remove_prefix(1);
    return b;
}

std::string_view CFuzzInput::TakeLine() {
    const std::size_t nEnd = m_rest.find('\n');
    const std::string_view line = m_rest.substr(0, nEnd);
    m_rest.remove_prefix(nEnd == std::string_view::npos ? m_rest.size() : nEnd + 1);
    return line;
}

void FailAt(const char* pszWhat, std::uint32_t nRow, std::uint32_t nColumn) {
    std::fprintf(stderr, "%s (row %u, column %u)\n", pszWhat, nRow, nColumn);
    std::abort();
}

namespace {

void PrintCell(const char* pszWhich, const CXlsCell& cell) {
    std::fprintf(stderr, "%s: kind %d, number %.17g, format %d, %zu text units:", pszWhich,
                 static_cast<int>(cell.m_kind), cell.m_dNumber, static_cast<int>(cell.m_format),
                 cell.m_strText.size());
    for (const char16_t ch : cell.m_strText)
        std::fprintf(stderr, " %04x", static_cast<unsigned>(ch));
    std::fprintf(stderr, "\n");
}

} // namespace

void CheckSavedWorkbookLoadsBack(const CXlsWorkbook& workbook, const char* pszAgainName,
                                 bool (*sameCell)(const CXlsCell& loaded, const CXlsCell& copy)) {
    std::string saved;
    try {
        saved = workbook.SaveToMemory();
    } catch (const CXlsError&) {
        return;
    }
    CXlsWorkbook again;
    try {
        again = CXlsWorkbook::LoadFromMemory(saved, pszAgainName);
    } catch (const CXlsError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FailAt("a loaded workbook saved does not load again");
    }
    const CXlsSheet& sheet = workbook.m_vecSheets.at(0);
    const CXlsSheet& copy = again.m_vecSheets.at(0);
    std::uint32_t nFirstRow = 0, nFirstColumn = 0, nLastRow = 0, nLastColumn = 0;
    std::uint32_t nCopyFirstRow = 0, nCopyFirstColumn = 0, nCopyLastRow = 0, nCopyLastColumn = 0;
    const bool bUsed = sheet.UsedRange(nFirstRow, nFirstColumn, nLastRow, nLastColumn);
    if (copy.UsedRange(nCopyFirstRow, nCopyFirstColumn, nCopyLastRow, nCopyLastColumn) != bUsed ||
        nCopyFirstRow != nFirstRow || nCopyFirstColumn != nFirstColumn ||
        nCopyLastRow != nLastRow || nCopyLastColumn != nLastColumn)
        FailAt("the used range of a saved sheet differs", nLastRow, nLastColumn);
    for (std::uint32_t r = 0; r < sheet.RowCount(); ++r) {
        for (std::uint32_t c = 0; c < sheet.ColumnCount(r); ++c) {
            const CXlsCell cell = sheet.Get(r, c);
            const CXlsCell cellCopy = copy.Get(r, c);
            if (cell.IsEmpty() ? !cellCopy.IsEmpty() : !sameCell(cell, cellCopy)) {
                PrintCell("loaded", cell);
                PrintCell("saved and loaded again", cellCopy);
                FailAt("a cell saved reads back otherwise", r, c);
            }
        }
    }
}
