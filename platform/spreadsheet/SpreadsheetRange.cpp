#include "platform/spreadsheet/SpreadsheetObjects.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <string>
#include <unordered_map>

namespace {

enum : DISPID {
    kItem = 1,
    kResize,
    kValue,
    kRowHeight,
    kRows,
    kCount,
    kEntireColumn,
    kAutoFit,
    kRow,
};

constexpr SMember kRangeMembers[] = {
    {u"", DISPID_VALUE, EMemberKind::GetPut}, // Value without arguments, Item with them
    {u"Item", kItem, EMemberKind::Get},
    {u"Resize", kResize, EMemberKind::Get},
    {u"Value", kValue, EMemberKind::GetPut},
    {u"RowHeight", kRowHeight, EMemberKind::GetPut},
    {u"Rows", kRows, EMemberKind::Get},
    {u"Count", kCount, EMemberKind::Get},
    {u"EntireColumn", kEntireColumn, EMemberKind::Get},
    {u"AutoFit", kAutoFit, EMemberKind::Method},
    {u"Row", kRow, EMemberKind::Get},
};

constexpr double kMaxRowHeight = 409.5; // points

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// Floor division, for 1-based indexes that may be zero or negative.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void MoveInto(VARIANT* pDest, CVariant& value) {
    *pDest = value;
    VariantInit(&value); // ownership moved to pDest
}

// Whether a value puts a cell holding something, as far as its first characters tell (an
// empty text, or a leading apostrophe alone, clears the cell): a count of the room a row
// takes, not a rule.
bool PutsValue(const VARIANT& value) {
    if (value.vt == VT_BSTR)
        return value.bstrVal && value.bstrVal[0] != 0 &&
               !(value.bstrVal[0] == u'\'' && value.bstrVal[1] == 0);
    return value.vt != VT_EMPTY && value.vt != VT_NULL;
}

// The cell a value puts; a text views the value's string.
CXlsCellView CellOf(const VARIANT& value) {
    CXlsCellView cell;
    if (!VariantToCell(Dereference(value), cell))
        throw CCallError(DISP_E_TYPEMISMATCH);
    return cell;
}

} // namespace

CSpreadsheetRange::CSpreadsheetRange(std::shared_ptr<CBookState> pBook, std::size_t nSheet,
                                     SCellRect rect, ERangeKind kind)
    : m_pBook(std::move(pBook)), m_nSheet(nSheet), m_rect(rect), m_kind(kind) {}

std::span<const SMember> CSpreadsheetRange::Members() {
    return kRangeMembers;
}

CXlsSheet& CSpreadsheetRange::Sheet() const {
    return m_pBook->m_book.m_vecSheets.at(m_nSheet);
}

CVariant CSpreadsheetRange::Call(const SMember& member, bool bPut, const CInvokeArgs& args) {
    RequireOpen(*m_pBook);
    switch (member.m_dispid) {
    case DISPID_VALUE:
        if (bPut) {
            args.Expect(0);
            PutValue(args.PutValue());
            return CVariant();
        }
        return args.Count() == 0 ? GetValue() : Item(args);
    case kItem:
        return Item(args);
    case kResize:
        return Resize(args);
    case kValue:
        args.Expect(0);
        if (bPut) {
            PutValue(args.PutValue());
            return CVariant();
        }
        return GetValue();
    case kRowHeight:
        args.Expect(0);
        if (bPut) {
            PutRowHeight(args.PutDouble());
            return CVariant();
        }
        return GetRowHeight();
    case kRows:
        args.Expect(0);
        return NewRange(m_rect.m_nTop, m_rect.m_nLeft, m_rect.m_nRows, m_rect.m_nColumns,
                        ERangeKind::Rows);
    case kCount: {
        args.Expect(0);
        std::uint32_t nCount = m_rect.m_nRows * m_rect.m_nColumns;
        if (m_kind == ERangeKind::Rows)
            nCount = m_rect.m_nRows;
        else if (m_kind == ERangeKind::Columns)
            nCount = m_rect.m_nColumns;
        return CVariant(static_cast<LONG>(nCount));
    }
    case kRow:
        // The sheet's own number of the range's first row.
        args.Expect(0);
        return CVariant(static_cast<LONG>(m_rect.m_nTop + 1));
    case kEntireColumn:
        args.Expect(0);
        return NewRange(0, m_rect.m_nLeft, Sheet().m_nMaxRows, m_rect.m_nColumns,
                        ERangeKind::Columns);
    case kAutoFit: {
        args.Expect(0);
        AutoFit();
        CVariant result;
        result.vt = VT_BOOL;
        result.boolVal = VARIANT_TRUE;
        return result;
    }
    default:
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    }
}

CVariant CSpreadsheetRange::NewRange(std::int64_t nTop, std::int64_t nLeft, std::int64_t nRows,
                                     std::int64_t nColumns, ERangeKind kind) const {
    const std::int64_t nMaxRows = Sheet().m_nMaxRows;
    const std::int64_t nMaxColumns = Sheet().m_nMaxColumns;
    if (nTop < 0 || nTop + nRows > nMaxRows)
        throw CAutomationException(Ascii(
            "Row " + std::to_string(nTop < 0 ? nTop + 1 : nTop + nRows) +
            " lies outside the worksheet, which has rows 1 to " + std::to_string(nMaxRows) + "."));
    if (nLeft < 0 || nLeft + nColumns > nMaxColumns)
        throw CAutomationException(Ascii("Column " +
                                         std::to_string(nLeft < 0 ? nLeft + 1 : nLeft + nColumns) +
                                         " lies outside the worksheet, which has columns 1 to " +
                                         std::to_string(nMaxColumns) + "."));
    const SCellRect rect{static_cast<std::uint32_t>(nTop), static_cast<std::uint32_t>(nLeft),
                         static_cast<std::uint32_t>(nRows), static_cast<std::uint32_t>(nColumns)};
    return NewObjectVariant<CSpreadsheetRange>(m_pBook, m_nSheet, rect, kind);
}

CVariant CSpreadsheetRange::Item(const CInvokeArgs& args) const {
    args.Expect(1, 2);
    const std::int64_t nTop = m_rect.m_nTop;
    const std::int64_t nLeft = m_rect.m_nLeft;
    if (args.Count() == 2)
        return NewRange(nTop + args.Long(0) - 1, nLeft + args.Long(1) - 1, 1, 1, ERangeKind::Cells);
    const std::int64_t nIndex = static_cast<std::int64_t>(args.Long(0)) - 1;
    switch (m_kind) {
    case ERangeKind::Rows:
        return NewRange(nTop + nIndex, nLeft, 1, m_rect.m_nColumns, ERangeKind::Rows);
    case ERangeKind::Columns:
        return NewRange(nTop, nLeft + nIndex, m_rect.m_nRows, 1, ERangeKind::Columns);
    case ERangeKind::Cells:
        break;
    }
    // Cells count along each row, then on to the next row (past the range's last row too).
    const std::int64_t nColumns = m_rect.m_nColumns;
    const std::int64_t nRow = FloorDiv(nIndex, nColumns);
    return NewRange(nTop + nRow, nLeft + (nIndex - nRow * nColumns), 1, 1, ERangeKind::Cells);
}

CVariant CSpreadsheetRange::Resize(const CInvokeArgs& args) const {
    args.Expect(0, 2);
    const std::int64_t nRows = args.IsMissing(0) ? m_rect.m_nRows : args.Long(0);
    const std::int64_t nColumns = args.IsMissing(1) ? m_rect.m_nColumns : args.Long(1);
    if (nRows < 1 || nColumns < 1)
        throw CAutomationException(u"A range needs at least one row and one column.");
    return NewRange(m_rect.m_nTop, m_rect.m_nLeft, nRows, nColumns, ERangeKind::Cells);
}

CVariant CSpreadsheetRange::GetValue() const {
    const CXlsSheet& sheet = Sheet();
    if (m_rect.m_nRows == 1 && m_rect.m_nColumns == 1)
        return CellToVariant(sheet.View(m_rect.m_nTop, m_rect.m_nLeft));

    // A two-dimensional array [row, column], both from 1.
    const SAFEARRAYBOUND bounds[2] = {{m_rect.m_nRows, 1}, {m_rect.m_nColumns, 1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!psa)
        throw std::bad_alloc();
    CVariant result;
    result.vt = VT_ARRAY | VT_VARIANT;
    result.parray = psa;
    for (std::uint32_t r = 0; r < m_rect.m_nRows; ++r) {
        const std::uint32_t nRow = m_rect.m_nTop + r;
        if (nRow >= sheet.RowCount())
            break;
        sheet.ForEachInRow(nRow, [&](std::uint32_t nColumn, const CXlsCellView& cell) {
            if (nColumn < m_rect.m_nLeft || nColumn - m_rect.m_nLeft >= m_rect.m_nColumns)
                return;
            // Elements lie column by column: the first index counts fastest.
            CVariant value = CellToVariant(cell);
            MoveInto(&psa->pvData[r + std::size_t{nColumn - m_rect.m_nLeft} * m_rect.m_nRows],
                     value);
        });
    }
    return result;
}

void CSpreadsheetRange::PutValue(const VARIANT& value) const {
    CXlsSheet& sheet = Sheet();
    if (!(value.vt & VT_ARRAY)) {
        // One value for every cell of the range.
        const CXlsCellView cell = CellOf(value);
        for (std::uint32_t r = 0; r < m_rect.m_nRows; ++r)
            for (std::uint32_t c = 0; c < m_rect.m_nColumns; ++c)
                sheet.Set(m_rect.m_nTop + r, m_rect.m_nLeft + c, cell);
        return;
    }
    const SAFEARRAY* psa = value.parray;
    if (value.vt != (VT_ARRAY | VT_VARIANT) || !psa || psa->cDims < 1 || psa->cDims > 2)
        throw CCallError(DISP_E_TYPEMISMATCH);
    // An array lays its [row, column] elements over the range from its top left cell; a
    // one-dimensional array is one row, repeated in every row of the range. Cells the
    // array does not reach are cleared.
    const bool bTwoDims = psa->cDims == 2;
    const std::uint32_t nArrayRows = bTwoDims ? psa->rgsabound[0].cElements : m_rect.m_nRows;
    const std::uint32_t nArrayColumns = psa->rgsabound[bTwoDims ? 1 : 0].cElements;
    const CXlsCellView empty;
    // Elements lie column by column: the first index counts fastest.
    const auto element = [&](std::uint32_t r, std::uint32_t c) -> const VARIANT& {
        return psa->pvData[bTwoDims ? r + std::size_t{c} * nArrayRows : c];
    };
    const std::uint32_t nReach = std::min(m_rect.m_nColumns, nArrayColumns);
    for (std::uint32_t r = 0; r < m_rect.m_nRows; ++r) {
        const std::uint32_t nRow = m_rect.m_nTop + r;
        if (r < nArrayRows && sheet.ColumnCount(nRow) == 0) {
            // A new row takes its room once.
            std::uint32_t nCells = 0;
            for (std::uint32_t c = 0; c < nReach; ++c)
                nCells += PutsValue(element(r, c));
            sheet.ReserveCells(nRow, nCells);
        }
        for (std::uint32_t c = 0; c < m_rect.m_nColumns; ++c) {
            const std::uint32_t nColumn = m_rect.m_nLeft + c;
            if (r >= nArrayRows || c >= nArrayColumns) {
                sheet.Set(nRow, nColumn, empty);
                continue;
            }
            sheet.Set(nRow, nColumn, CellOf(element(r, c)));
        }
    }
}

CVariant CSpreadsheetRange::GetRowHeight() const {
    const CXlsSheet& sheet = Sheet();
    const double dFirst = sheet.RowHeight(m_rect.m_nTop);
    for (std::uint32_t r = 1; r < m_rect.m_nRows; ++r)
        if (sheet.RowHeight(m_rect.m_nTop + r) != dFirst) {
            CVariant mixed;
            mixed.vt = VT_NULL; // rows of different heights
            return mixed;
        }
    return CVariant(dFirst);
}

void CSpreadsheetRange::PutRowHeight(double dHeight) const {
    if (!(dHeight >= 0 && dHeight <= kMaxRowHeight))
        throw CAutomationException(u"A row height lies between 0 and 409.5 points.");
    CXlsSheet& sheet = Sheet();
    const std::size_t nEnd = static_cast<std::size_t>(m_rect.m_nTop) + m_rect.m_nRows;
    if (sheet.m_vecRowHeights.size() < nEnd)
        sheet.m_vecRowHeights.resize(nEnd, 0.0);
    std::fill(sheet.m_vecRowHeights.begin() + m_rect.m_nTop,
              sheet.m_vecRowHeights.begin() + static_cast<std::ptrdiff_t>(nEnd), dHeight);
}

void CSpreadsheetRange::AutoFit() const {
    CXlsSheet& sheet = Sheet();
    const std::size_t nTop = m_rect.m_nTop;
    const std::size_t nEndRow = std::min<std::size_t>(nTop + m_rect.m_nRows, sheet.RowCount());
    switch (m_kind) {
    case ERangeKind::Columns: {
        // Each column as wide as its widest shown text, in characters; an empty column
        // goes back to the default width.
        const std::size_t nEnd = static_cast<std::size_t>(m_rect.m_nLeft) + m_rect.m_nColumns;
        if (sheet.m_vecColumnWidths.size() < nEnd)
            sheet.m_vecColumnWidths.resize(nEnd, 0.0);
        const CRegionalSettings& settings = GetRegionalSettings();
        // Widths of numbers by format and value: a column of dates or times repeats few.
        std::unordered_map<std::uint64_t, std::size_t> mapNumberWidths[5];
        for (std::size_t c = m_rect.m_nLeft; c < nEnd; ++c) {
            std::size_t nWidth = 0;
            for (std::size_t r = nTop; r < nEndRow; ++r) {
                const CXlsCellView cell =
                    sheet.View(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(c));
                if (cell.m_kind != CXlsCell::EKind::Number) {
                    nWidth = std::max(nWidth, DisplayWidth(cell, settings));
                    continue;
                }
                const auto [it, bNew] =
                    mapNumberWidths[static_cast<std::size_t>(cell.m_format)].try_emplace(
                        std::bit_cast<std::uint64_t>(cell.m_dNumber), 0);
                if (bNew)
                    it->second = DisplayWidth(cell, settings);
                nWidth = std::max(nWidth, it->second);
            }
            sheet.m_vecColumnWidths[c] = static_cast<double>(nWidth);
        }
        return;
    }
    case ERangeKind::Rows: {
        // Each row as high as its tallest text in lines; one line is the default height.
        const std::size_t nEnd = nTop + m_rect.m_nRows;
        if (sheet.m_vecRowHeights.size() < nEnd)
            sheet.m_vecRowHeights.resize(nEnd, 0.0);
        for (std::size_t r = nTop; r < nEnd; ++r) {
            std::size_t nLines = 1;
            sheet.ForEachInRow(
                static_cast<std::uint32_t>(r), [&nLines](std::uint32_t, const CXlsCellView& cell) {
                    if (cell.m_kind == CXlsCell::EKind::Text)
                        nLines = std::max<std::size_t>(
                            nLines, 1 + static_cast<std::size_t>(std::count(
                                            cell.m_strText.begin(), cell.m_strText.end(), u'\n')));
                });
            sheet.m_vecRowHeights[r] =
                nLines == 1 ? 0.0
                            : std::min(kMaxRowHeight,
                                       static_cast<double>(nLines) * CXlsSheet::kDefaultRowHeight);
        }
        return;
    }
    case ERangeKind::Cells:
        break;
    }
    throw CAutomationException(u"AutoFit works on whole rows or whole columns only.");
}
