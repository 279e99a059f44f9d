#pragma once
// Telling an image file's format from its first bytes, for a front end that has no File
// Format dialog to ask with, and naming a format in words ("--format hex").

#include "image/FileFormat.h"

#include <string>
#include <string_view>

namespace pyrola {

// ELF by its magic; Intel HEX, Motorola S-record and TI TXT by a first line that is a
// whole record of theirs (":" and hex digits; "S", a record digit and hex digits; "@" and
// hex digits), after leading blank lines. Binary is never guessed: anything else, and a
// file that cannot be read, is Unknown.
FileFormat DetectFileFormat(const std::string& path);
// The same test on the first bytes of a file.
FileFormat DetectFileFormatOf(std::string_view head);

// A format named in words, without regard to case: "txt"/"titxt"/"ti-txt",
// "hex"/"ihex"/"intel-hex", "bin"/"binary", "elf", "srec"/"s19"/"s-record"; Unknown for
// anything else.
FileFormat FileFormatForName(std::string_view name);
// The names FileFormatForName takes, one per format, for messages: "txt, hex, bin, elf, srec".
inline constexpr const char* kFileFormatNames = "txt, hex, bin, elf, srec";

} // namespace pyrola
