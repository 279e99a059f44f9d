// The RAW adapter against a chip that measures what its flash depends on: the timing
// generator's rate on ports of different speeds, a program stopped in the middle of an
// erase, flash the chip refused to change, and chips whose JTAG needs their TEST pin.
#include "adapters/DeviceTable.h"
#include "adapters/raw/RawError.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "sim/FaultList.h"
#include "sim/FlashController.h"
#include "sim/LptJtagWire.h"
#include "tests/raw/RecordingPortIo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

// One chip on a port whose accesses take `accessNs`.
struct Bench {
    explicit Bench(uint64_t accessNs, const std::string& chip = "MSP430F149")
        : model(chip), wire(target, clock, accessNs) {
        raw.deviceRecord = &record;
    }
    bool HasNote(const Strings& notes, const std::string& part) const {
        for (const std::string& n : notes)
            if (n.find(part) != std::string::npos)
                return true;
        return false;
    }

    sim::DeviceModel model;
    sim::JtagTarget target{model};
    std::vector<PortAccess> log;
    RecordingClock clock{log};
    sim::LptJtagWire wire;
    RecordingPortIo port{log, &wire};
    RawJtagAdapter raw{port, clock};
    DeviceRecord record{};
};

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n + 1);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(0x3C + 41 * i);
    return bytes;
}

// From a fast port card to an old ISA port, the chip gets its flash clock inside the window
// and holds exactly what was written.
TEST(RawFlashTiming, EachPortSpeedIsPacedIntoTheWindowAndTheFlashComesOutExact) {
    for (uint64_t ns : {200u, 300u, 600u, 1000u, 1200u}) {
        Bench b(ns);
        ASSERT_TRUE(b.raw.Open()) << ns;
        const Strings notes = b.raw.TakeNotes();
        EXPECT_TRUE(b.HasNote(notes, "a port access takes " + std::to_string(ns) + " ns; flash timing TCLK"))
            << ns;
        const uint64_t hz = b.raw.Port().TclkHz();
        EXPECT_GE(hz, 257000u) << ns;
        EXPECT_LE(hz, 476000u) << ns;
        b.model.Poke(0xE000, 0x00);
        ASSERT_EQ(b.raw.Erase(kEraseSegment, 0xE000, 0), 0) << ns;
        const auto data = Pattern(64);
        ASSERT_EQ(b.raw.WriteMemory(0xE000, data.data(), 64), 0) << ns;
        for (uint32_t i = 0; i < 64; ++i)
            ASSERT_EQ(b.model.Read(0xE000 + i), data[i]) << ns << " " << i;
        auto& flash = b.target.Chip().Flash();
        EXPECT_EQ(flash.OperationsOutOfWindow(), 0u) << ns;
        // The chip's own measure agrees with the adapter's.
        EXPECT_NEAR(double(flash.LastFrequencyHz()), double(hz), hz * 0.02) << ns;
    }
}

TEST(RawFlashTiming, APortTooSlowForTheFlashIsRefusedForEraseAndProgramOnly) {
    // Ports that would run at the very bottom of the window are refused too: their jitter
    // leaves no room, and 32 words no longer fit a row's 4 ms of program time.
    for (uint64_t ns : {1790u, 1945u}) {
        Bench slow(ns);
        ASSERT_TRUE(slow.raw.Open());
        EXPECT_TRUE(slow.HasNote(slow.raw.TakeNotes(), "too slow for flash timing")) << ns;
        EXPECT_EQ(slow.raw.Erase(kEraseSegment, 0xE000, 0), -1) << ns;
        EXPECT_EQ(slow.target.Chip().Flash().CompletedOperations(), 0u) << ns;
    }
    Bench b(2000); // two writes per cycle: 250 kHz at best
    b.model.Poke(0xE000, 0x12);
    ASSERT_TRUE(b.raw.Open());
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "a port access takes 2000 ns, too slow for flash timing"));
    EXPECT_EQ(b.raw.Erase(kEraseMain, 0x1100, 0), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawEraseFailed);
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "Erase refused: a port access takes 2000 ns"));
    // Said once: a caller that tries again (the serial patch tries five times) fails as
    // before without the same line again.
    EXPECT_EQ(b.raw.Erase(kEraseSegment, 0xE000, 0), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawEraseFailed);
    const uint8_t data[2] = {0x00, 0x00};
    EXPECT_EQ(b.raw.WriteMemory(0xE002, data, 2), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_EQ(b.raw.TakeNotes(), Strings{});
    ASSERT_TRUE(b.raw.Open()); // a new run says it again
    b.raw.TakeNotes();
    EXPECT_EQ(b.raw.WriteMemory(0xE002, data, 2), -1);
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "Program refused: a port access takes 2000 ns"));
    EXPECT_EQ(b.target.Chip().Flash().CompletedOperations(), 0u); // nothing was touched
    EXPECT_EQ(b.model.Read(0xE000), 0x12);
    // Reading and checking need no flash clock.
    uint8_t back[2] = {};
    EXPECT_EQ(b.raw.ReadMemory(0xE000, back, 2), 0);
    EXPECT_EQ(back[0], 0x12);
    EXPECT_EQ(b.raw.EraseCheck(0xE002, 2), 0);
}

// Where the `n`-th TCLK train (counted from 1) of a logged run starts, in port accesses
// from the log's start: the first of a long run of data writes that change TDI only.
size_t TrainStart(const std::vector<PortAccess>& log, int n) {
    std::vector<PortAccess> accesses;
    for (const PortAccess& a : log)
        if (a.kind != 's')
            accesses.push_back(a);
    int found = 0;
    for (size_t i = 0; i + 40 < accesses.size(); ++i) {
        bool train = true;
        for (size_t k = 0; k < 40 && train; ++k)
            train = accesses[i + k].kind == 'w' && accesses[i + k].address == 0x378 &&
                    (accesses[i + k].value ^ accesses[i + k + 1].value) == 0x01;
        if (train && ++found == n)
            return i;
        while (train && i + 1 < accesses.size() && accesses[i + 1].kind == 'w' &&
               (accesses[i].value ^ accesses[i + 1].value) == 0x01)
            ++i;
    }
    return 0;
}

// Preempted for 30 ms early in the first pass: the pass is done once more and the erase
// completes (more erase time is harmless).
TEST(RawFlashTiming, AProgramStoppedDuringAnErasePassRepeatsThePass) {
    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    b.model.Poke(0x8000, 0x00);
    b.model.SchedulePortPause(b.wire.Accesses() + 8000, 30);
    EXPECT_EQ(b.raw.Erase(kEraseMain, 0x1100, 0), 0);
    EXPECT_EQ(b.raw.TakeNotes(), Strings{});
    EXPECT_EQ(b.raw.FlashCounts().retriedPasses, 1u);
    EXPECT_GT(b.raw.FlashCounts().longestTclkNs, 30000000u);
    EXPECT_EQ(b.model.Read(0x8000), 0xFF);
    EXPECT_GE(b.target.Chip().Flash().ShortestPeriodNs(), sim::kFlashShortestPeriodNs);
}

// Stopped for 5 ms inside the second word's pulses: the row's cumulative program time is
// gone, which only an erase mends; the step fails naming the word and the limit.
TEST(RawFlashTiming, AProgramStoppedDuringAWordWriteFailsTheProgramNamingTheAddress) {
    const uint8_t data[4] = {0x00, 0x11, 0x22, 0x33};
    Bench dry(1000);
    ASSERT_TRUE(dry.raw.Open());
    const uint64_t before = dry.wire.Accesses();
    dry.log.clear();
    ASSERT_EQ(dry.raw.WriteMemory(0xE000, data, 4), 0);
    const size_t at = TrainStart(dry.log, 2);
    ASSERT_GT(at, 0u);

    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    ASSERT_EQ(b.wire.Accesses(), before);
    b.model.SchedulePortPause(before + at + 20, 5);
    EXPECT_EQ(b.raw.WriteMemory(0xE000, data, 4), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawWriteFailed);
    const Strings notes = b.raw.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("The write at 0xE002 took the 64-byte row 0xE000-0xE03F past the 4000 us", 0),
              0u)
        << notes[0];
    EXPECT_EQ(b.model.Read(0xE000), 0x00); // the first word was timed right
}

// Stopped for 40 us inside one word's pulses: the word is read back and written again.
TEST(RawFlashTiming, AWordWhosePulsesWereStretchedIsWrittenAgain) {
    const auto data = Pattern(64);
    Bench dry(1000);
    ASSERT_TRUE(dry.raw.Open());
    ASSERT_EQ(dry.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    const uint64_t before = dry.wire.Accesses();
    dry.log.clear();
    ASSERT_EQ(dry.raw.WriteMemory(0xE000, data.data(), 64), 0);
    const size_t at = TrainStart(dry.log, 7);
    ASSERT_GT(at, 0u);

    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    ASSERT_EQ(b.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    b.raw.TakeNotes();
    ASSERT_EQ(b.wire.Accesses(), before);
    b.wire.Timing().StallBefore(before + at + 20, 40000);
    EXPECT_EQ(b.raw.WriteMemory(0xE000, data.data(), 64), 0);
    EXPECT_EQ(b.raw.TakeNotes(), Strings{});
    EXPECT_EQ(b.raw.FlashCounts().rewrittenWords, 1u);
    for (uint32_t i = 0; i < 64; ++i)
        ASSERT_EQ(b.model.Read(0xE000 + i), data[i]) << i;
    auto& flash = b.target.Chip().Flash();
    EXPECT_EQ(flash.OperationsOutOfWindow(), 1u); // the chip did see the stretched word
    EXPECT_LE(flash.MostRowProgramNs(), sim::kFlashCumulativeProgramNs);
}

// Stopped between the phases of an operation, after the write that starts it and before
// its first timing pulse (3 s before a segment erase's pulses, 3 ms before a word's): the
// generator waits for its clock, so nothing is stretched and nothing is done again.
TEST(RawFlashTiming, AStallBeforeTheTimingPulsesIsHarmless) {
    const auto data = Pattern(64);
    Bench dry(1000);
    ASSERT_TRUE(dry.raw.Open());
    const uint64_t before = dry.wire.Accesses();
    dry.log.clear();
    ASSERT_EQ(dry.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    const size_t erase = TrainStart(dry.log, 1);
    ASSERT_EQ(dry.raw.WriteMemory(0xE000, data.data(), 64), 0);
    const size_t word = TrainStart(dry.log, 4); // the third word's, after the erase check's
    ASSERT_GT(erase, 0u);
    ASSERT_GT(word, erase);

    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    ASSERT_EQ(b.wire.Accesses(), before);
    b.wire.Timing().StallBefore(before + erase - 3, 3000000000u);
    b.wire.Timing().StallBefore(before + word - 3, 3000000);
    EXPECT_EQ(b.raw.Erase(kEraseSegment, 0xE000, 0), 0);
    EXPECT_EQ(b.raw.WriteMemory(0xE000, data.data(), 64), 0);
    EXPECT_EQ(b.wire.Timing().StallsTaken(), 2u);
    EXPECT_EQ(b.raw.TakeNotes(), Strings{});
    EXPECT_EQ(b.raw.FlashCounts().retriedPasses + b.raw.FlashCounts().rewrittenWords, 0u);
    auto& flash = b.target.Chip().Flash();
    EXPECT_EQ(flash.OperationsOutOfWindow(), 0u);
    EXPECT_LE(flash.MostRowProgramNs(), sim::kFlashCumulativeProgramNs);
    for (uint32_t i = 0; i < 64; ++i)
        ASSERT_EQ(b.model.Read(0xE000 + i), data[i]) << i;
}

// The chip refuses to change its flash: erase and program no longer pass unnoticed.
TEST(RawFlashTiming, EraseAndProgramCheckWhatTheChipDid) {
    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    b.model.Poke(0x9000, 0x00);
    std::string error;
    ASSERT_TRUE(sim::ApplyFaultList("locked", b.model, &error)) << error;
    EXPECT_EQ(b.raw.Erase(kEraseMain, 0x1100, 0), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawEraseFailed);
    EXPECT_EQ(b.raw.TakeNotes(),
              (Strings{"After the erase 0x1100-0xFFFF is not blank: the chip did not erase it"}));
    EXPECT_EQ(b.raw.Erase(kEraseSegment, 0x9010, 0), -1);
    EXPECT_EQ(b.raw.TakeNotes(),
              (Strings{"After the erase 0x9000-0x91FF is not blank: the chip did not erase it"}));
    const uint8_t data[4] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(b.raw.WriteMemory(0xA000, data, 4), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_EQ(b.raw.TakeNotes(),
              (Strings{"After programming 0xA000-0xA003 the chip does not hold what was written"}));
    b.model.SetFlashLocked(false);
    EXPECT_EQ(b.raw.Erase(kEraseSegment, 0x9010, 0), 0);
    // The first main segment shares its 512-byte frame with information memory, which it
    // does not erase: the check stays inside main memory.
    b.model.Poke(0x1000, 0x00);
    b.model.Poke(0x1100, 0x00);
    EXPECT_EQ(b.raw.Erase(kEraseSegment, 0x1100, 0), 0);
    EXPECT_EQ(b.model.Read(0x1100), 0xFF);
    EXPECT_EQ(b.model.Read(0x1000), 0x00);
    EXPECT_EQ(b.raw.WriteMemory(0xA000, data, 4), 0);
}

// A target the cable powers: the run before left its supply on, and the next program's
// attach never drops it, not even for one port write.
TEST(RawAttach, ANewRunKeepsTheSupplyOfACablePoweredTarget) {
    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.Close();
    ASSERT_TRUE(b.target.Powered());
    RawJtagAdapter next(b.port, b.clock); // a new program: its shadows start empty
    DeviceRecord record{};
    next.deviceRecord = &record;
    b.log.clear();
    ASSERT_TRUE(next.Open());
    size_t dataWrites = 0;
    for (const PortAccess& a : b.log) {
        if (a.kind == 'w' && a.address == 0x378) {
            ++dataWrites;
            ASSERT_EQ(a.value & 0xF0, 0xF0u) << dataWrites;
        }
    }
    EXPECT_GT(dataWrites, 100000u);
}

TEST(RawFlashTiming, ChipsThatNeedTheirTestPinAreRefusedWithAClearNote) {
    // Chosen in the device list: the failure names it and says what to use instead.
    Bench chosen(1000, "MSP430F11x1");
    chosen.raw.requestedDevice = 2;
    ASSERT_STREQ(DeviceName(2), "MSP430F11x1");
    EXPECT_FALSE(chosen.raw.Open());
    EXPECT_EQ(chosen.raw.GetErrorNumber(), kRawDeviceNotFound);
    EXPECT_TRUE(
        chosen.HasNote(chosen.raw.TakeNotes(),
                       "MSP430F11x1 needs its TEST pin driven for JTAG, and this parallel-port cable has "
                       "no TEST line: use the FET or BSL adapter for it"));

    // A stale choice never refuses a chip that answers.
    Bench answering(1000);
    answering.raw.requestedDevice = 2;
    EXPECT_TRUE(answering.raw.Open());
    EXPECT_STREQ(answering.record.name, "MSP430F149");

    // Not chosen: the chip keeps its JTAG pins off without TEST, and the failure says why.
    Bench unchosen(1000, "MSP430F12x");
    EXPECT_FALSE(unchosen.raw.Open());
    EXPECT_EQ(unchosen.raw.GetErrorNumber(), kRawDeviceNotFound);
    EXPECT_TRUE(unchosen.HasNote(unchosen.raw.TakeNotes(), "chips with a TEST pin"));
    EXPECT_TRUE(unchosen.target.Powered());
    EXPECT_FALSE(unchosen.target.FuseChecked());
    // The silence made Open cycle the supply: the 3 s without it never saw a line driven high.
    EXPECT_GT(unchosen.clock.Milliseconds(), 3000u);
    EXPECT_EQ(unchosen.target.BackPoweredChanges(), 0u);
}

} // namespace
} // namespace pyrola::test
