#include "platform/file/OutputFile.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40;
// The target's name is cut to this many bytes in the temporary name, so that the name
// stays within the 255 bytes a folder entry may have.
constexpr std::size_t kMaxNamePart = 200;
constexpr std::string_view kTempMark = ".varno-";
constexpr std::string_view kTempEnd = ".tmp";
constexpr std::size_t kRandomLetters = 6;

std::string FolderOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    if (nSlash == 0)
        return "/";
    return strPath.substr(0, nSlash);
}

std::string NameOf(const std::string& strPath) {
    const std::size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// The descriptor a name stands for: "-", /dev/stdout, /dev/stderr, /dev/fd/N and
// /proc/self/fd/N; -1 for any other name.
int DescriptorOfName(std::string_view name) {
    if (name == "-" || name == "/dev/stdout")
        return STDOUT_FILENO;
    if (name == "/dev/stderr")
        return STDERR_FILENO;
    for (const std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
        if (!name.starts_with(prefix))
            continue;
        const std::string_view digits = name.substr(prefix.size());
        int fd = -1;
        const auto [pEnd, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
        if (ec == std::errc() && pEnd == digits.data() + digits.size() && !digits.empty())
            return fd;
    }
    return -1;
}

mode_t CurrentUmask() {
    // Read without changing it: umask() itself sets the mask for every thread.
    if (std::FILE* pStatus = std::fopen("/proc/self/status", "re")) {
        std::array<char, 256> line{};
        while (std::fgets(line.data(), static_cast<int>(line.size()), pStatus)) {
            unsigned nMask = 0;
            if (std::sscanf(line.data(), "Umask: %o", &nMask) == 1) {
                std::fclose(pStatus);
                return static_cast<mode_t>(nMask & 0777);
            }
        }
        std::fclose(pStatus);
    }
    const mode_t nMask = ::umask(022);
    ::umask(nMask);
    return nMask;
}

std::string RandomLetters() {
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::minstd_rand s_random(std::random_device{}());
    std::string out;
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    for (std::size_t i = 0; i < kRandomLetters; ++i)
        out += kLetters[pick(s_random)];
    return out;
}

// Removes the temporary files that processes which no longer run left in the folder.
void RemoveStaleTemporaries(const std::string& strFolder) {
    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir)
        return;
    const int nDirFd = ::dirfd(pDir);
    const pid_t nSelf = ::getpid();
    const uid_t nUser = ::geteuid();
    while (const dirent* pEntry = ::readdir(pDir)) {
        pid_t nPid = 0;
        if (!COutputFile::IsTemporaryName(pEntry->d_name, &nPid) || nPid == nSelf)
            continue;
        if (::kill(nPid, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(nDirFd, pEntry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != nUser)
            continue;
        (void)::unlinkat(nDirFd, pEntry->d_name, 0);
    }
    ::closedir(pDir);
}

void SyncFolder(const std::string& strFolder) {
    const int fd = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Some file systems refuse fsync on folders; the rename is in place all the same.
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

COutputFile::~COutputFile() {
    Discard();
}

std::string COutputFile::ResolveLinks(const std::string& strPath) {
    std::string strCurrent = strPath;
    for (int i = 0; i <= kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(strCurrent.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return strCurrent;
        std::string strLink(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(strCurrent.c_str(), strLink.data(), strLink.size());
        if (n < 0 || static_cast<std::size_t>(n) >= strLink.size())
            return strCurrent;
        strLink.resize(static_cast<std::size_t>(n));
        strCurrent = strLink.starts_with('/') ? strLink : FolderOf(strCurrent) + "/" + strLink;
    }
    errno = ELOOP;
    return {};
}

bool COutputFile::IsStreamTarget(const std::string& strTarget) {
    struct stat st {};
    return DescriptorOfName(strTarget) >= 0 ||
           (::stat(strTarget.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

bool COutputFile::IsTemporaryName(std::string_view name, pid_t* pPid) {
    if (!name.starts_with('.') || !name.ends_with(kTempEnd))
        return false;
    const std::size_t nMark = name.rfind(kTempMark);
    if (nMark == std::string_view::npos || nMark == 0)
        return false;
    // <pid>-<letters>.tmp
    std::string_view rest = name.substr(nMark + kTempMark.size());
    rest.remove_suffix(kTempEnd.size());
    const std::size_t nDash = rest.find('-');
    if (nDash == std::string_view::npos || rest.size() - nDash - 1 != kRandomLetters)
        return false;
    pid_t nPid = 0;
    const auto [pEnd, ec] = std::from_chars(rest.data(), rest.data() + nDash, nPid);
    if (ec != std::errc() || pEnd != rest.data() + nDash || nPid <= 0)
        return false;
    if (pPid)
        *pPid = nPid;
    return true;
}

bool COutputFile::Open(const std::string& strTarget) {
    Discard();
    m_strTarget = strTarget;
    m_bStream = false;

    if (const int nNamed = DescriptorOfName(strTarget); nNamed >= 0) {
        const int fd = ::fcntl(nNamed, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return false;
        m_fd = fd;
        m_bStream = true;
        m_strRealPath = strTarget;
        return true;
    }

    struct stat st {};
    const bool bExists = ::stat(strTarget.c_str(), &st) == 0;
    if (bExists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (bExists && !S_ISREG(st.st_mode)) {
        // A device, FIFO or socket: written in place (a FIFO waits for its reader).
        int fd = -1;
        do {
            fd = ::open(strTarget.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return false;
        m_fd = fd;
        m_bStream = true;
        m_strRealPath = strTarget;
        return true;
    }

    m_strRealPath = ResolveLinks(strTarget);
    if (m_strRealPath.empty())
        return false;
    const std::string strFolder = FolderOf(m_strRealPath);

    m_bKeepOwner = false;
    if (bExists) {
        m_nMode = st.st_mode & 07777;
        m_nOwner = st.st_uid;
        m_nGroup = st.st_gid;
        m_bKeepOwner = true;
        // A file this process may not read is written without the lock.
        const int nLockFd =
            ::open(m_strRealPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (nLockFd >= 0) {
            if (::flock(nLockFd, LOCK_EX | LOCK_NB) != 0) {
                const int nError = errno;
                ::close(nLockFd);
                errno = nError == EINTR ? EWOULDBLOCK : nError;
                return false;
            }
            m_nLockFd = nLockFd;
        }
    } else {
        m_nMode = 0666 & ~CurrentUmask();
    }

    RemoveStaleTemporaries(strFolder);

    const std::string strPrefix = strFolder + "/." + NameOf(m_strRealPath).substr(0, kMaxNamePart) +
                                  std::string(kTempMark) + std::to_string(::getpid()) + "-";
    for (int nTry = 0; nTry < 100; ++nTry) {
        std::string strTemp = strPrefix + RandomLetters() + std::string(kTempEnd);
        const int fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            m_fd = fd;
            m_strTempPath = std::move(strTemp);
            return true;
        }
        if (errno != EEXIST && errno != EINTR)
            break;
    }
    const int nError = errno;
    CloseAll();
    errno = nError;
    return false;
}

bool COutputFile::Write(std::string_view bytes) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool COutputFile::Commit() {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (m_bStream) {
        const int fd = m_fd;
        m_fd = -1;
        // A descriptor may report a failed write only when it is closed.
        const bool bOk = ::close(fd) == 0 || errno == EINTR;
        const int nError = errno;
        CloseAll();
        errno = nError;
        return bOk;
    }
    if (m_bKeepOwner) {
        // Another owner is kept where this process may set it (as root); the group where
        // the process belongs to it.
        if (::fchown(m_fd, m_nOwner, m_nGroup) != 0)
            (void)::fchown(m_fd, static_cast<uid_t>(-1), m_nGroup);
    }
    bool bOk = ::fchmod(m_fd, m_nMode) == 0 && ::fsync(m_fd) == 0;
    const int fd = m_fd;
    m_fd = -1;
    bOk = ::close(fd) == 0 && bOk;
    bOk = bOk && ::rename(m_strTempPath.c_str(), m_strRealPath.c_str()) == 0;
    const int nError = errno;
    if (bOk) {
        m_strTempPath.clear();
        SyncFolder(FolderOf(m_strRealPath));
    }
    CloseAll();
    errno = nError;
    return bOk;
}

void COutputFile::Discard() {
    const int nError = errno;
    CloseAll();
    errno = nError;
}

void COutputFile::CloseAll() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempPath.empty()) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
    if (m_nLockFd >= 0) {
        ::close(m_nLockFd);
        m_nLockFd = -1;
    }
}

bool COutputFile::WriteWhole(const std::string& strTarget, std::string_view bytes) {
    COutputFile file;
    if (!file.Open(strTarget) || !file.Write(bytes))
        return false;
    return file.Commit();
}
