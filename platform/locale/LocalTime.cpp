#include "platform/locale/LocalTime.h"

#include "platform/locale/SettingsHold.h"

#include <atomic>
#include <ctime>
#include <limits>
#include <vector>

namespace {

void FromTm(const std::tm& tm, CLocalTime& out) {
    out.m_nYear = tm.tm_year + 1900;
    out.m_nMonth = tm.tm_mon + 1;
    out.m_nDay = tm.tm_mday;
    out.m_nHour = tm.tm_hour;
    out.m_nMinute = tm.tm_min;
    out.m_nSecond = tm.tm_sec;
    out.m_nDayOfWeek = tm.tm_wday;
    out.m_bDaylight = tm.tm_isdst > 0;
}

bool FitsTimeT(std::int64_t t) {
    return t >= std::numeric_limits<std::time_t>::min() &&
           t <= std::numeric_limits<std::time_t>::max();
}

std::optional<std::int64_t> MakeTime(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                     int nSecond, int nDst) {
    // tm_year counts from 1900; keep the subtraction from overflowing.
    if (nYear < std::numeric_limits<int>::min() + 1900)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = nYear - 1900;
    tm.tm_mon = nMonth - 1;
    tm.tm_mday = nDay;
    tm.tm_hour = nHour;
    tm.tm_min = nMinute;
    tm.tm_sec = nSecond;
    tm.tm_isdst = nDst;
    // mktime returns -1 both for an error and for 1969-12-31 23:59:59 UTC; an untouched
    // tm_wday tells the two apart.
    tm.tm_wday = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && tm.tm_wday == -1)
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

} // namespace

bool BreakDownLocal(std::int64_t t, CLocalTime& out) {
    if (!FitsTimeT(t))
        return false;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        return false;
    FromTm(tm, out);
    return true;
}

// Local times worked out while the settings are held, by their fields: an import makes the
// same days and times of day over and over, and the C library reads the time zone variable
// and takes a lock for each. Direct-mapped; the time zone is taken to stay as it is for the
// length of a hold, as the regional settings do.
class CLocalTimeMemo {
public:
    std::optional<std::int64_t> Make(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                     int nSecond) {
        const std::uint64_t nHold = LocaleSettingsHoldNumber();
        if (nHold != m_nHold) {
            m_vecEntries.assign(kEntries, CEntry{});
            m_nHold = nHold;
        }
        const CFields fields{nYear, nMonth, nDay, nHour, nMinute, nSecond};
        std::uint64_t nHash = 0;
        for (const int n : {nYear, nMonth, nDay, nHour, nMinute, nSecond})
            nHash = (nHash ^ static_cast<std::uint32_t>(n)) * 0x100000001B3ULL;
        CEntry& entry = m_vecEntries[(nHash ^ (nHash >> 29)) & (kEntries - 1)];
        if (!entry.m_bUsed || !(entry.m_fields == fields)) {
            entry.m_fields = fields;
            entry.m_result = MakeTime(nYear, nMonth, nDay, nHour, nMinute, nSecond, -1);
            entry.m_bUsed = true;
        }
        return entry.m_result;
    }

private:
    static constexpr std::size_t kEntries = 8192;
    struct CFields {
        int m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute, m_nSecond;
        bool operator==(const CFields&) const = default;
    };
    struct CEntry {
        CFields m_fields{};
        bool m_bUsed = false;
        std::optional<std::int64_t> m_result;
    };
    std::vector<CEntry> m_vecEntries;
    std::uint64_t m_nHold = 0;
};

std::optional<std::int64_t> MakeLocalTime(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                          int nSecond) {
    if (LocaleSettingsHeld()) {
        thread_local CLocalTimeMemo t_memo;
        return t_memo.Make(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    }
    return MakeTime(nYear, nMonth, nDay, nHour, nMinute, nSecond, -1);
}

std::optional<std::int64_t> MakeStandardTime(int nYear, int nMonth, int nDay, int nHour,
                                             int nMinute, int nSecond) {
    return MakeTime(nYear, nMonth, nDay, nHour, nMinute, nSecond, 0);
}

bool BreakDownUtc(std::int64_t t, CLocalTime& out) {
    if (!FitsTimeT(t))
        return false;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm))
        return false;
    FromTm(tm, out);
    return true;
}

std::int64_t DaysFromCivil(int nYear, int nMonth, int nDay) {
    const std::int64_t y = std::int64_t{nYear} - (nMonth <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * ((nMonth + 9) % 12) + 2) / 5 + nDay - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t nDays, int& nYear, int& nMonth, int& nDay) {
    const std::int64_t z = nDays + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    nYear = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    nMonth = static_cast<int>(m);
    nDay = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
}

namespace {

std::atomic<FnClockHook> g_pClockHook{nullptr};

} // namespace

void SetClockHook(FnClockHook pHook) {
    g_pClockHook = pHook;
}

std::int64_t CurrentTime() {
    if (const FnClockHook pHook = g_pClockHook) {
        std::int64_t tNow = 0;
        if (pHook(tNow))
            return tNow;
    }
    return static_cast<std::int64_t>(std::time(nullptr));
}
