#include "jobs/CancelEvent.h"

#include <chrono>

namespace pyrola {

void CancelEvent::Signal() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

bool CancelEvent::TryConsume() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool was = signalled_;
    signalled_ = false;
    return was;
}

bool CancelEvent::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

} // namespace pyrola
