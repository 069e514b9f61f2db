// The rows an import rejected, written to a CSV file with the punctuation and field layout
// of the options, so that the user can mend them and import the file again: a header row,
// then every rejected row as it stood in the input, padded to the layout's width, followed
// by two cells of its own, the row's line in the input and what is wrong with it. The
// header and the two extra cells are passed over when the file is imported again.
#pragma once

#include "engine/Import.h"

#include <fstream>
#include <string>
#include <string_view>

class COptions;

class CRejectsFile final : public CImportObserver {
public:
    // Opens (truncates) the file and writes the header row; IsOpen() tells whether it could.
    CRejectsFile(const std::string& strFileName, const COptions& options);

    [[nodiscard]] bool IsOpen() const { return m_file.is_open() && m_file.good(); }
    [[nodiscard]] int Count() const { return m_nRows; }
    // Closes the file; false when something could not be written.
    bool Close();

    [[nodiscard]] bool WantsRawRows() const override { return true; }
    void OnRowRejected(const CRejectedRow& row) override;

    // The number of cells of a CSV line (quoted separators and line breaks do not split).
    [[nodiscard]] static int CountCells(std::string_view line, std::string_view separator,
                                        std::string_view quote);

private:
    [[nodiscard]] std::string Cell(std::string_view text) const;

    std::ofstream m_file;
    std::string m_strSeparator;
    std::string m_strQuote;
    int m_nWidth = 0; // cells of a row of the layout
    int m_nRows = 0;
};
