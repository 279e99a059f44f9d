#include "platform/FileLock.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace pyrola {

namespace {

// Open-file-description locks belong to the open file, not the process, so two objects
// of one program exclude each other as two programs do; they conflict with the classic
// fcntl record locks that Wine and network file systems take.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif

bool TryLockWhole(int fd) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0; // to the end, however far the file grows
    return fcntl(fd, kSetLock, &whole) == 0;
}

} // namespace

FileLock::FileLock(const std::string& lockPath, uint32_t timeoutMs) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    // Polled rather than blocking, so a program that stopped while holding the lock costs
    // the others a failed save, not a hang.
    constexpr uint32_t kPollMs = 2;
    for (uint32_t waited = 0;; waited += kPollMs) {
        if (TryLockWhole(fd)) {
            handle_ = fd;
            held_ = true;
            return;
        }
        const int error = errno;
        if ((error != EAGAIN && error != EACCES && error != EINTR) || waited >= timeoutMs)
            break;
        const timespec pause{0, kPollMs * 1000000L};
        nanosleep(&pause, nullptr);
    }
    ::close(fd);
}

FileLock::~FileLock() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_)); // releases the lock
}

} // namespace pyrola
