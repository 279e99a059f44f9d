#pragma once
// Reads a TI TXT file ("@addr" lines, lines of hex byte fields, "q") into the image.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Clears the image once the file is open. Lines may end in CR LF, LF alone, or (the last
// one) in nothing. Returns the image's Size, or 0 with the reason in context.errorText.
int32_t ReadTiTxtFile(ImageFileContext& context, const std::string& path);
int32_t ReadTiTxtStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
