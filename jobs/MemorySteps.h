#pragma once
// The memory steps over a step context: the attach, reset, erase, blank check, read,
// program, verify, the dumps and the 1-Wire check. Each returns true to let the list go on;
// every step but the attach and the 1-Wire check refuses a target that is not open.

#include "jobs/StepContext.h"

#include <cstdint>

namespace pyrola {

// Attaches and identifies the chip, checks it against the required device and the front
// end's check, and publishes the record. True when a chip was identified and accepted.
bool StepInit(StepContext& context);
bool StepReset(StepContext& context);
bool StepErase(StepContext& context);
bool StepBlankCheck(StepContext& context);
bool StepRead(StepContext& context);
bool StepProgram(StepContext& context);
bool StepVerify(StepContext& context);
// Reads length bytes at address into the emptied image.
bool StepDump(StepContext& context, uint32_t address, uint32_t length);
bool StepDumpDeviceId(StepContext& context);
// RAM from 0x0200 to the chip's RAM end.
bool StepDumpRam(StepContext& context);
bool StepDumpLoader(StepContext& context);
bool StepDebugOneWire(StepContext& context);
bool StepAttachOnly(StepContext& context);

} // namespace pyrola
