#pragma once
// Reads a TI TXT file ("@addr" lines, lines of hex byte fields, "q") into the image.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Clears the image once the file is open. Lines may end in CR LF, LF alone, or (the last
// one) in nothing; a data line that ends inside a byte (a lone hex digit after its last
// field) is invalid. Returns the image's Size, or 0 with the reason in
// context.errorText; context.endRecordMissing tells whether the file ended without "q".
int32_t ReadTiTxtFile(ImageFileContext& context, const std::string& path);
int32_t ReadTiTxtStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
