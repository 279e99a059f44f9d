#pragma once
// Code that jumped out of a faulting vendor library may have left a lock of its own taken
// (the allocator's, the standard streams'), so that the program hangs after the fault was
// caught. While a watchdog lives, a fault the guard caught must be followed by the end of
// the run within a grace time; otherwise the process says so on standard error, without
// any lock, and ends with status 1. A production line gets an exit status either way.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace pyrola::cli {

class FaultWatchdog {
public:
    static constexpr std::chrono::seconds kGrace{10};

    FaultWatchdog();
    ~FaultWatchdog();

    FaultWatchdog(const FaultWatchdog&) = delete;
    FaultWatchdog& operator=(const FaultWatchdog&) = delete;

private:
    void Watch();

    // Taken before the thread starts: a fault caught while the thread is still starting
    // must not count as one from before.
    const uint32_t faultsBefore_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace pyrola::cli
