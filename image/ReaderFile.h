#pragma once
// Opens the file a reader reads and words the reasons of the text readers' failures.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

using StreamReader = int32_t (*)(ImageFileContext&, std::FILE*);

// 0 "Not a regular file" for a FIFO, device or folder, checked before opening (opening a
// FIFO waits for a writer); 0 "Can't open" when the file cannot be opened for reading.
// In both cases the image is not touched. Else the reader's count on the open file,
// which is closed again afterwards.
int32_t ReadThroughFile(ImageFileContext& context, const std::string& path, StreamReader reader);

// True when path names something that exists but is not a regular file (a link counts
// as what it points to). A missing path is not reported here: opening it fails.
bool IsNonRegularFile(const std::string& path);

// Sets the error text to `format` ("Line %d. ...") with the line number; returns 0.
int32_t FailOnLine(ImageFileContext& context, const char* format, int lineNumber);

} // namespace pyrola
