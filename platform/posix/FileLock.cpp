#include "platform/FileLock.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pyrola {

FileLock::FileLock(const std::string& lockPath, uint32_t timeoutMs) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    handle_ = fd;
    // Polled rather than blocking, so a program that stopped while holding the lock costs
    // the others a failed save, not a hang.
    constexpr uint32_t kPollMs = 2;
    for (uint32_t waited = 0;; waited += kPollMs) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= timeoutMs)
            return;
        const timespec pause{0, kPollMs * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

FileLock::~FileLock() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_)); // releases the lock
}

} // namespace pyrola
