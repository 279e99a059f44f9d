#pragma once
// The image file formats, their display names and their file-name extensions. Binary,
// Intel HEX and TI TXT are read and written; ELF and Motorola S-record, what the
// toolchains write, are read only.

#include <cstdint>
#include <string_view>

namespace pyrola {

enum class FileFormat : int32_t { Unknown = -1, Binary = 0, IntelHex = 1, TiTxt = 2, Elf = 3, SRecord = 4 };

// Every format in the order of their values: what a format choice offers.
inline constexpr FileFormat kFileFormats[] = {FileFormat::Binary, FileFormat::IntelHex, FileFormat::TiTxt,
                                              FileFormat::Elf, FileFormat::SRecord};

// "Binary", "Intel HEX", "TI TXT", "ELF", "Motorola S-record"; Unknown shows as "Binary",
// the dialog's fallback choice.
const char* FileFormatName(FileFormat format);
// The extension written for a chosen format: "bin", "hex", "txt" (no dot); the main
// extension of a format that is only read: "elf", "s19".
const char* FileFormatExtension(FileFormat format);
// The extension table, compared without regard to case; anything else is Unknown.
FileFormat FileFormatForExtension(std::string_view extension);
// True for the formats a writer exists for: Binary, IntelHex and TiTxt.
bool FileFormatWritable(FileFormat format);
// True for every format a reader exists for (all but Unknown).
bool FileFormatReadable(FileFormat format);

} // namespace pyrola
