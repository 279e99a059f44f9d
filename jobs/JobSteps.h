#pragma once
// The steps a job list can hold, in the order a list runs them, with the names the
// reports and the production log give them. The 1-Wire step runs before the attach; the
// others once the target is attached.

#include "jobs/JobFlags.h"

#include <cstdint>

namespace pyrola {

struct JobStep {
    uint32_t flag; // the step's job flag (JobFlags.h)
    const char* name;
};

inline constexpr JobStep kJobSteps[] = {
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

// Every step's flag: a bit of these left after a list means it did not finish.
inline constexpr uint32_t kJobStepBits = [] {
    uint32_t bits = 0;
    for (const JobStep& step : kJobSteps)
        bits |= step.flag;
    return bits;
}();

// The step's name; "Init()" for bit 0 (the attach), "?" for a bit that is no step.
const char* JobStepName(uint32_t bit);

} // namespace pyrola
