#include "platform/spreadsheet/BiffReader.h"

#include "platform/spreadsheet/BiffRecords.h"
#include "platform/spreadsheet/ByteReader.h"
#include "platform/spreadsheet/SharedStrings.h"

#include <bit>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kDays1904 = 1462; // 1904-01-01 in the 1900 date system

// An error code no application writes reads as a missing value, so that every error a
// loaded cell holds is one a saved file can hold too.
std::uint8_t KnownError(std::uint8_t nCode) {
    static constexpr std::uint8_t kCodes[] = {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A};
    for (const std::uint8_t c : kCodes) {
        if (nCode == c) {
            return c;
        }
    }
    return kXlsNoValue;
}

struct CRecordView {
    std::uint16_t m_id = 0;
    std::string_view m_body;
};

// Walks the records of the stream from an offset; every header and body must lie inside.
class CRecordCursor {
public:
    CRecordCursor(std::string_view stream, std::size_t nPos) : m_stream(stream), m_nPos(nPos) {}

    bool Next(CRecordView& rec) {
        if (m_stream.size() - m_nPos < 4) {
            return false;
        }
        rec.m_id = LoadU16(m_stream, m_nPos);
        const std::size_t nSize = LoadU16(m_stream, m_nPos + 2);
        if (nSize > m_stream.size() - m_nPos - 4) {
            ThrowDamaged("truncated record");
        }
        rec.m_body = m_stream.substr(m_nPos + 4, nSize);
        m_nPos += 4 + nSize;
        return true;
    }
    [[nodiscard]] bool PeekId(std::uint16_t& id) const {
        if (m_stream.size() - m_nPos < 4) {
            return false;
        }
        id = LoadU16(m_stream, m_nPos);
        return true;
    }
    // The bodies of the CONTINUE records that follow.
    void TakeContinues(std::vector<std::string_view>& segments) {
        std::uint16_t id = 0;
        CRecordView rec;
        while (PeekId(id) && id == biff::kContinue && Next(rec)) {
            segments.push_back(rec.m_body);
        }
    }

private:
    std::string_view m_stream;
    std::size_t m_nPos;
};

struct CXfInfo {
    std::uint16_t m_nFormat = 0;
    bool m_bQuotePrefix = false;
    EXlsNumberFormat m_format = EXlsNumberFormat::General;
};

struct CGlobals {
    // The shared strings, as indexes of the sheet's text pool.
    std::vector<std::uint32_t> m_vecTextIds;
    std::vector<CXfInfo> m_vecXfs;
    std::map<std::uint16_t, std::u16string> m_mapFormats;
    bool m_b1904 = false;
    bool m_bHaveSheet = false;
    std::uint32_t m_nSheetOffset = 0;
    std::u16string m_strSheetName;
};

// XLUnicodeString inside one record: 16-bit length, flags, characters.
std::u16string ReadUnicodeString(CByteReader& r, bool bShortLength) {
    const std::size_t nChars = bShortLength ? r.U8() : r.U16();
    const bool bHigh = (r.U8() & 0x01) != 0;
    const std::string_view bytes = r.Bytes(nChars * (bHigh ? 2 : 1));
    std::u16string out(nChars, u'\0');
    for (std::size_t i = 0; i < nChars; ++i) {
        out[i] = bHigh ? static_cast<char16_t>(LoadU16(bytes, 2 * i))
                       : static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

void CheckBof(const CRecordView& rec, std::uint16_t* pType) {
    if (rec.m_id != biff::kBof) {
        if (rec.m_id == 0x0009 || rec.m_id == 0x0209 || rec.m_id == 0x0409) {
            throw CXlsError("an Excel 2.x-4.0 workbook, which cannot be read (only Excel 97-2003 "
                            "workbooks can)");
        }
        ThrowDamaged("no BOF record");
    }
    CByteReader r(rec.m_body, "BOF record");
    const std::uint16_t nVersion = r.U16();
    const std::uint16_t nType = r.U16();
    if (nVersion != 0x0600) {
        throw CXlsError("an Excel 5.0/95 or older workbook, which cannot be read (only Excel "
                        "97-2003 workbooks can)");
    }
    *pType = nType;
}

// The shared strings go into the pool of the sheet being read.
CGlobals ReadGlobals(std::string_view stream, CXlsSheet& sheet) {
    CGlobals g;
    CRecordCursor cursor(stream, 0);
    CRecordView rec;
    if (!cursor.Next(rec)) {
        ThrowDamaged("empty workbook stream");
    }
    std::uint16_t nType = 0;
    CheckBof(rec, &nType);
    if (nType != 0x0005) {
        ThrowDamaged("no workbook globals");
    }
    for (;;) {
        if (!cursor.Next(rec)) {
            ThrowDamaged("workbook globals without end");
        }
        if (rec.m_id == biff::kEof) {
            break;
        }
        CByteReader r(rec.m_body, "workbook record");
        switch (rec.m_id) {
        case biff::kFilePass:
            throw CXlsError("the workbook is protected with a password, which cannot be read");
        case biff::kDateMode:
            g.m_b1904 = r.U16() != 0;
            break;
        case biff::kFormat: {
            const std::uint16_t nId = r.U16();
            g.m_mapFormats[nId] = ReadUnicodeString(r, false);
            break;
        }
        case biff::kXf: {
            r.U16(); // font
            CXfInfo xf;
            xf.m_nFormat = r.U16();
            const std::uint16_t nFlags = r.U16();
            xf.m_bQuotePrefix = (nFlags & 0x0004) == 0 && (nFlags & 0x0008) != 0;
            g.m_vecXfs.push_back(xf);
            break;
        }
        case biff::kBoundSheet:
            if (!g.m_bHaveSheet) {
                g.m_nSheetOffset = r.U32();
                r.U8(); // visibility
                r.U8(); // sheet type
                g.m_strSheetName = ReadUnicodeString(r, true);
                g.m_bHaveSheet = true;
            }
            break;
        case biff::kSst: {
            std::vector<std::string_view> segments{rec.m_body};
            cursor.TakeContinues(segments);
            g.m_vecTextIds.clear();
            // Room for the texts the table counts, as far as its bytes can hold them (3
            // bytes at least each): the pool's index is not grown step by step.
            std::size_t nBytes = 0;
            for (const std::string_view segment : segments) {
                nBytes += segment.size();
            }
            if (rec.m_body.size() >= 8) {
                const std::size_t nTexts =
                    std::min<std::size_t>(LoadU32(rec.m_body, 4), nBytes / 3);
                sheet.ReserveTexts(nTexts);
                g.m_vecTextIds.reserve(nTexts);
            }
            CSharedStrings::Parse(segments, [&](std::u16string_view text) {
                g.m_vecTextIds.push_back(sheet.AddText(text));
            });
            break;
        }
        default:
            break;
        }
    }
    for (CXfInfo& xf : g.m_vecXfs) {
        xf.m_format = ClassifyNumberFormat(xf.m_nFormat, g.m_mapFormats);
    }
    if (!g.m_bHaveSheet) {
        ThrowDamaged("no sheet");
    }
    return g;
}

double DecodeRk(std::uint32_t rk) {
    double d = 0;
    if (rk & 0x2) {
        d = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        d = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    }
    return (rk & 0x1) ? d / 100 : d;
}

// Fills the cells of the sheet being read.
class CSheetBuilder {
public:
    CSheetBuilder(const CGlobals& g, CXlsSheet& sheet) : m_g(g), m_sheet(sheet) {}

    void Number(std::uint16_t nRow, std::uint16_t nColumn, std::uint16_t nXf, double d) {
        CXlsCellView cell;
        cell.m_kind = CXlsCell::EKind::Number;
        cell.m_format =
            nXf < m_g.m_vecXfs.size() ? m_g.m_vecXfs[nXf].m_format : EXlsNumberFormat::General;
        cell.m_dNumber = m_g.m_b1904 && cell.IsDate() ? d + kDays1904 : d;
        Set(nRow, nColumn, cell);
    }
    // An empty text is an empty cell.
    void Text(std::uint16_t nRow, std::uint16_t nColumn, std::uint16_t nXf,
              std::u16string_view text) {
        CXlsCellView cell;
        cell.m_kind = CXlsCell::EKind::Text;
        cell.m_strText = text;
        cell.m_bQuotePrefix = QuotePrefix(nXf);
        Set(nRow, nColumn, cell);
    }
    void SharedText(std::uint16_t nRow, std::uint16_t nColumn, std::uint16_t nXf,
                    std::uint32_t nIndex) {
        if (nIndex >= m_g.m_vecTextIds.size()) {
            ThrowDamaged("string index outside the string table");
        }
        CheckColumn(nColumn);
        m_sheet.SetText(nRow, nColumn, m_g.m_vecTextIds[nIndex], QuotePrefix(nXf));
    }
    void BoolErr(std::uint16_t nRow, std::uint16_t nColumn, std::uint8_t nValue, bool bError) {
        CXlsCellView cell;
        cell.m_kind = bError ? CXlsCell::EKind::Error : CXlsCell::EKind::Boolean;
        cell.m_dNumber = bError ? KnownError(nValue) : (nValue != 0 ? 1 : 0);
        Set(nRow, nColumn, cell);
    }
    void Clear(std::uint16_t nRow, std::uint16_t nColumn) { Set(nRow, nColumn, CXlsCellView{}); }

private:
    static void CheckColumn(std::uint16_t nColumn) {
        if (nColumn >= kXlsMaxColumns) {
            ThrowDamaged("cell beyond column 256");
        }
    }
    void Set(std::uint16_t nRow, std::uint16_t nColumn, const CXlsCellView& cell) {
        CheckColumn(nColumn);
        m_sheet.Set(nRow, nColumn, cell);
    }
    [[nodiscard]] bool QuotePrefix(std::uint16_t nXf) const {
        return nXf < m_g.m_vecXfs.size() && m_g.m_vecXfs[nXf].m_bQuotePrefix;
    }

    const CGlobals& m_g;
    CXlsSheet& m_sheet;
};

void ReadSheet(std::string_view stream, const CGlobals& g, CXlsSheet& sheet) {
    if (g.m_nSheetOffset >= stream.size()) {
        ThrowDamaged("sheet offset outside the stream");
    }
    CRecordCursor cursor(stream, g.m_nSheetOffset);
    CRecordView rec;
    if (!cursor.Next(rec)) {
        ThrowDamaged("sheet offset outside the stream");
    }
    std::uint16_t nType = 0;
    CheckBof(rec, &nType);
    CSheetBuilder builder(g, sheet);
    // A FORMULA with a text result is followed by a STRING record holding the text.
    bool bPendingString = false;
    std::uint16_t nPendingRow = 0, nPendingColumn = 0, nPendingXf = 0;
    int nDepth = 1; // embedded charts nest their own BOF ... EOF
    while (nDepth > 0) {
        if (!cursor.Next(rec)) {
            ThrowDamaged("sheet without end");
        }
        if (rec.m_id == biff::kBof) {
            ++nDepth;
            continue;
        }
        if (rec.m_id == biff::kEof) {
            --nDepth;
            continue;
        }
        if (nDepth != 1 || nType != 0x0010) {
            continue;
        }
        CByteReader r(rec.m_body, "cell record");
        switch (rec.m_id) {
        case biff::kLabelSst: {
            const std::uint16_t nRow = r.U16(), nCol = r.U16(), nXf = r.U16();
            builder.SharedText(nRow, nCol, nXf, r.U32());
            break;
        }
        case biff::kLabel:
        case biff::kRString: { // RString: formatting runs follow the text
            const std::uint16_t nRow = r.U16(), nCol = r.U16(), nXf = r.U16();
            builder.Text(nRow, nCol, nXf, ReadUnicodeString(r, false));
            break;
        }
        case biff::kRk: {
            const std::uint16_t nRow = r.U16(), nCol = r.U16(), nXf = r.U16();
            builder.Number(nRow, nCol, nXf, DecodeRk(r.U32()));
            break;
        }
        case biff::kMulRk: {
            const std::uint16_t nRow = r.U16(), nFirst = r.U16();
            if (r.Remaining() < 8 || (r.Remaining() - 2) % 6 != 0) {
                ThrowDamaged("bad MULRK record");
            }
            const std::size_t nCells = (r.Remaining() - 2) / 6;
            for (std::size_t i = 0; i < nCells; ++i) {
                const std::uint16_t nXf = r.U16();
                const std::size_t nCol = nFirst + i;
                if (nCol >= kXlsMaxColumns) {
                    ThrowDamaged("cell beyond column 256");
                }
                builder.Number(nRow, static_cast<std::uint16_t>(nCol), nXf, DecodeRk(r.U32()));
            }
            break;
        }
        case biff::kNumber: {
            const std::uint16_t nRow = r.U16(), nCol = r.U16(), nXf = r.U16();
            builder.Number(nRow, nCol, nXf, r.F64());
            break;
        }
        case biff::kBoolErr: {
            const std::uint16_t nRow = r.U16(), nCol = r.U16();
            r.U16(); // XF
            const std::uint8_t nValue = r.U8();
            builder.BoolErr(nRow, nCol, nValue, r.U8() != 0);
            break;
        }
        case biff::kFormula: {
            const std::uint16_t nRow = r.U16(), nCol = r.U16(), nXf = r.U16();
            const std::string_view result = r.Bytes(8);
            bPendingString = false;
            if (LoadU16(result, 6) != 0xFFFF) {
                builder.Number(nRow, nCol, nXf, CByteReader(result, "formula").F64());
                break;
            }
            switch (static_cast<std::uint8_t>(result[0])) {
            case 0: // text, in the STRING record that follows
                bPendingString = true;
                nPendingRow = nRow;
                nPendingColumn = nCol;
                nPendingXf = nXf;
                builder.Clear(nRow, nCol);
                break;
            case 1:
                builder.BoolErr(nRow, nCol, static_cast<std::uint8_t>(result[2]), false);
                break;
            case 2:
                builder.BoolErr(nRow, nCol, static_cast<std::uint8_t>(result[2]), true);
                break;
            default:
                // Type 3 is an empty result, which is also what writers that leave the
                // calculation to the reader store: the cell has no value to give.
                builder.BoolErr(nRow, nCol, kXlsNoValue, true);
                break;
            }
            break;
        }
        case biff::kString: {
            std::vector<std::string_view> segments{rec.m_body};
            cursor.TakeContinues(segments);
            if (bPendingString) {
                CContinuedReader text(segments);
                builder.Text(nPendingRow, nPendingColumn, nPendingXf, text.UnicodeString());
                bPendingString = false;
            }
            break;
        }
        case biff::kBlank:
        case biff::kMulBlank:
            break; // formatted but empty
        case biff::kRow: {
            const std::uint16_t nRow = r.U16();
            r.Skip(4); // first and last column
            const std::uint16_t nTwips = r.U16() & 0x7FFF;
            r.Skip(4);
            if ((r.U32() & 0x0040) != 0 && nTwips > 0) { // height set, not from the font
                if (sheet.m_vecRowHeights.size() <= nRow) {
                    sheet.m_vecRowHeights.resize(std::size_t{nRow} + 1, 0.0);
                }
                sheet.m_vecRowHeights[nRow] = nTwips / 20.0;
            }
            break;
        }
        case biff::kColInfo: {
            const std::uint16_t nFirst = r.U16(), nLast = r.U16(), nWidth = r.U16();
            if (nFirst > nLast || nFirst >= kXlsMaxColumns) {
                break;
            }
            const std::size_t nEnd = std::min<std::size_t>(nLast, kXlsMaxColumns - 1) + 1;
            if (sheet.m_vecColumnWidths.size() < nEnd) {
                sheet.m_vecColumnWidths.resize(nEnd, 0.0);
            }
            for (std::size_t c = nFirst; c < nEnd; ++c) {
                sheet.m_vecColumnWidths[c] = nWidth / 256.0;
            }
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

// A format code shows a date or time when it has a date or time letter outside quoted
// text, brackets ([Red], [$-409], [h]) and escaped characters.
namespace {

bool IsDateFormatCode(std::u16string_view code) {
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (c == u'"') {
            const std::size_t end = code.find(u'"', i + 1);
            i = end == std::u16string_view::npos ? code.size() : end;
        } else if (c == u'[') {
            const std::size_t end = code.find(u']', i + 1);
            i = end == std::u16string_view::npos ? code.size() : end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (std::u16string_view(u"yYmMdDhHsS").find(c) != std::u16string_view::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

EXlsNumberFormat ClassifyNumberFormat(std::uint16_t nFormat,
                                      const std::map<std::uint16_t, std::u16string>& formats) {
    switch (nFormat) {
    case 14:
        return EXlsNumberFormat::Date;
    case 15:
    case 16:
    case 17:
        return EXlsNumberFormat::OtherDate;
    case 18:
    case 19:
    case 20:
    case 21:
    case 45:
    case 46:
    case 47:
        return EXlsNumberFormat::Time;
    case 22:
        return EXlsNumberFormat::DateTime;
    default:
        break;
    }
    const auto it = formats.find(nFormat);
    if (it != formats.end() && IsDateFormatCode(it->second)) {
        return EXlsNumberFormat::OtherDate;
    }
    return EXlsNumberFormat::General;
}

CXlsSheet CBiffReader::ReadFirstSheet(std::string_view stream) {
    CXlsSheet sheet;
    const CGlobals g = ReadGlobals(stream, sheet);
    if (!g.m_strSheetName.empty()) {
        sheet.m_strName = g.m_strSheetName;
    }
    ReadSheet(stream, g, sheet);
    return sheet;
}
