// The lock that one changing run over a datebook holds from start to end: an import, a
// Remove All or an archive marking. Two such runs at once would each decide from a
// datebook that the other is about to change (an import's duplicate test stores every row
// twice), so the second one waits for the first.
//
// The lock is an advisory lock (flock) on a file beside the datebook, which also names the
// process holding it. The system drops it when that process ends, however it ends, so a
// killed run never leaves the datebook locked.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class CDatebookLock {
public:
    // Takes the lock of the datebook in the folder (empty: CDatebookStore::DefaultFolder()).
    // While another process holds it, waits up to `wait`, calling onWait once, with that
    // process's id (0 when unknown), when the wait begins. Raises CDatebookError (Busy) when
    // the time runs out, (Storage) when the lock file cannot be opened.
    CDatebookLock(const std::string& strFolder, std::chrono::milliseconds wait,
                  const std::function<void(long nHolder)>& onWait = {});
    ~CDatebookLock();
    CDatebookLock(const CDatebookLock&) = delete;
    CDatebookLock& operator=(const CDatebookLock&) = delete;

    static constexpr const char* kFileName = "datebook.lock";

private:
    int m_fd = -1;
};
