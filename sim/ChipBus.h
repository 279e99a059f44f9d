#pragma once
// The simulated chip's memory bus as the CPU and the JTAG logic use it: 16-bit words at
// even addresses (bit 0 of a word address is ignored) and single bytes. The watchdog and
// the flash controller answer at their registers; flash is written through the controller
// and reads 0x3FFF (JMP $) while it is busy; everything else is the device model's.
// A write that must reset the chip (a wrong password) is noted for the chip to act on.

#include "sim/DeviceModel.h"
#include "sim/FlashController.h"
#include "sim/Watchdog.h"

#include <cstdint>

namespace pyrola::sim {

class ChipBus {
public:
    ChipBus(DeviceModel& device, FlashController& flash, Watchdog& watchdog)
        : device_(device), flash_(flash), watchdog_(watchdog) {}

    uint16_t ReadWord(uint16_t address) const;
    uint8_t ReadByte(uint16_t address) const;
    void WriteWord(uint16_t address, uint16_t value, uint64_t nowNs);
    void WriteByte(uint16_t address, uint8_t value, uint64_t nowNs);

    // True once a write asked for a reset since the last call.
    bool TakeResetRequest();
    // True once memory or a register changed since the last call.
    bool TakeChanged();

private:
    uint16_t ReadFlashWord(uint16_t address) const;

    DeviceModel& device_;
    FlashController& flash_;
    Watchdog& watchdog_;
    bool resetRequested_ = false;
    bool changed_ = false;
};

} // namespace pyrola::sim
