#include "adapters/raw/LptJtagPort.h"

namespace pyrola {

namespace {

constexpr uint32_t kLineSettleMs = 10;
constexpr uint32_t kResetHoldMs = 50;

} // namespace

void LptJtagPort::WriteData() {
    portIo.WritePort(static_cast<uint16_t>(base + kLptDataOffset), static_cast<uint8_t>(dataShadow));
}

void LptJtagPort::WriteControl() {
    portIo.WritePort(static_cast<uint16_t>(base + kLptControlOffset), static_cast<uint8_t>(controlShadow));
}

void LptJtagPort::SetDataBit(uint8_t mask, bool level) {
    dataShadow = level ? (dataShadow | mask) : (dataShadow & ~uint32_t{mask});
    WriteData();
}

void LptJtagPort::SetLines(uint8_t mask, uint8_t levels) {
    const uint32_t next = (dataShadow & ~uint32_t{mask}) | (levels & mask);
    if (next != dataShadow) {
        dataShadow = next;
        WriteData();
    }
}

void LptJtagPort::SetTdi(bool level) {
    SetDataBit(kLptTdi, level);
}

void LptJtagPort::SetTms(bool level) {
    SetDataBit(kLptTms, level);
}

void LptJtagPort::SetLine(uint8_t mask, int mode) {
    switch (mode) {
    case kLineLow:
    case kLineHigh:
        SetDataBit(mask, mode == kLineHigh);
        break;
    case kLineRise:
        SetDataBit(mask, false);
        SetDataBit(mask, true);
        break;
    default: // kLineFall
        SetDataBit(mask, true);
        SetDataBit(mask, false);
        break;
    }
}

void LptJtagPort::SetTck(int mode) {
    SetLine(kLptTck, mode);
}

void LptJtagPort::SetTclk(int mode) {
    SetLine(kLptTdi, mode);
}

bool LptJtagPort::ReadTdo() {
    return (portIo.ReadPort(static_cast<uint16_t>(base + kLptStatusOffset)) & kLptTdo) != 0;
}

void LptJtagPort::SupplyOn(uint32_t millivolts) {
    if (millivolts == 0) {
        SupplyOff();
        return;
    }
    dataShadow |= kLptSupplyFirst;
    WriteData();
    dataShadow |= kLptSupplyLast;
    WriteData();
    Sleep(kLineSettleMs);
}

void LptJtagPort::SupplyOff() {
    dataShadow &= ~uint32_t{kLptSupply};
    WriteData();
    Sleep(kLineSettleMs);
}

void LptJtagPort::SetResetPair(bool release) {
    if (release) {
        controlShadow &= ~uint32_t{kLptResetPair};
        WriteControl();
        Sleep(kLineSettleMs);
    } else {
        controlShadow |= kLptResetPair;
        WriteControl();
    }
}

void LptJtagPort::SetControlLine2(bool level) {
    Sleep(kLineSettleMs);
    controlShadow = level ? (controlShadow | kLptLine2) : (controlShadow & ~uint32_t{kLptLine2});
    WriteControl();
    Sleep(kLineSettleMs);
}

void LptJtagPort::EnableLines() {
    controlShadow |= kLptLine3;
    WriteControl();
    Sleep(kLineSettleMs);
    controlShadow |= kLptLine2;
    WriteControl();
    Sleep(kLineSettleMs);
}

void LptJtagPort::ReleaseLines() {
    controlShadow &= ~uint32_t{0x02 | kLptLine3};
    WriteControl();
    SetTdi(false);
    SetTms(true);
    SetTck(kLineHigh);
    SetTclk(kLineHigh);
    SetResetPair(true);
    SetControlLine2(false);
}

void LptJtagPort::ResetPulse() {
    controlShadow |= kLptResetPair;
    WriteControl();
    Sleep(kResetHoldMs);
    controlShadow &= ~uint32_t{kLptResetPair};
    WriteControl();
    Sleep(kLineSettleMs);
}

uint64_t LptJtagPort::NowNs() {
    uint64_t ns = 0;
    if (portIo.ModelledNanoseconds(&ns)) {
        return ns;
    }
    const uint64_t counts = clock.HighResolutionCounter();
    const uint64_t frequency = clock.HighResolutionFrequency();
    if (frequency == 0) {
        return 0;
    }
    // Whole seconds and the rest apart, so that the product cannot overflow.
    return counts / frequency * 1000000000u + counts % frequency * 1000000000u / frequency;
}

uint64_t LptJtagPort::MeasureAccess() {
    const uint64_t start = NowNs();
    for (uint32_t i = 0; i < kLptAccessSamples; ++i) {
        portIo.ReadPort(static_cast<uint16_t>(base + kLptStatusOffset));
    }
    const uint64_t total = NowNs() - start;
    accessNs_ = (total + kLptAccessSamples / 2) / kLptAccessSamples;
    if (accessNs_ == 0) {
        accessNs_ = 1;
    }
    return accessNs_;
}

bool LptJtagPort::PaceTclk(uint64_t accessNs) {
    accessNs_ = accessNs == 0 ? 1 : accessNs;
    const uint64_t targetNs = 1000000000u / kFlashClockTargetHz;
    uint64_t accesses = (targetNs + accessNs_ / 2) / accessNs_;
    if (accesses < 2) {
        accesses = 2; // two writes make a cycle
    }
    cycleAccesses_ = static_cast<uint32_t>(accesses);
    if (TclkHz() > kFlashClockHighHz) {
        ++cycleAccesses_;
    } else if (TclkHz() < kFlashClockLowHz && cycleAccesses_ > 2) {
        --cycleAccesses_;
    }
    flashTimingOk_ = TclkHz() >= kFlashClockLowHz && TclkHz() <= kFlashClockHighHz;
    return flashTimingOk_;
}

void LptJtagPort::Pad(uint32_t reads) {
    for (uint32_t i = 0; i < reads; ++i) {
        portIo.ReadPort(static_cast<uint16_t>(base + kLptStatusOffset));
    }
}

void LptJtagPort::TclkTrain(uint32_t count) {
    const uint32_t pad = cycleAccesses_ - 2;
    for (uint32_t i = 0; i < count; ++i) {
        SetDataBit(kLptTdi, true);
        Pad(pad / 2);
        SetDataBit(kLptTdi, false);
        Pad(pad - pad / 2);
    }
}

void LptJtagPort::Attach() {
    // A target the cable powers keeps its supply: the first write already has it on.
    dataShadow |= kLptSupply;
    SetTms(true);
    for (uint32_t i = 0; i < kLptAttachPulses; ++i) {
        SetTclk(kLineFall);
    }
    SupplyOn(kLptSupplyMillivolts);
    ReleaseLines();
    EnableLines();
}

} // namespace pyrola
