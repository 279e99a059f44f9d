#pragma once
// Faults for a simulated chip given as text, so that a separate program run (through the
// FET library or the loader server) can be told what to break: items separated by
// commas, semicolons or blanks:
//   powerloss=N         supply lost during the flash operation after the next N
//   powerloss-write=N   ... counting only programmed bytes
//   powerloss-erase=N   ... counting only erase commands
//   stuck=A:M:V         at address A the bits of mask M read as in V
//   securityfuse        the security fuse is blown
//   locked              the flash controller stays locked
//   nocable             no cable reaches the JTAG pins (the JTAG front end reads all ones)
// Numbers are decimal, or hexadecimal with 0x.

#include "sim/DeviceModel.h"

#include <string>

namespace pyrola::sim {

// Applies every item to `model`; on a malformed item nothing is applied, `error` names
// the item and the result is false.
bool ApplyFaultList(const std::string& text, DeviceModel& model, std::string* error);

} // namespace pyrola::sim
