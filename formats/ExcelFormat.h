// ".xls" workbooks, read and written by driving the spreadsheet component through its
// automation interface ("Excel.Application"); the program never touches the workbook file
// itself. Rows are rows of the first sheet, counted from 1.
//
// Writing collects cells in a block of up to 500 rows and hands each block over in one
// range assignment. A text longer than 500 characters flushes the block up to and
// including its row, and the rest of that row goes cell by cell. Reading fetches the
// values of the first sheet's used range in blocks of kReadRows rows (one block lives at a
// time); its first row (the header) is never read as data.
//
// Every failing automation call raises CFormatException with the component's
// description.
#pragma once

#include "formats/FileFormat.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Variant.h"
#include "platform/locale/LocalTime.h"

#include <cstdint>
#include <string>

// Whether the spreadsheet can be driven: the office key under HKEY_LOCAL_MACHINE exists
// and an "Excel.Application" object can be created (it is told to quit at once).
[[nodiscard]] bool IsExcelAvailable();

class CExcelFormat final : public CFileFormat {
public:
    // Rows of the block buffer and its first width in columns.
    static constexpr std::int32_t kBlockRows = 500;
    static constexpr std::int32_t kBlockColumns = 10;
    // Rows of a block read.
    static constexpr std::int32_t kReadRows = 2048;
    // Longer texts (in UTF-16 units) switch the rest of their row to cell-by-cell writing.
    static constexpr std::size_t kLongText = 500;
    // Texts are cut to this many bytes.
    static constexpr std::size_t kMaxTextBytes = 39999;

    // Creates the application object; without it every open fails with STATUS_FAILED.
    CExcelFormat();
    // Releases the automation objects without telling the application to quit.
    ~CExcelFormat() override;

    [[nodiscard]] bool HasApplication() const { return static_cast<bool>(m_pApplication); }
    // Time cells hold the date too.
    void SetDateWithTime(bool bDateWithTime) { m_bDateWithTime = bDateWithTime; }

    // Fails when the file cannot be written; an existing file is left as it is until
    // CloseWrite saves the whole workbook over it.
    EStatus OpenWrite(const std::string& strFileName) override;
    EStatus OpenRead(const std::string& strFileName) override;
    // Hands over the last block, gives every row the first row's height, fits the date and
    // time columns to their contents, saves (SaveAs, which replaces the file whole) and
    // closes. The workbook is closed also when a step fails; the failure is raised after.
    // A format destroyed without CloseWrite saves nothing.
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
    EStatus ReadInt(std::int32_t& nOut) override;
    // Progress in rows.
    std::int32_t GetPosition() override { return m_nRowNumber; }
    std::int32_t GetSize() override { return m_nRowCount; }
    [[nodiscard]] bool IsLastCellError() const override { return m_bLastError; }
    // The sheet's own number of the current row (the used range may start below row 1).
    [[nodiscard]] std::int32_t GetSheetRow() const { return m_nFirstSheetRow + m_nRowNumber - 1; }
    // The texts of the used range's first row, the header (reading); false when the sheet
    // has no rows.
    bool PeekHeaderCells(std::vector<std::string>& vecCells) const;
    std::string GetLastCell() const override { return LastText(); }
    void SetLastCell(const std::string& strText) override;

private:
    void PutCell(CVariant value);
    // The cell value of a text that is plain ASCII in a code page keeping ASCII as it is,
    // made as WriteText makes it without converting; false for other texts.
    bool AsciiTextValue(std::string_view text, CVariant& value) const;
    // Hands the buffered rows over (and the current row, when asked) in one assignment.
    void FlushBuffer(bool bIncludeCurrentRow);
    void NewBuffer(std::int32_t nColumns);
    void WidenBuffer(std::int32_t nColumns);
    // Fetches the block of rows starting at a 1-based row of the used range.
    void ReadBlock(std::int32_t nFirstRow);
    // Takes the next cell of the current row: its value (empty past the used range), which
    // becomes the last cell.
    const VARIANT& TakeCell();
    // The value at a 1-based row and column of the used range; empty outside it and
    // outside the block read.
    const VARIANT& CellAt(std::int32_t nRow, std::int32_t nColumn) const;
    // The text of the last cell, converted when first asked for: a date read as a date
    // needs no text.
    const std::string& LastText() const;
    void CloseWorkbook();

    CComPtr<IDispatch> m_pApplication;
    CComPtr<IDispatch> m_pWorkbook;
    CComPtr<IDispatch> m_pWorksheet;
    std::string m_strFileName;  // the file the workbook is saved to (writing)
    std::int32_t m_nColumn = 1; // 1-based column of the next cell
    bool m_bDateWithTime = false;
    std::int32_t m_nRowCount = 0;         // rows of the used range (reading)
    std::int32_t m_nFirstSheetRow = 1;    // sheet row of the used range's first row (reading)
    bool m_bLastError = false;            // the last cell read holds an error value
    bool m_bCellByCell = false;           // rest of the row after a long text (writing)
    std::int32_t m_nFirstBufferedRow = 1; // sheet row of the buffer's row 1 (writing), or
                                          // used range row of it (reading)
    // [row, column] values: the block being written, or the block read. Its bounds are
    // kept beside it.
    CVariant m_buffer;
    std::int32_t m_nBufferRows = 0;
    std::int32_t m_nBufferColumns = 0;
    LONG m_nRowBase = 1;
    LONG m_nColumnBase = 1;
    // The worksheet's cells (writing) or its used range (reading).
    CComPtr<IDispatch> m_pRange;
    CComPtr<IDispatch> m_pRows;                    // the used range's rows (reading)
    std::vector<std::string> m_vecHeader;          // the texts of the used range's first row
    mutable const VARIANT* m_pLastValue = nullptr; // the last cell, until its text is made
    mutable std::string m_strLastCell;
    // Today, the day a time cell is put on, and the clock's second it was found for.
    CLocalTime m_today;
    std::int64_t m_tTodayFrom = -1;
    // The system code page of the narrow texts, taken when a file is opened.
    unsigned m_codePage;
};
