// The toolchains' formats through the headless programmer: an ELF executable (also under
// a binary file's name) and a Motorola S-record file program the simulated chip exactly.
#include "FetEndToEnd.h"
#include "tests/support/ElfBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace pyrola::e2e {
namespace {

// The image's contiguous runs, as a linker would lay out its segments.
std::vector<test::ElfSegment> Segments(const std::map<uint32_t, uint8_t>& bytes) {
    std::vector<test::ElfSegment> segments;
    uint32_t next = 0xFFFFFFFF;
    for (const auto& [address, value] : bytes) {
        if (address != next)
            segments.push_back({address, {}});
        segments.back().bytes.push_back(value);
        next = address + 1;
    }
    return segments;
}

// S19 text written here from the record layout: a header, S1 records of up to 16 bytes,
// the record count and the termination record.
std::string WriteS19(const std::map<uint32_t, uint8_t>& bytes) {
    auto record = [](char type, uint32_t address, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> body = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        body.insert(body.end(), data.begin(), data.end());
        uint32_t sum = static_cast<uint32_t>(body.size() + 1);
        char text[8];
        std::snprintf(text, sizeof text, "S%c%02X", type, static_cast<unsigned>(body.size() + 1));
        std::string line = text;
        for (uint8_t b : body) {
            std::snprintf(text, sizeof text, "%02X", b);
            line += text;
            sum += b;
        }
        std::snprintf(text, sizeof text, "%02X\r\n", ~sum & 0xFFu);
        return line + text;
    };
    std::string file = record('0', 0, {'b', 'l', 'i', 'n', 'k'});
    uint32_t records = 0;
    for (const test::ElfSegment& run : Segments(bytes)) {
        for (size_t at = 0; at < run.bytes.size(); at += 16) {
            const size_t length = std::min<size_t>(16, run.bytes.size() - at);
            file += record('1', run.physicalAddress + static_cast<uint32_t>(at),
                           std::vector<uint8_t>(run.bytes.begin() + static_cast<long>(at),
                                                run.bytes.begin() + static_cast<long>(at + length)));
            ++records;
        }
    }
    return file + record('5', records, {}) + record('9', 0x1100, {});
}

// Another image of the same addresses, so that each run has to change the chip.
std::map<uint32_t, uint8_t> Varied(const std::map<uint32_t, uint8_t>& bytes, uint8_t mask) {
    std::map<uint32_t, uint8_t> varied = bytes;
    for (auto& entry : varied)
        entry.second ^= mask;
    return varied;
}

class ImageFormatsEndToEnd : public FetEndToEnd {
protected:
    // Main memory holds exactly bytes, erased flash elsewhere.
    void ExpectChipHolds(const std::map<uint32_t, uint8_t>& bytes, const std::string& what) {
        const std::vector<uint8_t> chip = Chip();
        ASSERT_GE(chip.size(), 0x10000u) << what;
        for (uint32_t a = 0x1100; a <= 0xFFFF; ++a) {
            const auto it = bytes.find(a);
            ASSERT_EQ(chip[a], it == bytes.end() ? 0xFF : it->second) << what << " at " << std::hex << a;
        }
    }
    void ExpectProgrammed(const RunResult& run, const std::string& loading) {
        EXPECT_EQ(run.status, 0) << run.output;
        for (const std::string& line :
             {loading, std::string("->Program complete."), std::string("->Verify complete.")})
            EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
        EXPECT_EQ(run.output.find("Warning"), std::string::npos) << run.output;
    }
};

TEST_F(ImageFormatsEndToEnd, ElfAndSRecordFilesProgramTheChipByteExact) {
    // The linker's picture: the code and constants in flash, a BSS segment and the data's
    // RAM copy that must not be programmed, and a note that is no part of the image.
    std::vector<test::ElfSegment> segments = Segments(example_);
    ASSERT_GE(segments.size(), 2u);
    segments.back().virtualAddress = 0x0200; // loaded in flash, run from RAM
    segments.push_back({0x0300, {}, 0x100});
    segments.push_back({0x2000, {1, 2, 3, 4}, 0, test::kElfNote});
    const std::string elf = AnyFile("image.elf", test::BuildElf(segments));
    RunResult run = Run({"-fet", "+ebpv", elf});
    ExpectProgrammed(run, "->Loading ELF file \"image.elf\"..");
    ExpectChipHolds(example_, "image.elf");

    const auto s19Bytes = Varied(example_, 0x5A);
    run = Run({"-fet", "+ebpv", AnyFile("image.s19", WriteS19(s19Bytes))});
    ExpectProgrammed(run, "->Loading Motorola S-record file \"image.s19\"..");
    ExpectChipHolds(s19Bytes, "image.s19");

    // An executable under a binary file's name is still read as one, not as raw bytes.
    const auto renamedBytes = Varied(example_, 0x0F);
    run = Run({"-fet", "+ebpv", AnyFile("image.bin", test::BuildElf(Segments(renamedBytes)))});
    ExpectProgrammed(run, "->Loading ELF file \"image.bin\"..");
    ExpectChipHolds(renamedBytes, "image.bin");
}

TEST_F(ImageFormatsEndToEnd, AnElfForAnotherMachineIsRefusedAndNothingRuns) {
    const std::string elf = AnyFile("arm.elf", test::BuildElf(Segments(example_), {1, 1, 40}));
    const RunResult run = Run({"-fet", "+ebpv", elf});
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("->Load failed. ELF file is not for the MSP430 (machine 40)"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("->Erase"), std::string::npos) << run.output;
}

} // namespace
} // namespace pyrola::e2e
