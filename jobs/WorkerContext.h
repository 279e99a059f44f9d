#pragma once
// What one worker shares with the engine: its cancel event (null once the engine released
// it), whether the engine gave it up, its thread, and the done flag the main thread waits
// on. Shared ownership keeps it alive for a worker that outlives the engine's interest.

#include "jobs/CancelEvent.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pyrola {

struct WorkerContext {
    // Guarded by the engine's state mutex.
    std::shared_ptr<CancelEvent> event;
    bool givenUp = false;

    std::thread thread; // touched by the main thread only

    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;

    bool IsDone() {
        std::lock_guard<std::mutex> lock(doneMutex);
        return done;
    }
};

} // namespace pyrola
