#pragma once
// A clock whose time moves only when someone sleeps or advances it.

#include "platform/Clock.h"

#include <atomic>
#include <cstdint>

namespace pyrola {

class VirtualClock : public Clock {
public:
    uint32_t TickCount() override { return static_cast<uint32_t>(nanos_.load() / 1000000u); }
    void Sleep(uint32_t milliseconds) override { Advance(uint64_t(milliseconds) * 1000000u); }
    uint64_t HighResolutionCounter() override { return nanos_.load(); }
    uint64_t HighResolutionFrequency() override { return 1000000000u; }

    void Advance(uint64_t nanoseconds) { nanos_ += nanoseconds; }
    void AdvanceMs(uint64_t milliseconds) { Advance(milliseconds * 1000000u); }
    uint64_t Nanoseconds() const { return nanos_.load(); }
    uint64_t Milliseconds() const { return nanos_.load() / 1000000u; }

private:
    std::atomic<uint64_t> nanos_{0};
};

} // namespace pyrola
