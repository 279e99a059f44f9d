#include "jobs/StepContext.h"

#include <algorithm>

namespace pyrola {

namespace {

const char* FetchErrorText(TargetAdapter* target) {
    // Fetched once: RAW and BSL clear their number when it is read.
    return target ? target->GetErrorText(target->GetErrorNumber()) : nullptr;
}

} // namespace

void StepContext::ReportStatus(const char* format, int isError, ...) const {
    va_list args;
    va_start(args, isError);
    const std::string text = FormatV(format, args);
    va_end(args);
    reporter.Status(text, isError);
}

void StepContext::ReportLog(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    reporter.Log(text);
}

void StepContext::Report(const char* format, int isError, ...) const {
    va_list args;
    va_start(args, isError);
    const std::string text = FormatV(format, args);
    va_end(args);
    reporter.Status(text, isError);
    reporter.Log(text);
}

void StepContext::StepFailed(uint32_t flag) const {
    reporter.StepFailed(flag, FetchErrorText(target));
    LogAdapterNotes();
}

void StepContext::StepFailedText(uint32_t flag) const {
    reporter.StepFailedText(flag, FetchErrorText(target));
    LogAdapterNotes();
}

void StepContext::StepSucceeded(uint32_t flag) const {
    reporter.StepSucceeded(flag);
}

void StepContext::LogAdapterNotes() const {
    if (target) {
        for (const std::string& note : target->TakeNotes())
            reporter.Log(note);
    }
}

uint32_t StepContext::BlockSize() const {
    // Guard against an adapter that reports nonsense: a zero block would never advance
    // and a huge one would overflow the buffer arithmetic.
    const uint32_t size = target ? target->GetBlockSize() : 0;
    return std::clamp<uint32_t>(size, 1, 0x10000);
}

} // namespace pyrola
