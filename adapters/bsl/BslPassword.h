#pragma once
// The loader's password: the 32 bytes of the interrupt vector table, 0xFFE0-0xFFFF.

#include "adapters/bsl/BslProtocol.h"

#include <array>
#include <cstdint>

namespace pyrola {

class MemoryImage;

using BslPassword = std::array<uint8_t, kBslPasswordLength>;

// The vector table of an erased device: 32 bytes of 0xFF.
inline constexpr BslPassword kBslErasedPassword = [] {
    BslPassword p{};
    p.fill(0xFF);
    return p;
}();

// The password of a chip programmed from the image: its vector table when the image
// reaches the top of memory (a cell it leaves out is erased on the chip, whatever the gap
// byte), else the erased device's.
BslPassword BslPasswordFromImage(const MemoryImage& image);

} // namespace pyrola
