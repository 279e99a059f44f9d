#pragma once
// Walks a window of the image in runs of present bytes, cut at holes, at the ends of
// the chip's memory ranges (when they are given) and at the buffer length.

#include "image/MemoryImage.h"
#include "image/MemoryRanges.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pyrola {

class ImageRunCursor {
public:
    // windowEnd is inclusive. Without ranges every address is in range.
    ImageRunCursor(const MemoryImage& image, uint32_t windowStart, uint32_t windowEnd, uint32_t runLength,
                   bool collect, std::optional<MemoryRanges> ranges);

    // Yields the next run; false at the end of the walk.
    bool NextRun(uint32_t& runStart, uint32_t& runLength);

    // Hands the last byte of the run just yielded back to the walk: the next run starts
    // with it. False (nothing handed back) at the end of the walk.
    bool GiveBackLastByte();

    // The bytes of the last run (valid when collecting).
    const uint8_t* Data() const { return buffer_.data(); }
    uint8_t* Data() { return buffer_.data(); }
    uint32_t BufferLength() const { return static_cast<uint32_t>(buffer_.size()) - 1; }

private:
    bool InRange(uint32_t address) const;

    uint32_t current_;
    uint32_t windowEnd_;
    std::vector<uint8_t> buffer_; // one spare byte: adapters may touch count + 1 on odd counts
    bool collect_;
    std::optional<MemoryRanges> ranges_;
    const MemoryImage* image_;
    bool finished_ = false;
};

} // namespace pyrola
