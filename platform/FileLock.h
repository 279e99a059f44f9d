#pragma once
// An exclusive lock between programs (and between objects of one program) around a
// read-modify-write of a shared file: a lock file beside it, locked as one byte range over
// the whole file: fcntl open-file-description locks on POSIX, LockFileEx on Windows. Both
// are the same kind of lock on Linux (Wine turns LockFileEx into fcntl locks, and a share
// mounted over NFS or SMB carries them), so native programs, Windows programs under Wine
// and programs on other machines exclude each other. flock would not: Linux keeps flock
// and fcntl locks apart. The lock file stays after its last holder: a holder that removed
// it could not stop a waiter of the other build from locking the removed file.

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

    [[nodiscard]] bool Held() const { return held_; }

private:
    intptr_t handle_ = -1;
    bool held_ = false;
};

} // namespace pyrola
