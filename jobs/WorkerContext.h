#pragma once
// What one worker shares with its control (JobWorker): its cancel event (null once the
// control released it), whether the control gave it up, its thread, and the done flag the
// main thread waits on. Shared ownership keeps it alive for a worker that outlives the
// control's interest.

#include "jobs/CancelEvent.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pyrola {

struct WorkerContext {
    // Guarded by the control's state mutex.
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
