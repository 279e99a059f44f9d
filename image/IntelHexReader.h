#pragma once
// Reads an Intel HEX file into the image.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Clears the image once the file is open, then stores the data records. Lines end in LF,
// CR LF or CR alone; nothing but the line end may follow a record's checksum. Extended
// segment (02) and linear (04) address records with a non-zero value move the following
// records up; other records beside data and end are checked and ignored. Returns the
// image's Size, or 0 with the reason in context.errorText; context.endRecordMissing
// tells whether the file ended without its end record (01).
int32_t ReadIntelHexFile(ImageFileContext& context, const std::string& path);
// The same on an already open stream (read from its current position).
int32_t ReadIntelHexStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
