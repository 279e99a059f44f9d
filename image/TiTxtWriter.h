#pragma once
// Writes the image as TI TXT: an "@" line before every run that does not continue the
// previous one, lines of up to 16 bytes, and "q".

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Creates or truncates the file. Returns 1 on success; 0 with "Can't open" when the file
// cannot be created; -1 with "I\O Error" when a write fails.
int32_t WriteTiTxtFile(ImageFileContext& context, const std::string& path);
// The same onto an open stream (not closed; its buffered data is flushed).
int32_t WriteTiTxtStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
