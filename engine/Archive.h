// Marking old appointments for archival at the next HotSync, and removing the appointments
// an export would write. Both change the datebook in place through the host and touch only
// appointments that pass the filter of the options.
#pragma once

#include "host/HostInterfaces.h"
#include "model/DateText.h"

#include <cstdint>
#include <string>

class COptions;
class CProgressControl;

// The size in bytes the handheld needs for the appointment: 16, or 17 + the text's length
// for a text; the note's length + 1 for a note; 2 for an alarm; 6 for a repeat, with
// 2 per exception + 2 when it has exceptions. Lengths in bytes of the narrow text.
[[nodiscard]] int EstimateRecordSize(IHostAppointment* pHost);

struct CArchiveCount {
    int m_nCount = 0;
    std::int64_t m_nBytes = 0;
};

// The appointments of the list that pass the filter, and their estimated size; no date
// test.
[[nodiscard]] CArchiveCount CountArchivable(const COptions& options, IHostAppointmentList* pList);
// Marks for archival the appointments of the list that pass the filter and lie on or before
// the cutoff day (a repeating one only when its series has no occurrence from the cutoff
// day on), and weigh at least nMinSize bytes; nMinSize -1 for no size test. Returns how
// many were marked. Host failures raise; what was marked before stays marked.
int MarkForArchival(const COptions& options, IHostAppointmentList* pList, TimeValue tCutoff,
                    int nMinSize);

struct CRemoveOutcome {
    int m_nRemoved = 0;    // appointments removed
    int m_nExceptions = 0; // occurrences made exceptions of their series
    bool m_bQuit = false;  // the application asked to quit: the walk ended early
};

// Full format: removes every appointment that passes the filter. Simple format: removes the
// single appointments strictly inside the export range and makes every occurrence of a
// repeating one inside the range an exception of its series. Returns the number of removals
// and exceptions; a quit request ends the walk with the work done so far. Host failures
// raise; what was removed before stays removed.
int RemoveAll(COptions& options, CProgressControl* pProgress, CRemoveOutcome* pOutcome = nullptr);

// The archive dialog's steps, for the dialog and the command line alike. The size field
// takes values from 100 to 9999 bytes; a value outside keeps the dialog open.
inline constexpr int kMinArchiveSize = 100;
inline constexpr int kMaxArchiveSize = 9999;
[[nodiscard]] constexpr bool IsArchiveSizeValid(int nSize) {
    return nSize >= kMinArchiveSize && nSize <= kMaxArchiveSize;
}
// Opening: the datebook's archivable count and bytes.
[[nodiscard]] CArchiveCount CountArchivable(const COptions& options);
// "%d appointments taking up %d bytes."
[[nodiscard]] std::string ArchiveCountText(const CArchiveCount& count);
// Archive: stores the size field as "minsize", then marks up to the cutoff, with the size
// test only when bOnlyLarger is set. Returns the number marked.
int ArchiveAppointments(COptions& options, TimeValue tCutoff, bool bOnlyLarger, int nSize);
// The result message: an error text for a negative number, else the marked text (singular
// for exactly one).
[[nodiscard]] std::string ArchiveResultText(int nMarked);
