#include "sim/ChipBus.h"

namespace pyrola::sim {

namespace {

constexpr uint16_t kFlashBusyWord = 0x3FFF;

} // namespace

uint16_t ChipBus::ReadFlashWord(uint16_t address) const {
    if (flash_.Busy()) {
        return kFlashBusyWord;
    }
    return static_cast<uint16_t>(device_.Read(address) | device_.Read(address + 1u) << 8);
}

uint16_t ChipBus::ReadWord(uint16_t address) const {
    address &= 0xFFFE;
    if (address == kWatchdogRegister) {
        return watchdog_.Read();
    }
    if (flash_.IsRegister(address)) {
        return flash_.ReadRegister(address);
    }
    if (device_.IsFlash(address)) {
        return ReadFlashWord(address);
    }
    return static_cast<uint16_t>(device_.Read(address) | device_.Read(address + 1u) << 8);
}

uint8_t ChipBus::ReadByte(uint16_t address) const {
    const uint16_t word = ReadWord(address);
    return static_cast<uint8_t>((address & 1) != 0 ? word >> 8 : word & 0xFF);
}

void ChipBus::WriteWord(uint16_t address, uint16_t value, uint64_t nowNs) {
    address &= 0xFFFE;
    if (address == kWatchdogRegister) {
        resetRequested_ |= !watchdog_.Write(value);
        return;
    }
    if (flash_.IsRegister(address)) {
        resetRequested_ |= !flash_.WriteRegister(address, value);
        return;
    }
    if (device_.IsFlash(address)) {
        flash_.WriteFlash(address, value, false, nowNs);
        return;
    }
    const bool low = device_.Write(address, static_cast<uint8_t>(value & 0xFF));
    const bool high = device_.Write(address + 1u, static_cast<uint8_t>(value >> 8));
    changed_ |= low || high;
}

void ChipBus::WriteByte(uint16_t address, uint8_t value, uint64_t nowNs) {
    const uint16_t word = static_cast<uint16_t>(address & 0xFFFE);
    if (word == kWatchdogRegister || flash_.IsRegister(word)) {
        // Word registers take no bytes: the password half is missing.
        resetRequested_ = true;
        return;
    }
    if (device_.IsFlash(address)) {
        flash_.WriteFlash(address, value, true, nowNs);
        return;
    }
    changed_ |= device_.Write(address, value);
}

bool ChipBus::TakeResetRequest() {
    const bool requested = resetRequested_;
    resetRequested_ = false;
    return requested;
}

bool ChipBus::TakeChanged() {
    const bool changed = changed_ || flash_.TakeChanged();
    changed_ = false;
    return changed;
}

} // namespace pyrola::sim
