#pragma once
// The headless program's own reading of its arguments, before the rest is handed to the
// command-line processing: the options that start with "--" (and "-h", "-?") belong to the
// program; every other argument is one command-line token, whatever characters it holds.

#include <string>
#include <vector>

namespace pyrola::cli {

struct CliArguments {
    bool help = false;
    bool version = false;
    // Handed to the command-line processing, one token per argument.
    std::vector<std::string> tokens;
    // Why the arguments were refused; empty when they were not.
    std::string error;
};

CliArguments ParseCliArguments(const std::vector<std::string>& arguments);

// "PYROLA v1.44", as the About box shows it.
std::string VersionText();

} // namespace pyrola::cli
