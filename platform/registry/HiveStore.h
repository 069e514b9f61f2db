// The cached content of one hive file and the protocol that keeps it in step with the file:
//
// - Reads take no file lock. They stat() the hive file and parse it again only when its
//   identity (device, inode, size, modification time to the nanosecond) changed. The file
//   last parsed is kept open, so its inode number cannot be reused by another file while
//   the cache relies on it.
// - Changes take an exclusive flock() on "<hive file>.lock", a file that is never renamed;
//   under it they re-read the hive when its identity changed, apply the change to a copy,
//   write the copy to "<hive file>.tmp.XXXXXX", fsync it, rename it over the hive file and
//   fsync the folder. The cache takes the copy only when all of that succeeded, so a failed
//   write leaves the cache equal to the file. Temporary files left by a crash are removed
//   under the lock (nobody else can be writing one then).
// - A hive file that cannot be parsed is renamed aside under the lock to
//   "<hive file>.corrupt-YYYYMMDD-HHMMSS" (local time, "-1", "-2"... added when taken), with
//   a warning on standard error; the hive then reads as empty and the next change writes a
//   fresh file. When it cannot be moved (a read-only folder), it reads as empty and every
//   change fails rather than overwrite it.
//
// - The file lock can also be held across several reads and changes (LockForUpdate), so
//   that a read, change and check of many values is one step for other processes.
// - A file larger than the hive limits is not read beyond them, and a change that would take
//   the hive past them is refused (REG_STATUS_HIVE_FULL).
#pragma once

#include "platform/registry/HiveFile.h"
#include "platform/registry/Registry.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class CHiveLock;

class CHiveStore {
public:
    CHiveStore(std::string path, std::string hiveName);
    ~CHiveStore();
    CHiveStore(const CHiveStore&) = delete;
    CHiveStore& operator=(const CHiveStore&) = delete;

    // Calls read(root) on the current content; returns what it returns.
    template <typename Reader> ERegStatus Read(Reader&& read) {
        std::lock_guard<std::recursive_mutex> guard(m_mutex);
        Refresh(m_nUpdateDepth > 0);
        return read(static_cast<const CHiveKey&>(m_root));
    }

    // Calls change(root, bChanged) on a copy of the current content taken under the file
    // lock; when it returns REG_STATUS_OK with bChanged set, saves the copy. The status of
    // change, or of the save.
    ERegStatus Modify(const std::function<ERegStatus(CHiveKey&, bool&)>& change);

    // Takes the file lock and this store's mutex until UnlockForUpdate (calls nest), and
    // forgets the last failure.
    ERegStatus LockForUpdate();
    void UnlockForUpdate();
    // Why the last failing change failed, naming the file; empty while none did.
    [[nodiscard]] std::string LastFailure();

    // Changes of this process show at once, another process's within kStampCheckInterval.
    [[nodiscard]] std::uint64_t ChangeStamp();
    static constexpr std::chrono::milliseconds kStampCheckInterval{50};

private:
    struct SFileId {
        bool m_bExists = false;
        dev_t m_nDevice = 0;
        ino_t m_nInode = 0;
        off_t m_nSize = 0;
        std::int64_t m_nModifiedNs = 0;
        bool operator==(const SFileId&) const = default;
    };
    enum class EState {
        Missing,    // no file: an empty hive
        Loaded,     // parsed
        Corrupt,    // cannot be parsed and could not be moved aside: reads empty, no writes
        Unreadable, // cannot be opened or read: reads empty, no writes
    };

    const std::string m_strPath;
    const std::string m_strFolder;
    const std::string m_strHiveName;
    std::recursive_mutex m_mutex; // held across LockForUpdate and UnlockForUpdate
    int m_nUpdateDepth = 0;
    std::unique_ptr<CHiveLock> m_pUpdateLock; // the file lock while m_nUpdateDepth > 0
    std::string m_strLastFailure;
    bool m_bLoaded = false;
    EState m_state = EState::Missing;
    SFileId m_id;
    int m_nFd = -1; // the file last parsed or written
    CHiveKey m_root;
    std::uint64_t m_nStamp = 0;
    std::chrono::steady_clock::time_point m_tLastCheck; // of the file's identity
    // Read by ChangeStamp without the mutex: m_nStamp, and the coarse monotonic time (ns)
    // until which it needs no look at the file (0 until loaded).
    std::atomic<std::uint64_t> m_nStampSeen{0};
    std::atomic<std::int64_t> m_nFreshUntilNs{0};
    int m_nLastErrno = 0; // why the file is Unreadable or Corrupt

    static SFileId IdOf(const struct stat& st);
    void Refresh(bool bLocked);
    void Load(bool bLocked);
    void SetContent(EState state, const SFileId& id, int fd, CHiveKey root);
    bool MoveAside(const SHiveParseError& error);
    void RemoveStrayTempFiles() const;
    ERegStatus Save(const CHiveKey& root, SFileId& id, int& fd);
    ERegStatus ModifyLocked(const std::function<ERegStatus(CHiveKey&, bool&)>& change);
    ERegStatus Failed(ERegStatus status, std::string_view what, const std::string& file, int err);
};

// Called between flushing a hive's temporary file and renaming it over the hive file, where
// a crash does the most harm; null (the default) in the programs. Test builds install one
// that ends the process there.
using FnRegistryBeforeRenameHook = void (*)();
void SetRegistryBeforeRenameHook(FnRegistryBeforeRenameHook pHook);

// The store of a hive under the current registry folder. Stores are kept for the last few
// folders used (tests switch VARNO_HOME between cases).
[[nodiscard]] std::shared_ptr<CHiveStore> HiveStoreFor(ERegHive hive);
