// The headless programmer run as a separate process against the simulated chip's JTAG
// pins, reached through the simulated port library that $PYROLA_LPT1 names: command line
// in, log and exit status out, chip state in a file between runs.
#include "base/TextFormat.h"
#include "sim/SimEnvironment.h"
#include "tests/support/ProgramRun.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using pyrola::sim::SetEnvValue;
using pyrola::test::NativePath;
using pyrola::test::RunResult;

class RawEndToEnd : public pyrola::test::ProgramEndToEnd {
protected:
    RawEndToEnd()
        : ProgramEndToEnd(PYROLA_PROGRAM,
                          {"PYROLA_LPT1", "PYROLA_SIM_PORT_NS", "PYROLA_SIM_PORT_JITTER_NS",
                           "PYROLA_SIM_PORT_COLD_NS", "PYROLA_SIM_PORT_CHANGE", "PYROLA_SIM_PORT_STALL"}) {}
    void SetUp() override {
        ProgramEndToEnd::SetUp();
        SetEnvValue("PYROLA_LPT1", NativePath(PYROLA_SIM_PORT_LIBRARY));
    }
    static void ExpectLine(const RunResult& run, const std::string& line) {
        EXPECT_NE(run.output.find("->" + line), std::string::npos) << line << "\n" << run.output;
    }
};

TEST_F(RawEndToEnd, AutoProgramsTheImageByteExactAndAOneByteChangeFailsVerify) {
    const std::string image = ImageFile("blink.txt", example_);
    const RunResult first = Run({"-raw", "-c1", "+ebpv", image});
    EXPECT_EQ(first.status, 0) << first.output;
    ExpectLine(first, "LPT1: simulated port library " + NativePath(PYROLA_SIM_PORT_LIBRARY));
    for (const char* line :
         {"Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)", "Erase complete.",
          "Blank check complete.", "Program complete.", "Verify complete."}) {
        ExpectLine(first, line);
    }
    ExpectMainMemoryHolds(example_);

    auto changed = example_;
    const uint32_t address = std::next(changed.begin(), 77)->first;
    changed[address] ^= 0x10;
    const RunResult second = Run({"-raw", "+v", ImageFile("changed.txt", changed)});
    EXPECT_EQ(second.status, 1) << second.output;
    ExpectLine(second, "Verify failed. Found 1 errors");
    ExpectLine(second, pyrola::Format("Mismatch at 0x%04X: expected 0x%02X, found 0x%02X", unsigned(address),
                                      unsigned(changed[address]), unsigned(example_[address])));
    EXPECT_EQ(second.output.find("->Erasing"), std::string::npos);

    const RunResult read = Run({"-raw", "+r", "--save", AnyFile("read.txt", "")});
    EXPECT_EQ(read.status, 0) << read.output;
    ExpectLine(read, "Read 61440(0xF000) bytes");
}

// A fast port card and an old port: the flash clock is paced into its window and the chip
// comes out byte-exact at both; a port too slow for it is refused before anything is erased.
TEST_F(RawEndToEnd, EachPortSpeedGivesAnExactChipOrAClearRefusal) {
    const std::string image = ImageFile("blink.txt", example_);
    SetEnvValue("PYROLA_SIM_PORT_NS", "300");
    const RunResult fast = Run({"-raw", "-c1", "+ebpv", image});
    EXPECT_EQ(fast.status, 0) << fast.output;
    ExpectLine(
        fast,
        "LPT1: a port access takes 300 ns; flash timing TCLK 350 kHz, each period paced against the clock");
    ExpectLine(fast, "Verify complete.");
    ExpectMainMemoryHolds(example_);

    SetEnvValue("PYROLA_SIM_PORT_NS", "2000");
    const RunResult slow = Run({"-raw", "-c1", "+ebpv", image});
    EXPECT_EQ(slow.status, 1) << slow.output;
    ExpectLine(
        slow,
        "LPT1: a port access takes 2000 ns, too slow for flash timing (TCLK at most 238 kHz, where the "
        "flash needs 257 to 476 kHz in every period and a row programmed within 4 ms, so at most 1200 ns "
        "per access): erase and program are refused");
    ExpectLine(slow,
               "Erase refused: a port access takes 2000 ns, too slow to clock the flash timing generator "
               "at 294 kHz or more (the flash needs 257 kHz in every period, and a 64-byte row programmed "
               "within 4 ms)");
    ExpectLine(slow, "Erase failed.");
    EXPECT_EQ(slow.output.find("->Program complete."), std::string::npos);
    ExpectMainMemoryHolds(example_); // untouched

    SetEnvValue("PYROLA_SIM_PORT_NS", "fast");
    const RunResult bad = Run({"-raw", "-c1", "+v", image});
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_NE(bad.output.find("Invalid simulated port access time"), std::string::npos) << bad.output;

    SetEnvValue("PYROLA_SIM_PORT_NS", "");
    SetEnvValue("PYROLA_SIM_PORT_STALL", "34");
    const RunResult badStall = Run({"-raw", "-c1", "+v", image});
    EXPECT_EQ(badStall.status, 1) << badStall.output;
    EXPECT_NE(badStall.output.find("Invalid simulated port timing (PYROLA_SIM_PORT_STALL: us/ms"),
              std::string::npos)
        << badStall.output;
}

// A loaded machine through the port library: jitter, a cold access after every wait, the
// scheduler stopping the programmer for 34 us every 5 ms, and once for 50 ms in the middle
// of the erase. The stretched pass and words are done again and the chip comes out exact.
TEST_F(RawEndToEnd, ALoadedMachineStillProgramsTheChipExactly) {
    SetEnvValue("PYROLA_SIM_FAULTS", "pause=200000:50");
    SetEnvValue("PYROLA_SIM_PORT_NS", "700");
    SetEnvValue("PYROLA_SIM_PORT_JITTER_NS", "140");
    SetEnvValue("PYROLA_SIM_PORT_COLD_NS", "20000");
    SetEnvValue("PYROLA_SIM_PORT_STALL", "34/5");
    const RunResult run = Run({"-raw", "-c1", "+ebpv", ImageFile("blink.txt", example_)});
    EXPECT_EQ(run.status, 0) << run.output;
    for (const char* line :
         {"Erase complete.", "Blank check complete.", "Program complete.", "Verify complete."})
        ExpectLine(run, line);
    ExpectMainMemoryHolds(example_);
}

TEST_F(RawEndToEnd, AChipThatNeedsItsTestPinFailsInitSayingWhy) {
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F11x1");
    const RunResult run = Run({"-raw", "-c1", "+e"});
    EXPECT_EQ(run.status, 1) << run.output;
    ExpectLine(run,
               "No JTAG answer from the target (chips with a TEST pin, MSP430F11x1, F11x2, F12x and F12x2, "
               "cannot answer through this cable)");
    EXPECT_NE(run.output.find("Init() failed."), std::string::npos) << run.output;
}

TEST_F(RawEndToEnd, ABlownSecurityFuseFailsInitWithItsText) {
    SetEnvValue("PYROLA_SIM_FAULTS", "securityfuse");
    const RunResult run = Run({"-raw", "-c1", "+ebpv", ImageFile("blink.txt", example_)});
    EXPECT_EQ(run.status, 1) << run.output;
    ExpectLine(run, "Could not access device - security fuse is blown");
    EXPECT_NE(run.output.find("Init() failed."), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("->Erasing"), std::string::npos);
}

} // namespace
