#pragma once
// The image bytes a chip has no flash for. A byte that holds the erased value there is no
// data: a binary file covers every address from its start (Pyrola's own from 0, with the
// registers and RAM below the flash as erased bytes), and programming it could not change
// the chip. Such bytes are neither counted nor programmed; any other byte outside is.

#include "image/MemoryImage.h"
#include "image/MemoryRanges.h"

#include <cstdint>

namespace pyrola {

// What erased flash reads.
inline constexpr uint8_t kErasedByte = 0xFF;

struct BytesOutside {
    uint32_t count = 0; // 0: the image fits
    uint32_t first = 0; // lowest such address
};

// Present bytes outside the information and main flash of ranges, erased-value bytes left
// out.
BytesOutside FindBytesOutside(const MemoryImage& image, const MemoryRanges& ranges);

} // namespace pyrola
