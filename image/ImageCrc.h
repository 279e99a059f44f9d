#pragma once
// A fingerprint of an image's contents for the production log: the CRC-32 of the zip
// and Ethernet standard (reflected polynomial 0xEDB88320) over the present bytes, in
// address order, with the absent cells left out.

#include "image/MemoryImage.h"

#include <cstddef>
#include <cstdint>

namespace pyrola {

uint32_t ImageCrc32(const MemoryImage& image);
// The same CRC over plain bytes (continue with the previous result; start with 0).
uint32_t Crc32(const uint8_t* bytes, size_t count, uint32_t crc = 0);

} // namespace pyrola
