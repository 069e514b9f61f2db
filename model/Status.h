// Status results of the program's own operations. Soft failures are reported with these,
// never with exceptions.
#pragma once

#include <cstdint>

enum [[nodiscard]] EStatus : std::int32_t{
    STATUS_OK = 0,
    // Failed, not available, invalid, no more rows; also "the user chose to stop" from
    // the store operations.
    STATUS_FAILED = -1,
    STATUS_EMPTY = -2, // cell reads and parsing: the cell or text is empty

    // Import validation codes; the message of code c is string-table entry 32689 + c.
    IMPORT_INVALID_DATE = 101,
    IMPORT_INVALID_START_TIME = 102,
    IMPORT_INVALID_END_TIME = 103,
    IMPORT_NO_TEXT = 104,
    IMPORT_INVALID_ALARM_TIME = 105,
    IMPORT_INVALID_ALARM_UNIT = 106,
    IMPORT_INVALID_REPEAT_INTERVAL = 107,
    IMPORT_INVALID_REPEAT_END = 108,
    IMPORT_NO_WEEKDAY = 109,
    IMPORT_INVALID_WEEK_INDEX = 110,
    IMPORT_INVALID_REPEAT_TYPE = 111,
    IMPORT_INVALID_EXCEPTION = 112,
    IMPORT_INVALID_ID = 113,
    // A cell is not text in the system code page (a file saved in another one).
    IMPORT_INVALID_TEXT = 114,
    // A workbook cell holding an error value or a formula without a saved result.
    IMPORT_INVALID_CELL = 115,
    // A row longer than the reader takes (39,999 bytes); the whole row is passed over.
    IMPORT_ROW_TOO_LONG = 116,
    // A note longer than the datebook holds (kMaxNoteUnits UTF-16 units).
    IMPORT_NOTE_TOO_LONG = 117,
};

inline constexpr unsigned kImportMessageBase = 32689; // string of code c: base + c

[[nodiscard]] constexpr bool IsImportError(std::int32_t status) {
    return status >= IMPORT_INVALID_DATE && status <= IMPORT_NOTE_TOO_LONG;
}
