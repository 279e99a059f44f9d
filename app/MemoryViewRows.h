#pragma once
// What the memory view shows: how many rows of 16 bytes an image gives and where they
// start, which row a scroll target falls in, and one row's address, byte cells (value and
// colour by the cell's marks) and text column. The window only paints this.

#include "app/ViewColours.h"
#include "image/MemoryImage.h"

#include <array>
#include <cstdint>
#include <string>

namespace pyrola {

inline constexpr uint32_t kMemoryRowBytes = 16;

struct MemoryViewExtent {
    uint32_t rowCount = 0;
    uint32_t firstAddress = 0; // rows start exactly here, not at a multiple of 16
};

// ((high - low + 1) + 15) / 16 rows from the low address when low < high; otherwise no
// rows from address 0 (an empty image, or a single byte).
MemoryViewExtent MemoryViewExtentOf(const MemoryImage& image);
// The row that shows address; an address below the first one gives row 0.
uint32_t MemoryViewRowOf(const MemoryViewExtent& extent, uint32_t address);

// The colour of one cell, by its marks in this order: error, absent, verified, plain.
Rgb CellColour(ImageCell cell);
// The text column's character for a byte: "." below 32, the byte itself otherwise.
char CellCharacter(uint8_t value);

struct MemoryCellView {
    uint8_t value = 0;
    Rgb colour;
};

struct MemoryRowView {
    uint32_t address = 0;
    std::string addressText; // four upper-case hex digits and two blanks: "1100  "
    std::array<MemoryCellView, kMemoryRowBytes> cells{};
    std::string text; // a blank and the sixteen characters
};

// Row `row` from firstAddress. Cells past the image's cells read as its gap byte without
// marks.
MemoryRowView MemoryViewRow(const MemoryImage& image, uint32_t firstAddress, uint32_t row);
// A cell as drawn: two upper-case hex digits and a blank.
std::string CellText(uint8_t value);

} // namespace pyrola
