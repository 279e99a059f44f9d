#pragma once
// A JTAG host of the tests' own, driving the simulated chip's pins directly (not through
// the RAW adapter): TCK, TMS and TDI levels, shifts with TDO sampled after each falling
// TCK edge, TCLK through TDI in Run-Test/Idle. Every pin change takes `stepNs`.

#include "sim/JtagTarget.h"

#include <cstdint>
#include <vector>

namespace pyrola::test {

class JtagHost {
public:
    explicit JtagHost(sim::JtagTarget& target) : target_(target) {}

    uint64_t now = 0;
    uint64_t stepNs = 1000;
    sim::JtagTargetPins pins;

    void Apply() {
        now += stepNs;
        target_.SetPins(pins, now);
    }
    void Supply(bool on) {
        pins.supply = on;
        Apply();
    }
    void Tck(bool level) {
        pins.jtag.tck = level;
        Apply();
    }
    void Tms(bool level) {
        pins.jtag.tms = level;
        Apply();
    }
    void Tdi(bool level) {
        pins.jtag.tdi = level;
        Apply();
    }
    bool Tdo() const { return target_.Tdo(); }

    // One TAP clock with TMS at `tms`: TCK low, then high.
    void Clock(bool tms) {
        pins.jtag.tms = tms;
        Tck(false);
        Tck(true);
    }
    // Two TMS pulses with TCK low; the low phases last lowNs with TDI at `tdi`.
    void FuseCheck(bool tdi = true, uint64_t lowNs = 10000) {
        Tck(false);
        Tdi(tdi);
        for (int i = 0; i < 2; ++i) {
            Tms(false);
            now += lowNs;
            Tms(true);
        }
        Tdi(tclk_);
        Tck(true);
    }
    // Supply on, fuse check, TAP reset: ready for scans.
    void Attach() {
        pins.jtag = {};
        Supply(true);
        FuseCheck();
        ResetTap();
    }
    void ResetTap() {
        for (int i = 0; i < 5; ++i)
            Clock(true);
        Clock(false); // Run-Test/Idle
    }

    // Instruction scan from Run-Test/Idle; the captured bits, the first one out highest.
    uint8_t Ir(uint8_t code) {
        Clock(true);
        Clock(true);
        Clock(false);
        Clock(false); // Shift-IR
        uint32_t captured = 0;
        for (int i = 0; i < 8; ++i)
            captured = captured << 1 | Shift(((code >> i) & 1) != 0, i == 7);
        Finish();
        return static_cast<uint8_t>(captured);
    }
    // Data scan of `bits` bits, most significant first; the captured bits, first one highest.
    uint16_t Dr(uint16_t value, int bits = 16) {
        Clock(true);
        Clock(false);
        Clock(false); // Shift-DR
        uint32_t captured = 0;
        for (int i = bits - 1; i >= 0; --i)
            captured = captured << 1 | Shift(((value >> i) & 1) != 0, i == 0);
        Finish();
        return static_cast<uint16_t>(captured);
    }

    // TCLK (TDI while the TAP rests in Run-Test/Idle).
    void Tclk(bool level) {
        tclk_ = level;
        Tdi(level);
    }
    // Full TCLK cycles of two pin changes and `pulsePadNs` more: 3 us at the default steps,
    // 333 kHz, inside the flash timing generator's window.
    uint64_t pulsePadNs = 1000;
    void Pulses(uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            Tclk(true);
            Tclk(false);
            now += pulsePadNs;
        }
    }

    // Procedures from the vendor's JTAG guide, written afresh for the chip tests.
    uint16_t Control() {
        Ir(0x14);
        return Dr(0);
    }
    void SetControl(uint16_t word) {
        Ir(0x13);
        Dr(word);
    }
    // JTAG takes the CPU and clocks it until it fetches; false when it never does.
    bool TakeCpu() {
        SetControl(0x2401);
        for (int i = 0; i < 10; ++i) {
            if ((Control() & 0x0080) != 0)
                return true;
            Pulses(1);
        }
        return false;
    }
    // Halted with JMP $ fed; then memory cycles are the JTAG's.
    void Halt() {
        Ir(0x41);
        Dr(0x3FFF);
        Pulses(1);
        SetControl(0x2409);
    }
    void Write(uint16_t address, uint16_t value, bool byte = false) {
        SetControl(byte ? 0x2418 : 0x2408);
        Ir(0x83);
        Dr(address);
        Ir(0x85);
        Dr(value);
        Pulses(1);
        SetControl(0x2409);
    }
    uint16_t Read(uint16_t address) {
        SetControl(0x2409);
        Ir(0x83);
        Dr(address);
        Ir(0x85);
        Pulses(1);
        return Dr(0);
    }
    // MOV #value, PC through the data register, three cycles once the CPU is about to
    // fetch; leaves the CPU unhalted.
    void SetPc(uint16_t value) {
        TakeCpu();
        SetControl(0x3401);
        Ir(0x41);
        Dr(0x4030);
        Pulses(1);
        Dr(value);
        Pulses(2);
        SetControl(0x2401);
    }

private:
    int Shift(bool tdi, bool last) {
        pins.jtag.tdi = tdi;
        pins.jtag.tms = last;
        Tck(false);
        const int out = Tdo() ? 1 : 0;
        Tck(true);
        return out;
    }
    // Exit1 -> Update -> Run-Test/Idle, with TDI back at the TCLK level first.
    void Finish() {
        Tdi(tclk_);
        Clock(true);
        Clock(false);
    }

    sim::JtagTarget& target_;
    bool tclk_ = true;
};

} // namespace pyrola::test
