// The example text: header and data rows written through the layouts into memory,
// between the quote texts and never escaped.
#include "formats/ExampleFormat.h"

#include "model/Appointment.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ExampleFormatTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        m_options = std::make_unique<COptions>();
    }

    // The example of the options dialog, as the program builds it.
    std::string Example() { return BuildExampleText(*m_options, CurrentTimeValue()); }

    static TimeValue CurrentTimeValue() { return MakeLocalTimeValue(2026, 12, 5, 12, 0); }

    // Made in SetUp, once the environment is pinned.
    std::unique_ptr<COptions> m_options;
};

TEST_F(ExampleFormatTest, SimpleExample) {
    m_options->m_bFullFormat = 0;
    m_options->m_strSeparator = ";";
    m_options->m_strQuote = "\"";
    // The instant 0 is 01:00 in Berlin.
    EXPECT_EQ(Example(), "\"Date\";\"Untimed\";\"Start Time\";\"End Time\";\"Private\";\"Text\";"
                         "\"Note\";\"Alarm\";\"Alarm Time\";\"Alarm Unit\";\"Category\";"
                         "\"Location\";\"Repeat\"\r\n"
                         "\"05.12.2026\";\"\";\"01:00\";\"01:00\";\"\";"
                         "\"Sample Appointment Title\";\"Appointment Note\";\"\";\"\";\"\";"
                         "\"Unfiled\";\"Room 101\";\"\"\r\n");
}

TEST_F(ExampleFormatTest, FullExampleWithDateInTimesAndNoQuote) {
    m_options->m_strSeparator = ",";
    m_options->m_strQuote = "";
    m_options->m_bDateWithTime = 1;
    m_options->m_layout.SetSimpleFields({FIELD_DATE, FIELD_START_TIME, FIELD_TEXT});
    EXPECT_EQ(Example(), "Date,Start Time,Text,Repeat Type,Repeat Interval,Repeat End Date,"
                         "Exceptions,Weekly Sunday,Weekly Monday,Weekly Tuesday,"
                         "Weekly Wednesday,Weekly Thursday,Weekly Friday,Weekly Saturday,"
                         "Monthly Week Index\r\n"
                         "05.12.2026,05.12.2026 01:00,Sample Appointment Title,Daily,1,"
                         "06.12.2026,,,,,,,,,\r\n");
}

TEST_F(ExampleFormatTest, CellsAreNeverEscaped) {
    m_options->m_strSeparator = ";";
    m_options->m_strQuote = "'";
    CExampleFormat format(*m_options);
    EXPECT_EQ(format.WriteText("a;'b'\"\r\nc"), STATUS_OK);
    EXPECT_EQ(format.WriteText(""), STATUS_OK);
    EXPECT_EQ(format.WriteSpan(5400), STATUS_OK);
    EXPECT_EQ(format.WriteSpan(-60), STATUS_OK);
    EXPECT_EQ(format.WriteSpan(0), STATUS_OK);
    EXPECT_EQ(format.WriteInt(-3), STATUS_OK);
    EXPECT_EQ(format.EndRow(), STATUS_OK);
    EXPECT_EQ(format.GetText(), "'a;'b'\"\r\nc';'';'1.500000';'-0.016667';'0.000000';'-3'\r\n");

    EXPECT_EQ(format.GetRowNumber(), 1);
}

} // namespace
