#pragma once
// How a simulated front end that another program loads (the FET library, the port
// library) finds its chip, from the environment:
//   PYROLA_SIM_DEVICE  the chip, by device-list name (default MSP430F149)
//   PYROLA_SIM_STATE   state file ("%p": PortEnvironment): a file that exists says what the chip holds
//   (another
//                      run may have changed it); one not yet written means a new chip;
//                      without one the chip lives as long as the process
//   PYROLA_SIM_FAULTS  faults to inject (FaultList.h), applied once to every new chip
//                      (not again to one reloaded from its state file within the process)

#include "sim/DeviceModel.h"

#include <functional>
#include <memory>
#include <string>

namespace pyrola::sim {

// Looks up an environment variable; null when unset.
using SimEnvironment = std::function<const char*(const char*)>;
// The process's own environment.
const char* ProcessEnvironment(const char* name);

enum class ChipSetupError { None, UnknownDevice, StateUnreadable, DeviceMismatch, BadFaults };
const char* ChipSetupErrorText(ChipSetupError error);

struct SimChip {
    std::unique_ptr<DeviceModel> model; // null before the first setup
    std::string statePath;              // empty: no state file
    bool faultsApplied = false;
};

// The environment of the chip on one port: "%p" in PYROLA_SIM_STATE and PYROLA_SIM_BOARD
// stands for the port's number, so that programs on several ports (a gang) each drive a
// chip of their own.
SimEnvironment PortEnvironment(SimEnvironment environment, const std::string& port);

// Loads or makes `chip.model` as the environment says. A chip reloaded from its state file
// keeps the faults injected into it; a new chip gets the faults of the environment.
ChipSetupError PrepareChip(const SimEnvironment& environment, SimChip& chip);
// Writes the state file when there is one; false when it cannot be written.
bool SaveChip(const SimChip& chip);

} // namespace pyrola::sim
