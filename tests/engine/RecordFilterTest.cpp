// Filter rows: editing, evaluation left to right, case-insensitive tests in the system
// code page, and the registry form.
#include "engine/RecordFilter.h"

#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

const char* const kKey = "Software\\Brenmark\\VARNO\\FilterTest";

class RecordFilterTest : public CVarnoTest {};

CRecordFilter
MakeFilter(const std::vector<std::tuple<std::int32_t, std::string, std::int32_t>>& rows) {
    CRecordFilter filter;
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.AddRow();
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.SetRow(static_cast<int>(i), std::get<0>(rows[i]), std::get<1>(rows[i]),
                      std::get<2>(rows[i]));
    return filter;
}

// The rows as "type text join" separated by "|"; a missing join shows as -9.
std::string RowsOf(const CRecordFilter& filter) {
    std::string out;
    for (int i = 0; i < filter.GetRowCount(); ++i) {
        std::int32_t nType = -9, nJoin = -9;
        std::string text;
        filter.GetRow(i, nType, text, nJoin);
        out += (i ? "|" : "") + std::to_string(nType) + " " + text + " " + std::to_string(nJoin);
    }
    return out;
}

TEST_F(RecordFilterTest, EditingRows) {
    CRecordFilter filter;
    filter.RemoveLastRow();
    filter.RemoveRow(0);
    for (int i = 0; i < 7; ++i)
        filter.AddRow();
    // Five rows at most; types are held to 0..8, joins taken as given; the last row has none.
    const std::int32_t types[] = {12, -4, 3, 7, 8, 1};
    const std::int32_t joins[] = {1, 0, 1, 5, 1, 0};
    for (int i = 0; i < 6; ++i)
        filter.SetRow(i, types[i], std::string(1, static_cast<char>('a' + i)), joins[i]);
    EXPECT_EQ(RowsOf(filter), "8 a 1|0 b 0|3 c 1|7 d 5|8 e -9");
    // Removing row 1: join 0 now links rows 0 and 2; the later joins move down.
    filter.RemoveRow(1);
    EXPECT_EQ(RowsOf(filter), "8 a 1|3 c 1|7 d 5|8 e -9");
    filter.RemoveRow(0);
    filter.RemoveRow(7);
    filter.RemoveLastRow();
    // The dialog's "or" on the last row: a new row, joined by the pick.
    filter.AddRow();
    filter.SetRow(1, 7, "d", FILTER_JOIN_OR);
    EXPECT_EQ(RowsOf(filter), "3 c 1|7 d 1|0  -9");

    EXPECT_TRUE(
        MakeFilter({{2, "x", 0}, {3, "y", 1}}).IsEqual(MakeFilter({{2, "x", 0}, {3, "y", 0}})))
        << "the last join is not compared";
    EXPECT_FALSE(MakeFilter({{2, "x", 0}}).IsEqual(MakeFilter({{2, "X", 0}})));
    EXPECT_FALSE(MakeFilter({{2, "x", 0}}).IsEqual(MakeFilter({{2, "x", 0}, {2, "x", 0}})));
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
    // An empty row text holds for every type, also the negated ones; types outside 0..8 hold
    // for nothing else. Letters beyond ASCII in code page 1252.
    const SCase cases[] = {
        {FILTER_TEXT_STARTS_WITH, "Meet", "MEETing", "", "", "", true},
        {FILTER_TEXT_STARTS_WITH, "Meet", "Me", "", "", "", false},
        {FILTER_TEXT_ENDS_WITH, "now", "Meet NOW", "", "", "", true},
        {FILTER_TEXT_ENDS_WITH, "now", "nowhere", "", "", "", false},
        {FILTER_TEXT_CONTAINS, "ee", "Meting", "ee", "", "", false},
        {FILTER_NOTE_CONTAINS, "call", "", "Please CALL back", "", "", true},
        {FILTER_TEXT_NOT_CONTAINS, "x", "aXc", "", "", "", false},
        {FILTER_NOTE_NOT_CONTAINS, "x", "x", "abc", "", "", true},
        {FILTER_CATEGORY_IS, "business", "", "", "Business trips", "", false},
        {FILTER_CATEGORY_IS_NOT, "business", "", "", "Personal", "", true},
        {FILTER_LOCATION_IS, "Room 1", "", "", "", "room 1", true},
        {FILTER_CATEGORY_IS_NOT, "", "", "", "Business", "", true},
        {9, "x", "x", "x", "x", "x", false},
        {-1, "x", "x", "x", "x", "x", false},
        {9, "", "", "", "", "", true},
        {FILTER_TEXT_CONTAINS, "\xC4RGER", "viel \xE4rger", "", "", "", true},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(CRecordFilter::MatchesRow(c.m_nType, c.m_pszRow, c.m_pszText, c.m_pszNote,
                                            c.m_pszCategory, c.m_pszLocation),
                  c.m_bExpected)
            << "type " << c.m_nType << " row '" << c.m_pszRow << "'";
    }
    // Under UTF-8, letters of several bytes.
    SetCodePage(65001);
    EXPECT_TRUE(
        CRecordFilter::MatchesRow(FILTER_TEXT_STARTS_WITH, "ÄRGER", "ärger im Büro", "", "", ""));
    EXPECT_TRUE(CRecordFilter::MatchesRow(FILTER_CATEGORY_IS, "ΣΟΦΙΑ", "", "", "σοφια", ""));
    EXPECT_FALSE(CRecordFilter::MatchesRow(FILTER_TEXT_CONTAINS, "Ö", "Bro", "", "", ""));
}

// Three rows, text contains "a", "b" and "c", joined by the first two joins: "a" fails
// (a or b) and c; "bc" passes (a and b) or c; any join but "or" is "and"; a first row that
// fails is not rescued by an "or" after it.
TEST_F(RecordFilterTest, LeftToRightWithoutPrecedence) {
    const std::tuple<const char*, std::int32_t, std::int32_t, bool> cases[] = {
        {"a", FILTER_JOIN_OR, FILTER_JOIN_AND, false},
        {"bc", FILTER_JOIN_AND, FILTER_JOIN_OR, true},
        {"a", FILTER_JOIN_OR, FILTER_JOIN_OR, true},
        {"a", 7, FILTER_JOIN_OR, false},
        {"a", FILTER_JOIN_NONE, FILTER_JOIN_OR, false}};
    for (const auto& [pszText, nJoin1, nJoin2, bExpected] : cases) {
        EXPECT_EQ(MakeFilter({{2, "a", nJoin1}, {2, "b", nJoin2}, {2, "c", 0}})
                      .Matches(pszText, "", "", ""),
                  bExpected)
            << pszText << " " << nJoin1 << " " << nJoin2;
    }
    EXPECT_TRUE(CRecordFilter().Matches("", "", "", ""));
    EXPECT_FALSE(MakeFilter({{2, "zzz", 1}}).Matches("a", "", "", ""));
}

TEST_F(RecordFilterTest, RegistryRoundTripAndStoredForms) {
    const CRecordFilter saved =
        MakeFilter({{0, "Meet", 1}, {6, "Gesch\xE4\x66tlich", 0}, {5, "", 1}});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "filterop2", -1), -1) << "no join after the last row";
    CRecordFilter loaded = MakeFilter({{4, "old", 1}, {4, "old", 1}, {4, "old", 1}, {4, "", 1}});
    loaded.Load(kKey);
    EXPECT_EQ(RowsOf(loaded), RowsOf(saved));

    // Counts above 5 load five rows; bad types load as 0; missing values as defaults.
    WriteRegDword(kKey, "filtercount", 9);
    WriteRegDword(kKey, "filtertype0", 12);
    WriteRegDword(kKey, "filtertype1", -1);
    loaded.Load(kKey);
    EXPECT_EQ(RowsOf(loaded), "0 Meet 1|0 Gesch\xE4\x66tlich 0|5  0|0  0|0  -9");
    WriteRegDword(kKey, "filtercount", -2);
    loaded.Load(kKey);
    EXPECT_EQ(loaded.GetRowCount(), 0);
}

} // namespace
