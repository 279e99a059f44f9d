#include "image/ElfReader.h"

#include "base/TextFormat.h"
#include "image/ReaderFile.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pyrola {

namespace {

// The file's fields are read by copying its bytes into these records.
static_assert(std::endian::native == std::endian::little, "ELF records are copied as little-endian bytes");

struct ElfHeader {
    uint8_t ident[16];
    uint16_t type;
    uint16_t machine;
    uint32_t version;
    uint32_t entry;
    uint32_t programHeaderOffset;
    uint32_t sectionHeaderOffset;
    uint32_t flags;
    uint16_t headerSize;
    uint16_t programHeaderSize;
    uint16_t programHeaderCount;
    uint16_t sectionHeaderSize;
    uint16_t sectionHeaderCount;
    uint16_t sectionNameIndex;
};
static_assert(sizeof(ElfHeader) == 52);
static_assert(offsetof(ElfHeader, machine) == 18);
static_assert(offsetof(ElfHeader, programHeaderOffset) == 28);
static_assert(offsetof(ElfHeader, programHeaderSize) == 42);
static_assert(offsetof(ElfHeader, programHeaderCount) == 44);

struct ElfProgramHeader {
    uint32_t type;
    uint32_t offset;
    uint32_t virtualAddress;
    uint32_t physicalAddress;
    uint32_t fileSize;
    uint32_t memorySize;
    uint32_t flags;
    uint32_t align;
};
static_assert(sizeof(ElfProgramHeader) == 32);
static_assert(offsetof(ElfProgramHeader, physicalAddress) == 12);
static_assert(offsetof(ElfProgramHeader, fileSize) == 16);

constexpr uint8_t kClass32 = 1;
constexpr uint8_t kLittleEndian = 1;
constexpr uint16_t kMachineMsp430 = 105;
constexpr uint32_t kLoadSegment = 1;
// More program headers than any linker writes for a small chip; a count beyond it is a
// damaged table, not a reason to read thousands of entries.
constexpr uint16_t kMaxProgramHeaders = 256;

constexpr const char* kTextNotElf = "Not an ELF file";
constexpr const char* kTextNot32Bit = "ELF file is not 32-bit";
constexpr const char* kTextNotLittleEndian = "ELF file is not little-endian";
constexpr const char* kTextWrongMachine = "ELF file is not for the MSP430 (machine %u)";
constexpr const char* kTextBadProgramHeaders = "ELF program header table is damaged";
constexpr const char* kTextOutsideAddressSpace =
    "ELF segment at 0x%X (%u bytes) lies outside 0x00000-0xFFFFF";
constexpr const char* kTextTruncated = "ELF file is truncated";
constexpr const char* kTextNoLoadableBytes = "ELF file has no loadable bytes";

int32_t Fail(ImageFileContext& context, std::string reason) {
    context.errorText = std::move(reason);
    return 0;
}

// Reads exactly size bytes at offset; false when the file ends first.
bool ReadAt(std::FILE* file, uint32_t offset, void* into, size_t size) {
    if (offset > static_cast<uint32_t>(INT32_MAX) ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(into, 1, size, file) == size;
}

} // namespace

int32_t ReadElfStream(ImageFileContext& context, std::FILE* file) {
    MemoryImage& image = *context.image;
    image.Clear();
    ElfHeader header{};
    const size_t got = std::fread(&header, 1, sizeof header, file);
    if (got < sizeof kElfMagic || std::memcmp(header.ident, kElfMagic, sizeof kElfMagic) != 0)
        return Fail(context, kTextNotElf);
    if (got < 6)
        return Fail(context, kTextTruncated);
    if (header.ident[4] != kClass32)
        return Fail(context, kTextNot32Bit);
    if (header.ident[5] != kLittleEndian)
        return Fail(context, kTextNotLittleEndian);
    if (got < sizeof header)
        return Fail(context, kTextTruncated);
    if (header.machine != kMachineMsp430)
        return Fail(context, Format(kTextWrongMachine, static_cast<unsigned>(header.machine)));
    if (header.programHeaderCount == 0)
        return Fail(context, kTextNoLoadableBytes);
    if (header.programHeaderSize < sizeof(ElfProgramHeader) || header.programHeaderCount > kMaxProgramHeaders)
        return Fail(context, kTextBadProgramHeaders);

    // Every header and the extent of every segment are checked before any byte is
    // stored, so a refused file leaves an empty image rather than part of a program.
    if (std::fseek(file, 0, SEEK_END) != 0)
        return Fail(context, kTextIoError);
    const long fileSize = std::ftell(file);
    if (fileSize < 0)
        return Fail(context, kTextIoError);
    std::vector<ElfProgramHeader> segments;
    for (uint32_t i = 0; i < header.programHeaderCount; ++i) {
        ElfProgramHeader segment{};
        const uint64_t at = uint64_t{header.programHeaderOffset} + uint64_t{i} * header.programHeaderSize;
        if (at > UINT32_MAX || !ReadAt(file, static_cast<uint32_t>(at), &segment, sizeof segment))
            return Fail(context, kTextTruncated);
        if (segment.type != kLoadSegment || segment.fileSize == 0)
            continue;
        if (uint64_t{segment.physicalAddress} + segment.fileSize > kImageAddressLimit)
            return Fail(context,
                        Format(kTextOutsideAddressSpace, static_cast<unsigned>(segment.physicalAddress),
                               static_cast<unsigned>(segment.fileSize)));
        if (uint64_t{segment.offset} + segment.fileSize > static_cast<uint64_t>(fileSize))
            return Fail(context, kTextTruncated);
        segments.push_back(segment);
    }
    if (segments.empty())
        return Fail(context, kTextNoLoadableBytes);

    std::vector<uint8_t> bytes;
    for (const ElfProgramHeader& segment : segments) {
        bytes.resize(segment.fileSize);
        if (!ReadAt(file, segment.offset, bytes.data(), bytes.size()))
            return Fail(context, kTextTruncated);
        for (uint32_t i = 0; i < segment.fileSize; ++i)
            image.StoreByte(segment.physicalAddress + i, bytes[i]);
    }
    return static_cast<int32_t>(image.Size());
}

int32_t ReadElfFile(ImageFileContext& context, const std::string& path) {
    return ReadThroughFile(context, path, ReadElfStream);
}

bool StartsWithElfMagic(const std::string& path) {
    if (IsNonRegularFile(path))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char magic[sizeof kElfMagic] = {};
    const bool elf = std::fread(magic, 1, sizeof magic, file) == sizeof magic &&
                     std::memcmp(magic, kElfMagic, sizeof magic) == 0;
    std::fclose(file);
    return elf;
}

} // namespace pyrola
