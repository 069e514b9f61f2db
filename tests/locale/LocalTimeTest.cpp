#include "platform/locale/LocalTime.h"
#include "platform/locale/SettingsHold.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"

#include <array>
#include <ctime>
#include <optional>
#include <vector>

namespace {

class LocalTimeTest : public CVarnoTest {};

struct SInstant {
    int m_nYear, m_nMonth, m_nDay, m_nHour, m_nMinute;
    std::int64_t m_tExpected; // seconds since 1970 UTC
    int m_nHourBack;          // the local hour it breaks down to
    bool m_bDaylight;
};

void ExpectInstants(const char* pszZone, std::initializer_list<SInstant> cases) {
    SetTimeZone(pszZone);
    for (const SInstant& c : cases) {
        SCOPED_TRACE(std::string(pszZone) + " " + std::to_string(c.m_nYear) + "-" +
                     std::to_string(c.m_nMonth) + "-" + std::to_string(c.m_nDay) + " " +
                     std::to_string(c.m_nHour) + ":" + std::to_string(c.m_nMinute));
        const auto t = MakeLocalTime(c.m_nYear, c.m_nMonth, c.m_nDay, c.m_nHour, c.m_nMinute);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(*t, c.m_tExpected);
        CLocalTime back;
        ASSERT_TRUE(BreakDownLocal(*t, back));
        EXPECT_EQ(back.m_nHour, c.m_nHourBack);
        EXPECT_EQ(back.m_bDaylight, c.m_bDaylight);
    }
}

TEST_F(LocalTimeTest, MakeLocalTimeLeavesDaylightSavingToTheCalendar) {
    ExpectInstants("Europe/Berlin", {
                                        {2026, 1, 15, 12, 0, 1768474800, 12, false},
                                        {2026, 7, 15, 12, 0, 1784109600, 12, true},
                                        // The last minute before the spring change and the
                                        // first after it, one minute apart.
                                        {2026, 3, 29, 1, 59, 1774745940, 1, false},
                                        {2026, 3, 29, 3, 0, 1774746000, 3, true},
                                        // 02:30 does not exist that night: moved on an hour.
                                        {2026, 3, 29, 2, 30, 1774747800, 3, true},
                                        {2026, 10, 25, 3, 0, 1792893600, 3, false},
                                    });
    ExpectInstants("America/New_York", {
                                           {2026, 3, 8, 1, 59, 1772953140, 1, false},
                                           {2026, 3, 8, 3, 0, 1772953200, 3, true},
                                           {2026, 11, 1, 0, 30, 1793507400, 0, true},
                                           {2026, 11, 1, 2, 0, 1793516400, 2, false},
                                       });
}

TEST_F(LocalTimeTest, OutOfRangeFieldsCarryOver) {
    SetTimeZone("Europe/Berlin");
    EXPECT_EQ(MakeLocalTime(2026, 1, 32), MakeLocalTime(2026, 2, 1));
    EXPECT_EQ(MakeLocalTime(2026, 13, 1), MakeLocalTime(2027, 1, 1));
    EXPECT_EQ(MakeLocalTime(2026, 3, 1, 0, 0, -1), MakeLocalTime(2026, 2, 28, 23, 59, 59));
}

TEST_F(LocalTimeTest, MinusOneSecondIsAValidInstant) {
    SetTimeZone("UTC");
    EXPECT_EQ(MakeLocalTime(1969, 12, 31, 23, 59, 59), -1);
    CLocalTime t;
    ASSERT_TRUE(BreakDownLocal(-1, t));
    EXPECT_EQ(t.m_nYear, 1969);
    EXPECT_EQ(t.m_nDayOfWeek, 3); // a Wednesday
}

TEST_F(LocalTimeTest, CurrentTimeFollowsTheClockVariable) {
    {
        CScopedEnv now("VARNO_NOW", "1796472000");
        EXPECT_EQ(CurrentTime(), 1796472000);
    }
    for (const char* pszBad : {"", "12x", "soon"}) {
        CScopedEnv now("VARNO_NOW", pszBad);
        const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
        const std::int64_t t = CurrentTime();
        EXPECT_GE(t, before) << pszBad;
        EXPECT_LE(t, before + 5) << pszBad;
    }
}

} // namespace

namespace {

// Local times made under a hold (served from its memo after the first time) are the C
// library's, in every zone, fields out of range and the daylight-saving changes included;
// a zone changed between two holds is the one the second hold uses.
TEST_F(LocalTimeTest, HeldLocalTimesAreTheLibrarysInTheZoneOfTheHold) {
    const std::vector<std::array<int, 6>> fields = {
        {2026, 3, 29, 2, 30, 0},    {2026, 10, 25, 2, 30, 0}, {2026, 3, 8, 2, 30, 0},
        {2026, 11, 1, 1, 30, 0},    {2026, 10, 4, 2, 15, 0},  {2026, 4, 5, 1, 45, 0},
        {1969, 12, 31, 23, 59, 59}, {2031, 12, 31, 0, 0, 0},  {2026, 13, 32, 25, 61, 61},
        {2026, 2, 29, 0, 0, 0},     {1970, 1, 2, 0, 0, 0},    {-5000, 1, 1, 0, 0, 0}};
    for (const char* pszZone :
         {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        SetTimeZone(pszZone);
        std::vector<std::optional<std::int64_t>> expected;
        for (const auto& f : fields)
            expected.push_back(MakeLocalTime(f[0], f[1], f[2], f[3], f[4], f[5]));
        const CLocaleSettingsHold hold;
        for (int nPass = 0; nPass < 2; ++nPass) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const auto& f = fields[i];
                EXPECT_EQ(MakeLocalTime(f[0], f[1], f[2], f[3], f[4], f[5]), expected[i])
                    << pszZone << " case " << i << " pass " << nPass;
            }
        }
    }
}

// Every quarter hour of the days about a change of offset, made under a hold (where a day
// and its neighbours keep one offset, by arithmetic), is the C library's: times skipped in
// spring and repeated in autumn included, and day 31 of shorter months.
TEST_F(LocalTimeTest, HeldLocalTimesAboutChangesAreTheLibrarys) {
    struct SDays {
        const char* m_pszZone;
        int m_nYear, m_nMonth, m_nFirstDay;
    };
    const std::vector<SDays> spans = {
        {"Europe/Berlin", 2026, 3, 24},       {"Europe/Berlin", 2026, 10, 20},
        {"America/New_York", 2026, 10, 28},   {"Australia/Lord_Howe", 2026, 4, 1},
        {"Australia/Lord_Howe", 2026, 9, 30}, {"Pacific/Apia", 2011, 12, 26},
        {"Asia/Kolkata", 2026, 2, 25},        {"right/UTC", 2016, 12, 29},
    };
    for (const SDays& span : spans) {
        SetTimeZone(span.m_pszZone);
        std::vector<std::array<int, 5>> fields;
        for (int nDay = span.m_nFirstDay; nDay < span.m_nFirstDay + 10; ++nDay) {
            for (int nMinute = 0; nMinute < 24 * 60; nMinute += 15)
                fields.push_back({span.m_nYear, span.m_nMonth, nDay, nMinute / 60, nMinute % 60});
        }
        std::vector<std::optional<std::int64_t>> expected;
        for (const auto& f : fields)
            expected.push_back(MakeLocalTime(f[0], f[1], f[2], f[3], f[4], 0));
        const CLocaleSettingsHold hold;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const auto& f = fields[i];
            ASSERT_EQ(MakeLocalTime(f[0], f[1], f[2], f[3], f[4], 0), expected[i])
                << span.m_pszZone << " " << f[0] << "-" << f[1] << "-" << f[2] << " " << f[3] << ":"
                << f[4];
        }
    }
}

} // namespace

namespace {

// Instants broken down under a hold (by the offset of their day where it is one throughout)
// are the C library's, field by field: across the changes of daylight saving of zones that
// change on the hour, on the half hour (Lord Howe) and at odd offsets, and across leap seconds
// where the zone counts them.
TEST_F(LocalTimeTest, HeldBreakDownsAreTheLibrarys) {
    struct SSpan {
        const char* m_pszZone;
        std::int64_t m_tFrom;
    };
    const std::vector<SSpan> spans = {
        {"Europe/Berlin", 1774742400},       // 2026-03-29, spring change
        {"Europe/Berlin", 1792886400},       // 2026-10-25, autumn change
        {"America/New_York", 1772928000},    // 2026-03-08
        {"Australia/Lord_Howe", 1775318400}, // 2026-04-05, half an hour back
        {"Australia/Lord_Howe", 1791043200}, // 2026-10-04
        {"Asia/Kolkata", 0},
        {"UTC", -86400},
        {"right/UTC", 1483228800 - 7200}, // the leap second at the end of 2016
    };
    for (const SSpan& span : spans) {
        SetTimeZone(span.m_pszZone);
        std::vector<std::int64_t> instants;
        for (std::int64_t t = span.m_tFrom - 2 * 86400; t < span.m_tFrom + 2 * 86400; t += 599)
            instants.push_back(t);
        // Every second of two minutes about tFrom + 2 h (the leap second of right/UTC).
        for (std::int64_t t = span.m_tFrom + 7200 - 60; t <= span.m_tFrom + 7200 + 60; ++t)
            instants.push_back(t);
        for (std::int64_t d = -3; d <= 3; ++d) {
            for (const std::int64_t nHour : {0, 1, 2, 3})
                instants.push_back(span.m_tFrom + nHour * 3600 + d);
        }
        std::vector<CLocalTime> expected(instants.size());
        std::vector<bool> ok(instants.size());
        for (std::size_t i = 0; i < instants.size(); ++i)
            ok[i] = BreakDownLocal(instants[i], expected[i]);
        const CLocaleSettingsHold hold;
        for (int nPass = 0; nPass < 2; ++nPass) {
            for (std::size_t i = 0; i < instants.size(); ++i) {
                CLocalTime held;
                ASSERT_EQ(BreakDownLocal(instants[i], held), ok[i]);
                const CLocalTime& e = expected[i];
                ASSERT_TRUE(held.m_nYear == e.m_nYear && held.m_nMonth == e.m_nMonth &&
                            held.m_nDay == e.m_nDay && held.m_nHour == e.m_nHour &&
                            held.m_nMinute == e.m_nMinute && held.m_nSecond == e.m_nSecond &&
                            held.m_nDayOfWeek == e.m_nDayOfWeek &&
                            held.m_bDaylight == e.m_bDaylight)
                    << span.m_pszZone << " at " << instants[i] << " pass " << nPass;
            }
        }
    }
}

} // namespace
