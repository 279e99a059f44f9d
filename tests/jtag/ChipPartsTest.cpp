// The simulated chip's JTAG front end (sim/): the TAP table on its own, the pins, each
// part behind them (CPU, watchdog, flash controller), and the whole front end driven with
// pin sequences of these tests' own (JtagHost), plus the simulated parallel-port wire.
//
// Here: the parts behind the JTAG logic, each against a DeviceModel: CPU, watchdog, flash
// controller, memory bus.
#include "sim/ChipBus.h"
#include "sim/FlashController.h"
#include "sim/JtagCpu.h"
#include "sim/Watchdog.h"

#include <gtest/gtest.h>

#include <map>

namespace pyrola::sim {
namespace {

TEST(JtagCpu, ResetLoadsTheVectorAndInstructionsTakeTheirCycles) {
    std::map<uint16_t, uint16_t> memory = {
        {0xFFFE, 0xC001}, {0xC000, 0x4030}, {0xC002, 0x8000}, {0x8000, 0x4303}, {0x8002, 0x3FFF}};
    JtagCpu cpu;
    int fetches = 0;
    auto fetch = [&](uint16_t a) {
        ++fetches;
        return memory.count(a) ? memory[a] : uint16_t{0xFFFF};
    };
    cpu.Reset();
    EXPECT_EQ(cpu.BusAddress(), kResetVector);
    cpu.Cycle(fetch);
    EXPECT_FALSE(cpu.InstructionFetch());
    cpu.Cycle(fetch);
    EXPECT_TRUE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.ProgramCounter(), 0xC000); // bit 0 of the vector ignored

    // MOV #0x8000, PC: fetch, immediate, load.
    cpu.Cycle(fetch);
    cpu.Cycle(fetch);
    EXPECT_FALSE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.ProgramCounter(), 0xC004);
    cpu.Cycle(fetch);
    EXPECT_TRUE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.ProgramCounter(), 0x8000);
    // NOP: one cycle.
    cpu.Cycle(fetch);
    EXPECT_TRUE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.BusAddress(), 0x8002);
    // JMP $: two cycles, and it stays where it is.
    for (int round = 0; round < 3; ++round) {
        cpu.Cycle(fetch);
        EXPECT_FALSE(cpu.InstructionFetch());
        cpu.Cycle(fetch);
        EXPECT_EQ(cpu.ProgramCounter(), 0x8002);
    }
    EXPECT_EQ(fetches, 1 + 2 + 1 + 3);
}

TEST(JtagCpu, ConditionalJumpsAreNotTakenAndOtherWordsTakeOneCycle) {
    JtagCpu cpu;
    cpu.Reset();
    cpu.Cycle([](uint16_t) { return uint16_t{0x0200}; });
    cpu.Cycle([](uint16_t) { return uint16_t{0}; });
    cpu.Cycle([](uint16_t) { return uint16_t{0x2010}; }); // JNE +16
    cpu.Cycle([](uint16_t) { return uint16_t{0}; });
    EXPECT_EQ(cpu.ProgramCounter(), 0x0202);
    cpu.Cycle([](uint16_t) { return uint16_t{0x5432}; });
    EXPECT_TRUE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.ProgramCounter(), 0x0204);
}

TEST(JtagCpu, ExtensionWordsFollowTheAddressingModes) {
    EXPECT_EQ(JtagCpu::ExtensionWords(0x4031), 1); // MOV #imm, SP
    EXPECT_EQ(JtagCpu::ExtensionWords(0x4292), 2); // MOV &abs, &abs
    EXPECT_EQ(JtagCpu::ExtensionWords(0x4303), 0); // NOP: the constant generator
    EXPECT_EQ(JtagCpu::ExtensionWords(0x4315), 0); // MOV #1, R5: r3's constant
    EXPECT_EQ(JtagCpu::ExtensionWords(0xFFFF), 1); // erased flash: AND.B @R15+, -1(R15)
    EXPECT_EQ(JtagCpu::ExtensionWords(0x12B0), 1); // CALL #imm
    EXPECT_EQ(JtagCpu::ExtensionWords(0x1300), 0); // RETI
    EXPECT_EQ(JtagCpu::ExtensionWords(0x3FFF), 0); // JMP $
    // Each extension word is a cycle of its own; the PC moves past them.
    JtagCpu cpu;
    cpu.Reset();
    cpu.Cycle([](uint16_t) { return uint16_t{0x0400}; });
    cpu.Cycle([](uint16_t) { return uint16_t{0}; });
    cpu.Cycle([](uint16_t) { return uint16_t{0x4292}; });
    EXPECT_FALSE(cpu.InstructionFetch());
    cpu.Cycle([](uint16_t) { return uint16_t{0x0200}; });
    EXPECT_FALSE(cpu.InstructionFetch());
    cpu.Cycle([](uint16_t) { return uint16_t{0x0202}; });
    EXPECT_TRUE(cpu.InstructionFetch());
    EXPECT_EQ(cpu.ProgramCounter(), 0x0406);
    EXPECT_FALSE(cpu.Parked());
    cpu.Cycle([](uint16_t) { return kJumpToSelf; });
    EXPECT_TRUE(cpu.Parked());
}

TEST(Watchdog, RunsAfterResetUntilHeldAndNeedsItsPassword) {
    Watchdog wdt;
    wdt.Reset();
    EXPECT_EQ(wdt.Read(), 0x6900);
    for (uint32_t i = 1; i < 32768; ++i)
        ASSERT_FALSE(wdt.Tick()) << i;
    EXPECT_TRUE(wdt.Tick()); // the interval ran out: the chip resets

    EXPECT_TRUE(wdt.Write(0x5A80));
    EXPECT_EQ(wdt.Read(), 0x6980);
    for (int i = 0; i < 40000; ++i)
        ASSERT_FALSE(wdt.Tick());
    EXPECT_FALSE(wdt.Write(0x0080)); // wrong password
    EXPECT_TRUE(wdt.Write(0x5A03));  // running, 64-clock interval
    bool fired = false;
    for (int i = 0; i < 64 && !fired; ++i)
        fired = wdt.Tick();
    EXPECT_TRUE(fired);
    EXPECT_TRUE(wdt.Write(0x5A13)); // interval-timer mode never resets
    for (int i = 0; i < 200; ++i)
        ASSERT_FALSE(wdt.Tick());
    EXPECT_TRUE(wdt.Write(0x5A07)); // from ACLK: no crystal, no count
    for (int i = 0; i < 200; ++i)
        ASSERT_FALSE(wdt.Tick());
}

class FlashControllerTest : public ::testing::Test {
protected:
    void Unlock(uint8_t mode, uint8_t clock = 0x40) {
        ASSERT_TRUE(flash.WriteRegister(kFlashCtl1, uint16_t(kFlashPassword | mode)));
        ASSERT_TRUE(flash.WriteRegister(kFlashCtl2, uint16_t(kFlashPassword | clock)));
        ASSERT_TRUE(flash.WriteRegister(kFlashCtl3, kFlashPassword));
    }
    // Timing-generator cycles of `periodNs` (3 us: 333 kHz, inside the window).
    void Ticks(uint32_t n, uint64_t periodNs = 3000) {
        for (uint32_t i = 0; i < n; ++i) {
            now += periodNs;
            flash.Tick(now);
        }
    }
    DeviceModel model{"MSP430F149"};
    FlashController flash{model};
    uint64_t now = 0;
};

TEST_F(FlashControllerTest, AWordTakesEffectAfterItsThirtyFiveCycles) {
    EXPECT_EQ(flash.ReadRegister(kFlashCtl3), 0x9618); // locked after reset
    Unlock(kFlashWrite);
    flash.WriteFlash(0x2001, 0x1234, false, now); // a word at an odd address is the even one
    EXPECT_TRUE(flash.Busy());
    EXPECT_EQ(flash.ReadRegister(kFlashCtl3) & kFlashBusy, kFlashBusy);
    Ticks(kFlashWriteCycles - 1);
    EXPECT_EQ(model.Read(0x2000), 0xFF);
    flash.WriteFlash(0x2100, 0x0000, false, now); // while busy: refused
    EXPECT_NE(flash.ReadRegister(kFlashCtl3) & kFlashAccessViolation, 0);
    Ticks(1);
    EXPECT_FALSE(flash.Busy());
    EXPECT_EQ(model.Read(0x2000), 0x34);
    EXPECT_EQ(model.Read(0x2001), 0x12);
    EXPECT_EQ(model.Read(0x2100), 0xFF);
    flash.WriteFlash(0x2003, 0x00AB, true, now);
    Ticks(kFlashWriteCycles);
    EXPECT_EQ(model.Read(0x2003), 0xAB);
    EXPECT_EQ(model.Read(0x2002), 0xFF);
}

TEST_F(FlashControllerTest, TheDividerAndTheClockSourceSetTheCycleRate) {
    Unlock(kFlashWrite, 0x42); // MCLK / 3
    flash.WriteFlash(0x3000, 0x0000, false, now);
    Ticks(3 * kFlashWriteCycles - 1);
    EXPECT_TRUE(flash.Busy());
    Ticks(1);
    EXPECT_FALSE(flash.Busy());
    Unlock(kFlashWrite, 0x00); // ACLK: no crystal in the model
    flash.WriteFlash(0x3002, 0x0000, false, now);
    Ticks(1000);
    EXPECT_TRUE(flash.Busy());
    EXPECT_EQ(model.Read(0x3002), 0xFF);
}

TEST_F(FlashControllerTest, SegmentEraseNeedsAllItsCyclesAndAResetCutsItOff) {
    model.Poke(0x4000, 0x00);
    model.Poke(0x4200, 0x00);
    Unlock(kFlashErase);
    flash.WriteFlash(0x4010, 0x55AA, false, now);
    Ticks(kFlashSegmentEraseCycles - 1);
    flash.Reset();
    EXPECT_FALSE(flash.Busy());
    EXPECT_EQ(model.Read(0x4000), 0x00);
    Unlock(kFlashErase);
    flash.WriteFlash(0x4010, 0x55AA, false, now);
    Ticks(kFlashSegmentEraseCycles);
    EXPECT_EQ(model.Read(0x4000), 0xFF);
    EXPECT_EQ(model.Read(0x4200), 0x00);
    EXPECT_EQ(flash.ReadRegister(kFlashCtl1) & kFlashErase, 0); // cleared when done
}

TEST_F(FlashControllerTest, MassEraseWaitsForTheCumulativeTime) {
    model.Poke(0x1000, 0x00);
    model.Poke(0x8000, 0x00);
    // 5300 cycles of 3 us: 15.9 ms a pass, so the 200 ms take 13 passes.
    for (int pass = 1; pass <= 13; ++pass) {
        Unlock(kFlashErase | kFlashMassErase);
        flash.WriteFlash(0x1100, 0x55AA, false, now);
        Ticks(kFlashMassEraseCycles);
        ASSERT_FALSE(flash.Busy());
        EXPECT_EQ(model.Read(0x8000), pass < 13 ? 0x00 : 0xFF) << pass;
    }
    EXPECT_EQ(model.Read(0x1000), 0xFF); // ERASE and MERAS: all flash
    EXPECT_EQ(flash.CumulativeMassEraseNs(), 0u);

    model.Poke(0x1000, 0x00);
    model.Poke(0x8000, 0x00);
    for (int pass = 0; pass < 13; ++pass) {
        Unlock(kFlashMassErase);
        flash.WriteFlash(0x1100, 0x55AA, false, now);
        Ticks(kFlashMassEraseCycles);
    }
    EXPECT_EQ(model.Read(0x8000), 0xFF);
    EXPECT_EQ(model.Read(0x1000), 0x00); // MERAS alone: main memory only
}

// Every period of the generator is judged: too fast, too slow or stopped for a while, a
// write's cells get the wrong pulse; an erase only too fast.
TEST_F(FlashControllerTest, OutsideTheTimingWindowWritesAndErasesStayWeak) {
    Unlock(kFlashWrite);
    flash.WriteFlash(0x2000, 0x0000, false, now);
    Ticks(kFlashWriteCycles, 1000); // 1 MHz
    EXPECT_EQ(flash.LastFrequencyHz(), 1000000u);
    EXPECT_EQ(model.Read(0x2000), 0x55); // every other bit left erased
    flash.WriteFlash(0x2002, 0x0000, false, now);
    Ticks(kFlashWriteCycles, 4000); // 250 kHz: just below
    EXPECT_EQ(model.Read(0x2002), 0x55);
    flash.WriteFlash(0x2004, 0x0000, false, now);
    Ticks(kFlashWriteCycles, 2101); // 476 kHz: just inside
    EXPECT_EQ(model.Read(0x2004), 0x00);
    flash.WriteFlash(0x2006, 0x0000, false, now);
    Ticks(10);
    now += 5000000; // the clock stops for 5 ms in the middle
    Ticks(kFlashWriteCycles - 10);
    // Weak, and the row's 4 ms of cumulative program time are gone: program disturb clears
    // bit 0 of every byte of the row.
    EXPECT_EQ(model.Read(0x2006), 0x54);
    EXPECT_EQ(model.Read(0x2000), 0x54);
    EXPECT_EQ(model.Read(0x203F), 0xFE);
    EXPECT_EQ(model.Read(0x2040), 0xFF);
    EXPECT_EQ(flash.OperationsOutOfWindow(), 3u);
    EXPECT_EQ(flash.RowsOverstressed(), 1u);
    EXPECT_GT(flash.RowProgramNs(0x2000), 5000000u);
    EXPECT_EQ(flash.ShortestPeriodNs(), 1000u);
    EXPECT_GT(flash.LongestPeriodNs(), 5000000u);

    model.Poke(0x4000, 0x00);
    model.Poke(0x4001, 0xF0);
    Unlock(kFlashErase);
    flash.WriteFlash(0x4000, 0x55AA, false, now);
    Ticks(kFlashSegmentEraseCycles, 600); // a fast port: 1.7 MHz
    EXPECT_EQ(model.Read(0x4000), 0xAA);  // bits of 0x55 still programmed
    EXPECT_EQ(model.Read(0x4001), 0xFA);
    EXPECT_EQ(model.Read(0x4002), 0xFF);

    // A mass-erase pass too fast adds nothing to the cumulative erase time: 13 passes at
    // 3 us would do, but with one of them too fast a 14th is needed.
    model.Poke(0x8000, 0x00);
    for (int pass = 0; pass < 13; ++pass) {
        Unlock(kFlashMassErase);
        flash.WriteFlash(0x1100, 0x55AA, false, now);
        Ticks(kFlashMassEraseCycles, pass == 5 ? 2000 : 3000);
    }
    EXPECT_EQ(model.Read(0x8000), 0x00);
    Unlock(kFlashMassErase);
    flash.WriteFlash(0x1100, 0x55AA, false, now);
    Ticks(kFlashMassEraseCycles, 3000);
    EXPECT_EQ(model.Read(0x8000), 0xFF);
    // A stretched pass only erased longer, which the cells take: it counts for its time.
    model.Poke(0x8000, 0x00);
    for (int pass = 0; pass < 12; ++pass) {
        Unlock(kFlashMassErase);
        flash.WriteFlash(0x1100, 0x55AA, false, now);
        Ticks(10, 3000);
        now += pass == 3 ? 30000000 : 0; // stopped for 30 ms
        Ticks(kFlashMassEraseCycles - 10, 3000);
    }
    EXPECT_EQ(model.Read(0x8000), 0xFF);
}

TEST_F(FlashControllerTest, PasswordsLocksAndModesAreEnforced) {
    EXPECT_FALSE(flash.WriteRegister(kFlashCtl1, 0x9640)); // the read key is no password
    EXPECT_NE(flash.ReadRegister(kFlashCtl3) & kFlashKeyViolation, 0);
    flash.Reset(); // the PUC it causes leaves the flag for software to find
    EXPECT_EQ(flash.ReadRegister(kFlashCtl3) & 0xFF, kFlashKeyViolation | kFlashWait | kFlashLock);
    EXPECT_EQ(flash.ReadRegister(kFlashCtl1) & kFlashWrite, 0);
    ASSERT_TRUE(flash.WriteRegister(kFlashCtl1, kFlashPassword | kFlashWrite));
    flash.WriteFlash(0x5000, 0x0000, false, now); // still locked
    EXPECT_FALSE(flash.Busy());
    EXPECT_NE(flash.ReadRegister(kFlashCtl3) & kFlashAccessViolation, 0);
    ASSERT_TRUE(flash.WriteRegister(kFlashCtl3, kFlashPassword));
    EXPECT_EQ(flash.ReadRegister(kFlashCtl3) & kFlashKeyViolation, 0); // cleared by software
    ASSERT_TRUE(flash.WriteRegister(kFlashCtl1, kFlashPassword));
    flash.WriteFlash(0x5000, 0x0000, false, now); // no mode
    EXPECT_FALSE(flash.Busy());
    ASSERT_TRUE(flash.WriteRegister(kFlashCtl1, kFlashPassword | kFlashWrite));
    flash.WriteFlash(0x5000, 0x0000, false, now);
    ASSERT_TRUE(flash.WriteRegister(kFlashCtl3, kFlashPassword | kFlashEmergencyExit));
    EXPECT_FALSE(flash.Busy());
    Ticks(100);
    EXPECT_EQ(model.Read(0x5000), 0xFF);
}

TEST(ChipBus, RegistersFlashAndMemoryAnswerAtTheirAddresses) {
    DeviceModel model("MSP430F149");
    FlashController flash(model);
    Watchdog wdt;
    ChipBus bus(model, flash, wdt);
    bus.WriteWord(0x0201, 0xBEEF, 0); // word at the even address
    EXPECT_EQ(bus.ReadWord(0x0200), 0xBEEF);
    EXPECT_EQ(bus.ReadByte(0x0201), 0xBE);
    bus.WriteByte(0x0203, 0x42, 0);
    EXPECT_EQ(bus.ReadWord(0x0202), 0x4200);
    EXPECT_TRUE(bus.TakeChanged());
    EXPECT_FALSE(bus.TakeChanged());
    EXPECT_EQ(bus.ReadWord(kWatchdogRegister), 0x6900);
    EXPECT_EQ(bus.ReadWord(kFlashCtl2), 0x9642);
    bus.WriteWord(0x0C00, 0x0000, 0); // ROM
    EXPECT_FALSE(bus.TakeChanged());
    EXPECT_FALSE(bus.TakeResetRequest());
    bus.WriteByte(kWatchdogRegister, 0x80, 0); // half a word register: no password
    EXPECT_TRUE(bus.TakeResetRequest());
    bus.WriteWord(kFlashCtl3, 0x0000, 0);
    EXPECT_TRUE(bus.TakeResetRequest());
    // Flash under a running operation reads as JMP $.
    bus.WriteWord(kFlashCtl1, 0xA540, 0);
    bus.WriteWord(kFlashCtl3, 0xA500, 0);
    bus.WriteWord(0x6000, 0x1234, 0);
    EXPECT_EQ(bus.ReadWord(0x7000), 0x3FFF);
    for (uint32_t i = 0; i < 3 * kFlashWriteCycles; ++i)
        flash.Tick(i * 1000); // MCLK / 3 at 1 MHz: the generator at 333 kHz
    EXPECT_EQ(bus.ReadWord(0x6000), 0x1234);
    EXPECT_TRUE(bus.TakeChanged());
}

} // namespace
} // namespace pyrola::sim
