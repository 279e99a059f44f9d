#pragma once
// Scheduling priority of the calling thread. 0 is normal; 15 is time-critical, which the
// bit-timed JTAG signalling wants. Best effort: a platform that refuses keeps the thread
// at its current priority.

namespace pyrola {

void SetCurrentThreadPriority(int priority);

} // namespace pyrola
