#pragma once
// How long each step of a job took, read from the texts the job reports: a step ends with
// "<Step> complete." or "<Step> failed." (Init with its "Device: " line or "Init() failed."),
// and it began where the step before it ended. The closing line of a run shows them.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::cli {

class StepTimes {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A log line's words (without the time stamp), or a status text, seen at `now`.
    void ObserveLog(const std::string& text, TimePoint now);
    void ObserveStatus(const std::string& text, TimePoint now);

    struct Step {
        std::string name;
        uint64_t milliseconds = 0;
    };
    const std::vector<Step>& Steps() const { return steps_; }
    // "Init 120 ms, Erase 30 ms, ..."; empty when no step ended.
    std::string Text() const;

private:
    void End(const std::string& name, TimePoint now);

    bool running_ = false;
    bool initEnded_ = false;
    TimePoint since_{};
    std::vector<Step> steps_;
};

} // namespace pyrola::cli
