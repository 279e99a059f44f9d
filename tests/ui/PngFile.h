#pragma once
// A minimal PNG writer for screenshots: 8-bit RGB, the image data in stored (uncompressed)
// deflate blocks, with the CRC and Adler checksums the format asks for.

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::ui_test {

// rgb holds width * height pixels, three bytes each, row by row from the top.
bool WritePng(const std::string& path, uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

} // namespace pyrola::ui_test
