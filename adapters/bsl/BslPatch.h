#pragma once
// The code that old (version 1.10 and older) loaders need in RAM before they can check
// flash for blankness. It is loaded at 0x0220; its first little-endian word is the address
// at which it is started.
//
// The working patch is the chip vendor's code, which is not shipped: it is read from a TI
// TXT file named "bslpatch.txt" beside the program. Without that file nothing is loaded,
// and the adapter treats the loader as the unpatched ROM loader it is.

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola {

inline constexpr uint32_t kBslPatchAddress = 0x0220;
// The most a patch file may hold: RAM from 0x0220 up to the end of the smallest RAM that
// old loaders come with (0x09FF).
inline constexpr uint32_t kBslPatchMaxSize = 0x0A00 - kBslPatchAddress;
inline constexpr const char* kBslPatchFileName = "bslpatch.txt";

enum class BslPatchFile {
    Read,     // the bytes are in `bytes`
    Missing,  // no file at the path
    Unusable, // a file is there, but it cannot be read or is no patch; `reason` says why
};

// Reads a patch from a TI TXT file: its data must start at 0x0220 and run without gaps,
// 2 to kBslPatchMaxSize bytes, with a start address (first word) inside the loaded
// bytes. `bytes` is left empty unless the result is Read.
BslPatchFile ReadBslPatchFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& reason);

} // namespace pyrola
