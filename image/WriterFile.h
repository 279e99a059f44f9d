#pragma once
// Opens the file a writer creates and turns its outcome into the writer's result.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

using StreamWriter = int32_t (*)(ImageFileContext&, std::FILE*);

// 0 "Can't open" when the file cannot be created; -1 "I\O Error" when writing or closing
// fails (a full disk shows only when the last buffer is flushed); else the writer's result.
int32_t WriteThroughFile(ImageFileContext& context, const std::string& path, StreamWriter writer);

} // namespace pyrola
