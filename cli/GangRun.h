#pragma once
// The production line's station driver. pyrola --gang PORTS ...: the same job on every
// listed port at once, each board in a pyrola process of its own (the same program with
// -c{port} and --station added), its lines printed prefixed by the station, a summary
// table at the end. With --loop each station goes on board after board: it waits quietly
// until a board answers, programs it, waits until it is taken away (a board left in after
// a failure is never programmed again), until Ctrl+C or --count boards in all, printing
// the counts every --counts-every boards and at the end. Ctrl+C, SIGTERM and SIGHUP
// cancel every station; the driver waits for all of them.
// Exit status: 0 every board passed, 1 any did not, 2 none did anything (or the command
// line was refused).

#include "cli/GangOptions.h"

namespace pyrola::cli {

int RunGang(const GangOptions& gang);

} // namespace pyrola::cli
