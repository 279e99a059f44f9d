#pragma once
// The code that old (version 1.10 and older) loaders need in RAM before they can check
// flash for blankness. It is loaded at 0x0220; its first little-endian word is the address
// at which it is started.
//
// The built-in table is this program's own and only a placeholder: it is a NOP run that
// branches back into the loader, so on a real old chip the erase check still fails with an
// error rather than passing. The working patch for such chips is the chip vendor's code,
// which is not shipped; a TI TXT file named "bslpatch.txt" beside the program, when
// present, supplies the bytes to load at 0x0220 instead.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

inline constexpr uint32_t kBslPatchAddress = 0x0220;
inline constexpr uint32_t kBslPatchSize = 1062;
// The most a patch file may hold: RAM from 0x0220 up to the end of the smallest RAM that
// old loaders come with (0x09FF).
inline constexpr uint32_t kBslPatchMaxSize = 0x0A00 - kBslPatchAddress;
inline constexpr const char* kBslPatchFileName = "bslpatch.txt";

// The built-in 1062-byte table.
const std::array<uint8_t, kBslPatchSize>& BuiltInBslPatch();

// Reads a patch from a TI TXT file: its data must start at 0x0220 and run without gaps,
// 2 to kBslPatchMaxSize bytes, with a start address (first word) inside the loaded
// bytes. False with a reason otherwise; `bytes` is then left empty.
bool ReadBslPatchFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

} // namespace pyrola
