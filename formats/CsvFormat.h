// Delimited text files in the system code page: every cell between quotes, cells joined
// by the separator, rows ended by CR LF.
//
// Writing: a cell is quote, text, quote; in the text a double quote is doubled (whatever
// the quote option), CR is dropped and LF is kept or, with line breaks removed, becomes a
// blank. Reading: a row is the bytes up to CR LF (a lone CR or LF stays in the row), at
// most 39,999 bytes; cells are split at the separator, a quoted cell may hold separators
// and doubled quotes.
//
// The file is opened without truncation (callers remove an old file first) and kept
// under an advisory lock while open: exclusive for writing, shared for reading, so two
// writers, or a writer and a reader, never meet. A file locked that way by another
// process cannot be opened.
#pragma once

#include "formats/FileFormat.h"

#include <cstdint>
#include <string>
#include <vector>

class CCsvFormat final : public CFileFormat {
public:
    CCsvFormat();
    // Closes a file still open, silently.
    ~CCsvFormat() override;

    void SetSeparator(const std::string& strSeparator) { m_strSeparator = strSeparator; }
    void SetQuote(const std::string& strQuote) { m_strQuote = strQuote; }
    void SetRemoveLineBreaks(bool bRemove) { m_bRemoveLineBreaks = bRemove; }
    void SetDateWithTime(bool bDateWithTime) { m_bDateWithTime = bDateWithTime; }

    EStatus OpenWrite(const std::string& strFileName) override;
    EStatus OpenRead(const std::string& strFileName) override;
    // Flushes and closes. Raises CFormatException, after closing, when any write to the
    // file failed.
    EStatus CloseWrite() override;
    EStatus CloseRead() override;
    EStatus EndRow() override;
    EStatus NextRow() override;
    EStatus WriteText(const std::string& strText) override;
    EStatus WriteDate(TimeValue t) override;
    EStatus WriteTime(TimeValue t) override;
    EStatus WriteSpan(TimeSpan ts) override;
    EStatus WriteInt(std::int32_t n) override;
    EStatus ReadText(std::string& strOut) override;
    EStatus ReadDate(TimeValue& tOut) override;
    EStatus ReadTime(TimeValue& tOut) override;
    EStatus ReadSpan(TimeSpan& tsOut) override;
    // The leading decimal integer of the cell (sign, digits; none gives 0). A number
    // beyond the 32-bit range fails and leaves nOut alone.
    EStatus ReadInt(std::int32_t& nOut) override;
    std::int32_t GetPosition() override;
    std::int32_t GetSize() override;
    std::string GetLastCell() const override { return m_strLastCell; }
    void SetLastCell(const std::string& strText) override { m_strLastCell = strText; }

private:
    void Close();
    void Flush();
    // Fills the read buffer; false at the end of the file or on a read error.
    bool Refill();

    bool m_bDateWithTime = false;
    std::string m_strQuote;
    bool m_bRemoveLineBreaks = false;
    int m_fd = -1;
    bool m_bWriting = false;
    std::string m_strFileName;
    bool m_bRowStart = true;
    std::string m_strSeparator;
    // The row fetched by NextRow; cells are taken from m_nLinePos on.
    std::string m_strLine;
    std::size_t m_nLinePos = 0;
    std::string m_strLastCell;

    // Output not yet written, and the first error of a write (errno), kept until
    // CloseWrite reports it.
    std::string m_strOutput;
    int m_nWriteError = 0;
    // Input read ahead of the rows handed out, and the file offset of its first byte.
    std::vector<char> m_vecInput;
    std::size_t m_nInputPos = 0;
    std::size_t m_nInputEnd = 0;
    std::int64_t m_nInputOffset = 0;
    bool m_bInputEnd = false;
};
