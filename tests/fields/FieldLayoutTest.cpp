// The field catalogue, the layout lists and their registry form, list boxes and the
// add-field menu, and the cell the writer produces for each field.
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

class FieldLayoutTest : public CVarnoTest {};

TEST_F(FieldLayoutTest, DefaultLayoutAndNames) {
    CFieldLayout layout;
    std::vector<unsigned> simple(13), repeat(12);
    std::iota(simple.begin(), simple.end(), 0u);
    std::iota(repeat.begin(), repeat.end(), 20u);
    EXPECT_EQ(layout.GetSimpleFields(), simple);
    EXPECT_EQ(layout.GetRepeatFields(), repeat);
    const std::pair<unsigned, std::string> names[] = {
        {FIELD_DATE, "Date"},
        {FIELD_RECORD_ID, "Record ID"},
        {17, "Dummy"},
        {FIELD_MONTHLY_WEEK_INDEX, "Monthly Week Index"},
        {FIELD_IGNORED, "(Ignored)"},
        // Beyond the catalogue: whatever the table holds there.
        {33, ""},
        {40, LoadResourceString(32861)},
        {0xFFFFFFFFu, ""},
    };
    for (const auto& [nId, name] : names)
        EXPECT_EQ(CFieldLayout::GetFieldName(nId), name) << nId;

    layout.SetSimpleFields({});
    layout.SetRepeatFields({5});
    layout.RestoreDefault();
    EXPECT_TRUE(layout.IsEqual(CFieldLayout()));
}

TEST_F(FieldLayoutTest, EditingTheSimpleListAndComparing) {
    CFieldLayout layout;
    layout.AddSimpleField(FIELD_IGNORED);
    layout.RemoveSimpleField(0);
    layout.RemoveSimpleField(99);
    layout.RemoveSimpleField(-1);
    EXPECT_EQ(layout.GetSimpleCount(), 13);
    EXPECT_EQ(layout.GetSimpleField(0), FIELD_UNTIMED);
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
    using Item = std::pair<std::string, std::uint32_t>;
    EXPECT_EQ(box.m_vecItems, (std::vector<Item>{{"Text", 5}, {"(Ignored)", 32}, {"", 34}}));

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

TEST_F(FieldLayoutTest, RegistryForms) {
    CFieldLayout saved;
    saved.SetSimpleFields({FIELD_TEXT, FIELD_DATE, FIELD_IGNORED, FIELD_IGNORED, 17});
    saved.SetRepeatFields({FIELD_REPEAT_TYPE, 45});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "numsimplefields", -1), 5);
    EXPECT_EQ(ReadRegDword(kKey, "repeatfield1", -1), 45);
    CFieldLayout loaded;
    loaded.Load(kKey);
    EXPECT_TRUE(loaded.IsEqual(saved));

    // A shorter list leaves the old values behind; the count decides.
    saved.SetSimpleFields({FIELD_NOTE, FIELD_TEXT, FIELD_DATE});
    saved.Save(kKey);
    EXPECT_EQ(ReadRegDword(kKey, "simplefield4", -1), 17);
    loaded.Load(kKey);
    EXPECT_EQ(loaded.GetSimpleFields(), saved.GetSimpleFields());

    // A missing or damaged field value reads as "(Ignored)".
    WriteRegDword(kKey, "simplefield0", 7);
    WriteRegString(kKey, "simplefield1", "not a number");
    WriteRegDword(kKey, "simplefield2", 9);
    loaded.Load(kKey);
    EXPECT_EQ(loaded.GetSimpleFields(), (std::vector<unsigned>{7, FIELD_IGNORED, 9}));
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
    appt.m_bPrivate = appt.m_bAlarm = appt.m_bRepeat = true;
    appt.m_strText = "Text";
    appt.m_strNote = "Note";
    appt.m_nAlarmAdvance = 2;
    appt.m_nAlarmUnit = ALARM_HOURS;
    appt.m_strCategory = "Cat";
    appt.m_strLocation = "Loc";
    appt.m_nRecordId = 12345;
    appt.m_repeat.m_nType = REPEAT_WEEKLY;
    appt.m_repeat.m_nInterval = 2;
    appt.m_repeat.m_byWeekdays = 0x12; // Monday, Thursday
    appt.m_repeat.m_nWeekIndex = 3;
    appt.m_repeat.m_tEnd = MakeLocalTimeValue(2027, 3, 31);
    appt.m_strExceptions = "01.01.2027";

    // Fields 0 to 33 and one far beyond, each in the cell of its kind; times on the
    // record's day; the exception dates as they stand; reserved, ignored and unknown
    // fields empty.
    const std::string date = "D:" + std::to_string(appt.m_tDate);
    const std::string start = "M:" + std::to_string(MakeLocalTimeValue(2026, 12, 7, 9, 0));
    const std::string end = "M:" + std::to_string(MakeLocalTimeValue(2026, 12, 7, 10, 30));
    const std::string until = "D:" + std::to_string(appt.m_repeat.m_tEnd);
    const std::vector<std::string> expected = {
        date,  "T:",    start,      end,   "T:x",    "T:Text",       "T:Note", "T:x", "I:2",
        "T:h", "T:Cat", "T:Loc",    "T:x", "S:5400", "T:12345",      "T:",     "T:",  "T:",
        "T:",  "T:",    "T:Weekly", "I:2", until,    "T:01.01.2027", "T:",     "T:x", "T:",
        "T:",  "T:x",   "T:",       "T:",  "T:",     "T:",           "T:",     "T:"};
    std::vector<unsigned> ids(34);
    std::iota(ids.begin(), ids.end(), 0u);
    ids.push_back(1000000);
    CRecordingFormat format;
    for (const unsigned nId : ids)
        EXPECT_EQ(options.m_layout.WriteField(format, appt, nId), STATUS_OK);
    EXPECT_EQ(format.m_vecCells, expected);
}

// Untimed records, a clear alarm, weekdays and week index outside their repeat types are
// written empty: FieldReaderTest's full rows show them. Here the names of units and types.
// A header row of field names gives the columns; any other row, or one without a date
// before the repeat fields, gives none. Repeat fields follow the first one named.
TEST_F(FieldLayoutTest, LayoutFromAHeaderOfFieldNames) {
    using Ids = std::vector<unsigned>;
    CFieldLayout layout;
    layout.SetRepeatFields({FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL});
    const struct {
        std::vector<std::string> m_vecCells;
        bool m_bNamed;
        Ids m_simple, m_repeat;
    } cases[] = {
        {{"Text", " date ", "(IGNORED)", "Dummy", "Record ID", "", ""},
         true,
         {FIELD_TEXT, FIELD_DATE, FIELD_IGNORED, FIELD_RESERVED_FIRST, FIELD_RECORD_ID},
         {FIELD_REPEAT_TYPE, FIELD_REPEAT_INTERVAL}},
        {{"Date", "Text", "Repeat", "Exceptions", "Note", "Repeat Type"},
         true,
         {FIELD_DATE, FIELD_TEXT, FIELD_REPEAT},
         {FIELD_EXCEPTIONS, FIELD_NOTE, FIELD_REPEAT_TYPE}},
        {{"Date", "", "Text"}, false, {}, {}},
        {{"Date", "Subject"}, false, {}, {}},
        {{"Text", "Repeat Type", "Date"}, false, {}, {}},
        {{}, false, {}, {}},
    };
    for (const auto& c : cases) {
        CFieldLayout out;
        out.SetSimpleFields({FIELD_NOTE});
        ASSERT_EQ(layout.LayoutFromHeader(c.m_vecCells, out), c.m_bNamed) << c.m_vecCells.size();
        if (!c.m_bNamed) {
            EXPECT_EQ(out.GetSimpleFields(), Ids{FIELD_NOTE});
            continue;
        }
        EXPECT_EQ(out.GetSimpleFields(), c.m_simple);
        EXPECT_EQ(out.GetRepeatFields(), c.m_repeat);
    }
}

TEST_F(FieldLayoutTest, UnitAndTypeNames) {
    COptions options;
    CAppointment appt(&options);
    appt.m_bAlarm = true;
    CRecordingFormat format;
    for (const std::int32_t nUnit :
         {std::int32_t{ALARM_DAYS}, std::int32_t{ALARM_HOURS}, std::int32_t{ALARM_MINUTES}, 7}) {
        appt.m_nAlarmUnit = nUnit;
        EXPECT_EQ(options.m_layout.WriteField(format, appt, FIELD_ALARM_UNIT), STATUS_OK);
    }
    for (const std::int32_t nType : {1, 2, 3, 4, 5, 9}) {
        appt.m_repeat.m_nType = nType;
        EXPECT_EQ(options.m_layout.WriteField(format, appt, FIELD_REPEAT_TYPE), STATUS_OK);
    }
    EXPECT_EQ(format.m_vecCells,
              (std::vector<std::string>{"T:d", "T:h", "T:m", "T:", "T:Daily", "T:Weekly",
                                        "T:Monthly Day", "T:Monthly Date", "T:Yearly", "T:"}));
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
    const std::pair<const char*, const char*> cases[] = {{"a\nb", "a\r\nb"},
                                                         {"a\r\nb", "a\r\r\nb"},
                                                         {"\n\n", "\r\n\r\n"},
                                                         {"a\rb", "a\rb"},
                                                         {"", ""}};
    // Also into a string that held a longer text before.
    std::string reused = "left over from the row before\n\n\n";
    for (const auto& [pszCell, pszText] : cases) {
        EXPECT_EQ(ImportText(pszCell), pszText);
        AssignImportText(pszCell, reused);
        EXPECT_EQ(reused, pszText);
    }
}

} // namespace
