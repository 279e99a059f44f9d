#pragma once
// A serial (COM) port as the bootstrap-loader link needs it: opened by name with a baud
// rate, a parity and a queue size, always 8 data bits, 1 stop bit and no flow control;
// DTR and RTS driven by hand; bytes written synchronously; the driver's queue counts
// polled; bytes read only once they are waiting. Backends: Win32 COM ports, POSIX
// terminals, and the simulated loader's wire in tests.

#include <cstdint>
#include <memory>
#include <string>

namespace pyrola {

// Parity codes (the Win32 DCB values).
inline constexpr uint8_t kParityNone = 0;
inline constexpr uint8_t kParityOdd = 1;
inline constexpr uint8_t kParityEven = 2;

// Purge flags (the Win32 PurgeComm values).
inline constexpr uint32_t kPurgeTxAbort = 0x0001;
inline constexpr uint32_t kPurgeRxAbort = 0x0002;
inline constexpr uint32_t kPurgeTxClear = 0x0004;
inline constexpr uint32_t kPurgeRxClear = 0x0008;

// Why the most recent Open failed: the system's error code, the device that was tried and
// the system's own words for the failure ("No such file or directory", "Access is
// denied."). All empty or 0 before the first failure.
struct SerialOpenError {
    uint32_t code = 0;
    std::string device;
    std::string reason;
};

// Levels of the two modem-control outputs; true = on.
struct SerialLines {
    bool dtr = true;
    bool rts = true;
};

// What one status poll reports (the Win32 COMSTAT counts and the cleared error bits).
struct SerialStatus {
    uint32_t inputQueue = 0;  // bytes received and waiting to be read
    uint32_t outputQueue = 0; // bytes written and not yet sent
    uint32_t errors = 0;      // line errors that the poll cleared (backend-specific bits)
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the named port ("COM3"; the backend maps it to its device) with the modem lines
    // at `idle` from the start (no pulse through other levels where the system allows it)
    // and both queues purged. An open port is closed first. False on failure, with the
    // port closed and LastOpenError saying what was tried and why it failed.
    virtual bool Open(const std::string& name, uint32_t baudRate, uint8_t parity, uint32_t queueSize,
                      SerialLines idle = SerialLines{}) = 0;
    // Releases the port. False when the system reported a failure; the port counts as
    // closed either way. Closing a closed port succeeds.
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual SerialOpenError LastOpenError() const = 0;

    // Switches the open port to another rate, keeping every other setting. False when the
    // rate is not supported or the port is closed; the old rate then stays.
    virtual bool SetBaudRate(uint32_t baudRate) = 0;

    // One modem-control line; true = on. False when the line could not be set.
    virtual bool SetDtr(bool on) = 0;
    virtual bool SetRts(bool on) = 0;

    // Synchronous write; the number of bytes the driver accepted.
    virtual uint32_t Write(const uint8_t* data, uint32_t count) = 0;
    // Reads up to count bytes that are already waiting; the number read.
    virtual uint32_t Read(uint8_t* data, uint32_t count) = 0;
    // Clears any pending line error and reports the queue counts.
    virtual bool Poll(SerialStatus& status) = 0;
    // Discards queued data (kPurge* flags).
    virtual bool Purge(uint32_t flags) = 0;
};

// Makes port objects; the adapter owns what it gets. Tests hand in factories that make
// recording or simulated ports.
class SerialPortFactory {
public:
    virtual ~SerialPortFactory() = default;
    virtual std::unique_ptr<SerialPort> Create() = 0;
};

// The number n of a name "COMn" (letters in any case, n decimal without sign); -1 for
// any other name. Numbers too large for 32 bits count as other names.
inline int64_t ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 13)
        return -1;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M')
        return -1;
    int64_t number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number <= 0xFFFFFFFFll ? number : -1;
}

// The factory of this platform's real serial ports.
SerialPortFactory& SystemSerialPorts();

// The device this platform opens for a port name. Windows: "COMn" becomes "\\.\COMn"
// (the device namespace, which every port number needs from COM10 on). POSIX: "COMn"
// becomes $PYROLA_COMn when set, else /dev/ttyS<n-1>. Other names are used as given; a
// "COM" name with a number below 1 gives an empty text.
std::string SerialDevicePath(const std::string& portName);

} // namespace pyrola
