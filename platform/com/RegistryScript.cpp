#include "platform/com/RegistryScript.h"

#include "platform/com/ErrorInfo.h"
#include "platform/locale/CodePage.h"

#include <optional>
#include <utility>

namespace {

enum class ETokenKind { End, Word, String, Open, Close, Equals };

struct SToken {
    ETokenKind m_kind = ETokenKind::End;
    std::string m_strText; // words and strings, replacements applied
    int m_nLine = 1;
};

class CParser {
public:
    CParser(std::string_view text, const TScriptReplacements& replacements)
        : m_text(text), m_replacements(replacements) {}

    bool ParseAll(std::vector<CRegistryScript::SKey>& keys, std::string& strError) {
        try {
            Advance();
            while (m_token.m_kind != ETokenKind::End)
                keys.push_back(ParseKey(true));
            return true;
        } catch (const std::string& error) {
            strError = error;
            return false;
        }
    }

private:
    [[noreturn]] void Fail(int nLine, const std::string& what) const {
        throw "line " + std::to_string(nLine) + ": " + what;
    }

    std::string Replace(std::string_view raw, int nLine) const {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out.push_back(raw[i]);
                continue;
            }
            const std::size_t end = raw.find('%', i + 1);
            if (end == std::string_view::npos)
                Fail(nLine, "'%' without its closing '%'");
            const std::string_view name = raw.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out.push_back('%');
            } else {
                const auto it = m_replacements.find(name);
                if (it == m_replacements.end())
                    Fail(nLine, "unknown replacement %" + std::string(name) + "%");
                out += it->second;
            }
            i = end;
        }
        return out;
    }

    void SkipBlanks() {
        while (m_nPos < m_text.size()) {
            const char c = m_text[m_nPos];
            if (c == '\n') {
                ++m_nLine;
                ++m_nPos;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++m_nPos;
            } else if (c == '#') {
                while (m_nPos < m_text.size() && m_text[m_nPos] != '\n')
                    ++m_nPos;
            } else {
                return;
            }
        }
    }

    static bool IsWordChar(char c) {
        return c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '"' && c != '{' &&
               c != '}' && c != '=' && c != '#';
    }

    void Advance() {
        SkipBlanks();
        m_token = SToken{};
        m_token.m_nLine = m_nLine;
        if (m_nPos >= m_text.size())
            return;
        const char c = m_text[m_nPos];
        if (c == '{' || c == '}' || c == '=') {
            m_token.m_kind =
                c == '{' ? ETokenKind::Open : (c == '}' ? ETokenKind::Close : ETokenKind::Equals);
            ++m_nPos;
            return;
        }
        std::string raw;
        if (c == '"') {
            ++m_nPos;
            for (;;) {
                if (m_nPos >= m_text.size() || m_text[m_nPos] == '\n')
                    Fail(m_token.m_nLine, "a quoted string does not end on its line");
                char ch = m_text[m_nPos++];
                if (ch == '"')
                    break;
                if (ch == '\\' && m_nPos < m_text.size() &&
                    (m_text[m_nPos] == '"' || m_text[m_nPos] == '\\'))
                    ch = m_text[m_nPos++];
                raw.push_back(ch);
            }
            m_token.m_kind = ETokenKind::String;
        } else {
            while (m_nPos < m_text.size() && IsWordChar(m_text[m_nPos]))
                raw.push_back(m_text[m_nPos++]);
            if (raw.empty())
                Fail(m_token.m_nLine, std::string("unexpected character '") + c + "'");
            m_token.m_kind = ETokenKind::Word;
        }
        m_token.m_strText = Replace(raw, m_token.m_nLine);
    }

    std::string TakeName(const char* pszWhat) {
        if (m_token.m_kind != ETokenKind::Word && m_token.m_kind != ETokenKind::String)
            Fail(m_token.m_nLine, std::string("expected ") + pszWhat);
        std::string name = std::move(m_token.m_strText);
        Advance();
        return name;
    }

    CRegistryScript::SValue ParseValueData(std::string name) {
        CRegistryScript::SValue value;
        value.m_strName = std::move(name);
        const int nLine = m_token.m_nLine;
        if (m_token.m_kind == ETokenKind::String) {
            value.m_nType = REG_SZ;
            value.m_strText = std::move(m_token.m_strText);
        } else if (m_token.m_kind == ETokenKind::Word &&
                   LowerCase(std::string_view(m_token.m_strText).substr(0, 6), CP_UTF8) ==
                       "dword:") {
            const std::string digits = m_token.m_strText.substr(6);
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                Fail(nLine, "dword: needs 1 to 8 hexadecimal digits");
            value.m_nType = REG_DWORD;
            value.m_nDword = static_cast<std::uint32_t>(std::stoul(digits, nullptr, 16));
        } else {
            Fail(nLine, "expected a quoted string or dword:<hex> after '='");
        }
        Advance();
        return value;
    }

    CRegistryScript::SKey ParseKey(bool bTopLevel) {
        CRegistryScript::SKey key;
        const int nLine = m_token.m_nLine;
        if (m_token.m_kind == ETokenKind::Word && m_token.m_strText == "shared") {
            key.m_mode = CRegistryScript::EMode::Shared;
            Advance();
        } else if (m_token.m_kind == ETokenKind::Word && m_token.m_strText == "tree") {
            key.m_mode = CRegistryScript::EMode::Tree;
            Advance();
        }
        key.m_strName = TakeName("a key name");
        if (key.m_strName.empty() || key.m_strName.find('\\') != std::string::npos)
            Fail(nLine, "a key name must be one non-empty name without '\\'");
        if (bTopLevel && IsSharedRootKey(key.m_strName)) {
            if (key.m_mode == CRegistryScript::EMode::Tree)
                Fail(nLine, "the shared key " + key.m_strName + " cannot be removed whole");
            key.m_mode = CRegistryScript::EMode::Shared;
        }
        if (m_token.m_kind == ETokenKind::Equals) {
            Advance();
            key.m_vecValues.push_back(ParseValueData(""));
        }
        if (m_token.m_kind != ETokenKind::Open)
            return key;
        Advance();
        for (;;) {
            if (m_token.m_kind == ETokenKind::Close) {
                Advance();
                return key;
            }
            if (m_token.m_kind == ETokenKind::End)
                Fail(m_token.m_nLine, "'}' missing for the key " + key.m_strName);
            if (m_token.m_kind == ETokenKind::Word && m_token.m_strText == "value") {
                Advance();
                std::string name = TakeName("a value name");
                if (m_token.m_kind != ETokenKind::Equals)
                    Fail(m_token.m_nLine, "expected '=' after the value name " + name);
                Advance();
                key.m_vecValues.push_back(ParseValueData(std::move(name)));
            } else {
                key.m_vecSubKeys.push_back(ParseKey(false));
            }
        }
    }

    std::string_view m_text;
    const TScriptReplacements& m_replacements;
    std::size_t m_nPos = 0;
    int m_nLine = 1;
    SToken m_token;
};

HRESULT FromRegStatus(ERegStatus status) {
    return HRESULT_FROM_WIN32(static_cast<std::uint32_t>(status));
}

std::string Join(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "\\" + name;
}

HRESULT RegisterKey(ERegHive hive, const std::string& parent, const CRegistryScript::SKey& key) {
    const std::string path = Join(parent, key.m_strName);
    if (key.m_mode == CRegistryScript::EMode::Tree) {
        // Leftovers of an earlier version go with the old tree.
        const ERegStatus removed = RegDeleteTree(hive, path);
        if (removed != REG_STATUS_OK && removed != REG_STATUS_NOT_FOUND)
            return FromRegStatus(removed);
    }
    CRegKey handle;
    ERegStatus status = handle.Create(hive, path);
    if (status != REG_STATUS_OK)
        return FromRegStatus(status);
    for (const CRegistryScript::SValue& value : key.m_vecValues) {
        status = value.m_nType == REG_DWORD ? handle.SetDword(value.m_strName, value.m_nDword)
                                            : handle.SetString(value.m_strName, value.m_strText);
        if (status != REG_STATUS_OK)
            return FromRegStatus(status);
    }
    for (const CRegistryScript::SKey& sub : key.m_vecSubKeys) {
        const HRESULT hr = RegisterKey(hive, path, sub);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

void Note(HRESULT& hrFirst, ERegStatus status) {
    if (status != REG_STATUS_OK && status != REG_STATUS_NOT_FOUND && SUCCEEDED(hrFirst))
        hrFirst = FromRegStatus(status);
}

void UnregisterKey(ERegHive hive, const std::string& parent, const CRegistryScript::SKey& key,
                   HRESULT& hrFirst) {
    const std::string path = Join(parent, key.m_strName);
    if (key.m_mode == CRegistryScript::EMode::Tree) {
        Note(hrFirst, RegDeleteTree(hive, path));
        return;
    }
    CRegKey handle;
    if (handle.Open(hive, path) != REG_STATUS_OK)
        return; // already gone, with everything below it
    for (const CRegistryScript::SKey& sub : key.m_vecSubKeys)
        UnregisterKey(hive, path, sub, hrFirst);
    if (key.m_mode == CRegistryScript::EMode::Shared)
        return;
    for (const CRegistryScript::SValue& value : key.m_vecValues)
        Note(hrFirst, handle.DeleteValue(value.m_strName));
    if (handle.SubKeyNames().empty() && handle.ValueNames().empty())
        Note(hrFirst, RegDeleteKey(hive, path));
}

} // namespace

bool IsSharedRootKey(std::string_view name) {
    static constexpr std::string_view kShared[] = {
        "clsid", "interface", "typelib",  "appid", "component categories",
        "mime",  "filetype",  "software", "*"};
    const std::string lower = LowerCase(name, CP_UTF8);
    for (const std::string_view shared : kShared)
        if (lower == shared)
            return true;
    return !name.empty() && name.front() == '.';
}

bool CRegistryScript::Parse(std::string_view script, const TScriptReplacements& replacements,
                            std::string& strError) {
    m_vecKeys.clear();
    std::vector<SKey> keys;
    CParser parser(script, replacements);
    if (!parser.ParseAll(keys, strError))
        return false;
    m_vecKeys = std::move(keys);
    return true;
}

HRESULT CRegistryScript::Register(ERegHive hive) const {
    for (const SKey& key : m_vecKeys) {
        const HRESULT hr = RegisterKey(hive, "", key);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CRegistryScript::Unregister(ERegHive hive) const {
    HRESULT hrFirst = S_OK;
    for (const SKey& key : m_vecKeys)
        UnregisterKey(hive, "", key, hrFirst);
    return hrFirst;
}

HRESULT UpdateRegistryFromScript(std::string_view script, const TScriptReplacements& replacements,
                                 bool bRegister) {
    CRegistryScript parsed;
    std::string strError;
    if (!parsed.Parse(script, replacements, strError)) {
        SetErrorDescription(u"Registration script: " + CodePageToUtf16(strError, CP_UTF8));
        return E_INVALIDARG;
    }
    return bRegister ? parsed.Register() : parsed.Unregister();
}
