#include "platform/spreadsheet/XlsxFile.h"

#include "platform/locale/CodePage.h"
#include "platform/spreadsheet/BiffReader.h"

#include <expat.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Parts bigger than this when unpacked are refused: a datebook's sheet stays far below,
// and a small archive must not unpack into hours of parsing. Parts are parsed as they
// are unpacked, never held whole (the parser keeps no more than the tag it is in).
constexpr zip_uint64_t kMaxPartSize = zip_uint64_t{256} << 20;
// What the reader keeps of the file (the cells of the sheet with their texts, the shared
// strings) in bytes: a small archive of many far-apart cells or of one long string used
// in every cell must not take all of memory. 256 MB hold some 4 million cells.
constexpr std::size_t kMaxKeptBytes = std::size_t{256} << 20;
// The most cell formats read (the spreadsheet application allows 64,000); cells of a
// format past them get the default one.
constexpr std::size_t kMaxCellFormats = 65536;
// The most characters (UTF-16 units, counted as the library counts code points at most)
// a text cell of the format holds.
constexpr std::size_t kMaxXlsxText = 32767;
// Days between the 1900 and the 1904 date systems.
constexpr double kDays1904 = 1462.0;

[[noreturn]] void ThrowDamaged(const std::string& strReason) {
    throw CXlsError("damaged workbook (" + strReason + ")");
}

// ---- The archive.

struct CZipClose {
    void operator()(zip_t* p) const { zip_discard(p); }
};

class CArchive {
public:
    explicit CArchive(std::string_view bytes) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* pSource = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
        if (!pSource) {
            zip_error_fini(&error);
            throw CXlsError("not enough memory to read the workbook");
        }
        m_pZip.reset(zip_open_from_source(pSource, ZIP_RDONLY, &error));
        zip_error_fini(&error);
        if (!m_pZip) {
            zip_source_free(pSource);
            throw CXlsError("not a workbook (a zip archive that cannot be read)");
        }
    }

    [[nodiscard]] bool Has(const std::string& strName) const {
        return zip_name_locate(m_pZip.get(), strName.c_str(), 0) >= 0;
    }

    // The part's unpacked bytes, handed over piece by piece; false when the archive has no
    // part of that name.
    bool Read(const std::string& strName, const std::function<void(std::string_view)>& sink) const {
        const zip_int64_t nIndex = zip_name_locate(m_pZip.get(), strName.c_str(), 0);
        if (nIndex < 0)
            return false;
        const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
            zip_fopen_index(m_pZip.get(), static_cast<zip_uint64_t>(nIndex), 0), &zip_fclose);
        if (!file)
            ThrowDamaged("part " + strName + " cannot be unpacked");
        std::vector<char> buf(65536);
        zip_uint64_t nTotal = 0;
        for (;;) {
            const zip_int64_t n = zip_fread(file.get(), buf.data(), buf.size());
            if (n < 0)
                ThrowDamaged("part " + strName + " cannot be unpacked");
            if (n == 0)
                break;
            nTotal += static_cast<zip_uint64_t>(n);
            if (nTotal > kMaxPartSize)
                ThrowDamaged("part " + strName + " is too large");
            sink(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        }
        return true;
    }

private:
    std::unique_ptr<zip_t, CZipClose> m_pZip;
};

// The bytes the reader keeps, counted against kMaxKeptBytes.
class CKeptBytes {
public:
    void Add(std::size_t nBytes) {
        if (nBytes > kMaxKeptBytes - m_nBytes)
            throw CXlsError("the workbook is too large to read (its cells take more than " +
                            std::to_string(kMaxKeptBytes >> 20) + " MB)");
        m_nBytes += nBytes;
    }

private:
    std::size_t m_nBytes = 0;
};

// The memory a text of that many UTF-16 units takes beyond its string object.
std::size_t TextBytes(const std::u16string& text) {
    return text.capacity() > std::u16string().capacity() ? (text.capacity() + 1) * 2 : 0;
}

// ---- XML through expat, names without their namespace.

class CXmlHandler {
public:
    virtual ~CXmlHandler() = default;
    virtual void Start(std::string_view name, const char** ppAttributes) = 0;
    virtual void End(std::string_view name) = 0;
    virtual void Text(std::string_view text) = 0;
};

std::string_view LocalName(const char* pszName) {
    std::string_view name(pszName);
    const std::size_t n = name.rfind('\x01');
    return n == std::string_view::npos ? name : name.substr(n + 1);
}

// The attribute's value by its local name; null when absent.
const char* Attribute(const char** ppAttributes, std::string_view name) {
    for (const char** p = ppAttributes; p && p[0]; p += 2)
        if (LocalName(p[0]) == name)
            return p[1];
    return nullptr;
}

// Parses the part as the archive unpacks it; false when the archive has no such part or
// the part is empty. An exception of the handler stops the parser and is thrown on.
bool ParsePart(const CArchive& zip, const std::string& strPart, CXmlHandler& handler) {
    struct CState {
        CXmlHandler* m_pHandler;
        XML_Parser m_parser;
        std::exception_ptr m_pError;
        bool m_bDoctype = false;
    };
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
        XML_ParserCreateNS(nullptr, '\x01'), &XML_ParserFree);
    if (!parser)
        throw CXlsError("not enough memory to read the workbook");
    CState state{&handler, parser.get(), nullptr};
    // Runs a handler call; an exception stops the parser, to be thrown once it returns.
    static constexpr auto guard = [](void* p, const auto& call) {
        auto* pState = static_cast<CState*>(p);
        try {
            call(*pState->m_pHandler);
        } catch (...) {
            pState->m_pError = std::current_exception();
            (void)XML_StopParser(pState->m_parser, XML_FALSE);
        }
    };
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(
        parser.get(),
        [](void* p, const XML_Char* pszName, const XML_Char** ppAttributes) {
            guard(p, [&](CXmlHandler& h) { h.Start(LocalName(pszName), ppAttributes); });
        },
        [](void* p, const XML_Char* pszName) {
            guard(p, [&](CXmlHandler& h) { h.End(LocalName(pszName)); });
        });
    XML_SetCharacterDataHandler(parser.get(), [](void* p, const XML_Char* psz, int n) {
        guard(p,
              [&](CXmlHandler& h) { h.Text(std::string_view(psz, static_cast<std::size_t>(n))); });
    });
    // The parts of a workbook have no document type: its entities could make a few bytes
    // grow into gigabytes of text.
    XML_SetStartDoctypeDeclHandler(
        parser.get(), [](void* p, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            auto* pState = static_cast<CState*>(p);
            pState->m_bDoctype = true;
            (void)XML_StopParser(pState->m_parser, XML_FALSE);
        });
    const auto feed = [&](std::string_view piece, bool bLast) {
        if (XML_Parse(parser.get(), piece.data(), static_cast<int>(piece.size()), bLast) ==
            XML_STATUS_OK)
            return;
        if (state.m_pError)
            std::rethrow_exception(state.m_pError);
        if (state.m_bDoctype)
            ThrowDamaged("part " + strPart + " has a document type declaration");
        ThrowDamaged("part " + strPart + ": " + XML_ErrorString(XML_GetErrorCode(parser.get())) +
                     " at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())));
    };
    bool bAny = false;
    if (!zip.Read(strPart, [&](std::string_view piece) {
            bAny = true;
            feed(piece, false);
        }))
        return false;
    if (bAny)
        feed({}, true);
    return bAny;
}

// A handler made of three functions.
class CXmlCallbacks final : public CXmlHandler {
public:
    std::function<void(std::string_view, const char**)> m_start = [](auto, auto) {};
    std::function<void(std::string_view)> m_end = [](auto) {};
    std::function<void(std::string_view)> m_text = [](auto) {};
    void Start(std::string_view name, const char** pp) override { m_start(name, pp); }
    void End(std::string_view name) override { m_end(name); }
    void Text(std::string_view text) override { m_text(text); }
};

// ---- Values.

// Text of the file (UTF-8) as UTF-16, with the _xHHHH_ escapes of characters XML cannot
// hold decoded.
std::u16string Utf16Of(std::string_view utf8) {
    std::u16string text = CodePageToUtf16(utf8, CP_UTF8);
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            unsigned n = 0;
            bool bHex = true;
            for (std::size_t k = i + 2; k < i + 6; ++k) {
                const char16_t c = text[k];
                const int d = c >= u'0' && c <= u'9'   ? c - u'0'
                              : c >= u'a' && c <= u'f' ? c - u'a' + 10
                              : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                       : -1;
                bHex = bHex && d >= 0;
                n = n * 16 + static_cast<unsigned>(d < 0 ? 0 : d);
            }
            if (bHex) {
                out += static_cast<char16_t>(n);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool ParseDouble(std::string_view text, double& d) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty())
        return false;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    return ec == std::errc() && p == text.data() + text.size() && std::isfinite(d);
}

bool ParseIndex(const char* psz, std::uint32_t& n) {
    if (!psz)
        return false;
    const std::string_view text(psz);
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && p == text.data() + text.size();
}

// "B12" as 0-based row 11 and column 1; false when it is no cell reference.
bool ParseReference(const char* psz, std::uint32_t& nRow, std::uint32_t& nColumn) {
    if (!psz)
        return false;
    std::uint64_t nCol = 0;
    const char* p = psz;
    for (; *p >= 'A' && *p <= 'Z'; ++p) {
        nCol = nCol * 26 + static_cast<std::uint64_t>(*p - 'A' + 1);
        if (nCol > kXlsxMaxColumns)
            return false;
    }
    std::uint64_t nR = 0;
    const char* pDigits = p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        nR = nR * 10 + static_cast<std::uint64_t>(*p - '0');
        if (nR > kXlsxMaxRows)
            return false;
    }
    if (nCol == 0 || p == pDigits || *p != '\0' || nR == 0)
        return false;
    nRow = static_cast<std::uint32_t>(nR - 1);
    nColumn = static_cast<std::uint32_t>(nCol - 1);
    return true;
}

bool IsTrue(const char* psz) {
    return psz && (std::strcmp(psz, "1") == 0 || std::strcmp(psz, "true") == 0);
}

// An ISO 8601 date and time ("2026-12-05", "2026-12-05T14:30:00") as days since
// 1899-12-30.
bool ParseIsoDate(std::string_view text, double& d) {
    int y = 0, mo = 0, da = 0, h = 0, mi = 0;
    double s = 0;
    const std::string str(text);
    // Widths keep the fields inside an int; the seconds allow a leap second.
    const int n = std::sscanf(str.c_str(), "%6d-%2d-%2dT%2d:%2d:%lf", &y, &mo, &da, &h, &mi, &s);
    if (n != 3 && n < 5)
        return false;
    if (mo < 1 || mo > 12 || da < 1 || da > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
        !(s >= 0 && s < 61))
        return false;
    // Days from civil (proleptic Gregorian), counted from 1899-12-30.
    const int yy = y - (mo <= 2 ? 1 : 0);
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + da - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const double days = era * 146097.0 + doe - 719468.0 + 25569.0;
    d = days + (h * 3600 + mi * 60 + s) / 86400.0;
    return true;
}

std::uint8_t ErrorCodeOf(std::string_view text) {
    static constexpr std::pair<std::string_view, std::uint8_t> kCodes[] = {
        {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
        {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A},
    };
    for (const auto& [name, code] : kCodes)
        if (name == text)
            return code;
    return 0x2A;
}

// ---- The parts around the sheet.

std::string Directory(const std::string& strPart) {
    const std::size_t n = strPart.rfind('/');
    return n == std::string::npos ? std::string() : strPart.substr(0, n + 1);
}

// A relationship target as a part name: absolute ("/xl/...") or relative to the folder of
// the part the relationships belong to.
std::string ResolveTarget(const std::string& strBase, std::string_view target) {
    if (!target.empty() && target.front() == '/')
        return std::string(target.substr(1));
    std::string out = strBase;
    while (target.starts_with("../")) {
        target.remove_prefix(3);
        const std::size_t n = out.size() > 1 ? out.rfind('/', out.size() - 2) : std::string::npos;
        out = n == std::string::npos ? std::string() : out.substr(0, n + 1);
    }
    return out + std::string(target);
}

// Target of the relationship by id, or of the first one whose type ends in the suffix.
std::string FindRelationship(const CArchive& zip, const std::string& strPart, std::string_view id,
                             std::string_view typeSuffix) {
    const std::string strRels =
        Directory(strPart) + "_rels/" + strPart.substr(Directory(strPart).size()) + ".rels";
    std::string found;
    CXmlCallbacks h;
    h.m_start = [&](std::string_view name, const char** pp) {
        if (name != "Relationship" || !found.empty())
            return;
        const char* pszId = Attribute(pp, "Id");
        const char* pszType = Attribute(pp, "Type");
        const char* pszTarget = Attribute(pp, "Target");
        if (!pszTarget)
            return;
        if ((!id.empty() && pszId && id == pszId) ||
            (id.empty() && pszType && std::string_view(pszType).ends_with(typeSuffix)))
            found = ResolveTarget(Directory(strPart), pszTarget);
    };
    (void)ParsePart(zip, strRels, h);
    return found;
}

struct CWorkbookPart {
    std::string m_strSheetPart;
    std::u16string m_strSheetName;
    bool m_b1904 = false;
};

CWorkbookPart ReadWorkbookPart(const CArchive& zip, const std::string& strWorkbook) {
    CWorkbookPart out;
    std::string strFirstId;
    bool bSheet = false;
    CXmlCallbacks h;
    h.m_start = [&](std::string_view name, const char** pp) {
        if (name == "workbookPr") {
            out.m_b1904 = IsTrue(Attribute(pp, "date1904"));
        } else if (name == "sheet" && !bSheet) {
            bSheet = true;
            if (const char* psz = Attribute(pp, "name"))
                out.m_strSheetName = Utf16Of(psz);
            if (const char* psz = Attribute(pp, "id"))
                strFirstId = psz;
        }
    };
    if (!ParsePart(zip, strWorkbook, h))
        ThrowDamaged("part " + strWorkbook + " is empty");
    if (!bSheet)
        ThrowDamaged("the workbook has no sheet");
    out.m_strSheetPart = FindRelationship(zip, strWorkbook, strFirstId, "/worksheet");
    if (out.m_strSheetPart.empty() || !zip.Has(out.m_strSheetPart))
        ThrowDamaged("the first sheet is missing");
    return out;
}

std::vector<std::u16string> ReadSharedStrings(const CArchive& zip, const std::string& strPart,
                                              CKeptBytes& kept) {
    std::vector<std::u16string> out;
    if (strPart.empty())
        return out;
    std::string strText;
    int nPhonetic = 0; // inside <rPh>: a reading aid, not part of the text
    bool bInText = false;
    CXmlCallbacks h;
    h.m_start = [&](std::string_view name, const char**) {
        if (name == "si")
            strText.clear();
        else if (name == "rPh")
            ++nPhonetic;
        else if (name == "t" && nPhonetic == 0)
            bInText = true;
    };
    h.m_end = [&](std::string_view name) {
        if (name == "si") {
            out.push_back(Utf16Of(strText));
            kept.Add(sizeof(std::u16string) + TextBytes(out.back()));
        } else if (name == "rPh")
            --nPhonetic;
        else if (name == "t")
            bInText = false;
    };
    h.m_text = [&](std::string_view text) {
        if (bInText)
            strText += text;
    };
    (void)ParsePart(zip, strPart, h);
    return out;
}

struct CCellStyle {
    EXlsNumberFormat m_format = EXlsNumberFormat::General;
    bool m_bQuotePrefix = false;
};

std::vector<CCellStyle> ReadStyles(const CArchive& zip, const std::string& strPart) {
    std::vector<CCellStyle> out;
    if (strPart.empty())
        return out;
    std::map<std::uint16_t, std::u16string> formats;
    std::vector<std::pair<std::uint32_t, bool>> xfs; // number format, quote prefix
    bool bCellXfs = false;
    CXmlCallbacks h;
    h.m_start = [&](std::string_view name, const char** pp) {
        std::uint32_t n = 0;
        if (name == "numFmt" && ParseIndex(Attribute(pp, "numFmtId"), n) && n <= 0xFFFF) {
            const char* pszCode = Attribute(pp, "formatCode");
            formats[static_cast<std::uint16_t>(n)] = Utf16Of(pszCode ? pszCode : "");
        } else if (name == "cellXfs") {
            bCellXfs = true;
        } else if (name == "xf" && bCellXfs && xfs.size() < kMaxCellFormats) {
            if (!ParseIndex(Attribute(pp, "numFmtId"), n))
                n = 0;
            xfs.emplace_back(n, IsTrue(Attribute(pp, "quotePrefix")));
        }
    };
    h.m_end = [&](std::string_view name) {
        if (name == "cellXfs")
            bCellXfs = false;
    };
    (void)ParsePart(zip, strPart, h);
    for (const auto& [nFormat, bQuote] : xfs) {
        CCellStyle style;
        style.m_format = nFormat <= 0xFFFF
                             ? ClassifyNumberFormat(static_cast<std::uint16_t>(nFormat), formats)
                             : EXlsNumberFormat::General;
        style.m_bQuotePrefix = bQuote;
        out.push_back(style);
    }
    return out;
}

// ---- The sheet.

class CSheetReader {
public:
    CSheetReader(CXlsSheet& sheet, const std::vector<std::u16string>& strings,
                 const std::vector<CCellStyle>& styles, bool b1904, CKeptBytes& kept)
        : m_sheet(sheet), m_strings(strings), m_styles(styles), m_b1904(b1904), m_kept(kept) {}

    void Start(std::string_view name, const char** pp) {
        if (name == "row") {
            std::uint32_t n = 0;
            if (ParseIndex(Attribute(pp, "r"), n) && n >= 1 && n <= kXlsxMaxRows)
                m_nRow = n - 1;
            else
                m_nRow = m_bAnyRow ? m_nRow + 1 : 0;
            m_bAnyRow = true;
            m_nNextColumn = 0;
            double dHeight = 0;
            const char* pszHeight = Attribute(pp, "ht");
            if (IsTrue(Attribute(pp, "customHeight")) && pszHeight &&
                ParseDouble(pszHeight, dHeight) && dHeight > 0) {
                if (m_sheet.m_vecRowHeights.size() <= m_nRow)
                    m_sheet.m_vecRowHeights.resize(std::size_t{m_nRow} + 1, 0.0);
                m_sheet.m_vecRowHeights[m_nRow] = std::min(dHeight, 409.5);
            }
        } else if (name == "c") {
            m_bInCell = true;
            if (!ParseReference(Attribute(pp, "r"), m_nCellRow, m_nCellColumn)) {
                m_nCellRow = m_nRow;
                m_nCellColumn = m_nNextColumn;
            }
            m_nNextColumn = m_nCellColumn + 1;
            const char* pszType = Attribute(pp, "t");
            m_strType = pszType ? pszType : "n";
            std::uint32_t nStyle = 0;
            m_style = ParseIndex(Attribute(pp, "s"), nStyle) && nStyle < m_styles.size()
                          ? m_styles[nStyle]
                          : CCellStyle{};
            m_strValue.clear();
            m_strInline.clear();
            m_nPhonetic = 0;
            m_bValue = m_bFormula = false;
        } else if (m_bInCell && name == "v") {
            m_bValue = true;
            m_pText = &m_strValue;
        } else if (m_bInCell && name == "f") {
            m_bFormula = true;
        } else if (m_bInCell && name == "rPh") {
            ++m_nPhonetic;
        } else if (m_bInCell && name == "t" && m_nPhonetic == 0) {
            m_pText = &m_strInline;
        } else if (name == "col") {
            std::uint32_t nMin = 0, nMax = 0;
            double dWidth = 0;
            const char* pszWidth = Attribute(pp, "width");
            if (ParseIndex(Attribute(pp, "min"), nMin) && ParseIndex(Attribute(pp, "max"), nMax) &&
                nMin >= 1 && nMin <= nMax && pszWidth && ParseDouble(pszWidth, dWidth) &&
                dWidth > 0) {
                // Only the columns a datebook can use; a style over all 16,384 is common.
                nMax = std::min<std::uint32_t>(nMax, 1024);
                if (nMin <= nMax && m_sheet.m_vecColumnWidths.size() < nMax)
                    m_sheet.m_vecColumnWidths.resize(nMax, 0.0);
                for (std::uint32_t c = nMin; c <= nMax; ++c)
                    m_sheet.m_vecColumnWidths[c - 1] = std::min(dWidth, 255.0);
            }
        }
    }

    void End(std::string_view name) {
        if (name == "v" || name == "t") {
            m_pText = nullptr;
        } else if (name == "rPh" && m_nPhonetic > 0) {
            // (A reading outside a cell was not counted.)
            --m_nPhonetic;
        } else if (name == "c" && m_bInCell) {
            m_bInCell = false;
            TakeCell();
        }
    }

    void Text(std::string_view text) {
        if (m_pText)
            *m_pText += text;
    }

private:
    void TakeCell() {
        CXlsCell cell;
        const std::string& t = m_strType;
        if (t == "s") {
            std::uint32_t nIndex = 0;
            if (!ParseIndex(m_strValue.c_str(), nIndex) || nIndex >= m_strings.size())
                ThrowDamaged("string index outside the string table");
            SetText(cell, m_strings[nIndex]);
        } else if (t == "inlineStr") {
            SetText(cell, Utf16Of(m_strInline));
        } else if (m_bFormula && m_strValue.empty()) {
            // A formula whose result was not stored (or stored empty, as some writers do
            // when they leave the calculation to the reader).
            cell.m_kind = CXlsCell::EKind::Error;
            cell.m_dNumber = kXlsNoValue;
        } else if (t == "str") {
            SetText(cell, Utf16Of(m_strValue));
        } else if (t == "b") {
            cell.m_kind = CXlsCell::EKind::Boolean;
            cell.m_dNumber = m_strValue == "1" || m_strValue == "true" ? 1 : 0;
        } else if (t == "e") {
            cell.m_kind = CXlsCell::EKind::Error;
            cell.m_dNumber = ErrorCodeOf(m_strValue);
        } else if (t == "d") {
            double d = 0;
            if (!ParseIsoDate(m_strValue, d))
                ThrowDamaged("a date cell that holds no date");
            cell.m_kind = CXlsCell::EKind::Number;
            cell.m_dNumber = d;
            cell.m_format = m_style.m_format != EXlsNumberFormat::General
                                ? m_style.m_format
                                : EXlsNumberFormat::OtherDate;
        } else if (m_bValue && !m_strValue.empty()) {
            double d = 0;
            if (!ParseDouble(m_strValue, d))
                ThrowDamaged("a number cell that holds no number");
            cell.m_kind = CXlsCell::EKind::Number;
            cell.m_format = m_style.m_format;
            cell.m_dNumber = m_b1904 && cell.IsDate() ? d + kDays1904 : d;
        }
        if (cell.IsEmpty())
            return; // a formatted but empty cell
        // A far row takes the room of every row before it. (A text put in many cells is
        // kept once; it is counted for each all the same.)
        std::size_t nGrowth = TextBytes(cell.m_strText) + CXlsSheet::kCellBytes;
        const std::size_t nRows = m_sheet.RowCount();
        if (m_nCellRow >= nRows)
            nGrowth += (m_nCellRow + 1 - nRows) * sizeof(std::vector<CXlsCell>);
        m_kept.Add(nGrowth);
        m_sheet.Set(m_nCellRow, m_nCellColumn, cell);
    }

    void SetText(CXlsCell& cell, std::u16string text) const {
        if (text.empty())
            return; // an empty text is an empty cell
        cell.m_kind = CXlsCell::EKind::Text;
        cell.m_strText = std::move(text);
        cell.m_bQuotePrefix = m_style.m_bQuotePrefix;
    }

    CXlsSheet& m_sheet;
    const std::vector<std::u16string>& m_strings;
    const std::vector<CCellStyle>& m_styles;
    bool m_b1904;
    CKeptBytes& m_kept;
    std::uint32_t m_nRow = 0;
    bool m_bAnyRow = false;
    std::uint32_t m_nNextColumn = 0;
    bool m_bInCell = false;
    std::uint32_t m_nCellRow = 0;
    std::uint32_t m_nCellColumn = 0;
    std::string m_strType;
    CCellStyle m_style;
    std::string m_strValue;
    std::string m_strInline;
    std::string* m_pText = nullptr;
    int m_nPhonetic = 0;
    bool m_bValue = false;
    bool m_bFormula = false;
};

class CSheetHandler final : public CXmlHandler {
public:
    explicit CSheetHandler(CSheetReader& reader) : m_reader(reader) {}
    void Start(std::string_view name, const char** pp) override { m_reader.Start(name, pp); }
    void End(std::string_view name) override { m_reader.End(name); }
    void Text(std::string_view text) override { m_reader.Text(text); }

private:
    CSheetReader& m_reader;
};

// ---- Writing.

struct CWorkbookClose {
    void operator()(lxw_workbook* p) const {
        if (p)
            (void)workbook_close(p);
    }
};

// A file of our own in the temporary folder, removed with the object.
class CScratchFile {
public:
    CScratchFile() {
        const char* pszDir = std::getenv("TMPDIR");
        std::string strTemplate =
            std::string(pszDir && *pszDir ? pszDir : "/tmp") + "/varno-xlsx-XXXXXX";
        std::vector<char> buf(strTemplate.begin(), strTemplate.end());
        buf.push_back('\0');
        const int fd = ::mkstemp(buf.data());
        if (fd < 0)
            throw CXlsError(std::string("cannot write a temporary file (") + std::strerror(errno) +
                            ")");
        ::close(fd);
        m_strPath = buf.data();
    }
    ~CScratchFile() { ::unlink(m_strPath.c_str()); }
    CScratchFile(const CScratchFile&) = delete;
    CScratchFile& operator=(const CScratchFile&) = delete;
    [[nodiscard]] const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

std::string ReadWholeFile(const std::string& strPath) {
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(strPath.c_str(), "rb"),
                                                       &std::fclose);
    if (!file)
        throw CXlsError(std::string("cannot read a temporary file (") + std::strerror(errno) + ")");
    std::string out;
    char buf[65536];
    for (std::size_t n = 0; (n = std::fread(buf, 1, sizeof buf, file.get())) > 0;)
        out.append(buf, n);
    if (std::ferror(file.get()))
        throw CXlsError("cannot read a temporary file");
    return out;
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Text as the file holds it (UTF-8), with the characters XML cannot hold written as
// _xHHHH_ escapes (control characters, U+FFFE and U+FFFF, halves of surrogate pairs
// standing alone), and the underscore of text that looks like such an escape written as
// _x005F_, so that every text reads back as it was. The library escapes none of these
// (a NUL would even end the text).
std::string Utf8Of(std::u16string_view text) {
    std::u16string escaped;
    escaped.reserve(text.size());
    const auto escape = [&](char16_t c) {
        static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
        escaped += u"_x";
        for (int nShift = 12; nShift >= 0; nShift -= 4)
            escaped += kDigits[(c >> nShift) & 0xF];
        escaped += u'_';
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool bHigh = c >= 0xD800 && c <= 0xDBFF;
        const bool bLow = c >= 0xDC00 && c <= 0xDFFF;
        if (bHigh && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            escaped += c;
            escaped += text[++i];
        } else if ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE || c == 0xFFFF || bHigh ||
                   bLow) {
            escape(c);
        } else if (c == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_' &&
                   IsHexDigit(text[i + 2]) && IsHexDigit(text[i + 3]) && IsHexDigit(text[i + 4]) &&
                   IsHexDigit(text[i + 5])) {
            escape(c);
        } else {
            escaped += c;
        }
    }
    return Utf16ToCodePage(escaped, CP_UTF8);
}

// The built-in number format of a date cell, as the .xls writer picks it.
std::uint8_t DateFormatIndex(const CXlsCellView& cell) {
    switch (cell.m_format) {
    case EXlsNumberFormat::Date:
        return 14;
    case EXlsNumberFormat::Time:
        return std::fmod(cell.m_dNumber * 86400.0, 60.0) >= 0.5 ? 21 : 20;
    case EXlsNumberFormat::DateTime:
        return 22;
    case EXlsNumberFormat::OtherDate:
        if (cell.m_dNumber == std::floor(cell.m_dNumber))
            return 14;
        return cell.m_dNumber < 1 && cell.m_dNumber >= 0 ? 20 : 22;
    case EXlsNumberFormat::General:
        break;
    }
    return 0;
}

} // namespace

bool CXlsxFile::HasSignature(std::string_view bytes) {
    return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4);
}

CXlsSheet CXlsxFile::ReadFirstSheet(std::string_view bytes) {
    const CArchive zip(bytes);
    std::string strWorkbook = FindRelationship(zip, "", "", "/officeDocument");
    if (strWorkbook.empty())
        strWorkbook = "xl/workbook.xml";
    if (!zip.Has(strWorkbook))
        throw CXlsError("not a workbook (a zip archive without a workbook part)");
    const CWorkbookPart book = ReadWorkbookPart(zip, strWorkbook);
    CKeptBytes kept;
    const std::vector<std::u16string> strings =
        ReadSharedStrings(zip, FindRelationship(zip, strWorkbook, "", "/sharedStrings"), kept);
    const std::vector<CCellStyle> styles =
        ReadStyles(zip, FindRelationship(zip, strWorkbook, "", "/styles"));

    CXlsSheet sheet;
    sheet.m_nMaxRows = kXlsxMaxRows;
    sheet.m_nMaxColumns = kXlsxMaxColumns;
    if (!book.m_strSheetName.empty())
        sheet.m_strName = book.m_strSheetName;
    CSheetReader reader(sheet, strings, styles, book.m_b1904, kept);
    CSheetHandler handler(reader);
    if (!ParsePart(zip, book.m_strSheetPart, handler))
        ThrowDamaged("part " + book.m_strSheetPart + " is empty");
    return sheet;
}

std::string CXlsxFile::Write(const CXlsSheet& sheet) {
    const CScratchFile scratch;
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    std::unique_ptr<lxw_workbook, CWorkbookClose> book(
        workbook_new_opt(scratch.Path().c_str(), &options));
    if (!book)
        throw CXlsError("not enough memory to write the workbook");
    std::string strName = Utf8Of(sheet.m_strName);
    lxw_worksheet* pSheet = workbook_add_worksheet(book.get(), strName.c_str());
    if (!pSheet)
        pSheet = workbook_add_worksheet(book.get(), nullptr);
    if (!pSheet)
        throw CXlsError("the sheet cannot be added to the workbook");

    // One format per combination of number format and wrapping. (The library writes no
    // quote prefix; a text cell stays text without it.)
    std::map<int, lxw_format*> formats;
    const auto formatOf = [&](std::uint8_t nNumber, bool bWrap) -> lxw_format* {
        if (nNumber == 0 && !bWrap)
            return nullptr;
        const int nKey = nNumber * 2 + (bWrap ? 1 : 0);
        lxw_format*& pFormat = formats[nKey];
        if (!pFormat) {
            pFormat = workbook_add_format(book.get());
            if (nNumber != 0)
                format_set_num_format_index(pFormat, nNumber);
            if (bWrap)
                format_set_text_wrap(pFormat);
        }
        return pFormat;
    };

    const auto check = [](lxw_error error) {
        if (error != LXW_NO_ERROR)
            throw CXlsError(std::string("cannot write the workbook (") + lxw_strerror(error) + ")");
    };
    for (std::size_t c = 0; c < sheet.m_vecColumnWidths.size() && c < kXlsxMaxColumns; ++c)
        if (sheet.m_vecColumnWidths[c] > 0)
            check(worksheet_set_column(pSheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                       sheet.m_vecColumnWidths[c], nullptr));
    for (std::size_t r = 0; r < sheet.m_vecRowHeights.size() && r < kXlsxMaxRows; ++r)
        if (sheet.m_vecRowHeights[r] > 0)
            check(worksheet_set_row(pSheet, static_cast<lxw_row_t>(r), sheet.m_vecRowHeights[r],
                                    nullptr));

    for (std::uint32_t r = 0; r < sheet.RowCount(); ++r) {
        if (sheet.ColumnCount(r) == 0)
            continue;
        if (r >= kXlsxMaxRows)
            throw CXlsError("too many rows for a workbook (1,048,576 at most)");
        sheet.ForEachInRow(r, [&](std::uint32_t c, const CXlsCellView& cell) {
            if (c >= kXlsxMaxColumns)
                throw CXlsError("too many columns for a workbook (16,384 at most)");
            const auto nRow = static_cast<lxw_row_t>(r);
            const auto nCol = static_cast<lxw_col_t>(c);
            switch (cell.m_kind) {
            case CXlsCell::EKind::Empty:
                break;
            case CXlsCell::EKind::Text: {
                // The format's cells hold at most 32,767 characters; a longer text is
                // refused rather than cut.
                if (cell.m_strText.size() > kMaxXlsxText)
                    throw CXlsError("the text of row " + std::to_string(r + 1) + ", column " +
                                    std::to_string(c + 1) +
                                    " is longer than a cell of an .xlsx workbook holds "
                                    "(32,767 characters)");
                const std::string text = Utf8Of(cell.m_strText);
                const bool bWrap = cell.m_strText.find(u'\n') != std::u16string::npos;
                check(worksheet_write_string(pSheet, nRow, nCol, text.c_str(), formatOf(0, bWrap)));
                break;
            }
            case CXlsCell::EKind::Number:
                if (!std::isfinite(cell.m_dNumber)) {
                    check(worksheet_write_formula_str(pSheet, nRow, nCol, "=1/0", nullptr, ""));
                    break;
                }
                check(worksheet_write_number(pSheet, nRow, nCol, cell.m_dNumber,
                                             formatOf(DateFormatIndex(cell), false)));
                break;
            case CXlsCell::EKind::Boolean:
                check(worksheet_write_boolean(pSheet, nRow, nCol, cell.m_dNumber != 0 ? 1 : 0,
                                              nullptr));
                break;
            case CXlsCell::EKind::Error:
                // An error value is what a formula gives; NA() stands for them all.
                // Without a result (the library would store 0, which reads back as a
                // number); the reader takes that as an error value.
                check(worksheet_write_formula_str(pSheet, nRow, nCol, "=NA()", nullptr, ""));
                break;
            }
        });
    }

    lxw_workbook* pBook = book.release();
    check(workbook_close(pBook));
    return ReadWholeFile(scratch.Path());
}
