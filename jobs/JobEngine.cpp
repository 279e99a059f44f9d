#include "jobs/JobEngine.h"

#include "jobs/JobSteps.h"

#include <algorithm>
#include <exception>

namespace pyrola {

namespace {

constexpr uint32_t kDumpDeviceIdAddress = 0x0FF0;
constexpr uint32_t kDumpDeviceIdLength = 16;
constexpr uint32_t kRamStart = 0x0200;
constexpr uint32_t kDumpLoaderAddress = 0x0C00;
constexpr uint32_t kDumpLoaderLength = 0x03F0;

// The adapter of the list a worker on this thread runs; null on every other thread.
thread_local TargetAdapter* tListAdapter = nullptr;

} // namespace

JobEngine::JobEngine(MessageBus* messageBus, MemoryImage* memoryImage)
    : image(memoryImage), reporter_(messageBus) {}

bool JobEngine::Dispatch() {
    return DispatchNext() == Next::Continue;
}

JobEngine::Next JobEngine::DispatchNext() {
    try {
        bool debugStep = false;
        bool over = false;
        // Checked and taken under one lock: a worker given up on must not take a step of
        // the list that replaced its own.
        if (!worker_.UnlessGivenUp([&] {
                const uint32_t flags = jobFlags.load();
                over = flags == 0;
                if ((flags & kJobDebugOneWire) != 0) {
                    jobFlags.store(flags & ~kJobDebugOneWire);
                    debugStep = true;
                }
            }))
            return Next::Cancelled;
        if (over)
            return Next::Over;
        if (debugStep)
            return StepDebugOneWire() ? Next::Continue : Next::Over;
        TargetAdapter* const target = Target();
        if (!target) {
            ReportStatus("%s failed.", 1, "Init()");
            ReportLog("No adapter selected");
            return Next::Over;
        }
        if (!image) {
            ReportStatus("%s failed.", 1, "Init()");
            ReportLog("No memory image");
            return Next::Over;
        }
        const auto started = std::chrono::steady_clock::now();
        if (!target->isOpen) {
            const bool attached = StepInit();
            RecordStepTime(0, started);
            return attached ? Next::Continue : Next::Over;
        }
        bool givenUp = false;
        const uint32_t bit = TakeNextBit(givenUp);
        if (givenUp)
            return Next::Cancelled;
        if (bit == 0)
            return Next::Over;
        const Next next = RunStep(bit);
        RecordStepTime(bit, started);
        return next;
    } catch (...) {
        // A step broken off inside its block loop leaves no progress bar behind, and the
        // failure shows in the error colour like any other.
        SendValue(kBusProgressEnd, 0);
        Report("Unhandled exception detected!", 1);
        LogAdapterNotes();
        return Next::Over;
    }
}

uint32_t JobEngine::TakeNextBit(bool& givenUp) {
    uint32_t bit = 0;
    givenUp = !worker_.UnlessGivenUp([&] {
        const uint32_t flags = jobFlags.load();
        // In step order; the 1-Wire step was taken before the attach.
        for (const JobStep& step : kJobSteps) {
            if (step.flag != kJobDebugOneWire && (flags & step.flag) != 0) {
                jobFlags.store(flags & ~step.flag);
                bit = step.flag;
                return;
            }
        }
    });
    return bit;
}

JobEngine::Next JobEngine::RunStep(uint32_t bit) {
    bool ok = false;
    switch (bit) {
    case kJobReset:
        ok = StepReset();
        break;
    case kJobErase:
        ok = StepErase();
        break;
    case kJobBlankCheck:
        ok = StepBlankCheck();
        break;
    case kJobRead:
        ok = StepRead();
        break;
    case kJobProgram:
        ok = StepProgram();
        break;
    case kJobVerify:
        ok = StepVerify();
        break;
    case kJobWriteSerial:
        ok = StepWriteSerialNumber();
        break;
    case kJobReadSerial:
        ok = StepReadSerialNumber();
        break;
    case kJobAttachOnly:
        ok = StepAttachOnly();
        break;
    case kJobDumpDeviceId:
        ok = StepDump(kDumpDeviceIdAddress, kDumpDeviceIdLength);
        break;
    case kJobDumpRam: {
        const uint32_t ramEnd = Ranges().ramEnd;
        ok = StepDump(kRamStart, ramEnd >= kRamStart ? ramEnd - (kRamStart - 1) : 0);
        break;
    }
    case kJobDumpLoader:
        ok = StepDump(kDumpLoaderAddress, kDumpLoaderLength);
        break;
    default:
        break;
    }
    LogAdapterNotes();
    return ok ? Next::Continue : Next::Over;
}

// --- message bus -------------------------------------------------------------------------

void JobEngine::SendValue(uint32_t code, uintptr_t value) {
    reporter_.SendValue(code, value);
}

void JobEngine::PostValue(uint32_t code, uintptr_t value) {
    reporter_.PostValue(code, value);
}

void JobEngine::SendStatus(const std::string& text, int isError) {
    reporter_.Status(text, isError);
}

void JobEngine::SendLog(const std::string& text) {
    reporter_.Log(text);
}

void JobEngine::ReportStatus(const char* format, int isError, ...) {
    va_list args;
    va_start(args, isError);
    const std::string text = FormatV(format, args);
    va_end(args);
    SendStatus(text, isError);
}

void JobEngine::ReportLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    SendLog(text);
}

void JobEngine::Report(const char* format, int isError, ...) {
    va_list args;
    va_start(args, isError);
    const std::string text = FormatV(format, args);
    va_end(args);
    SendStatus(text, isError);
    SendLog(text);
}

const char* JobEngine::FetchErrorText() {
    // Fetched once: RAW and BSL clear their number when it is read.
    TargetAdapter* const target = Target();
    if (!target)
        return nullptr;
    return target->GetErrorText(target->GetErrorNumber());
}

void JobEngine::ReportFailure(const char* stepName) {
    reporter_.Failure(stepName, FetchErrorText());
    LogAdapterNotes();
}

void JobEngine::ReportFailureText(const char* stepName) {
    reporter_.FailureText(stepName, FetchErrorText());
    LogAdapterNotes();
}

void JobEngine::LogAdapterNotes() {
    if (TargetAdapter* const target = Target()) {
        for (const std::string& note : target->TakeNotes())
            SendLog(note);
    }
}

void JobEngine::ReportSuccess(const char* stepName) {
    Report("%s complete.", 0, stepName);
}

uint32_t JobEngine::BlockSize() {
    // Guard against an adapter that reports nonsense: a zero block would never advance
    // and a huge one would overflow the buffer arithmetic.
    TargetAdapter* const target = Target();
    const uint32_t size = target ? target->GetBlockSize() : 0;
    return std::clamp<uint32_t>(size, 1, 0x10000);
}

DeviceRecord JobEngine::PublishedRecord() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return published_;
}

std::vector<StepTime> JobEngine::StepTimes() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return stepTimes_;
}

void JobEngine::RecordStepTime(uint32_t bit, std::chrono::steady_clock::time_point started) {
    const auto elapsed = std::chrono::steady_clock::now() - started;
    std::lock_guard<std::mutex> lock(recordMutex_);
    if (bit == 0)
        stepTimes_.clear(); // a new list attaches first
    stepTimes_.push_back(
        {bit, static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count())});
}

TargetAdapter* JobEngine::Target() {
    return tListAdapter ? tListAdapter : adapter.load();
}

bool JobEngine::CancelRequested() {
    return worker_.CancelRequested();
}

std::shared_ptr<CancelEvent> JobEngine::HoldCancelEvent() {
    return worker_.HoldCancelEvent();
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

bool JobEngine::StartWorker(uint32_t flags, int priority) {
    worker_.ReapFinished();
    if (worker_.IsRunning()) {
        ReportLog("Break operation..");
        worker_.Break();
    }
    flags &= ~kJobCancel;
    if (flags == 0)
        return false;
    worker_.UnlessGivenUp([&] { jobFlags = flags; });
    bytesOutsideDevice = 0;
    threadPriority = priority;
    // Handles of a finished worker (or a direct-use event) are released here.
    worker_.Break();
    // Posted before the thread exists so that the window always sees the start notice
    // before the worker's own notices, however fast the list is.
    PostValue(kBusJobState, 0);
    worker_.SetPriorityHook(applyThreadPriority);
    return worker_.Start(
        [this] {
            // The main thread may switch the current adapter while this list runs: the list
            // keeps the one it found here, under the adapter lock.
            tListAdapter = adapter.load();
            Run();
            tListAdapter = nullptr;
        },
        priority);
}

bool JobEngine::IsWorkerRunning() const {
    return worker_.IsRunning();
}

void JobEngine::ChangeAdapters(std::function<void()> change) {
    worker_.ChangeAdapters(std::move(change));
}

bool JobEngine::WaitForWorker(uint32_t milliseconds) {
    return worker_.WaitFor(milliseconds);
}

bool JobEngine::AnyWorkerAlive() const {
    return worker_.AnyAlive();
}

bool JobEngine::WaitForAllWorkers(uint32_t milliseconds) {
    return worker_.WaitForAll(milliseconds);
}

void JobEngine::JoinWorkers() {
    worker_.JoinAll();
}

JobEngine::~JobEngine() {
    worker_.Break();
    worker_.JoinAll();
}

void JobEngine::PublishRecord() {
    std::lock_guard<std::mutex> lock(recordMutex_);
    published_ = deviceRecord;
}

} // namespace pyrola
