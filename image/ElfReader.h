#pragma once
// Reads an ELF32 executable for the MSP430 (little-endian, machine 105) into the image:
// the bytes of each loadable segment (PT_LOAD with file bytes) at its physical address,
// and nothing else. Sections, symbols, debug data and segments without file bytes (BSS)
// are not part of the image.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// The first four bytes of every ELF file.
inline constexpr char kElfMagic[4] = {0x7F, 'E', 'L', 'F'};

// Clears the image once the file is open. Returns the image's Size, or 0 with the reason
// in context.errorText: not an ELF file, not 32-bit, not little-endian, not for the
// MSP430, a segment outside the 20-bit address space, a damaged program header table, a
// truncated file, or no loadable bytes at all.
int32_t ReadElfFile(ImageFileContext& context, const std::string& path);
// The same on an open, seekable stream positioned at the start of the file.
int32_t ReadElfStream(ImageFileContext& context, std::FILE* file);

// True when the file exists, is a regular file and starts with the ELF magic.
bool StartsWithElfMagic(const std::string& path);

} // namespace pyrola
