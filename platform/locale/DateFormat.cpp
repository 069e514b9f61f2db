#include "platform/locale/DateFormat.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr std::string_view kPictureLetters = "dMyhHmst";

bool IsPictureLetter(char c) {
    return kPictureLetters.find(c) != std::string_view::npos;
}

// One element of a picture: a field (a run of one picture letter) or literal text. Each
// quoted section and each other character is an element of its own; m_raw is its source
// text, so that joining the raw texts gives the picture back.
struct CPictureToken {
    bool m_bField = false;
    char m_cLetter = 0;
    int m_nCount = 0;
    std::string_view m_raw;
};

std::vector<CPictureToken> TokenizePicture(std::string_view picture) {
    std::vector<CPictureToken> tokens;
    std::size_t i = 0;
    while (i < picture.size()) {
        const std::size_t start = i;
        CPictureToken token;
        const char c = picture[i];
        if (c == '\'') {
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'' && i > start + 1) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
        } else if (IsPictureLetter(c)) {
            while (i < picture.size() && picture[i] == c)
                ++i;
            token.m_bField = true;
            token.m_cLetter = c;
            token.m_nCount = static_cast<int>(i - start);
        } else {
            ++i;
        }
        token.m_raw = picture.substr(start, i - start);
        tokens.push_back(token);
    }
    return tokens;
}

std::string JoinTokens(const std::vector<CPictureToken>& tokens) {
    std::string out;
    for (const CPictureToken& token : tokens)
        out += token.m_raw;
    return out;
}

bool IsBlankToken(const CPictureToken& token) {
    return !token.m_bField && token.m_raw == " ";
}

void AppendNumber(std::string& out, int nValue, int nMinDigits) {
    if (nValue < 0) {
        out += '-';
        nValue = -nValue;
    }
    char buffer[16];
    int n = 0;
    do {
        buffer[n++] = static_cast<char>('0' + nValue % 10);
        nValue /= 10;
    } while (nValue > 0 && n < 15);
    for (int i = n; i < nMinDigits; ++i)
        out += '0';
    while (n > 0)
        out += buffer[--n];
}

std::size_t FirstCharLength(std::string_view utf8) {
    if (utf8.empty())
        return 0;
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(utf8.size(), 4));
    std::int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(p, i, n, c);
    return static_cast<std::size_t>(i);
}

bool IsSkippableBySearch(char32_t c) {
    const auto ch = static_cast<UChar32>(c);
    return u_isUWhiteSpace(ch) || u_charType(ch) == U_FORMAT_CHAR || c == U',';
}

char32_t FoldCharBySearch(UChar32 c) {
    if (u_isUWhiteSpace(c))
        c = ' ';
    return static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
}

// The answers of the character properties for ASCII, looked up once: dates and times are
// nearly always ASCII, and the property lookups cost more than the parse.
struct CAsciiTable {
    CAsciiTable() {
        for (char32_t c = 0; c < 0x80; ++c) {
            m_folded[c] = FoldCharBySearch(static_cast<UChar32>(c));
            m_bSkippable[c] = IsSkippableBySearch(c);
        }
    }
    char32_t m_folded[0x80] = {};
    bool m_bSkippable[0x80] = {};
};

const CAsciiTable& AsciiTable() {
    static const CAsciiTable s_table;
    return s_table;
}

bool IsSkippable(char32_t c) {
    return c < 0x80 ? AsciiTable().m_bSkippable[c] : IsSkippableBySearch(c);
}

// Code points of UTF-8 text with simple case folding, every white space character a
// blank; ill-formed bytes become U+FFFD.
std::u32string FoldText(std::string_view utf8) {
    std::u32string out;
    out.resize(utf8.size());
    const CAsciiTable& ascii = AsciiTable();
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(utf8.size(), INT32_MAX));
    std::size_t nOut = 0;
    for (std::int32_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            out[nOut++] = ascii.m_folded[p[i++]];
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(p, i, n, c);
        if (c < 0)
            c = 0xFFFD;
        out[nOut++] = FoldCharBySearch(c);
    }
    out.resize(nOut);
    return out;
}

// Folded text without white space, format characters and the given punctuation at both
// ends.
std::u32string TrimFolded(std::u32string text, std::u32string_view punctuation = U"") {
    auto strip = [&](char32_t c) {
        return IsSkippable(c) || punctuation.find(c) != std::u32string_view::npos;
    };
    while (!text.empty() && strip(text.back()))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && strip(text[first]))
        ++first;
    return text.substr(first);
}

char32_t SeparatorChar(std::string_view utf8) {
    for (char32_t c : FoldText(utf8)) {
        if (!IsSkippable(c))
            return c;
    }
    return 0;
}

int DigitValue(char32_t c) {
    const auto ch = static_cast<UChar32>(c);
    if (c < 0x80)
        return c >= U'0' && c <= U'9' ? static_cast<int>(c - U'0') : -1;
    return u_charType(ch) == U_DECIMAL_DIGIT_NUMBER ? u_charDigitValue(ch) : -1;
}

bool IsLeapYear(int nYear) {
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int DaysInMonth(int nYear, int nMonth) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth == 2 && IsLeapYear(nYear))
        return 29;
    return kDays[nMonth - 1];
}

// The marker text a t or tt field writes.
std::u32string PrintedMarker(std::string_view marker, int nCount) {
    const std::string_view shown = nCount == 1 ? marker.substr(0, FirstCharLength(marker)) : marker;
    return TrimFolded(FoldText(shown));
}

} // namespace

std::string_view TrimText(std::string_view text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto n = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
    std::int32_t first = n;
    std::int32_t end = 0;
    for (std::int32_t i = 0; i < n;) {
        const std::int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(p, i, n, c);
        if (c >= 0 && u_isUWhiteSpace(c))
            continue;
        first = std::min(first, start);
        end = i;
    }
    if (first >= end)
        return {};
    return text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(end - first));
}

std::string FormatPicture(std::string_view picture, const CLocalTime& time,
                          const CRegionalSettings& settings) {
    std::string out;
    out.reserve(picture.size() + 8);
    std::size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += picture[i++];
            }
            continue;
        }
        if (!IsPictureLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < picture.size() && picture[j] == c)
            ++j;
        const int nCount = static_cast<int>(j - i);
        i = j;
        switch (c) {
        case 'd':
            AppendNumber(out, time.m_nDay, nCount >= 2 ? 2 : 1);
            break;
        case 'M': {
            const auto& names = nCount == 3 ? settings.m_vecMonthAbbrevs : settings.m_vecMonthNames;
            if (nCount >= 3 && time.m_nMonth >= 1 && time.m_nMonth <= 12 && names.size() == 12)
                out += names[static_cast<std::size_t>(time.m_nMonth - 1)];
            else
                AppendNumber(out, time.m_nMonth, nCount >= 2 ? 2 : 1);
            break;
        }
        case 'y':
            if (nCount <= 2)
                AppendNumber(out, std::abs(time.m_nYear % 100), nCount);
            else
                AppendNumber(out, time.m_nYear, 4);
            break;
        case 'h': {
            const int nHour = time.m_nHour % 12 == 0 ? 12 : time.m_nHour % 12;
            AppendNumber(out, nHour, nCount >= 2 ? 2 : 1);
            break;
        }
        case 'H':
            AppendNumber(out, time.m_nHour, nCount >= 2 ? 2 : 1);
            break;
        case 'm':
            AppendNumber(out, time.m_nMinute, nCount >= 2 ? 2 : 1);
            break;
        case 's':
            AppendNumber(out, time.m_nSecond, nCount >= 2 ? 2 : 1);
            break;
        case 't': {
            const std::string& marker = time.m_nHour < 12 ? settings.m_str1159 : settings.m_str2359;
            out += nCount == 1 ? marker.substr(0, FirstCharLength(marker)) : marker;
            break;
        }
        default:
            break;
        }
    }
    return out;
}

std::string TimePictureWithoutSeconds(std::string_view picture) {
    std::vector<CPictureToken> tokens = TokenizePicture(picture);
    for (;;) {
        const auto it = std::find_if(tokens.begin(), tokens.end(), [](const CPictureToken& t) {
            return t.m_bField && t.m_cLetter == 's';
        });
        if (it == tokens.end())
            break;
        // The separator before the seconds goes with them; seconds standing first take
        // the separator after them instead.
        auto first = it;
        while (first != tokens.begin() && !std::prev(first)->m_bField)
            --first;
        auto last = std::next(it);
        if (first == tokens.begin()) {
            first = it;
            while (last != tokens.end() && !last->m_bField)
                ++last;
        }
        tokens.erase(first, last);
    }
    return JoinTokens(tokens);
}

std::string TimePictureWith24Hours(std::string_view picture) {
    std::vector<CPictureToken> tokens = TokenizePicture(picture);
    std::vector<CPictureToken> out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        CPictureToken token = tokens[i];
        if (token.m_bField && token.m_cLetter == 'h') {
            token.m_cLetter = 'H';
            token.m_raw = token.m_nCount >= 2 ? "HH" : "H";
        }
        if (token.m_bField && token.m_cLetter == 't') {
            if (!out.empty() && IsBlankToken(out.back()))
                out.pop_back();
            else if (i + 1 < tokens.size() && IsBlankToken(tokens[i + 1]))
                ++i;
            continue;
        }
        out.push_back(token);
    }
    return JoinTokens(out);
}

std::string PictureWithNumericMonths(std::string_view picture) {
    std::vector<CPictureToken> tokens = TokenizePicture(picture);
    for (CPictureToken& token : tokens) {
        if (token.m_bField && token.m_cLetter == 'M' && token.m_nCount >= 3)
            token.m_raw = "MM";
    }
    return JoinTokens(tokens);
}

bool PictureHasField(std::string_view picture, std::string_view letters) {
    const std::vector<CPictureToken> tokens = TokenizePicture(picture);
    return std::any_of(tokens.begin(), tokens.end(), [letters](const CPictureToken& t) {
        return t.m_bField && letters.find(t.m_cLetter) != std::string_view::npos;
    });
}

std::string NoSecondsTimePicture(const CRegionalSettings& settings) {
    std::string picture = TimePictureWithoutSeconds(settings.m_strTimeFormat);
    const std::vector<CPictureToken> tokens = TokenizePicture(picture);
    bool bTwelveHour = false;
    int nMarkerCount = 0;
    for (const CPictureToken& token : tokens) {
        if (!token.m_bField)
            continue;
        if (token.m_cLetter == 'h')
            bTwelveHour = true;
        else if (token.m_cLetter == 't')
            nMarkerCount = std::max(nMarkerCount, token.m_nCount);
    }
    if (!bTwelveHour)
        return picture;
    bool bTellApart = false;
    if (nMarkerCount > 0) {
        const std::u32string morning = PrintedMarker(settings.m_str1159, nMarkerCount);
        const std::u32string afternoon = PrintedMarker(settings.m_str2359, nMarkerCount);
        bTellApart = !morning.empty() && !afternoon.empty() && morning != afternoon;
    }
    return bTellApart ? picture : TimePictureWith24Hours(picture);
}

std::string FormatShortDate(const CLocalTime& time, const CRegionalSettings& s) {
    return FormatPicture(s.m_strShortDate, time, s);
}

std::string FormatTimeNoSeconds(const CLocalTime& time, const CRegionalSettings& s) {
    return FormatPicture(NoSecondsTimePicture(s), time, s);
}

CDateTimeParser::CDateTimeParser(const CRegionalSettings& settings) {
    m_cDateSeparator = SeparatorChar(settings.m_strDate);
    m_cTimeSeparator = SeparatorChar(settings.m_strTime);
    m_bDotIsTimeSeparator = m_cDateSeparator != U'.';

    AddName(settings.m_str1159, ENameKind::Morning);
    AddName(settings.m_str2359, ENameKind::Afternoon);
    // A single t writes the markers' first letters: read those as well.
    const std::vector<CPictureToken> timeTokens = TokenizePicture(settings.m_strTimeFormat);
    const bool bShortMarker = std::any_of(timeTokens.begin(), timeTokens.end(), [](const auto& t) {
        return t.m_bField && t.m_cLetter == 't' && t.m_nCount == 1;
    });
    const std::u32string morning = PrintedMarker(settings.m_str1159, 1);
    const std::u32string afternoon = PrintedMarker(settings.m_str2359, 1);
    if (bShortMarker && !morning.empty() && !afternoon.empty() && morning != afternoon) {
        m_vecNames.push_back(CName{morning, ENameKind::Morning, 0});
        m_vecNames.push_back(CName{afternoon, ENameKind::Afternoon, 0});
        for (const char32_t c : {morning.front(), afternoon.front()}) {
            if (c < 0x80)
                m_bAsciiFirst[c] = true;
        }
    }
    // The locale's day periods also where the picture shows none, and the English ones
    // that people type everywhere ("2:45 pm" cannot be misread).
    AddName(settings.m_strMorningName, ENameKind::Morning);
    AddName(settings.m_strAfternoonName, ENameKind::Afternoon);
    for (const char* pszName : {"am", "a.m."})
        AddName(pszName, ENameKind::Morning);
    for (const char* pszName : {"pm", "p.m."})
        AddName(pszName, ENameKind::Afternoon);
    // Times and dates as people write them: "14h45" (fr), "14:45 Uhr" (de), "14時45分" and
    // "2026年12月5日" (ja). Added before the weekday names, which they win over ("月" is
    // also Monday's short name).
    for (const char* pszName : {"h", "時"})
        AddName(pszName, ENameKind::HourMark);
    for (const char* pszName : {"年", "月"})
        AddName(pszName, ENameKind::DateMark);
    AddName("uhr", ENameKind::Clock);
    for (const char* pszName : {"分", "秒", "日"})
        AddName(pszName, ENameKind::Word);
    for (std::size_t i = 0; i < settings.m_vecMonthNames.size() && i < 12; ++i)
        AddName(settings.m_vecMonthNames[i], ENameKind::Month, static_cast<int>(i) + 1);
    for (std::size_t i = 0; i < settings.m_vecMonthAbbrevs.size() && i < 12; ++i)
        AddName(settings.m_vecMonthAbbrevs[i], ENameKind::Month, static_cast<int>(i) + 1);
    for (const auto* pDays : {&settings.m_vecDayNames, &settings.m_vecDayAbbrevs}) {
        for (std::size_t i = 0; i < pDays->size() && i < 7; ++i)
            AddName((*pDays)[i], ENameKind::Weekday, static_cast<int>(i));
    }

    // Words the pictures write as literals ("'г'." after a Bulgarian date) are passed over.
    for (const std::string* pPicture : {&settings.m_strShortDate, &settings.m_strTimeFormat}) {
        std::string literal;
        for (const CPictureToken& token : TokenizePicture(*pPicture)) {
            if (!token.m_bField) {
                std::string_view raw = token.m_raw;
                if (raw.size() >= 2 && raw.front() == '\'') {
                    raw.remove_prefix(1);
                    if (!raw.empty() && raw.back() == '\'')
                        raw.remove_suffix(1);
                }
                literal += raw;
                continue;
            }
            AddName(literal, ENameKind::Word);
            literal.clear();
        }
        AddName(literal, ENameKind::Word);
    }

    std::string order;
    for (const CPictureToken& token : TokenizePicture(settings.m_strShortDate)) {
        const char c = token.m_cLetter;
        if (token.m_bField && (c == 'd' || c == 'M' || c == 'y') &&
            order.find(c) == std::string::npos)
            order += c;
    }
    for (char c : {'d', 'M', 'y'}) {
        if (order.find(c) == std::string::npos)
            order += c;
    }
    std::copy_n(order.begin(), 3, m_order);
}

void CDateTimeParser::AddName(std::string_view utf8, ENameKind kind, int nMonth) {
    // A trailing period of a name is optional in the text ("Dez." and "Dez").
    const bool bName = kind == ENameKind::Month || kind == ENameKind::Weekday;
    std::u32string folded = TrimFolded(FoldText(utf8), bName ? U"." : U"");
    if (kind == ENameKind::Word) {
        // Words, not the separators between fields; '?' stands for letters the code page
        // could not hold.
        folded = TrimFolded(std::move(folded), U"./-:");
        const bool bDigit = std::any_of(folded.begin(), folded.end(),
                                        [](char32_t c) { return DigitValue(c) >= 0; });
        if (bDigit)
            return;
    }
    if (folded.empty())
        return;
    if (DigitValue(folded.front()) >= 0)
        m_bNameStartsWithDigit = true;
    if (folded.front() < 0x80)
        m_bAsciiFirst[folded.front()] = true;
    m_vecNames.push_back(CName{std::move(folded), kind, nMonth});
}

const CDateTimeParser::CName* CDateTimeParser::MatchName(const std::u32string& text,
                                                         std::size_t pos, std::size_t& end) const {
    // Most characters start no name: separators and digits are passed at once.
    const char32_t cFirst = text[pos];
    if (cFirst < 0x80 && !m_bAsciiFirst[cFirst])
        return nullptr;
    const CName* pBest = nullptr;
    for (const CName& name : m_vecNames) {
        if (name.m_strFolded.front() != cFirst)
            continue;
        const std::size_t n = name.m_strFolded.size();
        if (pBest && n <= pBest->m_strFolded.size())
            continue;
        if (text.compare(pos, n, name.m_strFolded) != 0)
            continue;
        // "Mar" must not match the start of "Marx"; ideographs need no boundary.
        const std::size_t next = pos + n;
        if (next < text.size()) {
            const auto last = static_cast<UChar32>(name.m_strFolded.back());
            const auto following = static_cast<UChar32>(text[next]);
            if (u_isalpha(last) && u_isalpha(following) &&
                !u_hasBinaryProperty(last, UCHAR_IDEOGRAPHIC))
                continue;
        }
        pBest = &name;
    }
    if (!pBest)
        return nullptr;
    end = pos + pBest->m_strFolded.size();
    // A period after a name or word is part of it ("Dez.", "г."), not a separator.
    const ENameKind kind = pBest->m_kind;
    if (kind != ENameKind::Morning && kind != ENameKind::Afternoon && kind != ENameKind::HourMark &&
        kind != ENameKind::DateMark && end < text.size() && text[end] == U'.')
        ++end;
    return pBest;
}

std::optional<CParsedDateTime> CDateTimeParser::Parse(std::string_view utf8, int nCurrentYear,
                                                      bool bTimeWanted) const {
    enum class ELink { None, Date, Time };
    enum class ELast { Start, Number, Separator, Other };
    struct CNumber {
        int m_nValue = 0;
        int m_nDigits = 0;
        bool m_bMonthName = false;
        ELink m_link = ELink::None; // how it joins the number before it
        bool m_bDot = false;        // joined by a dot
    };
    constexpr int kMaxNumbers = 6;
    constexpr int kMaxDigits = 9;

    const std::u32string text = FoldText(utf8);
    std::array<CNumber, kMaxNumbers> numbers{};
    int nNumbers = 0;
    ENameKind marker = ENameKind::Word; // Word: none seen
    int nMarkerAt = -1;                 // the count of numbers before the marker
    ELast last = ELast::Start;
    ELink pending = ELink::None;
    bool bPendingDot = false;      // the pending separator is a dot
    bool bPendingHourMark = false; // the pending separator is an hour mark
    int nWeekday = -1;
    int nClockAt = -1; // the count of numbers before a clock word or a final hour mark

    auto pushNumber = [&](int nValue, int nDigits, bool bMonthName) {
        if (nNumbers == kMaxNumbers)
            return false;
        CNumber& number = numbers[static_cast<std::size_t>(nNumbers++)];
        number.m_nValue = nValue;
        number.m_nDigits = nDigits;
        number.m_bMonthName = bMonthName;
        number.m_link = last == ELast::Separator ? pending : ELink::None;
        number.m_bDot = last == ELast::Separator && bPendingDot;
        last = ELast::Number;
        pending = ELink::None;
        return true;
    };
    auto takeSeparator = [&](ELink link, bool bDot, bool bHourMark) {
        if (last != ELast::Number)
            return false;
        pending = link;
        last = ELast::Separator;
        bPendingDot = bDot;
        bPendingHourMark = bHourMark;
        return true;
    };

    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t c = text[i];
        if (IsSkippable(c)) {
            ++i;
            continue;
        }
        const int nDigit = DigitValue(c);
        if (nDigit < 0 || m_bNameStartsWithDigit) {
            std::size_t end = 0;
            if (const CName* pName = MatchName(text, i, end)) {
                i = end;
                switch (pName->m_kind) {
                case ENameKind::Morning:
                case ENameKind::Afternoon:
                    if (marker != ENameKind::Word || pending == ELink::Time)
                        return std::nullopt;
                    marker = pName->m_kind;
                    nMarkerAt = nNumbers;
                    last = ELast::Other;
                    pending = ELink::None;
                    break;
                case ENameKind::Month:
                    if (!pushNumber(pName->m_nMonth, 0, true))
                        return std::nullopt;
                    break;
                case ENameKind::Weekday:
                    if (nWeekday >= 0 || pending == ELink::Time)
                        return std::nullopt;
                    nWeekday = pName->m_nMonth;
                    last = ELast::Other;
                    pending = ELink::None;
                    break;
                case ENameKind::HourMark:
                    if (!takeSeparator(ELink::Time, false, true))
                        return std::nullopt;
                    break;
                case ENameKind::DateMark:
                    if (!takeSeparator(ELink::Date, false, false))
                        return std::nullopt;
                    break;
                case ENameKind::Clock:
                    // After a time or an hour, once: "14:45 Uhr", "9 Uhr".
                    if (nClockAt >= 0 || last != ELast::Number)
                        return std::nullopt;
                    nClockAt = nNumbers;
                    last = ELast::Other;
                    pending = ELink::None;
                    break;
                case ENameKind::Word:
                    if (pending == ELink::Time)
                        return std::nullopt;
                    last = ELast::Other;
                    pending = ELink::None;
                    break;
                }
                continue;
            }
        }
        if (nDigit >= 0) {
            int nValue = 0;
            int nDigits = 0;
            while (i < text.size()) {
                const int d = DigitValue(text[i]);
                if (d < 0)
                    break;
                if (++nDigits > kMaxDigits)
                    return std::nullopt;
                nValue = nValue * 10 + d;
                ++i;
            }
            if (!pushNumber(nValue, nDigits, false))
                return std::nullopt;
            continue;
        }
        ELink link = ELink::None;
        if (c == m_cDateSeparator || c == U'/' || c == U'-')
            link = ELink::Date;
        else if (c == U':' || c == m_cTimeSeparator || (c == U'.' && m_bDotIsTimeSeparator))
            link = ELink::Time;
        else
            return std::nullopt;
        if (!takeSeparator(link, c == U'.', false))
            return std::nullopt;
        ++i;
    }
    if (last == ELast::Separator && pending == ELink::Time) {
        // "14h", "14時": an hour mark may end the text after the hour (not after minutes).
        if (!bPendingHourMark || nClockAt >= 0 ||
            numbers[static_cast<std::size_t>(nNumbers - 1)].m_link == ELink::Time)
            return std::nullopt;
        nClockAt = nNumbers;
    }
    if (nNumbers == 0)
        return std::nullopt;
    // Two numbers joined by the dot that separates dates ("14.45" in de) are a time where
    // a time is wanted or a marker or clock word says so, and they make one; otherwise
    // they stay a day and month.
    if (nNumbers == 2 && last != ELast::Separator && numbers[1].m_link == ELink::Date &&
        numbers[1].m_bDot && numbers[1].m_nDigits == 2 && !numbers[0].m_bMonthName &&
        !numbers[1].m_bMonthName && numbers[0].m_nValue <= 23 && numbers[1].m_nValue <= 59 &&
        (bTimeWanted || marker != ENameKind::Word || nClockAt >= 0))
        numbers[1].m_link = ELink::Time;

    // The time: the numbers joined by time separators, in one run.
    int nTimeFirst = -1;
    int nTimeLast = -1;
    for (int k = 1; k < nNumbers; ++k) {
        if (numbers[static_cast<std::size_t>(k)].m_link != ELink::Time)
            continue;
        if (nTimeFirst < 0)
            nTimeFirst = k - 1;
        else if (nTimeLast != k - 1)
            return std::nullopt;
        nTimeLast = k;
    }
    if (nTimeFirst >= 0 && nTimeLast - nTimeFirst + 1 > 3)
        return std::nullopt;
    // A date separator before a time of two or three numbers ended the date ("5.12. 14:45",
    // "2026. 12. 5. 14:45").
    if (nTimeFirst >= 0 && numbers[static_cast<std::size_t>(nTimeFirst)].m_link == ELink::Date)
        numbers[static_cast<std::size_t>(nTimeFirst)].m_link = ELink::None;
    if (nTimeFirst < 0 && nClockAt > 0) {
        // "9 Uhr", "14h": the number before the clock word is the hour.
        nTimeFirst = nTimeLast = nClockAt - 1;
    } else if (nTimeFirst < 0 && marker != ENameKind::Word) {
        // "5 PM": the number beside the marker is the hour.
        if (nMarkerAt > 0)
            nTimeFirst = nMarkerAt - 1;
        else if (nMarkerAt < nNumbers)
            nTimeFirst = nMarkerAt;
        else
            return std::nullopt;
        nTimeLast = nTimeFirst;
    }

    // The date: the other numbers, all before or all after the time.
    int nDateFirst = 0;
    int nDateCount = nNumbers;
    if (nTimeFirst >= 0) {
        const int nBefore = nTimeFirst;
        const int nAfter = nNumbers - 1 - nTimeLast;
        if (nBefore > 0 && nAfter > 0)
            return std::nullopt;
        nDateFirst = nBefore > 0 ? 0 : nTimeLast + 1;
        nDateCount = nBefore + nAfter;
        // A date separator may not join the date to the time.
        if (numbers[static_cast<std::size_t>(nTimeFirst)].m_link == ELink::Date)
            return std::nullopt;
        if (nTimeLast + 1 < nNumbers &&
            numbers[static_cast<std::size_t>(nTimeLast + 1)].m_link == ELink::Date)
            return std::nullopt;
    }
    if (nDateCount == 1 || nDateCount > 3)
        return std::nullopt;

    CParsedDateTime result;
    if (nTimeFirst >= 0) {
        const auto t = static_cast<std::size_t>(nTimeFirst);
        const int nCount = nTimeLast - nTimeFirst + 1;
        for (int k = 0; k < nCount; ++k) {
            if (numbers[t + static_cast<std::size_t>(k)].m_bMonthName)
                return std::nullopt;
        }
        int nHour = numbers[t].m_nValue;
        const int nMinute = nCount > 1 ? numbers[t + 1].m_nValue : 0;
        const int nSecond = nCount > 2 ? numbers[t + 2].m_nValue : 0;
        if (nHour > 23 || nMinute > 59 || nSecond > 59)
            return std::nullopt;
        if (marker == ENameKind::Afternoon && nHour < 12)
            nHour += 12;
        else if (marker == ENameKind::Morning && nHour == 12)
            nHour = 0;
        result.m_bTime = true;
        result.m_nHour = nHour;
        result.m_nMinute = nMinute;
        result.m_nSecond = nSecond;
    }

    if (nDateCount > 0) {
        const CNumber* pDate = &numbers[static_cast<std::size_t>(nDateFirst)];
        int nNameAt = -1;
        for (int k = 0; k < nDateCount; ++k) {
            if (!pDate[k].m_bMonthName)
                continue;
            if (nNameAt >= 0)
                return std::nullopt;
            nNameAt = k;
        }
        // Where the day, the month and the year stand among the date's numbers.
        int nDayAt = -1;
        int nMonthAt = -1;
        int nYearAt = -1;
        auto placeInOrder = [&](std::initializer_list<int> free, bool bWithYear) {
            auto slot = free.begin();
            for (char c : m_order) {
                if (slot == free.end())
                    break;
                if (c == 'd')
                    nDayAt = *slot++;
                else if (c == 'M' && nMonthAt < 0)
                    nMonthAt = *slot++;
                else if (c == 'y' && bWithYear)
                    nYearAt = *slot++;
            }
        };
        if (nDateCount == 3) {
            if (!pDate[0].m_bMonthName && pDate[0].m_nDigits >= 3) {
                nYearAt = 0;
                nMonthAt = nNameAt > 0 ? nNameAt : 1;
                nDayAt = nMonthAt == 1 ? 2 : 1;
            } else if (nNameAt >= 0) {
                nMonthAt = nNameAt;
                if (nNameAt == 0)
                    placeInOrder({1, 2}, true);
                else if (nNameAt == 1)
                    placeInOrder({0, 2}, true);
                else
                    placeInOrder({0, 1}, true);
            } else {
                placeInOrder({0, 1, 2}, true);
            }
        } else {
            if (nNameAt >= 0) {
                nMonthAt = nNameAt;
                nDayAt = 1 - nNameAt;
            } else {
                placeInOrder({0, 1}, false);
            }
        }
        if (nDayAt < 0 || nMonthAt < 0 || (nDateCount == 3 && nYearAt < 0))
            return std::nullopt;
        const int nYear = nYearAt >= 0 ? pDate[nYearAt].m_nValue : nCurrentYear;
        const int nMonth = pDate[nMonthAt].m_nValue;
        const int nDay = pDate[nDayAt].m_nValue;
        if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > DaysInMonth(nYear, nMonth))
            return std::nullopt;
        result.m_bDate = true;
        result.m_nYear = nYear;
        result.m_nMonth = nMonth;
        result.m_nDay = nDay;
        result.m_nWeekday = nWeekday;
    } else if (nWeekday >= 0) {
        // A weekday names no date of its own.
        return std::nullopt;
    }
    return result;
}

std::optional<CParsedDateTime>
ParseDateTimeText(std::string_view text, const CRegionalSettings& settings, int nCurrentYear) {
    return CDateTimeParser(settings).Parse(text, nCurrentYear);
}
