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

std::string StepTimesText(const std::vector<StepTime>& times) {
    std::string text;
    for (const StepTime& time : times)
        text += (text.empty() ? "" : ", ") + std::string(JobStepName(time.bit)) + " " +
                std::to_string(time.milliseconds);
    return text;
}

} // namespace pyrola::cli
