#include "formats/FormatSelection.h"

#include "formats/CalendarFormat.h"
#include "formats/CsvFormat.h"
#include "formats/ExcelFormat.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/Trace.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool HasExtension(std::string_view name, std::string_view extension) {
    return name.size() >= extension.size() &&
           EqualsIgnoringCase(name.substr(name.size() - extension.size()), extension);
}

void SetReason(std::string* pstrReason, std::string text) {
    if (pstrReason)
        *pstrReason = std::move(text);
}

// The system's text for an error number, and the number kept for the caller.
void SetErrnoReason(std::string* pstrReason, int nError) {
    SetReason(pstrReason, std::generic_category().message(nError));
    errno = nError;
}

// Whether workbooks can be had; when not, the reason is set.
bool SpreadsheetAvailable(std::string* pstrReason) {
    if (IsExcelAvailable())
        return true;
    SetReason(pstrReason, "Workbooks (.xls, .xlsx) cannot be read or written: the spreadsheet "
                          "component is not available.");
    errno = ENOTSUP;
    return false;
}

// Opens the format; on failure the reason is set and the format dropped. Errors of the
// file and automation layers count as a failure to open.
template <class F>
std::unique_ptr<CFileFormat> Open(std::unique_ptr<CFileFormat> pFormat, std::string* pstrReason,
                                  F&& open) {
    errno = 0;
    try {
        if (open(*pFormat) == STATUS_OK)
            return pFormat;
        const int nError = errno != 0 ? errno : EIO;
        pFormat.reset();
        SetErrnoReason(pstrReason, nError);
    } catch (const CFormatException& e) {
        pFormat.reset();
        SetReason(pstrReason, e.what());
        errno = EIO;
    }
    return nullptr;
}

} // namespace

bool IsExcelFile(std::string_view name) {
    return HasExtension(name, ".xls") || IsXlsxFile(name);
}

bool IsXlsxFile(std::string_view name) {
    return HasExtension(name, ".xlsx");
}

bool IsVcsFile(std::string_view name) {
    return HasExtension(name, ".vcs");
}

bool IsIcsFile(std::string_view name) {
    return HasExtension(name, ".ics");
}

const char* FormatNameOf(std::string_view name) {
    if (IsXlsxFile(name))
        return "XLSX";
    if (IsExcelFile(name))
        return "XLS";
    if (IsVcsFile(name))
        return "vCalendar";
    if (IsIcsFile(name))
        return "iCalendar";
    return "CSV";
}

std::unique_ptr<CFileFormat> OpenExportFile(const std::string& strFileName, const COptions& options,
                                            std::string* pstrReason) {
    WriteTrace("openExportFile %s", strFileName.c_str());
    std::unique_ptr<CFileFormat> pFormat;
    if (IsExcelFile(strFileName)) {
        if (!SpreadsheetAvailable(pstrReason))
            return nullptr;
        WriteTrace("before new excel");
        auto pExcel = std::make_unique<CExcelFormat>();
        WriteTrace("after new excel");
        pExcel->SetDateWithTime(options.m_bDateWithTime != 0);
        pFormat = std::move(pExcel);
    } else if (IsVcsFile(strFileName)) {
        pFormat = std::make_unique<CCalendarFormat>(CALENDAR_VCALENDAR);
    } else if (IsIcsFile(strFileName)) {
        pFormat = std::make_unique<CCalendarFormat>(CALENDAR_ICALENDAR);
    } else {
        auto pCsv = std::make_unique<CCsvFormat>();
        pCsv->SetSeparator(options.m_strSeparator);
        pCsv->SetQuote(options.m_strQuote);
        pCsv->SetRemoveLineBreaks(options.m_bExportNoCr != 0);
        pCsv->SetDateWithTime(options.m_bDateWithTime != 0);
        pFormat = std::move(pCsv);
    }
    return Open(std::move(pFormat), pstrReason,
                [&](CFileFormat& format) { return format.OpenWrite(strFileName); });
}

std::unique_ptr<CFileFormat> OpenImportFile(const std::string& strFileName, const COptions& options,
                                            std::string* pstrReason) {
    std::unique_ptr<CFileFormat> pFormat;
    if (IsExcelFile(strFileName)) {
        if (!SpreadsheetAvailable(pstrReason))
            return nullptr;
        pFormat = std::make_unique<CExcelFormat>();
    } else {
        // A folder opens for reading but holds no rows: say what it is.
        std::error_code ec;
        if (std::filesystem::is_directory(strFileName, ec)) {
            SetErrnoReason(pstrReason, EISDIR);
            return nullptr;
        }
        auto pCsv = std::make_unique<CCsvFormat>();
        pCsv->SetSeparator(options.m_strSeparator);
        pCsv->SetQuote(options.m_strQuote);
        pFormat = std::move(pCsv);
    }
    return Open(std::move(pFormat), pstrReason,
                [&](CFileFormat& format) { return format.OpenRead(strFileName); });
}

std::string GetImportFilter() {
    std::string filter;
    if (IsExcelAvailable()) {
        filter += LoadResourceString(IDS_FILTER_EXCEL);
        filter += LoadResourceString(IDS_FILTER_XLSX);
    }
    filter += LoadResourceString(IDS_FILTER_CSV);
    filter += LoadResourceString(IDS_FILTER_ALL);
    filter += '|';
    return filter;
}

std::string GetExportFilter(const COptions& options) {
    std::string filter;
    if (IsExcelAvailable()) {
        filter += LoadResourceString(IDS_FILTER_EXCEL);
        filter += LoadResourceString(IDS_FILTER_XLSX);
    }
    filter += LoadResourceString(IDS_FILTER_CSV);
    if (options.m_bFullFormat == 0)
        filter += LoadResourceString(IDS_FILTER_VCS);
    filter += LoadResourceString(IDS_FILTER_ICS);
    filter += '|';
    return filter;
}

int GetFilterIndex(std::string_view name, std::string_view filter) {
    if (name.size() < 4 || name.find('.') == std::string_view::npos)
        return 1;
    constexpr std::string_view kPattern = "|*.";
    // An entry whose pattern is exactly the name's extension comes first, so that ".xlsx"
    // finds its own entry and not the one of ".xls" (or the last).
    const std::string_view whole = name.substr(name.rfind('.') + 1);
    std::string_view rest = filter;
    for (int i = 0; i < 10 && !whole.empty(); ++i) {
        const std::size_t nFound = rest.find(kPattern);
        if (nFound == std::string_view::npos)
            break;
        rest.remove_prefix(nFound + kPattern.size());
        if (EqualsIgnoringCase(rest.substr(0, rest.find('|')), whole))
            return i + 1;
    }
    const std::string_view extension = name.substr(name.size() - 3);
    rest = filter;
    for (int i = 0; i < 10; ++i) {
        const std::size_t nFound = rest.find(kPattern);
        if (nFound == std::string_view::npos)
            return i;
        rest.remove_prefix(nFound + kPattern.size());
        if (rest.size() >= 3 && EqualsIgnoringCase(rest.substr(0, 3), extension))
            return i + 1;
    }
    return 1;
}
