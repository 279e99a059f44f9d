#pragma once
// A job's reports over the message bus: status texts with their colour, log lines, values,
// and the step-ending forms every step shares. Without a bus every report is dropped.

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

private:
    MessageBus* bus_;
};

} // namespace pyrola
