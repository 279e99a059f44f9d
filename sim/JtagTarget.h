#pragma once
// The simulated MSP430's JTAG port, from the chip's side of the pins: supply, RST/NMI,
// TCK, TMS, TDI in and TDO out, on one DeviceModel. It wires the TAP controller and the
// pins to the instruction register and the register blocks, and those to the chip (CPU,
// bus, watchdog, flash controller).
//
// What the chip does, as the family's JTAG guide describes it:
//   - Capture-IR loads the identification 0x89; Update-IR takes the shifted instruction.
//   - Capture-DR, Shift-DR and Update-DR go to the block the instruction selects; TDO
//     changes on falling TCK edges and is driven only in Shift-IR and Shift-DR (it reads
//     high otherwise, and while the chip has no supply).
//   - Chips with a TEST pin (TestPinChips.h) have JTAG pins only while TEST is high;
//     otherwise the pins are port pins: nothing reaches the TAP and TDO is not driven.
//   - After power-up JTAG access needs the fuse check: two TMS pulses whose low phase
//     lasts at least 5 us while TDI is high (the check's current flows into TDI, or into
//     TEST on chips that have one). A pulse
//     with TDI low, or too short, makes the chip take its fuse for blown until the next
//     power-up. A blown fuse (or no check yet) puts every data scan through the one-bit
//     bypass register, so 0xAAAA shifted in comes back as 0x5555.
//   - Without supply, a JTAG line the cable drives high feeds the chip through its input
//     protection diodes (counted as back-powering; a programmer must let go of the lines
//     and drive them low before it switches the supply off).
//   - Test-Logic-Reset selects the bypass instruction. Loading the bypass instruction, by
//     an instruction scan or by that reset, also releases the CPU (as 0x15 does).
// Time is the caller's, in nanoseconds.

#include "sim/DeviceModel.h"
#include "sim/JtagChip.h"
#include "sim/JtagPins.h"
#include "sim/JtagRegisters.h"

#include <cstdint>

namespace pyrola::sim {

// What the chip's pins see.
struct JtagTargetPins {
    JtagLines jtag;             // TCK, TMS, TDI
    bool resetAsserted = false; // RST/NMI held low
    bool supply = false;        // the target supply is on
    bool test = false;          // TEST driven high
    bool driven = false;        // the cable drives TCK, TMS and TDI (else they float)
};

inline constexpr uint64_t kFuseCheckLowNs = 5000;

class JtagTarget {
public:
    explicit JtagTarget(DeviceModel& device);

    void SetPins(const JtagTargetPins& pins, uint64_t nowNs);
    // TDO as the host reads it; true = high.
    bool Tdo() const { return !powered_ || tdo_; }

    bool Powered() const { return powered_; }
    // Pin changes that found the chip without supply while the cable drove one of its JTAG
    // lines high: current flowing in through the input protection back-powers the chip.
    uint64_t BackPoweredChanges() const { return backPowered_; }
    bool HasTestPin() const { return hasTestPin_; }
    // The fuse check is done and found the fuse intact: data scans reach the registers.
    bool JtagAccessible() const;
    bool FuseChecked() const { return fusePulses_ >= 2; }
    TapState State() const { return pins_.State(); }
    uint8_t Instruction() const { return instruction_; }
    uint64_t TclkCycles() const { return pins_.TclkCycles(); }
    uint64_t TckEdges() const { return pins_.TckRisingEdges(); }

    JtagChip& Chip() { return chip_; }
    DeviceModel& Device() { return device_; }
    // True once memory changed since the last call.
    bool TakeChanged() { return chip_.TakeChanged(); }

private:
    void PowerUp(const JtagTargetPins& pins);
    void PowerDown();
    void OnTmsEdge(const JtagEdges& edges, bool current, uint64_t nowNs);
    void OnTckRise(const JtagEdges& edges, bool tdi, uint64_t nowNs);
    void LoadInstruction(uint8_t code, uint64_t nowNs);
    void OnTckFall(uint64_t nowNs);
    JtagRegisterBlock& SelectedBlock();
    JtagBlock ClockedBlock() const;

    DeviceModel& device_;
    JtagChip chip_;
    JtagPins pins_;
    bool powered_ = false;
    uint64_t backPowered_ = 0;
    bool hasTestPin_ = false;
    bool jtagPins_ = true; // the pins are JTAG's (TEST high, or no TEST pin)
    bool tdo_ = true;
    uint8_t instruction_ = kJtagBypassInstruction;
    uint8_t irShift_ = 0;
    uint16_t drShift_ = 0;
    JtagRegisterBlock* scanBlock_ = nullptr;

    int fusePulses_ = 0;
    bool fuseReadBlown_ = false;
    bool tmsLowWithCurrent_ = false;
    uint64_t tmsLowSinceNs_ = 0;

    JtagBypassRegister bypass_;
    JtagControlRegister controlWrite_{chip_, true};
    JtagControlRegister controlRead_{chip_, false};
    JtagFuseRegister fuses_{chip_};
    JtagAddressRegister addressWrite_{chip_, true};
    JtagAddressRegister addressRead_{chip_, false};
    JtagDataRegister data_{chip_, true};
    JtagDataRegister signatureOut_{chip_, false};
    JtagSignatureRegister signature_{chip_};
};

} // namespace pyrola::sim
