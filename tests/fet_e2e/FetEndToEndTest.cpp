// The headless programmer run as a separate process against the simulated FET library,
// exactly as a user runs it: command line in, log and exit status out, chip state in a
// file between runs.
#include "sim/SimEnvironment.h"
#include "tests/support/TiTxtText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error together
};

using pyrola::sim::SetEnvValue;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

#if defined(_WIN32)
// Build-tree paths are the cross build's Unix paths; Wine shows the root as drive Z:.
std::string NativePath(std::string path) {
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}
#else
std::string NativePath(std::string path) {
    return path;
}
#endif

RunResult RunPyrola(const std::vector<std::string>& arguments, const fs::path& outputFile) {
    RunResult result;
    const std::string program = NativePath(PYROLA_PROGRAM);
#if defined(_WIN32)
    std::string command = "\"" + program + "\"";
    for (const std::string& a : arguments) {
        command += " \"" + a + "\"";
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE out = CreateFileA(outputFile.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return result;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
#else
    std::string command = "'" + program + "'";
    for (const std::string& a : arguments) {
        command += " '" + a + "'";
    }
    command += " >'" + outputFile.string() + "' 2>&1 </dev/null";
    int raw = std::system(command.c_str());
    result.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
#endif
    result.output = ReadText(outputFile);
    return result;
}

// A TI TXT image as address -> byte, read here independently of the program's reader.
std::map<uint32_t, uint8_t> ParseTiTxt(const std::string& text) {
    std::map<uint32_t, uint8_t> bytes;
    std::istringstream in(text);
    std::string token;
    uint32_t address = 0;
    while (in >> token) {
        if (token == "q") {
            break;
        }
        if (token[0] == '@') {
            address = static_cast<uint32_t>(std::stoul(token.substr(1), nullptr, 16));
        } else {
            bytes[address++] = static_cast<uint8_t>(std::stoul(token, nullptr, 16));
        }
    }
    return bytes;
}

class FetEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("pyrola_e2e_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                "_" + std::to_string(std::random_device{}()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_ = dir_ / "chip.bin";
        SetEnvValue("PYROLA_FET_LIBRARY", NativePath(PYROLA_SIM_FET_LIBRARY));
        SetEnvValue("PYROLA_SIM_STATE", NativePath(state_.string()));
        SetEnvValue("PYROLA_SETTINGS", NativePath((dir_ / "settings.ini").string()));
        SetEnvValue("PYROLA_SIM_DEVICE", "");
        SetEnvValue("PYROLA_SIM_FAULTS", "");
        example_ = ParseTiTxt(ReadText(fs::path(PYROLA_SOURCE_DIR) / "examples" / "blink.txt"));
        ASSERT_GT(example_.size(), 100u);
    }
    void TearDown() override {
        for (const char* name : {"PYROLA_FET_LIBRARY", "PYROLA_SIM_STATE", "PYROLA_SETTINGS",
                                 "PYROLA_SIM_DEVICE", "PYROLA_SIM_FAULTS"}) {
            SetEnvValue(name, "");
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string ImageFile(const std::string& name, const std::map<uint32_t, uint8_t>& bytes) {
        fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << pyrola::test::TiTxtText(bytes);
        return NativePath(path.string());
    }
    RunResult Run(std::vector<std::string> arguments) {
        return RunPyrola(arguments, dir_ / ("run" + std::to_string(runs_++) + ".log"));
    }
    std::vector<uint8_t> Chip() const {
        std::string text = ReadText(state_);
        return std::vector<uint8_t>(text.begin(), text.end());
    }
    fs::path dir_;
    fs::path state_;
    std::map<uint32_t, uint8_t> example_;
    int runs_ = 0;
};

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
    std::vector<uint8_t> chip = Chip();
    ASSERT_GE(chip.size(), 0x10000u);
    size_t programmed = 0;
    for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) {
        auto it = example_.find(a);
        uint8_t want = it == example_.end() ? 0xFF : it->second;
        programmed += it != example_.end();
        ASSERT_EQ(chip[a], want) << std::hex << a;
    }
    EXPECT_EQ(programmed, example_.size());

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
    EXPECT_NE(failed.output.find("Target lost its supply during a flash operation"), std::string::npos)
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
    EXPECT_NE(secured.output.find("->Could not access device: security fuse is blown"), std::string::npos)
        << secured.output;
    SetEnvValue("PYROLA_SIM_FAULTS", "");

    SetEnvValue("PYROLA_FET_LIBRARY", NativePath((dir_ / "no-such-library").string()));
    RunResult missing = Run({"-fet", "+v", ImageFile("blink.txt", example_)});
    EXPECT_EQ(missing.status, 1) << missing.output;
    EXPECT_NE(missing.output.find("->msp430.dll not found"), std::string::npos) << missing.output;
}

} // namespace
