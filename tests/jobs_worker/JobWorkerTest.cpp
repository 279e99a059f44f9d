// Worker control without any steps: a body that ignores its cancel event is given up after
// the bounded wait, finds itself given up, and the adapter changes wait for its end.
#include "jobs/JobWorker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace pyrola;

TEST(JobWorkerTest, ABodyGivenUpFindsItselfCancelledAndKeptChangesRunAfterIt) {
    JobWorker worker;
    static std::atomic<int> appliedPriority{-1};
    worker.SetPriorityHook([](int priority) { appliedPriority = priority; });
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool release = false;
    std::vector<int> order; // guarded by mutex
    std::atomic<int> tookAfterBreak{-1};
    std::atomic<int> cancelledAfterBreak{-1};
    ASSERT_TRUE(worker.Start(
        [&] {
            std::unique_lock<std::mutex> lock(mutex);
            entered = true;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
            lock.unlock();
            tookAfterBreak = worker.UnlessGivenUp([] {}) ? 1 : 0;
            cancelledAfterBreak = worker.CancelRequested() ? 1 : 0;
            lock.lock();
            order.push_back(1);
        },
        7));
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return entered; });
    }
    EXPECT_EQ(appliedPriority.load(), 7);
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.WaitFor(0));
    worker.ChangeAdapters([&] { order.push_back(2); }); // the body holds the adapters: kept
    EXPECT_TRUE(worker.UnlessGivenUp([] {}));           // the main thread is never given up

    worker.Break(); // the body ignores its event: given up after the bounded wait
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(worker.AnyAlive());
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_TRUE(order.empty());
        release = true;
    }
    changed.notify_all();
    EXPECT_TRUE(worker.WaitForAll(60000));
    worker.JoinAll();
    EXPECT_FALSE(worker.AnyAlive());
    EXPECT_EQ(tookAfterBreak.load(), 0);
    EXPECT_EQ(cancelledAfterBreak.load(), 1);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    worker.ChangeAdapters([&] { order.push_back(3); }); // nobody holds them now: at once
    EXPECT_EQ(order.back(), 3);
}
