#pragma once
// An address as a user types it for an image (a binary file's base): "0x1100" in
// hexadecimal or "4352" in decimal, within the 20-bit address space.

#include <cstdint>
#include <optional>
#include <string>

namespace pyrola {

// The address, or nullopt for anything but a whole number from 0 to 0xFFFFF (no sign, no
// blanks).
std::optional<uint32_t> ParseImageAddress(const std::string& text);

} // namespace pyrola
