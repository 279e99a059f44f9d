#include "jobs/JobEngine.h"

namespace pyrola {

JobEngine::JobEngine(MessageBus* messageBus, MemoryImage* memoryImage)
    : image_(memoryImage), reporter_(messageBus),
      runner_(jobFlags_, [this](const std::function<void()>& take) { return worker_.UnlessGivenUp(take); }) {}

JobEngine::~JobEngine() {
    worker_.Break();
    worker_.JoinAll();
}

StepContext JobEngine::ContextFor(TargetAdapter* target) {
    return StepContext{.target = target,
                       .image = image_,
                       .device = deviceRecord_,
                       .reporter = reporter_,
                       .request = request_,
                       .eraseInfo = eraseInfo_,
                       .deviceIndex = deviceIndex_,
                       .serialBlock = serialBlock_,
                       .bytesOutsideDevice = bytesOutsideDevice_,
                       .cancelRequested = [this] { return worker_.CancelRequested(); },
                       .publishRecord = [this] { PublishRecord(); },
                       .remainingSteps = &jobFlags_};
}

StepContext JobEngine::Context() {
    return ContextFor(adapter_.load());
}

bool JobEngine::Dispatch() {
    StepContext context = Context();
    return runner_.RunNext(context) == StepRunner::Next::Continue;
}

void JobEngine::Run() {
    StepContext context = Context();
    runner_.RunList(context);
}

bool JobEngine::StartWorker(uint32_t flags, int priority) {
    worker_.ReapFinished();
    if (worker_.IsRunning()) {
        reporter_.Log("Break operation..");
        worker_.Break();
    }
    flags &= ~kJobCancel;
    if (flags == 0)
        return false;
    worker_.UnlessGivenUp([&] { jobFlags_ = flags; });
    bytesOutsideDevice_ = 0;
    threadPriority_ = priority;
    // Handles of a finished worker (or a direct-use event) are released here.
    worker_.Break();
    // Posted before the thread exists so that the window always sees the start notice
    // before the worker's own notices, however fast the list is.
    reporter_.PostValue(kBusJobState, 0);
    return worker_.Start(
        [this] {
            // The main thread may switch the current adapter while this list runs: the list
            // keeps the one it found here, under the adapter lock.
            StepContext context = ContextFor(adapter_.load());
            runner_.RunList(context);
        },
        priority);
}

DeviceRecord JobEngine::PublishedRecord() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return published_;
}

void JobEngine::PublishRecord() {
    std::lock_guard<std::mutex> lock(recordMutex_);
    published_ = deviceRecord_;
}

} // namespace pyrola
