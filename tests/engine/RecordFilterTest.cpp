// Filter rows: editing, evaluation left to right, case-insensitive tests in the system
// code page, and the registry form.
#include "engine/RecordFilter.h"

#include "res/StringTable.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

const char* const kKey = "Software\\Brenmark\\VARNO\\FilterTest";

class RecordFilterTest : public CVarnoTest {};

struct SRow {
    std::int32_t m_nType;
    std::string m_strText;
    std::int32_t m_nJoin;
};

CRecordFilter MakeFilter(const std::vector<SRow>& rows) {
    CRecordFilter filter;
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.AddRow();
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.SetRow(static_cast<int>(i), rows[i].m_nType, rows[i].m_strText, rows[i].m_nJoin);
    return filter;
}

std::vector<SRow> RowsOf(const CRecordFilter& filter) {
    std::vector<SRow> rows;
    for (int i = 0; i < filter.GetRowCount(); ++i) {
        SRow row{-9, "", -9};
        filter.GetRow(i, row.m_nType, row.m_strText, row.m_nJoin);
        rows.push_back(row);
    }
    return rows;
}

bool operator==(const SRow& a, const SRow& b) {
    return a.m_nType == b.m_nType && a.m_strText == b.m_strText && a.m_nJoin == b.m_nJoin;
}

void PrintTo(const SRow& row, std::ostream* os) {
    *os << "{" << row.m_nType << ", \"" << row.m_strText << "\", " << row.m_nJoin << "}";
}

TEST_F(RecordFilterTest, DisplayTexts) {
    EXPECT_EQ(LoadResourceString(unsigned{IDS_FILTER_TYPE_BASE} + FILTER_TEXT_STARTS_WITH),
              "text starts with");
    EXPECT_EQ(LoadResourceString(unsigned{IDS_FILTER_TYPE_BASE} + FILTER_LOCATION_IS),
              "location is");
    EXPECT_EQ(LoadResourceString(IDS_FILTER_JOIN_AND), "and");
    EXPECT_EQ(LoadResourceString(IDS_FILTER_JOIN_OR), "or");
}

TEST_F(RecordFilterTest, EditingRows) {
    CRecordFilter filter;
    EXPECT_EQ(filter.GetRowCount(), 0);
    filter.RemoveLastRow();
    filter.RemoveRow(0);
    for (int i = 0; i < 7; ++i)
        filter.AddRow();
    EXPECT_EQ(filter.GetRowCount(), 5);
    EXPECT_EQ(RowsOf(filter)[4], (SRow{0, "", -9})) << "the last row has no join";

    filter.SetRow(0, 12, "a", FILTER_JOIN_OR);
    filter.SetRow(1, -4, "b", FILTER_JOIN_AND);
    filter.SetRow(2, 3, "c", FILTER_JOIN_OR);
    filter.SetRow(3, 7, "d", 5);
    filter.SetRow(4, 8, "e", FILTER_JOIN_OR);
    filter.SetRow(5, 1, "ignored", 0);
    EXPECT_EQ(
        RowsOf(filter),
        (std::vector<SRow>{{8, "a", 1}, {0, "b", 0}, {3, "c", 1}, {7, "d", 5}, {8, "e", -9}}));

    // Removing row 1: join 0 now links rows 0 and 2; the later joins move down.
    filter.RemoveRow(1);
    EXPECT_EQ(RowsOf(filter),
              (std::vector<SRow>{{8, "a", 1}, {3, "c", 1}, {7, "d", 5}, {8, "e", -9}}));
    filter.RemoveRow(0);
    EXPECT_EQ(RowsOf(filter), (std::vector<SRow>{{3, "c", 1}, {7, "d", 5}, {8, "e", -9}}));
    filter.RemoveRow(7);
    filter.RemoveLastRow();
    EXPECT_EQ(RowsOf(filter), (std::vector<SRow>{{3, "c", 1}, {7, "d", -9}}));

    // The dialog's "or" on the last row: a new row, joined by the pick.
    filter.AddRow();
    std::int32_t nType = 0;
    std::string strText;
    std::int32_t nJoin = 0;
    filter.GetRow(1, nType, strText, nJoin);
    filter.SetRow(1, nType, strText, FILTER_JOIN_OR);
    EXPECT_EQ(RowsOf(filter), (std::vector<SRow>{{3, "c", 1}, {7, "d", 1}, {0, "", -9}}));
}

TEST_F(RecordFilterTest, Comparison) {
    const CRecordFilter a = MakeFilter({{2, "x", 0}, {3, "y", 1}});
    EXPECT_TRUE(a.IsEqual(MakeFilter({{2, "x", 0}, {3, "y", 0}}))) << "last join not compared";
    EXPECT_FALSE(a.IsEqual(MakeFilter({{2, "x", 1}, {3, "y", 1}})));
    EXPECT_FALSE(a.IsEqual(MakeFilter({{2, "X", 0}, {3, "y", 1}})));
    EXPECT_FALSE(a.IsEqual(MakeFilter({{2, "x", 0}, {4, "y", 1}})));
    EXPECT_FALSE(a.IsEqual(MakeFilter({{2, "x", 0}})));
    EXPECT_TRUE(CRecordFilter().IsEqual(CRecordFilter()));
}

TEST_F(RecordFilterTest, RowTests) {
    struct SCase {
        std::int32_t m_nType;
        const char* m_pszRow;
        const char* m_pszText;
        const char* m_pszNote;
        const char* m_pszCategory;
        const char* m_pszLocation;
        bool m_bExpected;
    };
    const SCase cases[] = {
        {FILTER_TEXT_STARTS_WITH, "Meet", "meeting", "", "", "", true},
        {FILTER_TEXT_STARTS_WITH, "Meet", "MEET now", "", "", "", true},
        {FILTER_TEXT_STARTS_WITH, "Meet", "Me", "", "", "", false},
        {FILTER_TEXT_STARTS_WITH, "Meet", "a meeting", "", "", "", false},
        {FILTER_TEXT_ENDS_WITH, "now", "Meet NOW", "", "", "", true},
        {FILTER_TEXT_ENDS_WITH, "now", "nowhere", "", "", "", false},
        {FILTER_TEXT_CONTAINS, "ee", "Meeting", "", "", "", true},
        {FILTER_TEXT_CONTAINS, "ee", "Meting", "ee", "", "", false},
        {FILTER_NOTE_CONTAINS, "call", "", "Please CALL back", "", "", true},
        {FILTER_NOTE_CONTAINS, "call", "call", "", "", "", false},
        {FILTER_TEXT_NOT_CONTAINS, "x", "abc", "x", "", "", true},
        {FILTER_TEXT_NOT_CONTAINS, "x", "aXc", "", "", "", false},
        {FILTER_NOTE_NOT_CONTAINS, "x", "x", "abc", "", "", true},
        {FILTER_NOTE_NOT_CONTAINS, "x", "", "aXc", "", "", false},
        {FILTER_CATEGORY_IS, "business", "", "", "Business", "", true},
        {FILTER_CATEGORY_IS, "business", "", "", "Business trips", "", false},
        {FILTER_CATEGORY_IS_NOT, "business", "", "", "Personal", "", true},
        {FILTER_CATEGORY_IS_NOT, "business", "", "", "Business", "", false},
        {FILTER_LOCATION_IS, "Room 1", "", "", "", "room 1", true},
        {FILTER_LOCATION_IS, "Room 1", "", "", "", "", false},
        // An empty row text holds for every type, also the negated ones.
        {FILTER_TEXT_NOT_CONTAINS, "", "anything", "", "", "", true},
        {FILTER_CATEGORY_IS_NOT, "", "", "", "Business", "", true},
        {FILTER_LOCATION_IS, "", "", "", "", "Room", true},
        {9, "x", "x", "x", "x", "x", false},
        {-1, "x", "x", "x", "x", "x", false},
        {9, "", "", "", "", "", true},
        // Code page 1252: letters beyond ASCII.
        {FILTER_TEXT_CONTAINS, "\xC4RGER", "viel \xE4rger", "", "", "", true},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(CRecordFilter::MatchesRow(c.m_nType, c.m_pszRow, c.m_pszText, c.m_pszNote,
                                            c.m_pszCategory, c.m_pszLocation),
                  c.m_bExpected)
            << "type " << c.m_nType << " row '" << c.m_pszRow << "'";
        // The same row alone in a filter.
        if (c.m_nType >= 0 && c.m_nType <= 8) {
            EXPECT_EQ(MakeFilter({{c.m_nType, c.m_pszRow, 0}})
                          .Matches(c.m_pszText, c.m_pszNote, c.m_pszCategory, c.m_pszLocation),
                      c.m_bExpected)
                << "type " << c.m_nType << " row '" << c.m_pszRow << "'";
        }
    }
}

TEST_F(RecordFilterTest, MultibyteLowerCaseUnderUtf8) {
    SetCodePage(65001);
    EXPECT_TRUE(CRecordFilter::MatchesRow(FILTER_TEXT_STARTS_WITH, "\xC3\x84RGER",
                                          "\xC3\xA4rger im B\xC3\xBCro", "", "", ""));
    EXPECT_TRUE(CRecordFilter::MatchesRow(FILTER_CATEGORY_IS,
                                          "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91", "", "",
                                          "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1", ""));
    EXPECT_FALSE(CRecordFilter::MatchesRow(FILTER_TEXT_CONTAINS, "\xC3\x96", "Bro", "", "", ""));
}

TEST_F(RecordFilterTest, LeftToRightWithoutPrecedence) {
    // Rows: text contains a (row 1), b (row 2), c (row 3).
    auto eval = [](bool b1, std::int32_t j1, bool b2, std::int32_t j2, bool b3) {
        const CRecordFilter filter = MakeFilter({{2, "a", j1}, {2, "b", j2}, {2, "c", 0}});
        std::string text;
        if (b1)
            text += "a";
        if (b2)
            text += "b";
        if (b3)
            text += "c";
        return filter.Matches(text, "", "", "");
    };
    EXPECT_FALSE(eval(true, FILTER_JOIN_OR, false, FILTER_JOIN_AND, false));
    EXPECT_TRUE(eval(false, FILTER_JOIN_AND, true, FILTER_JOIN_OR, true));
    EXPECT_TRUE(eval(true, FILTER_JOIN_OR, false, FILTER_JOIN_OR, false));
    EXPECT_FALSE(eval(true, FILTER_JOIN_AND, false, FILTER_JOIN_OR, false));
    // Any join other than "or" is "and".
    EXPECT_FALSE(eval(true, 7, false, FILTER_JOIN_OR, false));
    EXPECT_FALSE(eval(true, FILTER_JOIN_NONE, false, FILTER_JOIN_OR, false));

    EXPECT_TRUE(CRecordFilter().Matches("", "", "", ""));
    // A first row that fails is not rescued by an "or" before it.
    EXPECT_FALSE(MakeFilter({{2, "zzz", 1}}).Matches("a", "", "", ""));
}

TEST_F(RecordFilterTest, RegistryRoundTripAndStoredForms) {
    const CRecordFilter saved =
        MakeFilter({{0, "Meet", 1}, {6, "Gesch\xE4\x66tlich", 0}, {5, "", 1}});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "filtercount", -1), 3);
    EXPECT_EQ(ReadRegDword(kKey, "filterop1", -1), 0);
    EXPECT_EQ(ReadRegDword(kKey, "filterop2", -1), -1) << "no join after the last row";
    EXPECT_EQ(ReadRegString(kKey, "filtertext1", "?"), "Gesch\xE4\x66tlich");

    CRecordFilter loaded = MakeFilter({{4, "old", 1}, {4, "old", 1}, {4, "old", 1}, {4, "", 1}});
    loaded.Load(kKey);
    EXPECT_TRUE(loaded.IsEqual(saved));
    EXPECT_EQ(RowsOf(loaded), RowsOf(saved));

    // Counts above 5 load five rows; bad types load as 0; missing values as defaults.
    WriteRegDword(kKey, "filtercount", 9);
    WriteRegDword(kKey, "filtertype0", 12);
    WriteRegDword(kKey, "filtertype1", -1);
    loaded.Load(kKey);
    EXPECT_EQ(
        RowsOf(loaded),
        (std::vector<SRow>{
            {0, "Meet", 1}, {0, "Gesch\xE4\x66tlich", 0}, {5, "", 0}, {0, "", 0}, {0, "", -9}}));

    WriteRegDword(kKey, "filtercount", -2);
    loaded.Load(kKey);
    EXPECT_EQ(loaded.GetRowCount(), 0);
    loaded.Load("Software\\Brenmark\\VARNO\\NoSuchKey");
    EXPECT_EQ(loaded.GetRowCount(), 0);
}

} // namespace
