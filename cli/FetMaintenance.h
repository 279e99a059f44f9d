#pragma once
// What the headless program does with the FET library beyond jobs: the FETs it lists
// (for --list-ports) and the firmware update a version-3 library asks for
// ("pyrola --fet-update -fet -cN"), which is never started on the user's behalf.

#include <string>
#include <vector>

namespace pyrola {
class FetAdapter;
}

namespace pyrola::cli {

// The FETs the library enumerates, as --list-ports lines "FETn<TAB>NAME<TAB>DESCRIPTION"
// (-fet -cn reaches FETn); none for a version-2 library or none at all.
std::vector<std::string> FetPortLines(FetAdapter& fet);

// True when the arguments ask for the firmware update.
bool IsFetUpdate(const std::vector<std::string>& arguments);
// Runs "--fet-update [-fet] [-cN]" (port 1 when no -c): the exit status, kExitRejected for
// other arguments. Progress and the outcome go to stdout, failures to stderr.
int RunFetUpdate(FetAdapter& fet, const std::vector<std::string>& arguments);

} // namespace pyrola::cli
