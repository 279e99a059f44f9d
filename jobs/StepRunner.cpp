#include "jobs/StepRunner.h"

#include <chrono>

namespace pyrola {

StepRunner::StepRunner(std::atomic<uint32_t>& flags, Guard guard, std::span<const JobStep> steps,
                       StepFunction init)
    : flags_(flags), guard_(std::move(guard)), steps_(steps), init_(init) {}

StepRunner::Next StepRunner::RunNext(StepContext& context) {
    try {
        return RunNextGuarded(context);
    } catch (...) {
        // A step broken off inside its block loop leaves no progress bar behind, and the
        // failure shows in the error colour like any other.
        context.reporter.SendValue(kBusProgressEnd, 0);
        context.Report("Unhandled exception detected!", 1);
        context.LogAdapterNotes();
        return Next::Over;
    }
}

StepRunner::Next StepRunner::RunNextGuarded(StepContext& context) {
    const JobStep* early = nullptr;
    bool over = false;
    // Checked and taken under one lock: a worker given up on must not take a step of the
    // list that replaced its own.
    if (!guard_([&] {
            const uint32_t flags = flags_.load();
            over = flags == 0;
            for (const JobStep& step : steps_) {
                if (step.beforeAttach && (flags & step.flag) != 0) {
                    flags_.store(flags & ~step.flag);
                    early = &step;
                    return;
                }
            }
        }))
        return Next::Cancelled;
    if (over)
        return Next::Over;
    if (early)
        return early->run(context) ? Next::Continue : Next::Over;
    if (!context.target) {
        context.reporter.StepFailedStatus(0);
        context.ReportLog("No adapter selected");
        return Next::Over;
    }
    if (!context.image) {
        context.reporter.StepFailedStatus(0);
        context.ReportLog("No memory image");
        return Next::Over;
    }
    const uint64_t started = NowNs();
    if (!context.target->isOpen) {
        const bool attached = init_(context);
        RecordStepTime(0, started);
        return attached ? Next::Continue : Next::Over;
    }
    bool givenUp = false;
    const uint32_t bit = TakeNextBit(givenUp);
    if (givenUp)
        return Next::Cancelled;
    const JobStep* step = StepOf(bit);
    if (!step)
        return Next::Over;
    const bool ok = step->run(context);
    context.LogAdapterNotes();
    RecordStepTime(bit, started);
    return ok ? Next::Continue : Next::Over;
}

void StepRunner::RunList(StepContext& context) {
    bool close = false;
    for (;;) {
        if (context.CancelRequested())
            break; // between two steps: the adapter stays open for the next list
        const Next next = RunNext(context);
        if (next == Next::Continue)
            continue;
        close = next == Next::Over;
        break;
    }
    if (close && context.target) {
        try {
            context.target->Close();
        } catch (...) {
            // The target was not released as asked: the list does not pass.
            context.Report("Unhandled exception detected!", 1);
        }
        context.LogAdapterNotes();
    }
    context.PublishRecord();
    context.reporter.PostValue(kBusJobState, kWorkerEndWaitMs);
}

uint32_t StepRunner::TakeNextBit(bool& givenUp) {
    uint32_t bit = 0;
    givenUp = !guard_([&] {
        const uint32_t flags = flags_.load();
        for (const JobStep& step : steps_) {
            if (!step.beforeAttach && (flags & step.flag) != 0) {
                flags_.store(flags & ~step.flag);
                bit = step.flag;
                return;
            }
        }
    });
    return bit;
}

const JobStep* StepRunner::StepOf(uint32_t bit) const {
    for (const JobStep& step : steps_) {
        if (bit != 0 && step.flag == bit)
            return &step;
    }
    return nullptr;
}

uint64_t StepRunner::NowNs() const {
    if (nowNs_)
        return nowNs_();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void StepRunner::RecordStepTime(uint32_t bit, uint64_t startedNs) {
    const uint64_t elapsed = (NowNs() - startedNs) / 1000000u;
    std::lock_guard<std::mutex> lock(timesMutex_);
    if (bit == 0)
        times_.clear(); // a new list attaches first
    times_.push_back({bit, static_cast<uint32_t>(elapsed)});
}

std::vector<StepTime> StepRunner::StepTimes() const {
    std::lock_guard<std::mutex> lock(timesMutex_);
    return times_;
}

} // namespace pyrola
