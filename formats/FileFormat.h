// A file as a table of rows and cells: writers put cells into the current row and end it;
// readers fetch the next row and take its cells from left to right. Every file the
// program writes or reads is reached through this class.
#pragma once

#include "model/DateText.h"
#include "model/Status.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Errors of the file and automation layers raised while a format reads or writes: a disk
// that is full, a workbook the spreadsheet component cannot save. The message is shown to
// the user. Memory errors arrive as std::bad_alloc.
class CFormatException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Statuses: STATUS_OK, STATUS_FAILED (failed, not available, invalid, no more rows),
// STATUS_EMPTY (cell reads: the cell is empty).
//
// A format owns what it opened: destroyed without CloseWrite or CloseRead it still closes
// its file (silently). Write errors that the system reports later than the write itself
// (a full disk found when the buffer is flushed) make CloseWrite raise CFormatException,
// after the file is closed.
class CFileFormat {
public:
    CFileFormat() = default;
    CFileFormat(const CFileFormat&) = delete;
    CFileFormat& operator=(const CFileFormat&) = delete;

    virtual ~CFileFormat();
    virtual EStatus OpenWrite(const std::string& strFileName) = 0;
    virtual EStatus OpenRead(const std::string& strFileName) = 0;
    virtual EStatus CloseWrite() = 0;
    virtual EStatus CloseRead() = 0;
    // Ends the current output row; the next cell starts a new row.
    virtual EStatus EndRow() = 0;
    // Fetches the next input row; STATUS_FAILED when there is none.
    virtual EStatus NextRow() = 0;
    virtual EStatus WriteText(const std::string& strText) = 0;
    virtual EStatus WriteDate(TimeValue t) = 0;
    // A time of day, with the date in front when the format's include-date flag is set.
    virtual EStatus WriteTime(TimeValue t) = 0;
    virtual EStatus WriteSpan(TimeSpan ts) = 0;
    virtual EStatus WriteInt(std::int32_t n) = 0;
    // The next cell of the current row as text; a missing cell reads as empty.
    virtual EStatus ReadText(std::string& strOut) = 0;
    virtual EStatus ReadDate(TimeValue& tOut) = 0;
    // A time of day on today's date.
    virtual EStatus ReadTime(TimeValue& tOut) = 0;
    virtual EStatus ReadSpan(TimeSpan& tsOut) = 0;
    // Reads through ReadInt into a temporary that starts with the out value.
    virtual EStatus ReadLong(std::int32_t& nOut);
    virtual EStatus ReadInt(std::int32_t& nOut) = 0;
    // The number of rows ended or fetched since the file was opened (formats that number
    // rows from 1 start at 1).
    virtual std::int32_t GetRowNumber() const;
    // Reading progress and its total, in units of 256 bytes for files.
    virtual std::int32_t GetPosition() = 0;
    virtual std::int32_t GetSize() = 0;
    // The text of the last cell taken from the current row; empty right after NextRow.
    virtual std::string GetLastCell() const = 0;
    virtual void SetLastCell(const std::string& strText) = 0;
    // The line of the file on which the current row starts, as an editor counts lines; 0
    // for formats that number rows only.
    [[nodiscard]] virtual std::int32_t GetLineNumber() const;
    // The line on which the current row ends (a cell may hold line breaks); 0 as above.
    [[nodiscard]] virtual std::int32_t GetRowEndLine() const { return GetLineNumber(); }
    // Whether the current row is longer than the format reads; then its last cell is the
    // row's beginning and no cell can be taken from it.
    [[nodiscard]] virtual bool IsRowTooLong() const { return false; }
    // Every cell of the current row as text, none of them taken; false when the format
    // cannot tell where its row ends.
    virtual bool PeekRowCells(std::vector<std::string>& vecCells);
    // Whether a cell taken from the current row was not text in the system code page (a
    // file saved in another one); then strCell is the first such cell.
    [[nodiscard]] virtual bool GetInvalidTextCell(std::string& strCell) const;
    // Whether the cell read last holds no usable value (a workbook's error value or a
    // formula without a saved result); text files never have such cells.
    [[nodiscard]] virtual bool IsLastCellError() const { return false; }

protected:
    std::int32_t m_nRowNumber = 0;
};
