#pragma once
// A job's reports over the message bus: status texts with their colour, log lines, values,
// and the step-ending forms every step shares, naming a step as the step table does
// (JobSteps.h). Without a bus every report is dropped.

#include "jobs/MessageBus.h"

#include <cstdint>
#include <string>

namespace pyrola {

class JobReporter {
public:
    explicit JobReporter(MessageBus* bus) : bus_(bus) {}

    // A value the receiver handles before the sender goes on; a value only queued.
    void SendValue(uint32_t code, uintptr_t value);
    void PostValue(uint32_t code, uintptr_t value);
    // The status line: its colour first (1 the error colour), then the text.
    void Status(const std::string& text, int isError);
    void Log(const std::string& text);
    // "<step> failed." in the status line; the log line appends errorText (may be null).
    void Failure(const char* stepName, const char* errorText);
    // "<step> failed." in the status line; the log line is errorText alone.
    void FailureText(const char* stepName, const char* errorText);

    // The same forms for the step of a job flag (0: the attach), named by the step table.
    void StepFailed(uint32_t flag, const char* errorText);
    void StepFailedText(uint32_t flag, const char* errorText);
    // "<step> failed." in the status line alone.
    void StepFailedStatus(uint32_t flag);
    // "<step> complete." in the status line and the log.
    void StepSucceeded(uint32_t flag);

private:
    MessageBus* bus_;
};

} // namespace pyrola
