#include "formats/ExcelFormat.h"

#include "formats/FormatSelection.h"

#include "fields/FieldLayout.h"
#include "formats/Dispatch.h"
#include "platform/com/VariantConvert.h"
#include "platform/file/OutputFile.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/registry/Registry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>

namespace {

// The automation interface's FileFormat number of Office Open XML workbooks.
constexpr std::int32_t kXlsxFileFormat = 51;
constexpr std::int32_t kXlsFileFormat = 56;

constexpr const char* kOfficeKeyPath = "Software\\Microsoft\\Office";
constexpr const char* kApplicationProgId = "Excel.Application";

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsBlankText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), IsBlank);
}

// The decimal integer at the start of a text (blanks and a sign allowed before the
// digits); 0 without digits, clamped to the 32-bit range.
std::int32_t LeadingInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool bNegative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        bNegative = text[i] == '-';
        ++i;
    }
    std::int64_t nValue = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        nValue = std::min<std::int64_t>(nValue * 10 + (text[i] - '0'), std::int64_t{1} << 32);
    if (bNegative)
        nValue = -nValue;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(nValue, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

// Error values show as their text ("#N/A") rather than failing the conversion.
std::string ErrorText(HRESULT scode) {
    switch (static_cast<std::uint32_t>(scode) & 0xFFFFu) {
    case 2000:
        return "#NULL!";
    case 2007:
        return "#DIV/0!";
    case 2015:
        return "#VALUE!";
    case 2023:
        return "#REF!";
    case 2029:
        return "#NAME?";
    case 2036:
        return "#NUM!";
    case 2042:
        return "#N/A";
    default:
        return "";
    }
}

// Copies plain ASCII UTF-16 into out; false (out then undefined) at the first character
// of 0x80 or above.
bool NarrowAscii(std::u16string_view text, std::string& out) {
    out.resize(text.size());
    char16_t nAll = 0;
    char* pOut = out.data();
    for (const char16_t c : text) {
        nAll |= c;
        *pOut++ = static_cast<char>(c);
    }
    return nAll < 0x80;
}

// The text of a cell value into out (its room kept from cell to cell): a string
// unchanged, anything else through the standard conversion; what has no text form reads
// as empty.
void ValueTextInto(const VARIANT& value, unsigned codePage, std::string& out) {
    if (value.vt == VT_EMPTY) {
        out.clear();
        return;
    }
    if (value.vt == VT_BSTR) {
        // Plain ASCII reads as it is in the code pages that keep it.
        const std::u16string_view text = BstrView(value.bstrVal);
        if ((codePage == CP_UTF8 || codePage == CP_WINDOWS_1252) && NarrowAscii(text, out))
            return;
        out = Utf16ToCodePage(text, codePage);
        return;
    }
    // A whole number below 10^15 shows its digits, as the standard conversion shows it.
    if (value.vt == VT_R8 && value.dblVal == std::trunc(value.dblVal) &&
        std::fabs(value.dblVal) < 1e15) {
        char digits[24];
        const auto result = std::to_chars(std::begin(digits), std::end(digits),
                                          static_cast<long long>(value.dblVal));
        out.assign(digits, result.ptr);
        return;
    }
    if (value.vt == VT_ERROR) {
        out = ErrorText(value.scode);
        return;
    }
    CVariant text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) {
        out.clear();
        return;
    }
    out = Utf16ToCodePage(BstrView(text.bstrVal), codePage);
}

std::string ValueText(const VARIANT& value, unsigned codePage) {
    std::string text;
    ValueTextInto(value, codePage, text);
    return text;
}

// Cuts a text to at most nBytes without splitting a character of the code page.
void CutText(std::string& text, std::size_t nBytes, unsigned codePage) {
    if (text.size() <= nBytes)
        return;
    std::size_t nCut = nBytes;
    if (codePage == CP_UTF8)
        while (nCut > 0 && (static_cast<unsigned char>(text[nCut]) & 0xC0) == 0x80)
            --nCut;
    text.resize(nCut);
}

const CVariant& EmptyValue() {
    static const CVariant s_empty;
    return s_empty;
}

CVariant Long(std::int32_t n) {
    return CVariant(static_cast<LONG>(n));
}

const VARIANT& Dereference(const VARIANT& value) {
    return value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal ? *value.pvarVal : value;
}

} // namespace

bool IsExcelAvailable() {
    CRegKey key;
    if (key.Open(ERegHive::LocalMachine, kOfficeKeyPath) != REG_STATUS_OK)
        return false;
    key.Close();
    CComPtr<IDispatch> pApplication;
    if (FAILED(CreateDispatchObject(kApplicationProgId, pApplication)) || !pApplication)
        return false;
    try {
        CallMethod(pApplication.Get(), u"Quit");
    } catch (const CFormatException&) {
        // It was created: that is the answer, whatever Quit says.
    }
    return true;
}

CExcelFormat::CExcelFormat() : m_codePage(GetSystemCodePage()) {
    if (FAILED(CreateDispatchObject(kApplicationProgId, m_pApplication)))
        m_pApplication = nullptr;
}

CExcelFormat::~CExcelFormat() {
    m_pRange = nullptr;
    m_buffer.Clear();
    m_pWorksheet = nullptr;
    m_pWorkbook = nullptr;
    m_pApplication = nullptr;
}

void CExcelFormat::NewBuffer(std::int32_t nColumns) {
    const SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(kBlockRows), 1},
                                      {static_cast<ULONG>(nColumns), 1}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!psa)
        throw std::bad_alloc();
    m_buffer.Clear();
    m_buffer.vt = VT_ARRAY | VT_VARIANT;
    m_buffer.parray = psa;
    m_nBufferRows = kBlockRows;
    m_nBufferColumns = nColumns;
    m_nRowBase = 1;
    m_nColumnBase = 1;
}

void CExcelFormat::WidenBuffer(std::int32_t nColumns) {
    CVariant old;
    old.Swap(m_buffer);
    const std::int32_t nOldColumns = m_nBufferColumns;
    NewBuffer(nColumns);
    for (LONG r = 1; r <= kBlockRows; ++r)
        for (LONG c = 1; c <= nOldColumns; ++c) {
            const LONG indices[2] = {r, c};
            VARIANT* pFrom = SafeArrayElement(old.parray, indices);
            VARIANT* pTo = SafeArrayElement(m_buffer.parray, indices);
            *pTo = *pFrom; // moved: the old element is left empty
            VariantInit(pFrom);
        }
}

void CExcelFormat::FlushBuffer(bool bIncludeCurrentRow) {
    const std::int32_t nRows = m_nRowNumber - m_nFirstBufferedRow + (bIncludeCurrentRow ? 1 : 0);
    if (nRows <= 0)
        return;
    const CComPtr<IDispatch> pFirst = GetItem(m_pRange.Get(), {Long(m_nFirstBufferedRow), Long(1)});
    const CComPtr<IDispatch> pTarget =
        GetObjectProperty(pFirst.Get(), u"Resize", {Long(nRows), Long(m_nBufferColumns)});
    PutProperty(pTarget.Get(), u"Value", m_buffer);
    m_nFirstBufferedRow += nRows;
    // The same array again, emptied: numbers and dates need no clearing.
    SAFEARRAY* psa = m_buffer.parray;
    const std::size_t nElements =
        std::size_t{psa->rgsabound[0].cElements} * psa->rgsabound[1].cElements;
    for (std::size_t i = 0; i < nElements; ++i) {
        VARIANT& element = psa->pvData[i];
        if (element.vt == VT_I4 || element.vt == VT_R8 || element.vt == VT_DATE)
            element.vt = VT_EMPTY;
        else if (element.vt != VT_EMPTY)
            VariantClear(&element);
    }
}

void CExcelFormat::PutCell(CVariant value) {
    if (!m_pWorkbook || !m_buffer.parray)
        throw CFormatException("The workbook is not open for writing.");
    if (m_nColumn > m_nBufferColumns)
        WidenBuffer(m_nColumn + 5);
    if (m_nRowNumber - m_nFirstBufferedRow + 1 > kBlockRows)
        FlushBuffer(false);
    if (value.vt == VT_BSTR && SysStringLen(value.bstrVal) > kLongText) {
        // The rows before, and this row so far, go in one block; the long text and the
        // rest of its row go cell by cell.
        FlushBuffer(true);
        m_bCellByCell = true;
    }
    if (m_bCellByCell) {
        const CComPtr<IDispatch> pCell =
            GetItem(m_pRange.Get(), {Long(m_nRowNumber), Long(m_nColumn)});
        PutProperty(pCell.Get(), u"Value", value);
    } else {
        // Elements lie column by column: the first index counts fastest.
        const std::size_t nRow = static_cast<std::size_t>(m_nRowNumber - m_nFirstBufferedRow);
        const std::size_t nColumn = static_cast<std::size_t>(m_nColumn - 1);
        VARIANT* pElement = &m_buffer.parray->pvData[nRow + nColumn * kBlockRows];
        if (pElement->vt != VT_EMPTY)
            VariantClear(pElement);
        *pElement = value;
        VariantInit(&value); // moved into the buffer
    }
    ++m_nColumn;
}

EStatus CExcelFormat::OpenWrite(const std::string& strFileName) {
    if (!m_pApplication)
        return STATUS_FAILED;
    // The old file stays until the complete workbook is saved by CloseWrite; here it is
    // only tried whether the file can be written (a temporary file beside it, removed at
    // once). A device or pipe is not tried: opening it is already a write.
    if (!COutputFile::IsStreamTarget(strFileName)) {
        COutputFile probe;
        if (!probe.Open(strFileName))
            return STATUS_FAILED;
    }
    m_strFileName = strFileName;
    m_codePage = GetSystemCodePage();
    // The new workbook's grid follows its file format: an .xlsx sheet holds more rows.
    PutProperty(m_pApplication.Get(), u"DefaultSaveFormat",
                Long(IsXlsxFile(strFileName) ? kXlsxFileFormat : kXlsFileFormat));
    const CComPtr<IDispatch> pWorkbooks = GetObjectProperty(m_pApplication.Get(), u"Workbooks");
    m_pWorkbook = ToObject(CallMethod(pWorkbooks.Get(), u"Add"), u"Add");
    const CComPtr<IDispatch> pSheets = GetObjectProperty(m_pWorkbook.Get(), u"Sheets");
    m_pWorksheet = GetItem(pSheets.Get(), {Long(1)});
    m_pRange = GetObjectProperty(m_pWorksheet.Get(), u"Cells");
    m_nRowNumber = 1;
    m_nColumn = 1;
    m_bCellByCell = false;
    NewBuffer(kBlockColumns);
    m_nFirstBufferedRow = 1;
    return STATUS_OK;
}

EStatus CExcelFormat::OpenRead(const std::string& strFileName) {
    if (!m_pApplication)
        return STATUS_FAILED;
    m_codePage = GetSystemCodePage();
    const CComPtr<IDispatch> pWorkbooks = GetObjectProperty(m_pApplication.Get(), u"Workbooks");
    m_pWorkbook = ToObject(CallMethod(pWorkbooks.Get(), u"Open",
                                      {CVariant(std::u16string_view(ToUtf16(strFileName)))}),
                           u"Open");
    const CComPtr<IDispatch> pSheets = GetObjectProperty(m_pWorkbook.Get(), u"Sheets");
    m_pWorksheet = GetItem(pSheets.Get(), {Long(1)});
    m_nRowNumber = 1;
    m_nColumn = 1;
    SetLastCell("");
    m_pRange = GetObjectProperty(m_pWorksheet.Get(), u"UsedRange");
    m_pRows = GetObjectProperty(m_pRange.Get(), u"Rows");
    CVariant count = GetProperty(m_pRows.Get(), u"Count");
    if (FAILED(VariantChangeType(&count, &count, 0, VT_I4)))
        throw CFormatException("Count: the component returned no number");
    m_nRowCount = count.lVal;
    CVariant first = GetProperty(m_pRange.Get(), u"Row");
    if (FAILED(VariantChangeType(&first, &first, 0, VT_I4)))
        throw CFormatException("Row: the component returned no number");
    m_nFirstSheetRow = first.lVal;

    ReadBlock(1);
    m_vecHeader.clear();
    for (std::int32_t c = 1; m_nRowCount >= 1 && c <= m_nBufferColumns; ++c)
        m_vecHeader.push_back(ValueText(CellAt(1, c), m_codePage));
    return STATUS_OK;
}

void CExcelFormat::ReadBlock(std::int32_t nFirstRow) {
    (void)LastText(); // made before the value it may come from goes
    m_buffer.Clear();
    m_nFirstBufferedRow = nFirstRow;
    const std::int32_t nRows = std::min(kReadRows, m_nRowCount - nFirstRow + 1);
    if (nFirstRow == 1 && nRows == m_nRowCount) {
        m_buffer = GetProperty(m_pRange.Get(), u"Value");
    } else {
        // The rows of the used range from nFirstRow, as wide as the used range.
        const CComPtr<IDispatch> pFirst = GetItem(m_pRows.Get(), {Long(nFirstRow)});
        const CComPtr<IDispatch> pBlock =
            GetObjectProperty(pFirst.Get(), u"Resize", {Long(std::max(nRows, 1))});
        m_buffer = GetProperty(pBlock.Get(), u"Value");
    }
    if (m_buffer.vt == (VT_ARRAY | VT_VARIANT) && m_buffer.parray) {
        const SAFEARRAY* psa = m_buffer.parray;
        // A one-dimensional array is one row.
        const bool bTwoDims = psa->cDims == 2;
        m_nBufferRows = bTwoDims ? static_cast<std::int32_t>(psa->rgsabound[0].cElements) : 1;
        m_nRowBase = bTwoDims ? psa->rgsabound[0].lLbound : 0;
        const SAFEARRAYBOUND& columns = psa->rgsabound[bTwoDims ? 1 : 0];
        m_nBufferColumns = static_cast<std::int32_t>(columns.cElements);
        m_nColumnBase = columns.lLbound;
    } else if (m_buffer.vt & VT_ARRAY) {
        throw CFormatException("Value: the component returned an array of an unknown kind");
    } else {
        // A range of one cell gives its value alone.
        m_nBufferRows = 1;
        m_nBufferColumns = 1;
    }
}

void CExcelFormat::CloseWorkbook() {
    if (!m_pWorkbook)
        return;
    const CComPtr<IDispatch> pWorkbook = std::move(m_pWorkbook);
    m_pWorksheet = nullptr;
    m_pRange = nullptr;
    CallMethod(pWorkbook.Get(), u"Close");
}

EStatus CExcelFormat::CloseWrite() {
    if (!m_pWorkbook || !m_buffer.parray)
        return STATUS_FAILED;
    try {
        // A row whose cells were put but that was never ended is handed over too.
        FlushBuffer(m_nColumn > 1 && !m_bCellByCell);
        m_buffer.Clear();
        m_pRange = GetObjectProperty(m_pWorksheet.Get(), u"UsedRange");

        // Every row as high as the first.
        const CComPtr<IDispatch> pFirst = GetItem(m_pRange.Get(), {Long(1), Long(1)});
        const CVariant height = GetProperty(pFirst.Get(), u"RowHeight");
        PutProperty(m_pRange.Get(), u"RowHeight", height);

        // The date and time columns as wide as their contents.
        const std::string names[] = {CFieldLayout::GetFieldName(FIELD_DATE),
                                     CFieldLayout::GetFieldName(FIELD_START_TIME),
                                     CFieldLayout::GetFieldName(FIELD_END_TIME),
                                     CFieldLayout::GetFieldName(FIELD_REPEAT_END_DATE)};
        for (std::int32_t i = 1; i <= m_nBufferColumns; ++i) {
            const CComPtr<IDispatch> pCell = GetItem(m_pRange.Get(), {Long(1), Long(i)});
            const std::string header = ValueText(GetProperty(pCell.Get(), u"Value"), m_codePage);
            if (std::find(std::begin(names), std::end(names), header) != std::end(names))
                CallMethod(GetObjectProperty(pCell.Get(), u"EntireColumn").Get(), u"AutoFit");
        }
        // A name ending in .xlsx is saved in that file format; others keep the .xls default.
        const std::u16string name = ToUtf16(m_strFileName);
        if (IsXlsxFile(m_strFileName))
            CallMethod(m_pWorkbook.Get(), u"SaveAs",
                       {CVariant(std::u16string_view(name)), Long(kXlsxFileFormat)});
        else
            CallMethod(m_pWorkbook.Get(), u"SaveAs", {CVariant(std::u16string_view(name))});
    } catch (...) {
        try {
            CloseWorkbook();
        } catch (const CFormatException&) {
            // The first failure is the one to report.
        }
        throw;
    }
    return CloseRead();
}

EStatus CExcelFormat::CloseRead() {
    if (!m_pWorkbook)
        return STATUS_FAILED;
    m_buffer.Clear();
    m_pRows = nullptr;
    CloseWorkbook();
    return STATUS_OK;
}

EStatus CExcelFormat::EndRow() {
    m_nColumn = 1;
    m_bCellByCell = false;
    ++m_nRowNumber;
    return STATUS_OK;
}

EStatus CExcelFormat::NextRow() {
    ++m_nRowNumber;
    m_nColumn = 1;
    SetLastCell("");
    if (m_nRowNumber > m_nRowCount)
        return STATUS_FAILED;
    if (m_nRowNumber >= m_nFirstBufferedRow + m_nBufferRows)
        ReadBlock(m_nRowNumber);
    return STATUS_OK;
}

EStatus CExcelFormat::WriteText(const std::string& strText) {
    if (CVariant value; AsciiTextValue(strText, value)) {
        PutCell(std::move(value));
        return STATUS_OK;
    }
    std::string text = strText;
    CutText(text, kMaxTextBytes, m_codePage);
    std::erase(text, '\r');
    // Anything but a letter in front could make the spreadsheet take the text for a
    // number, a date or a formula: the apostrophe keeps it text.
    if (!text.empty() && !IsAsciiLetter(text.front()))
        text.insert(text.begin(), '\'');
    PutCell(CVariant(std::u16string_view(CodePageToUtf16(text, m_codePage))));
    return STATUS_OK;
}

bool CExcelFormat::AsciiTextValue(std::string_view text, CVariant& value) const {
    // In these code pages a byte below 0x80 is the character of that number.
    if ((m_codePage != CP_UTF8 && m_codePage != CP_WINDOWS_1252) || text.size() > kMaxTextBytes)
        return false;
    std::size_t nReturns = 0;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
        nReturns += c == '\r' ? 1 : 0;
    }
    const std::size_t nFirst = text.find_first_not_of('\r');
    const bool bQuote = nFirst != std::string_view::npos && !IsAsciiLetter(text[nFirst]);
    const std::size_t nLength = text.size() - nReturns + (bQuote ? 1 : 0);
    BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(nLength));
    if (!bstr)
        throw std::bad_alloc();
    OLECHAR* pOut = bstr;
    if (bQuote)
        *pOut++ = u'\'';
    for (const char c : text)
        if (c != '\r')
            *pOut++ = static_cast<OLECHAR>(c);
    value.Clear();
    value.vt = VT_BSTR;
    value.bstrVal = bstr;
    return true;
}

EStatus CExcelFormat::WriteDate(TimeValue t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return STATUS_FAILED;
    const auto date = CalendarToVariantTime(local.m_nYear, local.m_nMonth, local.m_nDay);
    if (!date)
        return STATUS_FAILED;
    PutCell(CVariant::Date(*date));
    return STATUS_OK;
}

EStatus CExcelFormat::WriteTime(TimeValue t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return STATUS_FAILED;
    // Without the date the cell holds a time of day on day zero of the date scale.
    const auto date = m_bDateWithTime
                          ? CalendarToVariantTime(local.m_nYear, local.m_nMonth, local.m_nDay,
                                                  local.m_nHour, local.m_nMinute, 0)
                          : CalendarToVariantTime(1899, 12, 30, local.m_nHour, local.m_nMinute, 0);
    if (!date)
        return STATUS_FAILED;
    PutCell(CVariant::Date(*date));
    return STATUS_OK;
}

EStatus CExcelFormat::WriteSpan(TimeSpan ts) {
    // Whole seconds, exactly (also for negative spans).
    PutCell(Long(ts));
    return STATUS_OK;
}

EStatus CExcelFormat::WriteInt(std::int32_t n) {
    PutCell(Long(n));
    return STATUS_OK;
}

const VARIANT& CExcelFormat::CellAt(std::int32_t nRow, std::int32_t nColumn) const {
    const std::int32_t nBlockRow = nRow - m_nFirstBufferedRow + 1;
    if (nBlockRow < 1 || nBlockRow > m_nBufferRows || nColumn < 1 || nColumn > m_nBufferColumns)
        return EmptyValue();
    if (!(m_buffer.vt & VT_ARRAY))
        return m_buffer;
    // Within the block's bounds, checked above; elements lie column by column.
    const SAFEARRAY* psa = m_buffer.parray;
    const std::size_t nAt = psa->cDims == 2 ? static_cast<std::size_t>(nBlockRow - 1) +
                                                  static_cast<std::size_t>(nColumn - 1) *
                                                      static_cast<std::size_t>(m_nBufferRows)
                                            : static_cast<std::size_t>(nColumn - 1);
    return Dereference(psa->pvData[nAt]);
}

const VARIANT& CExcelFormat::TakeCell() {
    const VARIANT* pValue = &CellAt(m_nRowNumber, m_nColumn);
    m_pLastValue = pValue;
    m_bLastError = pValue->vt == VT_ERROR;
    ++m_nColumn;
    return *pValue;
}

bool CExcelFormat::PeekHeaderCells(std::vector<std::string>& vecCells) const {
    vecCells = m_vecHeader;
    return m_nRowCount >= 1;
}

const std::string& CExcelFormat::LastText() const {
    if (m_pLastValue) {
        ValueTextInto(*m_pLastValue, m_codePage, m_strLastCell);
        // Made once: the value stays in the buffer until the next cell or row.
        m_pLastValue = nullptr;
    }
    return m_strLastCell;
}

void CExcelFormat::SetLastCell(const std::string& strText) {
    m_pLastValue = nullptr;
    m_bLastError = false;
    m_strLastCell = strText;
}

EStatus CExcelFormat::ReadText(std::string& strOut) {
    // Made straight into strOut; the last cell's own text is made only when asked for.
    ValueTextInto(TakeCell(), m_codePage, strOut);
    return STATUS_OK;
}

EStatus CExcelFormat::ReadDate(TimeValue& tOut) {
    const VARIANT& value = TakeCell();
    if (value.vt != VT_DATE)
        return ParseDateText(LastText(), tOut);
    CLocalTime date;
    if (!VariantTimeToCalendar(value.date, date))
        return STATUS_FAILED;
    // The year window and the datebook's days of date texts hold for date cells too.
    return MakeDatebookDay(date.m_nYear, date.m_nMonth, date.m_nDay, tOut);
}

EStatus CExcelFormat::ReadTime(TimeValue& tOut) {
    // Dates and numbers always have a text: only other values are looked at as text.
    const VARIANT& value = TakeCell();
    if (value.vt != VT_DATE && value.vt != VT_R8)
        return IsBlankText(LastText()) ? STATUS_EMPTY : ParseTimeText(LastText(), tOut);
    CLocalTime time;
    if (!VariantTimeToCalendar(value.vt == VT_DATE ? value.date : value.dblVal, time))
        return STATUS_FAILED;
    // The day is broken down again only when the clock has moved on a second.
    if (const std::int64_t tNow = CurrentTime(); tNow != m_tTodayFrom) {
        if (!BreakDownLocal(tNow, m_today))
            return STATUS_FAILED;
        m_tTodayFrom = tNow;
    }
    const CLocalTime& today = m_today;
    tOut = MakeLocalTimeValue(today.m_nYear, today.m_nMonth, today.m_nDay, time.m_nHour,
                              time.m_nMinute, 0);
    return STATUS_OK;
}

EStatus CExcelFormat::ReadSpan(TimeSpan& tsOut) {
    const VARIANT& value = TakeCell();
    if (value.vt != VT_R8)
        return IsBlankText(LastText()) ? STATUS_EMPTY : ParseSpanText(LastText(), tsOut);
    const double seconds = std::trunc(value.dblVal);
    if (!(seconds >= std::numeric_limits<TimeSpan>::min() &&
          seconds <= std::numeric_limits<TimeSpan>::max()))
        return STATUS_FAILED;
    tsOut = static_cast<TimeSpan>(seconds);
    return STATUS_OK;
}

EStatus CExcelFormat::ReadInt(std::int32_t& nOut) {
    std::string text;
    const EStatus status = ReadText(text);
    nOut = LeadingInteger(text);
    return status;
}
