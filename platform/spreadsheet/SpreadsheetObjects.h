// The automation objects of the spreadsheet component: Application, Workbooks, Workbook,
// Sheets, Worksheet and Range, each offering only IDispatch. Open workbooks live in
// memory and reach the file through the workbook engine on Open, SaveAs and Save.
//
// The objects share plain state (the application's list of open workbooks, each
// workbook's cells) through shared pointers, never through each other, so that no
// reference cycle can keep an object alive.
#pragma once

#include "platform/com/ClassRegistry.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/spreadsheet/SpreadsheetDispatch.h"
#include "platform/spreadsheet/XlsWorkbook.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CBookState {
    CXlsWorkbook m_book;
    std::string m_strPath; // where Save writes; empty until SaveAs or after Add
    bool m_bOpen = true;
};

struct CApplicationState {
    bool m_bQuit = false;
    EXlsFileFormat m_defaultFormat = EXlsFileFormat::Xls;
    std::vector<std::shared_ptr<CBookState>> m_vecBooks;
};

class CSpreadsheetApplication final : public CAutomationObject<CSpreadsheetApplication> {
public:
    CSpreadsheetApplication();
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    std::shared_ptr<CApplicationState> m_pState;
};

class CSpreadsheetWorkbooks final : public CAutomationObject<CSpreadsheetWorkbooks> {
public:
    explicit CSpreadsheetWorkbooks(std::shared_ptr<CApplicationState> pState);
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    std::shared_ptr<CApplicationState> m_pState;
};

class CSpreadsheetWorkbook final : public CAutomationObject<CSpreadsheetWorkbook> {
public:
    CSpreadsheetWorkbook(std::shared_ptr<CApplicationState> pApplication,
                         std::shared_ptr<CBookState> pBook);
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    void Close();

    std::shared_ptr<CApplicationState> m_pApplication;
    std::shared_ptr<CBookState> m_pBook;
};

class CSpreadsheetSheets final : public CAutomationObject<CSpreadsheetSheets> {
public:
    explicit CSpreadsheetSheets(std::shared_ptr<CBookState> pBook);
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    std::shared_ptr<CBookState> m_pBook;
};

class CSpreadsheetWorksheet final : public CAutomationObject<CSpreadsheetWorksheet> {
public:
    CSpreadsheetWorksheet(std::shared_ptr<CBookState> pBook, std::size_t nSheet);
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    std::shared_ptr<CBookState> m_pBook;
    std::size_t m_nSheet;
};

// A rectangle of cells, 0-based and never empty.
struct SCellRect {
    std::uint32_t m_nTop = 0;
    std::uint32_t m_nLeft = 0;
    std::uint32_t m_nRows = 1;
    std::uint32_t m_nColumns = 1;
};

// How a range counts and indexes: by cells, by whole rows (Rows) or by whole columns
// (EntireColumn).
enum class ERangeKind : std::uint8_t { Cells, Rows, Columns };

class CSpreadsheetRange final : public CAutomationObject<CSpreadsheetRange> {
public:
    CSpreadsheetRange(std::shared_ptr<CBookState> pBook, std::size_t nSheet, SCellRect rect,
                      ERangeKind kind = ERangeKind::Cells);
    static std::span<const SMember> Members();
    CVariant Call(const SMember& member, bool bPut, const CInvokeArgs& args);

private:
    [[nodiscard]] CXlsSheet& Sheet() const;
    [[nodiscard]] CVariant Item(const CInvokeArgs& args) const;
    [[nodiscard]] CVariant Resize(const CInvokeArgs& args) const;
    [[nodiscard]] CVariant GetValue() const;
    void PutValue(const VARIANT& value) const;
    [[nodiscard]] CVariant GetRowHeight() const;
    void PutRowHeight(double dHeight) const;
    void AutoFit() const;
    [[nodiscard]] CVariant NewRange(std::int64_t nTop, std::int64_t nLeft, std::int64_t nRows,
                                    std::int64_t nColumns, ERangeKind kind) const;

    std::shared_ptr<CBookState> m_pBook;
    std::size_t m_nSheet;
    SCellRect m_rect;
    ERangeKind m_kind;
};

// Fails the call when the workbook has been closed (or the application quit).
void RequireOpen(const CBookState& book);

// The class factory of the Application object.
[[nodiscard]] CComPtr<IClassFactory> NewSpreadsheetClassFactory();

// Conversions between cells and values, as the component reads and writes them.
[[nodiscard]] CVariant CellToVariant(const CXlsCellView& cell);
// False when the value has no cell form (objects, arrays, unknown error codes). A text
// cell views the string of the value, which must outlive it.
[[nodiscard]] bool VariantToCell(const VARIANT& value, CXlsCellView& cell);
// The text a cell shows, as far as its width goes: characters of its widest line (dates
// in the settings' short date).
[[nodiscard]] std::size_t DisplayWidth(const CXlsCellView& cell, const CRegionalSettings& settings);
