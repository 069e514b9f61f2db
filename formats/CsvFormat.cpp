#include "formats/CsvFormat.h"

#include "platform/locale/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest row NextRow hands out; a longer row is handed out cut, marked too long.
constexpr std::size_t kMaxLine = 39999;
// Output is written in pieces of about this size; input is read in pieces of this size.
constexpr std::size_t kOutputChunk = 64 * 1024;
constexpr std::size_t kInputChunk = 64 * 1024;

// Opens a file and takes the advisory lock; -1 when either fails.
int OpenLocked(const std::string& strFileName, int nFlags, int nLock) {
    int fd = -1;
    do {
        fd = ::open(strFileName.c_str(), nFlags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    int nResult = 0;
    do {
        nResult = ::flock(fd, nLock | LOCK_NB);
    } while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A file converted as a whole is read into memory: larger ones are refused.
constexpr std::size_t kMaxDecodedBytes = 256 * 1024 * 1024;

// Where a row ended by LF stands after the bytes scanned so far, as ReadText will take its
// cells: a quoted cell ends only at a quote followed by the separator or the row's end.
enum class ERowScan { CellStart, Unquoted, Quoted, QuoteSeen };

// Scans bytes of a row that ends with LF: the count of bytes that belong to the row (up to
// and including its LF, when bEnded), LFs counted in nLines. nQuote and nSeparator are
// -1 when the option never matches.
std::size_t ScanToLf(std::string_view bytes, int nQuote, int nSeparator, ERowScan& state,
                     std::int32_t& nLines, bool& bEnded) {
    bEnded = false;
    if (nQuote < 0) {
        const std::size_t nLf = bytes.find('\n');
        if (nLf == std::string_view::npos)
            return bytes.size();
        ++nLines;
        bEnded = true;
        return nLf + 1;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int c = static_cast<unsigned char>(bytes[i]);
        const bool bLf = c == '\n';
        if (bLf)
            ++nLines;
        switch (state) {
        case ERowScan::CellStart:
        case ERowScan::Unquoted:
            if (state == ERowScan::CellStart && c == nQuote)
                state = ERowScan::Quoted;
            else if (c == nSeparator)
                state = ERowScan::CellStart;
            else
                state = ERowScan::Unquoted;
            break;
        case ERowScan::Quoted:
            if (c == nQuote)
                state = ERowScan::QuoteSeen;
            break;
        case ERowScan::QuoteSeen:
            // A doubled quote is one quote of the text; a lone quote before anything but
            // the separator or the row's end is dropped and the cell goes on.
            state = c == nSeparator && !bLf ? ERowScan::CellStart : ERowScan::Quoted;
            if (bLf)
                state = ERowScan::Unquoted;
            break;
        }
        if (bLf && state == ERowScan::Unquoted) {
            bEnded = true;
            return i + 1;
        }
    }
    return bytes.size();
}

// Whether any of eight bytes is a quote, CR or LF: a byte equal to one of them leaves a zero
// byte after the exclusive or, which the borrow of the subtraction finds.
bool HasQuoteOrBreak(const char* p) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    std::uint64_t word = 0;
    std::memcpy(&word, p, 8);
    const auto HasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    return (HasZero(word ^ (kOnes * '"')) | HasZero(word ^ (kOnes * '\r')) |
            HasZero(word ^ (kOnes * '\n'))) != 0;
}

std::int32_t InUnitsOf256(std::int64_t nBytes) {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(nBytes >> 8, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

CCsvFormat::CCsvFormat() = default;

CCsvFormat::~CCsvFormat() {
    Close(false);
}

void CCsvFormat::Close(bool bCommit) {
    if (m_bWriting) {
        Flush();
        // The file takes the place of the old one only when every byte reached it.
        if (!bCommit || m_nWriteError != 0)
            m_output.Discard();
        else if (!m_output.Commit())
            m_nWriteError = errno;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_bWriting = false;
    m_strOutput.clear();
    m_strOutput.shrink_to_fit();
    m_vecInput.clear();
    m_vecInput.shrink_to_fit();
    m_nInputPos = m_nInputEnd = 0;
}

EStatus CCsvFormat::OpenWrite(const std::string& strFileName) {
    Close(false);
    m_nWriteError = 0;
    if (!m_output.Open(strFileName))
        return STATUS_FAILED;
    m_bWriting = true;
    m_strFileName = strFileName;
    m_strOutput.reserve(kOutputChunk + kOutputChunk / 4);
    m_bRowStart = true;
    return STATUS_OK;
}

EStatus CCsvFormat::OpenRead(const std::string& strFileName) {
    Close(false);
    m_nWriteError = 0;
    m_fd = OpenLocked(strFileName, O_RDONLY, LOCK_SH);
    if (m_fd < 0)
        return STATUS_FAILED;
    // A device other than the terminal never ends (/dev/zero, /dev/urandom): refused.
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && S_ISCHR(st.st_mode) && !::isatty(m_fd)) {
        Close(false);
        throw CFormatException("it is a device, not a file (files, pipes and the terminal can "
                               "be read)");
    }
    m_strFileName = strFileName;
    m_vecInput.resize(kInputChunk);
    m_nInputPos = m_nInputEnd = 0;
    m_nInputOffset = 0;
    m_bInputEnd = false;
    m_bDecoded = false;
    m_codePage = GetSystemCodePage();
    m_nLinesTaken = 0;
    m_nRowLine = 0;
    m_nRowEndLine = 0;
    m_bRowTooLong = false;
    m_strLine.clear();
    m_nLinePos = 0;
    m_bRowStart = true;
    try {
        DetectEncoding();
    } catch (...) {
        Close(false);
        throw;
    }
    return STATUS_OK;
}

void CCsvFormat::DetectEncoding() {
    (void)Refill();
    const std::string_view head(m_vecInput.data(), m_nInputEnd);
    if (head.starts_with("\xFF\xFE"))
        DecodeWholeFile("UTF-16LE", "UTF-16", 2);
    else if (head.starts_with("\xFE\xFF"))
        DecodeWholeFile("UTF-16BE", "UTF-16", 2);
    else if (head.starts_with("\xEF\xBB\xBF") && m_codePage == CP_UTF8)
        m_nInputPos = 3;
    else if (head.starts_with("\xEF\xBB\xBF"))
        DecodeWholeFile("UTF-8", "UTF-8", 3);
    m_bLfEndsRow = !FileHoldsCrLf();
}

void CCsvFormat::DecodeWholeFile(const char* pszEncoding, const char* pszShownName,
                                 std::size_t nSkip) {
    std::string bytes(m_vecInput.data(), m_nInputEnd);
    while (Refill()) {
        if (bytes.size() > kMaxDecodedBytes)
            throw CFormatException("The file " + m_strFileName + " is " + pszShownName +
                                   " text too large to convert. Save it as CSV in code page " +
                                   CodePageName(m_codePage) + " and import that.");
        bytes.append(m_vecInput.data(), m_nInputEnd);
    }
    const std::string_view text = std::string_view(bytes).substr(nSkip);
    std::optional<std::string> converted = ConvertToCodePage(text, pszEncoding, m_codePage);
    if (!converted) {
        if (!ConvertToCodePage(text, pszEncoding, CP_UTF8))
            throw CFormatException("The file " + m_strFileName + " starts as " + pszShownName +
                                   " text but is not valid " + pszShownName + ".");
        throw CFormatException(
            "The file " + m_strFileName + " is " + pszShownName +
            " text and holds characters that the code page " + CodePageName(m_codePage) +
            " cannot hold. Set the code page " + CodePageName(CP_UTF8) +
            " (varno regional set codepage 65001) or save the file as CSV in code page " +
            CodePageName(m_codePage) + ", and import it again.");
    }
    m_vecInput.assign(converted->begin(), converted->end());
    m_nInputPos = 0;
    m_nInputEnd = m_vecInput.size();
    m_nInputOffset = 0;
    m_bInputEnd = true;
    m_bDecoded = true;
}

bool CCsvFormat::FileHoldsCrLf() {
    const std::string_view head(m_vecInput.data() + m_nInputPos, m_nInputEnd - m_nInputPos);
    if (m_bDecoded)
        return head.find("\r\n") != std::string_view::npos;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // What is read from a pipe cannot be read again: its first line end decides.
        const std::size_t nLf = head.find('\n');
        return nLf == std::string_view::npos || (nLf > 0 && head[nLf - 1] == '\r');
    }
    std::vector<char> chunk(kInputChunk);
    off_t nOffset = 0;
    bool bCrBefore = false;
    for (;;) {
        const ssize_t n = ::pread(m_fd, chunk.data(), chunk.size(), nOffset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        const std::string_view part(chunk.data(), static_cast<std::size_t>(n));
        if ((bCrBefore && part.front() == '\n') || part.find("\r\n") != std::string_view::npos)
            return true;
        bCrBefore = part.back() == '\r';
        nOffset += n;
    }
}

EStatus CCsvFormat::CloseWrite() {
    const bool bWasOpen = m_bWriting;
    Close(true);
    if (bWasOpen && m_nWriteError != 0) {
        const int nError = std::exchange(m_nWriteError, 0);
        throw CFormatException("The file " + m_strFileName +
                               " could not be written: " + std::generic_category().message(nError));
    }
    return STATUS_OK;
}

EStatus CCsvFormat::CloseRead() {
    Close(false);
    return STATUS_OK;
}

void CCsvFormat::Flush() {
    if (m_nWriteError == 0 && !m_strOutput.empty() && !m_output.Write(m_strOutput))
        m_nWriteError = errno;
    // After a failed write the rest of the output is dropped: the file is incomplete
    // either way, and CloseWrite reports it.
    m_strOutput.clear();
}

EStatus CCsvFormat::EndRow() {
    if (!m_bWriting)
        return STATUS_FAILED;
    m_strOutput += "\r\n";
    m_bRowStart = true;
    ++m_nRowNumber;
    if (m_strOutput.size() >= kOutputChunk)
        Flush();
    return STATUS_OK;
}

bool CCsvFormat::Refill() {
    if (m_bInputEnd || m_fd < 0 || m_vecInput.empty())
        return false;
    m_nInputOffset += static_cast<std::int64_t>(m_nInputEnd);
    m_nInputPos = m_nInputEnd = 0;
    ssize_t n = 0;
    do {
        n = ::read(m_fd, m_vecInput.data(), m_vecInput.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // A read error ends the input as the end of the file does.
        m_bInputEnd = true;
        return false;
    }
    m_nInputEnd = static_cast<std::size_t>(n);
    return true;
}

EStatus CCsvFormat::NextRow() {
    m_strLine.clear();
    m_nLinePos = 0;
    m_bInvalidText = false;
    m_strInvalidCell.clear();
    m_bRowTooLong = false;
    const std::int32_t nFirstLine = m_nLinesTaken + 1;
    const int nQuote = m_strQuote.size() == 1 ? static_cast<unsigned char>(m_strQuote[0]) : -1;
    const int nSeparator =
        m_strSeparator.size() == 1 ? static_cast<unsigned char>(m_strSeparator[0]) : -1;
    ERowScan state = ERowScan::CellStart;
    // A row is read to its end whatever its length, so that the next row starts where the
    // file's next row does; only its first bytes are kept.
    constexpr std::size_t kKeep = kMaxLine + 2;
    std::size_t nRowBytes = 0;
    std::size_t nEndBytes = 0; // the row's line end, the last bytes taken
    bool bLastCr = false;
    const auto take = [&](const char* p, std::size_t n) {
        if (m_strLine.size() < kKeep)
            m_strLine.append(p, std::min(n, kKeep - m_strLine.size()));
        if (n > 0)
            bLastCr = p[n - 1] == '\r';
        nRowBytes += n;
        m_nInputPos += n;
    };
    for (;;) {
        if (m_nInputPos == m_nInputEnd && !Refill())
            break;
        const char* pBegin = m_vecInput.data() + m_nInputPos;
        const std::size_t nAvail = m_nInputEnd - m_nInputPos;
        if (m_bLfEndsRow) {
            bool bEnded = false;
            const std::size_t nTaken = ScanToLf(std::string_view(pBegin, nAvail), nQuote,
                                                nSeparator, state, m_nLinesTaken, bEnded);
            take(pBegin, nTaken);
            if (bEnded) {
                nEndBytes = 1;
                break;
            }
            continue;
        }
        const auto* pLf = static_cast<const char*>(std::memchr(pBegin, '\n', nAvail));
        if (!pLf) {
            take(pBegin, nAvail);
            continue;
        }
        // Only CR LF ends a row, the CR counted within the row read so far.
        const bool bCrBefore = pLf > pBegin ? pLf[-1] == '\r' : bLastCr;
        take(pBegin, static_cast<std::size_t>(pLf - pBegin) + 1);
        ++m_nLinesTaken;
        if (bCrBefore) {
            nEndBytes = 2;
            break;
        }
    }
    if (nRowBytes == 0)
        return STATUS_FAILED;
    const std::size_t nContent = nRowBytes - nEndBytes;
    m_bRowTooLong = nContent > kMaxLine;
    m_strLine.resize(std::min(nContent, kMaxLine));
    m_nRowLine = nFirstLine;
    m_nRowEndLine = nEndBytes > 0 ? m_nLinesTaken : m_nLinesTaken + 1;
    // Zeroed blocks are what a crash or a device leaves, never text.
    if (!m_strLine.empty() && m_strLine.find_first_not_of('\0') == std::string::npos)
        throw CFormatException("The file " + m_strFileName + " is damaged: line " +
                               std::to_string(nFirstLine) + " holds only NUL bytes.");
    ++m_nRowNumber;
    m_strLastCell.clear();
    if (m_bRowTooLong)
        m_strLastCell = m_strLine;
    return STATUS_OK;
}

EStatus CCsvFormat::WriteText(const std::string& strText) {
    if (!m_bWriting)
        return STATUS_FAILED;
    if (!m_bRowStart)
        m_strOutput += m_strSeparator;
    m_strOutput += m_strQuote;
    // Runs of bytes that stay as they are are copied whole.
    const char* const pText = strText.data();
    const std::size_t nSize = strText.size();
    std::size_t nRun = 0;
    for (std::size_t i = 0; i < nSize; ++i) {
        // Eight bytes at a time while none of them is a quote, CR or LF.
        while (i + 8 <= nSize && !HasQuoteOrBreak(pText + i))
            i += 8;
        if (i >= nSize)
            break;
        const char c = pText[i];
        if (c != '"' && c != '\r' && c != '\n')
            continue;
        m_strOutput.append(pText + nRun, i - nRun);
        nRun = i + 1;
        if (c == '"')
            m_strOutput += "\"\"";
        else if (c == '\n')
            m_strOutput += m_bRemoveLineBreaks ? ' ' : '\n';
    }
    m_strOutput.append(pText + nRun, nSize - nRun);
    m_strOutput += m_strQuote;
    m_bRowStart = false;
    return STATUS_OK;
}

EStatus CCsvFormat::WriteDate(TimeValue t) {
    return WriteText(FormatDate(t));
}

EStatus CCsvFormat::WriteTime(TimeValue t) {
    return WriteText(m_bDateWithTime ? FormatDateTime(t) : FormatTime(t));
}

EStatus CCsvFormat::WriteSpan(TimeSpan ts) {
    return WriteText(std::to_string(ts));
}

EStatus CCsvFormat::WriteInt(std::int32_t n) {
    return WriteText(std::to_string(n));
}

EStatus CCsvFormat::ReadText(std::string& strOut) {
    strOut.clear();
    const std::size_t nSize = m_strLine.size();
    std::size_t i = m_nLinePos;
    if (i >= nSize)
        return STATUS_OK;
    // The options are compared as whole strings against one byte: an empty or longer
    // option never matches.
    const bool bHasQuote = m_strQuote.size() == 1;
    const char cQuote = bHasQuote ? m_strQuote[0] : '\0';
    const bool bHasSep = m_strSeparator.size() == 1;
    const char cSep = bHasSep ? m_strSeparator[0] : '\0';

    if (bHasQuote && m_strLine[i] == cQuote) {
        ++i;
        while (i < nSize) {
            const std::size_t nQuote = m_strLine.find(cQuote, i);
            if (nQuote == std::string::npos) {
                strOut.append(m_strLine, i, nSize - i);
                i = nSize;
                break;
            }
            strOut.append(m_strLine, i, nQuote - i);
            i = nQuote + 1;
            if (i >= nSize)
                break;
            if (bHasSep && m_strLine[i] == cSep) {
                ++i;
                break;
            }
            if (m_strLine[i] == cQuote) {
                ++i;
                strOut += cQuote;
            }
            // Any other byte after a lone quote: the quote is dropped, the cell goes on.
        }
    } else {
        const std::size_t nEnd = bHasSep ? m_strLine.find(cSep, i) : std::string::npos;
        if (nEnd == std::string::npos) {
            strOut.assign(m_strLine, i, nSize - i);
            i = nSize;
        } else {
            strOut.assign(m_strLine, i, nEnd - i);
            i = nEnd + 1;
        }
    }
    m_nLinePos = i;
    m_strLastCell = strOut;
    if (!m_bInvalidText && !IsTextInCodePage(strOut, m_codePage)) {
        m_bInvalidText = true;
        m_strInvalidCell = strOut;
    }
    return STATUS_OK;
}

bool CCsvFormat::PeekRowCells(std::vector<std::string>& vecCells) {
    vecCells.clear();
    const std::size_t nPos = m_nLinePos;
    const std::string strLastCell = m_strLastCell;
    const bool bInvalidText = m_bInvalidText;
    const std::string strInvalidCell = m_strInvalidCell;
    m_nLinePos = 0;
    while (m_nLinePos < m_strLine.size()) {
        std::string strCell;
        (void)ReadText(strCell);
        vecCells.push_back(std::move(strCell));
    }
    m_nLinePos = nPos;
    m_strLastCell = strLastCell;
    m_bInvalidText = bInvalidText;
    m_strInvalidCell = strInvalidCell;
    return true;
}

bool CCsvFormat::GetInvalidTextCell(std::string& strCell) const {
    if (m_bInvalidText)
        strCell = m_strInvalidCell;
    return m_bInvalidText;
}

EStatus CCsvFormat::ReadDate(TimeValue& tOut) {
    std::string strCell;
    (void)ReadText(strCell);
    return ParseDateText(strCell, tOut);
}

EStatus CCsvFormat::ReadTime(TimeValue& tOut) {
    std::string strCell;
    (void)ReadText(strCell);
    return ParseTimeText(strCell, tOut);
}

EStatus CCsvFormat::ReadSpan(TimeSpan& tsOut) {
    std::string strCell;
    (void)ReadText(strCell);
    return ParseSpanText(strCell, tsOut);
}

EStatus CCsvFormat::ReadInt(std::int32_t& nOut) {
    std::string strCell;
    (void)ReadText(strCell);
    std::size_t i = 0;
    bool bNegative = false;
    if (i < strCell.size() && (strCell[i] == '+' || strCell[i] == '-')) {
        bNegative = strCell[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t nValue = 0;
    for (; i < strCell.size() && strCell[i] >= '0' && strCell[i] <= '9'; ++i) {
        nValue = nValue * 10 + (strCell[i] - '0');
        if (nValue > kLimit)
            return STATUS_FAILED;
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue > std::numeric_limits<std::int32_t>::max())
        return STATUS_FAILED;
    nOut = static_cast<std::int32_t>(nValue);
    return STATUS_OK;
}

std::int32_t CCsvFormat::GetPosition() {
    if (m_fd < 0)
        return 0;
    return InUnitsOf256(m_nInputOffset + static_cast<std::int64_t>(m_nInputPos));
}

std::int32_t CCsvFormat::GetSize() {
    struct stat st {};
    if (m_fd >= 0 && m_bDecoded)
        return InUnitsOf256(static_cast<std::int64_t>(m_nInputEnd));
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return InUnitsOf256(st.st_size);
}
