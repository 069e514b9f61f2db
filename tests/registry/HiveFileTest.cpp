// The hive in memory: names found through the hashed index as through a scan, and a tree of
// any depth taken apart without recursion.
#include "platform/registry/HiveFile.h"
#include "platform/registry/Registry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Name(const char* pszPrefix, int n) {
    return pszPrefix + std::to_string(n);
}

// A text in the export format, written here rather than by WriteHiveText.
std::string SiblingsText(int nKeys, int nValuesEach) {
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\n";
    for (int k = 0; k < nKeys; ++k) {
        text += "[HKEY_CURRENT_USER\\Software\\" + Name("Key", k) + "]\n";
        for (int v = 0; v < nValuesEach; ++v)
            text += "\"" + Name("Value", v) + "\"=dword:" + std::string(7, '0') +
                    std::to_string(v % 10) + "\n";
        text += "\n";
    }
    return text;
}

// 100,000 sibling keys of 3 values each: 300,000 values.
TEST(HiveFileTest, LargeHiveReadsFindsAndWritesBackTheSame) {
    constexpr int kKeys = 100000;
    const std::string text = SiblingsText(kKeys, 3);
    CHiveKey root;
    root.m_strName = "HKEY_CURRENT_USER";
    SHiveParseError error;
    ASSERT_TRUE(ReadHiveText(text, root, error)) << error.m_nLine << ": " << error.m_strReason;
    EXPECT_EQ(CountHiveItems(root), std::size_t{1 + kKeys * 4});
    EXPECT_TRUE(WriteHiveText(root) == text); // no diff of megabytes on failure

    CHiveKey* pSoftware = FindKeyPath(root, "SOFTWARE");
    ASSERT_NE(pSoftware, nullptr);
    for (const int k : {0, 15, 16, 17, 54321, kKeys - 1}) {
        SCOPED_TRACE(k);
        const CHiveKey* pKey = pSoftware->FindSubKey(Name("kEY", k));
        ASSERT_NE(pKey, nullptr);
        EXPECT_EQ(pKey->m_strName, Name("Key", k)); // the first spelling
        EXPECT_NE(pKey->FindValue("VALUE2"), nullptr);
    }
    EXPECT_EQ(pSoftware->FindSubKey(Name("Key", kKeys)), nullptr);

    // Deleting shifts the positions the index holds; every name is still found where it is.
    ASSERT_TRUE(pSoftware->DeleteSubKey("key0"));
    ASSERT_TRUE(pSoftware->DeleteSubKey(Name("KEY", 500)));
    EXPECT_FALSE(pSoftware->DeleteSubKey("Key0"));
    EXPECT_EQ(pSoftware->FindSubKey("Key0"), nullptr);
    for (const int k : {1, 499, 501, kKeys - 1}) {
        const CHiveKey* pKey = pSoftware->FindSubKey(Name("key", k));
        ASSERT_NE(pKey, nullptr) << k;
        EXPECT_EQ(pKey->m_strName, Name("Key", k));
    }
    bool bCreated = false;
    CHiveKey& again = pSoftware->SubKey("KEY0", bCreated);
    EXPECT_TRUE(bCreated);
    EXPECT_EQ(&again, &pSoftware->SubKeys().back());
    EXPECT_EQ(pSoftware->FindSubKey("key0"), &again);
}

// Values: the index follows sets, deletes and a list growing past the indexed size.
TEST(HiveFileTest, ValueLookupsMatchAScanAtEverySize) {
    CHiveKey key;
    for (int n = 0; n < 40; ++n) {
        EXPECT_TRUE(key.SetValue(Name("v", n), REG_DWORD, "1234"));
        for (int m = 0; m <= n; ++m)
            ASSERT_EQ(key.FindValue(Name("V", m)), &key.Values()[static_cast<std::size_t>(m)])
                << n << " " << m;
        EXPECT_EQ(key.FindValue(Name("v", n + 1)), nullptr);
    }
    EXPECT_FALSE(key.SetValue("V3", REG_DWORD, "1234"));
    EXPECT_TRUE(key.SetValue("V3", REG_DWORD, "4321"));
    EXPECT_EQ(key.Values()[3].m_strName, "v3");
    for (int n = 39; n >= 0; n -= 2)
        ASSERT_TRUE(key.DeleteValue(Name("V", n)));
    ASSERT_EQ(key.Values().size(), 20u);
    for (int n = 0; n < 40; ++n) {
        const SHiveValue* pValue = key.FindValue(Name("v", n));
        if (n % 2 == 1) {
            EXPECT_EQ(pValue, nullptr) << n;
        } else {
            ASSERT_NE(pValue, nullptr) << n;
            EXPECT_EQ(pValue->m_strName, Name("v", n));
        }
    }
}

// A tree far deeper than files may hold, as a bug elsewhere could build, is released without
// running out of stack; so is one moved from or assigned over.
TEST(HiveFileTest, DeepTreeIsReleasedWithoutRecursion) {
    constexpr int kLevels = 1000000;
    auto build = [] {
        CHiveKey root;
        CHiveKey* pKey = &root;
        for (int i = 0; i < kLevels; ++i) {
            bool bCreated = false;
            pKey = &pKey->SubKey("a", bCreated);
        }
        return root;
    };
    {
        CHiveKey deep = build();
        EXPECT_EQ(CountHiveItems(deep), std::size_t{kLevels});
        CHiveKey moved = std::move(deep);
        moved = build();
    }
    SUCCEED();
}

} // namespace
