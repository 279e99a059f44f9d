#pragma once
// Writes the image as raw binary: every address from 0 up to the highest loaded one, absent
// cells giving the gap byte they hold.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Creates or truncates the file. Returns 1 on success; 0 with "Can't open" when the file
// cannot be created; -1 with "I\O Error" when a write fails.
int32_t WriteBinaryFile(ImageFileContext& context, const std::string& path);
// The same onto an open stream (not closed; its buffered data is flushed).
int32_t WriteBinaryStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
