#pragma once
// Faults for a simulated chip given as text, so that a separate program run (through the
// FET library or the loader server) can be told what to break: items separated by
// commas, semicolons or blanks:
//   powerloss=N         supply lost during the flash operation after the next N
//   powerloss-write=N   ... counting only programmed bytes
//   powerloss-erase=N   ... counting only erase commands
//   crash-erase=N       the program driving the chip ends at once (a crash or a power
//                       cut of its PC) at the erase command after the next N
//   stuck=A:M:V         at address A the bits of mask M read as in V
//   securityfuse        the security fuse is blown
//   locked              the flash controller stays locked
// and, for the bootstrap loader and its serial line only:
//   wrongpassword       no password unlocks the loader (each is still acknowledged)
//   silent              the loader answers nothing
//   drop=N              the N-th byte sent to the chip (counted from 1) is lost
//   drop-answer=N       the N-th byte the chip answers (counted from 1) is lost
// and, for the JTAG pins only:
//   nocable             no cable reaches them (a parallel port wired to them reads all ones)
//   pause=N:MS          the program driving the port stops for MS milliseconds before its
//                       N-th port access (counted from 1), as a preempted program would
// Numbers are decimal, or hexadecimal with 0x.

#include "sim/DeviceModel.h"

#include <cstdint>
#include <set>
#include <string>

namespace pyrola::sim {

// The loader's and the line's faults of a list.
struct LoaderFaults {
    bool refusePasswords = false;
    bool silent = false;
    std::set<uint64_t> dropToChip; // byte numbers from 1
    std::set<uint64_t> dropToHost;
};

// Applies every item to `model` (and the loader's items to `loader`); on a malformed item,
// or a loader item when `loader` is null, nothing is applied, `error` names the item and
// the result is false.
bool ApplyFaultList(const std::string& text, DeviceModel& model, std::string* error,
                    LoaderFaults* loader = nullptr);

} // namespace pyrola::sim
