#pragma once
// Where a chip's memories lie: its information and main flash and the top of its RAM, as
// the identified device tells them. The image and job steps cut and check addresses by it.

#include <cstdint>

namespace pyrola {

struct MemoryRanges {
    uint32_t infoStart = 0; // information flash, inclusive
    uint32_t infoEnd = 0;
    uint32_t mainStart = 0; // main flash, inclusive
    uint32_t mainEnd = 0;
    uint32_t ramEnd = 0; // last address of RAM

    // In the information or the main flash.
    bool InFlash(uint32_t address) const {
        return (address >= infoStart && address <= infoEnd) || (address >= mainStart && address <= mainEnd);
    }
};

} // namespace pyrola
