// Writing a serial number into flash by segment patch, and reading it back.
#include "jobs/SerialPlacement.h"
#include "tests/jobs/JobTestFixture.h"

#include <algorithm>

using namespace pyrola;
using namespace pyrola::test;

namespace {

class SerialTest : public JobTest {
protected:
    void SetUp() override {
        adapter.openDevice = 3; // info 0x1000-0x10FF, main 0xE000-0xFFFF
        Attach();
        for (uint32_t a = 0; a < 0x10000; ++a)
            adapter.memory[a] = uint8_t(a ^ (a >> 8));
    }
    void Serial(uint32_t address, std::vector<uint8_t> bytes) {
        engine.Serial().address = address;
        engine.Serial().bytes = std::move(bytes);
    }
    uint8_t Before(uint32_t a) const { return uint8_t(a ^ (a >> 8)); }
};

} // namespace

TEST_F(SerialTest, WriteInInformationMemoryPatchesOneSmallSegment) {
    Serial(0x1040, {0x12, 0x34, 0x56});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    const auto erases = adapter.CallsOf("Erase");
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].a, 0u);
    EXPECT_EQ(erases[0].b, 0x1000u);
    EXPECT_EQ(erases[0].c, 128u);
    // The segment keeps its other bytes, the serial sits at offset 0x40.
    EXPECT_EQ(adapter.memory[0x1040], 0x12);
    EXPECT_EQ(adapter.memory[0x1042], 0x56);
    EXPECT_EQ(adapter.memory[0x103F], Before(0x103F));
    EXPECT_EQ(adapter.memory[0x1043], Before(0x1043));
    EXPECT_EQ(adapter.memory[0x107F], Before(0x107F));
    EXPECT_EQ(adapter.memory[0x1080], Before(0x1080));
    EXPECT_EQ(bus.LogLines(), (std::vector<std::string>{
                                  "Writing device serialization number to 0x1040..",
                                  "Prepare to patch. Backup (0x1000-0x107F) memory..",
                                  "Process patch. Erase segment..",
                                  "Final patch. Write memory..",
                                  "Write serial number complete.",
                              }));
    EXPECT_EQ(engine.Serial().valid, 1);
    EXPECT_EQ(engine.Serial().bytes, (std::vector<uint8_t>{0x12, 0x34, 0x56}));
    EXPECT_EQ(bus.Sent(kBusSerialRefresh), (std::vector<uintptr_t>{0}));
}

TEST_F(SerialTest, WriteInMainMemoryUsesTheLargeSegment) {
    adapter.openDevice = 7; // main from 0x1100
    Attach();
    Serial(0xFFE0, {0xAA, 0xBB});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CallsOf("Erase")[0].b, 0xFE00u);
    EXPECT_EQ(adapter.CallsOf("Erase")[0].c, 512u);
    const auto writes = adapter.CallsOf("WriteMemory");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data[0x1E0], 0xAA);
    EXPECT_EQ(writes[0].data[0x1E1], 0xBB);
    EXPECT_EQ(writes[0].data[0], Before(0xFE00));
    EXPECT_EQ(bus.LogLines()[1], "Prepare to patch. Backup (0xFE00-0xFFFF) memory..");
}

TEST_F(SerialTest, AddressOutsideFlashIsRejectedBeforeAnyDeviceAccess) {
    Serial(0x0200, {1, 2, 3, 4});
    engine.Serial().valid = 1;
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_FALSE(StepReadSerialNumber(Step()));
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_EQ(bus.StatusTexts(),
              (std::vector<std::string>{"Error. Address 0x0200 not in flash memory space",
                                        "Error. Address 0x0200 not in flash memory space"}));
    EXPECT_EQ(bus.Sent(kBusErrorColour), (std::vector<uintptr_t>{1, 1}));
    EXPECT_TRUE(bus.Sent(kBusSerialRefresh).empty());
    EXPECT_EQ(engine.Serial().valid, 0); // the read clears it first
}

TEST_F(SerialTest, SerialCrossingItsSegmentIsRefused) {
    Serial(0x107E, {1, 2, 3});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_TRUE(adapter.Calls().empty());
    EXPECT_EQ(bus.StatusTexts().back(), "Error. Address 0x107E not in flash memory space");
    EXPECT_EQ(bus.Sent(kBusErrorColour).back(), 1u);
    EXPECT_TRUE(bus.Sent(kBusSerialRefresh).empty()); // refused like an address outside flash
    // Exactly filling the segment's end is fine.
    Serial(0x107D, {1, 2, 3});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.memory[0x107F], 3);
}

TEST_F(SerialTest, EmptySerialRewritesItsSegmentUnchanged) {
    Serial(0xF010, {});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CallsOf("Erase").size(), 1u);
    EXPECT_EQ(adapter.CallsOf("WriteMemory").size(), 1u);
    for (uint32_t a = 0xF000; a < 0xF200; ++a)
        ASSERT_EQ(adapter.memory[a], Before(a)) << a;
    EXPECT_EQ(engine.Serial().valid, 1);
}

TEST_F(SerialTest, AnAdapterWithoutVerifyIsCheckedByReadingBack) {
    // The loader cannot verify: every call fails, so backup and write are read back instead.
    adapter.SetResult("VerifyMemory", -1);
    adapter.defaultErrorText = "This function not implemented";
    Serial(0xE010, {9, 8});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.memory[0xE010], 9);
    EXPECT_EQ(adapter.memory[0xE011], 8);
    EXPECT_EQ(adapter.memory[0xE012], Before(0xE012));
    EXPECT_EQ(bus.StatusTexts().back(), "Write serial number complete.");
    EXPECT_EQ(engine.Serial().valid, 1);

    // A bit that does not take the write shows in the read back: five tries, then failure.
    bool written = false;
    adapter.onCall = [&](const AdapterCall& call) {
        written = written || call.op == "WriteMemory";
        if (written && call.op == "ReadMemory")
            adapter.memory[0xE010] = 0x01;
    };
    adapter.ClearCalls();
    Serial(0xE010, {9, 8});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 5u);
    EXPECT_EQ(bus.StatusTexts().back(), "Write serial number failed.");
    EXPECT_EQ(engine.Serial().valid, 0);
}

TEST_F(SerialTest, TheRewrittenSegmentIsCheckedAgainstTheImage) {
    JobRequest hooks;
    hooks.checkSerialAgainstImage = true;
    engine.SetRequest(hooks);
    // The chip holds the image in 0xE000-0xE00F; the serial lies beside it.
    Fill(0xE000, 16, 0x40);
    for (uint32_t a = 0xE000; a < 0xE010; ++a)
        adapter.memory[a] = image.ValueAt(a);
    Serial(0xE010, {9});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    // A chip that does not hold the image there (here one byte differs) fails the step,
    // even though the segment was written back as it was read.
    adapter.memory[0xE004] = 0;
    Serial(0xE010, {7});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(
        bus.LogLines().back(),
        "The serial's segment 0xE000-0xE1FF differs from the image and serial in 1 bytes, first at 0xE004");
    EXPECT_EQ(bus.StatusTexts().back(), "Write serial number failed.");
    EXPECT_EQ(engine.Serial().valid, 0);
}

TEST_F(SerialTest, FailingEraseRestoresTheUnpatchedBackup) {
    adapter.SetResult("EraseCheck", -1);
    Serial(0xE010, {0x00, 0x00});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("Erase"), 5u);
    EXPECT_EQ(adapter.CountOf("EraseCheck"), 5u);
    const auto writes = adapter.CallsOf("WriteMemory");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data[0x10], Before(0xE010)); // not patched
    EXPECT_EQ(adapter.memory[0xE010], Before(0xE010));
    const auto log = bus.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Erase failed. Restore memory."), log.end());
    EXPECT_EQ(bus.StatusTexts().back(), "Write serial number failed.");
    EXPECT_EQ(engine.Serial().valid, 0);
}

TEST_F(SerialTest, StagesRetryUntilBothCallsSucceed) {
    adapter.FailCall("Erase", 1);
    adapter.FailCall("EraseCheck", 1); // second try: erase ok, check fails
    adapter.FailCall("WriteMemory", 1);
    Serial(0xE100, {0x5A});
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("Erase"), 3u);
    EXPECT_EQ(adapter.CountOf("EraseCheck"), 2u);
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 2u);
    EXPECT_EQ(adapter.memory[0xE100], 0x5A);
    EXPECT_EQ(engine.Serial().valid, 1);
}

TEST_F(SerialTest, FailingWriteBackEndsWithTheAdapterText) {
    adapter.SetResult("WriteMemory", -1);
    adapter.defaultErrorText = "Write error";
    Serial(0xE100, {0x5A});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 5u);
    EXPECT_EQ(bus.LogLines().back(), "Write error");
    EXPECT_EQ(engine.Serial().valid, 0);
}

TEST_F(SerialTest, ReadStoresExactlyTheSerialsBytes) {
    Serial(0xE003, {0, 0, 0, 0});
    EXPECT_TRUE(StepReadSerialNumber(Step()));
    EXPECT_EQ(engine.Serial().bytes,
              (std::vector<uint8_t>{Before(0xE003), Before(0xE004), Before(0xE005), Before(0xE006)}));
    EXPECT_EQ(engine.Serial().valid, 1);
    EXPECT_EQ(bus.LogLines().front(), "Reading device serialization number at 0xE003..");
    EXPECT_EQ(bus.StatusTexts().back(), "Read serial number complete.");
    EXPECT_EQ(bus.Sent(kBusSerialRefresh), (std::vector<uintptr_t>{0}));
    // An odd length reads through a buffer with a spare byte.
    Serial(0xE003, {0, 0, 0});
    EXPECT_TRUE(StepReadSerialNumber(Step()));
    EXPECT_EQ(engine.Serial().bytes.size(), 3u);
}

TEST_F(SerialTest, FailedReadKeepsTheBlockInvalid) {
    adapter.SetResult("ReadMemory", -1);
    adapter.defaultErrorText = "No answer";
    Serial(0xE000, {7, 7});
    engine.Serial().valid = 1;
    EXPECT_FALSE(StepReadSerialNumber(Step()));
    EXPECT_EQ(engine.Serial().valid, 0);
    EXPECT_EQ(engine.Serial().bytes, (std::vector<uint8_t>{7, 7}));
    EXPECT_EQ(bus.StatusTexts().back(), "Read serial number failed.");
    EXPECT_EQ(bus.LogLines().back(), "No answer");
    EXPECT_EQ(bus.Sent(kBusSerialRefresh), (std::vector<uintptr_t>{0}));
}

// A front end that prepares the write (the headless program reserving its number) sees
// the device only after the backup and before any change to it.
TEST_F(SerialTest, PreparationRunsBetweenBackupAndErase) {
    Serial(0x1040, {0, 0, 0});
    std::vector<std::string> opsAtPreparation;
    JobRequest hooks;
    hooks.prepareSerialWrite = [&](const DeviceRecord& device, SerialBlock& block) {
        opsAtPreparation = adapter.Ops();
        EXPECT_EQ(device.mainStart, 0xE000);
        block.bytes = {'A', '7', 0};
        return SerialWritePreparation{true, "A7 reserved"};
    };
    engine.SetRequest(hooks);
    EXPECT_TRUE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(opsAtPreparation, (std::vector<std::string>{"ReadMemory", "VerifyMemory"}));
    EXPECT_EQ(adapter.memory[0x1040], 'A');
    EXPECT_EQ(adapter.memory[0x1042], 0);
    const auto log = bus.LogLines();
    EXPECT_EQ(log[2], "A7 reserved");
    EXPECT_EQ(log[3], "Process patch. Erase segment..");
}

TEST_F(SerialTest, RefusedPreparationLeavesTheDeviceAlone) {
    Serial(0xE010, {1});
    engine.Serial().valid = 1;
    JobRequest hooks;
    hooks.prepareSerialWrite = [](const DeviceRecord&, SerialBlock&) {
        return SerialWritePreparation{false, "No number left"};
    };
    engine.SetRequest(hooks);
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.Ops(), (std::vector<std::string>{"ReadMemory", "VerifyMemory"}));
    EXPECT_EQ(bus.StatusTexts().back(), "Write serial number failed.");
    EXPECT_EQ(bus.Sent(kBusErrorColour).back(), 1u);
    EXPECT_EQ(bus.LogLines().back(), "No number left");
    EXPECT_EQ(engine.Serial().valid, 0);
    EXPECT_EQ(bus.Sent(kBusSerialRefresh), (std::vector<uintptr_t>{0}));
}

// Ctrl+C while the backup is read: the step stops before a number is taken (none used up),
// so the log's FAIL line and the chip agree: no serial.
TEST_F(SerialTest, ACancelBeforeTheNumberIsTakenUsesNoneUp) {
    Serial(0xE010, {1});
    bool taken = false;
    JobRequest hooks;
    hooks.prepareSerialWrite = [&](const DeviceRecord&, SerialBlock&) {
        taken = true;
        return SerialWritePreparation{true, ""};
    };
    engine.SetRequest(hooks);
    adapter.onCall = [this](const AdapterCall& call) {
        if (call.op == "ReadMemory")
            event->Signal();
    };
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_FALSE(taken);
    EXPECT_EQ(adapter.CountOf("Erase"), 0u);
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 0u);
    const auto log = bus.LogLines();
    EXPECT_NE(
        std::find(log.begin(), log.end(), "Cancelled before a serial number was taken: none is used up."),
        log.end());
}

TEST_F(SerialTest, PreparationMayNotMoveTheSerialOrLeaveItsSegment) {
    Serial(0x107C, {1, 2});
    JobRequest hooks;
    hooks.prepareSerialWrite = [](const DeviceRecord&, SerialBlock& block) {
        block.bytes = {1, 2, 3, 4, 5}; // past 0x107F
        return SerialWritePreparation{true, ""};
    };
    engine.SetRequest(hooks);
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("Erase"), 0u);
    EXPECT_EQ(bus.LogLines().back(), "Error. Address 0x107C not in flash memory space");

    adapter.ClearCalls();
    hooks.prepareSerialWrite = [](const DeviceRecord&, SerialBlock& block) {
        block.address = 0xE000; // the backup holds another segment
        return SerialWritePreparation{true, ""};
    };
    engine.SetRequest(hooks);
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_EQ(adapter.CountOf("Erase"), 0u);
    EXPECT_EQ(engine.Serial().address, 0x107Cu);
}

TEST_F(SerialTest, NoPreparationWhenTheBackupFails) {
    adapter.SetResult("ReadMemory", -1);
    bool prepared = false;
    JobRequest hooks;
    hooks.prepareSerialWrite = [&](const DeviceRecord&, SerialBlock&) {
        prepared = true;
        return SerialWritePreparation{};
    };
    engine.SetRequest(hooks);
    Serial(0xE010, {9});
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    Serial(0x0200, {9}); // outside flash
    EXPECT_FALSE(StepWriteSerialNumber(Step()));
    EXPECT_FALSE(prepared);
}

TEST(SerialPlacementCheck, SegmentsByMemoryAndFit) {
    DeviceRecord device;
    FillDeviceRecord(3, &device); // info 0x1000-0x10FF, main 0xE000-0xFFFF
    EXPECT_EQ(SerialSegmentOf(MemoryRangesOf(device), 0x1040).start, 0x1000u);
    EXPECT_EQ(SerialSegmentOf(MemoryRangesOf(device), 0x1040).size, 128u);
    EXPECT_EQ(SerialSegmentOf(MemoryRangesOf(device), 0xFFE0).start, 0xFE00u);
    EXPECT_EQ(SerialSegmentOf(MemoryRangesOf(device), 0xFFE0).size, 512u);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(device), 0x107D, 3), SerialPlacement::Fits);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(device), 0x107E, 3), SerialPlacement::CrossesSegment);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(device), 0xFFFF, 0xFFFFFFFF),
              SerialPlacement::CrossesSegment);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(device), 0x0200, 1), SerialPlacement::OutsideFlash);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(device), 0x1100, 1), SerialPlacement::OutsideFlash);
    // Main memory from 0x1100: the segment of 0x1100 starts in information memory, so its
    // erase could never be checked.
    DeviceRecord f149;
    uint32_t index = 1;
    while (index < kDeviceCount && std::string(DeviceName(index)) != "MSP430F149")
        ++index;
    FillDeviceRecord(index, &f149);
    ASSERT_EQ(f149.mainStart, 0x1100u);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(f149), 0x1100, 2), SerialPlacement::SegmentOutsideFlash);
    EXPECT_EQ(CheckSerialPlacement(MemoryRangesOf(f149), 0x1200, 2), SerialPlacement::Fits);
}
