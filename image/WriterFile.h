#pragma once
// Opens the file a writer creates and turns its outcome into the writer's result.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

using StreamWriter = int32_t (*)(ImageFileContext&, std::FILE*);

// 0 "Not a regular file" for a FIFO or socket (opening one waits for a reader); 0 "Can't
// open" when the file cannot be created; -1 "I\O Error" when writing or closing
// fails (a full disk shows only when the last buffer is flushed); else the writer's result.
int32_t WriteThroughFile(ImageFileContext& context, const std::string& path, StreamWriter writer);

// A writer's result: 1 when everything was written and the file's buffer flushed, else
// -1 with "I\O Error".
int32_t FinishWriting(ImageFileContext& context, std::FILE* file, bool written);

} // namespace pyrola
