// A file written whole or not at all: every file the program writes goes through here.
//
// Open writes to a hidden temporary file beside the target, named
// ".<name>.varno-<pid>-<6 letters>.tmp" and created 0600. Commit flushes it (fsync), gives
// it the mode and owner of the file it replaces (a new file: 0666 less the umask), renames
// it over the target and flushes the folder. Until then the target is untouched; Discard,
// or destruction without Commit, removes the temporary file, so a failed or interrupted
// write leaves the old file.
//
// Symbolic links are followed (at most 40): the file a link points to is replaced and the
// link stays; a dangling link creates its target. Streams are written directly and never
// renamed over: "-" and /dev/stdout (standard output), /dev/stderr, /dev/fd/N and
// /proc/self/fd/N (that descriptor), and character devices, FIFOs and sockets.
//
// While open, an existing target holds an exclusive advisory lock (flock), so two writers
// of one file, or a writer and a reader that locks it, never meet.
//
// Open removes the temporary files of processes that no longer exist from the folder it
// writes to (only files of this user, regular files, with the name above).
#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

class COutputFile {
public:
    COutputFile() = default;
    // Discards what was not committed.
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Starts writing strTarget (a file open before is discarded); false with errno set:
    // EISDIR for a folder, EWOULDBLOCK when another writer holds the file, ELOOP for a
    // cycle of links, or what creating the temporary file failed with.
    [[nodiscard]] bool Open(const std::string& strTarget);
    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] bool IsStream() const { return m_bStream; }
    // The name given to Open, for messages: the temporary name is never shown.
    [[nodiscard]] const std::string& Target() const { return m_strTarget; }
    // The file that Commit replaces: links resolved (the name itself for a stream).
    [[nodiscard]] const std::string& RealPath() const { return m_strRealPath; }

    // Writes every byte (short and interrupted writes are retried); false with errno set,
    // ENOSPC when the file system takes no byte.
    [[nodiscard]] bool Write(std::string_view bytes);
    // Puts the file in place (a stream is only closed); false with errno set, the
    // temporary file removed and the target unchanged. The file is closed either way.
    [[nodiscard]] bool Commit();
    // Closes and removes the temporary file; the target stays as it was.
    void Discard();

    // Open, Write and Commit of a whole file; false with errno set.
    [[nodiscard]] static bool WriteWhole(const std::string& strTarget, std::string_view bytes);

    // The file a path names after following its links (a missing last link gives the path
    // it would create); the path itself when it is no link. Empty with errno ELOOP for a
    // cycle or a chain of more than 40 links.
    [[nodiscard]] static std::string ResolveLinks(const std::string& strPath);
    // Whether Open writes the name as a stream (directly, never replacing it).
    [[nodiscard]] static bool IsStreamTarget(const std::string& strTarget);
    // A name made by Open for a temporary file, with the process that made it.
    [[nodiscard]] static bool IsTemporaryName(std::string_view name, pid_t* pPid = nullptr);

private:
    void CloseAll();

    std::string m_strTarget;
    std::string m_strRealPath;
    std::string m_strTempPath; // empty for a stream
    int m_fd = -1;
    int m_nLockFd = -1; // the existing target, locked while writing
    mode_t m_nMode = 0; // the mode the file gets at Commit
    uid_t m_nOwner = 0; // the owner of the replaced file, kept when allowed
    gid_t m_nGroup = 0;
    bool m_bKeepOwner = false;
    bool m_bStream = false;
};
