// Dialog, menu and accelerator templates as plain data: what a dialog window holds, written
// once in res/ and turned into windows by a surface. Positions and sizes are in dialog
// units (a quarter of the font's average character width, an eighth of its height).
#pragma once

#include <cstdint>
#include <span>

// The id of controls that are never addressed (labels, group boxes, pictures).
inline constexpr unsigned IDC_STATIC = 0xFFFF;
// The ids of the two standard buttons and the results of a modal run.
inline constexpr unsigned IDOK = 1;
inline constexpr unsigned IDCANCEL = 2;

enum class EControlKind : std::uint8_t {
    Static,
    Edit,
    CheckBox,
    Radio,
    PushButton,
    DefPushButton,
    OwnerDrawButton,
    DropList,  // drop-down list without an edit field
    DropCombo, // drop-down list with an edit field
    ListBox,
    DatePicker,
    UpDown, // spin arrows attached to the edit before it in the template
    Progress,
    GroupBox,
    Picture, // a bitmap resource
};

// Control styles; which apply depends on the kind.
enum EControlStyle : std::uint32_t {
    CS_NONE = 0,
    CS_HIDDEN = 1u << 0,   // not shown when the dialog opens
    CS_DISABLED = 1u << 1, // disabled when the dialog opens
    CS_GROUP = 1u << 2,    // first radio of a group
    CS_TABSTOP = 1u << 3,
    CS_BORDER = 1u << 4,
    CS_VSCROLL = 1u << 5,
    CS_READONLY = 1u << 6,     // edit
    CS_MULTILINE = 1u << 7,    // edit
    CS_NUMBER = 1u << 8,       // edit: digits only
    CS_AUTOHSCROLL = 1u << 9,  // edit, combo
    CS_SORT = 1u << 10,        // list box, combo
    CS_NOTIFY = 1u << 11,      // list box: reports selection changes
    CS_DRAGLIST = 1u << 12,    // list box: items are reordered by dragging
    CS_CENTER = 1u << 13,      // static: text centred
    CS_RIGHT = 1u << 14,       // static: text right-aligned
    CS_CENTERIMAGE = 1u << 15, // static: content centred vertically
    CS_BUDDYINT = 1u << 16,    // up-down: writes its position into the edit
    CS_ARROWKEYS = 1u << 17,   // up-down: arrow keys step it
    CS_NOTHOUSANDS = 1u << 18, // up-down: no thousands separator
    CS_SHORTDATE = 1u << 19,   // date picker: short date format
};

// Dialog styles.
enum EDialogStyle : std::uint32_t {
    DS_NONE = 0,
    DS_MODAL = 1u << 0,
    DS_APPWINDOW = 1u << 1,   // shown in the taskbar as an application window
    DS_CONTEXTHELP = 1u << 2, // offers a "?" for help on any control
    DS_RESIZABLE = 1u << 3,
};

// A rectangle in dialog units or pixels: left, top, width, height.
struct CRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    [[nodiscard]] int Right() const { return x + cx; }
    [[nodiscard]] int Bottom() const { return y + cy; }
    bool operator==(const CRect&) const = default;
};

struct CControlTemplate {
    unsigned m_nId;
    EControlKind m_kind;
    const char* m_pszText; // with '&' before the access key
    std::uint32_t m_nStyle;
    CRect m_rc;            // dialog units
    unsigned m_nImage = 0; // bitmap or icon resource of a picture
};

struct CDialogTemplate {
    unsigned m_nId;
    const char* m_pszTitle;
    int m_cx; // dialog units
    int m_cy;
    std::uint32_t m_nStyle;
    std::span<const CControlTemplate> m_controls;
};

// Menu items in order; a popup's items follow it and end with the item flagged MF_END.
enum EMenuFlag : std::uint32_t {
    MF_NONE = 0,
    MF_POPUP = 1u << 0,
    MF_SEPARATOR = 1u << 1,
    MF_END = 1u << 2, // last item of its popup (or of the menu bar)
    MF_CHECKED = 1u << 3,
    MF_GRAYED = 1u << 4,
};

struct CMenuItemTemplate {
    const char* m_pszText;
    unsigned m_nId;
    std::uint32_t m_nFlags;
};

struct CMenuTemplate {
    unsigned m_nId;
    std::span<const CMenuItemTemplate> m_items;
};

// Key codes of the keyboard, as the platform numbers them.
enum EVirtualKey : unsigned {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_UP = 0x26,
    VK_DOWN = 0x28,
    VK_DELETE = 0x2E,
    VK_F1 = 0x70,
};
// Modifier keys of an accelerator or key press.
enum EKeyModifier : unsigned { KM_NONE = 0, KM_CTRL = 1, KM_SHIFT = 2, KM_ALT = 4 };

struct CAccelerator {
    unsigned m_nKey; // an EVirtualKey or an upper-case letter or digit
    unsigned m_nModifiers;
    unsigned m_nCommand;
};

struct CAcceleratorTable {
    unsigned m_nId;
    std::span<const CAccelerator> m_entries;
};
