#include "sim/SimPortSession.h"

#include <string>

namespace pyrola::sim {

namespace {

constexpr uint8_t kSupplyLines = 0xF0;

} // namespace

int32_t SimPortSession::Open(uint32_t portNumber) {
    if (open_) {
        Close();
    }
    PortTimingSetup timing;
    if (!ReadPortTiming(environment_, &timing, &error_)) {
        return -1;
    }
    // One chip per parallel port when the state file's name holds "%p".
    const ChipSetupError setup =
        PrepareChip(PortEnvironment(environment_, std::to_string(portNumber)), chip_);
    if (setup != ChipSetupError::None) {
        error_ = ChipSetupErrorText(setup);
        return -1;
    }
    // A new chip (or the first) gets a fresh cable; a reloaded one keeps its pins' state.
    if (wiredModel_ != chip_.model.get() || wire_->AccessNs() != timing.accessNs) {
        target_ = std::make_unique<JtagTarget>(*chip_.model);
        wire_ = std::make_unique<LptJtagWire>(
            *target_, [this] { return time_() - openedAtNs_; }, timing);
        wiredModel_ = chip_.model.get();
        openedAtNs_ = time_(); // the wire's time only ever moves forward
    }
    wire_->Open(portNumber);
    open_ = true;
    dirty_ = false;
    saveFailed_ = false;
    error_ = "No error";
    return 0;
}

bool SimPortSession::Persist() {
    dirty_ = false;
    if (!SaveChip(chip_)) {
        saveFailed_ = true;
        error_ = "Simulated target state file could not be written";
        return false;
    }
    return true;
}

void SimPortSession::Write(uint32_t address, uint32_t value) {
    if (!open_) {
        return;
    }
    const bool supplied = (wire_->DataRegister() & kSupplyLines) == kSupplyLines;
    wire_->WritePort(static_cast<uint16_t>(address), static_cast<uint8_t>(value));
    dirty_ |= target_->TakeChanged();
    const bool supplyOff = supplied && (wire_->DataRegister() & kSupplyLines) != kSupplyLines;
    if ((wire_->TakeReleased() || supplyOff) && dirty_) {
        Persist();
    }
}

uint32_t SimPortSession::Read(uint32_t address) {
    return open_ ? wire_->ReadPort(static_cast<uint16_t>(address)) : 0xFF;
}

int32_t SimPortSession::Close() {
    if (!open_) {
        return 0;
    }
    open_ = false;
    wire_->Close();
    dirty_ |= target_->TakeChanged();
    if (dirty_) {
        Persist();
    }
    return saveFailed_ ? -1 : 0;
}

} // namespace pyrola::sim
