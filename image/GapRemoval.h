#pragma once
// Thins the image before a save: 16-byte blocks, counted from the lowest loaded
// address, that hold nothing but present gap bytes become absent.

#include "image/MemoryImage.h"

#include <cstdint>

namespace pyrola {

// Returns the number of bytes marked absent. low and high stay as they were.
uint32_t RemoveGap(MemoryImage& image);

} // namespace pyrola
