#include "image/ImageReader.h"

#include "TestFiles.h"
#include "tests/support/ElfBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pyrola {
namespace {

using test::BuildElf;
using test::ElfSegment;
using testfiles::ClearedImage;
using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

std::vector<uint8_t> Bytes(uint32_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 13);
    return bytes;
}

class ElfReader : public ::testing::Test {
protected:
    int32_t Read(const std::string& bytes, const std::string& name = "in.elf",
                 FileFormat format = FileFormat::Elf) {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        context.errorText = "stale";
        return ReadImageFile(context, path, format);
    }
    uint32_t PresentCount() const {
        uint32_t count = 0;
        for (uint32_t a = 0; a < image.CellCount(); ++a)
            count += image.IsPresent(a);
        return count;
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
};

TEST_F(ElfReader, LoadableSegmentsLandAtTheirPhysicalAddressesAndNothingElse) {
    const std::vector<ElfSegment> segments = {
        {0x1100, Bytes(300, 1)},
        {0x0200, {}, 0x100},                               // BSS: no file bytes
        {0x1400, Bytes(40, 7), 0, test::kElfLoad, 0x0200}, // initialised data, copied to RAM
        {0x3000, Bytes(64, 9), 0, test::kElfNote},         // not loadable
        {0xFFE0, Bytes(32, 3)},
        {0x10000, Bytes(20, 5)}, // above 0xFFFF
    };
    EXPECT_EQ(Read(BuildElf(segments)), static_cast<int32_t>(0x10013 - 0x1100 + 1));
    EXPECT_EQ(context.errorText, "");
    EXPECT_FALSE(context.endRecordMissing);
    for (const ElfSegment& s : segments) {
        if (s.type != test::kElfLoad)
            continue;
        for (uint32_t i = 0; i < s.bytes.size(); ++i)
            ASSERT_EQ(image.CellAt(s.physicalAddress + i), s.bytes[i]) << std::hex << s.physicalAddress + i;
    }
    EXPECT_EQ(PresentCount(), 300u + 40 + 32 + 20);
    EXPECT_FALSE(image.IsPresent(0x0200)); // neither the BSS nor the data's RAM address
    EXPECT_FALSE(image.IsPresent(0x3000));
}

TEST_F(ElfReader, ARealLinkersFileGivesItsSectionsAtTheirLoadAddressesOnly) {
    // ld.lld put the ELF and program headers in a loadable segment at 0x0000 and the
    // data's segment at 0x0200 loaded from 0x112E (made as fuzz/CMakeLists.txt says).
    const std::string file = ReadFile(std::string(PYROLA_SOURCE_DIR) + "/fuzz/corpus/elf/lld-sections.elf");
    ASSERT_EQ(file.size(), 8964u);
    EXPECT_EQ(Read(file), static_cast<int32_t>(0xFFFF - 0x1100 + 1));
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(context.takenText, "Took 4 ELF sections, 50 bytes: .text 0x1100-0x1125, .rodata 0x1126-0x112D, "
                                 ".data 0x112E-0x112F (runs at 0x0200), .vectors 0xFFFE-0xFFFF");
    ASSERT_EQ(context.parts.size(), 4u);
    EXPECT_EQ(context.parts[2].name, ".data");
    EXPECT_EQ(PresentCount(), 50u);
    // Each section's bytes as they stand in the file (.text at offset 0x1100, .data at 0x1200).
    for (uint32_t i = 0; i < 0x26; ++i)
        ASSERT_EQ(image.CellAt(0x1100 + i), static_cast<uint8_t>(file[0x1100 + i])) << i;
    EXPECT_EQ(image.CellAt(0x112E), static_cast<uint8_t>(file[0x1200]));
    EXPECT_EQ(image.CellAt(0xFFFE), 0x00);
    EXPECT_EQ(image.CellAt(0xFFFF), 0x11);
    EXPECT_FALSE(image.IsPresent(0x0000)); // not the headers
    EXPECT_FALSE(image.IsPresent(0x0200)); // not the data's RAM address
    EXPECT_FALSE(image.IsPresent(0x1130)); // nor anything between sections
}

TEST_F(ElfReader, OtherClassesByteOrdersAndMachinesAreRefused) {
    const std::vector<ElfSegment> segments = {{0x1100, Bytes(16, 1)}};
    EXPECT_EQ(Read(BuildElf(segments, {2, 1, 105})), 0);
    EXPECT_EQ(context.errorText, "ELF file is not 32-bit");
    EXPECT_EQ(Read(BuildElf(segments, {1, 2, 105})), 0);
    EXPECT_EQ(context.errorText, "ELF file is not little-endian");
    EXPECT_EQ(Read(BuildElf(segments, {1, 1, 40})), 0);
    EXPECT_EQ(context.errorText, "ELF file is not for the MSP430 (machine 40)");
    EXPECT_EQ(PresentCount(), 0u);
    EXPECT_EQ(Read("@1000\r\n01 02\r\nq\r\n"), 0);
    EXPECT_EQ(context.errorText, "Not an ELF file");
}

TEST_F(ElfReader, SegmentsOutsideTheTwentyBitSpaceAreRefusedBeforeAnythingIsStored) {
    EXPECT_EQ(Read(BuildElf({{0x1100, Bytes(16, 1)}, {0xFFFF0, Bytes(32, 2)}})), 0);
    EXPECT_EQ(context.errorText, "ELF segment at 0xFFFF0 (32 bytes) lies outside 0x00000-0xFFFFF");
    EXPECT_EQ(PresentCount(), 0u);
    EXPECT_EQ(image.CellCount(), 0x10000u);
    EXPECT_EQ(Read(BuildElf({{0xFFFFFFF0, Bytes(32, 2)}})), 0); // no wrap-around to low memory
    EXPECT_EQ(context.errorText, "ELF segment at 0xFFFFFFF0 (32 bytes) lies outside 0x00000-0xFFFFF");
    // Right up to the top is fine.
    EXPECT_EQ(Read(BuildElf({{0xFFFF0, Bytes(16, 2)}, {0xF000, Bytes(2, 1)}})), 0xFFFFF - 0xF000 + 1);
}

TEST_F(ElfReader, ATruncatedFileIsRefusedWherEverItWasCut) {
    const std::string whole = BuildElf({{0x1100, Bytes(100, 1)}, {0xFFE0, Bytes(32, 3)}});
    const size_t dataEnd = 52 + 2 * 32 + 100 + 32;
    ASSERT_EQ(Read(whole), static_cast<int32_t>(0xFFFF - 0x1100 + 1));
    for (size_t length = 1; length < whole.size(); ++length) {
        const int32_t count = Read(whole.substr(0, length));
        if (length >= dataEnd) { // only the trailing bytes no segment covers are missing
            EXPECT_GT(count, 0) << length;
            continue;
        }
        EXPECT_EQ(count, 0) << length;
        EXPECT_EQ(context.errorText, length < 4 ? "Not an ELF file" : "ELF file is truncated") << length;
        ASSERT_EQ(PresentCount(), 0u) << length;
    }
}

TEST_F(ElfReader, FilesWithoutLoadableBytesOrWithADamagedTable) {
    EXPECT_EQ(Read(BuildElf({{0x0200, {}, 0x400}})), 0);
    EXPECT_EQ(context.errorText, "ELF file has no loadable bytes");
    EXPECT_EQ(Read(BuildElf({})), 0);
    EXPECT_EQ(context.errorText, "ELF file has no loadable bytes");
    std::string small = BuildElf({{0x1100, Bytes(16, 1)}});
    small[42] = 16; // program header entries shorter than the record
    EXPECT_EQ(Read(small), 0);
    EXPECT_EQ(context.errorText, "ELF program header table is damaged");
    std::string many = BuildElf({{0x1100, Bytes(16, 1)}});
    many[44] = '\xFF';
    many[45] = '\xFF';
    EXPECT_EQ(Read(many), 0);
    EXPECT_EQ(context.errorText, "ELF program header table is damaged");
}

TEST_F(ElfReader, AnElfFileIsReadAsElfWhateverItsNameOrTheChosenFormat) {
    const std::string elf = BuildElf({{0x1100, Bytes(16, 1)}, {0xFFFE, {0x00, 0x11}}});
    for (FileFormat format :
         {FileFormat::Binary, FileFormat::IntelHex, FileFormat::TiTxt, FileFormat::SRecord}) {
        EXPECT_EQ(Read(elf, "image.bin", format), 0xFFFF - 0x1100 + 1) << FileFormatName(format);
        EXPECT_EQ(image.CellAt(0x1100), 1);
        EXPECT_FALSE(image.IsPresent(0)); // not a byte of the file at address 0
    }
    EXPECT_EQ(EffectiveFileFormat(dir.File("image.bin"), FileFormat::Binary), FileFormat::Elf);
    WriteFile(dir.File("plain.bin"), std::string(1, '\x7F') + "EL");
    EXPECT_EQ(EffectiveFileFormat(dir.File("plain.bin"), FileFormat::Binary), FileFormat::Binary);
}

} // namespace
} // namespace pyrola
