#include "adapters/raw/LptJtagPort.h"

#include <algorithm>
#include <cstdint>

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
    // A line driven high into a chip without supply powers it through its input diodes:
    // the drivers let go and the lines go low first.
    controlShadow &= ~uint32_t{kLptLine2 | kLptLine3 | kLptResetPair};
    WriteControl();
    dataShadow &= ~uint32_t{kLptTdi | kLptTms | kLptTck};
    WriteData();
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
    uint64_t samples[kLptAccessSamples];
    for (uint64_t& sample : samples) {
        const uint64_t start = NowNs();
        portIo.ReadPort(static_cast<uint16_t>(base + kLptStatusOffset));
        sample = NowNs() - start;
    }
    std::nth_element(samples, samples + kLptAccessSamples / 2, samples + kLptAccessSamples);
    return std::max<uint64_t>(samples[kLptAccessSamples / 2], 1);
}

bool LptJtagPort::PaceTclk(uint64_t accessNs) {
    writeNs_ = std::max<uint64_t>(accessNs, 1);
    flashTimingOk_ = PacedWaitNs() + writeNs_ <= kTclkSlowestPacedNs;
    return flashTimingOk_;
}

uint64_t LptJtagPort::PacedWaitNs() const {
    return kTclkTargetNs > kTclkFloorNs + writeNs_ ? kTclkTargetNs - writeNs_ : kTclkFloorNs;
}

void LptJtagPort::WaitUntil(uint64_t ns) {
    uint64_t now = 0;
    if (portIo.ModelledNanoseconds(&now)) {
        if (now < ns) {
            portIo.SpinUntil(ns);
        }
        return;
    }
    // A real clock moves between two reads within far fewer than this many tries.
    constexpr uint32_t kStandingReads = 1000;
    uint64_t last = NowNs();
    uint32_t same = 0;
    while (!clockStands_ && last < ns) {
        const uint64_t next = NowNs();
        same = next == last ? same + 1 : 0;
        clockStands_ = same >= kStandingReads;
        last = next;
    }
}

uint64_t LptJtagPort::PacedEdge(bool level, uint64_t notBefore) {
    WaitUntil(notBefore);
    const uint64_t before = NowNs();
    SetDataBit(kLptTdi, level);
    const uint64_t after = NowNs();
    lastWriteNs_ = std::min(lastWriteNs_, after - before);
    return after;
}

TclkTrainTiming LptJtagPort::TclkTrain(uint32_t count, uint32_t mark) {
    TclkTrainTiming timing;
    const uint64_t wait = PacedWaitNs();
    const uint64_t half = wait > writeNs_ ? (wait - writeNs_) / 2 : 0;
    lastWriteNs_ = UINT64_MAX;
    timing.startNs = NowNs();
    uint64_t rise = 0, fall = 0;
    auto period = [&timing](uint64_t ns) {
        timing.shortestNs = timing.shortestNs == 0 ? ns : std::min(timing.shortestNs, ns);
        timing.longestNs = std::max(timing.longestNs, ns);
    };
    for (uint32_t i = 0; i < count; ++i) {
        // Like edges at least `wait` apart, timed from after the earlier write returned: the
        // pins change somewhere inside a write, so they never see a shorter period. The
        // phases split the period (the wait and one write) about evenly.
        const uint64_t nextRise = PacedEdge(true, i == 0 ? 0 : std::max(rise + wait, fall + half));
        if (i > 0) {
            period(nextRise - rise);
        }
        rise = nextRise;
        const uint64_t nextFall = PacedEdge(false, i == 0 ? rise + half : std::max(fall + wait, rise + half));
        if (i > 0) {
            period(nextFall - fall);
        }
        fall = nextFall;
        if (i + 1 == mark) {
            timing.markNs = fall;
        }
    }
    timing.endNs = fall;
    // The port's speed as this train found it sets the next train's period.
    if (count > 1 && lastWriteNs_ != UINT64_MAX) {
        writeNs_ = std::max<uint64_t>(lastWriteNs_, 1);
    }
    return timing;
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
