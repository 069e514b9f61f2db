// One hive in memory and its text form, the registry export format:
//
//   Windows Registry Editor Version 5.00
//   <blank line>
//   [HKEY_CURRENT_USER\Software\Example]
//   "Text"="a \"quoted\" word and a \\ backslash"
//   "Number"=dword:0000000a
//   "Bytes"=hex:01,02,ff
//   @="the default value"
//   <blank line>
//
// The file is bytes: strings are written as the program's narrow text, with no encoding
// conversion, and lines end with LF (a CR before the LF is accepted on reading). A REG_SZ
// that cannot be written as a quoted string (a control character other than tab, a missing
// terminating zero, a zero inside) is written as hex(1): bytes, and any other kind of value
// as hex(N):, so every value reads back byte for byte. Long hex lists continue on the next
// line after a backslash, indented by two spaces, within 80 columns.
//
// Names of keys and values compare with ASCII case folding only (A-Z against a-z); bytes
// from 0x80 up compare as they are.
//
// Limits: keys nest at most 512 levels below the hive's root, a key name holds at most 255
// bytes and a value name 16,383; a hive holds at most 1,000,000 keys and values together
// and its text at most 64 MiB. A text beyond any of them does not parse (the hive is
// damaged), and a change that would pass one is refused, so every hive written reads back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

inline constexpr std::size_t kMaxHiveDepth = 512;
inline constexpr std::size_t kMaxKeyNameBytes = 255;
inline constexpr std::size_t kMaxValueNameBytes = 16383;
inline constexpr std::size_t kMaxHiveItems = 1'000'000;
inline constexpr std::size_t kMaxHiveTextBytes = std::size_t{64} << 20;

struct SHiveValue {
    std::string m_strName; // empty: the key's default value
    std::uint32_t m_nType = 0;
    std::string m_strData;
};

// Positions in a list of named items by ASCII case-folded name. Short lists are scanned;
// from kMinIndexed items on, the positions are hashed, so that a key with 100,000
// subkeys or values is not searched item by item.
class CHiveNameIndex {
public:
    static constexpr std::size_t kMinIndexed = 16;

    // The position of name in items, or items.size().
    template <typename Item>
    [[nodiscard]] std::size_t Find(const std::vector<Item>& items, std::string_view name) const;
    // items gained its last element, or lost or reordered some.
    template <typename Item> void Appended(const std::vector<Item>& items);
    template <typename Item> void Rebuild(const std::vector<Item>& items);

private:
    std::unordered_map<std::string, std::size_t> m_mapPositions; // empty below kMinIndexed
};

class CHiveKey {
public:
    std::string m_strName; // set once, before the key is added to its parent

    CHiveKey() = default;
    CHiveKey(const CHiveKey&) = default;
    CHiveKey(CHiveKey&&) noexcept = default;
    CHiveKey& operator=(const CHiveKey&) = default;
    CHiveKey& operator=(CHiveKey&&) noexcept = default;
    // Takes the tree apart without recursion: a hive read from a damaged file may be deep.
    ~CHiveKey();

    [[nodiscard]] const std::vector<CHiveKey>& SubKeys() const { return m_vecSubKeys; }
    [[nodiscard]] const std::vector<SHiveValue>& Values() const { return m_vecValues; }

    [[nodiscard]] CHiveKey* FindSubKey(std::string_view name);
    [[nodiscard]] const CHiveKey* FindSubKey(std::string_view name) const;
    [[nodiscard]] SHiveValue* FindValue(std::string_view name);
    [[nodiscard]] const SHiveValue* FindValue(std::string_view name) const;
    // The subkey of that name, appended when missing; bCreated tells which.
    CHiveKey& SubKey(std::string_view name, bool& bCreated);
    // Sets a value, keeping the spelling and position of an existing one; false when the
    // value already held exactly this.
    bool SetValue(std::string_view name, std::uint32_t type, std::string_view data);
    bool DeleteValue(std::string_view name);
    bool DeleteSubKey(std::string_view name);

private:
    std::vector<CHiveKey> m_vecSubKeys;  // in creation order
    std::vector<SHiveValue> m_vecValues; // in creation order
    CHiveNameIndex m_subKeyIndex;
    CHiveNameIndex m_valueIndex;
};

// Keys below the root and values of the whole tree.
[[nodiscard]] std::size_t CountHiveItems(const CHiveKey& root);

// ASCII case-insensitive equality.
[[nodiscard]] bool EqualNoCase(std::string_view a, std::string_view b);

// A key or value name may hold any byte but the control characters 0x00-0x1F and 0x7F; a
// key name also no backslash and must not be empty. Both within their length limits.
[[nodiscard]] bool IsValidKeyName(std::string_view name);
[[nodiscard]] bool IsValidValueName(std::string_view name);

// Splits "a\b\c" into its parts; "" gives no parts (the hive's root). False when the path
// has an empty part (leading, trailing or doubled backslash), an invalid name, or more
// parts than keys nest.
[[nodiscard]] bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts);

// The key at a path below root, or null; the path must be valid.
[[nodiscard]] const CHiveKey* FindKeyPath(const CHiveKey& root, std::string_view path);
[[nodiscard]] CHiveKey* FindKeyPath(CHiveKey& root, std::string_view path);

inline constexpr std::string_view kHiveFileHeader = "Windows Registry Editor Version 5.00";

// The text of a hive whose root key is named after the hive ("HKEY_CURRENT_USER"). Every
// key below the root has its section, empty ones too; the root has one only when it holds
// values.
[[nodiscard]] std::string WriteHiveText(const CHiveKey& root);

struct SHiveParseError {
    int m_nLine = 0; // 1-based
    std::string m_strReason;
};

// Reads a hive's text into root (whose name must be set to the hive's name; sections of
// other hives are refused). False with the first fault in error; root is then unspecified.
// Any bytes are safe to give: the work is linear in the text's length and memory bounded
// by the limits above (the entry point for fuzzing the reader).
[[nodiscard]] bool ReadHiveText(std::string_view text, CHiveKey& root, SHiveParseError& error);
