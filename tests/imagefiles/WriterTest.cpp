#include "image/GapRemoval.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace pyrola {
namespace {

using testfiles::ClearedImage;
using testfiles::ReadFile;
using testfiles::TempDir;

class Writers : public ::testing::Test {
protected:
    std::string Write(FileFormat format) {
        const std::string path = dir.File("out");
        context.errorText = "stale";
        result = WriteImageFile(context, path, format);
        return ReadFile(path);
    }
    void Store(uint32_t start, uint32_t count, uint8_t first) {
        for (uint32_t i = 0; i < count; ++i)
            image.StoreByte(start + i, static_cast<uint8_t>(first + i));
    }

    TempDir dir;
    MemoryImage image = ClearedImage();
    ImageFileContext context{&image, {}};
    int32_t result = 0;
};

TEST_F(Writers, TwoBytesAtF000InEachFormat) {
    image.StoreByte(0xF000, 0x31);
    image.StoreByte(0xF001, 0x40);
    EXPECT_EQ(Write(FileFormat::IntelHex), ":02F0000031409D\r\n:00000001FF\r\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(context.errorText, "");
    EXPECT_EQ(Write(FileFormat::TiTxt), "@F000\r\n31 40\r\nq\r\n");
    EXPECT_EQ(result, 1);
    const std::string binary = Write(FileFormat::Binary);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(binary.size(), 0xF002u);
    EXPECT_EQ(binary.substr(0xF000), "\x31\x40");
    EXPECT_EQ(binary.find_first_not_of('\xFF'), 0xF000u);
}

TEST_F(Writers, BinaryHolesHoldTheGapByteTheyWereFilledWith) {
    image = ClearedImage(0x00);
    image.StoreByte(0x10, 0xAB);
    image.StoreByte(0x12, 0xCD);
    image.SetGapByte(0x77); // later changes do not touch cells already absent
    const std::string binary = Write(FileFormat::Binary);
    EXPECT_EQ(binary, std::string("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\xAB\0\xCD", 19));
}

TEST_F(Writers, RunsAreCutAt32And16Bytes) {
    Store(0x1000, 40, 0);
    const std::string hex = Write(FileFormat::IntelHex);
    EXPECT_EQ(hex.substr(0, 9), ":20100000");
    const size_t second = hex.find("\r\n") + 2;
    EXPECT_EQ(hex.substr(second, 9), ":08102000");
    EXPECT_EQ(hex.substr(hex.find("\r\n", second) + 2), ":00000001FF\r\n");

    EXPECT_EQ(Write(FileFormat::TiTxt), "@1000\r\n"
                                        "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n"
                                        "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\n"
                                        "20 21 22 23 24 25 26 27\r\n"
                                        "q\r\n");
}

TEST_F(Writers, EveryHoleStartsANewTiTxtAddressLine) {
    Store(0x000F, 1, 0xA0);
    Store(0x1000, 5, 0xB0);
    Store(0x1010, 16, 0xC0);
    EXPECT_EQ(Write(FileFormat::TiTxt), "@000F\r\nA0\r\n"
                                        "@1000\r\nB0 B1 B2 B3 B4\r\n"
                                        "@1010\r\nC0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CA CB CC CD CE CF\r\n"
                                        "q\r\n");
}

TEST_F(Writers, IntelHexAnnouncesEach64KiBPageAboveTheFirst) {
    Store(0xFFF0, 32, 0);    // crosses into page 1
    Store(0x30000, 2, 0x55); // page 3
    const std::string hex = Write(FileFormat::IntelHex);
    EXPECT_EQ(result, 1);
    // The run crossing 0x10000 is cut there, the page record comes before the rest.
    EXPECT_NE(hex.find(":10FFF000"), std::string::npos);
    const size_t page1 = hex.find(":020000040001F9\r\n:10000000");
    const size_t page3 = hex.find(":020000040003F7\r\n:020000005556");
    EXPECT_NE(page1, std::string::npos);
    EXPECT_NE(page3, std::string::npos);
    EXPECT_LT(page1, page3);
    // No page record at all for the first 64 KiB.
    MemoryImage low = ClearedImage();
    low.StoreByte(0x1234, 1);
    low.StoreByte(0xFFFF, 2);
    ImageFileContext lowContext{&low, {}};
    ASSERT_EQ(WriteImageFile(lowContext, dir.File("low.hex"), FileFormat::IntelHex), 1);
    EXPECT_EQ(ReadFile(dir.File("low.hex")).find(":02000004"), std::string::npos);
}

TEST_F(Writers, EmptyImageWritesOnlyTheEnds) {
    EXPECT_EQ(Write(FileFormat::IntelHex), ":00000001FF\r\n");
    EXPECT_EQ(Write(FileFormat::TiTxt), "q\r\n");
}

TEST_F(Writers, EveryFormatReadsBackToTheSameBytes) {
    std::mt19937 random(1234);
    for (int round = 0; round < 12; ++round) {
        // Rounds alternate between the first 64 KiB and the whole 20-bit space.
        const uint32_t limit = round % 2 ? 0x100000 : 0x10000;
        const MemoryImage original = testfiles::ImageOf(testfiles::RandomRuns(random, limit, 9, 300));
        for (FileFormat format : {FileFormat::IntelHex, FileFormat::TiTxt}) {
            ImageFileContext out{const_cast<MemoryImage*>(&original), {}};
            const std::string path = dir.File("round");
            ASSERT_EQ(WriteImageFile(out, path, format), 1);
            MemoryImage back = ClearedImage();
            ImageFileContext in{&back, {}};
            EXPECT_EQ(ReadImageFile(in, path, format), static_cast<int32_t>(original.Size())) << in.errorText;
            EXPECT_TRUE(testfiles::SamePresentBytes(original, back))
                << FileFormatName(format) << " round " << round;
        }
        // Binary has no holes: every address from 0 to high comes back present.
        ImageFileContext out{const_cast<MemoryImage*>(&original), {}};
        ASSERT_EQ(WriteImageFile(out, dir.File("round.bin"), FileFormat::Binary), 1);
        MemoryImage back = ClearedImage();
        ImageFileContext in{&back, {}};
        EXPECT_EQ(ReadImageFile(in, dir.File("round.bin"), FileFormat::Binary),
                  static_cast<int32_t>(original.High() + 1));
        for (uint32_t a = 0; a <= original.High(); ++a)
            ASSERT_EQ(back.CellAt(a), original.ValueAt(a)) << std::hex << a;
    }
}

TEST_F(Writers, OpenAndWriteFailuresAreReported) {
    for (FileFormat format : {FileFormat::IntelHex, FileFormat::TiTxt, FileFormat::Binary}) {
        context.errorText.clear();
        EXPECT_EQ(WriteImageFile(context, dir.File("no-such-folder/out"), format), 0);
        EXPECT_EQ(context.errorText, "Can't open");
    }
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to simulate a full disk";
    Store(0x1000, 40, 0);
    for (FileFormat format : {FileFormat::IntelHex, FileFormat::TiTxt, FileFormat::Binary}) {
        context.errorText.clear();
        EXPECT_EQ(WriteImageFile(context, "/dev/full", format), -1) << FileFormatName(format);
        EXPECT_EQ(context.errorText, "I\\O Error");
    }
}

class GapRemoval : public ::testing::Test {
protected:
    MemoryImage image = ClearedImage();
    void Fill(uint32_t start, uint32_t count, uint8_t value) {
        for (uint32_t i = 0; i < count; ++i)
            image.StoreByte(start + i, value);
    }
};

TEST_F(GapRemoval, BlocksOfGapBytesBecomeAbsentAndLowHighStay) {
    Fill(0x2000, 48, 0xFF);
    EXPECT_EQ(RemoveGap(image), 48u);
    for (uint32_t a = 0x2000; a < 0x2030; ++a)
        ASSERT_FALSE(image.IsPresent(a));
    EXPECT_EQ(image.Low(), 0x2000u);
    EXPECT_EQ(image.High(), 0x202Fu);
    TempDir dir;
    ImageFileContext context{&image, {}};
    ASSERT_EQ(WriteImageFile(context, dir.File("gap.hex"), FileFormat::IntelHex), 1);
    EXPECT_EQ(ReadFile(dir.File("gap.hex")), ":00000001FF\r\n");
}

TEST_F(GapRemoval, BlocksCountFromTheLowestLoadedAddress) {
    image.StoreByte(0x2008, 0x11);
    Fill(0x2010, 16, 0xFF); // straddles the blocks at 0x2008 and 0x2018
    image.StoreByte(0x2027, 0x22);
    EXPECT_EQ(RemoveGap(image), 0u);
    EXPECT_TRUE(image.IsPresent(0x2010));
    Fill(0x2018, 16, 0xFF); // completes the block at 0x2018; the one at 0x2008 holds 0x11
    EXPECT_EQ(RemoveGap(image), 16u);
    EXPECT_TRUE(image.IsPresent(0x2010));
    EXPECT_TRUE(image.IsPresent(0x2017));
    EXPECT_FALSE(image.IsPresent(0x2018));
    EXPECT_FALSE(image.IsPresent(0x2027));
}

TEST_F(GapRemoval, OneOtherByteKeepsItsBlock) {
    Fill(0x3000, 15, 0xFF);
    image.StoreByte(0x300F, 0x00);
    Fill(0x3010, 16, 0xFF);
    EXPECT_EQ(RemoveGap(image), 16u);
    EXPECT_TRUE(image.IsPresent(0x3000));
    EXPECT_TRUE(image.IsPresent(0x300F));
    EXPECT_FALSE(image.IsPresent(0x3010));
}

TEST_F(GapRemoval, UsesTheImageGapByteAndIgnoresVerifyMarks) {
    image = ClearedImage(0x00);
    Fill(0x4000, 16, 0x00);
    Fill(0x4010, 16, 0xFF);
    image.SetFlag(0x4000, 32, CellVerified);
    image.SetFlagAt(0x4001, CellError);
    EXPECT_EQ(RemoveGap(image), 16u);
    EXPECT_FALSE(image.IsPresent(0x4000));
    EXPECT_TRUE(image.IsPresent(0x4010));
    // Removal only adds the absent mark: the verification colours stay what they were.
    EXPECT_EQ(image.CellAt(0x4000), 0x00 | CellAbsent | CellVerified);
    EXPECT_EQ(image.CellAt(0x4001), 0x00 | CellAbsent | CellVerified | CellError);
    EXPECT_EQ(image.CellAt(0x4010), 0xFF | CellVerified);
}

TEST_F(GapRemoval, LastBlockPastTheEndOfTheCellsIsNeverRemoved) {
    Fill(0xFFF8, 8, 0xFF); // block 0xFFF8..0x10007 reaches past the 65,536 cells
    EXPECT_EQ(image.CellCount(), 0x10000u);
    EXPECT_EQ(RemoveGap(image), 0u);
    EXPECT_TRUE(image.IsPresent(0xFFF8));
    EXPECT_EQ(image.CellCount(), 0x10000u);
    MemoryImage empty = ClearedImage();
    EXPECT_EQ(RemoveGap(empty), 0u);
}

} // namespace
} // namespace pyrola
