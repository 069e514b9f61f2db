// The example dialog on the headless surface: what it shows for the options, and its
// resizing rule.
#include "ui/ExampleDlg.h"
#include "platform/dialogs/HeadlessSurface.h"
#include "res/Resource.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ExampleDlgTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetDialogSurface(&m_surface);
        m_pOptions = std::make_unique<COptions>();
        m_pOptions->m_layout.SetSimpleFields({FIELD_DATE, FIELD_START_TIME, FIELD_TEXT});
    }
    void TearDown() override {
        SetDialogSurface(nullptr);
        CVarnoTest::TearDown();
    }
    // The text the dialog shows when it opens.
    std::string Shown() {
        CExampleDlg dlg(*m_pOptions);
        std::string strShown;
        m_surface.Then([&](CHeadlessWindow& w) {
            strShown = w.Control(IDC_EXAMPLE_TEXT)->m_strText;
            w.Click(IDOK);
        });
        EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
        EXPECT_EQ(dlg.GetExampleText(), strShown);
        return strShown;
    }

    CHeadlessSurface m_surface;
    std::unique_ptr<COptions> m_pOptions;
};

TEST_F(ExampleDlgTest, ShowsHeaderAndSampleRowForTheOptions) {
    struct CCase {
        const char* m_pszSeparator;
        const char* m_pszQuote;
        int m_bDateWithTime;
        int m_bFullFormat;
        const char* m_pszExpected;
    };
    // The clock stands at 5 December 2026 in Berlin; the instant 0 is 01:00 there.
    const CCase cases[] = {
        {";", "\"", 0, 0,
         "\"Date\";\"Start Time\";\"Text\"\r\n"
         "\"05.12.2026\";\"01:00\";\"Sample Appointment Title\"\r\n"},
        {",", "", 0, 0, "Date,Start Time,Text\r\n05.12.2026,01:00,Sample Appointment Title\r\n"},
        {",", "", 1, 0,
         "Date,Start Time,Text\r\n05.12.2026,05.12.2026 01:00,Sample Appointment Title\r\n"},
        {"\t", "'", 0, 1,
         "'Date'\t'Start Time'\t'Text'\t'Repeat Type'\t'Repeat Interval'\t'Repeat End Date'\t"
         "'Exceptions'\t'Weekly Sunday'\t'Weekly Monday'\t'Weekly Tuesday'\t"
         "'Weekly Wednesday'\t'Weekly Thursday'\t'Weekly Friday'\t'Weekly Saturday'\t"
         "'Monthly Week Index'\r\n"
         "'05.12.2026'\t'01:00'\t'Sample Appointment Title'\t'Daily'\t'1'\t'06.12.2026'\t"
         "''\t''\t''\t''\t''\t''\t''\t''\t''\r\n"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.m_pszExpected);
        m_pOptions->m_strSeparator = c.m_pszSeparator;
        m_pOptions->m_strQuote = c.m_pszQuote;
        m_pOptions->m_bDateWithTime = c.m_bDateWithTime;
        m_pOptions->m_bFullFormat = c.m_bFullFormat;
        EXPECT_EQ(Shown(), c.m_pszExpected);
    }
}

TEST_F(ExampleDlgTest, SpanAndUnescapedValues) {
    m_pOptions->m_bFullFormat = 0;
    m_pOptions->m_strSeparator = "e";
    m_pOptions->m_strQuote = "";
    m_pOptions->m_layout.SetSimpleFields({FIELD_TEXT, FIELD_TIME_SPAN});
    // The separator inside the title and header stays unescaped; the span is in hours.
    EXPECT_EQ(Shown(), "TexteTime Span\r\nSample Appointment Titlee0.000000\r\n");
}

TEST_F(ExampleDlgTest, ResizingKeepsMarginsAndCentresOk) {
    CExampleDlg dlg(*m_pOptions);
    m_surface.Then([](CHeadlessWindow& w) {
        const CRect rcEdit = w.Control(IDC_EXAMPLE_TEXT)->m_rc;
        const CRect rcOk = w.Control(IDOK)->m_rc;
        const int mx = rcEdit.x;
        const int my = rcEdit.y;
        w.Resize(901, 400);
        const CRect rcEdit2 = w.Control(IDC_EXAMPLE_TEXT)->m_rc;
        EXPECT_EQ(rcEdit2, (CRect{mx, my, 901 - 3 * mx, 400 - rcOk.cy - 2 * my - my}));
        EXPECT_EQ(w.Control(IDOK)->m_rc,
                  (CRect{(901 - rcOk.cx) / 2, rcEdit2.Bottom() + my, rcOk.cx, rcOk.cy}));
        // A zero size changes nothing.
        w.Resize(0, 300);
        EXPECT_EQ(w.Control(IDC_EXAMPLE_TEXT)->m_rc, rcEdit2);
        w.Click(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<int>(IDOK));
}

} // namespace
