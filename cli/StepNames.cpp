#include "cli/StepNames.h"

#include "jobs/JobSteps.h"

namespace pyrola::cli {

std::string StepsText(uint32_t flags, bool saved) {
    std::string text;
    for (const JobStep& step : kJobSteps) {
        if (flags & step.flag)
            text += (text.empty() ? "" : ", ") + std::string(step.name);
    }
    if (saved)
        text += (text.empty() ? "" : ", ") + std::string("Save");
    return text;
}

namespace {

std::string JoinStepTimes(const std::vector<StepTime>& times, const char* (*name)(uint32_t bit),
                          const char* unit) {
    std::string text;
    for (const StepTime& time : times)
        text += (text.empty() ? "" : ", ") + std::string(name(time.bit)) + " " +
                std::to_string(time.milliseconds) + unit;
    return text;
}

const char* ResultStepName(uint32_t bit) {
    return bit == 0 ? "Init" : JobStepReportName(bit);
}

} // namespace

std::string StepTimesText(const std::vector<StepTime>& times) {
    return JoinStepTimes(times, JobStepName, "");
}

std::string ResultStepsText(const std::vector<StepTime>& times) {
    return JoinStepTimes(times, ResultStepName, " ms");
}

} // namespace pyrola::cli
