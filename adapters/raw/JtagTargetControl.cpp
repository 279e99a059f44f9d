#include "adapters/raw/JtagTargetControl.h"

#include "adapters/TargetAdapter.h"
#include "adapters/raw/RawError.h"

#include <algorithm>

namespace pyrola {

namespace {

constexpr int kPollLimit = 50;
constexpr int kFuseTries = 3;
constexpr uint32_t kTapResetPhaseMs = 50;
constexpr uint32_t kSupplyOffMs = 3000;
constexpr uint32_t kSupplySettleMs = 10;

} // namespace

uint8_t JtagTargetControl::ShiftIr(uint8_t instruction) {
    LptJtagPort& p = port_;
    const bool tdi = p.TdiLevel();
    p.SetTms(true);
    p.SetTck(kLineRise);
    p.SetTck(kLineRise);
    p.SetTms(false);
    p.SetTck(kLineRise);
    p.SetTck(kLineRise);
    uint8_t captured = 0;
    for (int i = 0; i < 8; ++i) {
        p.SetTdi(((instruction >> i) & 1) != 0);
        if (i == 7) {
            p.SetTms(true);
        }
        p.SetTck(kLineRise);
        captured = static_cast<uint8_t>((captured << 1) | (p.ReadTdo() ? 1 : 0));
    }
    p.SetTdi(tdi);
    ReturnToIdle();
    return captured;
}

uint16_t JtagTargetControl::ShiftDr(uint16_t value, int bits) {
    if (bits < 1) {
        return 0;
    }
    bits = std::min(bits, 16);
    LptJtagPort& p = port_;
    const bool tdi = p.TdiLevel();
    p.SetTms(true);
    p.SetTck(kLineRise);
    p.SetTms(false);
    p.SetTck(kLineRise);
    p.SetTck(kLineRise);
    uint32_t captured = 0;
    for (int i = bits - 1; i >= 0; --i) {
        p.SetTdi(((value >> i) & 1) != 0);
        if (i == 0) {
            p.SetTms(true);
        }
        p.SetTck(kLineRise);
        captured = (captured << 1) | (p.ReadTdo() ? 1u : 0u);
    }
    p.SetTdi(tdi);
    ReturnToIdle();
    return static_cast<uint16_t>(captured);
}

void JtagTargetControl::ShiftOut(uint32_t value, int bits, bool msbFirst, bool tdi) {
    LptJtagPort& p = port_;
    for (int i = 0; i < bits; ++i) {
        const int bit = msbFirst ? bits - 1 - i : i;
        const bool last = i == bits - 1;
        const uint8_t levels =
            static_cast<uint8_t>((((value >> bit) & 1) != 0 ? kLptTdi : 0) | (last ? kLptTms : 0));
        p.SetLines(kLptTdi | kLptTms | kLptTck, levels); // TCK low with the bit
        p.SetLines(kLptTck, kLptTck);                    // rising edge: shifted
    }
    // Exit1 -> Update -> Run-Test/Idle; TDI (TCLK there) back first.
    p.SetLines(kLptTdi | kLptTck, tdi ? kLptTdi : 0);
    p.SetLines(kLptTck, kLptTck);
    p.SetLines(kLptTms | kLptTck, 0);
    p.SetLines(kLptTck, kLptTck);
    p.SetLines(kLptTms, kLptTms);
}

void JtagTargetControl::ShiftIrOut(uint8_t instruction) {
    LptJtagPort& p = port_;
    const bool tdi = p.TdiLevel();
    p.SetLines(kLptTms, kLptTms);
    for (int i = 0; i < 2; ++i) { // Select-DR, Select-IR
        p.SetLines(kLptTck, 0);
        p.SetLines(kLptTck, kLptTck);
    }
    p.SetLines(kLptTms | kLptTck, 0);
    p.SetLines(kLptTck, kLptTck); // Capture-IR
    p.SetLines(kLptTck, 0);
    p.SetLines(kLptTck, kLptTck); // Shift-IR
    ShiftOut(instruction, 8, false, tdi);
}

void JtagTargetControl::ShiftDrOut(uint16_t value) {
    LptJtagPort& p = port_;
    const bool tdi = p.TdiLevel();
    p.SetLines(kLptTms, kLptTms);
    p.SetLines(kLptTck, 0);
    p.SetLines(kLptTck, kLptTck); // Select-DR
    p.SetLines(kLptTms | kLptTck, 0);
    p.SetLines(kLptTck, kLptTck); // Capture-DR
    p.SetLines(kLptTck, 0);
    p.SetLines(kLptTck, kLptTck); // Shift-DR
    ShiftOut(value, 16, true, tdi);
}

void JtagTargetControl::ReturnToIdle() {
    LptJtagPort& p = port_;
    p.SetTck(kLineLow);
    p.SetTck(kLineHigh);
    p.SetTms(false);
    p.SetTck(kLineLow);
    p.SetTck(kLineHigh);
    p.SetTms(true);
}

void JtagTargetControl::ResetTap() {
    LptJtagPort& p = port_;
    p.SetTck(kLineLow);
    // Two TMS pulses with TCK low also make the chip check its security fuse.
    p.SetTms(false);
    p.Sleep(kTapResetPhaseMs);
    p.SetTms(true);
    p.Sleep(kTapResetPhaseMs);
    p.SetTms(false);
    p.Sleep(kTapResetPhaseMs);
    p.SetTms(true);
    p.Sleep(kTapResetPhaseMs);
    for (int i = 0; i < 6; ++i) {
        p.SetTck(kLineRise); // Test-Logic-Reset
    }
    p.SetTck(kLineLow);
    p.SetTms(false);
    p.SetTck(kLineHigh); // Run-Test/Idle
}

int32_t JtagTargetControl::TestSecurityFuse() {
    for (int i = 0; i < kFuseTries; ++i) {
        ShiftIr(kIrControlCapture);
        if (ShiftDr(kFuseTestPattern) == kFuseBlownEcho) {
            return 0;
        }
    }
    ShiftDr(0);
    return -1;
}

int32_t JtagTargetControl::WaitInstructionFetch() {
    // Looked at before each clock: a CPU already about to fetch is not clocked into the
    // target's own program.
    ShiftIr(kIrControlCapture);
    for (int i = 0; i < kPollLimit; ++i) {
        if ((ShiftDr(0) & kControlInstructionFetch) != 0) {
            return 0;
        }
        port_.SetTdi(false);
        port_.SetTdi(true);
    }
    return -1;
}

void JtagTargetControl::HaltCpu() {
    // The CPU is about to fetch: the one falling TCLK edge that follows must be the one
    // that takes JMP $ from the data register, never a fetch from memory.
    WaitInstructionFetch();
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    ShiftIr(kIrData);
    ShiftDr(kInstrJmpSelf);
    port_.SetTclk(kLineFall);
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlRead);
    port_.SetTclk(kLineHigh);
}

void JtagTargetControl::ReleaseCpu() {
    port_.SetTclk(kLineLow);
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    ShiftIr(kIrAddressCapture);
    port_.SetTclk(kLineHigh);
}

int32_t JtagTargetControl::ExecutePuc() {
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlReset);
    ShiftDr(kControlNormal);
    port_.SetTclk(kLineRise);
    port_.SetTclk(kLineRise);
    port_.SetTclk(kLineLow);
    const uint8_t id = ShiftIr(kIrAddressCapture);
    port_.SetTclk(kLineHigh);
    // A reset restarts the watchdog; it is stopped whatever the identification said.
    WriteTargetMemory(16, kWatchdogAddress, kWatchdogStop);
    if (id != kJtagIdentification) {
        port_.errorNumber = kRawBadJtagId;
        return -1;
    }
    return 0;
}

int32_t JtagTargetControl::WaitForSync(uint16_t* last) {
    for (int i = 0; i < kPollLimit; ++i) {
        const uint16_t control = ShiftDr(0);
        if (last != nullptr) {
            *last = control;
        }
        if ((control & kControlSynchronized) != 0) {
            return 0;
        }
        if (i + 1 < kPollLimit) {
            port_.Sleep(1);
        }
    }
    return -1;
}

int32_t JtagTargetControl::SyncCpu() {
    ShiftIr(kIrControlCapture);
    uint16_t control = ShiftDr(0);
    port_.SetTdi(true);
    if ((control & kControlSynchronized) == 0) {
        ShiftIr(kIrControlWrite);
        ShiftDr(kControlNormal);
        if (WaitForSync(&control) != 0) {
            return -1;
        }
    }
    if ((control & kControlBit1) != 0) {
        port_.SetTdi(false);
        ShiftIr(kIrControlWrite);
        ShiftDr(kControlNormal);
        port_.SetTclk(kLineHigh);
    } else {
        ShiftIr(kIrControlWrite);
        ShiftDr(kControlNormal);
    }
    ShiftIr(kIrControlCapture);
    bool fetching = false;
    for (int i = 0; i < kPollLimit && !fetching; ++i) {
        port_.SetTclk(kLineRise);
        fetching = (ShiftDr(0) & kControlInstructionFetch) != 0;
    }
    if (!fetching) {
        return -1;
    }
    ShiftIr(kIrData);
    ShiftDr(kInstrNop);
    port_.SetTclk(kLineRise);
    ShiftIr(kIrControlCapture);
    return (ShiftDr(0) & kControlInstructionFetch) != 0 ? 0 : -1;
}

int32_t JtagTargetControl::ConnectTarget() {
    ResetTap();
    if (TestSecurityFuse() == 0) {
        return -1;
    }
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    if (ShiftIr(kIrControlCapture) != kJtagIdentification || WaitForSync(nullptr) != 0) {
        return -1;
    }
    if (ExecutePuc() != 0 || SyncCpu() != 0) {
        return -1;
    }
    return 0;
}

void JtagTargetControl::WriteTargetMemory(int width, uint16_t address, uint16_t value) {
    HaltCpu();
    port_.SetTdi(false);
    ShiftIr(kIrControlWrite);
    ShiftDr(width == 8 ? kControlByteWrite : kControlWordWrite);
    ShiftIr(kIrAddress);
    ShiftDr(address);
    ShiftIr(kIrDataToAddress);
    ShiftDr(value);
    port_.SetTclk(kLineHigh);
    port_.SetTclk(kLineLow);
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    ShiftIr(kIrAddressCapture);
    port_.SetTclk(kLineHigh);
}

int32_t JtagTargetControl::ReadWordsQuick(uint16_t address, uint32_t count, uint16_t* words) {
    WaitInstructionFetch();
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlReleaseLowByte);
    // The program counter goes one word before the first word read; a CPU that did not
    // take it would read from elsewhere, shifted, so nothing is read then.
    const uint16_t before = static_cast<uint16_t>(address - 2);
    const bool loaded = LoadProgramCounter(before, 2) == before;
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    if (!loaded) {
        return -1;
    }
    ShiftIr(kIrData);
    ShiftDr(kInstrJmpSelf);
    port_.SetTdi(true);
    port_.SetTdi(false);
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlRead);
    ShiftIr(kIrDataQuick);
    for (uint32_t i = 0; i < count; ++i) {
        port_.SetTclk(kLineFall);
        words[i] = ShiftDr(0);
    }
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlNormal);
    return 0;
}

uint16_t JtagTargetControl::LoadProgramCounter(uint16_t value, int pulses) {
    ShiftIr(kIrData);
    ShiftDr(kInstrMovImmPc);
    port_.SetTclk(kLineFall);
    ShiftDr(value);
    for (int i = 0; i < pulses; ++i) {
        port_.SetTclk(kLineFall);
    }
    ShiftIr(kIrAddressCapture);
    return ShiftDr(0);
}

bool JtagTargetControl::Reattach(bool execute, bool releaseJtag) {
    if (releaseJtag) {
        port_.ReleaseLines();
        return true;
    }
    // TAP reset, fuse test, identification, sync, PUC.
    if (ConnectTarget() != 0) {
        return false;
    }
    if (execute) {
        ShiftIr(kIrControlRelease);
    }
    return true;
}

bool JtagTargetControl::ResetThroughJtag(bool execute, bool releaseJtag) {
    ShiftIr(kIrControlWrite);
    ShiftDr(kControlReset);
    ShiftDr(kControlNormal);
    ShiftIr(kIrControlRelease);
    return Reattach(execute, releaseJtag);
}

bool JtagTargetControl::ResetThroughLines(bool execute, bool releaseJtag) {
    port_.ResetPulse();
    return Reattach(execute, releaseJtag);
}

bool JtagTargetControl::ResetBySupplyCycle(bool execute, bool releaseJtag) {
    port_.SupplyOff();
    port_.Sleep(kSupplyOffMs);
    port_.SupplyOn(kLptSupplyMillivolts);
    port_.Sleep(kSupplySettleMs);
    // The supply off let go of the lines: drive them again as the attach does.
    port_.ReleaseLines();
    port_.EnableLines();
    if (ConnectTarget() != 0) {
        return false;
    }
    if (execute) {
        ShiftIr(kIrControlRelease);
        if (releaseJtag) {
            port_.ReleaseLines();
        }
    }
    return true;
}

int32_t JtagTargetControl::ResetTarget(uint32_t methods, bool execute, bool releaseJtag) {
    if ((methods & kResetDebugInterface) != 0 && ResetThroughJtag(execute, releaseJtag)) {
        return 0;
    }
    if ((methods & kResetLine) != 0 && ResetThroughLines(execute, releaseJtag)) {
        return 0;
    }
    if ((methods & kResetSupplyCycle) != 0 && ResetBySupplyCycle(execute, releaseJtag)) {
        return 0;
    }
    port_.errorNumber = kRawResetFailed;
    return -1;
}

} // namespace pyrola
