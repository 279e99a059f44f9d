// The whole JTAG front end of the simulated chip, driven with this folder's own pin
// sequences.
#include "sim/FaultList.h"
#include "sim/JtagTarget.h"
#include "sim/LptJtagWire.h"
#include "tests/jtag/JtagHost.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola::test {
namespace {

using sim::DeviceModel;
using sim::JtagTarget;

class JtagFrontEnd : public ::testing::Test {
protected:
    explicit JtagFrontEnd(const char* chip = "MSP430F149") : model(chip) {}
    void SetUp() override { host.Attach(); }
    // CPU under JTAG, halted, watchdog stopped.
    void Control() {
        ASSERT_TRUE(host.TakeCpu());
        host.Halt();
        host.Write(0x0120, 0x5A80);
    }
    void UnlockFlash(uint16_t mode) {
        host.Write(0x0128, mode);
        host.Write(0x012A, 0xA540); // MCLK (TCLK), divider 1
        host.Write(0x012C, 0xA500);
    }

    DeviceModel model;
    JtagTarget target{model};
    JtagHost host{target};
};

TEST_F(JtagFrontEnd, AnInstructionScanCapturesTheIdentificationMostSignificantBitFirst) {
    EXPECT_EQ(host.Ir(0x14), 0x89);
    EXPECT_EQ(target.Instruction(), 0x14);
    EXPECT_EQ(host.Ir(0xFF), 0x89);
    EXPECT_EQ(target.Instruction(), 0xFF);
    // Five TMS-high clocks select the bypass instruction again.
    host.Ir(0x14);
    host.ResetTap();
    EXPECT_EQ(target.Instruction(), sim::kJtagBypassInstruction);
    EXPECT_EQ(host.Dr(0x0002, 2), 0x0001); // bypass: one bit that captured 0
}

TEST_F(JtagFrontEnd, TdoIsDrivenOnlyWhileShifting) {
    EXPECT_TRUE(host.Tdo());
    host.Ir(0x14);
    host.Clock(true);
    host.Clock(false);
    host.Clock(false); // Shift-DR with the control register, whose top bit is 0
    host.Tck(false);
    EXPECT_FALSE(host.Tdo());
    host.Tms(true);
    host.Tck(true);  // Exit1-DR
    host.Tck(false); // no longer shifting
    EXPECT_TRUE(host.Tdo());
    host.Clock(true);
    host.Clock(false);
}

TEST_F(JtagFrontEnd, ControlRegisterKeepsItsWritableBitsAndReportsTheCpu) {
    host.SetControl(0xFFFF);
    const uint16_t all = host.Control();
    EXPECT_EQ(all & ~(sim::kCtlSynchronized | sim::kCtlInstructionLoad), sim::kCtlWritable);
    host.SetControl(0x2401);
    uint16_t c = host.Control();
    EXPECT_EQ(c & 0xFD7F, 0x2401);
    EXPECT_NE(c & sim::kCtlSynchronized, 0); // JTAG has the CPU, on TCLK
    // The capture instruction never writes.
    host.Ir(0x14);
    host.Dr(0x0000);
    EXPECT_EQ(host.Control() & 0x2401, 0x2401);
    // 0x15 lets go of the CPU.
    host.Ir(0x15);
    EXPECT_EQ(host.Control() & (sim::kCtlJtagControl | sim::kCtlSynchronized), 0);
}

// Loading the bypass instruction releases the CPU as 0x15 does, and a TAP reset loads it.
TEST_F(JtagFrontEnd, TheBypassInstructionAndATapResetLetGoOfTheCpu) {
    const uint16_t taken = sim::kCtlJtagControl | sim::kCtlSynchronized;
    host.SetControl(0x2401);
    ASSERT_EQ(host.Control() & taken, taken);
    host.Ir(0xFF);
    EXPECT_EQ(host.Control() & taken, 0);

    host.SetControl(0x2401);
    ASSERT_EQ(host.Control() & taken, taken);
    host.ResetTap();
    EXPECT_EQ(host.Control() & taken, 0);
    // An instruction the chip does not know only selects the bypass register.
    host.SetControl(0x2401);
    host.Ir(0x7E);
    EXPECT_EQ(host.Control() & taken, taken);
}

TEST_F(JtagFrontEnd, ScansBeforeAProperFuseCheckOrWithABlownFuseEchoThroughBypass) {
    // Straight after power-up the scans' own TMS toggles are the fuse check, and their
    // low phases are too short for its current.
    JtagTarget fresh(model);
    JtagHost other(fresh);
    other.pins.jtag = {};
    other.Supply(true);
    other.Clock(false); // Test-Logic-Reset to Run-Test/Idle
    EXPECT_FALSE(fresh.FuseChecked());
    EXPECT_EQ(other.Ir(0x14), 0x89); // the instruction register works all the same
    EXPECT_EQ(other.Dr(0xAAAA), 0x5555);
    EXPECT_TRUE(fresh.FuseChecked());
    EXPECT_FALSE(fresh.JtagAccessible());
    other.Supply(false);
    other.Attach();
    EXPECT_TRUE(fresh.JtagAccessible());
    other.Ir(0x14);
    EXPECT_NE(other.Dr(0xAAAA), 0x5555);

    model.BlowSecurityFuse();
    EXPECT_EQ(host.Ir(0x14), 0x89);
    EXPECT_EQ(host.Dr(0xAAAA), 0x5555);
    EXPECT_EQ(host.Dr(0x1234), 0x091A);
}

TEST_F(JtagFrontEnd, AFuseCheckWithoutItsCurrentTakesTheFuseForBlownUntilPowerCycled) {
    for (bool tdiHigh : {false, true}) {
        host.Supply(false);
        host.pins.jtag = {};
        host.Supply(true);
        host.FuseCheck(tdiHigh, tdiHigh ? 1000 : 10000); // too short, or no current
        host.ResetTap();
        EXPECT_TRUE(target.FuseChecked());
        EXPECT_FALSE(target.JtagAccessible());
        host.Ir(0x14);
        EXPECT_EQ(host.Dr(0xAAAA), 0x5555);
        host.FuseCheck(); // too late: the check was done
        EXPECT_FALSE(target.JtagAccessible());
    }
    host.Supply(false);
    host.pins.jtag = {};
    host.Supply(true);
    host.FuseCheck();
    EXPECT_TRUE(target.JtagAccessible());
}

TEST_F(JtagFrontEnd, MemoryWritesAndReadsInWordAndByteMode) {
    Control();
    host.Write(0x0200, 0x1234);
    host.Write(0x0203, 0x00AB, true);
    EXPECT_EQ(model.Read(0x0200), 0x34);
    EXPECT_EQ(model.Read(0x0201), 0x12);
    EXPECT_EQ(model.Read(0x0202), 0x00);
    EXPECT_EQ(model.Read(0x0203), 0xAB);
    EXPECT_EQ(host.Read(0x0200), 0x1234);
    EXPECT_EQ(host.Read(0x0202), 0xAB00);
    EXPECT_EQ(host.Read(0x0FF0), 0x49F1); // identification bytes F1 49
    // A write into ROM changes nothing.
    host.Write(0x0C00, 0x0000);
    EXPECT_NE(host.Read(0x0C00), 0x0000);
}

TEST_F(JtagFrontEnd, AFlashWordNeedsThirtyFiveCyclesWhileTheControllerIsBusy) {
    Control();
    UnlockFlash(0xA540);
    host.Write(0x8000, 0x5AA5); // the write starts here
    host.Pulses(34);
    EXPECT_TRUE(target.Chip().Flash().Busy());
    EXPECT_EQ(model.Read(0x8000), 0xFF);
    host.Pulses(1);
    EXPECT_EQ(host.Read(0x8000), 0x5AA5);
    EXPECT_EQ(target.Chip().Flash().LastFrequencyHz(), 333333u);
    host.Write(0x8002, 0x0F0F);
    host.Pulses(20);
    host.Write(0x0128, 0xA500); // refused while busy; its scans stop the generator a while
    host.Pulses(14);
    EXPECT_EQ(model.Read(0x8002), 0x0F | 0x50);    // so the word came out weak
    EXPECT_EQ(host.Read(0x012C) & 0x0004, 0x0004); // ACCVIFG
}

// The halt holds a CPU parked on JMP $ only. One TCLK too many before the JMP $ is fed
// makes the CPU fetch from memory; a two-word instruction there takes the JMP $ as its
// operand, and the halted memory cycles never happen.
TEST_F(JtagFrontEnd, AHaltHoldsOnlyACpuParkedOnJumpToSelf) {
    Control();
    for (uint16_t a : {0x0300, 0x0301, 0x0302, 0x0303})
        model.Poke(a, a == 0x0300 ? 0x31 : a == 0x0301 ? 0x40 : a == 0x0302 ? 0x00 : 0x0A); // MOV #0x0A00, SP
    host.SetPc(0x0300);
    host.Tclk(true);
    host.Tclk(false); // the extra clock: fetches MOV #imm, SP from memory
    host.Halt();      // JMP $ is taken as its immediate
    EXPECT_FALSE(target.Chip().Cpu().Parked());
    host.Write(0x0200, 0x1234);
    EXPECT_NE(model.Read(0x0200), 0x34);

    ASSERT_TRUE(host.TakeCpu()); // the guide's way: at the fetch, JMP $ first
    host.Halt();
    EXPECT_TRUE(target.Chip().Cpu().Parked());
    host.Write(0x0200, 0x1234);
    EXPECT_EQ(model.Read(0x0200), 0x34);
}

TEST_F(JtagFrontEnd, AnEraseClockedTooFewCyclesLeavesFlashUnerased) {
    Control();
    model.Poke(0xE000, 0x00);
    UnlockFlash(0xA502);
    host.Write(0xE000, 0x55AA);
    host.Pulses(4000);
    host.Write(0x0128, 0xA500);
    EXPECT_EQ(model.Read(0xE000), 0x00);
    host.Pulses(5000);
    EXPECT_EQ(model.Read(0xE000), 0xFF); // the controller finishes once clocked enough

    model.Poke(0xE200, 0x00);
    host.Write(0x0128, 0xA502);
    host.Write(0xE200, 0x55AA);
    host.Pulses(4000);
    host.SetControl(0x2C01); // a reset cuts the erase off
    host.SetControl(0x2401);
    host.Pulses(5000);
    EXPECT_EQ(model.Read(0xE200), 0x00);
}

TEST_F(JtagFrontEnd, MassErasePassesAddUpInTheCallersTime) {
    Control();
    model.Poke(0x9000, 0x00);
    // 3 us per TCLK: 333 kHz, 15.9 ms a pass.
    for (int pass = 0; pass < 12; ++pass) {
        UnlockFlash(0xA504);
        host.Write(0x1100, 0x55AA);
        host.Pulses(sim::kFlashMassEraseCycles);
    }
    EXPECT_EQ(model.Read(0x9000), 0x00); // 12 passes: 191 ms
    UnlockFlash(0xA504);
    host.Write(0x1100, 0x55AA);
    host.Pulses(sim::kFlashMassEraseCycles);
    EXPECT_EQ(model.Read(0x9000), 0xFF);
}

TEST_F(JtagFrontEnd, TheSignatureOfKnownContents) {
    Control();
    const uint16_t words[] = {0x0001, 0x8000, 0xFFFF, 0x1234};
    for (int i = 0; i < 4; ++i)
        host.Write(static_cast<uint16_t>(0x0300 + 2 * i), words[i]);
    // Expected from the polynomial, independently of the chip's code.
    auto step = [](uint16_t s, uint16_t w) {
        uint32_t shifted = (s & 0x8000) ? (((s ^ 0x0805u) << 1) | 1u) : (uint32_t(s) << 1);
        return static_cast<uint16_t>((shifted & 0xFFFF) ^ w);
    };
    EXPECT_EQ(step(0x0000, 0x0001), 0x0001);
    EXPECT_EQ(step(0x8000, 0x0000), 0x100B);

    host.SetPc(0x0300);
    host.Ir(0x41);
    host.Dr(0x02FE); // the signature starts from the data register
    host.Ir(0x44);
    uint16_t expected = 0x02FE;
    for (uint16_t w : words) {
        expected = step(expected, w);
        host.Tclk(true);    // the cycle reads the word at the PC ...
        host.Dr(0x0000, 1); // ... and one shift adds it
        host.Tclk(false);   // the PC moves on
    }
    host.Ir(0x46);
    EXPECT_EQ(host.Dr(0), expected);
    EXPECT_EQ(target.Chip().Cpu().ProgramCounter(), 0x0308);
}

TEST_F(JtagFrontEnd, QuickReadStepsTheProgramCounterOnEachTclk) {
    Control();
    for (uint16_t i = 0; i < 3; ++i)
        host.Write(static_cast<uint16_t>(0x0400 + 2 * i), static_cast<uint16_t>(0xA000 + i));
    host.SetPc(0x0400);
    EXPECT_EQ((host.Ir(0x84), host.Dr(0)), 0x0400); // the address bus shows the new PC
    host.SetControl(0x2409);
    host.Ir(0x43);
    for (uint16_t i = 0; i < 3; ++i) {
        host.Pulses(1);
        EXPECT_EQ(host.Dr(0), 0xA000 + i);
    }
}

TEST_F(JtagFrontEnd, TheConfigurationFusesAreEightBits) {
    EXPECT_EQ(host.Ir(0x29), 0x89);
    EXPECT_EQ(host.Dr(0, 8), model.ConfigurationFuses());
}

class JtagFrontEndF135 : public JtagFrontEnd {
protected:
    JtagFrontEndF135() : JtagFrontEnd("MSP430F135") {}
};

TEST_F(JtagFrontEndF135, FusesTellThePartsOfAFamilyApart) {
    host.Ir(0x29);
    EXPECT_EQ(host.Dr(0, 8), 0x04);
}

TEST_F(JtagFrontEnd, AnUnstoppedWatchdogResetsTheChip) {
    ASSERT_TRUE(host.TakeCpu());
    host.SetControl(0x2C01);
    host.SetControl(0x2401);
    const uint64_t resets = target.Chip().Resets();
    host.Pulses(40000);
    EXPECT_EQ(target.Chip().Resets(), resets + 1);
    ASSERT_TRUE(host.TakeCpu()); // the halt holds only once JMP $ is fed at a fetch
    host.Halt();
    host.Write(0x0120, 0x5A80);
    host.Pulses(40000);
    EXPECT_EQ(target.Chip().Resets(), resets + 1);
    host.Write(0x0120, 0x0080); // no password: reset
    EXPECT_EQ(target.Chip().Resets(), resets + 2);
}

TEST_F(JtagFrontEnd, PowerLossDuringAnEraseSilencesTheChipUntilTheSupplyCycles) {
    Control();
    model.Poke(0xF000, 0x00);
    model.InjectPowerLossAfter(0, sim::FlashOperation::Erase);
    UnlockFlash(0xA502);
    host.Write(0xF000, 0x55AA);
    host.Pulses(sim::kFlashSegmentEraseCycles);
    EXPECT_FALSE(target.Powered());
    EXPECT_TRUE(host.Tdo());
    EXPECT_EQ(host.Ir(0x14), 0xFF);
    host.Supply(false);
    host.Attach();
    EXPECT_TRUE(target.JtagAccessible());
    EXPECT_FALSE(model.PowerLost());
}

TEST(LptJtagWire, TheCableCarriesLinesOnlyWhileEnabledAndCountsAccesses) {
    DeviceModel model("MSP430F149");
    JtagTarget target(model);
    VirtualClock clock;
    sim::LptJtagWire wire(target, clock);
    ASSERT_TRUE(wire.Open(2));
    wire.WritePort(0x278, 0x70); // three supply lines are not enough
    EXPECT_FALSE(target.Powered());
    wire.WritePort(0x278, 0xF0);
    EXPECT_TRUE(target.Powered());
    EXPECT_EQ(wire.ReadPort(0x279), 0x20); // TDO released: high
    wire.WritePort(0x378, 0x00);           // not this port's registers
    wire.WritePort(0x27A, 0x04);           // one enable is not the cable
    wire.WritePort(0x278, 0xF2);
    EXPECT_TRUE(target.State() == sim::TapState::TestLogicReset);
    EXPECT_EQ(wire.Accesses(), 6u);
    EXPECT_EQ(clock.Nanoseconds(), 6 * sim::kLptAccessNs);
    wire.noCable = true;
    EXPECT_EQ(wire.ReadPort(0x279), 0xFF);
    wire.noCable = false;
    wire.WritePort(0x27A, 0x0C);
    EXPECT_FALSE(wire.TakeReleased());
    wire.WritePort(0x27A, 0x00);
    EXPECT_TRUE(wire.TakeReleased());
    wire.Close();
    EXPECT_EQ(wire.ReadPort(0x279), 0xFF);
}

} // namespace
} // namespace pyrola::test

namespace pyrola::test {
namespace {

// A chip with a TEST pin: its JTAG pins are port pins until TEST is high, and its fuse
// check current flows into TEST.
TEST(JtagTestPin, JtagAnswersOnlyWhileTestIsHigh) {
    DeviceModel model("MSP430F11x1");
    JtagTarget target(model);
    ASSERT_TRUE(target.HasTestPin());
    JtagHost host(target);
    host.Attach();
    EXPECT_EQ(host.Ir(0x14), 0xFF); // nothing drives TDO
    EXPECT_FALSE(target.FuseChecked());

    host.Supply(false);
    host.pins.test = true;
    host.Attach();
    EXPECT_EQ(host.Ir(0x14), 0x89);
    EXPECT_TRUE(target.JtagAccessible());
    host.Ir(0x14);
    EXPECT_NE(host.Dr(0xAAAA), 0x5555);

    // A fuse check given while TEST is low never reaches the chip; the scans' own short
    // TMS pulses then count as the check, and a short check reads the fuse as blown.
    JtagTarget other(model);
    JtagHost second(other);
    second.pins.test = true;
    second.pins.jtag = {};
    second.Supply(true);
    second.pins.test = false;
    second.FuseCheck(true);
    second.pins.test = true;
    second.ResetTap();
    second.Ir(0x14);
    EXPECT_TRUE(other.FuseChecked());
    EXPECT_FALSE(other.JtagAccessible());

    DeviceModel big("MSP430F149");
    EXPECT_FALSE(JtagTarget(big).HasTestPin());
}

TEST(JtagPortFaults, PauseItemsNameAnAccessAndMilliseconds) {
    DeviceModel model("MSP430F149");
    std::string error;
    ASSERT_TRUE(sim::ApplyFaultList("pause=7:25", model, &error)) << error;
    EXPECT_EQ(model.PortPauseBefore(7), 25u);
    EXPECT_EQ(model.PortPauseBefore(8), 0u);
    for (const char* bad : {"pause=0:5", "pause=7", "pause=7:x", "pause=7:600001"}) {
        EXPECT_FALSE(sim::ApplyFaultList(bad, model, &error)) << bad;
    }
    // The wire's time jumps before that access.
    JtagTarget target(model);
    sim::LptJtagWire wire(
        target, [] { return uint64_t{0}; }, 300);
    ASSERT_TRUE(wire.Open(1));
    for (int i = 0; i < 6; ++i)
        wire.ReadPort(0x379);
    EXPECT_EQ(wire.NowNs(), 6 * 300u);
    wire.ReadPort(0x379);
    EXPECT_EQ(wire.NowNs(), 7 * 300u + 25000000u);
    wire.Waited(3);
    EXPECT_EQ(wire.NowNs(), 7 * 300u + 28000000u);
}

} // namespace
} // namespace pyrola::test
