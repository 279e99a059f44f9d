#include "image/ImageRunCursor.h"

namespace pyrola {

ImageRunCursor::ImageRunCursor(const MemoryImage& image, uint32_t windowStart, uint32_t windowEnd,
                               uint32_t runLength, bool collect, std::optional<MemoryRanges> ranges)
    : current_(windowStart), windowEnd_(windowEnd),
      buffer_(static_cast<size_t>(runLength ? runLength : 1) + 1, 0), collect_(collect), ranges_(ranges),
      image_(&image), finished_(windowStart > windowEnd) {}

bool ImageRunCursor::InRange(uint32_t address) const {
    return !ranges_ || ranges_->InFlash(address);
}

bool ImageRunCursor::NextRun(uint32_t& runStart, uint32_t& runLength) {
    const uint32_t limit = BufferLength();
    uint32_t length = 0;
    uint32_t start = current_;
    while (!finished_) {
        bool complete = false;
        const uint32_t address = current_;
        const ImageCell cell = image_->CellAt(address);
        if (InRange(address) && (cell & CellAbsent) == 0) {
            if (length == 0)
                start = address;
            if (collect_)
                buffer_[length] = static_cast<uint8_t>(cell & CellValueMask);
            ++length;
            complete = length >= limit;
        } else {
            complete = true;
        }
        if (address >= windowEnd_) {
            complete = true;
            finished_ = true; // also guards against wrap-around at 0xFFFFFFFF
        } else {
            current_ = address + 1;
        }
        if (complete && length > 0) {
            runStart = start;
            runLength = length;
            return true;
        }
    }
    return false;
}

bool ImageRunCursor::GiveBackLastByte() {
    if (finished_ || current_ == 0)
        return false;
    --current_;
    return true;
}

} // namespace pyrola
