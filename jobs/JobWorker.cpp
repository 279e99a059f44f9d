#include "jobs/JobWorker.h"

#include "jobs/WorkerContext.h"

#include <chrono>
#include <system_error>

namespace pyrola {

namespace {
// The context of the worker running on this thread; null on every other thread.
thread_local WorkerContext* tWorker = nullptr;
} // namespace

JobWorker::JobWorker() = default;

JobWorker::~JobWorker() {
    Break();
    JoinAll();
}

bool JobWorker::CancelRequested() {
    std::shared_ptr<CancelEvent> event;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        WorkerContext* context = tWorker ? tWorker : current_.get();
        if (context)
            event = context->event;
    }
    // No event held means the control let go of this list: stop as if cancelled.
    return !event || event->TryConsume();
}

bool JobWorker::UnlessGivenUp(const std::function<void()>& change) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (tWorker && tWorker->givenUp)
        return false;
    change();
    return true;
}

std::shared_ptr<CancelEvent> JobWorker::HoldCancelEvent() {
    auto context = std::make_shared<WorkerContext>();
    context->event = std::make_shared<CancelEvent>();
    context->done = true; // no thread behind it
    if (IsRunning())
        return nullptr; // a worker owns the current event
    Break();            // releases the handles of a finished worker
    std::lock_guard<std::mutex> lock(stateMutex_);
    current_ = context;
    return context->event;
}

void JobWorker::WorkerMain(const std::shared_ptr<WorkerContext>& context, int priority,
                           const std::function<void()>& body) {
    if (applyPriority_)
        applyPriority_(priority);
    {
        // A worker given up on may still be inside the adapter: wait for its body to end.
        std::lock_guard<std::mutex> adapterLock(adapterMutex_);
        {
            std::lock_guard<std::mutex> lock(stateMutex_);
            adaptersBusy_ = true;
        }
        tWorker = context.get();
        try {
            body();
        } catch (...) {
            // The body guards its own work; this only catches a failing bus.
        }
        tWorker = nullptr;
        // Changes made to the adapters while the body ran take effect now, before the next
        // body (which waits for the adapter lock) can open an adapter.
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

void JobWorker::ChangeAdapters(std::function<void()> change) {
    if (!change)
        return;
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (adaptersBusy_)
        adapterChanges_.push_back(std::move(change));
    else
        change(); // no worker can take the adapters meanwhile: it needs this lock first
}

bool JobWorker::IsRunning() const {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    return context && context->thread.joinable() && !context->IsDone();
}

bool JobWorker::WaitFor(uint32_t milliseconds) {
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

bool JobWorker::AnyAlive() const {
    if (IsRunning())
        return true;
    for (const auto& given : givenUp_) {
        if (!given->IsDone())
            return true;
    }
    return false;
}

bool JobWorker::WaitForAll(uint32_t milliseconds) {
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

void JobWorker::Break() {
    std::shared_ptr<WorkerContext> context;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        context = current_;
    }
    if (!context)
        return;
    if (context->thread.joinable() && !context->IsDone()) {
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

void JobWorker::ReapFinished() {
    for (auto it = givenUp_.begin(); it != givenUp_.end();) {
        if ((*it)->IsDone()) {
            (*it)->thread.join();
            it = givenUp_.erase(it);
        } else {
            ++it;
        }
    }
}

bool JobWorker::Start(std::function<void()> body, int priority) {
    auto context = std::make_shared<WorkerContext>();
    context->event = std::make_shared<CancelEvent>();
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        current_ = context;
    }
    try {
        context->thread = std::thread(
            [this, context, priority, body = std::move(body)] { WorkerMain(context, priority, body); });
        return true;
    } catch (const std::system_error&) {
        // Not reported: the caller simply finds no running worker.
        std::lock_guard<std::mutex> lock(stateMutex_);
        current_.reset();
        return false;
    }
}

void JobWorker::JoinAll() {
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

} // namespace pyrola
