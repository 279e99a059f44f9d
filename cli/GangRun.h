#pragma once
// pyrola --gang PORTS ...: the same job on every listed port at once, each board in a
// pyrola process of its own (the same program with -c{port} and --station added), its
// lines printed prefixed by the station, a summary table at the end. Ctrl+C, SIGTERM and
// SIGHUP cancel every station; the driver waits for all of them.
// Exit status: 0 every station passed, 1 any did not, 2 none did anything (or the command
// line was refused).

#include "cli/GangOptions.h"

namespace pyrola::cli {

int RunGang(const GangOptions& gang);

} // namespace pyrola::cli
