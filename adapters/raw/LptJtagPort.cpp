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

void LptJtagPort::Attach() {
    SetTms(true);
    for (uint32_t i = 0; i < kLptAttachPulses; ++i) {
        SetTclk(kLineFall);
    }
    SupplyOn(kLptSupplyMillivolts);
    ReleaseLines();
    EnableLines();
}

} // namespace pyrola
