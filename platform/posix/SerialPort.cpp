// Serial ports on POSIX terminals: raw mode, 8 data bits, the chosen parity, 1 stop bit,
// no flow control; DTR and RTS through the modem-control ioctls; queue counts through
// FIONREAD and TIOCOUTQ; purges through tcflush.

#include "platform/posix/SerialPort.h"

#include "platform/SerialPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pyrola {

namespace posix {

void ApplySerialTermios(termios& tio, uint8_t parity) {
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    if (parity != kParityNone) {
        tio.c_cflag |= PARENB;
        if (parity == kParityOdd)
            tio.c_cflag |= PARODD;
        tio.c_iflag |= INPCK;
    }
    // Reads never block: the link reads only bytes it knows are waiting.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

int ModemBits(int current, bool dtr, bool rts) {
    int bits = current & ~(TIOCM_DTR | TIOCM_RTS);
    if (dtr)
        bits |= TIOCM_DTR;
    if (rts)
        bits |= TIOCM_RTS;
    return bits;
}

} // namespace posix

namespace {

// strerror_r comes in a GNU flavour (returns the text) and a POSIX one (fills the buffer);
// either way the text ends up here. strerror itself is not safe on the worker thread.
[[maybe_unused]] std::string PickErrorText(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string PickErrorText(const char* text, const char* /*buffer*/) {
    return text != nullptr ? std::string(text) : std::string();
}

std::string ErrnoText(int error) {
    char buffer[256] = {};
    std::string text = PickErrorText(strerror_r(error, buffer, sizeof(buffer)), buffer);
    return text.empty() ? "system error " + std::to_string(error) : text;
}

speed_t SpeedCode(uint32_t baudRate) {
    switch (baudRate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

bool SameExceptParity(const termios& a, const termios& b) {
    const tcflag_t parity = PARENB | PARODD;
    return (a.c_cflag & ~parity) == (b.c_cflag & ~parity) && a.c_iflag == b.c_iflag &&
           a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}

class PosixSerialPort : public SerialPort {
public:
    ~PosixSerialPort() override { Close(); }

    bool Open(const std::string& name, uint32_t baudRate, uint8_t parity, uint32_t /*queueSize*/,
              SerialLines idle) override {
        // The terminal driver sizes its own queues; the size has no POSIX counterpart.
        Close();
        const std::string path = SerialDevicePath(name);
        const speed_t speed = SpeedCode(baudRate);
        lastError_ = SerialOpenError{0, path, std::string()};
        if (path.empty())
            return Refuse(ENOENT, "no such port");
        if (speed == B0)
            return Refuse(EINVAL, "baud rate " + std::to_string(baudRate) + " not supported");
        if (parity > kParityEven)
            return Refuse(EINVAL, "parity code " + std::to_string(parity) + " not supported");
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0 && (errno == EACCES || errno == EPERM)) {
            // Serial devices belong to a group (dialout on Debian) that a new user is not in.
            const int error = errno;
            return Refuse(error, ErrnoText(error) +
                                     " (the device's group may open it: on Debian, sudo usermod -aG dialout "
                                     "$USER and log in again)");
        }
        if (fd < 0)
            return Refuse(errno, ErrnoText(errno));
        if (!isatty(fd)) {
            ::close(fd);
            return Refuse(ENOTTY, "not a serial port (no terminal device)");
        }
        // The idle levels first, in one step: whatever the system raised on open goes
        // straight to them. A pseudo-terminal has no modem lines; that is no reason to fail.
        SetLines(fd, idle);
        // No sharing, as a COM port is opened exclusively.
        (void)ioctl(fd, TIOCEXCL);
        termios tio{};
        if (tcgetattr(fd, &tio) != 0)
            return Fail(fd, errno);
        posix::ApplySerialTermios(tio, parity);
        if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)
            return Fail(fd, errno);
        if (const int error = ApplyTermios(fd, tio); error != 0)
            return Fail(fd, error);
        // Writes are synchronous, as on the Windows side.
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
            return Fail(fd, errno);
        fd_ = fd;
        Purge(kPurgeTxAbort | kPurgeTxClear);
        Purge(kPurgeRxAbort | kPurgeRxClear);
        return true;
    }

    bool Close() override {
        if (fd_ < 0)
            return true;
        // The exclusive flag belongs to the terminal, not to this descriptor: left set, it
        // would lock out the next open while anyone else holds the terminal.
        (void)ioctl(fd_, TIOCNXCL);
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

    bool IsOpen() const override { return fd_ >= 0; }
    SerialOpenError LastOpenError() const override { return lastError_; }

    bool SetBaudRate(uint32_t baudRate) override {
        const speed_t speed = SpeedCode(baudRate);
        termios tio{};
        if (fd_ < 0 || speed == B0 || tcgetattr(fd_, &tio) != 0)
            return false;
        if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)
            return false;
        // Bytes already written go out at the old rate first.
        (void)tcdrain(fd_);
        return ApplyTermios(fd_, tio) == 0;
    }

    bool SetDtr(bool on) override { return ModemLine(TIOCM_DTR, on); }
    bool SetRts(bool on) override { return ModemLine(TIOCM_RTS, on); }

    uint32_t Write(const uint8_t* data, uint32_t count) override {
        return Repeat(count, [&](uint32_t done) { return ::write(fd_, data + done, count - done); });
    }

    uint32_t Read(uint8_t* data, uint32_t count) override {
        return Repeat(count, [&](uint32_t done) { return ::read(fd_, data + done, count - done); });
    }

    bool Poll(SerialStatus& status) override {
        status = SerialStatus{};
        if (fd_ < 0)
            return false;
        int waiting = 0;
        int pending = 0;
        const bool in = ioctl(fd_, FIONREAD, &waiting) == 0;
        const bool out = ioctl(fd_, TIOCOUTQ, &pending) == 0;
        status.inputQueue = in && waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
        status.outputQueue = out && pending > 0 ? static_cast<uint32_t>(pending) : 0;
        return in && out;
    }

    bool Purge(uint32_t flags) override {
        if (fd_ < 0)
            return false;
        // Nothing is ever queued asynchronously, so the abort flags need no action.
        const bool tx = (flags & kPurgeTxClear) != 0;
        const bool rx = (flags & kPurgeRxClear) != 0;
        if (tx && rx)
            return tcflush(fd_, TCIOFLUSH) == 0;
        if (tx)
            return tcflush(fd_, TCOFLUSH) == 0;
        if (rx)
            return tcflush(fd_, TCIFLUSH) == 0;
        return true;
    }

private:
    // Calls `call` (given the count so far) until count bytes have moved, the call moves
    // nothing or fails; an interrupted call is repeated. The number of bytes moved.
    template <class Call> uint32_t Repeat(uint32_t count, Call call) {
        if (fd_ < 0)
            return 0;
        uint32_t done = 0;
        while (done < count) {
            const ssize_t n = call(done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<uint32_t>(n);
        }
        return done;
    }

    bool Refuse(int error, std::string reason) {
        lastError_.code = static_cast<uint32_t>(error);
        lastError_.reason = std::move(reason);
        return false;
    }

    bool Fail(int fd, int error) {
        ::close(fd);
        return Refuse(error, ErrnoText(error));
    }

    // Applies `tio`; 0, or the error number of a setting that was not taken.
    static int ApplyTermios(int fd, const termios& tio) {
        if (tcsetattr(fd, TCSANOW, &tio) == 0)
            return 0;
        // A pseudo-terminal has no wire and drops the parity bits, which the C library
        // reports as a failure; every other setting must have been taken.
        const int error = errno;
        termios applied{};
        if (tcgetattr(fd, &applied) != 0 || !SameExceptParity(applied, tio))
            return error;
        return 0;
    }

    static void SetLines(int fd, SerialLines lines) {
        int bits = 0;
        if (ioctl(fd, TIOCMGET, &bits) != 0)
            return;
        bits = posix::ModemBits(bits, lines.dtr, lines.rts);
        (void)ioctl(fd, TIOCMSET, &bits);
    }

    bool ModemLine(int line, bool on) {
        if (fd_ < 0)
            return false;
        return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0;
    }

    int fd_ = -1;
    SerialOpenError lastError_;
};

class PosixSerialPortFactory : public SerialPortFactory {
public:
    std::unique_ptr<SerialPort> Create() override { return std::make_unique<PosixSerialPort>(); }
};

} // namespace

SerialPortFactory& SystemSerialPorts() {
    static PosixSerialPortFactory factory;
    return factory;
}

std::string SerialDevicePath(const std::string& portName) {
    const int64_t number = ComPortNumber(portName);
    if (number < 0)
        return portName;
    if (number < 1)
        return std::string();
    const std::string variable = "PYROLA_COM" + std::to_string(number);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && value[0] != '\0')
        return value;
    return "/dev/ttyS" + std::to_string(number - 1);
}

} // namespace pyrola
