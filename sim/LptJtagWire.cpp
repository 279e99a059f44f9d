#include "sim/LptJtagWire.h"

namespace pyrola::sim {

namespace {

constexpr uint8_t kCableEnables = 0x0C;
constexpr uint8_t kResetPair = 0x03;
constexpr uint8_t kSupplyLines = 0xF0;
constexpr uint8_t kTdoBit = 0x20;

} // namespace

namespace {

PortTimingSetup Steady(uint64_t accessNs) {
    PortTimingSetup setup;
    setup.accessNs = accessNs;
    return setup;
}

} // namespace

LptJtagWire::LptJtagWire(JtagTarget& target, VirtualClock& clock, uint64_t accessNs)
    : target_(target), clock_(&clock), timing_(Steady(accessNs)) {}

LptJtagWire::LptJtagWire(JtagTarget& target, std::function<uint64_t()> elapsedNs, uint64_t accessNs)
    : LptJtagWire(target, std::move(elapsedNs), Steady(accessNs)) {}

LptJtagWire::LptJtagWire(JtagTarget& target, std::function<uint64_t()> elapsedNs,
                         const PortTimingSetup& timing)
    : target_(target), elapsedNs_(std::move(elapsedNs)), timing_(timing) {}

bool LptJtagWire::Open(uint32_t portNumber) {
    if (failOpen) {
        description_ = "the simulated port LPT" + std::to_string(portNumber) + " could not be opened";
        open_ = false;
        return false;
    }
    open_ = true;
    base_ = LptBaseAddress(portNumber);
    description_ = "simulated JTAG wire on LPT" + std::to_string(portNumber);
    return true;
}

uint64_t LptJtagWire::NowNs() const {
    if (clock_ != nullptr) {
        return clock_->Nanoseconds();
    }
    return waitedNs_ + (elapsedNs_ ? elapsedNs_() : 0);
}

void LptJtagWire::Access() {
    ++accesses_;
    const uint64_t pauseNs = uint64_t{target_.Device().PortPauseBefore(accesses_)} * 1000000u;
    const uint64_t costNs = timing_.Cost(accesses_, NowNs()) + pauseNs;
    if (clock_ != nullptr) {
        clock_->Advance(costNs);
    } else {
        waitedNs_ += costNs;
    }
}

void LptJtagWire::SpinUntil(uint64_t ns) {
    const uint64_t now = NowNs();
    if (ns <= now) {
        return;
    }
    if (clock_ != nullptr) {
        clock_->Advance(ns - now);
    } else {
        waitedNs_ += ns - now;
    }
}

bool LptJtagWire::Unplugged() const {
    return noCable || target_.Device().JtagCableUnplugged();
}

void LptJtagWire::DrivePins() {
    if (Unplugged()) {
        return;
    }
    JtagTargetPins pins;
    if ((control_ & kCableEnables) == kCableEnables) {
        pins.jtag.tdi = (data_ & 0x01) != 0;
        pins.jtag.tms = (data_ & 0x02) != 0;
        pins.jtag.tck = (data_ & 0x04) != 0;
        pins.driven = true;
    }
    pins.resetAsserted = (control_ & kResetPair) == kResetPair;
    pins.supply = (data_ & kSupplyLines) == kSupplyLines;
    target_.SetPins(pins, NowNs());
}

void LptJtagWire::WritePort(uint16_t address, uint8_t value) {
    if (!open_) {
        return;
    }
    Access();
    if (address == base_ + kLptDataOffset) {
        data_ = value;
    } else if (address == base_ + kLptControlOffset) {
        const bool wasEnabled = (control_ & kCableEnables) != 0;
        control_ = value;
        released_ |= wasEnabled && (control_ & kCableEnables) == 0;
    } else {
        return;
    }
    DrivePins();
}

uint8_t LptJtagWire::ReadPort(uint16_t address) {
    if (!open_) {
        return 0xFF;
    }
    Access();
    if (Unplugged() || address != base_ + kLptStatusOffset) {
        return 0xFF;
    }
    return target_.Tdo() ? kTdoBit : 0;
}

bool LptJtagWire::TakeReleased() {
    const bool released = released_;
    released_ = false;
    return released;
}

} // namespace pyrola::sim
