#pragma once
// The port layer under the loader protocol: opens the COM port with fixed line settings,
// drives DTR (the target's reset line) and RTS (its test line) for the two start-up
// sequences, writes bytes, and waits for received bytes by polling the driver's queue
// against the millisecond clock. It knows nothing of frames.
//
// The sequences are written for the standard interface circuit; a cable that inverts or
// swaps the two lines (`wiring`) is served by mapping every line change, so that the
// target sees the same levels, the idle levels included.

#include "adapters/bsl/BslLineOptions.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <cstdint>
#include <memory>
#include <string>

namespace pyrola {

class SerialLink {
public:
    SerialLink(SerialPortFactory& ports, Clock& clock) : ports_(ports), clock_(clock) {}

    // Opens portName with the current baud rate, parity and queue size (an open port is
    // closed first), the lines at their idle levels from the start. On failure the system
    // error is kept and the link is closed.
    bool OpenPort();
    // Waits up to phaseTimeout ms for the output queue to drain, then closes. False only
    // when the system refused to close; the link is closed afterwards in every case.
    bool ClosePort();
    bool IsOpen() const { return port_ != nullptr && port_->IsOpen(); }

    bool SetDtr(bool on);
    bool SetRts(bool on);
    // The reset and test lines as the standard circuit sees them (on = what DTR on and RTS
    // on give there: reset released, test low), through `wiring` to DTR and RTS.
    bool SetResetLine(bool on);
    bool SetTestLine(bool on);
    // Switches the open port to another rate; baudRate follows on success.
    bool SetBaudRate(uint32_t rate);
    uint32_t Write(const uint8_t* data, uint32_t count);
    // One status poll: clears a line error, refreshes `status`, returns the input count.
    uint32_t PollInput();
    // Polls every millisecond until count bytes wait or limitMs have passed; the number of
    // bytes waiting when the wait ended.
    uint32_t WaitForInput(uint32_t count, uint32_t limitMs);
    // Waits as WaitForInput; reads exactly count bytes when that many wait, else nothing.
    uint32_t ReadWait(uint8_t* buffer, uint32_t count, uint32_t limitMs);
    bool Purge(uint32_t flags);

    // Restarts the target into its bootstrap loader: two test-line pulses while reset is
    // held, reset released with the test line high.
    void InvokeBsl();
    // Restarts the target into its own program: one reset pulse, test line left on.
    void RestartTarget();

    Clock& clock() { return clock_; }

    std::string portName;
    BslWiring wiring;
    uint32_t baudRate = 9600;
    uint32_t queueSize = 2048;
    uint8_t parity = kParityNone;
    uint32_t lastSystemError = 0;  // of the most recent failed open; for inspection only
    SerialOpenError lastOpenError; // the same failure: the device tried and the system's reason
    SerialStatus status;           // refreshed by every poll
    // The open port stopped answering the system (a USB serial adapter unplugged): every
    // wait ends at once. Cleared by the next open.
    bool gone = false;
    // Protocol time-outs kept beside the link: the per-phase limit (also the drain limit
    // of ClosePort) and the multiplier for the wait on a frame's first answer byte.
    uint32_t phaseTimeout = 500;
    uint32_t headerMultiplier = 6;

private:
    // One line change, then the level held long enough for the chip to take it in.
    void HoldReset(bool on);
    void HoldTest(bool on);

    SerialPortFactory& ports_;
    Clock& clock_;
    std::unique_ptr<SerialPort> port_;
};

} // namespace pyrola
