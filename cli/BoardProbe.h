#pragma once
// pyrola --probe -fet|-raw|-bsl -c{port}: whether a board answers on the port, for the
// station loop's wait for the next board and for scripts. It attaches and identifies (FET,
// RAW) or synchronises with the loader (BSL, without a password), changes nothing on the
// chip, prints and logs nothing. Exit status: 0 a board answers, 1 none does, 2 the
// command line was refused, 3 the port (or the FET library) cannot be reached: the reason
// goes to standard error.

#include <string>
#include <vector>

namespace pyrola::cli {

int RunProbe(const std::vector<std::string>& arguments);

} // namespace pyrola::cli
