// The example text of the options dialog: what an export would write with the options
// being edited, collected in memory. Cells are quote, value, quote, joined by the
// separator, rows ended by CR LF; values are never escaped. Reading reads nothing.
#pragma once

#include "formats/FileFormat.h"

#include <string>

class COptions;

// The example of the options dialog: the header row and one row of a sample appointment
// (today, timed at the instant 0, category "Unfiled", title, note and location of the
// string table; with the full format a daily repeat ending a day after tNow), written
// through the options' field layouts. tNow is the current time.
[[nodiscard]] std::string BuildExampleText(COptions& options, TimeValue tNow);

class CExampleFormat final : public CFileFormat {
public:
    // Copies the separator, quote and include-date-in-time choice of the options.
    explicit CExampleFormat(const COptions& options);
    ~CExampleFormat() override;

    // The text collected so far.
    [[nodiscard]] const std::string& GetText() const { return m_strText; }

    EStatus OpenWrite(const std::string& strFileName) override;
    EStatus OpenRead(const std::string& strFileName) override;
    EStatus CloseWrite() override;
    EStatus CloseRead() override;
    EStatus EndRow() override;
    EStatus NextRow() override;
    EStatus WriteText(const std::string& strText) override;
    EStatus WriteDate(TimeValue t) override;
    EStatus WriteTime(TimeValue t) override;
    // The span in hours with six decimals: 5400 seconds give 1.500000.
    EStatus WriteSpan(TimeSpan ts) override;
    EStatus WriteInt(std::int32_t n) override;
    EStatus ReadText(std::string& strOut) override;
    EStatus ReadDate(TimeValue& tOut) override;
    EStatus ReadTime(TimeValue& tOut) override;
    EStatus ReadSpan(TimeSpan& tsOut) override;
    EStatus ReadInt(std::int32_t& nOut) override;
    std::int32_t GetPosition() override { return 0; }
    std::int32_t GetSize() override { return 0; }
    std::string GetLastCell() const override { return {}; }
    void SetLastCell(const std::string&) override {}

private:
    // Both open operations: the name is ignored.
    EStatus Open(const std::string& strFileName);

    std::string m_strText;
    std::string m_strSeparator;
    std::string m_strQuote;
    bool m_bRowStart = true;
    bool m_bDateWithTime = false;
};
