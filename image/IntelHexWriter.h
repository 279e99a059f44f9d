#pragma once
// Writes the image as Intel HEX: data records of up to 32 bytes cut at every hole, an
// extended linear address record (04) before the first record of each 64 KiB page above
// the first, and the end record.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Creates or truncates the file. Returns 1 on success; 0 with "Can't open" when the file
// cannot be created; -1 with "I\O Error" when a write fails.
int32_t WriteIntelHexFile(ImageFileContext& context, const std::string& path);
// The same onto an open stream (not closed; its buffered data is flushed).
int32_t WriteIntelHexStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
