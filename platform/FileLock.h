#pragma once
// An exclusive lock between programs (and between objects of one program) around a
// read-modify-write of a shared file: a lock file beside it, locked with flock on POSIX
// and LockFileEx on Windows. The lock file goes with its last holder, so none is left
// behind: on POSIX the holder removes it before unlocking and a waiter that then locks the
// removed file takes the one that stands there now; on Windows it is deleted when its last
// handle closes.

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
    std::string path_;
    intptr_t handle_ = -1;
    bool held_ = false;
};

} // namespace pyrola
