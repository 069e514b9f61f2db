// The format a file name selects, the file-dialog filters and the preselected entry.
#include "formats/FormatSelection.h"

#include "formats/CalendarFormat.h"
#include "formats/CsvFormat.h"
#include "formats/ExcelFormat.h"
#include "platform/shell/Shell.h"
#include "platform/spreadsheet/SpreadsheetSetup.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <tuple>

namespace {

class FormatSelectionTest : public CVarnoTest {};

// Workbooks are .xls and .xlsx names.
TEST_F(FormatSelectionTest, NamesAreTestedByTheirExtensions) {
    const std::tuple<const char*, bool, bool, bool> cases[] = {
        {"DATA.XLS", true, false, false}, {"/home/x/a.Xls", true, false, false},
        {".xls", true, false, false},     {"x.xlsx", true, false, false},
        {"x.XLSX", true, false, false},   {"x.xlsm", false, false, false},
        {"axls", false, false, false},    {"a.VCS", false, true, false},
        {"cal.ics", false, false, true},  {"ics", false, false, false},
    };
    for (const auto& [pszName, bExcel, bVcs, bIcs] : cases) {
        EXPECT_EQ(std::tuple(IsExcelFile(pszName), IsVcsFile(pszName), IsIcsFile(pszName)),
                  std::tuple(bExcel, bVcs, bIcs))
            << pszName;
    }
    EXPECT_TRUE(IsXlsxFile("a.XlsX"));
    EXPECT_FALSE(IsXlsxFile("a.xls"));
}

TEST_F(FormatSelectionTest, FiltersOfferWorkbooksOnlyWithTheSpreadsheet) {
    COptions options;
    options.m_bFullFormat = 1;
    EXPECT_EQ(GetImportFilter(), "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*||");
    EXPECT_EQ(GetExportFilter(options),
              "Comma Separated Values (*.csv)|*.csv|iCalendar (*.ics)|*.ics||");
    options.m_bFullFormat = 0;
    EXPECT_EQ(GetExportFilter(options), "Comma Separated Values (*.csv)|*.csv|vCalendar "
                                        "(*.vcs)|*.vcs|iCalendar (*.ics)|*.ics||");

    EnsurePlatformSetup();
    ASSERT_TRUE(IsExcelAvailable());
    EXPECT_EQ(GetImportFilter(), "MS Excel (*.xls)|*.xls|MS Excel Workbook (*.xlsx)|*.xlsx|"
                                 "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*||");
    options.m_bFullFormat = 1;
    EXPECT_EQ(GetExportFilter(options),
              "MS Excel (*.xls)|*.xls|MS Excel Workbook (*.xlsx)|*.xlsx|Comma Separated Values "
              "(*.csv)|*.csv|iCalendar (*.ics)|*.ics||");
}

TEST_F(FormatSelectionTest, TheFilterIndexFollowsTheExtension) {
    const std::string withExcel = "MS Excel (*.xls)|*.xls|MS Excel Workbook (*.xlsx)|*.xlsx|"
                                  "Comma Separated Values (*.csv)|*.csv|"
                                  "vCalendar (*.vcs)|*.vcs|iCalendar (*.ics)|*.ics||";
    const std::string without = "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*||";
    const std::tuple<const char*, const std::string*, int> cases[] = {
        {"/data/appts.csv", &withExcel, 3},
        {"/data/APPTS.XLS", &withExcel, 1},
        {"/data/appts.xlsx", &withExcel, 2},
        {"c.ICS", &withExcel, 5},
        {"notes.txt", &without, 2},
        {"notes.txt", &withExcel, 5},
        {"abc", &without, 1},
        {"abcdef", &without, 1}};
    for (const auto& [pszName, pFilter, nIndex] : cases)
        EXPECT_EQ(GetFilterIndex(pszName, *pFilter), nIndex) << pszName;
    EXPECT_EQ(GetFilterIndex("a.csv", ""), 0);
}

// Export: .vcs and .ics the calendar flavours, every other name CSV; import: every name
// but .xls is read as CSV.
TEST_F(FormatSelectionTest, NamesChooseTheirFormat) {
    COptions options;
    options.m_strSeparator = ";";
    EXPECT_TRUE(dynamic_cast<CCsvFormat*>(OpenExportFile(TempPath("out.txt"), options).get()));
    for (const auto& [pszName, bICalendar] :
         {std::pair{"a.VCS", false}, std::pair{"a.ics", true}}) {
        const std::unique_ptr<CFileFormat> p = OpenExportFile(TempPath(pszName), options);
        const auto* pCalendar = dynamic_cast<CCalendarFormat*>(p.get());
        ASSERT_TRUE(pCalendar) << pszName;
        EXPECT_EQ(pCalendar->IsICalendar(), bICalendar);
    }
    const std::string name = TempPath("cal.vcs");
    WriteFileBytes(name, "BEGIN:VCALENDAR;x\r\n");
    std::unique_ptr<CFileFormat> p = OpenImportFile(name, options);
    ASSERT_TRUE(dynamic_cast<CCsvFormat*>(p.get()));
    ASSERT_EQ(p->NextRow(), STATUS_OK);
    std::string cell;
    (void)p->ReadText(cell);
    EXPECT_EQ(cell, "BEGIN:VCALENDAR");
}

TEST_F(FormatSelectionTest, WorkbooksNeedTheSpreadsheet) {
    COptions options;
    const std::string name = TempPath("a.xls");
    std::string reason;
    EXPECT_FALSE(OpenExportFile(name, options, &reason));
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_NE(reason.find("spreadsheet"), std::string::npos);
    WriteFileBytes(name, "\"Date\"\r\n");
    EXPECT_FALSE(OpenImportFile(name, options, &reason));
    std::filesystem::remove(name);

    EnsurePlatformSetup();
    std::unique_ptr<CFileFormat> p = OpenExportFile(name, options);
    ASSERT_TRUE(dynamic_cast<CExcelFormat*>(p.get()));
    EXPECT_EQ(p->CloseWrite(), STATUS_OK);
    p.reset();
    EXPECT_TRUE(std::filesystem::exists(name));
    p = OpenImportFile(name, options);
    EXPECT_TRUE(dynamic_cast<CExcelFormat*>(p.get()));
    p.reset();

    // An .xlsx name is written in that format, and read as a workbook.
    const std::string xlsx = TempPath("a.xlsx");
    p = OpenExportFile(xlsx, options);
    ASSERT_TRUE(dynamic_cast<CExcelFormat*>(p.get()));
    EXPECT_EQ(p->WriteText("Date"), STATUS_OK);
    EXPECT_EQ(p->CloseWrite(), STATUS_OK);
    p.reset();
    EXPECT_EQ(ReadFileBytes(xlsx).substr(0, 2), "PK");
    p = OpenImportFile(xlsx, options);
    EXPECT_TRUE(dynamic_cast<CExcelFormat*>(p.get()));
}

TEST_F(FormatSelectionTest, AFileThatCannotBeOpenedSaysWhy) {
    COptions options;
    std::string reason;
    errno = 0;
    EXPECT_FALSE(OpenImportFile(TempPath("missing.csv"), options, &reason));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(reason, "No such file or directory");

    const std::string folder = TempPath("folder.csv");
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(OpenImportFile(folder, options, &reason));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(OpenExportFile(folder, options, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(OpenExportFile(TempPath("no/such/folder.csv"), options, &reason));
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FormatSelectionTest, ExportFilesAreTraced) {
    ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 1));
    EnsurePlatformSetup();
    COptions options;
    const std::string csvName = TempPath("a.csv");
    const std::string xlsName = TempPath("b.xls");
    (void)OpenExportFile(csvName, options);
    (void)OpenExportFile(xlsName, options);
    EXPECT_EQ(ReadFileBytes(GetDocumentsFolder() + "/varno.txt"),
              "openExportFile " + csvName + "\nopenExportFile " + xlsName +
                  "\nbefore new excel\nafter new excel\n");
}

} // namespace
