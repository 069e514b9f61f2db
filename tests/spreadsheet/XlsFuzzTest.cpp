// The reader against damaged files: every truncation of a small workbook, and seeded
// random byte changes in the container and in the workbook stream. Each load must end
// in a workbook or a CXlsError, never in a crash, another exception or a hang (the
// sanitizer build runs this too).
#include "platform/spreadsheet/CompoundFile.h"
#include "platform/spreadsheet/XlsWorkbook.h"
#include "tests/spreadsheet/XlsTestSupport.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>

using namespace xlstest;

namespace {

class XlsFuzzTest : public CVarnoTest {};

// A small workbook with every part the reader walks: texts (one running on in a
// CONTINUE record), dates, times, numbers, sizes.
CXlsWorkbook SmallWorkbook() {
    CXlsWorkbook wb;
    CXlsSheet& s = wb.m_vecSheets[0];
    SetText(s, 0, 0, u"Date");
    SetText(s, 0, 1, u"Start Time");
    SetText(s, 0, 2, u"Notes");
    for (std::uint32_t r = 1; r < 6; ++r) {
        SetNumber(s, r, 0, 46361 + r, EXlsNumberFormat::Date);
        SetNumber(s, r, 1, r / 24.0, EXlsNumberFormat::Time);
        SetText(s, r, 2, u"Caf\u00E9 \u20AC " + Ascii16(std::to_string(r)), r == 3);
        SetNumber(s, r, 3, r * 0.1);
    }
    SetText(s, 6, 2, Repeat(u"long note ", 8300));
    s.m_vecColumnWidths = {12, 8};
    s.m_vecRowHeights = {20};
    return wb;
}

// A load that must give a workbook or a CXlsError.
void ExpectSafeLoad(std::string_view bytes, const std::string& strWhat) {
    try {
        const CXlsWorkbook wb = CXlsWorkbook::LoadFromMemory(bytes, "fuzz.xls");
        std::uint32_t r0 = 0, c0 = 0, r1 = 0, c1 = 0;
        (void)wb.m_vecSheets.at(0).UsedRange(r0, c0, r1, c1);
    } catch (const CXlsError& e) {
        ASSERT_EQ(std::string(e.what()).rfind("fuzz.xls: ", 0), 0u) << strWhat << ": " << e.what();
    } catch (const std::exception& e) {
        FAIL() << strWhat << ": " << e.what();
    }
}

TEST_F(XlsFuzzTest, EveryTruncationIsRefused) {
    const std::string file = SmallWorkbook().SaveToMemory();
    // The stream's sectors follow one another; the rest of its last sector is padding.
    const std::size_t nDir = 512 * (1 + Get32(file, 48));
    const std::size_t nDataEnd =
        512 * (1 + Get32(file, nDir + 128 + 116)) + Get32(file, nDir + 128 + 120);
    ASSERT_LT(file.size() - nDataEnd, 512u);
    for (std::size_t n = 0; n < file.size(); ++n) {
        try {
            const CXlsWorkbook wb =
                CXlsWorkbook::LoadFromMemory(std::string_view(file).substr(0, n), "fuzz.xls");
            EXPECT_GE(n, nDataEnd) << "file truncated to " << n << " bytes was read";
            EXPECT_EQ(wb.m_vecSheets[0].Get(6, 2).m_strText.size(), 8300u);
        } catch (const CXlsError&) {
            EXPECT_LT(n, nDataEnd);
        }
    }
    // Truncations of the workbook stream itself, in an intact container (small ones land
    // in the mini stream).
    std::string stream = WorkbookStream(file);
    const auto records = Records(stream);
    stream.resize(records.back().m_nOffset + 4); // up to the last EOF
    for (std::size_t n = 0; n < stream.size(); ++n) {
        const std::string damaged = Container(stream.substr(0, n));
        try {
            (void)CXlsWorkbook::LoadFromMemory(damaged, "fuzz.xls");
            ADD_FAILURE() << "stream truncated to " << n << " bytes was read";
        } catch (const CXlsError&) {
        }
    }
}

TEST_F(XlsFuzzTest, SeededByteChangesNeverCrash) {
    std::mt19937 random(20261205);
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    // One to four changes: a random byte, a flipped bit, a length or index at its
    // largest, or a zero; half of them in the structure at the front (header, FAT,
    // directory, workbook globals), where one byte matters most.
    const auto mutate = [&](std::string bytes, std::size_t nHot) {
        for (std::size_t i = 0, n = 1 + pick(4); i < n; ++i) {
            const std::size_t at =
                pick(2) ? pick(std::min(nHot, bytes.size())) : pick(bytes.size());
            const char values[] = {static_cast<char>(pick(256)),
                                   static_cast<char>(bytes[at] ^ (1 << pick(8))), '\xFF', 0};
            bytes[at] = values[pick(4)];
            if (bytes[at] == '\xFF' && at + 1 < bytes.size() && pick(2))
                bytes[at + 1] = pick(2) ? '\xFF' : '\x7F';
        }
        return bytes;
    };

    const std::string file = SmallWorkbook().SaveToMemory();
    const std::string stream = WorkbookStream(file);
    // A container as other writers make it: a small stream in the mini stream, beside
    // others.
    CXlsWorkbook tiny;
    SetText(tiny.m_vecSheets[0], 0, 0, u"Subject");
    SetNumber(tiny.m_vecSheets[0], 1, 0, 46361.5, EXlsNumberFormat::DateTime);
    std::string small = WorkbookStream(tiny.SaveToMemory());
    small.resize(Records(small).back().m_nOffset + 4);
    ASSERT_LT(small.size(), 4096u);
    const std::string miniFile = CCompoundFile::Write(
        {{u"\x05SummaryInformation", std::string(200, 's')}, {u"Workbook", small}});
    ExpectSafeLoad(miniFile, "mini stream file");
    EXPECT_EQ(CXlsWorkbook::LoadFromMemory(miniFile).m_vecSheets[0].Get(0, 0).m_strText,
              u"Subject");

    for (int i = 0; i < 3000; ++i) {
        ExpectSafeLoad(mutate(file, 2048), "container change " + std::to_string(i));
    }
    for (int i = 0; i < 2000; ++i) {
        ExpectSafeLoad(mutate(miniFile, 2048), "mini stream change " + std::to_string(i));
    }
    for (int i = 0; i < 4000; ++i) {
        ExpectSafeLoad(Container(mutate(stream, 1200)), "stream change " + std::to_string(i));
    }
}

} // namespace
