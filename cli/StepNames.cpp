#include "cli/StepNames.h"

#include "jobs/JobFlags.h"

namespace pyrola::cli {

namespace {

struct StepName {
    uint32_t flag;
    const char* name;
};
// In the engine's step order.
constexpr StepName kStepNames[] = {
    {kJobDebugOneWire, "Debug OW interface"},
    {kJobReset, "Reset"},
    {kJobErase, "Erase"},
    {kJobBlankCheck, "Blank check"},
    {kJobRead, "Read"},
    {kJobProgram, "Program"},
    {kJobVerify, "Verify"},
    {kJobWriteSerial, "Write serial number"},
    {kJobReadSerial, "Read serial number"},
    {kJobAttachOnly, "Attach"},
    {kJobDumpDeviceId, "Dump device ID"},
    {kJobDumpRam, "Dump RAM"},
    {kJobDumpLoader, "Dump BSL"},
};

const char* NameOf(uint32_t bit) {
    if (bit == 0)
        return "Init()";
    for (const StepName& step : kStepNames) {
        if (step.flag == bit)
            return step.name;
    }
    return "?";
}

} // namespace

std::string StepsText(uint32_t flags, bool saved) {
    std::string text;
    for (const StepName& step : kStepNames) {
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
        text += (text.empty() ? "" : ", ") + std::string(NameOf(time.bit)) + " " +
                std::to_string(time.milliseconds);
    return text;
}

} // namespace pyrola::cli
