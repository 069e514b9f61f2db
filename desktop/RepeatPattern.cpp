#include "desktop/RepeatPattern.h"

#include "desktop/CalendarDay.h"

#include <algorithm>

using namespace desktop;

namespace {

// Weeks counted from the Sunday 1970-01-04.
int WeekOfDay(int nDay) {
    return FloorDiv(nDay - 3, 7);
}
int FirstDayOfWeek(int nWeek) {
    return nWeek * 7 + 3;
}

// Months counted from January of year 0.
int MonthIndexOf(const CCivilDate& date) {
    return date.m_nYear * 12 + date.m_nMonth - 1;
}

// The smallest value >= n that is congruent to nBase modulo nStep.
int AlignUp(int n, int nBase, int nStep) {
    const int r = FloorMod(n - nBase, nStep);
    return r == 0 ? n : n + (nStep - r);
}

} // namespace

CRepeatPattern::CRepeatPattern(int nStartDay) : m_nStartDay(nStartDay), m_nLastDay(nStartDay) {}

CRepeatPattern::CRepeatPattern(int nStartDay, int nType, int nInterval, int nExtra, int nEndDay,
                               std::vector<int> vecExceptionDays)
    : m_nStartDay(nStartDay), m_nType(nType), m_nInterval(nInterval < 1 ? 1 : nInterval),
      m_nExtra(nExtra), m_nLastDay(std::min(nEndDay, kLastDatebookDay)),
      m_vecExceptionDays(std::move(vecExceptionDays)) {
    if (m_nType < HOST_REPEAT_DAILY || m_nType > HOST_REPEAT_YEARLY) {
        m_nType = HOST_REPEAT_NONE;
        m_nLastDay = nStartDay;
    }
    const CCivilDate start = DateFromDay(nStartDay);
    m_nStartYear = start.m_nYear;
    m_nStartMonth = start.m_nMonth;
    m_nStartDayOfMonth = start.m_nDay;
    m_nStartWeekday = WeekdayOfDay(nStartDay);
    std::sort(m_vecExceptionDays.begin(), m_vecExceptionDays.end());
    m_vecExceptionDays.erase(std::unique(m_vecExceptionDays.begin(), m_vecExceptionDays.end()),
                             m_vecExceptionDays.end());
}

bool CRepeatPattern::IsException(int nDay) const {
    return m_nType != HOST_REPEAT_NONE &&
           std::binary_search(m_vecExceptionDays.begin(), m_vecExceptionDays.end(), nDay);
}

std::optional<int> CRepeatPattern::FindFirst(int nFromDay, int nToDay) const {
    int nDay = std::max(nFromDay, m_nStartDay);
    const int nLimit = std::min(nToDay, m_nLastDay);
    while (nDay <= nLimit) {
        const std::optional<int> next = NextRuleDay(nDay, nLimit);
        if (!next || *next > nLimit)
            return std::nullopt;
        if (!IsException(*next))
            return next;
        nDay = *next + 1;
    }
    return std::nullopt;
}

bool CRepeatPattern::IsOccurrence(int nDay) const {
    const std::optional<int> found = FindFirst(nDay, nDay);
    return found.has_value();
}

int CRepeatPattern::MonthlyDay(int nMonthIndex) const {
    const int nYear = FloorDiv(nMonthIndex, 12);
    const int nMonth = FloorMod(nMonthIndex, 12) + 1;
    const int nLength = DaysInMonth(nYear, nMonth);
    const int nFirst = DayFromDate(nYear, nMonth, 1);
    if (m_nType == HOST_REPEAT_MONTHLY_BY_DATE)
        return nFirst + std::min(m_nStartDayOfMonth, nLength) - 1;
    if (m_nExtra >= 5) {
        const int nLast = nFirst + nLength - 1;
        return nLast - FloorMod(WeekdayOfDay(nLast) - m_nStartWeekday, 7);
    }
    return nFirst + FloorMod(m_nStartWeekday - WeekdayOfDay(nFirst), 7) + (m_nExtra - 1) * 7;
}

int CRepeatPattern::YearlyDay(int nYear) const {
    return DayFromDate(nYear, m_nStartMonth,
                       std::min(m_nStartDayOfMonth, DaysInMonth(nYear, m_nStartMonth)));
}

std::optional<int> CRepeatPattern::NextRuleDay(int nDay, int nLimit) const {
    switch (m_nType) {
    case HOST_REPEAT_NONE:
        return nDay == m_nStartDay ? std::optional<int>(nDay) : std::nullopt;

    case HOST_REPEAT_DAILY:
        return AlignUp(nDay, m_nStartDay, m_nInterval);

    case HOST_REPEAT_WEEKLY: {
        const int nWeekdays = m_nExtra & 0x7F;
        if (nWeekdays == 0)
            return std::nullopt;
        const int nStartWeek = WeekOfDay(m_nStartDay);
        while (nDay <= nLimit) {
            const int nWeek = WeekOfDay(nDay);
            const int nRuleWeek = AlignUp(nWeek, nStartWeek, m_nInterval);
            if (nRuleWeek != nWeek) {
                nDay = FirstDayOfWeek(nRuleWeek);
                continue;
            }
            for (int d = nDay; d < FirstDayOfWeek(nWeek + 1); ++d)
                if (nWeekdays & (1 << WeekdayOfDay(d)))
                    return d;
            nDay = FirstDayOfWeek(nWeek + m_nInterval);
        }
        return std::nullopt;
    }

    case HOST_REPEAT_MONTHLY_BY_DAY:
    case HOST_REPEAT_MONTHLY_BY_DATE: {
        const int nStartMonth = m_nStartYear * 12 + m_nStartMonth - 1;
        int nMonth = AlignUp(MonthIndexOf(DateFromDay(nDay)), nStartMonth, m_nInterval);
        for (;;) {
            const int nCandidate = MonthlyDay(nMonth);
            // Only the month of nDay can give a day before it.
            if (nCandidate >= nDay)
                return nCandidate;
            nMonth += m_nInterval;
        }
    }

    case HOST_REPEAT_YEARLY: {
        int nYear = AlignUp(DateFromDay(nDay).m_nYear, m_nStartYear, m_nInterval);
        for (;;) {
            const int nCandidate = YearlyDay(nYear);
            if (nCandidate >= nDay)
                return nCandidate;
            nYear += m_nInterval;
        }
    }

    default:
        return std::nullopt;
    }
}
