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

namespace {

bool BreakDownByLibrary(std::int64_t t, CLocalTime& out, long* pnOffset = nullptr) {
    if (!FitsTimeT(t))
        return false;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm))
        return false;
    FromTm(tm, out);
    if (pnOffset)
        *pnOffset = tm.tm_gmtoff;
    return true;
}

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {
    return n / d - (n % d < 0 ? 1 : 0);
}

// The calendar fields of t at a fixed offset from UTC.
void BreakDownAtOffset(std::int64_t t, long nOffset, bool bDaylight, CLocalTime& out) {
    const std::int64_t nLocal = t + nOffset;
    const std::int64_t nDays = FloorDiv(nLocal, 86400);
    const auto nSeconds = static_cast<int>(nLocal - nDays * 86400);
    CivilFromDays(nDays, out.m_nYear, out.m_nMonth, out.m_nDay);
    out.m_nHour = nSeconds / 3600;
    out.m_nMinute = nSeconds / 60 % 60;
    out.m_nSecond = nSeconds % 60;
    // 1970-01-01 was a Thursday.
    out.m_nDayOfWeek = static_cast<int>(((nDays + 4) % 7 + 7) % 7);
    out.m_bDaylight = bDaylight;
}

bool SameFields(const CLocalTime& a, const CLocalTime& b) {
    return a.m_nYear == b.m_nYear && a.m_nMonth == b.m_nMonth && a.m_nDay == b.m_nDay &&
           a.m_nHour == b.m_nHour && a.m_nMinute == b.m_nMinute && a.m_nSecond == b.m_nSecond &&
           a.m_nDayOfWeek == b.m_nDayOfWeek && a.m_bDaylight == b.m_bDaylight;
}

// The offset from UTC of each UTC day asked for while the settings are held, where the C
// library gives the same offset and daylight flag at its start, its middle and its end and
// the arithmetic agrees with it there: times of that day are then broken down without the
// library's lock and time zone lookups. Days with a change of offset or a leap second
// are always asked of the library. Direct-mapped; cleared with every new hold.
class CBreakDownMemo {
public:
    bool BreakDown(std::int64_t t, CLocalTime& out) {
        const CEntry& entry = Lookup(FloorDiv(t, kSpan));
        if (!entry.m_bFixed)
            return BreakDownByLibrary(t, out);
        const std::int64_t nLocal = t + entry.m_nOffset;
        const std::int64_t nDays = FloorDiv(nLocal, kSpan);
        if (nDays != entry.m_nLocalDay) {
            BreakDownAtOffset(t, entry.m_nOffset, entry.m_bDaylight, out);
            return true;
        }
        const auto nSeconds = static_cast<int>(nLocal - nDays * kSpan);
        out.m_nYear = entry.m_nYear;
        out.m_nMonth = entry.m_nMonth;
        out.m_nDay = entry.m_nDayOfMonth;
        out.m_nDayOfWeek = entry.m_nDayOfWeek;
        out.m_nHour = nSeconds / 3600;
        out.m_nMinute = nSeconds / 60 % 60;
        out.m_nSecond = nSeconds % 60;
        out.m_bDaylight = entry.m_bDaylight;
        return true;
    }

    // The instant of local seconds since 1970 (the calendar fields counted without a zone)
    // when the UTC days about it keep one offset: no instant at another offset can then
    // have the same local fields (a zone's offset never jumps by a day or more), so the
    // time is neither skipped nor repeated. Empty when the library must decide.
    std::optional<std::int64_t> Make(std::int64_t nLocal) {
        const std::int64_t nDay = FloorDiv(nLocal, kSpan);
        CEntry& entry = Lookup(nDay);
        if (!entry.m_bFixed)
            return std::nullopt;
        if (entry.m_nSteady == kUnknown) {
            entry.m_nSteady = kNotSteady;
            bool bSteady = entry.m_nOffset > -kSpan && entry.m_nOffset < kSpan;
            const long nOffset = entry.m_nOffset;
            // Local fields of day nDay lie within a day of UTC day nDay; two days on each
            // side keep every other candidate more than a day away.
            for (std::int64_t d = -2; bSteady && d <= 2; ++d) {
                const CEntry& other = Lookup(nDay + d);
                bSteady = other.m_bFixed && other.m_nOffset == nOffset;
            }
            // The neighbours' look-ups never evict nDay's entry (consecutive days take
            // consecutive entries), so it is still the one filled above.
            entry.m_nSteady = bSteady ? kSteady : kNotSteady;
        }
        if (entry.m_nSteady != kSteady)
            return std::nullopt;
        return nLocal - entry.m_nOffset;
    }

private:
    // Consecutive days take consecutive entries: 44 years of days without a collision.
    static constexpr std::size_t kEntries = 16384;
    static constexpr std::int64_t kSpan = 86400;
    static constexpr std::uint8_t kUnknown = 0, kSteady = 1, kNotSteady = 2;
    struct CEntry {
        std::int64_t m_nDay = 0;
        long m_nOffset = 0;
        bool m_bDaylight = false;
        bool m_bFilled = false;
        bool m_bFixed = false;             // one offset for the whole day
        std::uint8_t m_nSteady = kUnknown; // the same offset two days either side
        // The local date most of the day's instants fall on.
        std::int64_t m_nLocalDay = 0;
        int m_nYear = 1970, m_nMonth = 1, m_nDayOfMonth = 1, m_nDayOfWeek = 4;
    };

    CEntry& Lookup(std::int64_t nDay) {
        const std::uint64_t nHold = LocaleSettingsHoldNumber();
        if (nHold != m_nHold) {
            m_vecEntries.assign(kEntries, CEntry{});
            m_nHold = nHold;
        }
        CEntry& entry = m_vecEntries[static_cast<std::uint64_t>(nDay) & (kEntries - 1)];
        if (!entry.m_bFilled || entry.m_nDay != nDay)
            Fill(entry, nDay);
        return entry;
    }

    static void Fill(CEntry& entry, std::int64_t nDay) {
        entry = CEntry{};
        entry.m_nDay = nDay;
        entry.m_bFilled = true;
        if (nDay > std::numeric_limits<std::int64_t>::max() / kSpan - 1 ||
            nDay < std::numeric_limits<std::int64_t>::min() / kSpan + 1)
            return;
        const std::int64_t tFirst = nDay * kSpan;
        long nOffset = 0;
        bool bDaylight = false;
        for (const std::int64_t t : {tFirst, tFirst + kSpan / 2, tFirst + kSpan - 1}) {
            CLocalTime library;
            long nAt = 0;
            if (!BreakDownByLibrary(t, library, &nAt))
                return;
            if (t == tFirst) {
                nOffset = nAt;
                bDaylight = library.m_bDaylight;
            }
            CLocalTime check;
            BreakDownAtOffset(t, nOffset, bDaylight, check);
            if (nAt != nOffset || !SameFields(check, library))
                return;
        }
        entry.m_nOffset = nOffset;
        entry.m_bDaylight = bDaylight;
        entry.m_bFixed = true;
        CLocalTime middle;
        BreakDownAtOffset(tFirst + kSpan / 2, nOffset, bDaylight, middle);
        entry.m_nLocalDay = FloorDiv(tFirst + kSpan / 2 + nOffset, kSpan);
        entry.m_nYear = middle.m_nYear;
        entry.m_nMonth = middle.m_nMonth;
        entry.m_nDayOfMonth = middle.m_nDay;
        entry.m_nDayOfWeek = middle.m_nDayOfWeek;
    }

    std::vector<CEntry> m_vecEntries;
    std::uint64_t m_nHold = 0;
};

// One per thread, shared by the break-downs and the made times of a hold.
CBreakDownMemo& HeldMemo() {
    thread_local CBreakDownMemo t_memo;
    return t_memo;
}

} // namespace

bool BreakDownLocal(std::int64_t t, CLocalTime& out) {
    if (LocaleSettingsHeld())
        return HeldMemo().BreakDown(t, out);
    return BreakDownByLibrary(t, out);
}

namespace {

// Local times worked out while the settings are held, by their fields: an import makes the
// same days and times of day over and over, and the C library reads the time zone variable
// and takes a lock for each. Times of fields in their ranges on days of one steady offset
// are worked out from the day memo; the rest are kept here. Direct-mapped; the time zone is
// taken to stay as it is for the length of a hold, as the regional settings do.
class CLocalTimeMemo {
public:
    std::optional<std::int64_t> Make(int nYear, int nMonth, int nDay, int nHour, int nMinute,
                                     int nSecond) {
        const std::int64_t nDays = DaysFromCivil(nYear, nMonth, nDay);
        const std::int64_t nTimeOfDay =
            std::int64_t{nHour} * 3600 + std::int64_t{nMinute} * 60 + nSecond;
        if (nYear >= 1 && nYear <= 9999 && nMonth >= 1 && nMonth <= 12 && nDay >= 1 && nDay <= 31 &&
            nHour >= 0 && nHour <= 23 && nMinute >= 0 && nMinute <= 59 && nSecond >= 0 &&
            nSecond <= 59) {
            // Day 31 of a shorter month is carried into the next as the library does.
            if (const auto t = HeldMemo().Make(nDays * 86400 + nTimeOfDay))
                return t;
        }
        const std::uint64_t nHold = LocaleSettingsHoldNumber();
        if (nHold != m_nHold) {
            m_vecEntries.assign(kEntries, CEntry{});
            m_nHold = nHold;
        }
        const CFields fields{nYear, nMonth, nDay, nHour, nMinute, nSecond};
        // Consecutive days take consecutive entries (midnights of 44 years never collide);
        // the time of day moves a value far from them.
        const auto nSlot = static_cast<std::uint64_t>(nDays + nTimeOfDay * 40503);
        CEntry& entry = m_vecEntries[nSlot & (kEntries - 1)];
        if (!entry.m_bUsed || !(entry.m_fields == fields)) {
            entry.m_fields = fields;
            entry.m_result = MakeTime(nYear, nMonth, nDay, nHour, nMinute, nSecond, -1);
            entry.m_bUsed = true;
        }
        return entry.m_result;
    }

private:
    static constexpr std::size_t kEntries = 16384;
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

} // namespace

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

namespace {

bool BreakDownUtcByLibrary(std::int64_t t, CLocalTime& out) {
    if (!FitsTimeT(t))
        return false;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm))
        return false;
    FromTm(tm, out);
    return true;
}

} // namespace

bool BreakDownUtc(std::int64_t t, CLocalTime& out) {
    if (!LocaleSettingsHeld())
        return BreakDownUtcByLibrary(t, out);
    // The last instant asked for under this hold: exports stamp every event with one. The
    // library is kept for the rest, since a zone that counts leap seconds has them in UTC too.
    struct CLast {
        std::uint64_t m_nHold = 0;
        std::int64_t m_t = 0;
        bool m_bOk = false;
        CLocalTime m_fields;
    };
    thread_local CLast t_last;
    const std::uint64_t nHold = LocaleSettingsHoldNumber();
    if (t_last.m_nHold != nHold || t_last.m_t != t) {
        t_last.m_bOk = BreakDownUtcByLibrary(t, t_last.m_fields);
        t_last.m_t = t;
        t_last.m_nHold = nHold;
    }
    if (t_last.m_bOk)
        out = t_last.m_fields;
    return t_last.m_bOk;
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
