#include "cli/ImageFormatChoice.h"

#include "base/TextFormat.h"
#include "image/FilePath.h"
#include "image/FormatDetection.h"

#include <filesystem>
#include <system_error>

namespace pyrola::cli {

ImageFormatChoice ChooseImageFormat(const std::optional<std::string>& path,
                                    const std::optional<std::string>& formatName) {
    ImageFormatChoice choice;
    if (formatName) {
        choice.format = FileFormatForName(*formatName);
        if (*choice.format == FileFormat::Unknown)
            choice.error =
                Format("Error. Unknown format '%s' (use %s)", formatName->c_str(), kFileFormatNames);
        else if (!path)
            choice.error = "Error. --format needs an image file";
        return choice;
    }
    if (!path)
        return choice;
    const std::string name = FileNamePart(*path);
    const FileFormat byExtension = FileFormatForExtension(ExtensionOf(name));
    if (byExtension != FileFormat::Unknown) {
        choice.format = byExtension;
        return choice;
    }
    // A FIFO or device is never opened here: the load refuses it without waiting.
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(*path), error))
        return choice;
    choice.format = DetectFileFormat(*path);
    if (*choice.format == FileFormat::Unknown)
        choice.error = Format("Error. \"%s\" is not ELF, TI TXT, Intel HEX or S-record; name its format with "
                              "--format (%s)",
                              name.c_str(), kFileFormatNames);
    return choice;
}

} // namespace pyrola::cli
