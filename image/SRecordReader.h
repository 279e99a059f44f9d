#pragma once
// Reads a Motorola S-record file into the image.

#include "image/ImageFileContext.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pyrola {

// Clears the image once the file is open, then stores the data records (S1, S2, S3 with
// 16-, 24- and 32-bit addresses). Every record's count, digits and checksum are checked;
// the header (S0) is otherwise ignored, a count record (S5, S6) must match the number of
// data records before it, and a termination record (S7, S8, S9) ends the reading. Lines
// end in LF, CR LF or CR alone; nothing but the line end may follow a checksum. Returns
// the image's Size, or 0 with the reason in context.errorText ("Line %d. Invalid format",
// "Line %d. Bad checksum", "Line %d. Address above 0xFFFFF", "Line %d. Record count does
// not match"); context.endRecordMissing tells whether the file ended neither with a
// termination record nor with a matching count record.
int32_t ReadSRecordFile(ImageFileContext& context, const std::string& path);
int32_t ReadSRecordStream(ImageFileContext& context, std::FILE* file);

} // namespace pyrola
