// The catalogue of appointment fields and the layout of a file row: which fields a row
// holds and in which order, how each field is written to a cell and read back from one.
#pragma once

#include "model/DateText.h"
#include "model/Status.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CAppointment;
class CFileFormat;
class COptions;
class IFieldListBox;
class IFieldMenu;

// Field identifiers. The header name of field id is string-table entry 32821 + id.
enum EFieldId : unsigned {
    FIELD_DATE = 0,
    FIELD_UNTIMED = 1,
    FIELD_START_TIME = 2,
    FIELD_END_TIME = 3,
    FIELD_PRIVATE = 4,
    FIELD_TEXT = 5,
    FIELD_NOTE = 6,
    FIELD_ALARM = 7,
    FIELD_ALARM_TIME = 8,
    FIELD_ALARM_UNIT = 9,
    FIELD_CATEGORY = 10,
    FIELD_LOCATION = 11,
    FIELD_REPEAT = 12,
    FIELD_TIME_SPAN = 13,
    FIELD_RECORD_ID = 14,
    // 15 to 19 are reserved ("Dummy"): never offered, written as an empty cell, and a
    // cell read for them is discarded.
    FIELD_RESERVED_FIRST = 15,
    FIELD_RESERVED_LAST = 19,
    FIELD_REPEAT_TYPE = 20,
    FIELD_REPEAT_INTERVAL = 21,
    FIELD_REPEAT_END_DATE = 22,
    FIELD_EXCEPTIONS = 23,
    FIELD_WEEKLY_SUNDAY = 24, // .. FIELD_WEEKLY_SATURDAY: weekday bit (id - 24)
    FIELD_WEEKLY_MONDAY = 25,
    FIELD_WEEKLY_TUESDAY = 26,
    FIELD_WEEKLY_WEDNESDAY = 27,
    FIELD_WEEKLY_THURSDAY = 28,
    FIELD_WEEKLY_FRIDAY = 29,
    FIELD_WEEKLY_SATURDAY = 30,
    FIELD_MONTHLY_WEEK_INDEX = 31,
    // A column written empty and skipped on reading; a layout may hold it several times.
    // Ids above it are treated the same way.
    FIELD_IGNORED = 32,
};

// The last field offered by the add-field menu besides FIELD_IGNORED.
inline constexpr unsigned kLastOfferedField = FIELD_RECORD_ID;
// Menu command ids of the add-field menu: base + field id.
inline constexpr unsigned kAddFieldCommandBase = 1000;

// Flag text of a cell: lower-cased and trimmed, "true", "yes", "ja" and "1" are true,
// "false", "no", "nein", "0" and the empty text false, any other text true.
[[nodiscard]] bool ParseFlag(std::string_view text);
// A cell's text as the datebook keeps it: every LF becomes CR LF.
[[nodiscard]] std::string ImportText(std::string_view text);
// The same into a string whose storage is used again.
void AssignImportText(std::string_view text, std::string& out);

class CFieldLayout {
public:
    // The default layout.
    CFieldLayout();
    virtual ~CFieldLayout();
    CFieldLayout(const CFieldLayout&) = default;
    CFieldLayout& operator=(const CFieldLayout&) = default;

    // Simple fields 0..12, repeat fields 20..31.
    void RestoreDefault();

    // The options record that holds the layout; reading uses its default appointment
    // length and format choice. Without one the defaults of a new options record apply.
    void SetOwner(COptions* pOwner) { m_pOwner = pOwner; }
    [[nodiscard]] COptions* GetOwner() const { return m_pOwner; }

    // String-table entry 32821 + id; empty when the table has none.
    [[nodiscard]] static std::string GetFieldName(unsigned nId);

    [[nodiscard]] const std::vector<unsigned>& GetSimpleFields() const { return m_vecSimple; }
    [[nodiscard]] const std::vector<unsigned>& GetRepeatFields() const { return m_vecRepeat; }
    void SetSimpleFields(std::vector<unsigned> vecFields) { m_vecSimple = std::move(vecFields); }
    void SetRepeatFields(std::vector<unsigned> vecFields) { m_vecRepeat = std::move(vecFields); }
    [[nodiscard]] int GetSimpleCount() const { return static_cast<int>(m_vecSimple.size()); }
    [[nodiscard]] int GetRepeatCount() const { return static_cast<int>(m_vecRepeat.size()); }
    // The id at nIndex (0 .. GetSimpleCount() - 1).
    [[nodiscard]] unsigned& GetSimpleField(int nIndex);
    void AddSimpleField(unsigned nId);
    // Removes the entry at nIndex; an index outside the list changes nothing.
    void RemoveSimpleField(int nIndex);

    // Empty the list box, then add every field of the list with its name and id.
    void FillSimpleList(IFieldListBox& listBox) const;
    void FillRepeatList(IFieldListBox& listBox) const;
    // Replace the list by the ids of the list box's items, first to last.
    void ReadSimpleList(const IFieldListBox& listBox);
    void ReadRepeatList(const IFieldListBox& listBox);
    // Appends each field 0..14 not yet in the simple list (command 1000 + id), then
    // "(Ignored)" (command 1032).
    void BuildAddFieldMenu(IFieldMenu& menu) const;

    // The field whose header name (GetFieldName) the text is, blanks at both ends and the
    // case of ASCII letters aside; false for any other text.
    [[nodiscard]] static bool FindFieldByName(std::string_view text, unsigned& nId);
    // The layout of a file whose header row names its columns, when every cell (trailing
    // empty cells aside) is a field name: the simple fields are the columns up to the
    // first repeat field, the repeat fields the rest, or this layout's when the header
    // names none. The owner is this layout's. False, out unchanged, for any other row and
    // for a header without a Date column before the repeat fields.
    [[nodiscard]] bool LayoutFromHeader(const std::vector<std::string>& vecCells,
                                        CFieldLayout& out) const;

    // Same simple and repeat lists, position by position; the owner is not compared.
    [[nodiscard]] bool IsEqual(const CFieldLayout& other) const;

    // Registry persistence under HKEY_CURRENT_USER\strKeyPath: "numsimplefields",
    // "simplefield%d", "numrepeatfields", "repeatfield%d". A stored count of 0 (or none)
    // keeps the current list; a missing field reads as FIELD_IGNORED.
    void Save(const std::string& strKeyPath) const;
    void Load(const std::string& strKeyPath);

    // Header rows: the names of the simple fields, or of the simple and then the repeat
    // fields, then the end of the row.
    EStatus WriteSimpleHeader(CFileFormat& format) const;
    EStatus WriteFullHeader(CFileFormat& format) const;

    // Writes the one cell of field nId. The status is the format's.
    EStatus WriteField(CFileFormat& format, const CAppointment& appointment, unsigned nId) const;
    // The simple fields and the end of the row.
    EStatus WriteSimpleRow(CFileFormat& format, const CAppointment& appointment) const;
    // The simple fields, the repeat fields when the appointment repeats, the end of the
    // row.
    EStatus WriteFullRow(CFileFormat& format, const CAppointment& appointment) const;

    // Takes at most one cell into the appointment: 0, -1 for an empty date, or an
    // import error code (101..115; 115 for a cell without a usable value, whatever the
    // field, except one that is ignored).
    EStatus ReadField(CFileFormat& format, CAppointment& appointment, unsigned nId) const;
    // Reads the next row into a reset appointment and completes its times: 0, -1 when
    // there is no row or its date is empty, or an import error code.
    EStatus ReadFields(CFileFormat& format, CAppointment& appointment) const;
    // The same for the row the format fetched last.
    EStatus ReadRowFields(CFileFormat& format, CAppointment& appointment) const;

private:
    // ReadField, or 114 when the cell (or one before it in the row) was not text in the
    // system code page.
    EStatus ReadCell(CFileFormat& format, CAppointment& appointment, unsigned nId) const;
    EStatus ReadFieldValue(CFileFormat& format, CAppointment& appointment, unsigned nId) const;
    [[nodiscard]] std::int32_t DefaultAppointmentMinutes() const;
    [[nodiscard]] bool IsFullFormat() const;

    std::vector<unsigned> m_vecSimple;
    std::vector<unsigned> m_vecRepeat;
    COptions* m_pOwner = nullptr; // not owned
};
