#include "platform/AppendFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pyrola {

bool AppendToFile(const std::string& path, const std::string& header, const std::string& record,
                  std::string* why) {
    // Non-blocking: opening a FIFO for writing would otherwise wait for a reader.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return RefuseAppend(why,
                            errno == ENXIO || errno == EISDIR ? "not a regular file" : std::strerror(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return RefuseAppend(why, "not a regular file");
    }
    const off_t before = info.st_size;
    const std::string text = (before == 0 ? header : std::string()) + record;
    size_t done = 0;
    int error = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (error != 0) {
        // Only this caller appends (under the log's lock): its bytes are the file's tail.
        const bool undone = done == 0 || ftruncate(fd, before) == 0;
        ::close(fd);
        return RefuseAppend(why,
                            std::string(std::strerror(error)) +
                                (undone ? "; the part written was taken back" : "; a part line is left"));
    }
    if (!text.empty() && fsync(fd) != 0) {
        const int syncError = errno;
        ::close(fd);
        return RefuseAppend(why, std::strerror(syncError));
    }
    if (::close(fd) != 0)
        return RefuseAppend(why, std::strerror(errno));
    return true;
}

} // namespace pyrola
