#pragma once
// The recording bus, plus a way to wait for the worker's end-of-list notice; and a shell
// fixture whose worker reports to it.

#include "../app/ShellFixture.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace pyrola::test {

class NotifyingBus : public RecordingBus {
public:
    void Post(uint32_t code, uintptr_t value) override {
        RecordingBus::Post(code, value);
        std::lock_guard lock(mutex_);
        if (code == kBusJobState && value == 1000)
            ++ends_;
        changed_.notify_all();
    }
    bool WaitForListEnds(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return ends_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int ends_ = 0;
};

class WorkerShell : public ShellFixture {
protected:
    void StartWithNotifyingBus() { StartOn(notifying); }
    NotifyingBus notifying;
};

} // namespace pyrola::test
