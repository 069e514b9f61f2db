#include "model/RepeatDays.h"

#include "platform/locale/LocalTime.h"

#include <algorithm>
#include <array>

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t FloorMod(std::int64_t a, std::int64_t b) {
    return a - FloorDiv(a, b) * b;
}

struct CCivil {
    int m_nYear = 1970;
    int m_nMonth = 1;
    int m_nDay = 1;
};

CCivil CivilOf(std::int64_t nDays) {
    CCivil c;
    CivilFromDays(nDays, c.m_nYear, c.m_nMonth, c.m_nDay);
    return c;
}

// Weeks that begin on Sunday, counted from the week of 1970-01-04.
std::int64_t SundayWeek(std::int64_t nDays) {
    return FloorDiv(nDays - 3, 7);
}

} // namespace

std::int64_t LastDatebookDay() {
    return DaysFromCivil(2031, 12, 31);
}

int DaysInMonth(int nYear, int nMonth) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    return nMonth == 2 && bLeap ? 29 : kDays[static_cast<std::size_t>(nMonth - 1)];
}

int WeekdayOfDays(std::int64_t nDays) {
    // 1970-01-01 was a Thursday.
    return static_cast<int>(FloorMod(nDays + 4, 7));
}

std::int64_t NthWeekdayOfMonth(int nYear, int nMonth, int nWeekday, int nIndex) {
    if (nIndex == 5) {
        const std::int64_t last = DaysFromCivil(nYear, nMonth, DaysInMonth(nYear, nMonth));
        return last - FloorMod(WeekdayOfDays(last) - nWeekday, 7);
    }
    const std::int64_t first = DaysFromCivil(nYear, nMonth, 1);
    return first + FloorMod(nWeekday - WeekdayOfDays(first), 7) + 7 * (nIndex - 1);
}

bool IsRepeatPatternDay(const CRepeatRule& rule, std::int64_t nStartDay, std::int64_t nDay) {
    if (nDay < nStartDay)
        return false;
    const std::int64_t n = rule.m_nInterval < 1 ? 1 : rule.m_nInterval;
    const CCivil start = CivilOf(nStartDay);
    const CCivil day = CivilOf(nDay);
    const std::int64_t nMonths =
        (day.m_nYear - start.m_nYear) * 12 + (day.m_nMonth - start.m_nMonth);
    switch (rule.m_nType) {
    case REPEAT_DAILY:
        return (nDay - nStartDay) % n == 0;
    case REPEAT_WEEKLY:
        return (rule.m_byWeekdays & (1 << WeekdayOfDays(nDay))) != 0 &&
               (SundayWeek(nDay) - SundayWeek(nStartDay)) % n == 0;
    case REPEAT_MONTHLY_BY_DAY:
        return rule.m_nWeekIndex >= 1 && rule.m_nWeekIndex <= 5 && nMonths % n == 0 &&
               nDay == NthWeekdayOfMonth(day.m_nYear, day.m_nMonth, WeekdayOfDays(nStartDay),
                                         rule.m_nWeekIndex);
    case REPEAT_MONTHLY_BY_DATE:
        return nMonths % n == 0 &&
               day.m_nDay == std::min(start.m_nDay, DaysInMonth(day.m_nYear, day.m_nMonth));
    case REPEAT_YEARLY:
        return (day.m_nYear - start.m_nYear) % n == 0 && day.m_nMonth == start.m_nMonth &&
               day.m_nDay == std::min(start.m_nDay, DaysInMonth(day.m_nYear, day.m_nMonth));
    default:
        return false;
    }
}

std::vector<std::int64_t> RepeatPatternDays(const CRepeatRule& rule, std::int64_t nStartDay,
                                            std::int64_t nLastDay) {
    std::vector<std::int64_t> out;
    for (std::int64_t d = nStartDay; d <= nLastDay; ++d) {
        if (IsRepeatPatternDay(rule, nStartDay, d))
            out.push_back(d);
    }
    return out;
}
