#pragma once
// Byte-wide access to the registers of a PC parallel port, as the direct JTAG adapter
// needs it: open the access for port LPTn, write and read single I/O addresses, close.
// Backends: the WinIo port-I/O driver on Windows, ppdev (/dev/parportN) on POSIX, a
// port-I/O shared library (the simulated chip's JTAG pins) on both, and test doubles.
// Access is never an error at the byte level: writes while closed are dropped and reads
// while closed give 0xFF, as the pull-ups of an unconnected port read.

#include <cstdint>
#include <string>

namespace pyrola {

// I/O address of a port's data register; status is at +1, control at +2. LPT2 and LPT3
// have their own addresses, every other number (LPT1 included) uses LPT1's.
inline constexpr uint16_t LptBaseAddress(uint32_t portNumber) {
    return portNumber == 2 ? 0x278 : portNumber == 3 ? 0x3BC : 0x378;
}
inline constexpr uint16_t kLptDataOffset = 0;
inline constexpr uint16_t kLptStatusOffset = 1;
inline constexpr uint16_t kLptControlOffset = 2;

class PortIo {
public:
    virtual ~PortIo() = default;

    // Makes the registers of parallel port `portNumber` (1-based) reachable. True when
    // they are; an access that already serves that port is kept as it is.
    virtual bool Open(uint32_t portNumber) = 0;
    virtual bool IsOpen() const = 0;
    // One byte out to an I/O address; dropped while closed.
    virtual void WritePort(uint16_t address, uint8_t value) = 0;
    // One byte in; 0xFF while closed.
    virtual uint8_t ReadPort(uint16_t address) = 0;
    // Gives back what Open took. Closing a closed access does nothing.
    virtual void Close() = 0;
    // One line for the log: what the last Open used (driver, device file, library), or
    // what it tried and the system's reason when it failed. Empty before any Open.
    virtual std::string Describe() const = 0;

    // A port that keeps its own time (a simulated one) says what its time is now, in
    // nanoseconds; a real port has none and leaves `ns` alone.
    virtual bool ModelledNanoseconds(uint64_t* ns) {
        (void)ns;
        return false;
    }
    // The programmer waited that long between two accesses; only a port that keeps its own
    // time needs to hear it.
    virtual void Waited(uint32_t milliseconds) { (void)milliseconds; }
    // The programmer spun on the port's time until `ns` (a time ModelledNanoseconds gave);
    // only a port that keeps its own time moves it there.
    virtual void SpinUntil(uint64_t ns) { (void)ns; }
};

// This platform's parallel ports, for the whole process: LPTn is the simulated port
// library when $PYROLA_LPTn names one; otherwise the WinIo driver on Windows and the
// device $PYROLA_LPTn or /dev/parport<n-1> on POSIX.
PortIo& SystemPortIo();

// The environment variable that can name port n's device or library ("PYROLA_LPT1").
inline std::string LptVariableName(uint32_t portNumber) {
    return "PYROLA_LPT" + std::to_string(portNumber);
}

} // namespace pyrola
