#include "platform/Clock.h"

#include <windows.h>

namespace pyrola {
namespace {

class WinClock : public Clock {
public:
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
    uint64_t HighResolutionCounter() override {
        LARGE_INTEGER value;
        QueryPerformanceCounter(&value);
        return static_cast<uint64_t>(value.QuadPart);
    }
    uint64_t HighResolutionFrequency() override {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<uint64_t>(value.QuadPart);
    }
};

} // namespace

Clock& SystemClock() {
    static WinClock clock;
    return clock;
}

} // namespace pyrola
