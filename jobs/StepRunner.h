#pragma once
// Runs a job list over a step context: attaches first when the target is not open, then
// takes the list's flags one at a time in the step table's order, times every step, and
// turns an exception inside a step into a failed list. At the end it closes the target
// (unless cancelled), publishes the device record and posts the end-of-list notice.

#include "jobs/JobSteps.h"
#include "jobs/StepContext.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace pyrola {

// Wait allowance carried by the end-of-list job-state notice.
inline constexpr uint32_t kWorkerEndWaitMs = 1000;

// How long one step of the last list took; bit 0 stands for the initialization.
struct StepTime {
    uint32_t bit = 0;
    uint32_t milliseconds = 0;
};

class StepRunner {
public:
    enum class Next { Continue, Over, Cancelled };
    // Runs a take of the flags under the worker control's lock; false (nothing run) when
    // the calling worker was given up (JobWorker::UnlessGivenUp).
    using Guard = std::function<bool(const std::function<void()>& take)>;

    // flags: the list's remaining steps, which the main thread may replace while a list
    // runs; steps: the table in run order; init: the attach.
    StepRunner(std::atomic<uint32_t>& flags, Guard guard, std::span<const JobStep> steps = kJobSteps,
               StepFunction init = StepInit);

    // Times the steps with another source of nanoseconds (null: the steady clock).
    void SetTimeSource(std::function<uint64_t()> nowNs) { nowNs_ = std::move(nowNs); }

    // Runs the next step of the list.
    Next RunNext(StepContext& context);
    // Runs steps until the list is over or cancelled (checked between steps), then the end.
    void RunList(StepContext& context);
    // The steps of the last list that ran, in order, with their times. Any thread.
    std::vector<StepTime> StepTimes() const;

private:
    Next RunNextGuarded(StepContext& context);
    // Takes the first flag of the list in table order that runs once attached; 0 when none
    // is left.
    uint32_t TakeNextBit(bool& givenUp);
    const JobStep* StepOf(uint32_t bit) const;
    uint64_t NowNs() const;
    void RecordStepTime(uint32_t bit, uint64_t startedNs);

    std::atomic<uint32_t>& flags_;
    Guard guard_;
    std::span<const JobStep> steps_;
    StepFunction init_;
    std::function<uint64_t()> nowNs_;
    mutable std::mutex timesMutex_;
    std::vector<StepTime> times_; // guarded by timesMutex_
};

} // namespace pyrola
