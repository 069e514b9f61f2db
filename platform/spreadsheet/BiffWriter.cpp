#include "platform/spreadsheet/BiffWriter.h"

#include "platform/spreadsheet/BiffRecords.h"
#include "platform/spreadsheet/ByteWriter.h"
#include "platform/spreadsheet/SharedStrings.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// Cell XFs after the 16 mandatory ones (15 is the default cell XF).
enum EXfIndex : std::uint16_t {
    kXfGeneral = 15,
    kXfDate = 16,        // format 14
    kXfTime = 17,        // format 20, h:mm
    kXfTimeSeconds = 18, // format 21, h:mm:ss
    kXfDateTime = 19,    // format 22
    kXfWrap = 20,        // text with a line feed
    kXfQuote = 21,       // text entered with a leading apostrophe
    kXfQuoteWrap = 22,
};

constexpr std::uint16_t kFormatDate = 14;
constexpr std::uint16_t kFormatTime = 20;
constexpr std::uint16_t kFormatTimeSeconds = 21;
constexpr std::uint16_t kFormatDateTime = 22;

constexpr std::uint16_t kDefaultRowTwips = 255; // 12.75 points, the height of 10-point Arial
constexpr std::uint16_t kMaxRowTwips = 8190;    // 409.5 points
constexpr double kMaxColumnWidth = 255;         // characters
constexpr std::uint8_t kErrorNum = 0x24;        // #NUM!
constexpr std::uint8_t kErrorNa = 0x2A;         // #N/A
// The globals but the string table: below 2 KB (fonts, 23 cell formats, the sheet's name).
constexpr std::size_t kGlobalsBytes = 2048;

// Records whose length is known only once written.
class CRecord {
public:
    CRecord(CByteWriter& out, std::uint16_t id) : m_out(out), m_nStart(out.Size()) {
        out.U16(id);
        out.U16(0);
    }
    ~CRecord() {
        m_out.PatchU16(m_nStart + 2, static_cast<std::uint16_t>(m_out.Size() - m_nStart - 4));
    }
    CRecord(const CRecord&) = delete;
    CRecord& operator=(const CRecord&) = delete;

private:
    CByteWriter& m_out;
    std::size_t m_nStart;
};

void Bof(CByteWriter& out, std::uint16_t type) {
    CRecord rec(out, biff::kBof);
    out.U16(0x0600); // BIFF8
    out.U16(type);
    out.U16(0x0DBB); // build
    out.U16(0x07CC); // build year
    out.U32(0);      // file history
    out.U32(0x0006); // lowest version that can read the file: BIFF8
}

void Eof(CByteWriter& out) {
    CRecord rec(out, biff::kEof);
}

void Font(CByteWriter& out) {
    static constexpr char16_t kName[] = u"Arial";
    CRecord rec(out, biff::kFont);
    out.U16(200);    // 10 points in twips
    out.U16(0);      // regular
    out.U16(0x7FFF); // automatic colour
    out.U16(400);    // normal weight
    out.U16(0);      // no super- or subscript
    out.U8(0);       // no underline
    out.U8(0);       // family
    out.U8(0);       // character set
    out.U8(0);
    out.U8(static_cast<std::uint8_t>(std::size(kName) - 1));
    out.U8(0); // compressed
    for (std::size_t i = 0; i + 1 < std::size(kName); ++i) {
        out.U8(static_cast<std::uint8_t>(kName[i]));
    }
}

// nFlags: bit 0 locked, bit 2 style XF, bit 3 quote prefix, bits 4-15 parent style.
// nAttributes: the attribute groups (bits 2-7: format, font, alignment, borders,
// background, protection) this XF sets (cell XF) or ignores (style XF).
void Xf(CByteWriter& out, std::uint16_t nFont, std::uint16_t nFormat, std::uint16_t nFlags,
        bool bWrap, std::uint8_t nAttributes) {
    CRecord rec(out, biff::kXf);
    out.U16(nFont);
    out.U16(nFormat);
    out.U16(nFlags);
    out.U8(bWrap ? 0x28 : 0x20); // general, bottom-aligned, wrapped or not
    out.U8(0);                   // no rotation
    out.U8(0);                   // no indent
    out.U8(nAttributes);
    out.U32(0);      // no borders
    out.U32(0);      // border colours, no fill pattern
    out.U16(0x20C0); // pattern colours: window text on window background
}

void WriteGlobals(CByteWriter& out, const CXlsSheet& sheet, const CSharedStrings& strings,
                  std::size_t& nSheetOffsetAt) {
    Bof(out, 0x0005);
    {
        CRecord rec(out, biff::kCodePage);
        out.U16(1200); // UTF-16
    }
    {
        CRecord rec(out, biff::kWindow1);
        out.U16(0x0168); // position and size in twips
        out.U16(0x001E);
        out.U16(0x3A98);
        out.U16(0x2328);
        out.U16(0x0038); // scroll bars and sheet tabs shown
        out.U16(0);      // active sheet
        out.U16(0);      // first tab shown
        out.U16(1);      // sheets selected
        out.U16(600);    // tab bar width, per mille
    }
    {
        CRecord rec(out, biff::kDateMode);
        out.U16(0); // 1900 date system
    }
    for (int i = 0; i < 4; ++i) { // font index 4 is never used
        Font(out);
    }
    // Style XFs 0-14 (0 is Normal; 1-14 take only the font), then cell XFs.
    Xf(out, 0, 0, 0xFFF5, false, 0x00);
    for (std::uint16_t i = 1; i < 15; ++i) {
        Xf(out, i <= 2 ? 1 : i <= 4 ? 2 : 0, 0, 0xFFF5, false, 0xF4);
    }
    Xf(out, 0, 0, 0x0001, false, 0x00);
    Xf(out, 0, kFormatDate, 0x0001, false, 0x04);
    Xf(out, 0, kFormatTime, 0x0001, false, 0x04);
    Xf(out, 0, kFormatTimeSeconds, 0x0001, false, 0x04);
    Xf(out, 0, kFormatDateTime, 0x0001, false, 0x04);
    Xf(out, 0, 0, 0x0001, true, 0x10);
    Xf(out, 0, 0, 0x0009, false, 0x10);
    Xf(out, 0, 0, 0x0009, true, 0x10);
    {
        CRecord rec(out, biff::kStyle);
        out.U16(0x8000); // built-in style on XF 0
        out.U8(0);       // Normal
        out.U8(0xFF);
    }
    {
        CRecord rec(out, biff::kBoundSheet);
        nSheetOffsetAt = out.Size();
        out.U32(0); // stream offset of the sheet, patched once known
        out.U8(0);  // visible
        out.U8(0);  // worksheet
        out.U8(static_cast<std::uint8_t>(sheet.m_strName.size()));
        out.U8(1); // UTF-16
        for (char16_t c : sheet.m_strName) {
            out.U16(c);
        }
    }
    strings.Write(out);
    Eof(out);
}

// 30-bit integers, and doubles whose low 34 bits are zero, fit an RK value.
bool EncodeRk(double d, std::uint32_t& rk) {
    if (d == std::floor(d) && d >= -536870912.0 && d <= 536870911.0 &&
        !(d == 0 && std::signbit(d))) {
        rk = static_cast<std::uint32_t>(static_cast<std::int32_t>(d)) << 2 | 0x2;
        return true;
    }
    const auto bits = std::bit_cast<std::uint64_t>(d);
    if ((bits & 0x3FFFFFFFFull) == 0) {
        rk = static_cast<std::uint32_t>(bits >> 32);
        return true;
    }
    return false;
}

bool HasSeconds(double d) {
    const double frac = d - std::floor(d);
    const auto nSeconds = static_cast<long long>(std::llround(frac * 86400.0)) % 86400;
    return nSeconds % 60 != 0;
}

std::uint16_t NumberXf(const CXlsCellView& cell) {
    const double d = cell.m_dNumber;
    switch (cell.m_format) {
    case EXlsNumberFormat::General:
        return kXfGeneral;
    case EXlsNumberFormat::Date:
        return kXfDate;
    case EXlsNumberFormat::Time:
        return HasSeconds(d) ? kXfTimeSeconds : kXfTime;
    case EXlsNumberFormat::DateTime:
        return kXfDateTime;
    case EXlsNumberFormat::OtherDate:
        break;
    }
    // Formats read from other files are written as the closest built-in one.
    if (d == std::floor(d)) {
        return kXfDate;
    }
    if (d >= 0 && d < 1) {
        return HasSeconds(d) ? kXfTimeSeconds : kXfTime;
    }
    return kXfDateTime;
}

// A cell record made on the stack and appended whole: header, row, column and XF, then
// the value.
class CCellRecord {
public:
    CCellRecord(std::uint16_t id, std::uint32_t nRow, std::uint32_t nColumn, std::uint16_t nXf) {
        U16(id);
        U16(0); // length, set when appended
        U16(static_cast<std::uint16_t>(nRow));
        U16(static_cast<std::uint16_t>(nColumn));
        U16(nXf);
    }
    void U8(std::uint8_t v) { m_bytes[m_nSize++] = static_cast<char>(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void F64(double d) {
        const auto bits = std::bit_cast<std::uint64_t>(d);
        U32(static_cast<std::uint32_t>(bits));
        U32(static_cast<std::uint32_t>(bits >> 32));
    }
    void AppendTo(CByteWriter& out) {
        m_bytes[2] = static_cast<char>(m_nSize - 4);
        out.Raw(std::string_view(m_bytes, m_nSize));
    }

private:
    char m_bytes[24] = {};
    std::size_t m_nSize = 0;
};

void BoolErr(CByteWriter& out, std::uint32_t nRow, std::uint32_t nColumn, std::uint8_t nValue,
             bool bError) {
    CCellRecord rec(biff::kBoolErr, nRow, nColumn, kXfGeneral);
    rec.U8(nValue);
    rec.U8(bError ? 1 : 0);
    rec.AppendTo(out);
}

std::uint8_t ErrorCode(double d) {
    static constexpr std::uint8_t kCodes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    for (std::uint8_t c : kCodes) {
        if (d == c) {
            return c;
        }
    }
    return kErrorNa;
}

// Record bytes (header included) of a cell holding a value.
std::size_t CellRecordBytes(const CXlsCellView& cell) {
    std::uint32_t rk = 0;
    switch (cell.m_kind) {
    case CXlsCell::EKind::Text:
        return 4 + 10;
    case CXlsCell::EKind::Number:
        if (!std::isfinite(cell.m_dNumber)) {
            return 4 + 8;
        }
        return EncodeRk(cell.m_dNumber, rk) ? 4 + 10 : 4 + 14;
    case CXlsCell::EKind::Boolean:
    case CXlsCell::EKind::Error:
        return 4 + 8;
    case CXlsCell::EKind::Empty:
        break;
    }
    return 0;
}

void Cell(CByteWriter& out, std::uint32_t nRow, std::uint32_t nColumn, const CXlsCellView& cell,
          std::uint32_t nStringIndex) {
    switch (cell.m_kind) {
    case CXlsCell::EKind::Empty:
        return;
    case CXlsCell::EKind::Text: {
        if (cell.m_strText.empty()) {
            return;
        }
        const bool bWrap = cell.m_strText.find_first_of(u"\n\r") != std::u16string_view::npos;
        const std::uint16_t nXf = cell.m_bQuotePrefix ? (bWrap ? kXfQuoteWrap : kXfQuote)
                                                      : (bWrap ? kXfWrap : kXfGeneral);
        CCellRecord rec(biff::kLabelSst, nRow, nColumn, nXf);
        rec.U32(nStringIndex);
        rec.AppendTo(out);
        return;
    }
    case CXlsCell::EKind::Number: {
        const double d = cell.m_dNumber;
        if (!std::isfinite(d)) { // the file format has no infinities or NaN
            BoolErr(out, nRow, nColumn, kErrorNum, true);
            return;
        }
        std::uint32_t rk = 0;
        if (EncodeRk(d, rk)) {
            CCellRecord rec(biff::kRk, nRow, nColumn, NumberXf(cell));
            rec.U32(rk);
            rec.AppendTo(out);
        } else {
            CCellRecord rec(biff::kNumber, nRow, nColumn, NumberXf(cell));
            rec.F64(d);
            rec.AppendTo(out);
        }
        return;
    }
    case CXlsCell::EKind::Boolean:
        BoolErr(out, nRow, nColumn, cell.m_dNumber != 0 ? 1 : 0, false);
        return;
    case CXlsCell::EKind::Error:
        BoolErr(out, nRow, nColumn, ErrorCode(cell.m_dNumber), true);
        return;
    }
}

std::uint16_t RowTwips(const CXlsSheet& sheet, std::uint32_t nRow) {
    if (nRow >= sheet.m_vecRowHeights.size()) {
        return 0;
    }
    const double pt = sheet.m_vecRowHeights[nRow];
    if (!(pt > 0)) {
        return 0;
    }
    return static_cast<std::uint16_t>(std::clamp(std::lround(pt * 20), 2L, long{kMaxRowTwips}));
}

void CheckName(const std::u16string& name) {
    if (name.empty() || name.size() > 31 ||
        name.find_first_of(u"[]:*?/\\") != std::u16string::npos || name.front() == u'\'' ||
        name.back() == u'\'') {
        throw CXlsError("invalid sheet name (1 to 31 characters, none of [ ] : * ? / \\)");
    }
}

constexpr std::size_t kRowRecordBytes = 4 + 16;
constexpr std::size_t kWindow2Bytes = 4 + 18;
constexpr std::size_t kEofBytes = 4;

// The sheet's records before its rows: BOF, default sizes, column widths, DIMENSIONS.
void WriteSheetHead(CByteWriter& out, const CXlsSheet& sheet) {
    Bof(out, 0x0010);
    {
        CRecord rec(out, biff::kDefaultRowHeight);
        out.U16(0);
        out.U16(kDefaultRowTwips);
    }
    {
        CRecord rec(out, biff::kDefColWidth);
        out.U16(8); // characters
    }
    const std::size_t nWidths = std::min<std::size_t>(sheet.m_vecColumnWidths.size(), 256);
    for (std::size_t c = 0; c < nWidths; ++c) {
        const double w = sheet.m_vecColumnWidths[c];
        if (!(w > 0)) {
            continue;
        }
        CRecord rec(out, biff::kColInfo);
        out.U16(static_cast<std::uint16_t>(c));
        out.U16(static_cast<std::uint16_t>(c));
        out.U16(static_cast<std::uint16_t>(std::lround(std::min(w, kMaxColumnWidth) * 256)));
        out.U16(kXfGeneral);
        out.U16(0x0006); // set by the user, best fit
        out.U16(0);
    }
    std::uint32_t nFirstRow = 0, nFirstCol = 0, nLastRow = 0, nLastCol = 0;
    const bool bAny = sheet.UsedRange(nFirstRow, nFirstCol, nLastRow, nLastCol);
    {
        CRecord rec(out, biff::kDimensions);
        out.U32(bAny ? nFirstRow : 0);
        out.U32(bAny ? nLastRow + 1 : 0);
        out.U16(static_cast<std::uint16_t>(bAny ? nFirstCol : 0));
        out.U16(static_cast<std::uint16_t>(bAny ? nLastCol + 1 : 0));
        out.U16(0);
    }
}

void WriteSheetTail(CByteWriter& out) {
    {
        CRecord rec(out, biff::kWindow2);
        out.U16(0x06B6); // gridlines, headings, zeros, outline symbols, selected, active
        out.U16(0);      // top row
        out.U16(0);      // left column
        out.U16(0x0040); // gridline colour: automatic
        out.U16(0);
        out.U16(0); // zoom of page break preview: default
        out.U16(0); // zoom: default
        out.U32(0);
    }
    Eof(out);
}

constexpr std::size_t kPieceBytes = 65536;
constexpr std::uint32_t kNoString = 0xFFFFFFFF;

} // namespace

CBiffWriter::CBiffWriter(const CXlsSheet& sheet) : m_sheet(sheet) {
    CheckName(sheet.m_strName);
    // Rows the sheet part covers: every row with a cell, or with a height.
    const std::size_t nRows = std::min<std::size_t>(
        kXlsMaxRows, std::max<std::size_t>(sheet.RowCount(), sheet.m_vecRowHeights.size()));
    m_vecFirst.assign(nRows, 0);
    m_vecEnd.assign(nRows, 0);
    // Shared strings, in the order the cells refer to them; the size of the sheet's cells.
    CSharedStrings strings;
    m_vecStringIndex.assign(sheet.Texts().Count(), kNoString);
    std::size_t nCellBytes = 0;
    for (std::uint32_t r = 0; r < sheet.RowCount(); ++r) {
        sheet.ForEachInRow(r, [&](std::uint32_t c, const CXlsCellView& cell) {
            if (!cell.HasValue()) {
                return;
            }
            if (r >= kXlsMaxRows) {
                throw CXlsError("too many rows for an Excel 97-2003 workbook (65,536 at most)");
            }
            if (c >= kXlsMaxColumns) {
                throw CXlsError("too many columns for an Excel 97-2003 workbook (256 at most)");
            }
            if (cell.m_kind == CXlsCell::EKind::Text) {
                if (cell.m_strText.size() > kXlsMaxTextLength) {
                    throw CXlsError("text too long for an Excel 97-2003 workbook cell (65,535 "
                                    "characters at most)");
                }
                std::uint32_t& nIndex = m_vecStringIndex[cell.m_nTextIndex];
                if (nIndex == kNoString) {
                    nIndex = strings.AddDistinct(cell.m_strText);
                } else {
                    strings.AddReference();
                }
            }
            if (m_vecEnd[r] == 0) {
                m_vecFirst[r] = static_cast<std::uint16_t>(c);
            }
            m_vecEnd[r] = static_cast<std::uint16_t>(c + 1);
            nCellBytes += CellRecordBytes(cell);
        });
    }
    CByteWriter out;
    // The table is most of the globals: room for it at once rather than by doubling
    // (which held the old and the new copy together).
    out.Reserve(kGlobalsBytes + strings.MaxBytes());
    std::size_t nSheetOffsetAt = 0;
    WriteGlobals(out, sheet, strings, nSheetOffsetAt);
    out.PatchU32(nSheetOffsetAt, static_cast<std::uint32_t>(out.Size()));
    m_globals = out.Take();

    CByteWriter head;
    WriteSheetHead(head, sheet);
    std::size_t nRowRecords = 0;
    for (std::size_t r = 0; r < nRows; ++r) {
        if (m_vecEnd[r] != 0 || RowTwips(sheet, static_cast<std::uint32_t>(r)) != 0) {
            ++nRowRecords;
        }
    }
    m_nSize = m_globals.size() + head.Size() + nRowRecords * kRowRecordBytes + nCellBytes +
              kWindow2Bytes + kEofBytes;
}

void CBiffWriter::Write(const std::function<void(std::string_view)>& sink) const {
    const CXlsSheet& sheet = m_sheet;
    std::size_t nWritten = m_globals.size();
    sink(m_globals);
    CByteWriter out;
    out.Reserve(kPieceBytes + 4096);
    const auto flush = [&] {
        nWritten += out.Size();
        sink(out.Bytes());
        out.Clear();
    };
    WriteSheetHead(out, sheet);
    // Blocks of up to 32 rows: their ROW records, then their cells.
    const std::size_t nRows = m_vecEnd.size();
    for (std::size_t nBlock = 0; nBlock < nRows; nBlock += 32) {
        const std::size_t nBlockEnd = std::min(nRows, nBlock + 32);
        for (std::size_t r = nBlock; r < nBlockEnd; ++r) {
            const std::uint16_t nTwips = RowTwips(sheet, static_cast<std::uint32_t>(r));
            if (m_vecEnd[r] == 0 && nTwips == 0) {
                continue;
            }
            CRecord rec(out, biff::kRow);
            out.U16(static_cast<std::uint16_t>(r));
            out.U16(m_vecFirst[r]);
            out.U16(m_vecEnd[r]);
            out.U16(nTwips ? nTwips : kDefaultRowTwips);
            out.U16(0);
            out.U16(0);
            out.U32(nTwips ? 0x0140 : 0x0100); // 0x0040: height set, not from the font
        }
        for (std::size_t r = nBlock; r < nBlockEnd; ++r) {
            const auto nRow = static_cast<std::uint32_t>(r);
            sheet.ForEachInRow(nRow, [&](std::uint32_t c, const CXlsCellView& cell) {
                Cell(out, nRow, c, cell,
                     cell.m_kind == CXlsCell::EKind::Text ? m_vecStringIndex[cell.m_nTextIndex]
                                                          : 0);
            });
        }
        if (out.Size() >= kPieceBytes) {
            flush();
        }
    }
    WriteSheetTail(out);
    flush();
    if (nWritten != m_nSize) {
        // The container was laid out for the size told before: a file of another size
        // would be damaged.
        throw CXlsError("internal error: the workbook stream came out " + std::to_string(nWritten) +
                        " bytes long instead of " + std::to_string(m_nSize));
    }
}

std::string CBiffWriter::WriteStream(const CXlsSheet& sheet) {
    const CBiffWriter writer(sheet);
    std::string stream;
    stream.reserve(writer.Size());
    writer.Write([&stream](std::string_view piece) { stream.append(piece); });
    return stream;
}
