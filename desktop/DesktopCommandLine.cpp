#include "desktop/DesktopCommandLine.h"

#include "desktop/AppointmentText.h"
#include "desktop/CalendarDay.h"
#include "desktop/DatebookStore.h"
#include "desktop/UnicodeText.h"
#include "platform/locale/LocalTime.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace desktop;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A bad command line: the message goes to the user with exit status 2.
class CUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CAddArguments {
    std::string m_strText;
    std::string m_strDate;
    std::string m_strStart;
    std::string m_strEnd;
    std::string m_strNote;
    std::string m_strCategory;
    std::string m_strLocation;
    bool m_bPrivate = false;
    std::string m_strAlarm;
    std::string m_strRepeat;
    std::optional<int> m_nInterval;
    std::string m_strUntil;
    std::optional<std::string> m_strDays;
    std::optional<int> m_nWeek;
    std::string m_strExcept;
};

int ParseDay(const std::string& text, const char* pszWhat) {
    const std::optional<int> day = ParseIsoDay(text);
    if (!day)
        throw CUsageError(std::string("Invalid ") + pszWhat + " \"" + text +
                          "\": expected a date as yyyy-mm-dd.");
    if (*day < kFirstDatebookDay || *day > kLastDatebookDay)
        throw CUsageError(std::string("The ") + pszWhat + " " + text +
                          " lies outside the datebook's days (" + FormatIsoDay(kFirstDatebookDay) +
                          " to " + FormatIsoDay(kLastDatebookDay) + ").");
    return *day;
}

// Minutes since midnight of H:MM or HH:MM.
int ParseTimeOfDay(const std::string& text, const char* pszWhat) {
    const std::size_t nColon = text.find(':');
    auto digits = [](std::string_view s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (nColon == std::string::npos || nColon < 1 || nColon > 2 || text.size() != nColon + 3 ||
        !digits(std::string_view(text).substr(0, nColon)) ||
        !digits(std::string_view(text).substr(nColon + 1)))
        throw CUsageError(std::string("Invalid ") + pszWhat + " \"" + text +
                          "\": expected a time as HH:MM.");
    const int nHour = std::stoi(text.substr(0, nColon));
    const int nMinute = std::stoi(text.substr(nColon + 1));
    if (nHour > 23 || nMinute > 59)
        throw CUsageError(std::string("Invalid ") + pszWhat + " \"" + text +
                          "\": hours run 00 to 23, minutes 00 to 59.");
    return nHour * 60 + nMinute;
}

HOSTTIME LocalTimeOf(int nDay, int nMinutes) {
    const CCivilDate date = DateFromDay(nDay);
    const std::optional<std::int64_t> t =
        MakeLocalTime(date.m_nYear, date.m_nMonth, date.m_nDay, nMinutes / 60, nMinutes % 60);
    if (!t || *t < std::numeric_limits<HOSTTIME>::min() ||
        *t > std::numeric_limits<HOSTTIME>::max())
        throw CUsageError("The day " + FormatIsoDay(nDay) + " cannot be stored.");
    return static_cast<HOSTTIME>(*t);
}

std::u16string Wide(const std::string& text, const char* pszWhat) {
    std::optional<std::u16string> wide = Utf8ToUtf16(text);
    if (!wide)
        throw CUsageError(std::string("The ") + pszWhat + " is not valid UTF-8 text.");
    return std::move(*wide);
}

std::string AlarmText(const CStoredAppointment& a) {
    static constexpr const char* kUnits[] = {"m", "h", "d"};
    if (!a.m_bAlarm)
        return "none";
    const LONG nUnit = a.m_nAlarmUnit >= 0 && a.m_nAlarmUnit <= 2 ? a.m_nAlarmUnit : 0;
    return std::to_string(a.m_nAlarmAdvance) + kUnits[nUnit];
}

LONG ParseWeekdays(const std::string& text) {
    LONG nSet = 0;
    std::size_t nFrom = 0;
    while (nFrom <= text.size()) {
        std::size_t nEnd = text.find(',', nFrom);
        if (nEnd == std::string::npos)
            nEnd = text.size();
        std::string name = text.substr(nFrom, nEnd - nFrom);
        for (char& c : name)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        int nIndex = -1;
        for (int i = 0; i < 7; ++i)
            if (name == kWeekdayNames[i])
                nIndex = i;
        if (nIndex < 0)
            throw CUsageError("Invalid weekday \"" + name +
                              "\" in --days: use SU, MO, TU, WE, TH, FR, SA separated by commas.");
        nSet |= 1 << nIndex;
        nFrom = nEnd + 1;
    }
    return nSet;
}

CStoredAppointment BuildAppointment(const CAddArguments& args) {
    CStoredAppointment a;
    a.m_strText = Wide(args.m_strText, "text");
    a.m_strNote = Wide(args.m_strNote, "note");
    a.m_strCategory = Wide(args.m_strCategory, "category");
    a.m_strLocation = Wide(args.m_strLocation, "location");
    a.m_bPrivate = args.m_bPrivate;

    const int nDay = ParseDay(args.m_strDate, "date");
    if (args.m_strStart.empty() != args.m_strEnd.empty())
        throw CUsageError("--start and --end go together; leave both out for an untimed "
                          "appointment.");
    if (args.m_strStart.empty()) {
        a.m_bUntimed = true;
        a.m_tStart = a.m_tEnd = LocalTimeOf(nDay, 0);
    } else {
        const int nStart = ParseTimeOfDay(args.m_strStart, "start time");
        const int nEnd = ParseTimeOfDay(args.m_strEnd, "end time");
        a.m_tStart = LocalTimeOf(nDay, nStart);
        // An end before the start is on the next day.
        a.m_tEnd = LocalTimeOf(nEnd < nStart ? nDay + 1 : nDay, nEnd);
    }

    if (!args.m_strAlarm.empty()) {
        const std::string& s = args.m_strAlarm;
        const std::string digits = s.substr(0, s.size() - 1);
        const char cUnit = s.back();
        const std::string units = "mhd";
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos ||
            units.find(cUnit) == std::string::npos)
            throw CUsageError("Invalid alarm \"" + s +
                              "\": expected a number and m, h or d, as in 10m, 2h or 1d.");
        a.m_bAlarm = true;
        a.m_nAlarmAdvance = std::stoi(digits);
        a.m_nAlarmUnit = static_cast<LONG>(units.find(cUnit));
    }

    const bool bRepeatDetails = args.m_nInterval || !args.m_strUntil.empty() || args.m_strDays ||
                                args.m_nWeek || !args.m_strExcept.empty();
    if (args.m_strRepeat.empty()) {
        if (bRepeatDetails)
            throw CUsageError("--interval, --until, --days, --week and --except need --repeat.");
        return a;
    }
    static constexpr const char* kKinds[] = {"daily", "weekly", "monthly-day", "monthly-date",
                                             "yearly"};
    for (int i = 0; i < 5; ++i)
        if (args.m_strRepeat == kKinds[i])
            a.m_nRepeatType = i + 1;
    if (!a.IsRepeating())
        throw CUsageError("Invalid repeat \"" + args.m_strRepeat +
                          "\": use daily, weekly, monthly-day, monthly-date or yearly.");
    a.m_nRepeatInterval = args.m_nInterval.value_or(1);
    if (args.m_strDays && a.m_nRepeatType != HOST_REPEAT_WEEKLY)
        throw CUsageError("--days goes with --repeat weekly only.");
    if (args.m_nWeek && a.m_nRepeatType != HOST_REPEAT_MONTHLY_BY_DAY)
        throw CUsageError("--week goes with --repeat monthly-day only.");
    if (a.m_nRepeatType == HOST_REPEAT_WEEKLY)
        a.m_nRepeatExtra =
            args.m_strDays ? ParseWeekdays(*args.m_strDays) : (1 << WeekdayOfDay(nDay));
    if (a.m_nRepeatType == HOST_REPEAT_MONTHLY_BY_DAY)
        a.m_nRepeatExtra = args.m_nWeek.value_or((DateFromDay(nDay).m_nDay - 1) / 7 + 1);
    if (!args.m_strUntil.empty())
        a.m_nRepeatEndDay = ParseDay(args.m_strUntil, "end date");
    std::size_t nFrom = 0;
    while (nFrom < args.m_strExcept.size()) {
        std::size_t nEnd = args.m_strExcept.find(',', nFrom);
        if (nEnd == std::string::npos)
            nEnd = args.m_strExcept.size();
        a.m_vecExceptionDays.push_back(
            ParseDay(args.m_strExcept.substr(nFrom, nEnd - nFrom), "exception date"));
        nFrom = nEnd + 1;
    }
    return a;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

int RunDesktopCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"The stand-in host's datebook.", "datebook-desktop"};
    // At most one command; an unknown word is then reported as such, and none below.
    app.require_subcommand(0, 1);
    std::string strHome;
    app.add_option("--home", strHome, "The user home (instead of VARNO_HOME)");

    CLI::App* pUsers = app.add_subcommand("users", "List the users; * marks the current one");
    CLI::App* pUser = app.add_subcommand("user", "Add a user or make one current");
    pUser->require_subcommand(1);
    std::string strUserName;
    CLI::App* pUserAdd = pUser->add_subcommand("add", "Add a user");
    pUserAdd->add_option("NAME", strUserName, "The user's name")->required();
    CLI::App* pUserUse = pUser->add_subcommand("use", "Make a user current");
    pUserUse->add_option("NAME", strUserName, "The user's name")->required();

    CAddArguments add;
    CLI::App* pAdd = app.add_subcommand("add", "Add an appointment; prints its record id");
    pAdd->add_option("--text", add.m_strText, "Text")->required();
    pAdd->add_option("--date", add.m_strDate, "Date, yyyy-mm-dd")->required();
    pAdd->add_option("--start", add.m_strStart, "Start time, HH:MM (none: untimed)");
    pAdd->add_option("--end", add.m_strEnd, "End time, HH:MM");
    pAdd->add_option("--note", add.m_strNote, "Note");
    pAdd->add_option("--category", add.m_strCategory, "Category name");
    pAdd->add_option("--location", add.m_strLocation, "Location");
    pAdd->add_flag("--private", add.m_bPrivate, "Private");
    pAdd->add_option("--alarm", add.m_strAlarm, "Alarm advance: 10m, 2h, 1d");
    pAdd->add_option("--repeat", add.m_strRepeat,
                     "daily, weekly, monthly-day, monthly-date or yearly");
    pAdd->add_option("--interval", add.m_nInterval, "Every n days, weeks, months or years");
    pAdd->add_option("--until", add.m_strUntil, "Last day of the repeat, yyyy-mm-dd");
    pAdd->add_option("--days", add.m_strDays, "Weekdays of a weekly repeat: SU,MO,TU,WE,TH,FR,SA");
    pAdd->add_option("--week", add.m_nWeek, "Week of the month 1-5 (5 the last)");
    pAdd->add_option("--except", add.m_strExcept, "Exception dates: D,D,...");

    std::string strFrom;
    std::string strTo;
    CLI::App* pList =
        app.add_subcommand("list", "List appointments: id, date, times, repeat, text");
    pList->add_option("--from", strFrom, "First day, yyyy-mm-dd");
    pList->add_option("--to", strTo, "Last day, yyyy-mm-dd");

    LONG nId = 0;
    CLI::App* pShow = app.add_subcommand("show", "Show every value of an appointment");
    pShow->add_option("ID", nId, "Record id")->required();
    bool bArchive = false;
    CLI::App* pDelete = app.add_subcommand("delete", "Delete an appointment");
    pDelete->add_option("ID", nId, "Record id")->required();
    pDelete->add_flag("--archive", bArchive, "Archive at the next HotSync instead");
    CLI::App* pOccurrences =
        app.add_subcommand("occurrences", "The days on which an appointment falls");
    pOccurrences->add_option("ID", nId, "Record id")->required();
    pOccurrences->add_option("--from", strFrom, "First day, yyyy-mm-dd")->required();
    pOccurrences->add_option("--to", strTo, "Last day, yyyy-mm-dd")->required();
    CLI::App* pHotSync =
        app.add_subcommand("hotsync", "Archive the marked appointments and purge the deleted ones");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int nExit = app.exit(e, out, err);
        return nExit == 0 ? 0 : kExitUsage;
    }

    if (app.get_subcommands().empty()) {
        err << "datebook-desktop: Give a command: users, user, add, list, show, delete, "
               "occurrences or hotsync (--help tells more).\n";
        return kExitUsage;
    }

    try {
        const std::string strFolder = strHome.empty()
                                          ? std::string()
                                          : (std::filesystem::path(strHome) / "datebook").string();
        // Check the command line before touching the datebook.
        std::optional<CStoredAppointment> newAppointment;
        if (pAdd->parsed())
            newAppointment = BuildAppointment(add);
        int nFromDay = kFirstDatebookDay;
        int nToDay = kLastDatebookDay;
        if (!strFrom.empty())
            nFromDay = ParseDay(strFrom, "from date");
        if (!strTo.empty())
            nToDay = ParseDay(strTo, "to date");

        CDatebookStore store(strFolder);
        const CDatebookUser user = store.CurrentUser();

        if (pUsers->parsed()) {
            for (const CDatebookUser& u : store.ListUsers())
                out << (u.m_nId == user.m_nId ? "* " : "  ") << u.m_strName << '\n';
        } else if (pUserAdd->parsed()) {
            const CDatebookUser added = store.AddUser(strUserName);
            out << "Added user " << Quoted(added.m_strName) << ".\n";
        } else if (pUserUse->parsed()) {
            const std::optional<CDatebookUser> found = store.FindUser(strUserName);
            if (!found) {
                err << "datebook-desktop: There is no user named " << Quoted(strUserName) << ".\n";
                return kExitFailed;
            }
            store.SetCurrentUser(found->m_nId);
            out << "Current user: " << found->m_strName << '\n';
        } else if (pAdd->parsed()) {
            out << store.AddAppointment(user.m_nId, *newAppointment) << '\n';
        } else if (pList->parsed()) {
            for (const CStoredAppointment& a : store.ListAppointments(user.m_nId, nFromDay, nToDay))
                out << a.m_nRecordId << '\t' << FormatIsoDay(a.StartDay()) << '\t' << TimesText(a)
                    << '\t' << RepeatSummary(a, true) << '\t' << Escaped(a.m_strText) << '\n';
        } else if (pShow->parsed()) {
            const CStoredAppointment a = store.GetAppointment(user.m_nId, nId);
            out << "id: " << a.m_nRecordId << '\n'
                << "user: " << user.m_strName << '\n'
                << "date: " << FormatIsoDay(a.StartDay()) << '\n'
                << "times: " << TimesText(a) << '\n'
                << "text: " << Escaped(a.m_strText) << '\n'
                << "note: " << Escaped(a.m_strNote) << '\n'
                << "category: " << Escaped(a.m_strCategory) << '\n'
                << "location: " << Escaped(a.m_strLocation) << '\n'
                << "private: " << (a.m_bPrivate ? "yes" : "no") << '\n'
                << "alarm: " << AlarmText(a) << '\n'
                << "repeat: " << RepeatSummary(a, false) << '\n'
                << "exceptions: "
                << (a.m_vecExceptionDays.empty() ? "none" : DayListText(a.m_vecExceptionDays))
                << '\n';
        } else if (pDelete->parsed()) {
            // Only the current user's own appointments.
            const CStoredAppointment a = store.GetAppointment(user.m_nId, nId);
            store.Delete(a.m_nRecordId, bArchive);
            out << (bArchive ? "Marked appointment " : "Deleted appointment ") << a.m_nRecordId
                << (bArchive ? " for archival.\n" : ".\n");
        } else if (pOccurrences->parsed()) {
            const CStoredAppointment a = store.GetAppointment(user.m_nId, nId);
            const CRepeatPattern pattern = a.Pattern();
            for (std::optional<int> day = pattern.FindFirst(nFromDay, nToDay); day;
                 day = pattern.FindFirst(*day + 1, nToDay))
                out << FormatIsoDay(*day) << '\n';
        } else if (pHotSync->parsed()) {
            const CHotSyncResult result = store.HotSync(user.m_nId);
            out << "Archived " << result.m_nArchived << ", purged " << result.m_nPurged << ".\n";
        }
        out.flush();
        return 0;
    } catch (const CUsageError& e) {
        err << "datebook-desktop: " << e.what() << '\n';
        return kExitUsage;
    } catch (const CDatebookError& e) {
        err << "datebook-desktop: " << e.what() << '\n';
        return e.Kind() == EDatebookError::InvalidArgument ? kExitUsage : kExitFailed;
    } catch (const std::exception& e) {
        err << "datebook-desktop: " << e.what() << '\n';
        return kExitFailed;
    }
}
