// Resource numbers of the module: dialog templates, controls, menu commands, icons and
// bitmaps. Menu commands and controls of one dialog may share a number; the notification
// code tells them apart.
#pragma once

// Dialog templates.
inline constexpr unsigned IDD_ABOUT = 100;
inline constexpr unsigned IDD_MAIN = 102;
inline constexpr unsigned IDD_OPTIONS = 129;
inline constexpr unsigned IDD_EXAMPLE = 302;
inline constexpr unsigned IDD_ARCHIVE = 303;
inline constexpr unsigned IDD_SAVED_OPTIONS = 304;
inline constexpr unsigned IDD_SAVED_OPTIONS_TITLE = 305;

// Menu and accelerator table of the main dialog.
inline constexpr unsigned IDR_MAIN_MENU = 131;
inline constexpr unsigned IDR_MAIN_ACCEL = 136;

// Icons and bitmaps.
inline constexpr unsigned IDI_IMPORT = 127;
inline constexpr unsigned IDI_MAIN = 128;
inline constexpr unsigned IDI_EXPORT = 133;
inline constexpr unsigned IDI_REMOVE_FIELD = 301;
inline constexpr unsigned IDI_OPTIONS = 302;
inline constexpr unsigned IDB_ABOUT = 143;
inline constexpr unsigned IDB_COMMAND = 201;

// About dialog.
inline constexpr unsigned IDC_ABOUT_LINK = 1017;
inline constexpr unsigned IDC_ABOUT_VERSION = 1019;

// Main dialog.
inline constexpr unsigned IDC_USER_NAME = 301;
inline constexpr unsigned IDC_FILTER_CHECK = 1003;
inline constexpr unsigned IDC_FILTER_TYPE1 = 1004;
inline constexpr unsigned IDC_FILTER_TEXT1 = 1005;
inline constexpr unsigned IDC_FILTER_JOIN1 = 313;
inline constexpr unsigned IDC_FILTER_TYPE2 = 1006;
inline constexpr unsigned IDC_FILTER_TEXT2 = 1008;
inline constexpr unsigned IDC_FILTER_JOIN2 = 314;
inline constexpr unsigned IDC_FILTER_TYPE3 = 1009;
inline constexpr unsigned IDC_FILTER_TEXT3 = 1010;
inline constexpr unsigned IDC_FILTER_JOIN3 = 315;
inline constexpr unsigned IDC_FILTER_TYPE4 = 1011;
inline constexpr unsigned IDC_FILTER_TEXT4 = 1013;
inline constexpr unsigned IDC_FILTER_JOIN4 = 316;
inline constexpr unsigned IDC_FILTER_TYPE5 = 1015;
inline constexpr unsigned IDC_FILTER_TEXT5 = 1016;
inline constexpr unsigned IDC_STATUS = 1014;
inline constexpr unsigned IDC_PROGRESS = 1007;
inline constexpr unsigned IDC_IMPORT = 1001;
inline constexpr unsigned IDC_EXPORT = 1002;
inline constexpr unsigned IDC_OPTIONS = 1027;
inline constexpr unsigned IDC_CLOSE = 1033;

// Main dialog menu commands.
inline constexpr unsigned ID_FILE_ARCHIVE = 32768;
inline constexpr unsigned ID_FILE_REMOVE_ALL = 1013;
inline constexpr unsigned ID_SAVED_MAINTAIN = 32769;
inline constexpr unsigned ID_FILE_CLOSE = 1033;
inline constexpr unsigned ID_HELP_HELP = 1026;
inline constexpr unsigned ID_HELP_ABOUT = 1004;
inline constexpr unsigned ID_SAVED_SET_FIRST = 33000; // + set number
inline constexpr unsigned ID_SAVED_SET_LAST = 33100;

// Options dialog.
inline constexpr unsigned IDC_ADD_FIELD = 302;
inline constexpr unsigned IDC_REMOVE_FIELD = 303;
inline constexpr unsigned IDC_REPEAT_FIELDS = 1035;
inline constexpr unsigned IDC_SIMPLE_FIELDS = 1034;
inline constexpr unsigned IDC_NO_DUPLICATES = 1009;
inline constexpr unsigned IDC_SEPARATOR = 1008;
inline constexpr unsigned IDC_DATE_WITH_TIME = 1000;
inline constexpr unsigned IDC_IGNORE_ERRORS = 1016;
inline constexpr unsigned IDC_EXPORT_NO_CR = 1029;
inline constexpr unsigned IDC_FULL_FORMAT = 1031;
inline constexpr unsigned IDC_SIMPLE_FORMAT = 1030;
inline constexpr unsigned IDC_EXCEPTION_SEPARATOR = 1038;
inline constexpr unsigned IDC_QUOTE = 1021;
inline constexpr unsigned IDC_DEFAULT_LENGTH = 1041;
inline constexpr unsigned IDC_EXPORT_FROM = 1005;
inline constexpr unsigned IDC_EXPORT_TO = 1006;
inline constexpr unsigned IDC_RESTORE_DEFAULT = 1040;
inline constexpr unsigned IDC_VIEW_EXAMPLE = 304;
inline constexpr unsigned IDC_SAVE_AS = 310;

// Example dialog.
inline constexpr unsigned IDC_EXAMPLE_TEXT = 305;

// Archive dialog.
inline constexpr unsigned IDC_ARCHIVE_COUNT = 1005;
inline constexpr unsigned IDC_ARCHIVE_DATE = 1001;
inline constexpr unsigned IDC_ARCHIVE_LARGER = 1008;
inline constexpr unsigned IDC_ARCHIVE_SIZE = 1006;
inline constexpr unsigned IDC_ARCHIVE_SPIN = 1007;

// Saved options dialogs.
inline constexpr unsigned IDC_SAVED_LIST = 306;
inline constexpr unsigned IDC_SAVED_REMOVE = 307;
inline constexpr unsigned IDC_SAVED_RENAME = 308;
inline constexpr unsigned IDC_SAVED_SAVE = 312;
inline constexpr unsigned IDC_SAVED_TITLE = 311;

// The options dialog's help topics: 0x8000 + template number in the upper 16 bits, the
// control id in the lower.
inline constexpr unsigned kOptionsHelpBase = (0x8000u + IDD_OPTIONS) << 16;
