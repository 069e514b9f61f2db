#include "formats/CalendarFormat.h"

#include "host/HostCalls.h"
#include "host/HostInterfaces.h"
#include "host/HostStore.h"
#include "model/Appointment.h"
#include "model/RepeatDays.h"
#include "platform/com/ComError.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMaxValue = 39999;       // longest value written, longest line read
constexpr std::size_t kBufferSize = 64 * 1024; // output flush size and input chunk
constexpr std::size_t kQuotedLineLength = 72;  // encoded characters before a soft break
constexpr std::size_t kFoldedLineOctets = 75;  // longest iCalendar line, CR LF not counted
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr const char* kProductId = "-//Brenmark GmbH//NONSGML VARNO//EN";
constexpr std::array<const char*, 7> kDayCodes = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// ---- Calendar arithmetic on proleptic Gregorian dates, free of any time zone.

struct CDate {
    int m_nYear = 1970;
    int m_nMonth = 1;
    int m_nDay = 1;
};

// The date of a day count since 1970-01-01.
CDate CivilDate(std::int64_t nDays) {
    CDate d;
    CivilFromDays(nDays, d.m_nYear, d.m_nMonth, d.m_nDay);
    return d;
}

// A floating local date and time: seconds since 1970-01-01 00:00 of the local calendar,
// without daylight saving, so that days always have 86400 seconds.
struct CFloating {
    std::int64_t m_nSeconds = 0;

    static CFloating Of(std::int64_t nDays, int nHour, int nMinute, int nSecond) {
        return {nDays * kSecondsPerDay + nHour * 3600 + nMinute * 60 + nSecond};
    }
    [[nodiscard]] std::int64_t Days() const {
        const std::int64_t d = m_nSeconds / kSecondsPerDay;
        return m_nSeconds % kSecondsPerDay < 0 ? d - 1 : d;
    }
    [[nodiscard]] int SecondOfDay() const {
        return static_cast<int>(m_nSeconds - Days() * kSecondsPerDay);
    }
};

struct CLocalParts {
    std::int64_t m_nDays = 0; // local date, days since 1970-01-01
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
};

// The local calendar date and time of day of a time value.
CLocalParts LocalParts(std::int64_t t) {
    CLocalTime lt;
    if (!BreakDownLocal(t, lt))
        return {};
    return {DaysFromCivil(lt.m_nYear, lt.m_nMonth, lt.m_nDay), lt.m_nHour, lt.m_nMinute,
            lt.m_nSecond};
}

// ---- Text encodings of the two flavours.

// Every CR or LF becomes backslash n; an LF right after a CR and a CR right after an LF
// (in the unconverted text) are dropped, so any alternating run gives one line break.
std::string PlainValue(std::string_view value) {
    value = value.substr(0, std::min(value.size(), kMaxValue));
    std::string out;
    out.reserve(value.size() + 8);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        const bool bPairsWithPrevious =
            i > 0 && ((c == '\r' && value[i - 1] == '\n') || (c == '\n' && value[i - 1] == '\r'));
        if (!bPairsWithPrevious)
            out += "\\n";
    }
    return out;
}

// iCalendar TEXT escaping of UTF-8 text: backslash, comma and semicolon get a backslash;
// a line break (LF, CR, CR LF or LF CR) becomes backslash n. Other control characters
// (0x00-0x1F but tab, and 0x7F) are left out: the format does not allow them in text, and
// a NUL ends the file for readers that take it as a C string.
// Bytes that iCalendar text takes unchanged: not a backslash, comma, semicolon, control
// character (tab aside) or DEL.
constexpr std::array<bool, 256> MakeICalendarPlain() {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x100; ++c)
        plain[static_cast<std::size_t>(c)] = c != '\\' && c != ',' && c != ';' && c != 0x7F;
    plain['\t'] = true;
    return plain;
}
constexpr std::array<bool, 256> kICalendarPlain = MakeICalendarPlain();

void AppendICalendarText(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size() + 8);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        // Runs of plain bytes are copied whole.
        std::size_t nEnd = i;
        while (nEnd < utf8.size() && kICalendarPlain[static_cast<unsigned char>(utf8[nEnd])])
            ++nEnd;
        if (nEnd > i) {
            out.append(utf8.data() + i, nEnd - i);
            i = nEnd;
            if (i == utf8.size())
                break;
        }
        const char c = utf8[i];
        switch (c) {
        case '\\':
        case ',':
        case ';':
            out += '\\';
            out += c;
            break;
        case '\n':
        case '\r':
            out += "\\n";
            if (i + 1 < utf8.size() && utf8[i + 1] == (c == '\n' ? '\r' : '\n'))
                ++i;
            break;
        default:
            if ((static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) || c == '\t')
                out += c;
            break;
        }
    }
}

// Bytes that quoted-printable copies unchanged: space, "%" to "<", ">", "?", letters, "_".
constexpr std::array<bool, 256> MakeQuotedSafe() {
    std::array<bool, 256> safe{};
    safe[' '] = true;
    for (int c = '%'; c <= '<'; ++c)
        safe[static_cast<std::size_t>(c)] = true;
    safe['>'] = safe['?'] = safe['_'] = true;
    for (int c = 'A'; c <= 'Z'; ++c)
        safe[static_cast<std::size_t>(c)] = safe[static_cast<std::size_t>(c - 'A' + 'a')] = true;
    return safe;
}
constexpr std::array<bool, 256> kQuotedSafe = MakeQuotedSafe();

// Quoted-printable with a soft line break "=" CR LF before any byte that would follow 72
// or more encoded characters on the current line.
void AppendQuotedPrintable(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.reserve(out.size() + bytes.size() * 3 / 2 + 8);
    std::size_t nOnLine = 0;
    for (const char c : bytes) {
        if (nOnLine >= kQuotedLineLength) {
            out += "=\r\n";
            nOnLine = 0;
        }
        const auto b = static_cast<unsigned char>(c);
        if (kQuotedSafe[b]) {
            out += c;
            nOnLine += 1;
        } else {
            out += '=';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
            nOnLine += 3;
        }
    }
}

// The first kMaxValue bytes of UTF-8 text, not cutting a character in two.
std::string_view CutUtf8(std::string_view text) {
    if (text.size() <= kMaxValue)
        return text;
    std::size_t n = kMaxValue;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n);
}

bool HasHighBytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ---- Date and time values.

// Decimal digits of a non-negative value, at least nWidth of them; a negative one (no date
// of the calendar's range) as the C library would print it.
void AppendDigits(std::string& out, int nValue, int nWidth) {
    if (nValue < 0) {
        char sz[16];
        std::snprintf(sz, sizeof sz, "%0*d", nWidth, nValue);
        out += sz;
        return;
    }
    char sz[12];
    char* pEnd = sz + sizeof sz;
    char* p = pEnd;
    do {
        *--p = static_cast<char>('0' + nValue % 10);
        nValue /= 10;
    } while (nValue != 0);
    while (pEnd - p < nWidth)
        *--p = '0';
    out.append(p, static_cast<std::size_t>(pEnd - p));
}

void AppendDateDigits(std::string& out, int nYear, int nMonth, int nDay) {
    AppendDigits(out, nYear, 4);
    AppendDigits(out, nMonth, 2);
    AppendDigits(out, nDay, 2);
}

void AppendTimeDigits(std::string& out, int nHour, int nMinute, int nSecond) {
    out += 'T';
    AppendDigits(out, nHour, 2);
    AppendDigits(out, nMinute, 2);
    AppendDigits(out, nSecond, 2);
}

void AppendUtc(std::string& out, std::int64_t t) {
    CLocalTime u;
    if (!BreakDownUtc(t, u))
        u = CLocalTime{};
    AppendDateDigits(out, u.m_nYear, u.m_nMonth, u.m_nDay);
    AppendTimeDigits(out, u.m_nHour, u.m_nMinute, 0);
    out += 'Z';
}

std::string FormatDateDigits(int nYear, int nMonth, int nDay) {
    std::string out;
    AppendDateDigits(out, nYear, nMonth, nDay);
    return out;
}

std::string FormatFloating(CFloating f) {
    const CDate d = CivilDate(f.Days());
    const int s = f.SecondOfDay();
    std::string out;
    AppendDateDigits(out, d.m_nYear, d.m_nMonth, d.m_nDay);
    AppendTimeDigits(out, s / 3600, s / 60 % 60, s % 60);
    return out;
}

// ---- The repeat rule of an event.

// The rule as the host gives it; interval, end day and extra are 0 when the host
// reports no repeat.
struct CRuleValues {
    bool m_bHostRepeats = false;
    std::int32_t m_nType = 0;
    std::int32_t m_nInterval = 0;
    std::int64_t m_tEndDay = 0;
    std::int32_t m_nExtra = 0;
    std::int64_t m_tStart = 0;
};

CRuleValues ReadRule(const CAppointment& appointment, IHostAppointment* pHost) {
    CRuleValues rule;
    if (!pHost) {
        const CRepeatRule& r = appointment.m_repeat;
        rule.m_bHostRepeats = true;
        rule.m_nType = r.m_nType;
        rule.m_nInterval = r.m_nInterval;
        rule.m_tEndDay = r.m_tEnd;
        rule.m_nExtra = r.m_nType == REPEAT_WEEKLY           ? r.m_byWeekdays
                        : r.m_nType == REPEAT_MONTHLY_BY_DAY ? r.m_nWeekIndex
                                                             : 0;
        rule.m_tStart = appointment.m_tDate;
        return rule;
    }
    const GUID& iid = IHostAppointment::Iid();
    BOOL bRepeating = 0;
    ThrowIfFailed(pHost->GetRepeating(&bRepeating), iid);
    rule.m_bHostRepeats = bRepeating != 0;
    if (rule.m_bHostRepeats) {
        LONG nType = 0;
        LONG nInterval = 0;
        HOSTTIME tEnd = 0;
        LONG nExtra = 0;
        ThrowIfFailed(pHost->GetRepeat(&nType, &nInterval, &tEnd, &nExtra), iid);
        rule.m_nInterval = nInterval;
        rule.m_tEndDay = tEnd;
        rule.m_nExtra = nExtra;
    }
    LONG nType = 0;
    ThrowIfFailed(pHost->GetRepeatType(&nType), iid);
    rule.m_nType = nType;
    HOSTTIME tStart = 0;
    ThrowIfFailed(pHost->GetStart(&tStart), iid);
    rule.m_tStart = tStart;
    return rule;
}

// The host's first occurrence on or after the start date (days since 1970-01-01); empty
// when the pattern gives none. Weeks begin on Sunday.
std::optional<std::int64_t> FirstOccurrence(const CRuleValues& rule, std::int64_t nStart) {
    const int n = std::max(rule.m_nInterval, 1);
    switch (rule.m_nType) {
    case REPEAT_DAILY:
    case REPEAT_MONTHLY_BY_DATE:
    case REPEAT_YEARLY:
        return nStart;
    case REPEAT_WEEKLY: {
        const int nDays = rule.m_nExtra & 0x7F;
        if (nDays == 0)
            return std::nullopt;
        const std::int64_t sunday = nStart - WeekdayOfDays(nStart);
        for (int w = WeekdayOfDays(nStart); w < 7; ++w) {
            if (nDays & (1 << w))
                return sunday + w;
        }
        for (int w = 0; w < 7; ++w) {
            if (nDays & (1 << w))
                return sunday + 7 * n + w;
        }
        return std::nullopt;
    }
    case REPEAT_MONTHLY_BY_DAY: {
        if (rule.m_nExtra < 1 || rule.m_nExtra > 5)
            return std::nullopt;
        const CDate d = CivilDate(nStart);
        const int nWeekday = WeekdayOfDays(nStart);
        const std::int64_t first =
            NthWeekdayOfMonth(d.m_nYear, d.m_nMonth, nWeekday, rule.m_nExtra);
        if (first >= nStart)
            return first;
        const int nMonthIndex = d.m_nYear * 12 + d.m_nMonth - 1 + n;
        return NthWeekdayOfMonth(nMonthIndex / 12, nMonthIndex % 12 + 1, nWeekday, rule.m_nExtra);
    }
    default:
        return std::nullopt;
    }
}

const char* Frequency(std::int32_t nType) {
    switch (nType) {
    case REPEAT_DAILY:
        return "FREQ=DAILY";
    case REPEAT_WEEKLY:
        return "FREQ=WEEKLY";
    case REPEAT_MONTHLY_BY_DAY:
    case REPEAT_MONTHLY_BY_DATE:
        return "FREQ=MONTHLY";
    case REPEAT_YEARLY:
        return "FREQ=YEARLY";
    default:
        return nullptr;
    }
}

// The RRULE value. nStart is the rule's start date; nUntilSecondOfDay the time of day that
// closes the last day of a timed event (empty for untimed events, whose UNTIL is a date).
std::string BuildRule(const CRuleValues& rule, std::int64_t nStart,
                      std::optional<int> nUntilSecondOfDay) {
    std::string out = Frequency(rule.m_nType);
    if (rule.m_nInterval > 1)
        out += ";INTERVAL=" + std::to_string(rule.m_nInterval);
    if (rule.m_tEndDay > 0) {
        const CLocalParts end = LocalParts(rule.m_tEndDay);
        out += ";UNTIL=";
        if (nUntilSecondOfDay) {
            out += FormatFloating({end.m_nDays * kSecondsPerDay + *nUntilSecondOfDay});
        } else {
            const CDate d = CivilDate(end.m_nDays);
            out += FormatDateDigits(d.m_nYear, d.m_nMonth, d.m_nDay);
        }
    }
    const CDate start = CivilDate(nStart);
    switch (rule.m_nType) {
    case REPEAT_WEEKLY: {
        out += ";BYDAY=";
        bool bFirst = true;
        for (int w = 0; w < 7; ++w) {
            if (rule.m_nExtra & (1 << w)) {
                if (!bFirst)
                    out += ',';
                out += kDayCodes[static_cast<std::size_t>(w)];
                bFirst = false;
            }
        }
        // The host's weeks begin on Sunday; the default week start (Monday) would put a
        // Sunday into the other week of an every-n-weeks rule.
        if (rule.m_nInterval > 1 && (rule.m_nExtra & 1))
            out += ";WKST=SU";
        break;
    }
    case REPEAT_MONTHLY_BY_DATE:
        // A day that some months lack falls on those months' last day, as the host has it:
        // the 31st is every month's last day; the short months' last days of a 29th or 30th
        // are added as RDATE values (ShortMonthDays), since BYSETPOS is not read everywhere.
        if (start.m_nDay == 31)
            out += ";BYMONTHDAY=-1";
        else
            out += ";BYMONTHDAY=" + std::to_string(start.m_nDay);
        break;
    case REPEAT_MONTHLY_BY_DAY:
        out += ";BYDAY=" + std::to_string(rule.m_nExtra == 5 ? -1 : rule.m_nExtra) +
               kDayCodes[static_cast<std::size_t>(WeekdayOfDays(nStart))];
        break;
    case REPEAT_YEARLY:
        // 28 February in common years: February's last day.
        if (start.m_nMonth == 2 && start.m_nDay == 29)
            out += ";BYMONTH=2;BYMONTHDAY=-1";
        break;
    default:
        break;
    }
    return out;
}

// The end of a timed appointment falls on the next day when its time of day (hour and
// minute) lies before the start's.
bool EndsNextDay(const CLocalParts& start, const CLocalParts& end) {
    return end.m_nHour < start.m_nHour ||
           (end.m_nHour == start.m_nHour && end.m_nMinute < start.m_nMinute);
}

std::int64_t LocalInstant(std::int64_t nDays, const CLocalParts& time, std::int64_t tFallback) {
    const CDate d = CivilDate(nDays);
    return MakeLocalTime(d.m_nYear, d.m_nMonth, d.m_nDay, time.m_nHour, time.m_nMinute,
                         time.m_nSecond)
        .value_or(tFallback);
}

} // namespace

// ---- CCalendarFormat

CCalendarFormat::CCalendarFormat(std::int32_t nFlavour) : m_nFlavour(nFlavour) {
    SetUidUser("");
}

CCalendarFormat::~CCalendarFormat() {
    CloseFile(false);
}

EStatus CCalendarFormat::OpenWrite(const std::string& strFileName) {
    if (m_fd >= 0 || m_bWriting)
        return STATUS_FAILED;
    if (!m_output.Open(strFileName))
        return STATUS_FAILED;
    m_strFileName = strFileName;
    m_bWriting = true;
    m_nWriteError = 0;
    m_nPosition = 0;
    m_nRowNumber = 0;
    m_nCodePage = GetSystemCodePage();
    m_strOut.clear();
    m_strOut.reserve(kBufferSize + 1024);

    (void)WritePlainLine("BEGIN", "VCALENDAR");
    if (IsICalendar()) {
        (void)WritePlainLine("VERSION", "2.0");
        (void)WritePlainLine("METHOD", "PUBLISH");
    } else {
        (void)WritePlainLine("VERSION", "1.0");
    }
    (void)WritePlainLine("PRODID", kProductId);
    return STATUS_OK;
}

EStatus CCalendarFormat::OpenRead(const std::string& strFileName) {
    if (m_fd >= 0 || m_bWriting)
        return STATUS_FAILED;
    const int fd = ::open(strFileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return STATUS_FAILED;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return STATUS_FAILED;
    }
    m_fd = fd;
    m_bWriting = false;
    m_nPosition = 0;
    m_strIn.clear();
    m_nInPos = 0;
    m_bInputEnded = false;
    m_strLine.clear();
    m_strLastCell.clear();
    return STATUS_OK;
}

EStatus CCalendarFormat::CloseWrite() {
    if (m_bWriting)
        (void)WritePlainLine("END", "VCALENDAR");
    CloseFile(true);
    const int nError = std::exchange(m_nWriteError, 0);
    if (nError != 0)
        throw CFormatException("The file " + m_strFileName +
                               " could not be written: " + std::strerror(nError));
    return STATUS_OK;
}

EStatus CCalendarFormat::CloseRead() {
    CloseFile(false);
    return STATUS_OK;
}

void CCalendarFormat::CloseFile(bool bCommit) {
    if (m_bWriting) {
        Flush();
        // The file takes the place of the old one only when every byte reached it.
        if (!bCommit || m_nWriteError != 0)
            m_output.Discard();
        else if (!m_output.Commit())
            m_nWriteError = errno;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_strOut.clear();
    m_strIn.clear();
    m_nInPos = 0;
    m_bWriting = false;
}

void CCalendarFormat::Append(std::string_view bytes) {
    if (!m_bWriting || m_nWriteError != 0)
        return;
    m_strOut.append(bytes);
    m_nPosition += static_cast<std::int64_t>(bytes.size());
    if (m_strOut.size() >= kBufferSize)
        Flush();
}

void CCalendarFormat::Flush() {
    if (m_nWriteError == 0 && !m_strOut.empty() && !m_output.Write(m_strOut))
        m_nWriteError = errno;
    m_strOut.clear();
}

EStatus CCalendarFormat::EndRow() {
    if (!m_bWriting)
        return STATUS_FAILED;
    Append("\r\n");
    ++m_nRowNumber;
    return STATUS_OK;
}

bool CCalendarFormat::FillInput() {
    if (m_bInputEnded || m_fd < 0)
        return false;
    m_strIn.erase(0, m_nInPos);
    m_nInPos = 0;
    const std::size_t nKeep = m_strIn.size();
    m_strIn.resize(nKeep + kBufferSize);
    ssize_t n = 0;
    do {
        n = ::read(m_fd, m_strIn.data() + nKeep, kBufferSize);
    } while (n < 0 && errno == EINTR);
    m_strIn.resize(nKeep + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n <= 0) {
        m_bInputEnded = true;
        return false;
    }
    return true;
}

EStatus CCalendarFormat::NextRow() {
    if (m_fd < 0 || m_bWriting)
        return STATUS_FAILED;
    std::string line;
    bool bCrLf = false;
    while (line.size() < kMaxValue) {
        if (m_nInPos >= m_strIn.size() && !FillInput())
            break;
        const char c = m_strIn[m_nInPos++];
        ++m_nPosition;
        line += c;
        if (c == '\n' && line.size() >= 2 && line[line.size() - 2] == '\r') {
            bCrLf = true;
            break;
        }
    }
    if (line.empty())
        return STATUS_FAILED;
    if (bCrLf)
        line.resize(line.size() - 2);
    m_strLine = std::move(line);
    m_strLastCell.clear();
    ++m_nRowNumber;
    return STATUS_OK;
}

EStatus CCalendarFormat::WriteText(const std::string& strText) {
    if (!m_bWriting)
        return STATUS_FAILED;
    Append(strText);
    return STATUS_OK;
}

EStatus CCalendarFormat::WriteDate(TimeValue) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::WriteTime(TimeValue) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::WriteSpan(TimeSpan) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::WriteInt(std::int32_t) {
    return STATUS_FAILED;
}

EStatus CCalendarFormat::ReadText(std::string& strOut) {
    strOut = m_strLine;
    m_strLastCell = m_strLine;
    m_strLine.clear();
    return STATUS_OK;
}

EStatus CCalendarFormat::ReadDate(TimeValue&) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::ReadTime(TimeValue&) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::ReadSpan(TimeSpan&) {
    return STATUS_FAILED;
}
EStatus CCalendarFormat::ReadInt(std::int32_t&) {
    return STATUS_FAILED;
}

std::int32_t CCalendarFormat::GetPosition() {
    return static_cast<std::int32_t>(m_nPosition / 256);
}

std::int32_t CCalendarFormat::GetSize() {
    if (m_bWriting)
        return static_cast<std::int32_t>(m_nPosition / 256);
    if (m_fd < 0)
        return 0;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<std::int32_t>(st.st_size / 256);
}

EStatus CCalendarFormat::WriteLine(std::string_view line) {
    if (!m_bWriting)
        return STATUS_FAILED;
    if (!IsICalendar() || line.size() <= kFoldedLineOctets) {
        Append(line);
        return EndRow();
    }
    // Longer lines continue on the next after CR LF and one blank; a UTF-8 sequence is
    // never split.
    std::size_t nOctets = 0;
    std::size_t nPieceAt = 0; // where the piece of the current output line starts
    for (std::size_t i = 0; i < line.size();) {
        std::size_t n = 1;
        while (i + n < line.size() && n < 4 &&
               (static_cast<unsigned char>(line[i + n]) & 0xC0) == 0x80)
            ++n;
        if (nOctets + n > kFoldedLineOctets) {
            Append(line.substr(nPieceAt, i - nPieceAt));
            Append("\r\n ");
            nPieceAt = i;
            nOctets = 1;
        }
        nOctets += n;
        i += n;
    }
    Append(line.substr(nPieceAt));
    return EndRow();
}

std::string& CCalendarFormat::StartLine(std::string_view name) {
    m_strBuild.assign(name);
    return m_strBuild;
}

EStatus CCalendarFormat::WritePlainLine(std::string_view name, std::string_view value) {
    std::string& line = StartLine(name);
    line += ':';
    line += PlainValue(value);
    return WriteLine(line);
}

EStatus CCalendarFormat::WriteTextLine(std::string_view name, std::string_view value) {
    std::string& line = StartLine(name);
    if (IsICalendar()) {
        line += ':';
        if (m_nCodePage == CP_UTF8 && !HasHighBytes(value))
            AppendICalendarText(line, value);
        else
            AppendICalendarText(line, CodePageToUtf8(value, m_nCodePage));
    } else if (m_nCodePage == CP_UTF8) {
        // Ill-formed sequences become U+FFFD, so the declared charset holds.
        const std::string utf8 = CodePageToUtf8(value, CP_UTF8);
        const std::string_view cut = CutUtf8(utf8);
        line += HasHighBytes(cut) ? ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:"
                                  : ";ENCODING=QUOTED-PRINTABLE:";
        AppendQuotedPrintable(line, cut);
    } else {
        line += ";ENCODING=QUOTED-PRINTABLE:";
        AppendQuotedPrintable(line, value.substr(0, std::min(value.size(), kMaxValue)));
    }
    return WriteLine(line);
}

EStatus CCalendarFormat::WriteDateTimeLine(std::string_view name, TimeValue t) {
    std::string& line = StartLine(name);
    line += ':';
    AppendUtc(line, t);
    return WriteLine(line);
}

EStatus CCalendarFormat::WriteDateLine(std::string_view name, TimeValue t) {
    CLocalTime lt;
    if (!BreakDownLocal(t, lt))
        lt = CLocalTime{};
    return WriteLocalDateLine(name, lt.m_nYear, lt.m_nMonth, lt.m_nDay);
}

EStatus CCalendarFormat::WriteLocalDateTimeLine(std::string_view name, int nYear, int nMonth,
                                                int nDay, int nHour, int nMinute, int nSecond) {
    std::string& line = StartLine(name);
    line += ':';
    AppendDateDigits(line, nYear, nMonth, nDay);
    AppendTimeDigits(line, nHour, nMinute, nSecond);
    return WriteLine(line);
}

EStatus CCalendarFormat::WriteLocalDateLine(std::string_view name, int nYear, int nMonth,
                                            int nDay) {
    std::string& line = StartLine(name);
    line += ";VALUE=DATE:";
    AppendDateDigits(line, nYear, nMonth, nDay);
    return WriteLine(line);
}

void CCalendarFormat::SetUidUser(std::string_view user) {
    // FNV-1a over the name's UTF-8 bytes: the same user gives the same digits under
    // either code page, and the UID holds no characters that would need escaping.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : CodePageToUtf8(user, GetSystemCodePage())) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    char sz[40];
    std::snprintf(sz, sizeof sz, "VARNO-%016llx-", static_cast<unsigned long long>(h));
    m_strUidPrefix = sz;
}

// ---- WriteEvent

namespace {

void WriteFloatingLine(CCalendarFormat& format, std::string_view name, CFloating f) {
    const CDate d = CivilDate(f.Days());
    const int s = f.SecondOfDay();
    (void)format.WriteLocalDateTimeLine(name, d.m_nYear, d.m_nMonth, d.m_nDay, s / 3600,
                                        s / 60 % 60, s % 60);
}

void WriteDaysLine(CCalendarFormat& format, std::string_view name, std::int64_t nDays) {
    const CDate d = CivilDate(nDays);
    (void)format.WriteLocalDateLine(name, d.m_nYear, d.m_nMonth, d.m_nDay);
}

CRepeatRule PatternOf(const CRuleValues& values) {
    CRepeatRule rule;
    rule.m_nType = values.m_nType;
    rule.m_nInterval = values.m_nInterval;
    rule.m_byWeekdays =
        static_cast<std::uint8_t>(values.m_nType == REPEAT_WEEKLY ? values.m_nExtra & 0x7F : 0);
    rule.m_nWeekIndex = values.m_nType == REPEAT_MONTHLY_BY_DAY ? values.m_nExtra : 0;
    return rule;
}

// The last day of the series: its end day, or the end of the datebook.
std::int64_t LastSeriesDay(const CRuleValues& rule) {
    if (rule.m_tEndDay <= 0)
        return LastDatebookDay();
    return std::min(LastDatebookDay(), LocalParts(rule.m_tEndDay).m_nDays);
}

// The days a monthly rule on the 29th or 30th gives in months too short for that day
// (their last day), which the rule's BYMONTHDAY leaves out, from nFirst to nLast.
std::vector<std::int64_t> ShortMonthDays(const CRuleValues& rule, std::int64_t nStart,
                                         std::int64_t nFirst, std::int64_t nLast) {
    std::vector<std::int64_t> out;
    const CDate start = CivilDate(nStart);
    if (rule.m_nType != REPEAT_MONTHLY_BY_DATE || (start.m_nDay != 29 && start.m_nDay != 30))
        return out;
    const int nStep = std::max(rule.m_nInterval, 1);
    for (int nMonth = start.m_nYear * 12 + start.m_nMonth - 1;; nMonth += nStep) {
        const int nYear = nMonth / 12;
        const int nMonthOfYear = nMonth % 12 + 1;
        const int nLength = DaysInMonth(nYear, nMonthOfYear);
        const std::int64_t nDay =
            DaysFromCivil(nYear, nMonthOfYear, std::min(start.m_nDay, nLength));
        if (nDay > nLast)
            break;
        if (nLength < start.m_nDay && nDay >= nFirst)
            out.push_back(nDay);
    }
    return out;
}

// A property holding a list of days: dates for untimed events, floating local date-times at
// the start's time of day for timed ones.
void WriteDayListLine(CCalendarFormat& format, std::string_view name,
                      const std::vector<std::int64_t>& vecDays, std::optional<int> nSecondOfDay) {
    if (vecDays.empty())
        return;
    std::string value;
    for (const std::int64_t d : vecDays) {
        if (!value.empty())
            value += ',';
        if (nSecondOfDay) {
            value += FormatFloating({d * kSecondsPerDay + *nSecondOfDay});
        } else {
            const CDate date = CivilDate(d);
            value += FormatDateDigits(date.m_nYear, date.m_nMonth, date.m_nDay);
        }
    }
    std::string strName(name);
    if (!nSecondOfDay)
        strName += ";VALUE=DATE";
    (void)format.WritePlainLine(strName, value);
}

} // namespace

int WriteEvent(CCalendarFormat& format, const CAppointment& appointment, IHostAppointment* pHost,
               bool bSeriesDay) {
    const CAppointment& a = appointment;

    // Everything asked of the host comes first, so a failing call leaves no half event.
    std::optional<CRuleValues> rule;
    if (a.m_bRepeat) {
        CRuleValues values = ReadRule(a, pHost);
        if (Frequency(values.m_nType))
            rule = values;
    }

    // The series' cancelled days, and whether this single event is one day of a series.
    std::vector<std::int64_t> vecExceptions;
    if (rule) {
        const std::int64_t nPatternStart = LocalParts(rule->m_tStart).m_nDays;
        vecExceptions =
            pHost ? FindExceptionDays(pHost, PatternOf(*rule), nPatternStart, LastSeriesDay(*rule))
                  : ParseExceptionDays(a);
    }

    const CLocalParts day = LocalParts(a.m_tDate);
    const CLocalParts startTime = LocalParts(a.m_tStart);
    const CLocalParts endTime = LocalParts(a.m_tEnd);
    const bool bNextDay = !a.m_bUntimed && EndsNextDay(startTime, endTime);

    // A repeating event starts on its first occurrence: a start day off the pattern (a
    // weekly rule without the start's weekday) would otherwise count as one more.
    std::int64_t nRuleStart = day.m_nDays;
    std::int64_t nEventDay = day.m_nDays;
    if (rule) {
        nRuleStart = LocalParts(rule->m_tStart).m_nDays;
        const std::optional<std::int64_t> first = FirstOccurrence(*rule, nRuleStart);
        const bool bWithinEnd =
            first && (rule->m_tEndDay <= 0 || *first <= LocalParts(rule->m_tEndDay).m_nDays);
        if (first && bWithinEnd) {
            nEventDay += *first - nRuleStart;
            nRuleStart = *first;
        }
    }

    (void)format.WritePlainLine("BEGIN", "VEVENT");
    if (!a.m_strText.empty())
        (void)format.WriteTextLine("SUMMARY", a.m_strText);
    if (!a.m_strNote.empty())
        (void)format.WriteTextLine("DESCRIPTION", a.m_strNote);
    (void)format.WriteDateTimeLine("DTSTAMP", static_cast<TimeValue>(CurrentTime()));
    if (format.IsICalendar()) {
        std::string uid = format.GetUidPrefix() + std::to_string(a.m_nRecordId);
        if (bSeriesDay) {
            const CDate d = CivilDate(day.m_nDays);
            uid += '-' + FormatDateDigits(d.m_nYear, d.m_nMonth, d.m_nDay);
        }
        (void)format.WritePlainLine("UID", uid);
    }

    // The instant the alarm counts back from, in the same form as DTSTART.
    std::optional<CFloating> floatingStart;
    std::int64_t tStart = 0;
    if (a.m_bUntimed) {
        WriteDaysLine(format, "DTSTART", nEventDay);
        WriteDaysLine(format, "DTEND", nEventDay + 1);
        if (rule)
            floatingStart = CFloating::Of(nEventDay, 0, 0, 0);
        else
            tStart = a.GetStartDateTime();
    } else if (rule) {
        // Floating local times: the rule's days then are the local days the host repeats on.
        floatingStart = CFloating::Of(nEventDay, startTime.m_nHour, startTime.m_nMinute, 0);
        WriteFloatingLine(format, "DTSTART", *floatingStart);
        WriteFloatingLine(
            format, "DTEND",
            CFloating::Of(nEventDay + (bNextDay ? 1 : 0), endTime.m_nHour, endTime.m_nMinute, 0));
    } else {
        tStart = a.GetStartDateTime();
        const std::int64_t tEnd =
            bNextDay ? LocalInstant(day.m_nDays + 1, endTime, a.m_tEnd) : a.GetEndDateTime();
        (void)format.WriteDateTimeLine("DTSTART", static_cast<TimeValue>(tStart));
        (void)format.WriteDateTimeLine("DTEND", static_cast<TimeValue>(tEnd));
    }

    if (a.m_bPrivate)
        (void)format.WritePlainLine("CLASS", "PRIVATE");

    if (a.m_bAlarm) {
        const std::int32_t nMinutes = a.GetAlarmMinutes();
        if (format.IsICalendar()) {
            char sz[32];
            std::snprintf(sz, sizeof sz, "-PT%dM", nMinutes);
            (void)format.WritePlainLine("BEGIN", "VALARM");
            (void)format.WritePlainLine("TRIGGER;VALUE=DURATION", sz);
            (void)format.WritePlainLine("ACTION", "DISPLAY");
            (void)format.WriteTextLine("DESCRIPTION", a.m_strText);
            (void)format.WritePlainLine("END", "VALARM");
        } else if (floatingStart) {
            WriteFloatingLine(format, "DALARM",
                              {floatingStart->m_nSeconds - std::int64_t{nMinutes} * 60});
        } else {
            (void)format.WriteDateTimeLine(
                "DALARM", static_cast<TimeValue>(tStart - std::int64_t{nMinutes} * 60));
        }
    }

    if (!a.m_strCategory.empty())
        (void)format.WriteTextLine("CATEGORIES", a.m_strCategory);
    if (!a.m_strLocation.empty())
        (void)format.WriteTextLine("LOCATION", a.m_strLocation);

    if (rule) {
        // The last day closes at the later of the start and end times of day, so that the
        // occurrence on it is kept also for an appointment that ends after midnight.
        std::optional<int> nUntilTime;
        if (!a.m_bUntimed) {
            const int nStartOfDay = startTime.m_nHour * 3600 + startTime.m_nMinute * 60;
            const int nEndOfDay =
                endTime.m_nHour * 3600 + endTime.m_nMinute * 60 + endTime.m_nSecond;
            nUntilTime = std::max(nStartOfDay, nEndOfDay);
        }
        (void)format.WritePlainLine("RRULE", BuildRule(*rule, nRuleStart, nUntilTime));

        // Days of the series that the rule alone misses or adds; the day lists are at the
        // event's start time (the alarm and the end follow from it).
        const std::int64_t nLast = LastSeriesDay(*rule);
        const std::int64_t nPatternStart = LocalParts(rule->m_tStart).m_nDays;
        const CRepeatRule pattern = PatternOf(*rule);
        std::sort(vecExceptions.begin(), vecExceptions.end());
        vecExceptions.erase(std::unique(vecExceptions.begin(), vecExceptions.end()),
                            vecExceptions.end());
        std::erase_if(vecExceptions, [&](std::int64_t d) {
            return d < nRuleStart || d > nLast || !IsRepeatPatternDay(pattern, nPatternStart, d);
        });
        std::vector<std::int64_t> vecExtra =
            ShortMonthDays(*rule, nPatternStart, nRuleStart, nLast);
        std::erase_if(vecExtra, [&](std::int64_t d) {
            return std::binary_search(vecExceptions.begin(), vecExceptions.end(), d);
        });
        std::optional<int> nListTime;
        if (!a.m_bUntimed)
            nListTime = startTime.m_nHour * 3600 + startTime.m_nMinute * 60;
        WriteDayListLine(format, "RDATE", vecExtra, nListTime);
        // A short month's last day is given as RDATE only when it is not cancelled, so that
        // no reader has to decide whether EXDATE removes an RDATE.
        std::erase_if(vecExceptions, [&](std::int64_t d) {
            return !ShortMonthDays(*rule, nPatternStart, d, d).empty();
        });
        WriteDayListLine(format, "EXDATE", vecExceptions, nListTime);
    }

    (void)format.WritePlainLine("END", "VEVENT");
    return 1;
}

int WriteEvent(CFileFormat& format, const CAppointment& appointment, IHostAppointment* pHost,
               bool bSeriesDay) {
    auto* pCalendar = dynamic_cast<CCalendarFormat*>(&format);
    if (!pCalendar)
        return 0;
    return WriteEvent(*pCalendar, appointment, pHost, bSeriesDay);
}
