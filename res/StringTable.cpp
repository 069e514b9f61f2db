#include "res/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct SEntry {
    unsigned m_nId;
    const char* m_pszText;
};

// Sorted by number. Texts are ASCII, the same bytes in every supported code page.
constexpr SEntry kStrings[] = {
    {4, "%d appointments"},
    {9, "%d appointments between %s and %s"},
    {32787, "This will remove %d appointments for user %s.\nContinue?"},
    {32788, "Error writing file\n%s"},
    {32789, "Error reading %s line %d"},
    {32790, "Invalid date \"%s\". Expected e.g. \"%s\"\n(See Windows Regional Settings)"},
    {32791, "Invalid start time \"%s\". Expected e.g. \"%s\"\n(See Windows Regional Settings)"},
    {32792, "Invalid end time \"%s\". Expected e.g. \"%s\"\n(See Windows Regional Settings)"},
    {32793, "No appointment text given."},
    {32794, "Invalid alarm time.\nMust be a non-negative number."},
    {32795, "Invalid alarm unit. \nMust be d (for days), h (for hours), or m (for minutes)."},
    {32796, "Invalid repeat interval.\nMust be a positive number."},
    {32797,
     "Invalid repeat end date \"%s\". Expected e.g. \"%s\"\n(See Windows Regional Settings)"},
    {32798, "No week day for weekly repeat appointment."},
    {32799, "Invalid week index for monthly repeat appointment. \nMust be a number from 1 to 5."},
    {32800, "Invalid repeat type. \nMust be Daily, Weekly, Monthly Date, Monthly Day, or Yearly."},
    {32801,
     "Invalid exception date for repeat appointment.\nExpected e.g. \"%s\"\n(Windows Regional "
     "Settings)"},
    {32802, "Invalid ID "},
    {32803, "The text is not valid in the code page %s, in which files are read.\nIf the file "
            "was saved in code page %s, set that code page (varno regional set codepage %s) or "
            "save the file again in code page %s, and import it again."},
    {32804, "The cell holds no value that can be read: an error value, or a formula whose "
            "result was not saved with the file.\nOpen the file in a spreadsheet program, let "
            "it calculate and save it again."},
    {32805, "The row is longer than %s bytes and was not read; the rest of it was passed over. "
            "Break long notes into several appointments, or shorten them."},
    {32806, "The note has %s characters; the datebook holds at most %s. The row was not "
            "imported: shorten the note and import the row again."},
    {32807, "Error reading file\n%s"},
    {32819, "%d appointment between %s and %s"},
    // Field header names, 32821 + field id.
    {32821, "Date"},
    {32822, "Untimed"},
    {32823, "Start Time"},
    {32824, "End Time"},
    {32825, "Private"},
    {32826, "Text"},
    {32827, "Note"},
    {32828, "Alarm"},
    {32829, "Alarm Time"},
    {32830, "Alarm Unit"},
    {32831, "Category"},
    {32832, "Location"},
    {32833, "Repeat"},
    {32834, "Time Span"},
    {32835, "Record ID"},
    {32836, "Dummy"},
    {32837, "Dummy"},
    {32838, "Dummy"},
    {32839, "Dummy"},
    {32840, "Dummy"},
    {32841, "Repeat Type"},
    {32842, "Repeat Interval"},
    {32843, "Repeat End Date"},
    {32844, "Exceptions"},
    {32845, "Weekly Sunday"},
    {32846, "Weekly Monday"},
    {32847, "Weekly Tuesday"},
    {32848, "Weekly Wednesday"},
    {32849, "Weekly Thursday"},
    {32850, "Weekly Friday"},
    {32851, "Weekly Saturday"},
    {32852, "Monthly Week Index"},
    {32853, "(Ignored)"},
    {32857, "Error during Import/Export:\n%s"},
    {32858, "Can't add the following appointment to Palm Desktop:\n%s\n%s"},
    {32860, "Sample Appointment Title"},
    {32861, "Appointment Note"},
    {32862, "Room 101"},
    {32863, "Unfiled"},
    {32865, "Marked %d appointment for archival.\nThe appointment will be archived at next "
            "HotSync."},
    {32866, "Marked %d appointments for archival.\nThe appointments will be archived at next "
            "HotSync."},
    {32867, "%d appointments taking up %d bytes."},
    {32868, "The options saved under %s will be removed.\n\nThis operation cannot be undone."},
    {32869, "The current options have been saved as %s. You can restore these options anytime "
            "via menu File -> Saved Options"},
    {32870, "MS Excel (*.xls)|*.xls|"},
    {32871, "Comma Separated Values (*.csv)|*.csv|"},
    {32872, "vCalendar (*.vcs)|*.vcs|"},
    {32873, "iCalendar (*.ics)|*.ics|"},
    {32874, "All Files (*.*)|*.*|"},
    {32875, "Error archiving appointments"},
    {32876, "text starts with"},
    {32877, "text ends with"},
    {32878, "text contains"},
    {32879, "note contains"},
    {32880, "text does NOT contain"},
    {32881, "note does NOT contain"},
    {32882, "category is"},
    {32883, "category is NOT"},
    {32884, "location is"},
    {32885, "and"},
    {32886, "or"},
    {32887, "MS Excel Workbook (*.xlsx)|*.xlsx|"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const SEntry& a, const SEntry& b) { return a.m_nId < b.m_nId; }));

} // namespace

std::string LoadResourceString(unsigned nId) {
    const auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), nId,
                                     [](const SEntry& e, unsigned id) { return e.m_nId < id; });
    if (it == std::end(kStrings) || it->m_nId != nId)
        return {};
    return it->m_pszText;
}
