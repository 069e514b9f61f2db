// The options record: defaults, registry round trips, comparison, the export date range
// across daylight-saving changes, and the host user's name.
#include "settings/Options.h"

#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComError.h"
#include "platform/com/ComObject.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/registry/Registry.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>

namespace {

const char* const kKey = "Software\\Brenmark\\VARNO\\OptionsTest";

class OptionsTest : public CVarnoTest {};

// Every persisted value, the title included (IsSameAs leaves it out).
void ExpectSameValues(const COptions& a, const COptions& b) {
    EXPECT_TRUE(a.IsSameAs(b));
    EXPECT_EQ(a.m_strSetTitle, b.m_strSetTitle);
    EXPECT_EQ(a.m_layout.GetOwner(), &a);
}

// A record with no default left.
void ChangeEverything(COptions& options) {
    options.m_nMinSize = 4096;
    options.m_bNoDuplicates = 0;
    options.m_bFullFormat = 0;
    options.m_bIgnoreImportErrors = 2; // flags keep their number
    options.m_bExportNoCr = 1;
    options.m_nDaysAhead = -3;
    options.m_nDaysBack = 365;
    options.m_nDefaultApptLength = 999;
    options.m_strSeparator = "\t";
    options.m_strQuote = "'";
    options.m_strExceptionDateSeparator = ",";
    options.m_strLastFile = "/home/user/Documents/Termine \xE4.csv";
    options.m_bDateWithTime = 1;
    options.m_bUseCategories = -1;
    options.m_strSetTitle = "Export for Jo";
    options.m_filter.AddRow();
    options.m_filter.AddRow();
    options.m_filter.SetRow(0, 3, "call", 1);
    options.m_filter.SetRow(1, 7, "Personal", 0);
    options.m_layout.SetSimpleFields({FIELD_TEXT, FIELD_DATE, FIELD_IGNORED, FIELD_RECORD_ID});
    options.m_layout.SetRepeatFields({FIELD_MONTHLY_WEEK_INDEX, FIELD_REPEAT_TYPE});
}

TEST_F(OptionsTest, DefaultsAndSetDefaults) {
    const COptions o;
    EXPECT_EQ(std::tuple(o.m_nMinSize, o.m_bNoDuplicates, o.m_bFullFormat, o.m_bIgnoreImportErrors,
                         o.m_bExportNoCr, o.m_nDaysAhead, o.m_nDaysBack, o.m_nDefaultApptLength,
                         o.m_bDateWithTime, o.m_bUseCategories),
              std::tuple(1000, 1, 1, 0, 0, 30, 10, 60, 0, 0));
    EXPECT_EQ(o.m_strSeparator + o.m_strQuote + o.m_strExceptionDateSeparator, ";\" ");
    EXPECT_EQ(o.m_strLastFile + o.m_strSetTitle, "");

    // SetDefaults leaves the layouts and the filter alone.
    COptions changed;
    ChangeEverything(changed);
    changed.SetDefaults();
    EXPECT_EQ(changed.m_nDaysBack, 10);
    EXPECT_EQ(changed.m_filter.GetRowCount(), 2);
    EXPECT_EQ(changed.m_layout.GetSimpleCount(), 4);
}

TEST_F(OptionsTest, SeparatorFollowsTheRegionalListSeparator) {
    SetRegional("en-US");
    EXPECT_EQ(COptions().m_strSeparator, ",");
    // What a buffer of 10 characters holds.
    WriteRegString(kInternationalKey, "sList", "abcdefghijkl");
    EXPECT_EQ(COptions().m_strSeparator, "abcdefghi");
    // Under UTF-8 the cut keeps whole characters.
    SetCodePage(65001);
    WriteRegString(kInternationalKey, "sList", "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4");
    EXPECT_EQ(COptions().m_strSeparator, "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4");
}

TEST_F(OptionsTest, SaveAndLoadPreserveEverything) {
    COptions loaded;
    loaded.Load();
    ExpectSameValues(loaded, COptions());
    CRegKey key;
    EXPECT_NE(key.Open(ERegHive::CurrentUser, kOptionsKey), REG_STATUS_OK)
        << "reads create nothing";

    COptions saved;
    ChangeEverything(saved);
    saved.Save();
    loaded.Load();
    ExpectSameValues(loaded, saved);
    // Copies own their layout.
    const COptions copy(saved);
    ExpectSameValues(copy, saved);
    loaded = saved;
    ExpectSameValues(loaded, saved);

    // The values in the order they are saved.
    ASSERT_EQ(key.Open(ERegHive::CurrentUser, kOptionsKey), REG_STATUS_OK);
    std::istringstream names(
        "minsize noduplicates fullformat separator ignoreimporterrors exportnocr daysahead "
        "daysback defaultapptlength quote exceptiondateseparator lastfile datewithtime "
        "usecategories settitle filtercount filtertype0 filtertext0 filterop0 filtertype1 "
        "filtertext1 numsimplefields simplefield0 simplefield1 simplefield2 simplefield3 "
        "numrepeatfields repeatfield0 repeatfield1");
    EXPECT_EQ(key.ValueNames(), (std::vector<std::string>(std::istream_iterator<std::string>(names),
                                                          std::istream_iterator<std::string>())));
}

TEST_F(OptionsTest, StoredFormsThatLoadSpecially) {
    WriteRegString(kKey, "exceptiondateseparator", "");
    WriteRegString(kKey, "quote", "");
    WriteRegString(kKey, "separator", "");
    WriteRegString(kKey, "lastfile", std::string(1000, 'a'));
    WriteRegString(kKey, "settitle", std::string(999, 'b'));
    WriteRegDword(kKey, "fullformat", 2);
    COptions options;
    options.m_strLastFile = "kept";
    options.LoadFromKey(kKey);
    EXPECT_EQ(options.m_strExceptionDateSeparator, " ");
    EXPECT_EQ(options.m_strQuote, "");
    EXPECT_EQ(options.m_strSeparator, "");
    EXPECT_EQ(options.m_strLastFile, "kept") << "1000 bytes do not fit the buffer";
    EXPECT_EQ(options.m_strSetTitle, std::string(999, 'b'));
    EXPECT_EQ(options.m_bFullFormat, 2);
    EXPECT_EQ(options.m_nMinSize, 1000) << "missing values keep the record's content";

    // The key is created by saving.
    const std::string newKey = std::string(kKey) + "\\Deeper\\Still";
    COptions().SaveToKey(newKey);
    EXPECT_EQ(ReadRegDword(newKey, "minsize", 0), 1000);
}

TEST_F(OptionsTest, ComparisonCoversEverythingButTheTitle) {
    const COptions base;
    const std::vector<std::pair<const char*, std::function<void(COptions&)>>> changes = {
        {"minsize", [](COptions& o) { o.m_nMinSize = 1; }},
        {"noduplicates", [](COptions& o) { o.m_bNoDuplicates = 2; }},
        {"fullformat", [](COptions& o) { o.m_bFullFormat = 0; }},
        {"ignoreimporterrors", [](COptions& o) { o.m_bIgnoreImportErrors = 1; }},
        {"exportnocr", [](COptions& o) { o.m_bExportNoCr = 1; }},
        {"daysahead", [](COptions& o) { o.m_nDaysAhead = 31; }},
        {"daysback", [](COptions& o) { o.m_nDaysBack = 9; }},
        {"defaultapptlength", [](COptions& o) { o.m_nDefaultApptLength = 61; }},
        {"separator", [](COptions& o) { o.m_strSeparator = ","; }},
        {"quote", [](COptions& o) { o.m_strQuote = "'"; }},
        {"exceptiondateseparator", [](COptions& o) { o.m_strExceptionDateSeparator = ";"; }},
        {"lastfile", [](COptions& o) { o.m_strLastFile = "a.csv"; }},
        {"lastfile case", [](COptions& o) { o.m_strLastFile = "A.CSV"; }},
        {"datewithtime", [](COptions& o) { o.m_bDateWithTime = 1; }},
        {"usecategories", [](COptions& o) { o.m_bUseCategories = 1; }},
        {"filter", [](COptions& o) { o.m_filter.AddRow(); }},
        {"simple fields", [](COptions& o) { o.m_layout.AddSimpleField(FIELD_IGNORED); }},
        {"repeat fields", [](COptions& o) { o.m_layout.SetRepeatFields({}); }},
    };
    // Only the record with the same last file equals one with "a.csv": names keep their case.
    COptions lower;
    lower.m_strLastFile = "a.csv";
    for (const auto& [pszName, change] : changes) {
        COptions other;
        change(other);
        EXPECT_FALSE(other.IsSameAs(base)) << pszName;
        EXPECT_FALSE(base.IsSameAs(other)) << pszName;
        EXPECT_EQ(other.IsSameAs(lower), std::string(pszName) == "lastfile") << pszName;
    }
    COptions titled;
    titled.m_strSetTitle = "Another title";
    EXPECT_TRUE(titled.IsSameAs(base));
}

// The export range in local time, across the daylight-saving changes of two zones.
TEST_F(OptionsTest, ExportRangeStaysAtItsTimeOfDay) {
    struct SCase {
        const char* m_pszZone;
        int m_anToday[3];
        std::int32_t m_nDaysBack;
        std::int32_t m_nDaysAhead;
        int m_anFrom[3];
        int m_anTo[3];
    };
    const SCase cases[] = {
        {"Europe/Berlin", {2026, 12, 5}, 10, 30, {2026, 11, 25}, {2027, 1, 4}},
        {"Europe/Berlin", {2026, 10, 30}, 10, 30, {2026, 10, 20}, {2026, 11, 29}},
        {"Europe/Berlin", {2026, 4, 5}, 10, 0, {2026, 3, 26}, {2026, 4, 5}},
        {"Europe/Berlin", {2026, 3, 20}, 0, 30, {2026, 3, 20}, {2026, 4, 19}},
        {"Europe/Berlin", {2026, 10, 20}, 400, 30, {2025, 9, 15}, {2026, 11, 19}},
        {"Europe/Berlin", {2026, 3, 29}, 1, 1, {2026, 3, 28}, {2026, 3, 30}},
        {"America/New_York", {2026, 11, 10}, 10, 30, {2026, 10, 31}, {2026, 12, 10}},
        {"America/New_York", {2026, 3, 1}, 0, 30, {2026, 3, 1}, {2026, 3, 31}},
        {"America/New_York", {2026, 3, 15}, 14, -20, {2026, 3, 1}, {2026, 2, 23}},
        {"America/New_York", {2026, 11, 1}, -2, 0, {2026, 11, 3}, {2026, 11, 1}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.m_pszZone) + " " + std::to_string(c.m_anToday[1]) + "/" +
                     std::to_string(c.m_anToday[2]));
        SetTimeZone(c.m_pszZone);
        SetClock(c.m_anToday[0], c.m_anToday[1], c.m_anToday[2], 12, 0);
        COptions options;
        options.m_nDaysBack = c.m_nDaysBack;
        options.m_nDaysAhead = c.m_nDaysAhead;
        EXPECT_EQ(options.GetExportFrom(),
                  MakeLocalTimeValue(c.m_anFrom[0], c.m_anFrom[1], c.m_anFrom[2], 0, 0));
        EXPECT_EQ(options.GetExportTo(),
                  MakeLocalTimeValue(c.m_anTo[0], c.m_anTo[1], c.m_anTo[2], 23, 59));

        // Setting the range from its own dates gives the days back.
        COptions fromDates;
        fromDates.SetExportFrom(options.GetExportFrom());
        fromDates.SetExportTo(options.GetExportTo());
        EXPECT_EQ(fromDates.m_nDaysBack, c.m_nDaysBack);
        EXPECT_EQ(fromDates.m_nDaysAhead, c.m_nDaysAhead);
    }
}

TEST_F(OptionsTest, SetExportFromAndToCountWholeDays) {
    COptions options;
    const std::tuple<bool, TimeValue, std::int32_t> cases[] = {
        {true, MakeLocalTimeValue(2026, 12, 5, 23, 59), 0},
        {true, MakeLocalTimeValue(2026, 12, 8, 0, 30), -3},
        {true, MakeLocalTimeValue(2026, 3, 29, 12, 0), 251},
        {false, MakeLocalTimeValue(2027, 3, 28, 1, 0), 113},
        {false, MakeLocalTimeValue(2026, 12, 4), -1},
    };
    for (const auto& [bFrom, tDate, nDays] : cases) {
        if (bFrom)
            options.SetExportFrom(tDate);
        else
            options.SetExportTo(tDate);
        EXPECT_EQ(bFrom ? options.m_nDaysBack : options.m_nDaysAhead, nDays) << tDate;
    }
}

// A host that answers with no user and no error.
class CNoUserHost final : public CComObject<CNoUserHost, IHostApplication> {
public:
    HRESULT GetAddinCommands(IHostAddinCommands**) override { return E_NOTIMPL; }
    HRESULT GetDatebook(IDispatch**) override { return E_NOTIMPL; }
    HRESULT GetCurrentUser(IHostUser** ppUser) override {
        *ppUser = nullptr;
        return S_OK;
    }
};

TEST_F(OptionsTest, CurrentUserNameThroughTheHost) {
    CDatebookStore store;
    store.SetCurrentUser(store.AddUser("Zo\u00EB \u4E2D").m_nId);
    const CComPtr<IDispatch> pHost = OpenDesktopHost();
    auto options = std::make_unique<COptions>();
    options->SetHostApplication(pHost.Get());
    EXPECT_EQ(options->GetCurrentUserName(), "Zo\xEB ?");
    const COptions copy(*options);
    EXPECT_EQ(pHost->AddRef(), 4u) << "the record and its copy hold one reference each";
    options.reset();
    EXPECT_EQ(pHost->Release(), 2u);
    EXPECT_EQ(copy.GetCurrentUserName(), "Zo\xEB ?");

    auto expectError = [](IDispatch* pApplication, HRESULT hr, const std::u16string& description) {
        COptions o;
        o.SetHostApplication(pApplication);
        try {
            (void)o.GetCurrentUserName();
            ADD_FAILURE() << "no error";
        } catch (const CComError& e) {
            EXPECT_EQ(e.Error(), hr);
            EXPECT_EQ(e.Description(), description);
        }
    };
    const HRESULT kDamaged = static_cast<HRESULT>(0x80040201);
    expectError(nullptr, E_POINTER, u"");
    expectError(CComPtr<IHostApplication>(new CNoUserHost).Get(), E_POINTER, u"");
    CComPtr<IHostApplication> pApplication;
    ASSERT_EQ(
        pHost->QueryInterface(IID_IHostApplication, reinterpret_cast<void**>(pApplication.Put())),
        S_OK);
    CComPtr<IHostUser> pUser;
    ASSERT_EQ(pApplication->GetCurrentUser(pUser.Put()), S_OK);
    expectError(pUser.Get(), E_POINTER, u""); // an object without the application interface
    expectError(OpenDesktopHost({{}, false, {{"GetCurrentUser", 1, E_FAIL, "No user."}}}).Get(),
                E_FAIL, u"No user.");
    expectError(OpenDesktopHost({{}, false, {{"GetName", 1, kDamaged, "Damaged."}}}).Get(),
                kDamaged, u"Damaged.");
}

} // namespace
