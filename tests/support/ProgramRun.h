#pragma once
// Running the real `pyrola` program from a test, as a user runs it: command line in,
// standard output and error and the exit status out; and TI TXT images read and written
// here, independently of the program's own reader and writer.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pyrola::test {

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error together
};

std::string ReadText(const std::filesystem::path& path);
// A build-tree path as the program sees it: under Wine the root is drive Z:.
std::string NativePath(std::string path);
// Runs the program with the arguments (each one argument, quoted as needed), standard
// output and error into outputFile; waits at most two minutes.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::filesystem::path& outputFile);

// A TI TXT image as address -> byte, and back.
std::map<uint32_t, uint8_t> ParseTiTxt(const std::string& text);
std::string WriteTiTxt(const std::map<uint32_t, uint8_t>& bytes);

// A fresh folder per test with a private settings file and a simulated chip's state file
// ($PYROLA_SIM_STATE), no simulated device or faults chosen, and the example image
// (examples/blink.txt) read. Variables named in `variables` are removed afterwards too.
class ProgramEndToEnd : public ::testing::Test {
protected:
    ProgramEndToEnd(std::string program, std::vector<std::string> variables);
    void SetUp() override;
    void TearDown() override;

    // Writes the bytes as a TI TXT file in the folder; its path as the program sees it.
    std::string ImageFile(const std::string& name, const std::map<uint32_t, uint8_t>& bytes);
    // A file of the given contents in the folder; its path as the program sees it.
    std::string AnyFile(const std::string& name, const std::string& contents);
    RunResult Run(const std::vector<std::string>& arguments);
    // The state file's bytes (file offset = address).
    std::vector<uint8_t> Chip() const;
    // Checks that main memory 0x1100-0xFFFF holds the image and is erased elsewhere.
    void ExpectMainMemoryHolds(const std::map<uint32_t, uint8_t>& image) const;

    std::string program_;
    std::vector<std::string> variables_;
    std::filesystem::path dir_;
    std::filesystem::path state_;
    std::map<uint32_t, uint8_t> example_;
    int runs_ = 0;
};

} // namespace pyrola::test
