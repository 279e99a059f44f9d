#pragma once
// Reads a raw binary file into the image: byte i of the file at address i, or at
// context.binaryBase + i for a file that starts elsewhere (objcopy -O binary).

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Clears the image once the file is open. Every byte is present, gap-byte values
// included. A file reaching past 0xFFFFF (from 0: larger than 1 MiB) or a failed read
// stops with a reason and returns 0; the image keeps what was stored. Otherwise returns
// the image's Size.
int32_t ReadBinaryFile(ImageFileContext& context, const std::string& path);
int32_t ReadBinaryStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
