#pragma once
// Builds ELF32 executables byte by byte for the tests, from the ELF layout itself rather
// than from the reader's records: a header, the program header table right after it, the
// segments' bytes, and some trailing bytes that no segment covers (as debug data would be).

#include <cstdint>
#include <string>
#include <vector>

namespace pyrola::test {

inline constexpr uint32_t kElfLoad = 1;
inline constexpr uint32_t kElfNote = 4;

struct ElfSegment {
    uint32_t physicalAddress = 0;
    std::vector<uint8_t> bytes; // the file bytes; empty for a BSS segment
    uint32_t memorySize = 0;    // 0: as many as bytes
    uint32_t type = kElfLoad;
    uint32_t virtualAddress = 0; // 0: the physical address
};

struct ElfOptions {
    uint8_t elfClass = 1;  // 1 = 32-bit, 2 = 64-bit
    uint8_t byteOrder = 1; // 1 = little-endian, 2 = big-endian (fields are then written so)
    uint16_t machine = 105;
};

inline std::string BuildElf(const std::vector<ElfSegment>& segments, const ElfOptions& options = {}) {
    std::string file(52 + 32 * segments.size(), '\0');
    auto put = [&](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = options.byteOrder == 2 ? 8 * (size - 1 - i) : 8 * i;
            file[at + static_cast<size_t>(i)] = static_cast<char>(value >> shift);
        }
    };
    const char ident[] = {
        0x7F, 'E', 'L', 'F', static_cast<char>(options.elfClass), static_cast<char>(options.byteOrder), 1};
    file.replace(0, sizeof ident, ident, sizeof ident);
    put(16, 2, 2); // executable
    put(18, options.machine, 2);
    put(20, 1, 4);
    put(24, segments.empty() ? 0 : segments.front().physicalAddress, 4); // entry
    put(28, 52, 4);                                                      // program headers
    put(32, 0, 4);                                                       // no section headers
    put(40, 52, 2);
    put(42, 32, 2);
    put(44, static_cast<uint32_t>(segments.size()), 2);
    put(46, 40, 2);
    for (size_t i = 0; i < segments.size(); ++i) {
        const ElfSegment& s = segments[i];
        while (file.size() % 4 != 0)
            file += '\0';
        const size_t header = 52 + 32 * i;
        put(header, s.type, 4);
        put(header + 4, static_cast<uint32_t>(file.size()), 4);
        put(header + 8, s.virtualAddress ? s.virtualAddress : s.physicalAddress, 4);
        put(header + 12, s.physicalAddress, 4);
        put(header + 16, static_cast<uint32_t>(s.bytes.size()), 4);
        put(header + 20, s.memorySize ? s.memorySize : static_cast<uint32_t>(s.bytes.size()), 4);
        put(header + 24, 5, 4); // read + execute
        put(header + 28, 2, 4);
        file.append(s.bytes.begin(), s.bytes.end());
    }
    file += std::string("\x01\x11\x01\x25"
                        "debug info that no segment covers");
    return file;
}

} // namespace pyrola::test
