#include "sim/Watchdog.h"

namespace pyrola::sim {

void Watchdog::Reset() {
    control_ = 0;
    count_ = 0;
}

uint32_t Watchdog::Interval() const {
    static constexpr uint32_t kIntervals[4] = {32768, 8192, 512, 64};
    return kIntervals[control_ & 0x03];
}

bool Watchdog::Write(uint16_t value) {
    if ((value & 0xFF00) != kWatchdogPassword) {
        return false;
    }
    control_ = static_cast<uint8_t>(value & ~kWatchdogClearCount);
    if ((value & kWatchdogClearCount) != 0) {
        count_ = 0;
    }
    return true;
}

bool Watchdog::Tick() {
    if (Held() || (control_ & kWatchdogFromAclk) != 0) {
        return false;
    }
    if (++count_ < Interval()) {
        return false;
    }
    count_ = 0;
    return (control_ & kWatchdogIntervalMode) == 0;
}

} // namespace pyrola::sim
