// Open and save file dialogs with the program's filter strings: "Text|pattern|" pairs,
// closed by an extra "|". Entries are numbered from 1, as the program preselects them.
#pragma once

#include "platform/dialogs/DialogSurface.h"

#include <string>
#include <string_view>
#include <vector>

struct CFilterEntry {
    std::string m_strText;    // "Comma Separated Values (*.csv)"
    std::string m_strPattern; // "*.csv", maybe several joined by ';'
    bool operator==(const CFilterEntry&) const = default;
};

// The entries of a filter string, up to the first empty pair or the end.
[[nodiscard]] std::vector<CFilterEntry> ParseFilterString(std::string_view filter);

// A path whose last part has no '.' gets the extension of filter entry nIndex (1-based):
// the entry's first pattern without its '*', unless that is ".*" or the entry is missing.
[[nodiscard]] std::string AppendFilterExtension(const std::string& strPath, std::string_view filter,
                                                int nIndex);

class CFileDialog {
public:
    enum EFlag : unsigned {
        OFN_NONE = 0,
        OFN_FILEMUSTEXIST = 1u << 0,
        OFN_OVERWRITEPROMPT = 1u << 1,
        OFN_HIDEREADONLY = 1u << 2,
    };

    CFileDialog(bool bOpen, std::string strFileName, unsigned nFlags, std::string strFilter);

    // IDOK or IDCANCEL.
    [[nodiscard]] int DoModal();
    [[nodiscard]] const std::string& GetPathName() const { return m_strPath; }

    int m_nFilterIndex = 1; // 1-based; preselected before DoModal, selected after

private:
    bool m_bOpen;
    std::string m_strFileName;
    unsigned m_nFlags;
    std::string m_strFilter;
    std::string m_strPath;
};
