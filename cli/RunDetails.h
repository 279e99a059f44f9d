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

// Said before a job whose adapter or port the command line did not name: the label
// ("RAW(LPT1)"), which of the two came from the stored settings, where they live and how
// to choose another.
std::string StoredChoiceText(const std::string& label, bool adapterStored, bool portStored);

// What --store-settings kept and where.
std::string StoredSettingsText(const Settings& settings);

} // namespace pyrola::cli
