// The RAW adapter against a chip that measures what its flash depends on: the timing
// generator's rate on ports of different speeds, a program stopped in the middle of an
// erase, flash the chip refused to change, and chips whose JTAG needs their TEST pin.
#include "adapters/DeviceTable.h"
#include "adapters/raw/RawError.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "sim/FaultList.h"
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
    for (uint64_t ns : {200u, 300u, 600u, 1000u, 1500u, 1900u}) {
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
    Bench b(2000); // two writes per cycle: 250 kHz at best
    b.model.Poke(0xE000, 0x12);
    ASSERT_TRUE(b.raw.Open());
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "a port access takes 2000 ns, too slow for flash timing"));
    EXPECT_EQ(b.raw.Erase(kEraseMain, 0x1100, 0), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawEraseFailed);
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "Erase refused: a port access takes 2000 ns"));
    const uint8_t data[2] = {0x00, 0x00};
    EXPECT_EQ(b.raw.WriteMemory(0xE002, data, 2), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_TRUE(b.HasNote(b.raw.TakeNotes(), "Program refused: a port access takes 2000 ns"));
    EXPECT_EQ(b.target.Chip().Flash().CompletedOperations(), 0u); // nothing was touched
    EXPECT_EQ(b.model.Read(0xE000), 0x12);
    // Reading and checking need no flash clock.
    uint8_t back[2] = {};
    EXPECT_EQ(b.raw.ReadMemory(0xE000, back, 2), 0);
    EXPECT_EQ(back[0], 0x12);
    EXPECT_EQ(b.raw.EraseCheck(0xE002, 2), 0);
}

TEST(RawFlashTiming, AProgramStoppedDuringAnEraseFailsTheEraseNamingTheAddress) {
    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    b.model.Poke(0x8000, 0x00);
    // 30 ms stopped early in the first pass's timing pulses.
    b.model.SchedulePortPause(b.wire.Accesses() + 8000, 30);
    EXPECT_EQ(b.raw.Erase(kEraseMain, 0x1100, 0), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawEraseFailed);
    const Strings notes = b.raw.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("The erase at 0x1100 took"), std::string::npos) << notes[0];
    EXPECT_NE(notes[0].find("the program was stopped"), std::string::npos) << notes[0];
    // The stopped pass also put the chip's generator out of its window.
    EXPECT_GE(b.target.Chip().Flash().OperationsOutOfWindow(), 1u);
}

TEST(RawFlashTiming, AProgramStoppedDuringAWordWriteFailsTheProgramNamingTheAddress) {
    const uint8_t data[4] = {0x00, 0x11, 0x22, 0x33};
    // A first chip shows where the second word's timing pulses run: the second stretch of
    // paced TCLK cycles (high, low, one padding read) in the port log.
    Bench dry(1000);
    ASSERT_TRUE(dry.raw.Open());
    const uint64_t before = dry.wire.Accesses();
    dry.log.clear();
    ASSERT_EQ(dry.raw.WriteMemory(0xE000, data, 4), 0);
    std::vector<PortAccess> accesses;
    for (const PortAccess& a : dry.log)
        if (a.kind != 's')
            accesses.push_back(a);
    size_t trains = 0, at = 0;
    for (size_t i = 0; i + 30 < accesses.size() && trains < 2; ++i) {
        bool train = true;
        for (size_t k = 0; k < 30 && train; k += 3)
            train = accesses[i + k].kind == 'w' && (accesses[i + k].value & 1) == 1 &&
                    accesses[i + k + 1].kind == 'w' && (accesses[i + k + 1].value & 1) == 0 &&
                    accesses[i + k + 2].kind == 'r';
        if (train) {
            ++trains;
            at = i + 10;
            i += 120;
        }
    }
    ASSERT_EQ(trains, 2u);

    Bench b(1000);
    ASSERT_TRUE(b.raw.Open());
    b.raw.TakeNotes();
    ASSERT_EQ(b.wire.Accesses(), before);
    b.model.SchedulePortPause(before + at + 1, 5);
    EXPECT_EQ(b.raw.WriteMemory(0xE000, data, 4), -1);
    EXPECT_EQ(b.raw.GetErrorNumber(), kRawWriteFailed);
    const Strings notes = b.raw.TakeNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("The write at 0xE002 took", 0), 0u) << notes[0];
    EXPECT_EQ(b.model.Read(0xE000), 0x00); // the first word was timed right
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
}

} // namespace
} // namespace pyrola::test
