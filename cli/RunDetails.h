#pragma once
// What a verbose run says before its job: where the settings live and what the chosen
// adapter will open (the serial device, the parallel port). The adapters
// add what they tried on the way (loader version, clock settings, retries).

#include "jobs/CommandLine.h"
#include "settings/Settings.h"

#include <string>
#include <vector>

namespace pyrola::cli {

// The lines, for the adapter and port the settings name after the command line's options.
std::vector<std::string> RunDetails(const Settings& settings, const CommandLineRequest& request);

} // namespace pyrola::cli
