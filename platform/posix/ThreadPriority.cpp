#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>

namespace pyrola {

void SetCurrentThreadPriority(int priority) {
    // Real-time scheduling needs privileges most users lack; without them the call fails
    // and the thread keeps its normal priority, which only costs timing margin. The lowest
    // real-time level is enough to run ahead of every normal thread, and the kernel's
    // real-time throttling still leaves the rest of the system some time.
    sched_param param{};
    int policy = SCHED_OTHER;
    if (priority >= 15) {
        policy = SCHED_FIFO;
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    }
    (void)pthread_setschedparam(pthread_self(), policy, &param);
}

} // namespace pyrola
