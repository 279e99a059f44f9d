#include "image/GapRemoval.h"

namespace pyrola {

uint32_t RemoveGap(MemoryImage& image) {
    constexpr uint32_t kBlock = 16;
    const uint8_t gap = image.GapByte();
    uint32_t count = 0;
    // 64-bit block starts: no wrap-around even for a high address near the top.
    for (uint64_t block = image.Low(); block <= image.High(); block += kBlock) {
        bool removable = true;
        for (uint64_t a = block; a < block + kBlock; ++a) {
            // Cells past the end count as absent: CellAt would report them as present.
            if (a >= image.CellCount()) {
                removable = false;
                break;
            }
            // Verify marks do not matter: a present gap byte is removable either way.
            const ImageCell cell = image.CellAt(static_cast<uint32_t>(a));
            if ((cell & CellAbsent) != 0 || (cell & CellValueMask) != gap) {
                removable = false;
                break;
            }
        }
        if (!removable)
            continue;
        for (uint64_t a = block; a < block + kBlock; ++a)
            image.MarkAbsent(static_cast<uint32_t>(a));
        count += kBlock;
    }
    return count;
}

} // namespace pyrola
