#include "platform/ThreadPriority.h"

#include <windows.h>

namespace pyrola {

void SetCurrentThreadPriority(int priority) {
    int value = THREAD_PRIORITY_NORMAL;
    if (priority >= 15)
        value = THREAD_PRIORITY_TIME_CRITICAL;
    else if (priority <= -15)
        value = THREAD_PRIORITY_IDLE;
    else if (priority > 2)
        value = THREAD_PRIORITY_HIGHEST;
    else if (priority < -2)
        value = THREAD_PRIORITY_LOWEST;
    else
        value = priority;
    SetThreadPriority(GetCurrentThread(), value);
}

} // namespace pyrola
