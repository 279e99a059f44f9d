#pragma once
// An exclusive lock between programs (and between objects of one program) around a
// read-modify-write of a shared file: a lock file beside it, locked with flock on POSIX
// and LockFileEx on Windows. The lock file stays in place; removing it would let a
// waiting program lock a file that is no longer the one others lock.

#include <cstdint>
#include <string>

namespace pyrola {

class FileLock {
public:
    // Waits up to timeoutMs for the lock on lockPath (created when missing; its folder
    // must exist). Held() tells whether it was obtained.
    explicit FileLock(const std::string& lockPath, uint32_t timeoutMs = 10000);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return held_; }

private:
    intptr_t handle_ = -1;
    bool held_ = false;
};

} // namespace pyrola
