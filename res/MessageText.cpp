#include "res/MessageText.h"

#include "res/StringTable.h"

void CMessageArg::AppendTo(std::string& out) const {
    if (m_bNumber)
        out += std::to_string(m_nNumber);
    else
        out += m_text;
}

std::string FormatMessageText(std::string_view format, std::initializer_list<CMessageArg> args) {
    std::string out;
    out.reserve(format.size() + 64);
    const CMessageArg* pNext = args.begin();
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            ++i;
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        std::size_t nLength = 0; // of the placeholder after the '%'
        if (format[i + 1] == 's' || format[i + 1] == 'd')
            nLength = 1;
        else if (format.substr(i + 1, 2) == "ld")
            nLength = 2;
        if (nLength == 0 || pNext == args.end()) {
            out += c;
            ++i;
            continue;
        }
        pNext->AppendTo(out);
        ++pNext;
        i += 1 + nLength;
    }
    return out;
}

std::string LoadMessageText(unsigned nId, std::initializer_list<CMessageArg> args) {
    return FormatMessageText(LoadResourceString(nId), args);
}
