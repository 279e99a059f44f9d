#include "image/BytesOutside.h"

#include <algorithm>

namespace pyrola {

BytesOutside FindBytesOutside(const MemoryImage& image, const MemoryRanges& ranges) {
    BytesOutside outside;
    if (image.IsEmpty())
        return outside;
    const uint32_t last = std::min<uint32_t>(image.High(), image.CellCount() - 1);
    for (uint32_t address = image.Low(); address <= last; ++address) {
        const ImageCell cell = image.CellAt(address);
        if ((cell & CellAbsent) || (cell & CellValueMask) == kErasedByte || ranges.InFlash(address))
            continue;
        if (outside.count++ == 0)
            outside.first = address;
    }
    return outside;
}

} // namespace pyrola
