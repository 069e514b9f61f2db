#include "fields/FieldLayout.h"

#include "fields/FieldListBox.h"
#include "fields/FieldMenu.h"
#include "formats/FileFormat.h"
#include "model/Appointment.h"
#include "platform/locale/CodePage.h"
#include "platform/locale/LocalTime.h"
#include "res/StringTable.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"

#include <algorithm>
#include <limits>

namespace {

// A stored field count above this is taken for a damaged value: reading stops there
// instead of asking the registry for billions of values.
constexpr std::int32_t kMaxStoredFields = 1000;

// What a new options record holds, for a layout that belongs to none.
constexpr std::int32_t kDefaultAppointmentMinutes = 60;

const char* const kFlagSet = "x";

// Lower case of ASCII letters only: enough to compare with the flag words and unit
// letters, which no other character lowers into, and free of code page look-ups.
std::string AsciiLower(std::string_view s) {
    std::string result(s);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

const char* FlagText(bool b) {
    return b ? kFlagSet : "";
}

// t + ts seconds, kept inside the range of a time value.
TimeValue AddSeconds(TimeValue t, std::int64_t ts) {
    const std::int64_t sum = std::int64_t{t} + ts;
    return static_cast<TimeValue>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<TimeValue>::min(), std::numeric_limits<TimeValue>::max()));
}

// A repeat end on 31 December 2031 or later is the datebook's "no end".
bool IsBeyondRepeatRange(TimeValue t) {
    CLocalTime local;
    if (!BreakDownLocal(t, local))
        return true;
    return local.m_nYear > 2031 ||
           (local.m_nYear == 2031 && local.m_nMonth == 12 && local.m_nDay == 31);
}

std::string IndexedName(const char* pszPrefix, std::size_t nIndex) {
    return pszPrefix + std::to_string(nIndex);
}

void SaveList(const std::string& strKeyPath, const char* pszCountName, const char* pszPrefix,
              const std::vector<unsigned>& vecFields) {
    WriteRegDword(strKeyPath, pszCountName, static_cast<std::int32_t>(vecFields.size()));
    for (std::size_t i = 0; i < vecFields.size(); ++i)
        WriteRegDword(strKeyPath, IndexedName(pszPrefix, i),
                      static_cast<std::int32_t>(vecFields[i]));
}

void LoadList(const std::string& strKeyPath, const char* pszCountName, const char* pszPrefix,
              std::vector<unsigned>& vecFields) {
    const std::int32_t nCount = ReadRegDword(strKeyPath, pszCountName, 0);
    // Save never writes a negative count; such a value is as good as none, so that an
    // empty list still never comes out of the registry.
    if (nCount <= 0)
        return;
    const auto nRead = static_cast<std::size_t>(std::min(nCount, kMaxStoredFields));
    vecFields.clear();
    for (std::size_t i = 0; i < nRead; ++i)
        vecFields.push_back(static_cast<unsigned>(ReadRegDword(
            strKeyPath, IndexedName(pszPrefix, i), static_cast<std::int32_t>(FIELD_IGNORED))));
}

void FillList(IFieldListBox& listBox, const std::vector<unsigned>& vecFields) {
    listBox.ResetContent();
    for (const unsigned nId : vecFields)
        listBox.AddItem(CFieldLayout::GetFieldName(nId), nId);
}

void ReadList(const IFieldListBox& listBox, std::vector<unsigned>& vecFields) {
    vecFields.clear();
    const int nCount = listBox.GetCount();
    for (int i = 0; i < nCount; ++i)
        vecFields.push_back(listBox.GetItemData(i));
}

// Keeps the first failing status of a row's cells.
void Track(EStatus& first, EStatus status) {
    if (first == STATUS_OK)
        first = status;
}

} // namespace

bool ParseFlag(std::string_view text) {
    const std::string lower = AsciiLower(TrimWhiteSpace(text));
    if (lower.empty())
        return false;
    return !(lower == "false" || lower == "no" || lower == "nein" || lower == "0");
}

std::string ImportText(std::string_view text) {
    std::string result;
    AssignImportText(text, result);
    return result;
}

void AssignImportText(std::string_view text, std::string& out) {
    out.clear();
    std::size_t nFrom = 0;
    for (std::size_t n = text.find('\n'); n != std::string_view::npos;
         nFrom = n + 1, n = text.find('\n', nFrom))
        out.append(text.substr(nFrom, n - nFrom)).append("\r\n", 2);
    out.append(text.substr(nFrom));
}

namespace {

// Whether a note holds more UTF-16 units than the datebook keeps. A UTF-8 text has no more
// units than bytes, so that only long ones are converted to be counted.
bool IsNoteTooLong(const std::string& strNote) {
    if (strNote.size() <= kMaxNoteUnits && GetSystemCodePage() == CP_UTF8)
        return false;
    return ToUtf16(strNote).size() > kMaxNoteUnits;
}

} // namespace

CFieldLayout::CFieldLayout() {
    RestoreDefault();
}

CFieldLayout::~CFieldLayout() = default;

void CFieldLayout::RestoreDefault() {
    m_vecSimple.clear();
    for (unsigned nId = FIELD_DATE; nId <= FIELD_REPEAT; ++nId)
        m_vecSimple.push_back(nId);
    m_vecRepeat.clear();
    for (unsigned nId = FIELD_REPEAT_TYPE; nId <= FIELD_MONTHLY_WEEK_INDEX; ++nId)
        m_vecRepeat.push_back(nId);
}

std::string CFieldLayout::GetFieldName(unsigned nId) {
    if (nId > std::numeric_limits<unsigned>::max() - IDS_FIELD_NAME_BASE)
        return {};
    return LoadResourceString(IDS_FIELD_NAME_BASE + nId);
}

unsigned& CFieldLayout::GetSimpleField(int nIndex) {
    return m_vecSimple.at(static_cast<std::size_t>(nIndex));
}

void CFieldLayout::AddSimpleField(unsigned nId) {
    m_vecSimple.push_back(nId);
}

void CFieldLayout::RemoveSimpleField(int nIndex) {
    if (nIndex < 0 || nIndex >= GetSimpleCount())
        return;
    m_vecSimple.erase(m_vecSimple.begin() + nIndex);
}

void CFieldLayout::FillSimpleList(IFieldListBox& listBox) const {
    FillList(listBox, m_vecSimple);
}

void CFieldLayout::FillRepeatList(IFieldListBox& listBox) const {
    FillList(listBox, m_vecRepeat);
}

void CFieldLayout::ReadSimpleList(const IFieldListBox& listBox) {
    ReadList(listBox, m_vecSimple);
}

void CFieldLayout::ReadRepeatList(const IFieldListBox& listBox) {
    ReadList(listBox, m_vecRepeat);
}

void CFieldLayout::BuildAddFieldMenu(IFieldMenu& menu) const {
    for (unsigned nId = FIELD_DATE; nId <= kLastOfferedField; ++nId) {
        if (std::find(m_vecSimple.begin(), m_vecSimple.end(), nId) == m_vecSimple.end())
            menu.AppendItem(GetFieldName(nId), kAddFieldCommandBase + nId);
    }
    menu.AppendItem(GetFieldName(FIELD_IGNORED), kAddFieldCommandBase + FIELD_IGNORED);
}

bool CFieldLayout::FindFieldByName(std::string_view text, unsigned& nId) {
    const std::string strName = AsciiLower(TrimWhiteSpace(text));
    if (strName.empty())
        return false;
    for (unsigned nField = FIELD_DATE; nField <= FIELD_IGNORED; ++nField) {
        if (AsciiLower(GetFieldName(nField)) == strName) {
            nId = nField;
            return true;
        }
    }
    return false;
}

bool CFieldLayout::LayoutFromHeader(const std::vector<std::string>& vecCells,
                                    CFieldLayout& out) const {
    std::size_t nCount = vecCells.size();
    while (nCount > 0 && TrimWhiteSpace(vecCells[nCount - 1]).empty())
        --nCount;
    if (nCount == 0)
        return false;
    std::vector<unsigned> vecSimple;
    std::vector<unsigned> vecRepeat;
    for (std::size_t i = 0; i < nCount; ++i) {
        unsigned nId = 0;
        if (!FindFieldByName(vecCells[i], nId))
            return false;
        const bool bRepeatField = nId >= FIELD_REPEAT_TYPE && nId <= FIELD_MONTHLY_WEEK_INDEX;
        (bRepeatField || !vecRepeat.empty() ? vecRepeat : vecSimple).push_back(nId);
    }
    // Without a date before the repeat fields no row could be read by these names.
    if (std::find(vecSimple.begin(), vecSimple.end(), FIELD_DATE) == vecSimple.end())
        return false;
    out = *this;
    out.m_vecSimple = std::move(vecSimple);
    if (!vecRepeat.empty())
        out.m_vecRepeat = std::move(vecRepeat);
    return true;
}

bool CFieldLayout::IsEqual(const CFieldLayout& other) const {
    return m_vecSimple == other.m_vecSimple && m_vecRepeat == other.m_vecRepeat;
}

void CFieldLayout::Save(const std::string& strKeyPath) const {
    SaveList(strKeyPath, "numsimplefields", "simplefield", m_vecSimple);
    SaveList(strKeyPath, "numrepeatfields", "repeatfield", m_vecRepeat);
}

void CFieldLayout::Load(const std::string& strKeyPath) {
    LoadList(strKeyPath, "numsimplefields", "simplefield", m_vecSimple);
    LoadList(strKeyPath, "numrepeatfields", "repeatfield", m_vecRepeat);
}

EStatus CFieldLayout::WriteSimpleHeader(CFileFormat& format) const {
    EStatus first = STATUS_OK;
    for (const unsigned nId : m_vecSimple)
        Track(first, format.WriteText(GetFieldName(nId)));
    Track(first, format.EndRow());
    return first;
}

EStatus CFieldLayout::WriteFullHeader(CFileFormat& format) const {
    EStatus first = STATUS_OK;
    for (const unsigned nId : m_vecSimple)
        Track(first, format.WriteText(GetFieldName(nId)));
    for (const unsigned nId : m_vecRepeat)
        Track(first, format.WriteText(GetFieldName(nId)));
    Track(first, format.EndRow());
    return first;
}

EStatus CFieldLayout::WriteField(CFileFormat& format, const CAppointment& appt,
                                 unsigned nId) const {
    switch (nId) {
    case FIELD_DATE:
        return format.WriteDate(appt.m_tDate);
    case FIELD_UNTIMED:
        return format.WriteText(FlagText(appt.m_bUntimed));
    case FIELD_START_TIME:
        return appt.m_bUntimed ? format.WriteText("") : format.WriteTime(appt.GetStartDateTime());
    case FIELD_END_TIME:
        return appt.m_bUntimed ? format.WriteText("") : format.WriteTime(appt.GetEndDateTime());
    case FIELD_PRIVATE:
        return format.WriteText(FlagText(appt.m_bPrivate));
    case FIELD_TEXT:
        return format.WriteText(appt.m_strText);
    case FIELD_NOTE:
        return format.WriteText(appt.m_strNote);
    case FIELD_ALARM:
        return format.WriteText(FlagText(appt.m_bAlarm));
    case FIELD_ALARM_TIME:
        return appt.m_bAlarm ? format.WriteInt(appt.m_nAlarmAdvance) : format.WriteText("");
    case FIELD_ALARM_UNIT: {
        const char* pszUnit = "";
        if (appt.m_bAlarm) {
            switch (appt.m_nAlarmUnit) {
            case ALARM_MINUTES:
                pszUnit = "m";
                break;
            case ALARM_HOURS:
                pszUnit = "h";
                break;
            case ALARM_DAYS:
                pszUnit = "d";
                break;
            default:
                break;
            }
        }
        return format.WriteText(pszUnit);
    }
    case FIELD_CATEGORY:
        return format.WriteText(appt.m_strCategory);
    case FIELD_LOCATION:
        return format.WriteText(appt.m_strLocation);
    case FIELD_REPEAT:
        return format.WriteText(FlagText(appt.m_bRepeat));
    case FIELD_TIME_SPAN:
        return appt.m_bUntimed ? format.WriteText("") : format.WriteSpan(appt.m_tsDuration);
    case FIELD_RECORD_ID:
        return format.WriteText(std::to_string(appt.m_nRecordId));
    case FIELD_REPEAT_TYPE:
        return format.WriteText(RepeatTypeName(appt.m_repeat.m_nType));
    case FIELD_REPEAT_INTERVAL:
        return format.WriteInt(appt.m_repeat.m_nInterval);
    case FIELD_REPEAT_END_DATE:
        return appt.m_repeat.m_tEnd > 0 ? format.WriteDate(appt.m_repeat.m_tEnd)
                                        : format.WriteText("");
    case FIELD_WEEKLY_SUNDAY:
    case FIELD_WEEKLY_MONDAY:
    case FIELD_WEEKLY_TUESDAY:
    case FIELD_WEEKLY_WEDNESDAY:
    case FIELD_WEEKLY_THURSDAY:
    case FIELD_WEEKLY_FRIDAY:
    case FIELD_WEEKLY_SATURDAY: {
        const unsigned nBit = nId - FIELD_WEEKLY_SUNDAY;
        const bool bSet = appt.m_repeat.m_nType == REPEAT_WEEKLY &&
                          ((appt.m_repeat.m_byWeekdays >> nBit) & 1u) != 0;
        return format.WriteText(FlagText(bSet));
    }
    case FIELD_MONTHLY_WEEK_INDEX:
        return appt.m_repeat.m_nType == REPEAT_MONTHLY_BY_DAY
                   ? format.WriteInt(appt.m_repeat.m_nWeekIndex)
                   : format.WriteText("");
    case FIELD_EXCEPTIONS:
        // The dates as the export loaded them from the host, in the form the reader takes.
        return format.WriteText(appt.m_strExceptions);
    default:
        // (Ignored), the reserved ids and unknown ids: one
        // empty cell, which the reader takes and discards.
        return format.WriteText("");
    }
}

EStatus CFieldLayout::WriteSimpleRow(CFileFormat& format, const CAppointment& appt) const {
    EStatus first = STATUS_OK;
    for (const unsigned nId : m_vecSimple)
        Track(first, WriteField(format, appt, nId));
    Track(first, format.EndRow());
    return first;
}

EStatus CFieldLayout::WriteFullRow(CFileFormat& format, const CAppointment& appt) const {
    EStatus first = STATUS_OK;
    for (const unsigned nId : m_vecSimple)
        Track(first, WriteField(format, appt, nId));
    if (appt.m_bRepeat) {
        for (const unsigned nId : m_vecRepeat)
            Track(first, WriteField(format, appt, nId));
    }
    Track(first, format.EndRow());
    return first;
}

EStatus CFieldLayout::ReadField(CFileFormat& format, CAppointment& appt, unsigned nId) const {
    const EStatus status = ReadFieldValue(format, appt, nId);
    // An error value or a formula without a result stands for a value the file does not
    // give: reported as such, never read as text, as empty or as the end of the data.
    if (format.IsLastCellError() && nId != FIELD_IGNORED && !GetFieldName(nId).empty())
        return IMPORT_INVALID_CELL;
    return status;
}

EStatus CFieldLayout::ReadFieldValue(CFileFormat& format, CAppointment& appt, unsigned nId) const {
    std::string strCell;
    switch (nId) {
    case FIELD_DATE: {
        TimeValue t = 0;
        const EStatus status = format.ReadDate(t);
        if (status == STATUS_EMPTY)
            return STATUS_FAILED;
        if (status != STATUS_OK)
            return IMPORT_INVALID_DATE;
        appt.m_tDate = t;
        return STATUS_OK;
    }
    case FIELD_START_TIME:
    case FIELD_END_TIME: {
        TimeValue t = 0;
        const EStatus status = format.ReadTime(t);
        if (status == STATUS_EMPTY)
            t = 0;
        else if (status != STATUS_OK)
            return nId == FIELD_START_TIME ? IMPORT_INVALID_START_TIME : IMPORT_INVALID_END_TIME;
        (nId == FIELD_START_TIME ? appt.m_tStart : appt.m_tEnd) = t;
        return STATUS_OK;
    }
    case FIELD_UNTIMED:
    case FIELD_PRIVATE:
    case FIELD_ALARM:
    case FIELD_REPEAT: {
        (void)format.ReadText(strCell);
        const bool bFlag = ParseFlag(strCell);
        if (nId == FIELD_UNTIMED)
            appt.m_bUntimed = bFlag;
        else if (nId == FIELD_PRIVATE)
            appt.m_bPrivate = bFlag;
        else if (nId == FIELD_ALARM)
            appt.m_bAlarm = bFlag;
        else
            appt.m_bRepeat = bFlag;
        return STATUS_OK;
    }
    case FIELD_TEXT:
        (void)format.ReadText(strCell);
        AssignImportText(strCell, appt.m_strText);
        return appt.m_strText.empty() ? IMPORT_NO_TEXT : STATUS_OK;
    case FIELD_NOTE:
        (void)format.ReadText(strCell);
        AssignImportText(strCell, appt.m_strNote);
        // Refused whole rather than stored cut: the datebook would drop the note's end.
        return IsNoteTooLong(appt.m_strNote) ? IMPORT_NOTE_TOO_LONG : STATUS_OK;
    case FIELD_ALARM_TIME:
        return format.ReadLong(appt.m_nAlarmAdvance) == STATUS_OK ? STATUS_OK
                                                                  : IMPORT_INVALID_ALARM_TIME;
    case FIELD_ALARM_UNIT: {
        (void)format.ReadText(strCell);
        const std::string strUnit = AsciiLower(TrimWhiteSpace(strCell));
        if (strUnit.empty())
            appt.m_bAlarm = false;
        else if (strUnit == "d")
            appt.m_nAlarmUnit = ALARM_DAYS;
        else if (strUnit == "h")
            appt.m_nAlarmUnit = ALARM_HOURS;
        else if (strUnit == "m")
            appt.m_nAlarmUnit = ALARM_MINUTES;
        else
            return IMPORT_INVALID_ALARM_UNIT;
        return STATUS_OK;
    }
    case FIELD_CATEGORY:
        (void)format.ReadText(strCell);
        appt.m_strCategory = std::string(TrimWhiteSpace(strCell));
        return STATUS_OK;
    case FIELD_LOCATION:
        (void)format.ReadText(strCell);
        AssignImportText(TrimWhiteSpace(strCell), appt.m_strLocation);
        return STATUS_OK;
    case FIELD_TIME_SPAN: {
        TimeSpan ts = 0;
        const EStatus status = format.ReadSpan(ts);
        if (status == STATUS_EMPTY) {
            appt.m_bUntimed = true;
            return STATUS_OK;
        }
        if (status != STATUS_OK)
            return IMPORT_INVALID_END_TIME;
        appt.m_tsDuration = ts;
        return STATUS_OK;
    }
    case FIELD_RECORD_ID:
        return format.ReadInt(appt.m_nRecordId) == STATUS_OK ? STATUS_OK : IMPORT_INVALID_ID;
    case FIELD_REPEAT_TYPE:
        (void)format.ReadText(strCell);
        appt.SetRepeatTypeFromText(TrimWhiteSpace(strCell));
        return STATUS_OK;
    case FIELD_REPEAT_INTERVAL:
        if (format.ReadLong(appt.m_repeat.m_nInterval) != STATUS_OK ||
            appt.m_repeat.m_nInterval < 1)
            return IMPORT_INVALID_REPEAT_INTERVAL;
        return STATUS_OK;
    case FIELD_REPEAT_END_DATE: {
        TimeValue t = 0;
        const EStatus status = format.ReadDate(t);
        if (status == STATUS_EMPTY)
            t = 0;
        else if (status != STATUS_OK)
            return IMPORT_INVALID_REPEAT_END;
        else if (IsBeyondRepeatRange(t))
            t = 0;
        appt.m_repeat.m_tEnd = t;
        return STATUS_OK;
    }
    case FIELD_EXCEPTIONS:
        (void)format.ReadText(strCell);
        appt.m_strExceptions = strCell;
        return STATUS_OK;
    case FIELD_WEEKLY_SUNDAY:
    case FIELD_WEEKLY_MONDAY:
    case FIELD_WEEKLY_TUESDAY:
    case FIELD_WEEKLY_WEDNESDAY:
    case FIELD_WEEKLY_THURSDAY:
    case FIELD_WEEKLY_FRIDAY:
    case FIELD_WEEKLY_SATURDAY:
        (void)format.ReadText(strCell);
        if (ParseFlag(strCell))
            appt.m_repeat.m_byWeekdays = static_cast<std::uint8_t>(
                appt.m_repeat.m_byWeekdays | (1u << (nId - FIELD_WEEKLY_SUNDAY)));
        return STATUS_OK;
    case FIELD_MONTHLY_WEEK_INDEX:
        return format.ReadLong(appt.m_repeat.m_nWeekIndex) == STATUS_OK ? STATUS_OK
                                                                        : IMPORT_INVALID_WEEK_INDEX;
    default:
        // (Ignored), the reserved ids and unknown ids: the writer's empty cell.
        (void)format.ReadText(strCell);
        return STATUS_OK;
    }
}

EStatus CFieldLayout::ReadFields(CFileFormat& format, CAppointment& appt) const {
    if (format.NextRow() < 0)
        return STATUS_FAILED;
    return ReadRowFields(format, appt);
}

EStatus CFieldLayout::ReadCell(CFileFormat& format, CAppointment& appt, unsigned nId) const {
    const EStatus status = ReadField(format, appt, nId);
    // Bytes of another code page would be stored as replacement characters: the row is
    // refused, naming that cell, whatever else its cell was.
    std::string strCell;
    if (format.GetInvalidTextCell(strCell)) {
        format.SetLastCell(strCell);
        return IMPORT_INVALID_TEXT;
    }
    return status;
}

EStatus CFieldLayout::ReadRowFields(CFileFormat& format, CAppointment& appt) const {
    if (format.IsRowTooLong())
        return IMPORT_ROW_TOO_LONG;
    for (const unsigned nId : m_vecSimple) {
        const EStatus status = ReadCell(format, appt, nId);
        if (status != STATUS_OK)
            return status;
    }

    if (!appt.m_bUntimed && appt.m_tStart != 0 && appt.m_tEnd == 0)
        appt.m_tEnd = AddSeconds(appt.m_tStart, std::int64_t{DefaultAppointmentMinutes()} * 60);
    if (appt.m_tsDuration != 0) {
        appt.m_tEnd = AddSeconds(appt.m_tStart, appt.m_tsDuration);
        appt.m_bUntimed = false;
    }
    if (appt.m_tStart == 0 && appt.m_tEnd == 0)
        appt.m_bUntimed = true;
    if (!appt.m_bUntimed) {
        if (appt.m_tStart == 0)
            return IMPORT_INVALID_START_TIME;
        if (appt.m_tEnd == 0)
            return IMPORT_INVALID_END_TIME;
    }

    if (appt.m_bRepeat && IsFullFormat()) {
        for (const unsigned nId : m_vecRepeat) {
            const EStatus status = ReadCell(format, appt, nId);
            if (status != STATUS_OK)
                return status;
        }
    }
    return STATUS_OK;
}

std::int32_t CFieldLayout::DefaultAppointmentMinutes() const {
    return m_pOwner ? m_pOwner->m_nDefaultApptLength : kDefaultAppointmentMinutes;
}

bool CFieldLayout::IsFullFormat() const {
    return m_pOwner ? m_pOwner->m_bFullFormat != 0 : true;
}
