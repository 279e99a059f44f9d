// The headless programmer run as a separate process against the simulated chip's JTAG
// pins, reached through the simulated port library that $PYROLA_LPT1 names: command line
// in, log and exit status out, chip state in a file between runs.
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
    RawEndToEnd() : ProgramEndToEnd(PYROLA_PROGRAM, {"PYROLA_LPT1"}) {}
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
    EXPECT_EQ(second.output.find("->Erasing"), std::string::npos);

    const RunResult read = Run({"-raw", "+r"});
    EXPECT_EQ(read.status, 0) << read.output;
    ExpectLine(read, "Read 61440(0xF000) bytes");
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
