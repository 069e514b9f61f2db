#include "model/DateText.h"

#include "model/Appointment.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/DateFormat.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"

#include <array>
#include <limits>
#include <optional>
#include <set>

namespace {

constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2031;

// What the date and time text of one thread derives from the regional settings in force
// and the system code page, rebuilt when either changes.
struct CTextSettings {
    std::uint64_t m_nStamp = 0;
    unsigned m_codePage = 0;
    // Every text as it survives the system code page, so that the parser expects what the
    // formatter's narrow output really holds.
    CRegionalSettings m_settings;
    std::string m_strDatePicture;
    std::string m_strTimePicture;
    bool m_bDateShowsTime = false; // the date picture prints a field of the time of day
    bool m_bTimeShowsDate = false;
    std::optional<CDateTimeParser> m_parser;
    // Texts already formatted under these settings, by local day and by second of the day
    // (exports write the same days and times over and over). Direct-mapped.
    struct CMemoEntry {
        std::int64_t m_nKey = -1;
        std::string m_strText;
    };
    static constexpr std::size_t kMemoEntries = 256;
    mutable std::array<CMemoEntry, kMemoEntries> m_aDates;
    mutable std::array<CMemoEntry, kMemoEntries> m_aTimes;
};

std::string RoundTrip(const std::string& utf8, unsigned codePage) {
    return CodePageToUtf8(Utf8ToCodePage(utf8, codePage), codePage);
}

// Month or weekday names that come through the code page unchanged and stay distinct.
bool MonthNamesSurvive(const std::vector<std::string>& names, unsigned codePage) {
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (RoundTrip(name, codePage) != name || !seen.insert(LowerCase(name, CP_UTF8)).second)
            return false;
    }
    return true;
}

const CTextSettings& TextSettings() {
    thread_local CTextSettings s_text;
    std::uint64_t nStamp = 0;
    const CRegionalSettings& settings = GetRegionalSettings(nStamp);
    // The stamp also follows the system code page, which the settings' texts depend on.
    if (s_text.m_parser && s_text.m_nStamp == nStamp)
        return s_text;
    const unsigned codePage = GetSystemCodePage();

    CRegionalSettings s = settings;
    const bool bNamesSurvive = MonthNamesSurvive(s.m_vecMonthNames, codePage) &&
                               MonthNamesSurvive(s.m_vecMonthAbbrevs, codePage);
    for (std::string* pText : {&s.m_strShortDate, &s.m_strTimeFormat, &s.m_strList, &s.m_str1159,
                               &s.m_str2359, &s.m_strDate, &s.m_strTime})
        *pText = RoundTrip(*pText, codePage);
    for (auto* pNames : {&s.m_vecMonthNames, &s.m_vecMonthAbbrevs}) {
        for (std::string& name : *pNames)
            name = RoundTrip(name, codePage);
    }
    // Names that only the parser reads are dropped where the code page cannot hold them.
    for (std::string* pName : {&s.m_strMorningName, &s.m_strAfternoonName}) {
        if (RoundTrip(*pName, codePage) != *pName)
            pName->clear();
    }
    for (auto* pNames : {&s.m_vecDayNames, &s.m_vecDayAbbrevs}) {
        if (!MonthNamesSurvive(*pNames, codePage))
            pNames->clear();
    }
    s_text.m_strDatePicture =
        bNamesSurvive ? s.m_strShortDate : PictureWithNumericMonths(s.m_strShortDate);
    s_text.m_strTimePicture = NoSecondsTimePicture(s);
    s_text.m_bDateShowsTime = PictureHasField(s_text.m_strDatePicture, "hHmst");
    s_text.m_bTimeShowsDate = PictureHasField(s_text.m_strTimePicture, "dMy");
    s_text.m_parser.emplace(s);
    s_text.m_settings = std::move(s);
    s_text.m_nStamp = nStamp;
    s_text.m_codePage = codePage;
    s_text.m_aDates = {};
    s_text.m_aTimes = {};
    return s_text;
}

// The local calendar time of now; one breakdown per second of the clock.
const CLocalTime& Now() {
    struct CNow {
        std::int64_t m_t = 0;
        bool m_bValid = false;
        CLocalTime m_local;
    };
    thread_local CNow s_now;
    const std::int64_t t = CurrentTime();
    if (!s_now.m_bValid || s_now.m_t != t) {
        CLocalTime local;
        if (!BreakDownLocal(t, local))
            local = CLocalTime{};
        s_now.m_local = local;
        s_now.m_t = t;
        s_now.m_bValid = true;
    }
    return s_now.m_local;
}

// The narrow text parsed in the settings in force; empty when it is blank.
enum class EParse { Empty, Invalid, Parsed };
EParse ParseNarrow(std::string_view text, CParsedDateTime& out, bool bTimeWanted) {
    const CTextSettings& ts = TextSettings();
    const std::string utf8 = CodePageToUtf8(text, ts.m_codePage);
    if (TrimText(utf8).empty())
        return EParse::Empty;
    const auto parsed = ts.m_parser->Parse(utf8, Now().m_nYear, bTimeWanted);
    if (!parsed)
        return EParse::Invalid;
    out = *parsed;
    return EParse::Parsed;
}

// The first nChars characters of narrow text: bytes under a single-byte code page,
// whole UTF-8 sequences under UTF-8.
std::string_view FirstChars(std::string_view text, std::size_t nChars, unsigned codePage) {
    if (codePage != CP_UTF8)
        return text.substr(0, std::min(text.size(), nChars));
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && n++ == nChars)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

TimeValue DatebookRangeStart() {
    return MakeLocalTimeValue(kFirstYear, 1, 2);
}

TimeValue DatebookRangeEnd() {
    return MakeLocalTimeValue(kLastYear, 12, 31);
}

TimeValue MakeLocalTimeValue(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    const auto t = MakeLocalTime(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    if (!t || *t < std::numeric_limits<TimeValue>::min() ||
        *t > std::numeric_limits<TimeValue>::max())
        return 0;
    return static_cast<TimeValue>(*t);
}

TimeValue LocalMidnight(TimeValue t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return 0;
    return MakeLocalTimeValue(local.m_nYear, local.m_nMonth, local.m_nDay);
}

std::string FormatDate(TimeValue t) {
    const CTextSettings& ts = TextSettings();
    CLocalTime day;
    if (!BreakDownLocal(t, day))
        return {};
    // The calendar record starts as the current local time; the picture rarely shows it.
    CLocalTime record = ts.m_bDateShowsTime ? Now() : CLocalTime{};
    record.m_nYear = day.m_nYear;
    record.m_nMonth = day.m_nMonth;
    record.m_nDay = day.m_nDay;
    record.m_nDayOfWeek = day.m_nDayOfWeek;
    if (ts.m_bDateShowsTime)
        return Utf8ToCodePage(FormatPicture(ts.m_strDatePicture, record, ts.m_settings),
                              ts.m_codePage);
    const std::int64_t nDay =
        (std::int64_t{day.m_nYear} * 16 + day.m_nMonth) * 32 + day.m_nDay; // fields packed
    // The days of a month take consecutive entries, the months of a year different runs.
    const auto nSlot = static_cast<std::uint64_t>(day.m_nDay + day.m_nMonth * 31 +
                                                  std::int64_t{day.m_nYear} * 373);
    auto& entry = ts.m_aDates[nSlot % CTextSettings::kMemoEntries];
    if (entry.m_nKey != nDay) {
        entry.m_strText = Utf8ToCodePage(FormatPicture(ts.m_strDatePicture, record, ts.m_settings),
                                         ts.m_codePage);
        entry.m_nKey = nDay;
    }
    return entry.m_strText;
}

std::string FormatTime(TimeValue t) {
    const CTextSettings& ts = TextSettings();
    CLocalTime time;
    if (!BreakDownLocal(t, time))
        return {};
    CLocalTime record = ts.m_bTimeShowsDate ? Now() : CLocalTime{};
    record.m_nHour = time.m_nHour;
    record.m_nMinute = time.m_nMinute;
    record.m_nSecond = time.m_nSecond;
    if (ts.m_bTimeShowsDate)
        return Utf8ToCodePage(FormatPicture(ts.m_strTimePicture, record, ts.m_settings),
                              ts.m_codePage);
    const std::int64_t nSecond = time.m_nHour * 3600 + time.m_nMinute * 60 + time.m_nSecond;
    // Times on the quarter hour take distinct entries.
    auto& entry = ts.m_aTimes[static_cast<std::uint64_t>(nSecond / 60 + nSecond % 60 * 7) %
                              CTextSettings::kMemoEntries];
    if (entry.m_nKey != nSecond) {
        entry.m_strText = Utf8ToCodePage(FormatPicture(ts.m_strTimePicture, record, ts.m_settings),
                                         ts.m_codePage);
        entry.m_nKey = nSecond;
    }
    return entry.m_strText;
}

std::string FormatDateTime(TimeValue t) {
    return FormatDate(t) + ' ' + FormatTime(t);
}

std::string FormatAppointmentSummary(const CAppointment& appointment) {
    constexpr std::size_t kTextChars = 27;
    std::string out = FormatDate(appointment.m_tDate);
    if (!appointment.m_bUntimed) {
        out += ' ';
        out += FormatTime(appointment.m_tStart);
        out += " - ";
        out += FormatTime(appointment.m_tEnd);
    }
    out += ' ';
    out += FirstChars(appointment.m_strText, kTextChars, GetSystemCodePage());
    if (appointment.m_bRepeat)
        out += " (repeat)";
    return out;
}

bool TimeToSystemTime(TimeValue t, CSystemTime& out) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return false;
    out.m_wYear = static_cast<std::uint16_t>(local.m_nYear);
    out.m_wMonth = static_cast<std::uint16_t>(local.m_nMonth);
    out.m_wDayOfWeek = static_cast<std::uint16_t>(local.m_nDayOfWeek);
    out.m_wDay = static_cast<std::uint16_t>(local.m_nDay);
    out.m_wHour = static_cast<std::uint16_t>(local.m_nHour);
    out.m_wMinute = static_cast<std::uint16_t>(local.m_nMinute);
    out.m_wSecond = static_cast<std::uint16_t>(local.m_nSecond);
    out.m_wMilliseconds = 0;
    return true;
}

bool IsSameDay(TimeValue a, TimeValue b) {
    CLocalTime la;
    CLocalTime lb;
    return BreakDownLocal(a, la) && BreakDownLocal(b, lb) && la.m_nYear == lb.m_nYear &&
           la.m_nMonth == lb.m_nMonth && la.m_nDay == lb.m_nDay;
}

bool IsSameTimeOfDay(TimeValue a, TimeValue b) {
    CLocalTime la;
    CLocalTime lb;
    return BreakDownLocal(a, la) && BreakDownLocal(b, lb) && la.m_nHour == lb.m_nHour &&
           la.m_nMinute == lb.m_nMinute;
}

bool ApplyYearWindow(int& nYear) {
    if (nYear < 100)
        nYear += 1900;
    if (nYear < kFirstYear)
        nYear += 100;
    // Years from 100 to 1869 stay before the datebook's range even after the window.
    return nYear >= kFirstYear && nYear <= kLastYear;
}

EStatus MakeDatebookDay(int nYear, int nMonth, int nDay, TimeValue& out) {
    if (!ApplyYearWindow(nYear) || (nYear == kFirstYear && nMonth == 1 && nDay < 2))
        return STATUS_FAILED;
    out = MakeLocalTimeValue(nYear, nMonth, nDay);
    return STATUS_OK;
}

EStatus ParseDateText(std::string_view text, TimeValue& out) {
    CParsedDateTime parsed;
    switch (ParseNarrow(text, parsed, false)) {
    case EParse::Empty:
        return STATUS_EMPTY;
    case EParse::Invalid:
        return STATUS_FAILED;
    case EParse::Parsed:
        break;
    }
    // A time alone names no day.
    if (!parsed.m_bDate)
        return STATUS_FAILED;
    int nYear = parsed.m_nYear;
    if (!ApplyYearWindow(nYear))
        return STATUS_FAILED;
    // A weekday that is not the date's own leaves the date in doubt.
    if (parsed.m_nWeekday >= 0) {
        // Day 0 of the count, 1 January 1970, was a Thursday.
        const std::int64_t nDays = DaysFromCivil(nYear, parsed.m_nMonth, parsed.m_nDay);
        if (((nDays + 4) % 7 + 7) % 7 != parsed.m_nWeekday)
            return STATUS_FAILED;
    }
    return MakeDatebookDay(nYear, parsed.m_nMonth, parsed.m_nDay, out);
}

EStatus ParseTimeText(std::string_view text, TimeValue& out) {
    CParsedDateTime parsed;
    switch (ParseNarrow(text, parsed, true)) {
    case EParse::Empty:
        return STATUS_EMPTY;
    case EParse::Invalid:
        return STATUS_FAILED;
    case EParse::Parsed:
        break;
    }
    // A date alone stands for its midnight, as a date cell does.
    const CLocalTime& today = Now();
    out = MakeLocalTimeValue(today.m_nYear, today.m_nMonth, today.m_nDay, parsed.m_nHour,
                             parsed.m_nMinute, 0);
    return STATUS_OK;
}

EStatus ParseSpanText(std::string_view text, TimeSpan& out) {
    const std::string utf8 = ToUtf8(text);
    const std::string_view trimmed = TrimText(utf8);
    if (trimmed.empty())
        return STATUS_EMPTY;
    // The leading decimal integer; no digits give 0.
    std::size_t i = 0;
    bool bNegative = false;
    if (trimmed[i] == '+' || trimmed[i] == '-') {
        bNegative = trimmed[i] == '-';
        ++i;
    }
    std::int64_t nValue = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<TimeSpan>::max()} + 1;
    for (; i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9'; ++i) {
        nValue = nValue * 10 + (trimmed[i] - '0');
        if (nValue > kLimit)
            return STATUS_FAILED;
    }
    if (bNegative)
        nValue = -nValue;
    if (nValue < std::numeric_limits<TimeSpan>::min() ||
        nValue > std::numeric_limits<TimeSpan>::max())
        return STATUS_FAILED;
    out = static_cast<TimeSpan>(nValue);
    return STATUS_OK;
}
