#pragma once
// The serial number a job writes or reads back: its bytes, its flash address and
// whether the bytes hold what the target holds.

#include <cstdint>
#include <vector>

namespace pyrola {

struct SerialBlock {
    std::vector<uint8_t> bytes;
    uint32_t address = 0;
    uint8_t valid = 0;
};

} // namespace pyrola
