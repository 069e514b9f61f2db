#include "platform/locale/CodePage.h"
#include "platform/registry/Registry.h"
#include "tests/locale/LocaleTestUtil.h"
#include "tests/support/TestEnv.h"

#include <set>

namespace {

class CodePageTest : public CVarnoTest {};

TEST_F(CodePageTest, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::u16string wide = CodePageToUtf16(all, CP_WINDOWS_1252);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(std::set<char16_t>(wide.begin(), wide.end()).size(), 256u);
    EXPECT_EQ(Utf16ToCodePage(wide, CP_WINDOWS_1252), all);
    EXPECT_EQ(Utf8ToCodePage(CodePageToUtf8(all, CP_WINDOWS_1252), CP_WINDOWS_1252), all);
    // The five bytes Windows-1252 leaves undefined stand for the C1 controls.
    for (std::size_t b : {0x81u, 0x8Du, 0x8Fu, 0x90u, 0x9Du})
        EXPECT_EQ(static_cast<std::size_t>(wide[b]), b);
    // Euro sign, Y with diaeresis, umlauts, no-break space.
    EXPECT_EQ(CodePageToUtf8("\x80\x9F\xE4\xF6\xFC\xA0.", CP_WINDOWS_1252),
              "\u20AC\u0178äöü\u00A0.");
    EXPECT_EQ(wide[0x80], u'\u20AC');
}

TEST_F(CodePageTest, WhatACodePageCannotHoldBecomesAQuestionMark) {
    EXPECT_EQ(Utf8ToCodePage("€ ä 日本 \U0001F600", CP_WINDOWS_1252), "\x80 \xE4 ?? ?");
    EXPECT_EQ(Utf16ToCodePage(u"\u0100\u20AC", CP_WINDOWS_1252), "?\x80");
    // UTF-8 holds everything; ill-formed input becomes U+FFFD.
    EXPECT_EQ(Utf8ToCodePage("日本", CP_UTF8), "日本");
    EXPECT_EQ(CodePageToUtf8("a\xFF", CP_UTF8), "a\uFFFD");
    EXPECT_EQ(CodePageToUtf16("a\xC3", CP_UTF8), u"a\uFFFD");
}

TEST_F(CodePageTest, LowerCaseIsMultibyteAwareAndLocaleIndependent) {
    CScopedEnv lang("LC_ALL", "tr_TR.UTF-8"); // Turkish rules would give a dotless i
    EXPECT_EQ(LowerCase("\xC4\xD6\xDC", CP_WINDOWS_1252), "\xE4\xF6\xFC");
    EXPECT_EQ(LowerCase("ÄÖÜ", CP_UTF8), "äöü");
    EXPECT_EQ(LowerCase("\x9F"
                        "ABC",
                        CP_WINDOWS_1252),
              "\xFF"
              "abc");
    EXPECT_EQ(LowerCase("ÉTÉ Ω I", CP_UTF8), "été ω i");
    EXPECT_EQ(LowerCase("Export.CSV", CP_WINDOWS_1252), "export.csv");
    // A byte that ends a UTF-8 sequence in another is not a letter of its own.
    EXPECT_EQ(LowerCase("\xC3\x84", CP_UTF8), "\xC3\xA4");
    EXPECT_EQ(LowerCase("\xC3\x84", CP_WINDOWS_1252), "\xE3\x84");
}

TEST_F(CodePageTest, SystemCodePageComesFromTheRegistryElseTheLocale) {
    // The fixture stores 1252.
    EXPECT_EQ(GetSystemCodePage(), CP_WINDOWS_1252);
    SetCodePage(65001);
    EXPECT_EQ(GetSystemCodePage(), CP_UTF8);

    CRegKey key;
    ASSERT_EQ(key.Create(ERegHive::LocalMachine, kCodePageKey), REG_STATUS_OK);
    ASSERT_EQ(key.SetString("ACP", "932"), REG_STATUS_OK); // not one of ours: ignored
    struct SCase {
        const char* m_pszAll;
        const char* m_pszCtype;
        const char* m_pszLang;
        unsigned m_expected;
    };
    const SCase cases[] = {
        {"de_DE.UTF-8", nullptr, nullptr, CP_UTF8},
        {"de_DE.utf8", nullptr, nullptr, CP_UTF8},
        {"de_DE.ISO-8859-1", nullptr, "de_DE.UTF-8", CP_WINDOWS_1252},
        {"", "C.UTF-8", nullptr, CP_UTF8},
        {nullptr, nullptr, "en_US.UTF-8@euro", CP_UTF8},
        {nullptr, nullptr, "C", CP_WINDOWS_1252},
        {nullptr, nullptr, nullptr, CP_WINDOWS_1252},
    };
    for (const SCase& c : cases) {
        CScopedEnv all("LC_ALL", c.m_pszAll);
        CScopedEnv ctype("LC_CTYPE", c.m_pszCtype);
        CScopedEnv lang("LANG", c.m_pszLang);
        EXPECT_EQ(GetSystemCodePage(), c.m_expected)
            << (c.m_pszAll ? c.m_pszAll : "-") << " " << (c.m_pszCtype ? c.m_pszCtype : "-") << " "
            << (c.m_pszLang ? c.m_pszLang : "-");
    }
    ASSERT_EQ(key.DeleteValue("ACP"), REG_STATUS_OK);
    CScopedEnv all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetSystemCodePage(), CP_UTF8);
    ASSERT_EQ(key.SetString("ACP", "1252"), REG_STATUS_OK);
    EXPECT_EQ(GetSystemCodePage(), CP_WINDOWS_1252);
}

TEST_F(CodePageTest, SystemCodePageFollowsTheHome) {
    SetCodePage(65001);
    {
        CTestHome other; // no code page stored there
        CScopedEnv all("LC_ALL", "C");
        EXPECT_EQ(GetSystemCodePage(), CP_WINDOWS_1252);
    }
    EXPECT_EQ(GetSystemCodePage(), CP_UTF8);
}

} // namespace
