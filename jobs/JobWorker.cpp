#include "jobs/JobEngine.h"
#include "jobs/WorkerContext.h"

#include <chrono>
#include <system_error>

namespace pyrola {

namespace {
// The context of the worker running on this thread; null on every other thread.
thread_local WorkerContext* tWorker = nullptr;
} // namespace

WorkerContext* JobEngine::ContextOfThisThread() {
    return tWorker;
}

TargetAdapter* JobEngine::Target() {
    return tWorker ? tWorker->adapter : adapter.load();
}

bool JobEngine::CancelRequested() {
    std::shared_ptr<CancelEvent> event;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        WorkerContext* context = tWorker ? tWorker : current_.get();
        if (context)
            event = context->event;
    }
    // No event held means the engine let go of this list: stop as if cancelled.
    return !event || event->TryConsume();
}

std::shared_ptr<CancelEvent> JobEngine::HoldCancelEvent() {
    auto context = std::make_shared<WorkerContext>();
    context->event = std::make_shared<CancelEvent>();
    context->done = true; // no thread behind it
    if (IsWorkerRunning())
        return nullptr;        // a worker owns the current event
    BreakCurrentWorker(false); // releases the handles of a finished worker
    std::lock_guard<std::mutex> lock(stateMutex_);
    current_ = context;
    return context->event;
}

void JobEngine::Run() {
    bool close = false;
    for (;;) {
        if (CancelRequested())
            break; // between two steps: the adapter stays open for the next list
        const Next next = DispatchNext();
        if (next == Next::Continue)
            continue;
        close = next == Next::Over;
        break;
    }
    TargetAdapter* const target = Target();
    if (close && target) {
        try {
            target->Close();
        } catch (...) {
            // The target was not released as asked: the list does not pass.
            Report("Unhandled exception detected!", 1);
        }
        LogAdapterNotes();
    }
    PublishRecord();
    PostValue(kBusJobState, kWorkerEndWaitMs);
}

void JobEngine::WorkerMain(const std::shared_ptr<WorkerContext>& context, int priority) {
    if (applyThreadPriority)
        applyThreadPriority(priority);
    {
        // A worker given up on may still be inside the adapter: wait for its list to end.
        std::lock_guard<std::mutex> adapterLock(adapterMutex_);
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            adaptersBusy_ = true;
        }
        // The main thread may switch the current adapter while this list runs: the list
        // keeps the one it found here.
        context->adapter = adapter.load();
        tWorker = context.get();
        try {
            Run();
        } catch (...) {
            // Run guards every step; this only catches a failing bus.
        }
        tWorker = nullptr;
        // Changes made to the adapters while the list ran take effect now, before the next
        // list (which waits for the adapter lock) can open an adapter.
        std::lock_guard<std::mutex> lock(stateMutex_);
        for (const std::function<void()>& change : adapterChanges_)
            change();
        adapterChanges_.clear();
        adaptersBusy_ = false;
    }
    {
        std::lock_guard<std::mutex> lock(context->doneMutex);
        context->done = true;
    }
    context->doneChanged.notify_all();
}

void JobEngine::ChangeAdapters(std::function<void()> change) {
    if (!change)
        return;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (adaptersBusy_)
        adapterChanges_.push_back(std::move(change));
    else
        change(); // no worker can take the adapters meanwhile: it needs this lock first
}

bool JobEngine::IsWorkerRunning() const {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    return context && context->thread.joinable() && !context->IsDone();
}

bool JobEngine::WaitForWorker(uint32_t milliseconds) {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    if (!context || !context->thread.joinable())
        return true;
    std::unique_lock<std::mutex> lock(context->doneMutex);
    return context->doneChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                         [&] { return context->done; });
}

bool JobEngine::AnyWorkerAlive() const {
    if (IsWorkerRunning())
        return true;
    for (const auto& given : givenUp_) {
        if (!given->IsDone())
            return true;
    }
    return false;
}

bool JobEngine::WaitForAllWorkers(uint32_t milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::vector<std::shared_ptr<WorkerContext>> contexts = givenUp_;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (current_ && current_->thread.joinable())
            contexts.push_back(current_);
    }
    for (const auto& context : contexts) {
        std::unique_lock<std::mutex> lock(context->doneMutex);
        if (!context->doneChanged.wait_until(lock, deadline, [&] { return context->done; }))
            return false;
    }
    return true;
}

void JobEngine::BreakCurrentWorker(bool signal) {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    if (!context)
        return;
    if (signal && context->thread.joinable() && !context->IsDone()) {
        std::shared_ptr<CancelEvent> event;
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            event = context->event;
        }
        if (event)
            event->Signal();
        std::unique_lock<std::mutex> lock(context->doneMutex);
        context->doneChanged.wait_for(lock, std::chrono::milliseconds(kWorkerBreakWaitMs),
                                      [&] { return context->done; });
    }
    {
        // Release both handles: from now on the worker finds no event and takes no step.
        std::lock_guard<std::mutex> lock(stateMutex_);
        context->event.reset();
        context->givenUp = true;
        current_.reset();
    }
    if (!context->thread.joinable())
        return;
    if (context->IsDone())
        context->thread.join();
    else
        givenUp_.push_back(std::move(context)); // keeps running; joined once it ends
}

void JobEngine::ReapFinishedWorkers() {
    for (auto it = givenUp_.begin(); it != givenUp_.end();) {
        if ((*it)->IsDone()) {
            (*it)->thread.join();
            it = givenUp_.erase(it);
        } else {
            ++it;
        }
    }
}

bool JobEngine::StartWorker(uint32_t flags, int priority) {
    ReapFinishedWorkers();
    if (IsWorkerRunning()) {
        ReportLog("Break operation..");
        BreakCurrentWorker(true);
    }
    flags &= ~kJobCancel;
    if (flags == 0)
        return false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        jobFlags = flags;
    }
    bytesOutsideDevice = 0;
    threadPriority = priority;
    // Handles of a finished worker (or a direct-use event) are released here.
    BreakCurrentWorker(true);

    auto context = std::make_shared<WorkerContext>();
    context->event = std::make_shared<CancelEvent>();
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        current_ = context;
    }
    // Posted before the thread exists so that the window always sees the start notice
    // before the worker's own notices, however fast the list is.
    PostValue(kBusJobState, 0);
    try {
        context->thread = std::thread([this, context, priority] { WorkerMain(context, priority); });
        started = true;
    } catch (const std::system_error&) {
        // Not reported: the window simply finds no running worker.
        std::lock_guard<std::mutex> lock(stateMutex_);
        current_.reset();
    }
    return started;
}

void JobEngine::JoinWorkers() {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    if (context && context->thread.joinable())
        context->thread.join(); // current_ keeps its (finished) context until the next start
    for (auto& given : givenUp_) {
        if (given->thread.joinable())
            given->thread.join();
    }
    givenUp_.clear();
}

JobEngine::~JobEngine() {
    BreakCurrentWorker(true);
    JoinWorkers();
}

} // namespace pyrola
