// The field catalogue, the layout lists and their registry form, list boxes and the
// add-field menu, and the cells the writer produces for each field.
#include "fields/FieldLayout.h"

#include "model/Appointment.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "tests/fields/FieldFakes.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

const char* const kKey = "Software\\Brenmark\\VARNO\\LayoutTest";

std::vector<unsigned> Range(unsigned nFirst, unsigned nLast) {
    std::vector<unsigned> v(nLast - nFirst + 1);
    std::iota(v.begin(), v.end(), nFirst);
    return v;
}

class FieldLayoutTest : public CVarnoTest {};

TEST_F(FieldLayoutTest, DefaultLayoutAndNames) {
    CFieldLayout layout;
    EXPECT_EQ(layout.GetSimpleFields(), Range(0, 12));
    EXPECT_EQ(layout.GetRepeatFields(), Range(20, 31));
    EXPECT_EQ(CFieldLayout::GetFieldName(FIELD_DATE), "Date");
    EXPECT_EQ(CFieldLayout::GetFieldName(FIELD_RECORD_ID), "Record ID");
    EXPECT_EQ(CFieldLayout::GetFieldName(17), "Dummy");
    EXPECT_EQ(CFieldLayout::GetFieldName(FIELD_MONTHLY_WEEK_INDEX), "Monthly Week Index");
    EXPECT_EQ(CFieldLayout::GetFieldName(FIELD_IGNORED), "(Ignored)");
    // Beyond the catalogue: whatever the table holds there.
    EXPECT_EQ(CFieldLayout::GetFieldName(33), "");
    EXPECT_EQ(CFieldLayout::GetFieldName(40), LoadResourceString(32861));
    EXPECT_EQ(CFieldLayout::GetFieldName(0xFFFFFFFFu), "");

    layout.SetSimpleFields({});
    layout.SetRepeatFields({5});
    layout.RestoreDefault();
    EXPECT_TRUE(layout.IsEqual(CFieldLayout()));
}

TEST_F(FieldLayoutTest, EditingTheSimpleList) {
    CFieldLayout layout;
    layout.AddSimpleField(FIELD_IGNORED);
    layout.AddSimpleField(FIELD_IGNORED);
    EXPECT_EQ(layout.GetSimpleCount(), 15);
    layout.RemoveSimpleField(0);
    EXPECT_EQ(layout.GetSimpleField(0), FIELD_UNTIMED);
    layout.RemoveSimpleField(99);
    layout.RemoveSimpleField(-1);
    EXPECT_EQ(layout.GetSimpleCount(), 14);
    layout.GetSimpleField(0) = FIELD_TEXT;
    EXPECT_EQ(layout.GetSimpleFields().front(), FIELD_TEXT);

    CFieldLayout other;
    EXPECT_FALSE(layout.IsEqual(other));
    other = layout;
    EXPECT_TRUE(layout.IsEqual(other));
    other.SetRepeatFields({20, 21});
    EXPECT_FALSE(layout.IsEqual(other));
}

TEST_F(FieldLayoutTest, ListBoxesCarryIdsInDisplayOrder) {
    CFieldLayout layout;
    layout.SetSimpleFields({FIELD_TEXT, FIELD_IGNORED, 34});
    CFakeListBox box;
    box.AddItem("stale", 99);
    layout.FillSimpleList(box);
    ASSERT_EQ(box.m_vecItems.size(), 3u);
    EXPECT_EQ(box.m_vecItems[0], (std::pair<std::string, std::uint32_t>("Text", 5)));
    EXPECT_EQ(box.m_vecItems[1], (std::pair<std::string, std::uint32_t>("(Ignored)", 32)));
    EXPECT_EQ(box.m_vecItems[2], (std::pair<std::string, std::uint32_t>("", 34)));

    // The user drags the last item to the top.
    std::rotate(box.m_vecItems.rbegin(), box.m_vecItems.rbegin() + 1, box.m_vecItems.rend());
    layout.ReadSimpleList(box);
    EXPECT_EQ(layout.GetSimpleFields(), (std::vector<unsigned>{34, FIELD_TEXT, FIELD_IGNORED}));

    CFakeListBox repeatBox;
    layout.FillRepeatList(repeatBox);
    EXPECT_EQ(repeatBox.GetCount(), 12);
    EXPECT_EQ(repeatBox.m_vecItems[4].first, "Weekly Sunday");
    std::swap(repeatBox.m_vecItems[0], repeatBox.m_vecItems[11]);
    layout.ReadRepeatList(repeatBox);
    EXPECT_EQ(layout.GetRepeatFields().front(), FIELD_MONTHLY_WEEK_INDEX);
    EXPECT_EQ(layout.GetRepeatFields().back(), FIELD_REPEAT_TYPE);
}

TEST_F(FieldLayoutTest, AddFieldMenuOffersMissingFieldsAndIgnored) {
    CFieldLayout layout;
    CFakeMenu menu;
    layout.BuildAddFieldMenu(menu);
    using Item = std::pair<std::string, unsigned>;
    EXPECT_EQ(menu.m_vecItems,
              (std::vector<Item>{{"Time Span", 1013}, {"Record ID", 1014}, {"(Ignored)", 1032}}));

    layout.SetSimpleFields({FIELD_IGNORED, FIELD_IGNORED});
    CFakeMenu full;
    layout.BuildAddFieldMenu(full);
    ASSERT_EQ(full.m_vecItems.size(), 16u);
    for (unsigned nId = 0; nId <= 14; ++nId)
        EXPECT_EQ(full.m_vecItems[nId], Item(CFieldLayout::GetFieldName(nId), 1000 + nId));
    EXPECT_EQ(full.m_vecItems.back(), Item("(Ignored)", 1032));

    // Picking a field takes it off the menu; "(Ignored)" stays.
    layout.AddSimpleField(full.m_vecItems[3].second - kAddFieldCommandBase);
    CFakeMenu after;
    layout.BuildAddFieldMenu(after);
    EXPECT_EQ(after.m_vecItems.size(), 15u);
    EXPECT_EQ(after.m_vecItems[3].first, "Private");
}

TEST_F(FieldLayoutTest, RegistryRoundTripAndStoredForms) {
    CFieldLayout saved;
    saved.SetSimpleFields({FIELD_TEXT, FIELD_DATE, FIELD_IGNORED, FIELD_IGNORED, 17});
    saved.SetRepeatFields({FIELD_REPEAT_TYPE, 45});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "numsimplefields", -1), 5);
    EXPECT_EQ(ReadRegDword(kKey, "simplefield4", -1), 17);
    EXPECT_EQ(ReadRegDword(kKey, "repeatfield1", -1), 45);

    CFieldLayout loaded;
    loaded.Load(kKey);
    EXPECT_TRUE(loaded.IsEqual(saved));

    // A shorter list leaves the old values behind; the count decides.
    saved.SetSimpleFields({FIELD_NOTE, FIELD_TEXT, FIELD_DATE});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "simplefield3", -1), FIELD_IGNORED);
    EXPECT_EQ(ReadRegDword(kKey, "simplefield4", -1), 17);
    CFieldLayout shorter;
    shorter.Load(kKey);
    EXPECT_EQ(shorter.GetSimpleFields(), saved.GetSimpleFields());

    // A missing field value reads as "(Ignored)".
    WriteRegDword(kKey, "numsimplefields", 3);
    WriteRegDword(kKey, "simplefield0", 7);
    WriteRegDword(kKey, "simplefield2", 9);
    WriteRegString(kKey, "simplefield1", "not a number");
    CFieldLayout gap;
    gap.Load(kKey);
    EXPECT_EQ(gap.GetSimpleFields(), (std::vector<unsigned>{7, FIELD_IGNORED, 9}));
}

TEST_F(FieldLayoutTest, EmptyOrDamagedCountsKeepTheCurrentList) {
    const CFieldLayout defaults;
    CFieldLayout layout;
    layout.Load("Software\\Brenmark\\VARNO\\Missing");
    EXPECT_TRUE(layout.IsEqual(defaults));

    CFieldLayout empty;
    empty.SetSimpleFields({});
    empty.SetRepeatFields({});
    empty.Save(kKey);
    layout.Load(kKey);
    EXPECT_TRUE(layout.IsEqual(defaults)) << "an empty list never survives save and load";

    WriteRegDword(kKey, "numsimplefields", -3);
    layout.Load(kKey);
    EXPECT_TRUE(layout.IsEqual(defaults));

    // A huge count reads a bounded number of fields instead of running for hours.
    WriteRegDword(kKey, "numsimplefields", 0x7FFFFFFF);
    layout.Load(kKey);
    EXPECT_EQ(layout.GetSimpleCount(), 1000);
}

// Writing: which format operation each field uses and with what value.
TEST_F(FieldLayoutTest, WriteFieldCellPerField) {
    COptions options;
    CAppointment appt(&options);
    appt.m_tDate = MakeLocalTimeValue(2026, 12, 7);
    appt.m_tStart = MakeLocalTimeValue(2026, 11, 2, 9, 0);
    appt.m_tEnd = MakeLocalTimeValue(2026, 11, 2, 10, 30);
    appt.m_tsDuration = 5400;
    appt.m_bPrivate = true;
    appt.m_strText = "Text";
    appt.m_strNote = "Note";
    appt.m_bAlarm = true;
    appt.m_nAlarmAdvance = 2;
    appt.m_nAlarmUnit = ALARM_HOURS;
    appt.m_strCategory = "Cat";
    appt.m_strLocation = "Loc";
    appt.m_bRepeat = true;
    appt.m_nRecordId = 12345;
    appt.m_repeat.m_nType = REPEAT_WEEKLY;
    appt.m_repeat.m_nInterval = 2;
    appt.m_repeat.m_byWeekdays = 0x12; // Monday, Thursday
    appt.m_repeat.m_nWeekIndex = 3;
    appt.m_repeat.m_tEnd = MakeLocalTimeValue(2027, 3, 31);
    appt.m_strExceptions = "01.01.2027";

    const std::string start = std::to_string(MakeLocalTimeValue(2026, 12, 7, 9, 0));
    const std::string end = std::to_string(MakeLocalTimeValue(2026, 12, 7, 10, 30));
    const std::vector<std::pair<unsigned, std::string>> cases = {
        {FIELD_DATE, "D:" + std::to_string(appt.m_tDate)},
        {FIELD_UNTIMED, "T:"},
        {FIELD_START_TIME, "M:" + start},
        {FIELD_END_TIME, "M:" + end},
        {FIELD_PRIVATE, "T:x"},
        {FIELD_TEXT, "T:Text"},
        {FIELD_NOTE, "T:Note"},
        {FIELD_ALARM, "T:x"},
        {FIELD_ALARM_TIME, "I:2"},
        {FIELD_ALARM_UNIT, "T:h"},
        {FIELD_CATEGORY, "T:Cat"},
        {FIELD_LOCATION, "T:Loc"},
        {FIELD_REPEAT, "T:x"},
        {FIELD_TIME_SPAN, "S:5400"},
        {FIELD_RECORD_ID, "T:12345"},
        {15, "T:"},
        {19, "T:"},
        {FIELD_REPEAT_TYPE, "T:Weekly"},
        {FIELD_REPEAT_INTERVAL, "I:2"},
        {FIELD_REPEAT_END_DATE, "D:" + std::to_string(appt.m_repeat.m_tEnd)},
        {FIELD_EXCEPTIONS, "T:"},
        {FIELD_WEEKLY_SUNDAY, "T:"},
        {FIELD_WEEKLY_MONDAY, "T:x"},
        {FIELD_WEEKLY_TUESDAY, "T:"},
        {FIELD_WEEKLY_WEDNESDAY, "T:"},
        {FIELD_WEEKLY_THURSDAY, "T:x"},
        {FIELD_WEEKLY_FRIDAY, "T:"},
        {FIELD_WEEKLY_SATURDAY, "T:"},
        {FIELD_MONTHLY_WEEK_INDEX, "T:"},
        {FIELD_IGNORED, "T:"},
        {33, "T:"},
        {1000000, "T:"},
    };
    for (const auto& [nId, strExpected] : cases) {
        CRecordingFormat format;
        EXPECT_EQ(options.m_layout.WriteField(format, appt, nId), STATUS_OK);
        ASSERT_EQ(format.m_vecCells.size(), 1u) << "field " << nId;
        EXPECT_EQ(format.m_vecCells[0], strExpected) << "field " << nId;
    }
}

TEST_F(FieldLayoutTest, WriteFieldDependsOnTheRecordState) {
    COptions options;
    CAppointment appt(&options);
    const CFieldLayout& layout = options.m_layout;
    auto cell = [&](unsigned nId) {
        CRecordingFormat format;
        (void)layout.WriteField(format, appt, nId);
        return format.m_vecCells.at(0);
    };

    // Untimed: no times, no span.
    appt.m_bUntimed = true;
    appt.m_tsDuration = 3600;
    EXPECT_EQ(cell(FIELD_UNTIMED), "T:x");
    EXPECT_EQ(cell(FIELD_START_TIME), "T:");
    EXPECT_EQ(cell(FIELD_END_TIME), "T:");
    EXPECT_EQ(cell(FIELD_TIME_SPAN), "T:");

    // The alarm clear hides whatever advance and unit are stored; unknown units are empty.
    appt.m_nAlarmAdvance = 15;
    appt.m_nAlarmUnit = ALARM_DAYS;
    EXPECT_EQ(cell(FIELD_ALARM_TIME), "T:");
    EXPECT_EQ(cell(FIELD_ALARM_UNIT), "T:");
    appt.m_bAlarm = true;
    EXPECT_EQ(cell(FIELD_ALARM_UNIT), "T:d");
    appt.m_nAlarmUnit = ALARM_MINUTES;
    EXPECT_EQ(cell(FIELD_ALARM_UNIT), "T:m");
    appt.m_nAlarmUnit = 7;
    EXPECT_EQ(cell(FIELD_ALARM_UNIT), "T:");

    // Weekday cells only for weekly repeats, the week index only for monthly by day.
    appt.m_repeat.m_byWeekdays = 0x7F;
    appt.m_repeat.m_nWeekIndex = 5;
    appt.m_repeat.m_nType = REPEAT_DAILY;
    EXPECT_EQ(cell(FIELD_WEEKLY_MONDAY), "T:");
    EXPECT_EQ(cell(FIELD_MONTHLY_WEEK_INDEX), "T:");
    EXPECT_EQ(cell(FIELD_REPEAT_TYPE), "T:Daily");
    appt.m_repeat.m_nType = REPEAT_MONTHLY_BY_DAY;
    EXPECT_EQ(cell(FIELD_MONTHLY_WEEK_INDEX), "I:5");
    EXPECT_EQ(cell(FIELD_REPEAT_TYPE), "T:Monthly Day");
    appt.m_repeat.m_nType = REPEAT_MONTHLY_BY_DATE;
    EXPECT_EQ(cell(FIELD_REPEAT_TYPE), "T:Monthly Date");
    appt.m_repeat.m_nType = REPEAT_YEARLY;
    EXPECT_EQ(cell(FIELD_REPEAT_TYPE), "T:Yearly");
    appt.m_repeat.m_nType = 9;
    EXPECT_EQ(cell(FIELD_REPEAT_TYPE), "T:");

    // No end of repetition, negative record ids.
    appt.m_repeat.m_tEnd = 0;
    EXPECT_EQ(cell(FIELD_REPEAT_END_DATE), "T:");
    appt.m_nRecordId = -42;
    EXPECT_EQ(cell(FIELD_RECORD_ID), "T:-42");
}

TEST_F(FieldLayoutTest, RowsAndHeaders) {
    COptions options;
    const CFieldLayout& layout = options.m_layout;
    CAppointment appt(&options);
    appt.m_strText = "x";

    CRecordingFormat header;
    EXPECT_EQ(layout.WriteFullHeader(header), STATUS_OK);
    ASSERT_EQ(header.m_vecCells.size(), 26u);
    EXPECT_EQ(header.m_vecCells[12], "T:Repeat");
    EXPECT_EQ(header.m_vecCells[13], "T:Repeat Type");
    EXPECT_EQ(header.m_vecCells[25], "|");

    CRecordingFormat simpleHeader;
    EXPECT_EQ(layout.WriteSimpleHeader(simpleHeader), STATUS_OK);
    EXPECT_EQ(simpleHeader.m_vecCells.size(), 14u);

    CRecordingFormat rows;
    EXPECT_EQ(layout.WriteFullRow(rows, appt), STATUS_OK);
    EXPECT_EQ(rows.m_vecCells.size(), 14u) << "a single appointment: simple cells only";
    appt.m_bRepeat = true;
    EXPECT_EQ(layout.WriteFullRow(rows, appt), STATUS_OK);
    EXPECT_EQ(rows.m_vecCells.size(), 14u + 26u);
    EXPECT_EQ(layout.WriteSimpleRow(rows, appt), STATUS_OK);
    EXPECT_EQ(rows.m_vecCells.size(), 14u + 26u + 14u) << "the simple row never repeats";
}

TEST(FieldText, ParseFlag) {
    CTestHome home;
    SetCodePage(1252);
    for (const char* psz : {"x", "X", "Yes", "JA", "1", "true", " TRUE ", "n", "2", "-"})
        EXPECT_TRUE(ParseFlag(psz)) << psz;
    for (const char* psz : {"", "   ", "0", "No", "nein", "NEIN", "false", "\tFalse\r\n", " no "})
        EXPECT_FALSE(ParseFlag(psz)) << psz;
}

TEST(FieldText, ImportTextRestoresLineBreaks) {
    EXPECT_EQ(ImportText("a\nb"), "a\r\nb");
    EXPECT_EQ(ImportText("a\r\nb"), "a\r\r\nb");
    EXPECT_EQ(ImportText("\n\n"), "\r\n\r\n");
    EXPECT_EQ(ImportText("a\rb"), "a\rb");
    EXPECT_EQ(ImportText(""), "");
}

} // namespace
