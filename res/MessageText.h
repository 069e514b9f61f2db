// The program's message texts with their placeholders filled: "%s" takes a text, "%d"
// (also "%ld") a number, "%%" is a percent sign. Arguments fill the placeholders in order;
// a number given for "%s" is written in decimal and a text given for "%d" is written as it
// is, so a mismatch never reads memory it should not. A placeholder left without an
// argument stays as written, and any other "%" sequence is copied unchanged.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class CMessageArg {
public:
    CMessageArg(std::string_view text) : m_text(text) {}
    CMessageArg(const std::string& text) : m_text(text) {}
    CMessageArg(const char* pszText) : m_text(pszText ? pszText : "") {}
    CMessageArg(int n) : m_bNumber(true), m_nNumber(n) {}
    CMessageArg(long n) : m_bNumber(true), m_nNumber(n) {}
    CMessageArg(long long n) : m_bNumber(true), m_nNumber(n) {}

    void AppendTo(std::string& out) const;

private:
    std::string_view m_text;
    bool m_bNumber = false;
    long long m_nNumber = 0;
};

[[nodiscard]] std::string FormatMessageText(std::string_view format,
                                            std::initializer_list<CMessageArg> args);
// String-table entry nId with its placeholders filled.
[[nodiscard]] std::string LoadMessageText(unsigned nId, std::initializer_list<CMessageArg> args);
