#include "platform/spreadsheet/XlsWorkbook.h"

#include "platform/file/OutputFile.h"
#include "platform/spreadsheet/BiffReader.h"
#include "platform/spreadsheet/BiffWriter.h"
#include "platform/spreadsheet/CompoundFile.h"
#include "platform/spreadsheet/XlsxFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The Workbook stream is padded to the mini stream cutoff, so that it always lives in
// regular sectors and the file needs no mini FAT.
constexpr std::size_t kMinStreamSize = 4096;

// Files beyond this are refused before reading: the format's own limits stay far below.
constexpr off_t kMaxFileSize = off_t{1} << 30;

std::string Prefix(const std::string& strName) {
    return strName.empty() ? std::string() : strName + ": ";
}

std::string SystemError(int nError) {
    return std::strerror(nError);
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// What a file that is no compound file is, as far as its first bytes tell.
[[noreturn]] void ThrowNotCompound(std::string_view bytes) {
    using namespace std::string_view_literals;
    if (StartsWith(bytes, "\x09\x00"sv) || StartsWith(bytes, "\x09\x02"sv) ||
        StartsWith(bytes, "\x09\x04"sv) || StartsWith(bytes, "\x09\x08"sv)) {
        throw CXlsError("an Excel 4.0 or older workbook, which cannot be read (only Excel "
                        "97-2003 workbooks can)");
    }
    throw CXlsError("not a workbook");
}

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    [[nodiscard]] int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

CXlsCell& CXlsSheet::At(std::uint32_t nRow, std::uint32_t nColumn) {
    const bool bXls = m_nMaxRows == kXlsMaxRows;
    if (nRow >= m_nMaxRows) {
        throw CXlsError(bXls ? "too many rows for an Excel 97-2003 workbook (65,536 at most)"
                             : "too many rows for a workbook (1,048,576 at most)");
    }
    if (nColumn >= m_nMaxColumns) {
        throw CXlsError(bXls ? "too many columns for an Excel 97-2003 workbook (256 at most)"
                             : "too many columns for a workbook (16,384 at most)");
    }
    if (m_vecRows.size() <= nRow) {
        m_vecRows.resize(std::size_t{nRow} + 1);
    }
    std::vector<CXlsCell>& row = m_vecRows[nRow];
    if (row.size() <= nColumn) {
        row.resize(std::size_t{nColumn} + 1);
    }
    return row[nColumn];
}

const CXlsCell* CXlsSheet::Find(std::uint32_t nRow, std::uint32_t nColumn) const {
    if (nRow >= m_vecRows.size() || nColumn >= m_vecRows[nRow].size()) {
        return nullptr;
    }
    return &m_vecRows[nRow][nColumn];
}

bool CXlsSheet::UsedRange(std::uint32_t& nFirstRow, std::uint32_t& nFirstColumn,
                          std::uint32_t& nLastRow, std::uint32_t& nLastColumn) const {
    bool bAny = false;
    for (std::size_t r = 0; r < m_vecRows.size(); ++r) {
        const std::vector<CXlsCell>& row = m_vecRows[r];
        for (std::size_t c = 0; c < row.size(); ++c) {
            const CXlsCell& cell = row[c];
            if (cell.IsEmpty() ||
                (cell.m_kind == CXlsCell::EKind::Text && cell.m_strText.empty())) {
                continue;
            }
            const auto nRow = static_cast<std::uint32_t>(r);
            const auto nCol = static_cast<std::uint32_t>(c);
            if (!bAny) {
                nFirstRow = nLastRow = nRow;
                nFirstColumn = nLastColumn = nCol;
                bAny = true;
            }
            nLastRow = nRow;
            nFirstColumn = std::min(nFirstColumn, nCol);
            nLastColumn = std::max(nLastColumn, nCol);
        }
    }
    return bAny;
}

double CXlsSheet::RowHeight(std::uint32_t nRow) const {
    if (nRow < m_vecRowHeights.size() && m_vecRowHeights[nRow] > 0) {
        return m_vecRowHeights[nRow];
    }
    return kDefaultRowHeight;
}

CXlsWorkbook::CXlsWorkbook() : m_vecSheets(1) {}

void CXlsWorkbook::SetFileFormat(EXlsFileFormat format) {
    m_fileFormat = format;
    const bool bXlsx = format == EXlsFileFormat::Xlsx;
    for (CXlsSheet& sheet : m_vecSheets) {
        sheet.m_nMaxRows = bXlsx ? kXlsxMaxRows : kXlsMaxRows;
        sheet.m_nMaxColumns = bXlsx ? kXlsxMaxColumns : kXlsMaxColumns;
    }
}

std::string CXlsWorkbook::SaveToMemory() const {
    if (m_fileFormat == EXlsFileFormat::Xlsx)
        return CXlsxFile::Write(m_vecSheets.empty() ? CXlsSheet{} : m_vecSheets.front());
    std::string stream =
        CBiffWriter::WriteStream(m_vecSheets.empty() ? CXlsSheet{} : m_vecSheets.front());
    if (stream.size() < kMinStreamSize) {
        stream.resize(kMinStreamSize, '\0');
    }
    std::vector<CCompoundFile::CStream> streams(1);
    streams[0].m_strName = u"Workbook";
    streams[0].m_bytes = std::move(stream);
    return CCompoundFile::Write(streams);
}

void CXlsWorkbook::Save(const std::string& strPath) const {
    std::string bytes;
    try {
        bytes = SaveToMemory();
    } catch (const CXlsError& e) {
        throw CXlsError(Prefix(strPath) + e.what());
    }
    if (!COutputFile::WriteWhole(strPath, bytes)) {
        throw CXlsError(Prefix(strPath) + "cannot write (" + SystemError(errno) + ")");
    }
}

CXlsWorkbook CXlsWorkbook::Load(const std::string& strPath) {
    const CFileDescriptor file(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        throw CXlsError(Prefix(strPath) + "cannot open (" + SystemError(errno) + ")");
    }
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) {
        throw CXlsError(Prefix(strPath) + "cannot read (" + SystemError(errno) + ")");
    }
    if (!S_ISREG(st.st_mode)) {
        throw CXlsError(Prefix(strPath) + "not a workbook");
    }
    if (st.st_size > kMaxFileSize) {
        throw CXlsError(Prefix(strPath) + "too large for a workbook");
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t nRead = 0;
    while (nRead < bytes.size()) {
        const ssize_t n = ::read(file.Get(), bytes.data() + nRead, bytes.size() - nRead);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw CXlsError(Prefix(strPath) + "cannot read (" + SystemError(errno) + ")");
        }
        if (n == 0) {
            bytes.resize(nRead); // the file shrank meanwhile
            break;
        }
        nRead += static_cast<std::size_t>(n);
    }
    return LoadFromMemory(bytes, strPath);
}

CXlsWorkbook CXlsWorkbook::LoadFromMemory(std::string_view bytes, const std::string& strName) {
    try {
        if (CXlsxFile::HasSignature(bytes)) {
            CXlsWorkbook workbook;
            workbook.SetFileFormat(EXlsFileFormat::Xlsx);
            workbook.m_vecSheets.front() = CXlsxFile::ReadFirstSheet(bytes);
            workbook.SetFileFormat(EXlsFileFormat::Xlsx);
            return workbook;
        }
        if (!CCompoundFile::HasSignature(bytes)) {
            ThrowNotCompound(bytes);
        }
        std::string stream;
        if (!CCompoundFile::ReadStream(bytes, u"Workbook", stream)) {
            if (CCompoundFile::ReadStream(bytes, u"Book", stream)) {
                throw CXlsError("an Excel 5.0/95 workbook, which cannot be read (only Excel "
                                "97-2003 workbooks can)");
            }
            throw CXlsError("not a workbook");
        }
        CXlsWorkbook workbook;
        workbook.m_vecSheets.front() = CBiffReader::ReadFirstSheet(stream);
        return workbook;
    } catch (const CXlsError& e) {
        throw CXlsError(Prefix(strName) + e.what());
    } catch (const std::bad_alloc&) {
        throw CXlsError(Prefix(strName) + "not enough memory to read the workbook");
    }
}
