// The BSL adapter's line over the simulated wire: a faster rate asked for once the loader
// is identified (with each family's clock settings, the documented wait, the fall-back
// at every restart and one note where the loader cannot), and cables with inverted or
// swapped lines, which only the matching setting gets into the loader, with lines that do
// not move when the port opens.

#include "tests/bsl/BslAdapterFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace pyrola {
namespace {

using test::BslAdapterTest;
using test::Bytes;
using test::NotesHold;

class BslSpeedTest : public BslAdapterTest {
protected:
    explicit BslSpeedTest(const char* chip = "MSP430F12x2/F11x2") : BslAdapterTest(chip) {}
    // Virtual time a read of `count` bytes from main memory takes.
    uint64_t ReadNs(uint32_t count) {
        Bytes buffer(count);
        const uint64_t start = clock.Nanoseconds();
        EXPECT_EQ(adapter.ReadMemory(0xE000, buffer.data(), count), 0);
        return clock.Nanoseconds() - start;
    }
};

class BslSpeedF4Test : public BslSpeedTest {
protected:
    BslSpeedF4Test() : BslSpeedTest("MSP430FG43x") {}
};

TEST_F(BslSpeedTest, TheDefaultStaysAt9600AndSendsNoChangeOfRate) {
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(target.FrameCount(0x20), 0u);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
    EXPECT_TRUE(adapter.TakeNotes().empty());
}

TEST_F(BslSpeedTest, ALoaderFrom160OnSwitchesAndThePortFollows) {
    const uint64_t at9600 = [this] {
        EXPECT_TRUE(adapter.Open());
        const uint64_t ns = ReadNs(2000);
        adapter.Close();
        return ns;
    }();
    adapter.lineOptions.baudRate = 38400;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    ASSERT_EQ(target.FrameCount(0x20), 1u);
    const sim::BslFrameRecord change =
        *std::find_if(target.Frames().begin(), target.Frames().end(),
                      [](const sim::BslFrameRecord& f) { return f.command == 0x20; });
    EXPECT_EQ(change.address, 0x87E0); // AL = DCOCTL 0xE0, AH = BCSCTL1 0x87
    EXPECT_EQ(change.length, 2);       // LL = 2: 38400 baud
    EXPECT_EQ(target.BaudRate(), 38400u);
    EXPECT_EQ(wire.HostBaudRate(), 38400u);
    EXPECT_EQ(target.BytesLostSettling(), 0u); // the host waited for the clock
    EXPECT_TRUE(adapter.TakeNotes().empty());
    // The same work in about a quarter of the time.
    const Bytes data = test::Pattern(1000, 3);
    ASSERT_EQ(adapter.WriteMemory(0xE100, data.data(), 1000), 0);
    Bytes back(1000);
    ASSERT_EQ(adapter.ReadMemory(0xE100, back.data(), 1000), 0);
    EXPECT_EQ(back, data);
    const uint64_t at38400 = ReadNs(2000);
    EXPECT_LT(at38400 * 3, at9600);

    // A restart of the loader falls back to 9600 on both sides; the next identification
    // asks again.
    adapter.Reset(0, 0, 0);
    EXPECT_EQ(target.BaudRate(), 9600u);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
    EXPECT_EQ(adapter.ReadMemory(0xE100, back.data(), 2), 0);
    EXPECT_EQ(target.FrameCount(0x20), 2u);
    EXPECT_EQ(wire.HostBaudRate(), 38400u);
    adapter.Reset(7, 1, 1);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
}

TEST_F(BslSpeedF4Test, AnF4xxChipGetsItsOwnClockSettings) {
    for (uint32_t rate : {19200u, 38400u}) {
        adapter.lineOptions.baudRate = rate;
        ASSERT_TRUE(adapter.Open());
        EXPECT_EQ(Error(), kBslNoError);
        EXPECT_EQ(target.BaudRate(), rate);
        Bytes b(16);
        EXPECT_EQ(adapter.ReadMemory(0x1100, b.data(), 16), 0) << rate;
        adapter.Close();
    }
    const auto last = std::find_if(target.Frames().rbegin(), target.Frames().rend(),
                                   [](const sim::BslFrameRecord& f) { return f.command == 0x20; });
    EXPECT_EQ(last->address, 0xC800); // SCFI0 0x00, SCFI1 0xC8
}

TEST_F(BslAdapterTest, AnOldLoaderAskedForMoreSaysSoOnceAndWorksAt9600) {
    adapter.lineOptions.baudRate = 38400;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(target.FrameCount(0x20), 0u);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
    EXPECT_EQ(
        adapter.TakeNotes(),
        std::vector<std::string>{"Loader version 1.10 cannot change its speed (1.60 and later can): staying "
                                 "at 9600 baud instead of 38400 baud."});
    adapter.Reset(0, 0, 0);
    Bytes b(4);
    EXPECT_EQ(adapter.ReadMemory(0xF000, b.data(), 4), 0);
    EXPECT_TRUE(adapter.TakeNotes().empty()); // once a session
}

TEST_F(BslAdapterTest, AChipOfUnknownFamilyStaysAt9600) {
    device.SetLoaderVersion(0x0161);
    device.Poke(0x0FF0, 0xF2); // an F2xx part: its settings are not the F1xx ones
    adapter.lineOptions.baudRate = 19200;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(target.FrameCount(0x20), 0u);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "No speed setting is known for a chip of family 0xF2"));
}

TEST_F(BslSpeedTest, ARefusedChangeOfRateIsNotedAndTheLineStaysAt9600) {
    target.SetAnswerOverride(0x20, 0xA0);
    adapter.lineOptions.baudRate = 19200;
    ASSERT_TRUE(adapter.Open());
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "The loader did not take 19200 baud (NAK received)"));
    Bytes b(4);
    EXPECT_EQ(adapter.ReadMemory(0xE000, b.data(), 4), 0);
}

// A lost acknowledge of the change of rate leaves the loader's rate unknown: the adapter
// finds it by synchronising at the new rate, then at 9600, and never claims 9600 blindly.
TEST_F(BslSpeedTest, ALostChangeOfRateAcknowledgeIsFollowedByAResynchronisation) {
    adapter.lineOptions.baudRate = 38400;
    bool dropped = false;
    // The chip switched, but its acknowledge never arrives.
    wire.SetWireFault([this, &dropped](sim::BslWireDirection d, uint64_t, uint8_t) {
        sim::BslWireAction action;
        if (d == sim::BslWireDirection::ToHost && !dropped && !target.Frames().empty() &&
            target.Frames().back().command == 0x20) {
            dropped = true;
            action.drop = true;
        }
        return action;
    });
    ASSERT_TRUE(adapter.Open());
    EXPECT_TRUE(dropped);
    EXPECT_EQ(Error(), kBslNoError);
    EXPECT_EQ(target.BaudRate(), 38400u);
    EXPECT_EQ(wire.HostBaudRate(), 38400u);
    const auto notes = adapter.TakeNotes();
    EXPECT_TRUE(NotesHold(notes, "acknowledge of 38400 baud was lost (Timeout while receiving header); it "
                                 "answers at 38400 baud"));
    EXPECT_FALSE(NotesHold(notes, "staying at 9600"));
    Bytes b(4);
    EXPECT_EQ(adapter.ReadMemory(0xE000, b.data(), 4), 0);
    adapter.Close();

    // The frame's last byte lost on the way: the chip never completes it, answers nothing,
    // and still listens at 9600.
    bool cut = false;
    uint64_t command = 0;
    wire.SetWireFault([this, &cut, &command](sim::BslWireDirection d, uint64_t index, uint8_t byte) {
        sim::BslWireAction action;
        if (d != sim::BslWireDirection::ToTarget || cut)
            return action;
        if (command == 0 && byte == 0x20 && target.Unlocked())
            command = index;
        if (command != 0 && index == command + 8) {
            cut = true;
            action.drop = true;
        }
        return action;
    });
    ASSERT_TRUE(adapter.Open());
    EXPECT_TRUE(cut);
    EXPECT_EQ(target.BaudRate(), 9600u);
    EXPECT_EQ(wire.HostBaudRate(), 9600u);
    EXPECT_TRUE(NotesHold(adapter.TakeNotes(), "it still answers at 9600 baud"));
    EXPECT_EQ(adapter.ReadMemory(0xE000, b.data(), 4), 0);
}

// Every level of the entry and restart sequences lasts at least 10 ms on the wire, and the
// chip took every one of them in (none was too short for its filtered reset pin).
TEST_F(BslAdapterTest, EveryLineLevelOfBothSequencesIsHeldTenMilliseconds) {
    ASSERT_TRUE(adapter.Open());
    adapter.Reset(7, 1, 1);
    adapter.Reset(0, 0, 0);
    const std::vector<uint64_t>& at = wire.lineTimesNs;
    ASSERT_GE(at.size(), 12u);
    uint64_t shortest = UINT64_MAX;
    // From the open's idle levels on; a level that is changed again at once (both lines
    // set together) is no level the sequence holds.
    for (size_t i = 1; i + 1 < at.size(); ++i) {
        if (at[i + 1] != at[i] && wire.lineHistory[i] != wire.lineHistory[i - 1])
            shortest = std::min(shortest, at[i + 1] - at[i]);
    }
    EXPECT_GE(shortest, 10000000u);
    EXPECT_EQ(target.ShortLevels(), 0u);
    EXPECT_EQ(target.Mode(), sim::BslTargetMode::Loader);
}

// --- cables ----------------------------------------------------------------------------

BslWiring WiringOf(const sim::BslCable& cable) {
    return BslWiring{cable.resetInverted, cable.testInverted, cable.swapped};
}

std::vector<sim::BslCable> EveryCable() {
    std::vector<sim::BslCable> cables;
    for (int bits = 0; bits < 8; ++bits)
        cables.push_back(sim::BslCable{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0});
    return cables;
}

// An F149 running its program, behind a cable.
struct CabledChip {
    explicit CabledChip(const sim::BslCable& cable)
        : device("MSP430F149"), target(device), wire(target, clock) {
        wire.cable = cable;
    }
    sim::DeviceModel device;
    sim::BslTarget target;
    VirtualClock clock;
    sim::BslLoopback wire;
};

std::string Describe(const sim::BslCable& c) {
    return std::to_string(c.resetInverted) + std::to_string(c.testInverted) + std::to_string(c.swapped);
}

TEST(BslCables, OnlyTheMatchingSettingGetsTheChipIntoItsLoader) {
    for (const sim::BslCable& cable : EveryCable()) {
        for (const sim::BslCable& setting : EveryCable()) {
            CabledChip chip(cable);
            BslAdapter adapter(chip.wire, chip.clock);
            DeviceRecord record{};
            adapter.deviceRecord = &record;
            adapter.lineOptions.wiring = WiringOf(setting);
            const bool match = Describe(cable) == Describe(setting);
            const std::string what = "cable " + Describe(cable) + ", setting " + Describe(setting);
            // A chip left outside its loader answers nothing: the open fails at once.
            EXPECT_EQ(adapter.Open(), match) << what;
            const int32_t error = adapter.GetErrorNumber();
            if (match) {
                EXPECT_EQ(error, kBslNoError) << what;
                EXPECT_EQ(chip.target.Mode(), sim::BslTargetMode::Loader) << what;
                // And the restart into the chip's own program works through the cable too.
                adapter.Reset(7, 1, 1);
                EXPECT_EQ(chip.target.Mode(), sim::BslTargetMode::UserProgram) << what;
            } else {
                EXPECT_EQ(error, kBslSyncFailed) << what;
                EXPECT_NE(chip.target.Mode(), sim::BslTargetMode::Loader) << what;
            }
        }
    }
}

// A chip running its program must not be reset by a port that merely opens: the lines go
// to their idle levels in one step, whatever the cable.
TEST(BslCables, OpeningThePortDoesNotMoveTheLinesThroughOtherLevels) {
    for (const sim::BslCable& cable : EveryCable()) {
        CabledChip chip(cable);
        // The lines as the cable leaves them idle before the port opens.
        const BslWiring wiring = WiringOf(cable);
        const bool resetLevel = !wiring.resetInverted;
        const bool testLevel = !wiring.testInverted;
        const std::pair<bool, bool> idle = wiring.swapResetTest ? std::make_pair(testLevel, resetLevel)
                                                                : std::make_pair(resetLevel, testLevel);
        SerialLink link(chip.wire, chip.clock);
        link.portName = "COM1";
        link.wiring = wiring;
        ASSERT_TRUE(link.OpenPort());
        EXPECT_EQ(chip.wire.lineHistory, (std::vector<std::pair<bool, bool>>{idle})) << Describe(cable);
        EXPECT_EQ(chip.target.ResetCount(), 0u) << Describe(cable);
        EXPECT_EQ(chip.target.Mode(), sim::BslTargetMode::UserProgram);
    }
}

} // namespace
} // namespace pyrola
