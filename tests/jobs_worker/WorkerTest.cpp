// The worker thread: start, cancel, bounded waits, give-up, and adapter exclusion.
// Waits here are condition-variable waits on real events; only the paths that must run
// into the 77 ms bound spend it, and there are few of them.
#include "adapters/DeviceTable.h"
#include "image/MemoryImage.h"
#include "jobs/JobEngine.h"
#include "tests/support/RecordingBus.h"
#include "tests/support/ScriptedAdapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using namespace pyrola;
using namespace pyrola::test;

namespace {

class WorkerTest : public ::testing::Test {
protected:
    WorkerTest() {
        image.Clear();
        engine.SetAdapter(&adapter);
        adapter.openDevice = 3;
    }
    ~WorkerTest() override {
        adapter.Release(); // never leave a worker stuck in the adapter
        engine.JoinWorkers();
    }
    void Fill(uint32_t first, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            image.StoreByte(first + i, uint8_t(i));
    }
    bool Logged(const std::string& text) const {
        const auto log = bus.LogLines();
        return std::find(log.begin(), log.end(), text) != log.end();
    }

    RecordingBus bus;
    MemoryImage image;
    ScriptedAdapter adapter;
    JobEngine engine{&bus, &image};
};

using Clock = std::chrono::steady_clock;

} // namespace

TEST_F(WorkerTest, AListRunsOnItsOwnThreadAndAnnouncesStartAndEnd) {
    Fill(0xE000, 600);
    std::atomic<int> priority{-1};
    std::thread::id workerThread;
    static std::atomic<int>* seen = nullptr;
    seen = &priority;
    engine.SetPriorityHook([](int p) { seen->store(p); });
    adapter.onCall = [&](const AdapterCall& call) {
        if (call.op == "Open")
            workerThread = std::this_thread::get_id();
    };
    EXPECT_TRUE(engine.StartWorker(kJobAutoDefault, kWorkerPriorityTimeCritical));
    EXPECT_TRUE(engine.WaitForWorker(10000));
    engine.JoinWorkers();
    EXPECT_FALSE(engine.IsWorkerRunning());
    EXPECT_NE(workerThread, std::this_thread::get_id());
    EXPECT_EQ(priority.load(), kWorkerPriorityTimeCritical);
    EXPECT_EQ(engine.ThreadPriority(), kWorkerPriorityTimeCritical);
    // Start (posted by the main thread), identification, end of list.
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0, 0, 1000}));
    EXPECT_EQ(adapter.Ops().back(), "Close");
    EXPECT_TRUE(Logged("Verify complete."));
    EXPECT_EQ(engine.PublishedRecord().index, 3);
}

TEST_F(WorkerTest, CancelWithNoWorkerPostsNothing) {
    EXPECT_FALSE(engine.StartWorker(kJobCancel, 0));
    EXPECT_TRUE(bus.Messages().empty());
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_FALSE(engine.IsWorkerRunning());
    EXPECT_TRUE(engine.WaitForWorker(0));
    // The cancel bit is dropped from a real request too.
    EXPECT_TRUE(engine.StartWorker(kJobCancel | kJobAttachOnly, 0));
    engine.JoinWorkers();
    EXPECT_EQ(adapter.CountOf("Open"), 1u);
}

TEST_F(WorkerTest, CancelWhileProgramWritesEndsTheStepSilentlyAndCloses) {
    Fill(0xE000, 4000);
    // The first run is still in the adapter when the cancel comes: the main thread gives the
    // worker up after the bound, and the worker, finding no event, stops at its next run.
    adapter.BlockIn("WriteMemory", 1);
    ASSERT_TRUE(engine.StartWorker(kJobProgram | kJobVerify, 0));
    adapter.WaitUntilBlocked();
    EXPECT_FALSE(engine.StartWorker(kJobCancel, 0));
    EXPECT_TRUE(Logged("Break operation.."));
    adapter.Release();
    engine.JoinWorkers();
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 1u);
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 0u);
    EXPECT_EQ(adapter.Ops().back(), "Close");
    for (const std::string& status : bus.StatusTexts())
        EXPECT_EQ(status.find("failed"), std::string::npos) << status;
    EXPECT_EQ(bus.Posted(kBusJobState).back(), 1000u);
    EXPECT_FALSE(engine.IsWorkerRunning());
}

TEST_F(WorkerTest, CancelWhileEraseIsInTheAdapterReturnsWithinTheBound) {
    Fill(0xE000, 64);
    adapter.BlockIn("Erase", 1);
    ASSERT_TRUE(engine.StartWorker(kJobErase | kJobProgram, 0));
    adapter.WaitUntilBlocked();
    const auto before = Clock::now();
    EXPECT_FALSE(engine.StartWorker(kJobCancel, 0));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
    EXPECT_GE(waited.count(), 70);   // it did wait for the worker...
    EXPECT_LT(waited.count(), 5000); // ...but only about 77 ms, not until the erase ended
    EXPECT_TRUE(Logged("Break operation.."));
    EXPECT_FALSE(engine.IsWorkerRunning()); // given up: the engine holds no handles
    adapter.Release();
    engine.JoinWorkers();
    // The erase finished, the worker found no event and ended between steps: no Close.
    EXPECT_TRUE(Logged("Erase complete."));
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 0u);
    EXPECT_EQ(adapter.CountOf("Close"), 0u);
    EXPECT_EQ(adapter.isOpen, 1);
    EXPECT_EQ(bus.Posted(kBusJobState).back(), 1000u);
}

TEST_F(WorkerTest, TwoWorkersNeverUseTheAdapterAtOnce) {
    Fill(0xE000, 64);
    adapter.BlockIn("Erase", 1);
    ASSERT_TRUE(engine.StartWorker(kJobErase | kJobVerify, 0));
    adapter.WaitUntilBlocked();
    // A second request (say from another instance) gives the first worker up after the
    // bound and starts a new one while the first is still inside the adapter.
    ASSERT_TRUE(engine.StartWorker(kJobProgram, 0));
    EXPECT_TRUE(engine.IsWorkerRunning());
    adapter.Release();
    engine.JoinWorkers();
    EXPECT_EQ(adapter.MaxConcurrent(), 1);
    // The first worker ended after its erase and took nothing of the new list; the new one
    // found the adapter open and programmed.
    const std::vector<std::string> ops = adapter.Ops();
    std::vector<std::string> work;
    for (const std::string& op : ops)
        if (op != "GetErrorNumber" && op != "GetErrorText")
            work.push_back(op);
    EXPECT_EQ(work, (std::vector<std::string>{"Open", "Erase", "WriteMemory", "Close"}));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 0u); // the first list's Verify never ran
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0, 0, 0, 1000, 1000}));
}

TEST_F(WorkerTest, AListKeepsTheAdapterItStartedWithWhenTheMainThreadSwitches) {
    // A second start's command line may pick another adapter while a list runs: the list
    // finishes on the adapter it attached, Close included, and the next list uses the new one.
    ScriptedAdapter other(256, "BSL");
    other.openDevice = 3;
    Fill(0xE000, 64);
    adapter.BlockIn("Erase", 1);
    ASSERT_TRUE(engine.StartWorker(kJobErase | kJobBlankCheck, 0));
    adapter.WaitUntilBlocked();
    engine.SetAdapter(&other);
    adapter.Release();
    ASSERT_TRUE(engine.WaitForWorker(60000));
    std::vector<std::string> work;
    for (const std::string& op : adapter.Ops())
        if (op != "GetErrorNumber" && op != "GetErrorText")
            work.push_back(op);
    EXPECT_EQ(work, (std::vector<std::string>{"Open", "Erase", "EraseCheck", "EraseCheck", "Close"}));
    EXPECT_TRUE(other.Calls().empty());
    EXPECT_TRUE(Logged("Blank check complete."));

    ASSERT_TRUE(engine.StartWorker(kJobAttachOnly, 0));
    ASSERT_TRUE(engine.WaitForWorker(60000));
    EXPECT_EQ(other.Ops().front(), "Open");
    EXPECT_EQ(other.Ops().back(), "Close");
    EXPECT_EQ(adapter.CountOf("Open"), 1u);
}

TEST_F(WorkerTest, AdapterChangesWaitForTheRunningListAndApplyAtOnceWhenIdle) {
    engine.ChangeAdapters([this] { adapter.portNumber = 2; });
    EXPECT_EQ(adapter.portNumber, 2u); // no list runs: at once

    std::atomic<uint32_t> portDuringList{0};
    adapter.onCall = [&](const AdapterCall& call) {
        if (call.op == "EraseCheck")
            portDuringList = adapter.portNumber;
    };
    adapter.BlockIn("Erase", 1);
    ASSERT_TRUE(engine.StartWorker(kJobErase | kJobBlankCheck, 0));
    adapter.WaitUntilBlocked();
    engine.ChangeAdapters([this] { adapter.portNumber = 5; });
    engine.ChangeAdapters([this] { adapter.portNumber += 1; }); // kept in order
    EXPECT_EQ(adapter.portNumber, 2u);
    adapter.Release();
    ASSERT_TRUE(engine.WaitForWorker(60000));
    EXPECT_EQ(portDuringList.load(), 2u); // the list finished with the port it opened with
    EXPECT_EQ(adapter.portNumber, 6u);    // and the changes were made before the worker ended
}

TEST_F(WorkerTest, WaitForWorkerReportsAWorkerStillRunning) {
    adapter.BlockIn("Open", 1);
    ASSERT_TRUE(engine.StartWorker(kJobAttachOnly, 0));
    adapter.WaitUntilBlocked();
    EXPECT_TRUE(engine.IsWorkerRunning());
    EXPECT_FALSE(engine.WaitForWorker(0));
    adapter.Release();
    EXPECT_TRUE(engine.WaitForWorker(60000));
    EXPECT_FALSE(engine.IsWorkerRunning());
    // The handles of the finished worker are released by the next start.
    EXPECT_TRUE(engine.StartWorker(kJobAttachOnly, 0));
    EXPECT_TRUE(engine.WaitForWorker(60000));
    EXPECT_FALSE(Logged("Break operation..")); // the first worker had ended: no break
}

TEST_F(WorkerTest, DestroyingTheEngineStopsAndJoinsItsWorker) {
    ScriptedAdapter local;
    RecordingBus localBus;
    local.BlockIn("Open", 1);
    std::thread releaser;
    {
        JobEngine scoped(&localBus, &image);
        scoped.SetAdapter(&local);
        ASSERT_TRUE(scoped.StartWorker(kJobRead | kJobVerify, 0));
        local.WaitUntilBlocked();
        releaser = std::thread([&] { local.Release(); });
        // Leaving the scope breaks the list off and joins the worker, which still uses the
        // engine after the 77 ms bound; sanitizers catch any use after destruction.
    }
    releaser.join();
    EXPECT_EQ(local.MaxConcurrent(), 1);
    EXPECT_EQ(local.CountOf("Open"), 1u);
    const auto posted = localBus.Posted(kBusJobState);
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back(), 1000u);
}

TEST(CancelEventTest, IsAutoResetting) {
    CancelEvent event;
    EXPECT_FALSE(event.TryConsume());
    event.Signal();
    event.Signal();
    EXPECT_TRUE(event.TryConsume());
    EXPECT_FALSE(event.TryConsume());
    EXPECT_FALSE(event.WaitFor(0));
    event.Signal();
    EXPECT_TRUE(event.WaitFor(0));
    EXPECT_FALSE(event.TryConsume());
}

TEST(CancelEventTest, WakesAWaiterOnAnotherThread) {
    CancelEvent event;
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = event.WaitFor(60000); });
    event.Signal();
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_FALSE(event.TryConsume()); // consumed by the waiter
}
