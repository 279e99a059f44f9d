#include "platform/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pyrola {
namespace {

bool WriteAll(int fd, const std::string& contents) {
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

FileStamp StampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.volume = static_cast<uint64_t>(info.st_dev);
    stamp.id = static_cast<uint64_t>(info.st_ino);
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

// The file a symbolic link finally names, so that replacing it keeps the link; the path
// itself when it is no link or the link leads nowhere.
std::string FinalTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

} // namespace

bool MakeParentFolders(const std::string& path) {
    size_t slash = path.find('/', 1);
    while (slash != std::string::npos) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        slash = path.find('/', slash + 1);
    }
    return true;
}

bool MayReplaceFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    // Write bits are checked as well as access(): a privileged user may write anything,
    // but a file marked read-only is meant to stay as it is.
    return S_ISREG(info.st_mode) && (info.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& contents) {
    if (path.empty())
        return false;
    const std::string target = FinalTarget(path);
    if (!MayReplaceFile(target) || !MakeParentFolders(target))
        return false;
    struct stat old {};
    const bool existed = stat(target.c_str(), &old) == 0;
    std::string temp = target + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    bool ok = true;
    if (existed) {
        // Owner first: changing it may clear set-id bits that the mode then restores.
        // Only a privileged user can give the file away; anyone else keeps it.
        [[maybe_unused]] const int owned = fchown(fd, old.st_uid, old.st_gid);
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, contents) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
        // Make the rename itself durable.
        int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            fsync(dir);
            ::close(dir);
        }
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

bool ReadWholeFile(const std::string& path, std::string& contents, FileStamp* stamp) {
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    contents.clear();
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (stamp)
        *stamp = StampOf(info);
    return true;
}

std::optional<FileStamp> StampOfFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return StampOf(info);
}

} // namespace pyrola
