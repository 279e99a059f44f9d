#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace pyrola {
namespace {

class SteadyClock : public Clock {
public:
    uint32_t TickCount() override {
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    void Sleep(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    uint64_t HighResolutionCounter() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    uint64_t HighResolutionFrequency() override { return 1000000000u; }
};

} // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

} // namespace pyrola
