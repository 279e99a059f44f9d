#include "sim/FlashController.h"

#include <algorithm>
#include <vector>

namespace pyrola::sim {

namespace {

// The timing generator's period on the chip's own clock, at the top of its window.
constexpr uint64_t kOwnClockCycleNs = 2101;

} // namespace

void FlashController::PowerUp() {
    control3_ = 0;
    Reset();
    massEraseNs_ = 0;
}

void FlashController::Reset() {
    control1_ = 0;
    control2_ = 0x42; // MCLK, divider 3
    // KEYV survives the PUC it causes, so that software can find why the chip reset; only
    // a write or a power-up clears it.
    control3_ = static_cast<uint8_t>(kFlashWait | kFlashLock | (control3_ & kFlashKeyViolation));
    job_ = FlashJob::None;
    cyclesLeft_ = 0;
    dividerCount_ = 0;
}

bool FlashController::IsRegister(uint16_t address) const {
    return address == kFlashCtl1 || address == kFlashCtl2 || address == kFlashCtl3;
}

uint16_t FlashController::ReadRegister(uint16_t address) const {
    switch (address) {
    case kFlashCtl1:
        return kFlashReadKey | control1_;
    case kFlashCtl2:
        return kFlashReadKey | control2_;
    default:
        return static_cast<uint16_t>(kFlashReadKey | control3_ | (Busy() ? kFlashBusy : 0));
    }
}

bool FlashController::WriteRegister(uint16_t address, uint16_t value) {
    if ((value & 0xFF00) != kFlashPassword) {
        control3_ |= kFlashKeyViolation;
        return false;
    }
    const uint8_t low = static_cast<uint8_t>(value & 0xFF);
    switch (address) {
    case kFlashCtl1:
    case kFlashCtl2:
        if (Busy()) {
            control3_ |= kFlashAccessViolation;
            return true;
        }
        if (address == kFlashCtl1) {
            control1_ = low & (kFlashErase | kFlashMassErase | kFlashWrite | kFlashBlockWrite);
        } else {
            control2_ = low;
        }
        return true;
    default:
        control3_ = static_cast<uint8_t>(
            (low & (kFlashKeyViolation | kFlashAccessViolation | kFlashLock | kFlashEmergencyExit)) |
            kFlashWait);
        if ((low & kFlashEmergencyExit) != 0) {
            job_ = FlashJob::None; // stops the operation where it is: no effect
        }
        return true;
    }
}

void FlashController::WriteFlash(uint16_t address, uint16_t value, bool byte, uint64_t nowNs) {
    if ((control3_ & kFlashLock) != 0 || Busy()) {
        control3_ |= kFlashAccessViolation;
        return;
    }
    const uint8_t erase = control1_ & (kFlashErase | kFlashMassErase);
    if (erase == kFlashErase) {
        job_ = FlashJob::SegmentErase;
        cyclesLeft_ = kFlashSegmentEraseCycles;
    } else if (erase == kFlashMassErase) {
        job_ = FlashJob::MainErase;
        cyclesLeft_ = kFlashMassEraseCycles;
    } else if (erase != 0) {
        job_ = FlashJob::MassErase;
        cyclesLeft_ = kFlashMassEraseCycles;
    } else if ((control1_ & kFlashWrite) != 0) {
        job_ = FlashJob::Write;
        cyclesLeft_ = kFlashWriteCycles;
    } else {
        control3_ |= kFlashAccessViolation;
        return;
    }
    address_ = byte ? address : static_cast<uint16_t>(address & 0xFFFE);
    value_ = value;
    byte_ = byte;
    dividerCount_ = 0;
    startNs_ = nowNs;
    ticks_ = 0;
    periodFast_ = false;
    periodSlow_ = false;
}

void FlashController::Tick(uint64_t nowNs) {
    if (!Busy() || (control2_ & kFlashSourceMask) == kFlashSourceAclk) {
        return;
    }
    if (++dividerCount_ <= (control2_ & kFlashDividerMask)) {
        return;
    }
    dividerCount_ = 0;
    if (ticks_++ == 0) {
        firstTickNs_ = nowNs;
    } else {
        const uint64_t period = nowNs - lastTickNs_;
        shortestNs_ = shortestNs_ == 0 ? period : std::min(shortestNs_, period);
        longestNs_ = std::max(longestNs_, period);
        periodFast_ = periodFast_ || period < kFlashShortestPeriodNs;
        periodSlow_ = periodSlow_ || period > kFlashLongestPeriodNs;
        periodsOut_ += period < kFlashShortestPeriodNs || period > kFlashLongestPeriodNs ? 1 : 0;
    }
    lastTickNs_ = nowNs;
    if (--cyclesLeft_ == 0) {
        Complete();
    }
}

void FlashController::RunToEnd(uint64_t nowNs) {
    if (Busy()) {
        // The rest runs on the chip's own clock, inside the window; what ran on TCLK counts.
        if (ticks_ == 0) {
            firstTickNs_ = lastTickNs_ = nowNs;
        }
        ticks_ += cyclesLeft_;
        lastTickNs_ += cyclesLeft_ * kOwnClockCycleNs;
        Complete();
    }
}

bool FlashController::MeasureWindow() {
    lastHz_ = 0;
    if (ticks_ < 2 || lastTickNs_ <= firstTickNs_) {
        return true;
    }
    lastHz_ = uint64_t{ticks_ - 1} * 1000000000u / (lastTickNs_ - firstTickNs_);
    // Erase cells take more time without harm: an erase is judged by its fast periods only.
    const bool erase = job_ != FlashJob::Write;
    const bool slowOk = erase || (!periodSlow_ && lastHz_ >= kFlashTimingLowHz);
    const bool inside = !periodFast_ && slowOk && lastHz_ <= kFlashTimingHighHz;
    outOfWindow_ += inside ? 0 : 1;
    return inside;
}

void FlashController::EraseWeakly() {
    const uint32_t start = device_.SegmentStart(address_);
    const uint32_t end = device_.SegmentEnd(address_);
    std::vector<uint8_t> before(end - start + 1);
    device_.ReadBlock(start, before.data(), static_cast<uint32_t>(before.size()));
    device_.EraseSegment(address_);
    for (uint32_t a = start; a <= end; ++a) {
        if (device_.IsFlash(a)) {
            device_.Poke(a, static_cast<uint8_t>(before[a - start] | ~kFlashWeakEraseBits));
        }
    }
}

uint64_t FlashController::OperationNs() const {
    if (ticks_ < 2 || lastTickNs_ <= firstTickNs_) {
        return uint64_t{ticks_} * kOwnClockCycleNs;
    }
    return (lastTickNs_ - firstTickNs_) * ticks_ / (ticks_ - 1);
}

uint64_t FlashController::RowProgramNs(uint16_t address) const {
    const auto row = rowNs_.find(address / kFlashRowBytes);
    return row == rowNs_.end() ? 0 : row->second;
}

void FlashController::ChargeRow(uint64_t ns) {
    const uint32_t row = address_ / kFlashRowBytes;
    uint64_t& sum = rowNs_[row];
    sum += ns;
    mostRowNs_ = std::max(mostRowNs_, sum);
    if (sum <= kFlashCumulativeProgramNs) {
        return;
    }
    ++overstressed_;
    for (uint32_t a = row * kFlashRowBytes; a < (row + 1) * kFlashRowBytes; ++a) {
        if (device_.IsFlash(a)) {
            device_.Poke(a, static_cast<uint8_t>(device_.Read(a) & ~kFlashDisturbBits));
        }
    }
}

void FlashController::ForgetRows(uint32_t start, uint32_t end) {
    rowNs_.erase(rowNs_.lower_bound(start / kFlashRowBytes), rowNs_.upper_bound(end / kFlashRowBytes));
}

void FlashController::Complete() {
    const FlashJob job = job_;
    const bool inside = MeasureWindow();
    job_ = FlashJob::None;
    cyclesLeft_ = 0;
    ++completed_;
    if (!inside) {
        value_ |= kFlashWeakWriteBits;
    }
    const MemoryBounds& b = device_.Bounds();
    switch (job) {
    case FlashJob::Write:
        massEraseNs_ = 0;
        changed_ = true;
        if (byte_) {
            device_.Write(address_, static_cast<uint8_t>(value_ & 0xFF));
        } else if (device_.Write(address_, static_cast<uint8_t>(value_ & 0xFF))) {
            device_.Write(address_ + 1u, static_cast<uint8_t>(value_ >> 8));
        }
        ChargeRow(OperationNs());
        return;
    case FlashJob::SegmentErase:
        massEraseNs_ = 0;
        changed_ = true;
        if (inside) {
            device_.EraseSegment(address_);
            ForgetRows(device_.SegmentStart(address_), device_.SegmentEnd(address_));
        } else {
            EraseWeakly();
        }
        break;
    case FlashJob::MainErase:
    case FlashJob::MassErase:
        massEraseNs_ += inside ? OperationNs() : 0;
        if (massEraseNs_ >= kFlashCumulativeMassEraseNs) {
            massEraseNs_ = 0;
            changed_ = true;
            if (job == FlashJob::MainErase) {
                device_.EraseMain();
                ForgetRows(b.mainStart, b.mainEnd);
            } else {
                device_.EraseMass();
                ForgetRows(0, 0xFFFF);
            }
        }
        break;
    case FlashJob::None:
        return;
    }
    control1_ &= static_cast<uint8_t>(~(kFlashErase | kFlashMassErase));
}

bool FlashController::TakeChanged() {
    const bool changed = changed_;
    changed_ = false;
    return changed;
}

} // namespace pyrola::sim
