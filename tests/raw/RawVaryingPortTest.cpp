// The RAW adapter on a port whose access time varies as a PC's does (sim/PortTiming.h):
// jitter, a cold first access, a speed change after Open in both directions, stalls inside
// and between the flash's timing pulses. The chip judges every period of its flash timing
// generator and sums each 64-byte row's program time. In every run the pins never carry
// TCLK faster than 476 kHz during an erase or a write, and the run either passes with every
// cell as written and inside its limits, or fails naming why.
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
    for (uint64_t ns : {300u, 700u, 1040u}) {
        sim::PortTimingSetup setup = Port(ns);
        setup.jitterNs = ns / 5;
        setup.coldNs = 40000; // the first access after Open and after each wait
        Varying v(setup);
        const bool passed = v.EraseAndProgram(data);
        EXPECT_TRUE(passed) << ns << ": " << v.failure;
        v.Judge(passed, data, std::to_string(ns) + " ns with jitter");
    }
}

TEST(RawVaryingPort, ASpeedChangeAfterOpenIsFollowedInBothDirections) {
    const auto data = Image(2048);
    // Faster: timed at 1.1 us, running at 0.5 us from the first erase on.
    Varying up(Port(1100));
    up.wire.Timing().ChangeAt(200000, 500);
    bool passed = up.EraseAndProgram(data);
    EXPECT_TRUE(passed) << up.failure;
    up.Judge(passed, data, "1.1 to 0.5 us");
    // Slower: timed at 0.6 us, running at 1.15 us.
    Varying down(Port(600));
    down.wire.Timing().ChangeAt(200000, 1150);
    passed = down.EraseAndProgram(data);
    EXPECT_TRUE(passed) << down.failure;
    down.Judge(passed, data, "0.6 to 1.15 us");
    // Much slower, 1.6 us: every period still inside the window, but 32 words no longer fit
    // a row's program time; the write stops before it could pass 4 ms and says so.
    Varying slow(Port(600));
    slow.wire.Timing().ChangeAt(200000, 1600);
    passed = slow.EraseAndProgram(data);
    EXPECT_FALSE(passed);
    EXPECT_NE(slow.failure.find("past the 4000 us of program time"), std::string::npos) << slow.failure;
    slow.Judge(passed, data, "0.6 to 1.6 us");
    EXPECT_LE(slow.Flash().MostRowProgramNs(), sim::kFlashCumulativeProgramNs);
}

// A loaded machine: the program is preempted for 34 us every 5 ms, inside pulse trains as
// often as between them. Stretched words are checked and written again, stretched erase
// passes repeated, and the whole image still lands with every row inside 4 ms.
TEST(RawVaryingPort, StallsInsideAndBetweenTrainsAreSurvived) {
    const auto data = Image(8192);
    sim::PortTimingSetup setup = Port(700);
    setup.jitterNs = 140;
    setup.stallNs = 34000;
    setup.stallEveryNs = 5000000;
    Varying v(setup);
    const bool passed = v.EraseAndProgram(data);
    EXPECT_TRUE(passed) << v.failure;
    v.Judge(passed, data, "34 us every 5 ms");
    EXPECT_GT(v.wire.Timing().StallsTaken(), 100u);
    EXPECT_GT(v.Flash().PeriodsOutOfWindow(), 0u); // some trains really were stretched
    EXPECT_GT(v.raw.FlashCounts().rewrittenWords, 0u);
    EXPECT_GT(v.raw.FlashCounts().retriedPasses, 0u);
    EXPECT_GT(v.raw.FlashCounts().longestTclkNs, 34000u);
}

} // namespace
} // namespace pyrola::test
