#include "platform/spreadsheet/SpreadsheetObjects.h"

#include "platform/locale/CodePage.h"

#include <algorithm>

namespace {

enum : DISPID { kSheets = 1, kSaveAs, kSave, kClose, kItem, kCells, kUsedRange };

constexpr SMember kWorkbookMembers[] = {
    {u"Sheets", kSheets, EMemberKind::Get},
    {u"SaveAs", kSaveAs, EMemberKind::Method},
    {u"Save", kSave, EMemberKind::Method},
    {u"Close", kClose, EMemberKind::Method},
};

constexpr SMember kSheetsMembers[] = {
    {u"", DISPID_VALUE, EMemberKind::Get},
    {u"Item", kItem, EMemberKind::Get},
};

constexpr SMember kWorksheetMembers[] = {
    {u"Cells", kCells, EMemberKind::Get},
    {u"UsedRange", kUsedRange, EMemberKind::Get},
};

} // namespace

void RequireOpen(const CBookState& book) {
    if (!book.m_bOpen)
        throw CAutomationException(u"The workbook has been closed.");
}

CSpreadsheetWorkbook::CSpreadsheetWorkbook(std::shared_ptr<CApplicationState> pApplication,
                                           std::shared_ptr<CBookState> pBook)
    : m_pApplication(std::move(pApplication)), m_pBook(std::move(pBook)) {}

std::span<const SMember> CSpreadsheetWorkbook::Members() {
    return kWorkbookMembers;
}

CVariant CSpreadsheetWorkbook::Call(const SMember& member, bool, const CInvokeArgs& args) {
    RequireOpen(*m_pBook);
    switch (member.m_dispid) {
    case kSheets:
        args.Expect(0);
        return NewObjectVariant<CSpreadsheetSheets>(m_pBook);
    case kSaveAs: {
        // File name, then the file format (51 .xlsx, 56 .xls); without one the workbook
        // keeps its format.
        args.Expect(1, 2);
        const std::string strPath = FromUtf16(args.String(0));
        if (strPath.empty())
            throw CAutomationException(u"No file name was given to save the workbook as.");
        if (args.Count() == 2 && !args.IsMissing(1)) {
            const LONG nFormat = args.Long(1);
            if (nFormat != static_cast<LONG>(EXlsFileFormat::Xls) &&
                nFormat != static_cast<LONG>(EXlsFileFormat::Xlsx))
                throw CAutomationException(u"This file format cannot be saved.");
            m_pBook->m_book.SetFileFormat(static_cast<EXlsFileFormat>(nFormat));
        }
        m_pBook->m_book.Save(strPath);
        m_pBook->m_strPath = strPath;
        return CVariant();
    }
    case kSave:
        args.Expect(0);
        if (m_pBook->m_strPath.empty())
            throw CAutomationException(
                u"The workbook has no file name yet: save it with SaveAs first.");
        m_pBook->m_book.Save(m_pBook->m_strPath);
        return CVariant();
    case kClose:
        args.Expect(0);
        Close();
        return CVariant();
    default:
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    }
}

void CSpreadsheetWorkbook::Close() {
    // Changes since the last save are dropped, as nobody is there to be asked.
    m_pBook->m_bOpen = false;
    m_pBook->m_book = CXlsWorkbook();
    std::erase(m_pApplication->m_vecBooks, m_pBook);
}

CSpreadsheetSheets::CSpreadsheetSheets(std::shared_ptr<CBookState> pBook)
    : m_pBook(std::move(pBook)) {}

std::span<const SMember> CSpreadsheetSheets::Members() {
    return kSheetsMembers;
}

CVariant CSpreadsheetSheets::Call(const SMember& member, bool, const CInvokeArgs& args) {
    RequireOpen(*m_pBook);
    if (member.m_dispid != DISPID_VALUE && member.m_dispid != kItem)
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    args.Expect(1);
    const std::vector<CXlsSheet>& sheets = m_pBook->m_book.m_vecSheets;
    std::size_t nSheet = sheets.size();
    if (args.At(0).vt == VT_BSTR) {
        const std::u16string_view name = args.String(0);
        for (std::size_t i = 0; i < sheets.size(); ++i)
            if (SameName(sheets[i].m_strName, name)) {
                nSheet = i;
                break;
            }
    } else {
        const LONG nIndex = args.Long(0);
        if (nIndex >= 1 && static_cast<std::size_t>(nIndex) <= sheets.size())
            nSheet = static_cast<std::size_t>(nIndex - 1);
    }
    if (nSheet >= sheets.size())
        throw CCallError(DISP_E_BADINDEX, 0);
    return NewObjectVariant<CSpreadsheetWorksheet>(m_pBook, nSheet);
}

CSpreadsheetWorksheet::CSpreadsheetWorksheet(std::shared_ptr<CBookState> pBook, std::size_t nSheet)
    : m_pBook(std::move(pBook)), m_nSheet(nSheet) {}

std::span<const SMember> CSpreadsheetWorksheet::Members() {
    return kWorksheetMembers;
}

CVariant CSpreadsheetWorksheet::Call(const SMember& member, bool, const CInvokeArgs& args) {
    RequireOpen(*m_pBook);
    args.Expect(0);
    const CXlsSheet& sheet = m_pBook->m_book.m_vecSheets.at(m_nSheet);
    SCellRect rect;
    switch (member.m_dispid) {
    case kCells:
        rect.m_nRows = sheet.m_nMaxRows;
        rect.m_nColumns = sheet.m_nMaxColumns;
        break;
    case kUsedRange: {
        // From the first used cell to the last; a sheet without any is A1 alone.
        std::uint32_t nFirstRow = 0;
        std::uint32_t nFirstColumn = 0;
        std::uint32_t nLastRow = 0;
        std::uint32_t nLastColumn = 0;
        if (sheet.UsedRange(nFirstRow, nFirstColumn, nLastRow, nLastColumn))
            rect = SCellRect{nFirstRow, nFirstColumn, nLastRow - nFirstRow + 1,
                             nLastColumn - nFirstColumn + 1};
        break;
    }
    default:
        throw CCallError(DISP_E_MEMBERNOTFOUND);
    }
    return NewObjectVariant<CSpreadsheetRange>(m_pBook, m_nSheet, rect);
}
