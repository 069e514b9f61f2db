#include "platform/registry/HiveStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <utility>

namespace {

constexpr std::size_t kMaxStores = 12; // hives of the last four registry folders used
constexpr int kMaxLoadAttempts = 4;    // re-reads when the file keeps changing under us

// Shared by every store, so a stamp never repeats across folders or evicted stores.
std::atomic<std::uint64_t> g_nStampCounter{0};

std::atomic<FnRegistryBeforeRenameHook> g_pBeforeRenameHook{nullptr};

// Monotonic nanoseconds at the resolution of the scheduler's tick.
std::int64_t CoarseNowNs() {
    timespec ts{};
    (void)clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

ERegStatus StatusOfErrno(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? REG_STATUS_ACCESS_DENIED
                                                           : REG_STATUS_WRITE_FAILED;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Reads to the end, or until text holds more than limit bytes.
bool ReadAll(int fd, std::string& text, std::size_t limit) {
    text.clear();
    char buffer[16384];
    while (text.size() <= limit) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

// An exclusive flock() on a lock file, held for the object's life.
class CHiveLock {
public:
    CHiveLock() = default;
    ~CHiveLock() {
        if (m_nFd >= 0)
            close(m_nFd);
    }
    CHiveLock(const CHiveLock&) = delete;
    CHiveLock& operator=(const CHiveLock&) = delete;

    // 0, or the errno of the failure.
    int Acquire(const std::string& path) {
        m_nFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_nFd < 0)
            return errno;
        while (flock(m_nFd, LOCK_EX) != 0) {
            if (errno != EINTR)
                return errno;
        }
        return 0;
    }

private:
    int m_nFd = -1;
};

void SetRegistryBeforeRenameHook(FnRegistryBeforeRenameHook pHook) {
    g_pBeforeRenameHook = pHook;
}

CHiveStore::CHiveStore(std::string path, std::string hiveName)
    : m_strPath(std::move(path)), m_strFolder(FolderOf(m_strPath)),
      m_strHiveName(std::move(hiveName)) {
    m_root.m_strName = m_strHiveName;
}

CHiveStore::~CHiveStore() {
    if (m_nFd >= 0)
        close(m_nFd);
}

CHiveStore::SFileId CHiveStore::IdOf(const struct stat& st) {
    SFileId id;
    id.m_bExists = true;
    id.m_nDevice = st.st_dev;
    id.m_nInode = st.st_ino;
    id.m_nSize = st.st_size;
    id.m_nModifiedNs = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

std::uint64_t CHiveStore::ChangeStamp() {
    // Callers ask before every date they format and every trace line, so a stamp checked
    // lately is returned without the mutex, by the coarse clock (a few ns where the precise
    // one takes tens). Changes made through this process store the stamp at once.
    if (CoarseNowNs() < m_nFreshUntilNs.load(std::memory_order_acquire))
        return m_nStampSeen.load(std::memory_order_acquire);
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    // Another process's change is looked for at most every kStampCheckInterval, since a
    // stat() costs more than the formatting.
    if (!m_bLoaded || std::chrono::steady_clock::now() - m_tLastCheck >= kStampCheckInterval)
        Refresh(m_nUpdateDepth > 0);
    return m_nStamp;
}

void CHiveStore::Refresh(bool bLocked) {
    m_tLastCheck = std::chrono::steady_clock::now();
    // The coarse clock runs up to one tick (at most 10 ms) behind the precise one: the
    // lock-free answers end early enough to keep within kStampCheckInterval.
    m_nFreshUntilNs.store(0, std::memory_order_release);
    const std::int64_t nFreshUntil =
        CoarseNowNs() + std::chrono::nanoseconds(kStampCheckInterval).count() - 10'000'000;
    struct stat st;
    const SFileId id = stat(m_strPath.c_str(), &st) == 0 ? IdOf(st) : SFileId{};
    if (!(m_bLoaded && id == m_id))
        Load(bLocked);
    m_nFreshUntilNs.store(nFreshUntil, std::memory_order_release);
}

void CHiveStore::SetContent(EState state, const SFileId& id, int fd, CHiveKey root) {
    if (m_nFd >= 0 && m_nFd != fd)
        close(m_nFd);
    m_nFd = fd;
    m_root = std::move(root);
    m_root.m_strName = m_strHiveName;
    m_id = id;
    m_state = state;
    m_bLoaded = true;
    m_nStamp = ++g_nStampCounter;
    m_nStampSeen.store(m_nStamp, std::memory_order_release);
}

void CHiveStore::Load(bool bLocked) {
    for (int attempt = 1;; ++attempt) {
        const int fd = open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR) {
                SetContent(EState::Missing, SFileId{}, -1, CHiveKey{});
                return;
            }
            struct stat st;
            const SFileId id = stat(m_strPath.c_str(), &st) == 0 ? IdOf(st) : SFileId{};
            std::fprintf(stderr, "varno: cannot read the registry file \"%s\": %s\n",
                         m_strPath.c_str(), std::strerror(err));
            m_nLastErrno = err;
            SetContent(EState::Unreadable, id, -1, CHiveKey{});
            return;
        }
        struct stat st;
        std::string text;
        const bool bStat = fstat(fd, &st) == 0;
        if (!bStat || !ReadAll(fd, text, kMaxHiveTextBytes)) {
            const int err = errno;
            std::fprintf(stderr, "varno: cannot read the registry file \"%s\": %s\n",
                         m_strPath.c_str(), std::strerror(err));
            m_nLastErrno = err;
            SetContent(EState::Unreadable, bStat ? IdOf(st) : SFileId{}, fd, CHiveKey{});
            return;
        }
        const SFileId id = IdOf(st);
        CHiveKey root;
        root.m_strName = m_strHiveName;
        SHiveParseError error;
        if (ReadHiveText(text, root, error)) {
            SetContent(EState::Loaded, id, fd, std::move(root));
            return;
        }
        bool bWarned = false;
        if (!bLocked) {
            // Moving the file aside needs the lock; read it again under the lock, since a
            // writer may have replaced it meanwhile.
            CHiveLock lock;
            if (lock.Acquire(m_strPath + ".lock") == 0) {
                close(fd);
                Load(true);
                return;
            }
        } else {
            // Only act on the file that was parsed: an outside program that writes without
            // the lock may have replaced it.
            struct stat now;
            const bool bSame = stat(m_strPath.c_str(), &now) == 0 && IdOf(now) == id;
            if (!bSame && attempt < kMaxLoadAttempts) {
                close(fd);
                continue;
            }
            if (bSame) {
                if (MoveAside(error)) {
                    close(fd);
                    SetContent(EState::Missing, SFileId{}, -1, CHiveKey{});
                    return;
                }
                bWarned = true;
            }
        }
        if (!bWarned)
            std::fprintf(stderr,
                         "varno: the registry file \"%s\" cannot be parsed (line %d: %s); it is "
                         "left as it is and reads as empty\n",
                         m_strPath.c_str(), error.m_nLine, error.m_strReason.c_str());
        m_nLastErrno = EACCES;
        SetContent(EState::Corrupt, id, fd, CHiveKey{});
        return;
    }
}

bool CHiveStore::MoveAside(const SHiveParseError& error) {
    const std::time_t now = std::time(nullptr);
    struct tm local;
    char stamp[32] = "00000000-000000";
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string aside = m_strPath + ".corrupt-" + stamp;
    struct stat st;
    // Only registry code makes these names, and it holds the lock: checking is enough.
    for (int n = 1; lstat(aside.c_str(), &st) == 0 && n <= 1000; ++n)
        aside = m_strPath + ".corrupt-" + stamp + "-" + std::to_string(n);
    if (rename(m_strPath.c_str(), aside.c_str()) != 0) {
        const int err = errno;
        std::fprintf(stderr,
                     "varno: the registry file \"%s\" cannot be parsed (line %d: %s) and cannot "
                     "be moved to \"%s\": %s; it is left as it is and reads as empty\n",
                     m_strPath.c_str(), error.m_nLine, error.m_strReason.c_str(), aside.c_str(),
                     std::strerror(err));
        return false;
    }
    std::fprintf(stderr,
                 "varno: the registry file \"%s\" cannot be parsed (line %d: %s); it was moved to "
                 "\"%s\" and the hive starts empty\n",
                 m_strPath.c_str(), error.m_nLine, error.m_strReason.c_str(), aside.c_str());
    return true;
}

void CHiveStore::RemoveStrayTempFiles() const {
    DIR* dir = opendir(m_strFolder.c_str());
    if (!dir)
        return;
    const std::string prefix = FileNameOf(m_strPath) + ".tmp.";
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
            unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}

ERegStatus CHiveStore::Failed(ERegStatus status, std::string_view what, const std::string& file,
                              int err) {
    m_strLastFailure = std::string(what) + " \"" + file + "\"";
    if (err != 0) {
        m_strLastFailure += ": ";
        m_strLastFailure += std::strerror(err);
    }
    return status;
}

ERegStatus CHiveStore::Save(const CHiveKey& root, SFileId& id, int& fd) {
    const std::string text = WriteHiveText(root);
    if (text.size() > kMaxHiveTextBytes || CountHiveItems(root) > kMaxHiveItems)
        return Failed(REG_STATUS_HIVE_FULL,
                      "the change is refused: it would pass 64 MiB or 1,000,000 keys and "
                      "values in",
                      m_strPath, 0);
    std::string temp = m_strPath + ".tmp.XXXXXX";
    const int tempFd = mkostemp(temp.data(), O_CLOEXEC);
    if (tempFd < 0) {
        const int err = errno;
        return Failed(StatusOfErrno(err), "cannot write", m_strPath, err);
    }
    if (!WriteAll(tempFd, text) || fsync(tempFd) != 0) {
        const int err = errno;
        close(tempFd);
        unlink(temp.c_str());
        return Failed(StatusOfErrno(err), "cannot write", m_strPath, err);
    }
    if (const FnRegistryBeforeRenameHook pHook = g_pBeforeRenameHook)
        pHook();
    if (rename(temp.c_str(), m_strPath.c_str()) != 0) {
        const int err = errno;
        close(tempFd);
        unlink(temp.c_str());
        return Failed(StatusOfErrno(err), "cannot replace", m_strPath, err);
    }
    struct stat st;
    if (fstat(tempFd, &st) == 0) {
        id = IdOf(st);
    } else {
        id = SFileId{}; // unknown: the next access reads the file again
        id.m_nSize = -1;
    }
    fd = tempFd;
    // The rename is in place and visible; a folder that cannot be flushed (some file
    // systems refuse fsync on folders) does not undo it.
    const int dirFd = open(m_strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return REG_STATUS_OK;
}

ERegStatus CHiveStore::LockForUpdate() {
    m_mutex.lock();
    if (m_nUpdateDepth == 0) {
        m_strLastFailure.clear();
        std::error_code ec;
        std::filesystem::create_directories(m_strFolder, ec);
        auto pLock = std::make_unique<CHiveLock>();
        const int err = ec ? ec.value() : pLock->Acquire(m_strPath + ".lock");
        if (err != 0) {
            const ERegStatus status =
                Failed(StatusOfErrno(err), ec ? "cannot create the folder" : "cannot lock",
                       ec ? m_strFolder : m_strPath + ".lock", err);
            m_mutex.unlock();
            return status;
        }
        m_pUpdateLock = std::move(pLock);
    }
    ++m_nUpdateDepth;
    return REG_STATUS_OK;
}

void CHiveStore::UnlockForUpdate() {
    if (--m_nUpdateDepth == 0)
        m_pUpdateLock.reset();
    m_mutex.unlock();
}

std::string CHiveStore::LastFailure() {
    std::lock_guard<std::recursive_mutex> guard(m_mutex);
    return m_strLastFailure;
}

ERegStatus CHiveStore::Modify(const std::function<ERegStatus(CHiveKey&, bool&)>& change) {
    if (const ERegStatus status = LockForUpdate(); status != REG_STATUS_OK)
        return status;
    // Released however the change ends, an exception (out of memory) included.
    struct SUnlock {
        CHiveStore* m_pStore;
        ~SUnlock() { m_pStore->UnlockForUpdate(); }
    } unlock{this};
    return ModifyLocked(change);
}

ERegStatus CHiveStore::ModifyLocked(const std::function<ERegStatus(CHiveKey&, bool&)>& change) {
    Refresh(true);
    if (m_state == EState::Corrupt)
        Load(true); // try once more to move it aside
    if (m_state == EState::Corrupt || m_state == EState::Unreadable)
        return Failed(StatusOfErrno(m_nLastErrno),
                      m_state == EState::Corrupt ? "cannot change the damaged file" : "cannot read",
                      m_strPath, m_state == EState::Corrupt ? 0 : m_nLastErrno);
    CHiveKey copy = m_root;
    bool bChanged = false;
    if (const ERegStatus status = change(copy, bChanged); status != REG_STATUS_OK || !bChanged)
        return status;
    RemoveStrayTempFiles();
    SFileId id;
    int fd = -1;
    if (const ERegStatus status = Save(copy, id, fd); status != REG_STATUS_OK)
        return status;
    SetContent(EState::Loaded, id, fd, std::move(copy));
    return REG_STATUS_OK;
}

std::shared_ptr<CHiveStore> HiveStoreFor(ERegHive hive) {
    struct SEntry {
        std::shared_ptr<CHiveStore> m_pStore;
        std::uint64_t m_nLastUse = 0;
    };
    static std::mutex s_mutex;
    static std::unordered_map<std::string, SEntry> s_mapStores;
    static std::uint64_t s_nTick = 0;

    std::string path = RegistryFolder();
    path += '/';
    path += HiveName(hive);
    path += ".reg";
    std::lock_guard<std::mutex> guard(s_mutex);
    if (const auto it = s_mapStores.find(path); it != s_mapStores.end()) {
        it->second.m_nLastUse = ++s_nTick;
        return it->second.m_pStore;
    }
    if (s_mapStores.size() >= kMaxStores) {
        // A store in use (held by a hive lock, say) stays: a second store of the same file
        // would wait for the first one's lock.
        auto oldest = s_mapStores.end();
        for (auto it = s_mapStores.begin(); it != s_mapStores.end(); ++it)
            if (it->second.m_pStore.use_count() == 1 &&
                (oldest == s_mapStores.end() || it->second.m_nLastUse < oldest->second.m_nLastUse))
                oldest = it;
        if (oldest != s_mapStores.end())
            s_mapStores.erase(oldest);
    }
    auto pStore = std::make_shared<CHiveStore>(path, HiveName(hive));
    s_mapStores.emplace(std::move(path), SEntry{pStore, ++s_nTick});
    return pStore;
}
