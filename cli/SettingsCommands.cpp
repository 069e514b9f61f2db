#include "cli/SettingsCommands.h"

#include "cli/CliArguments.h"
#include "engine/Archive.h"
#include "fields/FieldLayout.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "platform/locale/UserProfile.h"
#include "platform/registry/Registry.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/SavedOptions.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// A registry string of 1000 bytes or more is not read back.
constexpr std::size_t kMaxStoredText = 999;
// The title box of the saved sets takes at most 50 characters.
constexpr std::size_t kMaxSetTitle = 50;
constexpr std::int32_t kMaxDefaultLength = 999;

enum class EKind { Flag, Number, Text, Date };

struct COptionInfo {
    const char* m_pszName;
    EKind m_kind;
};

// In the order the options are stored.
constexpr std::array<COptionInfo, 17> kOptionInfo{{
    {"minsize", EKind::Number},
    {"noduplicates", EKind::Flag},
    {"fullformat", EKind::Flag},
    {"ignoreimporterrors", EKind::Flag},
    {"exportnocr", EKind::Flag},
    {"daysahead", EKind::Number},
    {"daysback", EKind::Number},
    {"defaultapptlength", EKind::Number},
    {"separator", EKind::Text},
    {"quote", EKind::Text},
    {"exceptiondateseparator", EKind::Text},
    {"lastfile", EKind::Text},
    {"datewithtime", EKind::Flag},
    {"usecategories", EKind::Flag},
    {"settitle", EKind::Text},
    {"exportfrom", EKind::Date},
    {"exportto", EKind::Date},
}};

// The member of a number or flag option; null for other names.
template <class TOptions> auto* FlagOrNumber(TOptions& o, std::string_view name) {
    using TResult = decltype(&o.m_nMinSize);
    if (name == "minsize")
        return &o.m_nMinSize;
    if (name == "noduplicates")
        return &o.m_bNoDuplicates;
    if (name == "fullformat")
        return &o.m_bFullFormat;
    if (name == "ignoreimporterrors")
        return &o.m_bIgnoreImportErrors;
    if (name == "exportnocr")
        return &o.m_bExportNoCr;
    if (name == "daysahead")
        return &o.m_nDaysAhead;
    if (name == "daysback")
        return &o.m_nDaysBack;
    if (name == "defaultapptlength")
        return &o.m_nDefaultApptLength;
    if (name == "datewithtime")
        return &o.m_bDateWithTime;
    if (name == "usecategories")
        return &o.m_bUseCategories;
    return TResult{nullptr};
}

// The member of a text option; null for other names.
template <class TOptions> auto* Text(TOptions& o, std::string_view name) {
    using TResult = decltype(&o.m_strSeparator);
    if (name == "separator")
        return &o.m_strSeparator;
    if (name == "quote")
        return &o.m_strQuote;
    if (name == "exceptiondateseparator")
        return &o.m_strExceptionDateSeparator;
    if (name == "lastfile")
        return &o.m_strLastFile;
    if (name == "settitle")
        return &o.m_strSetTitle;
    return TResult{nullptr};
}

const COptionInfo* FindOption(std::string_view name) {
    const std::string lower = AsciiLower(Trim(name));
    for (const COptionInfo& info : kOptionInfo) {
        if (lower == info.m_pszName)
            return &info;
    }
    return nullptr;
}

std::string OptionList() {
    std::string out;
    for (const std::string& name : SettableOptionNames())
        out += (out.empty() ? "" : ", ") + name;
    return out;
}

std::int32_t RequireNumber(std::string_view name, std::string_view value, std::int32_t nMin,
                           std::int32_t nMax) {
    const std::optional<std::int32_t> n = ParseIntArgument(value);
    if (!n || *n < nMin || *n > nMax)
        throw CUsageError(std::string(name) + " takes a whole number from " + std::to_string(nMin) +
                          " to " + std::to_string(nMax) + ", not \"" + std::string(value) + "\".");
    return *n;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

void CheckText(const std::string& name, const std::string& utf8, const std::string& narrow,
               const COptions& options) {
    if (narrow.size() > kMaxStoredText)
        throw CUsageError(name + " is too long: at most " + std::to_string(kMaxStoredText) +
                          " bytes are kept.");
    if (name == "lastfile")
        return;
    if (HasLineBreak(utf8))
        throw CUsageError(name + " cannot hold a line break.");
    // The CSV reader compares the separator and the quote as one byte.
    if ((name == "separator" || name == "quote") && (Utf8Length(utf8) > 1 || narrow.size() > 1))
        throw CUsageError(name + " is one character (" +
                          (name == "quote" ? "or none" : "\\t for a tab") +
                          "), and one that the system code page keeps in one byte: files are "
                          "read with a one-character " +
                          name + ".");
    if (name == "separator") {
        if (narrow.empty())
            throw CUsageError("separator cannot be empty: CSV cells need a separator (\\t for a "
                              "tab).");
        if (narrow == options.m_strQuote)
            throw CUsageError("separator and quote must differ.");
    } else if (name == "quote") {
        if (!narrow.empty() && narrow == options.m_strSeparator)
            throw CUsageError("separator and quote must differ.");
    } else if (name == "exceptiondateseparator") {
        // The exception dates are split at one byte of the system code page.
        if (Utf8Length(utf8) > 1 || narrow.size() > 1)
            throw CUsageError("exceptiondateseparator is one character at most (a blank when "
                              "empty), and one that the system code page keeps in one byte.");
        const std::string strDateSeparator = FromUtf8(GetRegionalSettings().m_strDate);
        if (!narrow.empty() &&
            ((narrow[0] >= '0' && narrow[0] <= '9') || narrow == strDateSeparator))
            throw CUsageError("exceptiondateseparator \"" + utf8 +
                              "\" would split the dates themselves: choose a character that "
                              "dates do not hold, such as a blank or ;.");
    }
}

// The range of "daysback" and "daysahead": the export range must stay within the datebook.
void CheckRange(const COptions& options, std::string_view name) {
    const TimeValue tFrom = options.GetExportFrom();
    const TimeValue tTo = options.GetExportTo();
    const TimeValue tLast = DatebookRangeEnd() + 86400;
    if (tFrom < DatebookRangeStart() || tFrom > tLast || tTo < DatebookRangeStart() || tTo > tLast)
        throw CUsageError(std::string(name) +
                          " would move the export range outside the datebook's days, "
                          "1970-01-02 to 2031-12-31.");
}

std::string FieldName(unsigned nId) {
    return ToUtf8(CFieldLayout::GetFieldName(nId));
}

std::optional<unsigned> FindField(std::string_view name) {
    const std::string lower = AsciiLower(Trim(name));
    for (unsigned nId = 0; nId <= FIELD_IGNORED; ++nId) {
        if (AsciiLower(FieldName(nId)) == lower)
            return nId;
    }
    return std::nullopt;
}

std::vector<std::string> FieldArguments(const std::vector<std::string>& args) {
    std::vector<std::string> names;
    for (const std::string& arg : args) {
        for (std::string& name : SplitList(arg))
            names.push_back(std::move(name));
    }
    if (names.size() == 1 && names.front().empty())
        names.clear();
    return names;
}

std::string JoinFieldNames(const std::vector<unsigned>& fields) {
    std::string out;
    for (unsigned nId : fields)
        out += (out.empty() ? "" : ",") + FieldName(nId);
    return out;
}

std::string ShellQuote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"' || c == '$' || c == '`')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string FilterTypeName(std::int32_t nType) {
    return ToUtf8(LoadResourceString(IDS_FILTER_TYPE_BASE + static_cast<unsigned>(nType)));
}

int RequireSet(std::string_view title) {
    const std::string narrow = FromUtf8(Trim(title));
    const int nSet = CSavedOptions::FindByTitle(narrow);
    if (narrow.empty() || nSet >= CSavedOptions::GetCount())
        throw CUsageError("There is no saved set \"" + std::string(title) +
                          "\" (varno sets list shows them).");
    return nSet;
}

std::string CheckTitle(std::string_view title) {
    const std::string trimmed = Trim(title);
    if (trimmed.empty())
        throw CUsageError("A saved set needs a title.");
    if (Utf8Length(trimmed) > kMaxSetTitle || HasLineBreak(trimmed))
        throw CUsageError("A set title is one line of at most " + std::to_string(kMaxSetTitle) +
                          " characters.");
    return FromUtf8(trimmed);
}

// Regional settings.
constexpr const char* kCodePageName = "codepage";

std::optional<std::string> ReadUserRegional(const std::string& name) {
    CRegKey key;
    std::string value;
    if (key.Open(ERegHive::CurrentUser, kInternationalKey) != REG_STATUS_OK ||
        key.QueryString(name, value) != REG_STATUS_OK)
        return std::nullopt;
    return value;
}

std::optional<std::string> ReadCodePageValue() {
    CRegKey key;
    std::string value;
    if (key.Open(ERegHive::LocalMachine, kCodePageKey) != REG_STATUS_OK ||
        key.QueryString("ACP", value) != REG_STATUS_OK)
        return std::nullopt;
    return value;
}

void WriteRegional(ERegHive hive, const char* pszKey, const std::string& name,
                   const std::optional<std::string>& value) {
    CRegKey key;
    ERegStatus status = key.Create(hive, pszKey);
    if (status == REG_STATUS_OK)
        status = value ? key.SetString(name, *value) : key.DeleteValue(name);
    if (status != REG_STATUS_OK && status != REG_STATUS_NOT_FOUND)
        throw std::runtime_error("The registry of the user home cannot be written (" +
                                 RegistryFolder() + ").");
}

std::string RegionalValue(const CRegionalSettings& s, std::size_t nIndex) {
    const std::string* values[] = {&s.m_strShortDate, &s.m_strTimeFormat, &s.m_strList,
                                   &s.m_str1159,      &s.m_str2359,       &s.m_strDate,
                                   &s.m_strTime};
    return *values[nIndex];
}

// Today and a few times of day written with the settings in force read back as themselves.
bool RegionalRoundTrips() {
    CLocalTime now;
    if (!BreakDownLocal(CurrentTime(), now))
        return true;
    const int nYear = std::clamp(now.m_nYear, 1971, 2030);
    const TimeValue tDays[] = {MakeLocalTimeValue(nYear, now.m_nMonth, now.m_nDay),
                               MakeLocalTimeValue(2031, 12, 30), MakeLocalTimeValue(1999, 1, 31)};
    for (TimeValue tDay : tDays) {
        TimeValue t = 0;
        if (ParseDateText(FormatDate(tDay), t) != STATUS_OK || !IsSameDay(t, tDay))
            return false;
    }
    const int anMinutes[] = {0, 9 * 60 + 5, 12 * 60 + 30, 23 * 60 + 59};
    for (int nMinutes : anMinutes) {
        const TimeValue tTime = MakeLocalTimeValue(nYear, 6, 15, nMinutes / 60, nMinutes % 60);
        TimeValue t = 0;
        if (ParseTimeText(FormatTime(tTime), t) != STATUS_OK || !IsSameTimeOfDay(t, tTime))
            return false;
    }
    return true;
}

} // namespace

const std::vector<std::string>& SettableOptionNames() {
    static const std::vector<std::string> s_names = [] {
        std::vector<std::string> names;
        for (const COptionInfo& info : kOptionInfo) {
            if (std::string_view(info.m_pszName) != "settitle")
                names.emplace_back(info.m_pszName);
        }
        return names;
    }();
    return s_names;
}

void ShowOptions(const COptions& options, std::ostream& out) {
    for (const COptionInfo& info : kOptionInfo) {
        out << info.m_pszName << " = ";
        switch (info.m_kind) {
        case EKind::Flag:
        case EKind::Number:
            out << *FlagOrNumber(options, info.m_pszName);
            break;
        case EKind::Text:
            out << QuoteValue(ToUtf8(*Text(options, info.m_pszName)));
            break;
        case EKind::Date:
            out << ToUtf8(FormatDate(std::string_view(info.m_pszName) == "exportfrom"
                                         ? options.GetExportFrom()
                                         : options.GetExportTo()));
            break;
        }
        out << '\n';
    }
}

void SetOption(COptions& options, std::string_view name, std::string_view value) {
    const COptionInfo* pInfo = FindOption(name);
    if (!pInfo)
        throw CUsageError("There is no option \"" + std::string(name) +
                          "\". The options are: " + OptionList() + ".");
    const std::string strName = pInfo->m_pszName;
    if (strName == "settitle")
        throw CUsageError("settitle is the title of the saved set loaded last; varno sets save "
                          "and varno sets load set it.");
    COptions changed = options;
    switch (pInfo->m_kind) {
    case EKind::Flag: {
        const std::optional<bool> b = ParseFlagArgument(value);
        if (!b)
            throw CUsageError(strName +
                              " is on or off: give 1 or 0 (yes/no, true/false, "
                              "on/off), not \"" +
                              std::string(value) + "\".");
        *FlagOrNumber(changed, strName) = *b ? 1 : 0;
        break;
    }
    case EKind::Number: {
        std::int32_t nMin = -36500;
        std::int32_t nMax = 36500;
        if (strName == "minsize") {
            nMin = kMinArchiveSize;
            nMax = kMaxArchiveSize;
        } else if (strName == "defaultapptlength") {
            nMin = 1;
            nMax = kMaxDefaultLength;
        }
        *FlagOrNumber(changed, strName) = RequireNumber(strName, value, nMin, nMax);
        if (strName == "daysahead" || strName == "daysback")
            CheckRange(changed, strName);
        break;
    }
    case EKind::Text: {
        const std::string utf8 = strName == "lastfile" ? std::string(value) : UnescapeValue(value);
        const std::string narrow = FromUtf8(utf8);
        CheckText(strName, utf8, narrow, options);
        *Text(changed, strName) = narrow;
        break;
    }
    case EKind::Date: {
        const TimeValue t = RequireDateArgument(value, strName);
        if (strName == "exportfrom")
            changed.SetExportFrom(t);
        else
            changed.SetExportTo(t);
        CheckRange(changed, strName);
        break;
    }
    }
    options = changed;
}

void ResetOptions(COptions& options) {
    options.SetDefaults();
}

void ShowFields(const CFieldLayout& layout, std::ostream& out) {
    out << "simple = " << JoinFieldNames(layout.GetSimpleFields()) << '\n';
    out << "repeat = " << JoinFieldNames(layout.GetRepeatFields()) << '\n';
}

std::vector<unsigned> ParseSimpleFields(const std::vector<std::string>& args) {
    std::vector<unsigned> fields;
    for (const std::string& name : FieldArguments(args)) {
        const std::optional<unsigned> nId = FindField(name);
        if (!nId || (*nId > kLastOfferedField && *nId != FIELD_IGNORED)) {
            std::string offered;
            for (unsigned n = 0; n <= kLastOfferedField; ++n)
                offered += FieldName(n) + ", ";
            throw CUsageError("\"" + name + "\" is not a simple field. The simple fields are " +
                              offered + "and " + FieldName(FIELD_IGNORED) +
                              " (for a column to skip).");
        }
        if (*nId != FIELD_IGNORED && std::find(fields.begin(), fields.end(), *nId) != fields.end())
            throw CUsageError("\"" + FieldName(*nId) +
                              "\" is given twice; only (Ignored) may appear more than once.");
        fields.push_back(*nId);
    }
    if (fields.empty())
        throw CUsageError("Give at least one simple field, such as Date,Text.");
    return fields;
}

std::vector<unsigned> ParseRepeatFields(const std::vector<std::string>& args) {
    std::vector<unsigned> fields;
    for (const std::string& name : FieldArguments(args)) {
        const std::optional<unsigned> nId = FindField(name);
        if (!nId || *nId < FIELD_REPEAT_TYPE || *nId > FIELD_MONTHLY_WEEK_INDEX)
            throw CUsageError("\"" + name + "\" is not a repeat field. The repeat fields are " +
                              JoinFieldNames(CFieldLayout().GetRepeatFields()) + ".");
        if (std::find(fields.begin(), fields.end(), *nId) != fields.end())
            throw CUsageError("\"" + FieldName(*nId) + "\" is given twice.");
        fields.push_back(*nId);
    }
    std::string missing;
    for (unsigned nId = FIELD_REPEAT_TYPE; nId <= FIELD_MONTHLY_WEEK_INDEX; ++nId) {
        if (std::find(fields.begin(), fields.end(), nId) == fields.end())
            missing += (missing.empty() ? "" : ",") + FieldName(nId);
    }
    if (!missing.empty())
        throw CUsageError("The repeat fields can be put in another order but not left out; "
                          "missing: " +
                          missing + ".");
    return fields;
}

std::vector<std::string> SimpleFieldWarnings(const std::vector<unsigned>& fields) {
    std::vector<std::string> warnings;
    for (unsigned nId : {unsigned{FIELD_DATE}, unsigned{FIELD_TEXT}}) {
        if (std::find(fields.begin(), fields.end(), nId) == fields.end())
            warnings.push_back("Note: without \"" + FieldName(nId) +
                               "\" the rows of a file cannot be imported.");
    }
    return warnings;
}

std::string DescribeFilter(const CRecordFilter& filter) {
    const int nRows = filter.GetRowCount();
    if (nRows == 0)
        return "none";
    std::string out;
    for (int i = 0; i < nRows; ++i) {
        std::int32_t nType = 0;
        std::int32_t nJoin = FILTER_JOIN_AND;
        std::string strText;
        filter.GetRow(i, nType, strText, nJoin);
        out += ShellQuote(FilterTypeName(nType) + ":" + ToUtf8(strText));
        if (i + 1 < nRows)
            out += nJoin == FILTER_JOIN_OR ? " or " : " and ";
    }
    return out;
}

CRecordFilter ParseFilter(const std::vector<std::string>& args) {
    if (args.empty() || args.size() % 2 == 0)
        throw CUsageError("Give filter rows as \"TYPE:TEXT\", joined by and or or: "
                          "varno filter set \"text contains:Meeting\" and \"category is:Work\".");
    struct CRow {
        std::int32_t m_nType;
        std::string m_strText;
        std::int32_t m_nJoin;
    };
    std::vector<CRow> rows;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& arg = args[i];
        const std::size_t nColon = arg.find(':');
        const std::string type =
            AsciiLower(Trim(arg.substr(0, nColon == std::string::npos ? arg.size() : nColon)));
        std::optional<std::int32_t> nType;
        std::string types;
        for (std::int32_t t = FILTER_TEXT_STARTS_WITH; t <= FILTER_LOCATION_IS; ++t) {
            if (AsciiLower(FilterTypeName(t)) == type)
                nType = t;
            types += (types.empty() ? "\"" : ", \"") + FilterTypeName(t) + "\"";
        }
        if (nColon == std::string::npos || !nType)
            throw CUsageError("\"" + arg + "\" is not a filter row: write TYPE:TEXT, TYPE being " +
                              types + ".");
        std::int32_t nJoin = FILTER_JOIN_NONE;
        if (i + 1 < args.size()) {
            const std::string join = AsciiLower(Trim(args[i + 1]));
            if (join != "and" && join != "or")
                throw CUsageError("Filter rows are joined by and or or, not \"" + args[i + 1] +
                                  "\".");
            nJoin = join == "or" ? FILTER_JOIN_OR : FILTER_JOIN_AND;
        }
        rows.push_back({*nType, FromUtf8(arg.substr(nColon + 1)), nJoin});
    }
    if (rows.size() > static_cast<std::size_t>(kMaxFilterRows))
        throw CUsageError("The filter holds at most " + std::to_string(kMaxFilterRows) + " rows.");
    CRecordFilter filter;
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.AddRow();
    for (std::size_t i = 0; i < rows.size(); ++i)
        filter.SetRow(static_cast<int>(i), rows[i].m_nType, rows[i].m_strText, rows[i].m_nJoin);
    return filter;
}

void ListSets(const COptions& current, std::ostream& out) {
    const int nCount = CSavedOptions::GetCount();
    const int nEqual = CSavedOptions::FindEqual(current);
    for (int i = 0; i < nCount; ++i)
        out << (i == nEqual ? "* " : "  ") << ToUtf8(CSavedOptions::GetTitle(i)) << '\n';
}

void SaveSet(COptions& current, std::string_view title) {
    const std::string narrow = CheckTitle(title);
    const int nSet = CSavedOptions::FindByTitle(narrow);
    if (nSet >= kMaxSavedOptions)
        throw CUsageError("There are " + std::to_string(kMaxSavedOptions) +
                          " saved sets already: remove one first.");
    CSavedOptions::Store(current, nSet, narrow);
}

void LoadSet(COptions& current, std::string_view title) {
    CSavedOptions::Load(RequireSet(title), current);
}

void RenameSet(std::string_view oldTitle, std::string_view newTitle) {
    const int nSet = RequireSet(oldTitle);
    (void)CSavedOptions::Rename(nSet, CheckTitle(newTitle));
}

void RemoveSet(std::string_view title) {
    CSavedOptions::Remove(RequireSet(title));
}

void ShowRegional(std::ostream& out) {
    const CRegionalSettings& settings = GetRegionalSettings();
    const std::string strLocale = settings.m_strLocale;
    for (std::size_t i = 0; i < std::size(kRegionalValueNames); ++i) {
        const std::string name = kRegionalValueNames[i];
        out << name << " = " << QuoteValue(RegionalValue(settings, i));
        if (!ReadUserRegional(name))
            out << "  (default of " << strLocale << ")";
        out << '\n';
    }
    out << kCodePageName << " = " << GetSystemCodePage();
    if (!ReadCodePageValue())
        out << "  (default of the process locale)";
    out << '\n';
}

void SetRegional(std::string_view name, std::string_view value) {
    const std::string lower = AsciiLower(Trim(name));
    if (lower == kCodePageName) {
        const std::string v = AsciiLower(Trim(value));
        std::string strCodePage;
        if (v == "1252" || v == "cp1252" || v == "windows-1252")
            strCodePage = "1252";
        else if (v == "65001" || v == "utf-8" || v == "utf8")
            strCodePage = "65001";
        else
            throw CUsageError("The code page is 1252 (Western European) or 65001 (UTF-8), not \"" +
                              std::string(value) + "\".");
        WriteRegional(ERegHive::LocalMachine, kCodePageKey, "ACP", strCodePage);
        return;
    }
    std::string strName;
    for (const char* pszName : kRegionalValueNames) {
        if (AsciiLower(pszName) == lower)
            strName = pszName;
    }
    if (strName.empty())
        throw CUsageError("There is no regional setting \"" + std::string(name) +
                          "\". They are sShortDate, sTimeFormat, sList, s1159, s2359, sDate, "
                          "sTime and codepage.");
    const std::string text = UnescapeValue(value);
    if (HasLineBreak(text))
        throw CUsageError(strName + " cannot hold a line break.");
    const std::size_t nLength = Utf8Length(text);
    if (strName == "sList" || strName == "sDate" || strName == "sTime") {
        if (nLength < 1 || nLength > 3)
            throw CUsageError(strName + " is one to three characters.");
        if (text.find_first_of("0123456789") != std::string::npos)
            throw CUsageError(strName + " cannot hold digits.");
    } else if (strName == "s1159" || strName == "s2359") {
        if (nLength > 14)
            throw CUsageError(strName + " is at most 14 characters.");
    } else if (text.empty()) {
        throw CUsageError(strName + " cannot be empty.");
    }
    if (strName == "sList" && text.find('"') != std::string::npos)
        throw CUsageError("sList cannot hold a double quote, which quotes CSV cells.");

    const std::optional<std::string> previous = ReadUserRegional(strName);
    WriteRegional(ERegHive::CurrentUser, kInternationalKey, strName, FromUtf8(text));
    if (strName != "sList" && !RegionalRoundTrips()) {
        WriteRegional(ERegHive::CurrentUser, kInternationalKey, strName, previous);
        throw CUsageError(strName + " \"" + text +
                          "\" was not kept: dates or times written with it do not read back as "
                          "themselves (a short date needs day, month and year: d, M, y; a time "
                          "format hours and minutes: h or H, and m; sDate and sTime must "
                          "be the separators the pictures use).");
    }
}

void ResetRegional() {
    ResetUserProfile();
}
