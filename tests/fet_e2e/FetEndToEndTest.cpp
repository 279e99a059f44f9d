// The headless programmer run as a separate process against the simulated FET library,
// exactly as a user runs it: command line in, log and exit status out, chip state in a
// file between runs.
#include "FetEndToEnd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace pyrola::e2e {
namespace {

namespace fs = std::filesystem;

using sim::SetEnvValue;

TEST_F(FetEndToEnd, AutoJobProgramsTheExampleAndASecondRunVerifiesIt) {
    const std::string image = ImageFile("blink.txt", example_);
    RunResult first = Run({"-fet", "+ebpv", image});
    EXPECT_EQ(first.status, 0) << first.output;
    for (const char* line :
         {"->Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)", "->Erase complete.",
          "->Blank check complete.", "->Program complete.", "->Verify complete."}) {
        EXPECT_NE(first.output.find(line), std::string::npos) << line << "\n" << first.output;
    }
    // The chip holds the image and nothing else in main memory.
    ExpectMainMemoryHolds(example_);

    RunResult second = Run({"-fet", "+v", image});
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("->Verify complete."), std::string::npos) << second.output;
    EXPECT_EQ(second.output.find("->Erasing"), std::string::npos);
}

TEST_F(FetEndToEnd, VerifyAgainstAChangedImageCountsTheDifferencesAndExitsOne) {
    ASSERT_EQ(Run({"-fet", "+ebpv", ImageFile("blink.txt", example_)}).status, 0);
    auto changed = example_;
    std::vector<uint32_t> addresses;
    for (const auto& entry : changed) {
        if (addresses.size() < 3 && entry.first % 50 == 7) {
            addresses.push_back(entry.first);
        }
    }
    ASSERT_EQ(addresses.size(), 3u);
    for (uint32_t a : addresses) {
        changed[a] ^= 0x40;
    }
    RunResult run = Run({"-fet", "+v", ImageFile("changed.txt", changed)});
    EXPECT_EQ(run.status, 1) << run.output;
    const std::string expected = "Verify failed. Found " + std::to_string(addresses.size()) + " errors";
    EXPECT_NE(run.output.find("->" + expected), std::string::npos) << run.output;
}

TEST_F(FetEndToEnd, PowerLossDuringProgramFailsCleanlyAndTheNextRunRecovers) {
    const std::string image = ImageFile("blink.txt", example_);
    const uint32_t survivors = 100;
    SetEnvValue("PYROLA_SIM_FAULTS", "powerloss-write=" + std::to_string(survivors));
    RunResult failed = Run({"-fet", "+ebpv", image});
    EXPECT_EQ(failed.status, 1) << failed.output;
    EXPECT_NE(failed.output.find("->Program failed."), std::string::npos) << failed.output;
    EXPECT_NE(failed.output.find(LibraryText("Target lost its supply during a flash operation",
                                             "Could not write device memory")),
              std::string::npos)
        << failed.output;
    EXPECT_EQ(failed.output.find("->Verifying device memory programming"),
              std::string::npos); // ended at Program

    // The chip shows where the supply went: the bytes before it programmed, the one being
    // programmed only partly, the rest still erased.
    std::vector<uint8_t> chip = Chip();
    ASSERT_GE(chip.size(), 0x10000u);
    auto it = example_.begin();
    for (uint32_t i = 0; i < survivors; ++i, ++it) {
        ASSERT_EQ(chip[it->first], it->second) << std::hex << it->first;
    }
    EXPECT_EQ(chip[it->first], static_cast<uint8_t>(it->second | 0x0F));
    for (++it; it != example_.end(); ++it) {
        ASSERT_EQ(chip[it->first], 0xFF) << std::hex << it->first;
    }

    SetEnvValue("PYROLA_SIM_FAULTS", "");
    RunResult again = Run({"-fet", "+ebpv", image});
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("->Verify complete."), std::string::npos) << again.output;
}

TEST_F(FetEndToEnd, SimulatedDeviceAndMissingLibraryAreReported) {
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F135");
    RunResult other = Run({"-fet", "+ebpv", ImageFile("blink.txt", example_)});
    EXPECT_EQ(other.status, 0) << other.output;
    EXPECT_NE(other.output.find("->Device: MSP430F135. Info(0x1000-0x10FF), Main:(0xC000-0xFFFF)"),
              std::string::npos)
        << other.output;

    SetEnvValue("PYROLA_SIM_FAULTS", "securityfuse");
    std::filesystem::remove(state_);
    RunResult secured = Run({"-fet", "+ebpv", ImageFile("blink.txt", example_)});
    EXPECT_EQ(secured.status, 1) << secured.output;
    EXPECT_NE(secured.output.find("->" + LibraryText("Could not access device: security fuse is blown",
                                                     "Security Fuse has been blown")),
              std::string::npos)
        << secured.output;
    SetEnvValue("PYROLA_SIM_FAULTS", "");

    const std::string noLibrary = NativePath((dir_ / "no-such-library").string());
    SetEnvValue("PYROLA_FET_LIBRARY", noLibrary);
    RunResult missing = Run({"-fet", "+v", ImageFile("blink.txt", example_)});
    EXPECT_EQ(missing.status, 1) << missing.output;
#if defined(_WIN32)
    EXPECT_NE(missing.output.find("->msp430.dll not found"), std::string::npos) << missing.output;
#else
    // Named as given, not by the Windows library's name.
    EXPECT_NE(missing.output.find("->" + noLibrary + " not found"), std::string::npos) << missing.output;
#endif
}

} // namespace
} // namespace pyrola::e2e

namespace pyrola::e2e {
namespace {

TEST_F(FetEndToEnd, ANamedF1611PassesWhateverNumberTheLibraryGivesIt) {
    SetEnvValue("PYROLA_SIM_DEVICE", "MSP430F1611");
    RunResult run = Run({"--device", "F1611", "-fet", "+ebpv", ImageFile("blink.txt", example_)});
    SetEnvValue("PYROLA_SIM_DEVICE", "");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("->Device: MSP430F1611. Info(0x1000-0x10FF), Main:(0x4000-0xFFFF)"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(VersionThree() ? "(version 3), FET ttyACM0, version " : "FET library: "),
              std::string::npos)
        << run.output;
}

TEST_F(FetEndToEnd, AFetThatNeedsNewFirmwareIsNeverUpdatedUnasked) {
    if (!VersionThree())
        GTEST_SKIP() << "only the version-3 library updates a FET's firmware";
    const std::string firmware = (dir_ / "firmware").string();
    std::ofstream(firmware) << "old\n";
    SetEnvValue("PYROLA_SIM_FET_FIRMWARE", NativePath(firmware));
    const std::string image = ImageFile("blink.txt", example_);
    RunResult refused = Run({"-fet", "+ebpv", image});
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("Init() failed. The FET ttyACM0 needs a firmware update first: run pyrola "
                                  "--fet-update -fet -c1"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(refused.output.find("->Erasing"), std::string::npos) << refused.output;
    RunResult listed = Run({"--list-ports"});
    EXPECT_NE(listed.output.find("FET1\tttyACM0\t"), std::string::npos) << listed.output;
    RunResult updated = Run({"--fet-update", "-fet", "-c1"});
    EXPECT_EQ(updated.status, 0) << updated.output;
    EXPECT_NE(updated.output.find("do not unplug the FET"), std::string::npos) << updated.output;
    RunResult after = Run({"-fet", "+ebpv", image});
    SetEnvValue("PYROLA_SIM_FET_FIRMWARE", "");
    EXPECT_EQ(after.status, 0) << after.output;
    RunResult noSuchFet = Run({"-fet", "-c2", "+v", image});
    EXPECT_EQ(noSuchFet.status, 1) << noSuchFet.output;
    EXPECT_NE(noSuchFet.output.find("no FET number 2 (1 found)"), std::string::npos) << noSuchFet.output;
}

} // namespace
} // namespace pyrola::e2e
