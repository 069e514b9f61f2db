// The workbook file engine of the spreadsheet component: legacy Excel workbooks (BIFF8
// records in an OLE2 compound file), read and written by our own code. This layer knows
// cells, formats and sizes; the automation objects (Application, Workbooks, Range, ...)
// are built on top of it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file that cannot be read or written, or is not a well-formed workbook. The message
// names the file and the reason.
class CXlsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a number cell is shown. Dates are numbers of days since 1899-12-30 (the 1900 date
// system), the fraction being the time of day; values of a workbook in the 1904 date
// system are converted when read.
//
// Reading maps the built-in formats 14 to Date, 18-21 and 45-47 to Time, 22 to DateTime,
// 15-17 and any custom format with date or time letters (outside quotes and brackets) to
// OtherDate. Writing OtherDate picks the built-in format from the value: a whole day is a
// Date, a value below one day a Time, anything else a DateTime.
enum class EXlsNumberFormat : std::uint8_t {
    General,
    Date,      // built-in format 14
    Time,      // built-in format 20 (h:mm) or 21 (h:mm:ss) when the value has seconds
    DateTime,  // built-in format 22
    OtherDate, // any other date or time format found in a file read
};

struct CXlsCell {
    enum class EKind : std::uint8_t { Empty, Number, Text, Boolean, Error };

    EKind m_kind = EKind::Empty;
    // Number; Boolean as 0 or 1; Error as its code (0x00 #NULL!, 0x07 #DIV/0!, 0x0F
    // #VALUE!, 0x17 #REF!, 0x1D #NAME?, 0x24 #NUM!, 0x2A #N/A, or kXlsNoValue). A number
    // that is not finite is written as #NUM!.
    double m_dNumber = 0;
    std::u16string m_strText; // Text (never empty: an empty text is an empty cell)
    EXlsNumberFormat m_format = EXlsNumberFormat::General;
    bool m_bQuotePrefix = false; // text entered with a leading apostrophe (not stored in
                                 // m_strText)

    [[nodiscard]] bool IsEmpty() const { return m_kind == EKind::Empty; }
    [[nodiscard]] bool IsDate() const {
        return m_kind == EKind::Number && m_format != EXlsNumberFormat::General;
    }
};

// The error code of a formula cell whose result the file does not hold (some writers
// leave the calculation to the reading application, which this engine does not do).
// Written as #N/A.
inline constexpr std::uint8_t kXlsNoValue = 0xFF;

// The file formats of a workbook, numbered as the automation interface's FileFormat
// argument numbers them.
enum class EXlsFileFormat : int {
    Xls = 56,  // Excel 97-2003 (BIFF8)
    Xlsx = 51, // Office Open XML
};

// The most rows and columns a sheet of each file format holds.
inline constexpr std::uint32_t kXlsMaxRows = 65536;
inline constexpr std::uint32_t kXlsMaxColumns = 256;
inline constexpr std::uint32_t kXlsxMaxRows = 1048576;
inline constexpr std::uint32_t kXlsxMaxColumns = 16384;
// The longest text a cell of this file format holds (the real application shows at most
// 32,767 characters of a cell).
inline constexpr std::size_t kXlsMaxTextLength = 65535;

// A cell as the sheet hands it out for reading without a copy: the text lies in the
// sheet's text pool and stays valid until the sheet is changed or destroyed.
struct CXlsCellView {
    CXlsCell::EKind m_kind = CXlsCell::EKind::Empty;
    EXlsNumberFormat m_format = EXlsNumberFormat::General;
    bool m_bQuotePrefix = false;
    double m_dNumber = 0;
    std::u16string_view m_strText;
    // A text cell of a sheet: the index of its text in the sheet's pool.
    std::uint32_t m_nTextIndex = 0;

    CXlsCellView() = default;
    CXlsCellView(const CXlsCell& cell) // NOLINT(google-explicit-constructor): a view of it
        : m_kind(cell.m_kind), m_format(cell.m_format), m_bQuotePrefix(cell.m_bQuotePrefix),
          m_dNumber(cell.m_dNumber), m_strText(cell.m_strText) {}

    [[nodiscard]] bool IsEmpty() const { return m_kind == CXlsCell::EKind::Empty; }
    [[nodiscard]] bool IsDate() const {
        return m_kind == CXlsCell::EKind::Number && m_format != EXlsNumberFormat::General;
    }
    // Not empty, and not an empty text.
    [[nodiscard]] bool HasValue() const {
        return m_kind != CXlsCell::EKind::Empty &&
               !(m_kind == CXlsCell::EKind::Text && m_strText.empty());
    }
    [[nodiscard]] CXlsCell ToCell() const;
};

// The distinct texts of a sheet, each kept once (a text put in many cells is stored once
// and cells hold its 32-bit index). Texts are kept in chunks that never move, so a view
// of a text stays valid while the pool lives; texts no cell refers to any more stay
// until the pool goes.
class CXlsTextPool {
public:
    CXlsTextPool() = default;
    CXlsTextPool(const CXlsTextPool& other);
    CXlsTextPool& operator=(const CXlsTextPool& other);
    CXlsTextPool(CXlsTextPool&&) noexcept = default;
    CXlsTextPool& operator=(CXlsTextPool&&) noexcept = default;
    ~CXlsTextPool() = default;

    // The index of the text, adding it on first use.
    std::uint32_t Intern(std::u16string_view text);
    [[nodiscard]] std::u16string_view Get(std::uint32_t nIndex) const { return m_vecTexts[nIndex]; }
    [[nodiscard]] std::size_t Count() const { return m_vecTexts.size(); }
    // Room for nTexts texts in all, so that adding them does not grow the index.
    void Reserve(std::size_t nTexts);

private:
    void Grow(std::size_t nSlots);
    [[nodiscard]] static std::uint32_t Hash(std::u16string_view text);

    static constexpr std::size_t kChunkChars = 32768;
    std::vector<std::unique_ptr<char16_t[]>> m_vecChunks;
    std::size_t m_nChunkUsed = kChunkChars; // characters used of the last chunk
    std::vector<std::u16string_view> m_vecTexts;
    // Open addressing, a power of two long, at most half full: text index + 1 (0 free)
    // and the text's hash, so that a probe looks at a text only when the hashes match.
    struct SSlot {
        std::uint32_t m_nIndex = 0;
        std::uint32_t m_nHash = 0;
    };
    std::vector<SSlot> m_vecSlots;
};

class CXlsSheet {
public:
    std::u16string m_strName = u"Sheet1";
    // Column widths in characters of the default font (at most 255); 0 means the
    // default width.
    std::vector<double> m_vecColumnWidths;
    // Row heights in points (at most 409.5); 0 means the default height. Reading gives
    // the heights of the rows whose height was set, not derived from the font.
    std::vector<double> m_vecRowHeights;
    // The grid of the workbook's file format.
    std::uint32_t m_nMaxRows = kXlsMaxRows;
    std::uint32_t m_nMaxColumns = kXlsMaxColumns;

    // Puts a cell, creating its row when missing; an empty cell (or an empty text) clears
    // the cell without creating rows for it. Throws CXlsError past the limits.
    void Set(std::uint32_t nRow, std::uint32_t nColumn, const CXlsCellView& cell);
    // Room for the cells of a row about to be filled (the row is made, empty, if
    // missing); nothing past the grid.
    void ReserveCells(std::uint32_t nRow, std::uint32_t nCells);
    // A text kept in the sheet's pool, to be put in cells by its index (a text read once
    // and put in many cells); the index is what TextIndex gives for those cells.
    [[nodiscard]] std::uint32_t AddText(std::u16string_view text) { return m_texts.Intern(text); }
    // Room for nTexts texts in the pool (a table of texts about to be read).
    void ReserveTexts(std::size_t nTexts) { m_texts.Reserve(nTexts); }
    void SetText(std::uint32_t nRow, std::uint32_t nColumn, std::uint32_t nTextIndex,
                 bool bQuotePrefix);
    // The cell; an empty one outside the stored rows and columns.
    [[nodiscard]] CXlsCell Get(std::uint32_t nRow, std::uint32_t nColumn) const {
        return View(nRow, nColumn).ToCell();
    }
    [[nodiscard]] CXlsCellView View(std::uint32_t nRow, std::uint32_t nColumn) const {
        const SStoredCell* pStored = Find(nRow, nColumn);
        return pStored ? ViewOf(*pStored) : CXlsCellView{};
    }
    // Calls f(column, view) for each cell of a row holding a value, by column.
    template <class F> void ForEachInRow(std::uint32_t nRow, F f) const {
        if (nRow < m_vecRows.size()) {
            for (const SStoredCell& stored : m_vecRows[nRow]) {
                f(std::uint32_t{stored.m_nColumn}, ViewOf(stored));
            }
        }
    }
    // Rows stored (every row past them is empty), and one past the last column holding a
    // value in a row.
    [[nodiscard]] std::uint32_t RowCount() const {
        return static_cast<std::uint32_t>(m_vecRows.size());
    }
    [[nodiscard]] std::uint32_t ColumnCount(std::uint32_t nRow) const {
        return nRow < m_vecRows.size() && !m_vecRows[nRow].empty()
                   ? std::uint32_t{m_vecRows[nRow].back().m_nColumn} + 1
                   : 0;
    }
    // The pool index of a text cell's text (cells of equal texts share one); 0 for other
    // cells.
    [[nodiscard]] std::uint32_t TextIndex(std::uint32_t nRow, std::uint32_t nColumn) const {
        const SStoredCell* pStored = Find(nRow, nColumn);
        return pStored && pStored->m_kind == CXlsCell::EKind::Text ? pStored->m_nLow : 0;
    }
    [[nodiscard]] const CXlsTextPool& Texts() const { return m_texts; }
    // Bytes a stored cell takes (only cells holding a value are stored).
    static constexpr std::size_t kCellBytes = 16;

    // The bounding box of the non-empty cells, 0-based and inclusive; false when the
    // sheet has no non-empty cell.
    [[nodiscard]] bool UsedRange(std::uint32_t& nFirstRow, std::uint32_t& nFirstColumn,
                                 std::uint32_t& nLastRow, std::uint32_t& nLastColumn) const;

    // Row height in points of a row (the default when none is set).
    [[nodiscard]] double RowHeight(std::uint32_t nRow) const;
    static constexpr double kDefaultRowHeight = 12.75; // points

private:
    // A cell holding a value in 16 bytes: the number's bits, or the text's pool index in
    // the low half, and its column. A row keeps its cells in column order.
    struct SStoredCell {
        std::uint32_t m_nLow = 0;
        std::uint32_t m_nHigh = 0;
        std::uint16_t m_nColumn = 0;
        CXlsCell::EKind m_kind = CXlsCell::EKind::Empty;
        EXlsNumberFormat m_format = EXlsNumberFormat::General;
        bool m_bQuotePrefix = false;
    };
    static_assert(sizeof(SStoredCell) == kCellBytes);
    static_assert(kXlsxMaxColumns <= 65536, "columns are stored in 16 bits");

    [[nodiscard]] const SStoredCell* Find(std::uint32_t nRow, std::uint32_t nColumn) const {
        if (nRow >= m_vecRows.size()) {
            return nullptr;
        }
        const std::vector<SStoredCell>& row = m_vecRows[nRow];
        if (row.empty() || row.back().m_nColumn < nColumn) {
            return nullptr;
        }
        // Most rows are short: a binary search only for long ones.
        std::size_t nLow = 0;
        std::size_t nHigh = row.size();
        while (nHigh - nLow > 8) {
            const std::size_t nMid = (nLow + nHigh) / 2;
            if (row[nMid].m_nColumn <= nColumn) {
                nLow = nMid;
            } else {
                nHigh = nMid;
            }
        }
        for (std::size_t i = nLow; i < nHigh; ++i) {
            if (row[i].m_nColumn == nColumn) {
                return &row[i];
            }
        }
        return nullptr;
    }
    [[nodiscard]] CXlsCellView ViewOf(const SStoredCell& stored) const {
        CXlsCellView view;
        view.m_kind = stored.m_kind;
        view.m_format = stored.m_format;
        view.m_bQuotePrefix = stored.m_bQuotePrefix;
        if (stored.m_kind == CXlsCell::EKind::Text) {
            view.m_strText = m_texts.Get(stored.m_nLow);
            view.m_nTextIndex = stored.m_nLow;
        } else if (stored.m_kind != CXlsCell::EKind::Empty) {
            view.m_dNumber =
                std::bit_cast<double>(std::uint64_t{stored.m_nHigh} << 32 | stored.m_nLow);
        }
        return view;
    }
    void CheckLimits(std::uint32_t nRow, std::uint32_t nColumn) const;
    void Store(std::uint32_t nRow, std::uint32_t nColumn, const SStoredCell& stored);

    std::vector<std::vector<SStoredCell>> m_vecRows;
    CXlsTextPool m_texts;
    // The used range, kept while cells are only added; found again by a scan after a
    // cell was cleared.
    mutable bool m_bUsedKnown = true;
    mutable bool m_bAnyUsed = false;
    mutable std::uint32_t m_nUsedTop = 0;
    mutable std::uint32_t m_nUsedLeft = 0;
    mutable std::uint32_t m_nUsedBottom = 0;
    mutable std::uint32_t m_nUsedRight = 0;
};

class CXlsWorkbook {
public:
    CXlsWorkbook(); // one empty sheet
    std::vector<CXlsSheet> m_vecSheets;

    [[nodiscard]] EXlsFileFormat GetFileFormat() const { return m_fileFormat; }
    // The format the workbook is saved in; its sheets take that format's grid. Cells
    // beyond a smaller grid make the next save fail.
    void SetFileFormat(EXlsFileFormat format);

    // Writes the workbook; throws CXlsError. Sheet 1 only is written when there are
    // several (the program uses one sheet). The file is written through COutputFile:
    // replaced at once, links followed, so a failed save leaves the old file.
    void Save(const std::string& strPath) const;
    [[nodiscard]] std::string SaveToMemory() const;

    // Reads a workbook (.xls or .xlsx, told apart by the content) written by this engine
    // or another program; throws CXlsError for anything malformed, never reads outside the
    // file, never loops. Only the first sheet is read: the result has one sheet, with that
    // sheet's name, and the file's format. The message of the error starts with the file
    // name (strName, when given): "<name>: not a workbook", "<name>: damaged workbook
    // (<reason>)", or what kind of file it is when it is another spreadsheet format
    // (Excel 5.0/95, ...).
    [[nodiscard]] static CXlsWorkbook Load(const std::string& strPath);
    [[nodiscard]] static CXlsWorkbook LoadFromMemory(std::string_view bytes,
                                                     const std::string& strName = "");

private:
    // The sheet saved: the first (an empty one when there is none).
    [[nodiscard]] const CXlsSheet& FirstSheet() const;

    EXlsFileFormat m_fileFormat = EXlsFileFormat::Xls;
};
