#pragma once
// Reads an ELF32 executable for the MSP430 (little-endian, machine 105) into the image as
// objcopy makes an image of it: the bytes of every allocated section that holds file bytes,
// at its load address (where its segment loads it, so initialised data lands in flash, not
// at its RAM address). The ELF and program headers a linker may put in a segment, gaps
// between sections, symbols, debug data and BSS are not part of the image. A file without
// section headers gives the file bytes of its loadable segments at their physical addresses.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// The first four bytes of every ELF file.
inline constexpr char kElfMagic[4] = {0x7F, 'E', 'L', 'F'};

// Clears the image once the file is open. Returns the image's Size, or 0 with the reason
// in context.errorText: not an ELF file, not 32-bit, not little-endian, not for the
// MSP430, a section (named) or segment outside the 20-bit address space, a damaged header
// table, a truncated file, or no loadable bytes at all. context.takenText says which
// sections (or segments) were taken and how many bytes.
int32_t ReadElfFile(ImageFileContext& context, const std::string& path);
// The same on an open, seekable stream positioned at the start of the file.
int32_t ReadElfStream(ImageFileContext& context, std::FILE* file);

// True when the file exists, is a regular file and starts with the ELF magic.
bool StartsWithElfMagic(const std::string& path);

} // namespace pyrola
