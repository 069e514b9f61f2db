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

namespace {

class FieldReaderTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        m_options = std::make_unique<COptions>();
        m_options->m_strSeparator = ";";
    }

    // Reads the rows of a file made of the given lines (each ended by CR LF) with the
    // options' layout; gives the status of each row.
    std::vector<std::int32_t> ReadAll(const std::vector<std::string>& vecLines) {
        std::string bytes;
        for (const std::string& line : vecLines)
            bytes += line + "\r\n";
        const std::string path = TempPath("in.csv");
        WriteFileBytes(path, bytes);
        CCsvFormat format;
        format.SetSeparator(m_options->m_strSeparator);
        format.SetQuote(m_options->m_strQuote);
        EXPECT_EQ(format.OpenRead(path), STATUS_OK);
        std::vector<std::int32_t> results;
        m_vecRecords.clear();
        for (std::size_t i = 0; i < vecLines.size(); ++i) {
            auto appt = std::make_unique<CAppointment>(m_options.get());
            results.push_back(m_options->m_layout.ReadFields(format, *appt));
            m_vecRecords.push_back(std::move(appt));
        }
        CAppointment after(m_options.get());
        EXPECT_EQ(m_options->m_layout.ReadFields(format, after), STATUS_FAILED);
        (void)format.CloseRead();
        return results;
    }

    // One row with the given layout.
    std::int32_t ReadOne(std::vector<unsigned> vecFields, const std::string& line) {
        m_options->m_layout.SetSimpleFields(std::move(vecFields));
        const auto results = ReadAll({line});
        return results.empty() ? STATUS_FAILED : results.front();
    }

    const CAppointment& Record() const { return *m_vecRecords.at(0); }

    static TimeValue Today(int nHour, int nMinute) {
        return MakeLocalTimeValue(2026, 12, 5, nHour, nMinute);
    }

    // Made in SetUp, once the environment is pinned.
    std::unique_ptr<COptions> m_options;
    std::vector<std::unique_ptr<CAppointment>> m_vecRecords;
};

constexpr unsigned kDate = FIELD_DATE, kText = FIELD_TEXT;

TEST_F(FieldReaderTest, EmptyDateOrMissingRowEndsTheImport) {
    m_options->m_layout.RestoreDefault();
    std::string bytes = "\r\n";
    const std::string path = TempPath("empty.csv");
    WriteFileBytes(path, bytes);
    CCsvFormat format;
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    CAppointment appt(m_options.get());
    EXPECT_EQ(m_options->m_layout.ReadFields(format, appt), STATUS_FAILED) << "empty line";
    EXPECT_EQ(m_options->m_layout.ReadFields(format, appt), STATUS_FAILED) << "end of file";
}

TEST_F(FieldReaderTest, DateAndText) {
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\";\"Meet\""), STATUS_OK);
    EXPECT_EQ(Record().m_tDate, MakeLocalTimeValue(2026, 12, 7));
    EXPECT_EQ(Record().m_strText, "Meet");
    EXPECT_TRUE(Record().m_bUntimed) << "no times in the layout";

    EXPECT_EQ(ReadOne({kDate, kText}, "\"Date\";\"Text\""), IMPORT_INVALID_DATE);
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\";\"\""), IMPORT_NO_TEXT);
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\""), IMPORT_NO_TEXT) << "missing cell";
    EXPECT_EQ(ReadOne({kDate, kText}, "\"07.12.2026\";\"   \""), STATUS_OK);
    EXPECT_EQ(Record().m_strText, "   ");
    EXPECT_EQ(ReadOne({kText, kDate}, "\"T\";\"\""), STATUS_FAILED) << "empty date";
}

TEST_F(FieldReaderTest, TimesAreCompleted) {
    const std::vector<unsigned> times = {kDate, kText, FIELD_START_TIME, FIELD_END_TIME};
    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"09:00\";\"\""), STATUS_OK);
    EXPECT_FALSE(Record().m_bUntimed);
    EXPECT_EQ(Record().m_tStart, Today(9, 0));
    EXPECT_EQ(Record().m_tEnd, Today(10, 0)) << "default appointment length 60";

    m_options->m_nDefaultApptLength = 15;
    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"09:00\";\"\""), STATUS_OK);
    EXPECT_EQ(Record().m_tEnd, Today(9, 15));

    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"05.12.2026 09:00\";\"07.12.2026 11:45\""),
              STATUS_OK);
    EXPECT_EQ(Record().m_tStart, Today(9, 0));
    EXPECT_EQ(Record().m_tEnd, Today(11, 45));

    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"\";\"\""), STATUS_OK);
    EXPECT_TRUE(Record().m_bUntimed);
    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"\";\"10:00\""), IMPORT_INVALID_START_TIME);
    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"25:99\";\"\""), IMPORT_INVALID_START_TIME);
    EXPECT_EQ(ReadOne(times, "\"07.12.2026\";\"a\";\"09:00\";\"later\""), IMPORT_INVALID_END_TIME);
}

TEST_F(FieldReaderTest, TimeSpanDecidesTheEnd) {
    const std::vector<unsigned> layout = {kDate, kText, FIELD_START_TIME, FIELD_END_TIME,
                                          FIELD_TIME_SPAN};
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"09:00\";\"17:00\";\"5400\""), STATUS_OK);
    EXPECT_EQ(Record().m_tEnd, Today(10, 30));
    EXPECT_EQ(Record().m_tsDuration, 5400);

    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"\";\"\""), STATUS_OK);
    EXPECT_TRUE(Record().m_bUntimed);
    // An empty span marks the record untimed even with times; a later span undoes it.
    EXPECT_EQ(ReadOne({kDate, kText, FIELD_START_TIME, FIELD_TIME_SPAN},
                      "\"07.12.2026\";\"a\";\"09:00\";\"\""),
              STATUS_OK);
    EXPECT_TRUE(Record().m_bUntimed);
    EXPECT_EQ(ReadOne({kDate, kText, FIELD_UNTIMED, FIELD_START_TIME, FIELD_TIME_SPAN},
                      "\"07.12.2026\";\"a\";\"x\";\"09:00\";\"60\""),
              STATUS_OK);
    EXPECT_FALSE(Record().m_bUntimed);
    EXPECT_EQ(Record().m_tEnd, Today(9, 1));
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"09:00\";\"\";\"99999999999\""),
              IMPORT_INVALID_END_TIME);
}

TEST_F(FieldReaderTest, FlagsAndAlarm) {
    const std::vector<unsigned> layout = {kDate,           kText,         FIELD_UNTIMED,
                                          FIELD_ALARM,     FIELD_PRIVATE, FIELD_ALARM_TIME,
                                          FIELD_ALARM_UNIT};
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\" JA \";\"x\";\"nein\";\"2\";\" H \""),
              STATUS_OK);
    EXPECT_TRUE(Record().m_bUntimed);
    EXPECT_TRUE(Record().m_bAlarm);
    EXPECT_FALSE(Record().m_bPrivate);
    EXPECT_EQ(Record().m_nAlarmAdvance, 2);
    EXPECT_EQ(Record().m_nAlarmUnit, ALARM_HOURS);

    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"x\";\"\";\"2\";\"\""), STATUS_OK);
    EXPECT_FALSE(Record().m_bAlarm) << "an empty unit clears the alarm";
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"x\";\"\";\"2\";\"w\""),
              IMPORT_INVALID_ALARM_UNIT);
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"x\";\"\";\"-5\";\"D\""), STATUS_OK);
    EXPECT_EQ(Record().m_nAlarmAdvance, -5) << "no range test";
    EXPECT_EQ(Record().m_nAlarmUnit, ALARM_DAYS);
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"x\";\"\";\"4294967296\";\"m\""),
              IMPORT_INVALID_ALARM_TIME);
}

TEST_F(FieldReaderTest, TextFields) {
    const std::vector<unsigned> layout = {kDate,          kText,          FIELD_NOTE,
                                          FIELD_CATEGORY, FIELD_LOCATION, FIELD_RECORD_ID};
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\" a\nb \";\"x\ny\";\" Work \";\" R\n1 \";\"77\""),
              STATUS_OK);
    EXPECT_EQ(Record().m_strText, " a\r\nb ");
    EXPECT_EQ(Record().m_strNote, "x\r\ny");
    EXPECT_EQ(Record().m_strCategory, "Work");
    EXPECT_EQ(Record().m_strLocation, "R\r\n1");
    EXPECT_EQ(Record().m_nRecordId, 77);
    EXPECT_EQ(ReadOne(layout, "\"07.12.2026\";\"a\";\"\";\"\";\"\";\"12345678901\""),
              IMPORT_INVALID_ID);
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
    layout.SetSimpleFields({kDate, kText, FIELD_START_TIME, FIELD_REPEAT});
    layout.SetRepeatFields({FIELD_REPEAT_INTERVAL});
    const std::string path = TempPath("ownerless.csv");
    WriteFileBytes(path, "\"07.12.2026\";\"a\";\"09:00\";\"x\";\"0\"\r\n");
    CCsvFormat format;
    format.SetSeparator(";");
    format.SetQuote("\"");
    ASSERT_EQ(format.OpenRead(path), STATUS_OK);
    CAppointment appt(nullptr);
    EXPECT_EQ(layout.ReadFields(format, appt), IMPORT_INVALID_REPEAT_INTERVAL);
    EXPECT_EQ(appt.m_tEnd, Today(10, 0));
}

// Every field of a record written with WriteFullRow and read back with ReadFields.
void ExpectSameRecord(const CAppointment& read, const CAppointment& written) {
    EXPECT_TRUE(written.IsSameAppointment(read));
    EXPECT_EQ(read.m_tDate, written.m_tDate);
    EXPECT_EQ(read.m_bUntimed, written.m_bUntimed);
    if (!written.m_bUntimed) {
        EXPECT_TRUE(IsSameTimeOfDay(read.m_tStart, written.m_tStart));
        EXPECT_TRUE(IsSameTimeOfDay(read.m_tEnd, written.m_tEnd));
        EXPECT_EQ(read.m_tsDuration, written.m_tsDuration);
    }
    EXPECT_EQ(read.m_bPrivate, written.m_bPrivate);
    EXPECT_EQ(read.m_strText, written.m_strText);
    EXPECT_EQ(read.m_strNote, written.m_strNote);
    EXPECT_EQ(read.m_bAlarm, written.m_bAlarm);
    if (written.m_bAlarm) {
        EXPECT_EQ(read.m_nAlarmAdvance, written.m_nAlarmAdvance);
        EXPECT_EQ(read.m_nAlarmUnit, written.m_nAlarmUnit);
    }
    EXPECT_EQ(read.m_strCategory, written.m_strCategory);
    EXPECT_EQ(read.m_strLocation, written.m_strLocation);
    EXPECT_EQ(read.m_nRecordId, written.m_nRecordId);
    EXPECT_EQ(read.m_bRepeat, written.m_bRepeat);
    if (written.m_bRepeat) {
        EXPECT_EQ(read.m_repeat.m_nType, written.m_repeat.m_nType);
        EXPECT_EQ(read.m_repeat.m_nInterval, written.m_repeat.m_nInterval);
        EXPECT_EQ(read.m_repeat.m_tEnd, written.m_repeat.m_tEnd);
        EXPECT_EQ(read.m_repeat.m_byWeekdays, written.m_repeat.m_byWeekdays);
        EXPECT_EQ(read.m_repeat.m_nWeekIndex, written.m_repeat.m_nWeekIndex);
    }
}

TEST_F(FieldReaderTest, FullRowsReadBackIntoEqualRecords) {
    // Every field, the reserved and unknown ids among them, in both lists.
    std::vector<unsigned> simple;
    for (unsigned nId = 0; nId <= FIELD_RECORD_ID; ++nId)
        simple.push_back(nId);
    simple.insert(simple.begin() + 3, {16, FIELD_IGNORED, 57});
    std::vector<unsigned> repeat;
    for (unsigned nId = FIELD_REPEAT_TYPE; nId <= FIELD_MONTHLY_WEEK_INDEX; ++nId)
        repeat.push_back(nId);
    repeat.insert(repeat.begin() + 2, {19, FIELD_IGNORED, 33});

    for (const bool bDateWithTime : {false, true}) {
        m_options->m_layout.SetSimpleFields(simple);
        m_options->m_layout.SetRepeatFields(repeat);
        std::vector<std::unique_ptr<CAppointment>> written;
        auto add = [&]() -> CAppointment& {
            written.push_back(std::make_unique<CAppointment>(m_options.get()));
            return *written.back();
        };
        CAppointment& timed = add();
        timed.m_tDate = MakeLocalTimeValue(2026, 3, 29); // the day summer time begins
        timed.m_tStart = MakeLocalTimeValue(2026, 3, 29, 9, 30);
        timed.m_tEnd = MakeLocalTimeValue(2026, 3, 29, 11, 0);
        timed.m_tsDuration = 5400;
        timed.m_strText = "Budget; \"final\" round";
        timed.m_strNote = "Line 1\r\nLine 2\r\n";
        timed.m_bPrivate = true;
        timed.m_bAlarm = true;
        timed.m_nAlarmAdvance = 2;
        timed.m_nAlarmUnit = ALARM_HOURS;
        timed.m_strCategory = "Business";
        timed.m_strLocation = "Room 4";
        timed.m_nRecordId = 12345;

        CAppointment& weekly = add();
        weekly.m_tDate = MakeLocalTimeValue(2026, 12, 24);
        weekly.m_bUntimed = true;
        weekly.m_strText = "Christmas";
        weekly.m_bRepeat = true;
        weekly.m_repeat.m_nType = REPEAT_WEEKLY;
        weekly.m_repeat.m_nInterval = 2;
        weekly.m_repeat.m_byWeekdays = 0x41;
        weekly.m_repeat.m_tEnd = MakeLocalTimeValue(2027, 10, 31);
        weekly.m_nRecordId = -7;

        CAppointment& monthly = add();
        monthly.m_tDate = MakeLocalTimeValue(2026, 10, 25);
        monthly.m_tStart = MakeLocalTimeValue(2026, 10, 25, 23, 0);
        monthly.m_tEnd = MakeLocalTimeValue(2026, 10, 25, 23, 59);
        monthly.m_tsDuration = 3540;
        monthly.m_strText = "Club";
        monthly.m_bAlarm = true;
        monthly.m_nAlarmAdvance = 0;
        monthly.m_nAlarmUnit = ALARM_MINUTES;
        monthly.m_bRepeat = true;
        monthly.m_repeat.m_nType = REPEAT_MONTHLY_BY_DAY;
        monthly.m_repeat.m_nInterval = 1;
        monthly.m_repeat.m_nWeekIndex = 5;

        m_options->m_bDateWithTime = bDateWithTime;
        const std::string path = TempPath("roundtrip.csv");
        {
            CCsvFormat out;
            out.SetSeparator(";");
            out.SetQuote("\"");
            out.SetDateWithTime(bDateWithTime);
            ASSERT_EQ(out.OpenWrite(path), STATUS_OK);
            EXPECT_EQ(m_options->m_layout.WriteFullHeader(out), STATUS_OK);
            for (const auto& p : written)
                EXPECT_EQ(m_options->m_layout.WriteFullRow(out, *p), STATUS_OK);
            EXPECT_EQ(out.CloseWrite(), STATUS_OK);
        }
        CCsvFormat in;
        in.SetSeparator(";");
        in.SetQuote("\"");
        ASSERT_EQ(in.OpenRead(path), STATUS_OK);
        CAppointment read(m_options.get());
        EXPECT_EQ(m_options->m_layout.ReadFields(in, read), IMPORT_INVALID_DATE) << "header";
        for (const auto& p : written) {
            read.Reset();
            ASSERT_EQ(m_options->m_layout.ReadFields(in, read), STATUS_OK);
            ExpectSameRecord(read, *p);
        }
        read.Reset();
        EXPECT_EQ(m_options->m_layout.ReadFields(in, read), STATUS_FAILED);
    }
}

} // namespace
