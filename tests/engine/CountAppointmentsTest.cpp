// The appointment count against the stand-in host: the full format, the trace of the
// occurrence walk, the guard against endless series and the quit request. Its agreement
// with the simple export is in RoundTripTest.
#include "engine/CountAppointments.h"

#include "engine/RecordFilter.h"
#include "tests/engine/OperationsTestSupport.h"

using namespace optest;

namespace {

class CountAppointmentsTest : public COperationsTest {};

TEST_F(CountAppointmentsTest, TheFullFormatCountsEveryAppointmentWhateverItsDate) {
    Seed(Untimed("2000-01-01", "old"));
    Seed(Repeating(Untimed("2026-01-01", "series"), HOST_REPEAT_WEEKLY, 1, 0x7F));
    Seed(Untimed("2031-12-31", "last day"));
    Options().m_bFullFormat = 1;
    EXPECT_EQ(numAppointments(Options()), 3);
}

TEST_F(CountAppointmentsTest, AFilterRejectingEverythingCountsNothingAndTracesNoOccurrence) {
    TraceOn();
    Seed(Repeating(Untimed("2026-01-01", "series"), HOST_REPEAT_DAILY, 1));
    Options().m_bFullFormat = 0;
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_TEXT_CONTAINS, "nothing like it", FILTER_JOIN_NONE);
    EXPECT_EQ(numAppointments(Options()), 0);
    EXPECT_EQ(TraceLines(),
              (std::vector<std::string>{"Start numAppointments", "End numAppointments"}));
}

TEST_F(CountAppointmentsTest, TheOccurrenceWalkIsTraced) {
    TraceOn();
    Seed(Repeating(Timed("2026-11-30", 9, 0, 10, 0, "Daily"), HOST_REPEAT_DAILY, 1, 0,
                   "2026-12-01"));
    Options().m_bFullFormat = 0;
    EXPECT_EQ(numAppointments(Options()), 2);
    const std::string to = " to=04.01.2027 23:59 next=";
    const std::string before = "Before GetNextOccurrence: position=";
    const std::string after = "After GetNextOccurrence: position=";
    EXPECT_EQ(TraceLines(), (std::vector<std::string>{
                                "Start numAppointments",
                                "GetFirstOccurrence: Daily 30.11.2026 start=25.11.2026 00:00 00:00 "
                                "end=04.01.2027 23:59 diff=3542340",
                                "Repeat evt Daily 30.11.2026 09:00 pos=30.11.2026 00:00",
                                before + "30.11.2026 00:00" + to + "01.01.1970 01:00",
                                after + "01.12.2026 00:00" + to + "30.11.2026 00:00",
                                "Repeat evt Daily next 30.11.2026 00:00",
                                before + "01.12.2026 00:00" + to + "30.11.2026 00:00",
                                after + "05.01.2027 00:00" + to + "01.12.2026 00:00",
                                "Repeat evt Daily next 01.12.2026 00:00",
                                before + "05.01.2027 00:00" + to + "01.12.2026 00:00",
                                after + "05.01.2027 00:00" + to + "01.01.1970 01:00",
                                "No success",
                                "End numAppointments",
                            }));
}

TEST_F(CountAppointmentsTest, ThePastTenThousandOccurrencesEachSeriesAddsOne) {
    TraceOn();
    Seed(Repeating(Untimed("1980-01-01", "first"), HOST_REPEAT_DAILY, 1));
    Seed(Repeating(Untimed("1980-01-01", "second"), HOST_REPEAT_DAILY, 1));
    Seed(Untimed("2000-01-01", "single"));
    Seed(Untimed("2001-01-01", "single"));
    Options().m_bFullFormat = 0;
    Options().m_nDaysBack = 365 * 40;
    Options().m_nDaysAhead = 0;
    // Singles keep counting past the limit.
    EXPECT_EQ(numAppointments(Options()), kMaxCountedOccurrences + 1 + 1 + 2);
    std::vector<std::string> infinite;
    for (const std::string& line : TraceLines())
        if (line.rfind("Infinite", 0) == 0)
            infinite.push_back(line);
    EXPECT_EQ(infinite,
              (std::vector<std::string>{"Infinite repeat at first", "Infinite repeat at second"}));
}

TEST_F(CountAppointmentsTest, AQuitRequestEndsTheCountEarly) {
    for (int i = 0; i < 25; ++i)
        Seed(Untimed("2026-12-01", "a"));
    Options().m_bFullFormat = 1;
    // Pumps at records 0, 10 and 20: the third quits.
    m_ui.QuitAfterPumps(2);
    EXPECT_EQ(numAppointments(Options()), 20);
    EXPECT_TRUE(m_ui.m_bQuitPosted);
}

} // namespace
