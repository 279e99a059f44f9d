#pragma once
// Reads an image file of a given format: the one entry the load flow and the command
// line use.

#include "image/FileFormat.h"
#include "image/ImageFileContext.h"

#include <cstdint>
#include <string>

namespace pyrola {

// Returns the image's Size after reading (1 for an image of a single byte), or 0 with the
// reason in context.errorText (an empty file counts 0, with an empty reason). Unknown
// reads as Binary; a binary file starts at context.binaryBase.
// A file that starts with the ELF magic is read as ELF whatever format is given, so an
// executable is never programmed as raw bytes.
int32_t ReadImageFile(ImageFileContext& context, const std::string& path, FileFormat format);

// The format ReadImageFile reads path in when asked for format: Elf for a file with the
// ELF magic, else format.
FileFormat EffectiveFileFormat(const std::string& path, FileFormat format);

} // namespace pyrola
