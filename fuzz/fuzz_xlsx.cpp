// The .xlsx reader (zip archive, relationships, workbook, shared strings, styles, sheet)
// on any bytes: a load ends in a workbook or in CXlsError naming the file, never in a
// crash, another exception or a hang. A workbook that loads and can be saved loads again
// from what was saved, with the same cells.
//
// Input: the bytes of an archive when they start with "PK"; otherwise parts separated by
// NUL bytes, each its name, LF, then its content, which are packed into an archive
// (stored, with right checksums) so that the mutations reach the XML.
#include "fuzz/FuzzSupport.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// What of a cell an .xlsx file keeps: its kind, number, text and whether it is a date.
// Every error value is saved as the formula NA() (the code is not kept), and a text's
// quote prefix is not written.
bool SameCell(const CXlsCell& a, const CXlsCell& b) {
    if (a.m_kind != b.m_kind)
        return false;
    switch (a.m_kind) {
    case CXlsCell::EKind::Error:
    case CXlsCell::EKind::Empty:
        return true;
    case CXlsCell::EKind::Text:
        return a.m_strText == b.m_strText;
    case CXlsCell::EKind::Boolean:
        return a.m_dNumber == b.m_dNumber;
    case CXlsCell::EKind::Number: {
        // The writing library prints numbers with 16 significant digits, not the 17 some
        // need.
        char sz[32];
        std::snprintf(sz, sizeof sz, "%.16G", a.m_dNumber);
        return (a.m_dNumber == b.m_dNumber || std::strtod(sz, nullptr) == b.m_dNumber) &&
               a.IsDate() == b.IsDate();
    }
    }
    return false;
}

struct CZipDiscard {
    void operator()(zip_t* p) const { zip_discard(p); }
};
struct CSourceFree {
    void operator()(zip_source_t* p) const { zip_source_free(p); }
};

// The parts packed into an archive; empty when libzip refuses them all.
std::string PackParts(std::string_view input) {
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, CSourceFree> pOut(
        zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_error_fini(&error);
    if (!pOut)
        FailAt("libzip cannot make a buffer");
    zip_source_keep(pOut.get());
    std::unique_ptr<zip_t, CZipDiscard> pZip(
        zip_open_from_source(pOut.get(), ZIP_TRUNCATE, nullptr));
    if (!pZip)
        FailAt("libzip cannot open a buffer");
    std::vector<std::string> names;
    while (!input.empty()) {
        const std::size_t nEnd = input.find('\0');
        std::string_view part = input.substr(0, nEnd);
        input.remove_prefix(nEnd == std::string_view::npos ? input.size() : nEnd + 1);
        const std::size_t nName = part.find('\n');
        if (nName == std::string_view::npos)
            continue;
        names.emplace_back(part.substr(0, nName));
        part.remove_prefix(nName + 1);
        zip_source_t* pPart = zip_source_buffer(pZip.get(), part.data(), part.size(), 0);
        if (!pPart)
            continue;
        const zip_int64_t nIndex =
            zip_file_add(pZip.get(), names.back().c_str(), pPart, ZIP_FL_OVERWRITE);
        if (nIndex < 0) {
            zip_source_free(pPart);
            continue;
        }
        (void)zip_set_file_compression(pZip.get(), static_cast<zip_uint64_t>(nIndex), ZIP_CM_STORE,
                                       0);
    }
    if (zip_close(pZip.get()) != 0)
        return {};
    (void)pZip.release();
    std::string out;
    // No part at all leaves no archive.
    if (zip_source_open(pOut.get()) != 0)
        return {};
    char buf[65536];
    for (zip_int64_t n = 0; (n = zip_source_read(pOut.get(), buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    (void)zip_source_close(pOut.get());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    const std::string_view input(reinterpret_cast<const char*>(pData), nSize);
    const std::string packed = input.starts_with("PK") ? std::string() : PackParts(input);
    const std::string_view bytes = input.starts_with("PK") ? input : std::string_view(packed);
    if (bytes.empty())
        return 0;
    CXlsWorkbook workbook;
    try {
        workbook = CXlsWorkbook::LoadFromMemory(bytes, "fuzz.xlsx");
    } catch (const CXlsError& e) {
        if (std::strncmp(e.what(), "fuzz.xlsx: ", 11) != 0)
            FailAt("the message does not name the file");
        return 0;
    }
    if (workbook.m_vecSheets.size() != 1)
        FailAt("a loaded workbook has not exactly one sheet");
    if (workbook.GetFileFormat() != EXlsFileFormat::Xlsx)
        FailAt("a zip archive loaded as another format");

    // The writer may refuse what a damaged file held (a text longer than a cell holds),
    // with its message; what it writes must load.
    CheckSavedWorkbookLoadsBack(workbook, "again.xlsx", SameCell);
    return 0;
}
