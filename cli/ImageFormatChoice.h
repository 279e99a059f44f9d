#pragma once
// The format the headless program reads its image file in. There is no File Format
// dialog to ask: "--format NAME" names it, else the extension's format, else the file's
// first bytes (ELF, Intel HEX, S-record, TI TXT). Binary is taken only by its extensions
// or by name, so a text file with an odd name is never programmed as raw bytes.

#include "image/FileFormat.h"

#include <optional>
#include <string>

namespace pyrola::cli {

struct ImageFormatChoice {
    // The format to read in; nullopt leaves it to the load flow (a path that is no regular
    // file, which the load refuses with its own reason).
    std::optional<FileFormat> format;
    // Why the file is refused; empty when it is not.
    std::string error;
};

ImageFormatChoice ChooseImageFormat(const std::optional<std::string>& path,
                                    const std::optional<std::string>& formatName);

} // namespace pyrola::cli
