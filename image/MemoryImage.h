#pragma once
// The one picture of target memory: a 16-bit cell per byte address holding the byte
// and marks, so an address where nothing was loaded differs from every byte value.

#include <cstdint>
#include <vector>

namespace pyrola {

using ImageCell = uint16_t;

inline constexpr ImageCell CellValueMask = 0x00FF;
inline constexpr ImageCell CellAbsent = 0x100;
inline constexpr ImageCell CellVerified = 0x200;
inline constexpr ImageCell CellError = 0x400;
inline constexpr ImageCell CellFlagMask = CellAbsent | CellVerified | CellError;

inline constexpr uint32_t kImageBaseCells = 0x10000;
inline constexpr uint32_t kImageEmptyLow = 0xFFFFFF;
// Growth past the highest stored address comes in this step.
inline constexpr uint32_t kImageGrowthSlack = 256;

class MemoryImage {
public:
    MemoryImage() = default;

    // Exactly 65,536 cells, all absent gap bytes; low/high back to the empty state.
    void Clear();
    void StoreByte(uint32_t address, uint8_t byte);
    // Past the last cell: the gap byte with no flags.
    ImageCell CellAt(uint32_t address) const {
        return address < cells_.size() ? cells_[address] : ImageCell(gapByte_);
    }
    uint8_t ValueAt(uint32_t address) const { return static_cast<uint8_t>(CellAt(address) & CellValueMask); }
    bool IsPresent(uint32_t address) const { return (CellAt(address) & CellAbsent) == 0; }

    // A span, not a count: high - low + 1 when low < high, else 0.
    uint32_t Size() const { return low_ < high_ ? high_ - low_ + 1 : 0; }
    // No byte stored since the last clear. One byte is an image (size 0 notwithstanding).
    bool IsEmpty() const { return low_ > high_; }
    // The bytes present between low and high: what was loaded, holes left out.
    uint32_t PresentCount() const;
    uint32_t Low() const { return low_; }
    uint32_t High() const { return high_; }
    uint32_t CellCount() const { return static_cast<uint32_t>(cells_.size()); }

    uint8_t GapByte() const { return gapByte_; }
    void SetGapByte(uint8_t gap) { gapByte_ = gap; }

    // Flag operations used by the jobs.
    void ClearFlags(ImageCell flags);
    void SetFlag(uint32_t first, uint32_t count, ImageCell flag);
    void SetFlagAt(uint32_t address, ImageCell flag);
    // Sets the absent mark of a cell (gap removal), keeping its value and its other
    // marks; low/high stay as they are.
    void MarkAbsent(uint32_t address);

private:
    std::vector<ImageCell> cells_;
    uint32_t low_ = kImageEmptyLow;
    uint32_t high_ = 0;
    uint8_t gapByte_ = 0xFF;
};

} // namespace pyrola
