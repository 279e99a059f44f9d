#include "sim/JtagChip.h"

namespace pyrola::sim {

JtagChip::JtagChip(DeviceModel& device) : device_(device), flash_(device), bus_(device, flash_, watchdog_) {
    PowerUp();
}

void JtagChip::PowerUp() {
    control_ = 0;
    address = 0;
    data = 0;
    dataBus = 0;
    resetPin_ = false;
    flash_.PowerUp();
    watchdog_.Reset();
    cpu_.Reset();
}

void JtagChip::Reset() {
    ++resets_;
    flash_.Reset();
    watchdog_.Reset();
    cpu_.Reset();
}

void JtagChip::SetResetPin(bool asserted) {
    if (asserted && !resetPin_) {
        Reset();
    }
    resetPin_ = asserted;
}

bool JtagChip::OnTclk() const {
    return (control_ & kCtlJtagControl) != 0 && (control_ & kCtlReset) == 0 && !resetPin_;
}

bool JtagChip::Halted() const {
    return (control_ & kCtlHalt) != 0 && cpu_.Parked();
}

uint16_t JtagChip::ControlReadBack() const {
    uint16_t value = control_;
    if (OnTclk()) {
        value |= kCtlSynchronized;
        if (cpu_.InstructionFetch()) {
            value |= kCtlInstructionLoad;
        }
    }
    return value;
}

void JtagChip::WriteControl(uint16_t value, uint64_t nowNs) {
    control_ = value & kCtlWritable;
    if ((control_ & kCtlReset) != 0) {
        Reset();
    }
    if ((control_ & kCtlJtagControl) == 0) {
        flash_.RunToEnd(nowNs);
    }
}

void JtagChip::ReleaseControl(uint64_t nowNs) {
    control_ = 0;
    flash_.RunToEnd(nowNs);
}

uint16_t JtagChip::AddressBus() const {
    return Halted() ? address : cpu_.BusAddress();
}

void JtagChip::ClockRise(JtagBlock block) {
    if (!OnTclk()) {
        return;
    }
    const bool jtagAddress = Halted() && block == JtagBlock::DataToAddress;
    dataBus = bus_.ReadWord(jtagAddress ? address : cpu_.BusAddress());
}

void JtagChip::ClockFall(JtagBlock block, uint64_t nowNs) {
    if (!OnTclk()) {
        return; // the CPU is on its own clock or held in reset
    }
    if (watchdog_.Tick()) {
        Reset();
        return;
    }
    flash_.Tick(nowNs);
    // With RELEASE_LBYTE the CPU drives R/W and BYTE itself; a halted CPU then only reads.
    const bool jtagDrives = (control_ & kCtlReleaseLowByte) == 0;
    const bool read = !jtagDrives || (control_ & kCtlRead) != 0;
    const bool byte = jtagDrives && (control_ & kCtlByte) != 0;
    // Reads take what the bus showed during the cycle; its end is when writes happen.
    const uint16_t pc = cpu_.ProgramCounter();
    switch (block) {
    case JtagBlock::DataQuick:
        if (read) {
            data = dataBus;
        } else {
            bus_.WriteWord(pc, data, nowNs);
        }
        cpu_.StepProgramCounter();
        break;
    case JtagBlock::DataPsa:
        cpu_.StepProgramCounter();
        break;
    default:
        if (Halted()) {
            if (block == JtagBlock::DataToAddress) {
                if (read) {
                    const uint16_t shift = (address & 1) != 0 ? 8 : 0;
                    data = byte ? static_cast<uint16_t>((dataBus >> shift) & 0xFF) : dataBus;
                } else if (byte) {
                    bus_.WriteByte(address, static_cast<uint8_t>(data & 0xFF), nowNs);
                } else {
                    bus_.WriteWord(address, data, nowNs);
                }
            }
        } else {
            const bool fromJtag = block == JtagBlock::Data;
            if (!fromJtag && cpu_.InstructionFetch()) {
                ++memoryFetches_;
            }
            cpu_.Cycle([&](uint16_t at) { return fromJtag ? data : bus_.ReadWord(at); });
        }
        break;
    }
    if (bus_.TakeResetRequest()) {
        Reset();
    }
}

} // namespace pyrola::sim
