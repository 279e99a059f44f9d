#pragma once
// The steps a job list can hold, in the order a list runs them, with the names the
// reports and the production log give them and the function that carries each out. A step
// marked to run before the attach (the 1-Wire check) runs first; the others once the target
// is attached.

#include "jobs/JobFlags.h"
#include "jobs/MemorySteps.h"
#include "jobs/SerialSteps.h"

#include <cstdint>

namespace pyrola {

struct StepContext;
// Carries a step out; true lets the list go on.
using StepFunction = bool (*)(StepContext& context);

struct JobStep {
    uint32_t flag; // the step's job flag (JobFlags.h)
    const char* name;
    StepFunction run;
    // The name the step's own reports use where it differs from name (null: name).
    const char* reportName = nullptr;
    bool beforeAttach = false;
};

inline constexpr JobStep kJobSteps[] = {
    {kJobDebugOneWire, "Debug OW interface", StepDebugOneWire, nullptr, true},
    {kJobReset, "Reset", StepReset},
    {kJobErase, "Erase", StepErase},
    {kJobBlankCheck, "Blank check", StepBlankCheck},
    {kJobRead, "Read", StepRead},
    {kJobProgram, "Program", StepProgram},
    {kJobVerify, "Verify", StepVerify},
    {kJobWriteSerial, "Write serial number", StepWriteSerialNumber},
    {kJobReadSerial, "Read serial number", StepReadSerialNumber},
    {kJobAttachOnly, "Attach", StepAttachOnly},
    {kJobDumpDeviceId, "Dump device ID", StepDumpDeviceId, "Dump"},
    {kJobDumpRam, "Dump RAM", StepDumpRam, "Dump"},
    {kJobDumpLoader, "Dump BSL", StepDumpLoader, "Dump"},
};

// Every step's flag: a bit of these left after a list means it did not finish.
inline constexpr uint32_t kJobStepBits = [] {
    uint32_t bits = 0;
    for (const JobStep& step : kJobSteps)
        bits |= step.flag;
    return bits;
}();

// The step's name; "Init()" for bit 0 (the attach), "?" for a bit that is no step.
const char* JobStepName(uint32_t bit);
// The name the step's own reports give it ("Dump" for the three dumps); as JobStepName
// otherwise.
const char* JobStepReportName(uint32_t bit);

} // namespace pyrola
