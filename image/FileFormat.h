#pragma once
// The three image file formats, their display names and their file-name extensions.

#include <cstdint>
#include <string_view>

namespace pyrola {

enum class FileFormat : int32_t { Unknown = -1, Binary = 0, IntelHex = 1, TiTxt = 2 };

// "Binary", "Intel HEX", "TI TXT"; Unknown shows as "Binary", the dialog's fallback choice.
const char* FileFormatName(FileFormat format);
// The extension written for a chosen format: "bin", "hex", "txt" (no dot).
const char* FileFormatExtension(FileFormat format);
// The extension table, compared without regard to case; anything else is Unknown.
FileFormat FileFormatForExtension(std::string_view extension);

// The formats the File Format dialog offers, in the order of its buttons.
inline constexpr FileFormat kOfferedFileFormats[] = {FileFormat::TiTxt, FileFormat::IntelHex,
                                                     FileFormat::Binary};
// What the dialog checks when the preselection is none of the offered formats.
inline constexpr FileFormat kFallbackFileFormat = FileFormat::Binary;

} // namespace pyrola
