#include "image/FileFormat.h"

#include "ui/TextCompare.h"

namespace pyrola {

namespace {} // namespace

const char* FileFormatName(FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return "Intel HEX";
    case FileFormat::TiTxt:
        return "TI TXT";
    default:
        return "Binary";
    }
}

const char* FileFormatExtension(FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return "hex";
    case FileFormat::TiTxt:
        return "txt";
    default:
        return "bin";
    }
}

FileFormat FileFormatForExtension(std::string_view extension) {
    struct Entry {
        const char* extension;
        FileFormat format;
    };
    static constexpr Entry kTable[] = {
        {"txt", FileFormat::TiTxt},  {"hex", FileFormat::IntelHex}, {"a43", FileFormat::IntelHex},
        {"bin", FileFormat::Binary}, {"tsk", FileFormat::Binary},   {"dat", FileFormat::Binary},
    };
    for (const Entry& entry : kTable) {
        if (SameIgnoringCase(extension, entry.extension))
            return entry.format;
    }
    return FileFormat::Unknown;
}

} // namespace pyrola
