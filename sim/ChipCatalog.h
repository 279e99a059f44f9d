#pragma once
// The chips the simulator can be: for each, what the silicon holds in its identification
// ROM, how its configuration fuses are set, where its memories lie and which bootstrap
// loader version its ROM carries. Written from the chips' data sheets and user's guides,
// independently of the programmer's own device table.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::sim {

struct MemoryBounds {
    uint32_t mainStart, mainEnd; // main flash, inclusive
    uint32_t infoStart, infoEnd; // information flash, inclusive
    uint32_t ramStart, ramEnd;   // RAM, inclusive
    // Where the first bytes of a RAM that starts above 0x0200 also answer (0, 0: nowhere).
    uint32_t mirrorStart = 0, mirrorEnd = 0;
};

struct ChipDescription {
    const char* name;                       // as the programmer's device list names it
    std::array<uint8_t, 16> identification; // ROM bytes 0x0FF0-0x0FFF
    uint16_t fuses;                         // configuration fuse byte (zero-extended)
    MemoryBounds bounds;
    uint16_t loaderVersion; // bytes 0x0FFA (high) and 0x0FFB (low) of the identification block
};

// Every chip the simulator knows, in the programmer's device-list order.
const std::vector<ChipDescription>& Chips();
// The chip of that name, or null. Names are matched exactly.
const ChipDescription* FindChip(const std::string& name);

inline constexpr const char* kDefaultChip = "MSP430F149";

} // namespace pyrola::sim
