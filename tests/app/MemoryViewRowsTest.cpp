// The memory view's rows, as the window paints them.
#include "app/MemoryViewRows.h"

#include <gtest/gtest.h>

namespace pyrola {
namespace {

MemoryImage ImageWith(uint32_t first, uint32_t last, uint8_t value = 0x41) {
    MemoryImage image;
    image.Clear();
    for (uint32_t a = first; a <= last; ++a)
        image.StoreByte(a, value);
    return image;
}

TEST(MemoryViewRows, RowCountAndFirstAddressFollowTheLoadedSpan) {
    MemoryImage empty;
    empty.Clear();
    MemoryViewExtent e = MemoryViewExtentOf(empty);
    EXPECT_EQ(e.rowCount, 0u);
    EXPECT_EQ(e.firstAddress, 0u);

    e = MemoryViewExtentOf(ImageWith(0x1100, 0xFFFF));
    EXPECT_EQ(e.rowCount, 3824u);
    EXPECT_EQ(e.firstAddress, 0x1100u);

    // One byte: low equals high, which shows nothing.
    e = MemoryViewExtentOf(ImageWith(0x2000, 0x2000));
    EXPECT_EQ(e.rowCount, 0u);
    EXPECT_EQ(e.firstAddress, 0u);

    // Rows start at the low address itself and a partial last row counts.
    e = MemoryViewExtentOf(ImageWith(0x1003, 0x1013));
    EXPECT_EQ(e.firstAddress, 0x1003u);
    EXPECT_EQ(e.rowCount, 2u);
    EXPECT_EQ(MemoryViewExtentOf(ImageWith(0x1000, 0x100F)).rowCount, 1u);
    EXPECT_EQ(MemoryViewExtentOf(ImageWith(0x1000, 0x1010)).rowCount, 2u);
}

TEST(MemoryViewRows, ScrollTargetPicksItsRowAndBelowTheFirstAddressRowZero) {
    const MemoryViewExtent e{3824, 0x1100};
    EXPECT_EQ(MemoryViewRowOf(e, 0x0200), 0u);
    EXPECT_EQ(MemoryViewRowOf(e, 0x1100), 0u);
    EXPECT_EQ(MemoryViewRowOf(e, 0x110F), 0u);
    EXPECT_EQ(MemoryViewRowOf(e, 0x1110), 1u);
    EXPECT_EQ(MemoryViewRowOf(e, 0xFFFF), 3823u);
}

TEST(MemoryViewRows, CellColourFollowsTheMarksInOrder) {
    EXPECT_EQ(CellColour(0x5A), kPlainCellColour);
    EXPECT_EQ(CellColour(0x5A | CellVerified), kVerifiedCellColour);
    EXPECT_EQ(CellColour(0x5A | CellAbsent), kAbsentCellColour);
    EXPECT_EQ(CellColour(0x5A | CellAbsent | CellVerified), kAbsentCellColour);
    EXPECT_EQ(CellColour(0x5A | CellError | CellVerified), kErrorCellColour);
    EXPECT_EQ(CellColour(0x5A | CellError | CellAbsent), kErrorCellColour);
    EXPECT_EQ(kErrorCellColour, (Rgb{128, 0, 0}));
    EXPECT_EQ(kVerifiedCellColour, (Rgb{0, 128, 0}));
}

TEST(MemoryViewRows, TextColumnShowsControlBytesAsDots) {
    for (int b = 0; b < 32; ++b)
        EXPECT_EQ(CellCharacter(static_cast<uint8_t>(b)), '.') << b;
    EXPECT_EQ(CellCharacter(' '), ' ');
    EXPECT_EQ(CellCharacter('A'), 'A');
    EXPECT_EQ(static_cast<uint8_t>(CellCharacter(0x7F)), 0x7F);
    EXPECT_EQ(static_cast<uint8_t>(CellCharacter(0xFF)), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(CellCharacter(0x80)), 0x80);
}

TEST(MemoryViewRows, OneRowAsDrawn) {
    MemoryImage image;
    image.Clear();
    image.SetGapByte(0xFF);
    const uint8_t bytes[] = {0x00, 0x1F, 0x20, 'H', 'i', 0x7F, 0x80, 0xFF};
    for (uint32_t i = 0; i < sizeof bytes; ++i)
        image.StoreByte(0x1103 + i, bytes[i]);
    image.SetFlag(0x1103, 4, CellVerified);
    image.SetFlagAt(0x1104, CellError);

    const MemoryRowView row = MemoryViewRow(image, 0x1103, 0);
    EXPECT_EQ(row.address, 0x1103u);
    EXPECT_EQ(row.addressText, "1103  ");
    EXPECT_EQ(row.cells[0].value, 0x00);
    EXPECT_EQ(row.cells[0].colour, kVerifiedCellColour);
    EXPECT_EQ(row.cells[1].colour, kErrorCellColour);
    EXPECT_EQ(row.cells[4].colour, kPlainCellColour);
    EXPECT_EQ(row.cells[8].colour, kAbsentCellColour); // nothing loaded there
    EXPECT_EQ(row.cells[8].value, 0xFF);
    EXPECT_EQ(row.text, std::string(" .. Hi\x7F\x80\xFF") + std::string(8, '\xFF'));
    EXPECT_EQ(row.text.size(), 17u);
    EXPECT_EQ(CellText(0x0A), "0A ");
    EXPECT_EQ(CellText(0xFF), "FF ");

    // The second row starts 16 bytes further on, not at a multiple of 16.
    EXPECT_EQ(MemoryViewRow(image, 0x1103, 1).addressText, "1113  ");
}

TEST(MemoryViewRows, CellsPastTheImageReadAsTheGapByteWithoutMarks) {
    MemoryImage image;
    image.Clear();
    image.SetGapByte(0x5A);
    image.StoreByte(0xFFF8, 0x01);
    image.StoreByte(0xFFFF, 0x02);
    const MemoryRowView row = MemoryViewRow(image, 0xFFF8, 0);
    EXPECT_EQ(row.cells[7].value, 0x02);
    for (uint32_t i = 8; i < kMemoryRowBytes; ++i) {
        EXPECT_EQ(row.cells[i].value, 0x5A) << i;
        EXPECT_EQ(row.cells[i].colour, kPlainCellColour) << i;
    }
    // Cells inside the image that were never loaded are absent ones: grey.
    EXPECT_EQ(row.cells[1].colour, kAbsentCellColour);
}

} // namespace
} // namespace pyrola
