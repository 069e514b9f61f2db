// Helpers of the workbook engine tests: building BIFF8 records by hand (as other
// programs write them), splitting a stream into records, and running the independent
// readers (python3-xlrd, gnumeric's ssconvert).
#pragma once

#include "platform/spreadsheet/CompoundFile.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace xlstest {

inline std::string Le16(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
inline std::string Le32(std::uint32_t v) {
    return Le16(v & 0xFFFF) + Le16(v >> 16);
}
inline std::string F64(double d) {
    const auto bits = std::bit_cast<std::uint64_t>(d);
    return Le32(static_cast<std::uint32_t>(bits)) + Le32(static_cast<std::uint32_t>(bits >> 32));
}
inline std::string Rec(std::uint16_t id, std::string_view body) {
    return Le16(id) + Le16(static_cast<std::uint32_t>(body.size())) + std::string(body);
}
inline std::uint32_t Get16(std::string_view s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
inline std::uint32_t Get32(std::string_view s, std::size_t at) {
    return Get16(s, at) | Get16(s, at + 2) << 16;
}

// Characters compressed (one byte each) or as UTF-16, without a header.
inline std::string Chars(std::u16string_view text, bool bHigh) {
    std::string out;
    for (char16_t c : text) {
        out += bHigh ? Le16(c) : std::string(1, static_cast<char>(c));
    }
    return out;
}
// XLUnicodeString: 16-bit length, flags, characters.
inline std::string UniString(std::u16string_view text, bool bHigh) {
    return Le16(static_cast<std::uint32_t>(text.size())) + std::string(1, bHigh ? 1 : 0) +
           Chars(text, bHigh);
}
inline std::string Cell(std::uint32_t nRow, std::uint32_t nCol, std::uint32_t nXf) {
    return Le16(nRow) + Le16(nCol) + Le16(nXf);
}
inline std::string Bof(std::uint16_t type, std::uint16_t version = 0x0600) {
    return Rec(0x0809,
               Le16(version) + Le16(type) + Le16(0x0DBB) + Le16(0x07CC) + Le32(0) + Le32(6));
}
inline std::string Xf(std::uint16_t nFormat, std::uint16_t nFlags) {
    return Rec(0x00E0, Le16(0) + Le16(nFormat) + Le16(nFlags) + std::string(14, '\0'));
}

// A Workbook stream as another program might write it: globals (strFormats, such as
// DATEMODE and FORMAT records, before 16 XFs and the extra XFs, then strGlobals, such as
// the SST, a sheet list), then the sheet holding strSheet.
inline std::string Stream(const std::string& strSheet, const std::string& strGlobals = "",
                          const std::string& strFormats = "",
                          const std::vector<std::string>& vecExtraXfs = {}) {
    std::string g = Bof(0x0005) + strFormats;
    for (int i = 0; i < 15; ++i) {
        g += Xf(0, 0xFFF5);
    }
    g += Xf(0, 0x0001);
    for (const std::string& xf : vecExtraXfs) {
        g += xf;
    }
    g += strGlobals;
    const std::size_t nSheetAt = g.size() + 4 + 12 + 4; // BOUNDSHEET, EOF
    g += Rec(0x0085, Le32(static_cast<std::uint32_t>(nSheetAt)) + std::string(2, '\0') +
                         std::string(1, 4) + std::string(1, 0) + "Data");
    g += Rec(0x000A, "");
    return g + Bof(0x0010) + strSheet + Rec(0x000A, "");
}
inline std::string Format(std::uint16_t nId, std::u16string_view code) {
    return Rec(0x041E, Le16(nId) + UniString(code, false));
}
// An SST record and its CONTINUE records, from the bodies given.
inline std::string Sst(std::uint32_t nStrings, const std::vector<std::string>& vecBodies) {
    std::string out = Rec(0x00FC, Le32(nStrings) + Le32(nStrings) + vecBodies.at(0));
    for (std::size_t i = 1; i < vecBodies.size(); ++i) {
        out += Rec(0x003C, vecBodies[i]);
    }
    return out;
}

// A compound file holding a Workbook stream (in the mini stream when small, as other
// writers do).
inline std::string Container(const std::string& stream, const std::u16string& name = u"Workbook") {
    return CCompoundFile::Write({{name, stream}});
}

struct CRecordInfo {
    std::uint16_t m_id;
    std::size_t m_nOffset; // of the header, in the stream
    std::string_view m_body;
};
inline std::vector<CRecordInfo> Records(std::string_view stream) {
    std::vector<CRecordInfo> out;
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const auto id = static_cast<std::uint16_t>(Get16(stream, at));
        const std::size_t n = Get16(stream, at + 2);
        if (id == 0 && n == 0) {
            break; // padding
        }
        out.push_back({id, at, stream.substr(at + 4, n)});
        at += 4 + n;
    }
    return out;
}
inline std::string WorkbookStream(const std::string& file) {
    std::string stream;
    EXPECT_TRUE(CCompoundFile::ReadStream(file, u"Workbook", stream));
    return stream;
}

// Runs a shell command; its standard output, and its exit status in nStatus.
inline std::string RunCommand(const std::string& strCommand, int& nStatus) {
    std::string out;
    FILE* p = ::popen(strCommand.c_str(), "r");
    if (!p) {
        nStatus = -1;
        return out;
    }
    char buf[65536];
    for (std::size_t n = 0; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
        out.append(buf, n);
    }
    const int st = ::pclose(p);
    nStatus = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// The system python with xlrd (the python3 first on PATH may lack it).
inline bool HaveXlrd() {
    int nStatus = 0;
    RunCommand("/usr/bin/python3 -c 'import xlrd' 2>/dev/null", nStatus);
    return nStatus == 0;
}
inline bool HaveSsconvert() {
    return ::access("/usr/bin/ssconvert", X_OK) == 0;
}

// Converts with ssconvert; HOME points into the test home so gnumeric leaves the
// user's settings alone. Its GTK warnings are dropped.
inline bool Ssconvert(const std::string& strHome, const std::string& strFrom,
                      const std::string& strTo, const std::string& strExporter) {
    int nStatus = 0;
    RunCommand("HOME=" + Quote(strHome) + " /usr/bin/ssconvert -T " + strExporter + " " +
                   Quote(strFrom) + " " + Quote(strTo) + " >/dev/null 2>&1",
               nStatus);
    return nStatus == 0;
}

// UTF-16LE as hex digits, two bytes per character.
inline std::u16string FromHex16(std::string_view hex) {
    std::u16string out;
    for (std::size_t i = 0; i + 4 <= hex.size(); i += 4) {
        const auto n = std::stoul(std::string(hex.substr(i + 2, 2)) + std::string(hex.substr(i, 2)),
                                  nullptr, 16);
        out.push_back(static_cast<char16_t>(n));
    }
    return out;
}

inline std::u16string Ascii16(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

inline std::u16string Repeat(std::u16string_view unit, std::size_t nChars) {
    std::u16string out;
    while (out.size() < nChars) {
        out += unit;
    }
    out.resize(nChars);
    return out;
}

inline void SetText(CXlsSheet& sheet, std::uint32_t r, std::uint32_t c, std::u16string text,
                    bool bQuote = false) {
    CXlsCell cell;
    cell.m_kind = CXlsCell::EKind::Text;
    cell.m_strText = std::move(text);
    cell.m_bQuotePrefix = bQuote;
    sheet.Set(r, c, cell);
}
inline void SetNumber(CXlsSheet& sheet, std::uint32_t r, std::uint32_t c, double d,
                      EXlsNumberFormat format = EXlsNumberFormat::General) {
    CXlsCell cell;
    cell.m_kind = CXlsCell::EKind::Number;
    cell.m_dNumber = d;
    cell.m_format = format;
    sheet.Set(r, c, cell);
}

// Puts rows of cells from the top left cell.
inline void SetRows(CXlsSheet& sheet, const std::vector<std::vector<CXlsCell>>& rows) {
    for (std::uint32_t r = 0; r < rows.size(); ++r) {
        for (std::uint32_t c = 0; c < rows[r].size(); ++c) {
            sheet.Set(r, c, rows[r][c]);
        }
    }
}

// The first sheet as python3-xlrd reads it (see xlrd_dump.py).
struct CXlrdCell {
    int m_nType = 0; // 1 text, 2 number, 3 date, 4 boolean, 5 error
    int m_nFormat = 0;
    bool m_bDate = false;
    bool m_bWrap = false;
    std::string m_strValue; // text as UTF-16LE hex, else a float repr
    [[nodiscard]] std::u16string Text() const { return FromHex16(m_strValue); }
    [[nodiscard]] double Number() const { return std::stod(m_strValue); }
};
struct CXlrdSheet {
    bool m_bOk = false;
    std::string m_strOutput;
    std::u16string m_strName;
    int m_nRows = 0;
    int m_nColumns = 0;
    std::map<std::pair<int, int>, CXlrdCell> m_mapCells;
    std::map<int, int> m_mapWidths;  // column -> 1/256 characters
    std::map<int, int> m_mapHeights; // row -> twips, rows not of the default height
};

inline CXlrdSheet ReadWithXlrd(const std::string& strPath) {
    CXlrdSheet sheet;
    int nStatus = 0;
    sheet.m_strOutput =
        RunCommand("/usr/bin/python3 " VARNO_SOURCE_DIR "/tests/spreadsheet/xlrd_dump.py " +
                       Quote(strPath) + " 2>&1",
                   nStatus);
    sheet.m_bOk = nStatus == 0;
    std::istringstream in(sheet.m_strOutput);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string kind, name;
        int a = 0, b = 0;
        f >> kind;
        if (kind == "S" && f >> name >> sheet.m_nRows >> sheet.m_nColumns) {
            sheet.m_strName = FromHex16(name);
        } else if (kind == "C" && f >> a >> b) {
            CXlrdCell& c = sheet.m_mapCells[{a, b}];
            f >> c.m_nType >> c.m_nFormat >> c.m_bDate >> c.m_bWrap >> c.m_strValue;
        } else if ((kind == "W" || kind == "H") && f >> a >> b) {
            (kind == "W" ? sheet.m_mapWidths : sheet.m_mapHeights)[a] = b;
        }
    }
    return sheet;
}

// The same for a file in memory, stored in the test home first.
inline CXlrdSheet ReadBytesWithXlrd(std::string_view file) {
    const std::string path = TempPath("xlrd.xls");
    WriteFileBytes(path, file);
    return ReadWithXlrd(path);
}

} // namespace xlstest
