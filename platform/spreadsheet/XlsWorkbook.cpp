#include "platform/spreadsheet/XlsWorkbook.h"

#include "platform/file/OutputFile.h"
#include "platform/spreadsheet/BiffReader.h"
#include "platform/spreadsheet/BiffWriter.h"
#include "platform/spreadsheet/CompoundFile.h"
#include "platform/spreadsheet/XlsxFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
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

CXlsCell CXlsCellView::ToCell() const {
    CXlsCell cell;
    cell.m_kind = m_kind;
    cell.m_dNumber = m_dNumber;
    cell.m_strText = std::u16string(m_strText);
    cell.m_format = m_format;
    cell.m_bQuotePrefix = m_bQuotePrefix;
    return cell;
}

CXlsTextPool::CXlsTextPool(const CXlsTextPool& other) {
    *this = other;
}

CXlsTextPool& CXlsTextPool::operator=(const CXlsTextPool& other) {
    if (this == &other) {
        return *this;
    }
    CXlsTextPool copy;
    for (const std::u16string_view text : other.m_vecTexts) {
        copy.Intern(text);
    }
    *this = std::move(copy);
    return *this;
}

std::uint32_t CXlsTextPool::Hash(std::u16string_view text) {
    const std::size_t nHash = std::hash<std::u16string_view>{}(text);
    return static_cast<std::uint32_t>(nHash ^ (nHash >> 32));
}

void CXlsTextPool::Reserve(std::size_t nTexts) {
    m_vecTexts.reserve(nTexts);
    // At most half full with every text in (Intern's rule).
    std::size_t nSlots = 1024;
    while (nSlots < (nTexts + 1) * 2) {
        nSlots *= 2;
    }
    if (nSlots > m_vecSlots.size()) {
        Grow(nSlots);
    }
}

void CXlsTextPool::Grow(std::size_t nSlots) {
    std::vector<SSlot> slots(nSlots);
    const std::size_t nMask = slots.size() - 1;
    for (const SSlot& slot : m_vecSlots) {
        if (slot.m_nIndex == 0) {
            continue;
        }
        std::size_t k = slot.m_nHash & nMask;
        while (slots[k].m_nIndex != 0) {
            k = (k + 1) & nMask;
        }
        slots[k] = slot;
    }
    m_vecSlots = std::move(slots);
}

std::uint32_t CXlsTextPool::Intern(std::u16string_view text) {
    if ((m_vecTexts.size() + 1) * 2 > m_vecSlots.size()) {
        Grow(std::max<std::size_t>(1024, m_vecSlots.size() * 2));
    }
    const std::uint32_t nHash = Hash(text);
    const std::size_t nMask = m_vecSlots.size() - 1;
    std::size_t k = nHash & nMask;
    while (m_vecSlots[k].m_nIndex != 0) {
        const SSlot& slot = m_vecSlots[k];
        if (slot.m_nHash == nHash && m_vecTexts[slot.m_nIndex - 1] == text) {
            return slot.m_nIndex - 1;
        }
        k = (k + 1) & nMask;
    }
    if (m_vecTexts.size() >= 0xFFFFFFFEu) {
        throw CXlsError("too many different texts in one sheet");
    }
    char16_t* pAt = nullptr;
    if (text.size() > kChunkChars) {
        // A chunk of its own, full at once: the next text starts a new chunk.
        m_vecChunks.push_back(std::make_unique_for_overwrite<char16_t[]>(text.size()));
        pAt = m_vecChunks.back().get();
        m_nChunkUsed = kChunkChars;
    } else {
        if (kChunkChars - m_nChunkUsed < text.size()) {
            m_vecChunks.push_back(std::make_unique_for_overwrite<char16_t[]>(kChunkChars));
            m_nChunkUsed = 0;
        }
        pAt = m_vecChunks.empty() ? nullptr : m_vecChunks.back().get() + m_nChunkUsed;
        m_nChunkUsed += text.size();
    }
    std::copy(text.begin(), text.end(), pAt);
    m_vecTexts.emplace_back(pAt, text.size());
    m_vecSlots[k] = SSlot{static_cast<std::uint32_t>(m_vecTexts.size()), nHash};
    return static_cast<std::uint32_t>(m_vecTexts.size() - 1);
}

void CXlsSheet::CheckLimits(std::uint32_t nRow, std::uint32_t nColumn) const {
    const bool bXls = m_nMaxRows == kXlsMaxRows;
    if (nRow >= m_nMaxRows) {
        throw CXlsError(bXls ? "too many rows for an Excel 97-2003 workbook (65,536 at most)"
                             : "too many rows for a workbook (1,048,576 at most)");
    }
    if (nColumn >= m_nMaxColumns) {
        throw CXlsError(bXls ? "too many columns for an Excel 97-2003 workbook (256 at most)"
                             : "too many columns for a workbook (16,384 at most)");
    }
}

void CXlsSheet::Set(std::uint32_t nRow, std::uint32_t nColumn, const CXlsCellView& cell) {
    if (!cell.HasValue()) {
        if (const SStoredCell* pStored = Find(nRow, nColumn)) {
            std::vector<SStoredCell>& row = m_vecRows[nRow];
            row.erase(row.begin() + (pStored - row.data()));
            m_bUsedKnown = false;
        }
        return;
    }
    CheckLimits(nRow, nColumn);
    SStoredCell stored;
    stored.m_nColumn = static_cast<std::uint16_t>(nColumn);
    stored.m_kind = cell.m_kind;
    stored.m_format = cell.m_format;
    stored.m_bQuotePrefix = cell.m_bQuotePrefix;
    if (cell.m_kind == CXlsCell::EKind::Text) {
        stored.m_nLow = m_texts.Intern(cell.m_strText);
    } else {
        const auto bits = std::bit_cast<std::uint64_t>(cell.m_dNumber);
        stored.m_nLow = static_cast<std::uint32_t>(bits);
        stored.m_nHigh = static_cast<std::uint32_t>(bits >> 32);
    }
    Store(nRow, nColumn, stored);
}

void CXlsSheet::SetText(std::uint32_t nRow, std::uint32_t nColumn, std::uint32_t nTextIndex,
                        bool bQuotePrefix) {
    if (m_texts.Get(nTextIndex).empty()) {
        Set(nRow, nColumn, CXlsCellView{});
        return;
    }
    CheckLimits(nRow, nColumn);
    SStoredCell stored;
    stored.m_nColumn = static_cast<std::uint16_t>(nColumn);
    stored.m_kind = CXlsCell::EKind::Text;
    stored.m_nLow = nTextIndex;
    stored.m_bQuotePrefix = bQuotePrefix;
    Store(nRow, nColumn, stored);
}

void CXlsSheet::ReserveCells(std::uint32_t nRow, std::uint32_t nCells) {
    if (nRow >= m_nMaxRows || nCells == 0) {
        return;
    }
    if (m_vecRows.size() <= nRow) {
        m_vecRows.resize(std::size_t{nRow} + 1);
    }
    m_vecRows[nRow].reserve(std::min(nCells, m_nMaxColumns));
}

void CXlsSheet::Store(std::uint32_t nRow, std::uint32_t nColumn, const SStoredCell& stored) {
    if (m_vecRows.size() <= nRow) {
        m_vecRows.resize(std::size_t{nRow} + 1);
    }
    std::vector<SStoredCell>& row = m_vecRows[nRow];
    if (row.empty() || row.back().m_nColumn < nColumn) {
        row.push_back(stored); // cells put from left to right
    } else {
        const auto it =
            std::lower_bound(row.begin(), row.end(), nColumn,
                             [](const SStoredCell& c, std::uint32_t n) { return c.m_nColumn < n; });
        if (it != row.end() && it->m_nColumn == nColumn) {
            *it = stored;
        } else {
            row.insert(it, stored);
        }
    }
    if (!m_bUsedKnown) {
        return;
    }
    if (!m_bAnyUsed) {
        m_bAnyUsed = true;
        m_nUsedTop = m_nUsedBottom = nRow;
        m_nUsedLeft = m_nUsedRight = nColumn;
        return;
    }
    m_nUsedTop = std::min(m_nUsedTop, nRow);
    m_nUsedBottom = std::max(m_nUsedBottom, nRow);
    m_nUsedLeft = std::min(m_nUsedLeft, nColumn);
    m_nUsedRight = std::max(m_nUsedRight, nColumn);
}

bool CXlsSheet::UsedRange(std::uint32_t& nFirstRow, std::uint32_t& nFirstColumn,
                          std::uint32_t& nLastRow, std::uint32_t& nLastColumn) const {
    if (!m_bUsedKnown) {
        m_bAnyUsed = false;
        for (std::size_t r = 0; r < m_vecRows.size(); ++r) {
            const std::vector<SStoredCell>& row = m_vecRows[r];
            if (row.empty()) {
                continue;
            }
            const auto nRow = static_cast<std::uint32_t>(r);
            const std::uint32_t nLeft = row.front().m_nColumn;
            const std::uint32_t nRight = row.back().m_nColumn;
            if (!m_bAnyUsed) {
                m_nUsedTop = nRow;
                m_nUsedLeft = nLeft;
                m_nUsedRight = nRight;
                m_bAnyUsed = true;
            }
            m_nUsedBottom = nRow;
            m_nUsedLeft = std::min(m_nUsedLeft, nLeft);
            m_nUsedRight = std::max(m_nUsedRight, nRight);
        }
        m_bUsedKnown = true;
    }
    if (m_bAnyUsed) {
        nFirstRow = m_nUsedTop;
        nFirstColumn = m_nUsedLeft;
        nLastRow = m_nUsedBottom;
        nLastColumn = m_nUsedRight;
    }
    return m_bAnyUsed;
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

const CXlsSheet& CXlsWorkbook::FirstSheet() const {
    static const CXlsSheet s_empty;
    return m_vecSheets.empty() ? s_empty : m_vecSheets.front();
}

std::string CXlsWorkbook::SaveToMemory() const {
    if (m_fileFormat == EXlsFileFormat::Xlsx)
        return CXlsxFile::Write(FirstSheet());
    std::string stream = CBiffWriter::WriteStream(FirstSheet());
    if (stream.size() < kMinStreamSize) {
        stream.resize(kMinStreamSize, '\0');
    }
    std::vector<CCompoundFile::CStream> streams(1);
    streams[0].m_strName = u"Workbook";
    streams[0].m_bytes = std::move(stream);
    return CCompoundFile::Write(streams);
}

void CXlsWorkbook::Save(const std::string& strPath) const {
    if (m_fileFormat == EXlsFileFormat::Xlsx) {
        std::string bytes;
        try {
            bytes = SaveToMemory();
        } catch (const CXlsError& e) {
            throw CXlsError(Prefix(strPath) + e.what());
        }
        if (!COutputFile::WriteWhole(strPath, bytes)) {
            throw CXlsError(Prefix(strPath) + "cannot write (" + SystemError(errno) + ")");
        }
        return;
    }
    // The container first, then the stream as the writer makes it: the file never exists
    // whole in memory. It goes to a temporary file put in place at the end, so a failed
    // save leaves the old file.
    std::optional<CBiffWriter> writer;
    try {
        writer.emplace(FirstSheet());
    } catch (const CXlsError& e) {
        throw CXlsError(Prefix(strPath) + e.what());
    }
    const std::size_t nStream = std::max(writer->Size(), kMinStreamSize);
    COutputFile file;
    const auto fail = [&strPath] {
        throw CXlsError(Prefix(strPath) + "cannot write (" + SystemError(errno) + ")");
    };
    if (!file.Open(strPath) || !file.Write(CCompoundFile::WriteHead(u"Workbook", nStream))) {
        fail();
    }
    try {
        writer->Write([&](std::string_view piece) {
            if (!file.Write(piece)) {
                fail();
            }
        });
    } catch (const CXlsError& e) {
        if (std::string_view(e.what()).starts_with(Prefix(strPath))) {
            throw;
        }
        throw CXlsError(Prefix(strPath) + e.what());
    }
    const std::string zeros(nStream - writer->Size() + CCompoundFile::PaddingAfter(nStream), '\0');
    if (!file.Write(zeros) || !file.Commit()) {
        fail();
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
    // Room the read fills, not cleared first (a workbook is often some ten megabytes).
    const std::size_t nSize = static_cast<std::size_t>(st.st_size);
    const std::unique_ptr<char[]> pBytes = std::make_unique_for_overwrite<char[]>(nSize);
    std::string_view bytes(pBytes.get(), nSize);
    std::size_t nRead = 0;
    while (nRead < bytes.size()) {
        const ssize_t n = ::read(file.Get(), pBytes.get() + nRead, bytes.size() - nRead);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw CXlsError(Prefix(strPath) + "cannot read (" + SystemError(errno) + ")");
        }
        if (n == 0) {
            bytes = bytes.substr(0, nRead); // the file shrank meanwhile
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
        std::string storage;
        std::string_view stream;
        if (!CCompoundFile::ReadStream(bytes, u"Workbook", storage, stream)) {
            if (CCompoundFile::ReadStream(bytes, u"Book", storage, stream)) {
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
