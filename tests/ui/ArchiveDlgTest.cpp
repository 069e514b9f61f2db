// The archive dialog against the stand-in host: the count line, the cutoff and size fields
// as they open, the size range check, and what Archive and Cancel leave in the datebook
// and in "minsize".
#include "ui/ArchiveDlg.h"

#include "engine/RecordFilter.h"
#include "res/Resource.h"
#include "tests/engine/OperationsTestSupport.h"

using namespace optest;

namespace {

using Strings = std::vector<std::string>;

class ArchiveDlgTest : public COperationsTest {
protected:
    void SetUp() override {
        COperationsTest::SetUp();
        SetDialogSurface(&m_ui);
        SeedThree();
    }
    void SeedThree() {
        Seed(Untimed("2026-11-01", "a"));                   // 18 bytes
        Seed(Untimed("2026-11-02", std::string(150, 'x'))); // 167 bytes
        Seed(Untimed("2026-12-20", "after the cutoff"));    // 33 bytes
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        COperationsTest::TearDown();
    }

    int Run(std::initializer_list<CHeadlessSurface::CAction> steps) {
        for (const auto& step : steps)
            m_ui.Then(step);
        CArchiveDlg dlg(Options());
        return dlg.DoModal();
    }
};

TEST_F(ArchiveDlgTest, OpensWithCountCutoffAndMinSize) {
    Options().m_nMinSize = 1000;
    Options().m_nDaysBack = 10;
    Options().m_filter.AddRow();
    Options().m_filter.SetRow(0, FILTER_TEXT_NOT_CONTAINS, "after", FILTER_JOIN_NONE);
    CHeadlessControl count;
    CHeadlessControl size;
    CHeadlessControl spin;
    CHeadlessControl larger;
    CDateValue cutoff;
    EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                  count = *w.Control(IDC_ARCHIVE_COUNT);
                  size = *w.Control(IDC_ARCHIVE_SIZE);
                  spin = *w.Control(IDC_ARCHIVE_SPIN);
                  larger = *w.Control(IDC_ARCHIVE_LARGER);
                  cutoff = w.GetDate(IDC_ARCHIVE_DATE);
                  w.Click(IDCANCEL);
              }}),
              static_cast<int>(IDCANCEL));
    EXPECT_EQ(count.m_strText, "2 appointments taking up 185 bytes.");
    EXPECT_EQ(size.m_strText, "1000");
    EXPECT_EQ(spin.m_nPos, 1000);
    EXPECT_EQ(spin.m_nLower, 100);
    EXPECT_EQ(spin.m_nUpper, 9999);
    EXPECT_FALSE(larger.m_bChecked);
    // Today minus "daysback" days.
    EXPECT_EQ(cutoff, (CDateValue{2026, 11, 25}));
}

TEST_F(ArchiveDlgTest, SizeOutsideTheRangeKeepsTheDialogOpen) {
    Options().m_nMinSize = 1000;
    for (const char* pszSize : {"50", "99", "10000", ""}) {
        for (const bool bLarger : {true, false}) {
            SCOPED_TRACE(::testing::Message() << pszSize << " " << bLarger);
            m_ui.m_vecShown.clear();
            bool bOpen = false;
            EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                               w.Type(IDC_ARCHIVE_SIZE, pszSize);
                               if (bLarger)
                                   w.Click(IDC_ARCHIVE_LARGER);
                               w.Click(IDOK);
                               bOpen = !w.Ended();
                           },
                           [](CHeadlessWindow& w) { w.Click(IDCANCEL); }}),
                      static_cast<int>(IDCANCEL));
            EXPECT_TRUE(bOpen);
            ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
            EXPECT_EQ(m_ui.m_vecShown[0].m_strText,
                      *pszSize ? IntegerRangeMessage(100, 9999) : std::string(kIntegerMessage));
            EXPECT_EQ(Options().m_nMinSize, 1000);
            EXPECT_EQ(Texts().size(), 3u);
        }
    }
}

TEST_F(ArchiveDlgTest, ArchiveMarksUpToTheCutoffAndStoresTheSize) {
    struct CCase {
        bool m_bLarger;
        const char* m_pszSize;
        Strings m_left;
        const char* m_pszMessage;
    };
    const std::string strLong(150, 'x');
    const CCase cases[] = {
        {false,
         "100",
         {"after the cutoff"},
         "Marked 2 appointments for archival.\nThe appointments will be archived at next "
         "HotSync."},
        {true,
         "100",
         {"a", "after the cutoff"},
         "Marked 1 appointment for archival.\nThe appointment will be archived at next HotSync."},
        {true,
         "9999",
         {"a", strLong, "after the cutoff"},
         "Marked 0 appointments for archival.\nThe appointments will be archived at next "
         "HotSync."},
    };
    int nUser = 0;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszMessage);
        // Each case on a datebook of its own, as the user it makes current.
        NewUser("user " + std::to_string(++nUser));
        SeedThree();
        m_ui.m_vecShown.clear();
        Options().m_nMinSize = 1000;
        EXPECT_EQ(Run({[&](CHeadlessWindow& w) {
                      w.SetDate(IDC_ARCHIVE_DATE, {2026, 12, 1});
                      w.Type(IDC_ARCHIVE_SIZE, c.m_pszSize);
                      if (c.m_bLarger)
                          w.Click(IDC_ARCHIVE_LARGER);
                      w.Click(IDOK);
                  }}),
                  static_cast<int>(IDOK));
        EXPECT_EQ(Texts(), c.m_left);
        EXPECT_EQ(Options().m_nMinSize, std::stoi(c.m_pszSize));
        ASSERT_EQ(m_ui.m_vecShown.size(), 1u);
        EXPECT_EQ(m_ui.m_vecShown[0].m_strText, c.m_pszMessage);
    }
}

TEST_F(ArchiveDlgTest, CancelMarksNothingAndKeepsMinSize) {
    Options().m_nMinSize = 1000;
    for (const auto& close :
         std::vector<CHeadlessSurface::CAction>{[](CHeadlessWindow& w) { w.Click(IDCANCEL); },
                                                [](CHeadlessWindow& w) { w.PressKey(VK_ESCAPE); },
                                                [](CHeadlessWindow& w) { w.Close(); }}) {
        EXPECT_EQ(Run({[](CHeadlessWindow& w) { w.Type(IDC_ARCHIVE_SIZE, "200"); }, close}),
                  static_cast<int>(IDCANCEL));
        EXPECT_EQ(Options().m_nMinSize, 1000);
        EXPECT_EQ(Texts().size(), 3u);
    }
    EXPECT_TRUE(m_ui.m_vecShown.empty());
}

} // namespace
