#include "image/MemoryImage.h"
#include "image/ImageRunCursor.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace pyrola {
namespace {

MemoryImage Cleared() {
    MemoryImage image;
    image.Clear();
    return image;
}

TEST(MemoryImage, ClearedImageIsEmptyAndAbsent) {
    MemoryImage image = Cleared();
    EXPECT_EQ(image.Size(), 0u);
    EXPECT_EQ(image.Low(), 0xFFFFFFu);
    EXPECT_EQ(image.High(), 0u);
    EXPECT_EQ(image.CellCount(), 0x10000u);
    EXPECT_EQ(image.CellAt(0), 0xFF | CellAbsent);
    EXPECT_EQ(image.CellAt(0xFFFF), 0xFF | CellAbsent);
}

TEST(MemoryImage, SizeIsASpanAndOneByteHasSizeZero) {
    MemoryImage image = Cleared();
    image.StoreByte(0x1000, 0x12);
    EXPECT_EQ(image.Low(), 0x1000u);
    EXPECT_EQ(image.High(), 0x1000u);
    EXPECT_EQ(image.Size(), 0u);
    image.StoreByte(0x10FF, 0x34);
    EXPECT_EQ(image.Size(), 256u);
    EXPECT_EQ(image.CellAt(0x1000), 0x12);
    EXPECT_EQ(image.CellAt(0x1001), 0xFF | CellAbsent);
}

TEST(MemoryImage, StoreClearsEveryMark) {
    MemoryImage image = Cleared();
    image.SetFlag(0x2000, 4, CellError | CellVerified);
    image.StoreByte(0x2001, 0x00);
    EXPECT_EQ(image.CellAt(0x2001), 0x00);
    EXPECT_EQ(image.CellAt(0x2000), 0xFF | CellAbsent | CellError | CellVerified);
}

TEST(MemoryImage, GrowsPastSixtyFourKiBAndShrinksOnClear) {
    MemoryImage image = Cleared();
    image.SetGapByte(0x00);
    image.StoreByte(0x12345, 0xAB);
    EXPECT_EQ(image.CellCount(), 0x12345u + 256u);
    EXPECT_EQ(image.CellAt(0x12345), 0xAB);
    EXPECT_EQ(image.CellAt(0x12000), 0x00 | CellAbsent); // new cells take the current gap byte
    EXPECT_EQ(image.CellAt(0xFFFF), 0xFF | CellAbsent);  // old cells keep theirs
    EXPECT_EQ(image.CellAt(0x20000), 0x00);              // past the end: present gap byte
    image.Clear();
    EXPECT_EQ(image.CellCount(), 0x10000u);
    EXPECT_EQ(image.Size(), 0u);
}

TEST(MemoryImage, ClearFlagsKeepsValuesAndAbsence) {
    MemoryImage image = Cleared();
    image.StoreByte(0x10, 0x5A);
    image.SetFlagAt(0x10, CellVerified);
    image.SetFlagAt(0x11, CellError);
    image.ClearFlags(CellVerified | CellError);
    EXPECT_EQ(image.CellAt(0x10), 0x5A);
    EXPECT_EQ(image.CellAt(0x11), 0xFF | CellAbsent);
}

std::vector<std::pair<uint32_t, uint32_t>> Runs(ImageRunCursor& cursor) {
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    uint32_t start = 0, length = 0;
    while (cursor.NextRun(start, length))
        runs.emplace_back(start, length);
    return runs;
}

TEST(ImageRunCursor, CutsLongRunsAtTheBufferLength) {
    MemoryImage image = Cleared();
    for (uint32_t a = 0x100; a < 0x100 + 40; ++a)
        image.StoreByte(a, static_cast<uint8_t>(a));
    ImageRunCursor cursor(image, 0, 0xFFFF, 32, true, std::nullopt);
    uint32_t start = 0, length = 0;
    ASSERT_TRUE(cursor.NextRun(start, length));
    EXPECT_EQ(start, 0x100u);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(cursor.Data()[0], 0x00);
    EXPECT_EQ(cursor.Data()[31], 0x1F);
    ASSERT_TRUE(cursor.NextRun(start, length));
    EXPECT_EQ(start, 0x120u);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(cursor.Data()[0], 0x20);
    EXPECT_FALSE(cursor.NextRun(start, length));
}

TEST(ImageRunCursor, AGivenBackByteStartsTheNextRun) {
    MemoryImage image = Cleared();
    for (uint32_t a = 0x101; a <= 0x128; ++a)
        image.StoreByte(a, static_cast<uint8_t>(a));
    ImageRunCursor cursor(image, 0, 0x128, 32, false, std::nullopt);
    std::vector<std::pair<uint32_t, uint32_t>> runs;
    for (uint32_t start = 0, length = 0; cursor.NextRun(start, length);) {
        runs.emplace_back(start, length);
        // Every full run hands its last byte on; at the end of the walk nothing can be.
        EXPECT_EQ(cursor.GiveBackLastByte(), length == 32);
    }
    EXPECT_EQ(runs, (std::vector<std::pair<uint32_t, uint32_t>>{{0x101u, 32u}, {0x120u, 9u}}));
}

TEST(ImageRunCursor, HolesAndDeviceRangesEndRuns) {
    MemoryImage image = Cleared();
    for (uint32_t a = 0x10F0; a < 0x1110; ++a)
        image.StoreByte(a, 1);
    image.MarkAbsent(0x10F4);
    MemoryRanges ranges;
    ranges.infoStart = 0x1000;
    ranges.infoEnd = 0x10FF;
    ranges.mainStart = 0x1108;
    ranges.mainEnd = 0xFFFF;
    ImageRunCursor cursor(image, 0x1000, 0xFFFF, 1024, false, ranges);
    auto runs = Runs(cursor);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], std::make_pair(0x10F0u, 4u));
    EXPECT_EQ(runs[1], std::make_pair(0x10F5u, 11u));
    EXPECT_EQ(runs[2], std::make_pair(0x1108u, 8u));
}

TEST(ImageRunCursor, WindowEndIsInclusiveAndSafeAtTheTop) {
    MemoryImage image = Cleared();
    image.StoreByte(0xFFFE, 1);
    image.StoreByte(0xFFFF, 2);
    ImageRunCursor cursor(image, 0xFFF0, 0xFFFF, 16, true, std::nullopt);
    auto runs = Runs(cursor);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], std::make_pair(0xFFFEu, 2u));

    ImageRunCursor top(image, 0xFFFFFFFEu, 0xFFFFFFFFu, 16, false, std::nullopt);
    auto topRuns = Runs(top); // past the cells every address reads as a present gap byte
    ASSERT_EQ(topRuns.size(), 1u);
    EXPECT_EQ(topRuns[0], std::make_pair(0xFFFFFFFEu, 2u)); // and the walk ends without wrapping
}

} // namespace
} // namespace pyrola
