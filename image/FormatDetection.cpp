#include "image/FormatDetection.h"

#include "base/TextCompare.h"
#include "image/ElfReader.h"

#include <cstdio>
#include <cstring>

namespace pyrola {

namespace {

// Enough for the longest first record of the text formats (a 255-byte Intel HEX record).
constexpr size_t kHeadSize = 1024;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Count of hex digits in text, or 0 when anything else stands in it.
size_t HexRun(std::string_view text) {
    for (char c : text) {
        if (!IsHexDigit(c))
            return 0;
    }
    return text.size();
}

} // namespace

FileFormat DetectFileFormatOf(std::string_view head) {
    if (head.size() >= sizeof kElfMagic && std::memcmp(head.data(), kElfMagic, sizeof kElfMagic) == 0)
        return FileFormat::Elf;
    const size_t start = head.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return FileFormat::Unknown;
    std::string_view line = head.substr(start);
    const size_t end = line.find_first_of("\r\n");
    // A first line cut by the head's end is no whole record to judge by.
    if (end == std::string_view::npos && head.size() >= kHeadSize)
        return FileFormat::Unknown;
    line = line.substr(0, end);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.size() < 2)
        return FileFormat::Unknown;
    const std::string_view rest = line.substr(1);
    switch (line[0]) {
    case ':': // count, address, type and checksum at least
        return HexRun(rest) >= 10 && HexRun(rest) % 2 == 0 ? FileFormat::IntelHex : FileFormat::Unknown;
    case 'S': // record digit, count, address and checksum at least
        return rest[0] >= '0' && rest[0] <= '9' && HexRun(rest.substr(1)) >= 8 ? FileFormat::SRecord
                                                                               : FileFormat::Unknown;
    case '@':
        return HexRun(rest) >= 1 ? FileFormat::TiTxt : FileFormat::Unknown;
    default:
        return FileFormat::Unknown;
    }
}

FileFormat DetectFileFormat(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return FileFormat::Unknown;
    char head[kHeadSize];
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return DetectFileFormatOf(std::string_view(head, got));
}

FileFormat FileFormatForName(std::string_view name) {
    struct Entry {
        const char* name;
        FileFormat format;
    };
    static constexpr Entry kNames[] = {
        {"txt", FileFormat::TiTxt},    {"titxt", FileFormat::TiTxt},   {"ti-txt", FileFormat::TiTxt},
        {"hex", FileFormat::IntelHex}, {"ihex", FileFormat::IntelHex}, {"intel-hex", FileFormat::IntelHex},
        {"bin", FileFormat::Binary},   {"binary", FileFormat::Binary}, {"elf", FileFormat::Elf},
        {"srec", FileFormat::SRecord}, {"s19", FileFormat::SRecord},   {"s-record", FileFormat::SRecord},
    };
    for (const Entry& entry : kNames) {
        if (SameIgnoringCase(name, entry.name))
            return entry.format;
    }
    return FileFormat::Unknown;
}

} // namespace pyrola
