#pragma once
// Worker control: runs one list body at a time on a worker thread under the adapter lock,
// breaks a running worker off (signal, a bounded wait, then give it up), waits for and
// joins workers, holds each worker's cancel event, and keeps adapter changes made while a
// worker holds the adapters until it lets go of them. It knows nothing about steps.

#include "jobs/CancelEvent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pyrola {

// Longest time the main thread waits for a worker it breaks off.
inline constexpr uint32_t kWorkerBreakWaitMs = 77;

struct WorkerContext;

class JobWorker {
public:
    JobWorker();
    // Breaks off a running worker, then joins every worker it started, so no worker outlives
    // the control (a body's captures must outlive it).
    ~JobWorker();

    JobWorker(const JobWorker&) = delete;
    JobWorker& operator=(const JobWorker&) = delete;

    // Applies a worker's priority on its own thread (the front end hands in
    // SetCurrentThreadPriority from platform/ThreadPriority.h). Null: normal priority. Main
    // thread, while no worker runs.
    void SetPriorityHook(void (*apply)(int priority)) { applyPriority_ = apply; }

    // Main thread. Starts body on a new worker thread with a fresh cancel event; the thread
    // applies the priority, then runs the body holding the adapter lock (so a worker given
    // up on finishes its body first). Break a running worker off before. False when no
    // thread could be started.
    bool Start(std::function<void()> body, int priority);
    // Main thread. Signals a running worker and waits at most kWorkerBreakWaitMs for it, then
    // gives it up: it finds no event and takes no further step, and is joined once it ends.
    // Also releases the handles of a finished worker or a held event.
    void Break();
    // Main thread. Joins the workers given up on that have ended since.
    void ReapFinished();
    bool IsRunning() const;
    // Changes the adapters' own fields: at once while no worker holds them; otherwise kept,
    // in order, until the worker lets go of them at the end of its body.
    void ChangeAdapters(std::function<void()> change);
    // Waits at most the given time for the current worker to end. True when none runs.
    bool WaitFor(uint32_t milliseconds);
    // Main thread: true while any worker started here is still in its body, one given up on
    // included.
    bool AnyAlive() const;
    // Main thread: waits at most the given time for every worker, given-up ones included.
    // True when none is left.
    bool WaitForAll(uint32_t milliseconds);
    // Blocks until every worker started here has ended. Cancels nothing itself.
    void JoinAll();

    // Synchronous use without a thread: holds a fresh cancel event as the current one.
    // Null while a worker runs.
    std::shared_ptr<CancelEvent> HoldCancelEvent();
    // The cancel signal of the calling worker (or, on another thread, of the current one):
    // its event was signalled (this consumes it) or no event is held any more.
    bool CancelRequested();
    // Runs change under the control's state lock, unless the calling thread's worker was
    // given up (then false, change not run). Lets a worker take a piece of shared state
    // only while it still owns the list, and the main thread replace it atomically.
    bool UnlessGivenUp(const std::function<void()>& change);

private:
    void WorkerMain(const std::shared_ptr<WorkerContext>& context, int priority,
                    const std::function<void()>& body);

    void (*applyPriority_)(int) = nullptr;
    mutable std::mutex stateMutex_; // current_, the contexts' events and give-up marks
    std::shared_ptr<WorkerContext> current_;
    std::vector<std::shared_ptr<WorkerContext>> givenUp_;
    // Held by a worker for its whole body, so two workers never use the adapter at once.
    std::mutex adapterMutex_;
    // Guarded by stateMutex_: a worker holds the adapters, and the changes kept for its end.
    bool adaptersBusy_ = false;
    std::vector<std::function<void()>> adapterChanges_;
};

} // namespace pyrola
