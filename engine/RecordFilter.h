// The filter rows of the main dialog and the test whether one appointment passes them.
// Up to five rows, each a test on the appointment's text, note, category or location,
// joined left to right by "and" or "or" without precedence. No rows: everything passes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Row types, in the order of a row's type box; the display text of type t is
// string-table entry 32876 + t.
enum EFilterType : std::int32_t {
    FILTER_TEXT_STARTS_WITH = 0,
    FILTER_TEXT_ENDS_WITH = 1,
    FILTER_TEXT_CONTAINS = 2,
    FILTER_NOTE_CONTAINS = 3,
    FILTER_TEXT_NOT_CONTAINS = 4,
    FILTER_NOTE_NOT_CONTAINS = 5,
    FILTER_CATEGORY_IS = 6,
    FILTER_CATEGORY_IS_NOT = 7,
    FILTER_LOCATION_IS = 8,
};

// Joins between a row and the next: the operator box's index minus one. Any stored value
// other than FILTER_JOIN_OR is evaluated as "and".
enum EFilterJoin : std::int32_t {
    FILTER_JOIN_NONE = -1,
    FILTER_JOIN_AND = 0,
    FILTER_JOIN_OR = 1,
};

inline constexpr int kMaxFilterRows = 5;

class CRecordFilter {
public:
    CRecordFilter() = default;
    virtual ~CRecordFilter();
    CRecordFilter(const CRecordFilter&) = default;
    CRecordFilter& operator=(const CRecordFilter&) = default;

    [[nodiscard]] int GetRowCount() const { return static_cast<int>(m_vecTypes.size()); }
    // Appends a row of type 0 with an empty text, unless five rows exist.
    void AddRow();
    // Drops the last row; the joins are untouched.
    void RemoveLastRow();
    // Drops row nRow; the joins of the later rows move down by one, and the join before
    // the removed row now links to the row after it.
    void RemoveRow(int nRow);
    // Stores the type (clamped into 0..8) and text of an existing row, and the join to
    // the next row when that row exists.
    void SetRow(int nRow, std::int32_t nType, const std::string& strText, std::int32_t nJoin);
    // Gives the type and text of an existing row, and its join when a next row exists
    // (nJoin is left alone otherwise).
    void GetRow(int nRow, std::int32_t& nType, std::string& strText, std::int32_t& nJoin) const;

    // Same rows, types, texts (byte for byte) and joins between existing rows.
    [[nodiscard]] bool IsEqual(const CRecordFilter& other) const;

    // "filtercount", then per row "filtertype%d", "filtertext%d" and, for a row with a
    // following row, "filterop%d".
    void Load(const std::string& strKeyPath);
    void Save(const std::string& strKeyPath) const;

    // The rows evaluated left to right for one appointment's strings.
    [[nodiscard]] bool Matches(std::string strText, std::string strNote, std::string strCategory,
                               std::string strLocation) const;
    // The test of one row, ignoring case (system code page). An empty row text holds.
    [[nodiscard]] static bool MatchesRow(std::int32_t nType, const std::string& strRowText,
                                         const std::string& strText, const std::string& strNote,
                                         const std::string& strCategory,
                                         const std::string& strLocation);

private:
    std::vector<std::int32_t> m_vecTypes;
    std::vector<std::string> m_vecTexts;
    // Join i links row i and row i + 1.
    std::array<std::int32_t, kMaxFilterRows - 1> m_anJoins{};
};
