#include "sim/JtagTarget.h"

#include "sim/TestPinChips.h"

namespace pyrola::sim {

JtagTarget::JtagTarget(DeviceModel& device)
    : device_(device), chip_(device), hasTestPin_(ChipHasTestPin(device.DeviceName())) {}

bool JtagTarget::JtagAccessible() const {
    return powered_ && FuseChecked() && !fuseReadBlown_ && !device_.SecurityFuseBlown();
}

void JtagTarget::PowerUp(const JtagTargetPins& pins) {
    powered_ = true;
    jtagPins_ = !hasTestPin_ || pins.test;
    pins_.Reset(pins.jtag);
    chip_.PowerUp();
    chip_.SetResetPin(pins.resetAsserted);
    instruction_ = kJtagBypassInstruction;
    irShift_ = 0;
    drShift_ = 0;
    scanBlock_ = &bypass_;
    tdo_ = true;
    fusePulses_ = 0;
    fuseReadBlown_ = false;
    tmsLowWithCurrent_ = false;
}

void JtagTarget::PowerDown() {
    powered_ = false;
    tdo_ = true;
}

void JtagTarget::SetPins(const JtagTargetPins& pins, uint64_t nowNs) {
    if (!pins.supply) {
        if (pins.driven && (pins.jtag.tck || pins.jtag.tms || pins.jtag.tdi)) {
            ++backPowered_;
        }
        if (powered_) {
            PowerDown();
        }
        // A chip that lost its supply comes back with the next supply.
        if (device_.PowerLost()) {
            device_.RestorePower();
        }
        return;
    }
    if (!powered_) {
        if (device_.PowerLost()) {
            return; // the supply went during a flash operation and has not been cycled
        }
        PowerUp(pins);
        return;
    }
    chip_.SetResetPin(pins.resetAsserted);
    const bool jtagPins = !hasTestPin_ || pins.test;
    if (!jtagPins) {
        jtagPins_ = false;
        tdo_ = true;
        return; // port pins: the TAP sees nothing
    }
    if (!jtagPins_) {
        jtagPins_ = true;
        pins_.Reset(pins.jtag); // the pins become JTAG's at the levels they have
        return;
    }
    const JtagEdges edges = pins_.Drive(pins.jtag);
    if (edges.tmsRise || edges.tmsFall) {
        OnTmsEdge(edges, hasTestPin_ ? pins.test : pins.jtag.tdi, nowNs);
    }
    if (edges.tckRise) {
        OnTckRise(edges, pins.jtag.tdi, nowNs);
    }
    if (edges.tckFall) {
        OnTckFall(nowNs);
    }
    if (edges.tclkRise) {
        chip_.ClockRise(ClockedBlock());
    }
    if (edges.tclkFall) {
        chip_.ClockFall(ClockedBlock(), nowNs);
    }
    if (device_.PowerLost()) {
        PowerDown();
    }
}

void JtagTarget::OnTmsEdge(const JtagEdges& edges, bool current, uint64_t nowNs) {
    if (FuseChecked()) {
        return;
    }
    if (edges.tmsFall) {
        tmsLowWithCurrent_ = current;
        tmsLowSinceNs_ = nowNs;
        return;
    }
    // The end of a pulse: the fuse was read if its current flowed long enough.
    const bool read = tmsLowWithCurrent_ && current && nowNs - tmsLowSinceNs_ >= kFuseCheckLowNs;
    fuseReadBlown_ = fuseReadBlown_ || !read;
    ++fusePulses_;
}

JtagRegisterBlock& JtagTarget::SelectedBlock() {
    if (!JtagAccessible()) {
        return bypass_;
    }
    switch (DecodeInstruction(instruction_)) {
    case JtagBlock::ControlWrite:
        return controlWrite_;
    case JtagBlock::ControlCapture:
    case JtagBlock::ControlRelease:
        return controlRead_;
    case JtagBlock::Fuses:
        return fuses_;
    case JtagBlock::Data:
    case JtagBlock::DataQuick:
    case JtagBlock::DataToAddress:
        return data_;
    case JtagBlock::DataPsa:
        return signature_;
    case JtagBlock::ShiftOutPsa:
        return signatureOut_;
    case JtagBlock::Address:
        return addressWrite_;
    case JtagBlock::AddressCapture:
        return addressRead_;
    case JtagBlock::Bypass:
        break;
    }
    return bypass_;
}

JtagBlock JtagTarget::ClockedBlock() const {
    return JtagAccessible() ? DecodeInstruction(instruction_) : JtagBlock::Bypass;
}

void JtagTarget::LoadInstruction(uint8_t code, uint64_t nowNs) {
    instruction_ = code;
    if (!JtagAccessible()) {
        return;
    }
    if (code == kJtagBypassInstruction || DecodeInstruction(code) == JtagBlock::ControlRelease) {
        chip_.ReleaseControl(nowNs);
    }
}

void JtagTarget::OnTckRise(const JtagEdges& edges, bool tdi, uint64_t nowNs) {
    switch (edges.before) {
    case TapState::CaptureIr:
        irShift_ = kJtagIrCapture;
        break;
    case TapState::ShiftIr:
        irShift_ = static_cast<uint8_t>((irShift_ >> 1) | (tdi ? 0x80 : 0));
        break;
    case TapState::CaptureDr:
        scanBlock_ = &SelectedBlock();
        drShift_ = scanBlock_->Capture();
        break;
    case TapState::ShiftDr:
        drShift_ = scanBlock_->Shift(drShift_, tdi);
        break;
    default:
        break;
    }
    if (edges.after == TapState::TestLogicReset) {
        LoadInstruction(kJtagBypassInstruction, nowNs);
    }
}

void JtagTarget::OnTckFall(uint64_t nowNs) {
    switch (pins_.State()) {
    case TapState::ShiftIr:
        tdo_ = (irShift_ & 1) != 0;
        return;
    case TapState::ShiftDr:
        tdo_ = scanBlock_->Output(drShift_);
        return;
    case TapState::UpdateIr:
        LoadInstruction(irShift_, nowNs);
        break;
    case TapState::UpdateDr:
        scanBlock_->Update(drShift_, nowNs);
        break;
    default:
        break;
    }
    tdo_ = true;
}

} // namespace pyrola::sim
