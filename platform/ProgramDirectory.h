#pragma once
// The folder that holds the running program, for files shipped beside it.

#include <string>

namespace pyrola {

// Without a trailing separator; empty when the system cannot tell.
std::string ProgramDirectory();

} // namespace pyrola
