// One instance per user: an exclusive lock on a file in the user's runtime folder; the
// running instance listens on a local socket beside it for a second start's command line.

#include "platform/InstanceChannel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace pyrola {
namespace {

constexpr int kAckTimeoutMs = 5000;
constexpr int kReadTimeoutMs = 2000;

// $XDG_RUNTIME_DIR, else a private folder in /tmp that only this user may use.
std::string RuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime && *runtime == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
        return runtime;
    std::string folder = "/tmp/pyrola-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Someone else's folder, or one others may write to, is not trusted with commands.
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 0077) != 0)
        return {};
    return folder;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return true;
}

class PosixInstanceChannel : public InstanceChannel {
public:
    explicit PosixInstanceChannel(const std::string& name) {
        std::string folder = RuntimeFolder();
        if (!folder.empty()) {
            lockPath_ = folder + "/" + name + ".lock";
            socketPath_ = folder + "/" + name + ".sock";
        }
    }

    ~PosixInstanceChannel() override {
        if (listener_.joinable()) {
            char byte = 1;
            [[maybe_unused]] ssize_t n = ::write(wake_[1], &byte, 1);
            listener_.join();
        }
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            ::unlink(socketPath_.c_str());
        }
        for (int fd : wake_) {
            if (fd >= 0)
                ::close(fd);
        }
        if (lockFd_ >= 0)
            ::close(lockFd_);
    }

    bool BecomePrimary() override {
        if (lockPath_.empty())
            return true; // nowhere to coordinate: behave as the only instance
        if (lockFd_ < 0)
            lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ < 0)
            return true;
        if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0)
            return false;
        primary_ = true;
        return true;
    }

    HandOverResult HandOver(const std::string& commandLine) override {
        if (commandLine.size() > kHandOverMaxText || commandLine.find('\0') != std::string::npos)
            return HandOverResult::TooLong;
        sockaddr_un address;
        if (socketPath_.empty() || !FillAddress(socketPath_, address))
            return HandOverResult::Failed;
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return HandOverResult::Failed;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return HandOverResult::NoInstance;
        }
        HandOverResult result = HandOverResult::Failed;
        if (WriteAll(fd, commandLine) && ::shutdown(fd, SHUT_WR) == 0) {
            pollfd waiting{fd, POLLIN, 0};
            char ack = 0;
            if (::poll(&waiting, 1, kAckTimeoutMs) == 1 && ::read(fd, &ack, 1) == 1 && ack == 'K')
                result = HandOverResult::Delivered;
        }
        ::close(fd);
        return result;
    }

    void Listen(std::function<void()> notify) override {
        if (!primary_ || listener_.joinable() || socketPath_.empty())
            return;
        sockaddr_un address;
        if (!FillAddress(socketPath_, address) || ::pipe(wake_) != 0)
            return;
        listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd_ < 0)
            return;
        // We hold the lock, so a socket file left here belongs to a crashed instance.
        ::unlink(socketPath_.c_str());
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listenFd_, 4) != 0) {
            ::close(listenFd_);
            listenFd_ = -1;
            return;
        }
        ::chmod(socketPath_.c_str(), 0600);
        listener_ = std::thread([this, notify = std::move(notify)] { ListenLoop(notify); });
    }

    std::optional<std::string> TakeCommandLine() override {
        std::lock_guard lock(mutex_);
        std::optional<std::string> text = std::move(pending_);
        pending_.reset();
        return text;
    }

private:
    static bool WriteAll(int fd, const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    void ListenLoop(const std::function<void()>& notify) {
        for (;;) {
            pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            int client = ::accept(listenFd_, nullptr, nullptr);
            if (client < 0)
                continue;
            std::string text;
            bool fits = ReadText(client, text);
            if (fits) {
                {
                    std::lock_guard lock(mutex_);
                    pending_ = text;
                }
                char ack = 'K';
                [[maybe_unused]] ssize_t n = ::send(client, &ack, 1, MSG_NOSIGNAL);
            }
            ::close(client);
            if (fits && notify)
                notify();
        }
    }

    // Reads to the end of the text; false for more than fits or a sender that stalls.
    static bool ReadText(int fd, std::string& text) {
        char buffer[kHandOverBlockSize];
        for (;;) {
            pollfd waiting{fd, POLLIN, 0};
            if (::poll(&waiting, 1, kReadTimeoutMs) != 1)
                return false;
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            text.append(buffer, static_cast<size_t>(n));
            if (text.size() > kHandOverMaxText || text.find('\0') != std::string::npos)
                return false;
        }
    }

    std::string lockPath_;
    std::string socketPath_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    bool primary_ = false;
    std::thread listener_;
    std::mutex mutex_;
    std::optional<std::string> pending_;
};

} // namespace

std::unique_ptr<InstanceChannel> CreateInstanceChannel(const std::string& name) {
    return std::make_unique<PosixInstanceChannel>(name);
}

} // namespace pyrola
