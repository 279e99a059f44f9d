#include "cli/StepTimes.h"

namespace pyrola::cli {

namespace {

constexpr const char* kInitStart = "Initialize..";
constexpr const char* kInitDevice = "Device: ";
constexpr const char* kInitFailed = "Init() failed.";
constexpr size_t kLongestStepName = 24;

// The step a "<Step> complete." or "<Step> failed." text ends; empty for any other text.
std::string EndedStep(const std::string& text) {
    for (const std::string ending : {" complete.", " failed."}) {
        const size_t at = text.find(ending);
        if (at == std::string::npos || at == 0 || at > kLongestStepName)
            continue;
        // "Verify failed." may carry the reason after it; "Load failed. Line 3" is no step.
        const std::string name = text.substr(0, at);
        if (name == "Load" || name == "Save" || name.find('.') != std::string::npos)
            continue;
        return name;
    }
    return {};
}

} // namespace

void StepTimes::ObserveStatus(const std::string& text, TimePoint now) {
    // A failed Init logs only its reason; every other step's end is in the log too.
    if (running_ && !initEnded_ && text == kInitFailed)
        End("Init", now);
}

void StepTimes::ObserveLog(const std::string& text, TimePoint now) {
    if (text == kInitStart) {
        running_ = true;
        initEnded_ = false;
        since_ = now;
        return;
    }
    if (!running_)
        return;
    if (text.rfind(kInitDevice, 0) == 0) {
        End("Init", now);
        return;
    }
    const std::string step = EndedStep(text);
    if (!step.empty())
        End(step, now);
}

void StepTimes::End(const std::string& name, TimePoint now) {
    // A chip refused after its "Device: " line fails Init once more: one Init step.
    if (name == "Init") {
        if (initEnded_)
            return;
        initEnded_ = true;
    }
    steps_.push_back(
        {name,
         static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now - since_).count())});
    since_ = now;
}

std::string StepTimes::Text() const {
    std::string text;
    for (const Step& step : steps_)
        text += (text.empty() ? "" : ", ") + step.name + " " + std::to_string(step.milliseconds) + " ms";
    return text;
}

} // namespace pyrola::cli
