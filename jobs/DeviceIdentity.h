#pragma once
// Identity as a set: an adapter that cannot tell some parts apart (the bootstrap loader
// cannot read the fuses; some lines share identification and fuses) attaches to one of
// several device rows. The part named on the command line or chosen in the device list
// settles it; without a choice every memory step keeps to the memory all of them have, and
// a run whose image needs more is refused before anything changes on the chip.

#include "jobs/StepContext.h"

#include <string>

namespace pyrola {

// Right after a successful Open: settles the record to the chosen part, or to the memory
// the candidates share, and logs the device line. False when the list must end: a named
// part that is none of the candidates, or an image that reaches beyond the shared memory
// while no part was chosen (the text says why and how to choose).
[[nodiscard]] bool SettleDeviceIdentity(StepContext& context, std::string& problem);

} // namespace pyrola
