#include "settings/Options.h"

#include "host/HostInterfaces.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "platform/locale/RegionalSettings.h"
#include "settings/RegistryValues.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerHour = 3600;

// The platform reads the list separator into a buffer of 10 characters, terminator
// included.
constexpr std::size_t kSeparatorBufferSize = 10;

// The user's list separator in the system code page, cut to what the buffer holds
// without splitting a character.
std::string DefaultSeparator() {
    std::string strList = FromUtf8(GetRegionalSettings().m_strList);
    std::size_t nLength = std::min(strList.size(), kSeparatorBufferSize - 1);
    if (nLength < strList.size() && GetSystemCodePage() == CP_UTF8) {
        while (nLength > 0 && (static_cast<unsigned char>(strList[nLength]) & 0xC0) == 0x80)
            --nLength;
    }
    strList.resize(nLength);
    return strList;
}

TimeValue ClampTime(std::int64_t t) {
    return static_cast<TimeValue>(std::clamp<std::int64_t>(t, std::numeric_limits<TimeValue>::min(),
                                                           std::numeric_limits<TimeValue>::max()));
}

int LocalHour(std::int64_t t) {
    CLocalTime local;
    return BreakDownLocal(t, local) ? local.m_nHour : -1;
}

// Today's local date.
CLocalTime Today() {
    CLocalTime today;
    if (!BreakDownLocal(CurrentTime(), today))
        today = CLocalTime{};
    return today;
}

// Today at the given local time of day, daylight saving decided by the calendar.
std::int64_t TodayAt(int nHour, int nMinute) {
    const CLocalTime today = Today();
    return MakeLocalTime(today.m_nYear, today.m_nMonth, today.m_nDay, nHour, nMinute, 0)
        .value_or(0);
}

// Whole days from today's local date to tDate's local date, both taken at 00:00:00
// standard time, truncated toward zero; empty when a date cannot be represented.
std::optional<std::int32_t> DaysFromToday(TimeValue tDate) {
    const CLocalTime today = Today();
    CLocalTime date;
    if (!BreakDownLocal(tDate, date))
        return std::nullopt;
    const auto tToday = MakeStandardTime(today.m_nYear, today.m_nMonth, today.m_nDay);
    const auto tThen = MakeStandardTime(date.m_nYear, date.m_nMonth, date.m_nDay);
    if (!tToday || !tThen)
        return std::nullopt;
    return static_cast<std::int32_t>((*tThen - *tToday) / kSecondsPerDay);
}

} // namespace

COptions::COptions() {
    SetDefaults();
}

COptions::~COptions() = default;

COptions::COptions(const COptions& other)
    : m_nMinSize(other.m_nMinSize), m_bNoDuplicates(other.m_bNoDuplicates),
      m_bFullFormat(other.m_bFullFormat), m_bIgnoreImportErrors(other.m_bIgnoreImportErrors),
      m_bExportNoCr(other.m_bExportNoCr), m_nDaysAhead(other.m_nDaysAhead),
      m_nDaysBack(other.m_nDaysBack), m_nDefaultApptLength(other.m_nDefaultApptLength),
      m_strSeparator(other.m_strSeparator), m_strQuote(other.m_strQuote),
      m_strExceptionDateSeparator(other.m_strExceptionDateSeparator),
      m_strLastFile(other.m_strLastFile), m_bDateWithTime(other.m_bDateWithTime),
      m_bUseCategories(other.m_bUseCategories), m_strSetTitle(other.m_strSetTitle),
      m_layout(other.m_layout), m_filter(other.m_filter),
      m_pHostApplication(other.m_pHostApplication) {
    m_layout.SetOwner(this);
}

COptions& COptions::operator=(const COptions& other) {
    if (this == &other)
        return *this;
    m_nMinSize = other.m_nMinSize;
    m_bNoDuplicates = other.m_bNoDuplicates;
    m_bFullFormat = other.m_bFullFormat;
    m_bIgnoreImportErrors = other.m_bIgnoreImportErrors;
    m_bExportNoCr = other.m_bExportNoCr;
    m_nDaysAhead = other.m_nDaysAhead;
    m_nDaysBack = other.m_nDaysBack;
    m_nDefaultApptLength = other.m_nDefaultApptLength;
    m_strSeparator = other.m_strSeparator;
    m_strQuote = other.m_strQuote;
    m_strExceptionDateSeparator = other.m_strExceptionDateSeparator;
    m_strLastFile = other.m_strLastFile;
    m_bDateWithTime = other.m_bDateWithTime;
    m_bUseCategories = other.m_bUseCategories;
    m_strSetTitle = other.m_strSetTitle;
    m_layout = other.m_layout;
    m_layout.SetOwner(this);
    m_filter = other.m_filter;
    m_pHostApplication = other.m_pHostApplication;
    return *this;
}

void COptions::SetDefaults() {
    m_nMinSize = 1000;
    m_bNoDuplicates = 1;
    m_bFullFormat = 1;
    m_bIgnoreImportErrors = 0;
    m_bExportNoCr = 0;
    m_nDaysAhead = 30;
    m_nDaysBack = 10;
    m_nDefaultApptLength = 60;
    m_strSeparator = DefaultSeparator();
    m_strQuote = "\"";
    m_strExceptionDateSeparator = " ";
    m_strLastFile.clear();
    m_bDateWithTime = 0;
    m_bUseCategories = 0;
    m_strSetTitle.clear();
    m_layout.SetOwner(this);
}

void COptions::Load() {
    LoadFromKey(kOptionsKey);
}

void COptions::Save() const {
    SaveToKey(kOptionsKey);
}

void COptions::LoadFromKey(const std::string& strKey) {
    m_nMinSize = ReadRegDword(strKey, "minsize", m_nMinSize);
    m_bNoDuplicates = ReadRegDword(strKey, "noduplicates", m_bNoDuplicates);
    m_bFullFormat = ReadRegDword(strKey, "fullformat", m_bFullFormat);
    m_bIgnoreImportErrors = ReadRegDword(strKey, "ignoreimporterrors", m_bIgnoreImportErrors);
    m_bExportNoCr = ReadRegDword(strKey, "exportnocr", m_bExportNoCr);
    m_nDaysAhead = ReadRegDword(strKey, "daysahead", m_nDaysAhead);
    m_nDaysBack = ReadRegDword(strKey, "daysback", m_nDaysBack);
    m_nDefaultApptLength = ReadRegDword(strKey, "defaultapptlength", m_nDefaultApptLength);
    m_strSeparator = ReadRegString(strKey, "separator", m_strSeparator);
    m_strQuote = ReadRegString(strKey, "quote", m_strQuote);
    m_strExceptionDateSeparator =
        ReadRegString(strKey, "exceptiondateseparator", m_strExceptionDateSeparator);
    if (m_strExceptionDateSeparator.empty())
        m_strExceptionDateSeparator = " ";
    m_strLastFile = ReadRegString(strKey, "lastfile", m_strLastFile);
    m_bDateWithTime = ReadRegDword(strKey, "datewithtime", m_bDateWithTime);
    m_bUseCategories = ReadRegDword(strKey, "usecategories", m_bUseCategories);
    m_strSetTitle = ReadRegString(strKey, "settitle", m_strSetTitle);
    m_filter.Load(strKey);
    m_layout.Load(strKey);
}

void COptions::SaveToKey(const std::string& strKey) const {
    WriteRegDword(strKey, "minsize", m_nMinSize);
    WriteRegDword(strKey, "noduplicates", m_bNoDuplicates);
    WriteRegDword(strKey, "fullformat", m_bFullFormat);
    WriteRegString(strKey, "separator", m_strSeparator);
    WriteRegDword(strKey, "ignoreimporterrors", m_bIgnoreImportErrors);
    WriteRegDword(strKey, "exportnocr", m_bExportNoCr);
    WriteRegDword(strKey, "daysahead", m_nDaysAhead);
    WriteRegDword(strKey, "daysback", m_nDaysBack);
    WriteRegDword(strKey, "defaultapptlength", m_nDefaultApptLength);
    WriteRegString(strKey, "quote", m_strQuote);
    WriteRegString(strKey, "exceptiondateseparator", m_strExceptionDateSeparator);
    WriteRegString(strKey, "lastfile", m_strLastFile);
    WriteRegDword(strKey, "datewithtime", m_bDateWithTime);
    WriteRegDword(strKey, "usecategories", m_bUseCategories);
    WriteRegString(strKey, "settitle", m_strSetTitle);
    m_filter.Save(strKey);
    m_layout.Save(strKey);
}

bool COptions::IsSameAs(const COptions& other) const {
    return m_nMinSize == other.m_nMinSize && m_bNoDuplicates == other.m_bNoDuplicates &&
           m_bFullFormat == other.m_bFullFormat &&
           m_bIgnoreImportErrors == other.m_bIgnoreImportErrors &&
           m_bExportNoCr == other.m_bExportNoCr && m_nDaysAhead == other.m_nDaysAhead &&
           m_nDaysBack == other.m_nDaysBack && m_nDefaultApptLength == other.m_nDefaultApptLength &&
           m_strSeparator == other.m_strSeparator && m_strQuote == other.m_strQuote &&
           m_strExceptionDateSeparator == other.m_strExceptionDateSeparator &&
           m_strLastFile == other.m_strLastFile && m_bDateWithTime == other.m_bDateWithTime &&
           m_bUseCategories == other.m_bUseCategories && m_filter.IsEqual(other.m_filter) &&
           m_layout.IsEqual(other.m_layout);
}

TimeValue COptions::GetExportFrom() const {
    std::int64_t t = TodayAt(0, 0) - std::int64_t{m_nDaysBack} * kSecondsPerDay;
    if (LocalHour(t) == 1)
        t -= kSecondsPerHour;
    if (LocalHour(t) == 23)
        t += kSecondsPerHour;
    return ClampTime(t);
}

TimeValue COptions::GetExportTo() const {
    std::int64_t t = TodayAt(23, 59) + std::int64_t{m_nDaysAhead} * kSecondsPerDay;
    if (LocalHour(t) == 0)
        t -= kSecondsPerHour;
    if (LocalHour(t) == 22)
        t += kSecondsPerHour;
    return ClampTime(t);
}

void COptions::SetExportFrom(TimeValue tDate) {
    if (const auto nDays = DaysFromToday(tDate))
        m_nDaysBack = -*nDays;
}

void COptions::SetExportTo(TimeValue tDate) {
    if (const auto nDays = DaysFromToday(tDate))
        m_nDaysAhead = *nDays;
}

void COptions::SetHostApplication(IDispatch* pApplication) {
    m_pHostApplication = CComPtr<IDispatch>(pApplication);
}

std::string COptions::GetCurrentUserName() const {
    CComPtr<IHostApplication> pApplication;
    if (!m_pHostApplication || FAILED(m_pHostApplication.QueryInterface(pApplication)) ||
        !pApplication)
        throw CComError(E_POINTER, IID_IHostApplication);
    CComPtr<IHostUser> pUser;
    ThrowIfFailed(pApplication->GetCurrentUser(pUser.Put()), IID_IHostApplication);
    if (!pUser)
        throw CComError(E_POINTER, IID_IHostUser);
    CBstr name;
    ThrowIfFailed(pUser->GetName(name.Put()), IID_IHostUser);
    return FromUtf16(name.View());
}
