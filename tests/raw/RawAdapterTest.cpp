// The RAW adapter's operations against the simulated chip's pins.
#include "adapters/DeviceTable.h"
#include "adapters/raw/RawError.h"
#include "adapters/raw/RawJtagAdapter.h"
#include "sim/FaultList.h"
#include "sim/LptJtagWire.h"
#include "tests/raw/RecordingPortIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using Strings = std::vector<std::string>;

class RawOnSimulatedPins : public ::testing::Test {
protected:
    explicit RawOnSimulatedPins(const std::string& chip = "MSP430F149") : model(chip) {}

    void SetUp() override { raw.deviceRecord = &record; }
    void OpenOrFail() {
        ASSERT_TRUE(raw.Open()) << raw.GetErrorText(raw.GetErrorNumber());
        raw.TakeNotes();
    }
    // Forgets the port log; Trace() then decodes from here.
    void Mark() {
        log.clear();
        restData = static_cast<uint8_t>(raw.Port().dataShadow);
    }
    Strings Trace() { return DecodeJtag(log, raw.Port().base, restData); }
    std::vector<uint8_t> Pattern(size_t n, uint8_t seed) const {
        std::vector<uint8_t> bytes(n + 1, 0xEE);
        for (size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<uint8_t>(seed + 37 * i);
        return bytes;
    }

    sim::DeviceModel model;
    sim::JtagTarget target{model};
    std::vector<PortAccess> log;
    RecordingClock clock{log};
    sim::LptJtagWire wire{target, clock};
    RecordingPortIo port{log, &wire};
    RawJtagAdapter raw{port, clock};
    DeviceRecord record{};
    uint8_t restData = 0;
};

TEST_F(RawOnSimulatedPins, OpenIdentifiesTheChipFromItsIdentificationAndFuses) {
    record.supplyMillivolts = 3600;
    ASSERT_TRUE(raw.Open());
    EXPECT_EQ(raw.isOpen, 1);
    EXPECT_EQ(record.index, 7);
    EXPECT_STREQ(record.name, "MSP430F149");
    EXPECT_EQ(record.mainStart, 0x1100);
    EXPECT_EQ(record.mainEnd, 0xFFFFu);
    EXPECT_EQ(record.infoStart, 0x1000);
    EXPECT_EQ(record.supplyMillivolts, 3600); // not the adapter's field
    EXPECT_EQ(raw.Port().deviceIndex, 7u);
    EXPECT_EQ(raw.TakeNotes(), (Strings{"LPT1: simulated JTAG wire on LPT1",
                                        "LPT1: a port access takes 1000 ns; flash timing TCLK 312 kHz, each "
                                        "period paced against the clock"}));
    // The reset lines were enough: the supply stayed on throughout.
    EXPECT_EQ(CountOf(DecodeJtag(log, 0x378, 0), "supply 00"), 0u);
    EXPECT_EQ(raw.GetErrorNumber(), 0);
    // Attached and identified, the CPU is held under JTAG control.
    EXPECT_NE(target.Chip().ControlReadBack() & sim::kCtlJtagControl, 0);
}

TEST_F(RawOnSimulatedPins, PortNumberChoosesTheBaseAddressAtEveryOpen) {
    // Made, the adapter has not touched the port: only a job's Open does.
    EXPECT_TRUE(port.opened.empty());
    EXPECT_TRUE(log.empty());
    raw.portNumber = 3;
    ASSERT_TRUE(raw.Open());
    EXPECT_EQ(raw.Port().base, 0x3BC);
    EXPECT_EQ(wire.Base(), 0x3BC);
    EXPECT_EQ(port.opened.back(), 3u);
    raw.portNumber = 2;
    ASSERT_TRUE(raw.Open());
    EXPECT_EQ(raw.Port().base, 0x278);
}

TEST_F(RawOnSimulatedPins, GetErrorNumberClearsTheNumberAndTextsCoverTheTable) {
    EXPECT_EQ(raw.ReadMemory(0x1100, nullptr, 0), -1); // nothing identified yet
    EXPECT_EQ(raw.GetErrorNumber(), kRawReadFailed);
    EXPECT_EQ(raw.GetErrorNumber(), 0);
    uint8_t byte = 0;
    EXPECT_EQ(raw.WriteMemory(0x1100, &byte, 1), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_STREQ(raw.GetErrorText(5), "Could not read device memory");
    EXPECT_STREQ(raw.GetErrorText(14), "Could not access device - security fuse is blown");
    EXPECT_STREQ(raw.GetErrorText(0), "No error");
    EXPECT_STREQ(raw.GetErrorText(15), "Invalid error number");
    EXPECT_STREQ(raw.GetErrorText(-1), "Invalid error number");
    EXPECT_STREQ(raw.GetName(), "RAW");
    EXPECT_EQ(raw.GetBlockSize(), 256u);
}

TEST_F(RawOnSimulatedPins, ProgramVerifyReadRoundTripAndTheIndexSurvivesClose) {
    OpenOrFail();
    const auto data = Pattern(600, 3);
    ASSERT_EQ(raw.WriteMemory(0xF000, data.data(), 600), 0);
    for (uint32_t i = 0; i < 600; ++i)
        ASSERT_EQ(model.Read(0xF000 + i), data[i]) << i;
    EXPECT_EQ(model.Read(0xF000 + 600), 0xFF);
    EXPECT_EQ(raw.VerifyMemory(0xF000, data.data(), 600), 0);
    std::vector<uint8_t> back(600 + 1, 0x5A);
    ASSERT_EQ(raw.ReadMemory(0xF000, back.data(), 600), 0);
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 600),
              std::vector<uint8_t>(data.begin(), data.begin() + 600));
    EXPECT_EQ(back[600], 0x5A);

    // Close keeps the device index: reads are still tried, but the lines are released, so
    // the CPU never takes the read address and the read fails instead of giving pull-ups.
    raw.Close();
    EXPECT_EQ(raw.isOpen, 0);
    back[0] = 0x5A;
    EXPECT_EQ(raw.ReadMemory(0xF000, back.data(), 2), -1);
    EXPECT_EQ(back[0], 0x5A);
    EXPECT_EQ(raw.GetErrorNumber(), kRawReadFailed);
}

// Halting looks for the instruction fetch before it clocks: a CPU already there is never
// clocked into the target's own program. The only instruction taken from memory is the one
// the reset sequence's last TCLK edge starts (the guide's own reset sequence gives it too),
// so after Open each further fetch from memory belongs to a reset, never to a halt.
TEST_F(RawOnSimulatedPins, HaltingRunsNoInstructionOfTheTargetsProgram) {
    model.Poke(0xFFFE, 0x00);
    model.Poke(0xFFFF, 0xF0); // the program starts at 0xF000
    OpenOrFail();
    const sim::JtagChip& chip = target.Chip();
    EXPECT_EQ(chip.MemoryInstructionFetches(), 1u);
    const uint64_t resets = chip.Resets();
    const auto data = Pattern(8, 9);
    ASSERT_EQ(raw.Erase(kEraseSegment, 0xF000, 0), 0);
    ASSERT_EQ(raw.WriteMemory(0xF000, data.data(), 8), 0);
    EXPECT_EQ(raw.VerifyMemory(0xF000, data.data(), 8), 0);
    std::vector<uint8_t> back(8);
    ASSERT_EQ(raw.ReadMemory(0xF001, back.data(), 7), 0);
    EXPECT_EQ(back[0], data[1]);
    EXPECT_EQ(chip.MemoryInstructionFetches() - 1, chip.Resets() - resets);
}

TEST_F(RawOnSimulatedPins, EachWordIsWrittenByOnePulseAndTimedByThirtyEight) {
    OpenOrFail();
    const uint8_t data[4] = {0x10, 0x35, 0x5A, 0x7F};
    Mark();
    ASSERT_EQ(raw.WriteMemory(0xE000, data, 4), 0);
    const Strings trace = Trace();
    for (const char* word : {"DR 3510", "DR 7F5A"}) {
        auto at = std::find(trace.begin(), trace.end(), word);
        ASSERT_NE(at, trace.end()) << word;
        EXPECT_EQ(Strings(at + 1, at + 5), (Strings{"tclk+", "tclk-", "IR 13", "DR 2409"})) << word;
        auto next = std::find_if(at + 5, trace.end(), [](const std::string& e) { return e[0] == 'I'; });
        EXPECT_EQ(std::count(at + 5, next, "tclk+"), int(kWordWritePulses)) << word;
    }
    EXPECT_EQ(target.Chip().Flash().CompletedOperations(), 2u);
    EXPECT_EQ(model.Read(0xE003), 0x7F);
}

TEST_F(RawOnSimulatedPins, CountZeroWritesTheRegistersAndEndsTheWrite) {
    OpenOrFail();
    Mark();
    EXPECT_EQ(raw.WriteMemory(0xF000, nullptr, 0), 0);
    const Strings scans = Only(Trace(), {"IR 83", "DR"});
    const Strings writes = Only(scans, {"DR A5", "DR 01"});
    EXPECT_EQ(writes, (Strings{"DR 0128", "DR A540", "DR 012A", "DR A540", "DR 012C", "DR A500", "DR 0128",
                               "DR A500"}));
    EXPECT_TRUE(model.IsBlank(0x1100, 0xEF00));
    // The signature of nothing is the start value: address - 2.
    EXPECT_EQ(raw.EraseCheck(0x1100, 0), 0);
    EXPECT_EQ(raw.VerifyMemory(0x1101, nullptr, 0), 0);
}

TEST_F(RawOnSimulatedPins, OddCountsMoveOneMoreWordButLeaveTheSpareByteAlone) {
    OpenOrFail();
    model.Poke(0xF003, 0x5C); // the neighbour of a three-byte range
    model.Poke(0xF0FF, 0x3E);
    const uint8_t data[4] = {0x11, 0x22, 0x33, 0x00};
    Mark();
    ASSERT_EQ(raw.WriteMemory(0xF000, data, 3), 0);
    EXPECT_EQ(target.Chip().Flash().CompletedOperations(), 2u); // two words
    EXPECT_EQ(model.Read(0xF002), 0x33);
    EXPECT_EQ(model.Read(0xF003), 0x5C); // programmed with 0xFF: unchanged, not the caller's 0x00

    uint8_t back[4] = {0, 0, 0, 0xA7};
    Mark();
    ASSERT_EQ(raw.ReadMemory(0xF000, back, 3), 0);
    EXPECT_EQ(back[0], 0x11);
    EXPECT_EQ(back[2], 0x33);
    EXPECT_EQ(back[3], 0xA7); // never written
    const Strings trace = Trace();
    auto quick = std::find(trace.begin(), trace.end(), "IR 43");
    EXPECT_EQ(std::count(quick, trace.end(), "tclk+"), 2); // count 3 moves 2 words

    // The spare byte's target value is part of the signature, so a matching range verifies.
    EXPECT_EQ(raw.VerifyMemory(0xF000, data, 3), 0);
    uint8_t wrong[4] = {0x11, 0x22, 0x34, 0x5C};
    EXPECT_EQ(raw.VerifyMemory(0xF000, wrong, 3), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawVerifyFailed);

    // A range that starts in the middle of a word.
    const uint8_t odd[3] = {0xA1, 0xB2, 0xC3};
    ASSERT_EQ(raw.WriteMemory(0xF101, odd, 3), 0);
    EXPECT_EQ(model.Read(0xF100), 0xFF);
    EXPECT_EQ(model.Read(0xF101), 0xA1);
    EXPECT_EQ(model.Read(0xF103), 0xC3);
    EXPECT_EQ(model.Read(0xF104), 0xFF);
    uint8_t oddBack[3] = {};
    ASSERT_EQ(raw.ReadMemory(0xF101, oddBack, 3), 0);
    EXPECT_EQ(std::vector<uint8_t>(oddBack, oddBack + 3), std::vector<uint8_t>(odd, odd + 3));
    EXPECT_EQ(raw.VerifyMemory(0xF101, odd, 3), 0);
    EXPECT_EQ(raw.EraseCheck(0xF0FE, 1), 0); // 0xF0FF is programmed, 0xF0FE is not
    EXPECT_EQ(raw.EraseCheck(0xF0FF, 1), -1);
}

TEST_F(RawOnSimulatedPins, SignatureChecksFindErasedAndProgrammedMemory) {
    OpenOrFail();
    EXPECT_EQ(raw.EraseCheck(0x1000, 0x100), 0);
    EXPECT_EQ(raw.EraseCheck(0x1100, 0xEF00), 0);
    model.Poke(0x8000, 0xFE);
    EXPECT_EQ(raw.EraseCheck(0x1100, 0xEF00), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawVerifyFailed);
    // Without data, verify is the erase check, pin for pin.
    Mark();
    const int32_t check = raw.EraseCheck(0x7F00, 0x200);
    const Strings checkTrace = Trace();
    Mark();
    EXPECT_EQ(raw.VerifyMemory(0x7F00, nullptr, 0x200), check);
    EXPECT_EQ(Trace(), checkTrace);
    EXPECT_EQ(check, -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawVerifyFailed);
}

TEST_F(RawOnSimulatedPins, EraseRunsOnePassForASegmentAndNineteenForMainOrAll) {
    OpenOrFail();
    for (uint32_t a : {0x1000u, 0x1080u, 0x1100u, 0xFE00u})
        model.Poke(a, 0x00);
    Mark();
    EXPECT_EQ(raw.Erase(kEraseSegment, 0xFE10, 0), 0);
    EXPECT_EQ(CountOf(Trace(), "DR A502"), 1u);
    EXPECT_EQ(model.Read(0xFE00), 0xFF);
    EXPECT_EQ(model.Read(0x1100), 0x00);

    Mark();
    EXPECT_EQ(raw.Erase(kEraseMain, 0x1100, 0xEF00), 0);
    EXPECT_EQ(CountOf(Trace(), "DR A504"), 19u);
    EXPECT_EQ(model.Read(0x1100), 0xFF);
    EXPECT_EQ(model.Read(0x1000), 0x00); // information memory kept

    for (uint32_t mode : {kEraseAll, 7u}) {
        model.Poke(0x1000, 0x00);
        Mark();
        EXPECT_EQ(raw.Erase(mode, 0x1100, 1), 0); // the length is not used
        EXPECT_EQ(CountOf(Trace(), "DR A506"), 19u) << mode;
        EXPECT_EQ(model.Read(0x1000), 0xFF) << mode;
        EXPECT_EQ(model.Read(0x1080), 0xFF) << mode;
    }
}

TEST_F(RawOnSimulatedPins, CloseLetsTheTargetRunAndKeepsTheSupply) {
    OpenOrFail();
    Mark();
    EXPECT_TRUE(raw.Close());
    EXPECT_EQ(Only(Trace(), {"IR", "DR", "ctl", "supply"}),
              (Strings{"IR 13", "DR 2C01", "DR 2401", "IR 15", "ctl 04", "ctl 04", "ctl 00"}));
    EXPECT_EQ(wire.DataRegister() & 0xF0, 0xF0);
    EXPECT_TRUE(target.Powered());
    EXPECT_EQ(target.Chip().ControlReadBack() & sim::kCtlJtagControl, 0); // the CPU runs freely
    EXPECT_EQ(raw.isOpen, 0);
    // A closed driver: Close touches no line.
    wire.Close();
    Mark();
    EXPECT_TRUE(raw.Close());
    EXPECT_TRUE(log.empty());
}

TEST_F(RawOnSimulatedPins, DebugOneWireTouchesNoLine) {
    OpenOrFail();
    Mark();
    EXPECT_EQ(raw.DebugOneWire(), -1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(raw.GetErrorNumber(), 0);
}

TEST_F(RawOnSimulatedPins, ResetMethodsAsTheJobsUseThem) {
    OpenOrFail();
    // Without release the debug-interface reset reconnects and keeps the CPU.
    EXPECT_EQ(raw.Reset(kResetDebugInterface, 0, 0), 0);
    EXPECT_NE(target.Chip().ControlReadBack() & sim::kCtlJtagControl, 0);
    const uint64_t resets = target.Chip().Resets();
    EXPECT_EQ(raw.Reset(kResetLine, 0, 0), 0);
    EXPECT_GT(target.Chip().Resets(), resets);
    // The Reset job's methods: released and running.
    EXPECT_EQ(raw.Reset(kResetDebugInterface | kResetLine | kResetSupplyCycle, 1, 1), 0);
    EXPECT_EQ(target.Chip().ControlReadBack() & sim::kCtlJtagControl, 0);
    EXPECT_EQ(wire.ControlRegister(), 0);
    wire.noCable = true;
    Mark();
    EXPECT_EQ(raw.Reset(kResetLine | kResetSupplyCycle, 0, 0), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawResetFailed);
    EXPECT_EQ(CountOf(Trace(), "wait 3000"), 1u);
}

TEST_F(RawOnSimulatedPins, OpenFailuresHaveTheirOwnNumbers) {
    wire.failOpen = true;
    EXPECT_FALSE(raw.Open());
    EXPECT_EQ(raw.GetErrorNumber(), kRawInterfaceFailed);
    EXPECT_EQ(raw.TakeNotes(), (Strings{"LPT1: the simulated port LPT1 could not be opened"}));

    wire.failOpen = false;
    wire.noCable = true;
    EXPECT_FALSE(raw.Open());
    EXPECT_EQ(raw.isOpen, 0);
    EXPECT_EQ(raw.GetErrorNumber(), kRawDeviceNotFound);

    wire.noCable = false;
    model.BlowSecurityFuse();
    log.clear();
    EXPECT_FALSE(raw.Open());
    EXPECT_EQ(raw.GetErrorNumber(), kRawFuseBlown);
    EXPECT_EQ(CountOf(DecodeJtag(log, 0x378, 0), "wait 3000"), 1u); // both reset methods were tried
}

TEST_F(RawOnSimulatedPins, PowerLossDuringProgrammingIsFoundAndTheNextOpenRecovers) {
    OpenOrFail();
    std::string error;
    ASSERT_TRUE(sim::ApplyFaultList("powerloss-write=5", model, &error)) << error;
    const auto data = Pattern(32, 0x40);
    EXPECT_EQ(raw.WriteMemory(0xC000, data.data(), 32), -1); // the check after programming
    EXPECT_EQ(raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_FALSE(target.Powered());
    EXPECT_EQ(raw.VerifyMemory(0xC000, data.data(), 32), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawVerifyFailed);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(model.Read(0xC000 + i), data[i]) << i;
    EXPECT_EQ(model.Read(0xC005), static_cast<uint8_t>(data[5] | 0x0F));
    // Open cycles the supply once the reset line alone gets no answer.
    OpenOrFail();
    EXPECT_TRUE(target.Powered());
    EXPECT_EQ(raw.Erase(kEraseMain, 0x1100, 0xEF00), 0);
    EXPECT_EQ(raw.WriteMemory(0xC000, data.data(), 32), 0);
    EXPECT_EQ(raw.VerifyMemory(0xC000, data.data(), 32), 0);
}

TEST_F(RawOnSimulatedPins, StuckBitsShowInVerifyAndRead) {
    OpenOrFail();
    model.SetStuckBits(0xD001, 0x80, 0x00);
    const uint8_t data[4] = {0x12, 0x85, 0x7F, 0x01};
    EXPECT_EQ(raw.WriteMemory(0xD000, data, 4), -1); // its own check finds the bit
    EXPECT_EQ(raw.GetErrorNumber(), kRawWriteFailed);
    EXPECT_EQ(raw.VerifyMemory(0xD000, data, 4), -1);
    EXPECT_EQ(raw.GetErrorNumber(), kRawVerifyFailed);
    uint8_t back[4] = {};
    ASSERT_EQ(raw.ReadMemory(0xD000, back, 4), 0);
    EXPECT_EQ(back[1], 0x05);
    EXPECT_EQ(back[2], 0x7F);
}

class RawOnSimulatedF449 : public RawOnSimulatedPins {
protected:
    RawOnSimulatedF449() : RawOnSimulatedPins("MSP430F44x") {}
};

TEST_F(RawOnSimulatedF449, AnF4xxChipIsFoundByItsOwnRow) {
    ASSERT_TRUE(raw.Open());
    EXPECT_EQ(record.index, 14);
    EXPECT_STREQ(record.name, "MSP430F44x");
}

class RawOnUnknownChip : public RawOnSimulatedPins {
protected:
    RawOnUnknownChip() : RawOnSimulatedPins("DEFAULT") {}
};

TEST_F(RawOnUnknownChip, AnUnknownIdentificationFailsWithError4) {
    EXPECT_FALSE(raw.Open());
    EXPECT_EQ(raw.GetErrorNumber(), kRawUnknownDevice);
    EXPECT_EQ(record.index, 0);
    EXPECT_STREQ(record.name, "Device unknown");
}

} // namespace
} // namespace pyrola::test
