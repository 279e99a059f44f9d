#include "cli/FaultWatchdog.h"

#include "cli/Terminal.h"
#include "platform/FaultGuard.h"

#include <optional>

namespace pyrola::cli {

FaultWatchdog::FaultWatchdog() : faultsBefore_(CaughtFaultCount()), thread_([this] { Watch(); }) {}

FaultWatchdog::~FaultWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    thread_.join();
}

void FaultWatchdog::Watch() {
    std::optional<std::chrono::steady_clock::time_point> faultSeen;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stopping_; })) {
        if (!faultSeen && CaughtFaultCount() != faultsBefore_)
            faultSeen = std::chrono::steady_clock::now();
        if (faultSeen && std::chrono::steady_clock::now() - *faultSeen > kGrace)
            AbandonProcess("pyrola: the program did not end after a fault inside the adapter; giving up", 1);
    }
}

} // namespace pyrola::cli
