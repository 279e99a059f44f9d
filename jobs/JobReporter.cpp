#include "jobs/JobReporter.h"

#include "base/TextFormat.h"
#include "jobs/JobSteps.h"

namespace pyrola {

void JobReporter::SendValue(uint32_t code, uintptr_t value) {
    if (bus_)
        bus_->Send(code, value);
}

void JobReporter::PostValue(uint32_t code, uintptr_t value) {
    if (bus_)
        bus_->Post(code, value);
}

void JobReporter::Status(const std::string& text, int isError) {
    if (!bus_)
        return;
    bus_->Send(kBusErrorColour, static_cast<uintptr_t>(isError));
    bus_->SendText(kBusStatusText, text);
}

void JobReporter::Log(const std::string& text) {
    if (bus_)
        bus_->SendText(kBusLogLine, text);
}

void JobReporter::Failure(const char* stepName, const char* errorText) {
    const std::string text = Format("%s failed.", stepName);
    Status(text, 1);
    Log(errorText ? text + errorText : text);
}

void JobReporter::FailureText(const char* stepName, const char* errorText) {
    Status(Format("%s failed.", stepName), 1);
    Log(errorText ? errorText : "");
}

void JobReporter::StepFailed(uint32_t flag, const char* errorText) {
    Failure(JobStepReportName(flag), errorText);
}

void JobReporter::StepFailedText(uint32_t flag, const char* errorText) {
    FailureText(JobStepReportName(flag), errorText);
}

void JobReporter::StepFailedStatus(uint32_t flag) {
    Status(Format("%s failed.", JobStepReportName(flag)), 1);
}

void JobReporter::StepSucceeded(uint32_t flag) {
    const std::string text = Format("%s complete.", JobStepReportName(flag));
    Status(text, 0);
    Log(text);
}

} // namespace pyrola
