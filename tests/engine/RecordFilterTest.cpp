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
    bool operator==(const SRow&) const = default;
};

void PrintTo(const SRow& row, std::ostream* os) {
    *os << "{" << row.m_nType << ", \"" << row.m_strText << "\", " << row.m_nJoin << "}";
}

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

TEST_F(RecordFilterTest, DisplayTexts) {
    EXPECT_EQ(LoadResourceString(unsigned{IDS_FILTER_TYPE_BASE} + FILTER_TEXT_STARTS_WITH),
              "text starts with");
    EXPECT_EQ(LoadResourceString(unsigned{IDS_FILTER_TYPE_BASE} + FILTER_LOCATION_IS),
              "location is");
    EXPECT_EQ(LoadResourceString(IDS_FILTER_JOIN_OR), "or");
}

TEST_F(RecordFilterTest, EditingRows) {
    CRecordFilter filter;
    filter.RemoveLastRow();
    filter.RemoveRow(0);
    for (int i = 0; i < 7; ++i)
        filter.AddRow();
    EXPECT_EQ(filter.GetRowCount(), 5);
    EXPECT_EQ(RowsOf(filter)[4], (SRow{0, "", -9})) << "the last row has no join";

    // Types are held to 0..8; joins are taken as given.
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
    filter.RemoveRow(7);
    filter.RemoveLastRow();
    EXPECT_EQ(RowsOf(filter), (std::vector<SRow>{{3, "c", 1}, {7, "d", -9}}));

    // The dialog's "or" on the last row: a new row, joined by the pick.
    filter.AddRow();
    filter.SetRow(1, 7, "d", FILTER_JOIN_OR);
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
        SCOPED_TRACE("type " + std::to_string(c.m_nType) + " row '" + c.m_pszRow + "'");
        EXPECT_EQ(CRecordFilter::MatchesRow(c.m_nType, c.m_pszRow, c.m_pszText, c.m_pszNote,
                                            c.m_pszCategory, c.m_pszLocation),
                  c.m_bExpected);
        // The same row alone in a filter.
        if (c.m_nType >= 0 && c.m_nType <= 8) {
            EXPECT_EQ(MakeFilter({{c.m_nType, c.m_pszRow, 0}})
                          .Matches(c.m_pszText, c.m_pszNote, c.m_pszCategory, c.m_pszLocation),
                      c.m_bExpected);
        }
    }
    // Under UTF-8, letters of several bytes.
    SetCodePage(65001);
    EXPECT_TRUE(CRecordFilter::MatchesRow(FILTER_TEXT_STARTS_WITH, "\xC3\x84RGER",
                                          "\xC3\xA4rger im B\xC3\xBCro", "", "", ""));
    EXPECT_TRUE(CRecordFilter::MatchesRow(FILTER_CATEGORY_IS, "ΣΟΦΙΑ", "", "", "σοφια", ""));
    EXPECT_FALSE(CRecordFilter::MatchesRow(FILTER_TEXT_CONTAINS, "\xC3\x96", "Bro", "", "", ""));
}

TEST_F(RecordFilterTest, LeftToRightWithoutPrecedence) {
    // Three rows, text contains "a", "b" and "c", joined by the first two joins.
    struct SCase {
        const char* m_pszText;
        std::int32_t m_nJoin1, m_nJoin2;
        bool m_bExpected;
    };
    const SCase cases[] = {
        {"a", FILTER_JOIN_OR, FILTER_JOIN_AND, false},  // (a or b) and c
        {"bc", FILTER_JOIN_AND, FILTER_JOIN_OR, true},  // (a and b) or c
        {"a", FILTER_JOIN_OR, FILTER_JOIN_OR, true},    //
        {"a", FILTER_JOIN_AND, FILTER_JOIN_OR, false},  //
        {"a", 7, FILTER_JOIN_OR, false},                // any join but "or" is "and"
        {"a", FILTER_JOIN_NONE, FILTER_JOIN_OR, false}, //
    };
    for (const SCase& c : cases) {
        const CRecordFilter filter =
            MakeFilter({{2, "a", c.m_nJoin1}, {2, "b", c.m_nJoin2}, {2, "c", 0}});
        EXPECT_EQ(filter.Matches(c.m_pszText, "", "", ""), c.m_bExpected)
            << c.m_pszText << " " << c.m_nJoin1 << " " << c.m_nJoin2;
    }
    EXPECT_TRUE(CRecordFilter().Matches("", "", "", ""));
    // A first row that fails is not rescued by an "or" after it.
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
