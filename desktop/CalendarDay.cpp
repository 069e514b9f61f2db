#include "desktop/CalendarDay.h"

#include "platform/locale/LocalTime.h"

#include <cstdio>
#include <limits>

namespace desktop {

int LocalDayOf(HOSTTIME t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local)) {
        // Every 32-bit time value breaks down with a 64-bit time_t; keep a sane answer anyway.
        return FloorDiv(t, 86400);
    }
    return DayFromDate(local.m_nYear, local.m_nMonth, local.m_nDay);
}

std::optional<HOSTTIME> LocalMidnightOf(int nDay) {
    const CCivilDate date = DateFromDay(nDay);
    const std::optional<std::int64_t> t = MakeLocalTime(date.m_nYear, date.m_nMonth, date.m_nDay);
    if (!t || *t < std::numeric_limits<HOSTTIME>::min() ||
        *t > std::numeric_limits<HOSTTIME>::max())
        return std::nullopt;
    return static_cast<HOSTTIME>(*t);
}

std::string FormatIsoDay(int nDay) {
    const CCivilDate date = DateFromDay(nDay);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.m_nYear, date.m_nMonth,
                  date.m_nDay);
    return buffer;
}

std::optional<int> ParseIsoDay(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    auto number = [&](std::size_t nFrom, std::size_t nCount) -> int {
        int n = 0;
        for (std::size_t i = nFrom; i < nFrom + nCount; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            n = n * 10 + (text[i] - '0');
        }
        return n;
    };
    const int nYear = number(0, 4);
    const int nMonth = number(5, 2);
    const int nDay = number(8, 2);
    if (nYear < 1 || nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > DaysInMonth(nYear, nMonth))
        return std::nullopt;
    return DayFromDate(nYear, nMonth, nDay);
}

} // namespace desktop
