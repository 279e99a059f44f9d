#include "image/ImageCrc.h"

#include <array>

namespace pyrola {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

uint32_t Update(uint32_t state, uint8_t byte) {
    return kTable[(state ^ byte) & 0xFF] ^ (state >> 8);
}

} // namespace

uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc) {
    uint32_t state = ~crc;
    for (size_t i = 0; i < count; ++i)
        state = Update(state, bytes[i]);
    return ~state;
}

uint32_t ImageCrc32(const MemoryImage& image) {
    uint32_t state = ~0u;
    if (image.Low() <= image.High()) {
        for (uint32_t address = image.Low(); address <= image.High(); ++address) {
            if (image.IsPresent(address))
                state = Update(state, image.ValueAt(address));
        }
    }
    return ~state;
}

} // namespace pyrola
