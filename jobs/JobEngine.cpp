#include "jobs/JobEngine.h"

#include "jobs/JobSteps.h"
#include "jobs/WorkerContext.h"

#include <algorithm>
#include <exception>

namespace pyrola {

namespace {

constexpr uint32_t kDumpDeviceIdAddress = 0x0FF0;
constexpr uint32_t kDumpDeviceIdLength = 16;
constexpr uint32_t kRamStart = 0x0200;
constexpr uint32_t kDumpLoaderAddress = 0x0C00;
constexpr uint32_t kDumpLoaderLength = 0x03F0;

} // namespace

JobEngine::JobEngine(MessageBus* messageBus, MemoryImage* memoryImage)
    : image(memoryImage), reporter_(messageBus) {}

bool JobEngine::Dispatch() {
    return DispatchNext() == Next::Continue;
}

JobEngine::Next JobEngine::DispatchNext() {
    try {
        bool debugStep = false;
        {
            // Checked and taken under one lock: a worker given up on must not take a step
            // of the list that replaced its own.
            std::lock_guard<std::mutex> lock(stateMutex_);
            WorkerContext* context = ContextOfThisThread();
            if (context && context->givenUp)
                return Next::Cancelled;
            const uint32_t flags = jobFlags.load();
            if (flags == 0)
                return Next::Over;
            if ((flags & kJobDebugOneWire) != 0) {
                jobFlags.store(flags & ~kJobDebugOneWire);
                debugStep = true;
            }
        }
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
    std::lock_guard<std::mutex> lock(stateMutex_);
    WorkerContext* context = ContextOfThisThread();
    givenUp = context && context->givenUp;
    if (givenUp)
        return 0;
    const uint32_t flags = jobFlags.load();
    // In step order; the 1-Wire step was taken before the attach.
    for (const JobStep& step : kJobSteps) {
        if (step.flag != kJobDebugOneWire && (flags & step.flag) != 0) {
            jobFlags.store(flags & ~step.flag);
            return step.flag;
        }
    }
    return 0;
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

void JobEngine::PublishRecord() {
    std::lock_guard<std::mutex> lock(recordMutex_);
    published_ = deviceRecord;
}

} // namespace pyrola
