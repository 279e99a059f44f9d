#pragma once
// The simulated parallel port behind the port-I/O library (sim/simport/): a cable to the
// JTAG pins of one simulated chip, set up from the environment as SimChipSetup.h says.
// The chip's state file is read at every Open and written, atomically, when the chip
// changed and the cable then lets go of it (the adapter releases its lines at the end of
// every job), when the supply is switched off, and at Close.
// Modelled time: each port access costs $PYROLA_SIM_PORT_NS nanoseconds (default 1000,
// 1 to 1,000,000), varied as PortTiming.h describes ($PYROLA_SIM_PORT_JITTER_NS,
// _COLD_NS, _CHANGE, _STALL), on top of the waits the programmer reports and the pauses of
// $PYROLA_SIM_FAULTS; a test may add its own clock's time. Real time never enters it, so a
// busy host does not change what the chip sees.

#include "sim/JtagTarget.h"
#include "sim/LptJtagWire.h"
#include "sim/SimChipSetup.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pyrola::sim {

class SimPortSession {
public:
    // Nanoseconds from an arbitrary start.
    using TimeSource = std::function<uint64_t()>;

    SimPortSession() : SimPortSession(ProcessEnvironment) {}
    explicit SimPortSession(SimEnvironment environment, TimeSource time = NoTime)
        : environment_(std::move(environment)), time_(std::move(time)) {}

    // 0, or -1 with the reason in Error().
    int32_t Open(uint32_t portNumber);
    void Write(uint32_t address, uint32_t value);
    uint32_t Read(uint32_t address);
    // 0, or -1 when the state file could not be written.
    int32_t Close();
    const char* Error() const { return error_.c_str(); }
    // The modelled time of the port, in nanoseconds.
    uint64_t NowNs() const { return wire_ ? wire_->NowNs() : 0; }
    // The programmer waited that long.
    void Wait(uint32_t milliseconds) {
        if (open_) {
            wire_->Waited(milliseconds);
        }
    }
    // The programmer spun until the port's time `ns`.
    void SpinUntil(uint64_t ns) {
        if (open_) {
            wire_->SpinUntil(ns);
        }
    }

    bool IsOpen() const { return open_; }
    DeviceModel* Model() { return chip_.model.get(); }
    LptJtagWire* Wire() { return wire_.get(); }

private:
    bool Persist();
    static uint64_t NoTime() { return 0; }

    SimEnvironment environment_;
    TimeSource time_;
    SimChip chip_;
    std::unique_ptr<JtagTarget> target_;
    std::unique_ptr<LptJtagWire> wire_;
    DeviceModel* wiredModel_ = nullptr;
    bool open_ = false;
    bool dirty_ = false;
    bool saveFailed_ = false;
    std::string error_ = "No error";
    uint64_t openedAtNs_ = 0;
};

} // namespace pyrola::sim
