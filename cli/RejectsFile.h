// The rows an import rejected, written to a CSV file with the punctuation and field layout
// of the options, so that the user can mend them and import the file again: a header row,
// then every rejected row as it stood in the input, padded to the layout's width, followed
// by two cells of its own, the row's line in the input and what is wrong with it. The
// header and the two extra cells are passed over when the file is imported again.
//
// The file is written through COutputFile: an existing file is replaced only when Close
// commits, by the complete file.
#pragma once

#include "engine/Import.h"
#include "platform/file/OutputFile.h"

#include <string>
#include <string_view>

class COptions;

class CRejectsFile final : public CImportObserver {
public:
    // Starts the file and writes the header row; IsOpen() tells whether it could (errno
    // says why when it could not).
    CRejectsFile(const std::string& strFileName, const COptions& options);

    [[nodiscard]] bool IsOpen() const { return m_file.IsOpen() && m_nError == 0; }
    [[nodiscard]] int Count() const { return m_nRows; }
    // Puts the file in place and closes it; false, with errno set and the old file kept,
    // when something could not be written.
    [[nodiscard]] bool Close();
    // Closes the file without putting it in place: the old file stays.
    void Discard() { m_file.Discard(); }

    [[nodiscard]] bool WantsRawRows() const override { return true; }
    void OnRowRejected(const CRejectedRow& row) override;

    // The number of cells of a CSV line (quoted separators and line breaks do not split).
    [[nodiscard]] static int CountCells(std::string_view line, std::string_view separator,
                                        std::string_view quote);

private:
    [[nodiscard]] std::string Cell(std::string_view text) const;
    void Write(const std::string& strLine);

    COutputFile m_file;
    int m_nError = 0; // errno of the first failed write
    std::string m_strSeparator;
    std::string m_strQuote;
    int m_nWidth = 0; // cells of a row of the layout
    int m_nRows = 0;
};
