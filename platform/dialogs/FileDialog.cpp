#include "platform/dialogs/FileDialog.h"

#include <utility>

std::vector<CFilterEntry> ParseFilterString(std::string_view filter) {
    std::vector<CFilterEntry> entries;
    while (!filter.empty()) {
        const auto nBar = filter.find('|');
        if (nBar == std::string_view::npos || nBar == 0)
            break;
        CFilterEntry entry;
        entry.m_strText = filter.substr(0, nBar);
        filter.remove_prefix(nBar + 1);
        const auto nEnd = filter.find('|');
        entry.m_strPattern = filter.substr(0, nEnd);
        if (entry.m_strPattern.empty())
            break;
        entries.push_back(std::move(entry));
        if (nEnd == std::string_view::npos)
            break;
        filter.remove_prefix(nEnd + 1);
    }
    return entries;
}

std::string AppendFilterExtension(const std::string& strPath, std::string_view filter, int nIndex) {
    const auto nSlash = strPath.find_last_of('/');
    const std::string_view name = nSlash == std::string::npos
                                      ? std::string_view(strPath)
                                      : std::string_view(strPath).substr(nSlash + 1);
    if (name.empty() || name.find('.') != std::string_view::npos)
        return strPath;
    const std::vector<CFilterEntry> entries = ParseFilterString(filter);
    if (nIndex < 1 || nIndex > static_cast<int>(entries.size()))
        return strPath;
    std::string_view pattern = entries[static_cast<std::size_t>(nIndex - 1)].m_strPattern;
    pattern = pattern.substr(0, pattern.find(';'));
    if (pattern.empty() || pattern.front() != '*')
        return strPath;
    pattern.remove_prefix(1);
    if (pattern == ".*" || pattern.size() < 2 || pattern.front() != '.')
        return strPath;
    return strPath + std::string(pattern);
}

CFileDialog::CFileDialog(bool bOpen, std::string strFileName, unsigned nFlags,
                         std::string strFilter)
    : m_bOpen(bOpen), m_strFileName(std::move(strFileName)), m_nFlags(nFlags),
      m_strFilter(std::move(strFilter)) {}

int CFileDialog::DoModal() {
    CFileDialogRequest request;
    request.m_bOpen = m_bOpen;
    request.m_strFileName = m_strFileName;
    request.m_strFilter = m_strFilter;
    request.m_nFilterIndex = m_nFilterIndex;
    request.m_bFileMustExist = (m_nFlags & OFN_FILEMUSTEXIST) != 0;
    request.m_bOverwritePrompt = (m_nFlags & OFN_OVERWRITEPROMPT) != 0;
    request.m_bHideReadOnly = (m_nFlags & OFN_HIDEREADONLY) != 0;
    const CFileDialogResult result = GetDialogSurface().RunFileDialog(request);
    if (!result.m_bOk)
        return static_cast<int>(IDCANCEL);
    m_strPath = result.m_strPath;
    m_nFilterIndex = result.m_nFilterIndex;
    return static_cast<int>(IDOK);
}
