// The failure of a datebook operation, with a message for the user (UTF-8, English).
#pragma once

#include <stdexcept>
#include <string>

enum class EDatebookError {
    InvalidArgument, // a value the datebook cannot take
    NotFound,        // no such user or appointment
    Gone,            // the appointment has been deleted or marked for archival
    Storage,         // the database cannot be opened, read or written
    // A write failed in a way that the next write repeats: the disk is full, the datebook
    // is read-only, or the device gives input/output errors.
    Unwritable,
    Busy, // another run holds the datebook's lock (DatebookLock.h)
};

class CDatebookError : public std::runtime_error {
public:
    CDatebookError(EDatebookError kind, const std::string& strMessage)
        : std::runtime_error(strMessage), m_kind(kind) {}
    [[nodiscard]] EDatebookError Kind() const noexcept { return m_kind; }

private:
    EDatebookError m_kind;
};
