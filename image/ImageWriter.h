#pragma once
// Writes the image in a given format: the one entry the save flow uses.

#include "image/FileFormat.h"
#include "image/ImageFileContext.h"

#include <cstdint>
#include <string>

namespace pyrola {

// 1 on success; below 1 on failure with the reason in context.errorText. Unknown writes
// Binary; a format that is only read (ELF, S-record) is refused ("ELF files cannot be
// written") before any file is made.
int32_t WriteImageFile(ImageFileContext& context, const std::string& path, FileFormat format);

} // namespace pyrola
