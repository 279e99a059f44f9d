#pragma once
// Opens the file a reader reads and words the reasons of the text readers' failures.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

using StreamReader = int32_t (*)(ImageFileContext&, std::FILE*);

// 0 "Can't open" when the file cannot be opened for reading (the image is not touched);
// else the reader's count on the open file, which is closed again afterwards.
int32_t ReadThroughFile(ImageFileContext& context, const std::string& path, StreamReader reader);

// Sets the error text to `format` ("Line %d. ...") with the line number; returns 0.
int32_t FailOnLine(ImageFileContext& context, const char* format, int lineNumber);

} // namespace pyrola
