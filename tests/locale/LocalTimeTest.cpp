#include "platform/locale/LocalTime.h"
#include "platform/locale/SettingsHold.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"

#include <array>
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

} // namespace
