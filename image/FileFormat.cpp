#include "image/FileFormat.h"

#include "base/TextCompare.h"

namespace pyrola {

const char* FileFormatName(FileFormat format) {
    switch (format) {
    case FileFormat::IntelHex:
        return "Intel HEX";
    case FileFormat::TiTxt:
        return "TI TXT";
    case FileFormat::Elf:
        return "ELF";
    case FileFormat::SRecord:
        return "Motorola S-record";
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
    case FileFormat::Elf:
        return "elf";
    case FileFormat::SRecord:
        return "s19";
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
        {"txt", FileFormat::TiTxt},   {"hex", FileFormat::IntelHex}, {"a43", FileFormat::IntelHex},
        {"bin", FileFormat::Binary},  {"tsk", FileFormat::Binary},   {"dat", FileFormat::Binary},
        {"elf", FileFormat::Elf},     {"out", FileFormat::Elf},      {"s19", FileFormat::SRecord},
        {"s28", FileFormat::SRecord}, {"s37", FileFormat::SRecord},  {"srec", FileFormat::SRecord},
        {"mot", FileFormat::SRecord},
    };
    for (const Entry& entry : kTable) {
        if (SameIgnoringCase(extension, entry.extension))
            return entry.format;
    }
    return FileFormat::Unknown;
}

bool FileFormatWritable(FileFormat format) {
    return format == FileFormat::Binary || format == FileFormat::IntelHex || format == FileFormat::TiTxt;
}

bool FileFormatReadable(FileFormat format) {
    return FileFormatWritable(format) || format == FileFormat::Elf || format == FileFormat::SRecord;
}

} // namespace pyrola
