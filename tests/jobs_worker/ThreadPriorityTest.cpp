// The worker's priority seam on this platform.
#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

namespace {

// Scheduling state of the calling thread, as the OS reports it.
int CurrentPriorityClass() {
#ifdef _WIN32
    return GetThreadPriority(GetCurrentThread());
#else
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy;
#endif
}

} // namespace

TEST(ThreadPriorityTest, NormalIsRestoredAfterTimeCritical) {
    int normalBefore = -100;
    int afterCritical = -100;
    int normalAfter = -100;
    std::thread worker([&] {
        normalBefore = CurrentPriorityClass();
        pyrola::SetCurrentThreadPriority(15);
        afterCritical = CurrentPriorityClass();
        pyrola::SetCurrentThreadPriority(0);
        normalAfter = CurrentPriorityClass();
    });
    worker.join();
#ifdef _WIN32
    EXPECT_EQ(normalBefore, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(afterCritical, THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(normalAfter, THREAD_PRIORITY_NORMAL);
#else
    EXPECT_EQ(normalBefore, SCHED_OTHER);
    // Raising is best effort (needs privileges); either way the thread ends up normal.
    EXPECT_TRUE(afterCritical == SCHED_FIFO || afterCritical == SCHED_OTHER);
    EXPECT_EQ(normalAfter, SCHED_OTHER);
#endif
}
