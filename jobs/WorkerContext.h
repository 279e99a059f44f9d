#pragma once
// What one worker shares with the engine: its cancel event (null once the engine released
// it), whether the engine gave it up, the adapter its list runs on, its thread, and the
// done flag the main thread waits on. Shared ownership keeps it alive for a worker that
// outlives the engine's interest.

#include "adapters/TargetAdapter.h"
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

    // The adapter this worker's list runs on, taken once under the adapter lock.
    TargetAdapter* adapter = nullptr; // touched by the worker only

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
