#include "image/MemoryImage.h"

#include <algorithm>

namespace pyrola {

void MemoryImage::Clear() {
    cells_.assign(kImageBaseCells, static_cast<ImageCell>(gapByte_ | CellAbsent));
    cells_.shrink_to_fit();
    low_ = kImageEmptyLow;
    high_ = 0;
}

void MemoryImage::StoreByte(uint32_t address, uint8_t byte) {
    if (address >= cells_.size())
        cells_.resize(static_cast<size_t>(address) + kImageGrowthSlack,
                      static_cast<ImageCell>(gapByte_ | CellAbsent));
    if (address > high_)
        high_ = address;
    if (address < low_)
        low_ = address;
    cells_[address] = byte;
}

uint32_t MemoryImage::PresentCount() const {
    uint32_t count = 0;
    for (uint32_t address = low_; address <= high_ && address < cells_.size(); ++address)
        count += (cells_[address] & CellAbsent) == 0 ? 1 : 0;
    return count;
}

void MemoryImage::ClearFlags(ImageCell flags) {
    const ImageCell keep = static_cast<ImageCell>(~flags);
    for (ImageCell& cell : cells_)
        cell &= keep;
}

void MemoryImage::SetFlag(uint32_t first, uint32_t count, ImageCell flag) {
    if (first >= cells_.size())
        return;
    const size_t end = std::min<size_t>(cells_.size(), static_cast<size_t>(first) + count);
    for (size_t a = first; a < end; ++a)
        cells_[a] |= flag;
}

void MemoryImage::SetFlagAt(uint32_t address, ImageCell flag) {
    if (address < cells_.size())
        cells_[address] |= flag;
}

void MemoryImage::MarkAbsent(uint32_t address) {
    if (address < cells_.size())
        cells_[address] |= CellAbsent;
}

} // namespace pyrola
