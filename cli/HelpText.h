#pragma once
// The part of "pyrola --help" after the options: the adapters and their ports, where the
// settings live, the environment variables and the exit statuses, as they are on this
// system.

#include <string>

namespace pyrola::cli {

std::string ReferenceHelpText();

} // namespace pyrola::cli
