// Attach, Reset, Erase, Blank check, the dumps and the debug step.
#include "tests/jobs/JobTestFixture.h"

#include <cstring>

using namespace pyrola;
using namespace pyrola::test;

TEST_F(JobTest, InitLendsTheRecordWithSupplyAndProposedDevice) {
    engine.SetDeviceIndex(3);
    uint16_t supplySeen = 0;
    DeviceRecord* lent = nullptr;
    adapter.onCall = [&](const AdapterCall& call) {
        if (call.op == "Open") {
            supplySeen = adapter.deviceRecord->supplyMillivolts;
            lent = adapter.deviceRecord;
        }
    };
    adapter.openDevice = 3;
    engine.SetFlags(kJobAttachOnly);
    EXPECT_TRUE(engine.Dispatch());
    EXPECT_EQ(supplySeen, 3600);
    EXPECT_EQ(lent, &Step().device);
    EXPECT_EQ(adapter.requestedDevice, 3u);
    EXPECT_EQ(bus.LogLines(),
              (std::vector<std::string>{"Initialize..",
                                        "Device: MSP430F133. Info(0x1000-0x10FF), Main:(0xE000-0xFFFF)"}));
    EXPECT_EQ(bus.StatusTexts(), (std::vector<std::string>{"Initialize.."}));
    EXPECT_EQ(bus.Posted(kBusJobState), (std::vector<uintptr_t>{0}));
    EXPECT_EQ(engine.DeviceIndex(), 3u);
}

TEST_F(JobTest, InitCopesWithAnUnterminatedNameFromTheLibrary) {
    adapter.openDevice = 0;
    adapter.onCall = [&](const AdapterCall& call) {
        if (call.op != "Open")
            return;
        DeviceRecord& record = *adapter.deviceRecord;
        std::memset(record.name, 'N', sizeof record.name);
        record.index = 5;
        record.infoStart = 0x1000;
        record.infoEnd = 0x10FF;
        record.mainStart = 0x8000;
        record.mainEnd = 0xFFFF;
    };
    engine.SetFlags(kJobAttachOnly);
    EXPECT_TRUE(engine.Dispatch());
    EXPECT_EQ(bus.LogLines().back(),
              "Device: " + std::string(32, 'N') + ". Info(0x1000-0x10FF), Main:(0x8000-0xFFFF)");
    EXPECT_EQ(engine.DeviceIndex(), 5u);
}

TEST_F(JobTest, StepsOnAClosedAdapterEndSilently) {
    adapter.isOpen = 0;
    Fill(0xE000, 4, 0);
    EXPECT_FALSE(StepReset(Step()));
    EXPECT_FALSE(StepErase(Step()));
    EXPECT_FALSE(StepBlankCheck(Step()));
    EXPECT_FALSE(StepRead(Step()));
    EXPECT_FALSE(StepProgram(Step()));
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_FALSE(StepDumpDeviceId(Step()));
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_TRUE(bus.Messages().empty());
    EXPECT_TRUE(image.IsPresent(0xE000)); // nothing cleared
}

TEST_F(JobTest, ResetPassesEveryMethodAndReportsBothWays) {
    Attach();
    EXPECT_TRUE(StepReset(Step()));
    const auto resets = adapter.CallsOf("Reset");
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0].a, 7u);
    EXPECT_EQ(resets[0].b, 1u);
    EXPECT_EQ(resets[0].c, 1u);
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{"Reset target..", "Reset complete."}));
    adapter.SetResult("Reset", -1);
    adapter.defaultErrorText = "No method worked";
    EXPECT_FALSE(StepReset(Step()));
    EXPECT_EQ(bus.LogLines().back(), "Reset failed.No method worked");
}

TEST_F(JobTest, EraseModeFollowsTheInformationFlag) {
    adapter.openDevice = 3;
    Attach();
    EXPECT_TRUE(StepErase(Step()));
    engine.SetEraseInfo(0);
    EXPECT_TRUE(StepErase(Step()));
    const auto erases = adapter.CallsOf("Erase");
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].a, 2u);
    EXPECT_EQ(erases[0].b, 0xE000u);
    EXPECT_EQ(erases[0].c, 0x2000u);
    EXPECT_EQ(erases[1].a, 1u);
    EXPECT_EQ(erases[1].c, 0x2000u);
    EXPECT_EQ(bus.LogLines().front(), "Erasing flash memory..");
}

TEST_F(JobTest, BlankCheckCoversInformationMemoryOnlyWhenAllowed) {
    adapter.openDevice = 3;
    Attach();
    EXPECT_TRUE(StepBlankCheck(Step()));
    auto checks = adapter.CallsOf("EraseCheck");
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].a, 0x1000u);
    EXPECT_EQ(checks[0].b, 0x100u);
    EXPECT_EQ(checks[1].a, 0xE000u);
    EXPECT_EQ(checks[1].b, 0x2000u);
    EXPECT_EQ(bus.LogLines().front(), "Verifying device memory erasure..");

    adapter.ClearCalls();
    engine.SetEraseInfo(0);
    adapter.memory[0x1000] = 0x00; // protected memory may hold data
    EXPECT_TRUE(StepBlankCheck(Step()));
    checks = adapter.CallsOf("EraseCheck");
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].a, 0xE000u);

    // A failing first check skips the second.
    adapter.ClearCalls();
    engine.SetEraseInfo(1);
    adapter.defaultErrorText = "Not blank";
    EXPECT_FALSE(StepBlankCheck(Step()));
    EXPECT_EQ(adapter.CountOf("EraseCheck"), 1u);
    EXPECT_EQ(bus.LogLines().back(), "Blank check failed.Not blank");
}

TEST_F(JobTest, DumpsStoreExactlyTheirAreaIntoAClearedImage) {
    Attach();
    Fill(0xE000, 8, 0x40);
    for (uint32_t i = 0; i < 16; ++i)
        adapter.memory[0x0FF0 + i] = uint8_t(0xA0 + i);
    engine.SetFlags(kJobDumpDeviceId);
    EXPECT_TRUE(engine.Dispatch());
    EXPECT_FALSE(image.IsPresent(0xE000));
    EXPECT_EQ(image.Low(), 0x0FF0u);
    EXPECT_EQ(image.High(), 0x0FFFu);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(image.ValueAt(0x0FF0 + i), 0xA0 + i);
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{"Dump device memory..", "Dump complete."}));

    engine.SetFlags(kJobDumpLoader);
    EXPECT_TRUE(engine.Dispatch());
    EXPECT_EQ(image.Low(), 0x0C00u);
    EXPECT_EQ(image.High(), 0x0C00u + 0x03F0u - 1);
    // One transfer, no progress and no view scroll.
    EXPECT_TRUE(bus.Sent(kBusProgressRange).empty());
    EXPECT_TRUE(bus.Posted(kBusScrollTo).empty());
}

TEST_F(JobTest, RamDumpLengthFollowsRamEnd) {
    Attach();
    struct Case {
        uint16_t ramEnd;
        uint32_t length;
    };
    for (const Case c : {Case{0x02FF, 0x0100}, Case{0x09FF, 0x0800}, Case{0x02FE, 0x00FF}, Case{0x0200, 1}}) {
        adapter.ClearCalls();
        Step().device.ramEnd = c.ramEnd;
        engine.SetFlags(kJobDumpRam);
        EXPECT_TRUE(engine.Dispatch());
        const auto reads = adapter.CallsOf("ReadMemory");
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].a, 0x0200u);
        EXPECT_EQ(reads[0].b, c.length);
        EXPECT_EQ(image.Size(), c.length > 1 ? c.length : 0u);
        EXPECT_TRUE(image.IsPresent(0x0200));
    }
    // RAM ending below its start: nothing to read, the image is cleared, the dump succeeds.
    for (uint16_t ramEnd : {uint16_t(0x01FF), uint16_t(0x0000)}) {
        adapter.ClearCalls();
        bus.Clear();
        Step().device.ramEnd = ramEnd;
        engine.SetFlags(kJobDumpRam);
        EXPECT_TRUE(engine.Dispatch());
        EXPECT_EQ(adapter.CountOf("ReadMemory"), 0u);
        EXPECT_FALSE(image.IsPresent(0x0200));
        EXPECT_EQ(bus.StatusTexts().back(), "Dump complete.");
    }
}

TEST_F(JobTest, FailedDumpLeavesTheImageCleared) {
    Attach();
    Fill(0x0200, 64, 1);
    adapter.SetResult("ReadMemory", -1);
    adapter.defaultErrorText = "Read error";
    engine.SetFlags(kJobDumpRam);
    EXPECT_FALSE(engine.Dispatch());
    EXPECT_EQ(image.Size(), 0u);
    EXPECT_FALSE(image.IsPresent(0x0200));
    EXPECT_EQ(bus.StatusTexts().back(), "Dump failed.");
    EXPECT_EQ(bus.LogLines().back(), "Read error");
}

TEST_F(JobTest, DebugStepIgnoresTheAdapterResultAndNeedsNoAttach) {
    adapter.isOpen = 0;
    EXPECT_TRUE(StepDebugOneWire(Step()));
    EXPECT_EQ(adapter.CountOf("DebugOneWire"), 1u);
    EXPECT_EQ(adapter.CountOf("Open"), 0u);
    EXPECT_EQ(bus.StatusTexts(), (std::vector<std::string>{"Debug OW interface. Try to get DS18B20",
                                                           "Debug OW interface complete."}));
    EXPECT_TRUE(StepAttachOnly(Step()));
}
