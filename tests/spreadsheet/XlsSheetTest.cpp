// The cells of a sheet as the workbook engine keeps them (only cells holding a value, each
// text once), checked against a plain map of the same cells; and the container written in
// pieces around a stream the writer makes apart.
#include "platform/spreadsheet/CompoundFile.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <utility>

using namespace xlstest;

namespace {

class XlsSheetTest : public CVarnoTest {};

using CModel = std::map<std::pair<std::uint32_t, std::uint32_t>, CXlsCell>;

constexpr std::uint32_t kRows = 120;
constexpr std::uint32_t kColumns = 40;

testing::AssertionResult SheetHolds(const CXlsSheet& sheet, const CModel& model) {
    for (std::uint32_t r = 0; r < kRows; ++r) {
        std::uint32_t nEnd = 0;
        for (std::uint32_t c = 0; c < kColumns; ++c) {
            const auto it = model.find({r, c});
            const CXlsCell expected = it == model.end() ? CXlsCell{} : it->second;
            const CXlsCell cell = sheet.Get(r, c);
            if (cell.m_kind != expected.m_kind || cell.m_strText != expected.m_strText ||
                cell.m_dNumber != expected.m_dNumber || cell.m_format != expected.m_format ||
                cell.m_bQuotePrefix != expected.m_bQuotePrefix)
                return testing::AssertionFailure() << "cell " << r << "," << c;
            if (!expected.IsEmpty())
                nEnd = c + 1;
        }
        if (sheet.ColumnCount(r) != nEnd)
            return testing::AssertionFailure() << "columns of row " << r;
    }
    std::uint32_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    const bool bUsed = sheet.UsedRange(r0, c0, r1, c1);
    if (bUsed != !model.empty())
        return testing::AssertionFailure() << "used range found: " << bUsed;
    if (bUsed) {
        std::uint32_t nLeft = kColumns, nRight = 0;
        for (const auto& [at, cell] : model) {
            nLeft = std::min(nLeft, at.second);
            nRight = std::max(nRight, at.second);
        }
        if (r0 != model.begin()->first.first || r1 != model.rbegin()->first.first || c0 != nLeft ||
            c1 != nRight)
            return testing::AssertionFailure()
                   << "used range " << r0 << "," << c0 << " to " << r1 << "," << c1;
    }
    return testing::AssertionSuccess();
}

// Cells put, overwritten and cleared in any order (a row filled from the right, cells
// between others, texts long and short, repeated or not) read back as a plain map holds
// them, with the used range following clears; a copy of the sheet holds the same cells
// and keeps them while the sheet changes on, a moved sheet too.
TEST_F(XlsSheetTest, CellsPutInAnyOrderReadAsAPlainMapHoldsThem) {
    std::mt19937 engine(15);
    const auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    const std::u16string texts[] = {
        u"x", u"Unfiled", u"'", u"", Repeat(u"long ", 40000), u"line 1\nline 2", u"Room 29"};
    CXlsSheet sheet;
    CModel model;
    std::optional<CXlsSheet> copy;
    CModel copyModel;
    for (int nStep = 1; nStep <= 6000; ++nStep) {
        const std::uint32_t r = random() % kRows;
        const std::uint32_t c = random() % kColumns;
        CXlsCell cell;
        switch (random() % 4) {
        case 0: // cleared
            break;
        case 1:
            cell.m_kind = CXlsCell::EKind::Number;
            cell.m_dNumber = static_cast<double>(random() % 1000) / 4;
            cell.m_format = random() % 2 ? EXlsNumberFormat::Date : EXlsNumberFormat::General;
            break;
        default:
            cell.m_kind = CXlsCell::EKind::Text;
            cell.m_strText = random() % 3 ? texts[random() % std::size(texts)]
                                          : Ascii16("text " + std::to_string(random() % 500));
            cell.m_bQuotePrefix = random() % 2 == 0;
            break;
        }
        sheet.Set(r, c, cell);
        if (cell.IsEmpty() || (cell.m_kind == CXlsCell::EKind::Text && cell.m_strText.empty()))
            model.erase({r, c});
        else
            model[{r, c}] = cell;
        if (nStep % 1000 == 0) {
            ASSERT_TRUE(SheetHolds(sheet, model)) << nStep;
            if (copy) {
                ASSERT_TRUE(SheetHolds(*copy, copyModel)) << nStep;
            }
            copy = sheet;
            copyModel = model;
        }
    }
    const CXlsSheet moved = std::move(sheet);
    EXPECT_TRUE(SheetHolds(moved, model));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(SheetHolds(*copy, copyModel));
    // Equal texts share one index; the pool holds each text once.
    EXPECT_LE(moved.Texts().Count(), std::size(texts) + 500);
}

// A text put through its pool index is the text; an empty one clears the cell.
TEST_F(XlsSheetTest, TextsPutByTheirIndex) {
    CXlsSheet sheet;
    const std::uint32_t nLunch = sheet.AddText(u"Lunch");
    EXPECT_EQ(sheet.AddText(u"Lunch"), nLunch);
    sheet.SetText(3, 7, nLunch, true);
    sheet.SetText(3, 2, nLunch, false);
    EXPECT_EQ(sheet.Get(3, 7).m_strText, u"Lunch");
    EXPECT_TRUE(sheet.Get(3, 7).m_bQuotePrefix);
    EXPECT_EQ(sheet.TextIndex(3, 2), nLunch);
    EXPECT_EQ(sheet.ColumnCount(3), 8u);
    sheet.SetText(3, 7, sheet.AddText(u""), false);
    EXPECT_TRUE(sheet.Get(3, 7).IsEmpty());
    EXPECT_EQ(sheet.ColumnCount(3), 3u);
    EXPECT_THROW(sheet.SetText(kXlsMaxRows, 0, nLunch, false), CXlsError);
}

// Room reserved for texts, before any, between them, or less than there is, keeps each
// text's index: texts added again find theirs.
TEST_F(XlsSheetTest, TextRoomReservedKeepsTheIndices) {
    for (const std::size_t nReserveAt : {std::size_t{0}, std::size_t{700}, std::size_t{5000}}) {
        SCOPED_TRACE(nReserveAt);
        CXlsSheet sheet;
        std::vector<std::uint32_t> indices;
        for (std::size_t i = 0; i < 5000; ++i) {
            if (i == nReserveAt) {
                sheet.ReserveTexts(i == 0 ? 3000 : 20000);
            }
            indices.push_back(sheet.AddText(Ascii16("text " + std::to_string(i))));
        }
        for (std::size_t i = 0; i < indices.size(); ++i) {
            ASSERT_EQ(sheet.AddText(Ascii16("text " + std::to_string(i))), indices[i]) << i;
            ASSERT_EQ(sheet.Texts().Get(indices[i]), Ascii16("text " + std::to_string(i)));
        }
        EXPECT_EQ(sheet.Texts().Count(), 5000u);
    }
}

// The container made around a stream written apart is the one made with the stream in
// memory, at sizes around sector ends and where the FAT needs DIFAT sectors.
TEST_F(XlsSheetTest, ContainerHeadAndPaddingMakeTheWholeFile) {
    for (const std::size_t nSize :
         {std::size_t{4096}, std::size_t{4097}, std::size_t{4607}, std::size_t{4608},
          std::size_t{70000}, std::size_t{109 * 128 * 512 + 1}}) {
        SCOPED_TRACE(nSize);
        std::string stream(nSize, '\0');
        for (std::size_t i = 0; i < nSize; i += 511)
            stream[i] = static_cast<char>(i / 511);
        const std::string whole = CCompoundFile::Write({{u"Workbook", stream}});
        const std::string parts = CCompoundFile::WriteHead(u"Workbook", nSize) + stream +
                                  std::string(CCompoundFile::PaddingAfter(nSize), '\0');
        ASSERT_EQ(parts.size(), whole.size());
        EXPECT_TRUE(parts == whole);
    }
    EXPECT_THROW((void)CCompoundFile::WriteHead(u"Workbook", 4095), CXlsError);
}

// A save that fails while the stream goes out says why and names the file.
TEST_F(XlsSheetTest, AFailedWriteIsReported) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CXlsWorkbook wb;
    for (std::uint32_t r = 0; r < 20000; ++r)
        SetNumber(wb.m_vecSheets[0], r, 0, r);
    try {
        wb.Save("/dev/full");
        ADD_FAILURE();
    } catch (const CXlsError& e) {
        EXPECT_STREQ(e.what(), "/dev/full: cannot write (No space left on device)");
    }
}

} // namespace
