#include "res/DialogTemplates.h"

#include "res/Resource.h"

#include <cstdlib>

namespace {

using K = EControlKind;
constexpr std::uint32_t kEditStyle = CS_BORDER | CS_TABSTOP | CS_AUTOHSCROLL;
constexpr std::uint32_t kTab = CS_TABSTOP;

// 100: about.
constexpr CControlTemplate kAbout[] = {
    {IDOK, K::DefPushButton, "&OK", kTab | CS_GROUP, {110, 131, 58, 14}},
    {IDC_STATIC, K::Picture, "", CS_NONE, {7, 7, 130, 109}, IDB_ABOUT},
    {IDC_STATIC, K::Static, "Palm Datebook Import/Export", CS_NONE, {148, 7, 94, 8}},
    {IDC_STATIC, K::Static, "(C) 2026 Brenmark", CS_NONE, {148, 22, 90, 8}},
    {IDC_ABOUT_LINK, K::Static, "www.brenmark.example", CS_NONE, {148, 37, 100, 10}},
    {IDC_ABOUT_VERSION, K::Static, "", CS_RIGHT, {249, 7, 22, 9}},
};

// 102: main.
constexpr CControlTemplate kMain[] = {
    {IDC_STATIC, K::Static, "Palm User:", CS_NONE, {4, 8, 35, 8}},
    {IDC_USER_NAME, K::Edit, "", kEditStyle | CS_READONLY, {44, 7, 327, 12}},
    {IDC_FILTER_CHECK,
     K::CheckBox,
     "Fi&lter: Include only appointments where",
     kTab,
     {4, 27, 138, 10}},
    {IDC_FILTER_TYPE1, K::DropList, "", kTab | CS_VSCROLL, {146, 26, 102, 99}},
    {IDC_FILTER_TEXT1, K::Edit, "", kEditStyle, {249, 25, 71, 14}},
    {IDC_FILTER_JOIN1, K::DropList, "", kTab, {323, 25, 48, 30}},
    {IDC_FILTER_TYPE2, K::DropList, "", kTab | CS_VSCROLL, {146, 44, 102, 99}},
    {IDC_FILTER_TEXT2, K::Edit, "", kEditStyle, {249, 43, 71, 14}},
    {IDC_FILTER_JOIN2, K::DropList, "", kTab, {323, 43, 48, 30}},
    {IDC_FILTER_TYPE3, K::DropList, "", kTab | CS_VSCROLL, {146, 58, 102, 99}},
    {IDC_FILTER_TEXT3, K::Edit, "", kEditStyle, {249, 58, 71, 14}},
    {IDC_FILTER_JOIN3, K::DropList, "", kTab, {323, 58, 48, 30}},
    {IDC_FILTER_TYPE4, K::DropList, "", kTab | CS_VSCROLL, {146, 73, 102, 99}},
    {IDC_FILTER_TEXT4, K::Edit, "", kEditStyle, {249, 73, 71, 14}},
    {IDC_FILTER_JOIN4, K::DropList, "", kTab, {323, 73, 48, 30}},
    {IDC_FILTER_TYPE5, K::DropList, "", kTab | CS_VSCROLL, {146, 90, 102, 99}},
    {IDC_FILTER_TEXT5, K::Edit, "", kEditStyle, {249, 90, 71, 14}},
    {IDC_STATUS, K::Static, "", CS_NONE, {4, 111, 367, 8}},
    {IDC_PROGRESS, K::Progress, "", CS_HIDDEN | CS_BORDER, {4, 167, 367, 14}},
    {IDC_IMPORT, K::OwnerDrawButton, "&Import...", kTab, {4, 192, 72, 25}},
    {IDC_EXPORT, K::OwnerDrawButton, "&Export...", kTab, {83, 192, 72, 25}},
    {IDC_OPTIONS, K::OwnerDrawButton, "&Options...", kTab, {162, 192, 72, 25}},
    {IDC_CLOSE, K::PushButton, "&Close", kTab, {299, 192, 72, 25}},
};

// 129: options.
constexpr CControlTemplate kOptions[] = {
    {IDC_STATIC, K::GroupBox, "Event Format", CS_NONE, {7, 7, 168, 92}},
    {IDC_FULL_FORMAT,
     K::Radio,
     "&Full format (Include repeat event details)",
     CS_GROUP | kTab,
     {13, 20, 141, 10}},
    {IDC_SIMPLE_FORMAT,
     K::Radio,
     "&Simple format (Expand repeat events)",
     CS_NONE,
     {13, 35, 133, 10}},
    {IDC_STATIC, K::Static, "Export Fro&m:", CS_GROUP, {24, 52, 40, 8}},
    {IDC_EXPORT_FROM, K::DatePicker, "", kTab | CS_SHORTDATE, {68, 50, 100, 13}},
    {IDC_STATIC, K::Static, "Export &To:", CS_NONE, {24, 70, 34, 8}},
    {IDC_EXPORT_TO, K::DatePicker, "", kTab | CS_SHORTDATE, {68, 67, 100, 13}},
    {IDC_STATIC, K::GroupBox, "General", CS_NONE, {7, 103, 168, 43}},
    {IDC_STATIC, K::Static, "Exception Date Separator:", CS_NONE, {13, 116, 84, 8}},
    {IDC_EXCEPTION_SEPARATOR, K::Edit, "", kEditStyle, {100, 113, 20, 14}},
    {IDC_DATE_WITH_TIME, K::CheckBox, "Include Date in Time Fields", kTab, {14, 130, 101, 10}},
    {IDC_STATIC, K::GroupBox, "Import", CS_NONE, {7, 152, 168, 47}},
    {IDC_NO_DUPLICATES, K::CheckBox, "S&kip Duplicates", kTab, {13, 165, 65, 10}},
    {IDC_IGNORE_ERRORS, K::CheckBox, "&Ignore Errors", kTab, {82, 165, 56, 10}},
    {IDC_STATIC, K::Static, "Default appointment length:", CS_NONE, {13, 183, 88, 8}},
    {IDC_DEFAULT_LENGTH, K::Edit, "", kEditStyle, {104, 179, 20, 14}},
    {IDC_STATIC, K::Static, "min", CS_NONE, {133, 183, 12, 8}},
    {IDC_STATIC, K::GroupBox, "CSV Format", CS_NONE, {7, 205, 168, 41}},
    {IDC_STATIC, K::Static, "&Quote Fields:", CS_NONE, {13, 218, 42, 8}},
    {IDC_QUOTE, K::Edit, "", kEditStyle, {59, 215, 20, 14}},
    {IDC_STATIC, K::Static, "Field Se&parator:", CS_NONE, {86, 218, 50, 8}},
    {IDC_SEPARATOR, K::Edit, "", kEditStyle, {143, 215, 20, 14}},
    {IDC_EXPORT_NO_CR, K::CheckBox, "Remove line breaks on export", kTab, {13, 232, 140, 10}},
    {IDC_STATIC, K::GroupBox, "Field Mapping", CS_NONE, {189, 7, 175, 240}},
    {IDC_STATIC, K::Static, "Simple Fields", CS_NONE, {195, 19, 42, 8}},
    {IDC_SIMPLE_FIELDS,
     K::ListBox,
     "",
     kTab | CS_BORDER | CS_VSCROLL | CS_NOTIFY | CS_DRAGLIST,
     {195, 30, 78, 169}},
    {IDC_ADD_FIELD, K::OwnerDrawButton, "&Add Field...", kTab, {195, 189, 58, 14}},
    {IDC_REMOVE_FIELD, K::OwnerDrawButton, "", kTab, {257, 189, 16, 14}},
    {IDC_STATIC, K::Static, "Repeat Event Fields", CS_NONE, {279, 19, 65, 8}},
    {IDC_REPEAT_FIELDS,
     K::ListBox,
     "",
     kTab | CS_BORDER | CS_VSCROLL | CS_NOTIFY | CS_DRAGLIST,
     {279, 30, 78, 104}},
    {IDC_STATIC, K::Static, "(Drag-and-drop fields to change order)", CS_NONE, {197, 213, 120, 8}},
    {IDC_RESTORE_DEFAULT, K::PushButton, "Restore &Default", kTab, {196, 227, 78, 14}},
    {IDC_VIEW_EXAMPLE, K::PushButton, "View E&xample...", kTab, {279, 227, 78, 14}},
    {IDOK, K::DefPushButton, "OK", kTab | CS_GROUP, {377, 10, 50, 14}},
    {IDCANCEL, K::PushButton, "Cancel", kTab, {377, 28, 50, 14}},
    {IDC_SAVE_AS, K::PushButton, "Save As...", kTab, {377, 49, 50, 14}},
    {IDC_STATIC,
     K::Static,
     "Tip: Click on the ? in the title bar to get help for any option.",
     CS_NONE,
     {368, 215, 59, 32}},
};

// 302: example.
constexpr CControlTemplate kExample[] = {
    {IDC_EXAMPLE_TEXT,
     K::Edit,
     "",
     CS_MULTILINE | CS_READONLY | CS_VSCROLL | CS_BORDER | kTab,
     {7, 7, 441, 38}},
    {IDOK, K::DefPushButton, "OK", kTab | CS_GROUP, {202, 51, 50, 14}},
};

// 303: archive.
constexpr CControlTemplate kArchive[] = {
    {IDC_ARCHIVE_COUNT, K::Static, "", CS_NONE, {7, 7, 221, 8}},
    {IDC_STATIC, K::Static, "Archive appointments up &to", CS_NONE, {7, 23, 92, 8}},
    {IDC_ARCHIVE_DATE, K::DatePicker, "", kTab | CS_SHORTDATE, {102, 20, 70, 13}},
    {IDC_ARCHIVE_LARGER, K::CheckBox, "Only appointments &larger", kTab, {7, 41, 95, 10}},
    {IDC_ARCHIVE_SIZE, K::Edit, "", kEditStyle | CS_NUMBER, {102, 39, 36, 14}},
    {IDC_ARCHIVE_SPIN,
     K::UpDown,
     "",
     CS_BUDDYINT | CS_ARROWKEYS | CS_NOTHOUSANDS,
     {138, 39, 10, 14}},
    {IDC_STATIC, K::Static, "Bytes", CS_NONE, {151, 42, 22, 8}},
    {IDOK, K::DefPushButton, "&Archive", kTab | CS_GROUP, {178, 20, 50, 14}},
    {IDCANCEL, K::PushButton, "Cancel", kTab, {178, 39, 50, 14}},
};

// 304: saved options.
constexpr CControlTemplate kSavedOptions[] = {
    {IDC_SAVED_LIST,
     K::ListBox,
     "",
     kTab | CS_BORDER | CS_VSCROLL | CS_NOTIFY | CS_SORT,
     {7, 7, 95, 105}},
    {IDC_SAVED_SAVE, K::PushButton, "&Save Current...", kTab, {111, 7, 68, 14}},
    {IDC_SAVED_RENAME, K::PushButton, "Re&name...", kTab, {111, 26, 68, 14}},
    {IDC_SAVED_REMOVE, K::PushButton, "&Remove", kTab, {111, 45, 68, 14}},
    {IDOK, K::DefPushButton, "&Close", kTab, {111, 64, 68, 14}},
};

// 305: saved options title.
constexpr CControlTemplate kSavedOptionsTitle[] = {
    {IDC_STATIC, K::Static, "Options &Title:", CS_NONE, {7, 10, 42, 8}},
    {IDC_SAVED_TITLE,
     K::DropCombo,
     "",
     kTab | CS_SORT | CS_AUTOHSCROLL | CS_VSCROLL,
     {53, 7, 92, 91}},
    {IDOK, K::DefPushButton, "OK", kTab, {19, 31, 50, 14}},
    {IDCANCEL, K::PushButton, "Cancel", kTab, {79, 32, 50, 14}},
};

constexpr CDialogTemplate kDialogs[] = {
    {IDD_ABOUT, "About VARNO", 280, 153, DS_MODAL, kAbout},
    {IDD_MAIN, "VARNO - Datebook Import Export for Palm Desktop", 377, 234, DS_MODAL | DS_APPWINDOW,
     kMain},
    {IDD_OPTIONS, "Options", 434, 254, DS_MODAL | DS_CONTEXTHELP, kOptions},
    {IDD_EXAMPLE, "File Format Example", 455, 70, DS_MODAL | DS_RESIZABLE, kExample},
    {IDD_ARCHIVE, "Archive", 235, 60, DS_MODAL, kArchive},
    {IDD_SAVED_OPTIONS, "Saved Options", 186, 119, DS_MODAL, kSavedOptions},
    {IDD_SAVED_OPTIONS_TITLE, "Saved Options Title", 152, 54, DS_MODAL, kSavedOptionsTitle},
};

// 131: the main dialog's menu.
constexpr CMenuItemTemplate kMainMenu[] = {
    {"&File", 0, MF_POPUP},
    {"&Archive...", ID_FILE_ARCHIVE, MF_NONE},
    {"&Remove All...", ID_FILE_REMOVE_ALL, MF_NONE},
    {"", 0, MF_SEPARATOR},
    {"&Saved Options...", 0, MF_POPUP},
    {"", 0, MF_SEPARATOR},
    {"&Maintain...", ID_SAVED_MAINTAIN, MF_END},
    {"", 0, MF_SEPARATOR},
    {"C&lose", ID_FILE_CLOSE, MF_END},
    {"&Help", 0, MF_POPUP | MF_END},
    {"&Help", ID_HELP_HELP, MF_NONE},
    {"", 0, MF_SEPARATOR},
    {"&About", ID_HELP_ABOUT, MF_END},
};

constexpr CMenuTemplate kMainMenuTemplate = {IDR_MAIN_MENU, kMainMenu};

// 136: Ctrl+O opens the options.
constexpr CAccelerator kMainAccel[] = {{'O', KM_CTRL, IDC_OPTIONS}};
constexpr CAcceleratorTable kMainAccelTable = {IDR_MAIN_ACCEL, kMainAccel};

constexpr unsigned Topic(unsigned nControl) {
    return kOptionsHelpBase | nControl;
}

constexpr CHelpTopic kOptionsTopics[] = {
    {IDC_SEPARATOR, Topic(IDC_SEPARATOR)},
    {IDC_NO_DUPLICATES, Topic(IDC_NO_DUPLICATES)},
    {IDC_IGNORE_ERRORS, Topic(IDC_IGNORE_ERRORS)},
    {IDC_EXPORT_FROM, Topic(IDC_EXPORT_FROM)},
    {IDC_EXPORT_TO, Topic(IDC_EXPORT_TO)},
    {IDC_FULL_FORMAT, Topic(IDC_FULL_FORMAT)},
    {IDC_SIMPLE_FORMAT, Topic(IDC_SIMPLE_FORMAT)},
    {IDC_SIMPLE_FIELDS, Topic(IDC_SIMPLE_FIELDS)},
    {IDC_REPEAT_FIELDS, Topic(IDC_REPEAT_FIELDS)},
    {IDC_EXPORT_NO_CR, Topic(IDC_EXPORT_NO_CR)},
    {IDC_EXCEPTION_SEPARATOR, Topic(IDC_EXCEPTION_SEPARATOR)},
    {IDC_RESTORE_DEFAULT, Topic(IDC_RESTORE_DEFAULT)},
    {IDC_QUOTE, Topic(IDC_QUOTE)},
    {IDC_DEFAULT_LENGTH, Topic(IDC_DEFAULT_LENGTH)},
    {IDC_VIEW_EXAMPLE, Topic(IDC_VIEW_EXAMPLE)},
    {IDC_ADD_FIELD, Topic(IDC_ADD_FIELD)},
    {IDC_REMOVE_FIELD, Topic(IDC_REMOVE_FIELD)},
    {IDC_SAVE_AS, Topic(IDC_SAVE_AS)},
};

} // namespace

std::span<const CHelpTopic> GetOptionsHelpTopics() {
    return kOptionsTopics;
}

const CDialogTemplate* FindDialogTemplate(unsigned nId) {
    for (const CDialogTemplate& dialog : kDialogs) {
        if (dialog.m_nId == nId)
            return &dialog;
    }
    return nullptr;
}

const CDialogTemplate& GetDialogTemplate(unsigned nId) {
    const CDialogTemplate* pTemplate = FindDialogTemplate(nId);
    if (!pTemplate)
        std::abort();
    return *pTemplate;
}

std::span<const CDialogTemplate> AllDialogTemplates() {
    return kDialogs;
}

const CMenuTemplate& GetMainMenuTemplate() {
    return kMainMenuTemplate;
}

const CAcceleratorTable& GetMainAccelerators() {
    return kMainAccelTable;
}
