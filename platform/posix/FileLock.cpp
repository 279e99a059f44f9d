#include "platform/FileLock.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pyrola {

namespace {

// True while path still names the file fd is open on: the holder before may have removed
// it, and a lock on a removed file excludes nobody.
bool StillNamed(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

} // namespace

FileLock::FileLock(const std::string& lockPath, uint32_t timeoutMs) : path_(lockPath) {
    // Polled rather than blocking, so a program that stopped while holding the lock costs
    // the others a failed save, not a hang.
    constexpr uint32_t kPollMs = 2;
    for (uint32_t waited = 0;;) {
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (StillNamed(fd, lockPath)) {
                handle_ = fd;
                held_ = true;
                return;
            }
            ::close(fd); // removed by its last holder: lock the file that stands there now
            continue;
        }
        const int error = errno;
        ::close(fd);
        if ((error != EWOULDBLOCK && error != EINTR) || waited >= timeoutMs)
            return;
        const timespec pause{0, kPollMs * 1000000L};
        nanosleep(&pause, nullptr);
        waited += kPollMs;
    }
}

FileLock::~FileLock() {
    if (handle_ < 0)
        return;
    // Removed while still locked: a waiter that then gets the lock on the removed file sees
    // that it is no longer named and takes the next one.
    ::unlink(path_.c_str());
    ::close(static_cast<int>(handle_)); // releases the lock
}

} // namespace pyrola
