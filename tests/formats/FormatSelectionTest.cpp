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

namespace {

class FormatSelectionTest : public CVarnoTest {};

TEST_F(FormatSelectionTest, NamesAreTestedByTheirLastFourCharacters) {
    EXPECT_TRUE(IsExcelFile("DATA.XLS"));
    EXPECT_TRUE(IsExcelFile("/home/x/a.Xls"));
    EXPECT_TRUE(IsExcelFile(".xls"));
    EXPECT_FALSE(IsExcelFile("x.xlsx"));
    EXPECT_FALSE(IsExcelFile("xls"));
    EXPECT_FALSE(IsExcelFile("axls"));
    EXPECT_TRUE(IsVcsFile("a.VCS"));
    EXPECT_FALSE(IsVcsFile("a.ics"));
    EXPECT_TRUE(IsIcsFile("cal.ics"));
    EXPECT_FALSE(IsIcsFile("ics"));
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
    EXPECT_EQ(GetImportFilter(), "MS Excel (*.xls)|*.xls|Comma Separated Values "
                                 "(*.csv)|*.csv|All Files (*.*)|*.*||");
    options.m_bFullFormat = 1;
    EXPECT_EQ(GetExportFilter(options), "MS Excel (*.xls)|*.xls|Comma Separated Values "
                                        "(*.csv)|*.csv|iCalendar (*.ics)|*.ics||");
}

TEST_F(FormatSelectionTest, TheFilterIndexFollowsTheExtension) {
    const std::string exportWithExcel = "MS Excel (*.xls)|*.xls|Comma Separated Values "
                                        "(*.csv)|*.csv|vCalendar (*.vcs)|*.vcs|iCalendar "
                                        "(*.ics)|*.ics||";
    const std::string importWithout = "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*||";
    EXPECT_EQ(GetFilterIndex("/data/appts.csv", exportWithExcel), 2);
    EXPECT_EQ(GetFilterIndex("/data/APPTS.XLS", exportWithExcel), 1);
    EXPECT_EQ(GetFilterIndex("c.ICS", exportWithExcel), 4);
    EXPECT_EQ(GetFilterIndex("notes.txt", importWithout), 2);
    EXPECT_EQ(GetFilterIndex("notes.txt", exportWithExcel), 4);
    EXPECT_EQ(GetFilterIndex("abc", importWithout), 1);
    EXPECT_EQ(GetFilterIndex("abcdef", importWithout), 1);
    EXPECT_EQ(GetFilterIndex("a.csv", ""), 0);
}

TEST_F(FormatSelectionTest, ExportNamesChooseTheirFormat) {
    COptions options;
    options.m_strSeparator = ",";
    options.m_strQuote = "'";
    options.m_bExportNoCr = 1;
    options.m_bDateWithTime = 1;
    const std::string csvName = TempPath("out.txt");
    {
        std::unique_ptr<CFileFormat> p = OpenExportFile(csvName, options);
        ASSERT_TRUE(dynamic_cast<CCsvFormat*>(p.get()));
        (void)p->WriteText("a\nb");
        (void)p->WriteText("c");
        (void)p->WriteTime(MakeLocalTimeValue(2026, 12, 5, 9, 30));
        (void)p->EndRow();
        (void)p->CloseWrite();
    }
    EXPECT_EQ(ReadFileBytes(csvName), "'a b','c','05.12.2026 09:30'\r\n");

    std::unique_ptr<CFileFormat> pVcs = OpenExportFile(TempPath("a.VCS"), options);
    auto* pCalendar = dynamic_cast<CCalendarFormat*>(pVcs.get());
    ASSERT_TRUE(pCalendar);
    EXPECT_FALSE(pCalendar->IsICalendar());
    std::unique_ptr<CFileFormat> pIcs = OpenExportFile(TempPath("a.ics"), options);
    pCalendar = dynamic_cast<CCalendarFormat*>(pIcs.get());
    ASSERT_TRUE(pCalendar);
    EXPECT_TRUE(pCalendar->IsICalendar());
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
}

TEST_F(FormatSelectionTest, ImportReadsEveryOtherNameAsCsv) {
    COptions options;
    options.m_strSeparator = ";";
    const std::string name = TempPath("cal.vcs");
    WriteFileBytes(name, "BEGIN:VCALENDAR;x\r\n");
    std::unique_ptr<CFileFormat> p = OpenImportFile(name, options);
    ASSERT_TRUE(dynamic_cast<CCsvFormat*>(p.get()));
    ASSERT_EQ(p->NextRow(), STATUS_OK);
    std::string cell;
    (void)p->ReadText(cell);
    EXPECT_EQ(cell, "BEGIN:VCALENDAR");
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
