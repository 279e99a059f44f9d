#include "jobs/JobSteps.h"

namespace pyrola {

const char* JobStepName(uint32_t bit) {
    if (bit == 0)
        return "Init()";
    for (const JobStep& step : kJobSteps) {
        if (step.flag == bit)
            return step.name;
    }
    return "?";
}

const char* JobStepReportName(uint32_t bit) {
    for (const JobStep& step : kJobSteps) {
        if (step.flag == bit && step.reportName)
            return step.reportName;
    }
    return JobStepName(bit);
}

} // namespace pyrola
