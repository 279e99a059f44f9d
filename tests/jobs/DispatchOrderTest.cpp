// Step order of a list, attach and close, and the list-ending rules.
#include "tests/jobs/JobTestFixture.h"

#include <stdexcept>

using namespace pyrola;
using namespace pyrola::test;

using Ops = std::vector<std::string>;

namespace {
bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}
} // namespace

TEST_F(JobTest, ProgramAndVerifyOnAClosedAdapterAttachFirstAndCloseLast) {
    Fill(0xE000, 16, 0x10);
    RunList(kJobProgram | kJobVerify);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "WriteMemory", "ReadMemory", "Close"}));
    EXPECT_EQ(engine.RemainingFlags(), 0u);
    // Identification and end of list each post the job-state notice.
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0, 1000}));
    EXPECT_EQ(bus.Messages().back().code, kBusJobState);
    EXPECT_TRUE(bus.Messages().back().posted);
}

TEST_F(JobTest, DebugStepRunsBeforeAttachAndTheRestFollows) {
    Fill(0xE000, 4, 0);
    RunList(kJobDebugOneWire | kJobProgram);
    EXPECT_EQ(WorkOps(), (Ops{"DebugOneWire", "Open", "WriteMemory", "Close"}));
    const auto log = bus.LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Debug OW interface. Try to get DS18B20");
    EXPECT_EQ(log[1], "Debug OW interface complete.");
    EXPECT_EQ(log[2], "Initialize..");
}

TEST_F(JobTest, UnknownBitsAloneAttachThenEndTheList) {
    RunList(0x0020);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Close"}));
    EXPECT_EQ(engine.RemainingFlags(), 0x0020u); // never taken
    // No failure is reported: the list merely has nothing to do.
    for (const std::string& status : bus.StatusTexts())
        EXPECT_EQ(status.find("failed"), std::string::npos) << status;
}

TEST_F(JobTest, AttachOnlyIdentifiesAndDoesNothingElse) {
    RunList(kJobAttachOnly);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Close"}));
    EXPECT_EQ(engine.DeviceIndex(), 7u);
    EXPECT_STREQ(engine.PublishedRecord().name, "MSP430F149");
}

TEST_F(JobTest, AutoRunsInTheFixedOrderWhateverTheBitsSay) {
    Fill(0xE000, 32, 0);
    RunList(kJobAutoDefault);
    EXPECT_EQ(WorkOps(),
              (Ops{"Open", "Erase", "EraseCheck", "EraseCheck", "WriteMemory", "ReadMemory", "Close"}));
    const auto status = bus.StatusTexts();
    EXPECT_TRUE(Contains(status, "Erase complete."));
    EXPECT_TRUE(Contains(status, "Blank check complete."));
    EXPECT_TRUE(Contains(status, "Program complete."));
    EXPECT_TRUE(Contains(status, "Verify complete."));
}

TEST_F(JobTest, EveryStepBitRunsInItsPlace) {
    Fill(0xE000, 8, 0);
    RunList(kJobReset | kJobErase | kJobBlankCheck | kJobRead | kJobProgram | kJobVerify | kJobAttachOnly |
            kJobDumpDeviceId | kJobDumpRam | kJobDumpLoader);
    // Read comes before Program; the dumps come last, device ID first.
    const auto ops = WorkOps();
    ASSERT_GE(ops.size(), 6u);
    EXPECT_EQ(Ops(ops.begin(), ops.begin() + 6),
              (Ops{"Open", "Reset", "Erase", "EraseCheck", "EraseCheck", "ReadMemory"}));
    // The read replaced the image, so Program writes what was read; then the dumps.
    const auto reads = adapter.CallsOf("ReadMemory");
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(reads[reads.size() - 3].a, 0x0FF0u);
    EXPECT_EQ(reads[reads.size() - 3].b, 16u);
    EXPECT_EQ(reads[reads.size() - 2].a, 0x0200u);
    EXPECT_EQ(reads[reads.size() - 2].b, 0x0800u);
    EXPECT_EQ(reads[reads.size() - 1].a, 0x0C00u);
    EXPECT_EQ(reads[reads.size() - 1].b, 0x03F0u);
    EXPECT_EQ(ops.back(), "Close");
    const auto status = bus.StatusTexts();
    // F149: 256 bytes of information memory and 0x1100-0xFFFF of main memory.
    const std::string readText = Format("Read %d(0x%X) bytes", 256 + 0xEF00, 256 + 0xEF00);
    const auto pos = [&](const std::string& s) {
        return std::find(status.begin(), status.end(), s) - status.begin();
    };
    for (const std::string& text : {std::string("Reset complete."), readText, std::string("Dump complete.")})
        EXPECT_LT(size_t(pos(text)), status.size()) << text;
    EXPECT_LT(pos("Reset complete."), pos("Erase complete."));
    EXPECT_LT(pos("Erase complete."), pos("Blank check complete."));
    EXPECT_LT(pos("Blank check complete."), pos(readText));
    EXPECT_LT(pos(readText), pos("Program complete."));
    EXPECT_LT(pos("Program complete."), pos("Verify complete."));
    EXPECT_LT(pos("Verify complete."), pos("Dump complete."));
    EXPECT_EQ(engine.RemainingFlags(), 0u);
}

TEST_F(JobTest, FailingEraseEndsAutoWithTheErrorTextAppended) {
    Fill(0xE000, 32, 0);
    adapter.SetResult("Erase", 5);
    adapter.errorNumber = 5;
    adapter.errorTexts[5] = "Could not erase device memory";
    RunList(kJobAutoDefault);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Erase", "Close"}));
    const auto log = bus.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Erase failed.Could not erase device memory");
    EXPECT_EQ(bus.StatusTexts().back(), "Erase failed.");
    // The failed step's bit is gone; the later ones stay until the next start.
    EXPECT_EQ(engine.RemainingFlags(), kJobProgram | kJobBlankCheck | kJobVerify);
}

TEST_F(JobTest, FailingInitLogsTheAdapterTextAloneAndForgetsTheDevice) {
    engine.SetDeviceIndex(12);
    adapter.openResult = false;
    adapter.errorTexts[-1] = "Could not open port";
    adapter.errorNumber = -1;
    RunList(kJobProgram);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Close"}));
    EXPECT_EQ(adapter.CallsOf("Open")[0].a, 12u); // proposed as requestedDevice
    EXPECT_EQ(engine.DeviceIndex(), 0u);
    EXPECT_EQ(bus.StatusTexts().back(), "Init() failed.");
    EXPECT_EQ(bus.LogLines().back(), "Could not open port");
    EXPECT_EQ(engine.RemainingFlags(), kJobProgram); // Init consumes no bit
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0, 1000}));
}

TEST_F(JobTest, OpenThatIdentifiesNothingEndsTheListSilently) {
    adapter.openDevice = 0;
    Step().device.index = 0;
    RunList(kJobErase);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Close"}));
    for (const std::string& status : bus.StatusTexts())
        EXPECT_EQ(status.find("failed"), std::string::npos) << status;
}

TEST_F(JobTest, AnOpenAdapterSkipsInitialization) {
    adapter.isOpen = 1;
    FillDeviceRecord(7, &Step().device);
    RunList(kJobErase);
    EXPECT_EQ(WorkOps(), (Ops{"Erase", "Close"}));
    EXPECT_FALSE(Contains(bus.LogLines(), "Initialize.."));
}

TEST_F(JobTest, EmptyListIsOverAtOnce) {
    engine.SetFlags(0);
    EXPECT_FALSE(engine.Dispatch());
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_TRUE(bus.Messages().empty());
}

TEST_F(JobTest, ExceptionInAStepIsLoggedAndEndsTheList) {
    Fill(0xE000, 32, 0);
    adapter.ThrowIn("Erase");
    RunList(kJobAutoDefault);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Erase", "Close"}));
    EXPECT_EQ(bus.LogLines().back(), "Unhandled exception detected!");
    // It ends the list like a failure: in the error colour, so no front end reads the run
    // as passed.
    EXPECT_EQ(bus.StatusTexts().back(), "Unhandled exception detected!");
    EXPECT_EQ(bus.Sent(kBusErrorColour).back(), 1u);
    EXPECT_EQ(bus.Posted(kBusJobState).back(), 1000u);
}

TEST_F(JobTest, MissingAdapterOrImageFailsInsteadOfCrashing) {
    engine.SetAdapter(nullptr);
    engine.SetFlags(kJobErase);
    EXPECT_FALSE(engine.Dispatch());
    EXPECT_EQ(bus.StatusTexts().back(), "Init() failed.");
    engine.SetAdapter(&adapter);
    engine.SetImage(nullptr);
    bus.Clear();
    EXPECT_FALSE(engine.Dispatch());
    EXPECT_EQ(bus.StatusTexts().back(), "Init() failed.");
    EXPECT_TRUE(adapter.Calls().empty());
}

TEST_F(JobTest, SerialStepsRunAfterVerifyWriteBeforeRead) {
    adapter.openDevice = 3;
    Fill(0xE000, 4, 0);
    engine.Serial().address = 0xF000;
    engine.Serial().bytes = {1, 2};
    RunList(kJobReadSerial | kJobWriteSerial | kJobVerify | kJobProgram | kJobAttachOnly);
    const auto status = bus.StatusTexts();
    const auto pos = [&](const std::string& s) {
        return std::find(status.begin(), status.end(), s) - status.begin();
    };
    EXPECT_LT(pos("Verify complete."), pos("Write serial number complete."));
    EXPECT_LT(pos("Write serial number complete."), pos("Read serial number complete."));
    EXPECT_LT(size_t(pos("Read serial number complete.")), status.size());
    EXPECT_EQ(adapter.Ops().back(), "Close");
}

TEST_F(JobTest, CancelBetweenStepsEndsWithoutClose) {
    Fill(0xE000, 32, 0);
    adapter.onCall = [this](const AdapterCall& call) {
        if (call.op == "Erase")
            event->Signal();
    };
    event = engine.HoldCancelEvent();
    RunList(kJobAutoDefault);
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Erase"}));
    EXPECT_EQ(adapter.isOpen, 1);
    EXPECT_EQ(bus.Posted(kBusJobState).back(), 1000u);
    // The next list starts without initialization.
    adapter.onCall = nullptr;
    adapter.ClearCalls();
    RunList(kJobBlankCheck);
    EXPECT_EQ(WorkOps(), (Ops{"EraseCheck", "EraseCheck", "Close"}));
}

TEST_F(JobTest, NoEventHeldCountsAsCancelled) {
    JobEngine bare(&bus, &image);
    bare.SetAdapter(&adapter);
    EXPECT_TRUE(bare.Context().CancelRequested());
    bare.SetFlags(kJobErase);
    bare.Run();
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{1000}));
}

TEST_F(JobTest, ACheckOfTheAttachedChipRefusesTheListBeforeAnythingChanges) {
    Fill(0xE000, 16, 0);
    std::string checkedName;
    JobRequest hooks;
    hooks.checkAttachedDevice = [&](const DeviceRecord& device) {
        checkedName = device.name;
        return std::string("Error. Not on this chip: nothing was done");
    };
    engine.SetRequest(hooks);
    RunList(kJobAutoDefault | kJobWriteSerial);
    EXPECT_EQ(checkedName, "MSP430F149");
    EXPECT_EQ(WorkOps(), (Ops{"Open", "Close"}));
    EXPECT_EQ(bus.StatusTexts().back(), "Error. Not on this chip: nothing was done");
    EXPECT_EQ(bus.LogLines().back(), "Error. Not on this chip: nothing was done");
    EXPECT_NE(engine.RemainingFlags() & kJobErase, 0u); // never taken
    EXPECT_EQ(engine.StepTimes().size(), 1u);           // the attach alone

    // Accepted: every step that ran has its time, in the order run.
    hooks.checkAttachedDevice = [](const DeviceRecord&) { return std::string(); };
    engine.SetRequest(hooks);
    RunList(kJobErase | kJobProgram);
    std::vector<uint32_t> bits;
    for (const StepTime& time : engine.StepTimes())
        bits.push_back(time.bit);
    EXPECT_EQ(bits, (std::vector<uint32_t>{0, kJobErase, kJobProgram}));
}
