#include "../app/ShellFixture.h"
#include "NotifyingBus.h"

#include "app/QueuedMessageBus.h"
#include "jobs/JobFlags.h"
#include "platform/InstanceChannel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pyrola::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

TEST_F(WorkerShell, CancelWhileProgramWritesEndsQuietlyAndClosesTheAdapter) {
    StartWithNotifyingBus();
    // 4 KiB in one piece: several program blocks.
    std::string text = "@1100\n";
    for (int i = 0; i < 4096; ++i)
        text += (i % 16 == 15) ? "5A\n" : "5A ";
    ASSERT_TRUE(shell->LoadFile(WriteFile("big.txt", text + "q\n")));
    raw.BlockIn("WriteMemory", 2);
    shell->StartJob(kJobProgram);
    raw.WaitUntilBlocked();
    EXPECT_TRUE(shell->ComputeCommandStates().IsEnabled(kCmdCancel));

    // The block in flight outlasts the main thread's bounded wait; once it completes, the
    // worker meets the cancel before its next run. (Releasing it inside the wait would let
    // the worker race the signal and write on.)
    shell->ExecuteCommand(kCmdCancel);
    EXPECT_FALSE(shell->IsJobRunning());
    raw.Release();
    ASSERT_TRUE(notifying.WaitForListEnds(1));

    Strings log = notifying.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Break operation.."), log.end());
    for (const std::string& status : notifying.StatusTexts()) {
        EXPECT_EQ(status.find("failed"), std::string::npos) << status;
        EXPECT_EQ(status.find("Program complete"), std::string::npos) << status;
    }
    EXPECT_EQ(raw.CountOf("WriteMemory"), 2u); // the block in flight finished, no further one
    EXPECT_EQ(raw.CountOf("Close"), 1u);

    // The window re-enables its commands when the final notice arrives.
    shell->HandleBusMessage(kBusJobState, 1000);
    EXPECT_TRUE(view.states.IsEnabled(kCmdProgram));
    EXPECT_FALSE(view.states.IsEnabled(kCmdCancel));
}

TEST_F(WorkerShell, CancelWhileEraseIsInTheAdapterReturnsWithinTheBoundWithoutClose) {
    StartWithNotifyingBus();
    raw.BlockIn("Erase");
    shell->StartJob(kJobErase | kJobBlankCheck);
    raw.WaitUntilBlocked();

    const auto before = std::chrono::steady_clock::now();
    shell->StartJob(kJobCancel);
    const auto waited = std::chrono::steady_clock::now() - before;
    // The bound is 77 ms; the margin only absorbs sanitizer and scheduling slowness.
    EXPECT_LT(waited, 1500ms);
    EXPECT_FALSE(shell->IsJobRunning()); // given up: the window is free again

    raw.Release();
    ASSERT_TRUE(notifying.WaitForListEnds(1));
    EXPECT_EQ(raw.CountOf("Erase"), 1u);
    EXPECT_EQ(raw.CountOf("EraseCheck"), 0u); // no cancel event left: the list stops
    EXPECT_EQ(raw.CountOf("Close"), 0u);

    // The adapter stayed open: the next list starts without initialization.
    shell->StartJob(kJobErase);
    ASSERT_TRUE(notifying.WaitForListEnds(2));
    EXPECT_EQ(raw.CountOf("Open"), 1u);
    EXPECT_EQ(raw.MaxConcurrent(), 1);
}

TEST_F(WorkerShell, ACommandLineThatSwitchesAdapterDuringAJobLeavesTheRunningListAlone) {
    StartWithNotifyingBus();
    raw.BlockIn("Erase");
    shell->StartJob(kJobErase | kJobBlankCheck);
    raw.WaitUntilBlocked();

    // What a second start hands over: another adapter, no steps, so nothing is broken off.
    shell->ProcessCommandLine("-bsl -c4");
    EXPECT_EQ(shell->CurrentAdapter(), &bsl);
    EXPECT_EQ(view.adapterLabel, "BSL(COM4)");
    EXPECT_TRUE(shell->IsJobRunning());

    raw.Release();
    ASSERT_TRUE(notifying.WaitForListEnds(1));
    EXPECT_EQ(Ops(raw), (Strings{"Open", "Erase", "EraseCheck", "EraseCheck", "Close"}));
    EXPECT_TRUE(bsl.Calls().empty());

    // The next list attaches the newly chosen adapter.
    shell->StartJob(kJobErase);
    ASSERT_TRUE(notifying.WaitForListEnds(2));
    EXPECT_EQ(Ops(bsl), (Strings{"Open", "Erase", "Close"}));
    EXPECT_EQ(raw.CountOf("Open"), 1u);
}

TEST_F(WorkerShell, APortHandedOverDuringAJobReachesTheAdapterWhenItsListEnds) {
    StartWithNotifyingBus();
    std::atomic<uint32_t> portDuringList{0};
    raw.onCall = [&](const AdapterCall& call) {
        if (call.op == "EraseCheck")
            portDuringList = raw.portNumber;
    };
    raw.BlockIn("Erase");
    shell->StartJob(kJobErase | kJobBlankCheck);
    raw.WaitUntilBlocked();

    shell->ProcessCommandLine("-c3");
    EXPECT_EQ(view.adapterLabel, "RAW(LPT3)");
    EXPECT_EQ(shell->GetSettings().rawPort, 2u);
    EXPECT_EQ(raw.portNumber, 1u); // the adapter in use is left alone

    raw.Release();
    ASSERT_TRUE(shell->Engine().WaitForWorker(20000));
    EXPECT_EQ(portDuringList.load(), 1u);
    EXPECT_EQ(raw.portNumber, 3u);
    EXPECT_EQ(Ops(raw), (Strings{"Open", "Erase", "EraseCheck", "EraseCheck", "Close"}));
}

// The headless program's arrangement: the worker's requests come back through a queue
// and are handled on this thread.
TEST_F(ShellFixture, QueuedBusCarriesAWholeJobToTheView) {
    QueuedMessageBus queued;
    StartOn(queued);
    queued.SetReceiver([this](uint32_t code, uintptr_t value) { shell->HandleBusMessage(code, value); });

    CommandLineOutcome outcome = shell->ProcessCommandLine("+ep " + ProgramFile());
    ASSERT_TRUE(outcome.jobStarted);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (shell->IsJobRunning() && std::chrono::steady_clock::now() < deadline)
        queued.Pump(20);
    while (queued.Pump(0) > 0) {
    }
    ASSERT_FALSE(shell->IsJobRunning());

    Strings log = view.LogTexts();
    auto at = [&](const std::string& text) { return std::find(log.begin(), log.end(), text) - log.begin(); };
    EXPECT_LT(at("Initialize.."), at("Erase complete."));
    EXPECT_LT(at("Erase complete."), at("Program complete."));
    EXPECT_LT(at("Program complete."), static_cast<long>(log.size()));
    EXPECT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.back(), "destroy");
    EXPECT_FALSE(view.states.IsEnabled(kCmdCancel));
    EXPECT_TRUE(view.states.IsEnabled(kCmdProgram));
    EXPECT_EQ(view.deviceIndex, raw.openDevice);
    EXPECT_EQ(view.statusTexts.back(), "Program complete.");
    queued.Shutdown();
}

TEST_F(WorkerShell, ExitBreaksARunningJobAndSavesTheSettings) {
    StartWithNotifyingBus();
    raw.BlockIn("Erase");
    notifying.onSend = [this](const BusMessage& m) {
        if (m.text == "Break operation..")
            raw.Release();
    };
    shell->ProcessCommandLine("-c3 +e");
    raw.WaitUntilBlocked();
    shell->Exit();
    EXPECT_FALSE(shell->IsJobRunning());
    Strings log = notifying.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Break operation.."), log.end());
    EXPECT_EQ(store.ReadNumber("Software\\Qorvane\\Pyrola", "RAW_FET_PORT"), 2u);
    ASSERT_TRUE(notifying.WaitForListEnds(1));
}

// The running program's side of a second start: the channel's notice becomes bus request
// 12 on the main loop, and the handed-over command line runs there.
TEST_F(ShellFixture, HandOverFromASecondStartRunsInTheFirst) {
    static int counter = 0;
    const std::string name = "pyrolashelltest" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "n" +
                             std::to_string(++counter);
    QueuedMessageBus queued;
    StartOn(queued);
    queued.SetReceiver([this](uint32_t code, uintptr_t value) { shell->HandleBusMessage(code, value); });

    auto first = CreateInstanceChannel(name);
    ASSERT_TRUE(first->BecomePrimary());
    first->Listen([&queued] { queued.Post(kBusNewInstance, 0); });
    shell->SetInstanceChannel(first.get());

    auto second = CreateInstanceChannel(name);
    ASSERT_FALSE(second->BecomePrimary());
    ASSERT_EQ(second->HandOver("-fet -c2"), HandOverResult::Delivered);
#ifdef _WIN32
    queued.Post(kBusNewInstance, 0); // the broadcast goes to the window
#endif
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (view.adapterLabel != "FET(LPT2)" && std::chrono::steady_clock::now() < deadline)
        queued.Pump(50);
    EXPECT_EQ(view.adapterLabel, "FET(LPT2)");
    EXPECT_TRUE(view.Logged("Detect new instance"));
    EXPECT_EQ(view.broughtToFront, 1);
    queued.Shutdown();
    shell.reset();
}

TEST(QueuedMessageBus, SendWaitsForTheMainLoopAndShutdownReleasesSenders) {
    QueuedMessageBus bus;
    std::vector<std::string> seen;
    bus.SetReceiver([&](uint32_t code, uintptr_t value) {
        seen.push_back(code <= 1 ? std::string(reinterpret_cast<const char*>(value)) : std::to_string(value));
    });
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        std::string text = "from the worker";
        bus.SendText(kBusLogLine, text);
        text = "overwritten after the send"; // the receiver had its own copy
        returned = true;
        bus.Post(kBusJobState, 1000);
    });
    while (!returned)
        bus.Pump(50);
    sender.join();
    bus.Pump(0);
    EXPECT_EQ(seen, (std::vector<std::string>{"from the worker", "1000"}));

    // Sends on the main thread are handled at once.
    bus.Send(kBusScrollTo, 7);
    EXPECT_EQ(seen.back(), "7");

    std::thread blocked([&] { bus.Send(kBusProgressStep, 0); });
    bus.Shutdown();
    blocked.join(); // would hang if Shutdown left the sender waiting
    EXPECT_EQ(seen.size(), 3u);
}

} // namespace
} // namespace pyrola::test
