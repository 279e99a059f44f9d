#pragma once
// Time as the core sees it. Tests and the simulator use a virtual clock whose sleeps
// advance time at once, so supply cycles and line waits cost nothing in a test run.

#include <cstdint>

namespace pyrola {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like GetTickCount.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // High-resolution counter and its frequency in counts per second.
    virtual uint64_t HighResolutionCounter() = 0;
    virtual uint64_t HighResolutionFrequency() = 0;
};

// The real clock of this platform.
Clock& SystemClock();

} // namespace pyrola
