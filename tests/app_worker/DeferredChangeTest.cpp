// The image never changes under a running job: loads that arrive while a worker runs
// (reload, recent entry, dropped file, a second start's command line) break the job off
// and wait until the worker has stopped.
#include "NotifyingBus.h"

#include "jobs/JobFlags.h"

#include <atomic>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

class DeferredChange : public WorkerShell {
protected:
    // A failed check must not leave the worker blocked for the shell's destruction.
    void TearDown() override { raw.Release(); }

    // A job that sits inside the adapter's first write until released. The adapter notes
    // whether the image ever changed while the worker was inside it.
    void StartBlockedProgram() {
        StartWithNotifyingBus();
        ASSERT_TRUE(shell->LoadFile(ProgramFile("running.txt")));
        raw.onCall = [this](const AdapterCall& call) {
            if (call.op == "WriteMemory" && shell->Image().Low() != expectedLow.load())
                imageChangedUnderWorker = true;
        };
        raw.BlockIn("WriteMemory");
        shell->StartJob(kJobProgram);
        raw.WaitUntilBlocked();
    }
    // Lets the worker finish and hands its end-of-list notice to the shell, as the
    // window's message loop would.
    void FinishWorker(int listEnds = 1) {
        raw.Release();
        ASSERT_TRUE(notifying.WaitForListEnds(listEnds));
        shell->HandleBusMessage(kBusJobState, 1000);
    }
    bool BrokeOff() const {
        for (const std::string& line : notifying.LogLines()) {
            if (line == "Break operation..")
                return true;
        }
        return false;
    }

    std::atomic<uint32_t> expectedLow{0x1100};
    std::atomic<bool> imageChangedUnderWorker{false};
};

TEST_F(DeferredChange, DroppedFileLoadsOnlyAfterTheBrokenOffWorkerHasStopped) {
    StartBlockedProgram();
    const std::string other = WriteFile("other.txt", "@2000\nAA BB\nq\n");

    EXPECT_FALSE(shell->LoadDroppedFiles({other}));
    EXPECT_TRUE(BrokeOff());
    EXPECT_TRUE(shell->ChangePending());
    EXPECT_EQ(shell->Image().Low(), 0x1100u); // the worker may still read it
    EXPECT_EQ(view.title, "PYROLA - [running.txt]");
    // Until the load has run the window stays busy: no new job can start on the old image.
    EXPECT_FALSE(view.states.IsEnabled(kCmdProgram));
    EXPECT_FALSE(view.states.IsEnabled(kCmdOpen));
    EXPECT_TRUE(view.states.IsEnabled(kCmdCancel));

    expectedLow = 0x1100;
    FinishWorker();
    // The notice waited for the broken-off worker: a view may read the image again.
    EXPECT_FALSE(shell->ImageInUse());
    EXPECT_FALSE(imageChangedUnderWorker.load());
    EXPECT_FALSE(shell->ChangePending());
    EXPECT_EQ(shell->Image().Low(), 0x2000u);
    EXPECT_EQ(shell->CurrentFile(), other);
    EXPECT_EQ(view.title, "PYROLA - [other.txt]");
    EXPECT_EQ(shell->RecentFiles().Entries().front(), other);
    EXPECT_TRUE(view.states.IsEnabled(kCmdProgram));
    EXPECT_FALSE(view.states.IsEnabled(kCmdCancel));
    // The broken-off list wrote only the block it was in.
    EXPECT_EQ(raw.CountOf("WriteMemory"), 1u);
}

TEST_F(DeferredChange, HandedOverCommandLineLoadsAndRunsItsJobAfterTheWorkerStopped) {
    StartBlockedProgram();
    const std::string other = WriteFile("other.txt", "@2000\nAA BB CC DD\nq\n");

    // What a second start with "+p other.txt" hands over.
    CommandLineOutcome outcome = shell->ProcessCommandLine("+p " + other);
    EXPECT_FALSE(outcome.jobStarted);
    EXPECT_TRUE(BrokeOff());
    EXPECT_EQ(shell->Image().Low(), 0x1100u);

    // The broken-off worker has made its only write; the handed-over job runs on the new image.
    expectedLow = 0x2000;
    FinishWorker();
    EXPECT_TRUE(view.Logged("Loading TI TXT file \"other.txt\".."));
    EXPECT_TRUE(view.Logged("Load 4 bytes at 0x2000-0x2003"));
    ASSERT_TRUE(notifying.WaitForListEnds(2));
    const std::vector<AdapterCall> writes = raw.CallsOf("WriteMemory");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].a, 0x1100u);
    EXPECT_EQ(writes[1].a, 0x2000u);
    EXPECT_EQ(writes[1].data, (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0xDD}));
    EXPECT_FALSE(imageChangedUnderWorker.load());
}

TEST_F(DeferredChange, ACommandLineWithoutAFileStillJustBreaksOffAndStarts) {
    StartBlockedProgram();
    CommandLineOutcome outcome = shell->ProcessCommandLine("+e");
    EXPECT_TRUE(outcome.jobStarted); // nothing to load: the new request replaces the job at once
    EXPECT_FALSE(shell->ChangePending());
    EXPECT_TRUE(BrokeOff());
    raw.Release();
    ASSERT_TRUE(shell->Engine().WaitForAllWorkers(20000));
    EXPECT_EQ(raw.CountOf("Erase"), 1u);
    EXPECT_EQ(raw.MaxConcurrent(), 1);
}

TEST_F(DeferredChange, RecentEntryAndReloadWaitToo) {
    StartBlockedProgram();
    const std::string gone = ProgramFile("gone.txt");
    ASSERT_EQ(shell->RecentFiles().Entries().size(), 1u);
    shell->RecentFiles().Add(gone);
    std::filesystem::remove(gone);

    // Recent entries and Reload stay enabled while a job runs.
    shell->ExecuteCommand(kCmdRecentFirst); // gone.txt, now missing
    EXPECT_TRUE(shell->ChangePending());
    EXPECT_EQ(shell->RecentFiles().Entries().size(), 2u);

    FinishWorker();
    EXPECT_FALSE(imageChangedUnderWorker.load());
    // The failed entry is dropped once the load could run.
    EXPECT_EQ(shell->RecentFiles().Entries().size(), 1u);
    const auto logs = view.LogTexts();
    ASSERT_GE(logs.size(), 2u);
    EXPECT_TRUE(logs[logs.size() - 2].rfind("Load failed. ", 0) == 0) << logs[logs.size() - 2];
    // The line after it names the file and the system's reason.
    EXPECT_NE(logs.back().find("gone.txt: No such file or directory"), std::string::npos) << logs.back();

    // Reload while a second job runs: the file is read again only after that job.
    ASSERT_TRUE(shell->LoadFile(shell->RecentFiles().Entries().front()));
    WriteFile("running.txt", "@3000\n01\n@3003\n02\nq\n");
    raw.BlockIn("Erase");
    shell->StartJob(kJobErase);
    raw.WaitUntilBlocked();
    shell->ExecuteCommand(kCmdReloadFile);
    EXPECT_EQ(shell->Image().Low(), 0x1100u);
    FinishWorker(2);
    EXPECT_EQ(shell->Image().Low(), 0x3000u);
    EXPECT_EQ(shell->Image().High(), 0x3003u);
}

TEST_F(DeferredChange, AutoWithReloadWaitsForTheWorkerBeforeReadingTheFile) {
    StartBlockedProgram();
    WriteFile("running.txt", "@4000\n11 22\nq\n");
    shell->StartJob(kJobReload | kJobVerify);
    EXPECT_EQ(shell->Image().Low(), 0x1100u);
    FinishWorker();
    EXPECT_EQ(shell->Image().Low(), 0x4000u);
    ASSERT_TRUE(notifying.WaitForListEnds(2));
    EXPECT_GE(raw.CountOf("ReadMemory"), 1u); // the verify ran after the reload
    EXPECT_FALSE(imageChangedUnderWorker.load());
}

TEST_F(DeferredChange, CancelAndExitCallAWaitingLoadOff) {
    StartBlockedProgram();
    const std::string other = WriteFile("other.txt", "@2000\nAA BB\nq\n");
    EXPECT_FALSE(shell->LoadFile(other));
    ASSERT_TRUE(shell->ChangePending());
    shell->ExecuteCommand(kCmdCancel);
    EXPECT_FALSE(shell->ChangePending());
    FinishWorker();
    EXPECT_EQ(shell->Image().Low(), 0x1100u);
    EXPECT_NE(shell->CurrentFile().find("running.txt"), std::string::npos);

    raw.BlockIn("Erase");
    shell->StartJob(kJobErase);
    raw.WaitUntilBlocked();
    EXPECT_FALSE(shell->SaveFile(WriteFile("saved.txt", "")));
    ASSERT_TRUE(shell->ChangePending());
    shell->Exit();
    EXPECT_FALSE(shell->ChangePending());
    FinishWorker(2);
    EXPECT_FALSE(view.Logged("Save complete."));
}

} // namespace
} // namespace pyrola::test
