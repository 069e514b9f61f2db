#include "platform/registry/HiveFile.h"

#include "platform/registry/Registry.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::size_t kMaxLineWidth = 80; // hex lists wrap within this, backslash included
constexpr std::string_view kContinuationIndent = "  ";
constexpr char kHexDigits[] = "0123456789abcdef";

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

// A REG_SZ that can stand between quotes: one terminating zero at the end, none inside,
// no control characters but tab (a line break would end the line; CR would be taken for
// a line end on reading).
bool IsQuotableString(std::string_view data) {
    if (data.empty() || data.back() != '\0')
        return false;
    data.remove_suffix(1);
    return std::none_of(data.begin(), data.end(), [](char c) { return IsControl(c) && c != '\t'; });
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
}

void AppendHex8(std::string& out, std::uint32_t value) {
    for (int shift = 28; shift >= 0; shift -= 4)
        out += kHexDigits[(value >> shift) & 0xF];
}

void AppendHexType(std::string& out, std::uint32_t type) {
    out += "hex(";
    bool bStarted = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const std::uint32_t digit = (type >> shift) & 0xF;
        if (digit != 0 || bStarted || shift == 0) {
            out += kHexDigits[digit];
            bStarted = true;
        }
    }
    out += "):";
}

void AppendValue(std::string& out, const SHiveValue& value) {
    const std::size_t lineStart = out.size();
    if (value.m_strName.empty())
        out += '@';
    else
        AppendQuoted(out, value.m_strName);
    out += '=';
    const std::string_view data = value.m_strData;
    if (value.m_nType == REG_SZ && IsQuotableString(data)) {
        AppendQuoted(out, data.substr(0, data.size() - 1));
        out += '\n';
        return;
    }
    if (value.m_nType == REG_DWORD && data.size() == 4) {
        std::uint32_t n = 0;
        for (std::size_t i = 0; i < 4; ++i)
            n |= std::uint32_t{static_cast<unsigned char>(data[i])} << (8 * i);
        out += "dword:";
        AppendHex8(out, n);
        out += '\n';
        return;
    }
    if (value.m_nType == REG_BINARY)
        out += "hex:";
    else
        AppendHexType(out, value.m_nType);
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < data.size(); ++i) {
        // Each byte takes "xx,"; keep room for a continuation backslash.
        if (column + 3 + 1 > kMaxLineWidth) {
            out += "\\\n";
            out += kContinuationIndent;
            column = kContinuationIndent.size();
        }
        const auto b = static_cast<unsigned char>(data[i]);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0xF];
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const CHiveKey& key, std::string& path, bool bRoot) {
    if (!bRoot || !key.Values().empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const SHiveValue& value : key.Values())
            AppendValue(out, value);
        out += '\n';
    }
    for (const CHiveKey& sub : key.SubKeys()) {
        const std::size_t length = path.size();
        path += '\\';
        path += sub.m_strName;
        AppendKey(out, sub, path, false);
        path.resize(length);
    }
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// Reads up to 8 hex digits as a number; false when there are none, more, or other bytes.
bool ParseHexNumber(std::string_view text, std::uint32_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return true;
}

// A quoted string starting at text[pos] == '"', with \\ and \" as its only escapes; pos
// ends after the closing quote.
bool ParseQuoted(std::string_view text, std::size_t& pos, std::string& out, std::string& reason) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= text.size() || (text[pos + 1] != '\\' && text[pos + 1] != '"')) {
                reason = "unknown escape in a quoted string";
                return false;
            }
            ++pos;
            out += text[pos];
            continue;
        }
        out += c;
    }
    reason = "unterminated quoted string";
    return false;
}

bool ParseHexList(std::string_view text, std::string& out, std::string& reason) {
    out.clear();
    if (text.empty())
        return true;
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = text.find(',', pos);
        const std::string_view item = text.substr(
            pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        const int high = item.size() == 2 ? HexDigitValue(item[0]) : -1;
        const int low = item.size() == 2 ? HexDigitValue(item[1]) : -1;
        if (high < 0 || low < 0) {
            reason = "bad hex byte \"" + std::string(item.substr(0, 16)) + "\"";
            return false;
        }
        out += static_cast<char>((high << 4) | low);
        if (comma == std::string_view::npos)
            return true;
        pos = comma + 1;
    }
}

class CHiveReader {
public:
    CHiveReader(std::string_view text, CHiveKey& root, SHiveParseError& error)
        : m_text(text), m_root(root), m_error(error) {}

    bool Read() {
        if (m_text.size() > kMaxHiveTextBytes)
            return Fail("the file is larger than " + std::to_string(kMaxHiveTextBytes >> 20) +
                        " MiB");
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") // a UTF-8 byte order mark
            m_text.remove_prefix(3);
        std::string_view line;
        if (!NextLine(line) || line != kHiveFileHeader)
            return Fail("the first line is not \"" + std::string(kHiveFileHeader) + "\"");
        while (NextLine(line)) {
            const std::size_t first = line.find_first_not_of(" \t");
            if (first == std::string_view::npos || line[first] == ';')
                continue; // blank line or comment
            if (line[0] == '[') {
                if (!ReadSection(line))
                    return false;
            } else if (line[0] == '"' || line[0] == '@') {
                if (!m_pKey)
                    return Fail("a value outside any key section");
                if (!ReadValue(line))
                    return false;
            } else {
                return Fail("neither a key section nor a value");
            }
        }
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_nPos = 0;
    int m_nLine = 0;
    CHiveKey& m_root;
    SHiveParseError& m_error;
    CHiveKey* m_pKey = nullptr;
    std::size_t m_nItems = 0; // keys and values made so far

    bool CountItem() {
        if (++m_nItems <= kMaxHiveItems)
            return true;
        return Fail("more than " + std::to_string(kMaxHiveItems) + " keys and values");
    }

    bool NextLine(std::string_view& line) {
        if (m_nPos >= m_text.size())
            return false;
        const std::size_t end = m_text.find('\n', m_nPos);
        const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
        line = m_text.substr(m_nPos, stop - m_nPos);
        m_nPos = stop == m_text.size() ? stop : stop + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ++m_nLine;
        return true;
    }

    bool Fail(std::string reason) {
        m_error.m_nLine = m_nLine;
        m_error.m_strReason = std::move(reason);
        return false;
    }

    bool ReadSection(std::string_view line) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.size() < 2 || line.back() != ']')
            return Fail("a key section without its closing bracket");
        std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path[0] == '-')
            return Fail("key deletion entries are not supported");
        const std::size_t slash = path.find('\\');
        const std::string_view hive = path.substr(0, slash);
        if (!EqualNoCase(hive, m_root.m_strName))
            return Fail("a key of another hive: \"" + std::string(hive) + "\"");
        m_pKey = &m_root;
        if (slash == std::string_view::npos)
            return true;
        const std::string_view below = path.substr(slash + 1);
        if (static_cast<std::size_t>(std::count(below.begin(), below.end(), '\\')) >= kMaxHiveDepth)
            return Fail("keys nested deeper than " + std::to_string(kMaxHiveDepth) + " levels");
        std::vector<std::string_view> parts;
        if (!SplitKeyPath(below, parts) || parts.empty())
            return Fail("a key path with an empty, invalid or too long name");
        for (std::string_view part : parts) {
            bool bCreated = false;
            m_pKey = &m_pKey->SubKey(part, bCreated);
            if (bCreated && !CountItem())
                return false;
        }
        return true;
    }

    bool ReadValue(std::string_view line) {
        std::string name;
        std::string reason;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            if (!ParseQuoted(line, pos, name, reason))
                return Fail(reason);
            if (name.empty())
                return Fail("an empty value name (the default value is written @)");
            if (!IsValidValueName(name))
                return Fail("a value name with a control character or too long");
        }
        if (pos >= line.size() || line[pos] != '=')
            return Fail("a value name without \"=\"");
        std::string_view rest = line.substr(pos + 1);
        std::string data;
        std::uint32_t type = 0;
        if (!rest.empty() && rest[0] == '"') {
            std::size_t end = 0;
            if (!ParseQuoted(rest, end, data, reason))
                return Fail(reason);
            if (end != rest.size())
                return Fail("text after the closing quote");
            data += '\0';
            type = REG_SZ;
        } else if (StartsWithNoCase(rest, "dword:")) {
            std::uint32_t n = 0;
            if (!ParseHexNumber(rest.substr(6), n))
                return Fail("a dword value that is not 1 to 8 hex digits");
            for (int i = 0; i < 4; ++i)
                data += static_cast<char>((n >> (8 * i)) & 0xFF);
            type = REG_DWORD;
        } else if (StartsWithNoCase(rest, "hex")) {
            rest.remove_prefix(3);
            type = REG_BINARY;
            if (!rest.empty() && rest[0] == '(') {
                const std::size_t close = rest.find(')');
                if (close == std::string_view::npos ||
                    !ParseHexNumber(rest.substr(1, close - 1), type))
                    return Fail("a bad value kind in hex(...)");
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest[0] != ':')
                return Fail("\":\" missing after hex");
            rest.remove_prefix(1);
            std::string list;
            if (!ReadHexContinuation(rest, list))
                return false;
            if (!ParseHexList(list, data, reason))
                return Fail(reason);
        } else {
            return Fail("an unsupported value kind");
        }
        const std::size_t count = m_pKey->Values().size();
        m_pKey->SetValue(name, type, data);
        return m_pKey->Values().size() == count || CountItem();
    }

    // Joins a hex list with the continuation lines that follow a trailing backslash.
    bool ReadHexContinuation(std::string_view first, std::string& list) {
        std::string_view part = first;
        while (true) {
            while (!part.empty() && (part.back() == ' ' || part.back() == '\t'))
                part.remove_suffix(1);
            if (part.empty() || part.back() != '\\') {
                list += part;
                return true;
            }
            part.remove_suffix(1);
            list += part;
            std::string_view next;
            if (!NextLine(next))
                return Fail("the file ends inside a continued hex list");
            const std::size_t start = next.find_first_not_of(" \t");
            part = start == std::string_view::npos ? std::string_view() : next.substr(start);
        }
    }
};

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    return true;
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxValueNameBytes && std::none_of(name.begin(), name.end(), IsControl);
}

bool IsValidKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxKeyNameBytes &&
           name.find('\\') == std::string_view::npos &&
           std::none_of(name.begin(), name.end(), IsControl);
}

bool SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (path.empty())
        return true;
    std::size_t pos = 0;
    while (true) {
        const std::size_t slash = path.find('\\', pos);
        const std::string_view part = path.substr(
            pos, slash == std::string_view::npos ? std::string_view::npos : slash - pos);
        if (!IsValidKeyName(part))
            return false;
        if (parts.size() == kMaxHiveDepth)
            return false;
        parts.push_back(part);
        if (slash == std::string_view::npos)
            return true;
        pos = slash + 1;
    }
}

namespace {

template <typename Key> Key* FindKeyPathIn(Key& root, std::string_view path) {
    Key* pKey = &root;
    std::size_t pos = 0;
    while (pKey && pos < path.size()) {
        const std::size_t slash = path.find('\\', pos);
        const std::size_t stop = slash == std::string_view::npos ? path.size() : slash;
        pKey = pKey->FindSubKey(path.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return pKey;
}

} // namespace

const CHiveKey* FindKeyPath(const CHiveKey& root, std::string_view path) {
    return FindKeyPathIn(root, path);
}

CHiveKey* FindKeyPath(CHiveKey& root, std::string_view path) {
    return FindKeyPathIn(root, path);
}

namespace {

std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = FoldCase(c);
    return folded;
}

} // namespace

template <typename Item>
std::size_t CHiveNameIndex::Find(const std::vector<Item>& items, std::string_view name) const {
    if (items.size() < kMinIndexed) {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (EqualNoCase(items[i].m_strName, name))
                return i;
        return items.size();
    }
    const auto it = m_mapPositions.find(FoldedName(name));
    return it == m_mapPositions.end() ? items.size() : it->second;
}

template <typename Item> void CHiveNameIndex::Appended(const std::vector<Item>& items) {
    if (items.size() == kMinIndexed)
        Rebuild(items);
    else if (items.size() > kMinIndexed)
        m_mapPositions.emplace(FoldedName(items.back().m_strName), items.size() - 1);
}

template <typename Item> void CHiveNameIndex::Rebuild(const std::vector<Item>& items) {
    m_mapPositions.clear();
    if (items.size() < kMinIndexed)
        return;
    m_mapPositions.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        m_mapPositions.emplace(FoldedName(items[i].m_strName), i);
}

CHiveKey::~CHiveKey() {
    if (m_vecSubKeys.empty())
        return;
    // Each key leaves the list with its subkeys moved out, so no destructor recurses.
    std::vector<CHiveKey> pending = std::move(m_vecSubKeys);
    while (!pending.empty()) {
        std::vector<CHiveKey> children = std::move(pending.back().m_vecSubKeys);
        pending.pop_back();
        for (CHiveKey& child : children)
            pending.push_back(std::move(child));
    }
}

CHiveKey* CHiveKey::FindSubKey(std::string_view name) {
    const std::size_t i = m_subKeyIndex.Find(m_vecSubKeys, name);
    return i < m_vecSubKeys.size() ? &m_vecSubKeys[i] : nullptr;
}

const CHiveKey* CHiveKey::FindSubKey(std::string_view name) const {
    return const_cast<CHiveKey*>(this)->FindSubKey(name);
}

SHiveValue* CHiveKey::FindValue(std::string_view name) {
    const std::size_t i = m_valueIndex.Find(m_vecValues, name);
    return i < m_vecValues.size() ? &m_vecValues[i] : nullptr;
}

const SHiveValue* CHiveKey::FindValue(std::string_view name) const {
    return const_cast<CHiveKey*>(this)->FindValue(name);
}

CHiveKey& CHiveKey::SubKey(std::string_view name, bool& bCreated) {
    if (CHiveKey* pKey = FindSubKey(name)) {
        bCreated = false;
        return *pKey;
    }
    bCreated = true;
    CHiveKey& key = m_vecSubKeys.emplace_back();
    key.m_strName = name;
    m_subKeyIndex.Appended(m_vecSubKeys);
    return key;
}

bool CHiveKey::SetValue(std::string_view name, std::uint32_t type, std::string_view data) {
    if (SHiveValue* pValue = FindValue(name)) {
        if (pValue->m_nType == type && pValue->m_strData == data)
            return false;
        pValue->m_nType = type;
        pValue->m_strData = data;
        return true;
    }
    m_vecValues.push_back(SHiveValue{std::string(name), type, std::string(data)});
    m_valueIndex.Appended(m_vecValues);
    return true;
}

bool CHiveKey::DeleteValue(std::string_view name) {
    const std::size_t i = m_valueIndex.Find(m_vecValues, name);
    if (i == m_vecValues.size())
        return false;
    m_vecValues.erase(m_vecValues.begin() + static_cast<std::ptrdiff_t>(i));
    m_valueIndex.Rebuild(m_vecValues);
    return true;
}

bool CHiveKey::DeleteSubKey(std::string_view name) {
    const std::size_t i = m_subKeyIndex.Find(m_vecSubKeys, name);
    if (i == m_vecSubKeys.size())
        return false;
    m_vecSubKeys.erase(m_vecSubKeys.begin() + static_cast<std::ptrdiff_t>(i));
    m_subKeyIndex.Rebuild(m_vecSubKeys);
    return true;
}

std::size_t CountHiveItems(const CHiveKey& root) {
    std::size_t count = 0;
    std::vector<const CHiveKey*> pending{&root};
    while (!pending.empty()) {
        const CHiveKey* pKey = pending.back();
        pending.pop_back();
        count += pKey->SubKeys().size() + pKey->Values().size();
        for (const CHiveKey& sub : pKey->SubKeys())
            pending.push_back(&sub);
    }
    return count;
}

std::string WriteHiveText(const CHiveKey& root) {
    std::string out(kHiveFileHeader);
    out += "\n\n";
    std::string path = root.m_strName;
    AppendKey(out, root, path, true);
    return out;
}

bool ReadHiveText(std::string_view text, CHiveKey& root, SHiveParseError& error) {
    return CHiveReader(text, root, error).Read();
}
