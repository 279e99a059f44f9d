#include "sim/LptJtagWire.h"

namespace pyrola::sim {

namespace {

constexpr uint8_t kCableEnables = 0x0C;
constexpr uint8_t kResetPair = 0x03;
constexpr uint8_t kSupplyLines = 0xF0;
constexpr uint8_t kTdoBit = 0x20;

} // namespace

LptJtagWire::LptJtagWire(JtagTarget& target, VirtualClock& clock, uint64_t accessNs)
    : target_(target), clock_(&clock), accessNs_(accessNs) {}

LptJtagWire::LptJtagWire(JtagTarget& target, std::function<uint64_t()> elapsedNs, uint64_t accessNs)
    : target_(target), elapsedNs_(std::move(elapsedNs)), accessNs_(accessNs) {}

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
    return accesses_ * accessNs_ + waitedNs_ + (elapsedNs_ ? elapsedNs_() : 0);
}

void LptJtagWire::Access() {
    ++accesses_;
    const uint64_t pauseNs = uint64_t{target_.Device().PortPauseBefore(accesses_)} * 1000000u;
    if (clock_ != nullptr) {
        clock_->Advance(accessNs_ + pauseNs);
    } else {
        waitedNs_ += pauseNs;
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
