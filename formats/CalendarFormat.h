// Appointments as a vCalendar 1.0 (".vcs") or iCalendar 2.0 (".ics") file. Export only:
// WriteEvent writes one complete event per appointment; the row and cell operations of
// CFileFormat write raw text and read whole lines.
#pragma once

#include "formats/FileFormat.h"
#include "platform/file/OutputFile.h"

#include <cstdint>
#include <string>
#include <string_view>

class CAppointment;
struct IHostAppointment;

enum ECalendarFlavour : std::int32_t {
    CALENDAR_VCALENDAR = 0,
    CALENDAR_ICALENDAR = 1,
};

// A calendar file is a sequence of CR LF ended lines; every line written with EndRow or
// fetched with NextRow counts as one row.
//
// OpenWrite writes through COutputFile: the complete file replaces the old one at
// CloseWrite; a failed write, or a format destroyed without CloseWrite, leaves the old
// file. An existing file is locked while it is written (flock, not waiting): a second
// writer that also locks is refused. Writes are buffered; the first write error is kept,
// later writes are discarded, and CloseWrite raises CFormatException with it, naming the
// file, after closing it. OpenRead takes a shared lock, so a locking writer cannot start
// while the file is read.
class CCalendarFormat final : public CFileFormat {
public:
    explicit CCalendarFormat(std::int32_t nFlavour);
    ~CCalendarFormat() override;

    // Writes the header lines after opening.
    EStatus OpenWrite(const std::string& strFileName) override;
    EStatus OpenRead(const std::string& strFileName) override;
    // Writes "END:VCALENDAR" and closes.
    EStatus CloseWrite() override;
    EStatus CloseRead() override;
    EStatus EndRow() override;
    EStatus NextRow() override;
    // The bytes as they are: no conversion, no line end.
    EStatus WriteText(const std::string& strText) override;
    EStatus WriteDate(TimeValue t) override;
    EStatus WriteTime(TimeValue t) override;
    EStatus WriteSpan(TimeSpan ts) override;
    EStatus WriteInt(std::int32_t n) override;
    // The whole rest of the current line.
    EStatus ReadText(std::string& strOut) override;
    EStatus ReadDate(TimeValue& tOut) override;
    EStatus ReadTime(TimeValue& tOut) override;
    EStatus ReadSpan(TimeSpan& tsOut) override;
    EStatus ReadInt(std::int32_t& nOut) override;
    std::int32_t GetPosition() override;
    std::int32_t GetSize() override;
    std::string GetLastCell() const override { return m_strLastCell; }
    void SetLastCell(const std::string& strText) override { m_strLastCell = strText; }

    [[nodiscard]] bool IsICalendar() const { return m_nFlavour == CALENDAR_ICALENDAR; }

    // The user whose appointments are written. Every iCalendar event's UID is made of the
    // user (as a hash of the name) and the record id, so that exports of the same
    // appointment give the same UID and a calendar that reads the file twice updates the
    // event instead of adding it again.
    void SetUidUser(std::string_view user);
    [[nodiscard]] const std::string& GetUidPrefix() const { return m_strUidPrefix; }

    // The line writers below end the line. iCalendar lines longer than 75 octets are
    // folded (CR LF and a blank), never inside a UTF-8 sequence; vCalendar lines are not.
    //
    // NAME ":" value, every run of CR and LF in the value written as backslash n.
    EStatus WritePlainLine(std::string_view name, std::string_view value);
    // A text property in the flavour's encoding: iCalendar escaping in UTF-8, or
    // vCalendar quoted-printable (with CHARSET=UTF-8 under the UTF-8 code page when the
    // value is not plain ASCII).
    EStatus WriteTextLine(std::string_view name, std::string_view value);
    // NAME ":" the instant in UTC, yyyymmddThhmm00Z.
    EStatus WriteDateTimeLine(std::string_view name, TimeValue t);
    // NAME ";VALUE=DATE:" the local date, yyyymmdd.
    EStatus WriteDateLine(std::string_view name, TimeValue t);
    // NAME ":" a floating local date and time (no zone), yyyymmddThhmmss; the fields are
    // written as given.
    EStatus WriteLocalDateTimeLine(std::string_view name, int nYear, int nMonth, int nDay,
                                   int nHour, int nMinute, int nSecond);
    // NAME ";VALUE=DATE:" a local date given by its fields.
    EStatus WriteLocalDateLine(std::string_view name, int nYear, int nMonth, int nDay);

private:
    // Writes a whole line, folded in iCalendar, and ends it.
    EStatus WriteLine(std::string_view line);
    // The buffer a line is built in, holding the name: one allocation for every line.
    std::string& StartLine(std::string_view name);
    // Appends bytes to the output buffer; flushes it when it is full.
    void Append(std::string_view bytes);
    void Flush();
    // Closes the file, dropping the buffer; a file being written is put in place when
    // bCommit is set and every write succeeded. The kept write error stays.
    void CloseFile(bool bCommit);
    // Reads up to one buffer of input; false at the end of the file or on an error.
    bool FillInput();

    int m_fd = -1; // the file being read
    COutputFile m_output;
    std::string m_strFileName;
    bool m_bWriting = false;
    int m_nWriteError = 0; // errno of the first failed write, 0 while all went well
    unsigned m_nCodePage = 0;
    std::int64_t m_nPosition = 0; // bytes written, or bytes taken from the input
    std::string m_strOut;
    std::string m_strIn;
    std::size_t m_nInPos = 0;
    bool m_bInputEnded = false;

    std::string m_strLine;
    std::string m_strLastCell;
    std::string m_strBuild;
    std::int32_t m_nFlavour;
    std::string m_strUidPrefix; // "VARNO-" and the user's hash digits, then "-"
};

// Writes one complete event of the appointment. pHost is the host record the appointment
// was loaded from; it is asked for the repeat rule when the appointment repeats (without
// one the appointment's own rule is used). Returns 1, the number of events written; 0
// when the format is not a calendar format. Failing host calls raise the host-call
// exception before anything of the event is written.
//
// iCalendar events carry a UID of the format's user and the record id; bSeriesDay marks
// one day of a series written as an event of its own (the simple export), whose UID gets
// that day's date. A repeating event lists the series' cancelled days as EXDATE: the
// host's, or without a host record the days of the record's exception text.
int WriteEvent(CCalendarFormat& format, const CAppointment& appointment, IHostAppointment* pHost,
               bool bSeriesDay = false);
int WriteEvent(CFileFormat& format, const CAppointment& appointment, IHostAppointment* pHost,
               bool bSeriesDay = false);
