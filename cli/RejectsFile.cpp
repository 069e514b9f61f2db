#include "cli/RejectsFile.h"

#include "fields/FieldLayout.h"
#include "settings/Options.h"

#include <cerrno>

namespace {

constexpr const char* kRowEnd = "\r\n";

// The explanation on one line: line breaks become blanks, runs of blanks one blank.
std::string OneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        const char ch = (c == '\r' || c == '\n') ? ' ' : c;
        if (ch == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += ch;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace

CRejectsFile::CRejectsFile(const std::string& strFileName, const COptions& options)
    : m_strSeparator(options.m_strSeparator.empty() ? "," : options.m_strSeparator),
      m_strQuote(options.m_strQuote) {
    const CFieldLayout& layout = options.m_layout;
    std::string header;
    auto add = [&](const std::string& name) {
        header += (header.empty() ? "" : m_strSeparator) + Cell(name);
    };
    for (unsigned nId : layout.GetSimpleFields())
        add(CFieldLayout::GetFieldName(nId));
    m_nWidth = layout.GetSimpleCount();
    if (options.m_bFullFormat != 0) {
        for (unsigned nId : layout.GetRepeatFields())
            add(CFieldLayout::GetFieldName(nId));
        m_nWidth += layout.GetRepeatCount();
    }
    add("Line");
    add("Error");
    if (!m_file.Open(strFileName)) {
        m_nError = errno;
        return;
    }
    Write(header);
}

void CRejectsFile::Write(const std::string& strLine) {
    if (m_nError == 0 && !m_file.Write(strLine + kRowEnd))
        m_nError = errno;
}

bool CRejectsFile::Close() {
    if (m_nError != 0) {
        m_file.Discard();
        errno = m_nError;
        return false;
    }
    return m_file.Commit();
}

void CRejectsFile::OnRowRejected(const CRejectedRow& row) {
    std::string line;
    int nCells = 0;
    if (!row.m_vecRawCells.empty()) {
        for (const std::string& cell : row.m_vecRawCells)
            line += (nCells++ == 0 ? "" : m_strSeparator) + Cell(cell);
    } else {
        line = row.m_strRawLine;
        nCells = CountCells(line, m_strSeparator, m_strQuote);
    }
    for (; nCells < m_nWidth; ++nCells)
        line += m_strSeparator;
    std::string strMessage = OneLine(row.m_strMessage);
    if (row.m_bPartlyStored)
        strMessage += " (The appointment was imported without its repeat rule.)";
    line += m_strSeparator + std::to_string(row.m_nLine) + m_strSeparator + Cell(strMessage);
    Write(line);
    ++m_nRows;
}

int CRejectsFile::CountCells(std::string_view line, std::string_view separator,
                             std::string_view quote) {
    if (separator.empty())
        return line.empty() ? 0 : 1;
    int nCells = 1;
    bool bQuoted = false;
    for (std::size_t i = 0; i < line.size();) {
        if (!quote.empty() && line.substr(i, quote.size()) == quote) {
            bQuoted = !bQuoted;
            i += quote.size();
        } else if (!bQuoted && line.substr(i, separator.size()) == separator) {
            ++nCells;
            i += separator.size();
        } else {
            ++i;
        }
    }
    return nCells;
}

std::string CRejectsFile::Cell(std::string_view text) const {
    if (m_strQuote.empty())
        return std::string(text);
    std::string out = m_strQuote;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, m_strQuote.size()) == m_strQuote) {
            out += m_strQuote;
            out += m_strQuote;
            i += m_strQuote.size();
        } else {
            out += text[i++];
        }
    }
    out += m_strQuote;
    return out;
}
