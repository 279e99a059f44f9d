// Parallel ports on POSIX through the kernel's ppdev driver: LPTn is the device file that
// $PYROLA_LPTn names, else /dev/parport<n-1>; a regular file named there instead is a
// port-I/O library (the simulated chip). The port is claimed for the time it is open;
// register accesses at the port's base address map to the ppdev requests (data and
// control writes, status reads), as raw register bytes.

#include "platform/PortIo.h"
#include "platform/PortIoSelector.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/ppdev.h>
#endif

namespace pyrola {

namespace {

class PpdevPortIo : public PortIo {
public:
    ~PpdevPortIo() override { Close(); }

    void SetPath(const std::string& path) { path_ = path; }

    bool Open(uint32_t portNumber) override {
        if (fd_ >= 0 && portNumber == portNumber_ && path_ == openPath_) {
            return true;
        }
        Close();
        if (path_.empty()) {
            description_ = "no parallel port LPT" + std::to_string(portNumber);
            return false;
        }
#if defined(__linux__)
        int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            return Fail("could not open " + path_, errno);
        }
        if (ioctl(fd, PPCLAIM) != 0) {
            const int error = errno;
            ::close(fd);
            return Fail("could not claim " + path_ + " (a parallel port device through ppdev)", error);
        }
        fd_ = fd;
        portNumber_ = portNumber;
        openPath_ = path_;
        base_ = LptBaseAddress(portNumber);
        description_ = "parallel port device " + path_;
        return true;
#else
        description_ = "parallel ports need the Linux ppdev driver (" + path_ + ")";
        return false;
#endif
    }

    bool IsOpen() const override {
        return fd_ >= 0;
    }

    void WritePort(uint16_t address, uint8_t value) override {
#if defined(__linux__)
        if (fd_ < 0) {
            return;
        }
        unsigned char byte = value;
        if (address == base_ + kLptDataOffset) {
            (void)ioctl(fd_, PPWDATA, &byte);
        } else if (address == base_ + kLptControlOffset) {
            (void)ioctl(fd_, PPWCONTROL, &byte);
        }
#else
        (void)address;
        (void)value;
#endif
    }

    uint8_t ReadPort(uint16_t address) override {
#if defined(__linux__)
        if (fd_ < 0) {
            return 0xFF;
        }
        unsigned char byte = 0xFF;
        int request = address == base_ + kLptStatusOffset    ? PPRSTATUS
                      : address == base_ + kLptDataOffset    ? PPRDATA
                      : address == base_ + kLptControlOffset ? PPRCONTROL
                                                             : 0;
        if (request == 0 || ioctl(fd_, request, &byte) != 0) {
            return 0xFF;
        }
        return byte;
#else
        (void)address;
        return 0xFF;
#endif
    }

    void Close() override {
        if (fd_ < 0) {
            return;
        }
#if defined(__linux__)
        (void)ioctl(fd_, PPRELEASE);
#endif
        ::close(fd_);
        fd_ = -1;
    }

    std::string Describe() const override {
        return description_;
    }

private:
    bool Fail(const std::string& what, int error) {
        description_ = what + ": " + std::strerror(error);
        if (error == EACCES) {
            description_ += " (the user needs read and write access to it, e.g. membership of its group)";
        }
        return false;
    }

    std::string path_;
    std::string openPath_;
    std::string description_;
    int fd_ = -1;
    uint32_t portNumber_ = 0;
    uint16_t base_ = 0;
};

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

class PosixPortIo : public PortIoSelector {
public:
    PosixPortIo() : PortIoSelector(SystemLibraryLoader()) {}
    ~PosixPortIo() override { Close(); }

protected:
    Route RouteFor(uint32_t portNumber) override {
        std::string path;
        const char* named = std::getenv(LptVariableName(portNumber).c_str());
        if (named != nullptr && named[0] != '\0') {
            path = named;
        } else if (portNumber >= 1) {
            path = "/dev/parport" + std::to_string(portNumber - 1);
        }
        Route route;
        if (!path.empty() && IsRegularFile(path)) {
            route.libraryPath = path;
        } else {
            device_.SetPath(path);
            route.native = &device_;
        }
        return route;
    }

private:
    PpdevPortIo device_;
};

} // namespace

PortIo& SystemPortIo() {
    static PosixPortIo ports;
    return ports;
}

} // namespace pyrola
