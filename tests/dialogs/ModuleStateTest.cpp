// Module state: a module's help path and images are in force while one of its calls runs,
// and the caller's come back afterwards, however calls nest.
#include "platform/dialogs/ModuleState.h"
#include "platform/shell/HelpViewer.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr std::array<unsigned char, 3> kOuterImage{1, 2, 3};
constexpr std::array<unsigned char, 2> kInnerImage{9, 9};

std::span<const unsigned char> OuterImages(unsigned nId, int) {
    return nId == 201 ? std::span<const unsigned char>(kOuterImage)
                      : std::span<const unsigned char>();
}
std::span<const unsigned char> InnerImages(unsigned, int) {
    return kInnerImage;
}

using ModuleStateTest = CVarnoTest;

TEST_F(ModuleStateTest, NestedCallsSeeTheirOwnModuleAndRestoreTheCallers) {
    SetHelpFilePath("/opt/host/host.hlp");
    CModuleState outer{"Outer", "/opt/outer/Outer.hlp", &OuterImages};
    CModuleState inner{"Inner", "/opt/inner/Inner.hlp", &InnerImages};
    EXPECT_EQ(GetCurrentModuleState(), nullptr);
    EXPECT_TRUE(FindModuleImage(201, 16).empty()); // the program's own state has none
    {
        const CModuleStateScope outerScope(outer);
        EXPECT_EQ(GetCurrentModuleState(), &outer);
        EXPECT_EQ(GetHelpFilePath(), "/opt/outer/Outer.hlp");
        EXPECT_EQ(FindModuleImage(201, 16).size(), 3u);
        EXPECT_TRUE(FindModuleImage(202, 16).empty());
        // The module points its help at the compiled book; it stays so in its state.
        SetHelpFilePath("/opt/outer/Outer.chm");
        {
            const CModuleStateScope innerScope(inner);
            EXPECT_EQ(GetHelpFilePath(), "/opt/inner/Inner.hlp");
            EXPECT_EQ(FindModuleImage(201, 16).size(), 2u);
        }
        EXPECT_EQ(GetCurrentModuleState(), &outer);
        EXPECT_EQ(GetHelpFilePath(), "/opt/outer/Outer.chm");
        EXPECT_EQ(FindModuleImage(201, 16).size(), 3u);
    }
    EXPECT_EQ(GetCurrentModuleState(), nullptr);
    EXPECT_EQ(GetHelpFilePath(), "/opt/host/host.hlp");
    EXPECT_EQ(outer.m_strHelpFilePath, "/opt/outer/Outer.chm");
    EXPECT_EQ(inner.m_strHelpFilePath, "/opt/inner/Inner.hlp");
    // Entering the module again starts from what it left.
    {
        const CModuleStateScope again(outer);
        EXPECT_EQ(GetHelpFilePath(), "/opt/outer/Outer.chm");
    }
    SetHelpFilePath("");
}

} // namespace
