#pragma once
// The serial-number steps over a step context: the write patches the serial into its
// flash segment (backup, erase, write, check), the read fetches it into the serial block.

#include "jobs/StepContext.h"

namespace pyrola {

bool StepWriteSerialNumber(StepContext& context);
bool StepReadSerialNumber(StepContext& context);

} // namespace pyrola
