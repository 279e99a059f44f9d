#pragma once
// The simulated chip behind its JTAG logic: the 16-bit control-signal register, the JTAG
// address and data registers, the CPU, the memory bus with the watchdog and the flash
// controller, the reset pin. The register blocks read and write it; every TCLK cycle lets
// it do one bus cycle, the one the selected instruction and the control register ask for.
// While JTAG controls the CPU, TCLK is its clock: a rising edge starts a cycle (the bus
// shows the address, a read puts its word on the data bus), the falling edge ends it
// (writes take effect, the CPU takes the word and moves on, the timers count).
//
// Control-signal register bits:
// HALT_JTAG holds the CPU only once it is parked on a JMP $ (JtagCpu::Parked): set while the
// CPU is in the middle of another instruction, the CPU goes on with it on TCLK and JTAG's
// address register does not reach the bus.
//
//   0 R/W (1 read)   3 HALT_JTAG   4 BYTE   7 INSTR_LOAD (read only: the CPU fetches next)
//   9 TCE (read only: the CPU runs on TCLK)   10 TCE1 (JTAG controls the CPU)
//   11 PUC (the chip is held in reset while set)   12 RELEASE_LBYTE (the CPU drives R/W
//   and BYTE)   13 TAGFUNCSAT   14 SWITCH; the other bits read 0.

#include "sim/ChipBus.h"
#include "sim/DeviceModel.h"
#include "sim/FlashController.h"
#include "sim/JtagCpu.h"
#include "sim/JtagInstructions.h"
#include "sim/Watchdog.h"

#include <cstdint>

namespace pyrola::sim {

inline constexpr uint16_t kCtlRead = 0x0001;
inline constexpr uint16_t kCtlHalt = 0x0008;
inline constexpr uint16_t kCtlByte = 0x0010;
inline constexpr uint16_t kCtlInstructionLoad = 0x0080;
inline constexpr uint16_t kCtlSynchronized = 0x0200;
inline constexpr uint16_t kCtlJtagControl = 0x0400;
inline constexpr uint16_t kCtlReset = 0x0800;
inline constexpr uint16_t kCtlReleaseLowByte = 0x1000;
inline constexpr uint16_t kCtlFlashAccess = 0x2000;
inline constexpr uint16_t kCtlSwitch = 0x4000;
inline constexpr uint16_t kCtlWritable = kCtlRead | kCtlHalt | kCtlByte | kCtlJtagControl | kCtlReset |
                                         kCtlReleaseLowByte | kCtlFlashAccess | kCtlSwitch;

class JtagChip {
public:
    explicit JtagChip(DeviceModel& device);

    // Supply just switched on: the CPU runs its own program, JTAG controls nothing.
    void PowerUp();
    // The RST/NMI pin: asserted holds the chip in reset; the release restarts the CPU.
    void SetResetPin(bool asserted);

    // Written bits plus INSTR_LOAD and TCE as they are now.
    uint16_t ControlReadBack() const;
    void WriteControl(uint16_t value, uint64_t nowNs);
    // Instruction 0x15: JTAG lets go of the CPU, which runs on its own clock.
    void ReleaseControl(uint64_t nowNs);
    // The address bus: the JTAG address register while the CPU is halted, else the CPU's.
    uint16_t AddressBus() const;

    // TCLK edges while `block` is selected.
    void ClockRise(JtagBlock block);
    void ClockFall(JtagBlock block, uint64_t nowNs);

    uint16_t address = 0; // JTAG address register
    uint16_t data = 0;    // JTAG data register (also the signature register)
    uint16_t dataBus = 0; // the word the cycle in progress reads

    DeviceModel& Device() { return device_; }
    JtagCpu& Cpu() { return cpu_; }
    const JtagCpu& Cpu() const { return cpu_; }
    FlashController& Flash() { return flash_; }
    Watchdog& WatchdogTimer() { return watchdog_; }
    ChipBus& Bus() { return bus_; }
    // Resets so far (control bit, reset pin, watchdog, password violations).
    uint64_t Resets() const { return resets_; }
    // Instructions the CPU fetched from memory on TCLK (the target's own program running a
    // step), as opposed to those fed through the JTAG data register.
    uint64_t MemoryInstructionFetches() const { return memoryFetches_; }
    // True once memory changed since the last call.
    bool TakeChanged() { return bus_.TakeChanged(); }

private:
    void Reset();
    bool OnTclk() const;
    // HALT_JTAG set and the CPU parked: memory cycles are JTAG's.
    bool Halted() const;

    DeviceModel& device_;
    FlashController flash_;
    Watchdog watchdog_;
    ChipBus bus_;
    JtagCpu cpu_;
    uint16_t control_ = 0;
    bool resetPin_ = false;
    uint64_t resets_ = 0;
    uint64_t memoryFetches_ = 0;
};

} // namespace pyrola::sim
