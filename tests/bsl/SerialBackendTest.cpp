// The real serial backends: port-name mapping, the Win32 line settings (checked without a
// port), and on POSIX a pseudo-terminal opened through the termios backend.

#include "platform/SerialPort.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include "platform/win32/SerialPort.h"
#else
#include "platform/posix/SerialPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace pyrola {
namespace {

TEST(ComPortNumber, AcceptsOnlyComFollowedByDigits) {
    EXPECT_EQ(ComPortNumber("COM1"), 1);
    EXPECT_EQ(ComPortNumber("com12"), 12);
    EXPECT_EQ(ComPortNumber("COM0"), 0);
    EXPECT_EQ(ComPortNumber("COM"), -1);
    EXPECT_EQ(ComPortNumber("COM1a"), -1);
    EXPECT_EQ(ComPortNumber("LPT1"), -1);
    EXPECT_EQ(ComPortNumber("/dev/ttyUSB0"), -1);
    EXPECT_EQ(ComPortNumber("COM99999999999"), -1);
}

#ifdef _WIN32

TEST(Win32Serial, EveryComNumberGoesThroughTheDeviceNamespace) {
    EXPECT_EQ(SerialDevicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(SerialDevicePath("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(SerialDevicePath("COM255"), "\\\\.\\COM255");
    EXPECT_EQ(SerialDevicePath("COM0"), "");
    EXPECT_EQ(SerialDevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
}

TEST(Win32Serial, LineSettingsAre8E1WithoutFlowControlAndBothLinesOn) {
    DCB dcb;
    memset(&dcb, 0xFF, sizeof(dcb)); // whatever the port had
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 0;
    dcb.fAbortOnError = 1;
    win32::ApplySerialLineSettings(dcb, 9600, 2);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(static_cast<uint8_t>(dcb.ErrorChar), 0xFF);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, unsigned(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, unsigned(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    // Idle levels other than both lines on, set in the same record.
    win32::ApplySerialLineSettings(dcb, 38400, 2, false, true);
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.fDtrControl, unsigned(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, unsigned(RTS_CONTROL_ENABLE));
    win32::ApplySerialLineSettings(dcb, 9600, 2, true, false);
    EXPECT_EQ(dcb.fDtrControl, unsigned(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, unsigned(RTS_CONTROL_DISABLE));
    // Left as the port had them.
    EXPECT_EQ(dcb.fDsrSensitivity, 1u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 1u);
    // No parity, no parity checking.
    win32::ApplySerialLineSettings(dcb, 9600, 0);
    EXPECT_EQ(dcb.fParity, 0u);
}

TEST(Win32Serial, TimeoutsAndEventMask) {
    COMMTIMEOUTS old{};
    old.ReadTotalTimeoutConstant = 1234;
    const COMMTIMEOUTS t = win32::SerialTimeouts(old);
    EXPECT_EQ(t.ReadIntervalTimeout, 50u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 50u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 50u);
    EXPECT_EQ(win32::kSerialEventMask, 0x87u);
}

TEST(Win32Serial, AMissingPortFailsAtOpenWithTheDeviceAndTheSystemsText) {
    auto port = SystemSerialPorts().Create();
    EXPECT_FALSE(port->Open("COM231", 9600, 2, 512));
    EXPECT_FALSE(port->IsOpen());
    const SerialOpenError failure = port->LastOpenError();
    EXPECT_NE(failure.code, 0u);
    EXPECT_EQ(failure.device, "\\\\.\\COM231");
    // The system's own text, not a bare number.
    EXPECT_FALSE(failure.reason.empty());
    EXPECT_EQ(failure.reason.find("system error"), std::string::npos) << failure.reason;
    EXPECT_NE(failure.reason.back(), '\n');
    EXPECT_TRUE(port->Close());
}

#else

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { unsetenv(name_); }

private:
    const char* name_;
};

TEST(PosixSerial, ComNamesMapToTheEnvironmentOrToTtyS) {
    unsetenv("PYROLA_COM3");
    EXPECT_EQ(SerialDevicePath("COM3"), "/dev/ttyS2");
    EXPECT_EQ(SerialDevicePath("COM10"), "/dev/ttyS9");
    {
        ScopedEnv env("PYROLA_COM3", "/tmp/some-pty");
        EXPECT_EQ(SerialDevicePath("COM3"), "/tmp/some-pty");
    }
    EXPECT_EQ(SerialDevicePath("COM0"), "");
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(PosixSerial, AFailedOpenNamesTheDeviceAndTheSystemsReason) {
    auto port = SystemSerialPorts().Create();
    {
        ScopedEnv env("PYROLA_COM77", "/nonexistent/port");
        EXPECT_FALSE(port->Open("COM77", 9600, kParityEven, 512));
        const SerialOpenError failure = port->LastOpenError();
        EXPECT_EQ(failure.code, uint32_t(ENOENT));
        EXPECT_EQ(failure.device, "/nonexistent/port");
        EXPECT_EQ(failure.reason, "No such file or directory");
    }
    {
        ScopedEnv env("PYROLA_COM78", "/dev/null");
        EXPECT_FALSE(port->Open("COM78", 9600, kParityEven, 512));
        EXPECT_EQ(port->LastOpenError().code, uint32_t(ENOTTY));
        EXPECT_EQ(port->LastOpenError().device, "/dev/null");
        EXPECT_NE(port->LastOpenError().reason.find("not a serial port"), std::string::npos);
    }
    if (geteuid() != 0) { // root opens anything
        char folder[] = "/tmp/pyrola-serial-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        const std::string locked = std::string(folder) + "/tty";
        const int fd = open(locked.c_str(), O_CREAT | O_WRONLY, 0);
        ASSERT_GE(fd, 0);
        close(fd);
        ScopedEnv env("PYROLA_COM79", locked);
        EXPECT_FALSE(port->Open("COM79", 9600, kParityEven, 512));
        EXPECT_EQ(port->LastOpenError().reason, "Permission denied");
        unlink(locked.c_str());
        rmdir(folder);
    }
    EXPECT_FALSE(port->IsOpen());
}

TEST(PosixSerial, TermiosSettingsAre8E1RawWithoutFlowControl) {
    termios tio{};
    tio.c_iflag = IXON | IXOFF | ICRNL | ISTRIP;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cflag = CS7 | CSTOPB | PARODD | CRTSCTS | HUPCL;
    posix::ApplySerialTermios(tio, kParityEven);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_TRUE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_FALSE(tio.c_cflag & HUPCL); // closing leaves the lines where they are
    EXPECT_TRUE(tio.c_cflag & CREAD);
    EXPECT_TRUE(tio.c_cflag & CLOCAL);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    posix::ApplySerialTermios(tio, kParityOdd);
    EXPECT_TRUE(tio.c_cflag & PARODD);
    posix::ApplySerialTermios(tio, kParityNone);
    EXPECT_FALSE(tio.c_cflag & (PARENB | PARODD));
    EXPECT_FALSE(tio.c_iflag & INPCK);
}

TEST(PosixSerial, IdleLevelsTouchOnlyTheTwoOutputs) {
    const int others = TIOCM_CTS | TIOCM_CAR | TIOCM_DSR;
    EXPECT_EQ(posix::ModemBits(others, true, true), others | TIOCM_DTR | TIOCM_RTS);
    EXPECT_EQ(posix::ModemBits(others | TIOCM_DTR | TIOCM_RTS, false, true), others | TIOCM_RTS);
    EXPECT_EQ(posix::ModemBits(TIOCM_DTR, true, false), TIOCM_DTR);
    EXPECT_EQ(posix::ModemBits(TIOCM_RTS | TIOCM_DTR, false, false), 0);
}

class PseudoTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
        setenv("PYROLA_COM41", slave.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("PYROLA_COM41");
        if (master >= 0)
            close(master);
    }
    // Bytes cross a pseudo-terminal through the kernel's buffers; wait for them by
    // polling the port's queue count (bounded, no sleeping).
    uint32_t WaitForQueue(SerialPort& port, uint32_t count) {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        SerialStatus status;
        while (port.Poll(status) && status.inputQueue < count && std::chrono::steady_clock::now() < give_up)
            sched_yield();
        return status.inputQueue;
    }
    int master = -1;
    std::string slave;
};

TEST_F(PseudoTerminal, OpensRawEightEvenOneAndMovesBytesBothWays) {
    // Opened before the port takes the terminal exclusively; it sees the settings the
    // port applies.
    const int probe = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    auto port = SystemSerialPorts().Create();
    ASSERT_TRUE(port->Open("COM41", 9600, kParityEven, 512)) << port->LastOpenError().reason;
    EXPECT_TRUE(port->IsOpen());
    termios tio{};
    ASSERT_EQ(tcgetattr(probe, &tio), 0);
    close(probe);
    // A pseudo-terminal keeps no parity bits (they are checked on the settings alone below).
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    // A switch of rate keeps every other setting.
    EXPECT_TRUE(port->SetBaudRate(38400));
    termios faster{};
    const int again = open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (again >= 0) { // the exclusive flag lets only root in
        ASSERT_EQ(tcgetattr(again, &faster), 0);
        close(again);
        EXPECT_EQ(cfgetospeed(&faster), speed_t(B38400));
        EXPECT_EQ(faster.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_TRUE(faster.c_iflag & INPCK);
    }
    EXPECT_FALSE(port->SetBaudRate(12345));

    // Host to target: every byte value passes untouched.
    uint8_t out[256];
    for (int i = 0; i < 256; ++i)
        out[i] = uint8_t(i);
    EXPECT_EQ(port->Write(out, 256), 256u);
    uint8_t seen[256];
    size_t got = 0;
    while (got < 256) {
        pollfd p{master, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 5000), 1);
        const ssize_t n = read(master, seen + got, 256 - got);
        ASSERT_GT(n, 0);
        got += size_t(n);
    }
    EXPECT_EQ(memcmp(out, seen, 256), 0);

    // Target to host: counted in the input queue, then read.
    const uint8_t answer[3] = {0x90, 0x0A, 0x0D};
    ASSERT_EQ(write(master, answer, 3), 3);
    ASSERT_EQ(WaitForQueue(*port, 3), 3u);
    uint8_t in[3] = {};
    EXPECT_EQ(port->Read(in, 3), 3u);
    EXPECT_EQ(memcmp(in, answer, 3), 0);

    // A purge of the receive side discards what waits.
    ASSERT_EQ(write(master, answer, 3), 3);
    ASSERT_EQ(WaitForQueue(*port, 3), 3u);
    EXPECT_TRUE(port->Purge(kPurgeRxAbort | kPurgeRxClear));
    SerialStatus status;
    EXPECT_TRUE(port->Poll(status));
    EXPECT_EQ(status.inputQueue, 0u);
    EXPECT_EQ(port->Read(in, 1), 0u); // reads never block

    EXPECT_TRUE(port->Close());
    EXPECT_FALSE(port->IsOpen());
    EXPECT_TRUE(port->Close());
}

TEST_F(PseudoTerminal, AnOpenPortIsBusyForASecondProgram) {
    auto first = SystemSerialPorts().Create();
    ASSERT_TRUE(first->Open("COM41", 9600, kParityEven, 512));
    auto second = SystemSerialPorts().Create();
    if (geteuid() != 0) { // the exclusive flag does not hold root back
        EXPECT_FALSE(second->Open("COM41", 9600, kParityEven, 512));
        EXPECT_EQ(second->LastOpenError().reason, "Device or resource busy");
        EXPECT_EQ(second->LastOpenError().device, slave);
    }
    EXPECT_TRUE(first->Close());
    EXPECT_TRUE(second->Open("COM41", 9600, kParityEven, 512));
}

TEST_F(PseudoTerminal, ASecondOpenOfTheSamePortReopensCleanly) {
    auto port = SystemSerialPorts().Create();
    ASSERT_TRUE(port->Open("COM41", 9600, kParityNone, 512));
    ASSERT_TRUE(port->Open("COM41", 9600, kParityEven, 512));
    EXPECT_TRUE(port->IsOpen());
    EXPECT_FALSE(port->Open("COM41", 12345, kParityEven, 512)); // no such rate
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->LastOpenError().reason, "baud rate 12345 not supported");
}

#endif

} // namespace
} // namespace pyrola
