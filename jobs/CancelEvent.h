#pragma once
// Auto-reset event: Signal sets it, the first TryConsume that finds it set clears it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pyrola {

class CancelEvent {
public:
    void Signal();
    // True when the event was set; the event is then clear again.
    bool TryConsume();
    // Waits at most the given time for the event, consuming it. True when it was set.
    bool WaitFor(uint32_t milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

} // namespace pyrola
