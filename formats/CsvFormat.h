// Delimited text files in the system code page: every cell between quotes, cells joined
// by the separator, rows ended by CR LF.
//
// Writing: a cell is quote, text, quote; in the text a double quote is doubled (whatever
// the quote option), CR is dropped and LF is kept or, with line breaks removed, becomes a
// blank. Reading: a row is the bytes up to CR LF (a lone CR or LF stays in the row), at
// most 39,999 bytes; cells are split at the separator, a quoted cell may hold separators
// and doubled quotes; a longer row is read to its end and handed out cut to that length,
// marked too long (its first bytes its last cell). A file that holds no CR LF at all (as editors
// and spreadsheets on Linux write them) has its rows ended by LF instead, outside quoted cells when
// there is a quote. A UTF-8 byte-order mark is passed over under the UTF-8 code page; a file that
// starts with another encoding's mark (UTF-16, or UTF-8 under 1252) is converted to the
// code page as a whole, or refused when it holds what the code page cannot.
//
// Writing goes through COutputFile: the file replaces the old one at CloseWrite, complete,
// and a format destroyed without CloseWrite (or a failed write) leaves the old file. A file
// is kept under an advisory lock while open: exclusive for writing, shared for reading, so
// two writers, or a writer and a reader, never meet. A file locked that way by another
// process cannot be opened.
#pragma once

#include "formats/FileFormat.h"
#include "platform/file/OutputFile.h"

#include <cstdint>
#include <string>
#include <vector>

class CCsvFormat final : public CFileFormat {
public:
    CCsvFormat();
    // Closes a file still open, silently; a file being written is dropped.
    ~CCsvFormat() override;

    void SetSeparator(const std::string& strSeparator) { m_strSeparator = strSeparator; }
    void SetQuote(const std::string& strQuote) { m_strQuote = strQuote; }
    void SetRemoveLineBreaks(bool bRemove) { m_bRemoveLineBreaks = bRemove; }
    void SetDateWithTime(bool bDateWithTime) { m_bDateWithTime = bDateWithTime; }

    EStatus OpenWrite(const std::string& strFileName) override;
    // Raises CFormatException for a character device other than a terminal.
    EStatus OpenRead(const std::string& strFileName) override;
    // Flushes, puts the file in place and closes. Raises CFormatException, after closing,
    // when any write to the file failed (the old file then stays).
    EStatus CloseWrite() override;
    EStatus CloseRead() override;
    EStatus EndRow() override;
    // Raises CFormatException for a row of NUL bytes only: the file is damaged.
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
    std::int32_t GetLineNumber() const override { return m_nRowLine; }
    std::int32_t GetRowEndLine() const override { return m_nRowEndLine; }
    bool IsRowTooLong() const override { return m_bRowTooLong; }
    bool PeekRowCells(std::vector<std::string>& vecCells) override;
    bool GetInvalidTextCell(std::string& strCell) const override;
    // The current row as it stands in the file, without the line end.
    [[nodiscard]] const std::string& GetRowText() const { return m_strLine; }

private:
    // Closes the file; a file being written is put in place when bCommit is set and every
    // write succeeded, else dropped.
    void Close(bool bCommit);
    void Flush();
    // Fills the read buffer; false at the end of the file or on a read error.
    bool Refill();
    // Looks at the file's first bytes: a byte-order mark, and how rows end.
    void DetectEncoding();
    // Reads the whole file (from byte nSkip on) and converts it; raises CFormatException
    // when that cannot be done.
    void DecodeWholeFile(const char* pszEncoding, const char* pszShownName, std::size_t nSkip);
    // Whether any CR LF stands in the file.
    [[nodiscard]] bool FileHoldsCrLf();

    bool m_bDateWithTime = false;
    std::string m_strQuote;
    bool m_bRemoveLineBreaks = false;
    int m_fd = -1; // the file being read
    COutputFile m_output;
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
    // The whole input was converted into m_vecInput when the file was opened.
    bool m_bDecoded = false;
    // Rows end with LF (the file holds no CR LF).
    bool m_bLfEndsRow = false;
    unsigned m_codePage = 0;
    // LFs taken so far, and the line on which the current row starts (from 1).
    std::int32_t m_nLinesTaken = 0;
    std::int32_t m_nRowLine = 0;
    std::int32_t m_nRowEndLine = 0;
    bool m_bRowTooLong = false;
    // The first cell of the current row that was not text in the code page.
    bool m_bInvalidText = false;
    std::string m_strInvalidCell;
};
