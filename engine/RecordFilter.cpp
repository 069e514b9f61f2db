#include "engine/RecordFilter.h"

#include "platform/locale/CodePage.h"
#include "settings/RegistryValues.h"

#include <algorithm>

namespace {

constexpr std::int32_t kLastType = FILTER_LOCATION_IS;

// Lower-cased strings of one appointment.
struct SLowered {
    std::string m_strText;
    std::string m_strNote;
    std::string m_strCategory;
    std::string m_strLocation;
};

// The test of one row on strings already lower-cased.
bool TestRow(std::int32_t nType, const std::string& strRow, const SLowered& appt) {
    switch (nType) {
    case FILTER_TEXT_STARTS_WITH:
        return appt.m_strText.starts_with(strRow);
    case FILTER_TEXT_ENDS_WITH:
        return appt.m_strText.ends_with(strRow);
    case FILTER_TEXT_CONTAINS:
        return appt.m_strText.find(strRow) != std::string::npos;
    case FILTER_NOTE_CONTAINS:
        return appt.m_strNote.find(strRow) != std::string::npos;
    case FILTER_TEXT_NOT_CONTAINS:
        return appt.m_strText.find(strRow) == std::string::npos;
    case FILTER_NOTE_NOT_CONTAINS:
        return appt.m_strNote.find(strRow) == std::string::npos;
    case FILTER_CATEGORY_IS:
        return appt.m_strCategory == strRow;
    case FILTER_CATEGORY_IS_NOT:
        return appt.m_strCategory != strRow;
    case FILTER_LOCATION_IS:
        return appt.m_strLocation == strRow;
    default:
        return false;
    }
}

std::string IndexedName(const char* pszPrefix, int nIndex) {
    return pszPrefix + std::to_string(nIndex);
}

} // namespace

CRecordFilter::~CRecordFilter() = default;

void CRecordFilter::AddRow() {
    if (GetRowCount() >= kMaxFilterRows)
        return;
    m_vecTypes.push_back(FILTER_TEXT_STARTS_WITH);
    m_vecTexts.emplace_back();
}

void CRecordFilter::RemoveLastRow() {
    if (m_vecTypes.empty())
        return;
    m_vecTypes.pop_back();
    m_vecTexts.pop_back();
}

void CRecordFilter::RemoveRow(int nRow) {
    if (nRow < 0 || nRow >= GetRowCount())
        return;
    m_vecTypes.erase(m_vecTypes.begin() + nRow);
    m_vecTexts.erase(m_vecTexts.begin() + nRow);
    for (int j = nRow; j <= GetRowCount() - 2; ++j)
        m_anJoins[static_cast<std::size_t>(j)] = m_anJoins[static_cast<std::size_t>(j) + 1];
}

void CRecordFilter::SetRow(int nRow, std::int32_t nType, const std::string& strText,
                           std::int32_t nJoin) {
    if (nRow < 0 || nRow >= GetRowCount())
        return;
    const auto i = static_cast<std::size_t>(nRow);
    m_vecTypes[i] = std::clamp<std::int32_t>(nType, 0, kLastType);
    m_vecTexts[i] = strText;
    if (nRow + 1 < GetRowCount())
        m_anJoins[i] = nJoin;
}

void CRecordFilter::GetRow(int nRow, std::int32_t& nType, std::string& strText,
                           std::int32_t& nJoin) const {
    if (nRow < 0 || nRow >= GetRowCount())
        return;
    const auto i = static_cast<std::size_t>(nRow);
    nType = m_vecTypes[i];
    strText = m_vecTexts[i];
    if (nRow + 1 < GetRowCount())
        nJoin = m_anJoins[i];
}

bool CRecordFilter::IsEqual(const CRecordFilter& other) const {
    if (m_vecTypes != other.m_vecTypes || m_vecTexts != other.m_vecTexts)
        return false;
    for (int i = 0; i + 1 < GetRowCount(); ++i) {
        if (m_anJoins[static_cast<std::size_t>(i)] != other.m_anJoins[static_cast<std::size_t>(i)])
            return false;
    }
    return true;
}

void CRecordFilter::Load(const std::string& strKeyPath) {
    m_vecTypes.clear();
    m_vecTexts.clear();
    const int nCount =
        std::min<std::int32_t>(ReadRegDword(strKeyPath, "filtercount", 0), kMaxFilterRows);
    for (int i = 0; i < nCount; ++i) {
        std::int32_t nType = ReadRegDword(strKeyPath, IndexedName("filtertype", i), 0);
        if (nType < 0 || nType > kLastType)
            nType = FILTER_TEXT_STARTS_WITH;
        m_vecTypes.push_back(nType);
        m_vecTexts.push_back(ReadRegString(strKeyPath, IndexedName("filtertext", i), ""));
        if (i + 1 < nCount)
            m_anJoins[static_cast<std::size_t>(i)] =
                ReadRegDword(strKeyPath, IndexedName("filterop", i), FILTER_JOIN_AND);
    }
}

void CRecordFilter::Save(const std::string& strKeyPath) const {
    WriteRegDword(strKeyPath, "filtercount", GetRowCount());
    for (int i = 0; i < GetRowCount(); ++i) {
        const auto n = static_cast<std::size_t>(i);
        WriteRegDword(strKeyPath, IndexedName("filtertype", i), m_vecTypes[n]);
        WriteRegString(strKeyPath, IndexedName("filtertext", i), m_vecTexts[n]);
        if (i + 1 < GetRowCount())
            WriteRegDword(strKeyPath, IndexedName("filterop", i), m_anJoins[n]);
    }
}

bool CRecordFilter::Matches(std::string strText, std::string strNote, std::string strCategory,
                            std::string strLocation) const {
    if (m_vecTypes.empty())
        return true;
    const unsigned nCodePage = GetSystemCodePage();
    const SLowered appt{LowerCase(strText, nCodePage), LowerCase(strNote, nCodePage),
                        LowerCase(strCategory, nCodePage), LowerCase(strLocation, nCodePage)};
    bool bResult = true;
    std::int32_t nPendingJoin = FILTER_JOIN_AND;
    for (int i = 0; i < GetRowCount(); ++i) {
        const auto n = static_cast<std::size_t>(i);
        const std::string& strRow = m_vecTexts[n];
        const bool bMatch =
            strRow.empty() || TestRow(m_vecTypes[n], LowerCase(strRow, nCodePage), appt);
        bResult = nPendingJoin == FILTER_JOIN_OR ? (bResult || bMatch) : (bResult && bMatch);
        if (i + 1 < GetRowCount())
            nPendingJoin = m_anJoins[n];
    }
    return bResult;
}

bool CRecordFilter::MatchesRow(std::int32_t nType, const std::string& strRowText,
                               const std::string& strText, const std::string& strNote,
                               const std::string& strCategory, const std::string& strLocation) {
    if (strRowText.empty())
        return true;
    const unsigned nCodePage = GetSystemCodePage();
    const SLowered appt{LowerCase(strText, nCodePage), LowerCase(strNote, nCodePage),
                        LowerCase(strCategory, nCodePage), LowerCase(strLocation, nCodePage)};
    return TestRow(nType, LowerCase(strRowText, nCodePage), appt);
}
