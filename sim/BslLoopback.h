#pragma once
// A serial port whose far end is the simulated bootstrap loader: the cable, the interface
// circuit (DTR drives the chip's reset line, RTS drives its test line through an inverter)
// and the wire at the port's rate, 8E1, all in virtual time. A write lasts as long as its
// bytes take on the wire; answers reach the input queue when their last bit has arrived.
// Bytes at a rate the other end is not set to are lost, as framing errors would lose them.
// The cable can invert either line or swap the two. Faults can drop, corrupt or delay
// single bytes, add random noise, refuse the open or fail the close.

#include "platform/SerialPort.h"
#include "platform/VirtualClock.h"
#include "sim/BslTarget.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace pyrola::sim {

enum class BslWireDirection { ToTarget, ToHost };

// What happens to one byte on the wire.
struct BslWireAction {
    bool drop = false;
    uint8_t flipMask = 0; // bits inverted on the way
    uint64_t delayNs = 0; // extra latency (later bytes cannot overtake it)
};

// Called for every byte with its direction and its number in that direction (from 0).
using BslWireFault = std::function<BslWireAction(BslWireDirection, uint64_t index, uint8_t byte)>;

// How the cable between the port and the interface circuit is wired: with all false, DTR
// reaches the reset input and RTS the test input as the circuit expects.
struct BslCable {
    bool resetInverted = false;
    bool testInverted = false;
    bool swapped = false; // DTR reaches the test input, RTS the reset input
};

class BslLoopback : public SerialPortFactory {
public:
    BslLoopback(BslTarget& target, VirtualClock& clock) : target_(target), clock_(clock) {}

    std::unique_ptr<SerialPort> Create() override;

    void SetWireFault(BslWireFault fault) { fault_ = std::move(fault); }
    // Random line noise: each byte in either direction has one bit flipped with
    // probability flipPerMillion / 10^6 and is lost with probability dropPerMillion / 10^6.
    void SetNoise(uint32_t seed, uint32_t flipPerMillion, uint32_t dropPerMillion = 0);

    BslCable cable;

    // Port faults.
    bool failOpen = false;  // the port does not exist
    uint32_t openError = 2; // system error of a refused open (file not found)
    bool failClose = false; // the system refuses to close the handle
    bool unplugged = false; // the port's device went away: every call on it fails

    // What the host did, for tests.
    std::vector<std::string> openedNames;
    uint64_t BytesToTarget() const { return toTarget_; }
    uint64_t BytesToHost() const { return toHost_; }
    bool PortOpen() const { return open_; }
    uint32_t HostBaudRate() const { return hostBaud_; }
    // Every DTR/RTS pair the port has set, in order (open and close included).
    std::vector<std::pair<bool, bool>> lineHistory;
    std::vector<uint64_t> lineTimesNs; // when each of them was set

private:
    friend class BslLoopbackPort;

    BslWireAction Apply(BslWireDirection direction, uint64_t index, uint8_t byte);
    void Collect();
    void SetLines(bool dtr, bool rts);

    BslTarget& target_;
    VirtualClock& clock_;
    BslWireFault fault_;
    bool noise_ = false;
    std::mt19937 random_;
    uint32_t flipPerMillion_ = 0;
    uint32_t dropPerMillion_ = 0;

    bool open_ = false;
    bool dtr_ = false;
    bool rts_ = false;
    uint32_t hostBaud_ = kBslBaudRate;
    uint64_t toTarget_ = 0;
    uint64_t toHost_ = 0;
    uint64_t lastArrivalNs_ = 0;
    std::deque<BslTimedByte> inFlight_; // answers still on the wire, by arrival time
    std::deque<uint8_t> received_;      // answers in the driver's input queue
};

} // namespace pyrola::sim
