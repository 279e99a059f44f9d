// Read, Program and Verify: transfer sizes, range cuts, marks, progress and cancel.
#include "tests/jobs/JobTestFixture.h"

#include "base/TextFormat.h"

#include <algorithm>

using namespace pyrola;
using namespace pyrola::test;

namespace {

class BslJobTest : public JobTest {
protected:
    BslJobTest() : JobTest(250) {}
};

struct Transfer {
    uint32_t address;
    uint32_t count;
    bool operator==(const Transfer&) const = default;
};

std::vector<Transfer> Transfers(const ScriptedAdapter& adapter, const std::string& op) {
    std::vector<Transfer> out;
    for (const AdapterCall& call : adapter.CallsOf(op))
        out.push_back({call.a, call.b});
    return out;
}

void PrintTo(const Transfer& t, std::ostream* os) {
    *os << std::hex << "{0x" << t.address << ", " << t.count << "}";
}

uint32_t CountCells(const MemoryImage& image, ImageCell flag) {
    uint32_t count = 0;
    for (uint32_t a = 0; a < image.CellCount(); ++a)
        if (image.CellAt(a) & flag)
            ++count;
    return count;
}

} // namespace

// --- Read ----------------------------------------------------------------------------------

TEST_F(JobTest, ReadMovesInformationThenMainInDoubleBlocks) {
    adapter.openDevice = 3; // main 0xE000-0xFFFF
    Attach();
    for (uint32_t a = 0; a < 0x10000; ++a)
        adapter.memory[a] = uint8_t(a * 7 + 3);
    Fill(0x0200, 4, 0); // replaced by the read
    EXPECT_TRUE(StepRead(Step()));
    std::vector<Transfer> expected{{0x1000, 256}};
    for (uint32_t a = 0xE000; a < 0x10000; a += 512)
        expected.push_back({a, 512});
    EXPECT_EQ(Transfers(adapter, "ReadMemory"), expected);
    EXPECT_EQ(bus.StatusTexts().back(), "Read 8448(0x2100) bytes");
    EXPECT_EQ(bus.LogLines().back(), "Read 8448(0x2100) bytes");
    EXPECT_FALSE(image.IsPresent(0x0200));
    EXPECT_EQ(image.Low(), 0x1000u);
    EXPECT_EQ(image.High(), 0xFFFFu);
    EXPECT_FALSE(image.IsPresent(0x1100));
    EXPECT_FALSE(image.IsPresent(0xDFFF));
    for (uint32_t a : {0x1000u, 0x10FFu, 0xE000u, 0xE1FFu, 0xE200u, 0xFFFFu})
        EXPECT_EQ(image.ValueAt(a), uint8_t(a * 7 + 3)) << std::hex << a;
    // Progress: range, information done, then every main block, then removal.
    std::vector<uintptr_t> positions{0x1100};
    for (uint32_t a = 0xE200; a <= 0x10000; a += 512)
        positions.push_back(a);
    EXPECT_EQ(bus.Sent(kBusProgressRange), (std::vector<uintptr_t>{0xFFFF}));
    EXPECT_EQ(bus.Sent(kBusProgressPos), positions);
    EXPECT_EQ(bus.Sent(kBusProgressEnd).size(), 1u);
    EXPECT_EQ(bus.Posted(kBusScrollTo), (std::vector<uintptr_t>{0x1000}));
}

TEST_F(BslJobTest, ReadUsesTheLoadersSmallerBlocks) {
    adapter.openDevice = 3;
    Attach();
    EXPECT_TRUE(StepRead(Step()));
    const auto reads = Transfers(adapter, "ReadMemory");
    ASSERT_EQ(reads.size(), 1u + 17u); // 8192 = 16 x 500 + 192
    EXPECT_EQ(reads[1], (Transfer{0xE000, 500}));
    EXPECT_EQ(reads[16], (Transfer{0xE000 + 15 * 500, 500}));
    EXPECT_EQ(reads[17], (Transfer{0xE000 + 16 * 500, 192}));
}

TEST_F(JobTest, ReadFailingAtTheFirstTransferLeavesTheImageCleared) {
    Attach();
    Fill(0xE000, 16, 0);
    adapter.FailCall("ReadMemory", 1);
    adapter.defaultErrorText = "No answer";
    EXPECT_FALSE(StepRead(Step()));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 1u);
    EXPECT_EQ(image.Size(), 0u);
    EXPECT_EQ(CountCells(image, CellAbsent), image.CellCount());
    EXPECT_EQ(bus.StatusTexts().back(), "Read failed.");
    EXPECT_EQ(bus.LogLines().back(), "No answer");
    EXPECT_EQ(bus.Sent(kBusProgressEnd).size(), 1u);
}

TEST_F(JobTest, ReadFailingLaterKeepsWhatArrivedIncludingTheFailedBlock) {
    adapter.openDevice = 3;
    Attach();
    std::fill(adapter.memory.begin(), adapter.memory.end(), 0x11);
    adapter.FailCall("ReadMemory", 3); // second main block
    EXPECT_FALSE(StepRead(Step()));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 3u);
    EXPECT_TRUE(image.IsPresent(0x1000));
    EXPECT_TRUE(image.IsPresent(0xE1FF));
    EXPECT_TRUE(image.IsPresent(0xE3FF)); // the failed block is stored too
    EXPECT_FALSE(image.IsPresent(0xE400));
    EXPECT_EQ(image.ValueAt(0xE000), 0x11);
    EXPECT_EQ(bus.StatusTexts().back(), "Read failed.");
}

TEST_F(JobTest, ReadNeverOverrunsTheInformationBuffer) {
    Attach();
    // A library may describe a larger information memory than any table device has.
    Step().device.infoStart = 0x1000;
    Step().device.infoEnd = 0x14FF; // 1280 bytes
    Step().device.mainStart = 0xF000;
    Step().device.mainEnd = 0xFFFF;
    for (uint32_t a = 0x1000; a < 0x1500; ++a)
        adapter.memory[a] = uint8_t(a >> 4);
    EXPECT_TRUE(StepRead(Step()));
    const auto reads = Transfers(adapter, "ReadMemory");
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(reads[0], (Transfer{0x1000, 512}));
    EXPECT_EQ(reads[1], (Transfer{0x1200, 512}));
    EXPECT_EQ(reads[2], (Transfer{0x1400, 256}));
    EXPECT_EQ(image.ValueAt(0x14FF), uint8_t(0x14FF >> 4));
    EXPECT_EQ(bus.StatusTexts().back(), Format("Read %d(0x%X) bytes", 1280 + 4096, 1280 + 4096));
}

TEST_F(JobTest, ReadOfAnInvertedRangeTransfersNothing) {
    Attach();
    Step().device.infoStart = 0x10FF;
    Step().device.infoEnd = 0x1000;
    Step().device.mainStart = 0xFFFF;
    Step().device.mainEnd = 0xE000;
    EXPECT_TRUE(StepRead(Step()));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 0u);
    EXPECT_EQ(bus.StatusTexts().back(), "Read 0(0x0) bytes");
}

TEST_F(JobTest, CancelInsideReadRemovesTheBarAndEndsSilently) {
    adapter.openDevice = 3;
    Attach();
    event = engine.HoldCancelEvent();
    adapter.onCall = [this](const AdapterCall& call) {
        if (call.op == "ReadMemory" && call.a == 0xE200)
            event->Signal();
    };
    engine.SetFlags(kJobRead | kJobVerify);
    engine.Run();
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 3u);
    EXPECT_EQ(adapter.Ops().back(), "Close");
    const auto codes = bus.Codes();
    // The bar goes, then the final notice; no failure text.
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], kBusProgressEnd);
    for (const std::string& status : bus.StatusTexts())
        EXPECT_EQ(status.find("failed"), std::string::npos) << status;
    EXPECT_EQ(engine.RemainingFlags(), kJobVerify);
}

// --- Program -------------------------------------------------------------------------------

TEST_F(JobTest, ProgramCutsRunsAtFourBlocks) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 1500, 0x21);
    EXPECT_TRUE(StepProgram(Step()));
    EXPECT_EQ(Transfers(adapter, "WriteMemory"), (std::vector<Transfer>{{0xE000, 1024}, {0xE400, 476}}));
    for (uint32_t i = 0; i < 1500; ++i)
        ASSERT_EQ(adapter.memory[0xE000 + i], uint8_t(0x21 + i)) << i;
    EXPECT_EQ(adapter.memory[0xE000 + 1500], 0xFF);
    EXPECT_EQ(bus.LogLines(),
              (std::vector<std::string>{"Programming the device memory..", "Program complete."}));
    EXPECT_EQ(bus.Sent(kBusProgressRange), (std::vector<uintptr_t>{0xE000 + 1499}));
    EXPECT_EQ(bus.Sent(kBusProgressPos), (std::vector<uintptr_t>{0xE000, 0xE400}));
    EXPECT_EQ(bus.Sent(kBusProgressEnd).size(), 1u);
}

TEST_F(BslJobTest, ProgramCutsRunsAtFourLoaderBlocks) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 1500, 0x21);
    EXPECT_TRUE(StepProgram(Step()));
    EXPECT_EQ(Transfers(adapter, "WriteMemory"), (std::vector<Transfer>{{0xE000, 1000}, {0xE3E8, 500}}));
}

TEST_F(JobTest, ProgramCutsAtHolesAndDeviceRangesAndWarns) {
    adapter.openDevice = 3; // info 0x1000-0x10FF, main 0xE000-0xFFFF
    Attach();
    Fill(0x0F00, 0x0300, 0);        // RAM side, information memory, gap before main
    Fill(0xDFF0, 0x20, 0x80);       // straddles the start of main memory
    Fill(0xF000, 3, 0x90);          // odd run
    image.StoreByte(0x10004, 0x55); // beyond the 16-bit device
    EXPECT_TRUE(StepProgram(Step()));
    EXPECT_EQ(Transfers(adapter, "WriteMemory"),
              (std::vector<Transfer>{{0x1000, 0x100}, {0xE000, 0x10}, {0xF000, 3}}));
    const auto log = bus.LogLines();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1], "Warning: Device memory started at 0x1000");
    EXPECT_EQ(log[2], "Warning: Device memory end at 0xFFFF");
    // 0x0F00-0x0FFF, 0x1100-0x11FF, 0xDFF0-0xDFFF and 0x10004 have no memory behind them;
    // of those, 0x0FFF and 0x11FF hold the erased value 0xFF, which is no data.
    EXPECT_EQ(image.CellAt(0x0FFF), 0xFF);
    EXPECT_EQ(image.CellAt(0x11FF), 0xFF);
    EXPECT_EQ(log[3],
              "Warning: 527 image bytes outside the device memory were not written (first at 0x0F00)");
    EXPECT_EQ(engine.BytesOutsideDevice(), 527u);
    EXPECT_EQ(bus.Sent(kBusProgressRange), (std::vector<uintptr_t>{0xFFFF}));

    // Verify leaves the same bytes out and says so; protected information bytes are no
    // such bytes.
    bus.Clear();
    engine.SetEraseInfo(0);
    EXPECT_TRUE(StepVerify(Step()));
    EXPECT_EQ(bus.LogLines()[3],
              "Warning: 527 image bytes outside the device memory were not checked (first at 0x0F00)");
}

TEST_F(JobTest, AnImageThatFitsTheDeviceGivesNoOutsideWarning) {
    adapter.openDevice = 3;
    Attach();
    Fill(0x1000, 0x100, 0);
    Fill(0xE000, 0x2000, 0);
    EXPECT_TRUE(StepProgram(Step()));
    for (const std::string& line : bus.LogLines())
        EXPECT_EQ(line.find("outside the device"), std::string::npos) << line;
    EXPECT_EQ(engine.BytesOutsideDevice(), 0u);
}

TEST_F(JobTest, WarningPadsTheAddressWithBlanks) {
    Attach();
    Step().device.infoStart = 0x0300;
    Step().device.infoEnd = 0x03FF;
    Fill(0x0100, 0x400, 0);
    EXPECT_TRUE(StepProgram(Step()));
    EXPECT_EQ(bus.LogLines()[1], "Warning: Device memory started at 0x 300");
}

TEST_F(JobTest, ProtectedInformationMemoryIsNotProgrammed) {
    adapter.openDevice = 3;
    Attach();
    engine.SetEraseInfo(0);
    Fill(0x1000, 0x100, 0);
    Fill(0xE000, 0x10, 0);
    EXPECT_TRUE(StepProgram(Step()));
    EXPECT_EQ(Transfers(adapter, "WriteMemory"), (std::vector<Transfer>{{0xE000, 0x10}}));
}

TEST_F(JobTest, ProgramFailureMarksTheRunAndScrollsToIt) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 1500, 0x21);
    image.SetFlagAt(0x2000, CellError); // stale mark from an earlier job
    adapter.FailCall("WriteMemory", 2);
    adapter.defaultErrorText = "Could not program";
    EXPECT_FALSE(StepProgram(Step()));
    EXPECT_EQ(adapter.memory[0xE000], 0x21); // first run written
    EXPECT_EQ(adapter.memory[0xE400], 0xFF);
    for (uint32_t a = 0xE000; a < 0xE400; ++a)
        ASSERT_EQ(image.CellAt(a) & CellError, 0) << std::hex << a;
    for (uint32_t a = 0xE400; a < 0xE000 + 1500; ++a)
        ASSERT_NE(image.CellAt(a) & CellError, 0) << std::hex << a;
    EXPECT_EQ(CountCells(image, CellError), 476u);
    EXPECT_EQ(bus.Posted(kBusScrollTo), (std::vector<uintptr_t>{0xE400}));
    EXPECT_EQ(bus.LogLines().back(), "Program failed.Could not program");
    EXPECT_EQ(bus.StatusTexts().back(), "Program failed.");
    const auto codes = bus.Codes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), kBusProgressEnd), codes.end());
}

TEST_F(JobTest, ProgramWithNothingInsideTheDeviceFails) {
    adapter.openDevice = 3;
    Attach();
    // Empty image.
    EXPECT_FALSE(StepProgram(Step()));
    EXPECT_EQ(bus.StatusTexts().back(), "Program failed.");
    EXPECT_EQ(bus.LogLines().back(), "No image data inside the device memory");
    // Only bytes outside the device's ranges.
    bus.Clear();
    Fill(0x0200, 0x100, 0);
    Fill(0x2000, 0x100, 0);
    EXPECT_FALSE(StepProgram(Step()));
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 0u);
    EXPECT_EQ(bus.LogLines().back(), "No image data inside the device memory");
    EXPECT_EQ(CountCells(image, CellError | CellVerified), 0u);
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(bus.StatusTexts().back(), "Verify failed.");
    EXPECT_EQ(CountCells(image, CellError | CellVerified), 0u);
}

TEST_F(JobTest, CancelInsideProgramEndsAtTheNextRun) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 3000, 0);
    event = engine.HoldCancelEvent();
    adapter.onCall = [this](const AdapterCall& call) {
        if (call.op == "WriteMemory")
            event->Signal();
    };
    engine.SetFlags(kJobProgram | kJobVerify);
    engine.Run();
    EXPECT_EQ(adapter.CountOf("WriteMemory"), 1u);
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 0u);
    EXPECT_EQ(adapter.Ops().back(), "Close");
    EXPECT_EQ(bus.Sent(kBusProgressEnd).size(), 1u);
    EXPECT_EQ(bus.StatusTexts().back(), "Programming the device memory..");
    EXPECT_EQ(CountCells(image, CellError), 0u);
}

// --- Verify --------------------------------------------------------------------------------

TEST_F(JobTest, VerifyAfterProgramMarksEveryByteVerified) {
    adapter.openDevice = 3;
    Attach();
    Fill(0x1000, 0x80, 0x30);
    Fill(0xE000, 1500, 0x21);
    ASSERT_TRUE(StepProgram(Step()));
    bus.Clear();
    adapter.ClearCalls();
    EXPECT_TRUE(StepVerify(Step()));
    EXPECT_EQ(Transfers(adapter, "ReadMemory"),
              (std::vector<Transfer>{{0x1000, 0x80}, {0xE000, 1024}, {0xE400, 476}}));
    EXPECT_EQ(CountCells(image, CellVerified), 0x80u + 1500u);
    EXPECT_EQ(CountCells(image, CellError), 0u);
    EXPECT_EQ(bus.Posted(kBusScrollTo), (std::vector<uintptr_t>{0}));
    EXPECT_EQ(bus.LogLines(),
              (std::vector<std::string>{"Verifying device memory programming..", "Verify complete."}));
    EXPECT_EQ(bus.Sent(kBusProgressPos), (std::vector<uintptr_t>{0x1000, 0xE000, 0xE400}));
}

TEST_F(JobTest, VerifyCountsAndMarksDifferences) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 0x40, 0);
    ASSERT_TRUE(StepProgram(Step()));
    adapter.memory[0xE003] ^= 1;
    adapter.memory[0xE010] ^= 0x80;
    adapter.memory[0xE03F] = 0x00;
    image.SetFlagAt(0xE020, CellError); // stale marks are cleared first
    bus.Clear();
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(CountCells(image, CellError), 3u);
    EXPECT_EQ(CountCells(image, CellVerified), 0x40u - 3u);
    EXPECT_NE(image.CellAt(0xE010) & CellError, 0);
    EXPECT_EQ(bus.Posted(kBusScrollTo), (std::vector<uintptr_t>{0xE003}));
    // The count stays the status; the mismatches follow it in the log, in address order.
    EXPECT_EQ(bus.StatusTexts().back(), "Verify failed. Found 3 errors");
    const std::vector<std::string> lines = bus.LogLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(
        std::vector<std::string>(lines.end() - 4, lines.end()),
        (std::vector<std::string>{
            "Verify failed. Found 3 errors",
            Format("Mismatch at 0xE003: expected 0x%02X, found 0x%02X", unsigned(image.ValueAt(0xE003)),
                   unsigned(image.ValueAt(0xE003) ^ 1)),
            Format("Mismatch at 0xE010: expected 0x%02X, found 0x%02X", unsigned(image.ValueAt(0xE010)),
                   unsigned(image.ValueAt(0xE010) ^ 0x80)),
            Format("Mismatch at 0xE03F: expected 0x%02X, found 0x00", unsigned(image.ValueAt(0xE03F)))}));
    EXPECT_EQ(bus.Sent(kBusErrorColour).back(), 1u);

    // Past the limit the rest are counted, not listed; a limit of 0 lists them all.
    JobRequest request;
    request.mismatchesListed = 2;
    engine.SetRequest(request);
    bus.Clear();
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(bus.LogLines().back(), "1 more mismatches not listed");
    request.mismatchesListed = 0;
    engine.SetRequest(request);
    bus.Clear();
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(bus.LogLines().back().rfind("Mismatch at 0xE03F", 0), 0u);
}

TEST_F(JobTest, VerifyComparesProtectedInformationMemoryToo) {
    adapter.openDevice = 3;
    engine.SetEraseInfo(0);
    Fill(0x1000, 0x100, 0x00); // target's information memory stays 0xFF
    Fill(0xE000, 0x100, 0x00);
    adapter.SetResult("Erase", 0);
    RunList(kJobAutoDefault);
    const auto erases = adapter.CallsOf("Erase");
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].a, 1u);
    const auto checks = adapter.CallsOf("EraseCheck");
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].a, 0xE000u);
    EXPECT_EQ(Transfers(adapter, "WriteMemory"), (std::vector<Transfer>{{0xE000, 0x100}}));
    // Every information byte but 0xFF (offset 0xFF of the fill) differs.
    EXPECT_EQ(bus.StatusTexts().back(), "Verify failed. Found 255 errors");
    EXPECT_EQ(bus.Posted(kBusScrollTo).back(), 0x1000u);
}

TEST_F(JobTest, VerifyTransferFailureUsesTheAdapterText) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 3000, 0);
    adapter.FailCall("ReadMemory", 2);
    adapter.defaultErrorText = "Timeout";
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 2u);
    EXPECT_EQ(bus.StatusTexts().back(), "Verify failed.");
    EXPECT_EQ(bus.LogLines().back(), "Verify failed.Timeout");
}

TEST_F(JobTest, CancelInsideVerifyEndsSilently) {
    adapter.openDevice = 3;
    Attach();
    Fill(0xE000, 3000, 0);
    event = engine.HoldCancelEvent();
    adapter.onCall = [this](const AdapterCall& call) {
        if (call.op == "ReadMemory")
            event->Signal();
    };
    EXPECT_FALSE(StepVerify(Step()));
    EXPECT_EQ(adapter.CountOf("ReadMemory"), 1u);
    EXPECT_EQ(bus.Codes().back(), kBusProgressEnd);
    EXPECT_TRUE(bus.Posted(kBusScrollTo).empty());
}
