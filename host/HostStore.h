// The way to the datebook of the host's current user, and the conversion between a host
// appointment and a CAppointment: loading for export and counting, adding and updating
// for import.
#pragma once

#include "host/HostInterfaces.h"
#include "model/Status.h"
#include "platform/com/ComPtr.h"

#include <cstdint>
#include <vector>

class CAppointment;
struct CRepeatRule;
class CComError;
class COptions;

// The datebook of the host's current user and the list of all its appointments (the
// datebook range, 1970-01-02 to 2031-12-31). The references are released with the object.
struct CDatebookAccess {
    CComPtr<IHostApplication> m_pApplication;
    CComPtr<IHostDatebook> m_pDatebook;
    CComPtr<IHostAppointmentList> m_pList;
};

// The application and datebook of the options' host reference, with the list of every
// appointment. Raises the host-call exception; E_POINTER when the host offers no
// application or datebook interface.
[[nodiscard]] CDatebookAccess OpenDatebook(const COptions& options);
// The same without the list.
[[nodiscard]] CDatebookAccess OpenDatebookWithoutList(const COptions& options);
// Every appointment of the datebook range.
[[nodiscard]] CComPtr<IHostAppointmentList> ListWholeDatebook(IHostDatebook* pDatebook);

// Fills a freshly constructed record from the host appointment. STATUS_FAILED when the
// host gives no usable start (0 or all bits set) or, for a timed appointment, no end; the
// record is then partly filled. Host failures raise, except for the category, which is
// empty when it cannot be read.
[[nodiscard]] EStatus LoadFromHost(CAppointment& appointment, IHostAppointment* pHost);

// The exception days of a repeating host appointment that lie on its repeat pattern, as
// local days since 1970-01-01, ascending: the pattern days from its start to its end that
// the host does not give as occurrences. The host offers only their count, so the days are
// found by walking its occurrences (only when the count is above 0). Exception days off the
// pattern remove nothing and are not found; never more days than the host counts, the walk
// ending at the last of them. Empty for a single appointment. Host failures raise.
[[nodiscard]] std::vector<std::int64_t> ReadExceptionDays(IHostAppointment* pHost);
// The same for a rule already read from the host, whose series runs from nStartDay to
// nLastDay: asks only the exception count and, when it is above 0, the occurrences.
[[nodiscard]] std::vector<std::int64_t> FindExceptionDays(IHostAppointment* pHost,
                                                          const CRepeatRule& rule,
                                                          std::int64_t nStartDay,
                                                          std::int64_t nLastDay);
// m_strExceptions of a record loaded from the host: its exception days in the user's short
// date form, joined by the first character of the options' exception date separator (a
// blank without options), as the store path reads them back.
void LoadExceptionsFromHost(CAppointment& appointment, IHostAppointment* pHost);
// The days of the record's exception text, as the store path reads it; dates that do not
// parse are left out.
[[nodiscard]] std::vector<std::int64_t> ParseExceptionDays(const CAppointment& appointment);

// Start and end of an appointment as they are stored: the day of m_tDate with the hour and
// minute of m_tStart and m_tEnd (seconds 0); an end time of day before the start time
// falls on the next day. An untimed appointment gives its day's 00:00 for both.
void GetStoreTimes(const CAppointment& appointment, HOSTTIME& tStart, HOSTTIME& tEnd);

// What a store left behind, for callers that keep their own picture of the datebook.
struct CStoreResult {
    EStatus m_status = STATUS_OK; // the result the store operation returned
    bool m_bHostRefused = false;  // a host call failed and the user was asked
    // The datebook cannot be written (IsLastingStoreFailure): the user was told, nothing of
    // the appointment remains, and nothing more can be stored.
    bool m_bStorageFailed = false;
    // The record that stands in the datebook afterwards (0 when none does): the new one,
    // unless it was removed again after a refusal, or the updated one.
    LONG m_nRecordId = 0;
    // Set by the caller: AddToHost hands over the host object of a record it stored whole
    // in m_pStored, so the caller can read it back without asking the host for it again.
    // The appointment stays one open group of changes until the caller releases it.
    bool m_bKeepStored = false;
    CComPtr<IHostAppointment> m_pStored;
};

// A new appointment from the record. 0 stored, or refused by the host and the user chose
// to go on (nothing of it remains); STATUS_FAILED refused and the user chose to stop; an
// import error code (108, 111, 112) from the repeat rule, the appointment standing as far
// as it was stored.
EStatus AddToHost(CAppointment& appointment, IHostDatebook* pDatebook,
                  CStoreResult* pResult = nullptr);
// Changes an existing appointment to the record's values; its times change only when the
// host offers the second appointment interface. Results as AddToHost; a refusal leaves the
// appointment as far as it was changed.
EStatus UpdateInHost(CAppointment& appointment, IHostAppointment* pHost,
                     CStoreResult* pResult = nullptr);
// Flags, note (cut to 32768 characters), alarm, location and category, then the repeat
// rule. Host failures raise.
EStatus StoreDetails(CAppointment& appointment, IHostAppointment* pHost);
// The repeat rule and the exception dates. A rule whose interval was never read (0, as in
// every row of a simple-format file) and a rule ending on the appointment's own day leave
// the appointment single. 108 when the rule ends before the appointment, 111 for an
// unknown type, 112 for an exception date that is not a date of 1970 to 2031. A host
// failure is reported to the user like AddToHost does.
EStatus StoreRepeat(CAppointment& appointment, IHostAppointment* pHost);

// The result the repeat rule would give when stored, without asking the host: 0, 108, 111
// or 112.
[[nodiscard]] EStatus CheckRepeatForStore(const CAppointment& appointment);

// The message that a refused store shows: the appointment's summary and the host's
// description (the status's own text when the host gave none). OK gives 0 (go on),
// Cancel STATUS_FAILED (stop). A lasting failure is only told (OK alone) and stops.
EStatus ReportStoreFailure(const CAppointment& appointment, const CComError& error);

// A host failure that every further store repeats: the datebook's disk is full, the
// datebook read-only or its device failing. Going on with other appointments is pointless.
[[nodiscard]] bool IsLastingStoreFailure(HRESULT hr);
