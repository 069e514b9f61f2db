#include "desktop/DatebookLock.h"

#include "desktop/DatebookError.h"
#include "desktop/DatebookStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

// How often a waiting run tries again.
constexpr std::chrono::milliseconds kRetry{50};

long ReadHolder(int fd) {
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    if (n <= 0)
        return 0;
    return std::strtol(buffer, nullptr, 10);
}

void WriteHolder(int fd) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 &&
        ::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size()))
        return;
    // The id only serves the message of a waiting run; the lock holds without it.
}

} // namespace

CDatebookLock::CDatebookLock(const std::string& strFolder, std::chrono::milliseconds wait,
                             const std::function<void(long nHolder)>& onWait) {
    namespace fs = std::filesystem;
    const fs::path folder =
        strFolder.empty() ? fs::path(CDatebookStore::DefaultFolder()) : fs::path(strFolder);
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string path = (folder / kFileName).string();
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        throw CDatebookError(EDatebookError::Storage, "Cannot open the lock of the datebook " +
                                                          path + ": " + std::strerror(errno) + ".");
    const auto tGiveUp = std::chrono::steady_clock::now() + wait;
    bool bWaiting = false;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int nError = errno;
        if (nError == EINTR)
            continue;
        const long nHolder = ReadHolder(m_fd);
        if (nError != EWOULDBLOCK || std::chrono::steady_clock::now() >= tGiveUp) {
            ::close(m_fd);
            m_fd = -1;
            if (nError != EWOULDBLOCK)
                throw CDatebookError(EDatebookError::Storage, "Cannot lock the datebook " + path +
                                                                  ": " + std::strerror(nError) +
                                                                  ".");
            throw CDatebookError(
                EDatebookError::Busy,
                "The datebook is busy: another import, Remove All or archive" +
                    (nHolder > 0 ? " (process " + std::to_string(nHolder) + ")" : std::string()) +
                    " is still changing it. Nothing was changed; try again when it has "
                    "finished.");
        }
        if (!bWaiting) {
            bWaiting = true;
            if (onWait)
                onWait(nHolder);
        }
        std::this_thread::sleep_for(kRetry);
    }
    WriteHolder(m_fd);
}

CDatebookLock::~CDatebookLock() {
    if (m_fd >= 0) {
        // Closing drops the lock; the file stays for the next run.
        ::close(m_fd);
    }
}
