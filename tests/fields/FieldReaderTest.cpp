// Reading rows of a CSV file into appointments: the interpretation of each cell, the
// error codes, the completion of the times, and whole records written and read back.
#include "fields/FieldLayout.h"

#include "formats/CsvFormat.h"
#include "model/Appointment.h"
#include "platform/locale/LocalTime.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

namespace {

constexpr unsigned kDate = FIELD_DATE, kText = FIELD_TEXT, kStart = FIELD_START_TIME,
                   kEnd = FIELD_END_TIME, kSpan = FIELD_TIME_SPAN;

class FieldReaderTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        m_options = std::make_unique<COptions>();
        m_options->m_strSeparator = ";";
    }

    static std::unique_ptr<CCsvFormat> OpenCsv(const std::string& bytes) {
        const std::string path = TempPath("in.csv");
        WriteFileBytes(path, bytes);
        auto pFormat = std::make_unique<CCsvFormat>();
        pFormat->SetSeparator(";");
        pFormat->SetQuote("\"");
        EXPECT_EQ(pFormat->OpenRead(path), STATUS_OK);
        return pFormat;
    }

    // Reads the rows of a file made of the given lines with the options' layout; gives the
    // status of each row. The file has no row after them.
    std::vector<std::int32_t> ReadAll(const std::vector<std::string>& vecLines) {
        std::string bytes;
        for (const std::string& line : vecLines)
            bytes += line + "\r\n";
        const std::unique_ptr<CCsvFormat> pFormat = OpenCsv(bytes);
        std::vector<std::int32_t> results;
        m_vecRecords.clear();
        for (std::size_t i = 0; i <= vecLines.size(); ++i) {
            auto appt = std::make_unique<CAppointment>(m_options.get());
            results.push_back(m_options->m_layout.ReadFields(*pFormat, *appt));
            m_vecRecords.push_back(std::move(appt));
        }
        EXPECT_EQ(results.back(), STATUS_FAILED) << "end of file";
        results.pop_back();
        return results;
    }

    // One row with the given layout.
    std::int32_t ReadOne(std::vector<unsigned> vecFields, const std::string& line) {
        m_options->m_layout.SetSimpleFields(std::move(vecFields));
        return ReadAll({line}).at(0);
    }

    const CAppointment& Record() const { return *m_vecRecords.at(0); }

    static TimeValue Today(int nHour, int nMinute) {
        return MakeLocalTimeValue(2026, 12, 5, nHour, nMinute);
    }

    // Made in SetUp, once the environment is pinned.
    std::unique_ptr<COptions> m_options;
    std::vector<std::unique_ptr<CAppointment>> m_vecRecords;
};

TEST_F(FieldReaderTest, BadCellsGiveTheirErrorCode) {
    const std::vector<unsigned> times = {kDate, kText, kStart, kEnd};
    const std::vector<unsigned> alarm = {kDate, kText, FIELD_ALARM_TIME, FIELD_ALARM_UNIT};
    struct SCase {
        std::vector<unsigned> m_vecFields;
        const char* m_pszLine;
        std::int32_t m_nStatus;
    };
    const SCase cases[] = {
        {{kDate, kText}, "\"Date\";\"Text\"", IMPORT_INVALID_DATE},
        {{kDate, kText}, "\"07.12.2026\";\"\"", IMPORT_NO_TEXT},
        {{kDate, kText}, "\"07.12.2026\"", IMPORT_NO_TEXT}, // a missing cell
        {{kText, kDate}, "\"T\";\"\"", STATUS_FAILED},      // an empty date ends the import
        {times, "\"07.12.2026\";\"a\";\"\";\"10:00\"", IMPORT_INVALID_START_TIME},
        {times, "\"07.12.2026\";\"a\";\"25:99\";\"\"", IMPORT_INVALID_START_TIME},
        {times, "\"07.12.2026\";\"a\";\"09:00\";\"later\"", IMPORT_INVALID_END_TIME},
        {{kDate, kText, kStart, kEnd, kSpan},
         "\"07.12.2026\";\"a\";\"09:00\";\"\";\"99999999999\"",
         IMPORT_INVALID_END_TIME},
        {alarm, "\"07.12.2026\";\"a\";\"2\";\"w\"", IMPORT_INVALID_ALARM_UNIT},
        {alarm, "\"07.12.2026\";\"a\";\"4294967296\";\"m\"", IMPORT_INVALID_ALARM_TIME},
        {{kDate, kText, FIELD_RECORD_ID},
         "\"07.12.2026\";\"a\";\"12345678901\"",
         IMPORT_INVALID_ID},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(ReadOne(c.m_vecFields, c.m_pszLine), c.m_nStatus) << c.m_pszLine;
}

TEST_F(FieldReaderTest, DateAndText) {
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\";\"Meet\""), STATUS_OK);
    EXPECT_EQ(Record().m_tDate, MakeLocalTimeValue(2026, 12, 7));
    EXPECT_EQ(Record().m_strText, "Meet");
    EXPECT_TRUE(Record().m_bUntimed) << "no times in the layout";
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\";\"   \""), STATUS_OK);
    EXPECT_EQ(Record().m_strText, "   ");
}

// Start and end take today's date; a missing end comes from the default length, a span
// decides the end over an end cell, and an empty span makes the record untimed.
TEST_F(FieldReaderTest, TimesAreCompleted) {
    struct SCase {
        std::vector<unsigned> m_vecFields;
        std::int32_t m_nLength;
        const char* m_pszCells; // after date and text
        int m_nStart, m_nEnd;   // minutes of today; -1 for an untimed record
    };
    const std::vector<unsigned> times = {kDate, kText, kStart, kEnd};
    const std::vector<unsigned> span = {kDate, kText, kStart, kEnd, kSpan};
    const SCase cases[] = {
        {times, 60, "\"09:00\";\"\"", 9 * 60, 10 * 60},
        {times, 15, "\"09:00\";\"\"", 9 * 60, 9 * 60 + 15},
        {times, 60, "\"05.12.2026 09:00\";\"07.12.2026 11:45\"", 9 * 60, 11 * 60 + 45},
        {times, 60, "\"\";\"\"", -1, -1},
        {span, 60, "\"09:00\";\"17:00\";\"5400\"", 9 * 60, 10 * 60 + 30},
        {span, 60, "\"\";\"\";\"\"", -1, -1},
        {{kDate, kText, kStart, kSpan}, 60, "\"09:00\";\"\"", -1, -1},
        // An untimed flag before a span is undone by it.
        {{kDate, kText, FIELD_UNTIMED, kStart, kSpan},
         60,
         "\"x\";\"09:00\";\"60\"",
         9 * 60,
         9 * 60 + 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.m_pszCells);
        m_options->m_nDefaultApptLength = c.m_nLength;
        ASSERT_EQ(ReadOne(c.m_vecFields, std::string("\"07.12.2026\";\"a\";") + c.m_pszCells),
                  STATUS_OK);
        EXPECT_EQ(Record().m_bUntimed, c.m_nStart < 0);
        if (c.m_nStart >= 0) {
            EXPECT_EQ(Record().m_tStart, Today(0, c.m_nStart));
            EXPECT_EQ(Record().m_tEnd, Today(0, c.m_nEnd));
        }
    }
    EXPECT_EQ(Record().m_tsDuration, 60);
}

TEST_F(FieldReaderTest, FlagsAlarmAndTexts) {
    const std::vector<unsigned> layout = {kDate,
                                          kText,
                                          FIELD_UNTIMED,
                                          FIELD_ALARM,
                                          FIELD_PRIVATE,
                                          FIELD_ALARM_TIME,
                                          FIELD_ALARM_UNIT,
                                          FIELD_NOTE,
                                          FIELD_CATEGORY,
                                          FIELD_LOCATION,
                                          FIELD_RECORD_ID};
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\" a\nb \";\" JA \";\"x\";\"nein\";\"2\";\" H "
                              "\";\"x\ny\";\" Work \";\" R\n1 \";\"77\""),
              STATUS_OK);
    EXPECT_TRUE(Record().m_bUntimed);
    EXPECT_TRUE(Record().m_bAlarm);
    EXPECT_FALSE(Record().m_bPrivate);
    EXPECT_EQ(Record().m_nAlarmAdvance, 2);
    EXPECT_EQ(Record().m_nAlarmUnit, ALARM_HOURS);
    // Line breaks as the datebook keeps them; category and location trimmed.
    EXPECT_EQ(Record().m_strText, " a\r\nb ");
    EXPECT_EQ(Record().m_strNote, "x\r\ny");
    EXPECT_EQ(Record().m_strCategory, "Work");
    EXPECT_EQ(Record().m_strLocation, "R\r\n1");
    EXPECT_EQ(Record().m_nRecordId, 77);

    const std::vector<unsigned> alarm = {kDate, kText, FIELD_ALARM, FIELD_ALARM_TIME,
                                         FIELD_ALARM_UNIT};
    EXPECT_EQ(ReadOne(alarm, "\"07.12.2026\";\"a\";\"x\";\"2\";\"\""), STATUS_OK);
    EXPECT_FALSE(Record().m_bAlarm) << "an empty unit clears the alarm";
    EXPECT_EQ(ReadOne(alarm, "\"07.12.2026\";\"a\";\"x\";\"-5\";\"D\""), STATUS_OK);
    EXPECT_EQ(Record().m_nAlarmAdvance, -5) << "no range test";
    EXPECT_EQ(Record().m_nAlarmUnit, ALARM_DAYS);
}

TEST_F(FieldReaderTest, RepeatFieldsOnlyInTheFullFormat) {
    m_options->m_layout.SetSimpleFields({kDate, kText, FIELD_REPEAT});
    m_options->m_layout.SetRepeatFields({FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL,
                                         FIELD_REPEAT_END_DATE, FIELD_EXCEPTIONS,
                                         FIELD_WEEKLY_MONDAY, FIELD_WEEKLY_THURSDAY,
                                         FIELD_WEEKLY_FRIDAY, FIELD_MONTHLY_WEEK_INDEX});
    const auto results = ReadAll({
        "\"07.12.2026\";\"a\";\"x\";\" Weekly \";\"2\";\"30.12.2031\";\" 1.1.27 "
        "\";\"x\";\"yes\";\"\";\"3\"",
        "\"07.12.2026\";\"a\";\"x\";\"weekly\";\"1\";\"31.12.2031\";\"\";\"\";\"\";\"\";\"\"",
        "\"07.12.2026\";\"a\";\"x\";\"Daily\";\"0\"",
        "\"07.12.2026\";\"a\";\"x\";\"Daily\";\"-2\"",
        "\"07.12.2026\";\"a\";\"x\"",
        "\"07.12.2026\";\"a\";\"x\";\"Daily\";\"1\";\"32.13.2030\"",
        "\"07.12.2026\";\"a\";\"x\";\"Daily\";\"1\";\"\";\"\";\"\";\"\";\"\";\"9999999999\"",
        "\"07.12.2026\";\"a\";\"\";\"Daily\";\"0\"",
    });
    EXPECT_EQ(results, (std::vector<std::int32_t>{0, 0, 107, 107, 107, 108, 110, 0}));

    const CAppointment& first = *m_vecRecords[0];
    EXPECT_EQ(first.m_repeat.m_nType, REPEAT_WEEKLY);
    EXPECT_EQ(first.m_repeat.m_nInterval, 2);
    EXPECT_EQ(first.m_repeat.m_tEnd, MakeLocalTimeValue(2031, 12, 30));
    EXPECT_EQ(first.m_strExceptions, " 1.1.27 ");
    EXPECT_EQ(first.m_repeat.m_byWeekdays, 0x12);
    EXPECT_EQ(first.m_repeat.m_nWeekIndex, 3);
    const CAppointment& second = *m_vecRecords[1];
    EXPECT_EQ(second.m_repeat.m_nType, REPEAT_DAILY) << "names are case-sensitive";
    EXPECT_EQ(second.m_repeat.m_tEnd, 0) << "31.12.2031 is no end";

    // The simple format never reads the repeat fields.
    m_options->m_bFullFormat = 0;
    EXPECT_EQ(ReadAll({"\"07.12.2026\";\"a\";\"x\";\"Daily\";\"0\""}),
              (std::vector<std::int32_t>{0}));
}

TEST_F(FieldReaderTest, OwnerlessLayoutUsesTheDefaults) {
    CFieldLayout layout;
    layout.SetSimpleFields({kDate, kText, kStart, FIELD_REPEAT});
    layout.SetRepeatFields({FIELD_REPEAT_INTERVAL});
    const auto pFormat = OpenCsv("\"07.12.2026\";\"a\";\"09:00\";\"x\";\"0\"\r\n");
    CAppointment appt(nullptr);
    EXPECT_EQ(layout.ReadFields(*pFormat, appt), IMPORT_INVALID_REPEAT_INTERVAL);
    EXPECT_EQ(appt.m_tEnd, Today(10, 0));
}

// What the duplicate test leaves aside: the exact texts, category, record id, the alarm
// (when set), weekdays, week index, date and span.
std::string Values(const CAppointment& a) {
    return a.m_strText + "|" + a.m_strNote + "|" + a.m_strCategory + "|" + a.m_strLocation + "|" +
           std::to_string(a.m_nRecordId) + "|" +
           std::to_string(a.m_bAlarm ? a.GetAlarmMinutes() : -1) + "|" +
           std::to_string(a.m_repeat.m_byWeekdays) + "|" + std::to_string(a.m_repeat.m_nWeekIndex) +
           "|" + std::to_string(a.m_tDate) + "|" + std::to_string(a.m_tsDuration);
}

// Rows of every field, the reserved and unknown ids among them, in the order the writer
// gives them: read and written again they are the same bytes; written with dates in the
// time cells and read once more, the same records.
TEST_F(FieldReaderTest, FullRowsReadBackIntoEqualRecords) {
    std::vector<unsigned> simple(FIELD_RECORD_ID + 1), repeat(12);
    std::iota(simple.begin(), simple.end(), 0u);
    std::iota(repeat.begin(), repeat.end(), unsigned{FIELD_REPEAT_TYPE});
    simple.insert(simple.begin() + 3, {16, FIELD_IGNORED, 57});
    repeat.insert(repeat.begin() + 2, {19, FIELD_IGNORED, 33});
    m_options->m_layout.SetSimpleFields(simple);
    m_options->m_layout.SetRepeatFields(repeat);
    // The day summer time begins; a weekly series; the last Sunday of a month at night.
    const std::vector<std::string> rows = {
        R"("29.03.2026";"";"09:30";"";"";"";"11:00";"x";"Budget; ""final"" round";"Line 1
Line 2
";"x";"2";"h";"Business";"Room 4";"";"5400";"12345")",
        R"("24.12.2026";"x";"";"";"";"";"";"";"Christmas";"";"";"";"";"";"";"x";"";"-7";)"
        R"("Weekly";"2";"";"";"";"31.10.2027";"";"x";"";"";"";"";"";"x";"")",
        R"("25.10.2026";"";"23:00";"";"";"";"23:59";"";"Club";"";"x";"0";"m";"";"";"x";"3540";)"
        R"("0";"Monthly Day";"1";"";"";"";"";"";"";"";"";"";"";"";"";"5")"};
    EXPECT_EQ(ReadAll(rows), (std::vector<std::int32_t>{0, 0, 0}));
    m_vecRecords.pop_back();
    for (const bool bDateWithTime : {false, true}) {
        const std::string path = TempPath("roundtrip.csv");
        CCsvFormat out;
        out.SetSeparator(";");
        out.SetQuote("\"");
        out.SetDateWithTime(bDateWithTime);
        ASSERT_EQ(out.OpenWrite(path), STATUS_OK);
        for (const auto& p : m_vecRecords)
            EXPECT_EQ(m_options->m_layout.WriteFullRow(out, *p), STATUS_OK);
        EXPECT_EQ(out.CloseWrite(), STATUS_OK);
        if (!bDateWithTime) {
            EXPECT_EQ(ReadFileBytes(path), rows[0] + "\r\n" + rows[1] + "\r\n" + rows[2] + "\r\n");
        }
        const std::unique_ptr<CCsvFormat> pIn = OpenCsv(ReadFileBytes(path));
        for (const auto& p : m_vecRecords) {
            CAppointment read(m_options.get());
            ASSERT_EQ(m_options->m_layout.ReadFields(*pIn, read), STATUS_OK);
            // The duplicate test, then what it leaves aside.
            EXPECT_TRUE(p->IsSameAppointment(read)) << bDateWithTime;
            EXPECT_EQ(Values(read), Values(*p)) << bDateWithTime;
        }
    }
}

} // namespace
