#pragma once
// Replacing a whole file so that a crash leaves either the old or the new content,
// never a mixture: write a temporary file beside it, flush it to disk, rename it over.

#include <string>

namespace pyrola {

// Creates missing parent folders. False (and the old file untouched) on any failure.
bool ReplaceFileAtomically(const std::string& path, const std::string& contents);

// The whole file, or nothing when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& contents);

} // namespace pyrola
