// The program's user-visible texts, by number.
#pragma once

#include <string>

// String numbers without a fixed number elsewhere.
enum EStringId : unsigned {
    IDS_COUNT_FULL = 4,               // "%d appointments"
    IDS_COUNT_RANGE = 9,              // "%d appointments between %s and %s"
    IDS_CONFIRM_REMOVE_ALL = 32787,   // "This will remove %d appointments for user %s.\nContinue?"
    IDS_ERROR_WRITING_FILE = 32788,   // "Error writing file\n%s"
    IDS_ERROR_READING_LINE = 32789,   // "Error reading %s line %d"
    IDS_ERROR_READING_FILE = 32807,   // "Error reading file\n%s"
    IDS_COUNT_RANGE_ONE = 32819,      // "%d appointment between %s and %s"
    IDS_FIELD_NAME_BASE = 32821,      // + field id
    IDS_ERROR_IMPORT_EXPORT = 32857,  // "Error during Import/Export:\n%s"
    IDS_CANT_ADD_APPOINTMENT = 32858, // "Can't add the following appointment ...\n%s\n%s"
    IDS_SAMPLE_TEXT = 32860,
    IDS_SAMPLE_NOTE = 32861,
    IDS_SAMPLE_LOCATION = 32862,
    IDS_SAMPLE_CATEGORY = 32863,
    IDS_ARCHIVE_MARKED_ONE = 32865,
    IDS_ARCHIVE_MARKED_MANY = 32866,
    IDS_ARCHIVE_COUNT = 32867, // "%d appointments taking up %d bytes."
    IDS_CONFIRM_REMOVE_SET = 32868,
    IDS_OPTIONS_SAVED_AS = 32869,
    IDS_FILTER_EXCEL = 32870, // "MS Excel (*.xls)|*.xls|"
    IDS_FILTER_CSV = 32871,
    IDS_FILTER_VCS = 32872,
    IDS_FILTER_ICS = 32873,
    IDS_FILTER_ALL = 32874,
    IDS_ERROR_ARCHIVING = 32875,  // "Error archiving appointments"
    IDS_FILTER_TYPE_BASE = 32876, // + row type 0..8: "text starts with" ...
    IDS_FILTER_JOIN_AND = 32885,  // "and"
    IDS_FILTER_JOIN_OR = 32886,   // "or"
    IDS_FILTER_XLSX = 32887,      // "MS Excel Workbook (*.xlsx)|*.xlsx|"
};

// The text of a string-table entry; empty when the table has no such entry.
[[nodiscard]] std::string LoadResourceString(unsigned nId);
