#include "image/ImageReader.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::TempDir;
using testfiles::WriteFile;

class BinaryReader : public ::testing::Test {
protected:
    int32_t Read(const std::string& bytes) {
        const std::string path = dir.File("in.bin");
        WriteFile(path, bytes);
        context.errorText = "stale";
        return ReadImageFile(context, path, FileFormat::Binary);
    }
    static std::string Pattern(size_t length) {
        std::string bytes(length, '\0');
        for (size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
        return bytes;
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
};

TEST_F(BinaryReader, EveryByteIsPresentFromAddressZero) {
    std::string bytes = Pattern(100);
    bytes[50] = static_cast<char>(0xFF); // gap-byte values are present too
    EXPECT_EQ(Read(bytes), 100);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.Low(), 0u);
    EXPECT_EQ(image.High(), 99u);
    for (uint32_t a = 0; a < 100; ++a)
        ASSERT_EQ(image.CellAt(a), static_cast<uint8_t>(bytes[a])) << a;
    EXPECT_FALSE(image.IsPresent(100));
}

TEST_F(BinaryReader, OneByteLoadsAndNoneIsNoLoadWithoutReason) {
    // A one-byte patch is an image: count 1 though its span is 0.
    EXPECT_EQ(Read("A"), 1);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(image.CellAt(0), 'A');
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(context.errorText, "");
    EXPECT_TRUE(image.IsEmpty());
}

TEST_F(BinaryReader, ABaseMovesTheFileAndKeepsItInsideTheAddressSpace) {
    context.binaryBase = 0x1100;
    EXPECT_EQ(Read(std::string("\x31\x40\x00\x03", 4)), 4);
    EXPECT_EQ(image.Low(), 0x1100u);
    EXPECT_EQ(image.High(), 0x1103u);
    EXPECT_EQ(image.CellAt(0x1100), 0x31);
    EXPECT_EQ(image.CellAt(0x1103), 0x03);
    EXPECT_FALSE(image.IsPresent(0x10FF));
    // A file that would reach past 0xFFFFF from its base is refused, not cut.
    context.binaryBase = 0xFFFFE;
    EXPECT_EQ(Read("abc"), 0);
    EXPECT_EQ(context.errorText, "Binary file at 0xFFFFE reaches past 0xFFFFF");
}

TEST_F(BinaryReader, FilesPast64KiBGrowTheImageUpTo1MiB) {
    const std::string big = Pattern(0x100000);
    EXPECT_EQ(Read(big.substr(0, 0x12345)), 0x12345);
    EXPECT_EQ(image.CellAt(0x12344), static_cast<uint8_t>(big[0x12344]));
    EXPECT_EQ(Read(big), 0x100000);
    EXPECT_EQ(image.CellAt(0xFFFFF), static_cast<uint8_t>(big[0xFFFFF]));
}

TEST_F(BinaryReader, FilesPast1MiBAreRefusedKeepingTheFirstMiB) {
    const std::string big = Pattern(0x100001);
    EXPECT_EQ(Read(big), 0);
    EXPECT_EQ(context.errorText, "File larger than 1 MiB");
    EXPECT_EQ(image.High(), 0xFFFFFu);
    EXPECT_LE(image.CellCount(), 0x100000u + 256);
}

TEST_F(BinaryReader, MissingFileCannotBeOpened) {
    EXPECT_EQ(ReadImageFile(context, dir.File("absent.bin"), FileFormat::Binary), 0);
    EXPECT_EQ(context.errorText, "Can't open");
}

} // namespace
} // namespace pyrola
