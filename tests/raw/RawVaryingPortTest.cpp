// The RAW adapter on a port whose access time varies as a PC's does (sim/PortTiming.h):
// jitter, a cold first access, a speed change after Open in both directions, stalls inside
// and between the flash's timing pulses. The chip judges every period of its flash timing
// generator and sums each 64-byte row's program time. In every run the pins never carry
// TCLK faster than 476 kHz during an erase or a write, and the run either passes with every
// cell as written and inside its limits, or fails naming why.
#include "adapters/raw/RawError.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "sim/FlashController.h"
#include "sim/LptJtagWire.h"
#include "tests/raw/RecordingPortIo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::test {
namespace {

struct Varying {
    explicit Varying(const sim::PortTimingSetup& setup) : wire(target, clock, setup.accessNs) {
        wire.Timing() = sim::PortTiming(setup);
        raw.deviceRecord = &record;
    }
    sim::FlashController& Flash() { return target.Chip().Flash(); }

    // Erase main memory and program `data` at 0x1100; true when both passed.
    bool EraseAndProgram(const std::vector<uint8_t>& data) {
        if (!raw.Open()) {
            failure = "Open";
            return false;
        }
        raw.TakeNotes();
        if (raw.Erase(kEraseMain, 0x1100, 0) != 0) {
            failure = Notes();
            return false;
        }
        for (uint32_t at = 0; at < data.size(); at += 1024) {
            const uint32_t n = std::min<uint32_t>(1024, uint32_t(data.size()) - at);
            if (raw.WriteMemory(0x1100 + at, data.data() + at, n) != 0) {
                failure = Notes();
                return false;
            }
        }
        return true;
    }
    std::string Notes() {
        std::string all;
        for (const std::string& n : raw.TakeNotes())
            all += n + "\n";
        return all;
    }
    // What holds for every run: the pins never ran the flash clock too fast, and a run that
    // passed left every cell as written and every row inside its program time.
    void Judge(bool passed, const std::vector<uint8_t>& data, const std::string& what) {
        sim::FlashController& flash = Flash();
        EXPECT_GE(flash.ShortestPeriodNs(), sim::kFlashShortestPeriodNs) << what;
        if (!passed) {
            EXPECT_FALSE(failure.empty()) << what;
            return;
        }
        EXPECT_LE(flash.MostRowProgramNs(), sim::kFlashCumulativeProgramNs) << what;
        EXPECT_EQ(flash.RowsOverstressed(), 0u) << what;
        size_t wrong = 0;
        for (uint32_t i = 0; i < data.size(); ++i)
            wrong += model.Read(0x1100 + i) != data[i];
        EXPECT_EQ(wrong, 0u) << what;
        for (uint32_t a = 0x1100 + uint32_t(data.size()); a < 0x1100 + uint32_t(data.size()) + 512; ++a)
            ASSERT_EQ(model.Read(a), 0xFF) << what << " " << a;
    }

    sim::DeviceModel model{"MSP430F149"};
    sim::JtagTarget target{model};
    VirtualClock clock;
    sim::LptJtagWire wire;
    RawJtagAdapter raw{wire, clock};
    DeviceRecord record{};
    std::string failure;
};

std::vector<uint8_t> Image(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(0x5A ^ (i * 37) ^ (i >> 8));
    return bytes;
}

sim::PortTimingSetup Port(uint64_t accessNs) {
    sim::PortTimingSetup setup;
    setup.accessNs = accessNs;
    return setup;
}

TEST(RawVaryingPort, JitterAndAColdFirstAccessNeverDriveTheFlashClockTooFast) {
    const auto data = Image(4096);
    for (uint64_t ns : {300u, 700u, 1040u, 1400u}) {
        sim::PortTimingSetup setup = Port(ns);
        setup.jitterNs = ns / 2;
        setup.coldNs = 40000; // the first access after Open and after each wait
        Varying v(setup);
        const bool passed = v.EraseAndProgram(data);
        EXPECT_TRUE(passed) << ns << ": " << v.failure;
        v.Judge(passed, data, std::to_string(ns) + " ns with jitter");
    }
}

TEST(RawVaryingPort, ASpeedChangeAfterOpenIsFollowedInBothDirections) {
    const auto data = Image(2048);
    // Faster: timed at 1.5 us, running at 0.7 us from the first erase on.
    sim::PortTimingSetup faster = Port(1500);
    Varying up(faster);
    up.wire.Timing().ChangeAt(200000, 700);
    bool passed = up.EraseAndProgram(data);
    EXPECT_TRUE(passed) << up.failure;
    up.Judge(passed, data, "1.5 to 0.7 us");
    // Slower: timed at 0.6 us, running at 1.4 us.
    Varying down(Port(600));
    down.wire.Timing().ChangeAt(200000, 1400);
    passed = down.EraseAndProgram(data);
    EXPECT_TRUE(passed) << down.failure;
    down.Judge(passed, data, "0.6 to 1.4 us");
}

// A loaded machine: the program is preempted for 34 us every 2 ms, inside pulse trains as
// often as between them. Stretched words are checked and written again, stretched erase
// passes repeated, and the whole image still lands with every row inside 4 ms.
TEST(RawVaryingPort, StallsInsideAndBetweenTrainsAreSurvived) {
    const auto data = Image(8192);
    sim::PortTimingSetup setup = Port(1000);
    setup.jitterNs = 300;
    setup.stallNs = 34000;
    setup.stallEveryNs = 2000000;
    Varying v(setup);
    const bool passed = v.EraseAndProgram(data);
    EXPECT_TRUE(passed) << v.failure;
    v.Judge(passed, data, "34 us every 2 ms");
    EXPECT_GT(v.wire.Timing().StallsTaken(), 100u);
    EXPECT_GT(v.Flash().PeriodsOutOfWindow(), 0u); // some trains really were stretched
}

// A stall long enough to use up a row's cumulative program time cannot be mended without
// an erase: the write fails naming the address and the limit.
TEST(RawVaryingPort, AStallThatUsesUpTheRowTimeFailsNamingTheAddressAndTheLimit) {
    const auto data = Image(64);
    Varying dry(Port(1000));
    ASSERT_TRUE(dry.raw.Open());
    ASSERT_EQ(dry.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    const uint64_t before = dry.wire.Accesses();
    ASSERT_EQ(dry.raw.WriteMemory(0xE000, data.data(), 64), 0);
    const uint64_t perWord = (dry.wire.Accesses() - before) / 32;

    Varying v(Port(1000));
    ASSERT_TRUE(v.raw.Open());
    ASSERT_EQ(v.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    v.raw.TakeNotes();
    // 4.5 ms inside the tenth word's train.
    v.wire.Timing().StallBefore(v.wire.Accesses() + 9 * perWord + perWord / 2, 4500000);
    EXPECT_EQ(v.raw.WriteMemory(0xE000, data.data(), 64), -1);
    EXPECT_EQ(v.raw.GetErrorNumber(), kRawWriteFailed);
    v.failure = v.Notes();
    EXPECT_NE(v.failure.find("0xE012"), std::string::npos) << v.failure;
    EXPECT_NE(v.failure.find("4000 us"), std::string::npos) << v.failure;
    v.Judge(false, data, "4.5 ms stall");
}

} // namespace
} // namespace pyrola::test
